#include "core/quantize/serpentine_dither.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/quantize/group_palette.h"
#include "core/quantize/side_by_side.h"

namespace quantize {
namespace {

// At full strength a pixel passes on 12/16 (48/64) of its error: less than all of it keeps
// the noise down where the palette's colours lie far apart, at little cost to the mean colour.
// (Chosen by measurement on photographs and graphics, with the fitting below: PSNR, SSIM and
// PSNR after a slight blur.) With fewer entries they lie farther apart still: 2.5/64 less for
// each halving below 129 entries (43/64 for 64, 38/64 for 16; measured on photographs against
// pngquant and ImageMagick with as many colours). A lower strength passes on that share of
// it, in 64ths.
constexpr int kFullPassedOn = 48;
constexpr int kPassedShift = 6;

// How many times the palette's entries halve from 256 to `entries` (0 for 129 and more).
int Halvings(int entries) {
    int halvings = 0;
    for (int n = 256; n / 2 >= entries && n > 2; n /= 2) {
        ++halvings;
    }
    return halvings;
}

// Where a pixel equals its left and its right neighbour (a flat or slowly changing area,
// where a palette that cannot hold the gradient would show bands) it passes on 54/64 at full
// strength: more of the error keeps such an area's mean colour. (Measured on photographs and
// graphics: on pastel hills PSNR after a slight blur +0.55 dB for -0.54 dB of plain PSNR,
// within 0.15 dB either way on the others but Flow, -0.27 dB plain.)
constexpr int kFlatPassedOn = 54;

// With 64 entries or fewer they lie so far apart that a gradient with a little noise in it
// (a sky from a JPEG file) bands as a flat area would. There a pixel counts as smooth when it
// lies within kSmoothLevels on every channel of each of the kSmoothReach pixels on either side
// of it along the row, and a smooth pixel passes on (kSmoothPassedOn - halvings)/64 of its
// error at full strength: 54/64 at 64 entries, 52/64 at 16. (Measured on six photographs at
// 16 and 64 colours: PSNR after a slight blur 0 to 0.9 dB higher, most on a dusk sky, for 0 to
// 0.6 dB of plain PSNR.)
constexpr int kSmoothFromHalvings = 2;
constexpr int kSmoothLevels = 2;
constexpr std::uint64_t kSmoothReach = 3;
constexpr int kSmoothPassedOn = 56;

// A share for 129 entries or more, with 2.5/64 less for each halving below.
int ForEntries(int share, int entries) {
    return share - 5 * Halvings(entries) / 2;
}

int PassedOn(int full, int strength) {
    return (full * std::clamp(strength, 0, 100) + 50) / 100;
}
constexpr int kPassedOf = 1 << kPassedShift;
// A pixel this close to its entry (the channels' differences added up) passes nothing on: in
// a smooth gradient the palette nearly holds, such errors only scatter dots over exact colours.
constexpr int kDeadZone = 2;
// A pixel farther than this from its entry passes on only three quarters of what it would:
// such errors come from edges and fine texture the palette cannot follow, and passed on whole
// they leave isolated bright dots beside them. With fewer entries, whose errors are larger
// everywhere, the limit rises by kDampPerHalving for each halving below 129 entries; with 64
// or fewer, where smooth stretches pass on more, no error is damped: there the full errors
// of edges keep the mean colour of the areas beside them, at no cost in plain PSNR.
// (Measured on photographs against pngquant and ImageMagick, with 256, 64 and 16 colours; at
// 16 and 64 on 18 photographs and 6 graphics, without damping the mean PSNR was 0.01 to 0.02 dB
// higher and that after a slight blur within 0.01 dB.)
constexpr int kDampAbove = 48;
constexpr int kDampPerHalving = 24;
constexpr int kNoDamping = 3 * 255;

int DampAbove(int entries) {
    return Halvings(entries) >= kSmoothFromHalvings
               ? kNoDamping
               : kDampAbove + kDampPerHalving * Halvings(entries);
}

// Where the palette follows an image so closely that most pixels' own nearest entry differs
// from the one before them along the row (fine texture all over a detailed photograph), the
// error passed on adds more noise than it keeps colour. The share of pixels that take the
// entry of the pixel before them, on every kTextureRows-th row, sets how much of the error is
// passed on: all of it from kFullFrom per mille up, kLeastKept/64 of it at kLeastAt and
// below, in a straight line between. Only with more than 128 entries; with fewer, where the
// entries lie far apart, the error is needed everywhere. (Measured on 18 photographs and 6
// graphics against pngquant, ImageMagick and Pillow: four photographs, of shares 0.16 to
// 0.37, change; each gains 0.20 to 0.47 dB of PSNR and 0.0010 to 0.0038 of SSIM, and loses
// 0.11 to 0.83 dB of PSNR after a slight blur.)
constexpr std::uint64_t kTextureRows = 32;
constexpr std::uint64_t kFullFrom = 400;
constexpr std::uint64_t kLeastAt = 250;
constexpr int kLeastKept = 49;

// Of the error passed on, the share kept (in 64ths) where `same` of `pairs` pixels take the
// entry of the one before them.
int KeptInTexture(std::uint64_t same, std::uint64_t pairs) {
    const std::uint64_t share = pairs == 0 ? 1000 : 1000 * same / pairs;
    if (share >= kFullFrom) {
        return kPassedOf;
    }
    const auto over = static_cast<int>(share > kLeastAt ? share - kLeastAt : 0);
    return kLeastKept + (kPassedOf - kLeastKept) * over / static_cast<int>(kFullFrom - kLeastAt);
}

// Fitting the palette to dithering: passes, the first rows of each block of rows that are
// dithered, and how far an entry moves to the mean of the colours it stood for, in percent.
constexpr int kFitPasses = 3;
constexpr std::uint64_t kFitRows = 4;
constexpr std::uint64_t kFitBlock = 64;
constexpr int kFitMove = 75;

} // namespace

SerpentineDither::SerpentineDither(const bmp::TrueColourGeometry& geometry,
                                   const DiffusionPalette& palette, const PaletteFacts& facts,
                                   int threads, int strength)
    : g_(geometry), palette_(palette), facts_(facts), exactColours_(facts.exactColours),
      smooth_(Halvings(facts.entries) >= kSmoothFromHalvings),
      fullPassedOn_(
          static_cast<std::int16_t>(PassedOn(ForEntries(kFullPassedOn, facts.entries), strength))),
      fullFlatPassedOn_(
          static_cast<std::int16_t>(PassedOn(smooth_ ? kSmoothPassedOn - Halvings(facts.entries)
                                                     : ForEntries(kFlatPassedOn, facts.entries),
                                             strength))),
      passedOn_(fullPassedOn_), flatPassedOn_(fullFlatPassedOn_),
      dampAbove_(DampAbove(facts.entries)), threads_(threads),
      nearest_(std::make_unique<NearestColour>(palette_, 2, facts.key ? 1 : 0, facts.entries)) {
    TakeColours();
    for (int b = 0; b < kBands; ++b) {
        bands_[b].begin = (g_.rows * static_cast<std::uint64_t>(b) + kBands - 1) / kBands;
        bands_[b].end = (g_.rows * static_cast<std::uint64_t>(b + 1) + kBands - 1) / kBands;
        bands_[b].errors.assign(static_cast<std::size_t>(2 * kLanes * (g_.width + 2)), 0);
        bands_[b].indices.assign(static_cast<std::size_t>(g_.padded), 0);
        bands_[b].flat.assign(static_cast<std::size_t>(g_.width), 0);
        bands_[b].near.assign(smooth_ ? static_cast<std::size_t>(3 * g_.width) : 0, 0);
    }
}

// A vector from eight numbers in memory, and back.
SerpentineDither::Lanes SerpentineDither::Load(const std::int16_t* from) {
    Lanes v;
    std::memcpy(&v, from, sizeof v);
    return v;
}

void SerpentineDither::Store(std::int16_t* to, Lanes v) {
    std::memcpy(to, &v, sizeof v);
}

// One band's row in the making. The errors this row takes from the one above, and those it
// passes to the one below, each row with a place on either side. Every place of the next row
// is written once: what a pixel passes on to the next stays in `carry`, and what goes below
// waits in `left` (the place behind the pixel) and `under` until no other pixel adds to it.
struct SerpentineDither::Stream {
    const std::uint8_t* row;
    const std::int16_t* current;
    std::int16_t* next;
    std::uint8_t* indices;
    const std::uint8_t* flat;
    std::uint64_t (*sums)[4];
    Lanes carry, left, under;
};

inline int SerpentineDither::HeldEntry(const std::uint8_t* pixel) const {
    const int exact = exactColours_ ? exact_.Find(pixel) : -1;
    if (facts_.key && exact < 0 && std::memcmp(pixel, key_, 3) == 0) {
        return 0; // the key colour
    }
    return exact;
}

template <int Step, bool Trial>
inline __attribute__((always_inline)) void
SerpentineDither::DitherPixel(Stream& s, std::int64_t x, const NearestColour::Reader& nearest) {
    const Lanes zero = {}, top = zero + std::int16_t{255}, half = zero + std::int16_t{8};
    const std::uint8_t* pixel = s.row + 3 * x;
    const Lanes colour = {pixel[0], pixel[1], pixel[2]};
    Lanes target = colour + ((Load(s.current + kLanes * x) + s.carry + half) >> 4);
    target = target < zero ? zero : target;
    target = target > top ? top : target;
    // Between 0 and 255: as unsigned numbers they need no sign extended.
    const std::uint16_t blue = static_cast<std::uint16_t>(target[0]),
                        green = static_cast<std::uint16_t>(target[1]),
                        red = static_cast<std::uint16_t>(target[2]);
    // A pixel whose own colour is an entry takes it, and neither takes nor passes on any
    // error: a flat area the palette holds stays flat up to its edges.
    const int exact = HeldEntry(pixel);
    const int k =
        exact >= 0 ? exact
                   : nearest.Find(NearestColour::Spread(0, blue) | NearestColour::Spread(1, green) |
                                  NearestColour::Spread(2, red));
    if constexpr (Trial) {
        std::uint64_t* sum = s.sums[k];
        sum[0] += static_cast<std::uint64_t>(blue);
        sum[1] += static_cast<std::uint64_t>(green);
        sum[2] += static_cast<std::uint64_t>(red);
        ++sum[3];
    } else {
        s.indices[x] = static_cast<std::uint8_t>(k);
    }
    // Rounded to the nearest, halves upward on either side of zero alike: rounding toward
    // zero would lose the small errors that keep the mean colour of a smooth area right.
    const Lanes diff = target - Load(colours_[k]);
    const auto passed =
        static_cast<std::int16_t>(passedOn_ + (flatPassedOn_ - passedOn_) * s.flat[x]);
    Lanes e = (diff * passed + std::int16_t{kPassedOf / 2}) >> kPassedShift;
    const int size = std::abs(diff[0]) + std::abs(diff[1]) + std::abs(diff[2]);
    if (size <= kDeadZone || exact >= 0) {
        e = zero;
    } else if (size > dampAbove_) {
        e = (e * std::int16_t{3} + std::int16_t{2}) >> 2;
    }

    Store(s.next + kLanes * (x - Step), s.left + Lanes(3 * e));
    s.left = s.under + Lanes(5 * e);
    s.under = e;
    s.carry = Lanes(7 * e);
}

// Sets the share of the error passed on for the image whose row y is rowOf(y), with the
// palette as it stands.
template <typename RowOf> void SerpentineDither::SuitTexture(RowOf rowOf) {
    passedOn_ = fullPassedOn_;
    flatPassedOn_ = fullFlatPassedOn_;
    if (Halvings(facts_.entries) > 0 || g_.width < 2) {
        return;
    }
    // The entry each pixel takes with no error brought to it.
    const NearestColour::Reader nearest(*nearest_, 0);
    const auto ownEntry = [&](const std::uint8_t* pixel) {
        const int held = HeldEntry(pixel);
        return held >= 0 ? held
                         : nearest.Find(NearestColour::Spread(0, pixel[0]) |
                                        NearestColour::Spread(1, pixel[1]) |
                                        NearestColour::Spread(2, pixel[2]));
    };
    std::uint64_t same = 0, pairs = 0;
    for (std::uint64_t y = 0; y < g_.rows; y += kTextureRows) {
        const std::uint8_t* row = rowOf(y);
        int before = ownEntry(row);
        for (std::uint64_t x = 1; x < g_.width; ++x) {
            const int entry = ownEntry(row + 3 * x);
            same += entry == before;
            before = entry;
        }
        pairs += g_.width - 1;
    }
    const int kept = KeptInTexture(same, pairs);
    passedOn_ = static_cast<std::int16_t>((fullPassedOn_ * kept + kPassedOf / 2) >> kPassedShift);
    flatPassedOn_ =
        static_cast<std::int16_t>((fullFlatPassedOn_ * kept + kPassedOf / 2) >> kPassedShift);
}

void SerpentineDither::MarkFlat(const std::uint8_t* row, Band& band) const {
    const std::uint64_t width = g_.width;
    std::uint8_t* flat = band.flat.data();
    if (smooth_) {
        // Smooth: every channel within kSmoothLevels of the same channel of each of the
        // kSmoothReach pixels on either side (none near the ends). Worked out value by value
        // (the wrap-around of bytes makes the test a single comparison), then pixel by pixel.
        std::fill(flat, flat + width, std::uint8_t{0});
        if (width <= 2 * kSmoothReach) {
            return;
        }
        const std::uint64_t reach = 3 * kSmoothReach, values = 3 * width;
        std::uint8_t* near = band.near.data();
        const auto close = [](auto a, auto b, auto levels) {
            return static_cast<decltype(a)>(a - b + levels) <= levels + levels;
        };
        // Sixteen values at a time, then the rest one by one.
        using Sixteen = std::uint8_t __attribute__((vector_size(16)));
        const Sixteen levels = Sixteen{} + std::uint8_t{kSmoothLevels}, one = Sixteen{} + 1;
        std::uint64_t i = reach;
        for (; i + 16 + reach <= values; i += 16) {
            Sixteen value, before, after, all = one;
            std::memcpy(&value, row + i, 16);
            for (std::uint64_t d = 3; d <= reach; d += 3) {
                std::memcpy(&before, row + i - d, 16);
                std::memcpy(&after, row + i + d, 16);
                all &= reinterpret_cast<Sixteen>(close(value, before, levels)) &
                       reinterpret_cast<Sixteen>(close(value, after, levels));
            }
            std::memcpy(near + i, &all, 16);
        }
        for (; i + reach < values; ++i) {
            bool all = true;
            for (std::uint64_t d = 3; d <= reach; d += 3) {
                all = all && close(row[i], row[i - d], std::uint8_t{kSmoothLevels}) &&
                      close(row[i], row[i + d], std::uint8_t{kSmoothLevels});
            }
            near[i] = all;
        }
        for (std::uint64_t x = kSmoothReach; x + kSmoothReach < width; ++x) {
            flat[x] = near[3 * x] & near[3 * x + 1] & near[3 * x + 2];
        }
        return;
    }
    const auto colour = [row](std::uint64_t x) {
        const std::uint8_t* p = row + 3 * x;
        return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
    };
    // Whether each pixel equals the one before it; the first and the last pixel count as
    // equal to what lies beyond the row.
    std::uint32_t previous = width > 0 ? colour(0) : 0;
    std::uint8_t sameAsBefore = 1;
    for (std::uint64_t x = 0; x + 1 < width; ++x) {
        const std::uint32_t next = colour(x + 1);
        const std::uint8_t sameAsNext = previous == next;
        flat[x] = sameAsBefore & sameAsNext;
        sameAsBefore = sameAsNext;
        previous = next;
    }
    if (width > 0) {
        flat[width - 1] = sameAsBefore;
    }
}

template <int Step, bool Trial, int Count>
void SerpentineDither::DitherRows(Band* const bands[], const std::uint8_t* const rows[],
                                  int shard) {
    const std::int64_t width = static_cast<std::int64_t>(g_.width);
    const auto start = [&](int j) {
        if (j >= Count) {
            return Stream{};
        }
        Band& band = *bands[j];
        MarkFlat(rows[j], band);
        std::int16_t* errors = band.errors.data();
        const std::int64_t other = kLanes * (width + 2);
        Stream s = {rows[j],
                    errors + (band.swapped ? other : 0) + kLanes,
                    errors + (band.swapped ? 0 : other) + kLanes,
                    band.indices.data(),
                    band.flat.data(),
                    band.sums,
                    Lanes{},
                    Lanes{},
                    Lanes{}};
        band.swapped = !band.swapped;
        return s;
    };
    // The streams in plain variables, so that the compiler can keep them in registers.
    Stream a = start(0), b = start(1), c = start(2), d = start(3);
    const NearestColour::Reader nearest(*nearest_, shard);
    std::int64_t x = Step > 0 ? 0 : width - 1;
    for (std::int64_t i = 0; i < width; ++i, x += Step) {
        DitherPixel<Step, Trial>(a, x, nearest);
        if constexpr (Count >= 2) {
            DitherPixel<Step, Trial>(b, x, nearest);
        }
        if constexpr (Count >= 3) {
            DitherPixel<Step, Trial>(c, x, nearest);
        }
        if constexpr (Count >= 4) {
            DitherPixel<Step, Trial>(d, x, nearest);
        }
    }
    for (Stream* s : {&a, &b, &c, &d}) {
        if (s->next != nullptr) {
            Store(s->next + kLanes * (x - Step), s->left);
        }
    }
}

template <int Step, bool Trial>
void SerpentineDither::DitherSome(Band* const bands[], const std::uint8_t* const rows[], int count,
                                  int shard) {
    switch (count) {
    case 1:
        return DitherRows<Step, Trial, 1>(bands, rows, shard);
    case 2:
        return DitherRows<Step, Trial, 2>(bands, rows, shard);
    case 3:
        return DitherRows<Step, Trial, 3>(bands, rows, shard);
    default:
        return DitherRows<Step, Trial, 4>(bands, rows, shard);
    }
}

int SerpentineDither::DitherGroup(int group, std::uint64_t relative, bool forward, bool trial,
                                  const std::uint8_t* const rows[kGroup]) {
    Band* bands[kGroup];
    const std::uint8_t* present[kGroup];
    int count = 0;
    for (int j = 0; j < kGroup; ++j) {
        Band& band = bands_[kGroup * group + j];
        if (band.begin + relative < band.end) {
            bands[count] = &band;
            present[count++] = rows[j];
        }
    }
    if (count == 0) {
        return 0;
    }
    const int shard = threads_ == 2 ? group : 0;
    if (forward) {
        trial ? DitherSome<1, true>(bands, present, count, shard)
              : DitherSome<1, false>(bands, present, count, shard);
    } else {
        trial ? DitherSome<-1, true>(bands, present, count, shard)
              : DitherSome<-1, false>(bands, present, count, shard);
    }
    return count;
}

void SerpentineDither::StartGroup(int group) {
    for (int j = 0; j < kGroup; ++j) {
        Band& band = bands_[kGroup * group + j];
        std::fill(band.errors.begin(), band.errors.end(), 0);
        band.swapped = false;
    }
}

std::uint64_t SerpentineDither::GroupRows(int group) const {
    std::uint64_t rows = 0;
    for (int j = 0; j < kGroup; ++j) {
        const Band& band = bands_[kGroup * group + j];
        rows = std::max(rows, band.end - band.begin);
    }
    return rows;
}

void SerpentineDither::TakeColours() {
    exact_.Take(palette_, 0, facts_.entries);
    key_[0] = palette_[0].blue;
    key_[1] = palette_[0].green;
    key_[2] = palette_[0].red;
    for (int e = 0; e < 256; ++e) {
        colours_[e][0] = palette_[e].blue;
        colours_[e][1] = palette_[e].green;
        colours_[e][2] = palette_[e].red;
        for (int c = 3; c < kLanes; ++c) {
            colours_[e][c] = 0;
        }
    }
}

template <typename Work> void SerpentineDither::InBothGroups(Work work) {
    if (threads_ == 2 && RunSideBySide([&] { work(0); }, [&] { work(1); })) {
        return;
    }
    threads_ = 1; // no second thread: this one does both groups
    work(0);
    work(1);
}

void SerpentineDither::AddTrialSums(const std::uint8_t* data, const bmp::TrueColourSource& source,
                                    EntrySums& sums) {
    std::vector<bmp::SourceRows> sources(kBands, bmp::SourceRows(data, source));
    SuitTexture([&](std::uint64_t y) { return sources[0].Row(y); });
    InBothGroups([&](int group) {
        for (int j = 0; j < kGroup; ++j) {
            std::memset(bands_[kGroup * group + j].sums, 0, sizeof bands_[0].sums);
        }
        for (std::uint64_t start = 0; start < GroupRows(group); start += kFitBlock) {
            StartGroup(group);
            for (std::uint64_t r = start; r < start + kFitRows && r < GroupRows(group); ++r) {
                const std::uint8_t* rows[kGroup];
                for (int j = 0; j < kGroup; ++j) {
                    const int b = kGroup * group + j;
                    rows[j] = bands_[b].begin + r < bands_[b].end
                                  ? sources[static_cast<std::size_t>(b)].Row(bands_[b].begin + r)
                                  : nullptr;
                }
                DitherGroup(group, r, (r - start) % 2 == 0, true, rows);
            }
        }
    });
    for (int e = 0; e < 256; ++e) {
        for (const Band& band : bands_) {
            for (int c = 0; c < 4; ++c) {
                sums[e][c] += band.sums[e][c];
            }
        }
    }
}

void SerpentineDither::Fit(const std::uint8_t* data, const bmp::TrueColourSource& source) {
    for (int pass = 0; pass < kFitPasses; ++pass) {
        EntrySums sums = {};
        AddTrialSums(data, source, sums);
        palette_ = MovedTowardSums(palette_, facts_.pinned, sums);
        TakeColours();
        nearest_->Reset(palette_);
    }
}

DiffusionPalette MovedTowardSums(const DiffusionPalette& palette, int pinned,
                                 const EntrySums& sums) {
    DiffusionPalette moved = palette;
    for (int e = pinned; e < 256; ++e) {
        const std::uint64_t* sum = sums[e]; // blue, green, red, count
        if (sum[3] == 0) {
            continue;
        }
        const auto toward = [sum](int c, std::uint8_t now) {
            const int mean = static_cast<int>((sum[c] + sum[3] / 2) / sum[3]);
            return static_cast<std::uint8_t>((mean * kFitMove + now * (100 - kFitMove) + 50) / 100);
        };
        PaletteEntry entry = moved[e];
        entry.red = toward(2, entry.red);
        entry.green = toward(1, entry.green);
        entry.blue = toward(0, entry.blue);
        // An entry stays where it is rather than take another entry's colour.
        bool taken = false;
        for (int j = 0; j < 256 && !taken; ++j) {
            taken = j != e && moved[j].SameColour(entry);
        }
        if (!taken) {
            moved[e] = entry;
        }
    }
    return moved;
}

void SerpentineDither::Run(std::uint8_t* pixels, DiffusionObserver& observer) {
    SuitTexture([&](std::uint64_t y) { return pixels + y * g_.stride; });
    InBothGroups([&](int group) {
        const bool reports = group == 0 || threads_ == 1;
        // Rows done so far: one thread does the first group's rows before the second's; with
        // two, the other group is taken to go as fast as this one.
        std::uint64_t done = threads_ == 1 && group == 1 ? bands_[kGroup].begin : 0;
        const std::uint64_t scale = threads_ == 2 ? 2 : 1;
        const std::int64_t padded = static_cast<std::int64_t>(g_.padded);
        StartGroup(group);
        for (std::uint64_t r = 0; r < GroupRows(group); ++r) {
            std::uint8_t* rows[kGroup] = {};
            for (int j = 0; j < kGroup; ++j) {
                const Band& band = bands_[kGroup * group + j];
                if (band.begin + r < band.end) {
                    rows[j] = pixels + (band.begin + r) * g_.stride;
                }
            }
            const std::uint64_t dithered =
                static_cast<std::uint64_t>(DitherGroup(group, r, r % 2 == 0, false, rows));
            if (reports) {
                const std::uint64_t from = std::min(done, g_.rows);
                done += scale * dithered;
                ReportProgress(observer, static_cast<std::int64_t>(from) * padded,
                               static_cast<std::int64_t>(std::min(done, g_.rows)) * padded,
                               static_cast<std::int64_t>(g_.rows) * padded);
            }
            // The rows' own bytes are not read again: their indices wait there.
            for (int j = 0; j < kGroup; ++j) {
                if (rows[j] != nullptr) {
                    std::memcpy(rows[j], bands_[kGroup * group + j].indices.data(),
                                static_cast<std::size_t>(g_.padded));
                }
            }
        }
    });
    // Row y's indices move from the start of its 24-bit row to y * W4, front to back.
    for (std::uint64_t y = 1; y < g_.rows; ++y) {
        std::memmove(pixels + y * g_.padded, pixels + y * g_.stride,
                     static_cast<std::size_t>(g_.padded));
    }
}

DiffusionPalette FitToSerpentineDither(const DiffusionPalette& palette, const std::uint8_t* data,
                                       const bmp::TrueColourSource& source,
                                       const PaletteFacts& facts, int threads, int strength) {
    SerpentineDither trial(source.geometry, palette, facts, threads, strength);
    trial.Fit(data, source);
    return trial.palette();
}

DiffusionPalette FitToSerpentineDither(const DiffusionPalette& palette,
                                       const std::vector<FitImage>& images,
                                       const PaletteFacts& facts, int threads, int strength) {
    DiffusionPalette fitted = palette;
    for (int pass = 0; pass < kFitPasses; ++pass) {
        EntrySums sums = {};
        for (const FitImage& image : images) {
            if (image.source->geometry.rows > 0) {
                SerpentineDither trial(image.source->geometry, fitted, facts, threads, strength);
                trial.AddTrialSums(image.data, *image.source, sums);
            }
        }
        fitted = MovedTowardSums(fitted, facts.pinned, sums);
    }
    return fitted;
}

} // namespace quantize
