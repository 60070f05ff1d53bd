// Palette-file reading of arbitrary bytes: every format by content, both fixed formats, and
// the z-name rule on them; written back, what was read reads again to the same table.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/palette/palette_file.h"
#include "core/palette/palette_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> file(data, data + size);
    std::uint8_t table[palette::kTableBytes] = {};
    palette::DecodePaletteFile(file.data(), file.size(), false, table);
    palette::DecodePaletteFile(file.data(), file.size(), true, table);
    palette::PaletteFileFacts facts;
    for (bool zName : {false, true}) {
        if (!palette::ReadPalette(file.data(), file.size(), zName, table, facts)) {
            continue;
        }
        // Written back in every format that says its count, as many colours as were read
        // (all 256 where the file did not say), it reads again to the same colours and count.
        const int colours = facts.colours > 0 ? facts.colours : 256;
        for (const auto format : {palette::PaletteFormat::Gpl, palette::PaletteFormat::Jasc,
                                  palette::PaletteFormat::Riff, palette::PaletteFormat::Act,
                                  palette::PaletteFormat::Hex}) {
            const std::vector<std::uint8_t> again = palette::EncodePalette(table, format, colours);
            std::uint8_t back[palette::kTableBytes] = {};
            palette::PaletteFileFacts backFacts;
            if (!palette::ReadPalette(again.data(), again.size(), false, back, backFacts) ||
                backFacts.colours != colours) {
                __builtin_trap();
            }
            for (std::size_t i = 0; i < 4 * static_cast<std::size_t>(colours); i += 4) {
                if (std::memcmp(back + i, table + i, 3) != 0) {
                    __builtin_trap();
                }
            }
        }
    }
    // A list to choose from: refused empty, or its colours within the bound.
    std::vector<std::uint32_t> list;
    for (bool zName : {false, true}) {
        if (palette::ReadColourList(file.data(), file.size(), zName, list) != !list.empty() ||
            list.size() > palette::kMaxListColours) {
            __builtin_trap();
        }
    }
    const std::string name(reinterpret_cast<const char*>(data), size < 300 ? size : 300);
    volatile bool z = palette::IsZName(name.c_str());
    (void)z;
    return 0;
}
