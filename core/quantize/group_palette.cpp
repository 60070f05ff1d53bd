#include "core/quantize/group_palette.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

namespace quantize {
namespace {

// Bit i of v moved to bit 3i: three of these interleaved give a colour's Morton code, which
// keeps similar colours close together in memory.
constexpr std::array<std::uint32_t, 256> MakeSpread() {
    std::array<std::uint32_t, 256> spread{};
    for (std::uint32_t v = 0; v < 256; ++v) {
        for (int bit = 0; bit < 8; ++bit) {
            spread[v] |= ((v >> bit) & 1u) << (3 * bit);
        }
    }
    return spread;
}
constexpr std::array<std::uint32_t, 256> kSpread = MakeSpread();

inline std::uint32_t MortonOf(const std::uint8_t* p) { // pixel bytes blue, green, red
    return kSpread[p[2]] << 2 | kSpread[p[1]] << 1 | kSpread[p[0]];
}

// The colour (0x00RRGGBB) of a Morton code.
std::uint32_t ColourOf(std::uint32_t morton) {
    std::uint32_t r = 0, g = 0, b = 0;
    for (int bit = 0; bit < 8; ++bit) {
        r |= ((morton >> (3 * bit + 2)) & 1u) << bit;
        g |= ((morton >> (3 * bit + 1)) & 1u) << bit;
        b |= ((morton >> (3 * bit)) & 1u) << bit;
    }
    return r << 16 | g << 8 | b;
}

// Pixel counts per colour, in pages of 8 x 8 x 8 neighbouring colours that are set up when
// a colour of theirs first occurs: memory follows the colours the image uses, and
// neighbouring pixels, being of similar colours, mostly hit the same page. A count is one
// byte, which keeps the memory the image touches small: seven bits count, and each time they
// fill up they are carried into a side table and the eighth bit marks the colour as having
// a carry. A colour that occurs never reads 0.
class ColourCounts {
  public:
    static constexpr int kPageBits = 9;
    static constexpr std::uint32_t kPageSize = 1u << kPageBits;

    ColourCounts() : pages_(std::size_t{1} << (24 - kPageBits), nullptr) {}

    void Add(std::uint32_t morton) {
        std::uint8_t& count = Slot(morton);
        if ((count & kLow) == kLow) {
            carry_[morton] += kLow;
            count = kCarried;
        }
        ++count;
    }
    // A colour's count byte, its page set up if need be.
    std::uint8_t& Slot(std::uint32_t morton) {
        std::uint8_t*& page = pages_[morton >> kPageBits];
        if (page == nullptr) {
            page = NewPage();
        }
        return page[morton & (kPageSize - 1)];
    }
    // The count byte of a colour that occurs.
    std::uint8_t& SlotOfCounted(std::uint32_t morton) {
        return pages_[morton >> kPageBits][morton & (kPageSize - 1)];
    }
    std::uint32_t Total(std::uint32_t morton, std::uint8_t count) const {
        if ((count & kCarried) == 0) {
            return count;
        }
        return (count & kLow) + carry_.find(morton)->second;
    }
    // Calls f(morton, slot, total) for every colour that occurs, in increasing Morton order.
    template <typename F> void ForEach(F f) {
        for (std::uint32_t p = 0; p < pages_.size(); ++p) {
            if (pages_[p] != nullptr) {
                for (std::uint32_t i = 0; i < kPageSize; ++i) {
                    std::uint8_t& count = pages_[p][i];
                    if (count != 0) {
                        const std::uint32_t morton = p << kPageBits | i;
                        f(morton, count, Total(morton, count));
                    }
                }
            }
        }
    }

  private:
    static constexpr std::uint8_t kLow = 0x7F;
    static constexpr std::uint8_t kCarried = 0x80;
    static constexpr std::uint32_t kPagesAChunk = 64;

    // Pages are handed out from zeroed chunks of 64.
    std::uint8_t* NewPage() {
        if (chunks_.empty() || used_ == kPagesAChunk) {
            chunks_.push_back(std::make_unique<std::uint8_t[]>(kPagesAChunk * kPageSize));
            used_ = 0;
        }
        return chunks_.back().get() + kPageSize * used_++;
    }

    std::vector<std::uint8_t*> pages_;
    std::vector<std::unique_ptr<std::uint8_t[]>> chunks_;
    std::uint32_t used_ = 0;
    std::unordered_map<std::uint32_t, std::uint32_t> carry_;
};

struct Ranked {
    std::uint32_t morton;
    std::uint32_t count;
};

// The smallest count among the `places` largest counts (1 when there are fewer colours).
std::uint32_t Threshold(ColourCounts& counts, int places) {
    std::vector<std::uint32_t> heap; // min-heap of the largest counts seen
    heap.reserve(static_cast<std::size_t>(places));
    counts.ForEach([&](std::uint32_t, std::uint8_t&, std::uint32_t count) {
        if (heap.size() < static_cast<std::size_t>(places)) {
            heap.push_back(count);
            std::push_heap(heap.begin(), heap.end(), std::greater<>());
        } else if (count > heap.front()) {
            std::pop_heap(heap.begin(), heap.end(), std::greater<>());
            heap.back() = count;
            std::push_heap(heap.begin(), heap.end(), std::greater<>());
        }
    });
    return heap.size() < static_cast<std::size_t>(places) ? 1 : heap.front();
}

} // namespace

void FillFixedAndBasic(DiffusionPalette& palette, const GroupSizes& sizes,
                       const DiffusionInput& input) {
    palette.fill(PaletteEntry::OfColour(0));
    for (int i = 0; i < sizes.fixed; ++i) {
        const std::uint8_t* bgr = &input.fixedTable[4 * i];
        palette[i] = {bgr[2], bgr[1], bgr[0], 1};
    }
    for (int k = 0; k < sizes.basic; ++k) {
        const std::uint8_t* rgb = &input.basicPalette[3 * k];
        palette[sizes.fixed + k] = {rgb[0], rgb[1], rgb[2], 1};
    }
}

bool FillFreeGroup(DiffusionPalette& palette, const GroupSizes& sizes, bmp::SourceRows& rows,
                   const bmp::TrueColourGeometry& g, DiffusionObserver& observer) try {
    ColourCounts counts;
    VisitPixels(rows, g, observer, [&counts](const std::uint8_t* p) { counts.Add(MortonOf(p)); });

    observer.Phase(1);
    ReportProgress(observer, 0, sizes.free, sizes.free);
    if (sizes.free == 0) {
        return true;
    }
    // Colours of the fixed and basic groups are not candidates.
    const int filled = sizes.fixed + sizes.basic;
    for (int e = 0; e < filled; ++e) {
        const std::uint8_t bgr[3] = {palette[e].blue, palette[e].green, palette[e].red};
        counts.Slot(MortonOf(bgr)) = 0;
    }
    // The places go to the colours counted more than `threshold` times, fewer than there are
    // places, and to those counted exactly `threshold` times that are met first in storage
    // order. Their count bytes now mark them; the image is scanned again until every colour
    // above the threshold and enough of those at it have been met. Memory stays within a few
    // records a place however many colours tie.
    constexpr std::uint8_t kAt = 1, kAbove = 2;
    const std::uint32_t threshold = Threshold(counts, sizes.free);
    std::vector<Ranked> above; // in Morton order
    std::size_t atThreshold = 0;
    counts.ForEach([&](std::uint32_t morton, std::uint8_t& count, std::uint32_t total) {
        if (total > threshold) {
            count = kAbove;
            above.push_back({morton, total});
        } else if (total == threshold) {
            count = kAt;
            ++atThreshold;
        } else {
            count = 0;
        }
    });
    const std::size_t wanted =
        above.size() + std::min(atThreshold, static_cast<std::size_t>(sizes.free) - above.size());
    std::vector<Ranked> ranked; // in order of first appearance
    ranked.reserve(wanted);
    std::size_t atMet = 0;
    for (std::uint64_t y = 0; y < g.rows && ranked.size() < wanted; ++y) {
        const std::uint64_t width = rows.Width(y);
        const std::uint8_t* p = rows.Row(y);
        for (std::uint64_t x = 0; x < width; ++x, p += 3) {
            const std::uint32_t morton = MortonOf(p);
            std::uint8_t& mark = counts.SlotOfCounted(morton);
            if (mark == kAbove) {
                ranked.push_back(*std::lower_bound(
                    above.begin(), above.end(), morton,
                    [](const Ranked& r, std::uint32_t m) { return r.morton < m; }));
            } else if (mark == kAt && atMet < wanted - above.size()) {
                ranked.push_back({morton, threshold});
                ++atMet;
            }
            mark = 0;
        }
    }
    // Highest count first; among equal counts the colour met first.
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const Ranked& a, const Ranked& b) { return a.count > b.count; });
    const std::size_t places = std::min(ranked.size(), static_cast<std::size_t>(sizes.free));
    for (std::size_t r = 0; r < places; ++r) {
        palette[static_cast<std::size_t>(filled) + r] =
            PaletteEntry::OfColour(ColourOf(ranked[r].morton));
    }
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace quantize
