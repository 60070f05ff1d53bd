#include "core/quantize/variance_split.h"

#include <algorithm>
#include <optional>

namespace quantize {
namespace {

// Splits the box along its channel of most error (or the next, where all its items share
// one level of that channel), between the two levels where the halves' error is least: the
// items up to that level come first, in their order, and the second half is returned.
// Nothing when every channel of the box has a single level.
std::optional<Box> Split(std::vector<Item>& items, Box& box) {
    const Stats all = StatsOf(items, box);
    const std::uint64_t channels[3] = {all.Error(0), all.Error(1), all.Error(2)};
    int order[3] = {0, 1, 2};
    std::stable_sort(order, order + 3, [&](int a, int b) { return channels[a] > channels[b]; });
    std::vector<Stats> levels(256);
    for (const int c : order) {
        std::fill(levels.begin(), levels.end(), Stats{});
        for (std::size_t i = box.begin; i < box.end; ++i) {
            levels[static_cast<std::size_t>(items[i].mean[c])].Add(items[i].stats);
        }
        Stats first;
        int best = -1;
        std::uint64_t bestError = 0, firstError = 0, secondError = 0;
        for (int t = 0; t < 255; ++t) {
            if (levels[t].count == 0) {
                continue;
            }
            first.Add(levels[t]);
            Stats second = all;
            second.Remove(first);
            if (second.count == 0) {
                break;
            }
            const std::uint64_t a = first.Error(), b = second.Error();
            if (best < 0 || a + b < bestError) {
                best = t;
                bestError = a + b;
                firstError = a;
                secondError = b;
            }
        }
        if (best < 0) {
            continue; // one level only
        }
        const auto middle =
            std::stable_partition(items.begin() + box.begin, items.begin() + box.end,
                                  [c, best](const Item& item) { return item.mean[c] <= best; });
        const std::size_t cut = static_cast<std::size_t>(middle - items.begin());
        Box second{cut, box.end, secondError};
        box.end = cut;
        box.error = firstError;
        return second;
    }
    return std::nullopt;
}

} // namespace

Stats StatsOf(const std::vector<Item>& items, const Box& box) {
    Stats all;
    for (std::size_t i = box.begin; i < box.end; ++i) {
        all.Add(items[i].stats);
    }
    return all;
}

std::vector<Box> Divide(std::vector<Item>& items, std::size_t wanted,
                        std::vector<std::uint32_t>* crowded) {
    std::vector<Box> boxes;
    boxes.reserve(wanted);
    if (wanted > 0 && !items.empty()) {
        boxes.push_back({0, items.size(), StatsOf(items, {0, items.size(), 0}).Error()});
    }
    while (boxes.size() < wanted) {
        std::size_t worst = boxes.size();
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const bool single = boxes[i].end - boxes[i].begin == 1;
            const bool candidate =
                boxes[i].error > 0 &&
                (!single || (crowded != nullptr && items[boxes[i].begin].bin >= 0));
            if (candidate && (worst == boxes.size() || boxes[i].error > boxes[worst].error)) {
                worst = i;
            }
        }
        if (worst == boxes.size()) {
            break; // no box can be split
        }
        Box& box = boxes[worst];
        if (box.end - box.begin == 1) {
            crowded->push_back(static_cast<std::uint32_t>(items[box.begin].bin));
            box.error = 0;
        } else if (const auto second = Split(items, box)) {
            boxes.push_back(*second);
        } else {
            box.error = 0; // all its items share one colour of means
        }
    }
    return boxes;
}

} // namespace quantize
