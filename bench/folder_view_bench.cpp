// A thumbnail view over a folder of 10,000 photos without its window: listing the folder
// with a cell per photo, the first screen of thumbnails (small JPEGs standing in for cached
// thumbnails, visible first), one repaint at a scroll position, and the pixels kept.
// The folder is made once under the bench data folder; VFX_BENCH_FOLDER sets its size.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "browse/directory_listing.h"
#include "browse/thumbnail_grid.h"
#include "browse/thumbnail_worker.h"
#include "image/surface.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t kClientWidth = 800, kClientHeight = 600;

size_t folderSize() {
    const char* env = std::getenv("VFX_BENCH_FOLDER");
    const long n = env ? std::atol(env) : 10000;
    return n > 0 ? size_t(n) : 10000;
}

// n photos of 160 x 120 (a cached thumbnail's size), made once.
std::string folder() {
    const size_t n = folderSize();
    const fs::path dir = fs::path(VFX_BENCH_DATA_DIR) / ("folder" + std::to_string(n));
    if (fs::exists(dir / ("p" + std::to_string(n - 1) + ".jpg"))) return dir.string();
    fs::create_directories(dir);
    const fs::path first = dir / "p0.jpg";
    DibImage img(160, 120, 24, JPEG);
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 160; ++x)
            img.setPixelColor(x, y, RgbQuad{uint8_t(x), uint8_t(y * 2), uint8_t(x + y), 0});
    img.saveToFile(first.string().c_str(), JPEG);
    for (size_t i = 1; i < n; ++i)
        fs::copy_file(first, dir / ("p" + std::to_string(i) + ".jpg"),
                      fs::copy_options::overwrite_existing);
    return dir.string();
}

// Lists the folder and lays out its cells: what loadDirectory does before the worker starts.
std::vector<std::string> listInto(ThumbnailGrid& grid, const std::string& dir) {
    DirectoryListing listing;
    listing.open(dir);
    std::vector<std::string> files;
    listing.collect(files, "");
    grid.beginScan(files);
    grid.layout(kClientWidth);
    return files;
}

void BM_ListFolder(benchmark::State& state) {
    const std::string dir = folder();
    for (auto _ : state) {
        ThumbnailGrid grid;
        benchmark::DoNotOptimize(listInto(grid, dir));
        state.counters["cells"] = double(grid.items().size());
    }
}
BENCHMARK(BM_ListFolder)->Unit(benchmark::kMillisecond)->UseRealTime();

class CountingSink : public thumbnails::ThumbnailSink {
  public:
    explicit CountingSink(size_t wanted) : wanted_(wanted) {}
    void thumbnailReady(uint64_t, size_t, std::unique_ptr<ThumbnailItem>) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (++count_ == wanted_) reached_.notify_all();
    }
    void thumbnailsDone(uint64_t) override {}
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        reached_.wait(lock, [&] { return count_ >= wanted_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable reached_;
    size_t wanted_, count_ = 0;
};

// From nothing to every thumbnail of the first screen handed over, with the screen scrolled
// to the middle of the folder (so folder order alone would be far too late).
void BM_FirstScreen(benchmark::State& state) {
    const std::string dir = folder();
    for (auto _ : state) {
        ThumbnailGrid grid;
        std::vector<std::string> files = listInto(grid, dir);
        size_t first = 0, last = 0;
        grid.visibleRange(grid.items()[files.size() / 2]->rect.top, kClientHeight, first, last);
        std::vector<size_t> unmade, dropped;
        grid.takeMissing(first, last, unmade, dropped);
        CountingSink sink(unmade.size());
        thumbnails::ThumbnailWorker worker(sink, thumbnails::WorkerOptions{2, true});
        worker.start(grid.scan(), std::move(files), grid.thumbnailHeight(), unmade);
        sink.wait();
        state.counters["visible"] = double(unmade.size());
        state.PauseTiming();
        worker.stop();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

// One repaint of an 800 x 600 view at successive scroll positions, every thumbnail there.
void BM_ScrollRepaint(benchmark::State& state) {
    ThumbnailGrid grid;
    const uint64_t scan = grid.beginScan();
    const size_t n = folderSize();
    DibImage thumb(75, 50, 24, JPEG);
    for (size_t i = 0; i < n; ++i) {
        auto item = std::make_unique<ThumbnailItem>();
        item->image = thumb;
        grid.append(scan, std::move(item));
    }
    grid.layout(kClientWidth);
    int32_t extentW = 0, extentH = 0;
    grid.scrollExtent(kClientWidth, extentW, extentH);
    Surface surface(kClientWidth, kClientHeight);
    int32_t y = 0;
    for (auto _ : state) {
        grid.paint(surface, 0, y);
        y = (y + 37 * grid.rowHeight() / 10) % std::max(1, extentH - kClientHeight);
    }
    // The pixels a view keeps when scrolled to the middle of the folder.
    size_t first = 0, last = 0;
    grid.visibleRange(extentH / 2, kClientHeight, first, last);
    const double before = double(grid.pixelBytes());
    grid.keepPixelsNear(first, last);
    state.counters["MB_made"] = before / 1048576.0;
    state.counters["MB_kept"] = double(grid.pixelBytes()) / 1048576.0;
}
BENCHMARK(BM_ScrollRepaint)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
