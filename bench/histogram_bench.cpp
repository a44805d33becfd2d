// The histogram the enhanced view's strip draws, counted from a preview-sized stage (the
// planes of a 1100 x 733 picture, what a 1600 x 1000 window shows) at every recomputation.
#include <benchmark/benchmark.h>

#include "workflow/histogram.h"

namespace {

void BM_PlanesHistogram(benchmark::State& state) {
    PhotoEdit stage;
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    stage.image.create(w, h, 24, 0);
    uint32_t seed = 3;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w * 3; ++x) {
            seed = seed * 1103515245u + 12345u;
            stage.image.row(y)[x] = uint8_t(seed >> 24);
        }
    stage.splitChannels();
    for (auto _ : state) benchmark::DoNotOptimize(planesHistogram(stage));
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}

}  // namespace

BENCHMARK(BM_PlanesHistogram)->Args({1100, 733})->Args({1920, 1280})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
