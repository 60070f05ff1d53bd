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
#include "core/quantize/entry_order.h"
#include "core/quantize/group_palette.h"
#include "core/quantize/indexed_image.h"
#include "core/quantize/kernel_dither.h"
#include "core/quantize/ordered_dither.h"
#include "core/quantize/refine.h"
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

IndexedImage IndexedImageOf(std::uint8_t* pixels, const bmp::TrueColourGeometry& g,
                            const DiffusionPalette& palette) {
    IndexedImage image;
    image.width = g.width;
    image.rows = g.rows;
    image.stride = g.padded;
    image.indices = pixels;
    image.topDown = g.topDown;
    for (int j = 0; j < 256; ++j) {
        image.table[3 * j] = palette[j].red;
        image.table[3 * j + 1] = palette[j].green;
        image.table[3 * j + 2] = palette[j].blue;
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
    bool fits = true; // the palette is fitted to its dithering
};

// With a key colour (blue, green, red), the fully transparent pixels of a 32-bit image read
// as that colour.
std::optional<bmp::SourceProblem> Prepare(SourceImage& image, const Stages& stages,
                                          const std::uint8_t* key) {
    auto problem = bmp::CheckTrueColourSource(image.data, image.size, image.source);
    if (problem == bmp::SourceProblem::AlreadyIndexed &&
        stages.palette == PaletteMethod::Adaptive &&
        bmp::ExpandIndexed(image.data, image.size, image.expanded)) {
        image.source = bmp::TrueColourSource{};
        image.data = image.expanded.data();
        image.size = image.expanded.size();
        problem = bmp::CheckTrueColourSource(image.data, image.size, image.source);
    }
    if (!problem && key != nullptr) {
        bmp::KeyTransparentPixels(image.data, image.source, key);
    }
    return problem;
}

// No entry but the key colour's own has its colour: one that has is moved a level in blue,
// toward the middle, so that a reader of the file that takes the colour as transparent finds
// it at entry 0 only.
void SeparateFromKey(DiffusionPalette& palette, int entries) {
    for (int e = 1; e < entries; ++e) {
        std::uint8_t& blue = palette[e].blue;
        if (palette[e].SameColour(palette[0])) {
            blue = static_cast<std::uint8_t>(blue < 128 ? blue + 1 : blue - 1);
        }
    }
}

// The stages up to the dithering for one image, or for several read as one above the other:
// the sources' layouts, the palette, and the ditherer, which fits the palette to itself where
// it does (each image dithered on its own, what the entries stood for added up). For several
// images the ditherer only fits; for one without rows there is none. Changes nothing in the
// images. On a refusal `refused` is the image refused.
Outcome ChoosePalette(std::vector<SourceImage>& images, const DiffusionInput& input,
                      DiffusionObserver& observer, DiffusionPalette& palette,
                      std::unique_ptr<Ditherer>& ditherer, std::size_t& refused,
                      PaletteFacts& facts) {
    const Stages& stages = input.stages;
    // The user's choices are those of the adaptive palette and what follows it.
    const Choices choices = stages.palette == PaletteMethod::Adaptive ? input.choices : Choices{};
    const GroupSizes sizes = GroupSizesFor(input.fixedCount, stages.palette, choices.colours);
    observer.Opening(sizes.fixed, sizes.basic, sizes.free);
    facts = PaletteFacts{};
    facts.entries = sizes.fixed + sizes.basic + sizes.free;
    facts.key = choices.key && sizes.fixed >= 1;
    if (stages.palette == PaletteMethod::Adaptive) {
        facts.device = DeviceColours(choices.depth, input.fromColours, input.fromCount);
    }
    const std::uint8_t* key = facts.key ? input.fixedTable : nullptr; // blue, green, red

    for (refused = 0; refused < images.size(); ++refused) {
        if (const auto problem = Prepare(images[refused], stages, key)) {
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
    const int threads = ThreadsFor(g, input.threads);
    if (!BuildPalette(stages.palette, palette, sizes, rows, g, threads, observer, facts)) {
        return Outcome::NoMemory;
    }
    if (facts.key) {
        SeparateFromKey(palette, facts.entries);
    }
    // Without rows there is nothing to dither or fit to, however wide the header says a row is.
    if (g.rows == 0) {
        return Outcome::Converted;
    }
    ditherer = MakeDitherer(stages.dither, images.size() == 1 ? g : bmp::TrueColourGeometry{},
                            palette, facts, threads, choices);
    std::vector<FitImage> fit;
    for (const SourceImage& image : images) {
        if (image.fits) {
            fit.push_back({image.data, &image.source});
        }
    }
    ditherer->Fit(fit);
    palette = ditherer->palette();
    return Outcome::Converted;
}

// Phase 2's progress of a dithering that a refinement follows: out of the whole phase, the
// dithering's part being the first of `parts`.
class DitheringPart : public DiffusionObserver {
  public:
    DitheringPart(DiffusionObserver& whole, std::int64_t parts) : whole_(whole), parts_(parts) {}
    void Opening(int fixed, int basic, int free) override { whole_.Opening(fixed, basic, free); }
    void Phase(int phase) override { whole_.Phase(phase); }
    void Progress(std::int64_t done, std::int64_t total) override {
        whole_.Progress(done, total * parts_);
    }
    void PaletteComplete() override { whole_.PaletteComplete(); }
    void Finished() override { whole_.Finished(); }

  private:
    DiffusionObserver& whole_;
    const std::int64_t parts_;
};

} // namespace

std::unique_ptr<Ditherer> MakeDitherer(DitherMethod method, const bmp::TrueColourGeometry& g,
                                       const DiffusionPalette& palette, const PaletteFacts& facts,
                                       int threads, const Choices& choices) {
    switch (method) {
    case DitherMethod::Kernel:
        return std::make_unique<KernelDither>(g, palette, facts, threads, choices);
    case DitherMethod::Ordered:
    case DitherMethod::Nearest:
        return std::make_unique<OrderedDither>(
            g, palette, facts, threads,
            method == DitherMethod::Ordered ? &PatternOf(choices.pattern) : nullptr);
    case DitherMethod::ThreeNeighbour:
        break;
    }
    return std::make_unique<ThreeNeighbourDither>(g, palette, threads);
}

GroupSizes GroupSizesFor(int fixedCount, PaletteMethod method, int colours) {
    if (method == PaletteMethod::Adaptive) {
        const int n = std::clamp(colours, kMinColours, 256);
        const int fixed = std::clamp(fixedCount, 0, n);
        return {fixed, 0, n - fixed};
    }
    const int fixed = std::clamp(fixedCount, 0, 256);
    const int basic = method == PaletteMethod::Groups ? std::min(kBasicColours, 256 - fixed) : 0;
    return {fixed, basic, 256 - fixed - basic};
}

bool Refines(const DiffusionInput& input) {
    return input.stages == kHighQualityDiffusion && input.choices.strength > 0 &&
           EffortOf(input.choices.effort).refinePasses > 0;
}

Outcome CheckDiffusionSource(const std::uint8_t* data, std::uint64_t size,
                             const Stages& stages) try {
    SourceImage image;
    image.data = data;
    image.size = size;
    const auto problem = Prepare(image, stages, nullptr);
    return problem ? OutcomeOf(*problem) : Outcome::Converted;
} catch (const std::bad_alloc&) {
    return Outcome::NoMemory;
}

Outcome PaletteOfImage(const std::uint8_t* data, std::uint64_t size, const DiffusionInput& input,
                       DiffusionObserver& observer, DiffusionPalette& palette) {
    std::size_t refused = 0;
    return PaletteOfImages({{data, size}}, input, observer, palette, refused);
}

Outcome PaletteOfImages(const std::vector<ImageBytes>& images, const DiffusionInput& input,
                        DiffusionObserver& observer, DiffusionPalette& palette,
                        std::size_t& refused, PaletteFacts* found) try {
    refused = 0;
    if (images.empty()) {
        return Outcome::UnsupportedLayout;
    }
    std::vector<SourceImage> sources(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        sources[i].data = images[i].data;
        sources[i].size = images[i].size;
        sources[i].fits = images[i].fits;
    }
    std::unique_ptr<Ditherer> ditherer;
    PaletteFacts facts;
    const Outcome outcome =
        ChoosePalette(sources, input, observer, palette, ditherer, refused, facts);
    if (found != nullptr) {
        *found = facts;
    }
    return outcome;
} catch (const std::bad_alloc&) {
    return Outcome::NoMemory;
}

Outcome PlainRowsOf(const std::uint8_t* data, std::uint64_t size, const Stages& stages,
                    const std::uint8_t* key, std::vector<std::uint8_t>& rows,
                    bmp::TrueColourGeometry& geometry) try {
    SourceImage image;
    image.data = data;
    image.size = size;
    if (const auto problem = Prepare(image, stages, key)) {
        return OutcomeOf(*problem);
    }
    geometry = image.source.geometry;
    bmp::SourceRows source(image.data, image.source);
    rows.resize(static_cast<std::size_t>(geometry.rows * geometry.stride));
    for (std::uint64_t y = 0; y < geometry.rows; ++y) {
        const std::uint64_t stored = geometry.topDown ? y : geometry.rows - 1 - y;
        std::memcpy(rows.data() + y * geometry.stride, source.Row(stored),
                    static_cast<std::size_t>(3 * geometry.width));
    }
    geometry.topDown = true;
    return Outcome::Converted;
} catch (const std::bad_alloc&) {
    return Outcome::NoMemory;
}

void CopyToColourTable(const DiffusionPalette& palette, int first, std::uint8_t* table) {
    for (int i = first; i < 256; ++i) {
        table[4 * i] = palette[i].blue;
        table[4 * i + 1] = palette[i].green;
        table[4 * i + 2] = palette[i].red;
    }
}

void CopyToRgbTable(const DiffusionPalette& palette, std::uint8_t* rgb) {
    for (const PaletteEntry& entry : palette) {
        *rgb++ = entry.red;
        *rgb++ = entry.green;
        *rgb++ = entry.blue;
    }
}

DiffusionPalette PaletteOfColourTable(const std::uint8_t* table) {
    DiffusionPalette palette{};
    for (std::size_t e = 0; e < palette.size(); ++e) {
        palette[e] = {table[4 * e + 2], table[4 * e + 1], table[4 * e], 1};
    }
    return palette;
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
    std::unique_ptr<Refiner> refiner;
    try {
        std::size_t refused = 0;
        PaletteFacts facts;
        const Outcome chosen =
            ChoosePalette(images, input, observer, palette, ditherer, refused, facts);
        if (chosen != Outcome::Converted) {
            return {chosen, size};
        }
        if (ditherer && Refines(input)) {
            refiner = std::make_unique<Refiner>(g, palette, facts, ThreadsFor(g, input.threads),
                                                EffortOf(input.choices.effort));
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
    DitheringPart dithering(observer, refiner ? refiner->Passes() + 1 : 1);
    if (refiner && ditherer->RunBeside(pixels, refiner->indices(), dithering)) {
        refiner->Run(pixels, observer);
        // Row y's indices take the place of the rows, front to back.
        for (std::uint64_t y = 0; y < g.rows; ++y) {
            std::memcpy(pixels + y * g.padded, refiner->indices() + y * g.padded,
                        static_cast<std::size_t>(g.padded));
        }
    } else if (ditherer) {
        ditherer->Run(pixels, observer);
    }
    const std::uint64_t newSize = WriteBmp8InPlace(data, IndexedImageOf(pixels, g, palette));
    if (input.stages.palette == PaletteMethod::Adaptive) {
        const GroupSizes sizes =
            GroupSizesFor(input.fixedCount, PaletteMethod::Adaptive, input.choices.colours);
        OrderEntries(data, newSize, sizes.fixed, sizes.fixed + sizes.free, input.choices.order);
    }
    if (newSize < blockSize) {
        resize(newSize);
    }
    observer.Finished();
    return {Outcome::Converted, newSize};
}

} // namespace quantize
