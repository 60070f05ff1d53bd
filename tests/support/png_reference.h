// The pixels of the PNG test suite as an independent decoder (Pillow) reads them, composited
// onto white (tests/data/pngsuite_pixels.txt, written by scripts/pngsuite_reference.py), and
// the check of a decoded image against them, for the native and the Windows tests alike.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testimg {

struct PngReference {
    std::string name; // below the suite's root
    std::uint32_t width = 0, height = 0;
    int depth = 0;
    std::string pixels; // a hash, "~" and the bytes in hex, or "-" for none
};

inline std::vector<PngReference> ReadPngReferences(const std::string& path) {
    std::vector<PngReference> references;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        PngReference r;
        if (words >> r.name >> r.width >> r.height >> r.depth >> r.pixels) {
            references.push_back(r);
        }
    }
    return references;
}

// FNV-1a, 64 bits.
inline std::uint64_t Fnv(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 0xCBF29CE484222325u;
    for (const std::uint8_t b : bytes) {
        h = (h ^ b) * 0x100000001B3u;
    }
    return h;
}

// Red, green and blue, top row first, of a plain 24-bit BMP file image.
inline std::vector<std::uint8_t> TopDownRgb(const std::vector<std::uint8_t>& bmp,
                                            std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> rgb;
    const std::size_t stride = (3 * std::size_t{width} + 3) & ~std::size_t{3};
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = bmp.data() + 54 + (height - 1 - y) * stride;
        for (std::uint32_t x = 0; x < width; ++x) {
            rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
    }
    return rgb;
}

// "" when the plain 24-bit BMP has the reference's pixels (within two levels for 16-bit
// colour samples, which Pillow cuts and the decoders round), else what differs.
inline std::string CompareWithReference(const PngReference& r,
                                        const std::vector<std::uint8_t>& bmp) {
    if (r.pixels == "-") {
        return ""; // nothing Pillow reads right to compare with
    }
    if (bmp.size() < 54 || bmp[0] != 'B' || bmp[28] != 24 ||
        bmp[18] + (bmp[19] << 8) != static_cast<int>(r.width) ||
        bmp[22] + (bmp[23] << 8) != static_cast<int>(r.height)) {
        return "not a 24-bit BMP of the reference's size";
    }
    const std::vector<std::uint8_t> rgb = TopDownRgb(bmp, r.width, r.height);
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
    const std::uint64_t h = Fnv(rgb);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
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

// The same image without interlacing, when `name` is an interlaced one ("i" in front of the
// name, in the suite or its folder "interlaced"); "" for any other.
inline std::string NonInterlacedTwin(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    return file.size() > 1 && file[0] == 'i' ? file.substr(1) : "";
}

} // namespace testimg
