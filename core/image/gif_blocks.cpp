#include "core/image/gif_blocks.h"

#include <algorithm>
#include <cstring>

namespace image {
namespace {

constexpr std::uint8_t kExtension = 0x21, kImage = 0x2C, kTrailer = 0x3B;
constexpr std::uint8_t kControlLabel = 0xF9, kApplicationLabel = 0xFF;
constexpr std::size_t kScreenEnd = 13; // signature and logical screen descriptor

// The bytes of a colour table whose flags byte is `packed`.
std::size_t TableBytes(std::uint8_t packed) {
    return (packed & 0x80) != 0 ? 3u << ((packed & 7) + 1) : 0;
}

// The end of the sub-blocks that start at `at`, past their empty block; 0 when cut short.
std::size_t SubBlocksEnd(const std::uint8_t* gif, std::size_t size, std::size_t at) {
    while (at < size) {
        const std::size_t length = gif[at];
        at += 1 + length;
        if (length == 0) {
            return at <= size ? at : 0;
        }
    }
    return 0;
}

void PutWord(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8 & 0xFF);
}

void AppendControl(std::vector<std::uint8_t>& out, const FrameBlock& frame) {
    const int delay = std::clamp(frame.delay, 0, 65535);
    const std::uint8_t packed =
        static_cast<std::uint8_t>((frame.clears ? 2 : 1) << 2 | (frame.transparent >= 0 ? 1 : 0));
    out.insert(out.end(),
               {kExtension, kControlLabel, 4, packed, static_cast<std::uint8_t>(delay & 0xFF),
                static_cast<std::uint8_t>(delay >> 8),
                static_cast<std::uint8_t>(std::max(frame.transparent, 0)), 0});
}

void AppendLoop(std::vector<std::uint8_t>& out, int loop) {
    static const char kNetscape[] = "NETSCAPE2.0";
    out.insert(out.end(), {kExtension, kApplicationLabel, 11});
    out.insert(out.end(), kNetscape, kNetscape + 11);
    const int count = std::min(loop, 65535);
    out.insert(out.end(), {3, 1, static_cast<std::uint8_t>(count & 0xFF),
                           static_cast<std::uint8_t>(count >> 8), 0});
}

} // namespace

std::vector<std::uint8_t> WithFrameBlocks(const std::uint8_t* gif, std::size_t size,
                                          const std::vector<FrameBlock>& frames, int loop) {
    if (size < kScreenEnd || std::memcmp(gif, "GIF8", 4) != 0) {
        return {};
    }
    const std::size_t screenEnd = kScreenEnd + TableBytes(gif[10]);
    if (screenEnd > size) {
        return {};
    }
    // Walked twice: first to find an application block, then to copy.
    bool hasApplication = false;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::uint8_t> out(gif, gif + screenEnd);
        if (pass == 1 && loop >= 0 && !hasApplication) {
            AppendLoop(out, loop);
        }
        std::size_t at = screenEnd, frame = 0;
        bool controlled = false; // a graphic control block since the last frame
        while (at < size && gif[at] != kTrailer) {
            const std::size_t start = at;
            if (gif[at] == kExtension && at + 2 < size) {
                hasApplication = hasApplication || gif[at + 1] == kApplicationLabel;
                controlled = controlled || gif[at + 1] == kControlLabel;
                at = SubBlocksEnd(gif, size, at + 2);
            } else if (gif[at] == kImage && at + 11 <= size && frame < frames.size()) {
                if (!controlled) {
                    AppendControl(out, frames[frame]);
                }
                const std::size_t local = TableBytes(gif[at + 9]);
                const std::size_t data = at + 10 + local;
                at = data < size ? SubBlocksEnd(gif, size, data + 1) : 0;
                if (at != 0) {
                    // A colour table of its own that is the file's is left out.
                    const bool same = local != 0 && local == screenEnd - kScreenEnd &&
                                      std::memcmp(gif + start + 10, gif + kScreenEnd, local) == 0;
                    const std::size_t place = out.size() + 1;
                    out.insert(out.end(), gif + start, gif + start + 10);
                    out.insert(out.end(), gif + (same ? data : start + 10), gif + at);
                    PutWord(out, place, frames[frame].left);
                    PutWord(out, place + 2, frames[frame].top);
                    if (same) {
                        out[place + 8] = static_cast<std::uint8_t>(out[place + 8] & ~0xA7);
                    }
                }
                ++frame;
                controlled = false;
                if (at == 0) {
                    return {};
                }
                continue;
            } else {
                return {};
            }
            if (at == 0) {
                return {};
            }
            out.insert(out.end(), gif + start, gif + at);
        }
        if (at >= size || frame != frames.size()) {
            return {};
        }
        if (pass == 1) {
            out.push_back(kTrailer);
            return out;
        }
    }
    return {};
}

} // namespace image
