#include "win/document/codecs.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <wincodec.h>

#include "win/app/owners.h"
#include "core/image/png_check.h"

namespace {

bool StartsWith(const BYTE* data, DWORD size, const char* bytes, DWORD length) {
    return size >= length && std::memcmp(data, bytes, length) == 0;
}

// The 16-bit formats the decoders hand out, and how their samples become red, green, blue
// and alpha; every other format is converted to 32-bit BGRA by the codecs.
enum class Wide { No, Rgb48, Rgba64, Grey16 };

Wide WideFormat(const WICPixelFormatGUID& format) {
    if (format == GUID_WICPixelFormat48bppRGB) {
        return Wide::Rgb48;
    }
    if (format == GUID_WICPixelFormat64bppRGBA) {
        return Wide::Rgba64;
    }
    if (format == GUID_WICPixelFormat16bppGray) {
        return Wide::Grey16;
    }
    return Wide::No;
}

// One row of 16-bit samples, little-endian as the codecs give them, as red, green, blue and
// alpha in the machine's order.
void WidenRow(Wide wide, const BYTE* in, UINT width, std::uint16_t* out) {
    const auto sample = [in](std::size_t i) {
        return static_cast<std::uint16_t>(in[2 * i] | in[2 * i + 1] << 8);
    };
    for (std::size_t x = 0; x < width; ++x) {
        std::uint16_t* p = out + 4 * x;
        switch (wide) {
        case Wide::Rgb48:
            p[0] = sample(3 * x), p[1] = sample(3 * x + 1), p[2] = sample(3 * x + 2);
            p[3] = 0xFFFF;
            break;
        case Wide::Rgba64:
            p[0] = sample(4 * x), p[1] = sample(4 * x + 1), p[2] = sample(4 * x + 2);
            p[3] = sample(4 * x + 3);
            break;
        default:
            p[0] = p[1] = p[2] = sample(x);
            p[3] = 0xFFFF;
            break;
        }
    }
}

// Copies the frame's rows into the writer, top first.
bool CopyRows(IWICBitmapSource* source, Wide wide, UINT width, UINT height,
              image::Plain24Writer& writer) {
    const UINT inBytes = wide == Wide::Rgb48    ? 6 * width
                         : wide == Wide::Rgba64 ? 8 * width
                         : wide == Wide::Grey16 ? 2 * width
                                                : 4 * width;
    std::vector<BYTE> in(inBytes);
    std::vector<std::uint16_t> wideRow(wide == Wide::No ? 0 : 4 * std::size_t{width});
    for (UINT y = 0; y < height; ++y) {
        const WICRect row = {0, static_cast<INT>(y), static_cast<INT>(width), 1};
        if (FAILED(source->CopyPixels(&row, inBytes, inBytes, in.data()))) {
            return false;
        }
        if (wide != Wide::No) {
            WidenRow(wide, in.data(), width, wideRow.data());
            writer.Row(y, reinterpret_cast<const std::uint8_t*>(wideRow.data()));
            continue;
        }
        for (UINT x = 0; x < width; ++x) {
            std::swap(in[4 * x], in[4 * x + 2]); // BGRA to RGBA
        }
        writer.Row(y, in.data());
    }
    return true;
}

// A 32-bit image that keeps its alpha (image::AlphaRule::kept) whose pixels are all opaque
// differs in nothing from the plain 24-bit one: it becomes that, so that only an image with
// transparency takes the ways of alpha. Null, the image kept as it is, when it has
// transparency or memory runs out.
HGLOBAL OpaqueAsPlain24(const BYTE* kept, UINT width, UINT height, DWORD& bytes) {
    const std::size_t pixels = std::size_t{width} * height;
    const BYTE* first = kept + image::kPlain32Pixels;
    for (std::size_t i = 0; i < pixels; ++i) {
        if (first[4 * i + 3] != 255) {
            return nullptr;
        }
    }
    const std::uint64_t size = *image::Plain24Size(width, height);
    HGLOBAL made = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size));
    const LockedBlock<BYTE> out(made);
    if (out.get() == nullptr) {
        GlobalFree(made);
        return nullptr;
    }
    image::Plain24Writer writer(width, height, 8, image::AlphaRule{}, out.get());
    std::vector<BYTE> row(4 * std::size_t{width});
    for (UINT y = 0; y < height; ++y) {
        const BYTE* stored = first + 4 * std::size_t{width} * (height - 1 - y); // bottom-up
        for (std::size_t x = 0; x < width; ++x) {
            row[4 * x] = stored[4 * x + 2], row[4 * x + 1] = stored[4 * x + 1];
            row[4 * x + 2] = stored[4 * x], row[4 * x + 3] = 255;
        }
        writer.Row(y, row.data());
    }
    bytes = static_cast<DWORD>(size);
    return made;
}

} // namespace

bool CreateImagingFactory(ComObject<IWICImagingFactory>& factory) {
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(factory.Receive())));
}

bool IsCodecImage(const BYTE* data, DWORD size) {
    return image::IsPng(data, size) || StartsWith(data, size, "\xFF\xD8\xFF", 3) ||
           StartsWith(data, size, "GIF8", 4) || StartsWith(data, size, "II*\0", 4) ||
           StartsWith(data, size, "MM\0*", 4);
}

DecodeResult DecodeImage(const BYTE* data, DWORD size, const image::AlphaRule& rule, HGLOBAL& block,
                         DWORD& bytes) {
    block = nullptr;
    if (image::IsPng(data, size)) {
        if (const auto problem = image::CheckPngChunks(data, size)) {
            return *problem == image::PngProblem::UnusableSize ? DecodeResult::TooLarge
                                                               : DecodeResult::CannotRead;
        }
    }
    ComObject<IWICImagingFactory> factory;
    ComObject<IWICStream> stream;
    ComObject<IWICBitmapDecoder> decoder;
    ComObject<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format;
    if (!CreateImagingFactory(factory) || FAILED(factory->CreateStream(stream.Receive())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), size)) ||
        FAILED(factory->CreateDecoderFromStream(
            stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Receive())) ||
        FAILED(decoder->GetFrame(0, frame.Receive())) || FAILED(frame->GetSize(&width, &height)) ||
        FAILED(frame->GetPixelFormat(&format))) {
        return DecodeResult::CannotRead;
    }
    const auto plainSize = image::PlainSize(width, height, rule);
    if (!plainSize) {
        return DecodeResult::TooLarge;
    }
    const Wide wide = WideFormat(format);
    ComObject<IWICBitmapSource> converted;
    IWICBitmapSource* source = frame.get();
    if (wide == Wide::No) {
        if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.get(),
                                          converted.Receive()))) {
            return DecodeResult::CannotRead;
        }
        source = converted.get();
    }
    HGLOBAL made = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(*plainSize));
    if (made == nullptr) {
        return DecodeResult::NoMemory;
    }
    bool copied = false;
    {
        const LockedBlock<BYTE> out(made);
        if (out.get() != nullptr) {
            image::Plain24Writer writer(width, height, wide == Wide::No ? 8 : 16, rule, out.get());
            copied = CopyRows(source, wide, width, height, writer);
        }
    }
    if (!copied) {
        GlobalFree(made);
        return DecodeResult::CannotRead;
    }
    bytes = static_cast<DWORD>(*plainSize);
    if (rule.kept) {
        HGLOBAL opaque = nullptr;
        {
            const LockedBlock<const BYTE> kept(made);
            opaque = kept.get() ? OpaqueAsPlain24(kept.get(), width, height, bytes) : nullptr;
        }
        if (opaque != nullptr) {
            GlobalFree(made);
            made = opaque;
        }
    }
    block = made;
    return DecodeResult::Decoded;
}

bool EncodePng(const quantize::IndexedImage& image, std::vector<BYTE>& png) {
    // The pixel formats of the bit counts written, indexed or blue, green, red.
    static const struct {
        int bits;
        const WICPixelFormatGUID* format;
    } kFormats[] = {{1, &GUID_WICPixelFormat1bppIndexed},
                    {2, &GUID_WICPixelFormat2bppIndexed},
                    {4, &GUID_WICPixelFormat4bppIndexed},
                    {8, &GUID_WICPixelFormat8bppIndexed},
                    {24, &GUID_WICPixelFormat24bppBGR}};
    const auto known = std::find_if(std::begin(kFormats), std::end(kFormats),
                                    [&image](const auto& f) { return f.bits == image.bits; });
    if (known == std::end(kFormats)) {
        return false;
    }
    ComObject<IWICImagingFactory> factory;
    ComObject<IStream> stream;
    ComObject<IWICBitmapEncoder> encoder;
    ComObject<IWICBitmapFrameEncode> frame;
    ComObject<IPropertyBag2> options;
    WICPixelFormatGUID format = *known->format;
    const UINT rows = static_cast<UINT>(image.rows);
    const UINT rowBytes = static_cast<UINT>(image.RowBytes());
    if (!CreateImagingFactory(factory) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive())) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Receive())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.Receive(), options.Receive())) ||
        FAILED(frame->Initialize(options.get())) ||
        FAILED(frame->SetSize(static_cast<UINT>(image.width), rows)) ||
        FAILED(frame->SetPixelFormat(&format)) || format != *known->format) {
        return false;
    }
    if (image.bits < 24) {
        ComObject<IWICPalette> palette;
        WICColor colours[256];
        for (int i = 0; i < image.entries; ++i) {
            const bool key = i == 0 || (image.keyStep > 0 && i % image.keyStep == 0);
            const WICColor alpha = image.translucent  ? WICColor{image.alpha[i]} << 24
                                   : image.key && key ? 0
                                                      : 0xFF000000u;
            colours[i] = alpha | static_cast<WICColor>(image.table[3 * i]) << 16 |
                         static_cast<WICColor>(image.table[3 * i + 1]) << 8 |
                         image.table[3 * i + 2];
        }
        if (FAILED(factory->CreatePalette(palette.Receive())) ||
            FAILED(palette->InitializeCustom(colours, static_cast<UINT>(image.entries))) ||
            FAILED(frame->SetPalette(palette.get()))) {
            return false;
        }
    }
    for (UINT y = 0; y < rows; ++y) {
        if (FAILED(frame->WritePixels(1, rowBytes, rowBytes, const_cast<BYTE*>(image.TopRow(y))))) {
            return false;
        }
    }
    STATSTG stat = {};
    HGLOBAL memory = nullptr;
    if (FAILED(frame->Commit()) || FAILED(encoder->Commit()) ||
        FAILED(stream->Stat(&stat, STATFLAG_NONAME)) ||
        FAILED(GetHGlobalFromStream(stream.get(), &memory))) {
        return false;
    }
    const LockedBlock<const BYTE> written(memory);
    if (written.get() == nullptr) {
        return false;
    }
    png.assign(written.get(), written.get() + stat.cbSize.QuadPart);
    return true;
}
