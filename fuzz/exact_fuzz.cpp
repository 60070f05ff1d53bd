// Exact reduction on arbitrary bytes, in a block of exactly their size: a refusal changes
// nothing, and a conversion gives the bytes of converting the plain 24-bit file of the same
// pixels, whatever true-colour layout the input has.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/bmp_builder.h"
#include "tests/support/literal_layout.h"

namespace {

// A block of exactly the image's size, which grows to 64 MiB at most.
quantize::Outcome Reduce(testimg::VectorBlock& block) {
    block.tight = true;
    block.limit = std::uint64_t{1} << 26;
    block.bytes.shrink_to_fit();
    return block.Exact().outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    testimg::VectorBlock image{input};
    if (Reduce(image) != quantize::Outcome::Converted) {
        if (image.bytes != input) {
            std::abort(); // a refusal changed the image
        }
        return 0;
    }
    testimg::VectorBlock plain{literal::Plain24Of(input)};
    if (Reduce(plain) != quantize::Outcome::Converted || plain.bytes != image.bytes) {
        std::abort(); // the layout was read differently from its plain twin
    }
    return 0;
}
