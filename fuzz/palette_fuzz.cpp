// Palette-file decoding of arbitrary bytes in both formats, and the z-name rule on them.
#include <cstdint>
#include <string>
#include <vector>

#include "core/palette/palette_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> file(data, data + size);
    std::uint8_t table[palette::kTableBytes] = {};
    palette::DecodePaletteFile(file.data(), file.size(), false, table);
    palette::DecodePaletteFile(file.data(), file.size(), true, table);
    const std::string name(reinterpret_cast<const char*>(data), size < 300 ? size : 300);
    volatile bool z = palette::IsZName(name.c_str());
    (void)z;
    return 0;
}
