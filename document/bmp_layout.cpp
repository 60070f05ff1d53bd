#include "document/bmp_layout.h"

namespace bmp {

std::uint64_t ColourTableEntries(std::uint16_t bitCount) {
    if (bitCount == 24) {
        return 0;
    }
    return std::uint64_t{1} << (bitCount % 32);
}

std::uint64_t PixelDataOffset(std::uint16_t bitCount) {
    return kColourTable + 4 * ColourTableEntries(bitCount);
}

std::uint64_t StrideBytes(std::int64_t width, std::uint16_t bitCount) {
    if (width <= 0) {
        return 0;
    }
    return (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
}

DrawPlan PlanDrawing(const std::uint8_t* data, std::uint64_t size) {
    DrawPlan plan;
    if (data == nullptr || size < kHeadersSize) {
        return plan;
    }
    plan.hasHeader = true;
    plan.width = ReadS32(data + kBiWidth);
    plan.height = ReadS32(data + kBiHeight);
    plan.bitCount = ReadU16(data + kBiBitCount);

    // The drawing reads the info header by its own size field and the colour table behind
    // it, so anything but the 40-byte form, and compressed data, are not handed over.
    if (ReadU32(data + kBiSize) != 40 || ReadU32(data + kBiCompression) != 0) {
        return plan;
    }
    const std::uint16_t bits = plan.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
        return plan;
    }
    if (plan.width <= 0 || plan.height <= 0) {
        return plan;
    }
    // A non-zero colour count makes the drawing read that many table entries; it must not
    // name more than the table the pixel offset leaves room for.
    const std::uint64_t entries = ColourTableEntries(bits);
    if (ReadU32(data + kBiClrUsed) > entries) {
        return plan;
    }
    const std::uint64_t offset = PixelDataOffset(bits);
    const std::uint64_t stride = StrideBytes(plan.width, bits);
    if (offset > size || stride == 0) {
        return plan;
    }
    const std::uint64_t rows = (size - offset) / stride;
    if (rows == 0) {
        return plan;
    }
    plan.drawable = true;
    plan.colourCount = static_cast<std::uint32_t>(entries);
    plan.pixelOffset = offset;
    plan.scanLines = static_cast<std::uint32_t>(
        rows < static_cast<std::uint64_t>(plan.height) ? rows : plan.height);
    return plan;
}

} // namespace bmp
