// PNG and JPEG reading of arbitrary bytes, as the command-line tool reads its inputs: every
// file is read or refused, never more allocated than the image's size allows; what is read
// writes as a PNG that reads back to the same pixels; an indexed PNG also reads as its indices,
// and any image with its alpha (--alpha) as pixels of the same size.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "core/bmp/layout.h"
#include "core/quantize/alpha_diffusion.h"
#include "core/quantize/bmp_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cli::FileBytes decoded;
    std::string error;
    image::AlphaRule rule;
    rule.keyed = size > 0 && (data[size - 1] & 1) != 0;
    // What a batch reads of every file's header to claim its memory.
    const cli::DecodedSize sized = cli::DecodedSizeOf(data, size);
    if (sized.bmp > bmp::kHeadersSize + 4 * image::kMaxPixels) {
        std::abort(); // at most 4 bytes a pixel: 3, and the padding of a row
    }
    // An indexed PNG read as its indices (compact): a plain 8-bit BMP, or a refusal that says
    // why.
    cli::FileBytes indices;
    if (cli::DecodeIndexedPng(data, size, rule.keyed, indices, error)
            ? !quantize::ViewPlainBmp(indices.data(), indices.size())
            : error.empty()) {
        std::abort();
    }
    // Read with its alpha: refused alike, or a 32-bit image whose every pixel is there.
    error.clear();
    image::AlphaRule kept;
    kept.kept = true;
    cli::FileBytes withAlpha;
    if (cli::DecodeToBmp(data, size, kept, withAlpha, error)) {
        std::vector<std::uint8_t> rgba;
        std::uint64_t width = 0, height = 0;
        if (quantize::RgbaPixelsOf(withAlpha.data(), withAlpha.size(), rgba, width, height) !=
                quantize::Outcome::Converted ||
            rgba.size() != 4 * width * height) {
            std::abort();
        }
    } else if (error.empty()) {
        std::abort();
    }
    error.clear();
    if (!cli::DecodeToBmp(data, size, rule, decoded, error)) {
        if (error.empty()) {
            std::abort(); // a refusal says why
        }
        return 0;
    }
    std::vector<std::uint8_t> png;
    const auto indexed = quantize::ViewPlainBmp(decoded.data(), decoded.size());
    if (!indexed || !cli::EncodePng(*indexed, png, error)) {
        std::abort();
    }
    cli::FileBytes again;
    if (!cli::DecodeToBmp(png.data(), png.size(), {}, again, error) ||
        again.size() != decoded.size() ||
        !std::equal(decoded.begin() + bmp::kHeadersSize, decoded.end(),
                    again.begin() + bmp::kHeadersSize)) {
        std::abort(); // the PNG written does not read back to the same pixels
    }
    return 0;
}
