// Benchmarks of the enhancement engine: (a) a whole 6000 x 4000 photo loaded, corrected
// (sharpen 1, contrast 10, white balance 000c0c0c, brightness 5, red 3) and saved as JPEG,
// beside the floor of decoding and encoding it alone; (b) preview restarts on a stage 1280
// pixels wide. "enhance_bench --make-photos DIR COUNT" writes test photos for bench-cli.sh.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/bench_photos.h"
#include "enhance/photo_edit.h"
#include "workflow/enhancement_steps.h"
#include "workflow/photo_saving.h"
#include "workflow/preview_chain.h"

namespace {

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000;

std::string benchFolder() {
    static const std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() /
                         ("vfx-enhance-bench-" + std::to_string(getpid())))
                            .string();
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

const std::string& benchPhoto() {
    static const std::string path = [] {
        const std::string p = benchFolder() + "/photo.jpg";
        DibImage img = bench_photos::photoPicture(kPhotoWidth, kPhotoHeight, 1);
        if (!img.saveToFile(p.c_str(), JPEG)) {
            std::fprintf(stderr, "cannot write the benchmark photo %s\n", p.c_str());
            std::exit(1);
        }
        return p;
    }();
    return path;
}

// (a) the floor: decode and encode with no correction.
void BM_WholePhotoFloor(benchmark::State& state) {
    const std::string& in = benchPhoto();
    const std::string out = benchFolder() + "/floor.jpg";
    for (auto _ : state) {
        PhotoEdit photo;
        photo.load(in);
        if (!photo.saveFile(out, 0)) state.SkipWithError("save failed");
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(kPhotoWidth) * kPhotoHeight / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WholePhotoFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// (a) load, correct as the save commands and the command line do, save as JPEG.
void BM_WholePhotoEnhanced(benchmark::State& state) {
    const std::string& in = benchPhoto();
    const std::string out = benchFolder() + "/enh_photo.jpg";
    const EnhancementSettings s = bench_photos::typicalSettings();
    for (auto _ : state) {
        PhotoEdit photo;
        if (!loadForSaving(in, photo) || !enhanceAndWrite(photo, s, out, nullptr, false))
            state.SkipWithError("enhance failed");
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(kPhotoWidth) * kPhotoHeight / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WholePhotoEnhanced)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// (a) the same with every step literally: applySettings on the split photo, then recombine.
void BM_WholePhotoLiteralSteps(benchmark::State& state) {
    const std::string& in = benchPhoto();
    const std::string out = benchFolder() + "/enh_literal.jpg";
    const EnhancementSettings s = bench_photos::typicalSettings();
    for (auto _ : state) {
        PhotoEdit photo;
        photo.load(in);
        photo.splitChannels();
        applySettings(photo, s);
        photo.recombine();
        if (!photo.saveFile(out, 0)) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_WholePhotoLiteralSteps)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// A view that only reports its size.
class QuietView : public PreviewView {
  public:
    ClientSize enhancedClientSize() const override { return {1280, 1280}; }
    ClientSize originalClientSize() const override { return {640, 640}; }
    void drawStatus(const std::string&) override {}
    void repaintEnhanced() override {}
    void repaintOriginal() override {}
    void beginWaitCursor() override {}
    void endWaitCursor() override {}
    std::string title() const override { return title_; }
    void setTitle(const std::string& title) override { title_ = title; }

  private:
    std::string title_;
};

struct PreviewFixture {
    EnhancementSettings settings = bench_photos::typicalSettings();
    QuietView view;
    PreviewChain chain{settings, view};
    PreviewFixture() {
        chain.loadPhoto(benchPhoto());
        if (chain.stage(kStageFinal).width() != 1280) {
            std::fprintf(stderr, "preview stage is %d wide, not 1280\n",
                         chain.stage(kStageFinal).width());
            std::exit(1);
        }
    }
};

PreviewFixture& preview() {
    static PreviewFixture fixture;
    return fixture;
}

// (b) a colour-row click: colour step and the effect step's copy.
void BM_PreviewColourStep(benchmark::State& state) {
    PreviewFixture& f = preview();
    f.settings.effect = kEffectNone;
    for (auto _ : state) {
        ++f.settings.redOffset;
        f.chain.restartAtColours();
    }
    f.settings.redOffset = 3;
}
BENCHMARK(BM_PreviewColourStep)->Unit(benchmark::kMillisecond);

// (b) an "FX" choice: the colour step, the merge of the shifted planes and the effect.
void BM_PreviewEffectStep(benchmark::State& state) {
    PreviewFixture& f = preview();
    f.settings.effect = int(state.range(0));
    for (auto _ : state) f.chain.restartAtColours();
    f.settings.effect = kEffectNone;
    state.SetLabel(kEffectNames[state.range(0)]);
}
BENCHMARK(BM_PreviewEffectStep)->Arg(1)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

// (b) a sharpen click: everything from the sharpen step on.
void BM_PreviewSharpenStep(benchmark::State& state) {
    PreviewFixture& f = preview();
    for (auto _ : state) f.chain.restartAtSharpen();
}
BENCHMARK(BM_PreviewSharpenStep)->Unit(benchmark::kMillisecond);

int makePhotos(const char* dir, int count) {
    std::filesystem::create_directories(dir);
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/photo%02d.jpg", i + 1);
        const std::string path = std::string(dir) + name;
        DibImage img = bench_photos::photoPicture(kPhotoWidth, kPhotoHeight, uint32_t(i + 1));
        if (!img.saveToFile(path.c_str(), JPEG)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--make-photos") == 0)
        return makePhotos(argv[2], std::atoi(argv[3]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(benchFolder());
    return 0;
}
