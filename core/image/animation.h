// Animations as a GIF holds them and as the conversions take them: the pieces a file stores
// (a rectangle of indices, its colours, a transparent index, what becomes of it after its
// time) drawn into whole frames of true colour, and whole indexed frames planned back into
// the smallest pieces that show them. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/image/rgba.h"

namespace image {

// The bounds of an animation's reading, checked before anything is allocated for a frame:
// at most kMaxFrames frames, and of the whole frames together (each a whole screen) and of
// the pieces the file stores together at most kMaxAnimationPixels pixels each, so that a
// file of a few bytes cannot take more than about 200 MB of frames or unbounded time.
inline constexpr std::uint64_t kMaxFrames = 10000;
inline constexpr std::uint64_t kMaxAnimationPixels = std::uint64_t{1} << 26;
// Frames read one at a time, not held together, are bounded by their time: at most this many
// pixels of whole frames (and of stored pieces) in all; each frame still at most
// kMaxAnimationPixels.
inline constexpr std::uint64_t kMaxStreamedPixels = std::uint64_t{1} << 30;

// What becomes of a piece's rectangle once its frame has been shown.
enum class Disposal {
    Keep,       // it stays: the next piece is drawn over it
    Background, // it is cleared to transparent
    Previous,   // the screen is put back as it was before the piece
};

// A rectangle of the screen.
struct Rect {
    std::uint32_t left = 0, top = 0, width = 0, height = 0;
};

// One stored piece: width x height indices, the top row first, placed at (left, top) of the
// screen (wholly or partly outside it, or empty, in a damaged file); `table` holds `colours`
// red, green, blue triplets (an index beyond them is black); `transparent` is the index left
// undrawn, or -1.
struct Piece {
    Rect place;
    const std::uint8_t* indices = nullptr;
    const std::uint8_t* table = nullptr;
    int colours = 0;
    int transparent = -1;
    Disposal disposal = Disposal::Keep;
};

// The screen pieces are drawn on, transparent at first: red, green, blue, alpha.
class Canvas {
  public:
    Canvas(std::uint32_t width, std::uint32_t height);
    // Draws the piece, clipped to the screen, and returns the whole screen as shown (8-bit
    // samples), until Dispose. May throw std::bad_alloc.
    const RgbaImage& Draw(const Piece& piece);
    // Does what the piece last drawn says becomes of it once shown.
    void Dispose();

  private:
    RgbaImage screen_;
    std::vector<std::uint8_t> saved_; // the screen before a piece put back after it
    Disposal disposal_ = Disposal::Keep;
    Rect drawn_; // the piece's place, clipped
};

// How a whole indexed frame is stored after the one before: the rectangle of the pixels that
// changed, its indices (the top row first), the index of its unchanged pixels left
// transparent or -1, and whether the screen is cleared to transparent after it.
struct StoredPiece {
    Rect place;
    std::vector<std::uint8_t> indices;
    int transparent = -1;
    bool clears = false;
};

// What storing a piece's indices (its rectangle's width) costs: the bytes a codec makes of
// them, or an estimate.
using PieceCost = std::function<std::uint64_t(const std::vector<std::uint8_t>&, std::uint32_t)>;

// The runs of one index in a piece's rows read one after another, which is what LZW codes
// best: a cost without a codec.
std::uint64_t Runs(const std::vector<std::uint8_t>& indices, std::uint32_t width);

// Plans the pieces of a run of whole frames of one size. `spare` is an index no pixel takes,
// for unchanged pixels where that makes the piece cost less, or -1; with `key`, index 0 is the
// transparent key colour of every frame: a frame before one that turns a pixel to the key is stored
// whole and cleared, so that the pixel shows transparent.
class PiecePlanner {
  public:
    PiecePlanner(std::uint32_t width, std::uint32_t height, int spare, bool key,
                 PieceCost cost = Runs);
    // The piece of frame `now`, `next` being the frame after it or null; frames in order.
    StoredPiece Plan(const std::uint8_t* now, const std::uint8_t* next);

  private:
    std::uint32_t width_, height_;
    int spare_;
    bool key_;
    PieceCost cost_;
    std::vector<std::uint8_t> shown_; // the screen's indices before the frame
    bool first_ = true;
};

} // namespace image
