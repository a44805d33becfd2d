// WebP codec: files made by cwebp, img2webp and webpmux decode exactly as dwebp decodes them,
// round trips are exact (lossless) or agree with dwebp (lossy), bad files are refused.
#include "formats/webp/webp_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/data_bound.h"
#include "formats/format_detect.h"
#include "formats/format_table.h"
#include "formats/image_stream.h"
#include "support/test_support.h"

using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::sameImage;
using testing_support::TempDir;
using Bytes = std::vector<uint8_t>;

namespace {

#define REQUIRE_TOOLS(...)                                                                   \
    for (const char* tool : {__VA_ARGS__}) {                                                 \
        if (std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) != 0) { \
            GTEST_SKIP() << tool << " is not installed";                                     \
        }                                                                                    \
    }

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Decodes with the budget a load of that many bytes gets; lastError says why not.
std::string decode(const Bytes& bytes, WebpCodec* codec) {
    FILE* file = bytes.empty() ? std::fopen("/dev/null", "rb")
                               : fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
    ImageStream stream(file);
    codec->setDecodeBudget(decodeBudgetFor(bytesLeft(stream)));
    const bool ok = codec->decode(stream);
    std::fclose(file);
    EXPECT_EQ(ok, codec->isValid());
    return ok ? "" : codec->lastError();
}

// Writes through a codec that only borrows the picture, as saving does.
std::string encode(const DibImage& image, const std::string& path, bool lossless, int quality) {
    WebpCodec codec;
    codec.borrow(const_cast<DibImage&>(image));
    codec.lossless = lossless;
    codec.quality = quality;
    FILE* file = std::fopen(path.c_str(), path == "/dev/null" ? "rb" : "wb");
    bool ok;
    {
        ImageStream stream(file);
        ok = codec.encode(stream);
    }
    std::fclose(file);
    return ok ? "" : codec.lastError();
}

void expectSame(const DibImage& a, const DibImage& b, const char* what) {
    std::string why;
    EXPECT_TRUE(sameImage(a, b, &why)) << what << ": " << why;
}

// Our decode of the file against dwebp's (its PNG read back, RGBA when the file has alpha).
void expectAsDwebp(const std::string& webp, const WebpCodec& decoded) {
    ASSERT_TRUE(run("dwebp '" + webp + "' -o '" + webp + ".png'"));
    DibImage reference;
    ASSERT_TRUE(reference.loadFromFile((webp + ".png").c_str(), PNG)) << reference.lastError();
    expectSame(decoded, reference, "against dwebp");
}

std::string png(const DibImage& image, const TempDir& dir, const std::string& name) {
    EXPECT_TRUE(image.saveToFile(dir.file(name).c_str(), PNG)) << image.lastError();
    return "'" + dir.file(name) + "'";
}

TEST(Webp, SignatureNeedsRiffAndWebp) {
    const auto is = [](const char* head, size_t n) {
        return isWebpSignature(reinterpret_cast<const uint8_t*>(head), n);
    };
    EXPECT_TRUE(is("RIFF\0\0\0\0WEBP", 12));
    EXPECT_FALSE(is("RIFF\0\0\0\0WEB", 11) || is("RIFF\0\0\0\0WAVE", 12) ||
                 is("RIFX\0\0\0\0WEBP", 12));
}

TEST(Webp, DecodesToolFilesAsDwebpDoes) {
    REQUIRE_TOOLS("cwebp", "dwebp", "img2webp", "webpmux");
    TempDir dir;
    const DibImage a = randomImage(13, 11, 24, 1), b = randomImage(13, 11, 24, 2);
    const DibImage withAlpha = randomImage(17, 9, 24, 3, true), small = randomImage(5, 4, 24, 4);
    const std::string pa = png(a, dir, "a.png"), pb = png(b, dir, "b.png"),
                      pAlpha = png(withAlpha, dir, "alpha.png");
    const struct {
        std::string command;     // writes f.webp
        const DibImage* source;  // what a lossless file holds exactly
        int frames;
        bool dwebp;  // dwebp reads it (not animations)
    } cases[] = {
        {"cwebp -q 80 " + pa, nullptr, 1, true},
        {"cwebp -q 30 -m 6 -sharp_yuv " + pb, nullptr, 1, true},
        {"cwebp -q 50 " + pAlpha, nullptr, 1, true},
        {"cwebp -alpha_q 40 -alpha_filter best " + pAlpha, nullptr, 1, true},
        {"cwebp -lossless " + pa, &a, 1, true},
        {"cwebp -lossless -exact " + pAlpha, &withAlpha, 1, true},
        {"img2webp -lossless " + pa + " " + pb, &a, 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const std::string file = dir.file("f.webp");
        ASSERT_TRUE(run(c.command + " -o " + file));
        WebpCodec decoded;
        ASSERT_EQ(decode(readBytes(file), &decoded), "");
        EXPECT_EQ(decoded.type(), uint32_t(WEBP));
        EXPECT_EQ(decoded.info.frameCount, c.frames);
        if (c.dwebp) expectAsDwebp(file, decoded);
        if (c.source) expectSame(decoded, *c.source, "against the source");
    }

    // A lossy animation's first frame is what dwebp makes of that frame taken out alone.
    ASSERT_TRUE(run("img2webp -lossy " + pa + " " + pb + " -o " + dir.file("lossy.webp")));
    ASSERT_TRUE(
        run("webpmux -get frame 1 " + dir.file("lossy.webp") + " -o " + dir.file("1.webp")));
    WebpCodec first;
    ASSERT_EQ(decode(readBytes(dir.file("lossy.webp")), &first), "");
    expectAsDwebp(dir.file("1.webp"), first);

    // A first frame smaller than the canvas lies on transparent black.
    ASSERT_TRUE(run("cwebp -lossless " + png(small, dir, "s.png") + " -o " + dir.file("s.webp")));
    ASSERT_TRUE(run("cwebp -lossless " + pb + " -o " + dir.file("b.webp")));
    ASSERT_TRUE(run("webpmux -frame " + dir.file("s.webp") + " +9+0+0 -frame " +
                    dir.file("b.webp") + " +9+2+2 -o " + dir.file("canvas.webp")));
    WebpCodec canvas;
    ASSERT_EQ(decode(readBytes(dir.file("canvas.webp")), &canvas), "");
    ASSERT_EQ(canvas.width(), 15);
    ASSERT_EQ(canvas.height(), 13);
    ASSERT_TRUE(canvas.hasAlpha());
    for (int32_t r = 0; r < 13; ++r)
        for (int32_t x = 0; x < 15; ++x) {
            const bool inside = x < 5 && r < 4;  // offsets count from the top
            const RgbQuad c = inside ? small.getPixelColor(x, 3 - r) : RgbQuad{};
            EXPECT_EQ(canvas.getPixelColor(x, 12 - r).toValue() & 0xFFFFFF, c.toValue() & 0xFFFFFF);
            EXPECT_EQ(canvas.alphaGet(x, 12 - r), inside ? 255 : 0) << x << "," << r;
        }
}

TEST(Webp, RoundTripsEveryDepth) {
    REQUIRE_TOOLS("dwebp");
    const struct {
        uint32_t bits;
        bool alpha;
        int32_t key;  // transparent palette index
        int quality;  // 0 for lossless
    } cases[] = {{24, false, -1, 0}, {24, true, -1, 0},   {8, false, 5, 0},   {4, false, -1, 0},
                 {1, false, 0, 0},   {24, false, -1, 90}, {24, true, -1, 90}, {8, false, 2, 90}};
    TempDir dir;
    const std::string file = dir.file("r.webp");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + (c.alpha ? "+alpha q" : " q") +
                     std::to_string(c.quality));
        // Smooth colours, so that lossy coding stays close and an exchange of red and blue shows.
        DibImage source = randomImage(31, 9, c.bits, c.bits, c.alpha);
        for (int32_t x = 0; c.bits == 24 && x < 31; ++x)
            for (int32_t y = 0; y < 9; ++y)
                source.setPixelColor(x, y, RgbQuad{uint8_t(y * 28), 90, uint8_t(x * 8), 0});
        source.info.backgroundIndex = c.key;
        const DibImage before(source);
        ASSERT_EQ(encode(source, file, c.quality == 0, c.quality), "");
        expectSame(source, before, "the saved picture");
        const Bytes bytes = readBytes(file);
        EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), c.quality == 0 ? "VP8L"
                                                                       : c.alpha || c.key >= 0
                                                                           ? "VP8X"
                                                                           : "VP8 ");
        WebpCodec decoded;
        ASSERT_EQ(decode(bytes, &decoded), "");
        ASSERT_EQ(decoded.hasAlpha(), c.alpha || c.key >= 0);
        expectAsDwebp(file, decoded);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 31; ++x) {
                // Alpha is coded losslessly at every quality.
                const int alpha = c.key >= 0 ? (source.getPixelIndex(x, y) == c.key ? 0 : 255)
                                  : c.alpha  ? source.alphaGet(x, y)
                                             : 255;
                EXPECT_EQ(decoded.hasAlpha() ? decoded.alphaGet(x, y) : 255, alpha)
                    << x << "," << y;
                // Lossy coding weighs colour by alpha, and random palettes are noise: only
                // opaque smooth colours are compared then.
                const int tolerance = c.quality == 0 ? 0 : c.bits == 24 && alpha == 255 ? 12 : 255;
                const RgbQuad want = source.getPixelColor(x, y), got = decoded.getPixelColor(x, y);
                EXPECT_NEAR(got.red, want.red, tolerance);
                EXPECT_NEAR(got.green, want.green, tolerance);
                EXPECT_NEAR(got.blue, want.blue, tolerance);
            }
    }
    // Quality reaches the encoder: noise costs more bytes at each step up.
    const DibImage noise = randomImage(48, 40, 24, 7);
    size_t last = 0;
    for (const int quality : {5, 50, 75, 100}) {
        ASSERT_EQ(encode(noise, file, false, quality), "");
        EXPECT_GT(readBytes(file).size(), last) << quality;
        last = readBytes(file).size();
    }
}

TEST(Webp, RefusesWhatItCannotWrite) {
    TempDir dir;
    EXPECT_EQ(encode(DibImage(), dir.file("e.webp"), false, 75), "Can't save an empty image");
    EXPECT_EQ(encode(DibImage(16384, 1, 24, 0), dir.file("w.webp"), true, 75),
              "Error writing WebP file: larger than 16383 x 16383");
    EXPECT_EQ(encode(DibImage(16383, 1, 24, 0), dir.file("w.webp"), true, 75), "");
    EXPECT_EQ(encode(randomImage(8, 8, 24, 3), "/dev/null", false, 75), "Error writing WebP file");
}

TEST(Webp, CutAndDamagedFilesFailWithAMessage) {
    REQUIRE_TOOLS("cwebp", "img2webp");
    TempDir dir;
    const std::string p = png(randomImage(24, 20, 24, 5, true), dir, "a.png"),
                      q = png(randomImage(24, 20, 24, 6), dir, "b.png");
    for (const std::string& command :
         {"cwebp " + q, "cwebp " + p, "cwebp -lossless " + p, "img2webp -lossy " + q + " " + p}) {
        SCOPED_TRACE(command);
        ASSERT_TRUE(run(command + " -o " + dir.file("f.webp")));
        const Bytes whole = readBytes(dir.file("f.webp"));
        WebpCodec intact;
        ASSERT_EQ(decode(whole, &intact), "");
        for (const size_t cut :
             {size_t(0), size_t(11), size_t(20), size_t(30), whole.size() / 2, whole.size() - 1}) {
            WebpCodec codec;
            EXPECT_EQ(decode(Bytes(whole.begin(), whole.begin() + long(cut)), &codec)
                          .rfind("Error reading WebP file", 0),
                      0u)
                << cut;
        }
        // The form type, the first chunk's name, then any byte: loaded (a damaged size may
        // declare another canvas) or refused with a message.
        for (size_t at = 8; at < whole.size(); at += at < 16 ? 4 : 3) {
            Bytes damaged = whole;
            damaged[at] ^= 0xA5;
            WebpCodec codec;
            const std::string error = decode(damaged, &codec);
            EXPECT_TRUE(at < 16 ? error.rfind("Error reading WebP file", 0) == 0
                                : error.empty() || error.rfind("Error reading WebP file", 0) == 0 ||
                                      error == kDataTooShort)
                << at << ": " << error;
        }
    }
}

TEST(Webp, HostileFilesCostLittle) {
    // 100 bytes declaring 16383 x 16383 (lossless, lossy) or an animated 16384 x 16384 canvas.
    const auto file = [](const char* chunk, uint32_t size, Bytes head) {
        Bytes b(100, 0);
        std::memcpy(b.data(), "RIFF\x5c\0\0\0WEBP", 12);
        std::memcpy(b.data() + 12, chunk, 4);
        b[16] = uint8_t(size);
        std::copy(head.begin(), head.end(), b.begin() + 20);
        return b;
    };
    const uint32_t sides = 16382 | 16382u << 14, tag = 0x10 | 10u << 5;
    for (const Bytes& b :
         {file("VP8L", 80,
               {0x2F, uint8_t(sides), uint8_t(sides >> 8), uint8_t(sides >> 16),
                uint8_t(sides >> 24)}),
          file("VP8 ", 80,
               {uint8_t(tag), uint8_t(tag >> 8), 0, 0x9D, 0x01, 0x2A, 0xFF, 0x3F, 0xFF, 0x3F}),
          file("VP8X", 10, {0x02, 0, 0, 0, 0xFF, 0x3F, 0, 0xFF, 0x3F, 0})}) {
        WebpCodec codec;
        EXPECT_EQ(decode(b, &codec), kDataTooShort) << std::string(b.begin() + 12, b.begin() + 16);
    }

    // Hundreds of frames: only the first is decoded, all are counted.
    REQUIRE_TOOLS("cwebp", "webpmux");
    TempDir dir;
    ASSERT_TRUE(run("cwebp -lossless " + png(randomImage(2, 2, 24, 9), dir, "d.png") + " -o " +
                    dir.file("d.webp")));
    std::string command = "webpmux";
    for (int i = 0; i < 400; ++i)
        command += " -frame " + dir.file("d.webp") + " +10+" + std::to_string(2 * (i % 4)) + "+0";
    ASSERT_TRUE(run(command + " -o " + dir.file("many.webp")));
    WebpCodec codec;
    ASSERT_EQ(decode(readBytes(dir.file("many.webp")), &codec), "");
    EXPECT_EQ(codec.info.frameCount, 400);
    EXPECT_EQ(codec.width(), 8);
}

// Through the format table: found by content and name, saved (lossy by default) and loaded
// under the load's own budget.
TEST(Webp, LoadsAndSavesThroughTheTable) {
    REQUIRE_TOOLS("dwebp");
    TempDir dir;
    const std::string path = dir.file("photo.webp"), unnamed = dir.file("photo");
    const DibImage picture = randomImage(20, 10, 24, 8, true);
    ASSERT_TRUE(picture.saveToFile(path.c_str(), WEBP)) << picture.lastError();
    ASSERT_TRUE(picture.saveToFile(unnamed.c_str(), WEBP)) << picture.lastError();
    EXPECT_EQ(formats::detectFileFormat(unnamed), int(WEBP));
    EXPECT_EQ(formats::formatFromName("a/B.WEBP"), int(WEBP));
    EXPECT_EQ(formats::writtenTypeFor(WEBP, 24), uint32_t(WEBP));
    Bytes bytes = readBytes(path);
    EXPECT_NE(std::string(bytes.begin() + 12, bytes.begin() + 16), "VP8L");
    DibImage loaded;
    ASSERT_TRUE(loaded.loadFromFile(path.c_str(), WEBP)) << loaded.lastError();
    WebpCodec direct;
    ASSERT_EQ(decode(readBytes(path), &direct), "");
    expectSame(loaded, direct, "the table's load");
    expectAsDwebp(path, direct);

    // 100 bytes declaring 16384 x 16384.
    bytes.resize(100);
    std::memcpy(bytes.data() + 4, "\x5c\0\0\0WEBPVP8L\x50\0\0\0\x2F\xFF\xFF\xFF\x0F", 21);
    testing_support::writeBytes(path, bytes);
    EXPECT_FALSE(loaded.loadFromFile(path.c_str(), WEBP));
    EXPECT_STREQ(loaded.lastError(), kDataTooShort);
}

}  // namespace
