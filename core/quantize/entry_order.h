// The order of a palette's chosen entries: as chosen (today's), by how many pixels take them,
// by luminance or by hue. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace quantize {

enum class EntryOrder { Keep, Frequency, Luminance, Hue };
// The words of --order, in the enum's order.
inline constexpr std::string_view kEntryOrderWords[] = {"keep", "frequency", "luminance", "hue"};
inline constexpr int kEntryOrderCount = 4;

// The order of entries first to end - 1 of `table` (blue, green, red, reserved per entry;
// `counts` the pixels of each entry, read for Frequency only): the old index of each place
// from first on.
std::vector<int> SortedEntries(const std::uint8_t* table, const std::uint64_t* counts, int first,
                               int end, EntryOrder order);

// Sorts entries first to end - 1 of a plain 8-bit BMP file image (`size` bytes, as
// WriteBmp8InPlace leaves it) by `order` and renumbers its pixels: no pixel's colour changes,
// the entries before `first` (the fixed ones, the key colour) stay where they are, and so do
// those after the highest entry a pixel takes. Frequency:
// most pixels first; luminance: darkest first; hue: greys first (darkest first), then by hue
// from red through yellow, green and blue, each hue darkest first. Ties keep their order.
void OrderEntries(std::uint8_t* bmp8, std::uint64_t size, int first, int end, EntryOrder order);

} // namespace quantize
