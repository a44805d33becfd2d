// The output name rule, the "autoset" folders, the batch's photo test and its summary.
#include "workflow/output_rules.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_support.h"

TEST(OutputRules, OutputNameIsEnhPlusSourceFileName) {
    EXPECT_EQ(outputNameFor("/photos/enhanced", "/photos/a.JPG"), "/photos/enhanced/enh_a.JPG");
    EXPECT_EQ(outputNameFor("/out/", "/photos/x.gif"), "/out/enh_x.gif");
    EXPECT_EQ(outputNameFor("", "/photos/c.png"), "enh_c.png");
    EXPECT_EQ(outputNameFor("/out", "plain.bmp"), "/out/enh_plain.bmp");
    // The second separator splits a name only when there is no '/'.
    EXPECT_EQ(outputNameFor("/out", "C:\\x\\y.png"), "/out/enh_y.png");
    EXPECT_EQ(outputNameFor("/out", "/a\\b/c.jpg"), "/out/enh_c.jpg");
    // What is only read, and icons, become PNG; every other name stays.
    EXPECT_EQ(outputNameFor("/out", "/p/Scan.PCX"), "/out/enh_Scan.png");
    EXPECT_EQ(outputNameFor("/out", "/p/app.ico"), "/out/enh_app.png");
    EXPECT_EQ(outputNameFor("/out", "/p/arrow.cur"), "/out/enh_arrow.png");
    EXPECT_EQ(outputNameFor("/out", "/p.pcx/a.tif"), "/out/enh_a.tif");
    EXPECT_EQ(outputNameFor("/out", "/p/z.dib"), "/out/enh_z.dib");
}

TEST(OutputRules, AutosetIsTheEnhancedSubFolder) {
    EXPECT_EQ(autosetDirectory("/home/me/photos"), "/home/me/photos/enhanced");
    EXPECT_EQ(autosetDirectory("/home/me/photos/"), "/home/me/photos/enhanced");
    EXPECT_EQ(autosetDirectory("/"), "/enhanced");
    EXPECT_EQ(autosetDirectory(""), "enhanced");  // before any folder was chosen
}

TEST(OutputRules, BatchTakesFilesByContentThenByName) {
    testing_support::TempDir dir;
    std::filesystem::create_directories(dir.file("shots.png"));
    const std::vector<uint8_t> png =
        testing_support::readBytes(testing_support::dataPath("png/rgb8.png"));
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', '\n'};
    const struct {
        const char* name;
        const std::vector<uint8_t>* bytes;  // nullptr: no such file
        bool taken;
    } cases[] = {
        {"a.JPG", &png, true},      {"photo.tif", &png, true},  // the content speaks
        {"photo", &png, true},      {"b.txt", &png, true},
        {"c.png", &text, true},     {"z.DIB", &text, true},  // else the name does
        {"scan.tiff", &text, true}, {"gone.png", nullptr, true},
        {"b.txt", &text, false},    {"notes.jpg.txt", &text, false},
        {"jpg", &text, false},      {"shots.png/readme.txt", &text, false},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        if (c.bytes) testing_support::writeBytes(path, *c.bytes);
        EXPECT_EQ(isBatchPhoto(path), c.taken) << c.name;
    }
    // Never opened, so never waited on: a named pipe, a folder.
    ASSERT_EQ(mkfifo(dir.file("pipe.png").c_str(), 0600), 0);
    EXPECT_FALSE(isBatchPhoto(dir.file("pipe.png")));
    EXPECT_FALSE(isBatchPhoto(dir.file("shots.png")));
}

TEST(OutputRules, FinishedMessageLines) {
    EXPECT_EQ(finishedMessage(2, 0, 0), "Finished processing 2 images.");
    EXPECT_EQ(finishedMessage(0, 0, 0), "Finished processing 0 images.");
    EXPECT_EQ(finishedMessage(3, 1, 0), "Finished processing 3 images.\n1 could not be read.");
    EXPECT_EQ(finishedMessage(3, 2, 1),
              "Finished processing 3 images.\n2 could not be read.\n1 could not be written.");
    EXPECT_EQ(finishedMessage(1, 0, 1), "Finished processing 1 images.\n1 could not be written.");
}
