// JpegCodec against libjpeg itself: every committed file decodes exactly as the library's
// default decode, CMYK follows the multiplication rule, saves match a plain library encode.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "formats/image_stream.h"
#include "formats/jpeg/jpeg_codec.h"
#include "image/dib_image.h"
#include "support/byte_stream_support.h"
#include "support/jpeg_damage.h"
#include "support/test_support.h"

namespace {

using testing_support::dataPath;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

using Bytes = std::vector<uint8_t>;

// ---------- a plain libjpeg decoder and encoder: the reference ----------

struct ReferenceError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void referenceErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ReferenceError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}
void referenceSilence(j_common_ptr) {}

struct Decoded {
    bool ok = false;
    std::string error;
    int width = 0;
    int height = 0;
    int components = 0;
    J_COLOR_SPACE fileColorSpace = JCS_UNKNOWN;
    Bytes samples;  // top-down, as the library delivers them
};

// Everything the jump may cross lives in the caller's objects, not in this frame.
void referenceDecodeInto(const Bytes& bytes, Decoded& out, ReferenceError& err,
                         jpeg_decompress_struct& cinfo, unsigned scaleNum) {
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = referenceErrorExit;
    err.pub.output_message = referenceSilence;
    if (setjmp(err.jump)) {
        out.ok = false;
        out.error = err.message;
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = scaleNum;
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    out.width = int(cinfo.output_width);
    out.height = int(cinfo.output_height);
    out.components = cinfo.output_components;
    out.fileColorSpace = cinfo.jpeg_color_space;
    const size_t line = size_t(out.width) * size_t(out.components);
    out.samples.assign(line * size_t(out.height), 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.samples.data() + line * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    out.ok = true;
}

Decoded referenceDecode(const Bytes& bytes, unsigned scaleNum = 8) {
    Decoded out;
    ReferenceError err{};
    jpeg_decompress_struct cinfo{};
    referenceDecodeInto(bytes, out, err, cinfo, scaleNum);
    return out;
}

struct EncodeJob {
    const uint8_t* samples;  // top-down rows of width * components bytes
    int width;
    int height;
    int components;
    int quality;
    bool baseline;
    size_t markerBytes;  // > 0: an APP15 marker of that size after the headers
    unsigned char* output;
    unsigned long outputSize;
    // How the coefficients are coded: the library's standard tables, tables fitted to the
    // picture, progressive scans, or arithmetic coding.
    enum class Coding { Standard, Optimized, Progressive, Arithmetic } coding = Coding::Standard;
    bool fullChroma = false;  // 4:4:4 instead of the library's 4:2:0
    bool arithmetic = false;  // arithmetic coding on top of the coding above
};

void referenceEncodeInto(EncodeJob& job, ReferenceError& err, jpeg_compress_struct& cinfo) {
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = referenceErrorExit;
    if (setjmp(err.jump)) {
        ADD_FAILURE() << "reference encode failed: " << err.message;
        jpeg_destroy_compress(&cinfo);
        return;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &job.output, &job.outputSize);
    cinfo.image_width = JDIMENSION(job.width);
    cinfo.image_height = JDIMENSION(job.height);
    cinfo.input_components = job.components;
    cinfo.in_color_space = job.components == 1   ? JCS_GRAYSCALE
                           : job.components == 3 ? JCS_RGB
                           : job.components == 4 ? JCS_CMYK
                                                 : JCS_UNKNOWN;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, job.quality, job.baseline ? TRUE : FALSE);
    if (job.coding == EncodeJob::Coding::Optimized) cinfo.optimize_coding = TRUE;
    if (job.coding == EncodeJob::Coding::Progressive) jpeg_simple_progression(&cinfo);
    if (job.coding == EncodeJob::Coding::Arithmetic || job.arithmetic) cinfo.arith_code = TRUE;
    if (job.fullChroma)
        for (int c = 0; c < cinfo.num_components; ++c)
            cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    if (job.markerBytes > 0) {
        Bytes payload(job.markerBytes);
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i * 7);
        jpeg_write_marker(&cinfo, JPEG_APP0 + 15, payload.data(), unsigned(payload.size()));
    }
    const size_t line = size_t(job.width) * size_t(job.components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(job.samples) + line * cinfo.next_scanline;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
}

Bytes referenceEncode(const Bytes& samples, int width, int height, int components,
                      size_t markerBytes = 0,
                      EncodeJob::Coding coding = EncodeJob::Coding::Standard,
                      bool fullChroma = false, bool arithmetic = false) {
    EncodeJob job{samples.data(), width,   height, components, 75,         true,
                  markerBytes,    nullptr, 0,      coding,     fullChroma, arithmetic};
    ReferenceError err{};
    jpeg_compress_struct cinfo{};
    referenceEncodeInto(job, err, cinfo);
    Bytes out(job.output, job.output + job.outputSize);
    std::free(job.output);
    return out;
}

// ---------- streams in memory ----------

bool loadBytes(DibImage& image, const Bytes& bytes, uint32_t type = JPEG) {
    return byte_stream_support::loadBytes(image, bytes, type);
}

Bytes saveBytes(DibImage& image, bool* ok, uint32_t type = JPEG) {
    return byte_stream_support::saveBytes(image, type, ok);
}

// ---------- pictures ----------

// A smooth picture (ramps in all three channels) so JPEG loss stays small.
DibImage smoothPicture(int width, int height) {
    DibImage img(width, height, 24, BMP);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixelColor(x, y,
                              RgbQuad{uint8_t(40 + y * 150 / height), uint8_t(90 + x * 60 / width),
                                      uint8_t(200 - x * 120 / width), 0});
    return img;
}

// The picture's rows top-down in the library's sample layout (RGB, or grey indices).
Bytes topDownSamples(const DibImage& img) {
    const bool grey = img.bitCount() == 8;
    Bytes out;
    for (int r = 0; r < img.height(); ++r)
        for (int x = 0; x < img.width(); ++x) {
            const int y = img.height() - 1 - r;
            if (grey) {
                out.push_back(img.getPixelIndex(x, y));
            } else {
                const RgbQuad c = img.getPixelColor(x, y);
                out.insert(out.end(), {c.red, c.green, c.blue});
            }
        }
    return out;
}

// Checks a loaded grey or colour picture byte for byte against the library's decode.
void expectSameAsLibrary(const DibImage& img, const Decoded& ref, const std::string& name) {
    ASSERT_TRUE(ref.ok) << name << ": " << ref.error;
    ASSERT_TRUE(img.isValid()) << name;
    ASSERT_EQ(img.width(), ref.width) << name;
    ASSERT_EQ(img.height(), ref.height) << name;
    ASSERT_TRUE(ref.components == 1 || ref.components == 3) << name;
    ASSERT_EQ(img.bitCount(), ref.components == 1 ? 8 : 24) << name;
    const size_t line = size_t(ref.width) * size_t(ref.components);
    int mismatches = 0;
    for (int r = 0; r < ref.height; ++r) {
        // Row 0 of the image is the bottom of the picture.
        const uint8_t* got = img.row(ref.height - 1 - r);
        const uint8_t* want = ref.samples.data() + line * size_t(r);
        for (int x = 0; x < ref.width; ++x) {
            bool same;
            if (ref.components == 1) {
                same = got[x] == want[x];
            } else {
                // Memory order blue, green, red against the library's red, green, blue.
                same = got[3 * x] == want[3 * x + 2] && got[3 * x + 1] == want[3 * x + 1] &&
                       got[3 * x + 2] == want[3 * x];
            }
            if (!same && ++mismatches <= 3)
                ADD_FAILURE() << name << ": pixel (" << x << ", " << r << " from top) differs";
        }
    }
    EXPECT_EQ(mismatches, 0) << name;
}

void expectIdentityGreyPalette(const DibImage& img) {
    ASSERT_EQ(img.header.colorsUsed, 256u);
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(img.getPaletteColor(i), (RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0}))
            << "entry " << i;
    EXPECT_TRUE(img.isGrayScale());
}

// Collects what the process writes to stderr while fn runs.
template <class Fn>
std::string captureStderr(Fn fn) {
    TempDir dir;
    const std::string path = dir.file("stderr.txt");
    std::fflush(stderr);
    const int saved = dup(fileno(stderr));
    FILE* sink = std::fopen(path.c_str(), "wb");
    dup2(fileno(sink), fileno(stderr));
    fn();
    std::fflush(stderr);
    dup2(saved, fileno(stderr));
    close(saved);
    std::fclose(sink);
    const Bytes bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// ---------- decoding: every committed file equals the library's default decode ----------

const char* const kGreyAndColourFiles[] = {
    "colour-420.jpg",     "colour-422.jpg",
    "colour-444.jpg",     "colour-progressive.jpg",
    "colour-restart.jpg", "colour-arithmetic.jpg",
    "odd-37x23-420.jpg",  "odd-37x23-422-progressive.jpg",
    "one-1x1.jpg",        "red-16x16.jpg",
    "grey.jpg",           "grey-progressive-restart.jpg",
    "grey-odd-37x23.jpg",
};

class JpegFixtureTest : public testing::TestWithParam<const char*> {};

TEST_P(JpegFixtureTest, DecodesExactlyAsTheLibrary) {
    const std::string path = dataPath(std::string("jpeg/") + GetParam());
    const Bytes bytes = readBytes(path);
    ASSERT_FALSE(bytes.empty()) << path;
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(path.c_str(), JPEG)) << img.lastError();
    EXPECT_EQ(img.type(), uint32_t(JPEG));
    EXPECT_STREQ(img.lastError(), "");
    expectSameAsLibrary(img, referenceDecode(bytes), GetParam());
}

INSTANTIATE_TEST_SUITE_P(CommittedFiles, JpegFixtureTest, testing::ValuesIn(kGreyAndColourFiles),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             name = name.substr(0, name.find('.'));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// A reduced decode takes the smallest scale M/8 that still covers the wish, and its pixels
// are the library's own at that scale.
TEST(JpegDecode, ReducedDecodeTakesTheSmallestCoveringScale) {
    const DibImage source = smoothPicture(120, 90);
    bool saved = false;
    DibImage copy(source);
    const Bytes bytes = saveBytes(copy, &saved);
    ASSERT_TRUE(saved);
    testing_support::TempDir temp;
    const std::string path = temp.file("reduced-120x90.jpg");
    writeBytes(path, bytes);
    const struct {
        int minWidth, minHeight;
        unsigned scale;
    } cases[] = {{0, 0, 8},  {1, 1, 1},   {15, 0, 1}, {16, 0, 2},  {0, 12, 1},
                 {0, 24, 3}, {60, 45, 4}, {61, 0, 5}, {119, 0, 8}, {500, 500, 8}};
    for (const auto& c : cases) {
        DibImage img;
        ASSERT_TRUE(img.loadReduced(path.c_str(), JPEG, c.minWidth, c.minHeight))
            << img.lastError();
        const Decoded ref = referenceDecode(bytes, c.scale);
        const std::string name =
            "wish " + std::to_string(c.minWidth) + "x" + std::to_string(c.minHeight);
        EXPECT_EQ(img.width(), ref.width) << name;
        expectSameAsLibrary(img, ref, name);
    }
    DibImage full;
    ASSERT_TRUE(full.loadFromFile(path.c_str(), JPEG));
    EXPECT_EQ(full.width(), 120) << "the wish must not outlive loadReduced";
}

TEST(JpegDecode, GreyFileGivesEightBitsWithIdentityRamp) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("jpeg/grey.jpg").c_str(), JPEG)) << img.lastError();
    EXPECT_EQ(img.bitCount(), 8);
    EXPECT_EQ(img.width(), 96);
    EXPECT_EQ(img.height(), 64);
    expectIdentityGreyPalette(img);
    // The file's density is not read; a loaded JPEG keeps the defaults.
    EXPECT_EQ(img.info.xDpi, 72);
    EXPECT_EQ(img.info.yDpi, 72);
    EXPECT_EQ(img.info.jpegQuality, 75);
}

TEST(JpegDecode, ColourFileGivesBlueGreenRedBytes) {
    DibImage img;
    ASSERT_TRUE(img.loadFromFile(dataPath("jpeg/red-16x16.jpg").c_str(), JPEG));
    ASSERT_EQ(img.bitCount(), 24);
    EXPECT_EQ(img.header.colorsUsed, 0u);
    EXPECT_EQ(img.paletteBase(), nullptr);
    // A pure red file: red sits in the third byte of each pixel.
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const uint8_t* p = img.row(y) + 3 * x;
            ASSERT_LE(p[0], 3) << x << "," << y;
            ASSERT_LE(p[1], 3) << x << "," << y;
            ASSERT_GE(p[2], 252) << x << "," << y;
        }
}

// The loaded picture against the library's CMYK samples, each ink channel scaled by K.
void expectCmykRule(const Bytes& bytes, const std::string& name) {
    const Decoded ref = referenceDecode(bytes);
    ASSERT_TRUE(ref.ok) << name << ": " << ref.error;
    ASSERT_EQ(ref.components, 4) << name;

    DibImage img;
    ASSERT_TRUE(loadBytes(img, bytes)) << img.lastError();
    ASSERT_EQ(img.bitCount(), 24) << name;
    ASSERT_EQ(img.width(), ref.width) << name;
    ASSERT_EQ(img.height(), ref.height) << name;
    EXPECT_EQ(img.header.colorsUsed, 0u) << name;
    int whiteInk = 0;
    for (int r = 0; r < ref.height; ++r)
        for (int x = 0; x < ref.width; ++x) {
            const uint8_t* s = ref.samples.data() + (size_t(r) * ref.width + x) * 4;
            const unsigned c = s[0], m = s[1], yel = s[2], k = s[3];
            const RgbQuad want{uint8_t(yel * k / 255), uint8_t(m * k / 255), uint8_t(c * k / 255),
                               0};
            const uint8_t* p = img.row(ref.height - 1 - r) + 3 * x;
            ASSERT_EQ((RgbQuad{p[0], p[1], p[2], 0}), want) << name << " " << x << "," << r;
            if (c == 255 && m == 255 && yel == 255 && k == 255) {
                ++whiteInk;
                ASSERT_EQ(want, (RgbQuad{255, 255, 255, 0}));
            }
        }
    // Both pictures have white areas: the all-255 case must occur or the check proved nothing.
    EXPECT_GT(whiteInk, 0) << name;
}

TEST(JpegDecode, AdobeCmykFollowsTheMultiplicationRule) {
    // ImageMagick's file is Adobe YCCK, which the library delivers as CMYK.
    const Bytes ycck = readBytes(dataPath("jpeg/cmyk-adobe.jpg"));
    EXPECT_EQ(referenceDecode(ycck).fileColorSpace, JCS_YCCK);
    expectCmykRule(ycck, "cmyk-adobe.jpg");

    // A plain Adobe CMYK file, written here by the library: ink ramps and a white band.
    const int w = 40, h = 24;
    Bytes samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (y < 8) {
                samples.insert(samples.end(), {255, 255, 255, 255});
            } else {
                samples.insert(samples.end(), {uint8_t(x * 6), uint8_t(255 - x * 5),
                                               uint8_t(y * 10), uint8_t(128 + x * 3)});
            }
        }
    const Bytes cmyk = referenceEncode(samples, w, h, 4);
    EXPECT_EQ(referenceDecode(cmyk).fileColorSpace, JCS_CMYK);
    expectCmykRule(cmyk, "library CMYK");
}

TEST(JpegDecode, UnusualComponentCountsCopyWhatFitsTheRow) {
    // Two components have no colour meaning; the samples are copied as far as a 24-bit row
    // holds them, and nothing is read or written past either buffer. (The library writes no
    // more than four components, so longer scan lines are left to the fuzzer.)
    for (int components : {2}) {
        const int w = 13, h = 9;
        Bytes samples;
        for (int i = 0; i < w * h * components; ++i) samples.push_back(uint8_t(i * 37));
        const Bytes bytes = referenceEncode(samples, w, h, components);
        const Decoded ref = referenceDecode(bytes);
        ASSERT_TRUE(ref.ok) << ref.error;
        ASSERT_EQ(ref.components, components);

        DibImage img;
        ASSERT_TRUE(loadBytes(img, bytes)) << img.lastError();
        ASSERT_EQ(img.bitCount(), 24);
        ASSERT_EQ(img.width(), w);
        const size_t line = size_t(w) * size_t(components);
        const size_t copied = std::min<size_t>(line, img.stride());
        for (int r = 0; r < h; ++r) {
            const uint8_t* got = img.row(h - 1 - r);
            const uint8_t* want = ref.samples.data() + line * size_t(r);
            ASSERT_EQ(std::memcmp(got, want, copied), 0) << components << " row " << r;
            for (size_t i = copied; i < img.stride(); ++i) ASSERT_EQ(got[i], 0) << i;
        }
    }
}

TEST(JpegDecode, LargerFileCrossesBufferRefillsAndSkips) {
    // Over 4096 bytes, with a 20000-byte marker the library skips in pieces.
    const DibImage picture = testing_support::randomImage(120, 90, 24, 7);
    const Bytes samples = topDownSamples(picture);
    const Bytes bytes = referenceEncode(samples, 120, 90, 3, 20000);
    ASSERT_GT(bytes.size(), 24000u);
    DibImage img;
    ASSERT_TRUE(loadBytes(img, bytes)) << img.lastError();
    expectSameAsLibrary(img, referenceDecode(bytes), "random 120x90 with APP15");
}

TEST(JpegDecode, TruncatedFilesStillLoad) {
    for (const char* name : {"colour-420.jpg", "colour-progressive.jpg", "grey.jpg"}) {
        const Bytes whole = readBytes(dataPath(std::string("jpeg/") + name));
        for (size_t keep : {whole.size() / 2, whole.size() - 3, size_t(700)}) {
            const Bytes cut(whole.begin(), whole.begin() + long(keep));
            DibImage img;
            ASSERT_TRUE(loadBytes(img, cut))
                << name << " cut to " << keep << ": " << img.lastError();
            // The library itself decodes the cut file the same way (fake end marker).
            expectSameAsLibrary(img, referenceDecode(cut), name);
        }
    }
}

// Sets the height field of the file's frame header.
void patchFrameHeight(Bytes& bytes, uint16_t height) {
    for (size_t i = 2; i + 8 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2 ||
                                 bytes[i + 1] == 0xC9 || bytes[i + 1] == 0xCA)) {
            bytes[i + 5] = uint8_t(height >> 8);
            bytes[i + 6] = uint8_t(height);
            return;
        }
    ADD_FAILURE() << "no frame header";
}

TEST(JpegDecode, PicturesBeyondTheBudgetOfASmallFileAreRefused) {
    // A flat grey 2048-pixel-wide file codes to a few kilobytes, so its budget is the floor
    // of 64 MB: the picture, and for progressive files the coefficients (2 bytes a pixel)
    // besides, must fit in it.
    const int width = 2048;
    const Bytes flat(size_t(width) * 1024, 128);
    using Coding = EncodeJob::Coding;
    struct Case {
        Coding coding;
        uint16_t height;
        bool loads;
    };
    const Case cases[] = {
        {Coding::Standard, 32000, true},    {Coding::Standard, 33000, false},
        {Coding::Arithmetic, 32000, true},  {Coding::Arithmetic, 33000, false},
        {Coding::Progressive, 10000, true}, {Coding::Progressive, 11000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.coding) << " height " << c.height);
        Bytes bytes = referenceEncode(flat, width, 1024, 1, 0, c.coding);
        ASSERT_LT(bytes.size(), 64u * 1024);
        patchFrameHeight(bytes, c.height);
        DibImage img;
        EXPECT_EQ(loadBytes(img, bytes), c.loads);
        EXPECT_STREQ(img.lastError(), c.loads ? "" : "Image data too short for the picture's size");
        if (c.loads) {
            EXPECT_EQ(img.height(), c.height);
        }
    }
}

TEST(JpegDecode, APhotoCutShortLoadsWhateverItsCoding) {
    // 30 KB of a 4:4:4 2560 x 1600 photo: far fewer bytes than its blocks would need, yet a
    // 12 MB picture that the library fills in after the cut.
    const int width = 2560, height = 1600;
    Bytes samples(size_t(width) * height * 3);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint8_t((i * 2654435761u) >> 24);
    const Bytes whole =
        referenceEncode(samples, width, height, 3, 0, EncodeJob::Coding::Standard, true);
    ASSERT_GT(whole.size(), 300000u);
    const Bytes cut(whole.begin(), whole.begin() + 30000);
    DibImage img;
    ASSERT_TRUE(loadBytes(img, cut)) << img.lastError();
    expectSameAsLibrary(img, referenceDecode(cut), "4:4:4 cut to 30 KB");
}

// The file with its shortest scan repeated until it has `scans` scans: each repeat costs a
// few bytes and makes the decoder walk the frame's blocks once more.
Bytes withScansRepeated(const Bytes& bytes, int scans) {
    size_t count = 0, best = 0, bestLength = SIZE_MAX;
    for (size_t i = 2; i + 1 < bytes.size(); ++i) {
        if (bytes[i] != 0xFF || bytes[i + 1] != 0xDA) continue;
        ++count;
        // The scan runs to the next marker that is neither a stuffed byte nor a restart.
        size_t end = i + 2;
        while (end + 1 < bytes.size() && !(bytes[end] == 0xFF && bytes[end + 1] != 0 &&
                                           (bytes[end + 1] < 0xD0 || bytes[end + 1] > 0xD7)))
            ++end;
        if (end - i < bestLength) best = i, bestLength = end - i;
    }
    if (count == 0) return bytes;
    const auto eoi = bytes.end() - 2;
    Bytes out(bytes.begin(), eoi);
    for (size_t n = count; n < size_t(scans); ++n)
        out.insert(out.end(), bytes.begin() + long(best), bytes.begin() + long(best + bestLength));
    out.insert(out.end(), eoi, bytes.end());
    return out;
}

TEST(JpegDecode, ScansBeyondWhatEncodersMakeAreRefused) {
    // 2048 x 4096 grey: 131072 blocks, so 128 walks over them reach the least bound of 2^24
    // (32 arithmetically coded); a small picture reaches the cap on the number of scans first.
    struct Case {
        int width, height;
        bool arithmetic;
        int scans;
        bool loads;
    };
    const Case cases[] = {
        {2048, 4096, false, 100, true}, {2048, 4096, false, 160, false},
        {2048, 4096, true, 25, true},   {2048, 4096, true, 40, false},
        {64, 64, false, 250, true},     {64, 64, false, 300, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " arithmetic "
                                        << c.arithmetic << ", " << c.scans << " scans");
        const Bytes flat(size_t(c.width) * c.height, 128);
        const Bytes bytes =
            withScansRepeated(referenceEncode(flat, c.width, c.height, 1, 0,
                                              EncodeJob::Coding::Progressive, false, c.arithmetic),
                              c.scans);
        ASSERT_LT(bytes.size(), 64u * 1024);
        DibImage img;
        EXPECT_EQ(loadBytes(img, bytes), c.loads) << img.lastError();
        if (!c.loads) {
            EXPECT_EQ(std::string(img.lastError()).rfind("Too many scans", 0), 0u);
        }
    }
}

TEST(JpegDecode, DamagedRestartMarkerIsResynchronised) {
    Bytes bytes = readBytes(dataPath("jpeg/colour-restart.jpg"));
    // Renumber the second restart marker (RST1) so the decoder has to resynchronise.
    int seen = 0;
    bool damaged = false;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] >= 0xD0 && bytes[i + 1] <= 0xD7 && ++seen == 2) {
            bytes[i + 1] = 0xD5;
            damaged = true;
            break;
        }
    ASSERT_TRUE(damaged);
    DibImage img;
    ASSERT_TRUE(loadBytes(img, bytes)) << img.lastError();
    expectSameAsLibrary(img, referenceDecode(bytes), "damaged restart");
}

TEST(JpegDecode, LibraryWarningsAreNotPrinted) {
    const Bytes whole = readBytes(dataPath("jpeg/colour-420.jpg"));
    const Bytes cut(whole.begin(), whole.begin() + long(whole.size() / 2));
    bool ok = false;
    const std::string printed = captureStderr([&] {
        DibImage img;
        ok = loadBytes(img, cut);
        DibImage other;
        loadBytes(other, Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(printed, "");
}

TEST(JpegDecode, DecodesOnSeveralThreadsAtOnce) {
    std::vector<Bytes> files;
    std::vector<DibImage> expected;
    for (const char* name : kGreyAndColourFiles) {
        files.push_back(readBytes(dataPath(std::string("jpeg/") + name)));
        expected.emplace_back();
        ASSERT_TRUE(loadBytes(expected.back(), files.back())) << name;
    }
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round)
                for (size_t i = 0; i < files.size(); ++i) {
                    const size_t k = (i + size_t(t)) % files.size();
                    DibImage img;
                    if (!loadBytes(img, files[k]) || !testing_support::sameImage(img, expected[k]))
                        ++failures[t];
                }
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

// ---------- the library's messages ----------

TEST(JpegMessages, FatalErrorsCarryTheLibraryText) {
    struct Case {
        const char* what;
        Bytes bytes;
        const char* message;
    };
    const Bytes colour = readBytes(dataPath("jpeg/colour-420.jpg"));
    const std::vector<Case> cases = {
        {"PNG signature",
         {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13},
         "Not a JPEG file: starts with 0x89 0x50"},
        {"GIF header",
         {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0},
         "Not a JPEG file: starts with 0x47 0x49"},
        {"start marker only", {0xFF, 0xD8}, "JPEG datastream contains no image"},
        {"headers cut before the frame", Bytes(colour.begin(), colour.begin() + 20),
         "JPEG datastream contains no image"},
    };
    for (const Case& c : cases) {
        DibImage img;
        EXPECT_FALSE(loadBytes(img, c.bytes)) << c.what;
        EXPECT_STREQ(img.lastError(), c.message) << c.what;
        EXPECT_FALSE(img.isValid()) << c.what;
    }
}

TEST(JpegMessages, EmptyFileIsEmptyInput) {
    TempDir dir;
    const std::string path = dir.file("empty.jpg");
    writeBytes(path, {});
    DibImage img;
    EXPECT_FALSE(img.loadFromFile(path.c_str(), JPEG));
    EXPECT_STREQ(img.lastError(), "Empty input file");
}

TEST(JpegMessages, HugeFrameIsRefusedBeforeAllocating) {
    // A valid 1 x 1 file whose frame header was patched to 65000 x 65000 pixels.
    DibImage img = testing_support::makeF();
    EXPECT_FALSE(img.loadFromFile(dataPath("jpeg/bad-huge-frame.jpg").c_str(), JPEG));
    EXPECT_STREQ(img.lastError(), "Image too large: 65000 x 65000");
    EXPECT_EQ(img.width(), 6);  // the old picture stays
}

TEST(JpegMessages, CorruptFilesFailCleanlyOrLoad) {
    struct Case {
        const char* file;
        bool loads;
        const char* message;
    };
    const Case cases[] = {
        {"bad-huge-frame.jpg", false, "Image too large: 65000 x 65000"},
        {"bad-component-count.jpg", false, "Bogus marker length"},
        // Cut inside the first restart marker: the library fills the rest.
        {"bad-cut-at-restart.jpg", true, ""},
        // Found by fuzzing: 305 bytes claiming 4097 x 62519 pixels (it cost 755 MB).
        {"bad-fuzz-305-bytes-4097x62519.jpg", false, "Image data too short for the picture's size"},
        // Found by fuzzing: 216 bytes claiming 24576 x 8192 pixels (it cost 584 MB).
        {"bad-fuzz-216-bytes-24576x8192.jpg", false, "Image data too short for the picture's size"},
        // Thousands of scans of a few bytes each, each walking all blocks of the frame again
        // (16384 x 1024 arithmetically, 4096 x 2048 Huffman): they cost 35 s and 1.4 s.
        {"bad-2000-arithmetic-scans.jpg", false, "Too many scans for the file's size (17)"},
        {"bad-1000-huffman-scans.jpg", false, "Too many scans for the file's size (129)"},
    };
    size_t listed = 0;
    for (const Case& c : cases) {
        const Bytes bytes = readBytes(dataPath(std::string("jpeg/") + c.file));
        ASSERT_FALSE(bytes.empty()) << c.file;
        DibImage img;
        EXPECT_EQ(loadBytes(img, bytes), c.loads) << c.file;
        EXPECT_STREQ(img.lastError(), c.message) << c.file;
        if (c.loads) expectSameAsLibrary(img, referenceDecode(bytes), c.file);
        ++listed;
    }
    // Every bad-*.jpg in the folder is one of the cases above.
    size_t found = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dataPath("jpeg")))
        if (entry.path().filename().string().rfind("bad-", 0) == 0) ++found;
    EXPECT_EQ(found, listed);
}

// ---------- encoding ----------

TEST(JpegEncode, ColourMatchesBaselineQuality75OfTheLibrary) {
    for (const DibImage& picture : {smoothPicture(50, 33), testing_support::makeF()}) {
        DibImage img(picture);
        bool ok = false;
        const Bytes ours = saveBytes(img, &ok);
        ASSERT_TRUE(ok) << img.lastError();
        const Bytes ref =
            referenceEncode(topDownSamples(picture), picture.width(), picture.height(), 3);
        EXPECT_EQ(ours, ref) << picture.width() << "x" << picture.height();
        // Saving leaves the picture as it was (the red/blue swap happens on a copy).
        EXPECT_TRUE(testing_support::sameImage(img, picture));
    }
}

TEST(JpegEncode, GreyMatchesTheLibraryAndReloadsAsGrey) {
    DibImage grey(41, 27, 8, BMP);
    grey.setGrayPalette();
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x) grey.setPixelIndex(x, y, uint8_t(x * 6 + y));
    bool ok = false;
    const Bytes ours = saveBytes(grey, &ok);
    ASSERT_TRUE(ok) << grey.lastError();
    EXPECT_EQ(ours, referenceEncode(topDownSamples(grey), 41, 27, 1));
    const Decoded ref = referenceDecode(ours);
    EXPECT_EQ(ref.fileColorSpace, JCS_GRAYSCALE);

    DibImage back;
    ASSERT_TRUE(loadBytes(back, ours)) << back.lastError();
    EXPECT_EQ(back.bitCount(), 8);
    expectIdentityGreyPalette(back);
    expectSameAsLibrary(back, ref, "grey round trip");
}

TEST(JpegEncode, RoundTripKeepsSizeAndLosesLittle) {
    const DibImage picture = smoothPicture(64, 48);
    DibImage img(picture);
    bool ok = false;
    const Bytes bytes = saveBytes(img, &ok);
    ASSERT_TRUE(ok);
    DibImage back;
    ASSERT_TRUE(loadBytes(back, bytes));
    ASSERT_EQ(back.width(), 64);
    ASSERT_EQ(back.height(), 48);
    ASSERT_EQ(back.bitCount(), 24);
    EXPECT_EQ(back.type(), uint32_t(JPEG));
    long total = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const RgbQuad a = picture.getPixelColor(x, y);
            const RgbQuad b = back.getPixelColor(x, y);
            total +=
                std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue);
        }
    // Smooth ramps at quality 75: on average well under two levels per channel.
    EXPECT_LT(double(total) / (64 * 48 * 3), 2.0);
}

TEST(JpegEncode, SavingTwiceGivesTheSameBytes) {
    DibImage img = smoothPicture(30, 20);
    bool ok1 = false;
    bool ok2 = false;
    const Bytes first = saveBytes(img, &ok1);
    const Bytes second = saveBytes(img, &ok2);
    ASSERT_TRUE(ok1 && ok2);
    EXPECT_EQ(first, second);
}

TEST(JpegEncode, RefusesPicturesThatAreNotRgbOrGreyscale) {
    DibImage colourPalette(8, 8, 8, BMP);
    for (uint32_t i = 0; i < 256; ++i) colourPalette.setPaletteColor(i, uint8_t(i), 0, 0);

    DibImage nearlyGrey(8, 8, 8, BMP);
    nearlyGrey.setGrayPalette();
    nearlyGrey.setPaletteColor(200, 200, 200, 201);

    DibImage blackWhite(9, 9, 1, BMP);
    blackWhite.setPaletteColor(0, 0, 0, 0);
    blackWhite.setPaletteColor(1, 255, 255, 255);

    // Its 16 entries are (i, i, i): a ramp by the palette test, but rows of half a byte a
    // pixel cannot feed a grey scan line.
    DibImage shortRamp(9, 9, 4, BMP);
    for (uint32_t i = 0; i < 16; ++i) shortRamp.setPaletteColor(i, uint8_t(i), i, i);
    ASSERT_TRUE(shortRamp.isGrayScale());

    for (DibImage* img : {&colourPalette, &nearlyGrey, &blackWhite, &shortRamp}) {
        bool ok = true;
        const Bytes bytes = saveBytes(*img, &ok);
        EXPECT_FALSE(ok) << img->bitCount();
        EXPECT_STREQ(img->lastError(), "JPEG can save only RGB or GreyScale images");
        EXPECT_TRUE(bytes.empty()) << img->bitCount();
    }
}

TEST(JpegEncode, WriteFailureGivesTheLibraryMessage) {
    // /dev/full takes nothing; a file opened for reading takes nothing either.
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    DibImage small = smoothPicture(10, 10);  // fits one buffer: fails at the final flush
    DibImage large = testing_support::randomImage(200, 200, 24, 3);  // fails mid-way
    for (DibImage* img : {&small, &large}) {
        std::rewind(full);
        std::clearerr(full);
        ImageStream stream(full);
        EXPECT_FALSE(img->saveToStream(stream, JPEG));
        EXPECT_STREQ(img->lastError(), "Output file write error --- out of disk space?");
    }
    std::fclose(full);

    TempDir dir;
    const std::string path = dir.file("read-only.jpg");
    writeBytes(path, {1, 2, 3});
    FILE* readOnly = std::fopen(path.c_str(), "rb");
    ASSERT_NE(readOnly, nullptr);
    {
        ImageStream stream(readOnly);
        EXPECT_FALSE(large.saveToStream(stream, JPEG));
        EXPECT_STREQ(large.lastError(), "Output file write error --- out of disk space?");
    }
    std::fclose(readOnly);
}

TEST(JpegEncode, FailedSaveLeavesTheExistingFileAlone) {
    TempDir dir;
    const std::string target = dir.file("photo.jpg");
    const Bytes old = readBytes(dataPath("jpeg/colour-420.jpg"));
    writeBytes(target, old);

    DibImage paletted(8, 8, 8, BMP);
    for (uint32_t i = 0; i < 256; ++i) paletted.setPaletteColor(i, 0, uint8_t(i), 0);
    EXPECT_FALSE(paletted.saveToFile(target.c_str(), JPEG));
    EXPECT_STREQ(paletted.lastError(), "JPEG can save only RGB or GreyScale images");
    EXPECT_EQ(readBytes(target), old);

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"photo.jpg"});
}

TEST(JpegEncode, SavedFileReloadsWithTheSamePixels) {
    TempDir dir;
    const std::string path = dir.file("saved.jpg");
    DibImage img = smoothPicture(37, 23);
    ASSERT_TRUE(img.saveToFile(path.c_str(), JPEG));
    const Bytes bytes = readBytes(path);
    DibImage back;
    ASSERT_TRUE(back.loadFromFile(path.c_str(), JPEG));
    expectSameAsLibrary(back, referenceDecode(bytes), "saved file");
}

}  // namespace

namespace {

// Records what a decode reports, with a copy of every row at the moment it is called final.
struct ProgressRecorder : DecodeProgress {
    const DibImage* picture = nullptr;
    int begins = 0, ends = 0, calls = 0;
    bool endedOk = false, endCameLast = true;
    std::vector<int32_t> reported;
    std::vector<Bytes> rowsWhenFinal;  // indexed by row

    void begin(const DibImage& p) noexcept override {
        ++begins;
        ++calls;
        picture = &p;
        rowsWhenFinal.assign(size_t(p.height()), Bytes());
    }
    void rowsDone(int32_t lowest) noexcept override {
        ++calls;
        if (ends) endCameLast = false;
        reported.push_back(lowest);
        for (int32_t y = lowest; y < picture->height(); ++y)
            if (rowsWhenFinal[size_t(y)].empty())
                rowsWhenFinal[size_t(y)].assign(picture->row(y),
                                                picture->row(y) + picture->stride());
    }
    void end(bool ok) noexcept override {
        ++ends;
        ++calls;
        endedOk = ok;
    }
};

}  // namespace

// Colour photos report their rows top-down as they become final; grey and CMYK ones, whose rows
// are converted afterwards, report nothing.
TEST(JpegDecode, ProgressReportsColourRowsOnlyOnceFinal) {
    const struct {
        const char* file;
        int32_t minWidth;
        bool followed;
    } cases[] = {{"colour-420.jpg", 0, true},    {"colour-progressive.jpg", 0, true},
                 {"odd-37x23-420.jpg", 0, true}, {"colour-restart.jpg", 20, true},
                 {"grey.jpg", 0, false},         {"cmyk-adobe.jpg", 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ProgressRecorder rec;
        DibImage img;
        ASSERT_TRUE(img.loadReduced(dataPath(std::string("jpeg/") + c.file).c_str(), JPEG,
                                    c.minWidth, 0, &rec))
            << img.lastError();
        if (!c.followed) {
            EXPECT_EQ(rec.calls, 0);
            continue;
        }
        EXPECT_EQ(rec.begins, 1);
        EXPECT_EQ(rec.ends, 1);
        EXPECT_TRUE(rec.endedOk);
        EXPECT_TRUE(rec.endCameLast);
        EXPECT_TRUE(std::is_sorted(rec.reported.rbegin(), rec.reported.rend()));
        for (int32_t y = 0; y < img.height(); ++y) {
            if (rec.rowsWhenFinal[size_t(y)].empty()) continue;  // final only at the end
            EXPECT_EQ(0, std::memcmp(rec.rowsWhenFinal[size_t(y)].data(), img.row(y), img.stride()))
                << "row " << y << " changed after it was reported";
        }
        DibImage plain;
        ASSERT_TRUE(plain.loadReduced(dataPath(std::string("jpeg/") + c.file).c_str(), JPEG,
                                      c.minWidth, 0));
        EXPECT_TRUE(testing_support::sameImage(img, plain));
    }
}

// A decode that fails after its rows were reported ends with end(false), the last call, and
// keeps no picture.
TEST(JpegDecode, ProgressOfADecodeFailingAtTheEndEndsNotOk) {
    bool saved = false;
    DibImage picture = smoothPicture(200, 120);
    const Bytes damaged = withSecondFrameMidScan(saveBytes(picture, &saved));
    ASSERT_TRUE(saved);
    ASSERT_FALSE(damaged.empty());
    TempDir temp;
    const std::string path = temp.file("second-frame.jpg");
    writeBytes(path, damaged);
    ProgressRecorder rec;
    DibImage img;
    EXPECT_FALSE(img.loadReduced(path.c_str(), JPEG, 0, 0, &rec));
    EXPECT_FALSE(img.isValid());
    EXPECT_EQ(rec.begins, 1);
    EXPECT_FALSE(rec.reported.empty());
    EXPECT_EQ(rec.ends, 1);
    EXPECT_FALSE(rec.endedOk);
    EXPECT_TRUE(rec.endCameLast);
}
