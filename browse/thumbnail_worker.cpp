// The thumbnail worker: files are claimed one by one from a shared counter by every thread;
// a finished file waits in its slot until the files before it are handed over.
#include "browse/thumbnail_worker.h"

#include <algorithm>

#include "browse/photo_rule.h"
#include "browse/thumbnail_maker.h"

namespace thumbnails {

namespace {

unsigned chooseThreads(unsigned wanted) {
    if (wanted > 0) return wanted;
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace

ThumbnailWorker::ThumbnailWorker(ThumbnailSink& sink, WorkerOptions options)
    : sink_(sink),
      reduced_(options.reducedDecode),
      cache_(std::move(options.cache)),
      threadCount_(chooseThreads(options.threads)) {}

ThumbnailWorker::~ThumbnailWorker() {
    stop();
}

void ThumbnailWorker::stop() {
    stopRequested_.store(true);
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    busy_.store(false);
}

void ThumbnailWorker::start(uint64_t scan, std::vector<std::string> files,
                            int32_t thumbnailHeight) {
    stop();
    // No thread runs now: the scan's data can be set without locks; starting the threads
    // publishes it to them.
    scan_ = scan;
    files_ = std::move(files);
    thumbnailHeight_ = thumbnailHeight;
    slots_.clear();
    slots_.resize(files_.size());
    handedOver_ = 0;
    next_.store(0);
    stopRequested_.store(false);

    // More threads than files would only start and end; an empty list still needs one to
    // report that the scan is done.
    const unsigned count =
        unsigned(std::clamp<size_t>(files_.size(), size_t(1), size_t(threadCount_)));
    running_.store(count);
    busy_.store(true);
    for (unsigned i = 0; i < count; ++i) threads_.emplace_back(&ThumbnailWorker::run, this);
}

void ThumbnailWorker::run() {
    for (;;) {
        if (stopRequested_.load()) break;
        const size_t index = next_.fetch_add(1);
        if (index >= files_.size()) break;
        const std::string& path = files_[index];
        const int type = photos::photoFormatOf(path);
        if (type < 0) {
            handOver(index, nullptr, false);
            continue;
        }
        auto item = std::make_unique<ThumbnailItem>();
        item->path = path;
        item->type = uint32_t(type);
        cachedThumbnail(cache_.get(), path, item->type, thumbnailHeight_, reduced_, item->image);
        // Tested after the load, so a stop waits for at most one file per thread.
        if (stopRequested_.load()) break;
        handOver(index, std::move(item), true);
    }
    // The last thread out reports the end of a scan that ran to its end; every file was
    // handed over by then, as each thread finishes the file it claimed before leaving.
    if (running_.fetch_sub(1) == 1) {
        if (!stopRequested_.load()) sink_.thumbnailsDone(scan_);
        busy_.store(false);
    }
}

void ThumbnailWorker::handOver(size_t index, std::unique_ptr<ThumbnailItem> item, bool isPhoto) {
    std::lock_guard<std::mutex> lock(handOverMutex_);
    Slot& slot = slots_[index];
    slot.finished = true;
    slot.isPhoto = isPhoto;
    slot.item = std::move(item);
    while (handedOver_ < slots_.size() && slots_[handedOver_].finished) {
        Slot& next = slots_[handedOver_];
        if (next.isPhoto && !stopRequested_.load())
            sink_.thumbnailReady(scan_, handedOver_, std::move(next.item));
        next.item.reset();
        ++handedOver_;
    }
}

}  // namespace thumbnails
