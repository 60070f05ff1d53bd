#include "cli/messages.h"

#include <cstring>

#include "core/text/texts.h"

namespace cli {

namespace {

struct Translation {
    const char* program;
    const char* english;
};

constexpr Translation kTranslations[] = {
    {kCannotOpenText, "cannot open the file"},
    {kCannotReadText, "cannot read the file"},
    {kTooLargeText, "the file is too large"},
    {kCannotSaveText, "cannot save the file"},
    {kCannotOverwriteText, "cannot overwrite the file"},
    {kWriteFailedText, "the write failed"},
    {kNoMemoryText, "not enough memory"},
    {kAlready256Text, "already an indexed image of 256 colours or fewer"},
    {kTooManyColoursText, "uses more than 256 colours"},
    {kUnsupportedLayoutText, "a kind of BMP that cannot be converted"},
    {kTruncatedImageText, "the image data is cut short"},
};

} // namespace

const char* const kPhaseNames[4] = {"reading", "counting colours", "dithering",
                                    "choosing the palette"};

std::string Say(const char* programText) {
    for (const Translation& t : kTranslations) {
        if (std::strcmp(t.program, programText) == 0) {
            return std::string(t.english) + " [" + programText + "]";
        }
    }
    return programText;
}

} // namespace cli
