// Single thumbnails: the size rule, the JPEG frame reader, JPEG-compressed TIFF files and
// the reduced decode giving the same size as the whole decode.
#include "browse/thumbnail_maker.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "browse/photo_files.h"
#include "formats/format_detect.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using browse_testing::writePhoto;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;
using thumbnails::thumbnailSize;

TEST(ThumbnailMaker, SizeRule) {
    const struct {
        int32_t w, h, t, expectW, expectH;
    } cases[] = {
        {3000, 2000, 50, 75, 50},  // the default height
        {200, 50, 50, 204, 51},    // exactly T high: T + 1
        {100, 51, 50, 98, 50},     // one more than T: T
        {640, 480, 60, 80, 60},    //
        {10, 1000, 50, 1, 50},     // narrower than one pixel at T: one pixel
        {1, 1, 10, 10, 10},        // tiny photos grow
        {4000, 3000, 10, 13, 10},  // truncated, not rounded
        {0, 10, 50, 0, 0},         // nothing to scale
    };
    for (const auto& c : cases) {
        const auto s = thumbnailSize(c.w, c.h, c.t);
        EXPECT_EQ(s.width, c.expectW) << c.w << "x" << c.h << " at " << c.t;
        EXPECT_EQ(s.height, c.expectH) << c.w << "x" << c.h << " at " << c.t;
    }
}

TEST(ThumbnailMaker, JpegFrameSize) {
    TempDir dir;
    const std::string path = dir.file("a.jpg");
    ASSERT_TRUE(writePhoto(path, 321, 123, JPEG));
    int32_t w = 0, h = 0;
    ASSERT_TRUE(thumbnails::jpegFrameSize(path, w, h));
    EXPECT_EQ(w, 321);
    EXPECT_EQ(h, 123);

    // Cut short anywhere before the frame header, or no JPEG at all: no size, no hang.
    const std::vector<uint8_t> bytes = readBytes(path);
    for (size_t cut : {size_t(0), size_t(1), size_t(2), size_t(5), size_t(20)}) {
        writeBytes(dir.file("cut.jpg"),
                   std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        EXPECT_FALSE(thumbnails::jpegFrameSize(dir.file("cut.jpg"), w, h)) << cut;
    }
    ASSERT_TRUE(writePhoto(dir.file("b.png"), 5, 5, PNG));
    EXPECT_FALSE(thumbnails::jpegFrameSize(dir.file("b.png"), w, h));
    // A segment length of 0 or 1 is refused rather than walked backwards.
    writeBytes(dir.file("bad.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xC0});
    EXPECT_FALSE(thumbnails::jpegFrameSize(dir.file("bad.jpg"), w, h));
}

TEST(ThumbnailMaker, ReducedAndWholeDecodeGiveTheSameSize) {
    TempDir dir;
    const struct {
        int32_t w, h, t;
        uint32_t type;
    } cases[] = {{1600, 1200, 50, JPEG}, {1603, 1199, 50, JPEG}, {400, 50, 50, JPEG},
                 {401, 101, 50, JPEG},   {50, 800, 40, JPEG},    {300, 200, 50, PNG},
                 {120, 50, 50, BMP}};
    for (const auto& c : cases) {
        const std::string path = dir.file("p" + std::to_string(c.w) + "x" + std::to_string(c.h));
        ASSERT_TRUE(writePhoto(path, c.w, c.h, c.type));
        const auto expected = thumbnailSize(c.w, c.h, c.t);
        for (bool reduced : {false, true}) {
            DibImage image;
            ASSERT_TRUE(thumbnails::makeThumbnail(path, c.type, c.t, reduced, image))
                << path << " reduced " << reduced;
            EXPECT_EQ(image.width(), expected.width) << path << " reduced " << reduced;
            EXPECT_EQ(image.height(), expected.height) << path << " reduced " << reduced;
        }
    }
}

TEST(ThumbnailMaker, JpegCompressedTiffGetsAThumbnail) {
    TempDir dir;
    const std::string path = dir.file("photo.tif");
    ASSERT_TRUE(browse_testing::writeJpegTiff(path, 120, 80));
    for (bool reduced : {false, true}) {
        DibImage image;
        ASSERT_TRUE(thumbnails::makeThumbnail(path, TIFF, 50, reduced, image))
            << "reduced " << reduced << ": " << image.lastError();
        EXPECT_EQ(image.width(), 75) << "reduced " << reduced;
        EXPECT_EQ(image.height(), 50) << "reduced " << reduced;
    }
}

TEST(ThumbnailMaker, ABrokenPhotoGivesAnEmptyImage) {
    TempDir dir;
    const std::string path = dir.file("a.jpg");
    ASSERT_TRUE(writePhoto(path, 200, 100, JPEG));
    std::vector<uint8_t> bytes = readBytes(path);
    bytes.resize(200);  // the headers, hardly any scan data
    writeBytes(path, bytes);
    for (bool reduced : {false, true}) {
        DibImage image;
        thumbnails::makeThumbnail(path, JPEG, 50, reduced, image);
        // Whatever the codec makes of a cut scan, the thumbnail is either the rule's size
        // or empty, never the whole picture.
        if (image.isValid()) {
            EXPECT_EQ(image.width(), 100);
            EXPECT_EQ(image.height(), 50);
        }
    }
    writeBytes(path, {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0});
    DibImage image;
    EXPECT_FALSE(thumbnails::makeThumbnail(path, JPEG, 50, true, image));
    EXPECT_FALSE(image.isValid());
}
