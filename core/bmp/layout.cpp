#include "core/bmp/layout.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "core/bmp/rle.h"

namespace bmp {

std::uint64_t StrideBytes(std::int64_t width, std::uint16_t bitCount) {
    if (width <= 0) {
        return 0;
    }
    return (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
}

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;

void Append32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

} // namespace

DrawPlan PlanDrawing(const std::uint8_t* data, std::uint64_t size) {
    DrawPlan plan;
    // Not drawable: the plan as it stands, with the reason. A file without "BM" at its start
    // is said to be no BMP file, whatever else stops it.
    const auto refuse = [&](DrawProblem problem) {
        const bool bitmap = size >= 2 && data[0] == 'B' && data[1] == 'M';
        plan.problem = size == 0 ? DrawProblem::Empty : bitmap ? problem : DrawProblem::NotBitmap;
        return plan;
    };
    if (data == nullptr || size < kInfoHeader + 4) {
        return refuse(DrawProblem::Truncated);
    }
    const std::uint32_t headerSize = ReadU32(data + kBiSize);
    const bool os2 = headerSize == 12;
    if (!os2 && headerSize < 40) {
        return refuse(DrawProblem::NotBitmap);
    }
    if (kInfoHeader + headerSize > size) {
        return refuse(DrawProblem::Truncated);
    }
    std::uint32_t compression = kRgb, colourUsed = 0;
    if (os2) {
        plan.width = ReadU16(data + 18);
        plan.height = ReadU16(data + 20);
        plan.bitCount = ReadU16(data + 24);
    } else {
        plan.width = ReadS32(data + kBiWidth);
        plan.height = ReadS32(data + kBiHeight);
        plan.bitCount = ReadU16(data + kBiBitCount);
        compression = ReadU32(data + kBiCompression);
        colourUsed = ReadU32(data + kBiClrUsed);
    }
    plan.hasHeader = true;

    const std::uint16_t bits = plan.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return refuse(DrawProblem::Unsupported);
    }
    const bool runLength =
        (compression == kRle8 && bits == 8) || (compression == kRle4 && bits == 4);
    if (compression != kRgb && !runLength &&
        !(compression == kBitFields && (bits == 16 || bits == 32))) {
        return refuse(DrawProblem::Unsupported);
    }
    if (runLength && plan.height < 0) {
        return refuse(DrawProblem::Unsupported); // run-length data is bottom-up only
    }
    if (plan.width <= 0 || plan.height == 0 || plan.height == INT32_MIN) {
        return refuse(DrawProblem::Unsupported);
    }
    // Bit-field masks follow a 40-byte header; longer headers hold them.
    const std::uint64_t masksAfterHeader = compression == kBitFields && headerSize == 40 ? 12 : 0;
    const std::uint64_t tableOffset = kInfoHeader + headerSize + masksAfterHeader;
    const std::uint64_t entrySize = os2 ? 3 : 4;
    std::uint64_t entries = 0;
    if (bits <= 8) {
        const std::uint64_t full = std::uint64_t{1} << bits;
        entries = colourUsed != 0 && colourUsed < full ? colourUsed : full;
    } else if (colourUsed <= 256) {
        entries = colourUsed; // an optional table that nothing needs
    } else {
        return refuse(DrawProblem::Unsupported);
    }
    const std::uint64_t bfOffBits = ReadU32(data + kBfOffBits);
    if (os2 && bfOffBits >= tableOffset && bfOffBits < tableOffset + entries * entrySize) {
        entries = (bfOffBits - tableOffset) / entrySize; // an OS/2 table may be shorter
    }
    const std::uint64_t tableEnd = tableOffset + entries * entrySize;
    if (tableEnd > size) {
        return refuse(DrawProblem::Truncated);
    }
    const std::uint64_t offset = bfOffBits >= tableEnd && bfOffBits < size ? bfOffBits : tableEnd;
    const std::uint64_t height = plan.height < 0 ? -static_cast<std::int64_t>(plan.height)
                                                 : static_cast<std::int64_t>(plan.height);
    // Unpacked run-length rows take one byte per pixel; a run of two bytes gives at most
    // 255 pixels, so an image far larger than that is not what the file holds. Beyond
    // kMaxUnpackedRle a 32-bit program could not be sure of the memory at all.
    const std::uint64_t unpacked = StrideBytes(plan.width, 8) * height;
    if (runLength && offset >= size) {
        return refuse(DrawProblem::Truncated);
    }
    if (runLength &&
        (unpacked > std::max<std::uint64_t>(256 * size, 1u << 24) || unpacked > kMaxUnpackedRle)) {
        return refuse(DrawProblem::TooLarge);
    }
    const std::uint64_t stride = StrideBytes(plan.width, bits);
    const std::uint64_t rows = runLength ? height : (offset < size ? (size - offset) / stride : 0);
    if (rows == 0) {
        return refuse(DrawProblem::Truncated);
    }
    plan.drawable = true;
    plan.pixelOffset = offset;
    plan.scanLines = static_cast<std::uint32_t>(rows < height ? rows : height);
    plan.colourCount = bits <= 8 ? static_cast<std::uint32_t>(entries) : 0;
    plan.runLength = runLength;
    plan.inPlace = headerSize == 40 && !runLength;
    if (plan.inPlace) {
        plan.tableOffset = tableOffset;
        return plan;
    }
    // An equivalent 40-byte header, the masks, then the table as blue, green, red, 0.
    Append32(plan.info, 40);
    Append32(plan.info, static_cast<std::uint32_t>(plan.width));
    Append32(plan.info, static_cast<std::uint32_t>(plan.height));
    plan.info.push_back(1);
    plan.info.push_back(0);
    plan.info.push_back(static_cast<std::uint8_t>(runLength ? 8 : bits));
    plan.info.push_back(0);
    Append32(plan.info, runLength ? kRgb : compression);
    for (int i = 0; i < 3; ++i) {
        Append32(plan.info, 0); // image size, resolution
    }
    Append32(plan.info, static_cast<std::uint32_t>(plan.colourCount));
    Append32(plan.info, 0);
    if (compression == kBitFields) {
        for (int i = 0; i < 3; ++i) {
            Append32(plan.info, ReadU32(data + 54 + 4 * i)); // red, green, blue masks
        }
    }
    plan.tableOffset = plan.info.size();
    for (std::uint32_t i = 0; i < plan.colourCount; ++i) {
        const std::uint8_t* entry = data + tableOffset + entrySize * i;
        plan.info.insert(plan.info.end(), {entry[0], entry[1], entry[2], 0});
    }
    return plan;
}

bool IsCutShort(const std::uint8_t* data, std::uint64_t size, const DrawPlan& plan) {
    if (!plan.drawable) {
        return false;
    }
    const std::uint64_t height =
        static_cast<std::uint64_t>(plan.height < 0 ? -std::int64_t{plan.height} : plan.height);
    if (plan.runLength) {
        return !RleIsWhole(data + plan.pixelOffset, size - plan.pixelOffset, plan.bitCount,
                           plan.width, static_cast<std::int32_t>(height));
    }
    return plan.scanLines < height;
}

bool ColourTableOf(const std::uint8_t* data, std::uint64_t size, std::uint8_t* table) {
    const DrawPlan plan = PlanDrawing(data, size);
    if (!plan.drawable || plan.bitCount > 8 || plan.colourCount == 0) {
        return false;
    }
    const std::uint8_t* entries = (plan.inPlace ? data : plan.info.data()) + plan.tableOffset;
    const std::uint32_t count = plan.colourCount < 256 ? plan.colourCount : 256;
    std::memset(table, 0, 1024);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::memcpy(table + 4 * i, entries + 4 * i, 3);
    }
    return true;
}

bool ExpandIndexed(const std::uint8_t* data, std::uint64_t size, std::vector<std::uint8_t>& plain) {
    const DrawPlan plan = PlanDrawing(data, size);
    std::uint8_t table[1024];
    if (!ColourTableOf(data, size, table)) {
        return false;
    }
    const std::uint64_t width = static_cast<std::uint64_t>(plan.width);
    const std::uint64_t height =
        static_cast<std::uint64_t>(plan.height < 0 ? -std::int64_t{plan.height} : plan.height);
    if (!plan.runLength && plan.scanLines < height) {
        return false;
    }
    int bits = plan.bitCount;
    const std::uint8_t* rows = data + plan.pixelOffset;
    std::vector<std::uint8_t> unpacked;
    if (plan.runLength) {
        UnpackRle(rows, size - plan.pixelOffset, bits, plan.width,
                  static_cast<std::int32_t>(height), unpacked);
        rows = unpacked.data();
        bits = 8;
    }
    const std::uint64_t stride = StrideBytes(plan.width, static_cast<std::uint16_t>(bits));
    const std::uint64_t plainStride = StrideBytes(plan.width, 24);
    const std::uint64_t plainSize = kHeadersSize + height * plainStride;
    if (plainSize > std::numeric_limits<std::size_t>::max() || plainSize > 0xFFFFFFFFu) {
        throw std::bad_alloc(); // no file image of 4 GiB or more
    }
    plain.assign(static_cast<std::size_t>(plainSize), 0);
    std::uint8_t* header = plain.data();
    header[0] = 'B';
    header[1] = 'M';
    WriteU32(header + 2, static_cast<std::uint32_t>(plain.size()));
    WriteU32(header + 10, kHeadersSize);
    WriteU32(header + 14, 40);
    WriteU32(header + 18, static_cast<std::uint32_t>(plan.width));
    WriteU32(header + 22, static_cast<std::uint32_t>(plan.height));
    WriteU16(header + 26, 1);
    WriteU16(header + 28, 24);
    WriteU32(header + 34, static_cast<std::uint32_t>(height * plainStride));
    if (ReadU32(data + 14) >= 40) {
        std::memcpy(header + 38, data + 38, 8); // resolution
    }
    const unsigned mask = (1u << bits) - 1;
    for (std::uint64_t r = 0; r < height; ++r) {
        const std::uint8_t* in = rows + r * stride;
        std::uint8_t* out = header + kHeadersSize + r * plainStride;
        for (std::uint64_t x = 0; x < width; ++x, out += 3) {
            const std::uint64_t bit = x * static_cast<std::uint64_t>(bits);
            const unsigned index = in[bit / 8] >> (8 - bits - static_cast<int>(bit % 8)) & mask;
            std::memcpy(out, table + 4 * index, 3);
        }
    }
    return true;
}

} // namespace bmp
