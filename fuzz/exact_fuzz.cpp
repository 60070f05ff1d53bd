// Exact reduction on arbitrary bytes, in a block of exactly their size: a refusal changes
// nothing, and a conversion gives the bytes of converting the plain 24-bit file of the same
// pixels, whatever true-colour layout the input has.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/quantize/exact_reduction.h"
#include "tests/support/literal_layout.h"

namespace {

quantize::Result Reduce(std::vector<std::uint8_t>& image) {
    const quantize::Resizer resize = [&image](std::uint64_t newSize) {
        if (newSize > (1u << 26)) {
            return quantize::ResizeResult{image.data(), false};
        }
        image.resize(newSize);
        image.shrink_to_fit();
        return quantize::ResizeResult{image.data(), true};
    };
    return quantize::ReduceExact(image.data(), image.size(), resize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    std::vector<std::uint8_t> image = input;
    if (Reduce(image).outcome != quantize::Outcome::Converted) {
        if (image != input) {
            std::abort(); // a refusal changed the image
        }
        return 0;
    }
    std::vector<std::uint8_t> plain = literal::Plain24Of(input);
    if (Reduce(plain).outcome != quantize::Outcome::Converted || plain != image) {
        std::abort(); // the layout was read differently from its plain twin
    }
    return 0;
}
