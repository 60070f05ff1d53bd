#include "cli/deflate.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <new>
#include <thread>

#include "core/quantize/side_by_side.h"

namespace cli {

namespace {

constexpr std::size_t kWindow = std::size_t{1} << MAX_WBITS;
constexpr std::size_t kSplitFrom = 256 * 1024;

// One piece of the stream: raw deflate data without the zlib header and trailer. A piece that
// is not the last ends on a byte boundary (a sync flush) and without the final-block bit, so
// the pieces can be laid end to end.
struct Piece {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t primed = 0; // how many bytes before `data` it starts from
    bool last = true;
    std::vector<std::uint8_t> out;
    uLong adler = 1;
    bool made = false;
};

void Deflate(int level, Piece& piece) {
    piece.adler = adler32_z(1, piece.data, piece.size);
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return;
    }
    bool ready = piece.primed == 0 || deflateSetDictionary(&z, piece.data - piece.primed,
                                                           static_cast<uInt>(piece.primed)) == Z_OK;
    try {
        // The bound holds for one call that finishes the stream; a sync flush adds an empty
        // stored block of 5 bytes, and the last partial byte.
        piece.out.resize(deflateBound(&z, static_cast<uLong>(piece.size)) + 8);
    } catch (const std::bad_alloc&) {
        ready = false;
    }
    if (ready) {
        z.next_in = const_cast<Bytef*>(piece.data);
        z.avail_in = static_cast<uInt>(piece.size);
        z.next_out = piece.out.data();
        z.avail_out = static_cast<uInt>(piece.out.size());
        const int result = deflate(&z, piece.last ? Z_FINISH : Z_SYNC_FLUSH);
        piece.made = z.avail_in == 0 &&
                     (piece.last ? result == Z_STREAM_END : result == Z_OK && z.avail_out > 0);
        piece.out.resize(z.total_out);
    }
    deflateEnd(&z);
}

} // namespace

bool DeflateInTwo(const std::uint8_t* data, std::size_t size, int level,
                  std::vector<std::uint8_t>& out) {
    // A piece goes to deflate in one call; images are far smaller than this.
    if (size > std::numeric_limits<uInt>::max() / 2) {
        return false;
    }
    Piece first;
    Piece second;
    first.data = data;
    first.size = size;
    const bool split = size >= kSplitFrom && std::thread::hardware_concurrency() != 1;
    if (split) {
        first.size = size / 2;
        first.last = false;
        second.data = data + first.size;
        second.size = size - first.size;
        second.primed = std::min(first.size, kWindow);
        if (!quantize::RunSideBySide([&] { Deflate(level, first); },
                                     [&] { Deflate(level, second); })) {
            Deflate(level, first);
            Deflate(level, second);
        }
    } else {
        Deflate(level, first);
    }
    if (!first.made || (split && !second.made)) {
        return false;
    }
    // The zlib header says deflate with a 32 KB window and how hard it was compressed, the
    // way zlib itself writes it.
    const int effort = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (0x78u << 8) | static_cast<unsigned>(effort << 6);
    header += 31 - header % 31;
    const uLong adler =
        split ? adler32_combine(first.adler, second.adler, static_cast<z_off_t>(second.size))
              : first.adler;
    const std::size_t start = out.size();
    try {
        out.reserve(start + 2 + first.out.size() + second.out.size() + 4);
        out.push_back(static_cast<std::uint8_t>(header >> 8));
        out.push_back(static_cast<std::uint8_t>(header));
        out.insert(out.end(), first.out.begin(), first.out.end());
        out.insert(out.end(), second.out.begin(), second.out.end());
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<std::uint8_t>(adler >> shift));
        }
    } catch (const std::bad_alloc&) {
        out.resize(start);
        return false;
    }
    return true;
}

} // namespace cli
