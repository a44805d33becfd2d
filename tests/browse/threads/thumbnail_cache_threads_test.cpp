// Several writers and readers on one cache entry at once: a reader finds either nothing or a
// whole, valid thumbnail, and no temporary is left behind.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "browse/thumbnail_cache.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using thumbnails::CachedThumbnail;
using thumbnails::SourceStamp;
using thumbnails::ThumbnailCache;

TEST(ThumbnailCacheThreads, ConcurrentWritersNeverLeaveAPartialPng) {
    testing_support::TempDir dir;
    const ThumbnailCache cache(dir.file("thumbnails"));
    const std::string photo = dir.file("p.bmp");
    {
        DibImage source(300, 200, 24, BMP);
        ASSERT_TRUE(source.saveToFile(photo.c_str(), BMP));
    }
    SourceStamp stamp;
    ASSERT_TRUE(thumbnails::stampOf(photo, stamp));
    // Each writer stores its own picture (a grey of its own), large enough to take a while.
    constexpr int kWriters = 4, kRounds = 25;
    std::atomic<int> partial{0}, seen{0}, failedWrites{0};
    std::atomic<bool> writing{true};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] {
            CachedThumbnail t;
            t.image.create(256, 171, 24, PNG);
            for (int32_t y = 0; y < 171; ++y)
                for (int32_t x = 0; x < 256 * 3; ++x) t.image.row(y)[x] = uint8_t(40 * (w + 1));
            t.sourceWidth = 300;
            t.sourceHeight = 200;
            for (int r = 0; r < kRounds; ++r)
                if (!cache.store(stamp, 1, t)) ++failedWrites;
        });
    std::thread reader([&] {
        while (writing.load()) {
            CachedThumbnail found;
            if (!fs::exists(cache.thumbnailPath(stamp.uri, 1))) continue;
            // The file exists: it must be whole, valid and of one writer throughout.
            if (!cache.lookup(stamp, 1, found) || found.image.width() != 256 ||
                found.image.height() != 171) {
                ++partial;
                continue;
            }
            const uint8_t first = found.image.row(0)[0];
            if (first % 40 != 0 || found.image.row(170)[255 * 3 + 2] != first) ++partial;
            ++seen;
        }
    });
    for (auto& t : threads) t.join();
    writing.store(false);
    reader.join();
    EXPECT_EQ(failedWrites.load(), 0);
    EXPECT_EQ(partial.load(), 0);
    CachedThumbnail last;
    EXPECT_TRUE(cache.lookup(stamp, 1, last));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.file("thumbnails/large")))
        names.push_back(e.path().filename());
    ASSERT_EQ(names.size(), 1u);  // no temporaries left
    EXPECT_EQ(names[0], fs::path(cache.thumbnailPath(stamp.uri, 1)).filename());
}
