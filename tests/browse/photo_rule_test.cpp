// The photo rule on the files at its border, and the thumbnail worker showing exactly the
// files the rule calls photos (the batch asks the same rule: tests/workflow).
#include "browse/photo_rule.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "browse/photo_files.h"
#include "browse/thumbnail_worker.h"
#include "support/test_support.h"

using testing_support::TempDir;

namespace {

class Collect : public thumbnails::ThumbnailSink {
  public:
    void thumbnailReady(uint64_t, size_t, std::unique_ptr<ThumbnailItem> item) override {
        std::lock_guard<std::mutex> lock(mutex_);
        items.push_back(std::move(item));
    }
    void thumbnailsDone(uint64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        done = true;
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return done; });
    }
    std::vector<std::unique_ptr<ThumbnailItem>> items;

  private:
    bool done = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace

TEST(PhotoRule, FilesAtTheBorder) {
    TempDir dir;
    const std::string d = dir.path().string() + "/";
    const auto cases = browse_testing::writeRuleFolder(d);
    ASSERT_FALSE(cases.empty());
    for (const auto& c : cases) {
        EXPECT_EQ(photos::photoFormatOf(d + c.name), c.type) << c.name;
        EXPECT_EQ(photos::isPhoto(d + c.name), c.type >= 0) << c.name;
    }
}

TEST(PhotoRule, TheThumbnailsShowWhatTheRuleCallsPhotos) {
    TempDir dir;
    const std::string d = dir.path().string() + "/";
    const auto cases = browse_testing::writeRuleFolder(d);
    ASSERT_FALSE(cases.empty());
    std::vector<std::string> files;
    for (const auto& c : cases) files.push_back(d + c.name);
    Collect sink;
    thumbnails::ThumbnailWorker worker(sink, thumbnails::WorkerOptions{2, true});
    worker.start(1, files, 50);
    sink.wait();

    std::vector<std::string> shown, photos;
    for (const auto& item : sink.items) {
        shown.push_back(item->path);
        // The JPEG-compressed TIFF gets a real thumbnail of the size rule.
        if (item->path == d + "jpeg.tif") {
            EXPECT_EQ(item->type, uint32_t(TIFF));
            EXPECT_EQ(item->image.width(), 75);
            EXPECT_EQ(item->image.height(), 50);
        }
    }
    for (const auto& c : cases)
        if (c.type >= 0) photos.push_back(d + c.name);
    EXPECT_EQ(shown, photos);
}
