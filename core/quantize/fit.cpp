#include "core/quantize/fit.h"

#include "core/quantize/colour_items.h"

namespace quantize {

DiffusionPalette MovedTowardSums(const DiffusionPalette& palette, int pinned, const EntrySums& sums,
                                 const DeviceColours& device) {
    DiffusionPalette moved = palette;
    for (int e = pinned; e < 256; ++e) {
        const std::uint64_t* sum = sums[e]; // blue, green, red, count
        if (sum[3] == 0) {
            continue;
        }
        const auto toward = [sum](int c, std::uint8_t now) {
            const int mean = static_cast<int>((sum[c] + sum[3] / 2) / sum[3]);
            return static_cast<std::uint8_t>((mean * kFitMove + now * (100 - kFitMove) + 50) / 100);
        };
        PaletteEntry entry = moved[e];
        entry.red = toward(2, entry.red);
        entry.green = toward(1, entry.green);
        entry.blue = toward(0, entry.blue);
        SetNearest(entry, device, entry.red, entry.green, entry.blue);
        // An entry stays where it is rather than take another entry's colour.
        bool taken = false;
        for (int j = 0; j < 256 && !taken; ++j) {
            taken = j != e && moved[j].SameColour(entry);
        }
        if (!taken) {
            moved[e] = entry;
        }
    }
    return moved;
}

} // namespace quantize
