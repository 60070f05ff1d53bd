#include "tests/support/literal_refine.h"

#include <algorithm>
#include <cstdlib>

#include "core/quantize/refine.h"

namespace literal {
namespace {

// The entry of [first, end) nearest to a colour (blue, green, red), of equals the lowest.
int Nearest(const quantize::DiffusionPalette& palette, int first, int end, const int bgr[3]) {
    int best = first;
    long bestDistance = -1;
    for (int e = first; e < end; ++e) {
        const long db = palette[e].blue - bgr[0], dg = palette[e].green - bgr[1],
                   dr = palette[e].red - bgr[2];
        const long distance = db * db + dg * dg + dr * dr;
        if (bestDistance < 0 || distance < bestDistance) {
            best = e;
            bestDistance = distance;
        }
    }
    return best;
}

int Channel(const quantize::PaletteEntry& e, int c) {
    return c == 0 ? e.blue : (c == 1 ? e.green : e.red);
}

// n / d rounded to the nearest, halves upward (d > 0).
long long RoundedQuotient(long long n, long long d) {
    long long q = n / d; // toward zero
    if (q * d > n) {
        --q; // now the floor
    }
    return 2 * (n - q * d) >= d ? q + 1 : q;
}

} // namespace

std::vector<std::uint8_t> Refine(const std::vector<std::uint8_t>& pixels, int width, int rows,
                                 std::vector<std::uint8_t> indices,
                                 const quantize::DiffusionPalette& palette,
                                 const quantize::PaletteFacts& facts,
                                 const quantize::Effort& effort) {
    const quantize::RefineFilter& filter = quantize::RefineFilterOf(effort.filter);
    const int reach = filter.reach;
    const auto a = [&](int i) { return static_cast<long long>(filter.weights[std::abs(i)]); };
    const long long s = a(0) * a(0);
    const long long lambda = static_cast<long long>(effort.lambda) * 65536 / 64;
    const int first = facts.key ? 1 : 0;
    const int end = facts.entries;
    const auto source = [&](int x, int y, int c) {
        return static_cast<int>(pixels[static_cast<std::size_t>(3 * (y * width + x) + c)]);
    };
    const auto difference = [&](int x, int y, int c) {
        return Channel(palette[indices[static_cast<std::size_t>(y * width + x)]], c) -
               source(x, y, c);
    };
    const int stripes = (rows + 31) / 32;
    for (int pass = 0; pass < effort.refinePasses; ++pass) {
        for (int half = 0; half < 2; ++half) {
            for (int stripe = half; stripe < stripes; stripe += 2) {
                for (int y = 32 * stripe; y < std::min(rows, 32 * stripe + 32); ++y) {
                    for (int x = 0; x < width; ++x) {
                        const int current = indices[static_cast<std::size_t>(y * width + x)];
                        int own[3];
                        for (int c = 0; c < 3; ++c) {
                            own[c] = source(x, y, c);
                        }
                        bool held = facts.key && current == 0;
                        for (int e = 0; e < end && facts.exactColours; ++e) {
                            held = held || (palette[e].blue == own[0] &&
                                            palette[e].green == own[1] && palette[e].red == own[2]);
                        }
                        if (held) {
                            continue;
                        }
                        long long pull[3];
                        int wanted[3];
                        for (int c = 0; c < 3; ++c) {
                            long long f = 0;
                            for (int i = -reach; i <= reach; ++i) {
                                for (int j = -reach; j <= reach; ++j) {
                                    if (y + i >= 0 && y + i < rows && x + j >= 0 && x + j < width) {
                                        f += a(i) * a(j) * difference(x + j, y + i, c);
                                    }
                                }
                            }
                            pull[c] = f + lambda * difference(x, y, c);
                            const long long move = RoundedQuotient(pull[c], s + lambda);
                            wanted[c] = static_cast<int>(
                                std::clamp(Channel(palette[current], c) - move, 0LL, 255LL));
                        }
                        const int candidates[2] = {Nearest(palette, first, end, wanted),
                                                   Nearest(palette, first, end, own)};
                        long long best = 0;
                        int chosen = current;
                        for (const int candidate : candidates) {
                            long long change = 0;
                            for (int c = 0; c < 3; ++c) {
                                const long long delta =
                                    Channel(palette[candidate], c) - Channel(palette[current], c);
                                change += 2 * delta * pull[c] + delta * delta * (s + lambda);
                            }
                            if (change < best) {
                                best = change;
                                chosen = candidate;
                            }
                        }
                        indices[static_cast<std::size_t>(y * width + x)] =
                            static_cast<std::uint8_t>(chosen);
                    }
                }
            }
        }
    }
    return indices;
}

} // namespace literal
