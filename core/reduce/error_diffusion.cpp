#include "core/reduce/error_diffusion.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "core/bmp/layout.h"
#include "core/reduce/adaptive_dither.h"
#include "core/reduce/adaptive_palette.h"
#include "core/reduce/diffusion_palette.h"
#include "core/reduce/nearest_colour.h"
#include "core/reduce/side_by_side.h"
#include "core/reduce/true_colour.h"

namespace reduce {
namespace {

inline std::uint8_t Clamp(int v) {
    return static_cast<std::uint8_t>(v >= 255 ? 255 : (v <= 0 ? 0 : v));
}

// Adds a share of the error to each channel of a pixel (stored blue, green, red).
inline void AddShare(std::uint8_t* pixel, int shareR, int shareG, int shareB) {
    pixel[0] = Clamp(pixel[0] + shareB);
    pixel[1] = Clamp(pixel[1] + shareG);
    pixel[2] = Clamp(pixel[2] + shareR);
}

// Dithering runs in two lanes where the image is big enough: one thread takes the even rows,
// another the odd ones, each a little behind the row before it. A pixel is visited only when
// the row above has passed the pixel after it, so every share of error reaches every pixel
// in the same order as in a single pass, and so the result is the same byte for byte.
struct Lane {
    // Pixels done, counted over the whole image: y * width + x once row y is done up to x.
    std::atomic<std::int64_t> done{0};
    char padding[64 - sizeof(std::atomic<std::int64_t>)]; // each lane on its own cache line
};

// Everything dithering needs, set aside before any pixel changes, so that running out of
// memory leaves the image as it was.
struct DitherJob {
    DitherJob(const TrueColourGeometry& geometry, const DiffusionPalette& colours, int laneCount)
        : g(geometry), palette(colours), lanes(laneCount),
          nearest(std::make_unique<NearestColour>(palette.data(), lanes)) {
        for (int i = 0; i < lanes; ++i) {
            indices[i].assign(static_cast<std::size_t>(g.padded), 0);
        }
    }
    const TrueColourGeometry g;
    const DiffusionPalette& palette;
    int lanes;
    std::uint8_t* pixels = nullptr;
    Lane progress[2];
    std::unique_ptr<NearestColour> nearest; // each lane asks with its own shard
    std::vector<std::uint8_t> indices[2];   // the row being dithered, to be put in place
};

// Pixels between the two lanes beyond what the order needs, so that they rarely write to the
// same cache line; and how many pixels a lane does between reports of its progress.
constexpr std::int64_t kLaneGap = 96;
constexpr std::int64_t kStretch = 64;
// Below this many pixels a second thread costs more than it saves: it can take milliseconds
// to get going.
constexpr std::uint64_t kTwoLanePixels = 1u << 19;

int LanesFor(const TrueColourGeometry& g, int threads) {
    if (threads == 1 || threads == 2) {
        return threads;
    }
    // On a single processor the two lanes would only take turns.
    const bool twoProcessors = std::thread::hardware_concurrency() != 1;
    return twoProcessors && g.rows > 1 && g.width * g.rows >= kTwoLanePixels ? 2 : 1;
}

// Waits until the other lane has done `count` pixels (counted over the image).
void WaitFor(const Lane& other, std::int64_t count, std::int64_t& seen) {
    for (int spins = 0; seen < count; ++spins) {
        if (spins > 100) {
            std::this_thread::yield();
        }
        seen = other.done.load(std::memory_order_acquire);
    }
}

// Dithers rows lane, lane + lanes, ...; only lane 0 reports progress. The indices of a row
// are collected and put in place, at y * W4, when the row is done: by then every row above
// is done too, so every 24-bit pixel they cover has been read.
void DitherLane(DitherJob& job, int lane, DiffusionObserver* observer) {
    const DiffusionPalette& palette = job.palette;
    NearestColour& nearest = *job.nearest;
    std::uint8_t* indices = job.indices[lane].data();
    const std::int64_t width = static_cast<std::int64_t>(job.g.width);
    const std::int64_t rows = static_cast<std::int64_t>(job.g.rows);
    const std::int64_t padded = static_cast<std::int64_t>(job.g.padded);
    const std::int64_t stride = static_cast<std::int64_t>(job.g.stride);
    const std::int64_t total = (rows - 1) * padded; // positions of all rows but the last
    Lane& own = job.progress[lane];
    const Lane& other = job.progress[(lane + 1) % job.lanes];
    std::int64_t seen = 0;

    for (std::int64_t y = lane; y < rows; y += job.lanes) {
        if (observer != nullptr) {
            const std::int64_t reportTo = std::min(y + job.lanes, rows - 1);
            ReportProgress(*observer, y * padded, reportTo * padded, total);
        }
        const bool lastRow = y == rows - 1;
        std::uint8_t* p = job.pixels + y * stride;
        for (std::int64_t x0 = 0; x0 < width; x0 += kStretch) {
            const std::int64_t x1 = std::min(width, x0 + kStretch);
            if (job.lanes > 1 && y > 0) {
                WaitFor(other, (y - 1) * width + std::min(width, x1 + 1 + kLaneGap), seen);
            }
            for (std::int64_t x = x0; x < x1; ++x, p += 3) {
                const int k = nearest.Find(p[2], p[1], p[0], lane);
                const int eR = p[2] - palette[4 * k];
                const int eG = p[1] - palette[4 * k + 1];
                const int eB = p[0] - palette[4 * k + 2];
                const bool hasRight = x + 1 < width;
                if (!lastRow) {
                    if (eR != 0 || eG != 0 || eB != 0) {
                        const ErrorShares r = SharesOf(eR), gr = SharesOf(eG), b = SharesOf(eB);
                        if (hasRight) {
                            AddShare(p + 3, r.right, gr.right, b.right);
                            AddShare(p + stride + 3, r.downRight, gr.downRight, b.downRight);
                        }
                        AddShare(p + stride, r.down, gr.down, b.down);
                    }
                } else if (eR + eG + eB != 0 && hasRight) {
                    // The last row passes error only to the right, and only when the channel
                    // errors do not cancel out.
                    AddShare(p + 3, SharesOf(eR).right, SharesOf(eG).right, SharesOf(eB).right);
                }
                indices[x] = static_cast<std::uint8_t>(k);
            }
            own.done.store(y * width + x1, std::memory_order_release);
        }
        std::memcpy(job.pixels + y * padded, indices, static_cast<std::size_t>(padded));
    }
}

// Dithers all rows, writing each index at the start of the pixel data, row y at y * W4.
void Dither(DitherJob& job, std::uint8_t* pixels, DiffusionObserver& observer) {
    job.pixels = pixels;
    if (job.lanes == 2 && RunSideBySide([&] { DitherLane(job, 0, &observer); },
                                        [&] { DitherLane(job, 1, nullptr); })) {
        return;
    }
    job.lanes = 1; // no second thread: one lane does it all
    DitherLane(job, 0, &observer);
}

} // namespace

GroupSizes GroupSizesFor(int fixedCount) {
    const int fixed = fixedCount < 0 ? 0 : (fixedCount > 256 ? 256 : fixedCount);
    const int basic = 256 - fixed > 42 ? 42 : 256 - fixed;
    const int free = 256 - fixed - basic;
    return {fixed, basic, free < 0 ? 0 : free};
}

Result DiffuseImage(std::uint8_t* data, std::uint64_t size, const Resizer& resize,
                    const DiffusionInput& input, DiffusionObserver& observer) {
    const bool adaptive = input.method == DiffusionMethod::Adaptive;
    GroupSizes sizes = GroupSizesFor(input.fixedCount);
    if (adaptive) {
        sizes.free += sizes.basic; // the image's own colours take the basic colours' places
        sizes.basic = 0;
    }
    observer.Opening(sizes.fixed, sizes.basic, sizes.free);

    TrueColourSource source;
    if (const auto refusal = CheckTrueColourSource(data, size, source)) {
        return {*refusal, size};
    }
    const TrueColourGeometry& g = source.geometry;

    // Everything the run needs is set aside before any pixel changes. Without rows there is
    // nothing to dither, however wide the header says a row is.
    DiffusionPalette palette;
    std::unique_ptr<DitherJob> job;
    std::unique_ptr<AdaptiveDither> adaptiveJob;
    try {
        SourceRows rows(data, source);
        FillFixedAndBasic(palette, sizes, input);
        const int lanes = LanesFor(g, input.threads);
        const bool filled = adaptive
                                ? BuildAdaptivePalette(palette, sizes, rows, g, lanes, observer)
                                : FillFreeGroup(palette, sizes, rows, g, observer);
        if (!filled) {
            return {Outcome::NoMemory, size};
        }
        if (g.rows > 0 && adaptive) {
            adaptiveJob = std::make_unique<AdaptiveDither>(g, palette, lanes);
            adaptiveJob->FitPalette(data, source, sizes.fixed);
        } else if (g.rows > 0) {
            job = std::make_unique<DitherJob>(g, palette, lanes);
        }
    } catch (const std::bad_alloc&) {
        return {Outcome::NoMemory, size};
    }
    // A small image's 8-bit file is longer than its 24-bit one, and a 16-bit image's 24-bit
    // rows are longer than its own: grow before any pixel changes, so that a failure leaves
    // the image as it was.
    const std::uint64_t pixelBytes = g.rows * g.padded;
    const std::uint64_t newSize = bmp::k8BitPixelData + pixelBytes;
    const std::uint64_t needed = std::max(newSize, PlainSize(source));
    std::uint64_t blockSize = size;
    if (needed > size) {
        const ResizeResult grown = resize(needed);
        if (!grown.resized) {
            return {Outcome::NoMemory, size};
        }
        data = grown.data;
        blockSize = needed;
    }
    RewriteAsPlain24(data, source);
    observer.PaletteComplete(palette.data());

    observer.Phase(2);
    if (job) {
        Dither(*job, data + bmp::kHeadersSize, observer);
    } else if (adaptiveJob) {
        adaptiveJob->Run(data + bmp::kHeadersSize, observer);
    }
    std::memmove(data + bmp::k8BitPixelData, data + bmp::kHeadersSize, pixelBytes);
    MarkAs8Bit(data, static_cast<std::uint32_t>(pixelBytes));
    for (int j = 0; j < 256; ++j) {
        std::uint8_t* entry = data + bmp::kColourTable + 4 * j;
        entry[0] = palette[4 * j + 2];
        entry[1] = palette[4 * j + 1];
        entry[2] = palette[4 * j];
        entry[3] = 0;
    }
    if (newSize < blockSize) {
        resize(newSize);
    }
    observer.Finished();
    return {Outcome::Converted, newSize};
}

} // namespace reduce
