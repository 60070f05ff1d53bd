#include "core/image/rgba.h"

#include <cstring>

#include "core/bmp/layout.h"

namespace image {

std::optional<std::uint64_t> Plain24Size(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF ||
        width * height > kMaxPixels) {
        return std::nullopt;
    }
    const std::uint64_t size = bmp::kHeadersSize + height * ((3 * width + 3) & ~std::uint64_t{3});
    if (size > 0xFFFFFFFFu) {
        return std::nullopt;
    }
    return size;
}

std::optional<std::uint64_t> PlainSize(std::uint64_t width, std::uint64_t height,
                                       const AlphaRule& rule) {
    const auto plain = Plain24Size(width, height);
    if (!plain || !rule.kept) {
        return plain;
    }
    const std::uint64_t size = kPlain32Pixels + 4 * width * height;
    return size <= 0xFFFFFFFFu ? std::optional<std::uint64_t>(size) : std::nullopt;
}

Plain24Writer::Plain24Writer(std::uint32_t width, std::uint32_t height, int bits,
                             const AlphaRule& rule, std::uint8_t* out)
    : width_(width), height_(height), bits_(bits), rule_(rule), out_(out),
      stride_(rule.kept ? 4 * std::uint64_t{width}
                        : (3 * std::uint64_t{width} + 3) & ~std::uint64_t{3}),
      pixels_(rule.kept ? kPlain32Pixels : bmp::kHeadersSize) {
    const std::uint64_t size = *PlainSize(width, height, rule);
    std::memset(out, 0, static_cast<std::size_t>(pixels_));
    out[0] = 'B';
    out[1] = 'M';
    bmp::WriteU32(out + bmp::kBfSize, static_cast<std::uint32_t>(size));
    bmp::WriteU32(out + bmp::kBfOffBits, static_cast<std::uint32_t>(pixels_));
    bmp::WriteU32(out + bmp::kBiSize, rule.kept ? 56 : 40);
    bmp::WriteU32(out + bmp::kBiWidth, width);
    bmp::WriteU32(out + bmp::kBiHeight, height);
    bmp::WriteU16(out + bmp::kBiPlanes, 1);
    bmp::WriteU16(out + bmp::kBiBitCount, rule.kept ? 32 : 24);
    bmp::WriteU32(out + bmp::kBiSizeImage, static_cast<std::uint32_t>(size - pixels_));
    if (rule.kept) {
        constexpr std::uint32_t kBitFields = 3;
        bmp::WriteU32(out + bmp::kBiCompression, kBitFields);
        const std::uint32_t masks[4] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};
        for (int i = 0; i < 4; ++i) {
            bmp::WriteU32(out + bmp::kColourTable + 4 * i, masks[i]);
        }
    }
}

void Plain24Writer::Pixels(std::uint32_t y, std::uint32_t first, std::uint32_t step,
                           const std::uint8_t* samples) {
    std::uint8_t* row = out_ + pixels_ + (height_ - 1 - y) * stride_;
    std::uint32_t x = first;
    std::size_t i = 0; // the pixel's place in `samples`
    if (rule_.kept) {
        for (; x < width_; x += step, ++i) {
            std::uint8_t* p = row + 4 * std::size_t{x};
            for (int c = 0; c < 4; ++c) {
                std::uint8_t v = samples[4 * i + static_cast<std::size_t>(c)];
                if (bits_ == 16) {
                    std::uint16_t wide;
                    std::memcpy(&wide, samples + 8 * i + 2 * static_cast<std::size_t>(c), 2);
                    v = RoundTo8(wide);
                }
                p[c == 3 ? 3 : 2 - c] = v;
            }
        }
        return;
    }
    if (bits_ == 8) {
        // Opaque pixels, most of them in most images, are only reordered.
        for (; x < width_ && samples[4 * i + 3] == 255; x += step, ++i) {
            const std::uint8_t* in = samples + 4 * i;
            std::uint8_t* p = row + 3 * std::size_t{x};
            p[0] = in[2];
            p[1] = in[1];
            p[2] = in[0];
        }
    }
    for (; x < width_; x += step, ++i) {
        std::uint8_t rgba[4];
        if (bits_ == 16) {
            for (int c = 0; c < 4; ++c) {
                std::uint16_t v;
                std::memcpy(&v, samples + 8 * i + 2 * static_cast<std::size_t>(c), 2);
                rgba[c] = RoundTo8(v);
            }
        } else {
            std::memcpy(rgba, samples + 4 * i, 4);
        }
        std::uint8_t* p = row + 3 * std::size_t{x};
        if (rgba[3] == 255) {
            p[0] = rgba[2];
            p[1] = rgba[1];
            p[2] = rgba[0];
        } else if (rule_.keyed && rgba[3] == 0) {
            std::memcpy(p, rule_.key, 3);
        } else {
            p[0] = OntoWhite(rgba[2], rgba[3]);
            p[1] = OntoWhite(rgba[1], rgba[3]);
            p[2] = OntoWhite(rgba[0], rgba[3]);
        }
    }
    std::memset(row + 3 * std::size_t{width_}, 0,
                static_cast<std::size_t>(stride_ - 3 * std::uint64_t{width_}));
}

void WritePlain24(const RgbaImage& image, const AlphaRule& rule, std::uint8_t* out) {
    Plain24Writer writer(image.width, image.height, image.bits, rule, out);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        writer.Row(y, image.samples.data() + y * image.RowBytes());
    }
}

} // namespace image
