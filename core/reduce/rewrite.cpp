#include "core/reduce/rewrite.h"

#include "core/bmp/layout.h"

namespace reduce {

void MarkAs8Bit(std::uint8_t* data, std::uint32_t pixelBytes) {
    const std::uint32_t fileBytes = static_cast<std::uint32_t>(bmp::k8BitPixelData) + pixelBytes;
    bmp::WriteU16(data + bmp::kBiBitCount, 8);
    bmp::WriteU32(data + bmp::kBiSizeImage, pixelBytes);
    bmp::WriteU32(data + bmp::kBfSize, fileBytes);
    bmp::WriteU32(data + bmp::kBfOffBits, bmp::ReadU32(data + bmp::kBfOffBits) + 1024);
}

} // namespace reduce
