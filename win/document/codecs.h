// Images of other kinds through the Windows Imaging Component, the platform's own codecs: a
// PNG, JPEG, GIF (first frame) or TIFF (first page) becomes the plain 24-bit BMP the program
// works on, and a document is written as PNG. COM must be initialised on the calling thread.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <vector>

#include "win/app/owners.h"

#include "core/image/rgba.h"
#include "core/quantize/indexed_image.h"

// The Windows Imaging Component's factory; false when it cannot be had.
bool CreateImagingFactory(ComObject<IWICImagingFactory>& factory);

// True for the bytes of a PNG, JPEG, GIF or TIFF file, by their first bytes.
bool IsCodecImage(const BYTE* data, DWORD size);

enum class DecodeResult {
    Decoded,
    CannotRead, // damaged, or of a kind the codecs do not read
    TooLarge,   // no pixels, or more than an image may have (image::kMaxPixels)
    NoMemory,
};

// Decodes the image into a new movable block holding its plain 24-bit BMP file image of
// `bytes` bytes, `rule` saying what becomes of transparency (with `kept`, an image with
// transparency is the 32-bit one with alpha; an opaque one is plain 24-bit all the same);
// 16-bit samples are rounded to 8 bits. The block is null unless the result is Decoded. A PNG's
// chunks are checked first, so that a wrong checksum is never let through.
DecodeResult DecodeImage(const BYTE* data, DWORD size, const image::AlphaRule& rule, HGLOBAL& block,
                         DWORD& bytes);

// The PNG file of an image (a document viewed by quantize::ViewPlainBmp, its indices perhaps
// packed): indexed, of 1, 2, 4 or 8 bits an index, with the image's first `entries` entries as
// its palette and entry 0 transparent with `key` (with `translucent`, each entry its alpha, in
// a tRNS chunk); or RGB for 24 bits. False for another bit count, when the codecs fail or
// memory runs out.
bool EncodePng(const quantize::IndexedImage& image, std::vector<BYTE>& png);
