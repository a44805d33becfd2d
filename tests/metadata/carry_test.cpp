// Saved copies carry the source's metadata through the real save paths: the "enh_" copy, every
// output format, vantifex-cli enhance with and without --strip-metadata, and info's lines.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "metadata/photo_metadata.h"
#include "tests/metadata/metadata_fixtures.h"
#include "workflow/photo_saving.h"

namespace {

using namespace metadata_test;

// The tagged photo: the card stored for orientation 6, with the full set of metadata.
std::string writeTaggedPhoto(const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    writeBytes(path, encode(storedFor(uprightCard(), 6), JPEG, 90));
    addFullMetadata(path, 6);
    return path;
}

bool hasThumbnail(const Found& found) {
    return found.exif.find("\nExif.Thumbnail.") != std::string::npos;
}

TEST(CarryMetadata, EnhancedCopyKeepsWhatTheCameraWrote) {
    TempDir dir;
    const std::string source = writeTaggedPhoto(dir, "photo.jpg");
    const Found before = readWithExiv2(source);
    ASSERT_TRUE(hasThumbnail(before));
    ASSERT_TRUE(before.has("exif", "Exif.Photo.PixelXDimension", "48"));

    struct Case {
        int rotation;
        int width, height;  // the copy: upright, then the panel's turns
        const char* name;
    };
    for (const Case& c : {Case{0, 64, 48, "enh_photo.jpg"}, Case{1, 48, 64, "enh_turned.jpg"},
                          Case{0, 64, 48, "enh_photo.png"}}) {
        PhotoEdit photo;
        ASSERT_TRUE(loadForSaving(source, photo));
        EnhancementSettings settings;
        settings.rotation = c.rotation;
        settings.brightness = 10;
        std::string written;
        ASSERT_TRUE(enhanceAndWrite(photo, settings, dir.file(c.name), nullptr, false, &written));
        ASSERT_EQ(written, dir.file(c.name));
        const bool png = std::strstr(c.name, ".png") != nullptr;

        DibImage copy;
        ASSERT_TRUE(copy.loadFromFile(written.c_str(), png ? PNG : JPEG));
        EXPECT_EQ(copy.width(), c.width);
        EXPECT_EQ(copy.height(), c.height);
        const std::string w = std::to_string(c.width), h = std::to_string(c.height);

        const Found f = readWithExiv2(written);
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(f.has("exif", "Exif.Image.Make", kMake));
        EXPECT_TRUE(f.has("exif", "Exif.Image.Model", kModel));
        EXPECT_TRUE(f.has("exif", "Exif.Photo.DateTimeOriginal", kDate));
        EXPECT_TRUE(f.has("exif", "Exif.GPSInfo.GPSLatitudeRef", "N"));
        EXPECT_TRUE(f.has("exif", "Exif.GPSInfo.GPSLatitude", "52/1 30/1 0/1"));
        EXPECT_TRUE(f.has("exif", "Exif.GPSInfo.GPSLongitude", "13/1 24/1 0/1"));
        EXPECT_TRUE(f.has("exif", "Exif.Image.Orientation", "1"));
        EXPECT_TRUE(f.has("exif", "Exif.Photo.PixelXDimension", w));
        EXPECT_TRUE(f.has("exif", "Exif.Photo.PixelYDimension", h));
        EXPECT_FALSE(hasThumbnail(f)) << f.exif;
        EXPECT_TRUE(f.has("xmp", "Xmp.tiff.Orientation", "1")) << f.xmp;
        EXPECT_TRUE(f.has("xmp", "Xmp.xmp.Rating", "4"));
        EXPECT_NE(f.xmp.find(kTitle), std::string::npos);
        EXPECT_TRUE(f.has("iptc", "Iptc.Application2.Caption", kCaption)) << f.iptc;
        EXPECT_EQ(f.icc, iccProfile());
        if (!png) {
            EXPECT_EQ(f.comment, kComment);
        }
    }
}

TEST(CarryMetadata, WhatEachOutputFormatHolds) {
    TempDir dir;
    const PhotoMetadata metadata = readMetadata(writeTaggedPhoto(dir, "photo.jpg"));
    ASSERT_FALSE(metadata.empty());
    struct Case {
        uint32_t type;
        bool exif, xmp, iptc, icc, comment;
    };
    const Case cases[] = {
        {JPEG, true, true, true, true, true},     {PNG, true, true, true, true, true},
        {TIFF, true, true, true, true, false},    {BMP, false, false, false, false, false},
        {GIF, false, false, false, false, false}, {TGA, false, false, false, false, false},
        {ICO, false, false, false, false, false}, {WEBP, true, true, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        DibImage picture = uprightCard();
        if (c.type == GIF || c.type == ICO) picture = testing_support::randomImage(64, 48, 8, 5);
        const std::string plain = dir.file("plain" + std::to_string(c.type));
        const std::string carried = dir.file("carried" + std::to_string(c.type));
        ASSERT_TRUE(picture.saveToFile(plain.c_str(), c.type));
        ASSERT_TRUE(saveWithMetadata(picture, carried, c.type, &metadata));
        // The pictures are the same; only the metadata differs.
        DibImage a, b;
        ASSERT_TRUE(a.loadFromFile(plain.c_str(), c.type));
        ASSERT_TRUE(b.loadFromFile(carried.c_str(), c.type));
        EXPECT_TRUE(sameImage(a, b));
        if (!carriesMetadata(c.type)) {
            EXPECT_EQ(readBytes(plain), readBytes(carried));
            continue;
        }
        const Found f = readWithExiv2(carried);
        EXPECT_EQ(f.has("exif", "Exif.Image.Make", kMake), c.exif) << f.exif;
        EXPECT_EQ(f.has("exif", "Exif.Photo.PixelXDimension", "64"), c.exif);
        EXPECT_EQ(f.xmp.find(kTitle) != std::string::npos, c.xmp) << f.xmp;
        EXPECT_EQ(f.has("iptc", "Iptc.Application2.Caption", kCaption), c.iptc) << f.iptc;
        EXPECT_EQ(f.icc == iccProfile(), c.icc);
        EXPECT_EQ(f.comment == kComment, c.comment) << f.comment;
        EXPECT_FALSE(hasThumbnail(f));
    }
}

TEST(CarryMetadata, AFailedMetadataStepLeavesTheOldFileWhole) {
    // The metadata step runs on the temporary: when it fails, the earlier file stays as it was
    // and no temporary is left behind; when it succeeds, its rewrite is what lands.
    TempDir dir;
    const std::string path = dir.file("out.jpg");
    writeBytes(path, {'o', 'l', 'd'});
    DibImage picture = uprightCard();
    EXPECT_FALSE(
        picture.saveToFile(path.c_str(), JPEG, [](const char*, uint32_t) { return false; }));
    EXPECT_EQ(readBytes(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(picture.saveToFile(path.c_str(), JPEG, [](const char* temporary, uint32_t type) {
        writeBytes(temporary, {'n', 'e', 'w', uint8_t('0' + type)});
        return true;
    }));
    EXPECT_EQ(readBytes(path), (Bytes{'n', 'e', 'w', '2'}));
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);
}

}  // namespace
