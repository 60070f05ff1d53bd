#include "core/bmp/true_colour.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/bmp/layout.h"

namespace bmp {
namespace {

constexpr std::uint32_t kBitFields = 3;

// The channel a mask selects: at most 8 contiguous bits within the pixel. Nothing for an
// empty mask, a mask with gaps, or one that is too wide.
std::optional<Channel> ChannelOf(std::uint32_t mask, int bitCount) {
    if (mask == 0 || (bitCount < 32 && (mask >> bitCount) != 0)) {
        return std::nullopt;
    }
    Channel channel;
    while ((mask & 1u) == 0) {
        mask >>= 1;
        ++channel.shift;
    }
    while ((mask & 1u) != 0) {
        mask >>= 1;
        ++channel.bits;
    }
    if (mask != 0 || channel.bits > 8) {
        return std::nullopt;
    }
    for (std::uint32_t v = 0; v < (1u << channel.bits); ++v) {
        std::uint32_t wide = v << (8 - channel.bits);
        for (int filled = channel.bits; filled < 8; filled *= 2) {
            wide |= wide >> filled;
        }
        channel.widened[v] = static_cast<std::uint8_t>(wide);
    }
    return channel;
}

// The three channels of a 16- or 32-bit image: its masks with bit fields, else 5-5-5 for 16
// bits and 8-8-8 for 32. Nothing when a mask is not usable or two of them overlap.
bool ReadChannels(const std::uint8_t* data, bool bitFields, TrueColourSource& s) {
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bitFields) {
        for (int i = 0; i < 3; ++i) {
            masks[i] = bmp::ReadU32(data + bmp::kColourTable + 4 * i);
        }
    } else if (s.bitCount == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }
    if ((masks[0] & masks[1]) != 0 || (masks[0] & masks[2]) != 0 || (masks[1] & masks[2]) != 0) {
        return false;
    }
    const auto red = ChannelOf(masks[0], s.bitCount);
    const auto green = ChannelOf(masks[1], s.bitCount);
    const auto blue = ChannelOf(masks[2], s.bitCount);
    if (!red || !green || !blue) {
        return false;
    }
    s.red = *red;
    s.green = *green;
    s.blue = *blue;
    return true;
}

constexpr std::size_t kOs2BitCount = 24;

// What a file of 8 or fewer bits per pixel is to the conversions, as drawing reads it: cut
// short (in its headers, its colour table or its rows) before anything else; a layout no
// drawing takes (bit counts 0, 2, 3 or 7, top-down or oversized run-length data, a header
// of another kind); otherwise the whole indexed image it is.
SourceProblem IndexedProblem(const std::uint8_t* data, std::uint64_t size) {
    const bmp::DrawPlan plan = bmp::PlanDrawing(data, size);
    if (!plan.drawable) {
        return plan.problem == bmp::DrawProblem::Truncated ? SourceProblem::Truncated
                                                           : SourceProblem::UnsupportedLayout;
    }
    if (bmp::IsCutShort(data, size, plan)) {
        return SourceProblem::Truncated;
    }
    return plan.bitCount <= 8 ? SourceProblem::AlreadyIndexed : SourceProblem::UnsupportedLayout;
}

// Blue, green and red of pixel x of a stored 16- or 32-bit row.
inline void DecodePixel(const TrueColourSource& s, const std::uint8_t* stored, std::uint64_t x,
                        std::uint8_t* bgr) {
    const std::uint32_t pixel =
        s.bitCount == 32 ? bmp::ReadU32(stored + 4 * x) : bmp::ReadU16(stored + 2 * x);
    if (s.keyed && (pixel & s.alphaMask) == 0) {
        std::memcpy(bgr, s.key, 3);
        return;
    }
    bgr[0] = s.blue(pixel);
    bgr[1] = s.green(pixel);
    bgr[2] = s.red(pixel);
}

} // namespace

std::optional<SourceProblem> CheckTrueColourSource(const std::uint8_t* data, std::uint64_t size,
                                                   TrueColourSource& s) {
    s = TrueColourSource{};
    if (size < bmp::kBiBitCount + 2 || size > 0xFFFFFFFFu) {
        return SourceProblem::UnsupportedLayout;
    }
    // The bit count decides first (an OS/2 header holds it at 24).
    const bool os2 = bmp::ReadU32(data + bmp::kBiSize) == 12;
    s.bitCount = bmp::ReadU16(data + (os2 ? kOs2BitCount : bmp::kBiBitCount));
    if (s.bitCount <= 8) {
        return IndexedProblem(data, size);
    }
    if ((s.bitCount != 16 && s.bitCount != 24 && s.bitCount != 32) || size < bmp::kHeadersSize) {
        return SourceProblem::UnsupportedLayout;
    }
    const std::uint32_t headerSize = bmp::ReadU32(data + bmp::kBiSize);
    const std::uint32_t compression = bmp::ReadU32(data + bmp::kBiCompression);
    const bool bitFields = compression == kBitFields && s.bitCount != 24;
    const std::int32_t width = bmp::ReadS32(data + bmp::kBiWidth);
    if ((headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
         headerSize != 124) ||
        (compression != 0 && !bitFields) || width < 0) {
        return SourceProblem::UnsupportedLayout;
    }
    // Bit-field masks follow a 40-byte header; longer headers hold them.
    const std::uint64_t headersEnd =
        bmp::kInfoHeader + headerSize + (bitFields && headerSize == 40 ? 12 : 0);
    if (headersEnd > size || (s.bitCount != 24 && !ReadChannels(data, bitFields, s))) {
        return SourceProblem::UnsupportedLayout;
    }
    // Colour-table entries may lie between the headers and the pixels, and gaps too.
    const std::uint64_t colourUsed = bmp::ReadU32(data + bmp::kBiClrUsed);
    s.offset = bmp::ReadU32(data + bmp::kBfOffBits);
    if (s.offset < headersEnd + 4 * colourUsed) {
        return SourceProblem::UnsupportedLayout;
    }

    TrueColourGeometry& g = s.geometry;
    const std::int64_t height = bmp::ReadS32(data + bmp::kBiHeight);
    g.width = static_cast<std::uint64_t>(width);
    // Rows of width 0 hold no pixels: no row needs a visit, however many the header claims.
    g.rows = width == 0 ? 0 : static_cast<std::uint64_t>(height < 0 ? -height : height);
    g.stride = (3 * g.width + 3) & ~std::uint64_t{3};
    g.padded = (g.width + 3) & ~std::uint64_t{3};
    g.topDown = height < 0;
    s.rowBytes = bmp::StrideBytes(width, static_cast<std::uint16_t>(s.bitCount));
    if (g.rows > 0 && (s.offset > size || g.rows * s.rowBytes > size - s.offset)) {
        return SourceProblem::Truncated;
    }
    if (bmp::k8BitPixelData + g.rows * g.padded > 0xFFFFFFFFu || PlainSize(s) > 0xFFFFFFFFu) {
        return SourceProblem::UnsupportedLayout; // the result would not fit a BMP file
    }
    s.plain =
        s.bitCount == 24 && headerSize == 40 && s.offset == bmp::kHeadersSize && colourUsed == 0;
    return std::nullopt;
}

std::uint32_t AlphaMaskOf(const std::uint8_t* data, const TrueColourSource& s) {
    if (s.bitCount != 32) {
        return 0;
    }
    const std::uint32_t colourMasks = 0xFFFFFFFFu >> (32 - s.red.bits) << s.red.shift |
                                      0xFFFFFFFFu >> (32 - s.green.bits) << s.green.shift |
                                      0xFFFFFFFFu >> (32 - s.blue.bits) << s.blue.shift;
    if (bmp::ReadU32(data + bmp::kBiCompression) == kBitFields) {
        return bmp::ReadU32(data + bmp::kBiSize) >= 56
                   ? bmp::ReadU32(data + bmp::kInfoHeader + 52) & ~colourMasks
                   : 0;
    }
    // The fourth bytes say something only where one of them is not 0.
    for (std::uint64_t r = 0; r < s.geometry.rows; ++r) {
        const std::uint8_t* row = data + s.offset + r * s.rowBytes;
        for (std::uint64_t x = 0; x < s.geometry.width; ++x) {
            if (row[4 * x + 3] != 0) {
                return 0xFF000000u;
            }
        }
    }
    return 0;
}

std::optional<Channel> AlphaChannelOf(const std::uint8_t* data, const TrueColourSource& s) {
    return ChannelOf(AlphaMaskOf(data, s), 32);
}

void KeyTransparentPixels(const std::uint8_t* data, TrueColourSource& s, const std::uint8_t* bgr) {
    const std::uint32_t mask = AlphaMaskOf(data, s);
    if (mask != 0) {
        s.keyed = true;
        s.alphaMask = mask;
        std::memcpy(s.key, bgr, 3);
        s.plain = false;
    }
}

std::uint64_t PlainSize(const TrueColourSource& s) {
    return bmp::kHeadersSize + s.geometry.rows * s.geometry.stride;
}

SourceRows::SourceRows(const std::uint8_t* data, const TrueColourSource& source)
    : data_(data), source_(source) {
    // Room for one decoded row, only when there is a row: a header may claim a billion pixels
    // a row over no rows at all, and a row that is there lies in the file.
    if (source.bitCount != 24 && source.geometry.rows > 0) {
        row_.resize(static_cast<std::size_t>(3 * source.geometry.width));
    }
}

SourceRows::SourceRows(std::vector<SourceRows> stack)
    : data_(nullptr), source_(stack.front().source_), stack_(std::move(stack)) {
    firstRows_.push_back(0);
    for (const SourceRows& part : stack_) {
        firstRows_.push_back(firstRows_.back() + part.source_.geometry.rows);
    }
}

std::size_t SourceRows::PartOf(std::uint64_t r) const {
    const auto after = std::upper_bound(firstRows_.begin(), firstRows_.end(), r);
    return static_cast<std::size_t>(after - firstRows_.begin()) - 1;
}

const std::uint8_t* SourceRows::StackRow(std::uint64_t r) {
    const std::size_t part = PartOf(r);
    return stack_[part].Row(r - firstRows_[part]);
}

const std::uint8_t* SourceRows::Decode(const std::uint8_t* stored) {
    for (std::uint64_t x = 0; x < source_.geometry.width; ++x) {
        DecodePixel(source_, stored, x, &row_[static_cast<std::size_t>(3 * x)]);
    }
    return row_.data();
}

void RewriteAsPlain24(std::uint8_t* data, const TrueColourSource& s) {
    if (s.plain) {
        return;
    }
    const TrueColourGeometry& g = s.geometry;
    std::uint8_t* plain = data + bmp::kHeadersSize;
    const std::uint64_t pixelBytes = 3 * g.width;
    if (s.bitCount == 24) {
        std::memmove(plain, data + s.offset, static_cast<std::size_t>(g.rows * g.stride));
    } else if (s.bitCount == 32) {
        // Rows shrink: front to back, every stored pixel is read before its place is written,
        // and a row's three-byte pixels end before the next stored row begins.
        for (std::uint64_t r = 0; r < g.rows; ++r) {
            const std::uint8_t* stored = data + s.offset + r * s.rowBytes;
            std::uint8_t* row = plain + r * g.stride;
            for (std::uint64_t x = 0; x < g.width; ++x) {
                std::uint8_t bgr[3];
                DecodePixel(s, stored, x, bgr);
                std::memcpy(row + 3 * x, bgr, 3);
            }
            std::memset(row + pixelBytes, 0, static_cast<std::size_t>(g.stride - pixelBytes));
        }
    } else {
        // Rows grow: the stored rows move down to where the plain rows start, then each row
        // spreads out back to front, from the last row to the first, so that nothing is
        // written over a stored pixel still to be read.
        std::memmove(plain, data + s.offset, static_cast<std::size_t>(g.rows * s.rowBytes));
        for (std::uint64_t r = g.rows; r-- > 0;) {
            const std::uint8_t* stored = plain + r * s.rowBytes;
            std::uint8_t* row = plain + r * g.stride;
            std::memset(row + pixelBytes, 0, static_cast<std::size_t>(g.stride - pixelBytes));
            for (std::uint64_t x = g.width; x-- > 0;) {
                std::uint8_t bgr[3];
                DecodePixel(s, stored, x, bgr);
                std::memcpy(row + 3 * x, bgr, 3);
            }
        }
    }
    bmp::WriteU32(data + bmp::kBfSize, static_cast<std::uint32_t>(PlainSize(s)));
    bmp::WriteU32(data + bmp::kBfOffBits, bmp::kHeadersSize);
    bmp::WriteU32(data + bmp::kBiSize, 40);
    bmp::WriteU16(data + bmp::kBiBitCount, 24);
    bmp::WriteU32(data + bmp::kBiCompression, 0);
    bmp::WriteU32(data + bmp::kBiSizeImage, static_cast<std::uint32_t>(g.rows * g.stride));
    bmp::WriteU32(data + bmp::kBiClrUsed, 0);
    bmp::WriteU32(data + bmp::kBiClrImportant, 0);
}

} // namespace bmp
