// The true-colour BMP layouts both conversions read: 24 bits, and 16 and 32 bits with their
// channel masks, behind 40- to 124-byte headers, with the pixels where bfOffBits says. Any of
// them is rewritten in place as the plain layout the conversions work on: a 40-byte header,
// 24-bit rows at 54. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace bmp {

// Where the pixels of a plain 24-bit image lie.
struct TrueColourGeometry {
    std::uint64_t width;  // pixels per row
    std::uint64_t rows;   // magnitude of the height: top-down images keep their row order
    std::uint64_t stride; // bytes per 24-bit row
    std::uint64_t padded; // bytes per 8-bit row
    bool topDown = false; // the first stored row is the top of the picture
};

// One colour channel of a 16- or 32-bit pixel: the lowest bit of its mask, its width, and
// each of its values widened to 8 bits the usual way, its high bits repeated below it.
struct Channel {
    int shift = 0;
    int bits = 0;
    std::uint8_t widened[256] = {};

    std::uint8_t operator()(std::uint32_t pixel) const {
        return widened[(pixel >> shift) & ((1u << bits) - 1)];
    }
};

// A true-colour image as it is stored.
struct TrueColourSource {
    TrueColourGeometry geometry; // of the plain 24-bit image it becomes
    std::uint64_t offset = 0;    // of the first stored row
    std::uint64_t rowBytes = 0;  // per stored row
    int bitCount = 24;           // 16, 24 or 32
    Channel red, green, blue;    // for 16 and 32 bits
    bool plain = false;          // already the plain layout: nothing to rewrite
    // With KeyTransparentPixels: a 32-bit pixel whose alpha bits are all 0 reads as `key`.
    bool keyed = false;
    std::uint32_t alphaMask = 0;
    std::uint8_t key[3] = {}; // blue, green, red
};

// Why a file image is no true-colour source.
enum class SourceProblem {
    AlreadyIndexed,    // a whole image of 1, 4 or 8 bits: a colour table is there
    UnsupportedLayout, // not a layout the conversions read and rewrite
    Truncated,         // the file ends before its last pixel row
};

// Reads the layout of a true-colour image. Returns the problem, or nothing when the image can
// be converted. A bit count of 8 or fewer (read from 30 bytes on) is read as drawing reads
// it (PlanDrawing): Truncated when the file is cut short, UnsupportedLayout when no drawing
// takes it, else AlreadyIndexed. Any other image: UnsupportedLayout for anything that is not
// an uncompressed (or bit-field) 16-, 24- or 32-bit image with channels of at most 8 bits and
// pixels behind its headers, Truncated when the file ends before its last row.
std::optional<SourceProblem> CheckTrueColourSource(const std::uint8_t* data, std::uint64_t size,
                                                   TrueColourSource& source);

// Makes the fully transparent pixels of a 32-bit image read as the colour `bgr` (blue, green,
// red), in its rows and when it is rewritten: where the file has an alpha mask (a header of
// 56 bytes or more with bit fields), or where its fourth bytes, without bit fields, are not
// all 0 (many writers leave them 0 for an opaque image). Any other image stays as it is.
void KeyTransparentPixels(const std::uint8_t* data, TrueColourSource& source,
                          const std::uint8_t* bgr);

// The mask of a 32-bit image's alpha, as KeyTransparentPixels finds it: 0 for an image
// without one.
std::uint32_t AlphaMaskOf(const std::uint8_t* data, const TrueColourSource& source);

// The alpha channel of a 32-bit image: its mask as AlphaMaskOf finds it, when that is at most 8
// contiguous bits; nothing for an image without one (its pixels are opaque).
std::optional<Channel> AlphaChannelOf(const std::uint8_t* data, const TrueColourSource& source);

// The length of the plain 24-bit file image of the source.
std::uint64_t PlainSize(const TrueColourSource& source);

// The pixels of the stored rows as blue, green, red triplets, read without changing the
// image: straight from the file for 24 bits, through a row of its own for 16 and 32 bits
// (set aside when this is made; it may throw std::bad_alloc).
class SourceRows {
  public:
    SourceRows(const std::uint8_t* data, const TrueColourSource& source);
    // Several images one above the other: the first one's stored rows, then the second's, and
    // so on; rows differ in width where the images do. Not empty.
    explicit SourceRows(std::vector<SourceRows> stack);

    const std::uint8_t* Row(std::uint64_t r) {
        if (!stack_.empty()) {
            return StackRow(r);
        }
        const std::uint8_t* stored = data_ + source_.offset + r * source_.rowBytes;
        return source_.bitCount == 24 ? stored : Decode(stored);
    }
    // The number of pixels of row r.
    std::uint64_t Width(std::uint64_t r) const {
        return stack_.empty() ? source_.geometry.width : stack_[PartOf(r)].source_.geometry.width;
    }

  private:
    const std::uint8_t* Decode(const std::uint8_t* stored);
    std::size_t PartOf(std::uint64_t r) const;
    const std::uint8_t* StackRow(std::uint64_t r);
    const std::uint8_t* data_;
    const TrueColourSource& source_;
    std::vector<std::uint8_t> row_;
    std::vector<SourceRows> stack_;
    std::vector<std::uint64_t> firstRows_; // of each image of the stack, and then the total
};

// Rewrites the image in place as the plain 24-bit file image of PlainSize bytes, whose
// header keeps the type, reserved words, size, planes and resolution of the source's and
// says 24 bits, no compression and no colour table. The block must hold
// max(its size, PlainSize) bytes. Does nothing to a plain source.
void RewriteAsPlain24(std::uint8_t* data, const TrueColourSource& source);

} // namespace bmp
