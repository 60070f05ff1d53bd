// Exact reduction: the fast version against the literal one and against a plain pass that
// reads every pixel and writes one byte per pixel, on images of 256 colours drawn at random
// (the worst case for the run cache).
#include <benchmark/benchmark.h>

#include <map>

#include "core/quantize/exact_reduction.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/literal_exact.h"

namespace {

using testimg::Bytes;

const Bytes& Image(int megapixels) {
    static std::map<int, Bytes> images;
    auto& image = images[megapixels];
    if (image.empty()) {
        const int width = 4000;
        image = testimg::MakeRandom(width, megapixels * 1000000 / width, 256, 7, 0);
    }
    return image;
}

void BM_ExactFast(benchmark::State& state) {
    const Bytes& source = Image(static_cast<int>(state.range(0)));
    testimg::VectorBlock work;
    for (auto _ : state) {
        state.PauseTiming();
        work.bytes = source;
        work.bytes.reserve(source.size() + 1024);
        state.ResumeTiming();
        benchmark::DoNotOptimize(work.Exact());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 1000000);
}
BENCHMARK(BM_ExactFast)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond);

void BM_ExactLiteral(benchmark::State& state) {
    const Bytes& source = Image(static_cast<int>(state.range(0)));
    Bytes work;
    for (auto _ : state) {
        state.PauseTiming();
        work = source;
        state.ResumeTiming();
        auto outcome = literal::ReduceExact(work);
        benchmark::DoNotOptimize(outcome);
    }
}
BENCHMARK(BM_ExactLiteral)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

// The floor: read every 24-bit pixel, write one byte per pixel in place, row by row.
void BM_ReadWritePass(benchmark::State& state) {
    const Bytes& source = Image(static_cast<int>(state.range(0)));
    Bytes work = source;
    const std::size_t width = 4000, rows = (work.size() - 54) / (3 * width);
    for (auto _ : state) {
        for (std::size_t r = 0; r < rows; ++r) {
            const std::uint8_t* p = &work[54 + r * 3 * width];
            std::uint8_t* out = &work[54 + r * width];
            for (std::size_t x = 0; x < width; ++x, p += 3) {
                out[x] = static_cast<std::uint8_t>(p[0] ^ p[1] ^ p[2]);
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 1000000);
}
BENCHMARK(BM_ReadWritePass)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond);

} // namespace
