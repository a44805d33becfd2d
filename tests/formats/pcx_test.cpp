// PCX codec: files from Pillow, ImageMagick and hand-written bytes decode to the pictures
// they hold; planes, palettes, runs across lines, refusals and corrupt files.
#include "formats/pcx/pcx_codec.h"

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
using testing_support::sameImage;

namespace {

// The synthetic pictures the fixture files were made from (tests/data/pcx/make_fixtures.py),
// by column x and row r counted from the top.
constexpr int kW = 11, kH = 5;

RgbQuad colourAt(int x, int r) {
    return rgb(20 * x + 5, 8 * (6 * r + 2), (8 * (3 * x + 5 * r)) % 256);
}

int paletteIndexAt(int x, int r, int colours) {
    return (x + 3 * r) % colours;
}

RgbQuad greyAt(int x, int r) {
    const int v = 23 * x + 5 * r;
    return rgb(v, v, v);
}

bool whiteAt(int x, int r) {
    return (x * x + 2 * r) % 3 == 0;
}

enum class Kind { Colour, Palette, Grey, Bilevel };

struct Fixture {
    const char* file;
    Kind kind;
    int colours;  // for Palette: how many of kPal16 the picture uses
    int bitCount;
};

RgbQuad expectedColour(const Fixture& f, int x, int r) {
    switch (f.kind) {
        case Kind::Colour:
            return colourAt(x, r);
        case Kind::Palette:
            return kPal16[paletteIndexAt(x, r, f.colours)];
        case Kind::Grey:
            return greyAt(x, r);
        case Kind::Bilevel:
            return whiteAt(x, r) ? rgb(255, 255, 255) : rgb(0, 0, 0);
    }
    return {};
}

Bytes pcxHeader(int bits, int planes, int bytesPerLine, int w, int h,
                const std::vector<RgbQuad>& map = {}) {
    Bytes b;
    append(b, {10, 5, 1, uint8_t(bits)});
    put16(b, 0);
    put16(b, 0);
    put16(b, uint32_t(w - 1));
    put16(b, uint32_t(h - 1));
    put16(b, 72);
    put16(b, 72);
    for (int i = 0; i < 16; ++i) {
        const RgbQuad c = i < int(map.size()) ? map[size_t(i)] : RgbQuad{};
        append(b, {c.red, c.green, c.blue});
    }
    put8(b, 0);
    put8(b, uint32_t(planes));
    put16(b, uint32_t(bytesPerLine));
    put16(b, 1);
    b.resize(128, 0);
    return b;
}

}  // namespace

TEST(PcxDecode, FilesFromOtherEncodersHoldTheirPictures) {
    const std::vector<Fixture> fixtures = {
        {"pil-1.pcx", Kind::Bilevel, 0, 1},
        {"pil-8.pcx", Kind::Palette, 16, 8},
        {"pil-8grey.pcx", Kind::Grey, 0, 8},
        {"pil-24.pcx", Kind::Colour, 0, 24},
        {"im-8.pcx", Kind::Palette, 16, 8},
        {"im-24.pcx", Kind::Colour, 0, 24},
        // Written byte by byte: one-bit planes, packed 2- and 4-bit indices.
        {"hand-1bit-2planes.pcx", Kind::Palette, 4, 4},
        {"hand-1bit-3planes.pcx", Kind::Palette, 8, 4},
        {"hand-1bit-4planes.pcx", Kind::Palette, 16, 4},
        {"hand-2bit.pcx", Kind::Palette, 4, 4},
        {"hand-4bit.pcx", Kind::Palette, 16, 4},
    };
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.file);
        DibImage img;
        ASSERT_TRUE(img.loadFromFile(dataPath(std::string("pcx/") + f.file).c_str(), PCX))
            << img.lastError();
        // What a PCX file gives is an ordinary bitmap.
        EXPECT_EQ(img.type(), BMP);
        ASSERT_EQ(img.width(), kW);
        ASSERT_EQ(img.height(), kH);
        EXPECT_EQ(img.bitCount(), f.bitCount);
        EXPECT_FALSE(img.hasAlpha());
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x)
                ASSERT_EQ(img.getPixelColor(x, kH - 1 - r), expectedColour(f, x, r))
                    << "column " << x << ", row from top " << r;
    }
}

TEST(PcxDecode, PlanesCombineIntoIndicesWithPlaneZeroTheLowBit) {
    for (int planes : {2, 3, 4}) {
        SCOPED_TRACE(planes);
        const std::string file = "pcx/hand-1bit-" + std::to_string(planes) + "planes.pcx";
        DibImage img;
        ASSERT_TRUE(img.loadFromFile(dataPath(file).c_str(), PCX)) << img.lastError();
        // The indices are the picture's own, so the header map is used in its order.
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x)
                ASSERT_EQ(img.getPixelIndex(x, kH - 1 - r), paletteIndexAt(x, r, 1 << planes))
                    << x << "," << r;
    }

    // One pixel per plane combination, made here: plane k of pixel x set when bit k of x.
    Bytes b = pcxHeader(1, 4, 2, 16, 1);
    for (int k = 0; k < 4; ++k) {
        uint8_t hi = 0, lo = 0;
        for (int x = 0; x < 16; ++x)
            if (x >> k & 1) (x < 8 ? hi : lo) |= uint8_t(0x80 >> (x % 8));
        append(b, {0xC1, hi, 0xC1, lo});
    }
    DibImage img;
    ASSERT_TRUE(loadBytes(img, b, PCX)) << img.lastError();
    for (int x = 0; x < 16; ++x) EXPECT_EQ(img.getPixelIndex(x, 0), x);
}

TEST(PcxDecode, ThreeOneBitPlanesTakeTheirColoursFromTheHeaderMap) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("pcx/hand-1bit-3planes.pcx").c_str(), PCX));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(img.getPaletteColor(uint32_t(i)), kPal16[i]) << i;
    // Not black, which is what a 24-bit image without stored pixels would show.
    EXPECT_EQ(img.getPixelColor(2, kH - 1), kPal16[2]);
}

TEST(PcxDecode, TwoFiftySixColoursComeFromThePaletteBehindTheData) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("pcx/hand-8-runs-across-lines.pcx").c_str(), PCX))
        << img.lastError();
    EXPECT_EQ(img.bitCount(), 8);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(img.getPaletteColor(uint32_t(i)), kPal16[i]);
    // Runs of (index, length) over lines of 12 bytes, top line first; they cross lines.
    const std::pair<int, int> runs[] = {{3, 5}, {7, 20}, {1, 7}, {12, 28}};
    std::vector<int> stream;
    for (auto [v, n] : runs) stream.insert(stream.end(), size_t(n), v);
    for (int r = 0; r < kH; ++r)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(img.getPixelIndex(x, kH - 1 - r), stream[size_t(r * 12 + x)])
                << x << "," << r;
}

TEST(PcxDecode, OneBitSinglePlaneIsBlackAndWhite) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("pcx/pil-1.pcx").c_str(), PCX));
    EXPECT_EQ(img.getPaletteColor(0), rgb(0, 0, 0));
    EXPECT_EQ(img.getPaletteColor(1), rgb(255, 255, 255));
    EXPECT_EQ(img.getPixelIndex(0, kH - 1), 1);
}

TEST(PcxDecode, OffsetWindowGivesTheSize) {
    // xmin 3 .. xmax 5 and ymin 10 .. ymax 11: a 3 x 2 picture.
    Bytes b = pcxHeader(8, 1, 4, 3, 2);
    b[4] = 3;
    b[8] = 5;
    b[6] = 10;
    b[10] = 11;
    append(b, {1, 2, 3, 0, 4, 5, 6, 0, 12});
    for (int i = 0; i < 256; ++i) append(b, {uint8_t(i), 0, 0});
    DibImage img;
    ASSERT_TRUE(loadBytes(img, b, PCX)) << img.lastError();
    EXPECT_EQ(img.width(), 3);
    EXPECT_EQ(img.height(), 2);
    EXPECT_EQ(img.getPixelIndex(0, 1), 1);
    EXPECT_EQ(img.getPixelIndex(2, 0), 6);
    EXPECT_EQ(img.getPixelColor(2, 0), rgb(6, 0, 0));
}

TEST(PcxDecode, CorruptFilesFailWithTheirMessage) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"bad-short-header.pcx", "Can't read PCX image"},
        {"bad-manufacturer.pcx", "Error: Not a PCX file"},
        {"bad-encoding.pcx", "PCX file has unknown encoding scheme"},
        {"bad-negative-width.pcx", "Can't read PCX image"},
        {"bad-five-planes.pcx", "Can't handle image with more than 4 planes"},
        {"bad-bits-planes.pcx", "Can't handle bits per pixel image with planes."},
        {"bad-4bit-3planes.pcx", "Can't handle more than 1 bit per pixel"},
        {"bad-run-overflow.pcx", "repeat count spans end of image"},
        {"bad-truncated.pcx", "corrupted PCX"},
        {"bad-huge.pcx", "corrupted PCX"},
        {"bad-signature.pcx", "bad color map signature"},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file);
        DibImage img = testing_support::makeF();
        EXPECT_FALSE(img.loadFromFile(dataPath(std::string("pcx/") + file).c_str(), PCX));
        EXPECT_STREQ(img.lastError(), message);
        EXPECT_TRUE(sameImage(img, testing_support::makeF()));
    }
}

TEST(PcxDecode, LinesShorterThanTheWidthLeaveTheRestAtIndexZero) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("pcx/bad-short-lines.pcx").c_str(), PCX))
        << img.lastError();
    for (int y = 0; y < kH; ++y) {
        EXPECT_EQ(img.getPixelIndex(0, y), 5);
        EXPECT_EQ(img.getPixelIndex(1, y), 6);
        for (int x = 2; x < kW; ++x) EXPECT_EQ(img.getPixelIndex(x, y), 0);
    }
}

TEST(PcxDecode, EveryCutOfAGoodFileFailsCleanly) {
    for (const char* name : {"pcx/pil-24.pcx", "pcx/hand-1bit-4planes.pcx"}) {
        const Bytes whole = testing_support::readBytes(dataPath(name));
        for (size_t n = 0; n < whole.size(); ++n) {
            DibImage img;
            EXPECT_FALSE(loadBytes(img, Bytes(whole.begin(), whole.begin() + long(n)), PCX))
                << name << " cut at " << n;
        }
    }
}

TEST(PcxEncode, SavingAsPcxIsRefused) {
    DibImage img = testing_support::makeF();
    bool ok = true;
    saveBytes(img, PCX, &ok);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(img.lastError(), "Unsupported operation for this format");
}
