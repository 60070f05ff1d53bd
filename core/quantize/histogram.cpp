#include "core/quantize/histogram.h"

#include <algorithm>

#include "core/quantize/flat_colours.h"
#include "core/quantize/side_by_side.h"
#include "core/quantize/texture_map.h"

namespace quantize {
namespace {

// Channel `shift` (2 red, 1 green, 0 blue) of the colour at place k of a bin: BinOf and
// InBinOf the other way round.
int ColourOf(std::uint32_t bin, std::uint32_t k, int shift) {
    const std::uint32_t high = (bin >> (shift * kBinBits)) & ((1u << kBinBits) - 1);
    const std::uint32_t low = (k >> (shift * kDropBits)) & ((1u << kDropBits) - 1);
    return static_cast<int>(high << kDropBits | low);
}

// The pixels a counting reads, visit(pixel, weight): every pixel of the rows before
// `sampledFrom`; from there on, once the colours are many, every other pixel of every other
// row, standing for four: the palette comes out as good, and the counting is four times
// quicker. The weight includes the pixel's own.
template <typename Visit>
void VisitCountedPixels(bmp::SourceRows& rows, std::uint64_t begin, std::uint64_t end,
                        std::uint64_t sampledFrom, Visit visit) {
    RowTexture texture;
    for (std::uint64_t y = begin; y < end; ++y) {
        if (y >= sampledFrom && y % 2 != 0) {
            continue;
        }
        const std::uint64_t width = rows.Width(y);
        const std::uint8_t* p = rows.Row(y);
        const std::uint8_t* w = texture.Likeness(p, width);
        if (y < sampledFrom) {
            for (std::uint64_t x = 0; x < width; ++x, p += 3) {
                visit(p, w[3 * x]);
            }
        } else {
            for (std::uint64_t x = 0; x < width; x += 2, p += 6) {
                visit(p, 4 * std::uint64_t{w[3 * x]});
            }
        }
    }
}

// Countings of the image: the first, and at most two more for bins that want more entries.
constexpr int kCountings = 3;

} // namespace

void ImageCount::Rows(bmp::SourceRows& rows, const bmp::TrueColourGeometry& g, std::uint64_t begin,
                      std::uint64_t end, DiffusionObserver* observer, std::uint64_t rowsPerRow) {
    const std::int64_t positions = static_cast<std::int64_t>(g.padded * g.rows);
    RowTexture texture;
    for (std::uint64_t y = begin; y < end; ++y) {
        if (observer != nullptr) {
            const std::uint64_t from = std::min(y * rowsPerRow, g.rows);
            const std::uint64_t to = std::min((y + 1) * rowsPerRow, g.rows);
            ReportProgress(*observer, static_cast<std::int64_t>(from * g.padded),
                           static_cast<std::int64_t>(to * g.padded), positions);
        }
        const std::uint64_t width = rows.Width(y);
        if (!exact.full()) {
            const std::uint8_t* row = rows.Row(y);
            const std::uint8_t* w = texture.Likeness(row, width);
            const std::uint8_t* p = row;
            for (std::uint64_t x = 0; x < width; ++x, p += 3) {
                if (Skipped(p)) {
                    continue;
                }
                Add(p, w[3 * x]);
                exact.Add(p, w[3 * x]);
                if (few && first.FindOrAdd(PixelKey(p)) < 0) {
                    few = false;
                }
            }
            rowPixels += width;
            CountFlatRuns(row, w, width, skip, flat);
            if (exact.full()) {
                sampledFrom = y + 1;
            }
        } else if (y % 2 == 0) {
            const std::uint8_t* row = rows.Row(y);
            const std::uint8_t* w = texture.Likeness(row, width);
            for (std::uint64_t x = 0; x < width; x += 2) {
                if (!Skipped(row + 3 * x)) {
                    Add(row + 3 * x, 4 * std::uint64_t{w[3 * x]});
                }
            }
            rowPixels += width;
            CountFlatRuns(row, w, width, skip, flat);
        }
    }
}

void ImageCount::Colours(bmp::SourceRows& rows, std::uint64_t begin, std::uint64_t end,
                         const std::vector<std::int32_t>& slots,
                         std::vector<std::uint64_t>& colours) const {
    VisitCountedPixels(
        rows, begin, end, sampledFrom, [&](const std::uint8_t* p, std::uint64_t weight) {
            const std::int32_t slot = slots[BinOf(p)];
            if (slot >= 0 && !Skipped(p)) {
                colours[static_cast<std::size_t>(slot) * kColoursPerBin + InBinOf(p)] += weight;
            }
        });
}

std::vector<Item> MakeItems(const ImageCount counts[2], const std::vector<std::int32_t>& slots,
                            const std::vector<std::uint64_t> colours[2]) {
    std::vector<Item> items;
    const auto add = [&items](const Stats& stats, std::int32_t bin) {
        Item item{stats, {stats.Mean(0), stats.Mean(1), stats.Mean(2)}, bin};
        items.push_back(item);
    };
    for (std::uint32_t place = 0; place < kBins; ++place) {
        Stats bin = counts[0].bins[place];
        bin.Add(counts[1].bins[place]);
        if (bin.count == 0) {
            continue;
        }
        const std::int32_t slot = slots[place];
        if (slot < 0) {
            add(bin, static_cast<std::int32_t>(place));
            continue;
        }
        for (std::uint32_t k = 0; k < kColoursPerBin; ++k) {
            const std::size_t at = static_cast<std::size_t>(slot) * kColoursPerBin + k;
            const std::uint64_t count = colours[0][at] + colours[1][at];
            if (count != 0) {
                const int rgb[3] = {ColourOf(place, k, 2), ColourOf(place, k, 1),
                                    ColourOf(place, k, 0)};
                Stats colour;
                colour.AddColour(rgb, count);
                add(colour, -1);
            }
        }
    }
    return items;
}

std::vector<Item> ExactItems(const ImageCount counts[2]) {
    std::vector<Item> items;
    if (counts[0].exact.full() || counts[1].exact.full()) {
        return items;
    }
    std::vector<std::pair<std::uint32_t, std::uint64_t>> all;
    for (int half = 0; half < 2; ++half) {
        counts[half].exact.ForEach([&](std::uint32_t c, std::uint64_t n) {
            all.push_back({c, n});
        });
    }
    std::sort(all.begin(), all.end());
    for (std::size_t i = 0; i < all.size();) {
        const std::uint32_t c = all[i].first;
        std::uint64_t n = 0;
        for (; i < all.size() && all[i].first == c; ++i) {
            n += all[i].second;
        }
        const int rgb[3] = {static_cast<int>(c >> 16 & 0xFF), static_cast<int>(c >> 8 & 0xFF),
                            static_cast<int>(c & 0xFF)};
        Stats colour;
        colour.AddColour(rgb, n);
        items.push_back({colour, {rgb[0], rgb[1], rgb[2]}, -1});
    }
    return items;
}

std::vector<Box> DivideBins(ImageCount counts[2], std::size_t wanted, bmp::SourceRows& rows,
                            const bmp::TrueColourGeometry& g, int threads, std::vector<Item>& items,
                            const std::vector<std::uint32_t>& kept) {
    std::vector<std::int32_t> slots(kBins, -1);
    std::vector<std::uint32_t> crowded;
    std::vector<std::uint64_t> colours[2];
    const auto countColours = [&](std::int32_t slotCount) {
        const std::size_t length = static_cast<std::size_t>(slotCount) * kColoursPerBin;
        for (auto& half : colours) {
            std::fill(half.begin(), half.end(), 0);
            half.resize(length, 0);
        }
        InHalves(rows, g.rows, threads,
                 [&](int half, bmp::SourceRows& own, std::uint64_t begin, std::uint64_t end, bool) {
                     counts[half].Colours(own, begin, end, slots, colours[half]);
                 });
    };
    // The bins of the colours kept exactly are counted colour by colour from the start, so
    // that those colours' own pixels, which their entries hold without error, leave the items.
    if (!kept.empty()) {
        std::int32_t slotCount = 0;
        for (const std::uint32_t c : kept) {
            const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(c & 0xFF),
                                         static_cast<std::uint8_t>(c >> 8 & 0xFF),
                                         static_cast<std::uint8_t>(c >> 16 & 0xFF)};
            std::int32_t& slot = slots[BinOf(bgr)];
            if (slot < 0) {
                slot = slotCount++;
            }
        }
        countColours(slotCount);
    }
    for (int counting = 1;; ++counting) {
        items = MakeItems(counts, slots, colours);
        DropColours(items, kept);
        crowded.clear();
        std::vector<Box> boxes = Divide(items, wanted, counting < kCountings ? &crowded : nullptr);
        if (crowded.empty()) {
            return boxes;
        }
        std::int32_t slotCount = static_cast<std::int32_t>(colours[0].size() / kColoursPerBin);
        for (const std::uint32_t bin : crowded) {
            slots[bin] = slotCount++;
        }
        countColours(slotCount);
    }
}

} // namespace quantize
