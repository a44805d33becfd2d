// vantifex-cli thumbnails: fills the shared thumbnail cache for folders and photos ahead of
// time, several photos at once, with progress on stderr and a summary at the end.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browse/photo_rule.h"
#include "browse/thumbnail_cache.h"
#include "cli/commands.h"

namespace fs = std::filesystem;
using thumbnails::CacheOutcome;

namespace {

const char* kThumbnailsHelp =
    "usage: vantifex-cli thumbnails [--size SIZE] [--jobs N] PATH...\n"
    "\n"
    "Makes the thumbnails of the photos in each folder PATH (not its sub-folders) and of\n"
    "each photo PATH in the thumbnail cache shared with the desktop's file managers and\n"
    "viewers ($XDG_CACHE_HOME/thumbnails, else ~/.cache/thumbnails). Thumbnails already\n"
    "there and up to date are kept.\n"
    "\n"
    "  --size SIZE   normal (128 pixels, the default), large (256), x-large (512) or\n"
    "                xx-large (1024)\n"
    "  --jobs N      photos made at once (default: number of cores)\n"
    "  --help        show this text\n";

// The photos of the paths in the order given, each folder's sorted by name; paths that are
// neither folders nor photos are reported in problems.
std::vector<std::string> collectPhotos(const Arguments& paths, std::vector<std::string>& problems) {
    std::vector<std::string> photos;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            std::vector<std::string> inFolder;
            for (const auto& entry : fs::directory_iterator(path, ec)) {
                std::error_code typeError;
                if (entry.is_regular_file(typeError) && photos::isPhoto(entry.path().string()))
                    inFolder.push_back(entry.path().string());
            }
            if (ec) problems.push_back("Cannot read " + path + ": " + ec.message());
            std::sort(inFolder.begin(), inFolder.end());
            photos.insert(photos.end(), inFolder.begin(), inFolder.end());
        } else if (fs::is_regular_file(path, ec) && photos::isPhoto(path)) {
            photos.push_back(path);
        } else if (fs::exists(path, ec)) {
            problems.push_back("Skipping " + path + ": not a photo or folder");
        } else {
            problems.push_back("Cannot read " + path + ": no such file or folder");
        }
    }
    return photos;
}

}  // namespace

int runThumbnails(const Arguments& args) {
    int flavour = 0;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    Arguments paths;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kThumbnailsHelp, stdout);
            return 0;
        }
        if (a == "--size" || a == "--jobs" || a == "-j") {
            if (i + 1 >= args.size())
                return usageError("vantifex-cli thumbnails (" + a + " needs a value)");
            const std::string& value = args[++i];
            if (a == "--size") {
                flavour = thumbnails::cacheFlavourByName(value);
                if (flavour < 0)
                    return usageError(
                        "vantifex-cli thumbnails (--size is normal, large, x-large or "
                        "xx-large, not '" +
                        value + "')");
            } else {
                char* end = nullptr;
                const long n = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || n < 1 || n > 1024)
                    return usageError(
                        "vantifex-cli thumbnails (--jobs needs a whole number from 1 "
                        "to 1024, not '" +
                        value + "')");
                jobs = unsigned(n);
            }
            continue;
        }
        if (a.size() > 1 && a[0] == '-' && a != "--")
            return usageError("vantifex-cli thumbnails (unknown option '" + a + "'; see --help)");
        if (a != "--") paths.push_back(a);
    }
    if (paths.empty())
        return usageError("vantifex-cli thumbnails [--size SIZE] [--jobs N] PATH...");
    const std::shared_ptr<const thumbnails::ThumbnailCache> cache =
        thumbnails::ThumbnailCache::forUser();
    if (!cache) {
        std::fprintf(stderr,
                     "vantifex-cli: no cache folder: neither XDG_CACHE_HOME nor HOME is set\n");
        return 1;
    }

    std::vector<std::string> problems;
    const std::vector<std::string> photos = collectPhotos(paths, problems);
    for (const std::string& p : problems) std::fprintf(stderr, "%s\n", p.c_str());

    // Progress: one line rewritten on a terminal, otherwise a line every 5% of the photos.
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    const size_t every = std::max<size_t>(1, photos.size() / 20);
    std::atomic<size_t> next{0};
    std::mutex reportMutex;
    size_t done = 0, made = 0, kept = 0, failed = 0;
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < photos.size();) {
            const std::string& path = photos[i];
            const CacheOutcome outcome = thumbnails::ensureCached(
                *cache, path, uint32_t(photos::photoFormatOf(path)), flavour);
            std::lock_guard<std::mutex> lock(reportMutex);
            ++done;
            if (outcome == CacheOutcome::Made) ++made;
            if (outcome == CacheOutcome::AlreadyCached) ++kept;
            if (outcome == CacheOutcome::Failed) {
                ++failed;
                std::fprintf(stderr, "%sCannot make a thumbnail of %s\n",
                             terminal ? "\r\033[K" : "", path.c_str());
            }
            if (terminal)
                std::fprintf(stderr, "\rthumbnails: %zu of %zu", done, photos.size());
            else if (done % every == 0 || done == photos.size())
                std::fprintf(stderr, "thumbnails: %zu of %zu\n", done, photos.size());
        }
    };
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    const unsigned count = unsigned(std::clamp<size_t>(photos.size(), 1, jobs));
    for (unsigned t = 0; t + 1 < count; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    if (terminal && !photos.empty()) std::fputc('\n', stderr);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("%zu photos: %zu made, %zu already cached, %zu failed (%.2f s, %s in %s)\n",
                photos.size(), made, kept, failed, seconds,
                thumbnails::kCacheFlavours[flavour].folder, cache->root().c_str());
    return failed > 0 || !problems.empty() ? 1 : 0;
}
