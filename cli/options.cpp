#include "cli/options.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <system_error>

#include "core/palette/palette_formats.h"
#include "core/quantize/ditherings.h"

namespace cli {

const char kUsage[] =
    "Usage: tintwright exact IN... [-o OUT | -d DIR] [--format bmp|png] [--bits B]\n"
    "                        [-j N] [--quiet | --verbose]\n"
    "       tintwright diffuse IN... [-o OUT | -d DIR] [--format bmp|png] [--bits B]\n"
    "                          [--palette FILE] [--fixed N]\n"
    "                          [--adaptive [--colours N] [--dither NAME] [--strength P]\n"
    "                                      [--effort N] [--no-serpentine] [--linear]\n"
    "                                      [--key] [--depth R,G,B | --from LIST]\n"
    "                                      [--order ORDER] [--alpha]]\n"
    "                          [-j N] [--quiet | --verbose]\n"
    "       tintwright palette IN... -o PALETTE [--palette FILE] [--fixed N]\n"
    "                          [--depth R,G,B | --from LIST] [--order ORDER]\n"
    "                          [--keep OLD] [--format FORMAT] [--alpha] [-j N]\n"
    "       tintwright compact IN... [-o OUT | -d DIR] [--format bmp|png] [--key]\n"
    "       tintwright frames IN... (-o OUT.gif | -d DIR [--format png|bmp])\n"
    "                         [--palette-out FILE]\n"
    "                         [--delay MS] [--loop N | --loop once] [--palette FILE]\n"
    "                         [--fixed N] [--colours N] [--dither NAME] [--strength P]\n"
    "                         [--no-serpentine] [--linear] [--key]\n"
    "                         [--depth R,G,B | --from LIST] [--alpha] [-j 1] [--verbose]\n"
    "       tintwright tiles IN... [-o OUT | -d DIR] [--target NAME] [--tile WxH]\n"
    "                         [--palettes P] [--size K] [--shared N] [--depth R,G,B]\n"
    "                         [--palette FILE --fixed N] [--dither NAME] [--strength P]\n"
    "                         [--key] [--format bmp|png] [--palette-out FILE] [--report]\n"
    "       tintwright --help | --version\n";

const char kHelp[] =
    "Turns true-colour images into 256-colour (8-bit indexed) images. Reads BMP\n"
    "(16, 24 and 32 bits per pixel), PNG and JPEG files, known by their content;\n"
    "writes BMP, or an 8-bit PNG (its palette holds the colours asked for; with\n"
    "--key entry 0 is transparent) when the output's name ends in .png or --format\n"
    "png says so. A PNG's transparency is composited onto white; with --adaptive\n"
    "--key, its fully transparent pixels become the key colour. 16-bit samples are\n"
    "rounded to 8 bits. An -o name that says another format than --format does\n"
    "(OUT.bmp with --format png, a.gpl with --format act) is a usage error.\n"
    "\n"
    "--bits B: the bits a pixel of the written image: 8 (the default), 4, 2 or 1\n"
    "(a BMP takes 1, 4 or 8; BMP has no 2-bit form), or auto: the fewest that hold\n"
    "every palette entry a pixel takes (for a BMP, 8). The colour table then holds\n"
    "the 2, 4 or 16 entries of those bits (a PNG's palette the entries up to the\n"
    "highest a pixel takes). With diffuse --adaptive, --bits 1, 2 or 4 makes 2, 4 or\n"
    "16 colours; --colours above that, or diffuse without --adaptive (256 colours),\n"
    "is a usage error. A result whose pixels take an entry the bits cannot hold\n"
    "(exact on an image of 40 colours with --bits 4) is refused, nothing written.\n"
    "\n"
    "Commands:\n"
    "  exact IN.bmp [-o OUT.bmp]\n"
    "      Exact reduction: an image of at most 256 distinct colours becomes an 8-bit\n"
    "      image whose colour table lists the colours in order of first appearance.\n"
    "      Nothing is lost; images with more colours are refused.\n"
    "  diffuse IN.bmp [-o OUT.bmp] [--palette FILE] [--fixed N] [--adaptive]\n"
    "      Error diffusion onto a palette of N fixed colours (the first N entries of\n"
    "      the palette FILE; 0 to 256, default 0), the 42 basic colours, and the\n"
    "      image's most frequent other colours. FILE is read by its content: a JASC\n"
    "      (Paint Shop Pro, Aseprite), GIMP (.gpl), Microsoft RIFF or 772-byte Adobe\n"
    "      (.act) palette, a hex list (one RRGGBB or #RRGGBB a line) or a file of an\n"
    "      even size up to 512 bytes (BGR555 colours, two bytes each), whose number\n"
    "      of colours is N when --fixed is not given; any other file is a 768-byte\n"
    "      palette (--fixed needed), or the 1572-byte format when the third\n"
    "      character from the end of its name is 'z'; a file of more than 1 MiB is\n"
    "      refused. On a terminal, a progress bar is shown on standard error.\n"
    "      --adaptive: high quality for photographs: the N fixed colours and 256 - N\n"
    "      colours chosen for the image, dithered with Floyd-Steinberg weights. An\n"
    "      image of at most 256 - N colours keeps every pixel. An indexed (1-, 4- or\n"
    "      8-bit) image is converted as the colours it shows; with --fixed 256 this\n"
    "      maps it onto the palette FILE.\n"
    "      --colours N: N colours (2 to 256, default 256), the fixed ones among them;\n"
    "      the entries after them are black and no pixel takes them.\n"
    "      --dither NAME: how the colours are dithered. Error diffusion: fs\n"
    "      (Floyd-Steinberg, the default), atkinson (passes on 3/4 of the error:\n"
    "      clean highlights and shadows), sierra, sierra2 (Sierra's two rows),\n"
    "      sierra-lite, jjn (Jarvis, Judice and Ninke), stucki or burkes. Ordered\n"
    "      patterns counted from the top left (a colour at a place always gets the\n"
    "      same index, so the still parts of animation frames do not flicker):\n"
    "      bayer2, bayer4, bayer8 (also called ordered), bayer16 (Bayer's matrices of\n"
    "      that side) or blue-noise (a 64 x 64 mask of an even grain without a grid).\n"
    "      none: each pixel its nearest colour.\n"
    "      --strength P: with error diffusion, P percent of the usual error (0 to\n"
    "      100, default 100).\n"
    "      --effort N: with error diffusion, how much time is spent for a better\n"
    "      picture (1 to 10, default 5). Above 5, each pixel in turn is given the\n"
    "      colour that brings the image, seen slightly blurred, and the pixel itself\n"
    "      nearest to the original; 10 takes about three times as long as 5.\n"
    "      --serpentine, --no-serpentine: error diffusion's rows in turn from either\n"
    "      side (the default), or every row from the left.\n"
    "      --linear: error diffusion carries the error in linear light, while the\n"
    "      colours are still chosen as they are stored: with few colours, dithered\n"
    "      areas keep their brightness as the eye averages it.\n"
    "      --key: the first fixed colour is a transparent key colour at index 0: its\n"
    "      pixels (and the fully transparent ones of a 32-bit image with alpha) get\n"
    "      index 0, no other pixel does, and no other entry has its colour.\n"
    "      --depth R,G,B: the bits of red, green and blue the device shows, each 1 to\n"
    "      8 (5,5,5 for GBA and SNES, 5,6,5 for most TFT panels, 4,4,4, 3,3,3 for the\n"
    "      Genesis, 2,2,2 for EGA, 3,3,2; one number N is N,N,N): every chosen colour\n"
    "      lies on that grid, as the device expands it (a b-bit level v shows as\n"
    "      v * 255 / (2^b - 1) rounded), and the pixels are dithered against those\n"
    "      colours. The fixed colours stay as they are (a warning tells of one the\n"
    "      device does not show). A grid of fewer colours than --colours gives them\n"
    "      all (--depth 2: 64 colours).\n"
    "      --from LIST: the chosen colours are the best of a list for the image: a\n"
    "      palette file (any format --palette reads; GIMP, JASC and hex lists of up to\n"
    "      4096 colours) or one of the built-in palettes pico8, gameboy, cga, ega,\n"
    "      genesis, websafe (./NAME for a file of that name). A list that fits in\n"
    "      --colours is taken whole: a remap onto it, with any --dither.\n"
    "      --order ORDER: the order of the chosen entries after the fixed ones: keep\n"
    "      (as chosen, the default), frequency (most pixels first), luminance (darkest\n"
    "      first) or hue (greys darkest first, then red, yellow, green, blue, magenta).\n"
    "      --alpha: soft edges kept: the input is read with its alpha (a PNG of any\n"
    "      colour type or with tRNS, a 32-bit BMP with an alpha mask) and every entry\n"
    "      has red, green, blue and alpha, chosen with each colour's error weighted by\n"
    "      its alpha (squared); the fully transparent pixels share one entry (0;\n"
    "      with --key, of the key colour). Written as an 8-bit (or --bits) PNG whose\n"
    "      tRNS holds the entries below full alpha, which come first; a BMP output is\n"
    "      a usage error (BMP keeps no transparency here: its way is --key). A pixel\n"
    "      within 4 levels of an entry takes it undithered, and an error of more than\n"
    "      8 levels is not passed on. Takes --colours, --dither (a kernel or none),\n"
    "      --strength, --no-serpentine, --bits and --key (--palette FILE --fixed 1);\n"
    "      --effort does nothing here.\n"
    "  palette IN... -o PALETTE [--palette FILE] [--fixed N] [--format FORMAT]\n"
    "      One high-quality palette for a set of images (sprites, tiles, frames):\n"
    "      the N fixed colours of FILE, then 256 - N colours chosen for all the\n"
    "      images together, as --adaptive chooses them for one. Written as the name\n"
    "      of -o says (.gpl GIMP, .act Adobe colour table, .hex hex list, .h C header\n"
    "      of RGB565 words, anything else 768 bytes of red, green and blue) or as\n"
    "      --format says: raw, act, gpl, jasc, riff; bgr555 (two bytes a colour,\n"
    "      little-endian 0BBBBBGGGGGRRRRR, each channel rounded to 5 bits, as\n"
    "      handheld and console tool chains take it); hex (one RRGGBB a line, as\n"
    "      lospec.com lists palettes); c (a C header: `static const uint16_t NAME[]`\n"
    "      of RGB565 words, NAME made from the file's name), c-bgr555 (BGR555 words)\n"
    "      or c-rgb888 (`static const uint8_t NAME[]`: red, green, blue bytes).\n"
    "      `diffuse IN... --adaptive --palette PALETTE --fixed 256` then maps every\n"
    "      image onto exactly that table. --depth, --from and --order (but frequency,\n"
    "      which needs a result's pixels) as with diffuse.\n"
    "      --alpha: the palette of the images' pixels with their alpha, as diffuse\n"
    "      --alpha chooses it; no palette format holds alpha, so the file has the\n"
    "      entries' red, green and blue, the ones below full alpha first (entry 0 the\n"
    "      fully transparent pixels', black).\n"
    "      --keep OLD: the palette is made again over the palette file OLD without\n"
    "      moving an index: each colour of OLD that the new palette still has (a new\n"
    "      colour within 12 of it, red, green and blue differences added) keeps its\n"
    "      index and colour, the others are freed, and the new palette's other colours\n"
    "      go into freed entries, then into those after OLD's; the fixed colours stay\n"
    "      first. Standard error lists the entries kept, freed and added.\n"
    "  compact IN.bmp [-o OUT] [--key]\n"
    "      An 8-bit BMP or indexed PNG without the entries no pixel takes, entries of\n"
    "      one colour merged into the first: the entries left keep their order and\n"
    "      every pixel its colour; with --key entry 0 stays entry 0 (transparent in a\n"
    "      PNG) and takes no other entry's pixels. A PNG with other transparency is\n"
    "      refused, since the result would lose it.\n"
    "  frames IN... -o OUT.gif | -d DIR\n"
    "      The frames of an animation on one palette: every frame of a GIF (each\n"
    "      frame's delay, disposal and transparency applied) or a set of still images\n"
    "      of one size, given in order (f_001.png f_002.png ...; a GIF among them adds\n"
    "      its frames). The palette is chosen for all the frames together, as palette\n"
    "      chooses it, and the frames are dithered in order, as diffuse --adaptive\n"
    "      dithers an image, but for one rule: a pixel whose colour is the one it had\n"
    "      in the frame before keeps its index (none of its error passed on), so that\n"
    "      the dithering of still areas does not crawl. Ordered patterns and none\n"
    "      (--dither bayer8, blue-noise, none) are still by nature. -o writes an\n"
    "      animated GIF: the frames' delays (hundredths of a second), the loop count,\n"
    "      and after the first frame only the rectangle that changed, its unchanged\n"
    "      pixels transparent where that codes smaller (a GIF has 255 colours unless\n"
    "      --colours says 256: the last entry is for them); with --key, entry 0 is the\n"
    "      GIF's transparent index. -d DIR writes DIR/STEM_001.png, DIR/STEM_002.png\n"
    "      ... (8-bit PNG, or BMP with --format bmp) on the one palette, STEM the first\n"
    "      input's name. --palette-out FILE also writes the palette (its format by\n"
    "      the name, as palette writes it). --delay MS: how long each still image\n"
    "      shows (0 to 9999, default 100); a GIF's frames keep their own. --loop N:\n"
    "      the animation plays again N times (0, the default, for ever; once: no\n"
    "      loop), else a GIF input's own count is kept. The choices are those of\n"
    "      diffuse --adaptive but --effort and --bits. --alpha (-d DIR of PNG files\n"
    "      only): the frames keep their alpha, on one palette with alpha chosen as\n"
    "      palette --alpha chooses it, dithered as diffuse --alpha dithers, a pixel\n"
    "      whose colour and alpha are those of the frame before keeping its index.\n"
    "      The frames are held in memory (3 bytes a pixel) while the palette is\n"
    "      chosen, up to 2^26 pixels of frames in all (2^25 with --alpha); past\n"
    "      that, every 2nd, 4th, ... frame is held, spread evenly, the palette is\n"
    "      chosen for them, and the inputs are read a second time, a frame at a\n"
    "      time, to be dithered.\n"
    "      At most 10000 frames, each of at most 2^26 pixels, and 2^30 in all; a\n"
    "      larger animation is refused before it is read further. Two still images\n"
    "      are read at a time, and the GIF is made on a second thread while the\n"
    "      frames are dithered; -j 1 does all on one.\n"
    "  tiles IN... -o OUT\n"
    "      An image of tiles for consoles and handhelds: each tile of WxH pixels\n"
    "      (--tile, default 8x8; the last ones of a size that is no multiple are\n"
    "      partial and count as they are) takes one of P palettes (--palettes,\n"
    "      default 8) of K entries (--size, default 16; P * K at most 256), whose first\n"
    "      N (--shared, default 1) are the same in every palette: the fixed colours of\n"
    "      --palette first (with --key the first is every palette's transparent entry\n"
    "      0), then the image's most frequent. The tiles are grouped so that the\n"
    "      palettes serve them best, each palette's other entries chosen for its\n"
    "      tiles, and every tile dithered onto its own palette (--dither: error\n"
    "      diffusion within the tile, no error carried across its border; a pattern; or\n"
    "      none). A pixel of a tile of palette p is p * K + its entry; the table holds\n"
    "      the P palettes one after another. --target snes|gba|gbc|genesis|nes|pce sets\n"
    "      the tile, P, K, N and --depth of that device (a flag after it overrides):\n"
    "      snes 8x8, 8 of 16, 1, 5,5,5; gba 8x8, 16 of 16, 1, 5,5,5; gbc 8x8, 8 of 4, 0,\n"
    "      5,5,5; genesis 8x8, 4 of 16, 1, 3,3,3; nes 16x16, 4 of 4, 1, every colour; pce\n"
    "      8x8, 16 of 16, 1, 3,3,3. --palette-out FILE also writes the P * K entries as\n"
    "      a palette file (its format as palette's -o name says; a .pal is BGR555 when\n"
    "      the depth is 5,5,5); --report prints how many tiles each palette took and\n"
    "      the result's PSNR.\n"
    "\n"
    "Several files: each is converted on its own, several at a time (-j N, default\n"
    "the number of processors); -d DIR writes DIR/NAME (DIR is created when the first\n"
    "result is written), -o takes one input only. Inputs whose results would go to one\n"
    "file (the same file twice, two files of one name with -d) are refused before\n"
    "anything is written. A file that is refused or cannot be read or written is\n"
    "reported with its name and the rest go on. On a terminal one line shows the\n"
    "batch's progress (--quiet, -q: nothing; --verbose, -v: a line per file).\n"
    "After --, every argument is a file, also one whose name starts with '-'.\n"
    "\n"
    "Without -o or -d the input file is replaced; a symbolic link's target is\n"
    "converted and keeps its mode, and a read-only file is refused. With -d or\n"
    "without -o, --format bmp|png gives the result that extension: NAME.jpg gives\n"
    "NAME.png (in DIR, or beside the input, which is kept). Every write is atomic:\n"
    "the new file is written to a hidden temporary .NAME.XXXXXXXX.tmp of a name of\n"
    "its own beside NAME, flushed to disk and renamed over NAME, so NAME is always\n"
    "either the old file or the whole new one; Ctrl+C or kill removes the temporary\n"
    "(only a crash or kill -9 can leave one behind, to be deleted). No other file is\n"
    "touched. A file the user may not write is refused. The new file keeps the old\n"
    "one's mode, owner and group (as far as the user may set them); a file's other\n"
    "hard links keep the old image. What is not a regular file (a folder, a device)\n"
    "is never written over.\n"
    "\n"
    "Exit status: 0 all converted, 1 some refused (the reason is printed), 2 usage\n"
    "error, 3 some file could not be read or written. No file changes on a failure.\n"
    "Messages are in English, in UTF-8 on standard error; where the desktop program\n"
    "says the same thing, its Japanese text follows in brackets.\n";

namespace {

// A whole decimal number from low to high, or -1.
int ParseNumber(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    const int value = std::atoi(text.c_str());
    return value >= low && value <= high ? value : -1;
}

} // namespace

std::string FileIdentity(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        return "file " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    }
    std::error_code error;
    const std::filesystem::path full = std::filesystem::weakly_canonical(path, error);
    return "path " + (error ? path : full.string());
}

namespace {

// The extension of a name, lower case, with its dot.
std::string ExtensionOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension;
}

// An -o whose extension names another format than --format says: the file would lie about
// what it holds. True, with the problem naming both.
bool NameContradictsFormat(const Options& options, std::string& problem) {
    if (options.output.empty() || options.format.empty()) {
        return false;
    }
    const std::string extension = ExtensionOf(options.output);
    if (options.command == "palette") {
        palette::PaletteFormat format;
        if (!palette::FormatOfWord(options.format, format) ||
            palette::FormatFitsName(options.output, format)) {
            return false;
        }
    } else {
        static const std::map<std::string, std::string> kImageFormats = {
            {".bmp", "bmp"}, {".png", "png"}, {".jpg", "jpeg"}, {".jpeg", "jpeg"}};
        const auto named = kImageFormats.find(extension);
        if (named == kImageFormats.end() || named->second == options.format) {
            return false;
        }
    }
    problem = "-o " + options.output + " names a " + extension.substr(1) +
              " file, but --format says " + options.format;
    return true;
}

// The number of a --dither name (ordered is bayer8's other name), or -1.
int DitheringNamed(const std::string& name) {
    for (int d = 0; d < quantize::kDitheringCount; ++d) {
        if (quantize::kDitherings[d].name == name) {
            return d;
        }
    }
    return name == "ordered" ? DitheringNamed("bayer8") : -1;
}

std::string DitheringNames() {
    std::string names;
    for (int d = 0; d < quantize::kDitheringCount; ++d) {
        names += std::string(d == 0 ? "" : (d + 1 == quantize::kDitheringCount ? " or " : ", ")) +
                 std::string(quantize::kDitherings[d].name);
    }
    return names;
}

// The colours a diffusion makes against the entries its file's bits hold: 2^bits colours
// with --adaptive and --bits 1, 2 or 4 unless --colours asks for fewer, and a usage error
// for more, or for the 256 colours of diffuse without --adaptive. True when they fit.
bool FitsTheBits(Options& options, std::string& problem) {
    if (options.command != "diffuse" || options.bits == kAutoBits || options.bits == 8) {
        return true;
    }
    const int holds = 1 << options.bits;
    const std::string bits = "--bits " + std::to_string(options.bits);
    if (!options.adaptive) {
        problem = "diffuse without --adaptive makes 256 colours, more than " + bits + " holds (" +
                  std::to_string(holds) + "); add --adaptive";
    } else if (!options.coloursGiven) {
        options.colours = holds;
    } else if (options.colours > holds) {
        problem = "--colours " + std::to_string(options.colours) + " is more than " + bits +
                  " holds (" + std::to_string(holds) + " colours)";
    }
    return problem.empty();
}

// One of tiles' options: the shape's field it sets (a target all of them), or --palette-out.
bool ParseTileOption(const std::string& arg, const std::string& value, Options& options,
                     std::string& problem) {
    tiles::TileShape& shape = options.tileShape;
    options.tilesGiven = true;
    if (arg == "--target") {
        const tiles::Target* target = tiles::FindTarget(value);
        if (target == nullptr) {
            problem = "--target takes";
            for (int t = 0; t < tiles::kTargetCount; ++t) {
                problem += (t == 0                         ? " "
                            : t + 1 == tiles::kTargetCount ? " or "
                                                           : ", ") +
                           std::string(tiles::kTargets[t].name);
            }
            return false;
        }
        shape = target->shape;
    } else if (arg == "--tile") {
        const std::size_t x = value.find('x');
        shape.width = ParseNumber(value.substr(0, x), 1, tiles::kMaxTileSide);
        shape.height = x == std::string::npos
                           ? shape.width
                           : ParseNumber(value.substr(x + 1), 1, tiles::kMaxTileSide);
        if (shape.width < 0 || shape.height < 0) {
            problem = "--tile takes WxH (or N for NxN), each 1 to 256";
            return false;
        }
    } else {
        int& field = arg == "--palettes" ? shape.palettes
                     : arg == "--size"   ? shape.size
                                         : shape.shared;
        field = ParseNumber(value, 0, 256);
        if (field < 0) {
            problem = arg + " takes a number from 0 to 256";
            return false;
        }
    }
    return true;
}

// The tile rule's problem, told as a usage error.
bool TileShapeFits(Options& options, std::string& problem) {
    const tiles::TileShape& s = options.tileShape;
    switch (tiles::CheckShape(s, options.fixed)) {
    case tiles::ShapeProblem::Fine:
        break;
    case tiles::ShapeProblem::TileSide:
        problem = "--tile takes WxH, each 1 to 256";
        break;
    case tiles::ShapeProblem::PaletteCount:
        problem = "--palettes takes 1 to 256";
        break;
    case tiles::ShapeProblem::PaletteSize:
        problem = "--size takes 2 to 256 entries a palette";
        break;
    case tiles::ShapeProblem::TooManyEntries:
        problem = "--palettes " + std::to_string(s.palettes) + " of --size " +
                  std::to_string(s.size) + " make " + std::to_string(s.palettes * s.size) +
                  " entries; an 8-bit image holds 256";
        break;
    case tiles::ShapeProblem::Shared:
        problem = "--shared " + std::to_string(s.shared) + " is more than a palette's " +
                  std::to_string(s.size) + " entries";
        break;
    case tiles::ShapeProblem::FixedColours:
        problem = "--fixed " + std::to_string(options.fixed) +
                  ": the fixed colours go into the shared entries, of which there are " +
                  std::to_string(s.shared);
        break;
    }
    if (problem.empty() && !options.from.empty()) {
        problem = "tiles take --depth, not --from";
    } else if (problem.empty() && options.paletteOut.size() > 0 && options.inputs.size() > 1) {
        problem = "--palette-out takes one input file";
    } else if (problem.empty() &&
               (options.effort != quantize::kDefaultEffort || options.bitsGiven ||
                options.orderGiven || options.linearGiven)) {
        problem = "tiles take --dither, --strength, --no-serpentine and --key, not --effort, "
                  "--bits, --order or --linear";
    }
    return problem.empty();
}

// "R,G,B" or "N" (N,N,N), each 1 to 8.
bool ParseDepth(const std::string& text, std::array<int, 3>& depth) {
    std::vector<int> bits;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        bits.push_back(ParseNumber(text.substr(start, comma - start), quantize::kMinDepth,
                                   quantize::kMaxDepth));
        if (bits.back() < 0 || comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (bits.size() == 1 && bits[0] > 0) {
        bits.assign(3, bits[0]);
    }
    if (bits.size() != 3 || bits[0] < 0 || bits[1] < 0 || bits[2] < 0) {
        return false;
    }
    depth = {bits[0], bits[1], bits[2]};
    return true;
}

// What frames takes: -o NAME.gif or -d DIR (of PNG files, or BMP with --format bmp), the
// choices of diffuse --adaptive but --effort and --bits. True when they fit, else the problem.
bool FramesOptionsFit(const Options& options, std::string& problem) {
    if (options.output.empty() == options.directory.empty()) {
        problem = "frames takes -o NAME.gif or -d DIR";
    } else if (!options.output.empty() && ExtensionOf(options.output) != ".gif") {
        problem = "frames writes a GIF: give -o NAME.gif, or -d DIR for numbered PNG or BMP files";
    } else if (!options.output.empty() && !options.format.empty()) {
        problem = "--format goes with frames -d DIR (png or bmp)";
    } else if (options.effort != quantize::kDefaultEffort || options.bitsGiven) {
        problem = "--effort and --bits belong to diffuse";
    }
    return problem.empty();
}

// What --alpha takes: diffuse --adaptive, palette, or frames -d DIR of PNG files, every entry
// chosen for the images (a fixed colour only as the key colour) and dithered by a kernel or not at
// all. True when the options fit, else the problem.
bool AlphaOptionsFit(const Options& options, std::string& problem) {
    if (!options.alpha) {
        return true;
    }
    const quantize::DitherMethod method = quantize::kDitherings[options.dithering].method;
    if (options.command != "palette" && options.command != "frames" &&
        (options.command != "diffuse" || !options.adaptive)) {
        problem = "--alpha belongs to diffuse --adaptive, palette and frames";
    } else if (options.command == "frames" &&
               (!options.output.empty() || options.format == "bmp")) {
        problem = "frames --alpha writes PNG frames (-d DIR): a GIF keeps one transparent index, "
                  "not each entry's alpha, and BMP has no transparency here (the way of both is "
                  "the key colour: --palette FILE --fixed 1 --key)";
    } else if (options.fixed > (options.key ? 1 : 0)) {
        problem = "--alpha chooses every entry for the image: --palette gives only the key "
                  "colour (--fixed 1 --key)";
    } else if (options.deviceGiven || options.linearGiven || options.orderGiven ||
               !options.keep.empty()) {
        problem = "--alpha does not go with --depth, --from, --linear, --order or --keep";
    } else if (method != quantize::DitherMethod::Kernel &&
               method != quantize::DitherMethod::Nearest) {
        problem = "--alpha dithers with an error-diffusion kernel or none, not --dither " +
                  std::string(quantize::kDitherings[options.dithering].name);
    }
    return problem.empty();
}

} // namespace

bool ParseArguments(int argc, const char* const* argv, Options& options, std::string& problem) {
    std::vector<std::string> positional;
    bool optionsEnded = false; // after "--" every argument is a file, "-x.bmp" too
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded) {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-o" || arg == "--output" || arg == "--palette" || arg == "--fixed" ||
                   arg == "-d" || arg == "-j" || arg == "--format" || arg == "--colours" ||
                   arg == "--dither" || arg == "--strength" || arg == "--bits" ||
                   arg == "--effort" || arg == "--depth" || arg == "--from" || arg == "--order" ||
                   arg == "--keep" || arg == "--delay" || arg == "--loop" || arg == "--tile" ||
                   arg == "--palettes" || arg == "--size" || arg == "--shared" ||
                   arg == "--target" || arg == "--palette-out") {
            if (i + 1 >= argc) {
                problem = "option " + arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (arg == "--palette") {
                options.palette = value;
            } else if (arg == "--fixed") {
                options.fixed = ParseNumber(value, 0, 256);
                options.fixedGiven = true;
                if (options.fixed < 0) {
                    problem = "--fixed takes a number from 0 to 256";
                    return false;
                }
            } else if (arg == "-j") {
                options.jobs = ParseNumber(value, 1, 1024);
                if (options.jobs < 0) {
                    problem = "-j takes a number from 1 to 1024";
                    return false;
                }
            } else if (arg == "-d") {
                options.directory = value;
            } else if (arg == "--colours" || arg == "--strength") {
                const bool colours = arg == "--colours";
                const int number =
                    colours ? ParseNumber(value, 2, 256) : ParseNumber(value, 0, 100);
                if (number < 0) {
                    problem = colours ? "--colours takes a number from 2 to 256"
                                      : "--strength takes a number from 0 to 100";
                    return false;
                }
                (colours ? options.colours : options.strength) = number;
                options.coloursGiven = options.coloursGiven || colours;
                options.choicesGiven = true;
            } else if (arg == "--bits") {
                options.bits = value == "auto" ? kAutoBits : ParseNumber(value, 1, 8);
                options.bitsGiven = true;
                if (options.bits < 0 || (options.bits & (options.bits - 1)) != 0) {
                    problem = "--bits takes 1, 2, 4, 8 or auto";
                    return false;
                }
            } else if (arg == "--effort") {
                options.effort = ParseNumber(value, quantize::kMinEffort, quantize::kMaxEffort);
                if (options.effort < 0) {
                    problem = "--effort takes a number from 1 to 10";
                    return false;
                }
                options.choicesGiven = true;
            } else if (arg == "--dither") {
                options.dithering = DitheringNamed(value);
                if (options.dithering < 0) {
                    problem = "--dither takes " + DitheringNames();
                    return false;
                }
                options.choicesGiven = true;
            } else if (arg == "--depth") {
                if (!ParseDepth(value, options.depth)) {
                    problem = "--depth takes the bits of red, green and blue, each 1 to 8 (5,6,5), "
                              "or one number for all three";
                    return false;
                }
                options.deviceGiven = true;
                options.tileShape.depth = options.depth;
            } else if (arg == "--from") {
                options.from = value;
                options.deviceGiven = true;
                if (value.empty()) {
                    problem = "--from takes a palette file or a palette's name";
                    return false;
                }
            } else if (arg == "--order") {
                const auto* word = std::find(std::begin(quantize::kEntryOrderWords),
                                             std::end(quantize::kEntryOrderWords), value);
                if (word == std::end(quantize::kEntryOrderWords)) {
                    problem = "--order takes keep, frequency, luminance or hue";
                    return false;
                }
                options.order = static_cast<quantize::EntryOrder>(
                    word - std::begin(quantize::kEntryOrderWords));
                options.orderGiven = true;
            } else if (arg == "--keep") {
                options.keep = value;
            } else if (arg == "--tile" || arg == "--palettes" || arg == "--size" ||
                       arg == "--shared" || arg == "--target") {
                if (!ParseTileOption(arg, value, options, problem)) {
                    return false;
                }
            } else if (arg == "--palette-out") {
                options.paletteOut = value;
            } else if (arg == "--delay" || arg == "--loop") {
                const bool once = arg == "--loop" && value == "once";
                const int number = once ? 0 : ParseNumber(value, 0, 9999);
                if (number < 0) {
                    problem = arg == "--delay"
                                  ? "--delay takes milliseconds from 0 to 9999"
                                  : "--loop takes a count from 0 (for ever) to 9999, or once";
                    return false;
                }
                if (arg == "--delay") {
                    options.delay = number;
                } else {
                    options.loop = once ? -1 : number;
                    options.loopGiven = true;
                }
                options.framesGiven = true;
            } else if (arg == "--format") {
                options.format = value;
            } else {
                options.output = value;
            }
        } else if (arg == "--adaptive") {
            options.adaptive = true;
        } else if (arg == "--alpha") {
            options.alpha = true;
        } else if (arg == "--report") {
            options.report = true;
            options.tilesGiven = true;
        } else if (arg == "--key") {
            options.key = true;
        } else if (arg == "--serpentine" || arg == "--no-serpentine" || arg == "--linear") {
            (arg == "--linear" ? options.linear : options.serpentine) = arg != "--no-serpentine";
            (arg == "--linear" ? options.linearGiven : options.serpentineGiven) = true;
            options.choicesGiven = true;
        } else if (arg == "--quiet" || arg == "-q" || arg == "--verbose" || arg == "-v") {
            (arg == "--quiet" || arg == "-q" ? options.quiet : options.verbose) = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            problem = "unknown option " + arg;
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) {
        problem = "no command given";
        return false;
    }
    options.command = positional[0];
    options.inputs.assign(positional.begin() + 1, positional.end());
    const bool paletteCommand = options.command == "palette";
    const bool compactCommand = options.command == "compact";
    const bool framesCommand = options.command == "frames";
    const bool tilesCommand = options.command == "tiles";
    // Tiles are dithered with the choices of --adaptive, onto palettes of their own.
    options.adaptive = options.adaptive || tilesCommand;
    // Frames are always converted as diffuse --adaptive converts an image.
    options.adaptive = options.adaptive || framesCommand;
    if (options.command != "exact" && options.command != "diffuse" && !paletteCommand &&
        !compactCommand && !framesCommand && !tilesCommand) {
        problem = "unknown command " + options.command;
    } else if (tilesCommand && !TileShapeFits(options, problem)) {
        // the problem is told
    } else if (options.tilesGiven && !tilesCommand) {
        problem = "--tile, --palettes, --size, --shared, --target and --report belong to tiles";
    } else if (!options.paletteOut.empty() && !tilesCommand && !framesCommand) {
        problem = "--palette-out belongs to tiles and frames";
    } else if (framesCommand && !FramesOptionsFit(options, problem)) {
        // the problem is told
    } else if (options.framesGiven && !framesCommand) {
        problem = "--delay and --loop belong to frames";
    } else if (palette::PaletteFormat format; paletteCommand && !options.format.empty() &&
                                              !palette::FormatOfWord(options.format, format)) {
        problem = "palette's --format takes raw, act, gpl, jasc, riff, bgr555, hex, c, c-bgr555 "
                  "or c-rgb888";
    } else if (!paletteCommand && !options.format.empty() && options.format != "bmp" &&
               options.format != "png") {
        problem = "--format takes bmp or png";
    } else if (paletteCommand && (options.adaptive || !options.directory.empty())) {
        problem = "palette takes -o PALETTE, and always makes the high-quality palette";
    } else if (options.command == "exact" &&
               (!options.palette.empty() || options.fixed != 0 || options.adaptive)) {
        problem = "--palette, --fixed and --adaptive belong to diffuse";
    } else if ((options.choicesGiven || options.key) && !options.adaptive &&
               !(compactCommand && !options.choicesGiven)) {
        problem = "--colours, --dither, --strength, --effort, --serpentine, --linear and --key "
                  "belong to diffuse --adaptive";
    } else if ((options.strength != 100 || options.effort != quantize::kDefaultEffort ||
                options.serpentineGiven || options.linearGiven) &&
               quantize::kDitherings[options.dithering].method != quantize::DitherMethod::Kernel) {
        problem = "--strength, --effort, --serpentine and --linear go with error diffusion, not "
                  "--dither " +
                  std::string(quantize::kDitherings[options.dithering].name);
    } else if (options.deviceGiven && !(paletteCommand || options.adaptive)) {
        problem = "--depth and --from belong to diffuse --adaptive and palette";
    } else if (!options.from.empty() && options.depth != std::array<int, 3>{8, 8, 8}) {
        problem = "--depth and --from exclude each other: the list's colours are the device's";
    } else if (options.orderGiven && (framesCommand || !(paletteCommand || options.adaptive))) {
        problem = "--order belongs to diffuse --adaptive and palette";
    } else if (paletteCommand && options.order == quantize::EntryOrder::Frequency) {
        problem = "palette's --order takes keep, luminance or hue: frequency counts a result's "
                  "pixels (diffuse --adaptive --order frequency)";
    } else if (!options.keep.empty() && !paletteCommand) {
        problem = "--keep belongs to palette";
    } else if (compactCommand && (options.adaptive || !options.palette.empty() ||
                                  options.fixedGiven || options.bitsGiven)) {
        problem = "compact takes -o, -d, --format and --key";
    } else if (paletteCommand && options.bitsGiven) {
        problem = "--bits belongs to exact and diffuse";
    } else if (options.fixed > 0 && options.palette.empty()) {
        problem = "--fixed above 0 needs --palette";
    } else if (options.inputs.empty()) {
        problem = "no input file given";
    } else if (paletteCommand && options.output.empty()) {
        problem = "palette needs -o PALETTE";
    } else if (!options.output.empty() && options.inputs.size() > 1 && !paletteCommand &&
               !framesCommand) {
        problem = "-o takes one input file; use -d for several";
    } else if (!options.output.empty() && !options.directory.empty()) {
        problem = "-o and -d exclude each other";
    } else if (options.quiet && options.verbose) {
        problem = "--quiet and --verbose exclude each other";
    } else if (!AlphaOptionsFit(options, problem)) {
        // the problem is told
    } else {
        NameContradictsFormat(options, problem);
    }
    return problem.empty() && FitsTheBits(options, problem);
}

std::string OutputOf(const Options& options, const std::string& input) {
    if (!options.output.empty()) {
        return options.output;
    }
    std::filesystem::path output = input;
    if (!options.directory.empty()) {
        output = std::filesystem::path(options.directory) / output.filename();
    }
    // A name the tool makes says what the file is: with --format png, photo.jpg becomes
    // photo.png (and the JPEG stays), in DIR or beside it.
    const std::string extension = "." + options.format;
    if (options.command != "palette" && !options.format.empty() &&
        ExtensionOf(input) != extension) {
        output.replace_extension(extension);
    }
    return output.string();
}

std::optional<OutputFormat> FormatOf(const Options& options, const std::string& output) {
    const std::string& named = options.format;
    const std::string extension = ExtensionOf(output);
    if (named == "png" || (named.empty() && extension == ".png")) {
        return OutputFormat::Png;
    }
    if (named == "bmp" || (named.empty() && extension == ".bmp")) {
        return OutputFormat::Bmp;
    }
    return std::nullopt;
}

bool FindUnwritableOutput(const Options& options, std::string& problem) {
    if (options.command == "palette" || options.command == "frames") {
        return false;
    }
    for (const std::string& input : options.inputs) {
        const std::string output = OutputOf(options, input);
        const std::string extension = ExtensionOf(input);
        if (options.alpha && FormatOf(options, output) != OutputFormat::Png) {
            problem = output + ": --alpha writes PNG; BMP has no transparency here (its way is "
                               "the key colour: --palette FILE --fixed 1 --key); give -o "
                               "NAME.png or --format png";
            return true;
        }
        // A BMP under another name is written as a BMP, as always.
        if (!FormatOf(options, output) &&
            (extension == ".png" || extension == ".jpg" || extension == ".jpeg")) {
            problem = output + ": only .bmp and .png files are written; give -o NAME.png or "
                               "--format png";
            return true;
        }
        if (options.bits == 2 &&
            FormatOf(options, output).value_or(OutputFormat::Bmp) == OutputFormat::Bmp) {
            problem = output + ": BMP has no 2-bit form; --bits 2 is for PNG (give -o NAME.png "
                               "or --format png), BMP takes 1, 4 or 8";
            return true;
        }
    }
    return false;
}

// --palette-out: the palette's file is neither an input nor the image written.
static bool PaletteOutCollides(const Options& options,
                               const std::map<std::string, std::size_t>& inputs,
                               const std::map<std::string, std::size_t>& outputs,
                               std::string& problem) {
    const std::string palettes = FileIdentity(options.paletteOut);
    if (!options.paletteOut.empty() && (inputs.count(palettes) || outputs.count(palettes))) {
        problem = "--palette-out " + options.paletteOut +
                  " would be written over an input or the image written";
        return true;
    }
    return false;
}

bool FindCollision(const Options& options, std::string& problem) {
    std::map<std::string, std::size_t> inputs, outputs;
    for (std::size_t i = 0; i < options.inputs.size(); ++i) {
        inputs.emplace(FileIdentity(options.inputs[i]), i);
    }
    if (options.command == "palette" || options.command == "frames") {
        // All images give one palette or animation; it must not go over one of them. (The
        // numbered files of frames -d are checked as they are named.)
        const auto input = inputs.find(FileIdentity(options.output));
        if (!options.output.empty() && input != inputs.end()) {
            problem = std::string(options.command == "palette" ? "the palette" : "the animation") +
                      " would be written over an input, " + options.inputs[input->second];
            return true;
        }
        if (!options.output.empty()) {
            outputs.emplace(FileIdentity(options.output), 0);
        }
        return PaletteOutCollides(options, inputs, outputs, problem);
    }
    for (std::size_t i = 0; i < options.inputs.size(); ++i) {
        const std::string output = OutputOf(options, options.inputs[i]);
        const std::string identity = FileIdentity(output);
        const auto [earlier, added] = outputs.emplace(identity, i);
        if (!added) {
            problem = options.inputs[earlier->second] + " and " + options.inputs[i] +
                      " would both be written to " + output;
            return true;
        }
        const auto input = inputs.find(identity);
        if (input != inputs.end() && input->second != i) {
            problem = options.inputs[i] + " would be written over another input, " +
                      options.inputs[input->second];
            return true;
        }
    }
    return PaletteOutCollides(options, inputs, outputs, problem);
}

} // namespace cli
