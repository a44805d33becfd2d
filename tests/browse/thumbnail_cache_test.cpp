// The shared thumbnail cache: names and URIs as freedesktop.org's published example gives them, the
// keys of a written file, stale and foreign thumbnails, permissions, failures, the view's
// lookup through the smallest covering size.
#include "browse/thumbnail_cache.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "browse/photo_files.h"
#include "browse/thumbnail_maker.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using browse_testing::writePhoto;
using testing_support::TempDir;
using thumbnails::CachedThumbnail;
using thumbnails::SourceStamp;
using thumbnails::ThumbnailCache;

namespace {

// The text keys of a PNG, read with libpng directly (not through the cache's reader).
std::map<std::string, std::string> pngKeys(const std::string& path, int& width, int& height) {
    std::map<std::string, std::string> keys;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return keys;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return {};
    }
    png_init_io(png, f);
    png_read_info(png, info);
    width = int(png_get_image_width(png, info));
    height = int(png_get_image_height(png, info));
    EXPECT_EQ(png_get_bit_depth(png, info), 8);
    png_textp text = nullptr;
    int count = 0;
    png_get_text(png, info, &text, &count);
    for (int i = 0; i < count; ++i) keys[text[i].key] = text[i].text;
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return keys;
}

// A thumbnail as another program writes it: RGBA, only the two required keys.
void writeForeignThumbnail(const std::string& path, int w, int h, const SourceStamp& stamp,
                           uint8_t red) {
    fs::create_directories(fs::path(path).parent_path());
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::string uri = stamp.uri, mtime = std::to_string(stamp.mtime);
    png_text text[2] = {};
    text[0].compression = text[1].compression = PNG_TEXT_COMPRESSION_NONE;
    text[0].key = const_cast<char*>("Thumb::URI");
    text[0].text = uri.data();
    text[1].key = const_cast<char*>("Thumb::MTime");
    text[1].text = mtime.data();
    png_set_text(png, info, text, 2);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(w) * 4);
    for (int x = 0; x < w; ++x) {
        row[size_t(x) * 4] = red;
        row[size_t(x) * 4 + 3] = 255;
    }
    for (int y = 0; y < h; ++y) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

void setMTime(const std::string& path, time_t when) {
    struct utimbuf times = {when, when};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
}

}  // namespace

TEST(ThumbnailCache, UrisAndNamesAsTheSpecificationSpellsThem) {
    const ThumbnailCache cache("/home/jens/.cache/thumbnails");
    const struct {
        const char* path;
        const char* uri;
        const char* md5;
    } cases[] = {
        // freedesktop.org's published example of a cache name.
        {"/home/jens/photos/me.png", "file:///home/jens/photos/me.png",
         "c6ee772d9e49320e97ec29a7eb5b1697"},
        // Spaces and '#' escaped, upper-case hex.
        {"/home/jens/photos/my photo #1.jpg", "file:///home/jens/photos/my%20photo%20%231.jpg",
         "6fad32977f501c708aac24669245f1c7"},
        // "." and ".." gone, UTF-8 escaped byte by byte.
        {"/home/jens/./photos/../photos/caf\xC3\xA9.jpg", "file:///home/jens/photos/caf%C3%A9.jpg",
         "b0dd79bc66a700eea422c5c2fb1335e9"},
        {"/tmp/semi;quest?brack[et].jpg", "file:///tmp/semi%3Bquest%3Fbrack%5Bet%5D.jpg",
         "c81aa28e5d801146c81b3b8c50caba91"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(thumbnails::fileUri(c.path), c.uri) << c.path;
        EXPECT_EQ(cache.thumbnailPath(c.uri, 0),
                  std::string("/home/jens/.cache/thumbnails/normal/") + c.md5 + ".png");
        EXPECT_EQ(cache.thumbnailPath(c.uri, 3),
                  std::string("/home/jens/.cache/thumbnails/xx-large/") + c.md5 + ".png");
    }
    // The path-safe punctuation stays as it is.
    EXPECT_EQ(thumbnails::fileUri("/a&b=c+d,e@f:g$h!i~j*k'l(m)_-.jpg"),
              "file:///a&b=c+d,e@f:g$h!i~j*k'l(m)_-.jpg");
    EXPECT_EQ(cache.failurePath("file:///home/jens/photos/me.png"),
              "/home/jens/.cache/thumbnails/fail/vantifex-" + std::string(VFX_VERSION_TEXT) +
                  "/c6ee772d9e49320e97ec29a7eb5b1697.png");
    EXPECT_EQ(thumbnails::cacheFlavourByName("x-large"), 2);
    EXPECT_EQ(thumbnails::cacheFlavourByName("huge"), -1);
}

TEST(ThumbnailCache, UserRootFollowsXdgCacheHome) {
    const char* saved = std::getenv("XDG_CACHE_HOME");
    const std::string keep = saved ? saved : "";
    const char* savedHome = std::getenv("HOME");
    const std::string keepHome = savedHome ? savedHome : "";
    ::setenv("XDG_CACHE_HOME", "/x/cache", 1);
    EXPECT_EQ(ThumbnailCache::userRoot(), "/x/cache/thumbnails");
    ::setenv("XDG_CACHE_HOME", "relative", 1);  // invalid: ignored
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(ThumbnailCache::userRoot(), "/home/u/.cache/thumbnails");
    if (saved)
        ::setenv("XDG_CACHE_HOME", keep.c_str(), 1);
    else
        ::unsetenv("XDG_CACHE_HOME");
    if (savedHome)
        ::setenv("HOME", keepHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

TEST(ThumbnailCache, WrittenFileCarriesTheKeysAndPermissions) {
    TempDir dir;
    const ThumbnailCache cache(dir.file("cache/thumbnails"));
    const struct {
        int32_t w, h;
        int flavour, expectW, expectH;
    } cases[] = {
        {1600, 1200, 0, 128, 96},
        {1200, 1600, 1, 192, 256},
        {100, 60, 0, 100, 60},  // small: as is
        {3000, 20, 2, 512, 3},
    };
    for (const auto& c : cases) {
        const std::string photo =
            dir.file("p" + std::to_string(c.w) + "x" + std::to_string(c.h) + ".jpg");
        ASSERT_TRUE(writePhoto(photo, c.w, c.h, JPEG));
        ASSERT_EQ(thumbnails::ensureCached(cache, photo, JPEG, c.flavour),
                  thumbnails::CacheOutcome::Made);
        SourceStamp stamp;
        ASSERT_TRUE(thumbnails::stampOf(photo, stamp));
        const std::string file = cache.thumbnailPath(stamp.uri, c.flavour);
        int w = 0, h = 0;
        auto keys = pngKeys(file, w, h);
        EXPECT_EQ(w, c.expectW) << photo;
        EXPECT_EQ(h, c.expectH) << photo;
        EXPECT_EQ(keys["Thumb::URI"], "file://" + photo);
        EXPECT_EQ(keys["Thumb::MTime"], std::to_string(stamp.mtime));
        EXPECT_EQ(keys["Thumb::Size"], std::to_string(fs::file_size(photo)));
        EXPECT_EQ(keys["Thumb::Image::Width"], std::to_string(c.w));
        EXPECT_EQ(keys["Thumb::Image::Height"], std::to_string(c.h));
        EXPECT_EQ(modeOf(file), 0600u);
        EXPECT_EQ(modeOf(fs::path(file).parent_path()), 0700u);
        // Nothing but finished thumbnails is left in the folder.
        for (const auto& e : fs::directory_iterator(fs::path(file).parent_path()))
            EXPECT_EQ(e.path().extension(), ".png") << e.path();
        // A second run finds it.
        EXPECT_EQ(thumbnails::ensureCached(cache, photo, JPEG, c.flavour),
                  thumbnails::CacheOutcome::AlreadyCached);
    }
    EXPECT_EQ(modeOf(dir.file("cache")), 0700u);
    EXPECT_EQ(modeOf(dir.file("cache/thumbnails")), 0700u);
}

TEST(ThumbnailCache, StaleStampsRegenerate) {
    TempDir dir;
    const ThumbnailCache cache(dir.file("thumbnails"));
    const std::string photo = dir.file("a.jpg");
    ASSERT_TRUE(writePhoto(photo, 400, 300, JPEG, 1));
    setMTime(photo, 1000000000);
    ASSERT_EQ(thumbnails::ensureCached(cache, photo, JPEG, 0), thumbnails::CacheOutcome::Made);
    SourceStamp stamp;
    ASSERT_TRUE(thumbnails::stampOf(photo, stamp));
    CachedThumbnail found;
    ASSERT_TRUE(cache.lookup(stamp, 0, found));
    EXPECT_EQ(found.sourceWidth, 400);
    EXPECT_EQ(found.sourceHeight, 300);

    // Rewritten with a new time: the old thumbnail no longer counts and is made again.
    setMTime(photo, 1000000500);
    ASSERT_TRUE(thumbnails::stampOf(photo, stamp));
    EXPECT_FALSE(cache.lookup(stamp, 0, found));
    EXPECT_EQ(thumbnails::ensureCached(cache, photo, JPEG, 0), thumbnails::CacheOutcome::Made);
    int w = 0, h = 0;
    EXPECT_EQ(pngKeys(cache.thumbnailPath(stamp.uri, 0), w, h)["Thumb::MTime"], "1000000500");
    EXPECT_TRUE(cache.lookup(stamp, 0, found));

    // Same time, other size (or another file's URI): stale too.
    SourceStamp other = stamp;
    other.size += 1;
    EXPECT_FALSE(cache.lookup(other, 0, found));
    other = stamp;
    other.uri += "x";
    EXPECT_FALSE(cache.lookup(other, 0, found));
}

TEST(ThumbnailCache, ForeignThumbnailsAreUsed) {
    TempDir dir;
    const ThumbnailCache cache(dir.file("thumbnails"));
    const std::string photo = dir.file("b.jpg");
    ASSERT_TRUE(writePhoto(photo, 640, 480, JPEG));
    SourceStamp stamp;
    ASSERT_TRUE(thumbnails::stampOf(photo, stamp));
    writeForeignThumbnail(cache.thumbnailPath(stamp.uri, 0), 128, 96, stamp, 200);
    EXPECT_EQ(thumbnails::ensureCached(cache, photo, JPEG, 0),
              thumbnails::CacheOutcome::AlreadyCached);

    // The view's thumbnail at the default height comes from it: its colour, not the photo's.
    DibImage image;
    ASSERT_TRUE(thumbnails::cachedThumbnail(&cache, photo, JPEG, 50, true, image));
    EXPECT_EQ(image.width(), 66);  // 128 x 96 standing for the photo, at height 50
    EXPECT_EQ(image.height(), 50);
    const RgbQuad c = image.getPixelColor(10, 10);
    EXPECT_EQ(c.red, 200);
    EXPECT_EQ(c.green, 0);
    EXPECT_EQ(c.blue, 0);
}

TEST(ThumbnailCache, ViewTakesTheSmallestCoveringSize) {
    TempDir dir;
    const ThumbnailCache cache(dir.file("thumbnails"));
    const std::string photo = dir.file("c.jpg");
    ASSERT_TRUE(writePhoto(photo, 3000, 2000, JPEG));
    SourceStamp stamp;
    ASSERT_TRUE(thumbnails::stampOf(photo, stamp));
    const struct {
        int32_t t;
        int flavour;  // made by the lookup
    } cases[] = {{50, 0}, {80, 0}, {90, 1}, {200, 2}, {600, 3}};
    for (const auto& c : cases) {
        DibImage image;
        ASSERT_TRUE(thumbnails::cachedThumbnail(&cache, photo, JPEG, c.t, true, image));
        const auto expected = thumbnails::thumbnailSize(3000, 2000, c.t);
        EXPECT_EQ(image.width(), expected.width) << c.t;
        EXPECT_EQ(image.height(), expected.height) << c.t;
        EXPECT_TRUE(fs::exists(cache.thumbnailPath(stamp.uri, c.flavour))) << c.t;
        if (c.flavour > 0) {
            EXPECT_TRUE(fs::exists(cache.thumbnailPath(stamp.uri, c.flavour - 1))) << c.t;
        }
    }
    // The normal one is the one read at height 50: replaced by a foreign one, it shows.
    writeForeignThumbnail(cache.thumbnailPath(stamp.uri, 0), 128, 85, stamp, 77);
    DibImage image;
    ASSERT_TRUE(thumbnails::cachedThumbnail(&cache, photo, JPEG, 50, true, image));
    EXPECT_EQ(image.getPixelColor(3, 3).red, 77);
    // A panorama at height 50 is 400 wide: normal cannot cover it, x-large can.
    const std::string wide = dir.file("wide.jpg");
    ASSERT_TRUE(writePhoto(wide, 4000, 500, JPEG));
    ASSERT_TRUE(thumbnails::cachedThumbnail(&cache, wide, JPEG, 50, true, image));
    EXPECT_EQ(image.width(), 400);
    ASSERT_TRUE(thumbnails::stampOf(wide, stamp));
    EXPECT_TRUE(fs::exists(cache.thumbnailPath(stamp.uri, 2)));
}

TEST(ThumbnailCache, FailuresAreRecordedAndKept) {
    TempDir dir;
    const ThumbnailCache cache(dir.file("thumbnails"));
    const std::string photo = dir.file("broken.jpg");
    testing_support::writeBytes(photo, {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3});
    EXPECT_EQ(thumbnails::ensureCached(cache, photo, JPEG, 0), thumbnails::CacheOutcome::Failed);
    SourceStamp stamp;
    ASSERT_TRUE(thumbnails::stampOf(photo, stamp));
    EXPECT_TRUE(fs::exists(cache.failurePath(stamp.uri)));
    EXPECT_EQ(modeOf(cache.failurePath(stamp.uri)), 0600u);
    EXPECT_TRUE(cache.failed(stamp));
    DibImage image;
    EXPECT_FALSE(thumbnails::cachedThumbnail(&cache, photo, JPEG, 50, true, image));
    EXPECT_FALSE(image.isValid());
    // Mended later (a new time): the failure no longer counts.
    ASSERT_TRUE(writePhoto(photo, 300, 200, JPEG));
    setMTime(photo, 1500000000);
    ASSERT_TRUE(thumbnails::stampOf(photo, stamp));
    EXPECT_FALSE(cache.failed(stamp));
    EXPECT_EQ(thumbnails::ensureCached(cache, photo, JPEG, 0), thumbnails::CacheOutcome::Made);
}

TEST(ThumbnailCache, FilesInsideTheCacheGetNone) {
    TempDir dir;
    const ThumbnailCache cache(dir.file("thumbnails"));
    const std::string inside = dir.file("thumbnails/normal/x.png");
    fs::create_directories(dir.file("thumbnails/normal"));
    ASSERT_TRUE(writePhoto(inside, 200, 100, PNG));
    EXPECT_TRUE(cache.holds(inside));
    EXPECT_FALSE(cache.holds(dir.file("thumbnails2/x.png")));
    DibImage image;
    ASSERT_TRUE(thumbnails::cachedThumbnail(&cache, inside, PNG, 50, true, image));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("thumbnails/normal")),
                            fs::directory_iterator()),
              1);
}
