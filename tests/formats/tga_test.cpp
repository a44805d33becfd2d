// TGA codec: files from ImageMagick, Pillow and hand-written bytes decode to the pictures
// they hold; row orders, alpha, colour maps, the writer's layout, round trips, corrupt files.
#include "formats/tga/tga_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/fixture_pictures.h"
#include "support/byte_stream_support.h"
#include "support/test_support.h"

using namespace byte_stream_support;
using fixture_pictures::kPal16;
using fixture_pictures::rgb;
using testing_support::dataPath;
using testing_support::randomImage;
using testing_support::sameImage;

namespace {

// The synthetic pictures the fixture files were made from (tests/data/tga/make_fixtures.py),
// by column x and row r counted from the top.
constexpr int kW = fixture_pictures::kSmallW, kH = fixture_pictures::kSmallH;

constexpr RgbQuad colourAt(int x, int r) {
    return fixture_pictures::smallColourAt(x, r);
}

int paletteIndexAt(int x, int r) {
    return (x + 3 * r) % 16;
}

RgbQuad greyAt(int x, int r) {
    const int v = 36 * x + 7 * r;
    return rgb(v, v, v);
}

uint8_t alphaAt(int x, int r) {
    return uint8_t(255 - (30 * x + 7 * r));
}

RgbQuad top5(RgbQuad c) {
    return RgbQuad{uint8_t(c.blue & 0xF8), uint8_t(c.green & 0xF8), uint8_t(c.red & 0xF8), 0};
}

RgbQuad runsAt(int x, int r) {
    const int i = r * kW + x;
    if (i < 3) return rgb(200, 10, 10);
    if (i < 15) return rgb(10, 200, 10);
    if (i < 16) return rgb(10, 10, 200);
    return rgb(250, 250, 0);
}

enum class Kind { Colour, Palette, Palette555, Grey, GreyAlpha, Alpha, Chequer16, Runs };

struct Fixture {
    const char* file;
    Kind kind;
};

RgbQuad expectedColour(Kind kind, int x, int r) {
    switch (kind) {
        case Kind::Colour:
        case Kind::Alpha:
        case Kind::Chequer16:
            return colourAt(x, r);
        case Kind::Palette:
            return kPal16[paletteIndexAt(x, r)];
        case Kind::Palette555:
            return top5(kPal16[paletteIndexAt(x, r)]);
        case Kind::Grey:
        case Kind::GreyAlpha:
            return greyAt(x, r);
        case Kind::Runs:
            return runsAt(x, r);
    }
    return {};
}

std::string describe(const char* file, int x, int r) {
    return std::string(file) + " at column " + std::to_string(x) + ", row from top " +
           std::to_string(r);
}

Bytes tgaHeader(uint8_t mapType, uint8_t imageType, uint16_t first, uint16_t length,
                uint8_t entrySize, uint16_t w, uint16_t h, uint8_t depth, uint8_t descriptor) {
    Bytes b;
    put8(b, 0);
    put8(b, mapType);
    put8(b, imageType);
    put16(b, first);
    put16(b, length);
    put8(b, entrySize);
    put16(b, 0);
    put16(b, 0);
    put16(b, w);
    put16(b, h);
    put8(b, depth);
    put8(b, descriptor);
    return b;
}

}  // namespace

// --- files from independent encoders ---

TEST(TgaDecode, FilesFromOtherEncodersHoldTheirPictures) {
    const std::vector<Fixture> fixtures = {
        // ImageMagick: all four origins, raw and run-length.
        {"im-24-bl.tga", Kind::Colour},
        {"im-24-tl.tga", Kind::Colour},
        {"im-24-tr.tga", Kind::Colour},
        {"im-24-br.tga", Kind::Colour},
        {"im-24rle-bl.tga", Kind::Colour},
        {"im-24rle-tl.tga", Kind::Colour},
        {"im-24rle-tr.tga", Kind::Colour},
        {"im-24rle-br.tga", Kind::Colour},
        {"im-32.tga", Kind::Alpha},
        {"im-32rle-tl.tga", Kind::Alpha},
        {"im-8map.tga", Kind::Palette},
        {"im-8map-rle.tga", Kind::Palette},
        {"im-8grey.tga", Kind::Grey},
        // Pillow.
        {"pil-24.tga", Kind::Colour},
        {"pil-24rle-tl.tga", Kind::Colour},
        {"pil-32.tga", Kind::Alpha},
        {"pil-32rle.tga", Kind::Alpha},
        {"pil-8map.tga", Kind::Palette},
        {"pil-8map-rle.tga", Kind::Palette},
        {"pil-8grey-rle.tga", Kind::Grey},
        // Written byte by byte for what neither tool writes.
        {"hand-16.tga", Kind::Chequer16},
        {"hand-16rle.tga", Kind::Chequer16},
        {"hand-16-noattr.tga", Kind::Colour},
        {"hand-15.tga", Kind::Colour},
        {"hand-8map16-first10.tga", Kind::Palette555},
        {"hand-8map32.tga", Kind::Palette},
        {"hand-rle-wrap.tga", Kind::Runs},
        // 16-bit grey with alpha, raw and run-length, from either origin.
        {"hand-16grey-bl.tga", Kind::GreyAlpha},
        {"hand-16grey-tl.tga", Kind::GreyAlpha},
        {"hand-16grey-rle-bl.tga", Kind::GreyAlpha},
        {"hand-16grey-rle-tl.tga", Kind::GreyAlpha},
    };
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.file);
        DibImage img;
        ASSERT_TRUE(img.loadFromFile(dataPath(std::string("tga/") + f.file).c_str(), TGA))
            << img.lastError();
        EXPECT_EQ(img.type(), TGA);
        EXPECT_STREQ(img.lastError(), "");
        ASSERT_EQ(img.width(), kW);
        ASSERT_EQ(img.height(), kH);
        const bool grey = f.kind == Kind::Grey || f.kind == Kind::GreyAlpha;
        const bool paletted = f.kind == Kind::Palette || f.kind == Kind::Palette555 || grey;
        EXPECT_EQ(img.bitCount(), paletted ? 8 : 24);
        if (grey) {
            EXPECT_TRUE(img.isGrayScale());
        }
        const bool alpha =
            f.kind == Kind::Alpha || f.kind == Kind::GreyAlpha || f.kind == Kind::Chequer16;
        ASSERT_EQ(img.hasAlpha(), alpha);
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x) {
                const int y = kH - 1 - r;
                RgbQuad got = img.getPixelColor(x, y);
                got.reserved = 0;
                ASSERT_EQ(got, expectedColour(f.kind, x, r)) << describe(f.file, x, r);
                if (alpha) {
                    const int want = f.kind != Kind::Chequer16 ? alphaAt(x, r)
                                     : (x + r) % 2 == 0        ? 255
                                                               : 0;
                    ASSERT_EQ(img.alphaGet(x, y), want) << describe(f.file, x, r);
                }
            }
    }
}

TEST(TgaDecode, GreyFilesGetTheIdentityRamp) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("tga/pil-8grey-rle.tga").c_str(), TGA));
    EXPECT_TRUE(img.isGrayScale());
    EXPECT_EQ(img.getPixelIndex(2, kH - 1), 72);  // grey level 36 * 2 of the top row
}

TEST(TgaDecode, ColourMapFirstEntryOffsetsTheIndices) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("tga/hand-8map16-first10.tga").c_str(), TGA));
    // The pixels hold 10 + their colour's place in the map, so the map starts at index 10.
    EXPECT_EQ(img.getPixelIndex(0, kH - 1), 10);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(img.getPaletteColor(10 + i), top5(kPal16[i])) << i;
    EXPECT_EQ(img.getPaletteColor(9), RgbQuad{});
    EXPECT_EQ(img.getPaletteColor(26), RgbQuad{});

    // A 24-bit map with a first entry, made here: 3 entries standing for 253, 254, 255.
    Bytes b = tgaHeader(1, 1, 253, 3, 24, 3, 1, 8, 0);
    append(b, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    append(b, {253, 254, 255});
    DibImage m;
    ASSERT_TRUE(loadBytes(m, b, TGA)) << m.lastError();
    EXPECT_EQ(m.getPixelColor(0, 0), (RgbQuad{1, 2, 3, 0}));
    EXPECT_EQ(m.getPixelColor(2, 0), (RgbQuad{7, 8, 9, 0}));
}

TEST(TgaDecode, SixteenBitAlphaIsTheAttributeBit) {
    // Pixels 0x8000 (attribute set, black), 0x0080 (green bit 7 of the low byte), 0x7FFF.
    Bytes b = tgaHeader(0, 2, 0, 0, 0, 3, 1, 16, 0x01);
    append(b, {0x00, 0x80, 0x80, 0x00, 0xFF, 0x7F});
    DibImage img;
    ASSERT_TRUE(loadBytes(img, b, TGA)) << img.lastError();
    ASSERT_TRUE(img.hasAlpha());
    EXPECT_EQ(img.alphaGet(0, 0), 255);
    EXPECT_EQ(img.alphaGet(1, 0), 0);
    EXPECT_EQ(img.alphaGet(2, 0), 0);
    EXPECT_EQ(img.getPixelColor(1, 0), (RgbQuad{0, 0x20, 0, 0}));
    EXPECT_EQ(img.getPixelColor(2, 0), (RgbQuad{248, 248, 248, 0}));

    // Without a declared attribute bit the same pixels are opaque: no alpha plane at all.
    b[17] = 0;
    DibImage opaque;
    ASSERT_TRUE(loadBytes(opaque, b, TGA));
    EXPECT_FALSE(opaque.hasAlpha());
    EXPECT_EQ(opaque.getPixelColor(2, 0), (RgbQuad{248, 248, 248, 0}));
}

// --- row orders ---

TEST(TgaDecode, TopToBottomLoadsUprightAndRightToLeftIsMirrored) {
    // A 3 x 2 file, rows in file order: (1, 2, 3) then (4, 5, 6) as blue values.
    auto file = [](uint8_t descriptor) {
        Bytes b = tgaHeader(0, 2, 0, 0, 0, 3, 2, 24, descriptor);
        for (uint8_t v = 1; v <= 6; ++v) append(b, {v, 0, 0});
        return b;
    };
    auto blues = [](const DibImage& img) {
        std::vector<int> v;
        for (int y = img.height() - 1; y >= 0; --y)  // top row first
            for (int x = 0; x < img.width(); ++x) v.push_back(img.getPixelColor(x, y).blue);
        return v;
    };
    DibImage bottomUp, topDown, mirrored, both;
    ASSERT_TRUE(loadBytes(bottomUp, file(0x00), TGA));
    ASSERT_TRUE(loadBytes(topDown, file(0x20), TGA));
    ASSERT_TRUE(loadBytes(mirrored, file(0x10), TGA));
    ASSERT_TRUE(loadBytes(both, file(0x30), TGA));
    EXPECT_EQ(blues(bottomUp), (std::vector<int>{4, 5, 6, 1, 2, 3}));
    EXPECT_EQ(blues(topDown), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(blues(mirrored), (std::vector<int>{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(blues(both), (std::vector<int>{3, 2, 1, 6, 5, 4}));
}

// --- alpha of 32-bit files ---

TEST(TgaDecode, ThirtyTwoBitAlphaLandsAtItsOwnPixelRawAndRunLength) {
    // 3 x 2, bottom-up: each pixel (blue = i, alpha = distinct), i = 0..5 in file order.
    const uint8_t alphas[6] = {0, 255, 17, 128, 1, 254};
    Bytes raw = tgaHeader(0, 2, 0, 0, 0, 3, 2, 32, 0x08);
    for (uint8_t i = 0; i < 6; ++i) append(raw, {i, uint8_t(10 + i), uint8_t(20 + i), alphas[i]});
    // The same picture run-length coded: a raw packet of 2, a repeat packet of 1, a raw
    // packet of 3 (the last two cross from the bottom row into the top one).
    Bytes rle = tgaHeader(0, 10, 0, 0, 0, 3, 2, 32, 0x08);
    append(rle, {0x01, 0, 10, 20, alphas[0], 1, 11, 21, alphas[1]});
    append(rle, {0x80, 2, 12, 22, alphas[2]});
    append(rle, {0x02});
    for (uint8_t i = 3; i < 6; ++i) append(rle, {i, uint8_t(10 + i), uint8_t(20 + i), alphas[i]});

    for (const Bytes* file : {&raw, &rle}) {
        DibImage img;
        ASSERT_TRUE(loadBytes(img, *file, TGA)) << img.lastError();
        EXPECT_EQ(img.bitCount(), 24);
        ASSERT_TRUE(img.hasAlpha());
        EXPECT_EQ(img.info.colorType, 4);
        for (int i = 0; i < 6; ++i) {
            const int x = i % 3, y = i / 3;
            EXPECT_EQ(img.alphaGet(x, y), alphas[i]) << i;
            EXPECT_EQ(img.getPixelColor(x, y),
                      (RgbQuad{uint8_t(i), uint8_t(10 + i), uint8_t(20 + i), 0}))
                << i;
        }
    }
}

// --- writing ---

TEST(TgaEncode, EightBitLayout) {
    DibImage img = randomImage(5, 3, 8, 11);
    bool ok = false;
    const Bytes b = saveBytes(img, TGA, &ok);
    ASSERT_TRUE(ok) << img.lastError();
    ASSERT_EQ(b.size(), 18u + 768u + 5u * 3u);  // rows are written without padding
    EXPECT_EQ(b[0], 0);                         // no identification field
    EXPECT_EQ(b[1], 1);                         // a colour map
    EXPECT_EQ(b[2], 1);                         // colour-mapped, raw
    EXPECT_EQ(get16(b, 3), 0u);                 // first entry
    EXPECT_EQ(get16(b, 5), 256u);               // map length
    EXPECT_EQ(b[7], 24);                        // entry size
    EXPECT_EQ(get16(b, 8), 0u);
    EXPECT_EQ(get16(b, 10), 0u);
    EXPECT_EQ(get16(b, 12), 5u);
    EXPECT_EQ(get16(b, 14), 3u);
    EXPECT_EQ(b[16], 8);
    EXPECT_EQ(b[17], 0);  // bottom-up, left to right
    for (uint32_t i = 0; i < 256; ++i) {
        const RgbQuad c = img.getPaletteColor(i);
        ASSERT_EQ(b[18 + 3 * i], c.blue) << i;
        ASSERT_EQ(b[19 + 3 * i], c.green) << i;
        ASSERT_EQ(b[20 + 3 * i], c.red) << i;
    }
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(b[18 + 768 + 5 * y + x], img.getPixelIndex(x, y)) << x << "," << y;

    DibImage back;
    ASSERT_TRUE(loadBytes(back, b, TGA)) << back.lastError();
    std::string why;
    EXPECT_TRUE(sameImage(img, back, &why)) << why;
}

TEST(TgaEncode, AlphaPlaneIsWrittenAsThirtyTwoBitsScaledByAlphaMax) {
    DibImage img = randomImage(3, 2, 24, 5, true);
    bool ok = false;
    Bytes b = saveBytes(img, TGA, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(b[2], 2);
    EXPECT_EQ(b[16], 32);
    EXPECT_EQ(b[17] & 0x30, 0);  // bottom-up, left to right
    EXPECT_EQ(b[17] & 0x0F, 8);  // eight alpha bits
    ASSERT_EQ(b.size(), 18u + 3u * 2u * 4u);
    EXPECT_EQ(b[18 + 3], img.alphaGet(0, 0));

    img.info.alphaMax = 128;
    b = saveBytes(img, TGA, &ok);
    ASSERT_TRUE(ok);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(b[18 + 4 * i + 3], img.alphaGet(i % 3, i / 3) * 128 / 255) << i;
}

TEST(TgaEncode, RefusesOneAndFourBitImages) {
    for (uint32_t bits : {1u, 4u}) {
        DibImage img = randomImage(4, 4, bits, 3);
        bool ok = true;
        saveBytes(img, TGA, &ok);
        EXPECT_FALSE(ok);
        EXPECT_STREQ(img.lastError(), "Bit depth must be 8 or 24");
    }
}

TEST(TgaEncode, RoundTripsAtEveryDepthItWrites) {
    struct Case {
        int w, h;
        uint32_t bits;
        bool alpha;
    };
    for (const Case c : {Case{1, 1, 8, false}, Case{5, 3, 8, false}, Case{7, 4, 24, false},
                         Case{6, 5, 24, true}, Case{33, 9, 24, true}, Case{13, 2, 8, false}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " bits " +
                     std::to_string(c.bits) + (c.alpha ? " alpha" : ""));
        DibImage img = randomImage(c.w, c.h, c.bits, uint32_t(c.w * 31 + c.h), c.alpha);
        bool ok = false;
        const Bytes b = saveBytes(img, TGA, &ok);
        ASSERT_TRUE(ok);
        DibImage back;
        ASSERT_TRUE(loadBytes(back, b, TGA)) << back.lastError();
        std::string why;
        EXPECT_TRUE(sameImage(img, back, &why)) << why;
    }
    DibImage f = testing_support::makeF();
    bool ok = false;
    const Bytes b = saveBytes(f, TGA, &ok);
    DibImage back;
    ASSERT_TRUE(ok && loadBytes(back, b, TGA));
    EXPECT_TRUE(sameImage(f, back));
}

// --- corrupt files ---

TEST(TgaDecode, CorruptFilesFailWithTheirMessage) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"bad-short-header.tga", "Not a TGA"},
        {"bad-type.tga", "Unknown TGA image type"},
        {"bad-depth.tga", "Unsupported TGA pixel depth"},
        {"bad-truncated.tga", "corrupted TGA"},
        {"bad-huge.tga", "corrupted TGA"},
        {"bad-zero-width.tga", "Invalid image size: 0 x 5"},
        {"bad-map-entry-size.tga", "Unsupported TGA colour map"},
        {"bad-rle-cut.tga", "corrupted TGA"},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file);
        // A failed load keeps the picture the image held.
        DibImage img = testing_support::makeF();
        EXPECT_FALSE(img.loadFromFile(dataPath(std::string("tga/") + file).c_str(), TGA));
        EXPECT_STREQ(img.lastError(), message);
        EXPECT_TRUE(sameImage(img, testing_support::makeF()));
    }
}

TEST(TgaDecode, CorruptFilesThatLoadStayInsideTheImage) {
    // A repeat packet of 128 pixels over a 35-pixel picture: the surplus is dropped.
    DibImage overrun;
    ASSERT_TRUE(overrun.loadFromFile(dataPath("tga/bad-rle-overrun.tga").c_str(), TGA))
        << overrun.lastError();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(overrun.getPixelColor(x, y), (RgbQuad{1, 2, 3, 0}));

    // A map of 16 entries starting at 250: entries 250..255 are kept, the rest dropped.
    DibImage map;
    ASSERT_TRUE(map.loadFromFile(dataPath("tga/bad-map-first.tga").c_str(), TGA))
        << map.lastError();
    for (uint8_t i = 0; i < 6; ++i)
        EXPECT_EQ(map.getPaletteColor(250 + i),
                  (RgbQuad{uint8_t(3 * i), uint8_t(3 * i + 1), uint8_t(3 * i + 2), 0}));
    EXPECT_EQ(map.getPaletteColor(0), RgbQuad{});
    EXPECT_EQ(map.getPixelIndex(1, 0), 251);
}

TEST(TgaDecode, EveryCutOfAGoodFileFailsCleanly) {
    // Each prefix of a run-length file ends inside the header, the map or the pixels.
    const Bytes whole = testing_support::readBytes(dataPath("tga/im-8map-rle.tga"));
    ASSERT_GT(whole.size(), 18u);
    for (size_t n = 0; n < whole.size(); ++n) {
        DibImage img;
        EXPECT_FALSE(loadBytes(img, Bytes(whole.begin(), whole.begin() + long(n)), TGA)) << n;
        EXPECT_STRNE(img.lastError(), "") << n;
    }
    DibImage img;
    EXPECT_TRUE(loadBytes(img, whole, TGA));
}
