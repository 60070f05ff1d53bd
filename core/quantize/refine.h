// The refinement of 誤差拡散（高画質）'s higher efforts: after the error diffusion, each pixel
// in turn may take another entry where that brings the image, seen slightly blurred, and the
// pixel itself nearer to the source. Portable: no platform headers.
//
// What it lowers is J = d·(A * d) + λ |d|², where d is each pixel's entry minus its source
// colour (per channel, 0 outside the image) and A a Gaussian filter (the autocorrelation of the
// blur the eye is taken to apply: the blurred error |G * d|² is d·(A * d) with A = G ⋆ G).
// Changing one pixel's entry by δ changes J by Σc 2 δc (Fc + λ dc) + δc² (S + λ), with
// F = A * d at the pixel and S = A's middle weight: the change is least for the entry nearest
// to the wanted colour y - (F + λ d) / (S + λ), which is tried with the entries nearest to it
// and the entry nearest to the source colour; the more negative change is taken. Everything is
// integer: A is a ⊗ a with a's weights summing to 256, so F is in 1/65536 of a level.
//
// The image is visited as stripes of kStripeRows rows, in passes: every even stripe, then
// every odd one, each stripe's rows from the top and each row from the left. A stripe reads
// the entries of the rows within A's reach around it and changes only its own, so the
// stripes of one half never see each other's changes (they are a stripe apart, at least the
// reach): the result is the same whichever order, or thread, takes them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/bmp/true_colour.h"
#include "core/quantize/dither.h"
#include "core/quantize/effort.h"
#include "core/quantize/nearest_colour.h"
#include "core/quantize/observer.h"
#include "core/quantize/stages.h"

namespace quantize {

// The filters A may be, one side's weights (summing to 256) from the middle out.
inline constexpr int kMostReach = 6;
struct RefineFilter {
    int reach;
    int weights[kMostReach + 1]; // a[0] (the middle), a[1], ... a[reach]
};

// The filter of a number of kRefineFilters (held to the table).
const RefineFilter& RefineFilterOf(int filter);

// Everything a refinement needs, set aside when it is made (it may throw std::bad_alloc): the
// indices the dithering writes, and each thread's rows of F.
class Refiner {
  public:
    static constexpr std::uint64_t kStripeRows = 32;
    // Bytes it sets aside beyond the indices (a byte a pixel, rows padded to 4 bytes), for
    // an image `width` pixels wide refined on `threads` threads.
    static std::uint64_t RowBytes(std::uint64_t width, int threads);

    Refiner(const bmp::TrueColourGeometry& geometry, const DiffusionPalette& palette,
            const PaletteFacts& facts, int threads, const Effort& effort);
    ~Refiner();

    // Where the dithering leaves its indices: row y at y * W4.
    std::uint8_t* indices() { return indices_.data(); }
    // Refines the indices against the plain 24-bit rows at `pixels` (row y at y * stride).
    // Reports phase 2's progress after the dithering's, each half of a pass as it ends: of
    // Passes() + 1 times the rows' positions, the first time being the dithering's.
    void Run(const std::uint8_t* pixels, DiffusionObserver& observer);
    int Passes() const { return passes_; }

  private:
    struct Rows; // a thread's rows of F and their making
    void RefineStripe(const std::uint8_t* pixels, std::uint64_t stripe, Rows& rows,
                      const NearestColour::Reader& nearest);
    // F of the stripe's rows from the entries as they stand.
    void Filter(const std::uint8_t* pixels, std::uint64_t top, std::uint64_t end, Rows& rows);

    const bmp::TrueColourGeometry g_;
    const PaletteFacts facts_;
    const RefineFilter& filter_;
    const int passes_;
    const std::int64_t lambda_; // in 1/65536
    int threads_;
    int colours_[256][3]; // blue, green, red
    ExactEntries exact_;
    std::vector<std::uint8_t> indices_;
    std::unique_ptr<NearestColour> nearest_;
    std::vector<std::unique_ptr<Rows>> rows_;
};

} // namespace quantize
