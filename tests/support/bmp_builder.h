// BMP file images for the tests and benchmarks, and a resizable vector standing in for the
// document's memory block.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/bmp/layout.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/exact_reduction.h"
#include "core/quantize/outcome.h"
#include "tests/support/recorder.h"

namespace testimg {

using Bytes = std::vector<std::uint8_t>;

// A user palette table of 256 black entries.
inline const Bytes kBlackTable(1024, 0);

// FNV-1a, 64 bits: the pin of a whole image.
inline std::uint64_t Fnv(const Bytes& bytes) {
    std::uint64_t h = 0xCBF29CE484222325u;
    for (const std::uint8_t b : bytes) {
        h = (h ^ b) * 0x100000001B3u;
    }
    return h;
}

// A file image with a 40-byte info header: a colour table of 2^bits entries for 8 bits or
// fewer (all black), then rows + extraRows zeroed pixel rows. A negative height is top-down.
inline Bytes MakeHeaders(std::int32_t width, std::int32_t height, std::uint16_t bits,
                         std::uint64_t extraRows = 0) {
    const std::uint64_t offset = bmp::kHeadersSize + (bits <= 8 ? std::uint64_t{4} << bits : 0);
    const std::uint64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
    const std::uint64_t pixelBytes = bmp::StrideBytes(width, bits) * (rows + extraRows);
    Bytes image(static_cast<std::size_t>(offset + pixelBytes), 0);
    image[0] = 'B';
    image[1] = 'M';
    bmp::WriteU32(&image[bmp::kBfSize], static_cast<std::uint32_t>(image.size()));
    bmp::WriteU32(&image[bmp::kBfOffBits], static_cast<std::uint32_t>(offset));
    bmp::WriteU32(&image[bmp::kBiSize], 40);
    bmp::WriteU32(&image[bmp::kBiWidth], static_cast<std::uint32_t>(width));
    bmp::WriteU32(&image[bmp::kBiHeight], static_cast<std::uint32_t>(height));
    bmp::WriteU16(&image[bmp::kBiPlanes], 1);
    bmp::WriteU16(&image[bmp::kBiBitCount], bits);
    bmp::WriteU32(&image[bmp::kBiSizeImage], static_cast<std::uint32_t>(pixelBytes));
    bmp::WriteU32(&image[38], 2835); // 72 dots an inch, across and down
    bmp::WriteU32(&image[42], 2835);
    return image;
}

// A 24-bit image; colour(x, r) gives 0x00RRGGBB for pixel x of stored row r (row 0 is the
// first row after the headers). Pad bytes are filled with `pad`.
inline Bytes Make24(int width, int rows, const std::function<std::uint32_t(int, int)>& colour,
                    std::uint8_t pad = 0, bool topDown = false) {
    Bytes image = MakeHeaders(width, topDown ? -rows : rows, 24);
    const auto stride = static_cast<std::size_t>(bmp::StrideBytes(width, 24));
    for (int r = 0; r < rows; ++r) {
        std::uint8_t* p = &image[bmp::kHeadersSize + r * stride];
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, r);
            p[3 * x] = static_cast<std::uint8_t>(c);
            p[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            p[3 * x + 2] = static_cast<std::uint8_t>(c >> 16);
        }
        std::fill(p + 3 * width, p + stride, pad);
    }
    return image;
}

// A bottom-up 24-bit image of a picture: colour(x, y) with y counted from the top.
inline Bytes Picture24(int width, int height,
                       const std::function<std::uint32_t(int, int)>& colour) {
    return Make24(width, height, [&](int x, int r) { return colour(x, height - 1 - r); });
}

// A bottom-up 8-bit image of a picture: a colour table of `palette` (0x00RRGGBB, black
// beyond it) and index(x, y) with y counted from the top.
inline Bytes Picture8(int width, int height, const std::vector<std::uint32_t>& palette,
                      const std::function<std::uint8_t(int, int)>& index) {
    Bytes image = MakeHeaders(width, height, 8);
    for (std::size_t i = 0; i < palette.size() && i < 256; ++i) {
        bmp::WriteU32(&image[bmp::kColourTable + 4 * i], palette[i] & 0xFFFFFF);
    }
    const auto stride = static_cast<std::size_t>(bmp::StrideBytes(width, 8));
    for (int r = 0; r < height; ++r) {
        for (int x = 0; x < width; ++x) {
            image[bmp::k8BitPixelData + r * stride + x] = index(x, height - 1 - r);
        }
    }
    return image;
}

// Of a plain 8-bit image: the colour (0x00RRGGBB) of table entry e, the index of pixel x of
// stored row r, and the colour that pixel shows.
inline std::uint32_t EntryAt(const Bytes& image, int e) {
    return bmp::ReadU32(&image[bmp::kColourTable + 4 * static_cast<std::size_t>(e)]) & 0xFFFFFF;
}
inline std::uint8_t IndexAt(const Bytes& image, int x, int r) {
    const std::uint64_t stride = bmp::StrideBytes(bmp::ReadS32(&image[bmp::kBiWidth]), 8);
    return image[static_cast<std::size_t>(bmp::k8BitPixelData + r * stride + x)];
}
inline std::uint32_t ColourAt(const Bytes& image, int x, int r) {
    return EntryAt(image, IndexAt(image, x, r));
}
// Of a plain 24-bit image: the colour of pixel x of stored row r.
inline std::uint32_t ColourAt24(const Bytes& image, int x, int r) {
    const std::uint64_t stride = bmp::StrideBytes(bmp::ReadS32(&image[bmp::kBiWidth]), 24);
    const std::uint8_t* p =
        &image[static_cast<std::size_t>(bmp::kHeadersSize + r * stride + 3 * x)];
    return std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

// A true-colour layout to write a picture in.
struct Layout {
    int bits = 24;                              // 16, 24 or 32
    std::uint32_t headerSize = 40;              // 40, 52, 56, 108 or 124
    std::uint32_t red = 0, green = 0, blue = 0; // bit-field masks; all 0 for none
    std::uint32_t coloursUsed = 0;              // colour-table entries before the pixels
    std::uint32_t gap = 0;                      // further bytes before the pixels
    bool topDown = false;
};

// The picture colour(x, r) (0x00RRGGBB, r the stored row) in the layout, each channel cut to
// its mask's width from the top. What the layout leaves unused (the rest of the header, the
// table, the gap, unused pixel bits, row padding) holds junk.
inline Bytes Encode(const Layout& l, int width, int rows,
                    const std::function<std::uint32_t(int, int)>& colour) {
    const bool fields = l.red != 0 || l.green != 0 || l.blue != 0;
    const std::uint32_t masks[3] = {fields         ? l.red
                                    : l.bits == 16 ? 0x7C00u
                                                   : 0xFF0000u,
                                    fields         ? l.green
                                    : l.bits == 16 ? 0x03E0u
                                                   : 0xFF00u,
                                    fields         ? l.blue
                                    : l.bits == 16 ? 0x001Fu
                                                   : 0xFFu};
    const std::uint64_t masksEnd = 14 + l.headerSize + (fields && l.headerSize == 40 ? 12 : 0);
    const std::uint64_t offset = masksEnd + 4 * l.coloursUsed + l.gap;
    const std::uint64_t rowBytes = bmp::StrideBytes(width, static_cast<std::uint16_t>(l.bits));
    Bytes image = MakeHeaders(width, l.topDown ? -rows : rows, 24);
    image.resize(static_cast<std::size_t>(offset + rowBytes * rows));
    std::fill(image.begin() + bmp::kHeadersSize, image.end(), 0x5A);
    bmp::WriteU32(&image[bmp::kBfSize], static_cast<std::uint32_t>(image.size()));
    bmp::WriteU32(&image[bmp::kBfOffBits], static_cast<std::uint32_t>(offset));
    bmp::WriteU32(&image[bmp::kBiSize], l.headerSize);
    bmp::WriteU16(&image[bmp::kBiBitCount], static_cast<std::uint16_t>(l.bits));
    bmp::WriteU32(&image[bmp::kBiCompression], fields ? 3 : 0);
    bmp::WriteU32(&image[bmp::kBiSizeImage], static_cast<std::uint32_t>(rowBytes * rows));
    bmp::WriteU32(&image[bmp::kBiClrUsed], l.coloursUsed);
    for (int i = 0; i < 3 && fields; ++i) {
        bmp::WriteU32(&image[bmp::kHeadersSize + 4 * i], masks[i]);
    }
    const int bytes = l.bits / 8;
    for (int r = 0; r < rows; ++r) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, r);
            std::uint32_t pixel =
                l.bits == 24 ? c : 0xA5A5A5A5u & ~(masks[0] | masks[1] | masks[2]);
            for (int i = 0; i < 3 && l.bits != 24; ++i) {
                // The channel's top bits fill the mask (a mask wider than 8 bits gets zeros).
                const std::uint32_t channel = (c >> (16 - 8 * i)) & 0xFF, m = masks[i];
                const int bits = std::popcount(m);
                const std::uint32_t v = bits <= 8 ? channel >> (8 - bits) : channel << (bits - 8);
                pixel |= m == 0 ? 0 : v << std::countr_zero(m);
            }
            for (int b = 0; b < bytes; ++b) {
                image[static_cast<std::size_t>(offset + r * rowBytes + bytes * x + b)] =
                    static_cast<std::uint8_t>(pixel >> (8 * b));
            }
        }
    }
    return image;
}

// An image whose pixels are drawn at random from `colours` distinct colours (all of which
// occur when the image has enough pixels).
inline Bytes MakeRandom(int width, int rows, int colours, std::uint32_t seed, std::uint8_t pad) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> palette(colours);
    for (int i = 0; i < colours; ++i) {
        palette[i] = (static_cast<std::uint32_t>(i) * 0x9E3779B1u ^ seed) & 0xFFFFFF;
    }
    std::uniform_int_distribution<int> pick(0, colours - 1);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * rows);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = palette[i < static_cast<std::size_t>(colours) ? i : pick(rng)];
    }
    std::shuffle(pixels.begin(), pixels.end(), rng);
    return Make24(
        width, rows, [&](int x, int r) { return pixels[r * width + x]; }, pad);
}

// The document's block as a vector; `failGrow` and `failShrink` make resizes fail, and so
// does a size beyond `limit`. With `tight` the vector holds exactly the size asked for, so
// that a sanitizer sees any access past it.
struct VectorBlock {
    Bytes bytes;
    bool failGrow = false;
    bool failShrink = false;
    bool tight = false;
    int resizes = 0;
    std::uint64_t limit = std::uint64_t{1} << 30;

    quantize::Resizer Resizer() {
        return [this](std::uint64_t size) {
            ++resizes;
            const bool grow = size > bytes.size();
            if ((grow && failGrow) || (!grow && failShrink) || size > limit) {
                return quantize::ResizeResult{bytes.data(), false};
            }
            bytes.resize(static_cast<std::size_t>(size), 0xCD); // grown bytes are not zeroed
            if (tight) {                                        // by the platform either
                bytes.shrink_to_fit();
            }
            return quantize::ResizeResult{bytes.data(), true};
        };
    }
    // The conversions, run on the block.
    quantize::Result Exact() {
        return quantize::ReduceExact(bytes.data(), bytes.size(), Resizer());
    }
    quantize::Result Diffuse(const quantize::DiffusionInput& input,
                             quantize::DiffusionObserver& observer) {
        return quantize::DiffuseImage(bytes.data(), bytes.size(), Resizer(), input, observer);
    }
    quantize::Result Diffuse(const quantize::DiffusionInput& input) {
        Recorder quiet;
        return Diffuse(input, quiet);
    }
};

// Error diffusion of a copy of an image, the fixed colours from `table`: the outcome, the bytes
// after it, every report and the texts a progress display shows.
struct Converted {
    quantize::Outcome outcome;
    Bytes image;
    std::vector<std::string> events, texts;
};
inline Converted Diffused(const Bytes& image, int fixed, const Bytes& table = kBlackTable,
                          quantize::Stages stages = quantize::kBasicDiffusion, int threads = 0,
                          quantize::Choices choices = {},
                          const std::vector<std::uint32_t>& from = {}) {
    VectorBlock block{image};
    Recorder recorder;
    const quantize::DiffusionInput input{fixed,
                                         table.data(),
                                         quantize::kBasicPalette,
                                         threads,
                                         stages,
                                         choices,
                                         from.empty() ? nullptr : from.data(),
                                         static_cast<int>(from.size())};
    return {block.Diffuse(input, recorder).outcome, block.bytes, recorder.events, recorder.texts};
}

// 256 entries of colours drawn from `rng`, red, green and blue in turn.
inline quantize::DiffusionPalette RandomPalette(std::mt19937& rng) {
    quantize::DiffusionPalette palette{};
    for (quantize::PaletteEntry& e : palette) {
        e = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
             static_cast<std::uint8_t>(rng()), 1};
    }
    return palette;
}

} // namespace testimg
