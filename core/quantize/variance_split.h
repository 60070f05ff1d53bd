// The split of the palette's items into boxes of least variance, the box of most error first.
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/quantize/colour_items.h"

namespace quantize {

// Items [begin, end) of the item list, and the squared distance of their pixels to their mean.
struct Box {
    std::size_t begin, end;
    std::uint64_t error;
};

// The pixels of a box's items together.
Stats StatsOf(const std::vector<Item>& items, const Box& box);

// Boxes of least error, at most `wanted`: the box whose pixels lie farthest from their mean
// is split next. A box that is one bin cannot be split; when it is the one that would be,
// its bin is added to `crowded` (where that is given), to be counted colour by colour.
std::vector<Box> Divide(std::vector<Item>& items, std::size_t wanted,
                        std::vector<std::uint32_t>* crowded);

} // namespace quantize
