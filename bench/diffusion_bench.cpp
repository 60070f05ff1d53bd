// Error diffusion: the engine against the literal algorithm on small images, and the engine
// alone on 1, 4 and 12 megapixels of a synthetic photograph (smooth shading with grain, a
// few hundred thousand distinct colours). bench/compare.sh times real photographs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <random>

#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/recorder.h"
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

// Times convert(work) on a fresh copy of the photograph each time.
template <typename Convert>
void TimeOnCopies(benchmark::State& state, int width, int height, Convert convert) {
    const Bytes& source = Photo(width, height);
    Bytes work;
    for (auto _ : state) {
        state.PauseTiming();
        work = source;
        state.ResumeTiming();
        benchmark::DoNotOptimize(convert(work));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(width) * height);
}

void RunEngine(benchmark::State& state, int width, int height, int threads = 0) {
    const Bytes table(1024, 0);
    const quantize::DiffusionInput input{0, table.data(), quantize::kBasicPalette, threads};
    TimeOnCopies(state, width, height, [&input](Bytes& work) {
        testimg::Recorder quiet;
        const quantize::Resizer resize = [&work](std::uint64_t size) {
            work.resize(size);
            return quantize::ResizeResult{work.data(), true};
        };
        return quantize::DiffuseImage(work.data(), work.size(), resize, input, quiet);
    });
}

void BM_DiffuseEngineSmall(benchmark::State& state) {
    RunEngine(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_DiffuseEngineSmall)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond);

void BM_DiffuseLiteralSmall(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const Bytes table(1024, 0);
    TimeOnCopies(state, side, side, [&table](Bytes& work) {
        testimg::Recorder quiet;
        return literal::Diffuse(work, 0, table.data(), quantize::kBasicPalette, quiet);
    });
}
BENCHMARK(BM_DiffuseLiteralSmall)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond);

// Megapixels, and threads that dither (wall-clock time, since two threads may work).
void BM_DiffuseEngine(benchmark::State& state) {
    const int megapixels = static_cast<int>(state.range(0));
    const int width = megapixels == 12 ? 4000 : (megapixels == 4 ? 2560 : 1280);
    const int height = megapixels == 12 ? 3000 : (megapixels == 4 ? 1600 : 800);
    RunEngine(state, width, height, static_cast<int>(state.range(1)));
}
BENCHMARK(BM_DiffuseEngine)
    ->ArgsProduct({{1, 4, 12}, {1, 2}})
    ->ArgNames({"megapixels", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
