// BMP codec: files written by ImageMagick (and variants built from them) against the pictures
// they hold, the format's edge cases, round trips at every depth, and a folder of corrupt files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/bmp/bmp_codec.h"
#include "formats/image_stream.h"
#include "image/dib_image.h"
#include "support/byte_stream_support.h"
#include "support/ppm.h"
#include "support/test_support.h"
#include "tests/formats/bad_files.h"

using testing_support::dataPath;
using testing_support::Ppm;
using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::readPpm;
using testing_support::sameImage;
using testing_support::samePixels;

namespace {

using Bytes = std::vector<uint8_t>;

bool loadBytes(DibImage& img, const Bytes& bytes, uint32_t type = BMP) {
    return byte_stream_support::loadBytes(img, bytes, type);
}

Bytes saveBytes(DibImage& img, uint32_t type, bool* ok = nullptr) {
    return byte_stream_support::saveBytes(img, type, ok);
}

void put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(Bytes& b, size_t at, uint32_t v) {
    put16(b, at, v);
    put16(b, at + 2, v >> 16);
}
uint32_t get32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// A Windows bitmap assembled byte by byte from the format's definition.
struct BmpSpec {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 8;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    Bytes afterHeader;  // masks or colour table
    Bytes pixels;
    bool fileHeader = true;
};

Bytes makeBmp(const BmpSpec& s) {
    Bytes info(40, 0);
    put32(info, 0, 40);
    put32(info, 4, uint32_t(s.width));
    put32(info, 8, uint32_t(s.height));
    put16(info, 12, 1);
    put16(info, 14, s.bits);
    put32(info, 16, s.compression);
    put32(info, 20, uint32_t(s.pixels.size()));
    put32(info, 24, 2835);
    put32(info, 28, 2835);
    put32(info, 32, s.colorsUsed);
    Bytes out;
    if (s.fileHeader) {
        out.assign(14, 0);
        out[0] = 'B';
        out[1] = 'M';
        const uint32_t offset = uint32_t(14 + 40 + s.afterHeader.size());
        put32(out, 2, uint32_t(offset + s.pixels.size()));
        put32(out, 10, offset);
    }
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), s.afterHeader.begin(), s.afterHeader.end());
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    return out;
}

// A grey table of n 4-byte entries.
Bytes greyTable(int n) {
    Bytes t;
    for (int i = 0; i < n; ++i) t.insert(t.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    return t;
}

Bytes masks(uint32_t r, uint32_t g, uint32_t b) {
    Bytes m(12);
    put32(m, 0, r);
    put32(m, 4, g);
    put32(m, 8, b);
    return m;
}

}  // namespace

// --- files from an independent encoder ---

struct Fixture {
    const char* file;
    const char* expected;
    int bitCount;
};

void PrintTo(const Fixture& f, std::ostream* os) {
    *os << f.file;
}

class BmpFixture : public ::testing::TestWithParam<Fixture> {};

TEST_P(BmpFixture, DecodesToThePictureItHolds) {
    const Fixture& f = GetParam();
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath(std::string("bmp/") + f.file).c_str(), BMP))
        << img.lastError();
    EXPECT_EQ(img.bitCount(), f.bitCount);
    EXPECT_EQ(img.type(), uint32_t(BMP));
    EXPECT_STREQ(img.lastError(), "");
    EXPECT_FALSE(img.hasAlpha());
    EXPECT_TRUE(samePixels(img, readPpm(dataPath(std::string("bmp/") + f.expected))));
    for (uint32_t i = 0; i < img.header.colorsUsed; ++i)
        EXPECT_EQ(img.getPaletteColor(i).reserved, 0) << "entry " << i;
}

INSTANTIATE_TEST_SUITE_P(
    ImageMagickFiles, BmpFixture,
    ::testing::Values(
        Fixture{"bmp1.bmp", "pal2.ppm", 1}, Fixture{"bmp4.bmp", "pal16.ppm", 4},
        Fixture{"bmp8.bmp", "pal256.ppm", 8}, Fixture{"bmp8-rle.bmp", "pal256.ppm", 8},
        Fixture{"bmp4-rle.bmp", "pal16rle.ppm", 4},
        Fixture{"bmp16-555.bmp", "c555-expected.ppm", 24},
        Fixture{"bmp16-555-masks.bmp", "c555-expected.ppm", 24},
        Fixture{"bmp16-555-v5.bmp", "c555-expected.ppm", 24},
        Fixture{"bmp16-565-v5.bmp", "c565-expected.ppm", 24}, Fixture{"bmp24.bmp", "rgb.ppm", 24},
        Fixture{"bmp32-v5.bmp", "rgb.ppm", 24}, Fixture{"os2-1.bmp", "pal2.ppm", 1},
        Fixture{"os2-8.bmp", "pal256.ppm", 8}, Fixture{"os2-24.bmp", "rgb.ppm", 24},
        Fixture{"top-down-24.bmp", "rgb.ppm", 24}, Fixture{"top-down-8.bmp", "pal256.ppm", 8},
        Fixture{"bare-8.dib", "pal256.ppm", 8}, Fixture{"bare-4.dib", "pal16.ppm", 4},
        Fixture{"v4-24.bmp", "rgb.ppm", 24}, Fixture{"v5-4.bmp", "pal16.ppm", 4},
        Fixture{"v5-8.bmp", "pal256.ppm", 8}),
    [](const ::testing::TestParamInfo<Fixture>& info) {
        std::string name = info.param.file;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(BmpDecode, ResolutionComesFromTheFile) {
    BmpSpec s;
    s.bits = 24;
    s.pixels.assign(4, 0);
    Bytes file = makeBmp(s);
    put32(file, 14 + 24, 11811);  // 300 DPI
    put32(file, 14 + 28, 3937);   // 100 DPI
    DibImage img;
    ASSERT_TRUE(loadBytes(img, file));
    EXPECT_EQ(img.info.xDpi, 300);
    EXPECT_EQ(img.info.yDpi, 100);
    EXPECT_EQ(img.header.xPelsPerMeter, 11811);
    EXPECT_EQ(img.header.yPelsPerMeter, 3937);
}

// --- the format's edge cases ---

TEST(BmpDecode, RunLength8Example) {
    // 03 05: three pixels of 5; 00 00: end of line; 02 07: two of 7; 00 01: end of bitmap.
    BmpSpec s;
    s.width = 4;
    s.height = 2;
    s.compression = 1;
    s.afterHeader = greyTable(256);
    s.pixels = {0x03, 0x05, 0x00, 0x00, 0x02, 0x07, 0x00, 0x01};
    DibImage img;
    ASSERT_TRUE(loadBytes(img, makeBmp(s))) << img.lastError();
    const int bottom[4] = {5, 5, 5, 0}, top[4] = {7, 7, 0, 0};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(img.getPixelIndex(x, 0), bottom[x]) << x;
        EXPECT_EQ(img.getPixelIndex(x, 1), top[x]) << x;
    }
}

TEST(BmpDecode, RunLengthAbsoluteRunsAndDeltas) {
    // 8 bits, 5 x 3: absolute run of 3 (padded), delta (1, 1), run of 2, end.
    BmpSpec s;
    s.width = 5;
    s.height = 3;
    s.compression = 1;
    s.afterHeader = greyTable(256);
    s.pixels = {0x00, 0x03, 9,    8,    7,    0x00, 0x00, 0x00,
                0x00, 0x02, 0x01, 0x01, 0x02, 0x04, 0x00, 0x01};
    DibImage img;
    ASSERT_TRUE(loadBytes(img, makeBmp(s)));
    const int row0[5] = {9, 8, 7, 0, 0}, row1[5] = {0, 0, 0, 0, 0}, row2[5] = {0, 4, 4, 0, 0};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(img.getPixelIndex(x, 0), row0[x]) << x;
        EXPECT_EQ(img.getPixelIndex(x, 1), row1[x]) << x;
        EXPECT_EQ(img.getPixelIndex(x, 2), row2[x]) << x;
    }
    // 4 bits, 6 x 2: a two-colour run starting at an odd column takes the run's first colour
    // first; an absolute run of 3 at an odd column; a delta of one pixel.
    s.bits = 4;
    s.width = 6;
    s.height = 2;
    s.compression = 2;
    s.afterHeader = greyTable(16);
    s.pixels = {0x01, 0x10, 0x04, 0x23, 0x00, 0x00,              // row 0: 1 2 3 2 3 .
                0x00, 0x02, 0x01, 0x00, 0x00, 0x03, 0x45, 0x60,  // row 1: . 4 5 6
                0x00, 0x01};
    ASSERT_TRUE(loadBytes(img, makeBmp(s))) << img.lastError();
    const int r0[6] = {1, 2, 3, 2, 3, 0}, r1[6] = {0, 4, 5, 6, 0, 0};
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(img.getPixelIndex(x, 0), r0[x]) << x;
        EXPECT_EQ(img.getPixelIndex(x, 1), r1[x]) << x;
    }
}

TEST(BmpDecode, RunsPastTheRowOrPictureAreClipped) {
    // A run of 6 in a 4-wide row stays in its row; rows above the picture are dropped.
    BmpSpec s;
    s.width = 4;
    s.height = 2;
    s.compression = 1;
    s.afterHeader = greyTable(256);
    s.pixels = {0x06, 0x09, 0x00, 0x00, 0x00, 0x05, 1, 2, 3,    4,   5, 0,  // row 1: absolute 5
                0x00, 0x02, 0x00, 0x07,                                     // delta up 7 rows
                0xFF, 0x0A, 0x00, 0x03, 1,    2,    3, 0, 0x00, 0x01};
    DibImage img;
    ASSERT_TRUE(loadBytes(img, makeBmp(s)));
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(img.getPixelIndex(x, 0), 9) << x;
        EXPECT_EQ(img.getPixelIndex(x, 1), x + 1) << x;
    }
    // The bytes behind each row (padding of the 4-bit rows) stay untouched too.
    s.bits = 4;
    s.width = 3;
    s.compression = 2;
    s.afterHeader = greyTable(16);
    s.pixels = {0x09, 0x77, 0x00, 0x00, 0x00, 0x05, 0x12, 0x34, 0x50, 0x00, 0x00, 0x01};
    ASSERT_TRUE(loadBytes(img, makeBmp(s)));
    EXPECT_EQ(img.row(0)[0], 0x77);
    EXPECT_EQ(img.row(0)[1], 0x70);
    EXPECT_EQ(img.row(1)[0], 0x12);
    EXPECT_EQ(img.row(1)[1], 0x30);
    for (int y = 0; y < 2; ++y)
        for (uint32_t i = 2; i < img.stride(); ++i) EXPECT_EQ(img.row(y)[i], 0) << y << " " << i;
}

TEST(BmpDecode, SixteenBitValues) {
    // Without masks the layout is 5-5-5.
    BmpSpec s;
    s.width = 3;
    s.bits = 16;
    s.pixels = {0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C, 0, 0};
    DibImage img;
    ASSERT_TRUE(loadBytes(img, makeBmp(s)));
    EXPECT_EQ(img.bitCount(), 24);
    EXPECT_EQ(img.getPixelColor(0, 0), (RgbQuad{248, 248, 248, 0}));
    EXPECT_EQ(img.getPixelColor(1, 0), (RgbQuad{248, 0, 0, 0}));
    EXPECT_EQ(img.getPixelColor(2, 0), (RgbQuad{0, 0, 248, 0}));
    // 5-6-5 with masks behind the header.
    s.compression = 3;
    s.afterHeader = masks(0xF800, 0x07E0, 0x001F);
    s.pixels = {0xFF, 0xFF, 0xE0, 0x07, 0x00, 0xF8, 0, 0};
    ASSERT_TRUE(loadBytes(img, makeBmp(s)));
    EXPECT_EQ(img.getPixelColor(0, 0), (RgbQuad{248, 252, 248, 0}));
    EXPECT_EQ(img.getPixelColor(1, 0), (RgbQuad{0, 252, 0, 0}));
    EXPECT_EQ(img.getPixelColor(2, 0), (RgbQuad{0, 0, 248, 0}));
    // Masks with no bits (or odd ones) give defined values rather than undefined shifts.
    s.afterHeader = masks(0, 0, 0);
    ASSERT_TRUE(loadBytes(img, makeBmp(s)));
    EXPECT_EQ(img.getPixelColor(0, 0), (RgbQuad{0, 0, 0, 0}));
    s.afterHeader = masks(0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_TRUE(loadBytes(img, makeBmp(s)));
}

TEST(BmpDecode, ThirtyTwoBitsBecomeTwentyFourWithoutAlpha) {
    BmpSpec s;
    s.width = 2;
    s.bits = 32;
    s.pixels = {10, 20, 30, 0x80, 40, 50, 60, 0};
    DibImage img;
    ASSERT_TRUE(loadBytes(img, makeBmp(s)));
    EXPECT_EQ(img.bitCount(), 24);
    EXPECT_FALSE(img.hasAlpha());
    EXPECT_EQ(img.getPixelColor(0, 0), (RgbQuad{10, 20, 30, 0}));
    EXPECT_EQ(img.getPixelColor(1, 0), (RgbQuad{40, 50, 60, 0}));
}

TEST(BmpDecode, BareBitmapsAndLargeColourCounts) {
    // No file header: the pixels follow the table. A colour count above the image's 16
    // entries is read past, so the pixels are still found.
    BmpSpec s;
    s.fileHeader = false;
    s.width = 2;
    s.bits = 4;
    s.colorsUsed = 20;
    s.afterHeader = greyTable(20);
    s.afterHeader[4 * 3] = 99;  // entry 3's blue
    s.pixels = {0x3F, 0, 0, 0};
    DibImage img;
    ASSERT_TRUE(loadBytes(img, makeBmp(s))) << img.lastError();
    EXPECT_EQ(img.header.colorsUsed, 16u);
    EXPECT_EQ(img.getPixelIndex(0, 0), 3);
    EXPECT_EQ(img.getPixelIndex(1, 0), 15);
    EXPECT_EQ(img.getPaletteColor(3), (RgbQuad{99, 3, 3, 0}));
    EXPECT_EQ(img.getPaletteColor(15), (RgbQuad{15, 15, 15, 0}));
}

TEST(BmpDecode, TinyOs2FileAndThreeByteTable) {
    // 1-bit 2 x 2 OS/2 file: 14 + 12 + 6 + 8 = 40 bytes, shorter than a Windows header.
    Bytes file = {'B',  'M',  40,   0,    0,    0,    0, 0, 0, 0, 32, 0, 0, 0,  // file header
                  12,   0,    0,    0,    2,    0,    2, 0, 1, 0, 1,  0,        // OS/2 header
                  0x10, 0x20, 0x30, 0x40, 0x50, 0x60,  // two 3-byte entries
                  0x80, 0,    0,    0,    0x40, 0,    0, 0};
    DibImage img;
    ASSERT_TRUE(loadBytes(img, file)) << img.lastError();
    EXPECT_EQ(img.bitCount(), 1);
    EXPECT_EQ(img.getPaletteColor(0), (RgbQuad{0x10, 0x20, 0x30, 0}));
    EXPECT_EQ(img.getPaletteColor(1), (RgbQuad{0x40, 0x50, 0x60, 0}));
    EXPECT_EQ(img.getPixelIndex(0, 0), 1);
    EXPECT_EQ(img.getPixelIndex(1, 0), 0);
    EXPECT_EQ(img.getPixelIndex(0, 1), 0);
    EXPECT_EQ(img.getPixelIndex(1, 1), 1);
}

TEST(BmpDecode, EarlyEndsAndOddDepthsStillLoad) {
    // Two rows of a 24-bit 2 x 3 picture: the third row stays black.
    BmpSpec s;
    s.width = 2;
    s.height = 3;
    s.bits = 24;
    s.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    DibImage img;
    ASSERT_TRUE(loadBytes(img, makeBmp(s)));
    EXPECT_EQ(img.getPixelColor(1, 1), (RgbQuad{10, 11, 12, 0}));
    EXPECT_EQ(img.getPixelColor(0, 2), (RgbQuad{0, 0, 0, 0}));
    // 2 bits: a 4-bit image with the file's four colours and no pixels read.
    s.bits = 2;
    s.afterHeader = greyTable(4);
    ASSERT_TRUE(loadBytes(img, makeBmp(s)));
    EXPECT_EQ(img.bitCount(), 4);
    EXPECT_EQ(img.getPaletteColor(3), (RgbQuad{3, 3, 3, 0}));
    EXPECT_EQ(img.getPixelIndex(0, 0), 0);
}

TEST(BmpDecode, FailuresAndTheirMessages) {
    DibImage img;
    EXPECT_FALSE(loadBytes(img, Bytes{'B', 'M', 1, 2}));
    EXPECT_STREQ(img.lastError(), "Not a BMP");

    BmpSpec s;
    s.bits = 24;
    s.pixels.assign(4, 0);
    Bytes file = makeBmp(s);
    EXPECT_FALSE(loadBytes(img, Bytes(file.begin(), file.begin() + 40)));
    EXPECT_STREQ(img.lastError(), "Error reading BMP info");

    s.bits = 8;
    s.compression = 3;
    EXPECT_FALSE(loadBytes(img, makeBmp(s)));
    EXPECT_STREQ(img.lastError(), "compression type not supported");
    s.bits = 24;
    s.compression = 1;
    EXPECT_FALSE(loadBytes(img, makeBmp(s)));
    EXPECT_STREQ(img.lastError(), "unknown compression");
    s.bits = 32;
    s.compression = 2;
    EXPECT_FALSE(loadBytes(img, makeBmp(s)));
    EXPECT_STREQ(img.lastError(), "unknown compression");

    // Sides that are zero or negative, a height of -2^31 (2^31 rows top-down), and pictures
    // too large to hold: each refusal names the size.
    struct Side {
        int32_t width, height;
        const char* message;
    };
    const Side sides[] = {
        {0, 1, "Invalid image size: 0 x 1"},
        {1, 0, "Invalid image size: 1 x 0"},
        {-5, 1, "Invalid image size: -5 x 1"},
        {1, INT32_MIN, "Image too large: 1 x 2147483648"},
        {65536, 65536, "Image too large: 65536 x 65536"},
        {INT32_MAX, 1, "Image too large: 2147483647 x 1"},
    };
    for (const Side& side : sides) {
        s = BmpSpec{};
        s.width = side.width;
        s.height = side.height;
        s.bits = 24;
        img.setLastError("");
        EXPECT_FALSE(loadBytes(img, makeBmp(s))) << side.message;
        EXPECT_STREQ(img.lastError(), side.message);
    }
    // A failed load keeps the picture the image held.
    DibImage held = testing_support::makeF();
    EXPECT_FALSE(loadBytes(held, Bytes{'B', 'M'}));
    EXPECT_TRUE(sameImage(held, testing_support::makeF()));
}

TEST(BmpDecode, HeadersClaimingMoreThanTheFileCanHoldAreRefused) {
    // Found by fuzzing: 61 bytes claiming a picture of 1 x 100663492, whose pixels lie past
    // the end of the file. Refused before the picture is made.
    DibImage img = testing_support::makeF();
    EXPECT_FALSE(img.loadFromFile(dataPath("bmp/bad-fuzz-61-bytes-100m-rows.bmp").c_str(), BMP));
    EXPECT_STREQ(img.lastError(), "Image data too short for the picture's size");
    EXPECT_TRUE(sameImage(img, testing_support::makeF()));

    // The densest run-length file there is: runs of 255 pixels, 8 bytes per 1020-pixel row
    // plus its end of line. It loads; claiming more rows than its bytes could fill does not.
    BmpSpec rle;
    rle.width = 1020;
    rle.height = 64;
    rle.compression = 1;
    rle.afterHeader = greyTable(256);
    for (int r = 0; r < rle.height; ++r) {
        for (int i = 0; i < 4; ++i) rle.pixels.insert(rle.pixels.end(), {255, uint8_t(r + i)});
        rle.pixels.insert(rle.pixels.end(), {0, uint8_t(r + 1 == rle.height ? 1 : 0)});
    }
    ASSERT_TRUE(loadBytes(img, makeBmp(rle))) << img.lastError();
    EXPECT_EQ(img.getPixelIndex(1019, 63), 66);
    rle.height = 128;
    EXPECT_FALSE(loadBytes(img, makeBmp(rle)));
    EXPECT_STREQ(img.lastError(), "Image data too short for the picture's size");

    // A raw file cut short keeps loading with the rows it has, down to a small share of its
    // data; with almost nothing left it is refused.
    BmpSpec raw;
    raw.width = 100;
    raw.height = 100;
    raw.bits = 24;
    raw.pixels.assign(300 * 10, 7);
    ASSERT_TRUE(loadBytes(img, makeBmp(raw))) << img.lastError();
    EXPECT_EQ(img.getPixelColor(99, 9), (RgbQuad{7, 7, 7, 0}));
    EXPECT_EQ(img.getPixelColor(0, 10), (RgbQuad{0, 0, 0, 0}));
    raw.pixels.resize(50);
    EXPECT_FALSE(loadBytes(img, makeBmp(raw)));
    EXPECT_STREQ(img.lastError(), "Image data too short for the picture's size");
}

// --- writing ---

TEST(BmpEncode, LayoutOfTheWrittenFile) {
    // 3 x 2 at 24 bits: two rows of 12 bytes behind the 14 + 40 header bytes.
    DibImage rgb(3, 2, 24, BMP);
    Bytes file = saveBytes(rgb, BMP);
    ASSERT_EQ(file.size(), 14u + 40 + 24);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(get32(file, 2), 78u);
    EXPECT_EQ(get32(file, 10), 54u);
    EXPECT_EQ(get32(file, 14), 40u);

    DibImage pal(5, 3, 8, BMP);
    file = saveBytes(pal, BMP);
    EXPECT_EQ(get32(file, 10), 1078u);
    EXPECT_EQ(file.size(), 1078u + 8 * 3);
    EXPECT_EQ(get32(file, 14 + 32), 256u);  // colours used
}

TEST(BmpEncode, RoundTripsAtEveryDepth) {
    for (uint32_t bits : {1u, 4u, 8u, 24u})
        for (auto size : {std::pair{1, 1}, std::pair{6, 5}, std::pair{33, 7}}) {
            DibImage img = randomImage(size.first, size.second, bits, bits * 100 + size.first);
            img.setXDpi(300);
            img.setYDpi(96);
            bool ok = false;
            Bytes file = saveBytes(img, BMP, &ok);
            ASSERT_TRUE(ok);
            DibImage back;
            ASSERT_TRUE(loadBytes(back, file)) << back.lastError();
            std::string why;
            EXPECT_TRUE(sameImage(img, back, &why)) << bits << " bits: " << why;
            EXPECT_EQ(back.info.xDpi, 300);
            EXPECT_EQ(back.info.yDpi, 96);
            EXPECT_EQ(std::memcmp(&back.header, &img.header, sizeof img.header), 0);
            // Saving leaves the image as it was, and saving again gives the same bytes.
            EXPECT_EQ(saveBytes(img, BMP), file);
        }
}

// --- corrupt files ---

TEST(BmpCorruptFiles, EachFailsWithItsCauseOrLoadsItsSize) {
    // Every bad-* file with what it must give: the sides it loads with, or the refusal.
    const char* const kTooShort = "Image data too short for the picture's size";
    const std::vector<bad_files::Outcome> outcomes = {
        {"bad-bits-0.bmp", 3, 2, nullptr},
        {"bad-bits-64.bmp", 3, 2, nullptr},
        {"bad-colours-used.bmp", 2, 2, nullptr},
        {"bad-fuzz-61-bytes-100m-rows.bmp", 0, 0, kTooShort},
        {"bad-header-only.bmp", 0, 0, "Error reading BMP info"},
        {"bad-header-size.bmp", 2, 2, nullptr},
        {"bad-height-min.bmp", 0, 0, "Image too large: 4 x 2147483648"},
        {"bad-huge-top-down.bmp", 0, 0, kTooShort},
        {"bad-huge.bmp", 0, 0, "Image too large: 60000 x 60000"},
        {"bad-image-size-overflow.bmp", 0, 0, "Invalid image size: -1481113440 x 1612709712"},
        {"bad-masks.bmp", 3, 2, nullptr},
        {"bad-pixel-offset.bmp", 0, 0, kTooShort},
        {"bad-rle-on-1-bit.bmp", 5, 3, nullptr},
        {"bad-rle4-overrun.bmp", 3, 2, nullptr},
        {"bad-rle8-overrun.bmp", 3, 2, nullptr},
        {"bad-rle8-truncated.bmp", 8, 8, nullptr},
        {"bad-truncated-32.bmp", 100, 100, nullptr},
        {"bad-zero-height.bmp", 0, 0, "Invalid image size: 5 x 0"},
        {"bad-zero-width.bmp", 0, 0, "Invalid image size: 0 x 5"},
    };
    bad_files::expectOutcomes("bmp", BMP, outcomes);
}
