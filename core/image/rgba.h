// Images of other formats as the conversions take them: a decoder (WIC in the program,
// libpng and libjpeg in the command-line tool) gives rows of red, green, blue and alpha
// samples, and they become a plain 24-bit BMP file image. Both front ends go through here,
// so that one file gives the same pixels in both. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace image {

// The most pixels an image may have: its samples, and the BMP made of them, must fit in
// memory and in a BMP file. Checked before anything is allocated.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;

// Decoded pixels: rows top first, each pixel red, green, blue, alpha, in samples of 8 or 16
// bits (16-bit samples in the machine's own byte order).
struct RgbaImage {
    std::uint32_t width = 0, height = 0;
    int bits = 8;
    std::vector<std::uint8_t> samples;

    std::size_t RowBytes() const { return std::size_t{width} * 4 * (bits / 8); }
};

// What becomes of transparency: each pixel is composited onto white, (c * a + 255 * (255 - a)
// + 127) / 255 per channel; with a key colour, a fully transparent pixel becomes that colour.
// With `kept` the pixels keep their alpha: the image is a 32-bit one (Plain32 below) and the
// key colour is not used.
struct AlphaRule {
    bool keyed = false;
    std::uint8_t key[3] = {}; // blue, green, red
    bool kept = false;
};

// The 32-bit file image of pixels that keep their alpha: a 56-byte header with bit fields (red
// 0x00FF0000, green 0x0000FF00, blue 0x000000FF, alpha 0xFF000000), the pixels at 70, blue,
// green, red and alpha, bottom-up rows.
inline constexpr std::uint64_t kPlain32Pixels = 70;

// The size of the plain 24-bit file image of a width x height image; nothing when there are
// no pixels or too many (kMaxPixels), or the file would not fit a BMP.
std::optional<std::uint64_t> Plain24Size(std::uint64_t width, std::uint64_t height);

// The size of the file image `rule` makes: Plain24Size, or with `kept` the 32-bit one's (also
// nothing where Plain24Size is nothing).
std::optional<std::uint64_t> PlainSize(std::uint64_t width, std::uint64_t height,
                                       const AlphaRule& rule);

// Writes the plain 24-bit file image (a 40-byte header, bottom-up rows) of a width x height
// image, or with `rule.kept` the 32-bit one, to `out`, which holds PlainSize bytes, a row at a time
// in any order, so that a decoder needs no room for more than a row of its own. 16-bit samples are
// rounded to 8 bits first.
class Plain24Writer {
  public:
    // Writes the header; the rows are for Row.
    Plain24Writer(std::uint32_t width, std::uint32_t height, int bits, const AlphaRule& rule,
                  std::uint8_t* out);
    // Row y of the picture (0 at the top): red, green, blue and alpha samples.
    void Row(std::uint32_t y, const std::uint8_t* samples) { Pixels(y, 0, 1, samples); }
    // The pixels first, first + step, ... of row y, their samples one after another: a pass
    // of an interlaced image, put in place without the whole image's samples in memory.
    void Pixels(std::uint32_t y, std::uint32_t first, std::uint32_t step,
                const std::uint8_t* samples);

  private:
    std::uint32_t width_, height_;
    int bits_;
    AlphaRule rule_;
    std::uint8_t* out_;
    std::uint64_t stride_;
    std::uint64_t pixels_; // the offset of the rows
};

// The whole image through a Plain24Writer.
void WritePlain24(const RgbaImage& image, const AlphaRule& rule, std::uint8_t* out);

// One 8-bit sample of a 16-bit one, rounded to the nearest.
inline std::uint8_t RoundTo8(std::uint16_t v) {
    return static_cast<std::uint8_t>((std::uint32_t{v} * 255 + 32767) / 65535);
}

// A colour sample composited onto white with an alpha of `a`.
inline std::uint8_t OntoWhite(std::uint32_t c, std::uint32_t a) {
    return static_cast<std::uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

} // namespace image
