// WebP codec: files made by cwebp, img2webp and webpmux decode exactly as dwebp decodes them,
// lossless round trips are exact, lossy ones agree with dwebp, and cut, damaged or hostile
// files are refused with a message.
#include "formats/webp/webp_codec.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "formats/data_bound.h"
#include "formats/image_stream.h"
#include "support/test_support.h"

using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::sameImage;
using testing_support::TempDir;
using testing_support::writeBytes;

namespace {

constexpr const char* kReadError = "Error reading WebP file";

// The first of the tools that is not installed, or empty when all are.
std::string missingTool(std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0)
            return tool;
    return {};
}

#define REQUIRE_TOOLS(...)                                                    \
    do {                                                                      \
        const std::string missing = missingTool({__VA_ARGS__});               \
        if (!missing.empty()) GTEST_SKIP() << missing << " is not installed"; \
    } while (0)

int run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// Decodes the bytes with the budget a load from a file of that size gets.
bool decodeBytes(const std::vector<uint8_t>& bytes, WebpCodec* codec) {
    FILE* file = bytes.empty() ? std::fopen("/dev/null", "rb")
                               : fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
    if (!file) return false;
    bool ok;
    {
        ImageStream stream(file);
        codec->setDecodeBudget(decodeBudgetFor(bytesLeft(stream)));
        ok = codec->decode(stream);
        codec->setDecodeBudget(UINT64_MAX);
    }
    std::fclose(file);
    return ok;
}

bool decodeFile(const std::string& path, WebpCodec* codec) {
    return decodeBytes(readBytes(path), codec);
}

// Writes the image through a codec that only borrows it, as saving does.
bool encodeFile(const DibImage& image, const std::string& path, bool lossless, int quality = 75,
                std::string* error = nullptr) {
    WebpCodec codec;
    codec.borrow(const_cast<DibImage&>(image));
    codec.lossless = lossless;
    codec.quality = quality;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok;
    {
        ImageStream stream(file);
        ok = codec.encode(stream);
    }
    std::fclose(file);
    if (error) *error = codec.lastError();
    return ok;
}

// dwebp's picture of the file, read back through the PNG codec (RGBA when the file has alpha).
DibImage dwebpPicture(const std::string& webp) {
    const std::string png = webp + ".dwebp.png";
    EXPECT_EQ(run("dwebp '" + webp + "' -o '" + png + "'"), 0) << webp;
    DibImage img;
    EXPECT_TRUE(img.loadFromFile(png.c_str(), PNG)) << img.lastError();
    return img;
}

std::string savePng(const DibImage& image, const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name + ".png");
    EXPECT_TRUE(image.saveToFile(path.c_str(), PNG)) << image.lastError();
    return path;
}

// The chunk after the RIFF header: "VP8 " lossy, "VP8L" lossless, "VP8X" extended.
std::string firstChunk(const std::vector<uint8_t>& bytes) {
    return bytes.size() < 16 ? std::string() : std::string(bytes.begin() + 12, bytes.begin() + 16);
}

void expectSame(const DibImage& a, const DibImage& b, const std::string& what) {
    std::string why;
    EXPECT_TRUE(sameImage(a, b, &why)) << what << ": " << why;
}

TEST(WebpSignature, NeedsRiffAndWebp) {
    const struct {
        const char* bytes;
        size_t length;
        bool webp;
    } cases[] = {
        {"RIFF\x10\0\0\0WEBPVP8 ", 16, true}, {"RIFF\0\0\0\0WEBP", 12, true},
        {"RIFF\0\0\0\0WEB", 11, false},       {"RIFF\0\0\0\0WAVE", 12, false},
        {"RIFX\0\0\0\0WEBP", 12, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isWebpSignature(reinterpret_cast<const uint8_t*>(c.bytes), c.length), c.webp)
            << c.bytes;
    EXPECT_FALSE(isWebpSignature(nullptr, 12));
}

TEST(WebpDecode, CwebpFilesAsDwebpDecodesThem) {
    REQUIRE_TOOLS("cwebp", "dwebp");
    const struct {
        const char* name;
        int32_t width, height;
        bool alpha;
        const char* options;
        bool lossless;
    } cases[] = {
        {"lossy", 13, 11, false, "-q 80", false},
        {"lossy-1x1", 1, 1, false, "", false},
        {"lossy-wide", 301, 2, false, "-q 30 -m 6", false},
        {"lossy-sharp-yuv", 31, 7, false, "-sharp_yuv -q 90", false},
        {"lossy-alpha", 17, 9, true, "-q 50", false},
        {"lossy-lossy-alpha", 9, 9, true, "-alpha_q 40 -alpha_filter best", false},
        {"lossless", 13, 11, false, "-lossless", true},
        {"lossless-alpha", 16, 5, true, "-lossless -exact", true},
        {"lossless-tall", 3, 70, true, "-lossless -exact -z 9", true},
    };
    TempDir dir;
    uint32_t seed = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DibImage source = randomImage(c.width, c.height, 24, seed++, c.alpha);
        const std::string png = savePng(source, dir, c.name);
        const std::string webp = dir.file(std::string(c.name) + ".webp");
        ASSERT_EQ(
            run("cwebp -quiet " + std::string(c.options) + " '" + png + "' -o '" + webp + "'"), 0);
        WebpCodec decoded;
        ASSERT_TRUE(decodeFile(webp, &decoded)) << decoded.lastError();
        EXPECT_EQ(decoded.type(), uint32_t(WEBP));
        EXPECT_EQ(decoded.bitCount(), 24);
        EXPECT_EQ(decoded.hasAlpha(), c.alpha);
        EXPECT_EQ(decoded.info.frameCount, 1);
        expectSame(decoded, dwebpPicture(webp), "against dwebp");
        if (c.lossless) expectSame(decoded, source, "against the source");
    }
}

TEST(WebpDecode, FirstFrameOfAnAnimation) {
    REQUIRE_TOOLS("cwebp", "dwebp", "img2webp", "webpmux");
    TempDir dir;
    const DibImage first = randomImage(13, 11, 24, 21);
    const DibImage second = randomImage(13, 11, 24, 22);
    const std::string a = savePng(first, dir, "a"), b = savePng(second, dir, "b");

    // Lossless frames: the first frame is the first picture itself.
    const std::string lossless = dir.file("lossless.webp");
    ASSERT_EQ(run("img2webp -lossless '" + a + "' '" + b + "' -o '" + lossless + "'"), 0);
    WebpCodec decoded;
    ASSERT_TRUE(decodeFile(lossless, &decoded)) << decoded.lastError();
    EXPECT_EQ(decoded.info.frameCount, 2);
    expectSame(decoded, first, "lossless animation");

    // Lossy frames: as dwebp decodes the first frame taken out of the file.
    const std::string lossy = dir.file("lossy.webp"), frame = dir.file("frame1.webp");
    ASSERT_EQ(run("img2webp -lossy -q 60 '" + a + "' '" + b + "' -o '" + lossy + "'"), 0);
    ASSERT_EQ(run("webpmux -get frame 1 '" + lossy + "' -o '" + frame + "'"), 0);
    WebpCodec lossyDecoded;
    ASSERT_TRUE(decodeFile(lossy, &lossyDecoded)) << lossyDecoded.lastError();
    EXPECT_EQ(lossyDecoded.info.frameCount, 2);
    expectSame(lossyDecoded, dwebpPicture(frame), "lossy animation");

    // A first frame smaller than the canvas: transparent black around it.
    const DibImage small = randomImage(5, 4, 24, 23);
    const std::string smallWebp = dir.file("small.webp"), bigWebp = dir.file("big.webp");
    ASSERT_EQ(
        run("cwebp -quiet -lossless '" + savePng(small, dir, "small") + "' -o '" + smallWebp + "'"),
        0);
    ASSERT_EQ(run("cwebp -quiet -lossless '" + b + "' -o '" + bigWebp + "'"), 0);
    const std::string partial = dir.file("partial.webp");
    ASSERT_EQ(run("webpmux -frame '" + smallWebp + "' +100+0+0 -frame '" + bigWebp +
                  "' +100+2+2 -o '" + partial + "'"),
              0);
    WebpCodec canvas;
    ASSERT_TRUE(decodeFile(partial, &canvas)) << canvas.lastError();
    ASSERT_EQ(canvas.width(), 15);
    ASSERT_EQ(canvas.height(), 13);
    ASSERT_TRUE(canvas.hasAlpha());
    for (int32_t r = 0; r < 13; ++r) {
        for (int32_t x = 0; x < 15; ++x) {
            const int32_t y = 12 - r;  // the frame's offset counts from the top
            const bool inside = x < 5 && r < 4;
            const RgbQuad expected = inside ? small.getPixelColor(x, 3 - r) : RgbQuad{};
            RgbQuad got = canvas.getPixelColor(x, y);
            got.reserved = expected.reserved;
            EXPECT_EQ(got, expected) << x << "," << r;
            EXPECT_EQ(canvas.alphaGet(x, y), inside ? 255 : 0) << x << "," << r;
        }
    }
}

// Pictures of every depth: palettes come back as their colours, alpha as it was.
TEST(WebpEncode, LosslessRoundTripsExactly) {
    REQUIRE_TOOLS("dwebp");
    const struct {
        uint32_t bits;
        int32_t width, height;
        bool alpha;
        int32_t transparentIndex;
    } cases[] = {
        {24, 13, 11, false, -1}, {24, 13, 11, true, -1}, {24, 1, 1, true, -1},
        {24, 257, 3, false, -1}, {8, 19, 7, false, -1},  {8, 19, 7, false, 5},
        {4, 9, 6, false, -1},    {4, 9, 6, false, 0},    {1, 33, 3, false, -1},
    };
    TempDir dir;
    uint32_t seed = 40;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.width) + " x " +
                     std::to_string(c.height) + (c.alpha ? " with alpha" : "") + ", key " +
                     std::to_string(c.transparentIndex));
        DibImage source = randomImage(c.width, c.height, c.bits, seed++, c.alpha);
        source.info.backgroundIndex = c.transparentIndex;
        const DibImage before(source);
        const std::string path = dir.file("round.webp");
        ASSERT_TRUE(encodeFile(source, path, true));
        expectSame(source, before, "the saved picture");
        EXPECT_EQ(firstChunk(readBytes(path)), "VP8L");

        WebpCodec decoded;
        ASSERT_TRUE(decodeFile(path, &decoded)) << decoded.lastError();
        if (c.bits == 24) {
            expectSame(decoded, source, "decoded");
        } else {
            ASSERT_EQ(decoded.width(), c.width);
            ASSERT_EQ(decoded.height(), c.height);
            EXPECT_EQ(decoded.hasAlpha(), c.transparentIndex >= 0);
            for (int32_t y = 0; y < c.height; ++y) {
                for (int32_t x = 0; x < c.width; ++x) {
                    const uint8_t index = source.getPixelIndex(x, y);
                    RgbQuad expected = source.getPaletteColor(index);
                    expected.reserved = 0;
                    RgbQuad got = decoded.getPixelColor(x, y);
                    got.reserved = 0;
                    EXPECT_EQ(got, expected) << x << "," << y;
                    if (decoded.hasAlpha()) {
                        EXPECT_EQ(decoded.alphaGet(x, y), index == c.transparentIndex ? 0 : 255);
                    }
                }
            }
        }
        expectSame(decoded, dwebpPicture(path), "against dwebp");
    }
}

// A smooth picture whose red grows to the right and blue to the top: an exchange of red and
// blue, or a flipped picture, is far off even at low quality.
DibImage gradient(int32_t width, int32_t height, bool alpha) {
    DibImage img(width, height, 24, 0);
    if (alpha) img.alphaCreate();
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            img.setPixelColor(
                x, y,
                RgbQuad{uint8_t(y * 255 / (height - 1)), 128, uint8_t(x * 255 / (width - 1)), 0});
            if (alpha) img.alphaSet(x, y, uint8_t((x * 7 + y * 3) & 0xFF));
        }
    return img;
}

double meanError(const DibImage& a, const DibImage& b) {
    double sum = 0;
    for (int32_t y = 0; y < a.height(); ++y)
        for (int32_t x = 0; x < a.width(); ++x) {
            const RgbQuad p = a.getPixelColor(x, y), q = b.getPixelColor(x, y);
            sum +=
                std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue);
        }
    return sum / (3.0 * a.width() * a.height());
}

TEST(WebpEncode, LossyAgreesWithDwebpAndFollowsQuality) {
    REQUIRE_TOOLS("dwebp");
    TempDir dir;
    for (const bool alpha : {false, true}) {
        const DibImage source = gradient(48, 40, alpha);
        const DibImage noise = randomImage(48, 40, 24, 77);
        size_t lastSize = 0;
        for (const int quality : {5, 50, 75, 100}) {
            SCOPED_TRACE(std::string(alpha ? "alpha, " : "") + "quality " +
                         std::to_string(quality));
            const std::string path = dir.file("lossy.webp");
            ASSERT_TRUE(encodeFile(source, path, false, quality));
            const std::vector<uint8_t> bytes = readBytes(path);
            EXPECT_EQ(firstChunk(bytes), alpha ? "VP8X" : "VP8 ");
            WebpCodec decoded;
            ASSERT_TRUE(decodeFile(path, &decoded)) << decoded.lastError();
            ASSERT_EQ(decoded.width(), 48);
            ASSERT_EQ(decoded.height(), 40);
            EXPECT_LT(meanError(decoded, source), quality >= 75 ? 2.0 : 8.0);
            ASSERT_EQ(decoded.hasAlpha(), alpha);
            if (alpha) {
                // The alpha plane is coded losslessly at every colour quality.
                for (int32_t y = 0; y < 40; ++y)
                    for (int32_t x = 0; x < 48; ++x)
                        ASSERT_EQ(decoded.alphaGet(x, y), source.alphaGet(x, y)) << x << "," << y;
            }
            expectSame(decoded, dwebpPicture(path), "against dwebp");

            // Quality must reach the encoder: noise costs more bytes at every step up.
            ASSERT_TRUE(encodeFile(noise, path, false, quality));
            const size_t size = readBytes(path).size();
            EXPECT_GT(size, lastSize);
            lastSize = size;
        }
    }
}

TEST(WebpEncode, RefusesWhatItCannotWrite) {
    TempDir dir;
    const std::string path = dir.file("refused.webp");
    std::string error;
    EXPECT_FALSE(encodeFile(DibImage(), path, false, 75, &error));
    EXPECT_EQ(error, "Can't save an empty image");
    EXPECT_FALSE(encodeFile(DibImage(16384, 1, 24, 0), path, true, 75, &error));
    EXPECT_EQ(error, "Error writing WebP file: larger than 16383 x 16383");
    EXPECT_TRUE(encodeFile(DibImage(16383, 1, 24, 0), path, true, 75, &error)) << error;

    // A stream that takes no bytes.
    const DibImage picture = randomImage(8, 8, 24, 3);
    WebpCodec codec;
    codec.borrow(const_cast<DibImage&>(picture));
    FILE* file = std::fopen("/dev/null", "rb");
    ASSERT_NE(file, nullptr);
    bool ok;
    {
        ImageStream stream(file);
        ok = codec.encode(stream);
    }
    std::fclose(file);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(codec.lastError(), "Error writing WebP file");
}

void expectRefused(const std::vector<uint8_t>& bytes, const std::string& what,
                   const char* message = nullptr) {
    WebpCodec codec;
    EXPECT_FALSE(decodeBytes(bytes, &codec)) << what;
    EXPECT_FALSE(codec.isValid()) << what;
    if (message) {
        EXPECT_STREQ(codec.lastError(), message) << what;
    } else {
        EXPECT_EQ(std::string(codec.lastError()).rfind(kReadError, 0), 0u)
            << what << ": " << codec.lastError();
    }
}

TEST(WebpDecode, CutAndDamagedFilesFailWithAMessage) {
    REQUIRE_TOOLS("cwebp", "img2webp");
    TempDir dir;
    const DibImage source = randomImage(24, 20, 24, 5, true);
    const std::string png = savePng(source, dir, "source");
    const std::string opaque = savePng(randomImage(24, 20, 24, 6), dir, "opaque");
    const struct {
        const char* name;
        std::string command;
    } files[] = {
        {"lossy.webp", "cwebp -quiet '" + opaque + "' -o "},
        {"lossy-alpha.webp", "cwebp -quiet '" + png + "' -o "},
        {"lossless.webp", "cwebp -quiet -lossless '" + png + "' -o "},
        {"animation.webp", "img2webp -lossy '" + opaque + "' '" + png + "' -o "},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.file(f.name);
        ASSERT_EQ(run(f.command + "'" + path + "'"), 0);
        const std::vector<uint8_t> whole = readBytes(path);
        WebpCodec intact;
        ASSERT_TRUE(decodeBytes(whole, &intact)) << intact.lastError();

        for (const size_t cut : {size_t(0), size_t(11), size_t(12), size_t(20), size_t(30),
                                 whole.size() / 2, whole.size() - 1}) {
            expectRefused(std::vector<uint8_t>(whole.begin(), whole.begin() + long(cut)),
                          "cut at " + std::to_string(cut));
        }
        // The RIFF form type and the first chunk's name.
        for (const size_t at : {size_t(8), size_t(12), size_t(15)}) {
            std::vector<uint8_t> damaged = whole;
            damaged[at] ^= 0x20;
            expectRefused(damaged, "damaged at " + std::to_string(at));
        }
        // Any byte after the first chunk's name: the file loads (a damaged size may declare
        // another canvas) or is refused with a message.
        for (size_t at = 16; at < whole.size(); at += 3) {
            std::vector<uint8_t> damaged = whole;
            damaged[at] ^= 0xA5;
            WebpCodec codec;
            if (decodeBytes(damaged, &codec)) {
                EXPECT_GT(codec.width(), 0) << at;
            } else {
                const std::string error = codec.lastError();
                EXPECT_TRUE(error.rfind(kReadError, 0) == 0 || error == kDataTooShort)
                    << at << ": " << error;
                EXPECT_FALSE(codec.isValid()) << at;
            }
        }
    }
}

void putLe(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A file of 100 bytes: RIFF header, one chunk of the given name whose first bytes are head.
std::vector<uint8_t> hostileFile(const char* chunk, const std::vector<uint8_t>& head) {
    std::vector<uint8_t> b(100, 0);
    std::memcpy(b.data(), "RIFF", 4);
    putLe(b, 4, 92, 4);
    std::memcpy(b.data() + 8, "WEBP", 4);
    std::memcpy(b.data() + 12, chunk, 4);
    putLe(b, 16, 80, 4);
    std::copy(head.begin(), head.end(), b.begin() + 20);
    return b;
}

TEST(WebpDecode, HugeDeclaredPicturesAreRefusedBeforeDecoding) {
    const uint32_t side = 16383;
    // Lossless: signature, then width - 1 and height - 1 in 14 bits each.
    const uint32_t sizes = (side - 1) | (side - 1) << 14;
    std::vector<uint8_t> lossless = hostileFile(
        "VP8L",
        {0x2F, uint8_t(sizes), uint8_t(sizes >> 8), uint8_t(sizes >> 16), uint8_t(sizes >> 24)});
    // Lossy key frame: tag with a first partition of 10 bytes, start code, 14-bit sides.
    const uint32_t tag = 0x10 | 10u << 5;
    std::vector<uint8_t> lossy =
        hostileFile("VP8 ", {uint8_t(tag), uint8_t(tag >> 8), uint8_t(tag >> 16), 0x9D, 0x01, 0x2A,
                             uint8_t(side), uint8_t(side >> 8), uint8_t(side), uint8_t(side >> 8)});
    // Extended animated canvas of 16384 x 16384 (sides - 1 in 24 bits).
    std::vector<uint8_t> canvas =
        hostileFile("VP8X", {0x02, 0, 0, 0, 0xFF, 0x3F, 0, 0xFF, 0x3F, 0});
    putLe(canvas, 16, 10, 4);
    for (const auto* file : {&lossless, &lossy, &canvas}) {
        const auto start = std::chrono::steady_clock::now();
        expectRefused(*file, "declared " + firstChunk(*file), kDataTooShort);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    }
}

TEST(WebpDecode, ManyFramesCostOnlyTheFirst) {
    REQUIRE_TOOLS("cwebp", "webpmux");
    TempDir dir;
    const std::string png = savePng(randomImage(2, 2, 24, 9), dir, "dot");
    const std::string dot = dir.file("dot.webp");
    ASSERT_EQ(run("cwebp -quiet -lossless '" + png + "' -o '" + dot + "'"), 0);
    const int frames = 400;
    std::string command = "webpmux";
    for (int i = 0; i < frames; ++i)
        command += " -frame '" + dot + "' +10+" + std::to_string(2 * (i % 4)) + "+0";
    const std::string animation = dir.file("many.webp");
    ASSERT_EQ(run(command + " -o '" + animation + "'"), 0);
    WebpCodec decoded;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(decodeFile(animation, &decoded)) << decoded.lastError();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(decoded.info.frameCount, frames);
    EXPECT_EQ(decoded.width(), 2 + 6);
}

}  // namespace
