#include "cli/gif_io.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/image/animation.h"
#include "core/image/lzw_size.h"

namespace cli {
namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

int ReadBytes(GifFileType* gif, GifByteType* out, int wanted) {
    Reader& reader = *static_cast<Reader*>(gif->UserData);
    const std::size_t n = std::min(reader.size - reader.at, static_cast<std::size_t>(wanted));
    std::memcpy(out, reader.data + reader.at, n);
    reader.at += n;
    return static_cast<int>(n);
}

int WriteBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto& out = *static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out.insert(out.end(), data, data + length);
    return length;
}

struct CloseDecoder {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};

// giflib's words for an error; it has none for some (a failure that set no code).
std::string ErrorText(int code) {
    const char* text = GifErrorString(code);
    return text != nullptr ? text : "damaged data";
}

std::string Damaged(int code) {
    return "not a GIF that can be read whole (" + ErrorText(code) + ")";
}

// The interlaced rows of a piece in the order they are stored: every 8th from 0, every 8th
// from 4, every 4th from 2, every 2nd from 1.
std::vector<std::uint32_t> RowOrder(std::uint32_t height, bool interlaced) {
    std::vector<std::uint32_t> order;
    static constexpr std::uint32_t kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass) {
        for (std::uint32_t y = interlaced ? kStart[pass] : 0; y < height;
             y += interlaced ? kStep[pass] : 1) {
            order.push_back(y);
        }
    }
    return order;
}

// The extension blocks the frames need: a graphic control block's delay, disposal and
// transparent index, and the Netscape block's loop count; the others are passed over.
bool ReadExtension(GifFileType* gif, GraphicsControlBlock& control, int& loop) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) != GIF_OK) {
        return false;
    }
    if (block != nullptr && code == GRAPHICS_EXT_FUNC_CODE) {
        DGifExtensionToGCB(block[0], block + 1, &control);
    }
    const bool netscape = block != nullptr && code == APPLICATION_EXT_FUNC_CODE && block[0] == 11 &&
                          std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) != GIF_OK) {
            return false;
        }
        if (netscape && block != nullptr && block[0] >= 3 && block[1] == 1) {
            loop = block[2] | block[3] << 8;
        }
    }
    return true;
}

image::Disposal DisposalOf(int gifDisposal) {
    return gifDisposal == DISPOSE_BACKGROUND ? image::Disposal::Background
           : gifDisposal == DISPOSE_PREVIOUS ? image::Disposal::Previous
                                             : image::Disposal::Keep;
}

} // namespace

std::string FramesBeyondBounds(std::uint64_t frames, const FrameBounds& bounds) {
    return frames > bounds.frames ? "more than " + std::to_string(bounds.frames) + " frames"
                                  : "more pixels of frames than can be read (at most " +
                                        std::to_string(bounds.pixels) + " in all)";
}

bool IsGif(const std::uint8_t* data, std::size_t size) {
    return size >= 6 &&
           (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

struct GifReader::State {
    Reader reader{nullptr, 0};
    std::unique_ptr<GifFileType, CloseDecoder> gif;
    image::AlphaRule rule;
    std::unique_ptr<image::Canvas> canvas; // made before the first frame, within the bounds
    std::vector<std::uint8_t> indices;
    std::uint64_t stored = 0; // the pixels of the pieces read
    bool framed = false;      // a frame was read
};

GifReader::GifReader() = default;
GifReader::~GifReader() = default;

bool GifReader::Open(const std::uint8_t* data, std::size_t size, const image::AlphaRule& rule,
                     std::string& error) {
    state_ = std::make_unique<State>();
    state_->reader = {data, size};
    state_->rule = rule;
    int code = 0;
    state_->gif.reset(DGifOpen(&state_->reader, ReadBytes, &code));
    if (!state_->gif) {
        error = Damaged(code);
        return false;
    }
    width_ = static_cast<std::uint32_t>(state_->gif->SWidth);
    height_ = static_cast<std::uint32_t>(state_->gif->SHeight);
    if (std::uint64_t{width_} * height_ == 0) {
        error = "a GIF whose screen has no pixels";
        return false;
    }
    return true;
}

GifReader::Read GifReader::Next(std::uint64_t before, const FrameBounds& bounds, FileBytes& frame,
                                int& delay, std::string& error) {
    GifFileType* gif = state_->gif.get();
    const std::uint64_t screen = std::uint64_t{width_} * height_;
    if (!state_->canvas) {
        if ((before + 1) * screen > bounds.pixels) {
            // Refused before its screen is allocated.
            error = FramesBeyondBounds(before + 1, bounds);
            return Read::Failed;
        }
        state_->canvas = std::make_unique<image::Canvas>(width_, height_);
    }
    const auto bmpSize = image::PlainSize(width_, height_, state_->rule);
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) != GIF_OK) {
            error = Damaged(gif->Error);
            return Read::Failed;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            if (!state_->framed) {
                error = "a GIF without a frame";
                return Read::Failed;
            }
            return Read::End;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            if (!ReadExtension(gif, control, loop_)) {
                error = Damaged(gif->Error);
                return Read::Failed;
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) != GIF_OK) {
            error = Damaged(gif->Error);
            return Read::Failed;
        }
        break;
    }
    const GifImageDesc& desc = gif->Image;
    const image::Rect place{
        static_cast<std::uint32_t>(desc.Left), static_cast<std::uint32_t>(desc.Top),
        static_cast<std::uint32_t>(desc.Width), static_cast<std::uint32_t>(desc.Height)};
    const std::uint64_t area = std::uint64_t{place.width} * place.height;
    state_->stored += area;
    const std::uint64_t frames = before + 1;
    if (frames > bounds.frames || frames * screen > bounds.pixels ||
        state_->stored > bounds.pixels || !bmpSize) {
        error = FramesBeyondBounds(frames, bounds);
        return Read::Failed;
    }
    const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    std::vector<std::uint8_t> table;
    for (int c = 0; map != nullptr && c < map->ColorCount; ++c) {
        const GifColorType& colour = map->Colors[c];
        table.insert(table.end(), {colour.Red, colour.Green, colour.Blue});
    }
    std::vector<std::uint8_t>& indices = state_->indices;
    indices.assign(static_cast<std::size_t>(area), 0);
    if (area == 0) {
        // A piece without pixels: its codes are passed over.
        int codeSize = 0;
        GifByteType* block = nullptr;
        bool read = DGifGetCode(gif, &codeSize, &block) == GIF_OK;
        while (read && block != nullptr) {
            read = DGifGetCodeNext(gif, &block) == GIF_OK;
        }
        if (!read) {
            error = Damaged(gif->Error);
            return Read::Failed;
        }
    }
    for (std::uint32_t y : RowOrder(area == 0 ? 0 : place.height, desc.Interlace)) {
        if (DGifGetLine(gif, indices.data() + std::size_t{y} * place.width,
                        static_cast<int>(place.width)) != GIF_OK) {
            error = Damaged(gif->Error);
            return Read::Failed;
        }
    }
    image::Piece piece{place,
                       indices.data(),
                       table.data(),
                       static_cast<int>(table.size() / 3),
                       control.TransparentColor,
                       DisposalOf(control.DisposalMode)};
    frame = FileBytes(static_cast<std::size_t>(*bmpSize));
    image::WritePlain24(state_->canvas->Draw(piece), state_->rule, frame.data());
    state_->canvas->Dispose();
    delay = 10 * control.DelayTime;
    state_->framed = true;
    return Read::Frame;
}

bool ReadGif(const std::uint8_t* data, std::size_t size, const image::AlphaRule& rule,
             Animation& animation, std::string& error) {
    GifReader reader;
    if (!reader.Open(data, size, rule, error)) {
        return false;
    }
    animation.width = reader.width();
    animation.height = reader.height();
    for (;;) {
        FileBytes frame;
        int delay = 0;
        switch (reader.Next(animation.frames.size(), {}, frame, delay, error)) {
        case GifReader::Read::Frame:
            animation.frames.push_back(std::move(frame));
            animation.delays.push_back(delay);
            continue;
        case GifReader::Read::End:
            animation.loop = reader.loop();
            return true;
        case GifReader::Read::Failed:
            break;
        }
        return false;
    }
}

bool EncodeGif(const IndexedFrames& frames, std::vector<std::uint8_t>& gif, std::string& error,
               const std::function<bool(std::size_t)>& ready,
               const std::function<void(std::size_t)>& stored) {
    gif.clear();
    const int spare = frames.entries < 256 ? frames.entries : -1;
    const int used = std::max(frames.entries, spare + 1);
    int bits = 1;
    while ((1 << bits) < used) {
        ++bits;
    }
    GifColorType colours[256] = {};
    for (int e = 0; e < std::min(1 << bits, 256); ++e) {
        colours[e] = {frames.table[3 * e], frames.table[3 * e + 1], frames.table[3 * e + 2]};
    }
    int code = 0;
    GifFileType* out = EGifOpen(&gif, WriteBytes, &code);
    if (out == nullptr) {
        error = ErrorText(code);
        return false;
    }
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours);
    bool ok = map != nullptr;
    EGifSetGifVersion(out, true);
    ok = ok && EGifPutScreenDesc(out, static_cast<int>(frames.width),
                                 static_cast<int>(frames.height), bits, 0, map) == GIF_OK;
    if (ok && frames.loop >= 0) {
        const GifByteType loop[3] = {1, static_cast<GifByteType>(frames.loop & 0xFF),
                                     static_cast<GifByteType>(frames.loop >> 8)};
        ok = EGifPutExtensionLeader(out, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(out, 11, "NETSCAPE2.0") == GIF_OK &&
             EGifPutExtensionBlock(out, 3, loop) == GIF_OK &&
             EGifPutExtensionTrailer(out) == GIF_OK;
    }
    // Unchanged pixels are left transparent where LZW codes the piece in fewer bytes.
    auto counter = std::make_shared<image::LzwSize>();
    const auto cost = [bits, counter](const std::vector<std::uint8_t>& indices, std::uint32_t) {
        return counter->Count(indices.data(), indices.size(), bits);
    };
    image::PiecePlanner planner(frames.width, frames.height, spare, frames.key, cost);
    bool given = true; // every frame came
    for (std::size_t f = 0; ok && f < frames.frames.size(); ++f) {
        given = !ready || ready(std::min(f + 1, frames.frames.size() - 1));
        if (!given) {
            break;
        }
        const std::uint8_t* next =
            f + 1 < frames.frames.size() ? frames.frames[f + 1].data() : nullptr;
        image::StoredPiece piece = planner.Plan(frames.frames[f].data(), next);
        GraphicsControlBlock control{piece.clears ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT, false,
                                     std::clamp((frames.delays[f] + 5) / 10, 0, 65535),
                                     piece.transparent};
        GifByteType extension[4];
        const std::size_t length = EGifGCBToExtension(&control, extension);
        ok =
            EGifPutExtension(out, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) ==
                GIF_OK &&
            EGifPutImageDesc(out, static_cast<int>(piece.place.left),
                             static_cast<int>(piece.place.top), static_cast<int>(piece.place.width),
                             static_cast<int>(piece.place.height), false, nullptr) == GIF_OK;
        for (std::uint32_t y = 0; ok && y < piece.place.height; ++y) {
            ok = EGifPutLine(out, piece.indices.data() + std::size_t{y} * piece.place.width,
                             static_cast<int>(piece.place.width)) == GIF_OK;
        }
        if (ok && stored) {
            stored(f);
        }
    }
    if (!ok) {
        error = "the GIF could not be made (" + ErrorText(out->Error) + ")";
    }
    ok = ok && given;
    GifFreeMapObject(map);
    if (EGifCloseFile(out, &code) != GIF_OK && ok) {
        error = "the GIF could not be made (" + ErrorText(code) + ")";
        ok = false;
    }
    return ok;
}

} // namespace cli
