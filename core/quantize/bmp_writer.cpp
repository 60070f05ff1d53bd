#include "core/quantize/bmp_writer.h"

#include <algorithm>
#include <cstring>

#include "core/bmp/layout.h"
#include "core/image/rgba.h"
#include "core/quantize/fewer_bits.h"

namespace quantize {

std::uint64_t WriteBmp8InPlace(std::uint8_t* data, const IndexedImage& image) {
    const std::uint64_t pixelBytes = image.rows * image.stride;
    std::memmove(data + bmp::k8BitPixelData, image.indices, static_cast<std::size_t>(pixelBytes));
    for (int j = 0; j < 256; ++j) {
        std::uint8_t* entry = data + bmp::kColourTable + 4 * j;
        const bool used = j < image.entries;
        entry[0] = used ? image.table[3 * j + 2] : 0;
        entry[1] = used ? image.table[3 * j + 1] : 0;
        entry[2] = used ? image.table[3 * j] : 0;
        entry[3] = 0;
    }
    const std::uint64_t fileBytes = bmp::k8BitPixelData + pixelBytes;
    bmp::WriteU16(data + bmp::kBiBitCount, 8);
    bmp::WriteU32(data + bmp::kBiSizeImage, static_cast<std::uint32_t>(pixelBytes));
    bmp::WriteU32(data + bmp::kBfSize, static_cast<std::uint32_t>(fileBytes));
    bmp::WriteU32(data + bmp::kBfOffBits, bmp::ReadU32(data + bmp::kBfOffBits) + 1024);
    return fileBytes;
}

std::vector<std::uint8_t> Bmp8OfIndices(std::uint32_t width, std::uint32_t height,
                                        const std::uint8_t* indices, IndexedImage image) {
    // A plain 24-bit header, the rows of indices stored bottom-up behind it, then rewritten
    // as the 8-bit file.
    const std::uint64_t padded = (std::uint64_t{width} + 3) & ~std::uint64_t{3};
    std::vector<std::uint8_t> out(
        static_cast<std::size_t>(bmp::kHeadersSize + 1024 + padded * height), 0);
    image::Plain24Writer(width, height, 8, {}, out.data());
    for (std::uint32_t y = 0; y < height; ++y) {
        std::memcpy(out.data() + bmp::kHeadersSize + (height - 1 - y) * padded,
                    indices + std::size_t{y} * width, width);
    }
    image.width = width;
    image.rows = height;
    image.bits = 8;
    image.stride = padded;
    image.indices = out.data() + bmp::kHeadersSize;
    image.topDown = false;
    out.resize(static_cast<std::size_t>(WriteBmp8InPlace(out.data(), image)));
    return out;
}

std::uint64_t PackBmpInPlace(std::uint8_t* data, const IndexedImage& image, int bits) {
    // The table's first entries stay where they are; each row moves down to its packed place,
    // which never lies behind the row's own indices.
    const std::uint32_t entries = 1u << bits;
    const std::uint64_t offset = bmp::kColourTable + 4 * entries;
    const std::uint64_t stride =
        bmp::StrideBytes(static_cast<std::int64_t>(image.width), static_cast<std::uint16_t>(bits));
    const std::uint64_t rowBytes = (image.width * static_cast<unsigned>(bits) + 7) / 8;
    for (std::uint64_t y = 0; y < image.rows; ++y) {
        std::uint8_t* row = data + offset + y * stride;
        PackRow(image.indices + y * image.stride, image.width, bits, row);
        std::fill(row + rowBytes, row + stride, std::uint8_t{0});
    }
    const std::uint64_t pixelBytes = image.rows * stride;
    const std::uint64_t fileBytes = offset + pixelBytes;
    bmp::WriteU16(data + bmp::kBiBitCount, static_cast<std::uint16_t>(bits));
    bmp::WriteU32(data + bmp::kBiClrUsed, entries);
    bmp::WriteU32(data + bmp::kBiSizeImage, static_cast<std::uint32_t>(pixelBytes));
    bmp::WriteU32(data + bmp::kBfSize, static_cast<std::uint32_t>(fileBytes));
    bmp::WriteU32(data + bmp::kBfOffBits, static_cast<std::uint32_t>(offset));
    return fileBytes;
}

std::optional<IndexedImage> ViewPlainBmp(const std::uint8_t* data, std::uint64_t size, int entries,
                                         bool key, bool translucent) {
    if (data == nullptr || size < bmp::kHeadersSize || bmp::ReadU32(data + bmp::kBiSize) != 40 ||
        bmp::ReadU32(data + bmp::kBiCompression) != 0) {
        return std::nullopt;
    }
    const std::uint16_t bits = bmp::ReadU16(data + bmp::kBiBitCount);
    const std::int32_t width = bmp::ReadS32(data + bmp::kBiWidth);
    const std::int64_t height = bmp::ReadS32(data + bmp::kBiHeight);
    const std::uint64_t offset = bits == 8 ? bmp::k8BitPixelData : bmp::kHeadersSize;
    IndexedImage image;
    image.rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    image.stride = bmp::StrideBytes(width, bits);
    if ((bits != 8 && bits != 24) || width <= 0 || image.rows == 0 ||
        bmp::ReadU32(data + bmp::kBfOffBits) != offset ||
        offset + image.rows * image.stride > size) {
        return std::nullopt;
    }
    image.width = static_cast<std::uint64_t>(width);
    image.indices = data + offset;
    image.bits = bits;
    image.topDown = height < 0;
    image.entries = bits == 8 ? std::clamp(entries, 1, 256) : 0;
    image.key = bits == 8 && key;
    image.translucent = bits == 8 && translucent;
    for (int j = 0; j < image.entries; ++j) {
        const std::uint8_t* entry = data + bmp::kColourTable + 4 * j;
        image.table[3 * j] = entry[2];
        image.table[3 * j + 1] = entry[1];
        image.table[3 * j + 2] = entry[0];
        image.alpha[static_cast<std::size_t>(j)] = entry[3];
    }
    return image;
}

} // namespace quantize
