// Error-diffusion kernels as data: where a pixel's error goes and in what shares. Portable: no
// platform headers.
#pragma once

namespace quantize {

// A share of the error: `dx` pixels along the row in the direction the row is dithered (so
// that a serpentine kernel is mirrored on the rows dithered from right to left) and `dy` rows
// down, `weight` over the kernel's divisor.
struct Tap {
    int dx, dy, weight;
};

struct Kernel {
    static constexpr int kMostTaps = 12;
    Tap taps[kMostTaps];
    int count;
    int divisor;     // 2 to 128
    bool serpentine; // rows in turn from left to right and from right to left

    // How far the taps reach along the row, on either side, and how many rows down.
    constexpr int Reach() const {
        int reach = 0;
        for (int i = 0; i < count; ++i) {
            reach = taps[i].dx > reach ? taps[i].dx : (-taps[i].dx > reach ? -taps[i].dx : reach);
        }
        return reach;
    }
    constexpr int Depth() const {
        int depth = 0;
        for (int i = 0; i < count; ++i) {
            depth = taps[i].dy > depth ? taps[i].dy : depth;
        }
        return depth;
    }
    // Of an error, in 64ths, what the taps pass on together.
    constexpr int Share() const {
        int sum = 0;
        for (int i = 0; i < count; ++i) {
            sum += taps[i].weight;
        }
        return 64 * sum / divisor;
    }
    constexpr int Weight(int dx, int dy) const {
        for (int i = 0; i < count; ++i) {
            if (taps[i].dx == dx && taps[i].dy == dy) {
                return taps[i].weight;
            }
        }
        return 0;
    }
};

// The classic kernels, each as its authors gave it; serpentine, as 誤差拡散（高画質） has always
// dithered.
// Floyd and Steinberg's: 7 to the next pixel, 3, 5 and 1 to the row below, over 16.
inline constexpr Kernel kFloydSteinberg{{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}, 4, 16, true};

// Atkinson's: an eighth to each of six pixels, two ahead, three below, one two rows down; the
// other quarter of the error is dropped, which keeps highlights and shadows clean.
inline constexpr Kernel kAtkinson{
    {{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}}, 6, 8, true};

// Sierra's three rows, over 32.
inline constexpr Kernel kSierra{{{1, 0, 5},
                                 {2, 0, 3},
                                 {-2, 1, 2},
                                 {-1, 1, 4},
                                 {0, 1, 5},
                                 {1, 1, 4},
                                 {2, 1, 2},
                                 {-1, 2, 2},
                                 {0, 2, 3},
                                 {1, 2, 2}},
                                10,
                                32,
                                true};

// Sierra's two rows, over 16.
inline constexpr Kernel kSierraTwoRow{
    {{1, 0, 4}, {2, 0, 3}, {-2, 1, 1}, {-1, 1, 2}, {0, 1, 3}, {1, 1, 2}, {2, 1, 1}}, 7, 16, true};

// Sierra Lite: half to the next pixel, a quarter to each of two below, over 4.
inline constexpr Kernel kSierraLite{{{1, 0, 2}, {-1, 1, 1}, {0, 1, 1}}, 3, 4, true};

// Jarvis, Judice and Ninke's, the widest and deepest of the classic kernels: two pixels on
// either side and two rows down, over 48.
inline constexpr Kernel kJarvisJudiceNinke{{{1, 0, 7},
                                            {2, 0, 5},
                                            {-2, 1, 3},
                                            {-1, 1, 5},
                                            {0, 1, 7},
                                            {1, 1, 5},
                                            {2, 1, 3},
                                            {-2, 2, 1},
                                            {-1, 2, 3},
                                            {0, 2, 5},
                                            {1, 2, 3},
                                            {2, 2, 1}},
                                           12,
                                           48,
                                           true};

// Stucki's: Jarvis, Judice and Ninke's shape with weights of powers of two, over 42.
inline constexpr Kernel kStucki{{{1, 0, 8},
                                 {2, 0, 4},
                                 {-2, 1, 2},
                                 {-1, 1, 4},
                                 {0, 1, 8},
                                 {1, 1, 4},
                                 {2, 1, 2},
                                 {-2, 2, 1},
                                 {-1, 2, 2},
                                 {0, 2, 4},
                                 {1, 2, 2},
                                 {2, 2, 1}},
                                12,
                                42,
                                true};

// Burkes's: Stucki's first two rows, over 32.
inline constexpr Kernel kBurkes{
    {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}, 7, 32, true};

// The kernels the engine runs, by number (its table of them, in kernel_dither.cpp, and
// kKernels are in this order).
enum class KernelName {
    FloydSteinberg,
    JarvisJudiceNinke,
    Atkinson,
    Sierra,
    SierraTwoRow,
    SierraLite,
    Stucki,
    Burkes,
};
inline constexpr const Kernel* kKernels[] = {
    &kFloydSteinberg, &kJarvisJudiceNinke, &kAtkinson, &kSierra,
    &kSierraTwoRow,   &kSierraLite,        &kStucki,   &kBurkes};
inline constexpr int kKernelCount = sizeof kKernels / sizeof kKernels[0];

} // namespace quantize
