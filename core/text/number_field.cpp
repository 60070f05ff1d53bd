#include "core/text/number_field.h"

namespace palette {

long ReadNumber(const char* text) {
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value <= 0x80000000LL) {
            value = value * 10 + (*p - '0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > 0x7FFFFFFFLL) {
        value = 0x7FFFFFFFLL;
    } else if (value < -0x80000000LL) {
        value = -0x80000000LL;
    }
    return static_cast<long>(value);
}

std::string WriteNumber(long value) {
    return std::to_string(value);
}

} // namespace palette
