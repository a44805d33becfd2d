// The thumbnail worker: every thread takes the next file under one lock (the visible ones,
// then remade and added ones, then folder order); a finished file waits in its slot until
// the files taken before it are handed over.
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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
}

void ThumbnailWorker::start(uint64_t scan, std::vector<std::string> files, int32_t thumbnailHeight,
                            const std::vector<size_t>& visible) {
    stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        scan_ = scan;
        files_ = std::move(files);
        thumbnailHeight_ = thumbnailHeight;
        states_.assign(files_.size(), State::Waiting);
        handedOnce_.assign(files_.size(), false);
        visible_.clear();
        visibleNext_ = 0;
        urgent_.clear();
        nextInOrder_ = 0;
        waiting_ = neverHandedOver_ = files_.size();
        doneReported_ = false;
        inFlight_ = 0;
        slots_.clear();
        nextSequence_ = handedOver_ = 0;
        stopRequested_ = false;
    }
    setVisible(scan, visible);
    // More threads than files would only wait; an empty list still needs one to report that
    // the scan is done.
    const unsigned count =
        unsigned(std::clamp<size_t>(files_.size(), size_t(1), size_t(threadCount_)));
    for (unsigned i = 0; i < count; ++i) threads_.emplace_back(&ThumbnailWorker::run, this);
}

void ThumbnailWorker::setWaiting(size_t index) {
    if (states_[index] != State::Waiting) ++waiting_;
    states_[index] = State::Waiting;
}

void ThumbnailWorker::setVisible(uint64_t scan, const std::vector<size_t>& indices) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (scan != scan_) return;
        visible_.clear();
        for (size_t i : indices)
            if (i < states_.size() && states_[i] == State::Waiting) visible_.push_back(i);
        visibleNext_ = 0;
    }
    wake_.notify_all();
}

void ThumbnailWorker::remake(uint64_t scan, size_t index) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (scan != scan_ || index >= states_.size() || states_[index] == State::Gone) return;
        // One still being made is handed over first, this one after it.
        setWaiting(index);
        urgent_.push_back(index);
    }
    wake_.notify_all();
}

size_t ThumbnailWorker::addFile(uint64_t scan, std::string path) {
    size_t index;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (scan != scan_) return size_t(-1);
        index = files_.size();
        files_.push_back(std::move(path));
        states_.push_back(State::Gone);
        handedOnce_.push_back(false);
        setWaiting(index);
        ++neverHandedOver_;
        urgent_.push_back(index);
    }
    wake_.notify_all();
    return index;
}

void ThumbnailWorker::removeFile(uint64_t scan, size_t index) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (scan != scan_ || index >= states_.size() || states_[index] == State::Gone) return;
        if (states_[index] == State::Waiting) --waiting_;
        states_[index] = State::Gone;
        if (!handedOnce_[index]) {
            handedOnce_[index] = true;
            --neverHandedOver_;
        }
    }
    // It may have been the last file the scan waited for.
    wake_.notify_all();
}

void ThumbnailWorker::renameFile(uint64_t scan, size_t index, std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (scan != scan_ || index >= files_.size()) return;
    files_[index] = std::move(path);
}

bool ThumbnailWorker::busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !threads_.empty() && !stopRequested_ && (waiting_ > 0 || inFlight_ > 0);
}

bool ThumbnailWorker::take(Job& job) {
    size_t index = size_t(-1);
    while (visibleNext_ < visible_.size() && index == size_t(-1)) {
        const size_t i = visible_[visibleNext_++];
        if (states_[i] == State::Waiting) index = i;
    }
    while (!urgent_.empty() && index == size_t(-1)) {
        const size_t i = urgent_.front();
        urgent_.pop_front();
        if (states_[i] == State::Waiting) index = i;
    }
    while (nextInOrder_ < states_.size() && index == size_t(-1)) {
        const size_t i = nextInOrder_++;
        if (states_[i] == State::Waiting) index = i;
    }
    if (index == size_t(-1)) return false;
    states_[index] = State::Taken;
    --waiting_;
    ++inFlight_;
    job = Job{index, files_[index], nextSequence_++};
    slots_.emplace_back();
    return true;
}

bool ThumbnailWorker::allHandedOver() const {
    return !doneReported_ && neverHandedOver_ == 0 && inFlight_ == 0;
}

void ThumbnailWorker::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    Job job;
    for (;;) {
        if (stopRequested_) break;
        if (!take(job)) {
            if (allHandedOver()) {
                doneReported_ = true;
                const uint64_t scan = scan_;
                lock.unlock();
                {
                    // After a thread still handing over the last thumbnails.
                    std::lock_guard<std::mutex> hand(handOverMutex_);
                    bool stopped;
                    {
                        std::lock_guard<std::mutex> again(mutex_);
                        stopped = stopRequested_;
                    }
                    if (!stopped) sink_.thumbnailsDone(scan);
                }
                lock.lock();
                continue;
            }
            wake_.wait(lock);
            continue;
        }
        const int32_t height = thumbnailHeight_;
        lock.unlock();
        std::unique_ptr<ThumbnailItem> item;
        const int type = photos::photoFormatOf(job.path);
        if (type >= 0) {
            item = std::make_unique<ThumbnailItem>();
            item->path = job.path;
            item->type = uint32_t(type);
            cachedThumbnail(cache_.get(), job.path, item->type, height, reduced_, item->image);
        }
        {
            std::lock_guard<std::mutex> hand(handOverMutex_);
            handOver(job, std::move(item));
        }
        lock.lock();
    }
}

void ThumbnailWorker::handOver(const Job& job, std::unique_ptr<ThumbnailItem> item) {
    // The thumbnails whose turn it is are collected under the lock and handed over outside
    // it, so that the sink may call back (a view scrolled while a thumbnail arrived).
    std::vector<std::pair<size_t, std::unique_ptr<ThumbnailItem>>> ready;
    uint64_t scan;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Tested after the load, so a stop waits for at most one file per thread.
        if (stopRequested_) return;
        scan = scan_;
        --inFlight_;
        if (states_[job.index] == State::Taken) states_[job.index] = State::Made;
        Slot& slot = slots_[size_t(job.sequence - handedOver_)];
        slot.finished = true;
        slot.index = job.index;
        slot.item = std::move(item);
        while (!slots_.empty() && slots_.front().finished) {
            Slot& next = slots_.front();
            // A file removed while it was made is not shown any more.
            if (next.item && states_[next.index] != State::Gone)
                ready.emplace_back(next.index, std::move(next.item));
            if (!handedOnce_[next.index]) {
                handedOnce_[next.index] = true;
                --neverHandedOver_;
            }
            slots_.pop_front();
            ++handedOver_;
        }
    }
    for (auto& [index, thumbnail] : ready) sink_.thumbnailReady(scan, index, std::move(thumbnail));
}

}  // namespace thumbnails
