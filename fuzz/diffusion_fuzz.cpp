// Error diffusion, both methods, on arbitrary bytes (small images only, to keep runs fast),
// with the method, a fixed count, user palette and thread count taken from the input too: a refusal
// changes nothing, and a conversion gives the bytes of converting the plain 24-bit file of the same
// pixels.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/bmp/layout.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/ditherings.h"
#include "core/quantize/error_diffusion.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/literal_layout.h"

namespace {

// In a block of exactly the image's size.
quantize::Outcome Diffuse(std::vector<std::uint8_t>& image, const quantize::DiffusionInput& input) {
    testimg::VectorBlock block{image};
    block.tight = true;
    block.bytes.shrink_to_fit();
    const quantize::Outcome outcome = block.Diffuse(input).outcome;
    image = block.bytes;
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < bmp::kHeadersSize) {
        return 0;
    }
    // Images are cut to their first rows, at most 1024 pixels in all, which keeps each run
    // short while real files still serve as seeds.
    std::vector<std::uint8_t> original(data, data + size);
    const long long width = bmp::ReadS32(data + bmp::kBiWidth);
    const long long height = bmp::ReadS32(data + bmp::kBiHeight);
    const long long rows = height < 0 ? -height : height;
    if (width > 1024) {
        return 0;
    }
    if (width > 0 && width * rows > 1024) {
        const long long kept = 1024 / width;
        bmp::WriteU32(&original[bmp::kBiHeight],
                      static_cast<std::uint32_t>(height < 0 ? -kept : kept));
    }
    // The settings come from the last bytes, so that real files serve as seeds unchanged.
    const std::uint8_t last = data[size - 1], before = data[size - 2];
    const int fixed = static_cast<int>(last) * 2 + (before & 1) - 20; // -20 .. 491
    std::vector<std::uint8_t> table(1024);
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = data[(i * 7) % size];
    }
    const int threads = 1 + ((before >> 1) & 1);
    quantize::DiffusionInput input{fixed, table.data(), quantize::kBasicPalette, threads};
    if (before & 4) {
        // The high-quality method with the user's choices: dithering (every kernel, in either
        // order and light, and every pattern), colours, strength, key.
        const std::uint8_t third = size > 2 ? data[size - 3] : 0;
        const std::uint8_t fourth = size > 3 ? data[size - 4] : 0;
        input.stages = quantize::ApplyDithering(
            quantize::kDitherings[(before >> 3) % quantize::kDitheringCount], input.choices);
        input.choices.serpentine = (fourth & 1) == 0;
        input.choices.linear = (fourth & 2) != 0;
        input.choices.colours = (before & 0x20) ? 2 + third % 255 : 256;
        input.choices.strength = (before & 0x40) ? third % 101 : 100;
        input.choices.key = (before & 0x80) != 0;
    }
    std::vector<std::uint8_t> image = original;
    if (Diffuse(image, input) != quantize::Outcome::Converted) {
        if (image != original) {
            std::abort(); // a refusal changed the image
        }
        return 0;
    }
    // No index reaches the number of colours asked for.
    const int colours =
        input.stages.palette == quantize::PaletteMethod::Adaptive ? input.choices.colours : 256;
    const auto pixels = static_cast<std::size_t>(bmp::ReadS32(&image[bmp::kBiWidth]));
    const std::size_t stride = (pixels + 3) & ~std::size_t{3};
    for (std::size_t i = bmp::k8BitPixelData; pixels > 0 && i < image.size(); ++i) {
        if ((i - bmp::k8BitPixelData) % stride < pixels && image[i] >= colours) {
            std::abort();
        }
    }
    // A key colour reads the alpha of a 32-bit image, which its plain twin has not; an
    // indexed image (converted by the high-quality method as the colours it shows) has no
    // plain twin.
    if (input.choices.key || bmp::ReadU16(&original[bmp::kBiBitCount]) <= 8) {
        return 0;
    }
    std::vector<std::uint8_t> plain = literal::Plain24Of(original);
    if (Diffuse(plain, input) != quantize::Outcome::Converted || plain != image) {
        std::abort(); // the layout was read differently from its plain twin
    }
    return 0;
}
