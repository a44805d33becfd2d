// RAW codec: DNG files made here developed against dcraw_emu's output for the same file
// (full, half size, embedded preview), orientation, the size marks of other RAW formats and
// damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "formats/data_bound.h"
#include "formats/dng_maker.h"
#include "formats/image_stream.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/raw/raw_codec.h"
#include "support/ppm.h"
#include "support/test_support.h"

using dng_maker::DngOptions;
using testing_support::Ppm;
using testing_support::readPpm;
using testing_support::samePixels;
using testing_support::TempDir;
using Bytes = std::vector<uint8_t>;

namespace {

bool haveDcrawEmu() {
    return std::system(
               "command -v dcraw_emu >/dev/null 2>&1 && "
               "command -v simple_dcraw >/dev/null 2>&1") == 0;
}

// dcraw_emu's development of the file (flags as given, always with -w), read from the PPM
// it writes beside it; -e has simple_dcraw write the embedded preview as stored instead.
Ppm dcrawEmu(const std::string& path, const std::string& flags) {
    const std::string tool = flags == "-e" ? "simple_dcraw " : "dcraw_emu -w ";
    const std::string command = tool + flags + " '" + path + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return Ppm{};
    return readPpm(path + (flags == "-e" ? ".thumb.ppm" : ".ppm"));
}

struct Decoded {
    bool ok = false;
    std::unique_ptr<RawCodec> picture = std::make_unique<RawCodec>();
};

Decoded decodeRaw(const Bytes& bytes, int32_t minWidth = 0, int32_t minHeight = 0,
                  uint64_t budget = 0) {
    Decoded d;
    Bytes copy = bytes;
    copy.push_back(0);  // fmemopen refuses an empty buffer
    FILE* file = fmemopen(copy.data(), bytes.size(), "rb");
    if (!file) return d;
    d.picture->minWidth = minWidth;
    d.picture->minHeight = minHeight;
    d.picture->setDecodeBudget(budget ? budget : decodeBudgetFor(bytes.size()));
    {
        ImageStream stream(file);
        d.ok = d.picture->decode(stream);
    }
    std::fclose(file);
    return d;
}

// The RGB of pixel (x, y) from the top.
RgbQuad at(const DibImage& img, int x, int y) {
    return img.getPixelColor(x, img.height() - 1 - y);
}
RgbQuad at(const Ppm& ppm, int x, int y) {
    const uint8_t* p = &ppm.rgb[(size_t(y) * ppm.width + x) * 3];
    return RgbQuad{p[2], p[1], p[0], 0};
}

// Sets the sides IFD0 declares (SHORT or LONG entries of a little-endian TIFF).
void claimSides(Bytes& tiff, uint32_t width, uint32_t height) {
    const uint32_t ifd = tiff[4] | tiff[5] << 8 | tiff[6] << 16 | uint32_t(tiff[7]) << 24;
    const uint32_t count = tiff[ifd] | tiff[ifd + 1] << 8;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* entry = &tiff[ifd + 2 + 12 * i];
        const uint32_t tag = entry[0] | entry[1] << 8;
        if (tag != 256 && tag != 257) continue;
        const uint32_t v = tag == 256 ? width : height;
        for (int b = 0; b < 4; ++b) entry[8 + b] = uint8_t(v >> (8 * b));
    }
}

TEST(RawSignature, TellsTheFormatsThatHaveAMark) {
    struct Case {
        const char* name;
        std::string head;
        bool raw;
    };
    const std::string tiffLe("II*\0\x10\0\0\0", 8), tiffBe("MM\0*\0\0\0\x08", 8);
    const std::vector<Case> cases = {
        {"CR3",
         std::string("\0\0\0\x18"
                     "ftypcrx \0\0\0\x01",
                     16),
         true},
        {"ORF", "IIRO\x08\0\0\0", true},
        {"ORF (IIRS)", "IIRS\x08\0\0\0", true},
        {"ORF (big-endian)", std::string("MMOR\0\0\0\x08", 8), true},
        {"RW2", std::string("IIU\0\x08\0\0\0", 8), true},
        {"RAF", "FUJIFILMCCD-RAW 0201FF383501", true},
        {"CR2", tiffLe + std::string("CR\x02\0", 4), true},
        {"X3F", "FOVb\0\0\x02\0", true},
        {"MRW", std::string("\0MRM\0\0\x10\0", 8), true},
        {"plain TIFF (DNG, NEF, ARW)", tiffLe + std::string(8, '\0'), false},
        {"big-endian TIFF", tiffBe + "CR\0\0", false},
        {"CR2 mark not at 8", tiffLe + std::string("\0CR", 3), false},
        {"CR3 mark cut short",
         std::string("\0\0\0\x18"
                     "ftypcrx",
                     11),
         false},
        {"other ISO media (HEIF)",
         std::string("\0\0\0\x18"
                     "ftypheic",
                     12),
         false},
        {"JPEG", "\xFF\xD8\xFF\xE0", false},
        {"RAF cut short", "FUJIFILMCCD-RA", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isRawSignature(reinterpret_cast<const uint8_t*>(c.head.data()), c.head.size()),
                  c.raw);
    }
    const Bytes dng = dng_maker::makeDng({});
    ASSERT_GE(dng.size(), 32u);
    EXPECT_FALSE(isRawSignature(dng.data(), 32));
}

// The upright picture's pixel (x, y) in the stored one's (sx, sy), as TIFF Orientation says.
using Unturn = std::function<void(int x, int y, int w, int h, int* sx, int* sy)>;

// Orientations 3, 6 and 8; null for 1.
const Unturn& unturnFor(int orientation) {
    static const Unturn none;
    static const Unturn turns[] = {
        [](int x, int y, int w, int h, int* sx, int* sy) { *sx = w - 1 - x, *sy = h - 1 - y; },
        [](int x, int y, int, int h, int* sx, int* sy) { *sx = y, *sy = h - 1 - x; },
        [](int x, int y, int w, int, int* sx, int* sy) { *sx = w - 1 - y, *sy = x; },
    };
    return orientation == 3   ? turns[0]
           : orientation == 6 ? turns[1]
           : orientation == 8 ? turns[2]
                              : none;
}

struct Development {
    const char* name;
    DngOptions dng;
};

const std::vector<Development>& developments() {
    static const std::vector<Development> table = {
        {"64x48", {64, 48, 1, 0}},
        {"odd sides 67x45", {67, 45, 1, 0}},
        {"with a preview in IFD0", {128, 96, 1, 32}},
        {"orientation 3", {64, 48, 3, 0}},
        {"orientation 6", {64, 48, 6, 0}},
        {"orientation 8", {64, 48, 8, 0}},
    };
    return table;
}

TEST(RawDecode, FullDevelopmentIsDcrawEmusAndUpright) {
    if (!haveDcrawEmu())
        GTEST_SKIP() << "dcraw_emu and simple_dcraw (libraw-bin) are not installed";
    TempDir dir;
    for (const Development& d : developments()) {
        SCOPED_TRACE(d.name);
        const std::string path = dir.file(std::string(d.name) + ".dng");
        ASSERT_TRUE(dng_maker::writeDng(path, d.dng));
        const Ppm expected = dcrawEmu(path, "");
        ASSERT_GT(expected.width, 0) << "dcraw_emu did not develop " << path;
        const Decoded got = decodeRaw(testing_support::readBytes(path));
        ASSERT_TRUE(got.ok) << got.picture->lastError();
        EXPECT_EQ(got.picture->type(), uint32_t(RAW));
        EXPECT_EQ(got.picture->bitCount(), 24);
        EXPECT_TRUE(samePixels(*got.picture, expected));
        const Unturn& unturn = unturnFor(d.dng.orientation);
        if (!unturn) continue;

        // The same mosaic stored upright, turned as its Orientation tag says.
        DngOptions upright = d.dng;
        upright.orientation = 1;
        const Decoded stored = decodeRaw(dng_maker::makeDng(upright));
        ASSERT_TRUE(stored.ok);
        const int w = got.picture->width(), h = got.picture->height();
        const bool sideways = d.dng.orientation >= 5;
        EXPECT_EQ(w, sideways ? stored.picture->height() : stored.picture->width());
        EXPECT_EQ(h, sideways ? stored.picture->width() : stored.picture->height());
        int mismatches = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sx = 0, sy = 0;
                unturn(x, y, stored.picture->width(), stored.picture->height(), &sx, &sy);
                mismatches += at(*got.picture, x, y) != at(*stored.picture, sx, sy);
            }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(RawDecode, ReducedDecodeCoversTheWish) {
    if (!haveDcrawEmu())
        GTEST_SKIP() << "dcraw_emu and simple_dcraw (libraw-bin) are not installed";
    struct Case {
        const char* name;
        DngOptions dng;
        int32_t minWidth, minHeight;
        const char* reference;  // the dcraw_emu flags that give the same picture
    };
    const std::vector<Case> cases = {
        {"half size", {128, 96, 1, 0}, 40, 30, "-h"},
        {"half size, only a width wished", {128, 96, 1, 0}, 64, 0, "-h"},
        {"half size, orientation 6", {128, 96, 6, 0}, 48, 64, "-h"},
        {"half size too small: full", {128, 96, 1, 0}, 65, 10, ""},
        {"embedded preview", {128, 96, 1, 32}, 32, 24, "-e"},
        {"preview too small: half size", {128, 96, 1, 32}, 33, 24, "-h"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".dng");
        ASSERT_TRUE(dng_maker::writeDng(path, c.dng));
        const Ppm expected = dcrawEmu(path, c.reference);
        ASSERT_GT(expected.width, 0);
        const Decoded got = decodeRaw(testing_support::readBytes(path), c.minWidth, c.minHeight);
        ASSERT_TRUE(got.ok) << got.picture->lastError();
        EXPECT_TRUE(samePixels(*got.picture, expected));
        EXPECT_GE(got.picture->width(), c.minWidth);
        EXPECT_GE(got.picture->height(), c.minHeight);
        if (c.reference[0]) {
            EXPECT_LT(got.picture->width(), c.dng.orientation >= 5 ? c.dng.height : c.dng.width);
        }
    }
}

// The preview as simple_dcraw extracts it (stored, not turned): a PPM, or a JPEG decoded here
// at the same reduced scale.
DibImage storedPreview(const std::string& path, bool jpeg, int32_t minWidth, int32_t minHeight) {
    DibImage picture;
    if (std::system(("simple_dcraw -e '" + path + "' >/dev/null 2>&1").c_str()) != 0)
        return picture;
    if (!jpeg) {
        const Ppm ppm = readPpm(path + ".thumb.ppm");
        if (ppm.width == 0 || !picture.create(ppm.width, ppm.height, 24, RAW)) return picture;
        for (int y = 0; y < ppm.height; ++y)
            for (int x = 0; x < ppm.width; ++x)
                picture.setPixelColor(x, ppm.height - 1 - y, at(ppm, x, y));
        return picture;
    }
    FILE* file = std::fopen((path + ".thumb.jpg").c_str(), "rb");
    if (!file) return picture;
    JpegCodec codec;
    codec.minWidth = minWidth;
    codec.minHeight = minHeight;
    {
        ImageStream stream(file);
        if (codec.decode(stream)) picture.transfer(codec);
    }
    std::fclose(file);
    return picture;
}

TEST(RawDecode, EmbeddedPreviewIsTurnedUpright) {
    if (!haveDcrawEmu())
        GTEST_SKIP() << "dcraw_emu and simple_dcraw (libraw-bin) are not installed";
    struct Case {
        const char* name;
        DngOptions dng;
        int32_t minWidth, minHeight;  // upright
    };
    const std::vector<Case> cases = {
        {"uncompressed, orientation 6", {128, 96, 6, 32, false}, 24, 32},
        {"uncompressed, orientation 3", {128, 96, 3, 32, false}, 32, 24},
        {"JPEG, orientation 1", {256, 192, 1, 128, true}, 128, 96},
        {"JPEG reduced by its scale", {256, 192, 1, 128, true}, 30, 20},
        {"JPEG, orientation 8, reduced", {256, 192, 8, 128, true}, 40, 60},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".dng");
        ASSERT_TRUE(dng_maker::writeDng(path, c.dng));
        const bool sideways = c.dng.orientation >= 5;
        const DibImage stored =
            storedPreview(path, c.dng.previewJpeg, sideways ? c.minHeight : c.minWidth,
                          sideways ? c.minWidth : c.minHeight);
        ASSERT_TRUE(stored.isValid());
        ASSERT_LT(stored.width(), c.dng.width);
        const Decoded got = decodeRaw(testing_support::readBytes(path), c.minWidth, c.minHeight);
        ASSERT_TRUE(got.ok) << got.picture->lastError();
        const int w = got.picture->width(), h = got.picture->height();
        ASSERT_EQ(w, sideways ? stored.height() : stored.width());
        ASSERT_EQ(h, sideways ? stored.width() : stored.height());
        EXPECT_GE(w, c.minWidth);
        EXPECT_GE(h, c.minHeight);
        const Unturn& unturn = unturnFor(c.dng.orientation);
        int mismatches = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sx = x, sy = y;
                if (unturn) unturn(x, y, stored.width(), stored.height(), &sx, &sy);
                mismatches += at(*got.picture, x, y) != at(stored, sx, sy);
            }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(RawDecode, DamagedFilesFailWithAReason) {
    const Bytes good = dng_maker::makeDng({64, 48, 1, 0});
    ASSERT_FALSE(good.empty());
    struct Case {
        const char* name;
        std::function<Bytes()> make;
        uint64_t budget;      // 0 for the file's own
        const char* message;  // null: loads; "" any reading error
    };
    auto cut = [&](size_t n) { return Bytes(good.begin(), good.begin() + std::ptrdiff_t(n)); };
    const std::vector<Case> cases = {
        {"empty", [] { return Bytes{}; }, 0, ""},
        {"header only", [&] { return cut(8); }, 0, ""},
        {"cut in the first IFD", [&] { return cut(40); }, 0, ""},
        {"not a RAW file", [] { return Bytes(4000, 0x5A); }, 0, ""},
        {"claims 15000 x 10000",
         [&] {
             Bytes b = good;
             claimSides(b, 15000, 10000);
             return b;
         },
         0, kDataTooShort},
        {"claims 30000 x 20000, above the pixel cap",
         [&] {
             Bytes b = good;
             claimSides(b, 30000, 20000);
             return b;
         },
         0, "Image too large: 30000 x 20000"},
        {"claims 65535 x 65535",
         [&] {
             Bytes b = good;
             claimSides(b, 65535, 65535);
             return b;
         },
         0, ""},
        {"claims 2000 x 1500, more pixels than the file has bits",
         [&] {
             Bytes b = good;
             claimSides(b, 2000, 1500);
             return b;
         },
         0, kDataTooShort},
        {"smaller than LibRaw develops (16 x 12)",
         [] {
             return dng_maker::makeDng({16, 12});
         },
         0, ""},
        {"budget below the development", [&] { return good; }, 32 * 1024, kDataTooShort},
        {"budget enough", [&] { return good; }, 1 << 20, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded got = decodeRaw(c.make(), 0, 0, c.budget);
        if (!c.message) {
            EXPECT_TRUE(got.ok) << got.picture->lastError();
            continue;
        }
        EXPECT_FALSE(got.ok);
        EXPECT_FALSE(got.picture->isValid());
        if (c.message[0])
            EXPECT_STREQ(got.picture->lastError(), c.message);
        else
            EXPECT_EQ(std::string(got.picture->lastError()).rfind("Error reading RAW file: ", 0),
                      0u)
                << got.picture->lastError();
    }
}

// Cut anywhere or with bytes overwritten, a file either develops to a whole picture or fails
// with a reason; none crashes (the sanitizer builds watch the reads).
TEST(RawDecode, TruncatedAndCorruptedFilesNeverCrash) {
    const Bytes good = dng_maker::makeDng({64, 48, 6, 16});
    ASSERT_FALSE(good.empty());
    std::vector<Bytes> damaged;
    for (size_t n = 0; n < good.size(); n += good.size() / 23 + 1)
        damaged.emplace_back(good.begin(), good.begin() + std::ptrdiff_t(n));
    uint32_t seed = 7;
    for (int i = 0; i < 40; ++i) {
        Bytes b = good;
        for (int k = 0; k < 6; ++k) {
            seed = seed * 1103515245u + 12345u;
            b[(seed >> 8) % 512] = uint8_t(seed >> 24);  // the IFDs and tags sit up front
        }
        damaged.push_back(b);
    }
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(i);
        for (int32_t wish : {0, 8}) {
            const Decoded got = decodeRaw(damaged[i], wish, wish);
            if (got.ok) {
                EXPECT_TRUE(got.picture->isValid());
                EXPECT_EQ(got.picture->bitCount(), 24);
            } else {
                EXPECT_FALSE(got.picture->isValid());
                EXPECT_NE(got.picture->lastError()[0], '\0');
            }
        }
    }
}

}  // namespace
