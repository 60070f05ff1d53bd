#include "core/quantize/patterns.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace quantize {
namespace {

// How dense the set places are around each place, as a Gaussian of radius (sigma) 1.5 sees
// them on the torus: exp(-r^2 / 4.5), in 1/65536, for r^2 up to 98 (beyond 53 it is 0).
constexpr int kReach = 7;
constexpr auto kGaussian = [] {
    // exp(-1/4.5), in 1/2^32.
    constexpr std::uint64_t kStep = 3439140958u;
    std::array<std::int32_t, 2 * kReach * kReach + 1> weights{};
    std::uint64_t w = std::uint64_t{1} << 32;
    for (std::int32_t& weight : weights) {
        weight = static_cast<std::int32_t>((w + (std::uint64_t{1} << 15)) >> 16);
        w = (w * kStep + (std::uint64_t{1} << 31)) >> 32;
    }
    return weights;
}();

// The places of a torus, whether each is set, and how dense the set ones are around each.
class Torus {
  public:
    explicit Torus(int side)
        : side_(side), set_(static_cast<std::size_t>(side * side)),
          density_(static_cast<std::size_t>(side * side)),
          asCluster_(static_cast<std::size_t>(side * side), -kApart),
          asVoid_(static_cast<std::size_t>(side * side)), rowMost_(static_cast<std::size_t>(side)) {
    }

    int Places() const { return side_ * side_; }
    bool IsSet(int place) const { return set_[static_cast<std::size_t>(place)] != 0; }
    void Toggle(int place) {
        const bool set = !IsSet(place);
        set_[static_cast<std::size_t>(place)] = set;
        const int px = place % side_, py = place / side_;
        for (int dy = -kReach; dy <= kReach; ++dy) {
            for (int dx = -kReach; dx <= kReach; ++dx) {
                const std::size_t at = static_cast<std::size_t>(((py + dy) & (side_ - 1)) * side_ +
                                                                ((px + dx) & (side_ - 1)));
                const std::int32_t w = kGaussian[static_cast<std::size_t>(dx * dx + dy * dy)];
                density_[at] += set ? w : -w;
                asCluster_[at] = density_[at] - (set_[at] != 0 ? 0 : kApart);
                asVoid_[at] = -density_[at] - (set_[at] != 0 ? kApart : 0);
            }
        }
    }
    // The set place of the highest density (the tightest cluster), or the unset one of the
    // lowest (the largest void); of equals, the first.
    int Densest() const { return Foremost(asCluster_); }
    int Emptiest() const { return Foremost(asVoid_); }

  private:
    // Beyond any density: the unset places out of the search for a cluster, the set ones out
    // of the search for a void.
    static constexpr std::int32_t kApart = 1 << 28;

    // The first place of the most of the values: the most of each row of places, four values
    // at a time, then the first row that holds the most of them, then the place in that row.
    int Foremost(const std::vector<std::int32_t>& values) const {
        using Four = std::int32_t __attribute__((vector_size(16)));
        const std::size_t side = static_cast<std::size_t>(side_);
        std::size_t row = 0;
        for (std::size_t r = 0; r < side; ++r) {
            Four most;
            std::memcpy(&most, &values[r * side], sizeof most);
            for (std::size_t p = r * side + 4; p < (r + 1) * side; p += 4) {
                Four v;
                std::memcpy(&v, &values[p], sizeof v);
                most = v > most ? v : most;
            }
            rowMost_[r] = std::max(std::max(most[0], most[1]), std::max(most[2], most[3]));
            row = rowMost_[r] > rowMost_[row] ? r : row;
        }
        std::size_t p = row * side;
        while (values[p] != rowMost_[row]) {
            ++p;
        }
        return static_cast<int>(p);
    }

    int side_;
    std::vector<std::uint8_t> set_;
    std::vector<std::int32_t> density_;
    // The density (for a void, its negation), or kApart below it where the place does not
    // take part.
    std::vector<std::int32_t> asCluster_, asVoid_;
    mutable std::vector<std::int32_t> rowMost_;
};

} // namespace

ThresholdPattern BayerPattern(int side) {
    ThresholdPattern pattern{side,
                             std::vector<std::uint16_t>(static_cast<std::size_t>(side * side))};
    // Each bit of the place, from the lowest, picks a quarter of what the bits below it left:
    // 0 top left, 2 top right, 3 bottom left, 1 bottom right; the lowest bits weigh most.
    constexpr int kQuarter[2][2] = {{0, 2}, {3, 1}};
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            int t = 0;
            for (int bit = 1; bit < side; bit <<= 1) {
                t = 4 * t + kQuarter[(y & bit) != 0][(x & bit) != 0];
            }
            pattern.thresholds[static_cast<std::size_t>(y * side + x)] =
                static_cast<std::uint16_t>(t);
        }
    }
    return pattern;
}

ThresholdPattern BlueNoisePattern(int side) {
    Torus start(side);
    const int places = start.Places();
    // A tenth of the places set at random (a fixed sequence), then the tightest cluster moved
    // to the largest void until the void is where the cluster was.
    std::uint32_t random = 36;
    for (int count = 0; count < places / 10;) {
        random = random * 1664525u + 1013904223u;
        const int place = static_cast<int>((random >> 8) % static_cast<std::uint32_t>(places));
        if (!start.IsSet(place)) {
            start.Toggle(place);
            ++count;
        }
    }
    for (;;) {
        const int cluster = start.Densest();
        start.Toggle(cluster);
        const int hole = start.Emptiest();
        start.Toggle(hole);
        if (hole == cluster) {
            break;
        }
    }
    ThresholdPattern pattern{side, std::vector<std::uint16_t>(static_cast<std::size_t>(places))};
    const auto rank = [&](int place, int r) {
        pattern.thresholds[static_cast<std::size_t>(place)] = static_cast<std::uint16_t>(r);
    };
    // The ranks of the starting places, densest last taken away first.
    int count = places / 10;
    Torus shrinking = start;
    for (int r = count - 1; r >= 0; --r) {
        const int cluster = shrinking.Densest();
        shrinking.Toggle(cluster);
        rank(cluster, r);
    }
    // Then every other place, the largest void first.
    for (int r = count; r < places; ++r) {
        const int hole = start.Emptiest();
        start.Toggle(hole);
        rank(hole, r);
    }
    return pattern;
}

const ThresholdPattern& PatternOf(PatternName name) {
    static const ThresholdPattern kBayer2 = BayerPattern(2);
    static const ThresholdPattern kBayer4 = BayerPattern(4);
    static const ThresholdPattern kBayer8 = BayerPattern(8);
    static const ThresholdPattern kBayer16 = BayerPattern(16);
    switch (name) {
    case PatternName::Bayer2:
        return kBayer2;
    case PatternName::Bayer4:
        return kBayer4;
    case PatternName::Bayer8:
        return kBayer8;
    case PatternName::Bayer16:
        return kBayer16;
    case PatternName::BlueNoise:
        break;
    }
    static const ThresholdPattern kBlueNoise = BlueNoisePattern(64);
    return kBlueNoise;
}

} // namespace quantize
