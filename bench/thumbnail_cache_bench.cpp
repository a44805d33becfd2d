// The shared thumbnail cache, whole programs on 12 MP JPEGs. Cold: vantifex-cli thumbnails
// against vipsthumbnail -s 128, both with 2 jobs, on the same 200 files in one run (best of
// three each); once without and once with a 160 x 120 EXIF thumbnail in each file, as cameras
// write them (vipsthumbnail decodes the photo either way). Warm: a folder of 1,000 photos already
// in the cache through the thumbnail worker, until the first screen (60) and all are handed over.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <exiv2/exiv2.hpp>

#include "bench/bench_photos.h"
#include "browse/thumbnail_cache.h"
#include "browse/thumbnail_worker.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using bench_photos::kTwelveMpHeight;
using bench_photos::kTwelveMpWidth;

// The photos of plain, each with a 160 x 120 EXIF thumbnail of itself added.
std::string photosWithPreviews(const std::string& plain) {
    const fs::path dir = fs::path(VFX_BENCH_DATA_DIR) / "thumbnails-previews-200";
    if (fs::exists(dir / "complete")) return dir.string();
    fs::create_directories(dir);
    const fs::path preview = dir / "preview.jpg";
    for (const auto& e : fs::directory_iterator(plain)) {
        if (e.path().extension() != ".JPG") continue;
        const fs::path copy = dir / e.path().filename();
        fs::copy_file(e.path(), copy, fs::copy_options::overwrite_existing);
        DibImage small;
        if (!small.loadReduced(copy.c_str(), JPEG, 160, 120) || !small.resample(160, 120, 1) ||
            !small.saveToFile(preview.c_str(), JPEG))
            return "";
        std::ifstream in(preview, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(copy.string());
        image->readMetadata();
        Exiv2::ExifThumb(image->exifData())
            .setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(bytes.data()),
                              long(bytes.size()));
        image->writeMetadata();
    }
    fs::remove(preview);
    std::ofstream(dir / "complete") << "200\n";
    return dir.string();
}

std::vector<std::string> photosIn(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".JPG") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

double childCpuSeconds() {
    struct rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall seconds of command; cpu, when given, receives the processor seconds of its processes
// (on a machine shared with other work the wall time also counts the waiting for a core).
double runSeconds(const std::string& command, double* cpu = nullptr) {
    const double cpuBefore = childCpuSeconds();
    const auto start = Clock::now();
    const int rc = std::system(command.c_str());
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (cpu) *cpu = childCpuSeconds() - cpuBefore;
    if (rc != 0) std::fprintf(stderr, "failed (%d): %s\n", rc, command.c_str());
    return s;
}

class DoneSink : public thumbnails::ThumbnailSink {
  public:
    explicit DoneSink(Clock::time_point start) : start_(start) {}
    void thumbnailReady(uint64_t, size_t, std::unique_ptr<ThumbnailItem> item) override {
        if (item->image.height() > 0 && ++count == 60)
            screenMs = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    }
    void thumbnailsDone(uint64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        doneMs = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        done_ = true;
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return done_; });
    }
    int count = 0;
    double screenMs = 0, doneMs = 0;

  private:
    Clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
};

}  // namespace

int main() {
    const std::string photos = bench_photos::twelveMegapixelFolder(200);
    const std::vector<std::string> files = photosIn(photos);
    const fs::path work = fs::path(VFX_BENCH_DATA_DIR) / "cache-run";
    fs::remove_all(work);
    fs::create_directories(work);

    // vipsthumbnail takes one thread per process here, so both sides use exactly 2 cores.
    const auto cold = [&](const std::string& folder, const char* what) {
        const std::vector<std::string> names = photosIn(folder);
        std::string half[2];
        for (size_t i = 0; i < names.size(); ++i) half[i % 2] += " " + names[i];
        runSeconds("cat " + folder + "/*.JPG > /dev/null");  // both start from the page cache
        double ours = 1e9, vips = 1e9, oursCpu = 1e9, vipsCpu = 1e9, cpu = 0;
        for (int round = 0; round < 3; ++round) {
            const fs::path cacheHome = work / ("xdg-" + std::to_string(round));
            fs::remove_all(cacheHome);
            ours = std::min(ours, runSeconds("XDG_CACHE_HOME=" + cacheHome.string() +
                                                 " " VFX_CLI_PATH " thumbnails --jobs 2 " + folder +
                                                 " >/dev/null 2>&1",
                                             &cpu));
            oursCpu = std::min(oursCpu, cpu);
            const fs::path out = work / ("vips-" + std::to_string(round));
            fs::create_directories(out);
            const std::string vipsCommand =
                "VIPS_CONCURRENCY=1 vipsthumbnail -s 128 -o " + out.string() + "/%s.png";
            vips = std::min(vips, runSeconds("(" + vipsCommand + half[0] + " & " + vipsCommand +
                                                 half[1] + " & wait)",
                                             &cpu));
            vipsCpu = std::min(vipsCpu, cpu);
        }
        std::printf("cold, %zu photos of %dx%d %s, 2 jobs, best of 3:\n", names.size(),
                    kTwelveMpWidth, kTwelveMpHeight, what);
        std::printf("  vantifex-cli thumbnails    %.2f s wall, %.2f s processor\n", ours, oursCpu);
        std::printf("  vipsthumbnail -s 128       %.2f s wall, %.2f s processor\n", vips, vipsCpu);
        std::printf("  ratio                      %.2fx faster (wall), %.2fx (processor)\n",
                    vips / ours, vipsCpu / oursCpu);
    };
    cold(photos, "without EXIF thumbnails");
    const std::string previews = photosWithPreviews(photos);
    if (previews.empty())
        std::fprintf(stderr, "cannot add EXIF thumbnails\n");
    else
        cold(previews, "with 160x120 EXIF thumbnails");

    // Warm: 1,000 names (five links to each photo; the cache knows them by name) in the cache.
    const fs::path big = work / "thousand";
    fs::create_directories(big);
    for (int i = 0; i < 1000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04d.JPG", i);
        fs::create_hard_link(files[size_t(i) % files.size()], big / name);
    }
    const fs::path warmHome = work / "xdg-warm";
    const double fill =
        runSeconds("XDG_CACHE_HOME=" + warmHome.string() +
                   " " VFX_CLI_PATH " thumbnails --jobs 2 " + big.string() + " >/dev/null 2>&1");
    auto cache =
        std::make_shared<const thumbnails::ThumbnailCache>((warmHome / "thumbnails").string());
    std::vector<std::string> names = photosIn(big.string());
    double bestDone = 1e9, bestScreen = 1e9;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        DoneSink sink(start);
        thumbnails::WorkerOptions options;
        options.threads = 2;
        options.cache = cache;
        thumbnails::ThumbnailWorker worker(sink, options);
        worker.start(1, names, 50);
        sink.wait();
        if (sink.count != 1000) std::fprintf(stderr, "only %d thumbnails\n", sink.count);
        bestDone = std::min(bestDone, sink.doneMs);
        bestScreen = std::min(bestScreen, sink.screenMs);
    }
    std::printf("warm, 1000 photos at height 50 from the cache (filled in %.1f s), 2 threads:\n",
                fill);
    std::printf("  first 60 handed over       %.0f ms\n", bestScreen);
    std::printf("  all 1000 handed over       %.0f ms\n", bestDone);
    fs::remove_all(work);
    return 0;
}
