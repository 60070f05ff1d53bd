// The colours of large flat areas (a panel of a screenshot, the background of a chart), kept
// exactly as entries of their own. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/quantize/colour_items.h"
#include "core/quantize/colour_table.h"

namespace quantize {

// Counts the runs of kFlatRun or more equal pixels of a row (its likeness from RowTexture),
// each for its colour, but not those of the colour `skip` (0x00RRGGBB, or -1).
void CountFlatRuns(const std::uint8_t* row, const std::uint8_t* likeness, std::uint64_t width,
                   std::int64_t skip, ColourCounts& runs);

// The single-colour items of `items` that are one of `colours` (0x00RRGGBB) leave the list.
void DropColours(std::vector<Item>& items, const std::vector<std::uint32_t>& colours);

// The colours of large flat areas, from the runs counted in the upper and the lower half of
// the image over `pixels` pixels, take entries of their own from `first` on, with `free`
// entries to share out; `fewColours` when the image's colours are few enough to be split
// colour by colour. The items that they are leave the list. Returns them (0x00RRGGBB), in the
// order of their entries. Only colours the device shows are kept.
std::vector<std::uint32_t> KeepFlatColours(DiffusionPalette& palette, int first, std::size_t free,
                                           bool fewColours, const ColourCounts* const runs[2],
                                           std::uint64_t pixels, const DeviceColours& device,
                                           std::vector<Item>& items);

} // namespace quantize
