// The error diffusion of 誤差拡散（高画質）: any kernel (kernels.h) run over the image, with the
// share of each pixel's error that is passed on set by the rules of error_share.h. The error is
// carried beside the image in 1/divisor of a level, rounded once where a pixel takes it up.
// And the fitting of a palette to it. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/bmp/true_colour.h"
#include "core/quantize/dither.h"
#include "core/quantize/effort.h"
#include "core/quantize/error_share.h"
#include "core/quantize/fit.h"
#include "core/quantize/kernels.h"
#include "core/quantize/nearest_colour.h"
#include "core/quantize/stages.h"
#include "core/quantize/texture_map.h"

namespace quantize {

// Everything dithering needs, set aside when it is made (it may throw std::bad_alloc), so
// that running out of memory leaves the image as it was. The image is dithered as eight
// bands of rows, each on its own, and a thread takes a group of four at once, a pixel of each
// in turn, so that while one waits for memory the others get on. With two threads each takes
// a group; the result is the same byte for byte.
class KernelDither : public Ditherer {
  public:
    // Of the choices: the kernel, the share of the usual error passed on (strength, in
    // percent), whether rows go in turn from either side (where the kernel does), and whether
    // the error is carried in linear light. `policy`: the rules (the tests give others).
    KernelDither(const bmp::TrueColourGeometry& geometry, const DiffusionPalette& palette,
                 const PaletteFacts& facts, int threads, const Choices& choices,
                 Policy policy = PolicyFor);

    void Run(std::uint8_t* pixels, DiffusionObserver& observer) override;
    bool RunBeside(const std::uint8_t* pixels, std::uint8_t* out,
                   DiffusionObserver& observer) override;
    // Dithers the first rows of every block of rows of each image without writing anything,
    // and moves each entry after the pinned ones most of the way to the mean of the colours it
    // stood for in all of them, unless another entry has that colour; as many times as the
    // effort says (effort.h).
    void Fit(const std::vector<FitImage>& images) override;
    const DiffusionPalette& palette() const override { return palette_; }
    void Keep(const std::int16_t* kept) override { kept_ = kept; }

  private:
    static constexpr int kGroup = 4;
    static constexpr int kBands = 2 * kGroup;
    // A carried error takes sixteen bytes a pixel: eight numbers of 16 bits.
    static constexpr int kLanes = 8;
    struct Levels; // sRGB levels
    struct Linear; // linear light
    struct Band {
        std::uint64_t begin, end; // rows
        // The errors of the row being dithered and of the rows below it that the kernel
        // reaches, each with room for the kernel's reach on either side, in turn.
        std::vector<std::int16_t> errors;
        int current = 0; // which of them is the row being dithered
        std::vector<std::uint8_t> indices;
        std::vector<std::uint8_t> marks;    // of the row being dithered
        const std::int16_t* kept = nullptr; // of the row being dithered, or null
        std::uint64_t sums[256][4]; // blue, green, red and count of the colours each entry took
    };
    template <const Kernel& K, typename Light> struct Stream;
    // A kernel, and its rows' dithering made for it in one light.
    struct Engine {
        const Kernel* kernel;
        void (KernelDither::*rows)(Band* const bands[], const std::uint8_t* const rows[], int count,
                                   int shard, bool forward, bool trial);
    };
    static Engine EngineOf(KernelName name, bool linear);

    // Sets the bands aside for an image of this geometry.
    void Shape(const bmp::TrueColourGeometry& geometry);
    // The entry that holds a pixel's own colour exactly (an entry of that colour, or entry 0
    // for the key colour), or -1: such a pixel takes it whatever error is brought to it.
    int HeldEntry(const std::uint8_t* pixel) const;
    // Takes the settings' shares, with the agreement of the image whose row y is rowOf(y) with
    // the palette as it stands, where the rules read it.
    template <typename RowOf> void TakeShares(RowOf rowOf);
    template <const Kernel& K, typename Light, int Step, bool Trial>
    void DitherPixel(Stream<K, Light>& s, std::int64_t x, const NearestColour::Reader& nearest);
    template <const Kernel& K, typename Light, int Step, bool Trial, int Count>
    void DitherRows(Band* const bands[], const std::uint8_t* const rows[], int shard);
    template <const Kernel& K, typename Light>
    void DitherSome(Band* const bands[], const std::uint8_t* const rows[], int count, int shard,
                    bool forward, bool trial);
    // Dithers row `relative` of each band of a group that has one, and returns how many rows
    // that was; `trial` counts the colours instead of keeping the indices.
    int DitherGroup(int group, std::uint64_t relative, bool forward, bool trial,
                    const std::uint8_t* const rows[kGroup]);
    void StartGroup(int group);
    std::uint64_t GroupRows(int group) const;
    template <typename Work> void InBothGroups(Work work);
    void TakeColours();
    // Dithers the rows at `pixels` and writes each row's indices to `out(y)`.
    template <typename Out>
    void Dither(const std::uint8_t* pixels, DiffusionObserver& observer, Out out);
    // One trial dithering of the first rows of every block of rows, added to `sums`.
    void AddTrialSums(const std::uint8_t* data, const bmp::TrueColourSource& source,
                      EntrySums& sums);

    const bmp::TrueColourGeometry g_;
    bmp::TrueColourGeometry shaped_{}; // the geometry the bands are set aside for
    DiffusionPalette palette_;
    const PaletteFacts facts_;
    const Engine engine_;
    const bool serpentine_;
    const Effort& effort_; // its fit: passes and the trial's pixels
    const Policy policy_;
    DitherSettings settings_;
    bool readsAgreement_;
    bool readsFlat_ = false, readsSmooth_ = false;
    ShareTable shares_;
    std::uint8_t key_[3]; // entry 0's blue, green and red
    int threads_;
    std::int16_t colours_[256][kLanes] = {};  // the palette as the dithering reads it: levels
    std::int32_t linearColours_[256][4] = {}; // and linear light
    ExactEntries exact_;
    const std::int16_t* kept_ = nullptr;     // Keep's entries
    std::unique_ptr<NearestColour> nearest_; // group g asks with shard g
    Band bands_[kBands];
    RowTexture textures_[NearestColour::kMaxShards]; // the rows' marks, measured by shard
};

} // namespace quantize
