#include "core/quantize/alpha_diffusion.h"

#include <cstring>
#include <new>

#include "core/bmp/layout.h"
#include "core/bmp/true_colour.h"
#include "core/quantize/error_diffusion.h"

namespace quantize {
namespace {

// The pixels of an indexed image, opaque, as the high-quality method expands it.
Outcome OpaquePixelsOf(const std::uint8_t* data, std::uint64_t size,
                       std::vector<std::uint8_t>& rgba, std::uint64_t& width,
                       std::uint64_t& height) try {
    std::vector<std::uint8_t> rows;
    bmp::TrueColourGeometry g;
    if (const Outcome outcome = PlainRowsOf(data, size, kHighQualityDiffusion, nullptr, rows, g);
        outcome != Outcome::Converted) {
        return outcome;
    }
    width = g.width;
    height = g.rows;
    rgba.assign(static_cast<std::size_t>(g.width * g.rows * 4), 255);
    for (std::uint64_t y = 0; y < g.rows; ++y) {
        for (std::uint64_t x = 0; x < g.width; ++x) {
            const std::uint8_t* bgr = rows.data() + y * g.stride + 3 * x;
            std::uint8_t* out = rgba.data() + (y * g.width + x) * 4;
            out[0] = bgr[2];
            out[1] = bgr[1];
            out[2] = bgr[0];
        }
    }
    return Outcome::Converted;
} catch (const std::bad_alloc&) {
    return Outcome::NoMemory;
}

} // namespace

Outcome RgbaPixelsOf(const std::uint8_t* data, std::uint64_t size, std::vector<std::uint8_t>& rgba,
                     std::uint64_t& width, std::uint64_t& height) {
    bmp::TrueColourSource source;
    if (const auto problem = bmp::CheckTrueColourSource(data, size, source)) {
        return *problem == bmp::SourceProblem::AlreadyIndexed
                   ? OpaquePixelsOf(data, size, rgba, width, height)
                   : OutcomeOf(*problem);
    }
    const bmp::TrueColourGeometry& g = source.geometry;
    width = g.width;
    height = g.rows;
    try {
        rgba.assign(static_cast<std::size_t>(g.width * g.rows * 4), 255);
        const auto alpha = bmp::AlphaChannelOf(data, source);
        bmp::SourceRows rows(data, source);
        for (std::uint64_t r = 0; r < g.rows; ++r) {
            const std::uint8_t* bgr = rows.Row(r);
            const std::uint8_t* stored = data + source.offset + r * source.rowBytes;
            std::uint8_t* out = rgba.data() + (g.topDown ? r : g.rows - 1 - r) * g.width * 4;
            for (std::uint64_t x = 0; x < g.width; ++x) {
                out[4 * x] = bgr[3 * x + 2];
                out[4 * x + 1] = bgr[3 * x + 1];
                out[4 * x + 2] = bgr[3 * x];
                if (alpha) {
                    out[4 * x + 3] = (*alpha)(bmp::ReadU32(stored + 4 * x));
                }
            }
        }
    } catch (const std::bad_alloc&) {
        return Outcome::NoMemory;
    }
    return Outcome::Converted;
}

Result DiffuseWithAlpha(std::uint8_t* data, std::uint64_t size, const Resizer& resize,
                        const AlphaInput& input) {
    std::vector<std::uint8_t> rgba;
    std::uint64_t width = 0, height = 0;
    if (const Outcome outcome = RgbaPixelsOf(data, size, rgba, width, height);
        outcome != Outcome::Converted) {
        return {outcome, size};
    }
    const std::uint64_t padded = (width + 3) & ~std::uint64_t{3};
    const std::uint64_t newSize = bmp::k8BitPixelData + height * padded;
    std::vector<std::uint8_t> result;
    try {
        result.assign(static_cast<std::size_t>(newSize), 0);
        const AlphaPalette palette = ChooseAlphaPalette(rgba.data(), width * height, input.palette);
        // Bottom-up rows: the top row is stored last.
        std::uint8_t* pixels = result.data() + bmp::k8BitPixelData;
        if (height > 0) {
            RemapWithAlpha(rgba.data(), width, height, palette, input.dithering,
                           pixels + (height - 1) * padded, -static_cast<std::int64_t>(padded));
        }
        std::uint8_t* out = result.data();
        out[0] = 'B';
        out[1] = 'M';
        bmp::WriteU32(out + bmp::kBfSize, static_cast<std::uint32_t>(newSize));
        bmp::WriteU32(out + bmp::kBfOffBits, bmp::k8BitPixelData);
        bmp::WriteU32(out + bmp::kBiSize, 40);
        bmp::WriteU32(out + bmp::kBiWidth, static_cast<std::uint32_t>(width));
        bmp::WriteU32(out + bmp::kBiHeight, static_cast<std::uint32_t>(height));
        bmp::WriteU16(out + bmp::kBiPlanes, 1);
        bmp::WriteU16(out + bmp::kBiBitCount, 8);
        bmp::WriteU32(out + bmp::kBiSizeImage, static_cast<std::uint32_t>(height * padded));
        bmp::WriteU32(out + bmp::kBiClrUsed, static_cast<std::uint32_t>(palette.count));
        for (int e = 0; e < palette.count; ++e) {
            const RgbaEntry& entry = palette.entries[static_cast<std::size_t>(e)];
            std::uint8_t* at = out + bmp::kColourTable + 4 * e;
            at[0] = entry.blue;
            at[1] = entry.green;
            at[2] = entry.red;
            at[3] = entry.alpha;
        }
        rgba = {};
    } catch (const std::bad_alloc&) {
        return {Outcome::NoMemory, size};
    }
    const ResizeResult resized = resize(newSize);
    if (resized.data == nullptr) {
        return {Outcome::NoMemory, size};
    }
    std::memcpy(resized.data, result.data(), result.size());
    return {Outcome::Converted, newSize};
}

Outcome AlphaPaletteOfImages(const std::vector<ImageBytes>& images, const AlphaChoices& choices,
                             AlphaPalette& palette, std::size_t& refused) {
    std::vector<std::uint8_t> all, one;
    try {
        for (std::size_t i = 0; i < images.size(); ++i) {
            std::uint64_t width = 0, height = 0;
            if (const Outcome outcome =
                    RgbaPixelsOf(images[i].data, images[i].size, one, width, height);
                outcome != Outcome::Converted) {
                refused = i;
                return outcome;
            }
            all.insert(all.end(), one.begin(), one.end());
        }
        palette = ChooseAlphaPalette(all.data(), all.size() / 4, choices);
    } catch (const std::bad_alloc&) {
        return Outcome::NoMemory;
    }
    return Outcome::Converted;
}

} // namespace quantize
