#include "tests/support/literal_kernel.h"

#include <algorithm>
#include <cstdlib>

#include "core/quantize/linear_light.h"

namespace literal {
namespace {

// a / b rounded down, for any sign of a (b > 0).
int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

struct Image {
    const std::vector<std::uint8_t>& pixels;
    int width;
    int channel(int x, int y, int c) const { return pixels[(y * width + x) * 3 + c]; }
};

// The entry a colour (blue, green, red) takes with no error brought to it: its own colour's
// lowest entry where the entries are the image's colours, else the nearest.
int OwnEntry(const int bgr[3], const quantize::DiffusionPalette& palette,
             const quantize::PaletteFacts& facts, bool& held) {
    held = false;
    for (int e = 0; e < facts.entries && facts.exactColours; ++e) {
        if (palette[e].blue == bgr[0] && palette[e].green == bgr[1] && palette[e].red == bgr[2]) {
            held = true;
            return e;
        }
    }
    int best = 0, bestDistance = -1;
    for (int e = 0; e < facts.entries; ++e) {
        const int db = bgr[0] - palette[e].blue, dg = bgr[1] - palette[e].green,
                  dr = bgr[2] - palette[e].red;
        const int d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = e;
            bestDistance = d;
        }
    }
    return best;
}

// Flat: every channel equal to the neighbours the pixel has on either side along the row.
bool Flat(const Image& image, int x, int y) {
    for (int c = 0; c < 3; ++c) {
        for (const int n : {x - 1, x + 1}) {
            if (n >= 0 && n < image.width && image.channel(n, y, c) != image.channel(x, y, c)) {
                return false;
            }
        }
    }
    return true;
}

// Smooth: three pixels on either side, every channel of each within two levels.
bool Smooth(const Image& image, int x, int y) {
    if (x < 3 || x + 3 >= image.width) {
        return false;
    }
    for (int d = -3; d <= 3; ++d) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(image.channel(x + d, y, c) - image.channel(x, y, c)) > 2) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

std::vector<std::uint8_t> KernelDiffuse(const std::vector<std::uint8_t>& pixels, int width,
                                        int rows, const quantize::DiffusionPalette& palette,
                                        const quantize::PaletteFacts& facts,
                                        const quantize::Kernel& kernel, int strength,
                                        quantize::Policy policy, bool linear) {
    const Image image{pixels, width};
    // The agreement: on rows 0, 32, 64 ..., pixels that take the entry of the one before them.
    int same = 0, pairs = 0;
    for (int y = 0; y < rows && width >= 2; y += 32) {
        for (int x = 1; x < width; ++x) {
            bool held = false;
            const int a[3] = {image.channel(x - 1, y, 0), image.channel(x - 1, y, 1),
                              image.channel(x - 1, y, 2)};
            const int b[3] = {image.channel(x, y, 0), image.channel(x, y, 1),
                              image.channel(x, y, 2)};
            same += OwnEntry(a, palette, facts, held) == OwnEntry(b, palette, facts, held);
            ++pairs;
        }
    }
    // What the kernel's taps pass on together, in 64ths of the error.
    int sum = 0;
    for (int t = 0; t < kernel.count; ++t) {
        sum += kernel.taps[t].weight;
    }
    const quantize::DitherSettings settings{strength, facts.entries,
                                            pairs == 0 ? 1000 : 1000 * same / pairs,
                                            64 * sum / kernel.divisor};

    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width * rows));
    std::vector<int> carried(static_cast<std::size_t>(width * rows * 3));
    const int d = kernel.divisor;
    // A level as the light carries it, and back.
    const auto light = [linear](int level) {
        return linear ? static_cast<int>(quantize::kLinearOfLevel[level]) : level;
    };
    const int top = linear ? quantize::kLinearTop : 255;
    for (int band = 0; band < 8; ++band) {
        const int begin = (rows * band + 7) / 8, end = (rows * (band + 1) + 7) / 8;
        for (int y = begin; y < end; ++y) {
            const int step = !kernel.serpentine || (y - begin) % 2 == 0 ? 1 : -1;
            for (int i = 0; i < width; ++i) {
                const int x = step > 0 ? i : width - 1 - i;
                int target[3], levels[3];
                for (int c = 0; c < 3; ++c) {
                    const int whole = FloorDiv(carried[(y * width + x) * 3 + c] + d / 2, d);
                    target[c] = std::clamp(light(image.channel(x, y, c)) + whole, 0, top);
                    levels[c] = linear
                                    ? quantize::kLevelOfLinear[static_cast<std::size_t>(target[c])]
                                    : target[c];
                }
                const int own[3] = {image.channel(x, y, 0), image.channel(x, y, 1),
                                    image.channel(x, y, 2)};
                bool held = false;
                int k = OwnEntry(own, palette, facts, held);
                if (!held) {
                    k = OwnEntry(levels, palette,
                                 quantize::PaletteFacts{0, false, facts.entries, false, {}}, held);
                    held = false;
                }
                indices[static_cast<std::size_t>(y * width + x)] = static_cast<std::uint8_t>(k);
                const int entry[3] = {palette[k].blue, palette[k].green, palette[k].red};
                const quantize::PixelContext pixel{held, Flat(image, x, y), Smooth(image, x, y),
                                                   std::abs(levels[0] - entry[0]) +
                                                       std::abs(levels[1] - entry[1]) +
                                                       std::abs(levels[2] - entry[2])};
                const quantize::ErrorShare share = policy(settings, pixel);
                for (int c = 0; c < 3; ++c) {
                    const int diff = target[c] - light(entry[c]);
                    const int e =
                        FloorDiv(FloorDiv(diff * share.first + 32, 64) * share.then + 32, 64);
                    for (int t = 0; t < kernel.count; ++t) {
                        const quantize::Tap& tap = kernel.taps[t];
                        const int tx = x + step * tap.dx, ty = y + tap.dy;
                        if (tx >= 0 && tx < width && ty < end) {
                            carried[(ty * width + tx) * 3 + c] += tap.weight * e;
                        }
                    }
                }
            }
        }
    }
    return indices;
}

} // namespace literal
