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
