// Numbers in dialog fields: read as signed decimal (leading blanks, an optional sign, the
// digits up to the first other character; no digits reads as 0), written as plain signed
// decimal. Portable: no platform headers.
#pragma once

#include <string>

namespace palette {

// Reads a field's text as a number. Values beyond the 32-bit range are held at its ends.
long ReadNumber(const char* text);

// The number as plain signed decimal: a minus sign for negatives, no leading zeros.
std::string WriteNumber(long value);

} // namespace palette
