// The order in which the thumbnail worker takes files: the visible ones first, then folder
// order, with a fake viewport that scrolls while thumbnails arrive; files made again, added
// and removed while a scan runs. Runs under ThreadSanitizer too (ctest label "threads").
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

#include "browse/photo_files.h"
#include "browse/thumbnail_worker.h"
#include "support/test_support.h"

using browse_testing::writePhoto;
using testing_support::TempDir;
using thumbnails::ThumbnailWorker;
using thumbnails::WorkerOptions;

namespace {

// Records the indices handed over; after the n-th thumbnail it runs what the test gave for
// n (the viewport scrolling, a file changing), from the worker's thread as a view would
// from its event.
class ViewportSink : public thumbnails::ThumbnailSink {
  public:
    void thumbnailReady(uint64_t, size_t index, std::unique_ptr<ThumbnailItem>) override {
        std::function<void()> then;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            order.push_back(index);
            auto it = after.find(order.size());
            if (it != after.end()) then = it->second;
        }
        if (then) then();
        changed_.notify_all();
    }
    void thumbnailsDone(uint64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++done;
        changed_.notify_all();
    }
    // Waits until count thumbnails came (and, with scanDone, the end of the scan).
    void wait(size_t count, bool scanDone) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return order.size() >= count && (!scanDone || done > 0); });
    }
    std::vector<size_t> taken() {
        std::lock_guard<std::mutex> lock(mutex_);
        return order;
    }
    int doneCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return done;
    }

    std::map<size_t, std::function<void()>> after;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<size_t> order;
    int done = 0;
};

// count small photos p0.png, p1.png, ... in dir, in that order; the names in notPhotos
// become text files instead.
std::vector<std::string> photos(const TempDir& dir, size_t count,
                                const std::vector<size_t>& notPhotos = {}) {
    std::vector<std::string> files;
    for (size_t i = 0; i < count; ++i) {
        const bool text = std::find(notPhotos.begin(), notPhotos.end(), i) != notPhotos.end();
        const std::string path = dir.file("p" + std::to_string(i) + (text ? ".txt" : ".png"));
        if (text)
            testing_support::writeBytes(path, {'t', 'e', 'x', 't'});
        else
            EXPECT_TRUE(writePhoto(path, 40, 30, PNG, uint32_t(i)));
        files.push_back(path);
    }
    return files;
}

}  // namespace

TEST(VisibleFirst, OrderWithAFakeViewport) {
    struct Scroll {
        size_t afterThumbnails;
        std::vector<size_t> visible;
    };
    const struct {
        const char* name;
        size_t files;
        std::vector<size_t> notPhotos;
        std::vector<size_t> visible;  // at the start
        std::vector<Scroll> scrolls;
        std::vector<size_t> expect;
    } cases[] = {
        {"nothing visible: folder order", 6, {}, {}, {}, {0, 1, 2, 3, 4, 5}},
        {"the visible ones, then the rest in folder order", 6, {}, {3, 4}, {}, {3, 4, 0, 1, 2, 5}},
        {"visible in the order given", 5, {}, {4, 2}, {}, {4, 2, 0, 1, 3}},
        {"scrolling moves the new visible ones ahead",
         6,
         {},
         {0, 1},
         {{2, {4, 5}}},
         {0, 1, 4, 5, 2, 3}},
        {"scrolled back: made ones are not made twice",
         6,
         {},
         {4, 5},
         {{2, {4, 5, 0}}},
         {4, 5, 0, 1, 2, 3}},
        {"scrolled away before taken: back to folder order",
         6,
         {},
         {1, 2, 3},
         {{1, {5}}},
         {1, 5, 0, 2, 3, 4}},
        {"a visible file that is no photo is skipped", 6, {2}, {2, 3}, {}, {3, 0, 1, 4, 5}},
        {"indices outside the list are ignored", 3, {}, {7, 1}, {}, {1, 0, 2}},
        {"two scrolls", 8, {}, {}, {{1, {6}}, {3, {3, 7}}}, {0, 6, 1, 3, 7, 2, 4, 5}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::vector<std::string> files = photos(dir, c.files, c.notPhotos);
        ViewportSink sink;
        // One thread takes one file after the other: the order is the taking order.
        ThumbnailWorker worker(sink, WorkerOptions{1, true});
        for (const Scroll& s : c.scrolls)
            sink.after[s.afterThumbnails] = [&worker, v = s.visible] { worker.setVisible(1, v); };
        worker.start(1, files, 50, c.visible);
        sink.wait(c.expect.size(), true);
        worker.stop();
        EXPECT_EQ(sink.taken(), c.expect) << c.name;
        EXPECT_EQ(sink.doneCount(), 1) << c.name;
    }
}

TEST(VisibleFirst, WithSeveralThreadsTheVisibleComeFirst) {
    TempDir dir;
    const std::vector<std::string> files = photos(dir, 24);
    const std::vector<size_t> visible = {20, 5, 17, 11};
    for (unsigned threads : {2u, 4u}) {
        for (int repeat = 0; repeat < 10; ++repeat) {
            ViewportSink sink;
            ThumbnailWorker worker(sink, WorkerOptions{threads, true});
            worker.start(3, files, 50, visible);
            sink.wait(files.size(), true);
            worker.stop();
            // Handed over in the order taken, whichever thread finished first.
            const std::vector<size_t> got = sink.taken();
            ASSERT_EQ(got.size(), files.size());
            EXPECT_EQ(std::vector<size_t>(got.begin(), got.begin() + 4), visible) << threads;
            std::vector<size_t> rest(got.begin() + 4, got.end());
            EXPECT_TRUE(std::is_sorted(rest.begin(), rest.end())) << threads;
        }
    }
}

TEST(VisibleFirst, ASetVisibleOfAnEarlierScanIsIgnored) {
    TempDir dir;
    const std::vector<std::string> files = photos(dir, 4);
    ViewportSink sink;
    ThumbnailWorker worker(sink, WorkerOptions{1, true});
    sink.after[1] = [&] { worker.setVisible(1, {3}); };  // the scan is number 2
    worker.start(2, files, 50);
    sink.wait(4, true);
    worker.stop();
    EXPECT_EQ(sink.taken(), (std::vector<size_t>{0, 1, 2, 3}));
}

TEST(VisibleFirst, FilesMadeAgainAddedAndRemoved) {
    TempDir dir;
    const std::vector<std::string> files = photos(dir, 6);
    const std::string added = dir.file("new.png");
    ASSERT_TRUE(writePhoto(added, 40, 30, PNG, 99));
    const struct {
        const char* name;
        std::function<void(ThumbnailWorker&)> afterFirst;
        std::vector<size_t> expect;
        int done;
    } cases[] = {
        {"made again: before the rest of folder order",
         [](ThumbnailWorker& w) { w.remake(1, 0); },
         {0, 0, 1, 2, 3, 4, 5},
         1},
        {"an added file is taken next and counts for the end of the scan",
         [&](ThumbnailWorker& w) { EXPECT_EQ(w.addFile(1, added), 6u); },
         {0, 6, 1, 2, 3, 4, 5},
         1},
        {"a removed file is never handed over",
         [](ThumbnailWorker& w) { w.removeFile(1, 3); },
         {0, 1, 2, 4, 5},
         1},
        {"removing a made file does not end the scan twice",
         [](ThumbnailWorker& w) { w.removeFile(1, 0); },
         {0, 1, 2, 3, 4, 5},
         1},
        {"renamed: later loads use the new name",
         [&](ThumbnailWorker& w) { w.renameFile(1, 2, added); },
         {0, 1, 2, 3, 4, 5},
         1},
        {"calls for another scan change nothing",
         [](ThumbnailWorker& w) {
             w.remake(9, 0);
             w.removeFile(9, 3);
             EXPECT_EQ(w.addFile(9, "x.png"), size_t(-1));
         },
         {0, 1, 2, 3, 4, 5},
         1},
    };
    for (const auto& c : cases) {
        ViewportSink sink;
        ThumbnailWorker worker(sink, WorkerOptions{1, true});
        sink.after[1] = [&] { c.afterFirst(worker); };
        worker.start(1, files, 50);
        sink.wait(c.expect.size(), true);
        EXPECT_FALSE(worker.busy()) << c.name;
        worker.stop();
        EXPECT_EQ(sink.taken(), c.expect) << c.name;
        EXPECT_EQ(sink.doneCount(), c.done) << c.name;
    }
}

TEST(VisibleFirst, ChangesAfterTheEndOfTheScan) {
    TempDir dir;
    const std::vector<std::string> files = photos(dir, 3);
    ViewportSink sink;
    ThumbnailWorker worker(sink, WorkerOptions{2, true});
    worker.start(1, files, 50);
    sink.wait(3, true);
    // The threads wait for more: a rewritten and a new file are made without a new scan.
    worker.remake(1, 1);
    const size_t added = worker.addFile(1, files[0]);
    EXPECT_EQ(added, 3u);
    sink.wait(5, true);
    worker.stop();
    std::vector<size_t> last = sink.taken();
    last.erase(last.begin(), last.begin() + 3);
    EXPECT_EQ(last, (std::vector<size_t>{1, 3}));
    EXPECT_EQ(sink.doneCount(), 1);
}
