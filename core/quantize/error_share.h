// How much of a pixel's error the dithering of 誤差拡散（高画質） passes on: one pure function of
// the run's settings and the pixel's context, in 64ths, and that function worked out for every
// context of a run, as the dithering reads it pixel by pixel. docs/quality.md lists the rules.
// Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>

namespace quantize {

// What holds for the whole image.
struct DitherSettings {
    int strength = 100; // the share of the usual error passed on, in percent
    int entries = 256;  // the entries pixels may take
    // Of the pixels next to each other along the rows, how many in a thousand take the same
    // entry when each takes its own nearest one: few where the palette follows fine texture.
    int agreement = 1000;
    // Of an error, in 64ths, what the kernel's taps pass on together: 48 for Atkinson's, which
    // drops a quarter; 64 for every other.
    int kernelShare = 64;
};

// What holds for one pixel.
struct PixelContext {
    bool held = false;   // its own colour is an entry, and it takes that entry
    bool flat = false;   // it equals both its neighbours along the row
    bool smooth = false; // it lies within a few levels of the pixels on either side
    int size = 0;        // its error: the channels' differences from its entry added up
};

// The error passed on for a channel's difference d from the entry: d * first / 64, rounded
// to the nearest (halves upward), and that times then / 64, rounded again.
struct ErrorShare {
    int first = 0;
    int then = 64;
    bool operator==(const ErrorShare&) const = default;
};

using Policy = ErrorShare (*)(const DitherSettings&, const PixelContext&);

// The rules.
ErrorShare PolicyFor(const DitherSettings& settings, const PixelContext& pixel);

// A pixel's class: the marks of texture_map.h, and whether it is held.
constexpr int kHeldMark = 4;
constexpr int kClasses = 8;
// Sizes of error: 0 to three channels of 255.
constexpr int kErrorSizes = 3 * 255 + 1;

// A policy worked out for every class and size of error of one run's settings.
class ShareTable {
  public:
    void Take(const DitherSettings& settings, Policy policy);
    // Whether any share depends on the mark (a bit of the class): only then is it measured.
    bool Reads(int mark) const;
    // Of a class, the sizes up to which nothing is passed on, the first share of the sizes
    // after them up to `upTo`, whose then is 64, and the then of every larger size whose first
    // share is that too (-1 where they differ): the dithering reads the table only past those.
    struct Usual {
        std::int16_t first, noneUpTo, upTo, then;
    };
    Usual UsualOf(int pixelClass) const { return usual_[pixelClass]; }
    const ErrorShare& At(int pixelClass, int size) const {
        return shares_[static_cast<std::size_t>(pixelClass * kErrorSizes + size)];
    }

  private:
    std::array<ErrorShare, kClasses * kErrorSizes> shares_;
    Usual usual_[kClasses];
};

// Whether the policy depends on the settings' agreement, which is then measured.
bool ReadsAgreement(const DitherSettings& settings, Policy policy);

} // namespace quantize
