// The pixels of the PNG test suite as an independent decoder (Pillow) reads them, composited
// onto white (tests/data/pngsuite_pixels.txt, written by scripts/pngsuite_reference.py), and
// the check of decoded images against them, for the native and the Windows tests alike. The
// tests that include it define TW_SOURCE_DIR and TW_PNG_CORPUS_DIR.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/bmp_builder.h"

namespace testimg {

struct PngReference {
    std::string name; // below the suite's root
    std::uint32_t width = 0, height = 0;
    int depth = 0;
    std::string pixels; // a hash, "~" and the bytes in hex, or "-" for none
};

// The references of tests/data/pngsuite_pixels.txt.
inline std::vector<PngReference> ReadPngReferences() {
    std::vector<PngReference> references;
    std::ifstream in(TW_SOURCE_DIR "/tests/data/pngsuite_pixels.txt");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        PngReference r;
        if (words >> r.name >> r.width >> r.height >> r.depth >> r.pixels) {
            references.push_back(r);
        }
    }
    return references;
}

// "" when the plain 24-bit BMP has the reference's pixels (within two levels for 16-bit
// colour samples, which Pillow cuts and the decoders round), else what differs.
inline std::string CompareWithReference(const PngReference& r, const Bytes& image) {
    if (r.pixels == "-") {
        return ""; // nothing Pillow reads right to compare with
    }
    if (image.size() < bmp::kHeadersSize || image[0] != 'B' || image[bmp::kBiBitCount] != 24 ||
        bmp::ReadU32(&image[bmp::kBiWidth]) != r.width ||
        bmp::ReadU32(&image[bmp::kBiHeight]) != r.height) {
        return "not a 24-bit BMP of the reference's size";
    }
    Bytes rgb; // red, green and blue, top row first
    const auto stride = static_cast<std::size_t>(bmp::StrideBytes(r.width, 24));
    for (std::uint32_t y = 0; y < r.height; ++y) {
        const std::uint8_t* row = &image[bmp::kHeadersSize + (r.height - 1 - y) * stride];
        for (std::uint32_t x = 0; x < r.width; ++x) {
            rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
    }
    if (r.pixels[0] == '~') {
        for (std::size_t i = 0; i < rgb.size(); ++i) {
            const int want = std::stoi(r.pixels.substr(1 + 2 * i, 2), nullptr, 16);
            if (std::abs(rgb[i] - want) > 2) {
                return "sample " + std::to_string(i) + " is " + std::to_string(rgb[i]) +
                       ", Pillow reads " + std::to_string(want);
            }
        }
        return "";
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(Fnv(rgb)));
    return text == r.pixels ? ""
                            : std::string("pixels hash to ") + text + ", Pillow's to " + r.pixels;
}

// The whole BMP file images of the suite's 16-bit files as the decoders make them (samples
// rounded), pinned, so that the command-line tool's decoder and the program's agree where no
// independent decoder reads the samples whole.
inline const std::vector<std::pair<std::string, std::uint64_t>> kDecoded16Bit = {
    {"basn0g16.png", 0x53339bafaca9fd78u},   {"basn2c16.png", 0xe8691d7f8e05cd03u},
    {"basn4a16.png", 0x01a2446c8a2e6619u},   {"basn6a16.png", 0xc42963650b25c847u},
    {"ftbbn2c16.png", 0x21f615c4fd1a3bbbu},  {"ftbgn2c16.png", 0x21f615c4fd1a3bbbu},
    {"ftbwn0g16.png", 0x0e5e06756dff6430u},  {"ibasn0g16.png", 0x53339bafaca9fd78u},
    {"ibasn2c16.png", 0xe8691d7f8e05cd03u},  {"ibasn4a16.png", 0x01a2446c8a2e6619u},
    {"ibasn6a16.png", 0xc42963650b25c847u},  {"iftbbn2c16.png", 0x21f615c4fd1a3bbbu},
    {"iftbgn2c16.png", 0x21f615c4fd1a3bbbu}, {"iftbwn0g16.png", 0x0e5e06756dff6430u},
};

// Every file of the suite decoded by `decode` (from its path, into a plain 24-bit BMP; it
// gives "" or why the file was not read) and compared with its reference, the interlaced ones
// ("i" in front of the name) with their plain twins, the 16-bit ones with their pins: what
// differs, a line a file, or "" when nothing does.
inline std::string
SuiteDifferences(const std::function<std::string(const std::string& path, Bytes& bmp)>& decode) {
    std::string differences;
    const auto differ = [&differences](const std::string& name, const std::string& what) {
        differences += what.empty() ? "" : name + ": " + what + "\n";
    };
    const std::vector<PngReference> references = ReadPngReferences();
    differ("tests/data/pngsuite_pixels.txt", references.size() < 50 ? "too few references" : "");
    std::map<std::string, Bytes> decoded; // by the file's name, without its folder
    for (const PngReference& r : references) {
        Bytes& image = decoded[r.name.substr(r.name.rfind('/') + 1)];
        const std::string refused = decode(TW_PNG_CORPUS_DIR "/" + r.name, image);
        differ(r.name, refused.empty() ? CompareWithReference(r, image) : refused);
    }
    for (const auto& [name, image] : decoded) {
        const auto twin = name[0] == 'i' ? decoded.find(name.substr(1)) : decoded.end();
        differ(name, twin != decoded.end() && twin->second != image ? "not as its twin" : "");
    }
    for (const auto& [name, hash] : kDecoded16Bit) {
        differ(name, Fnv(decoded[name]) != hash ? "not as pinned" : "");
    }
    return differences;
}

} // namespace testimg
