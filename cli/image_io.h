// The images the command-line tool reads and writes besides BMP: PNG through libpng, JPEG
// through libjpeg-turbo. A decoded image becomes the plain 24-bit BMP file image the
// conversions read; an indexed image is written as an indexed PNG, a true-colour one as an
// RGB PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/file_io.h"
#include "core/image/rgba.h"
#include "core/quantize/indexed_image.h"

namespace cli {

enum class ImageKind { Bmp, Png, Jpeg };

// Known by the first bytes: the PNG signature, a JPEG start of image; anything else is taken
// for a BMP (and the conversions say when it is none).
ImageKind KindOf(const std::uint8_t* data, std::size_t size);

// Decodes a PNG or JPEG file into the plain 24-bit BMP file image of its pixels, `rule`
// saying what becomes of transparency, with kConversionRoom to spare. Never allocates more
// than the image's own size allows (image::kMaxPixels): the BMP, a row, and for a
// progressive JPEG the coefficients of its blocks. A file whose structure is wrong (a PNG chunk's
// checksum, a PNG or JPEG file cut short, a JPEG of more than image::kMaxJpegScans scans) is
// refused before anything is allocated for it, and a damaged JPEG at its first fault. False, with
// why in `error`, when the file cannot be read.
bool DecodeToBmp(const std::uint8_t* data, std::size_t size, const image::AlphaRule& rule,
                 FileBytes& bmp, std::string& error);

// Decodes an indexed (palette) PNG into the plain 8-bit BMP file image of its indices, its
// PLTE as the colour table (biClrUsed says how many entries), checked as DecodeToBmp checks.
// False, with why in `error`, for any other PNG, one that cannot be read, and one whose
// transparency the BMP would lose: any but a fully transparent entry 0 with `keyZero`.
bool DecodeIndexedPng(const std::uint8_t* data, std::size_t size, bool keyZero, FileBytes& bmp,
                      std::string& error);

// What decoding a PNG or JPEG file takes, from its header: the size of the BMP of its pixels
// and what the decoder holds beside it (a row; a progressive JPEG's coefficients, 2 bytes a
// sample), and its width. Zeros when the header cannot be read (the file is then refused unread).
struct DecodedSize {
    std::uint64_t bmp = 0, decoder = 0, width = 0;
};
DecodedSize DecodedSizeOf(const std::uint8_t* data, std::size_t size);

// How a result is written as PNG: an 8-bit image with `entries` palette entries (the first
// ones of its colour table) and, with `keyTransparent`, entry 0 transparent (as
// quantize::ViewPlainBmp takes them).
struct PngChoices {
    int entries = 256;
    bool keyTransparent = false;
    int keyStep = 0; // with keyTransparent, entries 0, keyStep, 2 * keyStep ... are transparent
};

// The PNG file of an image: indexed, of 1, 2, 4 or 8 bits an index, with the image's first
// `entries` entries as its palette and entry 0 transparent with `key`; or RGB for 24 bits.
// False, with why in `error`, for another bit count or when memory runs out.
bool EncodePng(const quantize::IndexedImage& image, std::vector<std::uint8_t>& png,
               std::string& error);

} // namespace cli
