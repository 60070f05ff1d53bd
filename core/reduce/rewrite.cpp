#include "core/reduce/rewrite.h"

#include "core/bmp/layout.h"

namespace reduce {

std::optional<Outcome> CheckTrueColourSource(const std::uint8_t* data, std::uint64_t size,
                                             TrueColourGeometry& g, std::uint16_t& bitCount) {
    bitCount = 0;
    // The bit count decides first, even in a file too short for the rest of its headers.
    if (size < bmp::kBiBitCount + 2 || size > 0xFFFFFFFFu) {
        return Outcome::UnsupportedLayout;
    }
    bitCount = bmp::ReadU16(data + bmp::kBiBitCount);
    if (bitCount != 24) {
        return Outcome::AlreadyIndexed;
    }
    if (size < bmp::kHeadersSize) {
        return Outcome::UnsupportedLayout;
    }
    const std::int32_t width = bmp::ReadS32(data + bmp::kBiWidth);
    if (bmp::ReadU32(data + bmp::kBiSize) != 40 || bmp::ReadU32(data + bmp::kBfOffBits) != 54 ||
        bmp::ReadU32(data + bmp::kBiCompression) != 0 ||
        bmp::ReadU32(data + bmp::kBiClrUsed) != 0 || width < 0) {
        return Outcome::UnsupportedLayout;
    }
    const std::int64_t height = bmp::ReadS32(data + bmp::kBiHeight);
    g.width = static_cast<std::uint64_t>(width);
    // Rows of width 0 hold no pixels: no row needs a visit, however many the header claims.
    g.rows = width == 0 ? 0 : static_cast<std::uint64_t>(height < 0 ? -height : height);
    g.stride = (3 * g.width + 3) & ~std::uint64_t{3};
    g.padded = (g.width + 3) & ~std::uint64_t{3};
    if (g.rows * g.stride > size - bmp::kHeadersSize) {
        return Outcome::Truncated;
    }
    if (bmp::k8BitPixelData + g.rows * g.padded > 0xFFFFFFFFu) {
        return Outcome::UnsupportedLayout; // the result would not fit a BMP file
    }
    return std::nullopt;
}

void MarkAs8Bit(std::uint8_t* data, std::uint32_t pixelBytes) {
    const std::uint32_t fileBytes = static_cast<std::uint32_t>(bmp::k8BitPixelData) + pixelBytes;
    bmp::WriteU16(data + bmp::kBiBitCount, 8);
    bmp::WriteU32(data + bmp::kBiSizeImage, pixelBytes);
    bmp::WriteU32(data + bmp::kBfSize, fileBytes);
    bmp::WriteU32(data + bmp::kBfOffBits, bmp::ReadU32(data + bmp::kBfOffBits) + 1024);
}

} // namespace reduce
