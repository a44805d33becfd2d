// What Exiv2 0.27 misses in phone formats: a HEIC photo's EXIF is read through libheif (its
// orientation not applied twice, a JPEG copy carries it upright), a JPEG XL's ICC profile
// through libjxl.
#include <gtest/gtest.h>

#include <cstdlib>

#include "metadata/metadata_fixtures.h"
#include "metadata/photo_metadata.h"
#include "support/dng_maker.h"

using namespace metadata_test;

namespace {

TEST(HeifMetadata, ExifIsReadAndCarriedIntoTheJpegCopy) {
    if (std::system("command -v heif-enc >/dev/null 2>&1") != 0) GTEST_SKIP() << "heif-enc missing";
    TempDir dir;
    const std::string jpeg = dir.file("source.jpg"), heic = dir.file("photo.heic");
    writeBytes(jpeg, encode(uprightCard(), JPEG, 95));
    addFullMetadata(jpeg, 6);
    ASSERT_EQ(std::system(("heif-enc -q 90 " + jpeg + " -o " + heic + " >/dev/null 2>&1").c_str()),
              0);

    DibImage picture;
    PhotoMetadata read;
    ASSERT_TRUE(loadUpright(picture, heic, HEIF, &read));
    EXPECT_EQ(read.orientation, 6);
    EXPECT_EQ(read.cameraMake, kMake);
    EXPECT_EQ(read.dateTaken, kDate);
    // libheif applies the file's own transformations; the EXIF tag is not applied again.
    EXPECT_EQ(picture.width(), 64);

    const std::string copy = dir.file("enh_photo.jpg");
    ASSERT_TRUE(saveWithMetadata(picture, copy, JPEG, &read));
    const Found found = readWithExiv2(copy);
    EXPECT_TRUE(found.has("exif", "Exif.Image.Make", kMake)) << found.exif;
    EXPECT_TRUE(found.has("exif", "Exif.Image.Orientation", "1")) << found.exif;
}

TEST(JxlMetadata, TheProfileIsTheOneDjxlReports) {
    if (std::system("command -v cjxl && command -v djxl >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cjxl or djxl missing";
    TempDir dir;
    const std::string png = dir.file("tagged.png"), jxl = dir.file("tagged.jxl");
    PhotoMetadata tagged;
    tagged.icc = iccProfile();
    DibImage card = uprightCard();
    ASSERT_TRUE(saveWithMetadata(card, png, PNG, &tagged));
    ASSERT_EQ(std::system(("cjxl " + png + " " + jxl + " -d 0 --quiet >/dev/null 2>&1").c_str()),
              0);
    const std::string icc = dir.file("icc.bin");
    ASSERT_EQ(std::system(("djxl " + jxl + " " + dir.file("out.png") + " --orig_icc_out=" + icc +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    const PhotoMetadata read = readMetadata(jxl);
    EXPECT_FALSE(read.icc.empty());
    EXPECT_EQ(read.icc, readBytes(icc));
}

TEST(RawMetadata, TheJpegCopyKeepsTheCameraButNotTheRawStructure) {
    TempDir dir;
    const std::string dng = dir.file("shot.dng"), copy = dir.file("enh_shot.jpg");
    ASSERT_TRUE(dng_maker::writeDng(dng, {}));
    DibImage picture;
    PhotoMetadata read;
    ASSERT_TRUE(loadUpright(picture, dng, RAW, &read));
    ASSERT_TRUE(saveWithMetadata(picture, copy, JPEG, &read));
    const Found found = readWithExiv2(copy);
    EXPECT_TRUE(found.has("exif", "Exif.Image.Make", "Vantifex")) << found.exif;
    for (const char* key : {"BitsPerSample", "CFAPattern", "DNGVersion", "StripOffsets"})
        EXPECT_EQ(found.exif.find(std::string("Exif.Image.") + key), std::string::npos) << key;
}

}  // namespace
