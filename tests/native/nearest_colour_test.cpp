// The nearest-colour search against a scan of all 256 entries, on palettes that stress its
// cells: clusters packed into one cell, duplicates, ties at equal distances.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <thread>

#include "core/quantize/nearest_colour.h"

namespace {

using Palette = std::array<std::uint8_t, 1024>;

int Scan(const Palette& p, int red, int green, int blue) {
    int best = 0, bestDistance = 1 << 30;
    for (int e = 0; e < 256; ++e) {
        const int dr = red - p[4 * e], dg = green - p[4 * e + 1], db = blue - p[4 * e + 2];
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = e;
        }
    }
    return best;
}

void Set(Palette& p, int e, int red, int green, int blue) {
    p[4 * e] = static_cast<std::uint8_t>(red);
    p[4 * e + 1] = static_cast<std::uint8_t>(green);
    p[4 * e + 2] = static_cast<std::uint8_t>(blue);
    p[4 * e + 3] = 1;
}

// Asks about every colour of the box [low, low + size) and 50000 colours anywhere.
void ExpectSameAsScan(const Palette& p, const std::array<int, 3>& low, int size, int seed,
                      const std::string& what) {
    quantize::NearestColour nearest(p.data(), 1);
    nearest.Reset(p.data()); // starts over as it was made
    int wrong = 0;
    auto check = [&](int r, int g, int b) {
        const int expected = Scan(p, r, g, b);
        const int got = nearest.Find(r, g, b);
        if (got != expected && ++wrong <= 5) {
            ADD_FAILURE() << what << ": colour " << r << "," << g << "," << b << " gave " << got
                          << ", expected " << expected;
        }
    };
    for (int r = low[0]; r < low[0] + size && r < 256; ++r) {
        for (int g = low[1]; g < low[1] + size && g < 256; ++g) {
            for (int b = low[2]; b < low[2] + size && b < 256; ++b) {
                check(r, g, b);
            }
        }
    }
    std::mt19937 rng(static_cast<std::uint32_t>(seed));
    for (int i = 0; i < 50000; ++i) {
        check(static_cast<int>(rng() & 255), static_cast<int>(rng() & 255),
              static_cast<int>(rng() & 255));
    }
}

TEST(NearestColour, AgreesWithAFullScan) {
    std::mt19937 rng(5);
    auto any = [&] { return static_cast<int>(rng() & 255); };

    Palette spread{};
    for (int e = 0; e < 256; ++e) {
        Set(spread, e, any(), any(), any());
    }
    ExpectSameAsScan(spread, {100, 20, 180}, 48, 1, "random palette");

    // Most entries inside a few fine cells: long contender lists and answer tables.
    Palette packed{};
    for (int e = 0; e < 256; ++e) {
        const int base = e < 128 ? 100 : 200;
        Set(packed, e, base + any() % 6, base + any() % 5, 60 + any() % 7);
    }
    ExpectSameAsScan(packed, {92, 92, 52}, 24, 2, "packed palette");
    ExpectSameAsScan(packed, {194, 194, 54}, 20, 3, "packed palette");

    // Duplicates and black: the lowest index wins among equal colours.
    Palette duplicates{};
    for (int e = 0; e < 256; ++e) {
        const int k = e % 7;
        Set(duplicates, e, 40 * k, 255 - 30 * k, 17 * k);
    }
    ExpectSameAsScan(duplicates, {0, 200, 0}, 56, 4, "duplicates");

    // Every entry a contender of the last top cell, the one nearest its middle coming last:
    // its list is as long as a list can be.
    Palette crowded{};
    for (int e = 0; e < 255; ++e) {
        Set(crowded, e, 192 + e % 8 * 8, 192 + e / 8 % 8 * 8, 192 + e / 64 * 8);
    }
    Set(crowded, 255, 224, 224, 224);
    ExpectSameAsScan(crowded, {192, 192, 192}, 64, 9, "crowded top cell");

    Palette allBlack{};
    ExpectSameAsScan(allBlack, {0, 0, 0}, 32, 5, "all black");

    // Entries two levels apart on a line, and on both sides of cell borders: many colours
    // lie at equal distance from two entries.
    Palette ties{};
    for (int e = 0; e < 256; ++e) {
        Set(ties, e, (e * 2) & 255, e < 128 ? 64 : 66, e % 2 == 0 ? 3 : 5);
    }
    ExpectSameAsScan(ties, {0, 56, 0}, 40, 6, "ties");
    ExpectSameAsScan(ties, {216, 60, 0}, 40, 7, "ties");
}

// Two threads asking about every cell at once, each with its own shard, work out many
// cells twice, and run out of room for tables, after which a cell's table is worked out anew
// for each question; the answers stay those of the scan.
TEST(NearestColour, TwoShardsAskingAtOnceAgreeWithAFullScan) {
    // A lattice of entries 8 levels apart in red and green: nearly every cell of that part of
    // the cube lies on a border between entries and has a table of its own.
    Palette p{};
    for (int e = 0; e < 256; ++e) {
        Set(p, e, 8 * (e % 16), 8 * (e / 16), 128);
    }
    quantize::NearestColour nearest(p.data(), 2);
    int wrong[2] = {};
    const auto ask = [&](int shard) {
        for (int pass = 0; pass < 2; ++pass) {
            for (int r = shard; r < 256; r += 4) {
                for (int g = pass; g < 256; g += 4) {
                    for (int b = 3 - shard; b < 256; b += 4) {
                        wrong[shard] += nearest.Find(r, g, b, shard) != Scan(p, r, g, b);
                    }
                }
            }
        }
    };
    std::thread other(ask, 1);
    ask(0);
    other.join();
    EXPECT_EQ(wrong[0], 0);
    EXPECT_EQ(wrong[1], 0);
}

} // namespace
