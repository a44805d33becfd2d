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
            image.setPixelColor(
                x, y, RgbQuad{uint8_t(128 + noise), uint8_t(y * 3), uint8_t(x * 2 + noise), 0});
        }
    return image;
}

// The source written as PNG, then saved through enhanceAndWrite with the options.
std::vector<uint8_t> saveCopy(const TempDir& dir, const std::string& name,
                              const OutputOptions& output) {
    const std::string source = dir.file("source.png");
    if (!std::filesystem::exists(source)) {
        EXPECT_TRUE(gradient().saveToFile(source.c_str(), PNG));
    }
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
            sum +=
                std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue);
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
        {{".jpg", 100, -1, false},
         {".jpg", 75, -1, false},
         {".jpg", 20, -1, false},
         {".jpg", 1, -1, false}},
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
            const std::string name =
                "q" + std::to_string(c.quality) + "c" + std::to_string(c.compression) + c.ext;
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
    } cases[] = {{500, -1, 100, -1, ".jpg"},
                 {-3, -1, 1, -1, ".jpg"},
                 {75, 40, 75, 9, ".png"},
                 {75, -9, 75, -1, ".png"}};
    for (const auto& c : cases) {
        const std::string tag = std::to_string(c.quality) + "_" + std::to_string(c.compression);
        const auto wild = saveCopy(dir, "wild" + tag + c.ext, {c.quality, c.compression});
        const auto held = saveCopy(dir, "held" + tag + c.ext, {c.sameQuality, c.sameCompression});
        EXPECT_EQ(wild, held) << tag << c.ext;
    }
}

TEST(PhotoSaving, ResizeOnExport) {
    struct Case {
        int32_t w, h;
        ResizeMode mode;
        int value;
        bool enlarge;
        int32_t wantW, wantH;
    } cases[] = {
        {4000, 3000, ResizeMode::None, 1600, false, 4000, 3000},
        {4000, 3000, ResizeMode::LongEdge, 1600, false, 1600, 1200},
        {3000, 4000, ResizeMode::LongEdge, 1600, false, 1200, 1600},
        {1001, 333, ResizeMode::LongEdge, 100, false, 100, 33},
        {800, 600, ResizeMode::LongEdge, 1600, false, 800, 600},
        {800, 600, ResizeMode::LongEdge, 1600, true, 1600, 1200},
        {800, 600, ResizeMode::Percent, 50, false, 400, 300},
        {801, 601, ResizeMode::Percent, 50, false, 401, 301},
        {800, 600, ResizeMode::Percent, 200, false, 800, 600},
        {800, 600, ResizeMode::Percent, 200, true, 1600, 1200},
        {1000, 1, ResizeMode::Percent, 10, false, 100, 1},
        {800, 600, ResizeMode::Percent, 0, false, 800, 600},
    };
    for (const Case& c : cases) {
        OutputOptions o;
        o.resize = c.mode;
        o.resizeValue = c.value;
        o.enlarge = c.enlarge;
        const auto [w, h] = exportSize(c.w, c.h, o);
        EXPECT_EQ(w, c.wantW) << c.w << "x" << c.h << " " << c.value;
        EXPECT_EQ(h, c.wantH) << c.w << "x" << c.h << " " << c.value;
    }
}

// A checkerboard of black and white pixels shrunk to half averages to even grey: each new
// pixel is the mean of the four under it, not one of them picked.
TEST(PhotoSaving, ShrinkingAveragesTheAreaUnderEachPixel) {
    TempDir dir;
    DibImage board(64, 48, 24, BMP);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const uint8_t v = (x + y) % 2 ? 255 : 0;
            board.setPixelColor(x, y, RgbQuad{v, v, v, 0});
        }
    ASSERT_TRUE(board.saveToFile(dir.file("board.png").c_str(), PNG));
    for (const auto& [mode, value] :
         {std::pair{ResizeMode::Percent, 50}, std::pair{ResizeMode::LongEdge, 32}}) {
        PhotoEdit photo;
        ASSERT_TRUE(loadForSaving(dir.file("board.png"), photo));
        EnhancementSettings settings;
        settings.output.resize = mode;
        settings.output.resizeValue = value;
        ASSERT_TRUE(enhanceAndWrite(photo, settings, dir.file("small.png"), nullptr, false));
        PhotoEdit small;
        ASSERT_TRUE(loadForSaving(dir.file("small.png"), small));
        ASSERT_EQ(small.width(), 32);
        ASSERT_EQ(small.height(), 24);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 32; ++x) {
                const RgbQuad p = small.image.getPixelColor(x, y);
                ASSERT_NEAR(p.green, 127.5, 1) << x << "," << y;
            }
    }
}

}  // namespace
