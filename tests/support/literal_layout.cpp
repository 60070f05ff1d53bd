#include "tests/support/literal_layout.h"

#include "core/bmp/layout.h"

namespace literal {

std::uint8_t Widen(std::uint32_t value, int bits) {
    int wide = 0;
    for (int i = 0; i < 8; ++i) {
        wide = wide << 1 | ((value >> (bits - 1 - i % bits)) & 1u);
    }
    return static_cast<std::uint8_t>(wide);
}

std::vector<std::uint8_t> Plain24Of(const std::vector<std::uint8_t>& file) {
    using namespace bmp;
    const std::uint16_t bits = ReadU16(&file[kBiBitCount]);
    const std::uint32_t offset = ReadU32(&file[kBfOffBits]);
    if (bits == 24 && ReadU32(&file[kBiSize]) == 40 && offset == 54 &&
        ReadU32(&file[kBiClrUsed]) == 0) {
        return file;
    }
    const std::int32_t width = ReadS32(&file[kBiWidth]), height = ReadS32(&file[kBiHeight]);
    const std::size_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F}; // red, green, blue
    for (int i = 0; i < 3; ++i) {
        if (ReadU32(&file[kBiCompression]) == 3) {
            masks[i] = ReadU32(&file[54 + 4 * i]);
        } else if (bits == 32) {
            masks[i] = 0xFFu << (16 - 8 * i);
        }
    }
    const std::size_t storedStride = StrideBytes(width, bits), stride = StrideBytes(width, 24);
    std::vector<std::uint8_t> plain(file.begin(), file.begin() + 54);
    plain.resize(54 + rows * stride, 0);
    WriteU32(&plain[kBfSize], static_cast<std::uint32_t>(plain.size()));
    WriteU32(&plain[kBfOffBits], 54);
    WriteU32(&plain[kBiSize], 40);
    WriteU16(&plain[kBiBitCount], 24);
    WriteU32(&plain[kBiCompression], 0);
    WriteU32(&plain[kBiSizeImage], static_cast<std::uint32_t>(rows * stride));
    WriteU32(&plain[kBiClrUsed], 0);
    WriteU32(&plain[kBiClrImportant], 0);
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
            const std::uint8_t* in = &file[offset + r * storedStride + x * bits / 8];
            std::uint8_t* out = &plain[54 + r * stride + 3 * x];
            const std::uint32_t pixel = bits == 16 ? ReadU16(in) : bits == 32 ? ReadU32(in) : 0;
            for (int c = 0; c < 3; ++c) { // out[0] is blue, masks[0] red
                if (bits == 24) {
                    out[c] = in[c];
                    continue;
                }
                // The bits the mask selects, highest first, as a number.
                std::uint32_t value = 0;
                int channelBits = 0;
                for (int b = 31; b >= 0; --b) {
                    if ((masks[2 - c] >> b) & 1u) {
                        value = value << 1 | ((pixel >> b) & 1u);
                        ++channelBits;
                    }
                }
                out[c] = Widen(value, channelBits);
            }
        }
    }
    return plain;
}

} // namespace literal
