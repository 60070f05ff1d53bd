#include "core/quantize/entry_order.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "core/bmp/layout.h"
#include "core/quantize/bmp_writer.h"

namespace quantize {
namespace {

// Luminance in thousandths of a level (0.299 red + 0.587 green + 0.114 blue).
int Luminance(const std::uint8_t* bgr) {
    return 299 * bgr[2] + 587 * bgr[1] + 114 * bgr[0];
}

// A colour whose channels lie within this of each other is a grey, without a hue.
constexpr int kGreyChroma = 8;

// Hue in 1/6 of a degree from red (0) through yellow, green, cyan, blue and magenta; -1 for a
// grey.
int Hue(const std::uint8_t* bgr) {
    const int r = bgr[2], g = bgr[1], b = bgr[0];
    const int high = std::max({r, g, b}), low = std::min({r, g, b}), chroma = high - low;
    if (chroma <= kGreyChroma) {
        return -1;
    }
    int hue = high == r   ? 360 * (g - b) / chroma
              : high == g ? 720 + 360 * (b - r) / chroma
                          : 1440 + 360 * (r - g) / chroma;
    return hue < 0 ? hue + 2160 : hue;
}

} // namespace

std::vector<int> SortedEntries(const std::uint8_t* table, const std::uint64_t* counts, int first,
                               int end, EntryOrder order) {
    std::vector<int> places(static_cast<std::size_t>(std::max(end - first, 0)));
    std::iota(places.begin(), places.end(), first);
    // One key an order, smaller first; ties keep the order the entries had.
    const auto key = [&](int e) -> std::array<std::int64_t, 2> {
        const std::uint8_t* bgr = table + 4 * e;
        switch (order) {
        case EntryOrder::Frequency:
            return {-static_cast<std::int64_t>(counts[e]), 0};
        case EntryOrder::Luminance:
            return {Luminance(bgr), 0};
        case EntryOrder::Hue:
            return {Hue(bgr), Luminance(bgr)};
        case EntryOrder::Keep:
            break;
        }
        return {0, 0};
    };
    std::stable_sort(places.begin(), places.end(), [&](int a, int b) { return key(a) < key(b); });
    return places;
}

void OrderEntries(std::uint8_t* bmp8, std::uint64_t size, int first, int end, EntryOrder order) {
    const std::optional<IndexedImage> view = ViewPlainBmp(bmp8, size);
    if (order == EntryOrder::Keep || !view || view->bits != 8 || first >= end) {
        return;
    }
    std::uint8_t* const indices = bmp8 + bmp::k8BitPixelData;
    std::array<std::uint64_t, 256> counts{};
    for (std::uint64_t y = 0; y < view->rows; ++y) {
        for (std::uint64_t x = 0; x < view->width; ++x) {
            ++counts[indices[y * view->stride + x]];
        }
    }
    // Entries after the highest a pixel takes (the black ones past a device's colours) stay.
    while (end > first && counts[static_cast<std::size_t>(end - 1)] == 0) {
        --end;
    }
    std::uint8_t* const table = bmp8 + bmp::kColourTable;
    const std::vector<int> places = SortedEntries(table, counts.data(), first, end, order);
    std::array<std::uint8_t, 256> renumbered;
    std::iota(renumbered.begin(), renumbered.end(), std::uint8_t{0});
    std::array<std::uint8_t, 4 * 256> before;
    std::copy(table, table + before.size(), before.begin());
    for (std::size_t k = 0; k < places.size(); ++k) {
        const int was = places[k], now = first + static_cast<int>(k);
        renumbered[static_cast<std::size_t>(was)] = static_cast<std::uint8_t>(now);
        std::copy_n(&before[4 * static_cast<std::size_t>(was)], 4, table + 4 * now);
    }
    for (std::uint64_t y = 0; y < view->rows; ++y) {
        for (std::uint64_t x = 0; x < view->width; ++x) {
            std::uint8_t& index = indices[y * view->stride + x];
            index = renumbered[index];
        }
    }
}

} // namespace quantize
