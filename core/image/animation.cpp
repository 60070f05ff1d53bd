#include "core/image/animation.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace image {

Canvas::Canvas(std::uint32_t width, std::uint32_t height) {
    screen_.width = width;
    screen_.height = height;
    screen_.samples.assign(screen_.RowBytes() * height, 0);
}

const RgbaImage& Canvas::Draw(const Piece& piece) {
    disposal_ = piece.disposal;
    if (disposal_ == Disposal::Previous) {
        saved_ = screen_.samples;
    }
    const Rect& p = piece.place;
    const std::uint32_t right = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{p.left} + p.width, screen_.width));
    const std::uint32_t bottom = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{p.top} + p.height, screen_.height));
    drawn_ = {p.left, p.top, right > p.left ? right - p.left : 0,
              bottom > p.top ? bottom - p.top : 0};
    for (std::uint64_t y = p.top; y < bottom; ++y) {
        const std::uint8_t* from = piece.indices + (y - p.top) * p.width;
        std::uint8_t* to = screen_.samples.data() + y * screen_.RowBytes();
        for (std::uint64_t x = p.left; x < right; ++x) {
            const int index = from[x - p.left];
            if (index == piece.transparent) {
                continue;
            }
            static constexpr std::uint8_t kBlack[3] = {};
            const std::uint8_t* rgb = index < piece.colours ? piece.table + 3 * index : kBlack;
            std::memcpy(to + 4 * x, rgb, 3);
            to[4 * x + 3] = 255;
        }
    }
    return screen_;
}

void Canvas::Dispose() {
    if (disposal_ == Disposal::Previous) {
        screen_.samples.swap(saved_);
        std::vector<std::uint8_t>().swap(saved_);
    } else if (disposal_ == Disposal::Background) {
        for (std::uint64_t y = drawn_.top; y < std::uint64_t{drawn_.top} + drawn_.height; ++y) {
            std::uint8_t* row = screen_.samples.data() + y * screen_.RowBytes();
            std::fill(row + 4 * std::uint64_t{drawn_.left},
                      row + 4 * (std::uint64_t{drawn_.left} + drawn_.width), 0);
        }
    }
    disposal_ = Disposal::Keep;
}

std::uint64_t Runs(const std::vector<std::uint8_t>& indices, std::uint32_t) {
    std::uint64_t runs = indices.empty() ? 0 : 1;
    for (std::size_t i = 1; i < indices.size(); ++i) {
        runs += indices[i] != indices[i - 1];
    }
    return runs;
}

PiecePlanner::PiecePlanner(std::uint32_t width, std::uint32_t height, int spare, bool key,
                           PieceCost cost)
    : width_(width), height_(height), spare_(key ? 0 : spare), key_(key), cost_(std::move(cost)),
      shown_(std::size_t{width} * height, 0) {}

StoredPiece PiecePlanner::Plan(const std::uint8_t* now, const std::uint8_t* next) {
    const std::size_t pixels = shown_.size();
    StoredPiece piece;
    // With a key colour, a pixel the next frame turns to the key must show transparent: this
    // frame is stored whole and then cleared.
    for (std::size_t i = 0; key_ && next != nullptr && i < pixels && !piece.clears; ++i) {
        piece.clears = next[i] == 0 && now[i] != 0;
    }
    Rect r{width_, height_, 0, 0};
    std::uint32_t right = 0, bottom = 0;
    for (std::uint32_t y = 0; y < height_; ++y) {
        for (std::uint32_t x = 0; x < width_; ++x) {
            const std::size_t i = std::size_t{y} * width_ + x;
            if (first_ || piece.clears || now[i] != shown_[i]) {
                r.left = std::min(r.left, x);
                r.top = std::min(r.top, y);
                right = std::max(right, x + 1);
                bottom = std::max(bottom, y + 1);
            }
        }
    }
    if (right == 0) { // nothing changed: one pixel, as it was
        r.left = r.top = 0;
        right = bottom = 1;
    }
    r.width = right - r.left;
    r.height = bottom - r.top;
    piece.place = r;
    piece.indices.reserve(std::size_t{r.width} * r.height);
    std::vector<std::uint8_t> unchanged;
    for (std::uint32_t y = r.top; y < bottom; ++y) {
        const std::size_t row = std::size_t{y} * width_;
        piece.indices.insert(piece.indices.end(), now + row + r.left, now + row + right);
        for (std::uint32_t x = r.left; x < right && spare_ >= 0; ++x) {
            unchanged.push_back(now[row + x] == shown_[row + x] && !first_
                                    ? static_cast<std::uint8_t>(spare_)
                                    : now[row + x]);
        }
    }
    // A key colour is transparent in every piece; a spare index where it makes fewer runs.
    if (key_ ||
        (spare_ >= 0 && !first_ && cost_(unchanged, r.width) < cost_(piece.indices, r.width))) {
        piece.transparent = spare_;
        if (!first_ && !key_) {
            piece.indices.swap(unchanged);
        }
    }
    if (piece.clears) {
        std::fill(shown_.begin(), shown_.end(), 0);
    } else {
        std::memcpy(shown_.data(), now, pixels);
    }
    first_ = false;
    return piece;
}

} // namespace image
