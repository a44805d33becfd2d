// JPEG XL reader: files made at test time by cjxl (and by libjxl's encoder for what cjxl has no
// switch for: orientation, animation) decode as djxl decodes them; damaged and hostile files
// fail with a message.
#include "formats/jxl/jxl_codec.h"

#include <gtest/gtest.h>
#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

#include <algorithm>
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

using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr const char* kReadFailed = "Error reading JPEG XL file";

bool haveTool(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}
bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}
#define REQUIRE_TOOLS()                                                       \
    do {                                                                      \
        if (!haveTool("cjxl")) GTEST_SKIP() << "cjxl (libjxl-tools) missing"; \
        if (!haveTool("djxl")) GTEST_SKIP() << "djxl (libjxl-tools) missing"; \
    } while (0)

// Deep is RGB given to cjxl with 16-bit samples.
enum class Kind { Rgb, Alpha, Grey, GreyAlpha, Deep };

// Smooth ramps with a fine seeded pattern over them, on odd sides: lossy coding has edges and
// flat parts to work on, and a red/blue exchange or a flipped row shows.
DibImage photo(Kind kind, int32_t w, int32_t h, uint32_t seed = 1) {
    DibImage img(w, h, 24, BMP);
    const bool alpha = kind == Kind::Alpha || kind == Kind::GreyAlpha;
    const bool grey = kind == Kind::Grey || kind == Kind::GreyAlpha;
    if (alpha) img.alphaCreate();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t speck = (uint32_t(x) * 7919u + uint32_t(y) * 104729u + seed) % 23u;
            const uint8_t r = uint8_t(x * 255 / (w - 1) ^ speck);
            const uint8_t g = uint8_t(y * 255 / (h - 1) + speck);
            const uint8_t b = uint8_t((x + y) * 3 + seed * 40);
            img.setPixelColor(x, y, grey ? RgbQuad{g, g, g, 0} : RgbQuad{b, g, r, 0});
            if (alpha) img.alphaSet(x, y, uint8_t(x * 9 + y * 5));
        }
    return img;
}

// Grey pictures go to cjxl as PGM or PAM, so that the file has one colour channel; deep ones as
// a 16-bit PPM whose samples lie less than half a step of 8 bits away from the picture's.
std::string writeSource(const DibImage& img, Kind kind, const TempDir& dir) {
    const std::string size = std::to_string(img.width()) + " " + std::to_string(img.height());
    std::string head;
    if (kind == Kind::Grey) head = "P5\n" + size + "\n255\n";
    if (kind == Kind::GreyAlpha)
        head = "P7\nWIDTH " + std::to_string(img.width()) + "\nHEIGHT " +
               std::to_string(img.height()) +
               "\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n";
    if (kind == Kind::Deep) head = "P6\n" + size + "\n65535\n";
    if (head.empty()) {
        const std::string path = dir.file("in.png");
        return img.saveToFile(path.c_str(), PNG) ? path : "";
    }
    Bytes bytes(head.begin(), head.end());
    for (int32_t y = img.height() - 1; y >= 0; --y)
        for (int32_t x = 0; x < img.width(); ++x) {
            const RgbQuad p = img.getPixelColor(x, y);
            if (kind == Kind::Deep) {
                for (const uint8_t v : {p.red, p.green, p.blue}) {
                    const uint32_t n = uint32_t(x * 37 + y * 11 + v) % 120u;
                    const uint32_t deep = v < 255 ? v * 257u + n : 65535u - n;
                    bytes.insert(bytes.end(), {uint8_t(deep >> 8), uint8_t(deep)});
                }
                continue;
            }
            bytes.push_back(p.green);
            if (kind == Kind::GreyAlpha) bytes.push_back(img.alphaGet(x, y));
        }
    const std::string path = dir.file(kind == Kind::Deep ? "in.ppm" : "in.pam");
    writeBytes(path, bytes);
    return path;
}

bool decodeBytes(JxlCodec& codec, const Bytes& bytes, uint64_t budget = 0) {
    Bytes copy = bytes;
    copy.push_back(0);  // fmemopen refuses an empty buffer; the size excludes it
    FILE* file = fmemopen(copy.data(), bytes.size(), "rb");
    if (!file) return false;
    bool ok;
    {
        ImageStream stream(file);
        codec.setDecodeBudget(budget ? budget : decodeBudgetFor(bytesLeft(stream)));
        ok = codec.decode(stream);
    }
    codec.setDecodeBudget(UINT64_MAX);
    std::fclose(file);
    return ok;
}

// The largest difference of a colour or alpha sample; alpha is 255 where a picture has none.
// -1 when the sizes differ.
int maxDifference(const DibImage& a, const DibImage& b) {
    if (a.width() != b.width() || a.height() != b.height() || !a.isValid()) return -1;
    int most = 0;
    for (int32_t y = 0; y < a.height(); ++y)
        for (int32_t x = 0; x < a.width(); ++x) {
            const RgbQuad p = a.getPixelColor(x, y), q = b.getPixelColor(x, y);
            const int pa = a.hasAlpha() ? a.alphaGet(x, y) : 255;
            const int qa = b.hasAlpha() ? b.alphaGet(x, y) : 255;
            most = std::max({most, std::abs(p.red - q.red), std::abs(p.green - q.green),
                             std::abs(p.blue - q.blue), std::abs(pa - qa)});
        }
    return most;
}

// A grey-and-alpha PAM as djxl writes it (8 bits, no comments), as RGB with an alpha plane.
DibImage readGreyAlphaPam(const std::string& path) {
    const Bytes bytes = readBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find("ENDHDR\n");
    int width = 0, height = 0;
    if (end == std::string::npos ||
        std::sscanf(text.c_str(), "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 2\n", &width, &height) != 2 ||
        bytes.size() < end + 7 + size_t(width) * size_t(height) * 2)
        return DibImage();
    DibImage img(width, height, 24, BMP);
    img.alphaCreate();
    const uint8_t* p = bytes.data() + end + 7;
    for (int32_t y = height - 1; y >= 0; --y)
        for (int32_t x = 0; x < width; ++x, p += 2) {
            img.setPixelColor(x, y, RgbQuad{p[0], p[0], p[0], 0});
            img.alphaSet(x, y, p[1]);
        }
    return img;
}

// djxl's rendering of a file, read back through the PNG codec (as a PAM where the PNG codec
// would flatten grey and alpha), and the ICC profile it reports for the original colour
// encoding.
DibImage djxlPicture(const std::string& jxl, const std::string& out, Bytes* icc = nullptr) {
    const std::string iccPath = out + ".icc";
    EXPECT_TRUE(run("djxl '" + jxl + "' '" + out + "' --quiet --orig_icc_out='" + iccPath + "'"))
        << jxl;
    if (icc) *icc = readBytes(iccPath);
    if (out.ends_with(".pam")) return readGreyAlphaPam(out);
    DibImage ref;
    EXPECT_TRUE(ref.loadFromFile(out.c_str(), PNG)) << ref.lastError();
    return ref;
}

}  // namespace

TEST(JxlSignature, CodestreamAndContainerOnly) {
    const struct {
        Bytes head;
        bool expected;
    } cases[] = {
        {{0xFF, 0x0A, 0x00}, true},
        {{0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0}, true},
        {{0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0B}, false},
        {{0, 0, 0, 0x0C, 'J', 'X', 'L', ' '}, false},  // too short to tell
        {{0xFF, 0xD8, 0xFF}, false},                   // JPEG
        {{0xFF}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head.size());
        EXPECT_EQ(isJxlSignature(c.head.data(), c.head.size()), c.expected);
    }
}

// Lossless files give the source back; every file gives djxl's 8-bit rendering exactly, since
// both ask libjxl for 8-bit samples. A 16-bit file is rounded to 8 bits by libjxl here, while
// djxl writes it as a 16-bit PNG whose low byte the PNG codec drops: within 1 of it.
TEST(JxlDecode, MatchesDjxlForEveryKindOfFile) {
    REQUIRE_TOOLS();
    struct Case {
        const char* label;
        Kind kind;
        const char* options;
        bool lossless;
        int fromDjxl;  // the largest difference allowed from djxl's rendering
    };
    const Case cases[] = {
        {"lossless RGB", Kind::Rgb, "-d 0", true, 0},
        {"lossless alpha", Kind::Alpha, "-d 0", true, 0},
        {"lossless grey", Kind::Grey, "-d 0", true, 0},
        {"lossless grey with alpha", Kind::GreyAlpha, "-d 0", true, 0},
        {"lossless 16-bit", Kind::Deep, "-d 0", true, 1},
        {"lossless in a container", Kind::Rgb, "-d 0 --container=1", true, 0},
        {"lossy RGB", Kind::Rgb, "-d 1.5", false, 0},
        {"lossy alpha", Kind::Alpha, "-d 1.5", false, 0},
        {"lossy grey", Kind::Grey, "-d 1.5", false, 0},
        {"lossy modular", Kind::Rgb, "-d 1.5 -m 1", false, 0},
        {"lossy progressive", Kind::Rgb, "-d 1 -p", false, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const DibImage source = photo(c.kind, 67, 45);
        const std::string in = writeSource(source, c.kind, dir);
        const std::string jxl = dir.file("out.jxl");
        ASSERT_FALSE(in.empty());
        ASSERT_TRUE(run("cjxl '" + in + "' '" + jxl + "' --quiet " + c.options));
        const Bytes bytes = readBytes(jxl);
        ASSERT_TRUE(isJxlSignature(bytes.data(), bytes.size()));

        JxlCodec codec;
        ASSERT_TRUE(decodeBytes(codec, bytes)) << codec.lastError();
        EXPECT_EQ(codec.bitCount(), 24);
        EXPECT_EQ(codec.type(), uint32_t(JXL));
        EXPECT_EQ(codec.hasAlpha(), c.kind == Kind::Alpha || c.kind == Kind::GreyAlpha);
        if (c.lossless) {
            EXPECT_EQ(maxDifference(codec, source), 0);
        }
        Bytes icc;
        const DibImage ref =
            djxlPicture(jxl, dir.file(c.kind == Kind::GreyAlpha ? "ref.pam" : "ref.png"), &icc);
        const int difference = maxDifference(codec, ref);
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, c.fromDjxl);
        EXPECT_FALSE(icc.empty());  // cjxl's files name sRGB or grey
        EXPECT_EQ(codec.iccProfile, icc);
    }
}

// A JPEG recompressed without loss decodes as djxl renders it: libjxl's own DCT, not the
// JPEG codec's, so only near the project's decode of the JPEG itself.
TEST(JxlDecode, RecompressedJpeg) {
    REQUIRE_TOOLS();
    TempDir dir;
    DibImage source = photo(Kind::Rgb, 67, 45);
    source.info.jpegQuality = 90;
    const std::string jpeg = dir.file("in.jpg"), jxl = dir.file("out.jxl");
    ASSERT_TRUE(source.saveToFile(jpeg.c_str(), JPEG)) << source.lastError();
    ASSERT_TRUE(run("cjxl '" + jpeg + "' '" + jxl + "' --quiet --lossless_jpeg=1"));

    JxlCodec codec;
    ASSERT_TRUE(decodeBytes(codec, readBytes(jxl))) << codec.lastError();
    EXPECT_EQ(maxDifference(codec, djxlPicture(jxl, dir.file("ref.png"))), 0);
    DibImage viaJpeg;
    ASSERT_TRUE(viaJpeg.loadFromFile(jpeg.c_str(), JPEG));
    EXPECT_LE(maxDifference(codec, viaJpeg), 8);
}

namespace {

// A lossless file from libjxl's encoder: the frames given (8-bit RGB), the orientation
// stored in the header; several frames are an animation, or the layers of a still picture.
Bytes encodeFrames(const std::vector<DibImage>& frames, JxlOrientation orientation,
                   bool animated = true) {
    JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    JxlBasicInfo basic;
    JxlEncoderInitBasicInfo(&basic);
    basic.xsize = uint32_t(frames[0].width());
    basic.ysize = uint32_t(frames[0].height());
    basic.bits_per_sample = 8;
    basic.uses_original_profile = JXL_TRUE;
    basic.orientation = orientation;
    basic.have_animation = animated && frames.size() > 1;
    basic.animation.tps_numerator = 10;
    basic.animation.tps_denominator = 1;
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    if (JxlEncoderSetBasicInfo(encoder.get(), &basic) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(encoder.get(), &srgb) != JXL_ENC_SUCCESS)
        return {};
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    for (const DibImage& frame : frames) {
        JxlFrameHeader header;
        JxlEncoderInitFrameHeader(&header);
        header.duration = 1;
        JxlEncoderSetFrameHeader(settings, &header);
        Bytes rgb;
        for (int32_t y = frame.height() - 1; y >= 0; --y)
            for (int32_t x = 0; x < frame.width(); ++x) {
                const RgbQuad p = frame.getPixelColor(x, y);
                rgb.insert(rgb.end(), {p.red, p.green, p.blue});
            }
        if (JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size()) != JXL_ENC_SUCCESS)
            return {};
    }
    JxlEncoderCloseInput(encoder.get());
    Bytes out(4096);
    uint8_t* next = out.data();
    size_t room = out.size();
    JxlEncoderStatus status;
    while ((status = JxlEncoderProcessOutput(encoder.get(), &next, &room)) ==
           JXL_ENC_NEED_MORE_OUTPUT) {
        const size_t used = size_t(next - out.data());
        out.resize(out.size() * 2);
        next = out.data() + used;
        room = out.size() - used;
    }
    if (status != JXL_ENC_SUCCESS) return {};
    out.resize(size_t(next - out.data()));
    return out;
}

}  // namespace

// The decoder turns the picture upright itself: the result is the stored picture under the
// header's orientation, as the geometry operations make it.
TEST(JxlDecode, OrientationIsApplied) {
    const DibImage stored = photo(Kind::Rgb, 9, 5);
    const struct {
        JxlOrientation orientation;
        void (*expected)(DibImage&);
    } cases[] = {
        {JXL_ORIENT_IDENTITY, [](DibImage&) {}},
        {JXL_ORIENT_FLIP_HORIZONTAL, [](DibImage& i) { i.mirror(); }},
        {JXL_ORIENT_ROTATE_180, [](DibImage& i) { i.mirror(), i.flip(); }},
        {JXL_ORIENT_FLIP_VERTICAL, [](DibImage& i) { i.flip(); }},
        {JXL_ORIENT_ROTATE_90_CW, [](DibImage& i) { i.rotateRight(); }},
        {JXL_ORIENT_ROTATE_90_CCW, [](DibImage& i) { i.rotateLeft(); }},
        {JXL_ORIENT_TRANSPOSE, [](DibImage& i) { i.rotateRight(), i.mirror(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.orientation));
        JxlCodec codec;
        ASSERT_TRUE(decodeBytes(codec, encodeFrames({stored}, c.orientation))) << codec.lastError();
        DibImage expected(stored);
        c.expected(expected);
        EXPECT_EQ(maxDifference(codec, expected), 0);
    }
}

TEST(JxlDecode, AnimationGivesItsFirstFrame) {
    const std::vector<DibImage> frames = {photo(Kind::Rgb, 11, 7, 1), photo(Kind::Rgb, 11, 7, 2),
                                          photo(Kind::Rgb, 11, 7, 3)};
    ASSERT_GT(maxDifference(frames[0], frames[1]), 0);
    JxlCodec codec;
    ASSERT_TRUE(decodeBytes(codec, encodeFrames(frames, JXL_ORIENT_IDENTITY))) << codec.lastError();
    EXPECT_EQ(maxDifference(codec, frames[0]), 0);
}

// The layers of a still picture are blended into it (each here replaces the whole canvas, so
// the last one shows); more layers than the reader takes, or more layer pixels than the budget
// allows, are refused before libjxl blends any.
TEST(JxlDecode, LayersAreBlendedWithinLimits) {
    const DibImage small = photo(Kind::Rgb, 2, 2), big = photo(Kind::Rgb, 64, 64, 5);
    const struct {
        std::vector<DibImage> layers;
        uint64_t budget;
        bool loads;
    } cases[] = {
        {{photo(Kind::Rgb, 11, 7, 1), photo(Kind::Rgb, 11, 7, 2), photo(Kind::Rgb, 11, 7, 3)},
         0,
         true},
        {std::vector<DibImage>(250, small), 0, true},
        {std::vector<DibImage>(300, small), 0, false},
        {{big, big}, 64 * 64 * 64, true},
        {{big, big, big, big}, 64 * 64 * 64, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layers.size());
        JxlCodec codec;
        const bool ok =
            decodeBytes(codec, encodeFrames(c.layers, JXL_ORIENT_IDENTITY, false), c.budget);
        EXPECT_EQ(ok, c.loads) << codec.lastError();
        if (ok) {
            EXPECT_EQ(maxDifference(codec, c.layers.back()), 0);
        } else {
            EXPECT_STREQ(codec.lastError(), kDataTooShort);
        }
    }
}

namespace {

// A bare codestream whose size header claims width x height (each below 2^30), with
// all-default metadata and nothing after it.
Bytes claimedSize(uint32_t width, uint32_t height) {
    Bytes out = {0xFF, 0x0A};
    uint32_t bitCount = 0;
    auto put = [&](uint32_t value, int n) {
        for (int i = 0; i < n; ++i, ++bitCount) {
            if (bitCount % 8 == 0) out.push_back(0);
            out.back() |= uint8_t(((value >> i) & 1) << (bitCount % 8));
        }
    };
    put(0, 1);            // not a multiple of 8
    put(3, 2);            // 30-bit height
    put(height - 1, 30);  //
    put(0, 3);            // no fixed ratio
    put(3, 2);            // 30-bit width
    put(width - 1, 30);
    put(1, 1);  // all metadata default
    out.resize(out.size() + 16, 0);
    return out;
}

}  // namespace

// Pictures beyond the pixel cap or the decode budget are refused before libjxl makes a frame;
// the same file decodes once the budget allows it.
TEST(JxlDecode, HugeClaimsAreRefusedBeforeDecoding) {
    const struct {
        Bytes file;
        uint64_t budget;
        const char* error;
    } cases[] = {
        {claimedSize(100000, 100000), UINT64_MAX, "Image too large: 100000 x 100000"},
        {claimedSize(4000, 3000), 0, kDataTooShort},
        {encodeFrames({photo(Kind::Rgb, 64, 64)}, JXL_ORIENT_IDENTITY), 64 * 64 * 3, kDataTooShort},
        {encodeFrames({photo(Kind::Rgb, 64, 64)}, JXL_ORIENT_IDENTITY), 64 * 64 * 64, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.budget);
        JxlCodec codec;
        const bool ok = decodeBytes(codec, c.file, c.budget);
        EXPECT_EQ(ok, c.error == nullptr);
        EXPECT_EQ(codec.isValid(), ok);
        if (c.error) {
            EXPECT_STREQ(codec.lastError(), c.error);
        }
    }
}

// Cut files fail with the reader's message; damaged ones either fail so or give a picture of
// the file's size, never a crash (the sanitizer builds watch).
TEST(JxlDecode, DamagedFilesFailWithAMessage) {
    const Bytes good = encodeFrames({photo(Kind::Rgb, 40, 30)}, JXL_ORIENT_IDENTITY);
    ASSERT_GT(good.size(), 40u);
    for (const size_t length :
         {size_t(0), size_t(1), size_t(2), size_t(12), good.size() / 2, good.size() - 1}) {
        SCOPED_TRACE(length);
        JxlCodec codec;
        EXPECT_FALSE(decodeBytes(codec, Bytes(good.begin(), good.begin() + long(length))));
        EXPECT_STREQ(codec.lastError(), kReadFailed);
        EXPECT_FALSE(codec.isValid());
    }
    for (size_t at = 2; at < good.size(); at += 7) {
        SCOPED_TRACE(at);
        Bytes bad = good;
        bad[at] ^= 0x5A;
        JxlCodec codec;
        if (decodeBytes(codec, bad)) {
            EXPECT_EQ(codec.width(), 40);
            EXPECT_EQ(codec.height(), 30);
        } else {
            EXPECT_FALSE(codec.isValid());
            EXPECT_TRUE(std::strcmp(codec.lastError(), kReadFailed) == 0 ||
                        std::strcmp(codec.lastError(), kDataTooShort) == 0)
                << codec.lastError();
        }
    }
}

// Through the format table: files are recognised by content and name, load with the file's own
// budget, and a JPEG XL photo is saved as JPEG.
TEST(JxlDecode, ThroughTheFormatTable) {
    TempDir dir;
    const Bytes good = encodeFrames({photo(Kind::Rgb, 21, 13)}, JXL_ORIENT_ROTATE_90_CW);
    const struct {
        const char* name;
        Bytes bytes;
        int32_t width;
        const char* error;
    } cases[] = {
        {"good.jxl", good, 13, nullptr},
        {"cut.jxl", Bytes(good.begin(), good.begin() + long(good.size() / 2)), 0, kReadFailed},
        {"claims-4000x3000.jxl", claimedSize(4000, 3000), 0, kDataTooShort},
        {"claims-huge.jxl", claimedSize(70000, 70000), 0, "Image too large: 70000 x 70000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        writeBytes(path, c.bytes);
        EXPECT_EQ(formats::contentFormatOfFile(path), int(JXL));
        DibImage img;
        const bool ok = img.loadFromFile(path.c_str(), JXL);
        EXPECT_EQ(ok, c.error == nullptr);
        EXPECT_EQ(img.width(), c.width);
        EXPECT_STREQ(img.lastError(), c.error ? c.error : "");
    }
    EXPECT_EQ(formats::formatFromName("Photos/IMG_1.JXL"), int(JXL));
    EXPECT_EQ(formats::writtenTypeFor(JXL, 24), uint32_t(JPEG));
    EXPECT_STREQ(formats::formatName(JXL), "JPEG XL");
}

// A stream that cannot tell its length (a pipe) is read to its end in pieces.
TEST(JxlDecode, StreamOfUnknownLength) {
    TempDir dir;
    const DibImage source = photo(Kind::Rgb, 360, 240);
    const std::string path = dir.file("piped.jxl");
    const Bytes bytes = encodeFrames({source}, JXL_ORIENT_IDENTITY);
    ASSERT_GT(bytes.size(), size_t(1) << 16);  // more than one piece
    writeBytes(path, bytes);
    FILE* pipe = popen(("cat '" + path + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    JxlCodec codec;
    bool ok;
    {
        ImageStream stream(pipe);
        ASSERT_EQ(stream.length(), -1);
        ok = codec.decode(stream);
    }
    pclose(pipe);
    ASSERT_TRUE(ok) << codec.lastError();
    EXPECT_EQ(maxDifference(codec, source), 0);
}
