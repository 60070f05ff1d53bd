#include "core/quantize/error_diffusion.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/bmp/layout.h"
#include "core/bmp/true_colour.h"
#include "core/quantize/adaptive_palette.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/bmp_writer.h"
#include "core/quantize/dither.h"
#include "core/quantize/group_palette.h"
#include "core/quantize/indexed_image.h"
#include "core/quantize/serpentine_dither.h"
#include "core/quantize/three_neighbour_dither.h"

namespace quantize {
namespace {

// The palette stage: after the fixed colours (and the basic ones), the method's own choice.
bool BuildPalette(PaletteMethod method, DiffusionPalette& palette, const GroupSizes& sizes,
                  bmp::SourceRows& rows, const bmp::TrueColourGeometry& g, int threads,
                  DiffusionObserver& observer, PaletteFacts& facts) {
    facts.pinned = sizes.fixed;
    switch (method) {
    case PaletteMethod::Adaptive:
        return BuildAdaptivePalette(palette, sizes, rows, g, threads, observer, facts);
    case PaletteMethod::Groups:
        break;
    }
    return FillFreeGroup(palette, sizes, rows, g, observer);
}

// The dithering stage.
std::unique_ptr<Ditherer> MakeDitherer(DitherMethod method, const bmp::TrueColourGeometry& g,
                                       const DiffusionPalette& palette, const PaletteFacts& facts,
                                       int threads) {
    switch (method) {
    case DitherMethod::Serpentine:
        return std::make_unique<SerpentineDither>(g, palette, facts, threads);
    case DitherMethod::ThreeNeighbour:
        break;
    }
    return std::make_unique<ThreeNeighbourDither>(g, palette, threads);
}

IndexedImage IndexedImageOf(std::uint8_t* pixels, const bmp::TrueColourGeometry& g,
                            const DiffusionPalette& palette) {
    IndexedImage image;
    image.width = g.width;
    image.rows = g.rows;
    image.stride = g.padded;
    image.indices = pixels;
    for (int j = 0; j < 256; ++j) {
        for (int c = 0; c < 3; ++c) {
            image.table[3 * j + c] = palette[4 * j + c];
        }
    }
    return image;
}

// The stages up to the dithering: the source's layout, the palette and, where the stages say
// so, its fitting. Changes nothing in the image.
Outcome ChoosePalette(const std::uint8_t* data, std::uint64_t size, const DiffusionInput& input,
                      DiffusionObserver& observer, bmp::TrueColourSource& source,
                      DiffusionPalette& palette, PaletteFacts& facts, int& threads) {
    const Stages& stages = input.stages;
    const GroupSizes sizes = GroupSizesFor(input.fixedCount, stages.palette);
    observer.Opening(sizes.fixed, sizes.basic, sizes.free);

    if (const auto problem = bmp::CheckTrueColourSource(data, size, source)) {
        return OutcomeOf(*problem);
    }
    const bmp::TrueColourGeometry& g = source.geometry;
    bmp::SourceRows rows(data, source);
    FillFixedAndBasic(palette, sizes, input);
    threads = ThreadsFor(g, input.threads);
    if (!BuildPalette(stages.palette, palette, sizes, rows, g, threads, observer, facts)) {
        return Outcome::NoMemory;
    }
    // Without rows there is nothing to fit to, however wide the header says a row is.
    if (g.rows > 0 && stages.fit) {
        palette = FitToSerpentineDither(palette, data, source, facts, threads);
    }
    return Outcome::Converted;
}

} // namespace

GroupSizes GroupSizesFor(int fixedCount, PaletteMethod method) {
    const int fixed = std::clamp(fixedCount, 0, 256);
    const int basic = method == PaletteMethod::Groups ? std::min(kBasicColours, 256 - fixed) : 0;
    return {fixed, basic, 256 - fixed - basic};
}

Outcome PaletteOfImage(const std::uint8_t* data, std::uint64_t size, const DiffusionInput& input,
                       DiffusionObserver& observer, DiffusionPalette& palette) try {
    bmp::TrueColourSource source;
    PaletteFacts facts;
    int threads = 0;
    return ChoosePalette(data, size, input, observer, source, palette, facts, threads);
} catch (const std::bad_alloc&) {
    return Outcome::NoMemory;
}

Result DiffuseImage(std::uint8_t* data, std::uint64_t size, const Resizer& resize,
                    const DiffusionInput& input, DiffusionObserver& observer) {
    bmp::TrueColourSource source;
    const bmp::TrueColourGeometry& g = source.geometry;
    DiffusionPalette palette;
    std::unique_ptr<Ditherer> ditherer;
    // With a palette chosen for the image, an indexed image is converted as the true-colour
    // image its pixels show (with the user's 256 colours fixed, that maps it onto them).
    std::vector<std::uint8_t> expanded;
    try {
        if (input.stages.palette == PaletteMethod::Adaptive &&
            bmp::CheckTrueColourSource(data, size, source) == bmp::SourceProblem::AlreadyIndexed &&
            bmp::ExpandIndexed(data, size, expanded)) {
            source = bmp::TrueColourSource{};
        }
        const std::uint8_t* from = expanded.empty() ? data : expanded.data();
        const std::uint64_t fromSize = expanded.empty() ? size : expanded.size();
        PaletteFacts facts;
        int threads = 0;
        const Outcome chosen =
            ChoosePalette(from, fromSize, input, observer, source, palette, facts, threads);
        if (chosen != Outcome::Converted) {
            return {chosen, size};
        }
        if (g.rows > 0) {
            ditherer = MakeDitherer(input.stages.dither, g, palette, facts, threads);
        }
    } catch (const std::bad_alloc&) {
        return {Outcome::NoMemory, size};
    }
    // A small image's 8-bit file is longer than its 24-bit one, and a 16-bit image's 24-bit
    // rows are longer than its own: grow before any pixel changes, so that a failure leaves
    // the image as it was.
    const std::uint64_t needed =
        std::max(bmp::k8BitPixelData + g.rows * g.padded, bmp::PlainSize(source));
    std::uint64_t blockSize = size;
    if (needed > size) {
        const ResizeResult grown = resize(needed);
        if (!grown.resized) {
            return {Outcome::NoMemory, size};
        }
        data = grown.data;
        blockSize = needed;
    }
    if (expanded.empty()) {
        bmp::RewriteAsPlain24(data, source);
    } else {
        std::memcpy(data, expanded.data(), expanded.size());
        std::vector<std::uint8_t>().swap(expanded);
    }
    observer.PaletteComplete();

    observer.Phase(2);
    std::uint8_t* pixels = data + bmp::kHeadersSize;
    if (ditherer) {
        ditherer->Run(pixels, observer);
    }
    const std::uint64_t newSize = WriteBmp8InPlace(data, IndexedImageOf(pixels, g, palette));
    if (newSize < blockSize) {
        resize(newSize);
    }
    observer.Finished();
    return {Outcome::Converted, newSize};
}

} // namespace quantize
