// Cached thumbnails are upright, whatever EXIF orientation the photo is stored with, and name
// the upright photo's size.
#include <gtest/gtest.h>

#include <cstdlib>

#include "browse/thumbnail_cache.h"
#include "metadata/metadata_fixtures.h"

using namespace metadata_test;

TEST(ThumbnailCacheOrientation, EveryStoredOrientationGivesTheUprightThumbnail) {
    TempDir dir;
    const thumbnails::ThumbnailCache cache(dir.file("thumbnails"));
    DibImage card = uprightCard();
    ASSERT_TRUE(card.resample(640, 480, 1));  // blocks of 160 pixels: 32 in the thumbnail
    for (int o = 1; o <= 8; ++o) {
        const std::string path = dir.file("o" + std::to_string(o) + ".jpg");
        writeBytes(path, encode(storedFor(card, o), JPEG, 100));
        setOrientation(path, o);
        ASSERT_EQ(thumbnails::ensureCached(cache, path, JPEG, 0), thumbnails::CacheOutcome::Made);
        thumbnails::SourceStamp stamp;
        ASSERT_TRUE(thumbnails::stampOf(path, stamp));
        thumbnails::CachedThumbnail found;
        ASSERT_TRUE(cache.lookup(stamp, 0, found)) << path;
        EXPECT_EQ(found.image.width(), 128) << path;
        EXPECT_EQ(found.image.height(), 96) << path;
        EXPECT_EQ(found.sourceWidth, 640) << path;
        EXPECT_EQ(found.sourceHeight, 480) << path;
        for (int32_t y = 16; y < 96; y += 32)
            for (int32_t x = 16; x < 128; x += 32) {
                const RgbQuad got = topDown(found.image, x, y);
                const RgbQuad want = topDown(card, x * 5, y * 5);
                EXPECT_LE(std::abs(got.red - want.red), 12) << path << " at " << x << "," << y;
                EXPECT_LE(std::abs(got.green - want.green), 12) << path << " at " << x << "," << y;
                EXPECT_LE(std::abs(got.blue - want.blue), 12) << path << " at " << x << "," << y;
            }
    }
}
