// How much memory converting one file takes, and the budget that keeps the files a batch
// converts at a time within what one image may take.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "cli/file_io.h"
#include "core/image/rgba.h"

namespace cli {

// The most memory converting a file may take, from its bytes and what its header says of its
// picture: the file; a PNG or JPEG file's decoded image (3 bytes a pixel) and what the decoder
// holds beside it (a progressive JPEG's coefficients, up to 6 bytes a pixel); the conversion
// (a 24-bit image is rewritten in place, 1/16 more for its tables; a 16-bit one grows to 24
// bits; an indexed one is expanded to 24 bits beside itself); and, with `png`, the PNG made of
// the result (its rows and their deflated stream beside the 24-bit image's room, half as much
// again at most); and, with `refines`, the refinement of the dithering (quantize::Refiner:
// the indices beside the rows, a byte a pixel, a third of the 24-bit image, and its rows of
// F); and, with `alpha` (--alpha), the path that keeps alpha: the image at 4 bytes a pixel,
// its pixels, its colours' list and the 8-bit result beside it, 5 times the 24-bit image at
// most. Measured peaks are in the README; this is an upper bound.
std::uint64_t MemoryFor(const FileBytes& file, bool png, bool refines = false, bool alpha = false);

// What the largest PNG or JPEG image takes, the limit of the files in flight together: a
// progressive JPEG of image::kMaxPixels pixels at full colour resolution, its file and room
// for the tables (about 2.6 GiB). A larger file (a BMP of more pixels) is converted alone.
inline constexpr std::uint64_t kMemoryBudget =
    (std::uint64_t{64} << 20) + (std::uint64_t{256} << 20) + 9 * image::kMaxPixels;

// The memory of the files in flight. A file waits while the others in flight and its own
// would together take more than the limit; one that alone takes more waits until it is alone.
// One file at a time makes its claim (first for reading the file, then, from what it holds,
// for the rest), so that two files that each hold a part never wait for each other.
class MemoryBudget {
  public:
    explicit MemoryBudget(std::uint64_t limit) : limit_(limit) {}

    // One file's claim: made in turn, given back when it ends.
    class Claim {
      public:
        explicit Claim(MemoryBudget& budget) : budget_(budget), turn_(budget.turn_) {}
        ~Claim();
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;

        // Waits until `bytes` in all are free for this file (or it is alone), and holds them.
        void GrowTo(std::uint64_t bytes);
        // The claim is made: the next file may make its own.
        void EndTurn();

      private:
        MemoryBudget& budget_;
        std::unique_lock<std::mutex> turn_;
        std::uint64_t held_ = 0;
    };

  private:
    const std::uint64_t limit_;
    std::mutex turn_;
    std::mutex lock_;
    std::condition_variable freed_;
    std::uint64_t inUse_ = 0;
};

} // namespace cli
