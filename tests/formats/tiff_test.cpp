// TIFF codec: files from other encoders against the formulas that made them, the reader's
// edge cases on files written here with libtiff, writer round trips and corrupt files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "formats/image_stream.h"
#include "formats/tiff/libtiff.h"
#include "image/dib_image.h"
#include "support/test_support.h"

using testing_support::dataPath;
using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::sameImage;
using testing_support::TempDir;

namespace {

// The formulas of tests/data/tiff/make-fixtures.sh; x from the left, y from the top.
constexpr int kW = 13, kH = 11;
RgbQuad colour(int x, int y) {
    return RgbQuad{uint8_t(255 - 9 * (x + y)), uint8_t(23 * y), uint8_t(20 * x), 0};
}
uint8_t alphaAt(int x, int y) {
    return y == 0 ? 255 : y == 1 ? 0 : uint8_t(x * 37 + y * 11);
}
uint8_t grey8(int x, int y) {
    return uint8_t(x * 17 + y * 29);
}
bool white(int x, int y) {
    return (x + 2 * y) % 5 < 2;
}
int indexAt(int x, int y) {
    return (x * 3 + y * 5) % 23;
}
RgbQuad entry(int i) {
    return RgbQuad{uint8_t(i * 29), uint8_t(255 - i * 7), uint8_t(i * 11), 0};
}
RgbQuad greyQuad(uint8_t v) {
    return RgbQuad{v, v, v, 0};
}

// Pixel (x, y) counted from the top of the picture.
RgbQuad at(const DibImage& img, int x, int y) {
    return img.getPixelColor(x, img.height() - 1 - y);
}
uint8_t alphaTop(const DibImage& img, int x, int y) {
    return img.alphaGet(x, img.height() - 1 - y);
}

bool load(DibImage& img, const std::string& path, int frameIndex = 0) {
    img.info.frameIndex = frameIndex;
    return img.loadFromFile(path.c_str(), TIFF);
}

// Largest per-channel difference between the picture and a formula, over the whole image.
int maxColourError(const DibImage& img, const std::function<RgbQuad(int, int)>& expected) {
    int worst = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const RgbQuad a = at(img, x, y), b = expected(x, y);
            worst = std::max({worst, std::abs(a.red - b.red), std::abs(a.green - b.green),
                              std::abs(a.blue - b.blue)});
        }
    return worst;
}

void expectPicture(const DibImage& img, int w, int h,
                   const std::function<RgbQuad(int, int)>& expected, const std::string& name) {
    ASSERT_TRUE(img.isValid()) << name;
    ASSERT_EQ(img.width(), w) << name;
    ASSERT_EQ(img.height(), h) << name;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(at(img, x, y), expected(x, y)) << name << " at " << x << "," << y;
}

// A file written here with libtiff, one strip per rowsPerStrip rows; lines are packed rows
// from the top, each lineBytes long.
struct TiffSpec {
    uint32_t width = 0, height = 0;
    uint16_t bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK;
    uint32_t rowsPerStrip = 0;  // 0: the whole picture
    std::vector<uint8_t> lines;
    std::function<void(TiffFile*)> extraTags;
};

bool writeTiff(const std::string& path, const std::vector<TiffSpec>& pages) {
    TiffFile* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    bool ok = true;
    for (const TiffSpec& s : pages) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.bits);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, s.samples);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.photometric);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, s.rowsPerStrip ? s.rowsPerStrip : s.height);
        if (s.extraTags) s.extraTags(tif);
        const size_t lineBytes = (size_t(s.width) * s.bits * s.samples + 7) / 8;
        std::vector<uint8_t> line(lineBytes);
        for (uint32_t y = 0; y < s.height && ok; ++y) {
            std::memcpy(line.data(), s.lines.data() + y * lineBytes, lineBytes);
            ok = TIFFWriteScanline(tif, line.data(), y, 0) == 1;
        }
        ok = ok && TIFFWriteDirectory(tif) == 1;
    }
    TIFFClose(tif);
    return ok;
}

// Packs one value per pixel (top-down rows) into lines of the given bit depth.
std::vector<uint8_t> pack(const std::vector<uint32_t>& values, uint32_t width, uint16_t bits) {
    const size_t lineBytes = (size_t(width) * bits + 7) / 8;
    const size_t rows = values.size() / width;
    std::vector<uint8_t> out(lineBytes * rows, 0);
    for (size_t r = 0; r < rows; ++r)
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = values[r * width + x];
            uint8_t* line = out.data() + r * lineBytes;
            if (bits == 16) {
                line[2 * x] = uint8_t(v);  // written as a little-endian host gives it
                line[2 * x + 1] = uint8_t(v >> 8);
            } else if (bits == 8) {
                line[x] = uint8_t(v);
            } else {
                const size_t bit = size_t(x) * bits;
                line[bit / 8] |= uint8_t(v << (8 - bits - bit % 8));
            }
        }
    return out;
}

// Reads a field of a file written by the codec, with libtiff.
struct WrittenTags {
    uint16_t compression = 0, photometric = 0, bits = 0, samples = 0, extraCount = 0;
    uint16_t extraType = 0;
    uint32_t rowsPerStrip = 0;
    bool hasColormap = false;
};
WrittenTags readTags(const std::string& path) {
    WrittenTags t;
    TiffFile* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return t;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &t.compression);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &t.photometric);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &t.bits);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &t.samples);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &t.rowsPerStrip);
    uint16_t* types = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &t.extraCount, &types) && t.extraCount)
        t.extraType = types[0];
    uint16_t *r, *g, *b;
    t.hasColormap = TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) == 1;
    TIFFClose(tif);
    return t;
}

// Everything written to the standard error while fn runs.
std::string captureStderr(const std::function<void()>& fn) {
    std::fflush(stderr);
    char name[] = "/tmp/vfx-stderr-XXXXXX";
    const int fd = mkstemp(name);
    const int saved = dup(2);
    dup2(fd, 2);
    fn();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    char buf[256];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
    close(fd);
    unlink(name);
    return text;
}

}  // namespace

// --- files from other encoders ---

TEST(TiffRead, BilevelFilesInEveryCompression) {
    // Uncompressed, PackBits, deflate, Group 3 and 4 (black-is-zero, from PIL) and a Group 4
    // white-is-zero file from ImageMagick: the same picture each time.
    for (const char* name : {"bilevel-raw.tif", "bilevel-packbits.tif", "bilevel-deflate.tif",
                             "bilevel-g3.tif", "bilevel-g4.tif", "bilevel-g4-im.tif"}) {
        DibImage img;
        ASSERT_TRUE(load(img, dataPath(std::string("tiff/") + name))) << name << img.lastError();
        EXPECT_EQ(img.bitCount(), 1) << name;
        EXPECT_EQ(img.info.frameCount, 1) << name;
        expectPicture(
            img, kW, kH, [](int x, int y) { return greyQuad(white(x, y) ? 255 : 0); }, name);
    }
}

TEST(TiffRead, GreyFilesOf8And16Bits) {
    for (const char* name : {"grey8-raw.tif", "grey8-lzw.tif", "grey8-strips3.tif"}) {
        DibImage img;
        ASSERT_TRUE(load(img, dataPath(std::string("tiff/") + name))) << name << img.lastError();
        EXPECT_EQ(img.bitCount(), 8) << name;
        expectPicture(
            img, kW, kH, [](int x, int y) { return greyQuad(grey8(x, y)); }, name);
    }
    // 16-bit grey keeps the high byte of each sample, whatever the file's byte order; the low
    // bytes hold a different pattern, so keeping them would show.
    for (const char* name : {"grey16-le.tif", "grey16-be.tif"}) {
        DibImage img;
        ASSERT_TRUE(load(img, dataPath(std::string("tiff/") + name))) << name << img.lastError();
        EXPECT_EQ(img.bitCount(), 8) << name;
        EXPECT_TRUE(img.isGrayScale()) << name;
        expectPicture(
            img, kW, kH, [](int x, int y) { return greyQuad(grey8(x, y)); }, name);
    }
}

TEST(TiffRead, PaletteFiles) {
    for (const char* name : {"palette-raw.tif", "palette-lzw.tif"}) {
        DibImage img;
        ASSERT_TRUE(load(img, dataPath(std::string("tiff/") + name))) << name << img.lastError();
        EXPECT_EQ(img.bitCount(), 8) << name;
        // PIL stores a colour-map value as 256 x byte, which is not quite full scale:
        // 255 becomes 65280, i.e. 254 on the 255 / 65535 scale.
        auto fromMap = [](uint8_t v) { return uint8_t(v * 256 * 255 / 65535); };
        expectPicture(
            img, kW, kH,
            [&](int x, int y) {
                const RgbQuad e = entry(indexAt(x, y));
                return RgbQuad{fromMap(e.blue), fromMap(e.green), fromMap(e.red), 0};
            },
            name);
        EXPECT_EQ(img.getPixelIndex(4, kH - 1 - 2), indexAt(4, 2)) << name;
    }
}

TEST(TiffRead, ColourFilesLosslessAndInStripsAndTiles) {
    for (const char* name :
         {"rgb-raw.tif", "rgb-lzw.tif", "rgb-deflate.tif", "rgb-strips3-lzw.tif"}) {
        DibImage img;
        ASSERT_TRUE(load(img, dataPath(std::string("tiff/") + name))) << name << img.lastError();
        EXPECT_EQ(img.bitCount(), 24) << name;
        EXPECT_FALSE(img.hasAlpha()) << name;
        expectPicture(img, kW, kH, colour, name);
    }
    DibImage tiles;
    ASSERT_TRUE(load(tiles, dataPath("tiff/rgb-tiles.tif"))) << tiles.lastError();
    expectPicture(tiles, 37, 21, colour, "rgb-tiles.tif");
}

TEST(TiffRead, ColourFilesWithStraightAlpha) {
    // Unassociated alpha: the colours come back as stored, not multiplied by the alpha.
    for (const char* name : {"rgba-raw.tif", "rgba-lzw.tif", "rgba-deflate.tif"}) {
        DibImage img;
        ASSERT_TRUE(load(img, dataPath(std::string("tiff/") + name))) << name << img.lastError();
        ASSERT_TRUE(img.hasAlpha()) << name;
        expectPicture(img, kW, kH, colour, name);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                ASSERT_EQ(alphaTop(img, x, y), alphaAt(x, y)) << name << " " << x << "," << y;
    }
}

TEST(TiffRead, JpegCompressedColourFiles) {
    // Lossy: within a few levels of the smooth picture, at quality 95, in RGB and in
    // subsampled YCbCr (from tiffcp); and exactly what libtiff's own RGBA reader makes of the file.
    for (const char* name : {"rgb-jpeg.tif", "rgb-jpeg-ycbcr.tif", "rgba-jpeg.tif"}) {
        const std::string path = dataPath(std::string("tiff/") + name);
        DibImage img;
        ASSERT_TRUE(load(img, path)) << name << img.lastError();
        ASSERT_EQ(img.width(), kW);
        ASSERT_EQ(img.height(), kH);
        // Chroma halved in both directions costs more on these steep colour ramps.
        const bool subsampled = std::string(name) == "rgb-jpeg-ycbcr.tif";
        EXPECT_LE(maxColourError(img, colour), subsampled ? 24 : 8) << name;
        if (std::string(name) == "rgba-jpeg.tif") {
            ASSERT_TRUE(img.hasAlpha());
            continue;  // libtiff's reader would premultiply this alpha
        }
        TiffFile* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        std::vector<uint32_t> raster(kW * kH);
        ASSERT_EQ(TIFFReadRGBAImageOriented(tif, kW, kH, raster.data(), ORIENTATION_TOPLEFT, 1), 1);
        TIFFClose(tif);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint32_t p = raster[size_t(y) * kW + x];
                ASSERT_EQ(at(img, x, y), (RgbQuad{uint8_t(TIFFGetB(p)), uint8_t(TIFFGetG(p)),
                                                  uint8_t(TIFFGetR(p)), 0}))
                    << name << " " << x << "," << y;
            }
    }
}

TEST(TiffRead, MultiPageFileCountsPagesAndSelectsOne) {
    const std::string path = dataPath("tiff/multipage.tif");
    DibImage first;
    ASSERT_TRUE(load(first, path)) << first.lastError();
    EXPECT_EQ(first.info.frameCount, 3);
    expectPicture(
        first, kW, kH, [](int x, int y) { return greyQuad(grey8(x, y)); }, "page 0");

    DibImage second;
    ASSERT_TRUE(load(second, path, 1)) << second.lastError();
    EXPECT_EQ(second.info.frameCount, 3);
    expectPicture(second, kW, kH, colour, "page 1");

    DibImage third;
    ASSERT_TRUE(load(third, path, 2));
    EXPECT_EQ(third.bitCount(), 1);

    DibImage missing = testing_support::makeF();
    EXPECT_FALSE(load(missing, path, 3));
    EXPECT_STREQ(missing.lastError(), "Error: page not present in TIFF file");
    EXPECT_EQ(missing.width(), 6);  // a failed load keeps the picture
    EXPECT_FALSE(load(missing, path, -1));
    EXPECT_STREQ(missing.lastError(), "Error: page not present in TIFF file");
}

// --- reader edge cases on files written here ---

TEST(TiffRead, WhiteIsZeroAgainstBlackIsZero) {
    TempDir dir;
    std::vector<uint32_t> v;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) v.push_back(white(x, y) ? 1 : 0);
    for (uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
        const std::string path = dir.file("bilevel.tif");
        TiffSpec s{9, 5, 1, 1, photometric, 0, pack(v, 9, 1), {}};
        ASSERT_TRUE(writeTiff(path, {s}));
        DibImage img;
        ASSERT_TRUE(load(img, path)) << img.lastError();
        ASSERT_EQ(img.bitCount(), 1);
        const bool whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
        EXPECT_EQ(img.getPaletteColor(0), greyQuad(whiteIsZero ? 255 : 0));
        EXPECT_EQ(img.getPaletteColor(1), greyQuad(whiteIsZero ? 0 : 255));
        // The stored bits stay the indices; only the palette differs.
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(img.getPixelIndex(x, 4 - y), white(x, y) ? 1 : 0) << x << "," << y;
    }
    // 4-bit white-is-zero gets the ramp upside down: 0 is white, 15 black.
    std::vector<uint32_t> nibbles;
    for (int i = 0; i < 16; ++i) nibbles.push_back(uint32_t(i));
    const std::string path = dir.file("grey4.tif");
    ASSERT_TRUE(writeTiff(
        path, {TiffSpec{16, 1, 4, 1, PHOTOMETRIC_MINISWHITE, 0, pack(nibbles, 16, 4), {}}}));
    DibImage img;
    ASSERT_TRUE(load(img, path)) << img.lastError();
    ASSERT_EQ(img.bitCount(), 4);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(img.getPixelIndex(i, 0), i);
        EXPECT_EQ(img.getPaletteColor(uint32_t(i)), greyQuad(uint8_t(255 - 17 * i)));
    }
}

TEST(TiffRead, SixteenBitGreyInSeveralStrips) {
    // Odd height and strips of 2 rows: each strip's buffer holds 2 lines of 2 x width bytes.
    TempDir dir;
    const uint32_t w = 7, h = 5;
    std::vector<uint32_t> v;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) v.push_back(uint32_t(grey8(int(x), int(y))) << 8 | 0x5A);
    const std::string path = dir.file("grey16.tif");
    ASSERT_TRUE(
        writeTiff(path, {TiffSpec{w, h, 16, 1, PHOTOMETRIC_MINISBLACK, 2, pack(v, w, 16), {}}}));
    DibImage img;
    ASSERT_TRUE(load(img, path)) << img.lastError();
    EXPECT_EQ(img.bitCount(), 8);
    expectPicture(
        img, w, h, [](int x, int y) { return greyQuad(grey8(x, y)); }, "grey16");
}

TEST(TiffRead, ColourMapsOfEightAndSixteenBits) {
    TempDir dir;
    std::vector<uint32_t> v;
    for (int i = 0; i < 256; ++i) v.push_back(uint32_t(i));
    std::vector<uint16_t> red(256), green(256), blue(256);
    auto palettedFile = [&](const std::string& path) {
        TiffSpec s{16, 16, 8, 1, PHOTOMETRIC_PALETTE, 0, pack(v, 16, 8), [&](TiffFile* tif) {
                       TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
                   }};
        return writeTiff(path, {s});
    };
    // Every value at most 255: an 8-bit map, taken as it is.
    for (int i = 0; i < 256; ++i) {
        red[i] = uint16_t(i);
        green[i] = uint16_t(255 - i);
        blue[i] = uint16_t(i / 2);
    }
    ASSERT_TRUE(palettedFile(dir.file("map8.tif")));
    DibImage narrow;
    ASSERT_TRUE(load(narrow, dir.file("map8.tif"))) << narrow.lastError();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(narrow.getPaletteColor(uint32_t(i)),
                  (RgbQuad{uint8_t(i / 2), uint8_t(255 - i), uint8_t(i), 0}))
            << i;
    // One value above 255: the whole map is 16-bit and scaled by 255 / 65535.
    for (int i = 0; i < 256; ++i) {
        red[i] = uint16_t(i * 257);
        green[i] = uint16_t((255 - i) * 257);
        blue[i] = uint16_t(i < 128 ? i : 40000);
    }
    ASSERT_TRUE(palettedFile(dir.file("map16.tif")));
    DibImage wide;
    ASSERT_TRUE(load(wide, dir.file("map16.tif"))) << wide.lastError();
    for (int i = 0; i < 256; ++i) {
        const uint8_t b = uint8_t((i < 128 ? i : 40000) * 255 / 65535);
        ASSERT_EQ(wide.getPaletteColor(uint32_t(i)), (RgbQuad{b, uint8_t(255 - i), uint8_t(i), 0}))
            << i;
        ASSERT_EQ(wide.getPixelIndex(i % 16, 15 - i / 16), i);
    }
}

TEST(TiffRead, NarrowColourMapIndicesAreWidened) {
    // 1- and 2-bit colour-map files become 8-bit images holding the same indices.
    TempDir dir;
    for (uint16_t bits : {uint16_t(1), uint16_t(2), uint16_t(4)}) {
        const uint32_t entries = 1u << bits;
        std::vector<uint16_t> red(entries), green(entries), blue(entries);
        for (uint32_t i = 0; i < entries; ++i) {
            red[i] = uint16_t(entry(int(i)).red * 257);
            green[i] = uint16_t(entry(int(i)).green * 257);
            blue[i] = uint16_t(entry(int(i)).blue * 257);
        }
        std::vector<uint32_t> v;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) v.push_back(uint32_t(indexAt(x, y)) % entries);
        const std::string path = dir.file("narrow.tif");
        TiffSpec s{kW, kH, bits, 1, PHOTOMETRIC_PALETTE, 4, pack(v, kW, bits), [&](TiffFile* tif) {
                       TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
                   }};
        ASSERT_TRUE(writeTiff(path, {s}));
        DibImage img;
        ASSERT_TRUE(load(img, path)) << bits << img.lastError();
        EXPECT_EQ(img.bitCount(), bits == 4 ? 4 : 8);
        expectPicture(
            img, kW, kH,
            [&](int x, int y) { return entry(int(uint32_t(indexAt(x, y)) % entries)); },
            "bits " + std::to_string(bits));
    }
}

TEST(TiffRead, OrientationTagTurnsThePicture) {
    // A stored 5 x 3 picture with distinct values; what the tag says each displayed pixel
    // is, from the orientation table of TIFF 6.0 (row 0 / column 0 placement).
    TempDir dir;
    const int w = 5, h = 3;
    auto stored = [](int r, int c) { return uint8_t(10 * r + c + 1); };
    std::vector<uint32_t> v;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) v.push_back(stored(r, c));
    for (uint16_t o = 1; o <= 8; ++o) {
        const std::string path = dir.file("o.tif");
        TiffSpec s{w, h, 8, 1, PHOTOMETRIC_MINISBLACK, 0, pack(v, w, 8), [o](TiffFile* tif) {
                       TIFFSetField(tif, TIFFTAG_ORIENTATION, o);
                   }};
        ASSERT_TRUE(writeTiff(path, {s}));
        DibImage img;
        ASSERT_TRUE(load(img, path)) << img.lastError();
        const bool transposed = o >= 5;
        ASSERT_EQ(img.width(), transposed ? h : w) << o;
        ASSERT_EQ(img.height(), transposed ? w : h) << o;
        for (int r = 0; r < img.height(); ++r)
            for (int c = 0; c < img.width(); ++c) {
                uint8_t want = 0;
                switch (o) {
                    case 1:
                        want = stored(r, c);
                        break;
                    case 2:
                        want = stored(r, w - 1 - c);
                        break;
                    case 3:
                        want = stored(h - 1 - r, w - 1 - c);
                        break;
                    case 4:
                        want = stored(h - 1 - r, c);
                        break;
                    case 5:
                        want = stored(c, r);
                        break;
                    case 6:
                        want = stored(h - 1 - c, r);
                        break;
                    case 7:
                        want = stored(h - 1 - c, w - 1 - r);
                        break;
                    case 8:
                        want = stored(c, w - 1 - r);
                        break;
                }
                ASSERT_EQ(img.getPixelIndex(c, img.height() - 1 - r), want)
                    << "orientation " << o << " at " << c << "," << r;
            }
    }
}

TEST(TiffRead, ResolutionAndPosition) {
    TempDir dir;
    std::vector<uint32_t> v(6, 100);
    auto withTags = [&](std::function<void(TiffFile*)> tags) {
        const std::string path = dir.file("res.tif");
        EXPECT_TRUE(writeTiff(
            path, {TiffSpec{3, 2, 8, 1, PHOTOMETRIC_MINISBLACK, 0, pack(v, 3, 8), tags}}));
        DibImage img;
        EXPECT_TRUE(load(img, path)) << img.lastError();
        return img;
    };
    DibImage both = withTags([](TiffFile* tif) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.7f);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 150.0f);
        TIFFSetField(tif, TIFFTAG_XPOSITION, 12.9f);
        TIFFSetField(tif, TIFFTAG_YPOSITION, 3.2f);
    });
    EXPECT_EQ(both.info.xDpi, 300);  // truncated
    EXPECT_EQ(both.info.yDpi, 150);
    EXPECT_EQ(both.header.xPelsPerMeter, 11811);  // floor(300 * 39.37 + 0.5)
    EXPECT_EQ(both.info.xOffset, 12);
    EXPECT_EQ(both.info.yOffset, 3);
    // A missing Y resolution (a file made by hand: libtiff always writes both) takes the X
    // value.
    DibImage onlyX;
    ASSERT_TRUE(load(onlyX, dataPath("tiff/x-resolution-only.tif"))) << onlyX.lastError();
    EXPECT_EQ(onlyX.info.xDpi, 96);
    EXPECT_EQ(onlyX.info.yDpi, 96);
}

TEST(TiffRead, NotATiffFile) {
    TempDir dir;
    testing_support::writeBytes(dir.file("x.tif"), {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0});
    DibImage img;
    EXPECT_FALSE(load(img, dir.file("x.tif")));
    EXPECT_STREQ(img.lastError(), "Error encountered while opening TIFF file");
    testing_support::writeBytes(dir.file("empty.tif"), {});
    EXPECT_FALSE(load(img, dir.file("empty.tif")));
    EXPECT_STREQ(img.lastError(), "Error encountered while opening TIFF file");
}

// --- corrupt files: each fails with a message or loads a sound picture ---

TEST(TiffCorrupt, EveryBadFileFailsOrLoadsCleanly) {
    const std::string folder = dataPath("tiff");
    int seen = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("bad-", 0) != 0) continue;
        ++seen;
        DibImage img;
        if (load(img, e.path().string())) {
            EXPECT_TRUE(img.isValid()) << name;
            EXPECT_GT(img.width(), 0) << name;
            EXPECT_STREQ(img.lastError(), "") << name;
        } else {
            EXPECT_FALSE(img.isValid()) << name;
            EXPECT_STRNE(img.lastError(), "") << name;
        }
    }
    EXPECT_GE(seen, 12);
}

TEST(TiffCorrupt, ShapesThatDoNotFitFailWithTheirCause) {
    const char* const kCorrupted = "Corrupted TIFF file!";
    const char* const kTooShort = "Image data too short for the picture's size";
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"bad-two-samples.tif", kCorrupted},
        {"bad-12-bit-grey.tif", kCorrupted},
        // Raw strips that the file ends inside of, or that lie beyond it.
        {"bad-truncated-rgb.tif", kTooShort},
        {"bad-truncated-grey.tif", kTooShort},
        {"bad-strip-offset.tif", kTooShort},
        // 70000 x 70000 pixels in a file of 126 bytes: refused before any allocation.
        {"bad-huge-size.tif", "Image too large: 70000 x 70000"},
        // Found by fuzzing: tiny files whose pictures far exceed what the file may cost.
        {"bad-fuzz-128-bytes-755mb-allocation.tif", kTooShort},
        {"bad-fuzz-142-bytes-ojpeg-805mb-allocation.tif", kTooShort},
        // Compression 8196, which libtiff cannot decode, claiming 8196 x 31235.
        {"bad-fuzz-146-bytes-unknown-compression-251mb.tif", "Unsupported TIFF compression"},
    };
    for (const auto& [name, message] : cases) {
        DibImage img;
        EXPECT_FALSE(load(img, dataPath(std::string("tiff/") + name))) << name;
        EXPECT_STREQ(img.lastError(), message) << name;
    }
}

// The file with its width and length tags set to the given sides (little-endian files).
std::vector<uint8_t> withSides(std::vector<uint8_t> tiff, uint32_t width, uint32_t length) {
    auto get16 = [&](size_t at) { return uint32_t(tiff.at(at) | tiff.at(at + 1) << 8); };
    const size_t ifd = get16(4) | get16(6) << 16;
    for (uint32_t i = 0, n = get16(ifd); i < n; ++i) {
        const size_t e = ifd + 2 + 12 * size_t(i);
        const uint32_t tag = get16(e);
        if (tag != 256 && tag != 257) continue;
        const uint32_t v = tag == 256 ? width : length;
        tiff[e + 2] = 4;  // LONG
        tiff[e + 3] = 0;
        for (int k = 0; k < 4; ++k) tiff[e + 8 + size_t(k)] = uint8_t(v >> (8 * k));
    }
    return tiff;
}

TEST(TiffCorrupt, SidesFarBeyondTheStoredDataAreRefusedBeforeAllocating) {
    // Each coding's densest output still cannot store 16000 x 16000 pixels in these few bytes.
    for (const char* name : {"rgb-raw.tif", "grey8-lzw.tif", "rgb-deflate.tif",
                             "bilevel-packbits.tif", "bilevel-g4.tif", "bilevel-g3.tif"}) {
        const std::vector<uint8_t> file = readBytes(dataPath(std::string("tiff/") + name));
        DibImage img;
        ASSERT_TRUE(load(img, dataPath(std::string("tiff/") + name))) << name;
        TempDir dir;
        testing_support::writeBytes(dir.file("big.tif"), withSides(file, 16000, 16000));
        EXPECT_FALSE(load(img, dir.file("big.tif"))) << name;
        EXPECT_STREQ(img.lastError(), "Image data too short for the picture's size") << name;
    }
}

// The file with its compression tag set to the given code (little-endian files).
std::vector<uint8_t> withCompression(std::vector<uint8_t> tiff, uint16_t code) {
    auto get16 = [&](size_t at) { return uint32_t(tiff.at(at) | tiff.at(at + 1) << 8); };
    const size_t ifd = get16(4) | get16(6) << 16;
    for (uint32_t i = 0, n = get16(ifd); i < n; ++i) {
        const size_t e = ifd + 2 + 12 * size_t(i);
        if (get16(e) != 259) continue;
        tiff[e + 8] = uint8_t(code);
        tiff[e + 9] = uint8_t(code >> 8);
    }
    return tiff;
}

TEST(TiffCorrupt, CompressionsLibtiffCannotDecodeAreRefusedByName) {
    const std::vector<uint8_t> file = readBytes(dataPath("tiff/grey8-raw.tif"));
    for (uint16_t code : {uint16_t(8196), uint16_t(60000), uint16_t(2)}) {
        if (TIFFIsCODECConfigured(code)) continue;  // 2 (CCITT RLE) is always there
        TempDir dir;
        testing_support::writeBytes(dir.file("x.tif"), withCompression(file, code));
        DibImage img;
        EXPECT_FALSE(load(img, dir.file("x.tif"))) << code;
        EXPECT_STREQ(img.lastError(), "Unsupported TIFF compression") << code;
    }
    EXPECT_FALSE(TIFFIsCODECConfigured(8196));
}

TEST(TiffCorrupt, TheDecodeBudgetCountsRasterStripBuffersAndTurns) {
    // ZSTD has no densest coding to bound the picture by, so a file of a few hundred bytes
    // can claim these; such a small file may cost 64 MB. Zero pixels, unless noise is asked
    // for: then the file is as large as its picture and its budget far larger.
    struct Case {
        uint32_t width, height;
        uint16_t samples, orientation;
        uint32_t rowsPerStrip;  // 0: one strip
        bool noise;
        bool loads;
    };
    const std::vector<Case> cases = {
        // Colour: picture 12 MB + raster 16 MB + libtiff's strip 12 MB.
        {2000, 2000, 3, ORIENTATION_TOPLEFT, 0, false, true},
        // 27 + 36 + 27 MB: over 64 MB, though the picture alone is not.
        {3000, 3000, 3, ORIENTATION_TOPLEFT, 0, false, false},
        // The same picture as a photo of noise: a 27 MB file may cost far more.
        {3000, 3000, 3, ORIENTATION_TOPLEFT, 0, true, true},
        // Grey in strips of 64 rows: 36 MB and two small strip buffers.
        {6000, 6000, 1, ORIENTATION_TOPLEFT, 64, false, true},
        // In one strip: 36 MB of picture, of strip buffer and of libtiff's buffer.
        {6000, 6000, 1, ORIENTATION_TOPLEFT, 0, false, false},
        // A quarter turn makes the turned picture beside the stored one.
        {6000, 6000, 1, ORIENTATION_RIGHTTOP, 64, false, false},
        {5000, 3000, 1, ORIENTATION_RIGHTTOP, 64, false, true},
    };
    ASSERT_TRUE(TIFFIsCODECConfigured(COMPRESSION_ZSTD));
    uint32_t seed = 12345;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " samples " +
                     std::to_string(c.samples) + " orientation " + std::to_string(c.orientation));
        TiffSpec spec;
        spec.width = c.width;
        spec.height = c.height;
        spec.samples = c.samples;
        spec.photometric = c.samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
        spec.rowsPerStrip = c.rowsPerStrip;
        spec.lines.assign(size_t(c.width) * c.height * c.samples, 0);
        if (c.noise)
            for (uint8_t& v : spec.lines) v = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
        spec.extraTags = [&](TiffFile* tif) {
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ZSTD);
            TIFFSetField(tif, TIFFTAG_ORIENTATION, c.orientation);
        };
        TempDir dir;
        ASSERT_TRUE(writeTiff(dir.file("z.tif"), {spec}));
        DibImage img;
        const bool turned = c.orientation >= ORIENTATION_LEFTTOP;
        if (c.loads) {
            ASSERT_TRUE(load(img, dir.file("z.tif"))) << img.lastError();
            EXPECT_EQ(img.width(), int32_t(turned ? c.height : c.width));
            EXPECT_EQ(img.height(), int32_t(turned ? c.width : c.height));
        } else {
            EXPECT_FALSE(load(img, dir.file("z.tif")));
            EXPECT_STREQ(img.lastError(), "Image data too short for the picture's size");
        }
    }
}

TEST(TiffCorrupt, OddFilesThatStillLoad) {
    // A directory that names itself as the next one is one page.
    DibImage loop;
    ASSERT_TRUE(load(loop, dataPath("tiff/bad-directory-loop.tif"))) << loop.lastError();
    EXPECT_EQ(loop.info.frameCount, 1);
    EXPECT_EQ(at(loop, 3, 2), greyQuad(0x80));

    // Resolutions and positions beyond an int are clamped, not converted with overflow.
    DibImage res;
    ASSERT_TRUE(load(res, dataPath("tiff/bad-huge-resolution.tif"))) << res.lastError();
    EXPECT_EQ(res.info.xDpi, 1 << 24);
    EXPECT_EQ(res.info.xOffset, INT32_MAX);
    EXPECT_GE(res.info.yDpi, 0);

    // An unknown orientation leaves the stored picture as it is.
    DibImage odd;
    ASSERT_TRUE(load(odd, dataPath("tiff/bad-orientation-9.tif"))) << odd.lastError();
    expectPicture(
        odd, 4, 3, [](int x, int y) { return greyQuad(uint8_t(4 * y + x)); }, "o9");

    // 16-bit, odd width, one strip: the high byte of each little-endian sample.
    DibImage deep;
    ASSERT_TRUE(load(deep, dataPath("tiff/bad-16-bit-odd-width.tif"))) << deep.lastError();
    expectPicture(
        deep, 5, 3, [](int x, int y) { return greyQuad(uint8_t(2 * (5 * y + x) + 1)); }, "odd");

    // Rows per strip 0 means one strip of all rows (libtiff may also refuse the file).
    DibImage zero;
    if (load(zero, dataPath("tiff/bad-rows-per-strip-0.tif")))
        expectPicture(
            zero, 4, 3, [](int x, int y) { return greyQuad(uint8_t(20 * (4 * y + x))); }, "rps0");
    else
        EXPECT_STRNE(zero.lastError(), "");
}

// --- writer ---

TEST(TiffWrite, BilevelIsGroup3WithPhotometricFromThePalette) {
    TempDir dir;
    DibImage img = randomImage(kW, kH, 1, 7);
    // Entry 0 white: written white-is-zero; entry 0 black: black-is-zero. Either way the
    // indices and the palette come back.
    for (bool whiteFirst : {true, false}) {
        img.setPaletteColor(0, greyQuad(whiteFirst ? 255 : 0));
        img.setPaletteColor(1, greyQuad(whiteFirst ? 0 : 255));
        const std::string path = dir.file("bilevel.tif");
        ASSERT_TRUE(img.saveToFile(path.c_str(), TIFF)) << img.lastError();
        const WrittenTags tags = readTags(path);
        EXPECT_EQ(tags.compression, COMPRESSION_CCITTFAX3);
        EXPECT_EQ(tags.photometric, whiteFirst ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
        EXPECT_EQ(tags.bits, 1);
        EXPECT_EQ(tags.rowsPerStrip, 1u);
        DibImage back;
        ASSERT_TRUE(load(back, path)) << back.lastError();
        std::string why;
        EXPECT_TRUE(sameImage(img, back, &why)) << why;
    }
}

TEST(TiffWrite, BilevelKeepsOnlyLightAndDark) {
    // Group 3 holds black and white only: a red-and-blue 1-bit picture is written with the
    // brighter entry (red) as white, its indices unchanged.
    TempDir dir;
    DibImage img = randomImage(kW, kH, 1, 8);
    img.setPaletteColor(0, RgbQuad{0, 0, 255, 0});
    img.setPaletteColor(1, RgbQuad{255, 0, 0, 0});
    const std::string path = dir.file("two.tif");
    ASSERT_TRUE(img.saveToFile(path.c_str(), TIFF)) << img.lastError();
    EXPECT_EQ(readTags(path).photometric, PHOTOMETRIC_MINISWHITE);
    DibImage back;
    ASSERT_TRUE(load(back, path)) << back.lastError();
    EXPECT_EQ(back.getPaletteColor(0), greyQuad(255));
    EXPECT_EQ(back.getPaletteColor(1), greyQuad(0));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(back.getPixelIndex(x, y), img.getPixelIndex(x, y));
}

TEST(TiffWrite, PalettedRoundTripsAt4And8Bits) {
    TempDir dir;
    for (uint32_t bits : {4u, 8u}) {
        // A colour palette: a colour map; 4 bits uncompressed, 8 bits PackBits.
        DibImage img = randomImage(kW, kH, bits, 11 + bits);
        const std::string path = dir.file("pal.tif");
        ASSERT_TRUE(img.saveToFile(path.c_str(), TIFF)) << img.lastError();
        WrittenTags tags = readTags(path);
        EXPECT_EQ(tags.photometric, PHOTOMETRIC_PALETTE);
        EXPECT_TRUE(tags.hasColormap);
        EXPECT_EQ(tags.compression, bits == 4 ? COMPRESSION_NONE : COMPRESSION_PACKBITS);
        EXPECT_EQ(tags.bits, bits);
        DibImage back;
        ASSERT_TRUE(load(back, path)) << back.lastError();
        std::string why;
        EXPECT_TRUE(sameImage(img, back, &why)) << bits << ": " << why;

        // The grey ramp of the depth (steps of 17 or 1) is written as black-is-zero.
        img.setGrayPalette();
        ASSERT_TRUE(img.saveToFile(path.c_str(), TIFF));
        tags = readTags(path);
        EXPECT_EQ(tags.photometric, PHOTOMETRIC_MINISBLACK);
        EXPECT_FALSE(tags.hasColormap);
        ASSERT_TRUE(load(back, path));
        EXPECT_TRUE(sameImage(img, back, &why)) << bits << " grey: " << why;
    }
    // A 4-bit palette of the dark greys 0..15 is not the 4-bit black-is-zero ramp: it must
    // keep its colours rather than come back as 0, 17, ..., 255.
    DibImage dark = randomImage(kW, kH, 4, 3);
    for (uint32_t i = 0; i < 16; ++i) dark.setPaletteColor(i, greyQuad(uint8_t(i)));
    const std::string path = dir.file("dark.tif");
    ASSERT_TRUE(dark.saveToFile(path.c_str(), TIFF));
    EXPECT_EQ(readTags(path).photometric, PHOTOMETRIC_PALETTE);
    DibImage back;
    ASSERT_TRUE(load(back, path));
    std::string why;
    EXPECT_TRUE(sameImage(dark, back, &why)) << why;
}

TEST(TiffWrite, ColourIsJpegInStripsOf8RowsAtTheQuality) {
    TempDir dir;
    DibImage img(kW, 21, 24, BMP);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < kW; ++x) img.setPixelColor(x, 20 - y, colour(x, y % kH));
    img.setXDpi(200);
    img.setYDpi(100);
    const std::string fine = dir.file("fine.tif"), coarse = dir.file("coarse.tif");
    img.info.jpegQuality = 95;
    ASSERT_TRUE(img.saveToFile(fine.c_str(), TIFF)) << img.lastError();
    img.info.jpegQuality = 10;
    ASSERT_TRUE(img.saveToFile(coarse.c_str(), TIFF)) << img.lastError();

    const WrittenTags tags = readTags(fine);
    EXPECT_EQ(tags.compression, COMPRESSION_JPEG);
    EXPECT_EQ(tags.photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(tags.rowsPerStrip, 8u);
    EXPECT_EQ(tags.samples, 3);
    EXPECT_EQ(tags.bits, 8);

    DibImage a, b;
    ASSERT_TRUE(load(a, fine)) << a.lastError();
    ASSERT_TRUE(load(b, coarse)) << b.lastError();
    EXPECT_EQ(a.bitCount(), 24);
    EXPECT_EQ(a.info.xDpi, 200);
    EXPECT_EQ(a.info.yDpi, 100);
    auto expected = [](int x, int y) { return colour(x, y % kH); };
    const int fineError = maxColourError(a, expected), coarseError = maxColourError(b, expected);
    EXPECT_LE(fineError, 8);
    EXPECT_GT(coarseError, fineError);  // the quality reaches the compressor
    EXPECT_NE(readBytes(fine).size(), readBytes(coarse).size());
}

TEST(TiffWrite, AlphaIsAFourthSample) {
    TempDir dir;
    DibImage img(kW, kH, 24, BMP);
    img.alphaCreate();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            img.setPixelColor(x, kH - 1 - y, colour(x, y));
            img.alphaSet(x, kH - 1 - y, uint8_t(y < 5 ? 255 : 64));
        }
    img.info.jpegQuality = 95;
    const std::string path = dir.file("alpha.tif");
    ASSERT_TRUE(img.saveToFile(path.c_str(), TIFF)) << img.lastError();
    const WrittenTags tags = readTags(path);
    EXPECT_EQ(tags.samples, 4);
    EXPECT_EQ(tags.bits, 8);
    EXPECT_EQ(tags.compression, COMPRESSION_JPEG);
    EXPECT_EQ(tags.extraCount, 1);
    EXPECT_EQ(tags.extraType, EXTRASAMPLE_UNASSALPHA);
    DibImage back;
    ASSERT_TRUE(load(back, path)) << back.lastError();
    ASSERT_TRUE(back.hasAlpha());
    EXPECT_LE(maxColourError(back, colour), 8);
    int alphaError = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            alphaError = std::max(alphaError, std::abs(alphaTop(back, x, y) - (y < 5 ? 255 : 64)));
    EXPECT_LE(alphaError, 12);
}

TEST(TiffWrite, SameImageGivesSameBytesAndImageIsUnchanged) {
    TempDir dir;
    for (uint32_t bits : {1u, 4u, 8u, 24u}) {
        DibImage img = randomImage(kW, kH, bits, 99);
        const DibImage before = img;
        ASSERT_TRUE(img.saveToFile(dir.file("a.tif").c_str(), TIFF));
        ASSERT_TRUE(img.saveToFile(dir.file("b.tif").c_str(), TIFF));
        EXPECT_EQ(readBytes(dir.file("a.tif")), readBytes(dir.file("b.tif"))) << bits;
        std::string why;
        EXPECT_TRUE(sameImage(before, img, &why)) << why;
    }
}

TEST(TiffWrite, AFailedWriteIsReported) {
    // A stream that cannot be written to: the save fails with a message.
    TempDir dir;
    testing_support::writeBytes(dir.file("ro.tif"), {1, 2, 3});
    FILE* file = std::fopen(dir.file("ro.tif").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    DibImage img = randomImage(kW, kH, 8, 5);
    {
        ImageStream stream(file);
        EXPECT_FALSE(img.saveToStream(stream, TIFF));
    }
    std::fclose(file);
    EXPECT_STRNE(img.lastError(), "");
}

TEST(TiffMessages, LibraryMessagesNeverReachStandardError) {
    TempDir dir;
    const std::string text = captureStderr([&] {
        DibImage img;
        load(img, dataPath("tiff/bad-truncated-rgb.tif"));
        load(img, dataPath("tiff/bad-two-samples.tif"));
        load(img, dataPath("tiff/bad-16-bit-palette.tif"));
        load(img, dataPath("tiff/multipage.tif"), 7);
        DibImage out = randomImage(5, 5, 24, 1);
        out.saveToFile(dir.file("ok.tif").c_str(), TIFF);
        FILE* file = std::fopen(dataPath("tiff/grey8-raw.tif").c_str(), "rb");
        ImageStream stream(file);
        out.saveToStream(stream, TIFF);
        std::fclose(file);
    });
    EXPECT_EQ(text, "");
}
