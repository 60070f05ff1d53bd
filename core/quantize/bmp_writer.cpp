#include "core/quantize/bmp_writer.h"

#include <cstring>

#include "core/bmp/layout.h"

namespace quantize {

std::uint64_t WriteBmp8InPlace(std::uint8_t* data, const IndexedImage& image) {
    const std::uint64_t pixelBytes = image.rows * image.stride;
    std::memmove(data + bmp::k8BitPixelData, image.indices, static_cast<std::size_t>(pixelBytes));
    for (int j = 0; j < 256; ++j) {
        std::uint8_t* entry = data + bmp::kColourTable + 4 * j;
        const bool used = j < image.colours;
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

} // namespace quantize
