// The 1:1 view's work on a 6000 x 4000 (24 MP) JPEG: the first view (the full decode plus the
// visible region), a pan step and a panel click at 1:1, each a 1280 x 800 region rendered by
// renderRegion. Targets: 400 ms for the first view, 16 ms for pans and colour, brightness and
// effect clicks, 50 ms for sharpen clicks.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_photos.h"
#include "enhance/photo_edit.h"
#include "workflow/region_render.h"

namespace {

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000;
constexpr CropRect kView{2360, 1600, 1280, 800};

// The benches' photo-like picture, so that the JPEG's size and decode time are a real photo's.
const std::string& benchPhoto() {
    static const std::string path = [] {
        const std::string dir = (std::filesystem::temp_directory_path() /
                                 ("vfx-region-bench-" + std::to_string(getpid())))
                                    .string();
        std::filesystem::create_directories(dir);
        const std::string p = dir + "/photo.jpg";
        DibImage img = bench_photos::photoPicture(kPhotoWidth, kPhotoHeight, 1);
        if (!img.saveToFile(p.c_str(), JPEG)) {
            std::fprintf(stderr, "cannot write the benchmark photo %s\n", p.c_str());
            std::exit(1);
        }
        return p;
    }();
    return path;
}

const DibImage& decodedPhoto() {
    static const DibImage image = [] {
        PhotoEdit p;
        p.load(benchPhoto());
        return p.image;
    }();
    return image;
}

// The first 1:1 view of a photo: its full decode, then the visible region.
void BM_FirstOneToOneView(benchmark::State& state) {
    const std::string& path = benchPhoto();
    const EnhancementSettings s = bench_photos::typicalSettings();
    for (auto _ : state) {
        PhotoEdit full;
        full.load(path);
        PhotoEdit shown;
        if (!renderRegion(full.image, s, kView, shown)) state.SkipWithError("no region");
        benchmark::DoNotOptimize(shown.image.pixels());
    }
}
BENCHMARK(BM_FirstOneToOneView)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Dragging the view: the region moved by 40 pixels and rendered again.
void BM_PanStep(benchmark::State& state) {
    const DibImage& source = decodedPhoto();
    const EnhancementSettings s = bench_photos::typicalSettings();
    int step = 0;
    for (auto _ : state) {
        CropRect r = kView;
        r.x += 40 * (step++ % 20);
        PhotoEdit shown;
        if (!renderRegion(source, s, r, shown)) state.SkipWithError("no region");
        benchmark::DoNotOptimize(shown.image.pixels());
    }
}
BENCHMARK(BM_PanStep)->Unit(benchmark::kMillisecond)->UseRealTime();

// One panel click at 1:1: the visible region again under the changed value.
void BM_ClickAtOneToOne(benchmark::State& state) {
    const DibImage& source = decodedPhoto();
    EnhancementSettings s = bench_photos::typicalSettings();
    switch (state.range(0)) {
        case 0:
            state.SetLabel("colour (red +)");
            break;
        case 1:
            state.SetLabel("brightness +");
            break;
        case 2:
            state.SetLabel("effect sepia 3");
            s.effect = kEffectSepia1 + 2;
            break;
        case 3:
            state.SetLabel("sharpen + (2 steps)");
            s.sharpen = 2;
            break;
        default:
            state.SetLabel("blur (3 steps)");
            s.sharpen = -3;
            break;
    }
    int click = 0;
    for (auto _ : state) {
        if (state.range(0) == 0) s.redOffset = 3 + click++ % 2;
        if (state.range(0) == 1) s.brightness = 5 + click++ % 2;
        PhotoEdit shown;
        if (!renderRegion(source, s, kView, shown)) state.SkipWithError("no region");
        benchmark::DoNotOptimize(shown.image.pixels());
    }
}
BENCHMARK(BM_ClickAtOneToOne)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
