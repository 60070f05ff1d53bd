#include "win/document/animation_codec.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "core/image/animation.h"
#include "core/image/gif_blocks.h"
#include "core/image/lzw_size.h"

namespace {

// A value of the metadata a query reader holds, cleared when it goes.
class Property {
  public:
    Property() { PropVariantInit(&value_); }
    ~Property() { PropVariantClear(&value_); }
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;

    // Reads `name`; false when the reader has no such value.
    bool Read(IWICMetadataQueryReader* reader, const wchar_t* name) {
        PropVariantClear(&value_);
        return reader != nullptr && SUCCEEDED(reader->GetMetadataByName(name, &value_));
    }
    // The value as a number, whatever its integer type; `otherwise` for any other type.
    UINT Number(UINT otherwise) const {
        switch (value_.vt) {
        case VT_UI1:
            return value_.bVal;
        case VT_UI2:
            return value_.uiVal;
        case VT_UI4:
            return value_.ulVal;
        case VT_BOOL:
            return value_.boolVal ? 1 : 0;
        default:
            return otherwise;
        }
    }
    // The bytes of a vector of bytes, empty for any other type.
    std::vector<BYTE> Bytes() const {
        if (value_.vt != (VT_VECTOR | VT_UI1)) {
            return {};
        }
        return std::vector<BYTE>(value_.caub.pElems, value_.caub.pElems + value_.caub.cElems);
    }

  private:
    PROPVARIANT value_;
};

UINT NumberOf(IWICMetadataQueryReader* reader, const wchar_t* name, UINT otherwise) {
    Property value;
    return value.Read(reader, name) ? value.Number(otherwise) : otherwise;
}

// The loop count of the application block "NETSCAPE2.0" (its data sub-block 1, then the count
// in two bytes, with or without the sub-block's length before it), or -1.
int LoopOf(IWICMetadataQueryReader* reader) {
    Property application, data;
    if (!application.Read(reader, L"/appext/Application") || !data.Read(reader, L"/appext/Data")) {
        return -1;
    }
    const std::vector<BYTE> name = application.Bytes();
    std::vector<BYTE> bytes = data.Bytes();
    if (name.size() != 11 || std::memcmp(name.data(), "NETSCAPE2.0", 11) != 0) {
        return -1;
    }
    if (bytes.size() >= 4 && bytes[0] == 3 && bytes[1] == 1) {
        bytes.erase(bytes.begin());
    }
    return bytes.size() >= 3 && bytes[0] == 1 ? bytes[1] | bytes[2] << 8 : -1;
}

image::Disposal DisposalOf(UINT code) {
    return code == 2   ? image::Disposal::Background
           : code == 3 ? image::Disposal::Previous
                       : image::Disposal::Keep;
}

// One stored piece of a frame: its indices, colours and what its graphic control says.
struct StoredFrame {
    image::Piece piece;
    std::vector<BYTE> indices, table;
    int delay = 0;
};

// Reads frame `f`'s piece. False when the codecs cannot give it.
bool ReadPiece(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, StoredFrame& stored) {
    ComObject<IWICMetadataQueryReader> reader;
    if (FAILED(frame->GetMetadataQueryReader(reader.Receive()))) {
        return false;
    }
    UINT width = 0, height = 0;
    WICPixelFormatGUID format;
    if (FAILED(frame->GetSize(&width, &height)) || FAILED(frame->GetPixelFormat(&format)) ||
        format != GUID_WICPixelFormat8bppIndexed) {
        return false;
    }
    image::Piece& piece = stored.piece;
    piece.place = {NumberOf(reader.get(), L"/imgdesc/Left", 0),
                   NumberOf(reader.get(), L"/imgdesc/Top", 0), width, height};
    const bool transparent = NumberOf(reader.get(), L"/grctlext/TransparencyFlag", 0) != 0;
    piece.transparent =
        transparent
            ? static_cast<int>(NumberOf(reader.get(), L"/grctlext/TransparentColorIndex", 0))
            : -1;
    piece.disposal = DisposalOf(NumberOf(reader.get(), L"/grctlext/Disposal", 0));
    stored.delay = 10 * static_cast<int>(NumberOf(reader.get(), L"/grctlext/Delay", 0));
    ComObject<IWICPalette> palette;
    WICColor colours[256] = {};
    UINT count = 0;
    if (FAILED(factory->CreatePalette(palette.Receive())) ||
        FAILED(frame->CopyPalette(palette.get())) ||
        FAILED(palette->GetColors(256, colours, &count))) {
        return false;
    }
    stored.table.resize(3 * std::size_t{count});
    for (UINT c = 0; c < count; ++c) {
        stored.table[3 * c] = static_cast<BYTE>(colours[c] >> 16);
        stored.table[3 * c + 1] = static_cast<BYTE>(colours[c] >> 8);
        stored.table[3 * c + 2] = static_cast<BYTE>(colours[c]);
    }
    stored.indices.assign(std::size_t{width} * height, 0);
    if (!stored.indices.empty() &&
        FAILED(frame->CopyPixels(nullptr, width, width * height, stored.indices.data()))) {
        return false;
    }
    piece.indices = stored.indices.data();
    piece.table = stored.table.data();
    piece.colours = static_cast<int>(count);
    return true;
}

DecodeResult DecodeFrames(const BYTE* data, DWORD size, const image::AlphaRule& rule,
                          DecodedFrames& frames) {
    ComObject<IWICImagingFactory> factory;
    ComObject<IWICStream> stream;
    ComObject<IWICBitmapDecoder> decoder;
    UINT count = 0;
    if (!CreateImagingFactory(factory) || FAILED(factory->CreateStream(stream.Receive())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), size)) ||
        FAILED(factory->CreateDecoder(GUID_ContainerFormatGif, nullptr, decoder.Receive())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrameCount(&count))) {
        return DecodeResult::CannotRead;
    }
    if (count <= 1) {
        return DecodeResult::Decoded;
    }
    ComObject<IWICMetadataQueryReader> file;
    if (FAILED(decoder->GetMetadataQueryReader(file.Receive()))) {
        return DecodeResult::CannotRead;
    }
    const UINT width = NumberOf(file.get(), L"/logscrdesc/Width", 0);
    const UINT height = NumberOf(file.get(), L"/logscrdesc/Height", 0);
    if (width == 0 || height == 0) {
        return DecodeResult::CannotRead; // read as a still image, if at all
    }
    const std::uint64_t screen = std::uint64_t{width} * height;
    const auto bmpSize = image::Plain24Size(width, height);
    if (count > image::kMaxFrames || !bmpSize || count * screen > image::kMaxAnimationPixels) {
        return DecodeResult::TooLarge;
    }
    frames.loop = LoopOf(file.get());
    image::Canvas canvas(width, height);
    std::uint64_t stored = 0; // the pixels of the pieces read
    for (UINT f = 0; f < count; ++f) {
        ComObject<IWICBitmapFrameDecode> frame;
        UINT pieceWidth = 0, pieceHeight = 0;
        if (FAILED(decoder->GetFrame(f, frame.Receive())) ||
            FAILED(frame->GetSize(&pieceWidth, &pieceHeight))) {
            return DecodeResult::CannotRead;
        }
        stored += std::uint64_t{pieceWidth} * pieceHeight;
        if (stored > image::kMaxAnimationPixels) {
            return DecodeResult::TooLarge;
        }
        StoredFrame piece;
        if (!ReadPiece(factory.get(), frame.get(), piece)) {
            return DecodeResult::CannotRead;
        }
        std::vector<BYTE> bmp(static_cast<std::size_t>(*bmpSize));
        image::WritePlain24(canvas.Draw(piece.piece), rule, bmp.data());
        canvas.Dispose();
        frames.images.push_back(std::move(bmp));
        frames.delays.push_back(piece.delay);
    }
    return DecodeResult::Decoded;
}

// Sets a frame's graphic control and place through the codec's metadata writer; false when
// the codec has none that takes them.
bool WriteFrameMetadata(IWICBitmapFrameEncode* frame, const image::FrameBlock& block) {
    ComObject<IWICMetadataQueryWriter> writer;
    if (FAILED(frame->GetMetadataQueryWriter(writer.Receive()))) {
        return false;
    }
    const auto put = [&writer](const wchar_t* name, VARTYPE type, UINT value) {
        PROPVARIANT v;
        PropVariantInit(&v);
        v.vt = type;
        if (type == VT_UI1) {
            v.bVal = static_cast<BYTE>(value);
        } else if (type == VT_BOOL) {
            v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        } else {
            v.uiVal = static_cast<USHORT>(value);
        }
        return SUCCEEDED(writer->SetMetadataByName(name, &v));
    };
    return put(L"/grctlext/Delay", VT_UI2, static_cast<UINT>(block.delay)) &&
           put(L"/grctlext/Disposal", VT_UI1, block.clears ? 2 : 1) &&
           put(L"/grctlext/TransparencyFlag", VT_BOOL, block.transparent >= 0) &&
           put(L"/grctlext/TransparentColorIndex", VT_UI1,
               static_cast<UINT>(std::max(block.transparent, 0))) &&
           put(L"/imgdesc/Left", VT_UI2, block.left) && put(L"/imgdesc/Top", VT_UI2, block.top);
}

// Writes one piece as a frame of the encoder, every frame with the palette: some codecs write
// a frame's pixels only with a colour table of its own.
bool WritePiece(IWICBitmapEncoder* encoder, IWICPalette* palette, const image::StoredPiece& piece,
                const image::FrameBlock& block) {
    ComObject<IWICBitmapFrameEncode> frame;
    ComObject<IPropertyBag2> options;
    WICPixelFormatGUID format = GUID_WICPixelFormat8bppIndexed;
    const UINT width = piece.place.width, height = piece.place.height;
    if (FAILED(encoder->CreateNewFrame(frame.Receive(), options.Receive())) ||
        FAILED(frame->Initialize(options.get())) || FAILED(frame->SetSize(width, height)) ||
        FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat8bppIndexed ||
        FAILED(frame->SetPalette(palette))) {
        return false;
    }
    WriteFrameMetadata(frame.get(), block); // what it cannot write is put in afterwards
    return SUCCEEDED(frame->WritePixels(height, width, width * height,
                                        const_cast<BYTE*>(piece.indices.data()))) &&
           SUCCEEDED(frame->Commit());
}

bool EncodeFrames(const IndexedAnimation& animation, std::vector<BYTE>& gif) {
    ComObject<IWICImagingFactory> factory;
    ComObject<IStream> stream;
    ComObject<IWICBitmapEncoder> encoder;
    ComObject<IWICPalette> palette;
    if (!CreateImagingFactory(factory) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive())) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatGif, nullptr, encoder.Receive())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache))) {
        return false;
    }
    WICColor colours[256] = {};
    for (int i = 0; i < 256; ++i) {
        colours[i] = 0xFF000000u | static_cast<WICColor>(animation.table[3 * i]) << 16 |
                     static_cast<WICColor>(animation.table[3 * i + 1]) << 8 |
                     animation.table[3 * i + 2];
    }
    if (FAILED(factory->CreatePalette(palette.Receive())) ||
        FAILED(palette->InitializeCustom(colours, 256)) ||
        FAILED(encoder->SetPalette(palette.get()))) {
        return false;
    }
    // Unchanged pixels are left transparent where LZW codes the piece in fewer bytes; the
    // codecs code 8-bit pixels with codes from 9 bits.
    const int spare = animation.entries < 256 ? animation.entries : -1;
    auto counter = std::make_shared<image::LzwSize>();
    const auto cost = [counter](const std::vector<std::uint8_t>& indices, std::uint32_t) {
        return counter->Count(indices.data(), indices.size(), 8);
    };
    image::PiecePlanner planner(animation.width, animation.height, spare, animation.key, cost);
    std::vector<image::FrameBlock> blocks;
    for (std::size_t f = 0; f < animation.frames.size(); ++f) {
        const BYTE* next =
            f + 1 < animation.frames.size() ? animation.frames[f + 1].data() : nullptr;
        const image::StoredPiece piece = planner.Plan(animation.frames[f].data(), next);
        blocks.push_back({piece.place.left, piece.place.top, (animation.delays[f] + 5) / 10,
                          piece.clears, piece.transparent});
        if (!WritePiece(encoder.get(), palette.get(), piece, blocks.back())) {
            return false;
        }
    }
    STATSTG stat = {};
    HGLOBAL memory = nullptr;
    if (FAILED(encoder->Commit()) || FAILED(stream->Stat(&stat, STATFLAG_NONAME)) ||
        FAILED(GetHGlobalFromStream(stream.get(), &memory))) {
        return false;
    }
    const LockedBlock<const BYTE> written(memory);
    if (written.get() == nullptr) {
        return false;
    }
    gif = image::WithFrameBlocks(written.get(), static_cast<std::size_t>(stat.cbSize.QuadPart),
                                 blocks, animation.loop);
    return !gif.empty();
}

} // namespace

DecodeResult DecodeAnimation(const BYTE* data, DWORD size, const image::AlphaRule& rule,
                             DecodedFrames& frames) {
    frames = DecodedFrames{};
    try {
        const DecodeResult result = DecodeFrames(data, size, rule, frames);
        if (result != DecodeResult::Decoded) {
            frames = DecodedFrames{};
        }
        return result;
    } catch (const std::bad_alloc&) {
        frames = DecodedFrames{};
        return DecodeResult::NoMemory;
    }
}

bool EncodeAnimation(const IndexedAnimation& animation, std::vector<BYTE>& gif) {
    gif.clear();
    try {
        return !animation.frames.empty() && EncodeFrames(animation, gif);
    } catch (const std::bad_alloc&) {
        return false;
    }
}
