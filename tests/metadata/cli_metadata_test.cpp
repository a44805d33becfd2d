// vantifex-cli and metadata: enhance carries it or, with --strip-metadata, writes none; info
// prints orientation, camera, date taken and the colour profile; exiftool checks the files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "metadata/photo_metadata.h"
#include "tests/cli/cli_run.h"
#include "tests/metadata/metadata_fixtures.h"
#include "workflow/photo_saving.h"

namespace {

using namespace metadata_test;

// Runs the built tool; stdout comes back, the exit status in *status.
std::string runCli(const std::vector<std::string>& args, int* status) {
    const cli_testing::CliRun run = cli_testing::runTool(args);
    *status = run.status;
    return run.out;
}
struct Outputs {
    std::string carried, stripped, png;
};

// The tagged photo (stored for orientation 6) through enhance, with and without stripping,
// and through the "enh_" save path into PNG.
Outputs makeOutputs(const TempDir& dir) {
    const std::string source = dir.file("photo.jpg");
    writeBytes(source, encode(storedFor(uprightCard(), 6), JPEG, 90));
    addFullMetadata(source, 6);
    Outputs o{dir.file("keep/enh_photo.jpg"), dir.file("strip/enh_photo.jpg"),
              dir.file("enh_photo.png")};
    int status = -1;
    runCli({"enhance", "--brightness", "5", source, "-o", dir.file("keep")}, &status);
    EXPECT_EQ(status, 0);
    runCli({"enhance", "--strip-metadata", "--jobs", "2", source, "-o", dir.file("strip")},
           &status);
    EXPECT_EQ(status, 0);
    PhotoEdit photo;
    EXPECT_TRUE(loadForSaving(source, photo));
    EXPECT_TRUE(enhanceAndWrite(photo, EnhancementSettings{}, o.png, nullptr, false));
    return o;
}

TEST(CliMetadata, EnhanceCarriesOrStripsTheMetadata) {
    TempDir dir;
    const Outputs o = makeOutputs(dir);
    for (const std::string& path : {o.carried, o.stripped}) {
        DibImage copy;
        ASSERT_TRUE(copy.loadFromFile(path.c_str(), JPEG)) << path;
        EXPECT_EQ(copy.width(), 64);  // upright either way
        EXPECT_EQ(copy.height(), 48);
    }
    const PhotoMetadata carried = readMetadata(o.carried);
    EXPECT_EQ(carried.cameraMake, kMake);
    EXPECT_EQ(carried.orientation, 1);
    EXPECT_EQ(carried.icc, iccProfile());
    EXPECT_EQ(carried.comment, kComment);
    const Found stripped = readWithExiv2(o.stripped);
    EXPECT_EQ(stripped.exif, "\n");
    EXPECT_EQ(stripped.xmp, "\n");
    EXPECT_EQ(stripped.iptc, "\n");
    EXPECT_TRUE(stripped.icc.empty());
    EXPECT_EQ(stripped.comment, "");
}

TEST(CliMetadata, InfoPrintsWhatTheCameraWrote) {
    TempDir dir;
    const std::string source = dir.file("photo.jpg");
    writeBytes(source, encode(uprightCard(), JPEG));
    addFullMetadata(source, 6);
    int status = -1;
    const std::string out = runCli({"info", source}, &status);
    EXPECT_EQ(status, 0);
    const std::string tail = std::string("orientation: 6\ncamera: ") + kMake + " " + kModel +
                             "\ndateTaken: " + kDate + "\niccProfile: yes\nsettings: none\n";
    ASSERT_GE(out.size(), tail.size()) << out;
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out;
    // The sizes are the picture as stored.
    EXPECT_NE(out.find("width: 64\n"), std::string::npos);
}

// exiftool is a reader independent of Exiv2; install-deps brings it, so CI always runs this.
TEST(CliMetadata, ExiftoolSeesTheSameMetadata) {
    if (!haveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    TempDir dir;
    const Outputs o = makeOutputs(dir);

    const std::string jpeg = exiftoolJson(o.carried);
    ASSERT_FALSE(jpeg.empty());
    EXPECT_TRUE(jsonHas(jpeg, "EXIF:Make", std::string("\"") + kMake + "\"")) << jpeg;
    EXPECT_TRUE(jsonHas(jpeg, "EXIF:Model", "\"VT-1\""));
    EXPECT_TRUE(jsonHas(jpeg, "EXIF:DateTimeOriginal", std::string("\"") + kDate + "\""));
    EXPECT_TRUE(jsonHas(jpeg, "EXIF:GPSLatitude", "52.5"));
    EXPECT_TRUE(jsonHas(jpeg, "EXIF:GPSLongitude", "13.4"));
    EXPECT_TRUE(jsonHas(jpeg, "EXIF:Orientation", "1"));
    EXPECT_TRUE(jsonHas(jpeg, "EXIF:ExifImageWidth", "64"));
    EXPECT_TRUE(jsonHas(jpeg, "EXIF:ExifImageHeight", "48"));
    EXPECT_TRUE(jsonHas(jpeg, "XMP:Title", std::string("\"") + kTitle + "\""));
    EXPECT_TRUE(jsonHas(jpeg, "XMP:Orientation", "1"));
    EXPECT_TRUE(jsonHas(jpeg, "IPTC:Caption-Abstract", std::string("\"") + kCaption + "\""));
    EXPECT_TRUE(jsonHas(jpeg, "File:Comment", std::string("\"") + kComment + "\""));
    EXPECT_TRUE(jsonHas(jpeg, "ICC_Profile:ProfileClass", "\"mntr\""));
    EXPECT_EQ(jpeg.find("ThumbnailImage"), std::string::npos);
    EXPECT_EQ(jpeg.find("ThumbnailOffset"), std::string::npos);

    const std::string png = exiftoolJson(o.png);
    EXPECT_TRUE(jsonHas(png, "EXIF:Make", std::string("\"") + kMake + "\"")) << png;
    EXPECT_TRUE(jsonHas(png, "EXIF:Orientation", "1"));
    EXPECT_TRUE(jsonHas(png, "EXIF:GPSLatitude", "52.5"));
    EXPECT_TRUE(jsonHas(png, "XMP:Title", std::string("\"") + kTitle + "\""));
    EXPECT_TRUE(jsonHas(png, "ICC_Profile:ProfileClass", "\"mntr\""));
    EXPECT_EQ(png.find("ThumbnailImage"), std::string::npos);

    const std::string stripped = exiftoolJson(o.stripped);
    ASSERT_FALSE(stripped.empty());
    for (const char* group : {"EXIF:", "XMP:", "IPTC:", "ICC_Profile:", "File:Comment"})
        EXPECT_FALSE(jsonHasGroup(stripped, group)) << group << "\n" << stripped;
}

}  // namespace
