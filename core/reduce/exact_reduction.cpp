#include "core/reduce/exact_reduction.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/bmp/layout.h"
#include "core/reduce/colour_list.h"
#include "core/reduce/true_colour.h"

namespace reduce {
namespace {

using Geometry = TrueColourGeometry;

// Visits the pixels in storage order; false as soon as a 257th colour is met.
bool CollectColours(SourceRows& rows, const Geometry& g, ColourList& list) {
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

// Replaces each row of pixels by a row of indices, front to back. An index never lands on a
// byte still to be read, because an 8-bit row is never longer than a 24-bit one.
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
        std::memset(out + g.width, 0, g.padded - g.width);
    }
}

} // namespace

Result ReduceExact(std::uint8_t* data, std::uint64_t size, const Resizer& resize) {
    TrueColourSource source;
    if (const auto refusal = CheckTrueColourSource(data, size, source)) {
        return {*refusal, size};
    }
    const Geometry& g = source.geometry;
    ColourList list;
    try {
        SourceRows rows(data, source);
        if (!CollectColours(rows, g, list)) {
            return {Outcome::TooManyColours, size};
        }
    } catch (const std::bad_alloc&) {
        return {Outcome::NoMemory, size};
    }

    // Room for the colour table in front of the rows, and for a 16-bit image's wider rows.
    const ResizeResult grown = resize(std::max(size, PlainSize(source)) + 1024);
    if (!grown.resized) {
        return {Outcome::NoMemory, size};
    }
    data = grown.data;
    RewriteAsPlain24(data, source);
    std::uint8_t* pixels = data + bmp::k8BitPixelData;
    std::memmove(pixels, data + bmp::kHeadersSize, g.rows * g.stride);
    WriteIndices(pixels, g, list);

    // The colour table overwrites what the move left below the pixels.
    for (int k = 0; k < 256; ++k) {
        const std::uint32_t c = list.colour(k);
        std::uint8_t* entry = data + bmp::kColourTable + 4 * k;
        entry[0] = static_cast<std::uint8_t>(c);
        entry[1] = static_cast<std::uint8_t>(c >> 8);
        entry[2] = static_cast<std::uint8_t>(c >> 16);
        entry[3] = 0;
    }
    const std::uint64_t pixelBytes = g.rows * g.padded;
    MarkAs8Bit(data, static_cast<std::uint32_t>(pixelBytes));
    const std::uint64_t newSize = bmp::k8BitPixelData + pixelBytes;
    resize(newSize);
    return {Outcome::Converted, newSize};
}

} // namespace reduce
