#include "core/bmp/packed_dib.h"

#include <cstdint>
#include <cstring>

#include "core/bmp/layout.h"
#include "core/bmp/rle.h"

namespace bmp {

namespace {

constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;

} // namespace

bool PackedDibOf(const std::uint8_t* file, std::uint64_t size, std::vector<std::uint8_t>& dib) {
    const DrawPlan plan = PlanDrawing(file, size);
    if (!plan.drawable) {
        return false;
    }
    const std::uint8_t* info = plan.inPlace ? file + kInfoHeader : plan.info.data();
    const std::uint8_t* table =
        plan.inPlace ? file + plan.tableOffset : plan.info.data() + plan.tableOffset;
    const std::uint8_t* pixels = file + plan.pixelOffset;
    std::vector<std::uint8_t> unpacked;
    if (plan.runLength) {
        const std::int32_t rows = plan.height < 0 ? -plan.height : plan.height;
        UnpackRle(file + plan.pixelOffset, size - plan.pixelOffset, plan.bitCount, plan.width, rows,
                  unpacked);
        if (unpacked.empty()) {
            return false;
        }
        pixels = unpacked.data();
    }
    const std::uint32_t compression = ReadU32(info + 16);
    const std::uint16_t bitCount = ReadU16(info + 14);
    const std::size_t masks = compression == kBitFields ? 12 : 0;
    const std::uint64_t pixelBytes = StrideBytes(plan.width, bitCount) * plan.scanLines;
    const std::size_t head = 40 + masks + plan.colourCount * 4;
    if (pixelBytes > SIZE_MAX - head) {
        return false;
    }
    dib.assign(head + static_cast<std::size_t>(pixelBytes), 0);
    std::memcpy(dib.data(), info, 40 + masks);
    // Only the complete rows travel: a short file's image is as high as they are.
    const auto rows = static_cast<std::int32_t>(plan.scanLines);
    WriteU32(&dib[8], static_cast<std::uint32_t>(plan.height < 0 ? -rows : rows));
    WriteU32(&dib[20], static_cast<std::uint32_t>(pixelBytes));
    WriteU32(&dib[32], plan.colourCount);
    WriteU32(&dib[36], 0);
    if (plan.colourCount != 0) {
        std::memcpy(&dib[40 + masks], table, plan.colourCount * 4);
    }
    std::memcpy(&dib[head], pixels, static_cast<std::size_t>(pixelBytes));
    return true;
}

bool FileOfPackedDib(const std::uint8_t* dib, std::uint64_t size, std::vector<std::uint8_t>& file) {
    if (size < 12 || size > 0xFFFFFFFFu - kInfoHeader) {
        return false;
    }
    const std::uint32_t headerSize = ReadU32(dib);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 64 && headerSize != 108 && headerSize != 124) {
        return false;
    }
    if (size < headerSize) {
        return false;
    }
    std::uint64_t tableBytes = 0;
    if (headerSize == 12) {
        const std::uint16_t bitCount = ReadU16(dib + 10);
        tableBytes = bitCount <= 8 ? (std::uint64_t{1} << bitCount) * 3 : 0;
    } else {
        const std::uint16_t bitCount = ReadU16(dib + 14);
        const std::uint32_t compression = ReadU32(dib + 16);
        const std::uint32_t used = ReadU32(dib + 32);
        const std::uint64_t entries = used != 0       ? used
                                      : bitCount <= 8 ? std::uint64_t{1} << bitCount
                                                      : 0;
        // A 40-byte header keeps its bit-field masks after it, the newer ones inside.
        const std::uint64_t masks = headerSize != 40                 ? 0
                                    : compression == kBitFields      ? 12
                                    : compression == kAlphaBitFields ? 16
                                                                     : 0;
        tableBytes = masks + entries * 4;
    }
    const std::uint64_t pixelOffset = kInfoHeader + headerSize + tableBytes;
    if (pixelOffset > kInfoHeader + size) {
        return false;
    }
    if (size > SIZE_MAX - kInfoHeader) {
        return false;
    }
    file.assign(kInfoHeader + static_cast<std::size_t>(size), 0);
    file[0] = 'B';
    file[1] = 'M';
    WriteU32(&file[kBfSize], static_cast<std::uint32_t>(file.size()));
    WriteU32(&file[kBfOffBits], static_cast<std::uint32_t>(pixelOffset));
    std::memcpy(&file[kInfoHeader], dib, static_cast<std::size_t>(size));
    return true;
}

std::vector<std::uint8_t> PackedDibWithAlpha(const std::uint8_t* rgba, std::uint32_t width,
                                             std::uint32_t height) {
    constexpr std::uint32_t kV5Header = 124;
    constexpr std::uint32_t kSrgb = 0x73524742; // 'sRGB'
    constexpr std::uint32_t kImageIntent = 4;   // LCS_GM_IMAGES
    const std::uint64_t rowBytes = 4 * std::uint64_t{width};
    std::vector<std::uint8_t> dib(static_cast<std::size_t>(kV5Header + rowBytes * height), 0);
    std::uint8_t* h = dib.data();
    WriteU32(h, kV5Header);
    WriteU32(h + 4, width);
    WriteU32(h + 8, height);
    WriteU16(h + 12, 1);
    WriteU16(h + 14, 32);
    WriteU32(h + 16, kBitFields);
    WriteU32(h + 20, static_cast<std::uint32_t>(rowBytes * height));
    const std::uint32_t masks[4] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};
    for (int i = 0; i < 4; ++i) {
        WriteU32(h + 40 + 4 * i, masks[i]);
    }
    WriteU32(h + 56, kSrgb);
    WriteU32(h + 108, kImageIntent);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = rgba + (height - 1 - y) * rowBytes;
        std::uint8_t* out = h + kV5Header + y * rowBytes;
        for (std::uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
            out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = in[3];
        }
    }
    return dib;
}

} // namespace bmp
