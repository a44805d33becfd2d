// JPEG XL reader: files made at test time by cjxl (and by libjxl's encoder for what cjxl has no
// switch for: orientation, animation, layers) decode as djxl decodes them; damaged and hostile
// files fail with a message.
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

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Deep is RGB given to cjxl with 16-bit samples; Jpeg is RGB saved as JPEG by the project.
enum class Kind { Rgb, Alpha, Grey, GreyAlpha, Deep, Jpeg };

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
// a 16-bit PPM whose samples lie less than half a step of 8 bits from the picture's.
std::string writeSource(const DibImage& img, Kind kind, const TempDir& dir) {
    const std::string w = std::to_string(img.width()), h = std::to_string(img.height());
    if (kind == Kind::Rgb || kind == Kind::Alpha || kind == Kind::Jpeg) {
        const std::string path = dir.file(kind == Kind::Jpeg ? "in.jpg" : "in.png");
        return img.saveToFile(path.c_str(), kind == Kind::Jpeg ? JPEG : PNG) ? path : "";
    }
    const std::string head = kind == Kind::Grey ? "P5\n" + w + " " + h + "\n255\n"
                             : kind == Kind::Deep
                                 ? "P6\n" + w + " " + h + "\n65535\n"
                                 : "P7\nWIDTH " + w + "\nHEIGHT " + h +
                                       "\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n";
    Bytes bytes(head.begin(), head.end());
    for (int32_t y = img.height() - 1; y >= 0; --y)
        for (int32_t x = 0; x < img.width(); ++x) {
            const RgbQuad p = img.getPixelColor(x, y);
            for (const uint8_t v : {p.red, p.green, p.blue}) {
                if (kind != Kind::Deep) break;
                const uint32_t n = uint32_t(x * 37 + y * 11 + v) % 120u;
                const uint32_t deep = v < 255 ? v * 257u + n : 65535u - n;
                bytes.insert(bytes.end(), {uint8_t(deep >> 8), uint8_t(deep)});
            }
            if (kind != Kind::Deep) bytes.push_back(p.green);
            if (kind == Kind::GreyAlpha) bytes.push_back(img.alphaGet(x, y));
        }
    const std::string path = dir.file("in.pnm");
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

// The largest difference of a colour or alpha sample (alpha is 255 where a picture has none);
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

// A lossless file from libjxl's encoder: the frames given (8-bit RGB) and the orientation
// stored in the header; several frames are an animation, or the layers of a still picture.
Bytes encodeFrames(const std::vector<DibImage>& frames, JxlOrientation orientation,
                   bool animated = true) {
    JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    JxlBasicInfo basic;
    JxlEncoderInitBasicInfo(&basic);
    basic.xsize = uint32_t(frames[0].width());
    basic.ysize = uint32_t(frames[0].height());
    basic.uses_original_profile = JXL_TRUE;
    basic.orientation = orientation;
    basic.have_animation = animated && frames.size() > 1;
    basic.animation.tps_numerator = 10;
    basic.animation.tps_denominator = 1;
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    JxlEncoderSetBasicInfo(encoder.get(), &basic);
    JxlEncoderSetColorEncoding(encoder.get(), &srgb);
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
    Bytes out(1 << 20);
    uint8_t* next = out.data();
    size_t room = out.size();
    if (JxlEncoderProcessOutput(encoder.get(), &next, &room) != JXL_ENC_SUCCESS) return {};
    out.resize(size_t(next - out.data()));
    return out;
}

// A bare codestream whose size header claims width x height (each below 2^30), with
// all-default metadata and nothing after it.
Bytes claimedSize(uint32_t width, uint32_t height) {
    Bytes out = {0xFF, 0x0A};
    uint32_t bits = 0;
    auto put = [&](uint32_t value, int n) {
        for (int i = 0; i < n; ++i, ++bits) {
            if (bits % 8 == 0) out.push_back(0);
            out.back() |= uint8_t(((value >> i) & 1) << (bits % 8));
        }
    };
    // Not a multiple of 8; 30-bit height; no fixed ratio; 30-bit width; default metadata.
    put(0, 1), put(3, 2), put(height - 1, 30), put(0, 3), put(3, 2), put(width - 1, 30);
    put(1, 1);
    out.resize(out.size() + 16, 0);
    return out;
}

}  // namespace

TEST(JxlSignature, CodestreamAndContainerOnly) {
    const Bytes box = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    EXPECT_TRUE(isJxlSignature(box.data(), box.size()));
    EXPECT_TRUE(isJxlSignature(claimedSize(8, 8).data(), 2));
    for (size_t cut : {0, 1, 8, 11}) EXPECT_FALSE(isJxlSignature(box.data(), cut)) << cut;
    const Bytes others[] = {{0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0B},
                            {0xFF, 0xD8, 0xFF}};
    for (const Bytes& b : others) EXPECT_FALSE(isJxlSignature(b.data(), b.size()));
}

// Lossless files give the source back; every file gives djxl's 8-bit rendering exactly, since
// both ask libjxl for 8-bit samples. A 16-bit file is rounded to 8 bits by libjxl here, while
// djxl writes a 16-bit PNG whose low byte the PNG codec drops: within 1 of that.
TEST(JxlDecode, MatchesDjxlForEveryKindOfFile) {
    if (!run("command -v cjxl")) GTEST_SKIP() << "cjxl (libjxl-tools) missing";
    if (!run("command -v djxl")) GTEST_SKIP() << "djxl (libjxl-tools) missing";
    const struct {
        const char* label;
        Kind kind;
        const char* options;
        bool lossless;
        int fromDjxl;  // the largest difference from djxl's PNG; -1: not compared (the PNG
                       // codec flattens grey with alpha), the source is
    } cases[] = {
        {"lossless RGB", Kind::Rgb, "-d 0", true, 0},
        {"lossless alpha", Kind::Alpha, "-d 0", true, 0},
        {"lossless grey", Kind::Grey, "-d 0", true, 0},
        {"lossless grey with alpha", Kind::GreyAlpha, "-d 0", true, -1},
        {"lossless 16-bit", Kind::Deep, "-d 0", true, 1},
        {"lossless in a container", Kind::Rgb, "-d 0 --container=1", true, 0},
        {"lossy RGB", Kind::Rgb, "-d 1.5", false, 0},
        {"lossy alpha", Kind::Alpha, "-d 1.5", false, 0},
        {"lossy grey", Kind::Grey, "-d 1.5", false, 0},
        {"lossy modular", Kind::Rgb, "-d 1.5 -m 1", false, 0},
        {"lossy progressive", Kind::Rgb, "-d 1 -p", false, 0},
        {"JPEG recompressed", Kind::Jpeg, "--lossless_jpeg=1", false, 0},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const DibImage source = photo(c.kind, 67, 45);
        const std::string in = writeSource(source, c.kind, dir), jxl = dir.file("out.jxl");
        const std::string png = dir.file("ref.png"), icc = dir.file("ref.icc");
        ASSERT_TRUE(run("cjxl '" + in + "' '" + jxl + "' --quiet " + c.options));
        ASSERT_TRUE(run("djxl '" + jxl + "' '" + png + "' --quiet --orig_icc_out='" + icc + "'"));
        JxlCodec codec;
        ASSERT_TRUE(decodeBytes(codec, readBytes(jxl))) << codec.lastError();
        EXPECT_EQ(codec.hasAlpha(), c.kind == Kind::Alpha || c.kind == Kind::GreyAlpha);
        EXPECT_EQ(codec.iccProfile, readBytes(icc));
        EXPECT_FALSE(codec.iccProfile.empty());  // cjxl's files name sRGB or grey
        if (c.lossless) {
            EXPECT_EQ(maxDifference(codec, source), 0);
        }
        DibImage ref;
        ASSERT_TRUE(ref.loadFromFile(png.c_str(), PNG)) << ref.lastError();
        const int difference = maxDifference(codec, ref);
        if (c.fromDjxl >= 0) {
            EXPECT_TRUE(difference >= 0 && difference <= c.fromDjxl) << difference;
        }
    }
}

// The decoder turns the picture upright itself: the stored picture under the header's
// orientation, as the geometry operations make it.
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
        JxlCodec codec;
        ASSERT_TRUE(decodeBytes(codec, encodeFrames({stored}, c.orientation))) << codec.lastError();
        DibImage expected(stored);
        c.expected(expected);
        EXPECT_EQ(maxDifference(codec, expected), 0) << int(c.orientation);
    }
}

// An animation gives its first frame. The layers of a still picture are blended into it (each
// here covers the whole canvas, so the last shows); more layers than the reader takes, or more
// layer pixels than the budget allows, are refused before libjxl blends any.
TEST(JxlDecode, FirstFrameAndLayersWithinLimits) {
    const std::vector<DibImage> three = {photo(Kind::Rgb, 11, 7, 1), photo(Kind::Rgb, 11, 7, 2),
                                         photo(Kind::Rgb, 11, 7, 3)};
    const DibImage small = photo(Kind::Rgb, 2, 2), big = photo(Kind::Rgb, 64, 64, 5);
    const struct {
        std::vector<DibImage> frames;
        bool animated;
        uint64_t budget;
        int shown;  // the frame that shows, -1 for a refusal
    } cases[] = {
        {three, true, 0, 0},
        {three, false, 0, 2},
        {std::vector<DibImage>(250, small), false, 0, 249},
        {std::vector<DibImage>(300, small), false, 0, -1},
        {{big, big}, false, 64 * 64 * 64, 1},
        {{big, big, big, big}, false, 64 * 64 * 64, -1},
        {{big}, false, 64 * 64 * 3, -1},  // the picture alone fits, libjxl's frame not
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames.size());
        JxlCodec codec;
        const bool ok =
            decodeBytes(codec, encodeFrames(c.frames, JXL_ORIENT_IDENTITY, c.animated), c.budget);
        ASSERT_EQ(ok, c.shown >= 0) << codec.lastError();
        EXPECT_EQ(codec.isValid(), ok);
        if (ok) {
            EXPECT_EQ(maxDifference(codec, c.frames[size_t(c.shown)]), 0);
        }
        if (!ok) {
            EXPECT_STREQ(codec.lastError(), kDataTooShort);
        }
    }
}

// Cut files fail with the reader's message; damaged ones either fail so or give a picture of
// the file's size, never a crash (the sanitizer builds watch).
TEST(JxlDecode, DamagedFilesFailWithAMessage) {
    const Bytes good = encodeFrames({photo(Kind::Rgb, 40, 30)}, JXL_ORIENT_IDENTITY);
    ASSERT_GT(good.size(), 40u);
    for (const size_t length :
         {size_t(0), size_t(1), size_t(12), good.size() / 2, good.size() - 1}) {
        JxlCodec codec;
        EXPECT_FALSE(decodeBytes(codec, Bytes(good.begin(), good.begin() + long(length))));
        EXPECT_STREQ(codec.lastError(), kReadFailed) << length;
        EXPECT_FALSE(codec.isValid());
    }
    for (size_t at = 2; at < good.size(); at += 7) {
        Bytes bad = good;
        bad[at] ^= 0x5A;
        JxlCodec codec;
        const bool ok = decodeBytes(codec, bad);
        EXPECT_TRUE(ok ? codec.width() == 40 && codec.height() == 30
                       : std::strcmp(codec.lastError(), kReadFailed) == 0 ||
                             std::strcmp(codec.lastError(), kDataTooShort) == 0)
            << at << ": " << codec.lastError();
    }
}

// Through the format table: files are recognised by content and name and load with the file's
// own budget (pictures beyond it or the pixel cap are refused before libjxl makes a frame);
// a JPEG XL photo is saved as JPEG.
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
        EXPECT_EQ(img.loadFromFile(path.c_str(), JXL), c.error == nullptr);
        EXPECT_EQ(img.width(), c.width);
        EXPECT_STREQ(img.lastError(), c.error ? c.error : "");
    }
    EXPECT_EQ(formats::formatFromName("Photos/IMG_1.JXL"), int(JXL));
    EXPECT_EQ(formats::writtenTypeFor(JXL, 24), uint32_t(JPEG));
}

// A stream that cannot tell its length (a pipe) is read to its end in pieces.
TEST(JxlDecode, StreamOfUnknownLength) {
    TempDir dir;
    const DibImage source = photo(Kind::Rgb, 360, 240);
    const Bytes bytes = encodeFrames({source}, JXL_ORIENT_IDENTITY);
    ASSERT_GT(bytes.size(), size_t(1) << 16);  // more than one piece
    writeBytes(dir.file("piped.jxl"), bytes);
    FILE* pipe = popen(("cat '" + dir.file("piped.jxl") + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    JxlCodec codec;
    bool ok;
    {
        ImageStream stream(pipe);
        ok = stream.length() == -1 && codec.decode(stream);
    }
    pclose(pipe);
    ASSERT_TRUE(ok) << codec.lastError();
    EXPECT_EQ(maxDifference(codec, source), 0);
}
