// Why a conversion did not happen, in the program's words: the text both front ends show.
// Portable: no platform headers.
#pragma once

#include "core/bmp/layout.h"
#include "core/quantize/outcome.h"

namespace text {

// The message for an outcome other than Converted.
const char* RefusalText(quantize::Outcome outcome);

// Why a loaded image cannot be shown; null for DrawProblem::None.
const char* NotShownText(bmp::DrawProblem problem);

} // namespace text
