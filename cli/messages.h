// What the command-line tool says, in English. Where the program has a message for the same
// thing, its Japanese text follows in brackets, so that the two front ends' messages can be
// matched and scripts written for either keep working.
#pragma once

#include <string>

namespace cli {

// The English for one of the program's texts (core/text/texts.h), followed by that text in
// brackets: "already an indexed image [すでに２５６です]". A text without an English
// counterpart is given as it is.
std::string Say(const char* programText);

// The phases of a conversion as the progress bar names them.
extern const char* const kPhaseNames[4];

} // namespace cli
