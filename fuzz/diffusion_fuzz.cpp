// Error diffusion, both methods, on arbitrary bytes (small images only, to keep runs fast),
// with the method, a fixed count, user palette and thread count taken from the input too: a refusal
// changes nothing, and a conversion gives the bytes of converting the plain 24-bit file of the same
// pixels.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/bmp/layout.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/recorder.h"
#include "tests/support/literal_layout.h"

namespace {

quantize::Result Diffuse(std::vector<std::uint8_t>& image, const quantize::DiffusionInput& input) {
    const quantize::Resizer resize = [&image](std::uint64_t newSize) {
        image.resize(newSize);
        image.shrink_to_fit();
        return quantize::ResizeResult{image.data(), true};
    };
    testimg::Recorder quiet;
    return quantize::DiffuseImage(image.data(), image.size(), resize, input, quiet);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 54) {
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
        input.stages = quantize::kHighQualityDiffusion;
    }
    std::vector<std::uint8_t> image = original;
    if (Diffuse(image, input).outcome != quantize::Outcome::Converted) {
        if (image != original) {
            std::abort(); // a refusal changed the image
        }
        return 0;
    }
    std::vector<std::uint8_t> plain = literal::Plain24Of(original);
    if (Diffuse(plain, input).outcome != quantize::Outcome::Converted || plain != image) {
        std::abort(); // the layout was read differently from its plain twin
    }
    return 0;
}
