// Linear light: the sRGB levels of a channel as intensities of 12 bits, and back, by tables.
// An error carried as intensity rather than as levels keeps the brightness of a dithered area
// as the eye averages it. Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>

namespace quantize {

constexpr int kLinearTop = 4095;

// The intensity of each sRGB level (IEC 61966-2-1: level / 255 / 12.92 up to 0.04045, else
// ((level / 255 + 0.055) / 1.055)^2.4), times 4095 and rounded; no two levels share one.
// Made by: [round(4095 * (s / 255 / 12.92 if s <= 10 else ((s / 255 + .055) / 1.055) ** 2.4))
// for s in range(256)].
inline constexpr std::uint16_t kLinearOfLevel[256] = {
    0,    1,    2,    4,    5,    6,    7,    9,    10,   11,   12,   14,   15,   16,   18,   20,
    21,   23,   25,   27,   29,   31,   33,   35,   37,   40,   42,   45,   48,   50,   53,   56,
    59,   62,   66,   69,   72,   76,   79,   83,   87,   91,   95,   99,   103,  107,  112,  116,
    121,  126,  131,  136,  141,  146,  151,  156,  162,  168,  173,  179,  185,  191,  197,  204,
    210,  216,  223,  230,  237,  244,  251,  258,  265,  273,  280,  288,  296,  304,  312,  320,
    329,  337,  346,  354,  363,  372,  381,  390,  400,  409,  419,  428,  438,  448,  458,  469,
    479,  490,  500,  511,  522,  533,  544,  555,  567,  578,  590,  602,  614,  626,  639,  651,
    664,  676,  689,  702,  715,  728,  742,  755,  769,  783,  797,  811,  825,  840,  854,  869,
    884,  899,  914,  929,  945,  960,  976,  992,  1008, 1024, 1041, 1057, 1074, 1091, 1108, 1125,
    1142, 1159, 1177, 1195, 1213, 1231, 1249, 1267, 1286, 1304, 1323, 1342, 1361, 1381, 1400, 1420,
    1440, 1459, 1480, 1500, 1520, 1541, 1562, 1582, 1603, 1625, 1646, 1668, 1689, 1711, 1733, 1755,
    1778, 1800, 1823, 1846, 1869, 1892, 1916, 1939, 1963, 1987, 2011, 2035, 2059, 2084, 2109, 2133,
    2159, 2184, 2209, 2235, 2260, 2286, 2312, 2339, 2365, 2392, 2419, 2446, 2473, 2500, 2527, 2555,
    2583, 2611, 2639, 2668, 2696, 2725, 2754, 2783, 2812, 2841, 2871, 2901, 2931, 2961, 2991, 3022,
    3052, 3083, 3114, 3146, 3177, 3209, 3240, 3272, 3304, 3337, 3369, 3402, 3435, 3468, 3501, 3535,
    3568, 3602, 3636, 3670, 3705, 3739, 3774, 3809, 3844, 3879, 3915, 3950, 3986, 4022, 4059, 4095};

// The level of each intensity 0 to 4095: the one whose intensity is nearest (of two as near,
// the lower), so that every level comes back from its own intensity.
inline constexpr auto kLevelOfLinear = [] {
    std::array<std::uint8_t, kLinearTop + 1> levels{};
    int level = 0;
    for (int v = 0; v <= kLinearTop; ++v) {
        while (level < 255 && kLinearOfLevel[level + 1] - v < v - kLinearOfLevel[level]) {
            ++level;
        }
        levels[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(level);
    }
    return levels;
}();

} // namespace quantize
