#include "core/image/colour_count.h"

#include <algorithm>
#include <vector>

#include "core/bmp/layout.h"
#include "core/bmp/true_colour.h"

namespace image {

namespace {

std::uint32_t ColourAt(const std::uint8_t* bgr) {
    return std::uint32_t{bgr[0]} | std::uint32_t{bgr[1]} << 8 | std::uint32_t{bgr[2]} << 16;
}

// Of rows of plain 24-bit pixels: each colour sets its bit once.
class ColourBits {
  public:
    ColourBits() : bits_(std::size_t{1} << 18) {}
    void Add(const std::uint8_t* row, std::uint64_t width) {
        for (std::uint64_t x = 0; x < width; ++x, row += 3) {
            const std::uint32_t c = ColourAt(row);
            std::uint64_t& word = bits_[c >> 6];
            const std::uint64_t bit = std::uint64_t{1} << (c & 63);
            count_ += (word & bit) == 0;
            word |= bit;
        }
    }
    std::int64_t count() const { return count_; }

  private:
    std::vector<std::uint64_t> bits_;
    std::int64_t count_ = 0;
};

std::int64_t TrueColourCount(const std::uint8_t* data, const bmp::TrueColourSource& source) {
    bmp::SourceRows rows(data, source);
    ColourBits bits;
    for (std::uint64_t r = 0; r < source.geometry.rows; ++r) {
        bits.Add(rows.Row(r), source.geometry.width);
    }
    return bits.count();
}

// The entries the stored rows of an uncompressed image of 1, 4 or 8 bits take.
void MarkEntries(const std::uint8_t* data, const bmp::DrawPlan& plan, bool used[256]) {
    const std::uint64_t width = static_cast<std::uint64_t>(plan.width);
    const std::uint64_t stride = bmp::StrideBytes(plan.width, plan.bitCount);
    const int bits = plan.bitCount;
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (std::uint32_t r = 0; r < plan.scanLines; ++r) {
        const std::uint8_t* row = data + plan.pixelOffset + r * stride;
        for (std::uint64_t x = 0; x < width; ++x) {
            const int shift = 8 - bits * (1 + static_cast<int>(x % perByte));
            used[(row[x / perByte] >> shift) & mask] = true;
        }
    }
}

} // namespace

std::int64_t DistinctColours(const std::uint8_t* data, std::uint64_t size) {
    const bmp::DrawPlan plan = bmp::PlanDrawing(data, size);
    if (!plan.drawable || plan.width <= 0 || bmp::IsCutShort(data, size, plan)) {
        return -1;
    }
    if (plan.bitCount > 8) {
        bmp::TrueColourSource source;
        return bmp::CheckTrueColourSource(data, size, source) ? -1 : TrueColourCount(data, source);
    }
    if (plan.runLength) {
        std::vector<std::uint8_t> plain;
        if (!bmp::ExpandIndexed(data, size, plain)) {
            return -1;
        }
        bmp::TrueColourSource source;
        return bmp::CheckTrueColourSource(plain.data(), plain.size(), source)
                   ? -1
                   : TrueColourCount(plain.data(), source);
    }
    std::uint8_t table[1024];
    bmp::ColourTableOf(data, size, table);
    bool used[256] = {};
    MarkEntries(data, plan, used);
    std::vector<std::uint32_t> colours;
    for (int e = 0; e < 256; ++e) {
        if (used[e]) {
            colours.push_back(ColourAt(table + 4 * e));
        }
    }
    std::sort(colours.begin(), colours.end());
    return std::unique(colours.begin(), colours.end()) - colours.begin();
}

} // namespace image
