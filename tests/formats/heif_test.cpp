// HEIF/AVIF codec: files made by heif-enc (and libheif's encoder for a turned one) loaded through
// the table and compared with heif-convert's output, reduced pictures, signatures and bad files.
#include "formats/heif/heif_codec.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "formats/bad_files.h"
#include "formats/format_detect.h"
#include "support/test_support.h"

using testing_support::dataPath;
using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::writeBytes;

// The HEVC encoder that libheif uses to make the test's rotated file keeps 1168 bytes for good.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}

namespace {

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The largest difference of any colour or alpha byte; -1 when sizes, depth or alpha differ.
int maxDifference(const DibImage& a, const DibImage& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.bitCount() != b.bitCount() ||
        a.hasAlpha() != b.hasAlpha())
        return -1;
    int most = 0;
    for (int32_t y = 0; y < a.height(); ++y)
        for (int32_t x = 0; x < a.width(); ++x) {
            for (int c = 0; c < 3; ++c)
                most = std::max(most, std::abs(a.row(y)[3 * x + c] - b.row(y)[3 * x + c]));
            if (a.hasAlpha()) most = std::max(most, std::abs(a.alphaGet(x, y) - b.alphaGet(x, y)));
        }
    return most;
}

class HeifFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"heif-enc", "heif-convert"})
            if (!run(std::string("command -v ") + tool)) GTEST_SKIP() << tool << " is missing";
    }
    std::string file(const std::string& name) const { return dir.file(name); }
    // heif-enc's file from a PNG of source.
    bool encode(const DibImage& source, const std::string& name, const std::string& options) {
        return source.saveToFile(file(name + ".png").c_str(), PNG) &&
               run("heif-enc " + options + " -o " + file(name) + " " + file(name + ".png"));
    }
    // What heif-convert makes of path, read back through the PNG codec.
    bool reference(const std::string& path, DibImage& image) {
        const std::string png = file("reference.png");
        return run("heif-convert " + path + " " + png) && image.loadFromFile(png.c_str(), PNG);
    }
    testing_support::TempDir dir;
};

// A 16-bit RGB PNG: heif-enc codes 10 or 12 bits only from such input.
bool writeSixteenBitPng(const std::string& path, uint32_t w, uint32_t h) {
    std::vector<uint16_t> samples(size_t(w) * h * 3);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint16_t(i * 2731 + i / 39 * 4099);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = PNG_FORMAT_LINEAR_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, samples.data(), 0, nullptr) != 0;
}

constexpr const char* kLossless = "-L -p chroma=444 --matrix_coefficients=0";

struct FileCase {
    const char* name;     // its extension chooses the coding
    const char* options;  // for heif-enc; null for a committed file of tests/data/heif
    bool alpha, deepSource;
    // Against the source, -1 for lossy files: libheif's lossless RGB path (GBR planes at full
    // resolution) still rounds some samples by one, in heif-convert's output too.
    int sourceTolerance;
    int tolerance;  // against heif-convert, whose 16-bit output the PNG codec cuts to 8 bits
};

TEST_F(HeifFiles, LoadAsHeifConvertDecodes) {
    const FileCase cases[] = {
        {"lossless.heic", kLossless, false, false, 1, 0},
        {"lossless.avif", kLossless, false, false, 1, 0},
        {"alpha.heic", kLossless, true, false, 1, 0},
        {"alpha.avif", kLossless, true, false, 1, 0},
        {"lossy.heic", "-q 40", false, false, -1, 0},
        {"lossy-alpha.avif", "-q 40", true, false, -1, 0},
        {"ten-bit.heic", "-b 10 -q 90", false, true, -1, 1},
        {"twelve-bit.heic", "-b 12 -q 90", false, true, -1, 1},
        // The AV1 encoder here aborts on 10-bit input; 12 bits take the same path.
        {"twelve-bit.avif", "-b 12 -q 90", false, true, -1, 1},
        {"grid-2x2.heic", nullptr, false, false, -1, 0},
        {"grid-2x2.avif", nullptr, false, false, -1, 0},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Odd sides: chroma subsampling and row padding both have a remainder.
        const DibImage source = randomImage(13, 11, 24, 7, c.alpha);
        std::string path = file(c.name);
        if (!c.options)
            path = dataPath(std::string("heif/") + c.name);
        else if (c.deepSource)
            ASSERT_TRUE(
                writeSixteenBitPng(path + ".png", 13, 11) &&
                run(std::string("heif-enc ") + c.options + " -o " + path + " " + path + ".png"));
        else
            ASSERT_TRUE(encode(source, c.name, c.options));
        const uint32_t type = std::string(c.name).ends_with("avif") ? AVIF : HEIF;
        EXPECT_EQ(formats::detectFileFormat(path), int(type));
        DibImage image;
        ASSERT_TRUE(image.loadFromFile(path.c_str(), type)) << image.lastError();
        EXPECT_EQ(image.type(), type);
        EXPECT_EQ(image.hasAlpha(), c.alpha);
        DibImage expected;
        ASSERT_TRUE(reference(path, expected));
        const int difference = maxDifference(image, expected);
        EXPECT_TRUE(difference >= 0 && difference <= c.tolerance) << difference;
        const int fromSource = maxDifference(image, source);
        if (c.sourceTolerance >= 0) {
            EXPECT_TRUE(fromSource >= 0 && fromSource <= c.sourceTolerance) << fromSource;
        }
    }
}

TEST_F(HeifFiles, PremultipliedAlphaComesBackStraight) {
    DibImage source = randomImage(13, 11, 24, 3, true);
    for (int32_t y = 0; y < 11; ++y)
        for (int32_t x = 0; x < 13; ++x) {
            const int a = std::max<int>(source.alphaGet(x, y), 64);
            source.alphaSet(x, y, uint8_t(a));
            for (int c = 0; c < 3; ++c)
                source.row(y)[3 * x + c] = source.row(y)[3 * x + c] * a / 255;
        }
    ASSERT_TRUE(encode(source, "p.heic", std::string(kLossless) + " --premultiplied-alpha"));
    DibImage image;
    ASSERT_TRUE(image.loadFromFile(file("p.heic").c_str(), HEIF)) << image.lastError();
    // Multiplied by alpha again, the straight colour gives the stored one back.
    int most = 0;
    for (int32_t y = 0; y < 11; ++y)
        for (int32_t x = 0; x < 13; ++x)
            for (int c = 0; c < 3; ++c)
                most =
                    std::max(most, std::abs(image.row(y)[3 * x + c] * image.alphaGet(x, y) / 255 -
                                            source.row(y)[3 * x + c]));
    EXPECT_LE(most, 2);
    EXPECT_GT(maxDifference(image, source), 10);  // and differs from it: it was divided
}

TEST_F(HeifFiles, ReducedLoadTakesTheSmallestThumbnailThatCovers) {
    ASSERT_TRUE(encode(randomImage(64, 48, 24, 5), "thumb.heic", "-q 60 -t 32"));
    struct Wish {
        int32_t minWidth, minHeight, width;
    };
    for (const Wish& w :
         {Wish{0, 0, 64}, Wish{20, 15, 32}, Wish{32, 0, 32}, Wish{0, 25, 64}, Wish{33, 10, 64}}) {
        SCOPED_TRACE(std::to_string(w.minWidth) + " x " + std::to_string(w.minHeight));
        DibImage image;
        ASSERT_TRUE(image.loadReduced(file("thumb.heic").c_str(), HEIF, w.minWidth, w.minHeight));
        EXPECT_EQ(image.width(), w.width);
        EXPECT_EQ(image.height(), w.width * 3 / 4);
    }
}

TEST_F(HeifFiles, TurnedFileLoadsUpright) {
    // Stored 32 x 16, red in its top-left quarter, to be shown turned a quarter clockwise.
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_image* picture = nullptr;
    heif_image_create(32, 16, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &picture);
    heif_image_add_plane(picture, heif_channel_interleaved, 32, 16, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
    for (int r = 0; r < 16; ++r)
        for (int x = 0; x < 32; ++x) {
            const bool red = x < 16 && r < 8;
            plane[r * stride + 3 * x] = red ? 255 : 0;
            plane[r * stride + 3 * x + 1] = 0;
            plane[r * stride + 3 * x + 2] = red ? 0 : 255;
        }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation_rotate_90_cw;
    const bool written =
        encoder &&
        heif_context_encode_image(context, picture, encoder, options, nullptr).code ==
            heif_error_Ok &&
        heif_context_write_to_file(context, file("turned.heic").c_str()).code == heif_error_Ok;
    heif_encoding_options_free(options);
    heif_image_release(picture);
    if (encoder) heif_encoder_release(encoder);
    heif_context_free(context);
    if (!written) GTEST_SKIP() << "libheif could not write a turned file";

    DibImage image;
    ASSERT_TRUE(image.loadFromFile(file("turned.heic").c_str(), HEIF)) << image.lastError();
    ASSERT_EQ(image.width(), 16);
    ASSERT_EQ(image.height(), 32);
    // The red quarter is now the top right one (rows are stored bottom-up).
    EXPECT_GT(image.getPixelColor(12, 27).red, 200);
    EXPECT_GT(image.getPixelColor(3, 27).blue, 200);
    DibImage expected;
    ASSERT_TRUE(reference(file("turned.heic"), expected));
    EXPECT_EQ(maxDifference(image, expected), 0);
}

TEST_F(HeifFiles, CutAndDamagedFilesFailWithAMessage) {
    ASSERT_TRUE(encode(randomImage(13, 11, 24, 11, true), "bad.avif", "-q 50"));
    const std::vector<uint8_t> bytes = readBytes(file("bad.avif"));
    for (const size_t length : {size_t(0), size_t(31), bytes.size() / 2, bytes.size() - 1}) {
        writeBytes(file("cut.avif"),
                   std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(length)));
        DibImage image;
        EXPECT_FALSE(image.loadFromFile(file("cut.avif").c_str(), AVIF)) << length;
        EXPECT_EQ(std::string(image.lastError()).rfind("Error reading AVIF file: ", 0), 0u)
            << image.lastError();
    }
    // Damage anywhere either still gives a whole picture or fails with a message.
    std::mt19937 rng(42);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> damaged = bytes;
        for (int k = 0; k <= trial % 4; ++k) damaged[rng() % damaged.size()] = uint8_t(rng());
        writeBytes(file("damaged.avif"), damaged);
        DibImage image;
        const bool ok = image.loadFromFile(file("damaged.avif").c_str(), AVIF);
        EXPECT_EQ(ok, image.isValid() && image.width() > 0 && image.lastError()[0] == '\0');
        EXPECT_EQ(!ok, image.lastError()[0] != '\0');
    }
}

TEST(HeifBadFiles, HostileFilesAreRefusedBeforeDecoding) {
    const std::string cut = "Error reading HEIF file: Invalid input: No 'meta' box";
    bad_files::expectOutcomes("heif", HEIF,
                              {{"bad-claims-16384-square.heic", 0, 0, kDataTooShort},
                               {"bad-claims-16384-square.avif", 0, 0, kDataTooShort},
                               {"bad-codes-more-than-shown.heic", 0, 0, kDataTooShort},
                               {"bad-codes-more-than-shown.avif", 0, 0, kDataTooShort},
                               {"bad-grid-tiles-code-more.heic", 0, 0, kDataTooShort},
                               {"bad-grid-tiles-code-more.avif", 0, 0, kDataTooShort},
                               {"bad-many-tiny-tiles.heic", 0, 0, kDataTooShort},
                               {"bad-cut-in-half.heic", 0, 0, cut.c_str()},
                               {"bad-cut-in-half.avif", 0, 0, cut.c_str()}});
}

std::vector<uint8_t> ftyp(const char* brands, uint32_t size = 0) {
    std::vector<uint8_t> box = {0, 0, 0, 0, 'f', 't', 'y', 'p'};
    for (size_t i = 0; brands[i]; ++i) box.push_back(uint8_t(brands[i] == '0' ? 0 : brands[i]));
    const uint32_t n = size ? size : uint32_t(box.size());
    for (int i = 0; i < 4; ++i) box[size_t(i)] = uint8_t(n >> (24 - 8 * i));
    return box;
}

TEST(HeifSignature, BrandsTellHeifFromAvif) {
    struct Case {
        std::vector<uint8_t> head;
        bool heif, avif;
    };
    const Case cases[] = {
        {ftyp("heic0000mif1heic"), true, false},
        {ftyp("heix0000"), true, false},
        {ftyp("hevc0000msf1"), true, false},
        {ftyp("heim0000"), true, false},
        {ftyp("heis0000"), true, false},
        {ftyp("hevx0000"), true, false},
        {ftyp("mif10000heic"), true, false},
        {ftyp("msf10000"), true, false},
        {ftyp("avif0000mif1miaf"), false, true},
        {ftyp("avis0000"), false, true},
        {ftyp("mif10000miafavif"), false, true},
        {ftyp("msf10000avis"), false, true},
        {ftyp("mif10000avif", 16), true, false},  // the brand lies beyond the box
        {ftyp("isom0000mif1avif"), false, false},
        {ftyp("heic0000", 12), false, false},
        {ftyp("hei"), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.head.begin() + 8, c.head.end()));
        EXPECT_EQ(isHeifSignature(c.head.data(), c.head.size()), c.heif);
        EXPECT_EQ(isAvifSignature(c.head.data(), c.head.size()), c.avif);
    }
}

}  // namespace
