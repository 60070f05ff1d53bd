// The BMP file image layout: little-endian field access at fixed offsets, where the pixels of
// an image start, and how much of a file image can be drawn without reading past its end.
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bmp {

// File offsets of the fields the program reads or writes.
inline constexpr std::size_t kBfSize = 2;
inline constexpr std::size_t kBfOffBits = 10;
inline constexpr std::size_t kInfoHeader = 14;
inline constexpr std::size_t kBiSize = 14;
inline constexpr std::size_t kBiWidth = 18;
inline constexpr std::size_t kBiHeight = 22;
inline constexpr std::size_t kBiPlanes = 26;
inline constexpr std::size_t kBiBitCount = 28;
inline constexpr std::size_t kBiCompression = 30;
inline constexpr std::size_t kBiSizeImage = 34;
inline constexpr std::size_t kBiClrUsed = 46;
inline constexpr std::size_t kBiClrImportant = 50;
inline constexpr std::size_t kColourTable = 54;

// Length of the file header and the 40-byte info header together.
inline constexpr std::size_t kHeadersSize = 54;
// Pixel data offset of an 8-bit image with its 256-entry colour table.
inline constexpr std::size_t k8BitPixelData = 1078;

inline std::uint16_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t ReadS32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(ReadU32(p));
}
inline void WriteU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void WriteU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Why a file image cannot be drawn.
enum class DrawProblem {
    None,
    Empty,       // no bytes at all
    NotBitmap,   // no "BM" at its start, or no header of a kind BMP files have
    Truncated,   // the file ends inside its headers, its colour table or its first row
    Unsupported, // a bit count, compression or size that no BMP drawing takes
    TooLarge,    // run-length data that would unpack into more than kMaxUnpackedRle
};

// What painting may hand to the platform's DIB drawing for a file image of `size` bytes.
struct DrawPlan {
    bool hasHeader = false; // width and height could be read
    bool drawable = false;  // header, colour table and at least one row lie inside the image
    DrawProblem problem = DrawProblem::None; // why not, when it is not drawable
    std::int32_t width = 0;
    std::int32_t height = 0; // as stored: negative for top-down rows
    std::uint16_t bitCount = 0;
    std::uint32_t colourCount = 0; // colour-table entries to build a palette from (0: none)
    std::uint64_t pixelOffset = 0;
    std::uint32_t scanLines = 0; // complete rows present, counted from the first stored row
    // True when the file's own bytes from offset 14 serve as the bitmap information (a
    // 40-byte header); otherwise `info` holds an equivalent 40-byte header followed by the
    // masks or the colour table as blue, green, red, 0 entries.
    bool inPlace = false;
    std::vector<std::uint8_t> info;
    // Where the palette's colour-table entries (blue, green, red, 0) are: at this offset in
    // the file when inPlace, else in `info`.
    std::uint64_t tableOffset = 0;
    // Run-length encoded pixels (bitCount 4 or 8) from pixelOffset to the end of the file:
    // they are unpacked (UnpackRle) into rows of one byte per pixel, which `info`
    // describes as an uncompressed 8-bit image.
    bool runLength = false;
};

// The most memory a run-length encoded image may unpack into for drawing: 8192 x 8192 pixels.
inline constexpr std::uint64_t kMaxUnpackedRle = std::uint64_t{64} << 20;

// Decides how much of the file image can be drawn, and how, reading it as its headers mean:
// the 12-byte OS/2 header and the 40-, 52-, 56-, 64-, 108- and 124-byte Windows headers;
// 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed or with bit-field masks (16 and 32);
// bottom-up and top-down rows; a colour table of biClrUsed entries; pixels at bfOffBits
// when that lies behind the colour table. A file cut short is drawn as far as its complete
// rows reach; run-length encoded 4- and 8-bit pixels are unpacked for drawing when the
// unpacked image stays within reason for the size of the file and within kMaxUnpackedRle.
DrawPlan PlanDrawing(const std::uint8_t* data, std::uint64_t size);

// True when a drawable image's file ends before its last row: it holds fewer complete rows
// than its height, or its run-length data stops before its end (RleIsWhole). Such a file is
// still drawn as far as it reaches, but it is no whole image.
bool IsCutShort(const std::uint8_t* data, std::uint64_t size, const DrawPlan& plan);

// The colour table of a drawable image of 8 or fewer bits per pixel, as 256 entries of blue,
// green, red and 0, black after the table's own entries. False for any other image.
bool ColourTableOf(const std::uint8_t* data, std::uint64_t size, std::uint8_t* table);

// The pixels of a drawable image of 8 or fewer bits per pixel (run-length encoded ones too),
// looked up in its colour table (indices beyond it are black), as a plain 24-bit file image:
// a 40-byte header with the image's width, height (top-down stays top-down) and resolution,
// rows at 54. False for any other image, and for one cut short before its last row; throws
// std::bad_alloc when memory runs out or the file image would reach 4 GiB.
bool ExpandIndexed(const std::uint8_t* data, std::uint64_t size, std::vector<std::uint8_t>& plain);

// Length in bytes of one stored row: the row's bits rounded up to whole 32-bit words.
std::uint64_t StrideBytes(std::int64_t width, std::uint16_t bitCount);

} // namespace bmp
