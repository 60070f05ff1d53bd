// Why a conversion did not happen, in the program's words: the text both front ends show.
// Portable: no platform headers.
#pragma once

#include "core/reduce/outcome.h"

namespace text {

// The message for an outcome other than Converted.
const char* RefusalText(reduce::Outcome outcome);

} // namespace text
