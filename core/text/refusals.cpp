#include "core/text/refusals.h"

#include "core/text/texts.h"

namespace text {

const char* RefusalText(quantize::Outcome outcome) {
    switch (outcome) {
    case quantize::Outcome::AlreadyIndexed:
        return kAlready256Text;
    case quantize::Outcome::TooManyColours:
        return kTooManyColoursText;
    case quantize::Outcome::UnsupportedLayout:
        return kUnsupportedLayoutText;
    case quantize::Outcome::Truncated:
        return kTruncatedImageText;
    case quantize::Outcome::NoMemory:
    case quantize::Outcome::Converted:
        break;
    }
    return kNoMemoryText;
}

const char* NotShownText(bmp::DrawProblem problem) {
    switch (problem) {
    case bmp::DrawProblem::Empty:
        return kEmptyFileText;
    case bmp::DrawProblem::NotBitmap:
        return kNotBitmapText;
    case bmp::DrawProblem::Truncated:
        return kCutShortText;
    case bmp::DrawProblem::Unsupported:
        return kCannotShowLayoutText;
    case bmp::DrawProblem::TooLarge:
        return kTooLargeToShowText;
    case bmp::DrawProblem::None:
        break;
    }
    return nullptr;
}

} // namespace text
