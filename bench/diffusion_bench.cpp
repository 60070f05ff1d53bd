// Error diffusion: the engine against the literal algorithm on small images, both methods
// alone on 1, 4 and 12 megapixels of a synthetic photograph (smooth shading with grain, a
// few hundred thousand distinct colours), the high-quality dithering alone by kernel, and the
// nearest-colour search by itself.
// bench/compare.sh times real photographs against other tools.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>

#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/kernel_dither.h"
#include "core/quantize/nearest_colour.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/literal_diffusion.h"

namespace {

using testimg::Bytes;

Bytes SyntheticPhoto(int width, int height) {
    std::mt19937 rng(42);
    std::normal_distribution<double> grain(0.0, 3.0);
    return testimg::Make24(width, height, [&](int x, int y) {
        const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
        auto channel = [&](double base) {
            const double c = base + grain(rng);
            return static_cast<std::uint32_t>(c < 0 ? 0 : (c > 255 ? 255 : c));
        };
        const std::uint32_t r = channel(120 + 90 * std::sin(6.0 * u + 2.0 * v));
        const std::uint32_t g = channel(110 + 80 * std::cos(4.0 * v - 3.0 * u * v));
        const std::uint32_t b = channel(90 + 70 * std::sin(9.0 * u * v + 1.0));
        return r << 16 | g << 8 | b;
    });
}

const Bytes& Photo(int width, int height) {
    static std::map<std::pair<int, int>, Bytes> photos;
    Bytes& photo = photos[{width, height}];
    if (photo.empty()) {
        photo = SyntheticPhoto(width, height);
    }
    return photo;
}

// Times convert(block) on a fresh copy of the photograph each time.
template <typename Convert>
void TimeOnCopies(benchmark::State& state, int width, int height, Convert convert) {
    const Bytes& source = Photo(width, height);
    testimg::VectorBlock work;
    for (auto _ : state) {
        state.PauseTiming();
        work.bytes = source;
        state.ResumeTiming();
        benchmark::DoNotOptimize(convert(work));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(width) * height);
}

void RunEngine(benchmark::State& state, int width, int height, int threads = 0,
               const quantize::Stages& stages = quantize::kBasicDiffusion) {
    const Bytes table(1024, 0);
    const quantize::DiffusionInput input{0, table.data(), quantize::kBasicPalette, threads, stages};
    TimeOnCopies(state, width, height,
                 [&input](testimg::VectorBlock& work) { return work.Diffuse(input); });
}

void BM_DiffuseEngineSmall(benchmark::State& state) {
    RunEngine(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_DiffuseEngineSmall)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond);

void BM_DiffuseLiteralSmall(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const Bytes table(1024, 0);
    TimeOnCopies(state, side, side, [&table](testimg::VectorBlock& work) {
        testimg::Recorder quiet;
        return literal::Diffuse(work.bytes, 0, table.data(), quantize::kBasicPalette, quiet);
    });
}
BENCHMARK(BM_DiffuseLiteralSmall)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond);

// Megapixels, and threads that dither (wall-clock time, since two threads may work).
void RunMegapixels(benchmark::State& state, const quantize::Stages& stages) {
    const int megapixels = static_cast<int>(state.range(0));
    const int width = megapixels == 12 ? 4000 : (megapixels == 4 ? 2560 : 1280);
    const int height = megapixels == 12 ? 3000 : (megapixels == 4 ? 1600 : 800);
    RunEngine(state, width, height, static_cast<int>(state.range(1)), stages);
}
void BM_DiffuseEngine(benchmark::State& state) {
    RunMegapixels(state, quantize::kBasicDiffusion);
}
void BM_DiffuseHighQuality(benchmark::State& state) {
    RunMegapixels(state, quantize::kHighQualityDiffusion);
}
BENCHMARK(BM_DiffuseEngine)
    ->ArgsProduct({{1, 4, 12}, {1, 2}})
    ->ArgNames({"megapixels", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiffuseHighQuality)
    ->ArgsProduct({{1, 4, 12}, {1, 2}})
    ->ArgNames({"megapixels", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The dithering alone, by kernel (quantize::KernelName: 0 Floyd-Steinberg, 1 Jarvis-Judice-
// Ninke, 2 Atkinson, 3 Sierra, 4 Sierra two-row, 5 Sierra Lite, 6 Stucki, 7 Burkes) and light
// (1: linear), of the 4-megapixel photograph onto its high-quality palette, with one thread.
void BM_KernelDither(benchmark::State& state) {
    const Bytes& photo = Photo(2560, 1600);
    static const quantize::DiffusionPalette palette = [&photo] {
        const Bytes table(1024, 0);
        quantize::DiffusionPalette chosen{};
        quantize::SilentObserver silent;
        quantize::PaletteOfImage(
            photo.data(), photo.size(),
            {0, table.data(), quantize::kBasicPalette, 0, quantize::kHighQualityDiffusion}, silent,
            chosen);
        return chosen;
    }();
    const bmp::TrueColourGeometry g{2560, 1600, 3 * 2560, 2560};
    const auto kernel = static_cast<quantize::KernelName>(state.range(0));
    std::vector<std::uint8_t> pixels;
    quantize::SilentObserver silent;
    for (auto _ : state) {
        state.PauseTiming();
        pixels.assign(photo.begin() + 54, photo.end());
        quantize::Choices choices;
        choices.kernel = kernel;
        choices.linear = state.range(1) != 0;
        quantize::KernelDither dither(g, palette, {}, 1, choices);
        state.ResumeTiming();
        dither.Run(pixels.data(), silent);
    }
    state.SetItemsProcessed(state.iterations() * 2560 * 1600);
}
BENCHMARK(BM_KernelDither)
    ->ArgsProduct({benchmark::CreateDenseRange(0, quantize::kKernelCount - 1, 1), {0, 1}})
    ->ArgNames({"kernel", "linear"})
    ->Unit(benchmark::kMillisecond);

// Nearest colour: a palette made from the photograph, then every pixel of it asked in turn,
// as dithering asks (neighbours close in colour): the first pass works the cells' tables
// out, the ones after it find them.
void BM_NearestColour(benchmark::State& state) {
    const Bytes& photo = Photo(2560, 1600);
    quantize::DiffusionPalette palette{};
    for (int e = 0; e < 256; ++e) {
        const std::uint8_t* p = &photo[54 + 3 * (static_cast<std::size_t>(e) * 15991)];
        palette[static_cast<std::size_t>(e)] = {p[2], p[1], p[0], 1};
    }
    const bool warm = state.range(0) != 0;
    auto nearest = std::make_unique<quantize::NearestColour>(palette);
    std::uint64_t sum = 0;
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            nearest->Reset(palette);
            state.ResumeTiming();
        }
        for (std::size_t i = 54; i + 3 <= photo.size(); i += 3) {
            sum += static_cast<std::uint64_t>(nearest->Find(photo[i + 2], photo[i + 1], photo[i]));
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * 2560 * 1600);
}
BENCHMARK(BM_NearestColour)->Arg(0)->Arg(1)->ArgName("warm")->Unit(benchmark::kMillisecond);

} // namespace
