// The background thumbnail worker of a thumbnail view: several threads decode the photos of
// one file list at once and hand the thumbnails over in file order through a callback.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browse/thumbnail_cache.h"
#include "browse/thumbnail_grid.h"

namespace thumbnails {

// Receives the results of a scan. Both calls come from worker threads, one at a time, the
// items in file order; they should only hand the results on (post them to a window).
class ThumbnailSink {
  public:
    virtual ~ThumbnailSink() = default;
    // The thumbnail of file list entry index; files that are no photos are skipped (their
    // index is not handed over). A photo that fails to load comes with an empty image.
    virtual void thumbnailReady(uint64_t scan, size_t index,
                                std::unique_ptr<ThumbnailItem> item) = 0;
    // Every file of the scan was handed over. Not called for a scan that was stopped.
    virtual void thumbnailsDone(uint64_t scan) = 0;
};

struct WorkerOptions {
    unsigned threads = 0;       // 0: one per core
    bool reducedDecode = true;  // JPEGs through DCT scaling
    // Where thumbnails are looked up first and kept (the user's shared cache); null: none.
    std::shared_ptr<const ThumbnailCache> cache = ThumbnailCache::forUser();
};

class ThumbnailWorker {
  public:
    explicit ThumbnailWorker(ThumbnailSink& sink, WorkerOptions options = {});
    // Stops the scan and waits for its threads.
    ~ThumbnailWorker();
    ThumbnailWorker(const ThumbnailWorker&) = delete;
    ThumbnailWorker& operator=(const ThumbnailWorker&) = delete;

    // Stops a running scan (waiting for it) and starts scan number scan over files. Called
    // from one controlling thread, as stop is.
    void start(uint64_t scan, std::vector<std::string> files, int32_t thumbnailHeight);
    // Asks the threads to stop and waits until they have: each finishes at most the file it
    // is loading, and nothing more is handed over afterwards.
    void stop();
    // True while threads of a scan are running.
    bool busy() const { return busy_.load(); }
    unsigned threadCount() const { return threadCount_; }

  private:
    void run();
    void handOver(size_t index, std::unique_ptr<ThumbnailItem> item, bool isPhoto);

    ThumbnailSink& sink_;
    const bool reduced_;
    const std::shared_ptr<const ThumbnailCache> cache_;
    const unsigned threadCount_;

    // Set by start before the threads exist, read-only while they run.
    uint64_t scan_ = 0;
    std::vector<std::string> files_;
    int32_t thumbnailHeight_ = 0;

    std::vector<std::thread> threads_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> busy_{false};
    std::atomic<size_t> next_{0};
    std::atomic<unsigned> running_{0};

    // Finished files wait here until every earlier file is handed over.
    struct Slot {
        bool finished = false;
        bool isPhoto = false;
        std::unique_ptr<ThumbnailItem> item;
    };
    std::mutex handOverMutex_;
    std::vector<Slot> slots_;
    size_t handedOver_ = 0;
};

}  // namespace thumbnails
