// The background thumbnail worker of a thumbnail view: several threads decode the photos of
// one file list at once, the ones on screen first, and hand the thumbnails over through a
// callback in the order they were taken.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browse/thumbnail_cache.h"
#include "browse/thumbnail_grid.h"

namespace thumbnails {

// Receives the results of a scan. Both calls come from worker threads, one at a time, the
// items in the order the worker took their files; they should only hand the results on
// (post them to a window).
class ThumbnailSink {
  public:
    virtual ~ThumbnailSink() = default;
    // The thumbnail of file list entry index; files that are no photos are skipped (their
    // index is not handed over). A photo that fails to load comes with an empty image. An
    // index comes again when it was asked to be made again (remake).
    virtual void thumbnailReady(uint64_t scan, size_t index,
                                std::unique_ptr<ThumbnailItem> item) = 0;
    // Every file of the scan was handed over once. Not called for a scan that was stopped.
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

    // Stops a running scan (waiting for it) and starts scan number scan over files, taken in
    // file order until setVisible says otherwise. Called from one controlling thread, as
    // every call below is.
    // visible: as for setVisible, so that the first screen does not wait for a thread to
    // take a file of folder order first.
    void start(uint64_t scan, std::vector<std::string> files, int32_t thumbnailHeight,
               const std::vector<size_t>& visible = {});
    // Asks the threads to stop and waits until they have: each finishes at most the file it
    // is loading, and nothing more is handed over afterwards.
    void stop();

    // The file indices on screen, in the order they should be taken: those not yet taken
    // are taken before every other file; the earlier visible list no longer counts (files
    // scrolled away fall back to folder order). Calls for another scan are ignored. This
    // and the calls below may also come from inside the sink's calls.
    void setVisible(uint64_t scan, const std::vector<size_t>& indices);
    // Makes the thumbnail of index again, before the files still waiting in folder order
    // (the file was rewritten, or the view let go of its pixels).
    void remake(uint64_t scan, size_t index);
    // A file that appeared in the folder: it gets the next index (returned) and is taken
    // before the files still waiting in folder order.
    size_t addFile(uint64_t scan, std::string path);
    // A file that left the folder: not taken any more, and a thumbnail of it being made is
    // not handed over.
    void removeFile(uint64_t scan, size_t index);
    // The file of index was renamed: later loads use path.
    void renameFile(uint64_t scan, size_t index, std::string path);

    // True while files of the scan are waiting or being made.
    bool busy() const;
    unsigned threadCount() const { return threadCount_; }

  private:
    enum class State : uint8_t { Waiting, Taken, Made, Gone };
    struct Job {
        size_t index;
        std::string path;
        uint64_t sequence;
    };
    // A finished file waits here until every file taken before it is handed over.
    struct Slot {
        bool finished = false;
        size_t index = 0;
        std::unique_ptr<ThumbnailItem> item;  // none for a file that is no photo or gone
    };

    void run();
    bool take(Job& job);  // under mutex_
    // Called with handOverMutex_ held and mutex_ not.
    void handOver(const Job& job, std::unique_ptr<ThumbnailItem> item);
    void setWaiting(size_t index);  // under mutex_
    bool allHandedOver() const;     // under mutex_

    ThumbnailSink& sink_;
    const bool reduced_;
    const std::shared_ptr<const ThumbnailCache> cache_;
    const unsigned threadCount_;

    // Held around every call of the sink, so that they come one at a time and in order;
    // taken before mutex_ when both are needed.
    std::mutex handOverMutex_;
    // Guards everything below.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopRequested_ = false;
    uint64_t scan_ = 0;
    int32_t thumbnailHeight_ = 0;
    std::vector<std::string> files_;
    std::vector<State> states_;
    std::vector<bool> handedOnce_;
    std::vector<size_t> visible_;  // taken first, front to back
    std::deque<size_t> urgent_;    // remade and added files, taken next
    size_t visibleNext_ = 0;       // the first entry of visible_ not yet looked at
    size_t nextInOrder_ = 0;       // the folder-order cursor
    size_t waiting_ = 0;           // files in state Waiting
    size_t neverHandedOver_ = 0;   // files not yet handed over once (nor gone)
    bool doneReported_ = false;
    unsigned inFlight_ = 0;
    // Slots by sequence number, from handedOver_ on.
    std::deque<Slot> slots_;
    uint64_t nextSequence_ = 0;
    uint64_t handedOver_ = 0;

    std::vector<std::thread> threads_;
};

}  // namespace thumbnails
