// Error diffusion on arbitrary bytes (small images only, to keep runs fast), with a fixed
// count and user palette taken from the input too.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/bmp/layout.h"
#include "core/reduce/basic_palette.h"
#include "core/reduce/error_diffusion.h"
#include "tests/support/bmp_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 56) {
        return 0;
    }
    const long long width = bmp::ReadS32(data + 2 + bmp::kBiWidth);
    const long long height = bmp::ReadS32(data + 2 + bmp::kBiHeight);
    if (width * (height < 0 ? -height : height) > 64 * 64) {
        return 0;
    }
    const int fixed = static_cast<int>(data[0]) * 2 + (data[1] & 1) - 20; // -20 .. 491
    std::vector<std::uint8_t> table(1024);
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = data[i % size];
    }
    std::vector<std::uint8_t> image(data + 2, data + size);
    const reduce::Resizer resize = [&image](std::uint64_t newSize) {
        image.resize(newSize);
        image.shrink_to_fit();
        return reduce::ResizeResult{image.data(), true};
    };
    testimg::NoReports quiet;
    const int threads = 1 + ((data[1] >> 1) & 1);
    const reduce::DiffusionInput input{fixed, table.data(), reduce::kBasicPalette, threads};
    const auto result = reduce::DiffuseImage(image.data(), image.size(), resize, input, quiet);
    if (result.outcome != reduce::Outcome::Converted &&
        (image.size() != size - 2 || !std::equal(image.begin(), image.end(), data + 2))) {
        std::abort();
    }
    return 0;
}
