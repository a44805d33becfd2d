// The thumbnail worker with real files: which files are handed over and in what order, the
// thumbnails' sizes, stopping, and switching folders mid-scan without one stale item.
// Runs under ThreadSanitizer too (ctest label "threads").
#include "browse/thumbnail_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "browse/photo_files.h"
#include "browse/thumbnail_maker.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using browse_testing::writePhoto;
using testing_support::TempDir;
using testing_support::writeBytes;
using thumbnails::ThumbnailWorker;
using thumbnails::WorkerOptions;

namespace {

struct Received {
    uint64_t scan;
    size_t index;
    std::string path;
    int32_t width, height;
};

// Collects what the worker hands over, from whatever thread, and lets the test wait.
class RecordingSink : public thumbnails::ThumbnailSink {
  public:
    void thumbnailReady(uint64_t scan, size_t index, std::unique_ptr<ThumbnailItem> item) override {
        std::lock_guard<std::mutex> lock(mutex_);
        items.push_back({scan, index, item->path, item->image.width(), item->image.height()});
        changed_.notify_all();
    }
    void thumbnailsDone(uint64_t scan) override {
        std::lock_guard<std::mutex> lock(mutex_);
        done.push_back(scan);
        changed_.notify_all();
    }
    void waitItems(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return items.size() >= count; });
    }
    void waitDone(uint64_t scan) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock,
                      [&] { return std::find(done.begin(), done.end(), scan) != done.end(); });
    }
    std::vector<Received> items;
    std::vector<uint64_t> done;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

std::vector<std::string> listed(const TempDir& dir) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (e.is_regular_file()) files.push_back(e.path().string());
    return files;
}

}  // namespace

TEST(ThumbnailWorker, HandsOverPhotosInFileOrder) {
    TempDir dir;
    const std::string d = dir.path().string() + "/";
    ASSERT_TRUE(browse_testing::writeMixedFolder(d));
    // Cut behind its headers: still a JPEG by content, so it gets an (empty) item.
    writeBytes(d + "broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0});
    const std::vector<std::string> files = listed(dir);

    for (unsigned threads : {1u, 2u, 4u}) {
        RecordingSink sink;
        {
            ThumbnailWorker worker(sink, WorkerOptions{threads, true});
            worker.start(7, files, 50);
            sink.waitDone(7);
        }
        ASSERT_EQ(sink.items.size(), 5u) << threads;
        size_t last = 0;
        for (size_t i = 0; i < sink.items.size(); ++i) {
            const Received& r = sink.items[i];
            EXPECT_EQ(r.scan, 7u);
            if (i > 0) {
                EXPECT_GT(r.index, last) << "order, " << threads << " threads";
            }
            last = r.index;
            EXPECT_EQ(r.path, files[r.index]);
            const std::string name = fs::path(r.path).filename().string();
            const struct {
                const char* name;
                int32_t w, h;
            } sizes[] = {{"holiday.JPG", 75, 50},
                         {"x.Jpeg", 204, 51},
                         {"photo.tif", 75, 50},
                         {"png.jpg", 50, 50},
                         {"broken.jpg", 0, 0}};
            bool known = false;
            for (const auto& s : sizes)
                if (name == s.name) {
                    known = true;
                    EXPECT_EQ(r.width, s.w) << name;
                    EXPECT_EQ(r.height, s.h) << name;
                }
            EXPECT_TRUE(known) << name << " should not be shown";
        }
        EXPECT_EQ(sink.done, std::vector<uint64_t>{7});
    }
}

TEST(ThumbnailWorker, EmptyAndUnreadableListsFinish) {
    RecordingSink sink;
    ThumbnailWorker worker(sink, WorkerOptions{2, true});
    worker.start(1, {}, 50);
    sink.waitDone(1);
    // A photo gone since the listing is one by its name, as for the batch: an empty cell.
    worker.start(2, {"/no/such/file.jpg", "|"}, 50);
    sink.waitDone(2);
    ASSERT_EQ(sink.items.size(), 1u);
    EXPECT_EQ(sink.items[0].path, "/no/such/file.jpg");
    EXPECT_EQ(sink.items[0].width, 0);
    worker.stop();
    EXPECT_FALSE(worker.busy());
}

TEST(ThumbnailWorker, SwitchingFoldersMidScanNeverMixesThem) {
    TempDir first, second;
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(writePhoto(first.file("a" + std::to_string(i) + ".jpg"), 400, 300, JPEG, i));
        ASSERT_TRUE(writePhoto(second.file("b" + std::to_string(i) + ".png"), 40, 30, PNG, i));
    }
    const std::vector<std::string> a = listed(first), b = listed(second);
    for (int repeat = 0; repeat < 60; ++repeat) {
        RecordingSink sink;
        ThumbnailWorker worker(sink, WorkerOptions{2, repeat % 2 == 0});
        worker.start(1, a, 50);
        // Switch at once, after the first thumbnail, or after a few.
        if (repeat % 3 != 0) sink.waitItems(repeat % 3 == 1 ? 1 : 4);
        worker.start(2, b, 50);  // stops scan 1 and waits for it
        sink.waitDone(2);
        worker.stop();

        // Every item of scan 1 came before every item of scan 2, scan 2 is complete and in
        // order, and scan 1 never reported done after being stopped (or before it).
        size_t firstOfSecond = sink.items.size();
        for (size_t i = 0; i < sink.items.size(); ++i)
            if (sink.items[i].scan == 2) {
                firstOfSecond = i;
                break;
            }
        for (size_t i = firstOfSecond; i < sink.items.size(); ++i) {
            ASSERT_EQ(sink.items[i].scan, 2u) << "repeat " << repeat;
            EXPECT_EQ(sink.items[i].path, b[i - firstOfSecond]);
        }
        EXPECT_EQ(sink.items.size() - firstOfSecond, b.size());
        for (size_t i = 0; i < firstOfSecond; ++i) EXPECT_EQ(sink.items[i].path, a[i]);
        EXPECT_EQ(sink.done.back(), 2u);
    }
}

TEST(ThumbnailWorker, DestroyingMidScanWaitsAndHandsOverNothingLater) {
    TempDir dir;
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(writePhoto(dir.file("c" + std::to_string(i) + ".jpg"), 600, 400, JPEG, i));
    const std::vector<std::string> files = listed(dir);
    for (int repeat = 0; repeat < 20; ++repeat) {
        RecordingSink sink;
        size_t atStop;
        {
            ThumbnailWorker worker(sink, WorkerOptions{2, false});
            worker.start(1, files, 50);
        }  // the destructor stops and joins
        atStop = sink.items.size();
        EXPECT_LE(atStop, files.size());
        // Nothing can arrive any more: the threads are gone (TSan would see a late write).
        EXPECT_EQ(sink.items.size(), atStop);
        if (atStop < files.size()) {
            EXPECT_TRUE(sink.done.empty());
        }
    }
}
