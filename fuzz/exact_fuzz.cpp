// Exact reduction on arbitrary bytes, in a block of exactly their size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/reduce/exact_reduction.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> image(data, data + size);
    const reduce::Resizer resize = [&image](std::uint64_t newSize) {
        if (newSize > (1u << 26)) {
            return reduce::ResizeResult{image.data(), false};
        }
        image.resize(newSize);
        image.shrink_to_fit();
        return reduce::ResizeResult{image.data(), true};
    };
    const auto result = reduce::ReduceExact(image.data(), image.size(), resize);
    if (result.outcome != reduce::Outcome::Converted &&
        (image.size() != size || !std::equal(image.begin(), image.end(), data))) {
        std::abort(); // a refusal changed the image
    }
    return 0;
}
