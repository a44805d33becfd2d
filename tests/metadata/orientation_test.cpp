// Photos stored in any of the eight EXIF orientations load as the same upright picture, in the
// editor and through the load the thumbnails use; without an orientation nothing changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "browse/thumbnail_maker.h"
#include "enhance/photo_edit.h"
#include "metadata/photo_metadata.h"
#include "support/dng_maker.h"
#include "tests/metadata/metadata_fixtures.h"

namespace {

using namespace metadata_test;

// The largest channel difference between two pictures of one size; -1 for different sizes.
int largestDifference(const DibImage& a, const DibImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) return -1;
    int most = 0;
    for (int32_t y = 0; y < a.height(); ++y)
        for (int32_t x = 0; x < a.width(); ++x) {
            const RgbQuad p = a.getPixelColor(x, y), q = b.getPixelColor(x, y);
            most = std::max({most, std::abs(p.red - q.red), std::abs(p.green - q.green),
                             std::abs(p.blue - q.blue)});
        }
    return most;
}

TEST(StoredOrientation, TableMatchesTheTurnsItNames) {
    // The test's own table against plain reasoning: 6 needs a clockwise quarter turn, so the
    // upright top-left corner is stored at the bottom-left (first column, last row).
    const DibImage card = uprightCard();
    const DibImage six = storedFor(card, 6);
    ASSERT_EQ(six.width(), 48);
    ASSERT_EQ(six.height(), 64);
    EXPECT_EQ(topDown(six, 0, 63), topDown(card, 0, 0));
    EXPECT_EQ(topDown(six, 47, 0), topDown(card, 63, 47));
    EXPECT_EQ(topDown(storedFor(card, 3), 0, 0), topDown(card, 63, 47));
    EXPECT_TRUE(sameImage(storedFor(card, 1), card));
}

TEST(OrientUpright, TurnsEveryStoredOrientationBack) {
    const DibImage card = uprightCard();
    for (int o = 1; o <= 8; ++o) {
        DibImage image = storedFor(card, o);
        ASSERT_TRUE(orientUpright(image, o)) << o;
        std::string why;
        EXPECT_TRUE(sameImage(image, card, &why)) << "orientation " << o << ": " << why;
    }
}

TEST(OrientUpright, OtherValuesLeaveThePictureBitForBit) {
    const DibImage stored = storedFor(uprightCard(), 6);
    for (int o : {0, 1, 9, -1, 255, 65535}) {
        DibImage image = stored;
        ASSERT_TRUE(orientUpright(image, o));
        ASSERT_EQ(image.totalSize(), stored.totalSize());
        EXPECT_EQ(std::memcmp(image.block(), stored.block(), stored.totalSize()), 0) << o;
    }
}

TEST(LoadUpright, EightOrientationsLoadAsOnePicture) {
    TempDir dir;
    const DibImage card = uprightCard();
    struct Format {
        uint32_t type;
        const char* extension;
        int tolerance;  // JPEG is lossy: the same flat blocks, not the same bytes
    };
    for (const Format& f : {Format{PNG, ".png", 0}, Format{JPEG, ".jpg", 12}}) {
        DibImage reference;  // the first load, to which all others must come out equal
        DibImage referenceThumbnail;
        for (int o = 1; o <= 8; ++o) {
            const std::string path = dir.file("o" + std::to_string(o) + f.extension);
            writeBytes(path, encode(storedFor(card, o), f.type, 100));
            setOrientation(path, o);

            PhotoEdit photo;
            photo.load(path);
            DibImage thumbnail;
            PhotoMetadata metadata;
            ASSERT_TRUE(loadUpright(thumbnail, path, f.type, &metadata)) << path;
            EXPECT_EQ(metadata.orientation, o) << path;
            ASSERT_EQ(photo.width(), 64) << path;
            ASSERT_EQ(photo.height(), 48) << path;
            std::string why;
            EXPECT_TRUE(sameImage(photo.image, thumbnail, &why)) << path << ": " << why;
            // The thumbnail (reduced JPEG decode) and the preview (reduced to 32 x 24) too.
            DibImage small;
            ASSERT_TRUE(thumbnails::makeThumbnail(path, f.type, 24, true, small)) << path;
            ASSERT_EQ(small.width(), 32) << path;
            PhotoEdit preview;
            preview.loadForPreview(path, 32, 24);
            ASSERT_EQ(preview.width(), f.type == JPEG ? 32 : 64) << path;
            if (o == 1) referenceThumbnail = small;
            EXPECT_LE(largestDifference(small, referenceThumbnail), f.tolerance) << path;
            if (o == 1) reference = photo.image;
            EXPECT_LE(largestDifference(photo.image, reference), f.tolerance) << path;
            if (f.tolerance == 0) {
                EXPECT_TRUE(sameImage(photo.image, card, &why)) << why;
            }
            // Block centres, away from the chroma blur at block edges, hold the card's colours.
            for (int32_t y = 8; y < 48; y += 16)
                for (int32_t x = 8; x < 64; x += 16) {
                    const RgbQuad got = topDown(photo.image, x, y), want = topDown(card, x, y);
                    EXPECT_LE(std::abs(got.red - want.red), f.tolerance) << path;
                    EXPECT_LE(std::abs(got.green - want.green), f.tolerance) << path;
                    EXPECT_LE(std::abs(got.blue - want.blue), f.tolerance) << path;
                }
        }
    }
}

TEST(LoadUpright, TheEditorsRotationComesOnTop) {
    TempDir dir;
    const DibImage card = uprightCard();
    const std::string path = dir.file("six.png");
    writeBytes(path, encode(storedFor(card, 6), PNG));
    setOrientation(path, 6);
    PhotoEdit photo;
    photo.load(path);
    ASSERT_TRUE(photo.rotateQuarter(0));  // one turn clockwise of the upright picture
    DibImage expected = card;
    ASSERT_TRUE(expected.rotateRight());
    std::string why;
    EXPECT_TRUE(sameImage(photo.image, expected, &why)) << why;
}

TEST(LoadUpright, WithoutOrientationThePixelsAreTheDecodersOwn) {
    // Full metadata but orientation 1, 0 (not a valid value) or 9: exactly the decoded bytes.
    TempDir dir;
    for (int o : {1, 0, 9}) {
        const std::string path = dir.file("plain" + std::to_string(o) + ".jpg");
        writeBytes(path, encode(uprightCard(), JPEG));
        addFullMetadata(path, o);
        DibImage decoded;
        ASSERT_TRUE(decoded.loadFromFile(path.c_str(), JPEG));
        PhotoEdit photo;
        photo.load(path);
        ASSERT_TRUE(photo.image.isValid()) << o;
        ASSERT_EQ(photo.image.totalSize(), decoded.totalSize()) << o;
        EXPECT_EQ(std::memcmp(photo.image.block(), decoded.block(), decoded.totalSize()), 0) << o;
        ASSERT_TRUE(photo.metadata) << o;
        EXPECT_EQ(photo.metadata->orientation, o == 1 ? 1 : 0);
    }
}

TEST(LoadUpright, FormatsWithoutMetadataAndFailedDecodes) {
    TempDir dir;
    const DibImage card = uprightCard();
    for (uint32_t type : {BMP, TGA}) {
        const std::string path = dir.file("card" + std::to_string(type));
        writeBytes(path, encode(card, type));
        DibImage image;
        PhotoMetadata metadata;
        ASSERT_TRUE(loadUpright(image, path, type, &metadata)) << type;
        EXPECT_TRUE(metadata.empty());
        EXPECT_TRUE(sameImage(image, card));
    }
    // A JPEG named for PNG: the decode fails and nothing else is tried.
    const std::string wrong = dir.file("wrong.png");
    writeBytes(wrong, encode(card, JPEG));
    setOrientation(wrong, 6);
    DibImage image;
    PhotoMetadata metadata;
    EXPECT_FALSE(loadUpright(image, wrong, PNG, &metadata));
    EXPECT_FALSE(image.isValid());
    EXPECT_EQ(metadata.orientation, 0);
    EXPECT_FALSE(loadUpright(image, dir.file("missing.jpg"), JPEG));
}

TEST(LoadUpright, TiffIsTurnedByItsCodecOnlyOnce) {
    // The TIFF orientation tag is the EXIF one; the codec applies it (grey pictures take the
    // strip route that turns them), so it must not be applied a second time.
    TempDir dir;
    DibImage grey = storedFor(uprightCard(), 8);
    ASSERT_TRUE(grey.grayScale());
    const std::string path = dir.file("grey.tif");
    writeBytes(path, encode(grey, TIFF));
    setOrientation(path, 8);
    DibImage decoded, upright;
    ASSERT_TRUE(decoded.loadFromFile(path.c_str(), TIFF)) << decoded.lastError();
    ASSERT_EQ(decoded.width(), 64);  // the codec turned it
    PhotoMetadata metadata;
    ASSERT_TRUE(loadUpright(upright, path, TIFF, &metadata));
    EXPECT_EQ(metadata.orientation, 8);
    EXPECT_TRUE(sameImage(upright, decoded));
}

TEST(LoadUpright, RawIsTurnedByItsCodecOnlyOnce) {
    // LibRaw develops a RAW upright; its EXIF orientation repeats what was applied.
    TempDir dir;
    const std::string path = dir.file("sideways.dng");
    ASSERT_TRUE(dng_maker::writeDng(path, {64, 48, 6, 32}));
    for (const int32_t wish : {0, 24}) {
        DibImage decoded, upright;
        ASSERT_TRUE(decoded.loadReduced(path.c_str(), RAW, wish, wish)) << decoded.lastError();
        ASSERT_EQ(decoded.height(), wish ? 32 : 64);  // the codec turned it
        PhotoMetadata metadata;
        ASSERT_TRUE(loadUpright(upright, path, RAW, &metadata, wish, wish));
        EXPECT_EQ(metadata.orientation, 6);
        EXPECT_TRUE(sameImage(upright, decoded)) << wish;
    }
}

TEST(LoadUpright, JpegXlIsTurnedByItsDecoderOnlyOnce) {
    // cjxl takes a JPEG's EXIF orientation into the codestream, which libjxl applies; the
    // Exif box exiftool then adds repeats it and must not turn the picture a second time.
    if (std::system("command -v cjxl >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cjxl is not installed";
    if (!haveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    TempDir dir;
    const std::string jpeg = dir.file("stored.jpg"), jxl = dir.file("stored.jxl");
    writeBytes(jpeg, encode(storedFor(uprightCard(), 6), JPEG, 95));
    setOrientation(jpeg, 6);
    ASSERT_EQ(
        std::system(("cjxl '" + jpeg + "' '" + jxl + "' -j 0 -d 0 --quiet 2>/dev/null").c_str()),
        0);
    ASSERT_EQ(
        std::system(("exiftool -q -overwrite_original -n -Orientation=6 '" + jxl + "'").c_str()),
        0);
    DibImage decoded, upright;
    ASSERT_TRUE(decoded.loadFromFile(jxl.c_str(), JXL)) << decoded.lastError();
    ASSERT_EQ(decoded.width(), 64);  // the decoder turned it
    PhotoMetadata metadata;
    ASSERT_TRUE(loadUpright(upright, jxl, JXL, &metadata));
    EXPECT_EQ(metadata.orientation, 6);
    EXPECT_TRUE(sameImage(upright, decoded));
    // Upright as the JPEG itself loads upright through its EXIF tag (cjxl decoded the JPEG
    // with its own DCT, hence not exactly).
    DibImage viaJpeg;
    ASSERT_TRUE(loadUpright(viaJpeg, jpeg, JPEG));
    const int difference = largestDifference(upright, viaJpeg);
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, 8);
}

}  // namespace
