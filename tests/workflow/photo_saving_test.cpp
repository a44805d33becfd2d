// The output options a corrected copy is written with: quality of JPEG and lossy WebP, PNG's
// compression level. Default options must give the very bytes of a plain save; other values
// must change the file the way the format says (smaller, larger, pixels kept or not).
#include "workflow/photo_saving.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/test_support.h"

using testing_support::readBytes;
using testing_support::TempDir;

namespace {

// A smooth picture with a little noise: it compresses, and lossy formats lose detail of it.
DibImage gradient() {
    DibImage image(96, 64, 24, BMP);
    uint32_t seed = 7;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = int(seed >> 28);
            image.setPixelColor(x, y, RgbQuad{uint8_t(128 + noise), uint8_t(y * 3),
                                              uint8_t(x * 2 + noise), 0});
        }
    return image;
}

// The source written as PNG, then saved through enhanceAndWrite with the options.
std::vector<uint8_t> saveCopy(const TempDir& dir, const std::string& name,
                              const OutputOptions& output) {
    const std::string source = dir.file("source.png");
    if (!std::filesystem::exists(source)) EXPECT_TRUE(gradient().saveToFile(source.c_str(), PNG));
    PhotoEdit photo;
    EXPECT_TRUE(loadForSaving(source, photo));
    EnhancementSettings settings;
    settings.output = output;
    EXPECT_TRUE(enhanceAndWrite(photo, settings, dir.file(name), nullptr, false)) << name;
    return readBytes(dir.file(name));
}

// Mean absolute difference of the saved copy from the source's pixels.
double errorOf(const std::string& path) {
    DibImage a = gradient();
    PhotoEdit photo;
    EXPECT_TRUE(loadForSaving(path, photo)) << path;
    const DibImage& b = photo.image;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const RgbQuad p = a.getPixelColor(x, y), q = b.getPixelColor(x, y);
            sum += std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue);
        }
    return sum / (3.0 * a.width() * a.height());
}

TEST(PhotoSaving, QualityAndCompressionChangeTheFileAsTheFormatSays) {
    struct Case {
        const char* ext;
        int quality, compression;
        bool lossless;
    };
    // Each row of a format: from the one that should give the largest file to the smallest.
    const std::vector<std::vector<Case>> formats = {
        {{".jpg", 100, -1, false}, {".jpg", 75, -1, false}, {".jpg", 20, -1, false}, {".jpg", 1, -1, false}},
        {{".webp", 95, -1, false}, {".webp", 50, -1, false}, {".webp", 5, -1, false}},
        {{".png", 75, 0, true}, {".png", 75, 1, true}, {".png", 75, 9, true}},
    };
    TempDir dir;
    for (const auto& row : formats) {
        size_t previousSize = SIZE_MAX;
        double previousError = -1;
        for (const Case& c : row) {
            OutputOptions output;
            output.jpegQuality = c.quality;
            output.pngCompression = c.compression;
            const std::string name = "q" + std::to_string(c.quality) + "c" +
                                     std::to_string(c.compression) + c.ext;
            const std::vector<uint8_t> bytes = saveCopy(dir, name, output);
            const double error = errorOf(dir.file(name));
            EXPECT_LT(bytes.size(), previousSize) << name;
            if (c.lossless)
                EXPECT_EQ(error, 0) << name;
            else
                EXPECT_GE(error, previousError) << name;
            previousSize = bytes.size();
            previousError = error;
        }
    }
}

TEST(PhotoSaving, DefaultOptionsWriteThePlainSavesBytes) {
    TempDir dir;
    for (const char* ext : {".jpg", ".png", ".webp", ".tif"}) {
        const std::vector<uint8_t> copy = saveCopy(dir, std::string("default") + ext, {});
        // The same photo saved without any output options, as before they existed.
        PhotoEdit photo;
        ASSERT_TRUE(loadForSaving(dir.file("source.png"), photo));
        const std::string plain = dir.file(std::string("plain") + ext);
        ASSERT_TRUE(photo.saveFile(plain, 0)) << plain;
        EXPECT_EQ(copy, readBytes(plain)) << ext;
    }
}

TEST(PhotoSaving, OutOfRangeValuesAreHeldToTheirLimits) {
    TempDir dir;
    const struct {
        int quality, compression, sameQuality, sameCompression;
        const char* ext;
    } cases[] = {{500, -1, 100, -1, ".jpg"}, {-3, -1, 1, -1, ".jpg"}, {75, 40, 75, 9, ".png"},
                 {75, -9, 75, -1, ".png"}};
    for (const auto& c : cases) {
        const std::string tag = std::to_string(c.quality) + "_" + std::to_string(c.compression);
        const auto wild = saveCopy(dir, "wild" + tag + c.ext, {c.quality, c.compression});
        const auto held = saveCopy(dir, "held" + tag + c.ext, {c.sameQuality, c.sameCompression});
        EXPECT_EQ(wild, held) << tag << c.ext;
    }
}

}  // namespace
