// Images of other kinds in the program, through the real Windows Imaging Component: the PNG
// test suite opens with the pixels an independent decoder reads, damaged files are refused
// with the document kept, and a document is saved as PNG by its name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/bmp/layout.h"
#include "core/image/png_check.h"
#include "core/image/rgba.h"
#include "core/quantize/alpha_diffusion.h"
#include "core/quantize/bmp_writer.h"
#include "core/text/texts.h"
#include "win/app/settings.h"
#include "win/document/document.h"
#include "win/palette/user_palette.h"
#include "win/res/resource.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/png_reference.h"
#include "tests/win/test_support.h"

namespace {

class Images : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (GetFileAttributesA(TW_PNG_CORPUS_DIR "/basn2c08.png") == INVALID_FILE_ATTRIBUTES) {
            GTEST_SKIP() << "no PNG suite at " << TW_PNG_CORPUS_DIR;
        }
    }
};

// The data of a PNG's first chunk of this type; nothing when there is none.
Bytes ChunkOf(const Bytes& png, const char* type) {
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const std::size_t length = static_cast<std::size_t>(png[at] << 24 | png[at + 1] << 16 |
                                                            png[at + 2] << 8 | png[at + 3]);
        if (std::memcmp(&png[at + 4], type, 4) == 0) {
            return Bytes(png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                         png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        }
        at += 12 + length;
    }
    return Bytes();
}

// Every file of the suite opens to the pixels Pillow reads (composited onto white), the
// interlaced ones to their plain twins', and the 16-bit ones to the CLI's, whose decoder
// rounds alike.
TEST_F(Images, ThePngSuiteOpensAsPillowReadsIt) {
    OpenMainWindow(200, 150);
    EXPECT_EQ(testimg::SuiteDifferences([this](const std::string& path, Bytes& bmp) {
                  Seams.messages.clear();
                  const bool opened = Open(path) && Kind.decoded;
                  bmp = DocumentBytes();
                  return Seams.messages.empty() ? (opened ? "" : "not opened")
                                                : Seams.messages[0].text;
              }),
              "");
}

// A damaged PNG, or one too large, says why and leaves the document and its name.
TEST_F(Images, DamagedImagesAreRefusedAndTheDocumentStays) {
    OpenMainWindow(200, 150);
    const Bytes good = OnDisk(TW_PNG_CORPUS_DIR "/basn2c08.png");
    const Bytes first = testimg::Make24(7, 5, [](int x, int y) { return 0x102030u * (x + y); });
    Load(first, "first.bmp");
    const std::string firstName = CurrentFileName;
    Bytes badChecksum = good;
    badChecksum[20] ^= 1;
    const Bytes cut(good.begin(), good.begin() + 80);
    // A header alone, for an image of 65536 x 65536 pixels: too large, nothing made for it.
    const Bytes header = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0,    0, 0, 13,
                          'I',  'H', 'D', 'R', 0,    1,    0,    0,    0,    1, 0, 0,
                          8,    2,   0,   0,   0,    0xE3, 0xE6, 0xA7, 0xB4, 0, 0, 0,
                          0,    'I', 'E', 'N', 'D',  0xAE, 0x42, 0x60, 0x82};
    for (const auto& [file, text] : std::vector<std::pair<Bytes, const char*>>{
             {badChecksum, kCannotReadText}, {cut, kCannotReadText}, {header, kTooLargeText}}) {
        SCOPED_TRACE(text);
        ResetSeams();
        OpenWithDialog(Write(file, "damaged.png"));
        EXPECT_TRUE(OnlyMessage(text));
        EXPECT_EQ(DocumentBytes(), first);
        EXPECT_EQ(CurrentFileName, firstName);
    }
}

// Saved as .png: an 8-bit document as an indexed PNG of the colours asked for (entry 0
// transparent with a key colour) that opens to the same pixels; a true-colour one as RGB;
// under another name, a decoded document is refused and nothing is written.
TEST_F(Images, DocumentsAreSavedAsPngByTheirName) {
    OpenMainWindow(200, 150);
    ASSERT_TRUE(Open(TW_PNG_CORPUS_DIR "/basn2c08.png"));
    const Bytes opened = DocumentBytes();
    Seams.dialogPath = Name("copy.jpg");
    Command(IDM_SAVEAS);
    EXPECT_TRUE(OnlyMessage(kSaveAsBmpOrPngText));
    EXPECT_FALSE(Exists(Name("copy.jpg")));
    EXPECT_STREQ(CurrentFileName, TW_PNG_CORPUS_DIR "/basn2c08.png");

    ResetSeams();
    Seams.dialogPath = Name("true.png");
    Command(IDM_SAVEAS);
    ASSERT_TRUE(Open(Name("true.png")));
    const Bytes again = DocumentBytes();
    EXPECT_EQ(Bytes(again.begin() + bmp::kHeadersSize, again.end()),
              Bytes(opened.begin() + bmp::kHeadersSize, opened.end()));

    // 16 colours with a key colour, as 高画質の設定 and the palette make them.
    QualityColours = 16;
    QualityKey = 1;
    FixedCount = 1;
    SavedPalette = NewPaletteTable(); // black first: the key colour
    ResetSeams();
    Seams.messageAnswer = IDYES; // the fixed palette
    Diffuse(IDM_REDUCE_DIFFUSE_HQ);
    const Bytes converted = DocumentBytes();
    ASSERT_EQ(converted[bmp::kBiBitCount], 8);
    ResetSeams();
    Seams.dialogPath = Name("indexed.png");
    Command(IDM_SAVEAS);
    const Bytes png = OnDisk(Name("indexed.png"));
    ASSERT_TRUE(image::IsPng(png.data(), png.size()));
    EXPECT_FALSE(image::CheckPngChunks(png.data(), png.size()).has_value());
    // IHDR says colour type 3; PLTE holds 16 entries; tRNS makes entry 0 transparent.
    EXPECT_EQ(png[8 + 8 + 9], 3);
    EXPECT_EQ(ChunkOf(png, "PLTE").size(), 48u);
    EXPECT_EQ(ChunkOf(png, "tRNS"), Bytes{0});
    QualityKey = 0; // opened again onto white: the same colours as the document
    ASSERT_TRUE(Open(Name("indexed.png")));
    const Bytes reopened = DocumentBytes();
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const BYTE index = converted[bmp::k8BitPixelData + y * 32 + x];
            const BYTE* colour = index == 0 ? nullptr : &converted[bmp::kColourTable + 4 * index];
            const BYTE* got = &reopened[bmp::kHeadersSize + y * 96 + 3 * x];
            if (colour != nullptr) { // entry 0 is transparent, onto white
                ASSERT_EQ(Bytes(got, got + 3), Bytes(colour, colour + 3)) << x << "," << y;
            }
        }
    }

    // タイル with the key colour: entry 0 of every palette is transparent.
    QualityKey = 1;
    TileWidth = TileHeight = 8;
    TilePalettes = 2;
    TileSize = 4;
    TileShared = 1;
    TileTarget[0] = '\0';
    ASSERT_TRUE(Open(TW_PNG_CORPUS_DIR "/basn2c08.png"));
    ResetSeams();
    Seams.messageAnswer = IDYES; // the fixed palette
    Diffuse(IDM_REDUCE_TILES);
    ResetSeams();
    Seams.dialogPath = Name("tiles.png");
    Command(IDM_SAVEAS);
    const Bytes tiles = OnDisk(Name("tiles.png"));
    const std::string text(tiles.begin(), tiles.end());
    const std::size_t trns = text.find("tRNS");
    ASSERT_NE(trns, std::string::npos);
    EXPECT_EQ(Bytes(tiles.begin() + static_cast<std::ptrdiff_t>(trns + 4),
                    tiles.begin() + static_cast<std::ptrdiff_t>(trns + 9)),
              (Bytes{0, 255, 255, 255, 0}));
}

// With 透明度を保つ: an opaque PNG opens as true colour, one with alpha keeps it; choices
// entries with alpha cannot have are refused before any question; 誤差拡散（高画質） gives
// what the command-line tool's conversion gives, saved as PNG with PLTE and a short tRNS that
// open again to the same pixels, and never as BMP.
TEST_F(Images, SoftEdgesKeepTheirAlphaIntoThePng) {
    OpenMainWindow(200, 150);
    QualityAlpha = 1;
    ASSERT_TRUE(Open(TW_PNG_CORPUS_DIR "/basn2c08.png"));
    EXPECT_EQ(DocumentBytes()[bmp::kBiBitCount], 24);
    ASSERT_TRUE(Open(TW_PNG_CORPUS_DIR "/basn6a08.png"));
    const Bytes source = DocumentBytes();
    ASSERT_EQ(source[bmp::kBiBitCount], 32);

    QualityOrder = 1;
    ResetSeams();
    Command(IDM_REDUCE_DIFFUSE_HQ);
    EXPECT_TRUE(OnlyMessage(kAlphaChoicesText, MB_ICONINFORMATION));
    EXPECT_EQ(DocumentBytes(), source);
    QualityOrder = 0;

    QuietRuns = 1;
    ResetSeams();
    Diffuse(IDM_REDUCE_DIFFUSE_HQ);
    EXPECT_TRUE(Seams.messages.empty()); // no fixed colours asked for
    testimg::VectorBlock expected{source};
    ASSERT_EQ(quantize::DiffuseWithAlpha(expected.bytes.data(), expected.bytes.size(),
                                         expected.Resizer(), quantize::AlphaInput{})
                  .outcome,
              quantize::Outcome::Converted);
    ASSERT_EQ(DocumentBytes(), expected.bytes);

    ResetSeams();
    Seams.dialogPath = Name("soft.bmp");
    Command(IDM_SAVEAS);
    EXPECT_TRUE(OnlyMessage(kAlphaNeedsPngText));
    EXPECT_FALSE(Exists(Name("soft.bmp")));

    ResetSeams();
    Seams.dialogPath = Name("soft.png");
    Command(IDM_SAVEAS);
    const Bytes png = OnDisk(Name("soft.png"));
    EXPECT_FALSE(image::CheckPngChunks(png.data(), png.size()).has_value());
    const int entries = static_cast<int>(bmp::ReadU32(&expected.bytes[bmp::kBiClrUsed]));
    const auto view =
        quantize::ViewPlainBmp(expected.bytes.data(), expected.bytes.size(), entries, false, true);
    ASSERT_TRUE(view.has_value());
    ASSERT_GT(entries, 16);
    // The top left pixel is transparent: the window shows the checkerboard's light square.
    ASSERT_EQ(view->alpha[view->TopRow(0)[0]], 0);
    EXPECT_EQ(Paint().At(0, 0), 0xCCCCCCu);
    const Bytes plte(view->table.begin(), view->table.begin() + 3 * entries);
    Bytes trns(view->alpha.begin(), view->alpha.begin() + entries);
    while (!trns.empty() && trns.back() == 255) {
        trns.pop_back();
    }
    ASSERT_FALSE(trns.empty());
    EXPECT_LT(trns.size(), static_cast<std::size_t>(entries)); // the opaque entries come last
    EXPECT_EQ(ChunkOf(png, "PLTE"), plte);
    EXPECT_EQ(ChunkOf(png, "tRNS"), trns);
    // Opened again with its alpha, every pixel is its entry's colour and alpha.
    ASSERT_TRUE(Open(Name("soft.png")));
    const Bytes reopened = DocumentBytes();
    ASSERT_EQ(reopened.size(), source.size());
    Bytes wanted(source.begin(), source.begin() + image::kPlain32Pixels);
    for (std::uint64_t y = view->rows; y-- > 0;) { // bottom-up
        for (std::uint64_t x = 0; x < view->width; ++x) {
            const std::size_t e = view->TopRow(y)[x];
            wanted.insert(wanted.end(), {view->table[3 * e + 2], view->table[3 * e + 1],
                                         view->table[3 * e], view->alpha[e]});
        }
    }
    EXPECT_EQ(reopened, wanted);
}

// Puts the images on the clipboard, each under its format.
void PutOnClipboard(HWND owner, const std::vector<std::pair<UINT, Bytes>>& images) {
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    for (const auto& [format, bytes] : images) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
        EXPECT_NE(SetClipboardData(format, block), nullptr);
    }
    CloseClipboard();
}

// A PNG file on the clipboard under "PNG" (as browsers put it there, and Wine for an X11
// image/png) is pasted as the file opens, transparency onto white; a bitmap beside it is
// taken first, as before.
TEST_F(Images, APngOnTheClipboardIsPastedAndABitmapBesideItTakenFirst) {
    const auto references = testimg::ReadPngReferences();
    const auto reference = std::find_if(references.begin(), references.end(),
                                        [](const auto& r) { return r.name == "basn6a08.png"; });
    ASSERT_NE(reference, references.end());
    OpenMainWindow(200, 150);
    const UINT pngFormat = RegisterClipboardFormatA("PNG");
    PutOnClipboard(window_, {{pngFormat, OnDisk(TW_PNG_CORPUS_DIR "/basn6a08.png")}});
    Command(IDM_PASTE);
    EXPECT_TRUE(Seams.messages.empty()) << Seams.messages[0].text;
    EXPECT_EQ(testimg::CompareWithReference(*reference, DocumentBytes()), "");
    EXPECT_EQ(CurrentFileName[0], '\0');
    EXPECT_TRUE(Kind.unsaved);

    const Bytes bitmap = testimg::Make24(3, 2, [](int x, int y) { return 0x405060u * (x + y); });
    PutOnClipboard(window_, {{CF_DIB, Bytes(bitmap.begin() + bmp::kInfoHeader, bitmap.end())},
                             {pngFormat, OnDisk(TW_PNG_CORPUS_DIR "/basn6a08.png")}});
    Seams.messageAnswer = IDNO; // the pasted image is not saved
    Command(IDM_PASTE);
    const Bytes pasted = DocumentBytes();
    EXPECT_EQ(Bytes(pasted.begin() + bmp::kHeadersSize, pasted.end()),
              Bytes(bitmap.begin() + bmp::kHeadersSize, bitmap.end()));
}

// An image with transparency is copied with a CF_DIBV5 bitmap with alpha beside CF_DIB;
// with 透明度を保つ, 貼り付け takes that bitmap and keeps every pixel's alpha, without it the
// plain bitmap, opaque.
TEST_F(Images, TransparencyIsCopiedAndPastedWithCfDibV5) {
    OpenMainWindow(200, 150);
    QualityAlpha = 1;
    ASSERT_TRUE(Open(TW_PNG_CORPUS_DIR "/basn6a08.png"));
    const auto rgbaOf = [](const Bytes& file) {
        std::vector<std::uint8_t> rgba;
        std::uint64_t width = 0, height = 0;
        EXPECT_EQ(quantize::RgbaPixelsOf(file.data(), file.size(), rgba, width, height),
                  quantize::Outcome::Converted);
        return rgba;
    };
    const std::vector<std::uint8_t> opened = rgbaOf(DocumentBytes());
    Command(IDM_COPY);
    ASSERT_TRUE(OpenClipboard(window_));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
    HANDLE v5 = GetClipboardData(CF_DIBV5);
    ASSERT_NE(v5, nullptr);
    const auto* header = static_cast<const BYTE*>(GlobalLock(v5));
    EXPECT_EQ(bmp::ReadU32(header), 124u);
    EXPECT_EQ(bmp::ReadU16(header + 14), 32);
    EXPECT_EQ(bmp::ReadU32(header + 52), 0xFF000000u); // the alpha mask
    GlobalUnlock(v5);
    CloseClipboard();

    Command(IDM_PASTE);
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(rgbaOf(DocumentBytes()), opened);

    QualityAlpha = 0;
    Seams.messageAnswer = IDNO; // the pasted image is not saved
    Command(IDM_PASTE);
    const std::vector<std::uint8_t> opaque = rgbaOf(DocumentBytes());
    ASSERT_EQ(opaque.size(), opened.size());
    for (std::size_t i = 0; i < opaque.size(); i += 4) {
        ASSERT_EQ(opaque[i + 3], 255) << i / 4;
        if (opened[i + 3] == 255) {
            ASSERT_EQ(opaque[i], opened[i]) << i / 4;
        }
    }
}

} // namespace
