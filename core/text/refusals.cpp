#include "core/text/refusals.h"

#include "core/text/texts.h"

namespace text {

const char* RefusalText(reduce::Outcome outcome) {
    switch (outcome) {
    case reduce::Outcome::AlreadyIndexed:
        return kAlready256Text;
    case reduce::Outcome::TooManyColours:
        return kTooManyColoursText;
    case reduce::Outcome::UnsupportedLayout:
        return kUnsupportedLayoutText;
    case reduce::Outcome::Truncated:
        return kTruncatedImageText;
    case reduce::Outcome::NoMemory:
    case reduce::Outcome::Converted:
        break;
    }
    return kNoMemoryText;
}

} // namespace text
