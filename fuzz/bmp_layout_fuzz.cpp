// The drawing plan on arbitrary bytes: everything it promises must lie inside them. The same
// bytes as a file image and as a clipboard bitmap travel to the other form and back safely.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/bmp/layout.h"
#include "core/bmp/packed_dib.h"
#include "core/bmp/rle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto plan = bmp::PlanDrawing(bytes.data(), bytes.size());
    if (plan.drawable && plan.runLength) {
        std::vector<std::uint8_t> unpacked;
        bmp::UnpackRle(bytes.data() + plan.pixelOffset, size - plan.pixelOffset, plan.bitCount,
                       plan.width, plan.height, unpacked);
    } else if (plan.drawable) {
        const std::uint64_t rows = plan.scanLines * bmp::StrideBytes(plan.width, plan.bitCount);
        const std::uint64_t tableEnd = plan.tableOffset + 4ull * plan.colourCount;
        if (plan.pixelOffset + rows > size || tableEnd > (plan.inPlace ? size : plan.info.size())) {
            std::abort();
        }
        volatile unsigned sum = 0;
        for (std::uint64_t i = 0; i < rows; ++i) {
            sum = sum + bytes[plan.pixelOffset + i];
        }
    }
    std::vector<std::uint8_t> dib, file;
    if (bmp::PackedDibOf(bytes.data(), bytes.size(), dib) != plan.drawable) {
        std::abort();
    }
    if (bmp::FileOfPackedDib(bytes.data(), bytes.size(), file)) {
        bmp::PlanDrawing(file.data(), file.size());
    }
    return 0;
}
