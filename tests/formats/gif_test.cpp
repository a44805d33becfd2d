// GIF codec: files written by ImageMagick and Pillow against the pictures they hold, the
// format's edge cases (interlace order, transparency and palette rules, extensions), the bytes
// the writer produces, round trips at every depth, and a folder of corrupt files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/gif/gif_lzw.h"
#include "formats/image_stream.h"
#include "image/dib_image.h"
#include "support/byte_stream_support.h"
#include "support/ppm.h"
#include "support/test_support.h"
#include "tests/formats/bad_files.h"
#include "tests/formats/gif_codes.h"

using testing_support::dataPath;
using testing_support::Ppm;
using testing_support::randomImage;
using testing_support::readPpm;
using testing_support::sameImage;
using testing_support::samePixels;

namespace {

using Bytes = std::vector<uint8_t>;

bool loadBytes(DibImage& img, const Bytes& bytes) {
    return byte_stream_support::loadBytes(img, bytes, GIF);
}

Bytes saveBytes(DibImage& img, bool* ok = nullptr) {
    return byte_stream_support::saveBytes(img, GIF, ok);
}

bool loadFixture(DibImage& img, const char* name) {
    return img.loadFromFile(dataPath(std::string("gif/") + name).c_str(), GIF);
}

Ppm expected(const char* name) {
    return readPpm(dataPath(std::string("gif/") + name));
}

class PixelsFrom : public GifPixelSource {
  public:
    explicit PixelsFrom(const Bytes& pixels) : pixels_(pixels) {}
    int nextPixel() override { return pos_ < pixels_.size() ? pixels_[pos_++] : -1; }

  private:
    const Bytes& pixels_;
    size_t pos_ = 0;
};

class Append : public GifByteSink {
  public:
    explicit Append(Bytes& out) : out_(out) {}
    void write(const uint8_t* data, size_t length) override {
        out_.insert(out_.end(), data, data + length);
    }

  private:
    Bytes& out_;
};

// GIF files assembled block by block from the format's definition.
class GifFile {
  public:
    // tableBits 0 means no global table; otherwise 2^tableBits entries from colour(i).
    GifFile(int width, int height, int tableBits, const char* signature = "GIF89a") {
        bytes.assign(signature, signature + 6);
        add16(width);
        add16(height);
        bytes.push_back(tableBits ? uint8_t(0x80 | (tableBits - 1)) : 0);
        bytes.push_back(0);
        bytes.push_back(0);
        if (tableBits) addTable(1 << tableBits);
    }
    static RgbQuad colour(int i) {
        return RgbQuad{uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7 + 1), 0};
    }
    void control(uint8_t flags, uint16_t delay, uint8_t transparent) {
        bytes.insert(bytes.end(), {0x21, 0xF9, 4, flags});
        add16(delay);
        bytes.insert(bytes.end(), {transparent, 0});
    }
    // pixels top row first; localBits 0 = no local table.
    void image(int width, int height, const Bytes& pixels, int codeSize, bool interlaced = false,
               int localBits = 0) {
        bytes.push_back(0x2C);
        add16(0);
        add16(0);
        add16(width);
        add16(height);
        bytes.push_back(
            uint8_t((interlaced ? 0x40 : 0) | (localBits ? 0x80 | (localBits - 1) : 0)));
        if (localBits) addTable(1 << localBits, 100);
        bytes.push_back(uint8_t(codeSize));
        PixelsFrom source(pixels);
        Append sink(bytes);
        GifLzwEncoder().compress(source, sink, codeSize + 1);
        bytes.push_back(0);
    }
    void raw(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
    void trailer() { bytes.push_back(0x3B); }

    Bytes bytes;

  private:
    void add16(int v) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
    }
    void addTable(int n, int shift = 0) {
        for (int i = 0; i < n; ++i) {
            const RgbQuad c = colour(i + shift);
            bytes.insert(bytes.end(), {c.red, c.green, c.blue});
        }
    }
};

// The large fixture's picture, recomputed from the formulas that made it.
RgbQuad largeColour(int x, int y) {
    const int i = ((x * x * 31 + y * y * 17 + x * y * 7 + x * 3) ^ (y * 59)) & 255;
    return RgbQuad{uint8_t((255 - i * 3) & 255), uint8_t((i * 97) & 255), uint8_t(i), 0};
}

}  // namespace

// --- files from independent encoders ---

TEST(GifFixtures, Gif87aAndGif89a) {
    for (const char* name : {"gif87a.gif", "gif89a.gif"}) {
        DibImage img;
        ASSERT_TRUE(loadFixture(img, name)) << name;
        EXPECT_EQ(img.type(), uint32_t(GIF));
        EXPECT_EQ(img.info.frameCount, 1);
        EXPECT_EQ(img.info.backgroundIndex, -1);
        EXPECT_LE(img.bitCount(), 8);
        EXPECT_TRUE(samePixels(img, expected("pal16.ppm"))) << name;
    }
}

TEST(GifFixtures, InterlacedAndLocalTables) {
    DibImage img;
    ASSERT_TRUE(loadFixture(img, "interlaced.gif"));
    EXPECT_TRUE(samePixels(img, expected("tall40.ppm")));

    ASSERT_TRUE(loadFixture(img, "local-table.gif"));
    EXPECT_TRUE(samePixels(img, expected("pal16.ppm")));

    // The first image uses the global table even though the second brings its own.
    ASSERT_TRUE(loadFixture(img, "two-tables.gif"));
    EXPECT_EQ(img.info.frameCount, 2);
    EXPECT_TRUE(samePixels(img, expected("pal16.ppm")));
    DibImage second;
    second.info.frameIndex = 1;
    ASSERT_TRUE(loadFixture(second, "two-tables.gif"));
    EXPECT_TRUE(samePixels(second, expected("other16.ppm")));
    second.info.frameIndex = 2;
    EXPECT_FALSE(loadFixture(second, "two-tables.gif"));
}

TEST(GifFixtures, Transparency) {
    DibImage img;
    ASSERT_TRUE(loadFixture(img, "transparent.gif"));
    ASSERT_NE(img.info.backgroundIndex, -1);
    const Ppm want = expected("pal16.ppm");
    ASSERT_EQ(img.width(), want.width);
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            const uint8_t* w = &want.rgb[(size_t(y) * want.width + x) * 3];
            const bool seeThrough = w[0] == 80 && w[1] == 215 && w[2] == 200;
            const int sy = want.height - 1 - y;
            EXPECT_EQ(img.getPixelIndex(x, sy) == img.info.backgroundIndex, seeThrough) << x;
            if (!seeThrough) {
                EXPECT_EQ(img.getPixelColor(x, sy), (RgbQuad{w[2], w[1], w[0], 0}));
            }
        }
}

TEST(GifFixtures, LargePicturesThatResetTheCodeTable) {
    for (const char* name : {"large-pillow.gif", "large-imagemagick.gif"}) {
        DibImage img;
        ASSERT_TRUE(loadFixture(img, name)) << name;
        ASSERT_EQ(img.width(), 128);
        ASSERT_EQ(img.height(), 96);
        int wrong = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 128; ++x)
                wrong += img.getPixelColor(x, 95 - y) != largeColour(x, y);
        EXPECT_EQ(wrong, 0) << name;
    }
}

// --- the format's edge cases ---

TEST(GifDecode, InterlacedRowsLandInTheirPlaces) {
    for (int height = 1; height <= 9; ++height) {
        // The stream's lines in pass order; each line holds the number of its row.
        std::vector<int> order;
        const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
        for (const auto& pass : passes)
            for (int r = pass[0]; r < height; r += pass[1]) order.push_back(r);
        if (height == 4) {
            EXPECT_EQ(order, (std::vector<int>{0, 2, 1, 3}));
        }
        Bytes pixels;
        for (int r : order) pixels.insert(pixels.end(), 3, uint8_t(r));
        GifFile file(3, height, 8);
        file.image(3, height, pixels, 8, true);
        file.trailer();
        DibImage img;
        ASSERT_TRUE(loadBytes(img, file.bytes)) << height;
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(img.getPixelIndex(x, height - 1 - r), r) << height << " " << r;
    }
}

TEST(GifDecode, PacksOneAndFourBitLines) {
    // Table sizes 2 and 16 give 1- and 4-bit images; odd widths end inside a byte.
    for (int bits : {1, 4}) {
        const int width = 13, height = 3;
        Bytes pixels;
        for (int i = 0; i < width * height; ++i) pixels.push_back(uint8_t((i * 7) % (1 << bits)));
        GifFile file(width, height, bits);
        file.image(width, height, pixels, std::max(bits, 2));
        file.trailer();
        DibImage img;
        ASSERT_TRUE(loadBytes(img, file.bytes));
        EXPECT_EQ(img.bitCount(), bits);
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(img.getPixelIndex(x, height - 1 - r), pixels[size_t(r * width + x)]);
        for (int i = 0; i < (1 << bits); ++i) EXPECT_EQ(img.getPaletteColor(i), GifFile::colour(i));
    }
}

TEST(GifDecode, TransparencyFromALaterImageApplies) {
    GifFile file(2, 2, 2);
    file.image(2, 2, {0, 1, 2, 3}, 2);
    file.control(1, 0, 2);
    file.image(2, 2, {3, 3, 3, 3}, 2);
    file.trailer();
    DibImage img;
    ASSERT_TRUE(loadBytes(img, file.bytes));
    EXPECT_EQ(img.info.frameCount, 2);
    EXPECT_EQ(img.info.backgroundIndex, 2);
    EXPECT_EQ(img.getPixelIndex(0, 1), 0);
    EXPECT_EQ(img.getPixelIndex(1, 0), 3);
}

TEST(GifDecode, PaletteRulesWithTransparency) {
    const RgbQuad white{255, 255, 255, 0};
    // 16 colours, transparent, no white: the file's 16 entries.
    {
        GifFile file(2, 1, 4);
        file.control(1, 5, 3);
        file.image(2, 1, {3, 4}, 4);
        file.trailer();
        DibImage img;
        ASSERT_TRUE(loadBytes(img, file.bytes));
        EXPECT_EQ(img.info.backgroundIndex, 3);
        EXPECT_EQ(img.info.frameDelay, 5u);
        ASSERT_EQ(img.header.colorsUsed, 16u);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(img.getPaletteColor(i), GifFile::colour(i)) << i;
    }
    // 256 colours, transparent, no white: entry 255 becomes white.
    {
        GifFile file(2, 1, 8);
        file.control(1, 0, 7);
        file.image(2, 1, {7, 255}, 8);
        file.trailer();
        DibImage img;
        ASSERT_TRUE(loadBytes(img, file.bytes));
        EXPECT_EQ(img.getPaletteColor(255), white);
        EXPECT_EQ(img.getPaletteColor(254), GifFile::colour(254));
    }
    // With a white entry, or without transparency, entry 255 stays the file's.
    {
        GifFile file(2, 1, 8);
        file.bytes[13 + 3 * 10] = file.bytes[14 + 3 * 10] = file.bytes[15 + 3 * 10] = 255;
        file.control(1, 0, 7);
        file.image(2, 1, {7, 255}, 8);
        file.trailer();
        DibImage img;
        ASSERT_TRUE(loadBytes(img, file.bytes));
        EXPECT_EQ(img.getPaletteColor(10), white);
        EXPECT_EQ(img.getPaletteColor(255), GifFile::colour(255));
    }
    {
        GifFile file(2, 1, 8);
        file.image(2, 1, {7, 255}, 8);
        file.trailer();
        DibImage img;
        ASSERT_TRUE(loadBytes(img, file.bytes));
        EXPECT_EQ(img.info.backgroundIndex, -1);
        EXPECT_EQ(img.getPaletteColor(255), GifFile::colour(255));
    }
}

TEST(GifDecode, ExtensionsBeforeTheImage) {
    const Bytes netscape = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                            'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
    // Application data of other shapes (metadata) is skipped like any other extension.
    const Bytes metadata = {0x21, 0xFF, 11, 'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X',
                            'M',  'P',  5,  'a', 'b', 'c', 'd', 'e', 1,   'f', 0};
    const Bytes comment = {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 2, '!', '!', 0};
    const Bytes emptyComment = {0x21, 0xFE, 0};
    const Bytes plainText = {0x21, 0x01, 12, 0, 0, 0, 0, 1, 0, 1, 0, 8, 8, 0, 1, 1, 'x', 0};
    for (const Bytes& extension : {netscape, metadata, comment, emptyComment, plainText}) {
        GifFile file(2, 1, 1);
        file.raw(extension);
        file.image(2, 1, {1, 0}, 2);
        file.trailer();
        DibImage img;
        ASSERT_TRUE(loadBytes(img, file.bytes)) << int(extension[1]) << " " << int(extension[2]);
        EXPECT_EQ(img.getPixelIndex(0, 0), 1);
        EXPECT_EQ(img.info.frameCount, 1);
    }
    // A graphic control block of the wrong size ends the walk before the image.
    GifFile file(2, 1, 1);
    file.raw({0x21, 0xF9, 5, 1, 0, 0, 0, 0, 0});
    file.image(2, 1, {1, 0}, 2);
    file.trailer();
    DibImage img;
    EXPECT_FALSE(loadBytes(img, file.bytes));
}

TEST(GifDecode, FailuresAndDamagedData) {
    // Every failure names its cause, and the previous message never survives.
    GifFile none(2, 2, 1);
    none.trailer();
    GifFile empty(0, 2, 1);
    empty.image(0, 2, {}, 2);
    empty.trailer();
    GifFile badExtension(2, 1, 1);
    badExtension.raw({0x21, 0xF9, 5, 1, 0, 0, 0, 0, 0});
    badExtension.image(2, 1, {1, 0}, 2);
    badExtension.trailer();
    const std::vector<std::pair<Bytes, const char*>> cases = {
        {Bytes{'G', 'I', 'F', '7', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, "Not a GIF file"},
        {Bytes{'G', 'I', 'F', '8'}, "Not a GIF file"},
        {none.bytes, "No image in GIF file"},
        {empty.bytes, "GIF image has no width or height"},
        {badExtension.bytes, "Damaged extension block in GIF file"},
    };
    for (const auto& [bytes, message] : cases) {
        DibImage img;
        img.setLastError("old message");
        EXPECT_FALSE(loadBytes(img, bytes)) << message;
        EXPECT_STREQ(img.lastError(), message);
        EXPECT_FALSE(img.isValid());
    }
    DibImage img;
    img.info.frameIndex = 1;
    EXPECT_FALSE(loadBytes(img, badExtension.bytes));
    EXPECT_STREQ(img.lastError(), "GIF file has no image of that number");

    // Data cut short: the rows decoded so far are kept, the others stay index 0.
    Bytes pixels(40 * 40);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(1 + (i * i * 7 + i) % 200);
    GifFile whole(40, 40, 8);
    whole.image(40, 40, pixels, 8);
    whole.trailer();
    ASSERT_GT(whole.bytes.size(), 13u + 768 + 11 + 600);
    const Bytes cut(whole.bytes.begin(), whole.bytes.end() - 300);
    img.info.frameIndex = 0;
    ASSERT_TRUE(loadBytes(img, cut));
    EXPECT_EQ(img.getPixelIndex(0, 39), 1);
    EXPECT_EQ(img.getPixelIndex(39, 0), 0);
}

TEST(GifDecode, MinimumCodeSizes) {
    // Sizes 2 to 11 decode (10 and 11 start with 11- and 12-bit codes); others fail instead of
    // leaving a picture of index 0. Enough pixels for the table to fill and reset.
    const int width = 97, height = 61;
    Bytes pixels(size_t(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t((i * i * 13 + i / 7) % 251);
    for (int codeSize : {2, 8, 9, 10, 11, 0, 1, 12, 255}) {
        const bool valid = codeSize >= 2 && codeSize <= 11;
        const int tableBits = codeSize <= 2 ? 2 : 8;
        Bytes values = pixels;
        for (uint8_t& v : values) v &= uint8_t((1 << tableBits) - 1);
        GifFile file(width, height, tableBits);
        file.image(width, height, values, valid ? codeSize : 8);
        file.trailer();
        const size_t codeSizeAt = 13 + 3 * (size_t(1) << tableBits) + 10;
        file.bytes[codeSizeAt] = uint8_t(codeSize);
        DibImage img;
        EXPECT_EQ(loadBytes(img, file.bytes), valid) << codeSize;
        if (!valid) {
            EXPECT_STREQ(img.lastError(), "GIF image has an LZW code size outside 2 to 11");
            continue;
        }
        int wrong = 0;
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x)
                wrong += img.getPixelIndex(x, height - 1 - r) != values[size_t(r * width + x)];
        EXPECT_EQ(wrong, 0) << codeSize;
    }
}

TEST(GifDecode, ImageDataWithoutPixelsFails) {
    // Clear then end; only the terminator.
    const std::vector<Bytes> data = {{2, 2, 0x2C, 0x00, 0}, {2, 0}};
    for (const Bytes& d : data) {
        GifFile file(2, 2, 2);
        file.bytes.insert(file.bytes.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0});
        file.raw(d);
        file.trailer();
        DibImage img;
        EXPECT_FALSE(loadBytes(img, file.bytes)) << d.size();
        EXPECT_STREQ(img.lastError(), "GIF image data holds no pixels");
    }
}

TEST(GifDecode, FileTooShortForItsSizeIsRefusedBeforeAllocating) {
    // 35 bytes claiming 16383 x 16383: refused in words, not a quarter-gigapixel of index 0.
    {
        DibImage img = testing_support::makeF();
        EXPECT_FALSE(loadFixture(img, "bad-35-bytes-16383-square.gif"));
        EXPECT_STREQ(img.lastError(), "Image data too short for the picture's size");
        EXPECT_TRUE(sameImage(img, testing_support::makeF()));
    }
    // The densest valid stream: each code one longer than the last until the table is full
    // (4091 pixels), then that longest string again and again. It stays under the bound...
    std::vector<std::pair<int, int>> codes = {{4, 3}, {0, 3}};
    int width = 3;
    for (int slot = 6; slot < 4096; ++slot) {
        codes.push_back({slot, width});
        if (slot + 1 == (1 << width) && width < 12) ++width;
    }
    const int repeats = 2000;
    for (int i = 0; i < repeats; ++i) codes.push_back({4095, 12});
    codes.push_back({5, 12});
    const Bytes data = gif_codes::packCodes(2, codes);
    const int lineWidth = 4091, rows = 2046 + repeats;  // 1 + 2 + ... + 4091 + repeats x 4091
    GifFile dense(lineWidth, rows, 1);
    dense.bytes.insert(dense.bytes.end(), {0x2C, 0, 0, 0, 0});
    byte_stream_support::put16(dense.bytes, lineWidth);
    const size_t heightAt = dense.bytes.size();
    byte_stream_support::put16(dense.bytes, rows);
    dense.bytes.push_back(0);
    dense.raw(data);
    dense.trailer();
    DibImage img;
    ASSERT_TRUE(loadBytes(img, dense.bytes)) << img.lastError();
    EXPECT_EQ(img.getPixelIndex(lineWidth - 1, 0), 0);
    EXPECT_GT(uint64_t(lineWidth) * rows / data.size(), 1800u);
    // ...while a header claiming more rows than such codes could fill is refused.
    dense.bytes[heightAt] = 0xFF;
    dense.bytes[heightAt + 1] = 0xFF;
    EXPECT_FALSE(loadBytes(img, dense.bytes));
    EXPECT_STREQ(img.lastError(), "Image data too short for the picture's size");
}

// --- writing ---

TEST(GifEncode, BytesOfAFourByFourEightBitFile) {
    DibImage img = randomImage(4, 4, 8, 11);
    bool ok = false;
    const Bytes file = saveBytes(img, &ok);
    ASSERT_TRUE(ok);
    ASSERT_GT(file.size(), 13u + 768 + 8 + 10 + 2);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF87a");
    EXPECT_EQ(file[6], 4);
    EXPECT_EQ(file[8], 4);
    EXPECT_EQ(file[10], 0xE7);
    EXPECT_EQ(file[11], 0);
    EXPECT_EQ(file[12], 0);
    for (int i = 0; i < 256; ++i) {
        const RgbQuad c = img.getPaletteColor(i);
        EXPECT_EQ(file[13 + 3 * i], c.red);
        EXPECT_EQ(file[14 + 3 * i], c.green);
        EXPECT_EQ(file[15 + 3 * i], c.blue);
    }
    const size_t control = 13 + 768;
    EXPECT_EQ(Bytes(file.begin() + control, file.begin() + control + 8),
              (Bytes{0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0xFF, 0x00}));
    EXPECT_EQ(Bytes(file.begin() + control + 8, file.begin() + control + 18),
              (Bytes{0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0}));
    EXPECT_EQ(file[control + 18], 8);
    EXPECT_EQ(file.back(), 0x3B);

    DibImage back;
    ASSERT_TRUE(loadBytes(back, file));
    std::string why;
    EXPECT_TRUE(sameImage(img, back, &why)) << why;
}

TEST(GifEncode, SmallDepthsAndRefusals) {
    DibImage one = randomImage(5, 3, 1, 2);
    Bytes file = saveBytes(one);
    EXPECT_EQ(file[10], 0x80);
    EXPECT_EQ(file[13 + 6 + 8 + 10], 2);  // minimum code size
    DibImage four = randomImage(5, 3, 4, 3);
    file = saveBytes(four);
    EXPECT_EQ(file[10], 0xE3);
    EXPECT_EQ(file[13 + 48 + 8 + 10], 4);

    DibImage rgb = testing_support::makeF();
    bool ok = true;
    file = saveBytes(rgb, &ok);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(rgb.lastError(), "GIF Images must be 8 bit or less");
    EXPECT_TRUE(sameImage(rgb, testing_support::makeF()));

    DibImage wide(70000, 1, 8, GIF);
    file = saveBytes(wide, &ok);
    EXPECT_FALSE(ok);
}

TEST(GifEncode, TransparencyDelayAndPlaceAreWritten) {
    DibImage img = randomImage(6, 5, 4, 4);
    img.info.backgroundIndex = 5;
    img.info.frameDelay = 0x10007;
    img.info.xOffset = 3;
    img.info.yOffset = 0x102;
    const Bytes file = saveBytes(img);
    const size_t control = 13 + 48;
    EXPECT_EQ(Bytes(file.begin() + control, file.begin() + control + 8),
              (Bytes{0x21, 0xF9, 0x04, 0x01, 0x07, 0x00, 0x05, 0x00}));
    EXPECT_EQ(Bytes(file.begin() + control + 8, file.begin() + control + 13),
              (Bytes{0x2C, 3, 0, 2, 1}));
    DibImage back;
    ASSERT_TRUE(loadBytes(back, file));
    EXPECT_EQ(back.info.backgroundIndex, 5);
    EXPECT_EQ(back.info.frameDelay, 7u);
    std::string why;
    EXPECT_TRUE(sameImage(img, back, &why)) << why;
}

TEST(GifEncode, RoundTripsAtEveryDepth) {
    for (uint32_t bits : {1u, 4u, 8u})
        for (auto size :
             {std::pair{1, 1}, std::pair{6, 5}, std::pair{33, 7}, std::pair{300, 200}}) {
            DibImage img = randomImage(size.first, size.second, bits, bits + size.first);
            bool ok = false;
            const Bytes file = saveBytes(img, &ok);
            ASSERT_TRUE(ok);
            DibImage back;
            ASSERT_TRUE(loadBytes(back, file)) << back.lastError();
            std::string why;
            EXPECT_TRUE(sameImage(img, back, &why)) << bits << " bits: " << why;
            EXPECT_EQ(back.info.frameCount, 1);
            EXPECT_EQ(saveBytes(img), file);
        }
}

// --- corrupt files ---

TEST(GifCorruptFiles, EachFailsWithItsCauseOrLoadsItsSize) {
    // Every bad-* file with what it must give: the sides it loads with, or the refusal.
    const char* const kTooShort = "Image data too short for the picture's size";
    const char* const kCodeSize = "GIF image has an LZW code size outside 2 to 11";
    const char* const kNoImage = "No image in GIF file";
    const char* const kNoPixels = "GIF image data holds no pixels";
    const std::vector<bad_files::Outcome> outcomes = {
        {"bad-35-bytes-16383-square.gif", 0, 0, kTooShort},
        {"bad-code-size-zero.gif", 0, 0, kCodeSize},
        {"bad-code-size.gif", 0, 0, kCodeSize},
        {"bad-comment-truncated.gif", 0, 0, kNoImage},
        {"bad-descriptor-truncated.gif", 0, 0, kNoImage},
        {"bad-extension-truncated.gif", 0, 0, kNoImage},
        {"bad-huge.gif", 0, 0, "Image too large: 65535 x 65535"},
        {"bad-local-table-truncated.gif", 0, 0, kTooShort},
        {"bad-many-images.gif", 0, 0, kNoPixels},
        {"bad-no-table.gif", 3, 3, nullptr},
        {"bad-noise-codes.gif", 50, 50, nullptr},
        {"bad-noise-four-bit.gif", 7, 9, nullptr},
        {"bad-noise-interlaced.gif", 3, 1, nullptr},
        {"bad-noise-one-bit.gif", 33, 3, nullptr},
        {"bad-not-gif.gif", 0, 0, "Not a GIF file"},
        {"bad-self-loop.gif", 8, 8, nullptr},
        {"bad-short-header.gif", 0, 0, "Not a GIF file"},
        {"bad-sub-block-past-end.gif", 0, 0, kNoPixels},
        {"bad-zero-size.gif", 0, 0, "GIF image has no width or height"},
    };
    bad_files::expectOutcomes("gif", GIF, outcomes);
}
