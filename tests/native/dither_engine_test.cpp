// The dithering engine of 誤差拡散（高画質） and its rules: the rules against the table of
// docs/quality.md, the engine against the literal diffusion by a kernel, and the refinement
// of the higher efforts against the literal refinement.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/quantize/kernel_dither.h"
#include "core/quantize/refine.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/literal_kernel.h"
#include "tests/support/literal_refine.h"

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// docs/quality.md lists the rules as a table, a case a row: the rule, the run (entries,
// strength, agreement in per mille), the pixel (plain, flat, smooth or held) and the size of
// its error, and the shares passed on. Every row holds for the policy, and every rule of the
// policy (a comment "// Name:" in PolicyFor) has rows.
TEST(DitherRules, EveryRowOfTheTableInDocsHoldsAndEveryRuleHasRows) {
    const std::string doc = ReadText(std::string(TW_SOURCE_DIR) + "/docs/quality.md");
    const std::regex row(R"(\| *([A-Z][a-z ]+?) *\| *(\d+) *\| *(\d+) *\| *(\d+) *\| *)"
                         R"((plain|flat|smooth|held) *\| *(\d+) *\| *(\d+) *\| *(\d+) *\|)");
    std::set<std::string> documented;
    int rows = 0;
    for (auto it = std::sregex_iterator(doc.begin(), doc.end(), row); it != std::sregex_iterator();
         ++it, ++rows) {
        const std::smatch& m = *it;
        const std::string pixel = m[5];
        const quantize::DitherSettings settings{std::stoi(m[3]), std::stoi(m[2]), std::stoi(m[4])};
        const quantize::PixelContext context{pixel == "held", pixel == "flat", pixel == "smooth",
                                             std::stoi(m[6])};
        EXPECT_EQ(quantize::PolicyFor(settings, context),
                  (quantize::ErrorShare{std::stoi(m[7]), std::stoi(m[8])}))
            << m[0];
        documented.insert(m[1]);
    }
    EXPECT_GE(rows, 20);
    // The kernels' table: the rule, the kernel's own share, entries, the pixel, the size of its
    // error, and the shares passed on (strength 100, agreement 1000).
    const std::regex kernelRow(R"(\| *([A-Z][a-z ]+?) *\| *(\d+) *\| *(\d+) *\| *)"
                               R"((plain|flat|smooth|held) *\| *(\d+) *\| *(\d+) *\| *(\d+) *\|)");
    for (auto it = std::sregex_iterator(doc.begin(), doc.end(), kernelRow);
         it != std::sregex_iterator(); ++it, ++rows) {
        const std::smatch& m = *it;
        const std::string pixel = m[4];
        const quantize::DitherSettings settings{100, std::stoi(m[3]), 1000, std::stoi(m[2])};
        const quantize::PixelContext context{pixel == "held", pixel == "flat", pixel == "smooth",
                                             std::stoi(m[5])};
        EXPECT_EQ(quantize::PolicyFor(settings, context),
                  (quantize::ErrorShare{std::stoi(m[6]), std::stoi(m[7])}))
            << m[0];
        documented.insert(m[1]);
    }

    const std::string code =
        ReadText(std::string(TW_SOURCE_DIR) + "/core/quantize/error_share.cpp");
    const auto begin = code.find("ErrorShare PolicyFor(");
    const std::string policy = code.substr(begin, code.find("\n}\n", begin) - begin);
    const std::regex rule(R"(\n *// ([A-Z][a-z ]+?)( \([^)]*\))?:)");
    int rules = 0;
    for (auto it = std::sregex_iterator(policy.begin(), policy.end(), rule);
         it != std::sregex_iterator(); ++it, ++rules) {
        EXPECT_TRUE(documented.count((*it)[1])) << (*it)[1] << " has no row in docs/quality.md";
    }
    EXPECT_GE(rules, 8);
}

// A policy that reads every part of the context, so that the engine measures every mark.
quantize::ErrorShare EveryContext(const quantize::DitherSettings&,
                                  const quantize::PixelContext& p) {
    return {p.held ? 0 : (p.flat ? 56 : (p.smooth ? 30 : 44)), p.size > 100 ? 40 : 64};
}

// Random pictures of the kinds the rules tell apart: noise; the palette's own colours in runs
// (held entries, flat stretches); a gradient with a level of noise (smooth stretches).
std::vector<std::uint8_t> Picture(int kind, int width, int rows,
                                  const quantize::DiffusionPalette& palette, std::mt19937& rng) {
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(3 * width * rows));
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &bgr[static_cast<std::size_t>(3 * (y * width + x))];
            const int noise = static_cast<int>(rng() % 3) - 1;
            if (kind == 0) {
                p[0] = static_cast<std::uint8_t>(rng()), p[1] = static_cast<std::uint8_t>(rng()),
                p[2] = static_cast<std::uint8_t>(rng());
            } else if (kind == 1) {
                const quantize::PaletteEntry& e = palette[(x / 5 + y * 7) % 40];
                p[0] = e.blue, p[1] = e.green, p[2] = e.red;
                if (rng() % 7 == 0) {
                    p[1] = static_cast<std::uint8_t>(p[1] ^ 0x11);
                }
            } else {
                p[0] = static_cast<std::uint8_t>(std::clamp(40 + 3 * x + noise, 0, 255));
                p[1] = static_cast<std::uint8_t>(std::clamp(90 + 2 * y - noise, 0, 255));
                p[2] = static_cast<std::uint8_t>(std::clamp(200 - x - y + noise, 0, 255));
            }
        }
    }
    return bgr;
}

std::vector<std::uint8_t> Engine(const std::vector<std::uint8_t>& bgr, int width, int rows,
                                 const quantize::DiffusionPalette& palette,
                                 const quantize::PaletteFacts& facts,
                                 const quantize::Choices& choices, int threads,
                                 quantize::Policy policy) {
    const std::uint64_t stride = (3 * static_cast<std::uint64_t>(width) + 3) & ~3u;
    const std::uint64_t padded = (static_cast<std::uint64_t>(width) + 3) & ~3u;
    const bmp::TrueColourGeometry g{static_cast<std::uint64_t>(width),
                                    static_cast<std::uint64_t>(rows), stride, padded};
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride * g.rows));
    for (int y = 0; y < rows; ++y) {
        std::copy_n(&bgr[static_cast<std::size_t>(3 * y * width)], 3 * width,
                    &pixels[static_cast<std::size_t>(y * stride)]);
    }
    quantize::KernelDither dither(g, palette, facts, threads, choices, policy);
    quantize::SilentObserver silent;
    dither.Run(pixels.data(), silent);
    std::vector<std::uint8_t> indices;
    for (int y = 0; y < rows; ++y) {
        const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(y * padded);
        indices.insert(indices.end(), row, row + width);
    }
    return indices;
}

// The engine gives the literal diffusion's indices for every kernel, and for the two of
// either shape (one row down and reach one, two rows down and reach two) in one direction and
// in linear light too, with today's rules and with rules that read every mark, with 256, 64
// and 16 entries, from one thread and two.
TEST(DitherEngine, EveryKernelGivesTheLiteralDiffusionsIndices) {
    std::mt19937 rng(36);
    struct Case {
        quantize::KernelName kernel;
        bool serpentine, linear;
    };
    std::vector<Case> cases;
    for (int k = 0; k < quantize::kKernelCount; ++k) {
        cases.push_back({static_cast<quantize::KernelName>(k), true, false});
    }
    for (const auto kernel :
         {quantize::KernelName::FloydSteinberg, quantize::KernelName::JarvisJudiceNinke}) {
        cases.push_back({kernel, false, false});
        cases.push_back({kernel, true, true});
    }
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 9}, {7, 1}, {13, 17}, {64, 40}, {30, 70}};
    for (const int entries : {256, 64, 16}) {
        quantize::DiffusionPalette palette = testimg::RandomPalette(rng);
        palette[3] = palette[1]; // a repeated entry: the lower one is held
        const quantize::PaletteFacts facts{0, true, entries, false, {}};
        for (const Case& c : cases) {
            quantize::Kernel kernel = *quantize::kKernels[static_cast<int>(c.kernel)];
            kernel.serpentine = c.serpentine;
            for (const auto& [width, rows] : sizes) {
                for (int kind = 0; kind < 3; ++kind) {
                    const auto bgr = Picture(kind, width, rows, palette, rng);
                    for (const quantize::Policy policy :
                         {quantize::Policy{quantize::PolicyFor}, quantize::Policy{EveryContext}}) {
                        quantize::Choices choices;
                        choices.strength = kind == 2 ? 60 : 100;
                        choices.kernel = c.kernel;
                        choices.serpentine = c.serpentine;
                        choices.linear = c.linear;
                        const auto expected =
                            literal::KernelDiffuse(bgr, width, rows, palette, facts, kernel,
                                                   choices.strength, policy, c.linear);
                        for (const int threads : {1, 2}) {
                            ASSERT_EQ(
                                Engine(bgr, width, rows, palette, facts, choices, threads, policy),
                                expected)
                                << "kernel " << static_cast<int>(c.kernel) << " serpentine "
                                << c.serpentine << " linear " << c.linear << ", " << entries
                                << " entries, " << width << "x" << rows << ", kind " << kind
                                << ", threads " << threads;
                        }
                    }
                }
            }
        }
    }
}

// The refinement gives the literal refinement's indices for each filter, from the dithering
// and from random indices (many changes), with a key colour and with fewer entries, on images
// of one stripe and of several with a short last one, from one thread and two.
TEST(DitherEngine, TheRefinementGivesTheLiteralRefinementsIndices) {
    std::mt19937 rng(37);
    const std::pair<int, int> sizes[] = {{1, 1}, {9, 1}, {1, 40}, {23, 31}, {40, 101}};
    for (const int entries : {256, 48}) {
        quantize::DiffusionPalette palette = testimg::RandomPalette(rng);
        for (const bool key : {false, true}) {
            const quantize::PaletteFacts facts{0, true, entries, key, {}};
            for (int filter = 0; filter < 3; ++filter) {
                const quantize::Effort effort{0, quantize::kFitShift, 2, filter == 1 ? 64 : 19,
                                              filter};
                for (const auto& [width, rows] : sizes) {
                    for (int kind = 0; kind < 3; ++kind) {
                        const auto bgr = Picture(kind, width, rows, palette, rng);
                        quantize::Choices choices;
                        std::vector<std::uint8_t> start = Engine(bgr, width, rows, palette, facts,
                                                                 choices, 1, quantize::PolicyFor);
                        for (std::uint8_t& index : start) {
                            if (kind == 0) {
                                index = static_cast<std::uint8_t>(rng() % entries);
                            }
                            if (key && index == 0 && rng() % 2 == 0) {
                                index = 5; // entry 0 stays where it is, never taken
                            }
                        }
                        const auto expected =
                            literal::Refine(bgr, width, rows, start, palette, facts, effort);
                        const std::uint64_t padded = (static_cast<std::uint64_t>(width) + 3) & ~3u;
                        const std::uint64_t stride =
                            (3 * static_cast<std::uint64_t>(width) + 3) & ~3u;
                        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride * rows));
                        for (int y = 0; y < rows; ++y) {
                            std::copy_n(&bgr[static_cast<std::size_t>(3 * y * width)], 3 * width,
                                        &pixels[static_cast<std::size_t>(y * stride)]);
                        }
                        const bmp::TrueColourGeometry g{static_cast<std::uint64_t>(width),
                                                        static_cast<std::uint64_t>(rows), stride,
                                                        padded};
                        for (const int threads : {1, 2}) {
                            quantize::Refiner refiner(g, palette, facts, threads, effort);
                            for (int y = 0; y < rows; ++y) {
                                std::copy_n(&start[static_cast<std::size_t>(y * width)], width,
                                            refiner.indices() + y * padded);
                            }
                            quantize::SilentObserver silent;
                            refiner.Run(pixels.data(), silent);
                            std::vector<std::uint8_t> refined;
                            for (int y = 0; y < rows; ++y) {
                                refined.insert(refined.end(), refiner.indices() + y * padded,
                                               refiner.indices() + y * padded + width);
                            }
                            ASSERT_EQ(refined, expected)
                                << entries << " entries, key " << key << ", filter " << filter
                                << ", " << width << "x" << rows << ", kind " << kind << ", threads "
                                << threads;
                        }
                        if (kind == 0 && width * rows > 100) {
                            EXPECT_NE(expected, start); // the refinement did change something
                        }
                    }
                }
            }
        }
    }
}

} // namespace
