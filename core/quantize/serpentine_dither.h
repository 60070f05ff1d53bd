// The dithering of 誤差拡散（高画質）: Floyd-Steinberg weights in serpentine order, the error
// carried in sixteenths beside the image and passed on at 12/16 of its size, rounded; a pixel
// within two levels of its entry, or of a colour the palette holds exactly, passes nothing on.
// And the fitting of a palette to it. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/bmp/true_colour.h"
#include "core/quantize/dither.h"
#include "core/quantize/nearest_colour.h"
#include "core/quantize/stages.h"

namespace quantize {

// Blue, green, red and count of the colours each entry stood for in a trial dithering.
using EntrySums = std::uint64_t[256][4];

// Everything dithering needs, set aside when it is made (it may throw std::bad_alloc), so
// that running out of memory leaves the image as it was. The image is dithered as eight
// bands of rows, each on its own, and a thread takes a group of four at once, a pixel of each
// in turn, so that while one waits for memory the others get on. With two threads each takes
// a group; the result is the same byte for byte.
class SerpentineDither : public Ditherer {
  public:
    // `strength`: the share of the usual error passed on, in percent.
    SerpentineDither(const bmp::TrueColourGeometry& geometry, const DiffusionPalette& palette,
                     const PaletteFacts& facts, int threads, int strength = 100);

    void Run(std::uint8_t* pixels, DiffusionObserver& observer) override;

    // Fits the palette to this dithering: dithers the first rows of every block of rows
    // without writing anything, and moves each entry after the pinned ones most of the way to
    // the mean of the colours it stood for, unless another entry has that colour; three
    // times. Reads the stored rows; may throw std::bad_alloc.
    void Fit(const std::uint8_t* data, const bmp::TrueColourSource& source);
    // One trial dithering of the first rows of every block of rows, as Fit makes them, added
    // to `sums`.
    void AddTrialSums(const std::uint8_t* data, const bmp::TrueColourSource& source,
                      EntrySums& sums);
    const DiffusionPalette& palette() const { return palette_; }

  private:
    static constexpr int kGroup = 4;
    static constexpr int kBands = 2 * kGroup;
    // Blue, green and red of a pixel, a colour or an error, in the first three of eight
    // lanes; the others stay 0. Sums of lanes are done for all lanes at once. In memory they
    // are kept as eight numbers, which need no more than their own alignment (the heap's
    // blocks may be aligned to 8 bytes only).
    using Lanes = std::int16_t __attribute__((vector_size(16)));
    static constexpr int kLanes = 8;
    static Lanes Load(const std::int16_t* from);
    static void Store(std::int16_t* to, Lanes v);
    struct Band {
        std::uint64_t begin, end;         // rows
        std::vector<std::int16_t> errors; // two rows of width + 2 errors, in sixteenths
        bool swapped = false;             // the second row is the current one
        std::vector<std::uint8_t> indices;
        // Of the row being dithered: 1 where a pixel equals both its neighbours (at either
        // end of the row, the one it has), or with 64 entries or fewer, where it is smooth.
        std::vector<std::uint8_t> flat;
        std::vector<std::uint8_t> near; // where flat means smooth: each value near its row's
        std::uint64_t sums[256][4];     // blue, green, red and count of the colours each entry took
    };
    struct Stream;
    // Marks the pixels of a row that equal both their neighbours, or that are smooth.
    void MarkFlat(const std::uint8_t* row, Band& band) const;
    // The entry that holds a pixel's own colour exactly (an entry of that colour, or entry 0
    // for the key colour), or -1: such a pixel takes it whatever error is brought to it.
    int HeldEntry(const std::uint8_t* pixel) const;
    // Sets the share of each error passed on to suit the texture of the image whose row y is
    // rowOf(y), with the palette as it stands: less where the palette follows fine texture.
    template <typename RowOf> void SuitTexture(RowOf rowOf);
    template <int Step, bool Trial>
    void DitherPixel(Stream& s, std::int64_t x, const NearestColour::Reader& nearest);
    // Dithers row `relative` of each band of a group that has one, and returns how many rows
    // that was; `trial` counts the colours instead of keeping the indices.
    int DitherGroup(int group, std::uint64_t relative, bool forward, bool trial,
                    const std::uint8_t* const rows[kGroup]);
    void StartGroup(int group);
    std::uint64_t GroupRows(int group) const;
    template <int Step, bool Trial>
    void DitherSome(Band* const bands[], const std::uint8_t* const rows[], int count, int shard);
    template <int Step, bool Trial, int Count>
    void DitherRows(Band* const bands[], const std::uint8_t* const rows[], int shard);
    template <typename Work> void InBothGroups(Work work);
    void TakeColours();

    const bmp::TrueColourGeometry g_;
    DiffusionPalette palette_;
    const PaletteFacts facts_;
    const bool exactColours_;             // a pixel of an entry's own colour takes that entry
    const bool smooth_;                   // flat means smooth (64 entries or fewer)
    const std::int16_t fullPassedOn_;     // of each error, in 64ths, at this strength
    const std::int16_t fullFlatPassedOn_; // the same where a pixel is flat
    std::int16_t passedOn_;               // the two as this image's texture leaves them
    std::int16_t flatPassedOn_;
    const int dampAbove_; // errors larger than this pass on three quarters of that
    std::uint8_t key_[3]; // entry 0's blue, green and red
    int threads_;
    std::int16_t colours_[256][kLanes]; // the palette as the dithering reads it
    ExactEntries exact_;
    std::unique_ptr<NearestColour> nearest_; // group g asks with shard g
    Band bands_[kBands];
};

// The palette fitted to serpentine dithering of the source, as SerpentineDither::Fit does it;
// the palette given is not changed. May throw std::bad_alloc.
DiffusionPalette FitToSerpentineDither(const DiffusionPalette& palette, const std::uint8_t* data,
                                       const bmp::TrueColourSource& source,
                                       const PaletteFacts& facts, int threads, int strength = 100);

// Each entry after the pinned ones moved most of the way to the mean of the colours it stood
// for, unless another entry has that colour or it stood for none.
DiffusionPalette MovedTowardSums(const DiffusionPalette& palette, int pinned,
                                 const EntrySums& sums);

// The palette fitted to the serpentine dithering of several images at once: each pass adds up
// what the entries stood for in all of them before they move.
struct FitImage {
    const std::uint8_t* data;
    const bmp::TrueColourSource* source;
};
DiffusionPalette FitToSerpentineDither(const DiffusionPalette& palette,
                                       const std::vector<FitImage>& images,
                                       const PaletteFacts& facts, int threads, int strength = 100);

} // namespace quantize
