#include "tests/support/literal_diffusion.h"

#include <cstdlib>
#include <cstring>

namespace literal {
namespace {

struct FrequencyRecord {
    std::uint8_t r, g, b, zero;
    std::uint32_t count;
};

std::int32_t S32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                     static_cast<std::uint32_t>(b[at + 3]) << 24);
}
void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

void Progress(quantize::DiffusionObserver& observer, std::int64_t done, std::int64_t total) {
    if (done % 100 == 0) {
        observer.Progress(done, total);
    }
}

int Clamp(int v) {
    return v >= 255 ? 255 : (v <= 0 ? 0 : v);
}

void Pass(std::uint8_t* pixel, int eR, int eG, int eB, int numerator, int denominator) {
    pixel[2] = static_cast<std::uint8_t>(Clamp(pixel[2] + numerator * eR / denominator));
    pixel[1] = static_cast<std::uint8_t>(Clamp(pixel[1] + numerator * eG / denominator));
    pixel[0] = static_cast<std::uint8_t>(Clamp(pixel[0] + numerator * eB / denominator));
}

} // namespace

int Nearest(const std::uint8_t* palette, int r, int g, int b) {
    int best = 0;
    long bestDistance = -1;
    for (int k = 0; k < 256; ++k) {
        const long dr = r - palette[4 * k], dg = g - palette[4 * k + 1],
                   db = b - palette[4 * k + 2];
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return best;
}

quantize::Outcome Diffuse(std::vector<std::uint8_t>& image, int F, const std::uint8_t* saved,
                          const std::uint8_t* basic, quantize::DiffusionObserver& observer) {
    const int B = 256 - F > 42 ? 42 : 256 - F;
    int N = 256 - F - B;
    if (N < 0) {
        N = 0;
    }
    const int P = F + B;
    observer.Opening(F, B, N);

    std::uint8_t pal[1024] = {}; // red, green, blue, flags
    for (int i = 0; i < F; ++i) {
        pal[4 * i] = saved[4 * i + 2];
        pal[4 * i + 1] = saved[4 * i + 1];
        pal[4 * i + 2] = saved[4 * i];
        pal[4 * i + 3] = 1;
    }
    for (int k = 0; k < B; ++k) {
        pal[4 * (F + k)] = basic[3 * k];
        pal[4 * (F + k) + 1] = basic[3 * k + 1];
        pal[4 * (F + k) + 2] = basic[3 * k + 2];
        pal[4 * (F + k) + 3] = 1;
    }
    if ((image[28] | image[29] << 8) <= 8) {
        return quantize::Outcome::AlreadyIndexed;
    }

    const std::int64_t W = S32(image, 18);
    const std::int64_t H = std::abs(S32(image, 22)); // rows in storage order
    const std::int64_t W4 = (W + 3) & ~3;
    const std::int64_t S = (3 * W + 3) & ~3;
    const std::size_t pixels = 54;

    // The FrequencyTable: one record per position, and at least N + 1, the extra ones
    // reading as zero.
    std::vector<FrequencyRecord> table(W4 * H > N + 1 ? W4 * H : N + 1,
                                       FrequencyRecord{0, 0, 0, 0, 0});
    std::int64_t used = 0;
    for (std::int64_t i = 0; i < W4 * H; ++i) {
        Progress(observer, i, W4 * H);
        const std::int64_t x = i % W4, y = i / W4;
        if (x >= W) {
            continue;
        }
        const std::uint8_t* p = &image[pixels + y * S + 3 * x];
        const std::uint8_t b = p[0], g = p[1], r = p[2];
        bool inPalette = false;
        for (int k = 0; k < P && !inPalette; ++k) {
            inPalette = pal[4 * k] == r && pal[4 * k + 1] == g && pal[4 * k + 2] == b;
        }
        if (inPalette) {
            continue;
        }
        std::int64_t j = 0;
        while (j < used && !(table[j].r == r && table[j].g == g && table[j].b == b)) {
            ++j;
        }
        if (j < used) {
            ++table[j].count;
        } else {
            table[used++] = FrequencyRecord{r, g, b, 0, 1};
        }
    }

    observer.Phase(1);
    for (int p = 0; p < N; ++p) {
        Progress(observer, p, N);
        for (int j = 0; j <= N - 1 - p; ++j) {
            if (table[j].count < table[j + 1].count) {
                std::swap(table[j], table[j + 1]);
            }
        }
    }
    if (N > 0) {
        for (std::int64_t i = N; i < W4 * H; ++i) {
            if (table[i].count > table[N - 1].count) {
                int k = N - 2;
                while (k >= 0 && table[k].count < table[i].count) {
                    --k;
                }
                ++k;
                for (int m = N - 2; m >= k; --m) {
                    table[m + 1] = table[m];
                }
                table[k] = table[i];
            }
        }
    }
    for (int r = 0; r < N; ++r) {
        pal[4 * (P + r)] = table[r].r;
        pal[4 * (P + r) + 1] = table[r].g;
        pal[4 * (P + r) + 2] = table[r].b;
        pal[4 * (P + r) + 3] = 1;
    }
    observer.PaletteComplete();

    const std::int64_t M = (H - 1) * W4;
    observer.Phase(2);
    for (std::int64_t i = 0; i < M; ++i) {
        Progress(observer, i, M);
        const std::int64_t x = i % W4, y = i / W4;
        if (x >= W) {
            image[pixels + i] = 0;
            continue;
        }
        std::uint8_t* p = &image[pixels + y * S + 3 * x];
        const int k = Nearest(pal, p[2], p[1], p[0]);
        const int eR = p[2] - pal[4 * k], eG = p[1] - pal[4 * k + 1], eB = p[0] - pal[4 * k + 2];
        if (eR != 0 || eG != 0 || eB != 0) {
            if (x + 1 < W) {
                Pass(p + 3, eR, eG, eB, 3, 8);
            }
            if (y + 1 < H) {
                Pass(p + S, eR, eG, eB, 3, 8);
            }
            if (x + 1 < W && y + 1 < H) {
                Pass(p + S + 3, eR, eG, eB, 1, 4);
            }
        }
        image[pixels + i] = static_cast<std::uint8_t>(k);
    }
    for (std::int64_t x = 0; x < W4 && H > 0; ++x) {
        const std::int64_t i = (H - 1) * W4 + x;
        if (x >= W) {
            image[pixels + i] = 0;
            continue;
        }
        std::uint8_t* p = &image[pixels + (H - 1) * S + 3 * x];
        const int k = Nearest(pal, p[2], p[1], p[0]);
        const int eR = p[2] - pal[4 * k], eG = p[1] - pal[4 * k + 1], eB = p[0] - pal[4 * k + 2];
        if (eR + eG + eB != 0 && x + 1 < W) {
            Pass(p + 3, eR, eG, eB, 3, 8);
        }
        image[pixels + i] = static_cast<std::uint8_t>(k);
    }

    const std::size_t length = 1078 + H * W4;
    if (image.size() < length) {
        image.resize(length);
    }
    std::memmove(&image[1078], &image[54], H * W4);
    image.resize(length);
    PutU32(image, 10, static_cast<std::uint32_t>(S32(image, 10)) + 1024);
    PutU32(image, 2, static_cast<std::uint32_t>(length));
    image[28] = 8;
    image[29] = 0;
    PutU32(image, 34, static_cast<std::uint32_t>(H * W4));
    for (int j = 0; j < 256; ++j) {
        image[54 + 4 * j] = pal[4 * j + 2];
        image[54 + 4 * j + 1] = pal[4 * j + 1];
        image[54 + 4 * j + 2] = pal[4 * j];
        image[54 + 4 * j + 3] = 0;
    }
    observer.Finished();
    return quantize::Outcome::Converted;
}

} // namespace literal
