// The tile conversion: the source's pixels read, the palettes chosen, each tile dithered onto
// its own, and the indices written in place as an 8-bit BMP whose colour table holds the
// palettes one after another. Portable: no platform headers.
#include "core/tiles/tiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "core/bmp/layout.h"
#include "core/bmp/true_colour.h"
#include "core/quantize/bmp_writer.h"
#include "core/tiles/tile_dither.h"
#include "core/tiles/tile_palettes.h"

namespace tiles {
namespace {

// The picture's pixels, from the top row down.
TiledImage ReadPixels(const std::uint8_t* data, const bmp::TrueColourSource& source,
                      const TileShape& shape) {
    const bmp::TrueColourGeometry& g = source.geometry;
    TiledImage image;
    image.width = static_cast<int>(g.width);
    image.height = static_cast<int>(g.rows);
    image.tileWidth = shape.width;
    image.tileHeight = shape.height;
    image.pixels.resize(static_cast<std::size_t>(g.width * g.rows));
    bmp::SourceRows rows(data, source);
    for (std::uint64_t r = 0; r < g.rows; ++r) {
        const std::uint8_t* row = rows.Row(r);
        const std::uint64_t y = g.topDown ? r : g.rows - 1 - r;
        std::uint32_t* out = &image.pixels[static_cast<std::size_t>(y * g.width)];
        for (std::uint64_t x = 0; x < g.width; ++x) {
            out[x] = static_cast<std::uint32_t>(row[3 * x + 2]) << 16 |
                     static_cast<std::uint32_t>(row[3 * x + 1]) << 8 | row[3 * x];
        }
    }
    return image;
}

double Psnr(const TiledImage& image, const std::vector<std::uint8_t>& indices,
            const std::vector<std::uint32_t>& table) {
    double sum = 0;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const std::uint32_t a = image.pixels[i];
        const std::uint32_t b = table[indices[i]];
        for (int shift = 0; shift <= 16; shift += 8) {
            const double d =
                static_cast<double>(a >> shift & 255) - static_cast<double>(b >> shift & 255);
            sum += d * d;
        }
    }
    const double mse = sum / (3.0 * static_cast<double>(image.pixels.size()));
    return mse == 0 ? std::numeric_limits<double>::infinity()
                    : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace

quantize::Result ConvertTiles(std::uint8_t* data, std::uint64_t size,
                              const quantize::Resizer& resize, const TileInput& input,
                              quantize::DiffusionObserver& observer, TileReport* report) {
    const TileShape& shape = input.shape;
    if (CheckShape(shape, input.fixedCount) != ShapeProblem::Fine ||
        (input.fixedCount > 0 && input.fixedTable == nullptr)) {
        return {quantize::Outcome::UnsupportedLayout, size};
    }
    bmp::TrueColourSource source;
    if (const auto problem = bmp::CheckTrueColourSource(data, size, source)) {
        return {quantize::OutcomeOf(*problem), size};
    }
    const bmp::TrueColourGeometry& g = source.geometry;
    if (g.width > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ||
        g.rows > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ||
        g.width * g.rows > (std::uint64_t{1} << 32)) {
        return {quantize::Outcome::UnsupportedLayout, size};
    }
    std::vector<std::uint32_t> fixed;
    for (int i = 0; i < input.fixedCount; ++i) {
        const std::uint8_t* bgr = input.fixedTable + 4 * i;
        fixed.push_back(static_cast<std::uint32_t>(bgr[2]) << 16 |
                        static_cast<std::uint32_t>(bgr[1]) << 8 | bgr[0]);
    }
    const bool key = input.choices.key && !fixed.empty();
    if (key) {
        bmp::KeyTransparentPixels(data, source, input.fixedTable);
    }
    observer.Opening(input.fixedCount, 0, shape.palettes * shape.size - input.fixedCount);
    std::vector<std::uint8_t> indices;
    std::vector<std::uint32_t> table(256, 0);
    TileReport told;
    try {
        observer.Phase(1);
        const TiledImage image = ReadPixels(data, source, shape);
        const quantize::DeviceColours device(shape.depth, nullptr, 0);
        const TilePalettes palettes = ChoosePalettes(image, shape, fixed, key, device);
        std::copy(palettes.entries.begin(), palettes.entries.end(), table.begin());
        observer.PaletteComplete();
        observer.Phase(2);
        indices = DitherTiles(image, shape, palettes, input.stages, input.choices, key,
                              key ? fixed[0] : 0);
        told.tilesOfPalette.assign(static_cast<std::size_t>(shape.palettes), 0);
        for (const int p : palettes.paletteOfTile) {
            ++told.tilesOfPalette[static_cast<std::size_t>(p)];
        }
        told.psnr = Psnr(image, indices, table);
    } catch (const std::bad_alloc&) {
        return {quantize::Outcome::NoMemory, size};
    }
    // Grow before any pixel changes, so that a failure leaves the image as it was.
    const std::uint64_t needed =
        std::max(bmp::k8BitPixelData + g.rows * g.padded, bmp::PlainSize(source));
    if (needed > size) {
        const quantize::ResizeResult grown = resize(needed);
        if (!grown.resized) {
            return {quantize::Outcome::NoMemory, size};
        }
        data = grown.data;
    }
    bmp::RewriteAsPlain24(data, source);
    std::uint8_t* pixels = data + bmp::kHeadersSize;
    for (std::uint64_t r = 0; r < g.rows; ++r) {
        const std::uint64_t y = g.topDown ? r : g.rows - 1 - r;
        std::memcpy(pixels + r * g.padded, &indices[static_cast<std::size_t>(y * g.width)],
                    static_cast<std::size_t>(g.width));
        std::memset(pixels + r * g.padded + g.width, 0,
                    static_cast<std::size_t>(g.padded - g.width));
    }
    quantize::IndexedImage written;
    written.width = g.width;
    written.rows = g.rows;
    written.stride = g.padded;
    written.indices = pixels;
    for (std::size_t i = 0; i < 256; ++i) {
        written.table[3 * i] = static_cast<std::uint8_t>(table[i] >> 16);
        written.table[3 * i + 1] = static_cast<std::uint8_t>(table[i] >> 8);
        written.table[3 * i + 2] = static_cast<std::uint8_t>(table[i]);
    }
    written.entries = shape.palettes * shape.size;
    written.key = key;
    written.topDown = g.topDown;
    const std::uint64_t length = quantize::WriteBmp8InPlace(data, written);
    if (report) {
        *report = std::move(told);
    }
    observer.Finished();
    return {quantize::Outcome::Converted, length};
}

} // namespace tiles
