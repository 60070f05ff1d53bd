#include "core/quantize/kernel_dither.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "core/quantize/effort.h"
#include "core/quantize/linear_light.h"
#include "core/quantize/side_by_side.h"

namespace quantize {
namespace {

// The agreement of an image with its palette is counted on every kAgreementRows-th row.
constexpr std::uint64_t kAgreementRows = 32;

// Sixteen bytes in memory, which need no more than the alignment of their numbers (the heap's
// blocks may be aligned to 8 bytes only), as a vector, and back.
template <typename Lanes> Lanes Load(const void* from) {
    Lanes v;
    std::memcpy(&v, from, sizeof v);
    return v;
}
template <typename Lanes> void Store(void* to, Lanes v) {
    std::memcpy(to, &v, sizeof v);
}

// Calls f(std::integral_constant<int, i>{}) for i = 0 .. N - 1: each i a constant, so that the
// taps of a kernel are constants in the code that runs it. Every call inlined (and so must f
// be, where it runs for every pixel): a wide kernel's taps left as calls took twice the time.
template <int N, typename F> inline __attribute__((always_inline)) void Each(F f) {
    [&]<int... I>(std::integer_sequence<int, I...>) __attribute__((always_inline)) {
        (f(std::integral_constant<int, I>{}), ...);
    }
    (std::make_integer_sequence<int, N>{});
}

} // namespace

// The light an error is carried in. Blue, green and red of a pixel, a colour or an error, in
// the first three lanes of sixteen bytes; the other lanes stay 0, and sums of lanes are done
// for all lanes at once. A carried error takes sixteen bytes a pixel in either light.
// sRGB levels, as the pixels are stored: eight lanes of 16 bits.
struct KernelDither::Levels {
    using Lane = std::int16_t;
    using Lanes = Lane __attribute__((vector_size(16)));
    using Unsigned = std::uint16_t __attribute__((vector_size(16)));
    static constexpr int kTop = 255;
    static Lanes Of(const std::uint8_t* bgr) { return Lanes{bgr[0], bgr[1], bgr[2]}; }
    // A channel's level: between 0 and 255, as an unsigned number it needs no sign extended.
    static std::uint16_t Level(Lanes v, int c) { return static_cast<std::uint16_t>(v[c]); }
};
// Linear light: intensities of 12 bits (linear_light.h), four lanes of 32 bits.
struct KernelDither::Linear {
    using Lane = std::int32_t;
    using Lanes = Lane __attribute__((vector_size(16)));
    using Unsigned = std::uint32_t __attribute__((vector_size(16)));
    static constexpr int kTop = kLinearTop;
    static Lanes Of(const std::uint8_t* bgr) {
        return Lanes{kLinearOfLevel[bgr[0]], kLinearOfLevel[bgr[1]], kLinearOfLevel[bgr[2]]};
    }
    static std::uint16_t Level(Lanes v, int c) {
        return kLevelOfLinear[static_cast<std::size_t>(v[c])];
    }
};

namespace {

// The number in each lane of a vector.
template <typename Lanes> using LaneOf = std::remove_cvref_t<decltype(std::declval<Lanes>()[0])>;

// An error times a weight of a kernel.
template <int Weight, typename Lanes> Lanes Times(Lanes e) {
    if constexpr (Weight == 0) {
        return Lanes{};
    } else {
        return e * static_cast<LaneOf<Lanes>>(Weight);
    }
}

// The whole units of an error carried in 1/Divisor of a unit of the light: rounded to the
// nearest, halves upward on either side of zero alike.
template <int Divisor, typename Light> typename Light::Lanes Whole(typename Light::Lanes carried) {
    using Lane = typename Light::Lane;
    if constexpr ((Divisor & (Divisor - 1)) == 0) {
        return (carried + Lane{Divisor / 2}) >> std::countr_zero(unsigned{Divisor});
    } else {
        // Shifted up by a whole range, so that the division of a number that is never
        // negative rounds down; a carried error is at most the range either way.
        constexpr int kUp = Light::kTop + 1;
        using Unsigned = typename Light::Unsigned;
        static_assert(std::int64_t{2} * kUp * Divisor <= std::numeric_limits<Lane>::max(),
                      "two ranges of 1/Divisor must fit in a lane");
        const Unsigned up =
            reinterpret_cast<Unsigned>(carried + static_cast<Lane>(Divisor / 2 + kUp * Divisor));
        return reinterpret_cast<decltype(carried)>(
                   up / static_cast<std::make_unsigned_t<Lane>>(Divisor)) -
               static_cast<Lane>(kUp);
    }
}

inline __attribute__((always_inline)) int NearestOf(const NearestColour::Reader& nearest, int blue,
                                                    int green, int red) {
    return nearest.Find(NearestColour::Spread(0, blue) | NearestColour::Spread(1, green) |
                        NearestColour::Spread(2, red));
}

// d * share / 64, rounded to the nearest, halves upward on either side of zero alike:
// rounding toward zero would lose the small errors that keep the mean colour of a smooth area
// right.
template <typename Lanes> Lanes Share(Lanes d, int share) {
    using Lane = LaneOf<Lanes>;
    return (d * static_cast<Lane>(share) + Lane{32}) >> 6;
}

} // namespace

// One band's row in the making, for a kernel and a light. The errors this row takes from the
// rows above, and those it passes to the rows below, each row with places on either side. What
// a pixel passes on along its own row stays in `ahead` until that pixel takes it up; what it
// passes below stays in `pending` until no other pixel of the row adds to that place, which is
// then written once (the farthest row down, which no row above has reached yet, without
// reading it).
template <const Kernel& K, typename Light> struct KernelDither::Stream {
    static constexpr int kReach = K.Reach(), kDepth = K.Depth();
    static_assert(kReach >= 1 && kDepth >= 1 && K.count <= Kernel::kMostTaps);
    using Lanes = typename Light::Lanes;
    const std::uint8_t* row;
    const std::int16_t* current;
    std::int16_t* below[kDepth];
    std::uint8_t* indices;
    const std::uint8_t* marks;
    const std::int16_t* kept; // entries kept, or null
    std::uint64_t (*sums)[4];
    Lanes ahead[kReach];               // places x to x + reach - 1 of this row
    Lanes pending[kDepth][2 * kReach]; // places x - reach to x + reach - 1 of each row below
};

inline int KernelDither::HeldEntry(const std::uint8_t* pixel) const {
    const int exact = facts_.exactColours ? exact_.Find(pixel) : -1;
    // The key colour's pixels take entry 0.
    return exact < 0 && facts_.key && std::memcmp(pixel, key_, 3) == 0 ? 0 : exact;
}

template <const Kernel& K, typename Light, int Step, bool Trial>
inline __attribute__((always_inline)) void
KernelDither::DitherPixel(Stream<K, Light>& s, std::int64_t x,
                          const NearestColour::Reader& nearest) {
    using Lanes = typename Light::Lanes;
    using Lane = typename Light::Lane;
    constexpr int kReach = K.Reach(), kDepth = K.Depth();
    constexpr bool kLinear = std::is_same_v<Light, Linear>;
    const Lanes zero = {}, top = zero + Lane{Light::kTop};
    const std::uint8_t* pixel = s.row + 3 * x;
    Lanes target = Light::Of(pixel) +
                   Whole<K.divisor, Light>(Load<Lanes>(s.current + kLanes * x) + s.ahead[0]);
    target = target < zero ? zero : target;
    target = target > top ? top : target;
    const std::uint16_t blue = Light::Level(target, 0), green = Light::Level(target, 1),
                        red = Light::Level(target, 2);
    // A kept entry is taken as a held one, and what it would pass on is dropped.
    const int kept = s.kept != nullptr ? s.kept[x] : -1;
    const int held = kept >= 0 ? kept : HeldEntry(pixel);
    const int pixelClass = s.marks[x] | (held >= 0 ? kHeldMark : 0);
    const ShareTable::Usual usual = shares_.UsualOf(pixelClass);
    const int k = held >= 0 ? held : NearestOf(nearest, blue, green, red);
    if constexpr (Trial) {
        std::uint64_t* sum = s.sums[k];
        sum[0] += static_cast<std::uint64_t>(blue);
        sum[1] += static_cast<std::uint64_t>(green);
        sum[2] += static_cast<std::uint64_t>(red);
        ++sum[3];
    } else {
        s.indices[x] = static_cast<std::uint8_t>(k);
    }
    // The share passed on, as the table says; the usual share of the class read first. The
    // size of the error is in levels in either light.
    const void* entry = kLinear ? static_cast<const void*>(linearColours_[k]) : colours_[k];
    const Lanes diff = target - Load<Lanes>(entry);
    int size = 0;
    if constexpr (kLinear) {
        size = std::abs(blue - colours_[k][0]) + std::abs(green - colours_[k][1]) +
               std::abs(red - colours_[k][2]);
    } else {
        size = std::abs(diff[0]) + std::abs(diff[1]) + std::abs(diff[2]);
    }
    Lanes e = Share(diff, usual.first);
    if (size <= usual.noneUpTo || kept >= 0) {
        e = zero;
    } else if (size > usual.upTo) {
        const ErrorShare& share = shares_.At(pixelClass, size);
        e = usual.then >= 0 ? Share(e, usual.then) : Share(Share(diff, share.first), share.then);
    }

    Each<kReach>([&](auto j) __attribute__((always_inline)) {
        constexpr int i = decltype(j)::value;
        const Lanes before = i + 1 < kReach ? s.ahead[std::min(i + 1, kReach - 1)] : zero;
        s.ahead[i] = before + Times<K.Weight(i + 1, 0)>(e);
    });
    Each<kDepth>([&](auto d) __attribute__((always_inline)) {
        constexpr int dy = decltype(d)::value + 1;
        Lanes* pending = s.pending[dy - 1];
        const Lanes done = pending[0] + Times<K.Weight(-kReach, dy)>(e);
        std::int16_t* at = s.below[dy - 1] + kLanes * (x - Step * kReach);
        Store(at, dy == kDepth ? done : Load<Lanes>(at) + done);
        Each<2 * kReach - 1>([&](auto j) __attribute__((always_inline)) {
            constexpr int i = decltype(j)::value;
            pending[i] = pending[i + 1] + Times<K.Weight(i + 1 - kReach, dy)>(e);
        });
        pending[2 * kReach - 1] = Times<K.Weight(kReach, dy)>(e);
    });
}

template <const Kernel& K, typename Light, int Step, bool Trial, int Count>
void KernelDither::DitherRows(Band* const bands[], const std::uint8_t* const rows[], int shard) {
    using Lanes = typename Light::Lanes;
    constexpr int kReach = K.Reach(), kDepth = K.Depth();
    const std::int64_t width = static_cast<std::int64_t>(shaped_.width);
    const std::int64_t rowLength = kLanes * (width + 2 * kReach);
    const auto start = [&](int j) {
        Stream<K, Light> s{};
        if (j >= Count) {
            return s;
        }
        Band& band = *bands[j];
        std::int16_t* errors = band.errors.data() + kLanes * kReach;
        s.row = rows[j];
        s.current = errors + band.current * rowLength;
        Each<kDepth>([&](auto d) {
            s.below[d] = errors + (band.current + 1 + d) % (kDepth + 1) * rowLength;
        });
        s.indices = band.indices.data();
        textures_[shard].Mark(rows[j], shaped_.width, readsFlat_, readsSmooth_, band.marks.data());
        s.marks = band.marks.data();
        s.kept = band.kept;
        s.sums = band.sums;
        band.current = (band.current + 1) % (kDepth + 1);
        return s;
    };
    // The streams in plain variables, so that the compiler can keep them in registers.
    Stream<K, Light> a = start(0), b = start(1), c = start(2), d = start(3);
    const NearestColour::Reader nearest(*nearest_, shard);
    std::int64_t x = Step > 0 ? 0 : width - 1;
    for (std::int64_t i = 0; i < width; ++i, x += Step) {
        DitherPixel<K, Light, Step, Trial>(a, x, nearest);
        if constexpr (Count >= 2) {
            DitherPixel<K, Light, Step, Trial>(b, x, nearest);
        }
        if constexpr (Count >= 3) {
            DitherPixel<K, Light, Step, Trial>(c, x, nearest);
        }
        if constexpr (Count >= 4) {
            DitherPixel<K, Light, Step, Trial>(d, x, nearest);
        }
    }
    // What is pending for the last places of the rows below.
    for (Stream<K, Light>* s : {&a, &b, &c, &d}) {
        if (s->row == nullptr) {
            continue;
        }
        Each<kDepth>([&](auto dd) {
            constexpr int dy = decltype(dd)::value + 1;
            Each<kReach>([&](auto j) {
                constexpr int i = decltype(j)::value;
                std::int16_t* at = s->below[dy - 1] + kLanes * (x + Step * (i - kReach));
                const Lanes done = s->pending[dy - 1][i];
                Store(at, dy == kDepth ? done : Load<Lanes>(at) + done);
            });
        });
    }
}

// The rows' dithering for a kernel and a light: forward or backward, trial or not, for 1 to 4
// bands: all four side by side, or fewer (the last rows of bands of unequal lengths, an image
// of a few rows) one by one, with the same bytes.
template <const Kernel& K, typename Light>
void KernelDither::DitherSome(Band* const bands[], const std::uint8_t* const rows[], int count,
                              int shard, bool forward, bool trial) {
    using Rows = void (KernelDither::*)(Band* const[], const std::uint8_t* const[], int);
    static constexpr auto kRows = []<int... I>(std::integer_sequence<int, I...>) {
        return std::array<Rows, sizeof...(I)>{&KernelDither::DitherRows < K, Light,
                                              (I & 4) != 0 ? 1 : -1, (I & 2) != 0,
                                              (I & 1) != 0 ? kGroup : 1 > ...};
    }
    (std::make_integer_sequence<int, 8>{});
    const std::size_t at = (forward ? 4u : 0u) + (trial ? 2u : 0u);
    if (count == kGroup) {
        (this->*kRows[at + 1])(bands, rows, shard);
        return;
    }
    for (int j = 0; j < count; ++j) {
        (this->*kRows[at])(bands + j, rows + j, shard);
    }
}

// The kernels by KernelName, each with its rows' dithering made for it in either light.
KernelDither::Engine KernelDither::EngineOf(KernelName name, bool linear) {
    static constexpr auto kEngines = []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<Engine, 2 * kKernelCount>{Engine{
            kKernels[I / 2], I % 2 == 0 ? &KernelDither::DitherSome<*kKernels[I / 2], Levels>
                                        : &KernelDither::DitherSome<*kKernels[I / 2], Linear>}...};
    }
    (std::make_index_sequence<2 * kKernelCount>{});
    return kEngines[2 * static_cast<std::size_t>(name) + (linear ? 1 : 0)];
}

KernelDither::KernelDither(const bmp::TrueColourGeometry& geometry, const DiffusionPalette& palette,
                           const PaletteFacts& facts, int threads, const Choices& choices,
                           Policy policy)
    : g_(geometry), palette_(palette), facts_(facts),
      engine_(EngineOf(choices.kernel, choices.linear)),
      serpentine_(choices.serpentine && engine_.kernel->serpentine),
      effort_(EffortOf(choices.effort)),
      policy_(policy), settings_{choices.strength, facts.entries, 1000, engine_.kernel->Share()},
      readsAgreement_(ReadsAgreement(settings_, policy)), threads_(threads),
      nearest_(std::make_unique<NearestColour>(palette_, 2, facts.key ? 1 : 0, facts.entries)) {
    shares_.Take(settings_, policy_);
    readsFlat_ = shares_.Reads(kFlatMark);
    readsSmooth_ = shares_.Reads(kSmoothMark);
    TakeColours();
    Shape(g_);
}

void KernelDither::Shape(const bmp::TrueColourGeometry& g) {
    if (g.width == shaped_.width && g.rows == shaped_.rows && g.padded == shaped_.padded) {
        return;
    }
    shaped_ = g;
    const Kernel& k = *engine_.kernel;
    const std::size_t rows = g.rows > 0 ? static_cast<std::size_t>(k.Depth() + 1) : 0;
    for (int b = 0; b < kBands; ++b) {
        Band& band = bands_[b];
        band.begin = (g.rows * static_cast<std::uint64_t>(b) + kBands - 1) / kBands;
        band.end = (g.rows * static_cast<std::uint64_t>(b + 1) + kBands - 1) / kBands;
        // Nothing for an image without rows, however wide its header says it is.
        band.errors.assign(
            rows * static_cast<std::size_t>(kLanes * (g.width + 2 * std::uint64_t(k.Reach()))), 0);
        band.indices.assign(g.rows > 0 ? static_cast<std::size_t>(g.padded) : 0, 0);
        band.marks.assign(g.rows > 0 ? static_cast<std::size_t>(g.width) : 0, 0);
    }
    for (RowTexture& texture : textures_) {
        texture.Reserve(g.rows > 0 ? g.width : 0);
    }
}

// The agreement of the image whose row y is rowOf(y) with the palette as it stands: of the
// pixels next to each other on every kAgreementRows-th row, how many in a thousand take the same
// entry when each takes its own.
template <typename RowOf> void KernelDither::TakeShares(RowOf rowOf) {
    if (!readsAgreement_) {
        return;
    }
    const NearestColour::Reader nearest(*nearest_, 0);
    const auto ownEntry = [&](const std::uint8_t* pixel) {
        const int held = HeldEntry(pixel);
        return held >= 0 ? held : NearestOf(nearest, pixel[0], pixel[1], pixel[2]);
    };
    std::uint64_t same = 0, pairs = 0;
    for (std::uint64_t y = 0; y < shaped_.rows && shaped_.width >= 2; y += kAgreementRows) {
        const std::uint8_t* row = rowOf(y);
        int before = ownEntry(row);
        for (std::uint64_t x = 1; x < shaped_.width; ++x) {
            const int entry = ownEntry(row + 3 * x);
            same += entry == before;
            before = entry;
        }
        pairs += shaped_.width - 1;
    }
    settings_.agreement = pairs == 0 ? 1000 : static_cast<int>(1000 * same / pairs);
    shares_.Take(settings_, policy_);
    readsFlat_ = shares_.Reads(kFlatMark);
    readsSmooth_ = shares_.Reads(kSmoothMark);
}

int KernelDither::DitherGroup(int group, std::uint64_t relative, bool forward, bool trial,
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
    (this->*engine_.rows)(bands, present, count, shard, forward || !serpentine_, trial);
    return count;
}

void KernelDither::StartGroup(int group) {
    for (int j = 0; j < kGroup; ++j) {
        Band& band = bands_[kGroup * group + j];
        std::fill(band.errors.begin(), band.errors.end(), 0);
        band.current = 0;
        band.kept = nullptr;
    }
}

std::uint64_t KernelDither::GroupRows(int group) const {
    std::uint64_t rows = 0;
    for (int j = 0; j < kGroup; ++j) {
        const Band& band = bands_[kGroup * group + j];
        rows = std::max(rows, band.end - band.begin);
    }
    return rows;
}

void KernelDither::TakeColours() {
    exact_.Take(palette_, 0, facts_.entries);
    key_[0] = palette_[0].blue;
    key_[1] = palette_[0].green;
    key_[2] = palette_[0].red;
    for (int e = 0; e < 256; ++e) {
        colours_[e][0] = palette_[e].blue;
        colours_[e][1] = palette_[e].green;
        colours_[e][2] = palette_[e].red;
        linearColours_[e][0] = kLinearOfLevel[palette_[e].blue];
        linearColours_[e][1] = kLinearOfLevel[palette_[e].green];
        linearColours_[e][2] = kLinearOfLevel[palette_[e].red];
    }
}

template <typename Work> void KernelDither::InBothGroups(Work work) {
    if (threads_ == 2 && RunSideBySide([&] { work(0); }, [&] { work(1); })) {
        return;
    }
    threads_ = 1; // no second thread: this one does both groups
    work(0);
    work(1);
}

void KernelDither::AddTrialSums(const std::uint8_t* data, const bmp::TrueColourSource& source,
                                EntrySums& sums) {
    std::vector<bmp::SourceRows> sources(kBands, bmp::SourceRows(data, source));
    TakeShares([&](std::uint64_t y) { return sources[0].Row(y); });
    InBothGroups([&](int group) {
        for (int j = 0; j < kGroup; ++j) {
            std::memset(bands_[kGroup * group + j].sums, 0, sizeof bands_[0].sums);
        }
        const std::uint64_t block =
            FitBlock(source.geometry.width * source.geometry.rows, effort_.fitShift);
        for (std::uint64_t start = 0; start < GroupRows(group); start += block) {
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

void KernelDither::Fit(const std::vector<FitImage>& images) {
    for (int pass = 0; pass < effort_.fitPasses; ++pass) {
        EntrySums sums = {};
        for (const FitImage& image : images) {
            if (image.source->geometry.rows > 0) {
                Shape(image.source->geometry);
                AddTrialSums(image.data, *image.source, sums);
            }
        }
        palette_ = MovedTowardSums(palette_, facts_.pinned, sums, facts_.device);
        TakeColours();
        nearest_->Reset(palette_);
    }
    Shape(g_);
}

template <typename Out>
void KernelDither::Dither(const std::uint8_t* pixels, DiffusionObserver& observer, Out out) {
    TakeShares([&](std::uint64_t y) { return pixels + y * g_.stride; });
    InBothGroups([&](int group) {
        const bool reports = group == 0 || threads_ == 1;
        // Rows done so far: one thread does the first group's rows before the second's; with
        // two, the other group is taken to go as fast as this one.
        std::uint64_t done = threads_ == 1 && group == 1 ? bands_[kGroup].begin : 0;
        const std::uint64_t scale = threads_ == 2 ? 2 : 1;
        const std::int64_t padded = static_cast<std::int64_t>(g_.padded);
        StartGroup(group);
        for (std::uint64_t r = 0; r < GroupRows(group); ++r) {
            const std::uint8_t* rows[kGroup] = {};
            for (int j = 0; j < kGroup; ++j) {
                Band& band = bands_[kGroup * group + j];
                if (band.begin + r < band.end) {
                    rows[j] = pixels + (band.begin + r) * g_.stride;
                    band.kept = kept_ != nullptr ? kept_ + (band.begin + r) * g_.width : nullptr;
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
            for (int j = 0; j < kGroup; ++j) {
                const Band& band = bands_[kGroup * group + j];
                if (rows[j] != nullptr) {
                    std::memcpy(out(band.begin + r), band.indices.data(),
                                static_cast<std::size_t>(g_.padded));
                }
            }
        }
    });
}

void KernelDither::Run(std::uint8_t* pixels, DiffusionObserver& observer) {
    // The rows' own bytes are not read again: their indices wait at the start of each.
    Dither(pixels, observer, [&](std::uint64_t y) { return pixels + y * g_.stride; });
    // Row y's indices move from the start of its 24-bit row to y * W4, front to back.
    for (std::uint64_t y = 1; y < g_.rows; ++y) {
        std::memmove(pixels + y * g_.padded, pixels + y * g_.stride,
                     static_cast<std::size_t>(g_.padded));
    }
}

bool KernelDither::RunBeside(const std::uint8_t* pixels, std::uint8_t* out,
                             DiffusionObserver& observer) {
    Dither(pixels, observer, [&](std::uint64_t y) { return out + y * g_.padded; });
    return true;
}

} // namespace quantize
