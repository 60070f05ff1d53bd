#include "core/reduce/adaptive_dither.h"

#include <algorithm>
#include <cstring>

#include "core/reduce/diffusion_palette.h"
#include "core/reduce/side_by_side.h"

namespace reduce {
namespace {

// A pixel passes on 7/8 of its error: a little less than all of it keeps the noise down
// where the palette's colours lie far apart, at little cost to the mean colour. (Chosen by
// measurement on photographs, with the fitting below: PSNR and PSNR after a slight blur.)
constexpr int kPassedOn = 7;
constexpr int kPassedOf = 8;

// Fitting the palette to dithering: passes, the first rows of each block of rows that are
// dithered, and how far an entry moves to the mean of the colours it stood for, in percent.
constexpr int kFitPasses = 2;
constexpr std::uint64_t kFitRows = 16;
constexpr std::uint64_t kFitBlock = 64;
constexpr int kFitMove = 60;

} // namespace

AdaptiveDither::AdaptiveDither(const TrueColourGeometry& geometry, DiffusionPalette& palette,
                               int threads)
    : g_(geometry), palette_(palette), threads_(threads) {
    TakeColours();
    const std::uint64_t middle = (g_.rows + 1) / 2;
    bands_[0].begin = 0;
    bands_[0].end = middle;
    bands_[1].begin = middle;
    bands_[1].end = g_.rows;
    for (Band& band : bands_) {
        band.nearest = std::make_unique<NearestColour>(palette_.data());
        band.errors.assign(static_cast<std::size_t>(2 * 3 * (g_.width + 2)), 0);
        band.indices.assign(static_cast<std::size_t>(g_.padded), 0);
    }
}

template <int Step, bool Trial>
void AdaptiveDither::DitherPixels(Band& band, const std::uint8_t* row) {
    const std::int64_t width = static_cast<std::int64_t>(g_.width);
    const std::int64_t rowErrors = 3 * (width + 2);
    // The row's own errors, then the next row's, each with a place on either side.
    std::int32_t* current = band.errors.data() + (band.swapped ? rowErrors : 0);
    std::int32_t* next = band.errors.data() + (band.swapped ? 0 : rowErrors);
    std::uint8_t* indices = band.indices.data();
    NearestColour& nearest = *band.nearest;
    for (std::int64_t i = 0; i < width; ++i) {
        const std::int64_t x = Step > 0 ? i : width - 1 - i;
        std::int32_t* here = current + 3 * (x + 1);
        const std::uint8_t* pixel = row + 3 * x; // blue, green, red
        int target[3];
        for (int c = 0; c < 3; ++c) {
            const int v = pixel[2 - c] + ((here[c] + 8) >> 4);
            target[c] = v < 0 ? 0 : (v > 255 ? 255 : v);
        }
        const int k = nearest.Find(target[0], target[1], target[2]);
        if constexpr (Trial) {
            std::uint64_t* sum = band.sums[k];
            sum[0] += static_cast<std::uint64_t>(target[0]);
            sum[1] += static_cast<std::uint64_t>(target[1]);
            sum[2] += static_cast<std::uint64_t>(target[2]);
            ++sum[3];
        } else {
            indices[x] = static_cast<std::uint8_t>(k);
        }
        std::int32_t* below = next + 3 * (x + 1);
        for (int c = 0; c < 3; ++c) {
            const int e = (target[c] - colours_[k][c]) * kPassedOn / kPassedOf;
            here[c + 3 * Step] += 7 * e;
            below[c - 3 * Step] += 3 * e;
            below[c] += 5 * e;
            below[c + 3 * Step] += e;
        }
    }
    // The next row's errors become the current ones; this row's place takes the row after.
    std::fill(current, current + rowErrors, 0);
    band.swapped = !band.swapped;
}

void AdaptiveDither::DitherRow(Band& band, const std::uint8_t* row, bool forward, bool trial) {
    if (forward) {
        trial ? DitherPixels<1, true>(band, row) : DitherPixels<1, false>(band, row);
    } else {
        trial ? DitherPixels<-1, true>(band, row) : DitherPixels<-1, false>(band, row);
    }
}

void AdaptiveDither::TakeColours() {
    for (int e = 0; e < 256; ++e) {
        for (int c = 0; c < 3; ++c) {
            colours_[e][c] = static_cast<std::int16_t>(palette_[4 * e + c]);
        }
    }
}

template <typename Work> void AdaptiveDither::InBothBands(Work work) {
    if (threads_ == 2 && RunSideBySide([&] { work(bands_[0], 0); }, [&] { work(bands_[1], 1); })) {
        return;
    }
    threads_ = 1; // no second thread: this one does both bands
    work(bands_[0], 0);
    work(bands_[1], 1);
}

void AdaptiveDither::FitPalette(const std::uint8_t* data, const TrueColourSource& source,
                                int firstFree) {
    SourceRows rows[2] = {SourceRows(data, source), SourceRows(data, source)};
    for (int pass = 0; pass < kFitPasses; ++pass) {
        InBothBands([&](Band& band, int b) {
            std::memset(band.sums, 0, sizeof band.sums);
            for (std::uint64_t start = band.begin; start < band.end; start += kFitBlock) {
                std::fill(band.errors.begin(), band.errors.end(), 0);
                band.swapped = false;
                const std::uint64_t end = std::min(start + kFitRows, band.end);
                for (std::uint64_t y = start; y < end; ++y) {
                    DitherRow(band, rows[b].Row(y), (y - start) % 2 == 0, true);
                }
            }
        });
        for (int e = firstFree; e < 256; ++e) {
            const std::uint64_t n = bands_[0].sums[e][3] + bands_[1].sums[e][3];
            for (int c = 0; c < 3 && n != 0; ++c) {
                const std::uint64_t sum = bands_[0].sums[e][c] + bands_[1].sums[e][c];
                const int mean = static_cast<int>((sum + n / 2) / n);
                const int moved =
                    (mean * kFitMove + palette_[4 * e + c] * (100 - kFitMove) + 50) / 100;
                palette_[4 * e + c] = static_cast<std::uint8_t>(moved);
            }
        }
        TakeColours();
        for (Band& band : bands_) {
            band.nearest = std::make_unique<NearestColour>(palette_.data());
        }
    }
}

void AdaptiveDither::DitherBand(Band& band, std::uint8_t* pixels, DiffusionObserver* observer) {
    const std::int64_t padded = static_cast<std::int64_t>(g_.padded);
    const std::int64_t total = static_cast<std::int64_t>(g_.rows) * padded;
    std::fill(band.errors.begin(), band.errors.end(), 0);
    band.swapped = false;
    for (std::uint64_t y = band.begin; y < band.end; ++y) {
        if (observer != nullptr) {
            // With two threads the other band goes as fast as this one.
            const std::int64_t lanes = threads_ == 2 ? 2 : 1;
            const std::int64_t from =
                static_cast<std::int64_t>(threads_ == 2 ? y - band.begin : y) * lanes * padded;
            ReportProgress(*observer, from, from + lanes * padded, total);
        }
        std::uint8_t* row = pixels + y * g_.stride;
        DitherRow(band, row, (y - band.begin) % 2 == 0, false);
        // The row's own bytes are not read again: its indices wait there.
        std::memcpy(row, band.indices.data(), static_cast<std::size_t>(padded));
    }
}

void AdaptiveDither::Run(std::uint8_t* pixels, DiffusionObserver& observer) {
    InBothBands([&](Band& band, int b) {
        DitherBand(band, pixels, b == 0 || threads_ == 1 ? &observer : nullptr);
    });
    // Row y's indices move from the start of its 24-bit row to y * W4, front to back.
    for (std::uint64_t y = 1; y < g_.rows; ++y) {
        std::memmove(pixels + y * g_.padded, pixels + y * g_.stride,
                     static_cast<std::size_t>(g_.padded));
    }
}

} // namespace reduce
