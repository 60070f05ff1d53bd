// Frames: the still rule of FrameDiffusion, GIFs written and read back, hostile GIFs, and the
// frames command end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cli/frames.h"
#include "cli/gif_io.h"
#include "core/bmp/layout.h"
#include "core/image/animation.h"
#include "core/image/gif_blocks.h"
#include "core/image/lzw_size.h"
#include "core/palette/palette_file.h"
#include "core/palette/palette_formats.h"
#include "core/quantize/frames.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/temp_folder.h"

namespace {

using testimg::Bytes;

// A smooth picture that 16 colours must dither, with a block of another colour at `block`.
Bytes Frame(int block) {
    return testimg::Picture24(64, 48, [block](int x, int y) {
        const bool inBlock = x >= block && x < block + 8 && y >= 20 && y < 28;
        return inBlock ? 0xE0C020u
                       : static_cast<std::uint32_t>(x * 4 << 16 | y * 5 << 8 | (x + y) * 2);
    });
}

// The frames' indices, top row first: each after the one before with `rule`, else each
// dithered alone (onto the same palette).
std::vector<std::vector<std::uint8_t>> Dither(const std::vector<Bytes>& frames, bool rule) {
    quantize::DiffusionInput input{0, testimg::kBlackTable.data(), quantize::kBasicPalette};
    input.stages = quantize::kHighQualityDiffusion;
    input.choices.colours = 16;
    input.threads = 1;
    std::vector<quantize::ImageBytes> images;
    for (const Bytes& frame : frames) {
        images.push_back({frame.data(), frame.size()});
    }
    std::vector<std::vector<std::uint8_t>> out(frames.size());
    quantize::FrameDiffusion each(input);
    quantize::SilentObserver silent;
    std::size_t refused = 0;
    EXPECT_EQ(each.Start(images, silent, refused), quantize::Outcome::Converted);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        quantize::FrameDiffusion alone(input);
        quantize::FrameDiffusion& diffusion = rule ? each : alone;
        if (!rule) {
            EXPECT_EQ(alone.Start(images, silent, refused), quantize::Outcome::Converted);
        }
        EXPECT_EQ(diffusion.Next(images[f], out[f]), quantize::Outcome::Converted);
    }
    return out;
}

TEST(Frames, AStillAreaKeepsItsIndicesWhereTheMovingBlockWouldStirItsDithering) {
    const std::vector<Bytes> frames = {Frame(4), Frame(12), Frame(20)};
    const auto kept = Dither(frames, true);
    const auto alone = Dither(frames, false);
    std::size_t stirred = 0, moving = 0;
    for (std::size_t f = 1; f < frames.size(); ++f) {
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                const std::size_t i = static_cast<std::size_t>(y * 64 + x);
                const bool inNow = x >= 4 + 8 * int(f) && x < 12 + 8 * int(f) && y >= 20 && y < 28;
                const bool inBefore =
                    x >= 4 + 8 * int(f - 1) && x < 12 + 8 * int(f - 1) && y >= 20 && y < 28;
                if (inNow || inBefore) {
                    moving += kept[f][i] != kept[f - 1][i];
                    continue;
                }
                EXPECT_EQ(kept[f][i], kept[f - 1][i]) << "frame " << f << " at " << x << "," << y;
                stirred += alone[f][i] != alone[f - 1][i];
            }
        }
    }
    EXPECT_GT(stirred, 50u); // without the rule the still area crawls
    EXPECT_GT(moving, 50u);  // the moving block is dithered anew
}

// The same with alpha: a soft gradient whose alpha falls across it, a half-transparent block
// moving over it; its frames as 32-bit file images with an alpha mask.
TEST(Frames, WithAlphaAStillAreaKeepsItsIndicesToo) {
    std::vector<Bytes> frames;
    for (const int block : {4, 12, 20}) {
        image::RgbaImage soft;
        soft.width = 64;
        soft.height = 48;
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                const bool inBlock = x >= block && x < block + 8 && y >= 20 && y < 28;
                soft.samples.insert(soft.samples.end(),
                                    {static_cast<std::uint8_t>(inBlock ? 224 : x * 3 + y % 3),
                                     static_cast<std::uint8_t>(y * 5 + x % 4), 90,
                                     static_cast<std::uint8_t>(inBlock ? 128 : 255 - x * 4)});
            }
        }
        image::AlphaRule kept;
        kept.kept = true;
        frames.emplace_back(*image::PlainSize(64, 48, kept));
        image::WritePlain24(soft, kept, frames.back().data());
    }
    std::vector<quantize::ImageBytes> images;
    for (const Bytes& frame : frames) {
        images.push_back({frame.data(), frame.size()});
    }
    quantize::AlphaInput input;
    input.palette.colours = 128; // few enough to dither, many enough for small errors
    quantize::AlphaFrameDiffusion each(input);
    std::size_t refused = 0;
    ASSERT_EQ(each.Start(images, refused), quantize::Outcome::Converted);
    std::vector<std::vector<std::uint8_t>> kept(3), alone(3);
    std::size_t stirred = 0, moving = 0;
    for (std::size_t f = 0; f < 3; ++f) {
        ASSERT_EQ(each.Next(images[f], kept[f]), quantize::Outcome::Converted);
        quantize::AlphaFrameDiffusion fresh(input);
        ASSERT_EQ(fresh.Start(images, refused), quantize::Outcome::Converted);
        ASSERT_EQ(fresh.Next(images[f], alone[f]), quantize::Outcome::Converted);
        for (std::size_t i = 0; f > 0 && i < kept[f].size(); ++i) {
            const int x = static_cast<int>(i % 64), y = static_cast<int>(i / 64);
            const bool moved = y >= 20 && y < 28 && x >= 4 + 8 * int(f - 1) && x < 12 + 8 * int(f);
            if (moved) {
                moving += kept[f][i] != kept[f - 1][i];
                continue;
            }
            ASSERT_EQ(kept[f][i], kept[f - 1][i]) << "frame " << f << " at " << x << "," << y;
            stirred += alone[f][i] != alone[f - 1][i];
        }
    }
    EXPECT_GT(stirred, 20u);
    EXPECT_GT(moving, 50u);
}

// Frames of 20 x 10 on 16 colours: random, then a rectangle changed, then some pixels turned
// to entry 0.
cli::IndexedFrames SomeFrames(bool key) {
    cli::IndexedFrames frames;
    frames.width = 20;
    frames.height = 10;
    frames.entries = 16;
    frames.key = key;
    frames.loop = 3;
    for (int e = 0; e < 16; ++e) {
        frames.table[3 * e] = static_cast<std::uint8_t>(16 * e);
        frames.table[3 * e + 1] = static_cast<std::uint8_t>(255 - 16 * e);
        frames.table[3 * e + 2] = 77;
    }
    std::mt19937 random(7);
    std::vector<std::uint8_t> frame(200);
    for (auto& index : frame) {
        index = static_cast<std::uint8_t>(1 + random() % 15);
    }
    frames.frames.push_back(frame);
    for (int y = 2; y < 5; ++y) {
        for (int x = 3; x < 9; ++x) {
            frame[static_cast<std::size_t>(y * 20 + x)] = static_cast<std::uint8_t>((x + y) % 16);
        }
    }
    frames.frames.push_back(frame);
    for (std::size_t i = 150; i < 160; ++i) {
        frame[i] = 0;
    }
    frames.frames.push_back(frame);
    frames.frames.push_back(frame); // nothing changes
    frames.delays = {100, 40, 1230, 0};
    return frames;
}

TEST(Frames, GifFramesReadBackAsTheIndicesWrittenWithDelaysLoopAndTheKeyTransparent) {
    for (const bool key : {false, true}) {
        const cli::IndexedFrames frames = SomeFrames(key);
        std::vector<std::uint8_t> gif;
        std::string error;
        ASSERT_TRUE(cli::EncodeGif(frames, gif, error)) << error;
        image::AlphaRule rule;
        rule.keyed = true;
        const std::uint8_t keyColour[3] = {1, 2, 3}; // blue, green, red: in no entry
        std::memcpy(rule.key, keyColour, 3);
        cli::Animation read;
        ASSERT_TRUE(cli::ReadGif(gif.data(), gif.size(), rule, read, error)) << error;
        ASSERT_EQ(read.frames.size(), frames.frames.size());
        EXPECT_EQ(read.delays, (std::vector<int>{100, 40, 1230, 0}));
        EXPECT_EQ(read.loop, 3);
        for (std::size_t f = 0; f < frames.frames.size(); ++f) {
            const std::uint8_t* rows = read.frames[f].data() + bmp::kHeadersSize;
            for (std::size_t i = 0; i < 200; ++i) {
                const int index = frames.frames[f][i];
                const std::size_t y = 9 - i / 20, x = i % 20; // stored bottom-up, 60 + 4 a row
                const std::uint8_t* bgr = rows + y * 60 + 3 * x;
                const std::uint8_t* want = key && index == 0 ? keyColour : nullptr;
                const std::uint8_t entry[3] = {frames.table[3 * index + 2],
                                               frames.table[3 * index + 1],
                                               frames.table[3 * index]};
                ASSERT_EQ(std::memcmp(bgr, want != nullptr ? want : entry, 3), 0)
                    << "key " << key << " frame " << f << " pixel " << i;
            }
        }
        if (!key) { // the changed rectangle only, after the first frame
            EXPECT_LT(gif.size(), 200u + 4 * 120u);
        }
    }
}

// The GIF of one frame of w x h pixels (indices 0 and 1) played once, and where its image
// descriptor begins.
std::vector<std::uint8_t> OneFrame(std::uint32_t w, std::uint32_t h, std::size_t& descriptor) {
    cli::IndexedFrames frames;
    frames.width = w;
    frames.height = h;
    frames.entries = 2;
    frames.loop = -1;
    frames.table[3] = 255;
    std::vector<std::uint8_t> frame(std::size_t{w} * h);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i % 2);
    }
    frames.frames = {frame};
    frames.delays = {10};
    std::vector<std::uint8_t> gif;
    std::string error;
    EXPECT_TRUE(cli::EncodeGif(frames, gif, error));
    descriptor = 13 + 3 * 4 + 8; // header, screen, a table of 4 entries, the control block
    EXPECT_EQ(gif[descriptor], 0x2C);
    return gif;
}

void Put16(std::vector<std::uint8_t>& gif, std::size_t at, std::uint16_t value) {
    gif[at] = static_cast<std::uint8_t>(value);
    gif[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Reads the GIF; true when it was read, else the message must say why.
bool Reads(const std::vector<std::uint8_t>& gif, cli::Animation& read, const char* why) {
    std::string error;
    const bool ok = cli::ReadGif(gif.data(), gif.size(), {}, read, error);
    EXPECT_TRUE(ok || error.find(why) != std::string::npos) << error;
    return ok;
}

// The count that chooses how a frame is stored is the bytes giflib writes of it: one frame's
// GIF less its header, screen, colour table, control block, image descriptor and trailer. On
// noise the code table fills and is cleared many times; on runs the codes grow long.
TEST(Frames, TheLzwCountIsTheBytesGiflibWrites) {
    std::mt19937 rng(7);
    image::LzwSize counter;
    for (const int entries : {3, 16, 256}) {
        for (const bool noise : {true, false}) {
            cli::IndexedFrames one;
            one.width = 301;
            one.height = 97;
            one.entries = entries;
            one.loop = -1;
            one.delays = {100};
            std::vector<std::uint8_t> indices(one.width * one.height);
            for (std::size_t i = 0; i < indices.size(); ++i) {
                indices[i] = static_cast<std::uint8_t>(noise ? rng() % entries : i / 700 % entries);
            }
            one.frames = {indices};
            std::vector<std::uint8_t> gif;
            std::string error;
            ASSERT_TRUE(cli::EncodeGif(one, gif, error)) << error;
            int bits = 1;
            while ((1 << bits) < std::min(entries + 1, 256)) {
                ++bits;
            }
            const std::size_t around = 6 + 7 + 3 * (std::size_t{1} << bits) + 8 + 10 + 1;
            EXPECT_EQ(counter.Count(indices.data(), indices.size(), bits), gif.size() - around)
                << entries << (noise ? " noise" : " runs");
        }
    }
}

TEST(Frames, HostileGifsAreReadWithinBoundsOrRefusedWithAReason) {
    std::size_t at = 0;
    const std::vector<std::uint8_t> valid = OneFrame(40, 30, at);
    cli::Animation read;
    // Cut short in its LZW codes.
    EXPECT_FALSE(Reads({valid.begin(), valid.begin() + static_cast<long>(valid.size() / 2)}, read,
                       "not a GIF that can be read whole"));
    // A frame outside the screen draws nothing: the frame is transparent, white.
    auto outside = valid;
    Put16(outside, at + 1, 60000);
    read = {};
    ASSERT_TRUE(Reads(outside, read, ""));
    EXPECT_EQ(read.frames[0][bmp::kHeadersSize], 255);
    // A frame of 0 x 0 pixels, its codes passed over.
    auto empty = valid;
    Put16(empty, at + 5, 0);
    Put16(empty, at + 7, 0);
    read = {};
    EXPECT_TRUE(Reads(empty, read, ""));
    EXPECT_EQ(read.frames.size(), 1u);
    // A frame said to be 65,535 x 65,535 pixels, refused before it is allocated.
    auto huge = valid;
    Put16(huge, at + 5, 65535);
    Put16(huge, at + 7, 65535);
    read = {};
    EXPECT_FALSE(Reads(huge, read, "more pixels of frames than can be read"));
    // A screen said to be 65,535 x 65,535 pixels, refused before it is allocated.
    auto wide = valid;
    Put16(wide, 6, 65535);
    Put16(wide, 8, 65535);
    read = {};
    EXPECT_FALSE(Reads(wide, read, "more pixels of frames than can be read"));
    // 65,535 frames of one pixel.
    const std::vector<std::uint8_t> tiny = OneFrame(1, 1, at);
    std::vector<std::uint8_t> many(tiny.begin(), tiny.begin() + static_cast<long>(at));
    for (int f = 0; f < 65535; ++f) {
        many.insert(many.end(), tiny.begin() + static_cast<long>(at), tiny.end() - 1);
    }
    many.push_back(0x3B);
    read = {};
    EXPECT_FALSE(Reads(many, read, "more than 10000 frames"));
}

TEST(Frames, TheCommandWritesAnAnimationOfStillImagesAndRefusesAnotherSize) {
    testimg::TempFolder folder;
    const std::vector<Bytes> frames = {Frame(4), Frame(12),
                                       testimg::Picture24(8, 8, [](int, int) { return 0u; })};
    for (int f = 0; f < 3; ++f) {
        testimg::WriteFileBytes(folder.Path("f" + std::to_string(f) + ".bmp"),
                                frames[static_cast<std::size_t>(f)]);
    }
    const std::string cli =
        std::string(TW_CLI_PATH) + " frames " + folder.Path("f0.bmp") + " " + folder.Path("f1.bmp");
    ASSERT_EQ(
        std::system((cli + " --delay 70 --loop 2 --colours 16 -o " + folder.Path("a.gif")).c_str()),
        0);
    const Bytes gif = testimg::ReadFileBytes(folder.Path("a.gif"));
    cli::Animation read;
    std::string error;
    ASSERT_TRUE(cli::ReadGif(gif.data(), gif.size(), {}, read, error)) << error;
    EXPECT_EQ(read.frames.size(), 2u);
    EXPECT_EQ(read.delays, (std::vector<int>{70, 70}));
    EXPECT_EQ(read.loop, 2);
    const int status = std::system(
        (cli + " " + folder.Path("f2.bmp") + " -o " + folder.Path("b.gif") + " 2>/dev/null")
            .c_str());
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_FALSE(testimg::PathExists(folder.Path("b.gif")));

    // -d with --palette-out: numbered 8-bit BMP files on one palette, and that palette's file.
    ASSERT_EQ(std::system((cli + " --colours 16 --format bmp -d " + folder.Path("d") +
                           " --palette-out " + folder.Path("p.gpl"))
                              .c_str()),
              0);
    const Bytes first = testimg::ReadFileBytes(folder.Path("d/f0_001.bmp"));
    const Bytes written = testimg::ReadFileBytes(folder.Path("p.gpl"));
    std::uint8_t table[palette::kTableBytes] = {};
    palette::PaletteFileFacts facts;
    ASSERT_TRUE(palette::ReadPalette(written.data(), written.size(), false, table, facts));
    ASSERT_GE(first.size(), bmp::kColourTable + 4u * facts.colours);
    EXPECT_LE(facts.colours, 16);
    for (int i = 0; i < 4 * facts.colours; ++i) {
        ASSERT_EQ(table[i] * (i % 4 != 3), first[bmp::kColourTable + i] * (i % 4 != 3)) << i;
    }
    EXPECT_EQ(testimg::ReadFileBytes(folder.Path("d/f0_002.bmp"))[bmp::kColourTable + 4],
              first[bmp::kColourTable + 4]);
}

// Frames beyond the budget: every frame is read and its delay kept, the frames kept for the
// palette are spread evenly (0, 4 and 8 of ten, a budget of three frames), and a reader over
// the same inputs gives each frame again, byte for byte.
TEST(Frames, FramesBeyondTheBudgetAreSampledEvenlyAndReadAgain) {
    testimg::TempFolder folder;
    std::vector<std::string> inputs;
    std::vector<Bytes> frames;
    for (int f = 0; f < 10; ++f) {
        frames.push_back(Frame(4 * f));
        inputs.push_back(folder.Path("f" + std::to_string(f) + ".bmp"));
        testimg::WriteFileBytes(inputs.back(), frames.back());
    }
    cli::Animation animation;
    std::string path, error;
    ASSERT_TRUE(cli::ReadFrames(inputs, 30, {}, true, animation, path, error, 3 * 64 * 48))
        << error;
    EXPECT_EQ(animation.delays, std::vector<int>(10, 30));
    ASSERT_EQ(animation.spacing, 4u);
    ASSERT_EQ(animation.frames.size(), 3u);
    cli::FrameReader again(inputs, 30, {}, true, {});
    for (std::size_t f = 0; f < 10; ++f) {
        cli::FileBytes frame;
        int delay = 0;
        ASSERT_TRUE(again.Next(frame, delay)) << again.error();
        if (f % 4 == 0) {
            EXPECT_TRUE(std::equal(frame.begin(), frame.end(), animation.frames[f / 4].begin(),
                                   animation.frames[f / 4].end()))
                << f;
        }
    }
    cli::FileBytes none;
    int delay = 0;
    EXPECT_FALSE(again.Next(none, delay));
    EXPECT_TRUE(again.error().empty());
}

// A GIF whose encoder wrote only the pixels (every piece at 0, 0, no graphic control, no loop,
// a colour table repeated, as Wine's does) gets each frame's blocks and the loop count; giflib then
// reads the frames at their places with their delays. A block the file has already stays; a cut
// file gives nothing.
TEST(GifBlocks, PutsInWhatTheEncoderLeftOut) {
    const std::vector<std::uint8_t> piece = {0x2C, 0, 0,    0,    0, 1, 0, 1, 0, 0, // 1 x 1 at 0, 0
                                             2,    2, 0x44, 0x01, 0}; // clear, index 0, end
    std::vector<std::uint8_t> bare = {
        'G',  'I', 'F', '8', '9', 'a', 2, 0, 1,  0,
        0x80, 0,   0,   255, 0,   0,   0, 0, 255}; // 2 x 1, red and blue
    bare.insert(bare.end(), piece.begin(), piece.end());
    // The second piece with a colour table of its own, the file's: left out.
    std::vector<std::uint8_t> own(piece.begin(), piece.begin() + 10);
    own[9] = 0x80;
    own.insert(own.end(), bare.begin() + 13, bare.begin() + 19);
    own.insert(own.end(), piece.begin() + 10, piece.end());
    bare.insert(bare.end(), own.begin(), own.end());
    bare.push_back(0x3B);
    const std::vector<image::FrameBlock> blocks = {{0, 0, 3, false, -1}, {1, 0, 4, false, -1}};
    const std::vector<std::uint8_t> gif =
        image::WithFrameBlocks(bare.data(), bare.size(), blocks, 2);
    ASSERT_EQ(gif.size(), bare.size() + 19 + 2 * 8 - 6);
    cli::Animation read;
    std::string error;
    ASSERT_TRUE(cli::ReadGif(gif.data(), gif.size(), {}, read, error)) << error;
    ASSERT_EQ(read.frames.size(), 2u);
    EXPECT_EQ(read.delays, (std::vector<int>{30, 40}));
    EXPECT_EQ(read.loop, 2);
    const Bytes first(read.frames[0].begin(), read.frames[0].end());
    const Bytes second(read.frames[1].begin(), read.frames[1].end());
    EXPECT_EQ(testimg::ColourAt24(first, 1, 0), 0xFFFFFFu); // not drawn yet: white
    EXPECT_EQ(testimg::ColourAt24(second, 1, 0), 0xFF0000u);

    // Its own blocks kept: written again, nothing more goes in.
    EXPECT_EQ(image::WithFrameBlocks(gif.data(), gif.size(), blocks, 2), gif);
    EXPECT_TRUE(image::WithFrameBlocks(bare.data(), bare.size() - 3, blocks, 2).empty());
    EXPECT_TRUE(image::WithFrameBlocks(bare.data(), bare.size(), {blocks[0]}, 2).empty());
}

} // namespace
