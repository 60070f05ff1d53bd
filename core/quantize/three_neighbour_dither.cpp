#include "core/quantize/three_neighbour_dither.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "core/quantize/nearest_colour.h"
#include "core/quantize/side_by_side.h"

namespace quantize {
namespace {

// The shares of one channel's error e passed to the right neighbour, the neighbour in the
// next row, and the next row's right neighbour: 3e/8, 3e/8 and e/4, each rounded toward
// zero, so small errors vanish.
struct ErrorShares {
    int right, down, downRight;
};
inline ErrorShares SharesOf(int e) {
    return {3 * e / 8, 3 * e / 8, e / 4};
}

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

} // namespace

// Everything dithering needs, set aside before any pixel changes, so that running out of
// memory leaves the image as it was.
struct DitherJob {
    DitherJob(const bmp::TrueColourGeometry& geometry, const DiffusionPalette& colours,
              int laneCount)
        : g(geometry), palette(colours), lanes(laneCount),
          nearest(std::make_unique<NearestColour>(palette, lanes)) {
        for (int i = 0; i < lanes; ++i) {
            indices[i].assign(static_cast<std::size_t>(g.padded), 0);
        }
    }
    const bmp::TrueColourGeometry g;
    const DiffusionPalette palette;
    int lanes;
    std::uint8_t* pixels = nullptr;
    Lane progress[2];
    std::unique_ptr<NearestColour> nearest; // each lane asks with its own shard
    std::vector<std::uint8_t> indices[2];   // the row being dithered, to be put in place
};

namespace {

// Pixels between the two lanes beyond what the order needs, so that they rarely write to the
// same cache line; and how many pixels a lane does between reports of its progress.
constexpr std::int64_t kLaneGap = 96;
constexpr std::int64_t kStretch = 64;
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
                const int eR = p[2] - palette[k].red;
                const int eG = p[1] - palette[k].green;
                const int eB = p[0] - palette[k].blue;
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
void DitherAll(DitherJob& job, std::uint8_t* pixels, DiffusionObserver& observer) {
    job.pixels = pixels;
    if (job.lanes == 2 && RunSideBySide([&] { DitherLane(job, 0, &observer); },
                                        [&] { DitherLane(job, 1, nullptr); })) {
        return;
    }
    job.lanes = 1; // no second thread: one lane does it all
    DitherLane(job, 0, &observer);
}

} // namespace

ThreeNeighbourDither::ThreeNeighbourDither(const bmp::TrueColourGeometry& geometry,
                                           const DiffusionPalette& palette, int threads)
    : job_(std::make_unique<DitherJob>(geometry, palette, threads)) {}

ThreeNeighbourDither::~ThreeNeighbourDither() = default;

const DiffusionPalette& ThreeNeighbourDither::palette() const {
    return job_->palette;
}

void ThreeNeighbourDither::Run(std::uint8_t* pixels, DiffusionObserver& observer) {
    DitherAll(*job_, pixels, observer);
}

} // namespace quantize
