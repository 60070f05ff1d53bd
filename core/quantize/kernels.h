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
    constexpr int Weight(int dx, int dy) const {
        for (int i = 0; i < count; ++i) {
            if (taps[i].dx == dx && taps[i].dy == dy) {
                return taps[i].weight;
            }
        }
        return 0;
    }
};

// Floyd and Steinberg's: 7 to the next pixel, 3, 5 and 1 to the row below, over 16.
inline constexpr Kernel kFloydSteinberg{{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}, 4, 16, true};

// Jarvis, Judice and Ninke's, the widest and deepest of the classic kernels: two pixels on
// either side and two rows down, over 48. Not offered yet; the tests run it to hold the engine
// to every shape a kernel may have.
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

// The kernels the engine runs, by number (its table of them, in kernel_dither.cpp, is in this
// order).
enum class KernelName { FloydSteinberg, JarvisJudiceNinke };

} // namespace quantize
