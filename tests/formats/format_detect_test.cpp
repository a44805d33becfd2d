// The format detector: every good fixture is known by its bytes alone; the name decides only
// when the bytes say nothing, and folders never count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "formats/format_detect.h"
#include "image/dib_image.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

TEST(FormatDetect, EveryGoodFixtureIsKnownByItsContent) {
    TempDir temp;
    const struct {
        const char* folder;
        int type;
    } folders[] = {{"bmp", BMP},   {"gif", GIF}, {"jpeg", JPEG}, {"png", PNG},
                   {"tiff", TIFF}, {"tga", TGA}, {"pcx", PCX},   {"ico", ICO}};
    for (const auto& f : folders) {
        int checked = 0;
        for (const auto& entry : fs::directory_iterator(dataPath(f.folder))) {
            const std::string name = entry.path().filename().string();
            const std::string ext = entry.path().extension().string();
            if (name.rfind("bad-", 0) == 0 || ext == ".ppm" || ext == ".py" || ext == ".sh" ||
                ext == ".txt")
                continue;
            // Copied under a neutral name, so only the bytes can tell.
            const std::string copy = temp.file("detect-me");
            writeBytes(copy, readBytes(entry.path().string()));
            EXPECT_EQ(formats::contentFormatOfFile(copy), f.type) << f.folder << "/" << name;
            ++checked;
        }
        EXPECT_GT(checked, 0) << f.folder;
    }
}

TEST(FormatDetect, ContentFirstThenNameNeverFolders) {
    TempDir temp;
    const std::string dir = temp.path().string() + "/";
    fs::create_directories(dir + "a.png");
    const std::vector<uint8_t> png = readBytes(dataPath("png/rgb8.png"));
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', '\n'};
    const struct {
        const char* name;
        const std::vector<uint8_t>* bytes;
        int detected;  // content, then name
        int content;   // content alone
    } cases[] = {
        {"photo.jpg", &png, PNG, PNG},  // a PNG named .jpg is a PNG
        {"holiday.JPG", &png, PNG, PNG},
        {"notes.jpg.txt", &text, formats::kUnknownFormat, formats::kUnknownFormat},
        {"a.png/readme.txt", &text, formats::kUnknownFormat, formats::kUnknownFormat},
        {"x.Jpeg", &text, JPEG, formats::kUnknownFormat},  // the name speaks when bytes do not
        {"scan.TIFF", &text, TIFF, formats::kUnknownFormat},
        {"empty.png", nullptr, PNG, formats::kUnknownFormat},
    };
    for (const auto& c : cases) {
        const std::string path = dir + c.name;
        if (c.bytes)
            writeBytes(path, *c.bytes);
        else
            std::ofstream(path).close();
        EXPECT_EQ(formats::detectFileFormat(path), c.detected) << c.name;
        EXPECT_EQ(formats::contentFormatOfFile(path), c.content) << c.name;
    }
    EXPECT_EQ(formats::detectFileFormat(dir + "missing.bmp"), BMP);
    EXPECT_EQ(formats::contentFormatOfFile(dir + "missing.bmp"), formats::kUnknownFormat);
    EXPECT_EQ(formats::formatFromName("shots.bmp.d/photo"), formats::kUnknownFormat);
    EXPECT_EQ(formats::formatFromName(".png"), formats::kUnknownFormat);
    EXPECT_EQ(formats::formatFromName("icons/arrow.CUR"), ICO);
}

}  // namespace
