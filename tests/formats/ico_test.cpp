// ICO codec: icons from ImageMagick, Pillow and hand-written bytes decode to the pictures
// they hold with their masks or alpha; the writer's layout and mask, round trips, corrupt files.
#include "formats/ico/ico_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
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

// The synthetic pictures the fixture files were made from (tests/data/ico/make_fixtures.py),
// by column x and row r counted from the top.
constexpr int kW = fixture_pictures::kSmallW, kH = fixture_pictures::kSmallH;

constexpr RgbQuad colourAt(int x, int r) {
    return fixture_pictures::smallColourAt(x, r);
}

bool maskedAt(int x, int r) {
    return (x + r) % 3 == 0;
}

uint8_t alphaAt(int x, int r) {
    return uint8_t(255 - (30 * x + 7 * r));
}

bool whiteAt(int x, int r) {
    return (x * x + 2 * r) % 3 == 0;
}

RgbQuad bigAt(int x, int r) {
    return rgb(x % 256, (7 * r) % 256, (x + 3 * r) % 256);
}

RgbQuad bigPaletteAt(int x, int r) {
    const int i = (x + r) % 256;
    return rgb(i, (2 * i) % 256, 255 - i);
}

// How a fixture's pixels and transparency are expected.
struct Fixture {
    const char* file;
    int width, height, bitCount;
    RgbQuad (*colour)(int x, int r);
    enum { Opaque, Mask, Alpha } transparency;
};

RgbQuad masked10(int x, int r) {
    return kPal16[(x + 3 * r) % 10];
}
RgbQuad masked16(int x, int r) {
    return kPal16[(x + 3 * r) % 16];
}
RgbQuad bilevel(int x, int r) {
    return whiteAt(x, r) ? rgb(255, 255, 255) : rgb(0, 0, 0);
}

void expectPicture(const DibImage& img, const Fixture& f) {
    ASSERT_EQ(img.width(), f.width);
    ASSERT_EQ(img.height(), f.height);
    EXPECT_EQ(img.bitCount(), f.bitCount);
    ASSERT_EQ(img.hasAlpha(), f.transparency != Fixture::Opaque);
    for (int r = 0; r < f.height; ++r)
        for (int x = 0; x < f.width; ++x) {
            const int y = f.height - 1 - r;
            int alpha = 255;
            if (f.transparency == Fixture::Mask) alpha = maskedAt(x, r) ? 0 : 255;
            if (f.transparency == Fixture::Alpha) alpha = alphaAt(x, r);
            if (f.transparency != Fixture::Opaque) {
                ASSERT_EQ(img.alphaGet(x, y), alpha) << "column " << x << ", row from top " << r;
            }
            // The colour under a fully masked pixel is the writer's business.
            if (alpha == 0) continue;
            RgbQuad got = img.getPixelColor(x, y);
            got.reserved = 0;
            ASSERT_EQ(got, f.colour(x, r)) << "column " << x << ", row from top " << r;
        }
}

// A one-image icon file around a bitmap information header and body, made here.
Bytes iconFile(int w, int h, int bits, const Bytes& body, uint32_t coloursUsed = 0) {
    Bytes b;
    put16(b, 0);
    put16(b, 1);
    put16(b, 1);
    append(b, {uint8_t(w), uint8_t(h), 0, 0});
    put16(b, 1);
    put16(b, uint32_t(bits));
    put32(b, uint32_t(40 + body.size()));
    put32(b, 22);
    put32(b, 40);
    put32(b, uint32_t(w));
    put32(b, uint32_t(2 * h));
    put16(b, 1);
    put16(b, uint32_t(bits));
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, coloursUsed);
    put32(b, 0);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

}  // namespace

TEST(IcoDecode, IconsFromOtherEncodersHoldTheirPictures) {
    const std::vector<Fixture> fixtures = {
        {"im-4mask.ico", kW, kH, 4, masked10, Fixture::Mask},
        {"im-8mask.ico", kW, kH, 8, masked16, Fixture::Mask},
        {"im-32.ico", kW, kH, 24, colourAt, Fixture::Alpha},
        {"pil-1.ico", kW, kH, 1, bilevel, Fixture::Opaque},
        {"pil-8.ico", kW, kH, 8, masked16, Fixture::Opaque},
        {"pil-24.ico", kW, kH, 24, colourAt, Fixture::Opaque},
        {"pil-32.ico", kW, kH, 24, colourAt, Fixture::Alpha},
        // Sides of 256 pixels, written as 0 in the directory.
        {"pil-256x2-24.ico", 256, 2, 24, bigAt, Fixture::Opaque},
        {"pil-3x256-8.ico", 3, 256, 8, bigPaletteAt, Fixture::Opaque},
        // Its writer cut the first image's mask short; the second image's bytes behind it
        // must not be taken for mask bits.
        {"two-images.ico", kW, kH, 24, colourAt, Fixture::Opaque},
    };
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.file);
        DibImage img;
        ASSERT_TRUE(img.loadFromFile(dataPath(std::string("ico/") + f.file).c_str(), ICO))
            << img.lastError();
        EXPECT_EQ(img.type(), ICO);
        expectPicture(img, f);
    }
}

TEST(IcoDecode, DirectorySidesOfZeroMeanTwoFiftySix) {
    const Bytes b = testing_support::readBytes(dataPath("ico/pil-256x2-24.ico"));
    ASSERT_GT(b.size(), 8u);
    EXPECT_EQ(b[6], 0);  // the directory's width byte
    DibImage img;
    ASSERT_TRUE(loadBytes(img, b, ICO));
    EXPECT_EQ(img.width(), 256);
}

TEST(IcoDecode, TwoImagesLoadTheFirstAndCountBoth) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("ico/two-images.ico").c_str(), ICO));
    EXPECT_EQ(img.info.frameCount, 2);
    EXPECT_EQ(img.width(), kW);

    // The second image is stored as PNG, which the reader refuses in words.
    DibImage second;
    second.info.frameIndex = 1;
    EXPECT_FALSE(second.loadFromFile(dataPath("ico/two-images.ico").c_str(), ICO));
    EXPECT_STREQ(second.lastError(), "PNG icons are not supported");

    DibImage third;
    third.info.frameIndex = 2;
    EXPECT_FALSE(third.loadFromFile(dataPath("ico/two-images.ico").c_str(), ICO));
    EXPECT_STREQ(third.lastError(), "Error: image not present in icon file");
}

TEST(IcoDecode, PngIconsFailWithAClearMessage) {
    DibImage img = testing_support::makeF();
    EXPECT_FALSE(img.loadFromFile(dataPath("ico/png-entry.ico").c_str(), ICO));
    EXPECT_STREQ(img.lastError(), "PNG icons are not supported");
    EXPECT_TRUE(sameImage(img, testing_support::makeF()));
}

TEST(IcoDecode, MaskBitsSetAreTransparentAndAnEmptyMaskMeansNoAlpha) {
    // 2 x 2, 1 bit: palette black/white; pixels bottom row (0, 1), top row (1, 0).
    Bytes body = {0, 0, 0, 0, 255, 255, 255, 0};
    append(body, {0x40, 0, 0, 0, 0x80, 0, 0, 0});
    Bytes masked = body;
    append(masked, {0x80, 0, 0, 0, 0x00, 0, 0, 0});  // bottom-left pixel masked
    Bytes clear = body;
    append(clear, {0x00, 0, 0, 0, 0x3F, 0xFF, 0xFF, 0xFF});  // only padding bits set

    DibImage a;
    ASSERT_TRUE(loadBytes(a, iconFile(2, 2, 1, masked), ICO)) << a.lastError();
    ASSERT_TRUE(a.hasAlpha());
    EXPECT_EQ(a.alphaGet(0, 0), 0);
    EXPECT_EQ(a.alphaGet(1, 0), 255);
    EXPECT_EQ(a.alphaGet(0, 1), 255);
    EXPECT_EQ(a.getPixelIndex(1, 0), 1);
    EXPECT_EQ(a.getPixelIndex(0, 1), 1);

    DibImage b;
    ASSERT_TRUE(loadBytes(b, iconFile(2, 2, 1, clear), ICO)) << b.lastError();
    EXPECT_FALSE(b.hasAlpha());
}

TEST(IcoDecode, ThirtyTwoBitIconsUseTheirAlphaOrElseTheirMask) {
    // 2 x 1, 32 bits: pixels (1, 2, 3, alpha 7) and (4, 5, 6, alpha 0); mask: second pixel.
    Bytes body = {1, 2, 3, 7, 4, 5, 6, 0, 0x40, 0, 0, 0};
    DibImage withAlpha;
    ASSERT_TRUE(loadBytes(withAlpha, iconFile(2, 1, 32, body), ICO)) << withAlpha.lastError();
    EXPECT_EQ(withAlpha.bitCount(), 24);
    EXPECT_EQ(withAlpha.alphaGet(0, 0), 7);
    EXPECT_EQ(withAlpha.alphaGet(1, 0), 0);
    EXPECT_EQ(withAlpha.getPixelColor(1, 0), (RgbQuad{4, 5, 6, 0}));

    // Every alpha byte zero: an icon of the older kind, whose mask says what is transparent.
    body[3] = 0;
    DibImage fromMask;
    ASSERT_TRUE(loadBytes(fromMask, iconFile(2, 1, 32, body), ICO));
    EXPECT_EQ(fromMask.alphaGet(0, 0), 255);
    EXPECT_EQ(fromMask.alphaGet(1, 0), 0);

    // Fully opaque: no alpha plane.
    Bytes opaque = {1, 2, 3, 255, 4, 5, 6, 255, 0, 0, 0, 0};
    DibImage plain;
    ASSERT_TRUE(loadBytes(plain, iconFile(2, 1, 32, opaque), ICO));
    EXPECT_FALSE(plain.hasAlpha());
}

TEST(IcoDecode, ColourTableSizeComesFromTheImageHeader) {
    // An 8-bit icon listing 2 colours: the pixels follow right behind those 8 bytes.
    Bytes body = {10, 20, 30, 0, 40, 50, 60, 0};
    append(body, {1, 0, 1, 0});  // 3 pixels and padding
    append(body, {0, 0, 0, 0});  // mask
    DibImage img;
    ASSERT_TRUE(loadBytes(img, iconFile(3, 1, 8, body, 2), ICO)) << img.lastError();
    EXPECT_EQ(img.getPixelColor(0, 0), (RgbQuad{40, 50, 60, 0}));
    EXPECT_EQ(img.getPixelColor(1, 0), (RgbQuad{10, 20, 30, 0}));
    EXPECT_EQ(img.getPaletteColor(2), RgbQuad{});
}

// --- writing ---

TEST(IcoEncode, SixteenColourThirtyTwoSquareLayout) {
    DibImage img = randomImage(32, 32, 4, 21);
    bool ok = false;
    const Bytes b = saveBytes(img, ICO, &ok);
    ASSERT_TRUE(ok) << img.lastError();
    ASSERT_EQ(b.size(), 22u + 40u + 64u + 512u + 128u);
    EXPECT_EQ(get16(b, 0), 0u);
    EXPECT_EQ(get16(b, 2), 1u);
    EXPECT_EQ(get16(b, 4), 1u);
    EXPECT_EQ(b[6], 32);
    EXPECT_EQ(b[7], 32);
    EXPECT_EQ(b[8], 16);  // colour count
    EXPECT_EQ(get16(b, 12), 4u);
    EXPECT_EQ(get32(b, 14), 40u + 64u + 512u + 128u);
    EXPECT_EQ(get32(b, 18), 22u);
    EXPECT_EQ(get32(b, 22), 40u);
    EXPECT_EQ(get32(b, 26), 32u);
    EXPECT_EQ(get32(b, 30), 64u);  // colour bitmap and mask
    EXPECT_EQ(get16(b, 34), 1u);
    EXPECT_EQ(get16(b, 36), 4u);
    EXPECT_EQ(get32(b, 42), 512u);
    for (size_t i = 22 + 40 + 64 + 512; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;

    DibImage eight = randomImage(3, 2, 8, 4);
    const Bytes e = saveBytes(eight, ICO, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(e[8], 0);  // 256 colours are written as 0
    EXPECT_EQ(e.size(), 22u + 40u + 1024u + 8u + 8u);
}

TEST(IcoEncode, MaskFromPaletteAlphaTransparentColourAndAlphaPlane) {
    auto maskBit = [](const Bytes& b, const DibImage& img, int x, int y) {
        const size_t start = 22 + 40 + img.paletteSize() + img.stride() * img.height();
        const size_t m = size_t((img.width() + 31) / 32 * 4);
        return (b.at(start + size_t(y) * m + size_t(x) / 8) >> (7 - x % 8)) & 1;
    };
    // 4 x 2, 4 bits, pixel (x, y) has index x + 4y.
    DibImage img(4, 2, 4, BMP);
    for (int i = 0; i < 16; ++i) img.setPaletteColor(uint32_t(i), uint8_t(i * 16), 0, 0, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) img.setPixelIndex(x, y, uint8_t(x + 4 * y));

    // A transparent palette index.
    img.info.backgroundIndex = 5;
    bool ok = false;
    Bytes b = saveBytes(img, ICO, &ok);
    ASSERT_TRUE(ok);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(maskBit(b, img, i % 4, i / 4), i == 5) << i;

    // Palette alpha: entries whose fourth byte is 0 are transparent once any is not 0.
    img.info.backgroundIndex = -1;
    for (int i = 0; i < 16; ++i)
        img.setPaletteColor(uint32_t(i), uint8_t(i * 16), 0, 0, i == 2 ? 0 : 255);
    b = saveBytes(img, ICO, &ok);
    ASSERT_TRUE(ok);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(maskBit(b, img, i % 4, i / 4), i == 2) << i;

    // An alpha plane: below one half is transparent.
    for (int i = 0; i < 16; ++i) img.setPaletteColor(uint32_t(i), uint8_t(i * 16), 0, 0, 0);
    img.alphaCreate();
    img.alphaFill(255);
    img.alphaSet(3, 1, 0);
    img.alphaSet(1, 0, 127);
    img.alphaSet(2, 0, 128);
    b = saveBytes(img, ICO, &ok);
    ASSERT_TRUE(ok);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(maskBit(b, img, i % 4, i / 4), i == 7 || i == 1) << i;
}

TEST(IcoEncode, RefusesTrueColourAndLargeImages) {
    for (auto [w, h, bits] : {std::tuple{4, 4, 24}, std::tuple{256, 4, 8}, std::tuple{4, 256, 1}}) {
        DibImage img = randomImage(w, h, uint32_t(bits), 9);
        bool ok = true;
        saveBytes(img, ICO, &ok);
        EXPECT_FALSE(ok) << w << "x" << h << " " << bits;
        EXPECT_STREQ(img.lastError(), "Can't save this image as icon");
    }
}

TEST(IcoEncode, RoundTripsAtEveryDepthItWrites) {
    for (uint32_t bits : {1u, 4u, 8u}) {
        for (auto [w, h] :
             {std::pair{1, 1}, std::pair{7, 5}, std::pair{33, 2}, std::pair{255, 3}}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " bits " +
                         std::to_string(bits));
            DibImage img = randomImage(w, h, bits, bits * 100 + uint32_t(w));
            bool ok = false;
            Bytes b = saveBytes(img, ICO, &ok);
            ASSERT_TRUE(ok) << img.lastError();
            DibImage back;
            ASSERT_TRUE(loadBytes(back, b, ICO)) << back.lastError();
            std::string why;
            EXPECT_TRUE(sameImage(img, back, &why)) << why;
            EXPECT_EQ(back.info.frameCount, 1);

            // With a two-level alpha plane the mask carries it.
            img.alphaCreate();
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) img.alphaSet(x, y, (x * 7 + y) % 3 ? 255 : 0);
            b = saveBytes(img, ICO, &ok);
            ASSERT_TRUE(ok);
            DibImage masked;
            ASSERT_TRUE(loadBytes(masked, b, ICO));
            EXPECT_TRUE(sameImage(img, masked, &why)) << why;
        }
    }
}

TEST(IcoEncode, ALoadedMaskedIconSavesAndLoadsTheSame) {
    for (const char* name : {"ico/im-4mask.ico", "ico/im-8mask.ico"}) {
        DibImage img;
        ASSERT_TRUE(img.loadFromFile(dataPath(name).c_str(), ICO));
        bool ok = false;
        const Bytes b = saveBytes(img, ICO, &ok);
        ASSERT_TRUE(ok);
        DibImage back;
        ASSERT_TRUE(loadBytes(back, b, ICO));
        std::string why;
        EXPECT_TRUE(sameImage(img, back, &why)) << name << ": " << why;
    }
}

// --- corrupt files ---

TEST(IcoDecode, CorruptFilesFail) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        // A wrong file header or a missing entry fails without a message.
        {"bad-type.ico", "Not an icon file"},
        {"bad-short-header.ico", "Not an icon file"},
        {"bad-missing-entry.ico", "Corrupted icon file"},
        {"bad-no-images.ico", "No image in icon file"},
        {"bad-offset.ico", "Corrupted icon file"},
        {"bad-info-short.ico", "Corrupted icon file"},
        {"bad-bits.ico", "Unsupported icon format"},
        {"bad-compression.ico", "Unsupported icon format"},
        {"bad-huge.ico", "Corrupted icon file"},
        {"bad-negative-height.ico", "Corrupted icon file"},
        {"bad-colours-used.ico", "Corrupted icon file"},
        {"bad-header-size.ico", "Corrupted icon file"},
        {"bad-truncated-pixels.ico", "Corrupted icon file"},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file);
        DibImage img = testing_support::makeF();
        img.setLastError("before");
        EXPECT_FALSE(img.loadFromFile(dataPath(std::string("ico/") + file).c_str(), ICO));
        EXPECT_STREQ(img.lastError(), message);
        EXPECT_TRUE(sameImage(img, testing_support::makeF()));
    }
}

TEST(IcoDecode, AMissingMaskLoadsOpaque) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("ico/bad-no-mask.ico").c_str(), ICO)) << img.lastError();
    EXPECT_FALSE(img.hasAlpha());
    EXPECT_EQ(img.getPixelIndex(1, 0), 1);
    EXPECT_EQ(img.getPixelIndex(0, 1), 1);
    EXPECT_EQ(img.getPixelIndex(0, 0), 0);
}

TEST(IcoDecode, EveryCutOfAGoodFileFailsOrLoadsWithinIt) {
    // Cuts inside the header, directory or colour bitmap fail; cuts in the mask still load.
    const Bytes whole = testing_support::readBytes(dataPath("ico/im-4mask.ico"));
    const size_t maskStart = whole.size() - 4 * kH;
    for (size_t n = 0; n < whole.size(); ++n) {
        DibImage img;
        const bool ok = loadBytes(img, Bytes(whole.begin(), whole.begin() + long(n)), ICO);
        EXPECT_EQ(ok, n >= maskStart) << n;
    }
}

TEST(IcoDecode, ReservedColourTableBytesAreNotOpacity) {
    // Pillow's 1-bit icons carry 0xFF in the fourth byte of their white entry.
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("ico/pil-1.ico").c_str(), ICO));
    EXPECT_FALSE(img.hasPaletteAlpha());
    EXPECT_EQ(img.getPaletteColor(1), rgb(255, 255, 255));
    // So saving it again masks nothing.
    bool ok = false;
    const Bytes b = saveBytes(img, ICO, &ok);
    ASSERT_TRUE(ok);
    DibImage back;
    ASSERT_TRUE(loadBytes(back, b, ICO));
    EXPECT_FALSE(back.hasAlpha());
    EXPECT_TRUE(sameImage(img, back));
}
