// Thumbnails of a folder of 12 MP JPEGs: the time until the last thumbnail is handed over and
// until the first, for the plain path (whole decode, nearest resample, one worker) and the
// fast one (DCT-scaled decode on every core), with each scan's peak memory per worker.
// The photos are made once into a cache folder; VFX_BENCH_PHOTOS sets their count (200).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_photos.h"
#include "browse/directory_listing.h"
#include "browse/thumbnail_worker.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// One decoded photo.
constexpr double kPhotoBytes =
    double(bench_photos::kTwelveMpWidth) * bench_photos::kTwelveMpHeight * 3;

int photoCount() {
    const char* env = std::getenv("VFX_BENCH_PHOTOS");
    const int n = env ? std::atoi(env) : 200;
    return n > 0 ? n : 200;
}

// Peak resident memory since the last reset, and the reset (Linux: clear_refs 5).
long residentKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}
bool resetPeak() {
    return bool(std::ofstream("/proc/self/clear_refs") << "5");
}

class TimingSink : public thumbnails::ThumbnailSink {
  public:
    explicit TimingSink(Clock::time_point start) : start_(start) {}
    void thumbnailReady(uint64_t, size_t, std::unique_ptr<ThumbnailItem> item) override {
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        if (count == 0) firstMs = ms;
        lastMs = ms;
        if (item->image.height() > 0) ++count;
    }
    void thumbnailsDone(uint64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return done_; });
    }
    // Written by the worker's hand-over (one call at a time), read after wait().
    double firstMs = 0, lastMs = 0;
    int count = 0;

  private:
    Clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
};

struct ScanResult {
    double firstMs = 0, lastMs = 0;
    int photos = 0;
    unsigned workers = 0;
};

ScanResult scan(const std::string& folder, bool fast, size_t limit = SIZE_MAX) {
    const auto start = Clock::now();
    // Listing is part of the wait a user sees.
    DirectoryListing listing;
    listing.open(folder);
    std::vector<std::string> files;
    listing.collect(files, "");
    if (files.size() > limit) files.resize(limit);
    TimingSink sink(start);
    thumbnails::ThumbnailWorker worker(sink, thumbnails::WorkerOptions{fast ? 0u : 1u, fast});
    worker.start(1, files, 50);
    sink.wait();
    worker.stop();
    return ScanResult{sink.firstMs, sink.lastMs, sink.count, worker.threadCount()};
}

// The peak memory a scan adds, in bytes, measured in a fresh child process (so that memory
// the allocator kept from earlier runs does not hide it); -1 when it cannot be measured.
double scanPeakBytes(const std::string& folder, bool fast) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        double extra = -1;
        if (resetPeak()) {
            const long baseKb = residentKb("VmRSS:");
            scan(folder, fast, 24);
            extra = double(residentKb("VmHWM:") - baseKb) * 1024.0;
        }
        (void)!write(fds[1], &extra, sizeof extra);
        _exit(0);
    }
    close(fds[1]);
    double extra = -1;
    if (child < 0 || read(fds[0], &extra, sizeof extra) != ssize_t(sizeof extra)) extra = -1;
    close(fds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return extra;
}

void scanFolder(benchmark::State& state, bool fast) {
    const int count = photoCount();
    const std::string folder = bench_photos::twelveMegapixelFolder(count);
    ScanResult r;
    for (auto _ : state) {
        r = scan(folder, fast);
        if (r.photos != count) state.SkipWithError("not every photo gave a thumbnail");
        state.SetIterationTime(r.lastMs / 1000.0);
    }
    state.counters["first_ms"] = r.firstMs;
    state.counters["last_ms"] = r.lastMs;
    state.counters["photos"] = r.photos;
    state.counters["workers"] = r.workers;
    const double peak = scanPeakBytes(folder, fast);
    if (peak >= 0) {
        state.counters["peak_MB"] = peak / 1e6;
        // One decoded 12 MP photo is 36 MB; the goal is under 2 of them per worker.
        state.counters["photos_per_worker"] = peak / kPhotoBytes / r.workers;
    }
}

void BM_ThumbnailsPlain(benchmark::State& state) {
    scanFolder(state, false);
}
void BM_ThumbnailsFast(benchmark::State& state) {
    scanFolder(state, true);
}

BENCHMARK(BM_ThumbnailsPlain)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailsFast)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
