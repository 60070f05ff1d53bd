#include "core/quantize/error_diffusion.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
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

// One image as the stages read it: its stored bytes, or for an indexed image whose palette is
// chosen for it, the true-colour file image its pixels show.
struct SourceImage {
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
    bmp::TrueColourSource source;
    std::vector<std::uint8_t> expanded;
};

std::optional<bmp::SourceProblem> Prepare(SourceImage& image, const Stages& stages) {
    auto problem = bmp::CheckTrueColourSource(image.data, image.size, image.source);
    if (problem == bmp::SourceProblem::AlreadyIndexed &&
        stages.palette == PaletteMethod::Adaptive &&
        bmp::ExpandIndexed(image.data, image.size, image.expanded)) {
        image.source = bmp::TrueColourSource{};
        image.data = image.expanded.data();
        image.size = image.expanded.size();
        problem = bmp::CheckTrueColourSource(image.data, image.size, image.source);
    }
    return problem;
}

// The stages up to the dithering for one image, or for several read as one above the other:
// the sources' layouts, the palette and, where the stages say so, its fitting (each image
// dithered on its own, what the entries stood for added up). Changes nothing in the images.
// On a refusal `refused` is the image refused.
Outcome ChoosePalette(std::vector<SourceImage>& images, const DiffusionInput& input,
                      DiffusionObserver& observer, DiffusionPalette& palette, PaletteFacts& facts,
                      int& threads, std::size_t& refused) {
    const Stages& stages = input.stages;
    const GroupSizes sizes = GroupSizesFor(input.fixedCount, stages.palette);
    observer.Opening(sizes.fixed, sizes.basic, sizes.free);

    for (refused = 0; refused < images.size(); ++refused) {
        if (const auto problem = Prepare(images[refused], stages)) {
            return OutcomeOf(*problem);
        }
    }
    std::vector<bmp::SourceRows> stack;
    bmp::TrueColourGeometry g = images.front().source.geometry;
    for (const SourceImage& image : images) {
        const bmp::TrueColourGeometry& own = image.source.geometry;
        stack.emplace_back(image.data, image.source);
        if (&image != &images.front()) {
            g.width = std::max(g.width, own.width);
            g.rows += own.rows;
            g.stride = std::max(g.stride, own.stride);
            g.padded = std::max(g.padded, own.padded);
        }
    }
    bmp::SourceRows rows = stack.size() == 1 ? stack.front() : bmp::SourceRows(std::move(stack));
    FillFixedAndBasic(palette, sizes, input);
    threads = ThreadsFor(g, input.threads);
    if (!BuildPalette(stages.palette, palette, sizes, rows, g, threads, observer, facts)) {
        return Outcome::NoMemory;
    }
    if (!stages.fit) {
        return Outcome::Converted;
    }
    if (images.size() == 1) {
        // Without rows there is nothing to fit to, however wide the header says a row is.
        if (g.rows > 0) {
            palette =
                FitToSerpentineDither(palette, images[0].data, images[0].source, facts, threads);
        }
    } else {
        std::vector<FitImage> fit;
        for (const SourceImage& image : images) {
            fit.push_back({image.data, &image.source});
        }
        palette = FitToSerpentineDither(palette, fit, facts, threads);
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
                       DiffusionObserver& observer, DiffusionPalette& palette) {
    std::size_t refused = 0;
    return PaletteOfImages({{data, size}}, input, observer, palette, refused);
}

Outcome PaletteOfImages(const std::vector<ImageBytes>& images, const DiffusionInput& input,
                        DiffusionObserver& observer, DiffusionPalette& palette,
                        std::size_t& refused) try {
    refused = 0;
    if (images.empty()) {
        return Outcome::UnsupportedLayout;
    }
    std::vector<SourceImage> sources(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        sources[i].data = images[i].data;
        sources[i].size = images[i].size;
    }
    PaletteFacts facts;
    int threads = 0;
    return ChoosePalette(sources, input, observer, palette, facts, threads, refused);
} catch (const std::bad_alloc&) {
    return Outcome::NoMemory;
}

void CopyToColourTable(const DiffusionPalette& palette, int first, std::uint8_t* table) {
    for (int i = first; i < 256; ++i) {
        table[4 * i] = palette[4 * i + 2];
        table[4 * i + 1] = palette[4 * i + 1];
        table[4 * i + 2] = palette[4 * i];
    }
}

Result DiffuseImage(std::uint8_t* data, std::uint64_t size, const Resizer& resize,
                    const DiffusionInput& input, DiffusionObserver& observer) {
    std::vector<SourceImage> images(1);
    SourceImage& image = images[0];
    image.data = data;
    image.size = size;
    const bmp::TrueColourGeometry& g = image.source.geometry;
    DiffusionPalette palette;
    std::unique_ptr<Ditherer> ditherer;
    try {
        PaletteFacts facts;
        int threads = 0;
        std::size_t refused = 0;
        const Outcome chosen =
            ChoosePalette(images, input, observer, palette, facts, threads, refused);
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
        std::max(bmp::k8BitPixelData + g.rows * g.padded, bmp::PlainSize(image.source));
    std::uint64_t blockSize = size;
    if (needed > size) {
        const ResizeResult grown = resize(needed);
        if (!grown.resized) {
            return {Outcome::NoMemory, size};
        }
        data = grown.data;
        blockSize = needed;
    }
    // An indexed image's expanded pixels take its place; a true-colour one is rewritten as
    // the plain layout.
    if (image.expanded.empty()) {
        bmp::RewriteAsPlain24(data, image.source);
    } else {
        std::memcpy(data, image.expanded.data(), image.expanded.size());
        std::vector<std::uint8_t>().swap(image.expanded);
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
