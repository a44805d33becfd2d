// PNG codec: decoding of files made by other encoders (every colour type and depth), the
// transparency rules, the side effects of saving, round trips and a folder of corrupt files.
#include "formats/png/png_codec.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/image_stream.h"
#include "support/test_support.h"

using testing_support::dataPath;
using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::sameImage;
using testing_support::TempDir;

namespace {

// --- the formulas tests/data/png/make_fixtures.py drew the fixtures from (r = file row) ---
constexpr int kW = 13, kH = 11;

int base(int x, int r, int c) {
    return (x * 37 + r * 59 + c * 101 + x * r * 7) & 0xFF;
}
int low(int x, int r, int c) {
    return (x * 13 + r * 29 + c * 71) & 0xFF;
}
int sample16(int x, int r, int c) {
    return base(x, r, c) << 8 | low(x, r, c);
}
int alpha8(int x, int r) {
    static const int alphas[5] = {0, 255, 128, 37, 200};
    return alphas[(x + 2 * r) % 5];
}
int alpha16(int x, int r) {
    const int a = alpha8(x, r);
    return a == 0 ? 0 : a == 255 ? 65535 : a << 8 | (x * 5 & 0xFF);
}
RgbQuad paletteEntry(int i) {
    return RgbQuad{uint8_t(i * 199 + 3), uint8_t(i * 151 + 7), uint8_t(i * 73 + 11), 0};
}
int paletteIndex(int x, int r, int n) {
    return base(x, r, 0) % n;
}
int grey(int x, int r, int bits) {
    return base(x, r, 0) >> (8 - bits);
}
RgbQuad rgb(int red, int green, int blue) {
    return RgbQuad{uint8_t(blue), uint8_t(green), uint8_t(red), 0};
}
// The colour the image holds at file position (x, r): rows are stored bottom-up.
RgbQuad colourAt(const DibImage& img, int x, int r) {
    RgbQuad c = img.getPixelColor(x, img.height() - 1 - r);
    c.reserved = 0;
    return c;
}
uint8_t indexAt(const DibImage& img, int x, int r) {
    return img.getPixelIndex(x, img.height() - 1 - r);
}
uint8_t alphaAt(const DibImage& img, int x, int r) {
    return img.alphaGet(x, img.height() - 1 - r);
}

// The library's compositing: sample and background mixed by alpha, rounded to nearest.
int over8(int v, int a, int bg) {
    return (v * a + bg * (255 - a) + 127) / 255;
}
int over16(int v, int a, int bg) {
    return int((int64_t(v) * a + int64_t(bg) * (65535 - a) + 32767) / 65535);
}

struct PngHeader {
    uint32_t width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
};

// Reads IHDR straight from the bytes, so each test also proves what its fixture holds.
PngHeader headerOf(const std::vector<uint8_t>& b) {
    PngHeader h;
    if (b.size() < 33) return h;
    auto be32 = [&](size_t at) {
        return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 |
               b[at + 3];
    };
    h.width = be32(16);
    h.height = be32(20);
    h.depth = b[24];
    h.colourType = b[25];
    h.interlace = b[28];
    return h;
}

// The data of the first chunk of a kind, walking the file's chunks.
std::vector<uint8_t> chunkOf(const std::vector<uint8_t>& b, const char* kind) {
    size_t pos = 8;
    while (pos + 12 <= b.size()) {
        const uint32_t n = uint32_t(b[pos]) << 24 | uint32_t(b[pos + 1]) << 16 |
                           uint32_t(b[pos + 2]) << 8 | b[pos + 3];
        if (pos + 12 + n > b.size()) break;
        if (std::memcmp(&b[pos + 4], kind, 4) == 0)
            return std::vector<uint8_t>(b.begin() + long(pos + 8), b.begin() + long(pos + 8 + n));
        pos += 12 + n;
    }
    return {};
}

DibImage loadFixture(const std::string& name, int depth, int colourType, int interlace) {
    const std::string path = dataPath("png/" + name);
    const PngHeader h = headerOf(readBytes(path));
    EXPECT_EQ(h.width, uint32_t(kW)) << name;
    EXPECT_EQ(h.height, uint32_t(kH)) << name;
    EXPECT_EQ(h.depth, depth) << name;
    EXPECT_EQ(h.colourType, colourType) << name;
    EXPECT_EQ(h.interlace, interlace) << name;
    DibImage img;
    EXPECT_TRUE(img.loadFromFile(path.c_str(), PNG)) << name << ": " << img.lastError();
    EXPECT_EQ(img.width(), kW) << name;
    EXPECT_EQ(img.height(), kH) << name;
    EXPECT_EQ(img.type(), uint32_t(PNG)) << name;
    EXPECT_STREQ(img.lastError(), "") << name;
    return img;
}

// Decodes PNG bytes with libpng's simplified reader (a path the codec does not use) into
// top-down RGBA rows.
bool independentRgba(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* rgba, uint32_t* width,
                     uint32_t* height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba->assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgba->data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    *width = image.width;
    *height = image.height;
    return true;
}

std::vector<uint8_t> saveToBytes(const DibImage& img, const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(img.saveToFile(path.c_str(), PNG)) << img.lastError();
    return readBytes(path);
}

// The picture as the independent reader sees it must equal the image: colours, and alpha
// (255 where the image has no transparency).
void expectIndependentlyEqual(const std::vector<uint8_t>& bytes, const DibImage& img) {
    std::vector<uint8_t> rgba;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(independentRgba(bytes, &rgba, &w, &h));
    ASSERT_EQ(int(w), img.width());
    ASSERT_EQ(int(h), img.height());
    for (int r = 0; r < img.height(); ++r)
        for (int x = 0; x < img.width(); ++x) {
            const uint8_t* p = &rgba[(size_t(r) * w + x) * 4];
            const RgbQuad c = colourAt(img, x, r);
            ASSERT_EQ(rgb(p[0], p[1], p[2]), c) << x << "," << r;
            int a = 255;
            if (img.hasAlpha()) a = alphaAt(img, x, r) * img.info.alphaMax / 255;
            if (img.header.colorsUsed && img.info.alphaPaletteEnabled)
                a = img.getPaletteColor(indexAt(img, x, r)).reserved;
            if (img.header.colorsUsed && img.info.backgroundIndex >= 0 &&
                indexAt(img, x, r) == img.info.backgroundIndex)
                a = 0;
            ASSERT_EQ(p[3], a) << x << "," << r;
        }
}

}  // namespace

// --- decoding files made by Pillow and ImageMagick ---

TEST(PngDecode, GreyEveryDepthPlainAndInterlaced) {
    struct Case {
        const char* name;
        int depth, interlace, imageBits;
    };
    const Case cases[] = {
        {"grey1.png", 1, 0, 1},
        {"grey2.png", 2, 0, 4},
        {"grey4.png", 4, 0, 4},
        {"grey8.png", 8, 0, 8},
        {"grey16.png", 16, 0, 8},
        {"grey1-interlaced.png", 1, 1, 1},
        {"grey2-interlaced.png", 2, 1, 4},
        {"grey8-interlaced.png", 8, 1, 8},
        {"grey16-interlaced.png", 16, 1, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DibImage img = loadFixture(c.name, c.depth, 0, c.interlace);
        ASSERT_TRUE(img.isValid());
        EXPECT_EQ(img.bitCount(), c.imageBits);
        EXPECT_EQ(img.info.colorType, 1);
        EXPECT_EQ(img.info.backgroundIndex, -1);
        EXPECT_FALSE(img.hasAlpha());
        const int bits = std::min(c.depth, 8);  // 16-bit samples keep their high byte
        // The grey palette: 0/255, the 2-bit levels 0, 85, 170, 255, steps of 17, identity.
        const int levels = 1 << bits;
        for (int i = 0; i < levels; ++i) {
            const int v = c.depth == 2 ? i * 85 : i * (255 / (levels - 1));
            EXPECT_EQ(img.getPaletteColor(i), rgb(v, v, v)) << i;
        }
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x)
                ASSERT_EQ(indexAt(img, x, r), grey(x, r, bits)) << x << "," << r;
    }
}

TEST(PngDecode, PaletteEveryDepthPlainAndInterlaced) {
    struct Case {
        const char* name;
        int depth, interlace, colours, imageBits;
    };
    const Case cases[] = {
        {"palette1.png", 1, 0, 2, 1},
        {"palette2.png", 2, 0, 4, 4},
        {"palette4.png", 4, 0, 16, 4},
        {"palette8.png", 8, 0, 256, 8},
        {"palette2-interlaced.png", 2, 1, 4, 4},
        {"palette8-interlaced.png", 8, 1, 100, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DibImage img = loadFixture(c.name, c.depth, 3, c.interlace);
        ASSERT_TRUE(img.isValid());
        EXPECT_EQ(img.bitCount(), c.imageBits);
        EXPECT_EQ(img.info.backgroundIndex, -1);
        EXPECT_FALSE(img.info.alphaPaletteEnabled);
        const bool exactPalette = !c.interlace;  // Pillow keeps the given palette order
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x) {
                const int i = paletteIndex(x, r, c.colours);
                ASSERT_EQ(colourAt(img, x, r), paletteEntry(i)) << x << "," << r;
                if (exactPalette) {
                    ASSERT_EQ(indexAt(img, x, r), i) << x << "," << r;
                }
            }
    }
}

TEST(PngDecode, RgbEightAndSixteenBitsPlainAndInterlaced) {
    for (const char* name :
         {"rgb8.png", "rgb16.png", "rgb8-interlaced.png", "rgb16-interlaced.png"}) {
        SCOPED_TRACE(name);
        const bool sixteen = std::strstr(name, "16") != nullptr;
        const bool interlaced = std::strstr(name, "interlaced") != nullptr;
        DibImage img = loadFixture(name, sixteen ? 16 : 8, 2, interlaced);
        ASSERT_TRUE(img.isValid());
        EXPECT_EQ(img.bitCount(), 24);
        EXPECT_EQ(img.info.colorType, 2);
        EXPECT_FALSE(img.hasAlpha());
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x)
                ASSERT_EQ(colourAt(img, x, r), rgb(base(x, r, 0), base(x, r, 1), base(x, r, 2)))
                    << x << "," << r;
    }
}

TEST(PngDecode, EightBitRgbaKeepsItsAlphaPlaneAndBackground) {
    for (const char* name : {"rgba8.png", "rgba8-interlaced.png", "rgba8-bkgd.png"}) {
        SCOPED_TRACE(name);
        const bool interlaced = std::strstr(name, "interlaced") != nullptr;
        DibImage img = loadFixture(name, 8, 6, interlaced);
        ASSERT_TRUE(img.isValid());
        EXPECT_EQ(img.bitCount(), 24);
        ASSERT_TRUE(img.hasAlpha());
        EXPECT_EQ(img.info.colorType, 4);
        // Interlaced files place every row exactly where plain ones do.
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x) {
                ASSERT_EQ(colourAt(img, x, r), rgb(base(x, r, 0), base(x, r, 1), base(x, r, 2)))
                    << x << "," << r;
                ASSERT_EQ(alphaAt(img, x, r), alpha8(x, r)) << x << "," << r;
            }
        const RgbQuad expected = std::strstr(name, "bkgd") ? rgb(10, 20, 30) : RgbQuad{};
        EXPECT_EQ(img.info.backgroundColour, expected);
    }
}

TEST(PngDecode, SixteenBitGreyAlphaLoadsWithAnAlphaPlane) {
    for (const char* name : {"grey-alpha16.png", "grey-alpha16-interlaced.png"}) {
        SCOPED_TRACE(name);
        DibImage img = loadFixture(name, 16, 4, std::strstr(name, "interlaced") != nullptr);
        ASSERT_TRUE(img.isValid());
        EXPECT_EQ(img.bitCount(), 24);
        ASSERT_TRUE(img.hasAlpha());
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x) {
                const int v = base(x, r, 0);
                ASSERT_EQ(colourAt(img, x, r), rgb(v, v, v)) << x << "," << r;
                ASSERT_EQ(alphaAt(img, x, r), alpha16(x, r) >> 8) << x << "," << r;
            }
    }
}

TEST(PngDecode, SixteenBitRgbaIsCompositedOntoGrey192OrItsBackground) {
    struct Case {
        const char* name;
        int interlace;
        int background[3];
    };
    const Case cases[] = {
        {"rgba16.png", 0, {192 * 257, 192 * 257, 192 * 257}},
        {"rgba16-interlaced.png", 1, {192 * 257, 192 * 257, 192 * 257}},
        {"rgba16-bkgd.png", 0, {0x1234, 0x5678, 0x9ABC}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DibImage img = loadFixture(c.name, 16, 6, c.interlace);
        ASSERT_TRUE(img.isValid());
        EXPECT_EQ(img.bitCount(), 24);
        EXPECT_FALSE(img.hasAlpha());
        EXPECT_EQ(img.info.colorType, 2);
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x) {
                int ch[3];
                for (int k = 0; k < 3; ++k)
                    ch[k] = over16(sample16(x, r, k), alpha16(x, r), c.background[k]) >> 8;
                ASSERT_EQ(colourAt(img, x, r), rgb(ch[0], ch[1], ch[2])) << x << "," << r;
            }
    }
}

TEST(PngDecode, EightBitGreyAlphaIsCompositedIntoAGreyImage) {
    // Without bKGD the library composites onto grey 0.
    for (const auto& [name, background] :
         {std::pair{"grey-alpha8.png", 0}, std::pair{"grey-alpha8-bkgd.png", 90}}) {
        SCOPED_TRACE(name);
        DibImage img = loadFixture(name, 8, 4, 0);
        ASSERT_TRUE(img.isValid());
        EXPECT_EQ(img.bitCount(), 8);
        EXPECT_FALSE(img.hasAlpha());
        EXPECT_TRUE(img.isGrayScale());
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x)
                ASSERT_EQ(indexAt(img, x, r), over8(base(x, r, 0), alpha8(x, r), background))
                    << x << "," << r;
    }
}

TEST(PngDecode, TwoBitRowsWithSetPaddingBitsWidenToTheirPixels) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("png/bad-2bit-padding.png").c_str(), PNG));
    ASSERT_EQ(img.width(), 9);
    ASSERT_EQ(img.bitCount(), 4);
    const int expected[3][9] = {
        {3, 3, 3, 3, 3, 2, 1, 0, 1}, {0, 1, 2, 3, 3, 2, 1, 0, 3}, {2, 2, 2, 2, 1, 1, 1, 1, 3}};
    for (int r = 0; r < 3; ++r)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(indexAt(img, x, r), expected[r][x]) << x << "," << r;
}

// --- transparency rules ---

TEST(PngTransparency, OneTransparentPaletteEntryBecomesTheBackgroundIndex) {
    DibImage img = loadFixture("palette4-trns0.png", 4, 3, 0);
    ASSERT_TRUE(img.isValid());
    EXPECT_EQ(img.info.backgroundIndex, 0);
    EXPECT_FALSE(img.info.alphaPaletteEnabled);
    EXPECT_EQ(img.getPaletteColor(0).reserved, 0);
    EXPECT_EQ(img.transparentColor(), img.getPaletteColor(0));
    for (int r = 0; r < kH; ++r)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(indexAt(img, x, r), paletteIndex(x, r, 16));
}

TEST(PngTransparency, SeveralEntriesEnablePaletteAlpha) {
    const uint8_t table[6] = {255, 0, 128, 7, 255, 60};
    for (const char* name : {"palette8-trns.png", "palette8-trns-bkgd.png"}) {
        SCOPED_TRACE(name);
        const bool withBackground = std::strstr(name, "bkgd") != nullptr;
        DibImage img = loadFixture(name, 8, 3, 0);
        ASSERT_TRUE(img.isValid());
        EXPECT_EQ(img.bitCount(), 8);
        EXPECT_EQ(img.info.backgroundIndex, -1);
        EXPECT_TRUE(img.info.alphaPaletteEnabled);
        const int n = withBackground ? 3 : 6;
        for (int i = 0; i < 256; ++i) {
            RgbQuad expected = paletteEntry(i);
            expected.reserved = i < n ? table[i] : 255;
            ASSERT_EQ(img.getPaletteColor(i), expected) << i;
        }
        // A bKGD chunk changes neither the indices nor the palette.
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x) ASSERT_EQ(indexAt(img, x, r), paletteIndex(x, r, 256));
    }
}

TEST(PngTransparency, TransparentGreyOfAnEightBitFileBecomesItsIndex) {
    DibImage img = loadFixture("grey8-trns.png", 8, 0, 0);
    ASSERT_TRUE(img.isValid());
    const int key = grey(0, 0, 8);
    EXPECT_EQ(img.info.backgroundIndex, key);
    EXPECT_FALSE(img.info.alphaPaletteEnabled);
    // The pixels keep their greys; only the named one is transparent.
    for (int r = 0; r < kH; ++r)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(indexAt(img, x, r), grey(x, r, 8));
    EXPECT_EQ(img.transparentColor(), rgb(key, key, key));
}

TEST(PngTransparency, TransparentColourOfRgbAndSixteenBitGreyFilesIsComposited) {
    {
        SCOPED_TRACE("rgb8-trns.png");
        DibImage img = loadFixture("rgb8-trns.png", 8, 2, 0);
        ASSERT_TRUE(img.isValid());
        EXPECT_FALSE(img.hasAlpha());
        EXPECT_EQ(img.info.backgroundIndex, -1);
        const RgbQuad key = rgb(base(0, 0, 0), base(0, 0, 1), base(0, 0, 2));
        int keyed = 0;
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x) {
                const RgbQuad c = rgb(base(x, r, 0), base(x, r, 1), base(x, r, 2));
                keyed += c == key;
                ASSERT_EQ(colourAt(img, x, r), c == key ? rgb(192, 192, 192) : c);
            }
        EXPECT_GE(keyed, 1);
    }
    {
        SCOPED_TRACE("grey16-trns.png");
        DibImage img = loadFixture("grey16-trns.png", 16, 0, 0);
        ASSERT_TRUE(img.isValid());
        EXPECT_EQ(img.bitCount(), 8);
        EXPECT_EQ(img.info.backgroundIndex, -1);
        EXPECT_FALSE(img.info.alphaPaletteEnabled);
        for (int i = 0; i < 256; ++i) ASSERT_EQ(img.getPaletteColor(i).reserved, 0);
        const int key = sample16(0, 0, 0);
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x)
                ASSERT_EQ(indexAt(img, x, r), sample16(x, r, 0) == key ? 0 : base(x, r, 0));
    }
}

// --- what saving does to the file, and that it leaves the image alone ---

TEST(PngEncode, TransparentPaletteColourMovesToIndexZeroOfTheFileOnly) {
    TempDir dir;
    DibImage img = randomImage(9, 7, 8, 41);
    img.info.backgroundIndex = 5;
    const DibImage before(img, true, true);
    const std::vector<uint8_t> bytes = saveToBytes(img, dir, "moved.png");

    // The file: entry 0 is the former entry 5, and a one-entry tRNS of 0.
    const std::vector<uint8_t> plte = chunkOf(bytes, "PLTE");
    ASSERT_EQ(plte.size(), 256u * 3);
    const RgbQuad five = before.getPaletteColor(5), zero = before.getPaletteColor(0);
    EXPECT_EQ(rgb(plte[0], plte[1], plte[2]), rgb(five.red, five.green, five.blue));
    EXPECT_EQ(rgb(plte[15], plte[16], plte[17]), rgb(zero.red, zero.green, zero.blue));
    EXPECT_EQ(chunkOf(bytes, "tRNS"), std::vector<uint8_t>{0});
    EXPECT_EQ(headerOf(bytes).colourType, 3);
    EXPECT_EQ(headerOf(bytes).depth, 8);

    // The image in memory is as it was: palette, indices and background index.
    EXPECT_TRUE(sameImage(img, before));
    EXPECT_EQ(img.info.backgroundIndex, 5);
    expectIndependentlyEqual(bytes, img);

    // Read back: the same colours everywhere, with entries and indices 0 and 5 exchanged.
    DibImage back;
    ASSERT_TRUE(back.loadFromFile(dir.file("moved.png").c_str(), PNG));
    EXPECT_EQ(back.info.backgroundIndex, 0);
    EXPECT_EQ(back.getPaletteColor(0), five);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            const uint8_t was = img.getPixelIndex(x, y);
            ASSERT_EQ(back.getPixelIndex(x, y), was == 5 ? 0 : was == 0 ? 5 : was);
            ASSERT_EQ(back.getPixelColor(x, y), img.getPixelColor(x, y));
        }

    // Saved again, the bytes are the same; saved from the read-back picture too.
    EXPECT_EQ(saveToBytes(img, dir, "again.png"), bytes);
    EXPECT_EQ(saveToBytes(back, dir, "back.png"), bytes);
}

TEST(PngEncode, PackedTransparentIndicesAreExchangedInTheFileOnly) {
    TempDir dir;
    const std::pair<uint32_t, uint8_t> cases[] = {{4, 9}, {1, 1}};
    for (const auto& [bits, key] : cases) {
        SCOPED_TRACE(bits);
        DibImage img = randomImage(11, 5, bits, 7);
        img.info.backgroundIndex = key;
        const DibImage before(img, true, true);
        saveToBytes(img, dir, "packed.png");
        EXPECT_TRUE(sameImage(img, before));
        EXPECT_EQ(img.info.backgroundIndex, key);
        DibImage back;
        ASSERT_TRUE(back.loadFromFile(dir.file("packed.png").c_str(), PNG));
        EXPECT_EQ(back.info.backgroundIndex, 0);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x) {
                ASSERT_EQ(back.getPixelColor(x, y), img.getPixelColor(x, y));
                const uint8_t was = img.getPixelIndex(x, y);
                ASSERT_EQ(back.getPixelIndex(x, y), was == key ? 0 : was == 0 ? key : was);
            }
    }
}

TEST(PngEncode, BackgroundIndexOutsideThePaletteIsNotWritten) {
    TempDir dir;
    DibImage img = randomImage(8, 4, 4, 3);
    img.info.backgroundIndex = 200;  // a 16-colour table has no entry 200
    const DibImage before(img, true, true);
    const std::vector<uint8_t> bytes = saveToBytes(img, dir, "outside.png");
    EXPECT_TRUE(chunkOf(bytes, "tRNS").empty());
    EXPECT_TRUE(sameImage(img, before));
    EXPECT_EQ(img.info.backgroundIndex, 200);
}

TEST(PngEncode, TransparentColourOfTrueColourImageBecomesAlphaZero) {
    TempDir dir;
    DibImage img(6, 4, 24, BMP);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            img.setPixelColor(x, y, (x + y) % 3 ? rgb(x * 40, y * 60, 90) : rgb(0, 0, 0));
    img.info.backgroundIndex = 0;
    img.info.backgroundColour = RgbQuad{0, 0, 0, 0};
    const DibImage before(img, true, true);
    const std::vector<uint8_t> bytes = saveToBytes(img, dir, "keyed.png");
    EXPECT_EQ(headerOf(bytes).colourType, 6);
    EXPECT_EQ(headerOf(bytes).depth, 8);

    // The image is unchanged: no alpha plane was left behind.
    EXPECT_FALSE(img.hasAlpha());
    EXPECT_EQ(img.info.colorType, 2);
    EXPECT_TRUE(sameImage(img, before));

    DibImage back;
    ASSERT_TRUE(back.loadFromFile(dir.file("keyed.png").c_str(), PNG));
    ASSERT_TRUE(back.hasAlpha());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool black = img.getPixelColor(x, y) == RgbQuad{};
            ASSERT_EQ(back.alphaGet(x, y), black ? 0 : 255) << x << "," << y;
            ASSERT_EQ(back.getPixelColor(x, y), img.getPixelColor(x, y));
        }
    std::vector<uint8_t> rgba;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(independentRgba(bytes, &rgba, &w, &h));
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(rgba[(size_t(r) * 6 + x) * 4 + 3],
                      colourAt(img, x, r) == RgbQuad{} ? 0 : 255);
}

TEST(PngEncode, TransparentColourIsSavedAsAlphaZeroAndTheAlphaPlaneKept) {
    TempDir dir;
    DibImage img = randomImage(5, 3, 24, 12, true);
    img.alphaFill(200);
    img.setPixelColor(2, 1, rgb(1, 2, 3));
    img.info.backgroundIndex = 0;
    img.info.backgroundColour = rgb(1, 2, 3);
    const DibImage before(img, true, true);
    saveToBytes(img, dir, "zeroed.png");
    EXPECT_TRUE(sameImage(img, before));
    DibImage back;
    ASSERT_TRUE(back.loadFromFile(dir.file("zeroed.png").c_str(), PNG));
    ASSERT_TRUE(back.hasAlpha());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(back.alphaGet(x, y), img.getPixelColor(x, y) == rgb(1, 2, 3) ? 0 : 200);
}

TEST(PngEncode, AlphaIsScaledByAlphaMax) {
    TempDir dir;
    DibImage img = randomImage(7, 3, 24, 5, true);
    img.info.alphaMax = 100;
    const std::vector<uint8_t> bytes = saveToBytes(img, dir, "scaled.png");
    DibImage back;
    ASSERT_TRUE(back.loadFromFile(dir.file("scaled.png").c_str(), PNG));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) ASSERT_EQ(back.alphaGet(x, y), img.alphaGet(x, y) * 100 / 255);
    expectIndependentlyEqual(bytes, img);
}

// --- round trips at every depth the writer produces ---

TEST(PngRoundTrip, EveryDepthReadsBackIdentically) {
    TempDir dir;
    struct Case {
        uint32_t bits;
        bool alpha;
        int colourType, depth;
    };
    for (const Case& c : {Case{1, false, 3, 1}, Case{4, false, 3, 4}, Case{8, false, 3, 8},
                          Case{24, false, 2, 8}, Case{24, true, 6, 8}}) {
        for (const auto& [w, h] : {std::pair{1, 1}, std::pair{6, 5}, std::pair{33, 17}}) {
            SCOPED_TRACE(std::to_string(c.bits) + (c.alpha ? "+alpha " : " ") + std::to_string(w) +
                         "x" + std::to_string(h));
            DibImage img = randomImage(w, h, c.bits, uint32_t(c.bits * 1000 + w), c.alpha);
            const DibImage before(img, true, true);
            const std::string name = "rt" + std::to_string(c.bits) + std::to_string(w) + ".png";
            const std::vector<uint8_t> bytes = saveToBytes(img, dir, name);
            EXPECT_TRUE(sameImage(img, before));
            EXPECT_EQ(headerOf(bytes).colourType, c.colourType);
            EXPECT_EQ(headerOf(bytes).depth, c.depth);
            EXPECT_EQ(headerOf(bytes).interlace, 0);

            DibImage back;
            ASSERT_TRUE(back.loadFromFile(dir.file(name).c_str(), PNG)) << back.lastError();
            std::string why;
            EXPECT_TRUE(sameImage(back, img, &why)) << why;
            EXPECT_EQ(back.info.backgroundIndex, -1);
            EXPECT_FALSE(back.info.alphaPaletteEnabled);
            expectIndependentlyEqual(bytes, img);
        }
    }
}

TEST(PngRoundTrip, PaletteAlphaSurvives) {
    TempDir dir;
    DibImage img = randomImage(10, 6, 8, 77);
    for (int i = 0; i < 256; ++i) {
        RgbQuad c = img.getPaletteColor(i);
        c.reserved = uint8_t(i * 3 + 1);
        img.setPaletteColor(i, c);
    }
    img.info.alphaPaletteEnabled = true;
    const std::vector<uint8_t> bytes = saveToBytes(img, dir, "palpha.png");
    EXPECT_EQ(chunkOf(bytes, "tRNS").size(), 256u);
    DibImage back;
    ASSERT_TRUE(back.loadFromFile(dir.file("palpha.png").c_str(), PNG));
    EXPECT_TRUE(back.info.alphaPaletteEnabled);
    EXPECT_TRUE(sameImage(back, img));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(back.getPaletteColor(i).reserved, uint8_t(i * 3 + 1));
    expectIndependentlyEqual(bytes, img);
}

TEST(PngRoundTrip, DecodedFixturesSaveAndLoadUnchanged) {
    TempDir dir;
    for (const char* name : {"grey2.png", "palette4-trns0.png", "rgba8-interlaced.png",
                             "grey-alpha16.png", "palette8-trns.png"}) {
        SCOPED_TRACE(name);
        DibImage img;
        ASSERT_TRUE(img.loadFromFile(dataPath(std::string("png/") + name).c_str(), PNG));
        const std::vector<uint8_t> bytes = saveToBytes(img, dir, "copy.png");
        DibImage back;
        ASSERT_TRUE(back.loadFromFile(dir.file("copy.png").c_str(), PNG));
        std::string why;
        EXPECT_TRUE(sameImage(back, img, &why)) << why;
        EXPECT_EQ(back.info.backgroundIndex, img.info.backgroundIndex);
        EXPECT_EQ(back.info.alphaPaletteEnabled, img.info.alphaPaletteEnabled);
        expectIndependentlyEqual(bytes, img);
    }
}

// --- failures ---

TEST(PngFailure, TruncatedFileFailsAndLeavesTheImageAlone) {
    const std::vector<uint8_t> good = readBytes(dataPath("png/rgb8.png"));
    DibImage img = randomImage(4, 3, 8, 1);
    const DibImage before(img, true, true);
    for (size_t cut : {size_t(0), size_t(7), size_t(20), good.size() / 2, good.size() - 1}) {
        SCOPED_TRACE(cut);
        FILE* f = fmemopen(const_cast<uint8_t*>(good.data()), std::max<size_t>(cut, 1), "rb");
        ASSERT_NE(f, nullptr);
        if (cut == 0) std::fseek(f, 0, SEEK_END);  // an empty stream
        bool ok;
        {
            ImageStream stream(f);
            ok = img.loadFromStream(stream, PNG);
        }
        std::fclose(f);
        EXPECT_FALSE(ok);
        EXPECT_STREQ(img.lastError(), "Error reading PNG file");
        EXPECT_TRUE(sameImage(img, before));
    }
}

TEST(PngFailure, LibraryMessagesAreRecordedNotPrinted) {
    const std::vector<uint8_t> bad = readBytes(dataPath("png/bad-crc-idat.png"));
    FILE* f = fmemopen(const_cast<uint8_t*>(bad.data()), bad.size(), "rb");
    ASSERT_NE(f, nullptr);
    PngCodec codec;
    testing::internal::CaptureStderr();
    bool ok;
    {
        ImageStream stream(f);
        ok = codec.decode(stream);
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    std::fclose(f);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(codec.lastError(), "Error reading PNG file");
    EXPECT_NE(std::string(codec.libraryMessage()).find("CRC"), std::string::npos)
        << codec.libraryMessage();
    EXPECT_EQ(printed, "");
}

TEST(PngFailure, HugeSidesAreRefusedBeforeAllocating) {
    const std::pair<const char*, const char*> huge[] = {
        {"bad-huge-width.png", "Image too large: 1000000 x 1000000"},
        {"bad-huge-area.png", "Image too large: 20000 x 20000"},
    };
    for (const auto& [name, message] : huge) {
        DibImage img;
        EXPECT_FALSE(img.loadFromFile(dataPath(std::string("png/") + name).c_str(), PNG));
        EXPECT_STREQ(img.lastError(), message) << name;
    }
    // Sides the image model accepts, in a file far too short to hold them.
    for (const char* name : {"bad-big-claim.png", "bad-big-claim-interlaced.png"}) {
        DibImage img;
        EXPECT_FALSE(img.loadFromFile(dataPath(std::string("png/") + name).c_str(), PNG));
        EXPECT_STREQ(img.lastError(), "Error reading PNG file") << name;
    }
}

TEST(PngFailure, EveryCorruptFileFailsWithItsCauseOrLoadsItsSize) {
    // Every bad-* file with what it must give: the sides it loads with, or the refusal.
    struct Outcome {
        const char* file;
        int32_t width, height;
        const char* error;  // null for a file that loads
    };
    const char* const kError = "Error reading PNG file";
    const std::vector<Outcome> outcomes = {
        {"bad-2bit-padding.png", 9, 3, nullptr},
        {"bad-big-claim-interlaced.png", 0, 0, kError},
        {"bad-big-claim.png", 0, 0, kError},
        {"bad-bit-depth.png", 0, 0, kError},
        {"bad-colour-type.png", 0, 0, kError},
        {"bad-crc-idat.png", 0, 0, kError},
        {"bad-crc-ihdr.png", 0, 0, kError},
        {"bad-extra-data.png", 2, 2, nullptr},
        {"bad-filter-byte.png", 0, 0, kError},
        {"bad-huge-area.png", 0, 0, "Image too large: 20000 x 20000"},
        {"bad-huge-width.png", 0, 0, "Image too large: 1000000 x 1000000"},
        {"bad-interlaced-short.png", 0, 0, kError},
        {"bad-no-iend.png", 0, 0, kError},
        {"bad-no-plte.png", 0, 0, kError},
        {"bad-palette-index.png", 4, 2, nullptr},
        {"bad-short-data.png", 0, 0, kError},
        {"bad-trns-too-long.png", 4, 2, nullptr},
        {"bad-truncated-header.png", 0, 0, kError},
        {"bad-truncated-idat.png", 0, 0, kError},
        {"bad-zero-width.png", 0, 0, kError},
        {"bad-zlib.png", 0, 0, kError},
    };
    testing::internal::CaptureStderr();
    for (const Outcome& o : outcomes) {
        SCOPED_TRACE(o.file);
        DibImage img;
        img.setLastError("before");
        const bool ok = img.loadFromFile(dataPath(std::string("png/") + o.file).c_str(), PNG);
        if (o.error) {
            EXPECT_FALSE(ok);
            EXPECT_FALSE(img.isValid());
            EXPECT_STREQ(img.lastError(), o.error);
            continue;
        }
        EXPECT_TRUE(ok) << img.lastError();
        EXPECT_STREQ(img.lastError(), "");
        EXPECT_EQ(img.width(), o.width);
        EXPECT_EQ(img.height(), o.height);
        // Every pixel and palette entry can be read without leaving the buffers.
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) (void)img.getPixelColor(x, y);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // A new bad file needs its outcome here.
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dataPath("png")))
        if (entry.path().filename().string().rfind("bad-", 0) == 0) ++count;
    EXPECT_EQ(count, outcomes.size());
}

TEST(PngFailure, WriteErrorIsReported) {
    TempDir dir;
    const std::string path = dir.file("ro.png");
    testing_support::writeBytes(path, {1, 2, 3});
    FILE* f = std::fopen(path.c_str(), "rb");  // writes to it fail
    ASSERT_NE(f, nullptr);
    DibImage img = randomImage(40, 30, 24, 9);
    bool ok;
    {
        ImageStream stream(f);
        ok = img.saveToStream(stream, PNG);
    }
    std::fclose(f);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(img.lastError(), "Error saving PNG file");
}

TEST(PngFailure, FailedSaveOfKeyedTrueColourImageLeavesNoAlphaPlane) {
    TempDir dir;
    const std::string path = dir.file("ro.png");
    testing_support::writeBytes(path, {1});
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    DibImage img = randomImage(20, 10, 24, 4);
    img.info.backgroundIndex = 0;
    bool ok;
    {
        ImageStream stream(f);
        ok = img.saveToStream(stream, PNG);
    }
    std::fclose(f);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(img.hasAlpha());
    EXPECT_EQ(img.info.colorType, 2);
}
