#include "cli/memory.h"

#include <algorithm>
#include <cstdlib>

#include "cli/image_io.h"
#include "core/bmp/layout.h"
#include "core/quantize/refine.h"

namespace cli {
namespace {

// The tables of the conversions, the threads' stacks and the libraries.
constexpr std::uint64_t kFixed = std::uint64_t{64} << 20;
// No conversion makes a file image of more (the result would not fit a BMP file).
constexpr std::uint64_t kLargestFileImage = 0xFFFFFFFFu;

} // namespace

std::uint64_t MemoryFor(const FileBytes& file, bool png, bool refines, bool alpha) {
    const std::uint64_t bytes = file.size();
    std::uint64_t decoding = 0, converting = bytes, encoding = 0;
    // The refinement's indices and rows, for a 24-bit image of `plain` bytes and `width`.
    const auto refining = [refines](std::uint64_t plain, std::uint64_t width) {
        return refines ? plain / 3 + quantize::Refiner::RowBytes(width, 2) : 0;
    };
    if (KindOf(file.data(), file.size()) == ImageKind::Bmp) {
        const bmp::DrawPlan plan = bmp::PlanDrawing(file.data(), file.size());
        if (plan.hasHeader) {
            const std::uint64_t rows = static_cast<std::uint64_t>(
                plan.height < 0 ? -std::int64_t{plan.height} : plan.height);
            const std::uint64_t plain = std::min(
                kLargestFileImage, bmp::kHeadersSize + rows * bmp::StrideBytes(plan.width, 24));
            converting = bytes +
                         (plan.bitCount >= 24   ? plain / 16
                          : plan.bitCount == 16 ? plain + plain / 16
                                                : 2 * plain) +
                         refining(plain, static_cast<std::uint64_t>(std::abs(plan.width)));
            encoding = std::max(bytes, plain) + plain / 2;
        }
    } else {
        const DecodedSize decoded = DecodedSizeOf(file.data(), file.size());
        decoding = bytes + decoded.bmp + decoded.decoder;
        converting = decoded.bmp + decoded.bmp / 16 + refining(decoded.bmp, decoded.width);
        encoding = decoded.bmp + decoded.bmp / 2;
    }
    if (alpha) {
        const std::uint64_t plain = std::max(converting, decoding);
        converting = std::max(converting, 5 * std::min(plain, kLargestFileImage));
    }
    return kFixed + std::max({decoding, converting, png ? encoding : 0});
}

MemoryBudget::Claim::~Claim() {
    if (held_ > 0) {
        {
            const std::lock_guard<std::mutex> hold(budget_.lock_);
            budget_.inUse_ -= held_;
        }
        budget_.freed_.notify_all();
    }
}

void MemoryBudget::Claim::GrowTo(std::uint64_t bytes) {
    std::unique_lock<std::mutex> hold(budget_.lock_);
    if (bytes <= held_) {
        return;
    }
    const std::uint64_t more = bytes - held_;
    budget_.freed_.wait(
        hold, [&] { return budget_.inUse_ == held_ || budget_.inUse_ + more <= budget_.limit_; });
    budget_.inUse_ += more;
    held_ = bytes;
}

void MemoryBudget::Claim::EndTurn() {
    if (turn_.owns_lock()) {
        turn_.unlock();
    }
}

} // namespace cli
