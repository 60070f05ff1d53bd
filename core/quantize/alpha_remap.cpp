#include "core/quantize/alpha_remap.h"

#include <algorithm>
#include <vector>

#include "core/quantize/alpha_space.h"

namespace quantize {

void RemapWithAlpha(const std::uint8_t* rgba, std::uint64_t width, std::uint64_t height,
                    const AlphaPalette& palette, const AlphaDithering& dithering,
                    std::uint8_t* indices, std::int64_t stride, const std::int16_t* kept) {
    std::vector<AlphaPoint> points;
    int clear = -1;
    for (int e = 0; e < palette.count; ++e) {
        const RgbaEntry& entry = palette.entries[static_cast<std::size_t>(e)];
        points.push_back(PointOf(entry, dithering.weighting));
        clear = clear < 0 && entry.alpha == 0 ? e : clear;
    }
    const AlphaNearest nearest(points);
    const Kernel none{{}, 0, 1, false};
    const Kernel& kernel = dithering.kernel != nullptr ? *dithering.kernel : none;
    const bool serpentine = kernel.serpentine && dithering.serpentine;
    const auto reach = static_cast<std::uint64_t>(kernel.Reach());
    const std::uint64_t depth = static_cast<std::uint64_t>(kernel.Depth()) + 1;
    const std::uint64_t span = width + 2 * reach;
    // The errors come to the rows ahead, a ring of `depth` rows of 4 coordinates a pixel,
    // `reach` pixels of margin at either end.
    std::vector<std::int32_t> errors(static_cast<std::size_t>(depth * span * 4), 0);
    const auto at = [&](std::uint64_t y, std::uint64_t x) {
        return errors.data() + ((y % depth) * span + x + reach) * 4;
    };
    // The colours met lately and the entry each takes undithered (kFar: none near enough).
    struct Seen {
        std::uint32_t colour = 0;
        int index = -1;
    };
    constexpr int kRecentBits = 12, kFar = 256;
    std::vector<Seen> recent(std::size_t{1} << kRecentBits);
    const std::int64_t divisor = std::int64_t{kernel.divisor} * 100;
    // A level of 0 to 255 is 255 units of a coordinate; a distance counts squares of them
    // times 65025 (AlphaDistance).
    const std::int64_t flat =
        std::int64_t{dithering.flatLevels} * dithering.flatLevels * kAlphaScale * kAlphaScale;
    const std::int64_t most2 = std::int64_t{dithering.mostLevels} * dithering.mostLevels;
    for (std::uint64_t y = 0; y < height; ++y) {
        const bool back = serpentine && y % 2 == 1;
        const std::uint8_t* row = rgba + y * width * 4;
        std::uint8_t* out = indices + static_cast<std::int64_t>(y) * stride;
        for (std::uint64_t i = 0; i < width; ++i) {
            const std::uint64_t x = back ? width - 1 - i : i;
            std::int32_t* error = at(y, x);
            const RgbaEntry colour{row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
            const int still = kept != nullptr ? kept[y * width + x] : -1;
            if (still >= 0 || (colour.alpha == 0 && clear >= 0)) {
                out[x] = static_cast<std::uint8_t>(still >= 0 ? still : clear);
                std::fill(error, error + 4, 0);
                continue;
            }
            AlphaPoint target = PointOf(colour, dithering.weighting);
            // A pixel close to an entry takes it as it is: no error comes to it or leaves it,
            // so that its area stays flat. Most pixels repeat a colour seen shortly before.
            const std::uint32_t packed = std::uint32_t{colour.alpha} << 24 |
                                         std::uint32_t{colour.red} << 16 |
                                         std::uint32_t{colour.green} << 8 | colour.blue;
            Seen& seen = recent[(packed * 0x9E3779B1u) >> (32 - kRecentBits)];
            if (seen.index < 0 || seen.colour != packed) {
                const int near = nearest.Find(target);
                seen = {packed,
                        AlphaDistance(target, points[static_cast<std::size_t>(near)]) <= flat
                            ? near
                            : kFar};
            }
            if (seen.index != kFar) {
                out[x] = static_cast<std::uint8_t>(seen.index);
                std::fill(error, error + 4, 0);
                continue;
            }
            if (dithering.carryAlpha) {
                target.x[3] = std::clamp(target.x[3] + error[3], 0, kAlphaScale);
            }
            const std::int32_t top =
                dithering.weighting == AlphaWeighting::Premultiplied ? target.x[3] : kAlphaScale;
            for (int c = 0; c < 3; ++c) {
                target.x[c] = std::clamp(target.x[c] + error[c], 0, top);
            }
            std::fill(error, error + 4, 0);
            // The pixel before this one in the row is the likeliest to share its entry.
            const int e = nearest.Find(target, i == 0 ? -1 : out[back ? x + 1 : x - 1]);
            out[x] = static_cast<std::uint8_t>(e);
            std::int64_t left[4];
            for (int c = 0; c < 4; ++c) {
                left[c] = target.x[c] - points[static_cast<std::size_t>(e)].x[c];
            }
            if (!dithering.carryAlpha) {
                left[3] = 0;
            }
            // An error beyond `mostLevels` is an edge the palette cannot follow: passed on, it
            // would only streak the pixels after it.
            std::int64_t squares = 0;
            for (int c = 0; c < 3; ++c) {
                squares += (left[c] / 255) * (left[c] / 255);
            }
            if (squares > most2) {
                continue;
            }
            for (int t = 0; t < kernel.count; ++t) {
                const Tap& tap = kernel.taps[t];
                const std::int64_t dx = back ? -tap.dx : tap.dx;
                const std::int64_t to = static_cast<std::int64_t>(x) + dx;
                if (to < 0 || to >= static_cast<std::int64_t>(width) ||
                    y + static_cast<std::uint64_t>(tap.dy) >= height) {
                    continue;
                }
                std::int32_t* there =
                    at(y + static_cast<std::uint64_t>(tap.dy), static_cast<std::uint64_t>(to));
                for (int c = 0; c < 4; ++c) {
                    there[c] += static_cast<std::int32_t>(left[c] * tap.weight *
                                                          dithering.strength / divisor);
                }
            }
        }
    }
}

} // namespace quantize
