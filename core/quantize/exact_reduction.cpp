#include "core/quantize/exact_reduction.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/bmp/layout.h"
#include "core/bmp/true_colour.h"
#include "core/quantize/bmp_writer.h"
#include "core/quantize/colour_list.h"
#include "core/quantize/indexed_image.h"

namespace quantize {
namespace {

using Geometry = bmp::TrueColourGeometry;

// Visits the pixels in storage order; false as soon as a 257th colour is met.
bool CollectColours(bmp::SourceRows& rows, const Geometry& g, ColourList& list) {
    std::uint32_t last = 0xFFFFFFFFu; // no 24-bit colour has this key
    for (std::uint64_t r = 0; r < g.rows; ++r) {
        const std::uint8_t* p = rows.Row(r);
        for (std::uint64_t x = 0; x < g.width; ++x, p += 3) {
            const std::uint32_t key = PixelKey(p);
            if (key != last) {
                if (list.FindOrAdd(key) < 0) {
                    return false;
                }
                last = key;
            }
        }
    }
    return true;
}

// Replaces each row of pixels by a row of indices, row y at y * W4, front to back. An index
// never lands on a byte still to be read, because an 8-bit row is never longer than a 24-bit
// one.
void WriteIndices(std::uint8_t* pixels, const Geometry& g, const ColourList& list) {
    std::uint32_t last = 0xFFFFFFFFu;
    std::uint8_t lastIndex = 0;
    for (std::uint64_t r = 0; r < g.rows; ++r) {
        const std::uint8_t* p = pixels + r * g.stride;
        std::uint8_t* out = pixels + r * g.padded;
        for (std::uint64_t x = 0; x < g.width; ++x, p += 3) {
            const std::uint32_t key = PixelKey(p);
            if (key != last) {
                lastIndex = list.Find(key);
                last = key;
            }
            out[x] = lastIndex;
        }
        std::memset(out + g.width, 0, static_cast<std::size_t>(g.padded - g.width));
    }
}

} // namespace

Result ReduceExact(std::uint8_t* data, std::uint64_t size, const Resizer& resize) {
    bmp::TrueColourSource source;
    if (const auto problem = bmp::CheckTrueColourSource(data, size, source)) {
        return {OutcomeOf(*problem), size};
    }
    const Geometry& g = source.geometry;
    ColourList list;
    try {
        bmp::SourceRows rows(data, source);
        if (!CollectColours(rows, g, list)) {
            return {Outcome::TooManyColours, size};
        }
    } catch (const std::bad_alloc&) {
        return {Outcome::NoMemory, size};
    }

    // Room for the colour table in front of the rows, and for a 16-bit image's wider rows.
    const ResizeResult grown = resize(std::max(size, bmp::PlainSize(source)) + 1024);
    if (!grown.resized) {
        return {Outcome::NoMemory, size};
    }
    data = grown.data;
    bmp::RewriteAsPlain24(data, source);
    IndexedImage image;
    image.width = g.width;
    image.rows = g.rows;
    image.stride = g.padded;
    image.indices = data + bmp::kHeadersSize;
    image.entries = list.count();
    image.topDown = g.topDown;
    for (int k = 0; k < list.count(); ++k) {
        const std::uint32_t c = list.colour(k);
        image.table[3 * k] = static_cast<std::uint8_t>(c >> 16);
        image.table[3 * k + 1] = static_cast<std::uint8_t>(c >> 8);
        image.table[3 * k + 2] = static_cast<std::uint8_t>(c);
    }
    WriteIndices(data + bmp::kHeadersSize, g, list);
    const std::uint64_t newSize = WriteBmp8InPlace(data, image);
    resize(newSize);
    return {Outcome::Converted, newSize};
}

} // namespace quantize
