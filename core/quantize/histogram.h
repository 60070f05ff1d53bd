// The counting of an image for its palette: a histogram of coarse bins with the exact sums
// of each bin's pixels, the first colours while there are few, every colour while there are
// a few thousand, and the colours of the bins that need more than one entry, counted again
// colour by colour. Pixels count by their likeness to their neighbours. Portable: no
// platform headers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bmp/true_colour.h"
#include "core/quantize/colour_items.h"
#include "core/quantize/colour_list.h"
#include "core/quantize/colour_table.h"
#include "core/quantize/observer.h"
#include "core/quantize/side_by_side.h"
#include "core/quantize/variance_split.h"

namespace quantize {

// The histogram keeps the top 5 bits of each channel, and in each bin the exact sums of the
// values and of their squares. A bin that needs more than one entry (the colours of a sky or
// a smooth gradient lie that close together) is counted again colour by colour.
constexpr int kBinBits = 5;
constexpr int kDropBits = 8 - kBinBits;
constexpr std::uint32_t kBins = 1u << (3 * kBinBits);
constexpr std::uint32_t kColoursPerBin = 1u << (3 * kDropBits);

// A colour's bin.
inline std::uint32_t BinOf(const std::uint8_t* bgr) {
    return static_cast<std::uint32_t>(bgr[2] >> kDropBits) << (2 * kBinBits) |
           static_cast<std::uint32_t>(bgr[1] >> kDropBits) << kBinBits | (bgr[0] >> kDropBits);
}

// The place of a colour in its bin: the low bits of red, green and blue.
inline std::uint32_t InBinOf(const std::uint8_t* bgr) {
    constexpr std::uint32_t low = (1u << kDropBits) - 1;
    return (bgr[2] & low) << (2 * kDropBits) | (bgr[1] & low) << kDropBits | (bgr[0] & low);
}

// One part of the image counted: each bin's pixels, and the first colours while there are
// few; and then, for the bins being counted colour by colour, each colour's pixels.
struct ImageCount {
    std::vector<Stats> bins = std::vector<Stats>(kBins);
    ColourList first;
    bool few = true;
    ColourCounts exact; // every colour's pixels, weighted, while they are few
    ColourCounts flat;  // the pixels of each colour that lie in flat runs of the rows counted
    std::uint64_t rowPixels = 0;                   // pixels of the rows counted
    std::uint64_t sampledFrom = ~std::uint64_t{0}; // the first row sampled
    std::int64_t skip = -1; // a colour (0x00RRGGBB) not counted at all: the key colour

    bool Skipped(const std::uint8_t* p) const {
        return skip >= 0 && PixelKey(p) == static_cast<std::uint32_t>(skip);
    }

    // Counts rows [begin, end), reporting phase 0's progress to `observer` (where given)
    // as if each row were `rowsPerRow` of the image's.
    void Rows(bmp::SourceRows& rows, const bmp::TrueColourGeometry& g, std::uint64_t begin,
              std::uint64_t end, DiffusionObserver* observer, std::uint64_t rowsPerRow);
    // The colours of the bins whose place in `slots` is not negative, counted again over the
    // same pixels as the first time: `colours` holds kColoursPerBin counts a slot.
    void Colours(bmp::SourceRows& rows, std::uint64_t begin, std::uint64_t end,
                 const std::vector<std::int32_t>& slots, std::vector<std::uint64_t>& colours) const;

  private:
    void Add(const std::uint8_t* p, std::uint64_t weight) {
        Stats& bin = bins[BinOf(p)];
        bin.count += weight;
        for (int c = 0; c < 3; ++c) {
            const std::uint64_t v = p[2 - c];
            bin.sum[c] += weight * v;
            bin.squares[c] += weight * v * v;
        }
    }
};

// Runs a piece of work on the upper and the lower half of the rows, side by side with two
// threads (`together` true), one after the other with one. Each half has rows of its own to
// read through.
template <typename Work>
void InHalves(bmp::SourceRows& rows, std::uint64_t rowCount, int threads, Work work) {
    const std::uint64_t middle = (rowCount + 1) / 2;
    bmp::SourceRows lowerRows = rows;
    if (threads != 2 || !RunSideBySide([&] { work(0, rows, 0, middle, true); },
                                       [&] { work(1, lowerRows, middle, rowCount, true); })) {
        work(0, rows, 0, middle, false);
        work(1, rows, middle, rowCount, false);
    }
}

// The items of the counted image: one for each bin, or for a crowded bin (`slots` not
// negative) one for each of its colours.
std::vector<Item> MakeItems(const ImageCount counts[2], const std::vector<std::int32_t>& slots,
                            const std::vector<std::uint64_t> colours[2]);

// Every colour of an image of few enough colours, as an item of its own, in the order of
// their values; none when the image has more colours.
std::vector<Item> ExactItems(const ImageCount counts[2]);

// Boxes of bins first; the bins that want more than their one entry are counted again colour
// by colour, and the boxes made afresh, until no bin wants more (or kCountings countings).
// The colours `kept` (0x00RRGGBB), which have entries of their own, are left out.
std::vector<Box> DivideBins(ImageCount counts[2], std::size_t wanted, bmp::SourceRows& rows,
                            const bmp::TrueColourGeometry& g, int threads, std::vector<Item>& items,
                            const std::vector<std::uint32_t>& kept);

} // namespace quantize
