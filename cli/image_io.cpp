#include "cli/image_io.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "cli/deflate.h"
#include "core/bmp/layout.h"
#include "core/image/jpeg_check.h"
#include "core/image/png_check.h"

namespace cli {
namespace {

bool LittleEndian() {
    const std::uint16_t one = 1;
    std::uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// libpng's errors end in a jump back to the setjmp of the function that called it; its
// warnings are not worth a word.
void OnPngError(png_structp png, png_const_charp message) {
    auto* text = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(text, 200, "%s", message);
    png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

struct MemoryReader {
    const std::uint8_t* data;
    std::size_t size, at;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->at) {
        png_error(png, "the file is cut short");
    }
    std::memcpy(out, reader->data + reader->at, length);
    reader->at += length;
}

// Room for the BMP of a width x height image and for a row of `rowBytes` beside it. False when
// memory runs out (the caller then jumps back with its error, outside any catch block).
bool MakeRoomFor(FileBytes& bmp, std::uint64_t size) {
    try {
        bmp.reserve(static_cast<std::size_t>(size) + kConversionRoom);
        bmp.resize(static_cast<std::size_t>(size));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool MakeRoom(std::uint32_t width, std::uint32_t height, const image::AlphaRule& rule,
              FileBytes& bmp, std::vector<std::uint8_t>& row, std::size_t rowBytes) {
    try {
        const auto size = static_cast<std::size_t>(*image::PlainSize(width, height, rule));
        bmp.reserve(size + kConversionRoom);
        bmp.resize(size);
        row.resize(rowBytes);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// What reads a PNG's pixels once its header has been read, in the frame of ReadPngWith, whose
// setjmp libpng's errors jump back to: nothing in it may need destroying.
using PngPixels = void (*)(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height,
                           void* context);

// Reads a PNG's header (an image of no pixels or too many is refused), then its pixels with
// `pixels`. False, with `message`, when libpng or `pixels` refuses the file. No C++ object lives
// in this frame: libpng's errors jump back here.
bool ReadPngWith(const std::uint8_t* data, std::size_t size, char* message, PngPixels pixels,
                 void* context) {
    MemoryReader reader{data, size, 0};
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, message, OnPngError, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::snprintf(message, 200, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, ReadFromMemory);
    // The chunks' checksums were checked before.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (!image::Plain24Size(width, height)) {
        png_error(png, "the image has no pixels or too many");
    }
    pixels(png, info, width, height, context);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

struct TrueColourRead {
    const image::AlphaRule* rule;
    FileBytes* bmp;
    std::vector<std::uint8_t>* row;
};

// Reads every pixel of a PNG file as red, green, blue and alpha samples of 8 bits, or of 16
// where the file has them, into the BMP a row at a time. An interlaced image is read pass by
// pass, each pass's rows put in place at once, so that no more than the BMP and a row is
// ever held (a 16-bit image held whole would take 8 bytes a pixel). No C++ object lives in
// this frame: libpng's errors jump back to ReadPngWith's.
void ReadTrueColour(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height,
                    void* context) {
    const auto& read = *static_cast<TrueColourRead*>(context);
    const image::AlphaRule& rule = *read.rule;
    FileBytes& bmp = *read.bmp;
    std::vector<std::uint8_t>& row = *read.row;
    const int depth = png_get_bit_depth(png, info);
    const int colour = png_get_color_type(png, info);
    const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (transparent) {
        png_set_tRNS_to_alpha(png);
    }
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    if ((colour & PNG_COLOR_MASK_ALPHA) == 0 && !transparent) {
        png_set_add_alpha(png, depth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
    }
    if (depth == 16 && LittleEndian()) {
        png_set_swap(png);
    }
    png_read_update_info(png, info);
    const int bits = depth == 16 ? 16 : 8;
    const std::size_t rowBytes = std::size_t{width} * 4 * static_cast<std::size_t>(bits / 8);
    if (png_get_rowbytes(png, info) != rowBytes) {
        png_error(png, "unexpected row length");
    }
    if (!image::PlainSize(width, height, rule)) {
        png_error(png, "the image has too many pixels");
    }
    if (!MakeRoom(width, height, rule, bmp, row, rowBytes)) {
        png_error(png, "out of memory");
    }
    image::Plain24Writer writer(width, height, bits, rule, bmp.data());
    if (png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7) {
        // Without png_set_interlace_handling libpng gives each pass's own rows, of the pass's
        // pixels only, and skips the passes that hold none.
        for (int pass = 0; pass < PNG_INTERLACE_ADAM7_PASSES; ++pass) {
            if (PNG_PASS_COLS(width, pass) == 0) {
                continue;
            }
            for (png_uint_32 y = 0; y < PNG_PASS_ROWS(height, pass); ++y) {
                png_read_row(png, row.data(), nullptr);
                writer.Pixels(PNG_ROW_FROM_PASS_ROW(y, pass), PNG_PASS_START_COL(pass),
                              PNG_PASS_COL_OFFSET(pass), row.data());
            }
        }
    } else {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, row.data(), nullptr);
            writer.Row(y, row.data());
        }
    }
}

bool ReadPng(const std::uint8_t* data, std::size_t size, const image::AlphaRule& rule,
             FileBytes& bmp, std::vector<std::uint8_t>& row, char* message) {
    TrueColourRead read{&rule, &bmp, &row};
    return ReadPngWith(data, size, message, ReadTrueColour, &read);
}

struct IndicesRead {
    bool keyZero;
    FileBytes* bmp;
};

// Reads a palette PNG's indices, one byte each, into the plain 8-bit BMP file image of them:
// the PLTE's colours as its table (biClrUsed says how many), the rows bottom-up. An interlaced
// image's passes are read into the BMP's rows themselves. Refuses a PNG of another colour type,
// and transparency an 8-bit BMP cannot hold: any but entry 0 fully transparent and the rest
// opaque, which `keyZero` allows.
void ReadIndices(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height,
                 void* context) {
    const auto& read = *static_cast<IndicesRead*>(context);
    const bool keyZero = read.keyZero;
    FileBytes& bmp = *read.bmp;
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE ||
        png_get_PLTE(png, info, &entries, &count) == 0) {
        png_error(png, "not an indexed (palette) PNG");
    }
    png_bytep alpha = nullptr;
    int transparent = 0;
    if (png_get_tRNS(png, info, &alpha, &transparent, nullptr) != 0) {
        bool keyed = keyZero && transparent >= 1 && alpha[0] == 0;
        for (int e = 1; e < transparent; ++e) {
            keyed = keyed && alpha[e] == 255;
        }
        if (!keyed) {
            png_error(png, "its transparency would be lost (only a fully transparent entry 0 "
                           "is kept, with --key)");
        }
    }
    png_set_packing(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::uint64_t stride = bmp::StrideBytes(width, 8);
    const std::uint64_t total = bmp::k8BitPixelData + stride * height;
    if (!MakeRoomFor(bmp, total)) {
        png_error(png, "out of memory");
    }
    std::fill(bmp.begin(), bmp.end(), std::uint8_t{0});
    std::uint8_t* const head = bmp.data();
    head[0] = 'B', head[1] = 'M';
    bmp::WriteU32(head + bmp::kBfSize, static_cast<std::uint32_t>(total));
    bmp::WriteU32(head + bmp::kBfOffBits, bmp::k8BitPixelData);
    bmp::WriteU32(head + bmp::kBiSize, 40);
    bmp::WriteU32(head + bmp::kBiWidth, width);
    bmp::WriteU32(head + bmp::kBiHeight, height);
    bmp::WriteU16(head + bmp::kBiPlanes, 1);
    bmp::WriteU16(head + bmp::kBiBitCount, 8);
    bmp::WriteU32(head + bmp::kBiSizeImage, static_cast<std::uint32_t>(stride * height));
    bmp::WriteU32(head + bmp::kBiClrUsed, static_cast<std::uint32_t>(count));
    for (int e = 0; e < count && e < 256; ++e) {
        std::uint8_t* entry = head + bmp::kColourTable + 4 * e;
        entry[0] = entries[e].blue, entry[1] = entries[e].green, entry[2] = entries[e].red;
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, head + bmp::k8BitPixelData + (height - 1 - y) * stride, nullptr);
        }
    }
}

bool ReadPngIndices(const std::uint8_t* data, std::size_t size, bool keyZero, FileBytes& bmp,
                    char* message) {
    IndicesRead read{keyZero, &bmp};
    return ReadPngWith(data, size, message, ReadIndices, &read);
}

// libjpeg's errors jump back as libpng's do, and so does its first warning (damaged data
// that it would make up for): such a file is refused, and decoding the rest would be work
// for nothing.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 40];
};

void OnJpegError(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    errors->manager.format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void OnJpegMessage(j_common_ptr info, int level) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    if (level < 0) {
        char text[JMSG_LENGTH_MAX];
        errors->manager.format_message(info, text);
        std::snprintf(errors->message, sizeof errors->message, "the JPEG file is damaged: %s",
                      text);
        std::longjmp(errors->jump, 1);
    }
}

// Called by libjpeg as it reads, a row of blocks at a time: the decoder's own count of scans,
// held to the limit that CheckJpegMarkers applies to the markers before.
void OnJpegProgress(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > image::kMaxJpegScans) {
        auto* errors = reinterpret_cast<JpegErrors*>(info->err);
        std::snprintf(errors->message, sizeof errors->message, "%s",
                      image::JpegProblemText(image::JpegProblem::TooManyScans));
        std::longjmp(errors->jump, 1);
    }
}

// Reads a JPEG file's pixels into the BMP a row at a time. A progressive file is read whole
// by jpeg_start_decompress first, into libjpeg's coefficients of every block (2 bytes for
// each sample of every component, 6 bytes a pixel at most).
bool ReadJpeg(const std::uint8_t* data, std::size_t size, FileBytes& bmp,
              std::vector<std::uint8_t>& row, char* message) {
    jpeg_decompress_struct jpeg;
    JpegErrors errors;
    jpeg_progress_mgr progress;
    jpeg.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.emit_message = OnJpegMessage;
    errors.message[0] = '\0';
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&jpeg);
        std::snprintf(message, 200, "%.199s", errors.message);
        return false;
    }
    jpeg_create_decompress(&jpeg);
    progress.progress_monitor = OnJpegProgress;
    jpeg.progress = &progress;
    jpeg_mem_src(&jpeg, data, static_cast<unsigned long>(size));
    jpeg_read_header(&jpeg, TRUE);
    bool usable = image::Plain24Size(jpeg.image_width, jpeg.image_height).has_value();
    if (!usable) {
        std::snprintf(message, 200, "the image has no pixels or too many");
    } else if (jpeg.jpeg_color_space == JCS_CMYK || jpeg.jpeg_color_space == JCS_YCCK) {
        usable = false;
        std::snprintf(message, 200, "CMYK JPEG images are not read");
    }
    if (usable) {
        jpeg.out_color_space = JCS_EXT_RGBA;
        jpeg_start_decompress(&jpeg);
        const image::AlphaRule opaque;
        if (!MakeRoom(jpeg.output_width, jpeg.output_height, opaque, bmp, row,
                      std::size_t{jpeg.output_width} * 4)) {
            std::snprintf(errors.message, sizeof errors.message, "out of memory");
            std::longjmp(errors.jump, 1);
        }
        image::Plain24Writer writer(jpeg.output_width, jpeg.output_height, 8, opaque, bmp.data());
        while (jpeg.output_scanline < jpeg.output_height) {
            JSAMPROW samples = row.data();
            const JDIMENSION y = jpeg.output_scanline;
            if (jpeg_read_scanlines(&jpeg, &samples, 1) == 1) {
                writer.Row(y, row.data());
            }
        }
        jpeg_finish_decompress(&jpeg);
    }
    jpeg_destroy_decompress(&jpeg);
    return usable;
}

// The size of a JPEG file's image and of the coefficients a progressive one is read into, each
// component's blocks rounded up to whole units of its sampling, as libjpeg allocates them.
bool ReadJpegSize(const std::uint8_t* data, std::size_t size, DecodedSize& decoded) {
    jpeg_decompress_struct jpeg;
    JpegErrors errors;
    jpeg.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.emit_message = OnJpegMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&jpeg);
        return false;
    }
    jpeg_create_decompress(&jpeg);
    jpeg_mem_src(&jpeg, data, static_cast<unsigned long>(size));
    jpeg_read_header(&jpeg, TRUE);
    decoded.bmp = image::Plain24Size(jpeg.image_width, jpeg.image_height).value_or(0);
    decoded.width = jpeg.image_width;
    if (decoded.bmp > 0 && jpeg.progressive_mode) {
        for (int c = 0; c < jpeg.num_components; ++c) {
            const jpeg_component_info& component = jpeg.comp_info[c];
            const auto roundUp = [](std::uint64_t n, std::uint64_t unit) {
                return (n + unit - 1) / unit * unit;
            };
            decoded.decoder += roundUp(component.width_in_blocks,
                                       static_cast<std::uint64_t>(component.h_samp_factor)) *
                               roundUp(component.height_in_blocks,
                                       static_cast<std::uint64_t>(component.v_samp_factor)) *
                               DCTSIZE2 * sizeof(JCOEF);
        }
    }
    decoded.decoder += std::uint64_t{jpeg.image_width} * 4;
    jpeg_destroy_decompress(&jpeg);
    return true;
}

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    if (!stored) {
        png_error(png, "out of memory");
    }
}
void FlushNothing(png_structp) {}

void StoreU32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

// Appends one chunk: its length, its type, its data and the CRC of type and data.
void AppendChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data,
                 std::size_t size) {
    std::uint8_t number[4];
    StoreU32(number, static_cast<std::uint32_t>(size));
    out.insert(out.end(), number, number + 4);
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    StoreU32(number, static_cast<std::uint32_t>(crc32_z(0, out.data() + typeAt, 4 + size)));
    out.insert(out.end(), number, number + 4);
}

// Writes an indexed PNG without libpng: the rows need no filter (they do nothing for an
// indexed image but cost time), and deflating them is most of the work, done on two processors
// (DeflateInTwo). Chosen by measurement: on a dithered photograph level 5 compresses within 1 %
// of level 6 (and of pngquant's files, or better) in two thirds of the time, and level 9 gains
// 3 % for ten times the time; on a graphic, whose runs of one index are long (at least three
// quarters of its pixels like the one before them, against at most two thirds on photographs),
// level 9 makes files 3 to 48 % smaller than level 5 for a few milliseconds more. Below 8 bits
// the bytes of a row, each a few indices, are counted as its pixels.
bool WriteIndexedPng(const quantize::IndexedImage& image, std::vector<std::uint8_t>& out) {
    const auto rows = static_cast<std::uint32_t>(image.rows);
    const std::size_t line = static_cast<std::size_t>(image.RowBytes()) + 1;
    std::vector<std::uint8_t> lines(rows * line); // each row after its filter byte, 0 (none)
    std::uint64_t repeats = 0;                    // pixels of the same index as the one before them
    for (std::uint32_t y = 0; y < rows; ++y) {
        const std::uint8_t* row = image.TopRow(y);
        std::memcpy(&lines[y * line + 1], row, line - 1);
        for (std::size_t x = 1; x + 1 < line; ++x) {
            repeats += row[x] == row[x - 1];
        }
    }
    const bool graphic = 4 * repeats >= 3 * static_cast<std::uint64_t>(rows) * (line - 1);
    std::vector<std::uint8_t> compressed;
    if (!DeflateInTwo(lines.data(), lines.size(), graphic ? 9 : 5, compressed)) {
        return false;
    }
    lines = {};
    // Size; bits an index, indexed colour, deflate, no filters chosen, no interlace.
    std::uint8_t header[13] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0};
    StoreU32(header, static_cast<std::uint32_t>(image.width));
    StoreU32(header + 4, rows);
    header[8] = static_cast<std::uint8_t>(image.bits);
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static constexpr std::uint8_t kTransparent[1] = {0};
    static constexpr std::size_t kIdatSize = 256 * 1024;
    out.reserve(compressed.size() + compressed.size() / kIdatSize * 12 + 1024);
    out.insert(out.end(), kSignature, kSignature + 8);
    AppendChunk(out, "IHDR", header, sizeof header);
    AppendChunk(out, "PLTE", image.table.data(), 3 * static_cast<std::size_t>(image.entries));
    if (image.translucent) {
        // Up to the last entry that is not opaque: the rest are opaque without being told.
        std::size_t count = static_cast<std::size_t>(image.entries);
        while (count > 0 && image.alpha[count - 1] == 255) {
            --count;
        }
        if (count > 0) {
            AppendChunk(out, "tRNS", image.alpha.data(), count);
        }
    } else if (image.key && image.keyStep > 0) {
        // Every keyStep-th entry is a key colour: a tile image's palettes each start with it.
        std::vector<std::uint8_t> alpha(
            static_cast<std::size_t>((image.entries - 1) / image.keyStep * image.keyStep + 1), 255);
        for (std::size_t e = 0; e < alpha.size(); e += static_cast<std::size_t>(image.keyStep)) {
            alpha[e] = 0;
        }
        AppendChunk(out, "tRNS", alpha.data(), alpha.size());
    } else if (image.key) {
        AppendChunk(out, "tRNS", kTransparent, 1);
    }
    for (std::size_t at = 0; at < compressed.size(); at += kIdatSize) {
        AppendChunk(out, "IDAT", compressed.data() + at,
                    std::min(kIdatSize, compressed.size() - at));
    }
    AppendChunk(out, "IEND", nullptr, 0);
    return true;
}

// Writes the RGB PNG of a 24-bit image with libpng and its own choice of filters. No C++
// object lives in this frame.
bool WriteRgbPng(const quantize::IndexedImage& image, std::vector<std::uint8_t>& out,
                 char* message) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, message, OnPngError, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(message, 200, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, WriteToVector, FlushNothing);
    png_set_compression_level(png, 5);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.rows), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_bgr(png);
    png_write_info(png, info);
    for (std::uint64_t y = 0; y < image.rows; ++y) {
        png_write_row(png, const_cast<png_bytep>(image.TopRow(y)));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

ImageKind KindOf(const std::uint8_t* data, std::size_t size) {
    if (image::IsPng(data, size)) {
        return ImageKind::Png;
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        return ImageKind::Jpeg;
    }
    return ImageKind::Bmp;
}

bool DecodeToBmp(const std::uint8_t* data, std::size_t size, const image::AlphaRule& rule,
                 FileBytes& bmp, std::string& error) {
    std::vector<std::uint8_t> row;
    char message[JMSG_LENGTH_MAX > 200 ? JMSG_LENGTH_MAX : 200] = "";
    if (KindOf(data, size) == ImageKind::Png) {
        if (const auto problem = image::CheckPngChunks(data, size)) {
            error = image::PngProblemText(*problem);
            return false;
        }
        if (!ReadPng(data, size, rule, bmp, row, message)) {
            error = std::string("not a PNG image that can be read: ") + message;
            return false;
        }
        return true;
    }
    if (const auto problem = image::CheckJpegMarkers(data, size)) {
        error =
            std::string("not a JPEG image that can be read: ") + image::JpegProblemText(*problem);
        return false;
    }
    if (!ReadJpeg(data, size, bmp, row, message)) {
        error = std::string("not a JPEG image that can be read: ") + message;
        return false;
    }
    return true;
}

bool DecodeIndexedPng(const std::uint8_t* data, std::size_t size, bool keyZero, FileBytes& bmp,
                      std::string& error) {
    char message[200] = "";
    if (const auto problem = image::CheckPngChunks(data, size)) {
        error = image::PngProblemText(*problem);
        return false;
    }
    if (!ReadPngIndices(data, size, keyZero, bmp, message)) {
        error = std::string("not an indexed PNG image that can be read: ") + message;
        return false;
    }
    return true;
}

DecodedSize DecodedSizeOf(const std::uint8_t* data, std::size_t size) {
    DecodedSize decoded;
    if (KindOf(data, size) == ImageKind::Png) {
        // IHDR's width and height follow the signature and the chunk's length and type.
        if (size >= 24) {
            const auto big = [data](std::size_t at) {
                return std::uint32_t{data[at]} << 24 | std::uint32_t{data[at + 1]} << 16 |
                       std::uint32_t{data[at + 2]} << 8 | data[at + 3];
            };
            decoded.bmp = image::Plain24Size(big(16), big(20)).value_or(0);
            decoded.width = big(16);
            decoded.decoder = decoded.bmp > 0 ? std::uint64_t{big(16)} * 8 : 0;
        }
    } else if (KindOf(data, size) == ImageKind::Jpeg && !ReadJpegSize(data, size, decoded)) {
        decoded = {};
    }
    return decoded;
}

bool EncodePng(const quantize::IndexedImage& image, std::vector<std::uint8_t>& png,
               std::string& error) {
    char message[200] = "";
    png.clear();
    bool made = false;
    if (image.bits == 24) {
        made = WriteRgbPng(image, png, message);
    } else if (image.bits == 1 || image.bits == 2 || image.bits == 4 || image.bits == 8) {
        try {
            made = WriteIndexedPng(image, png);
        } catch (const std::bad_alloc&) {
        }
        if (!made) {
            std::snprintf(message, sizeof message, "out of memory"); // its only failure
        }
    } else {
        std::snprintf(message, sizeof message, "%d bits a pixel have no PNG form", image.bits);
    }
    if (!made) {
        png.clear();
        error = std::string("the PNG file could not be made: ") + message;
    }
    return made;
}

} // namespace cli
