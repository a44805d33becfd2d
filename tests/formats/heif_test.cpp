// HEIF/AVIF codec: files made by heif-enc (and libheif's encoder for a rotated one) decoded
// against heif-convert's own output, the signatures, reduced pictures, the budget and bad files.
#include "formats/heif/heif_codec.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "formats/data_bound.h"
#include "formats/image_stream.h"
#include "formats/png/png_codec.h"
#include "support/test_support.h"

using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

namespace {

bool haveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Decodes bytes as the dispatch would: from a FILE*, with the file's decode budget.
bool decodeBytes(HeifCodec& codec, const std::vector<uint8_t>& bytes) {
    FILE* file = fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
    if (!file) return false;
    bool ok;
    {
        ImageStream stream(file);
        codec.setDecodeBudget(decodeBudgetFor(bytesLeft(stream)));
        ok = codec.decode(stream);
        codec.setDecodeBudget(UINT64_MAX);
    }
    std::fclose(file);
    return ok;
}

bool decodePng(DibImage& image, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    PngCodec codec;
    bool ok;
    {
        ImageStream stream(file);
        ok = codec.decode(stream);
    }
    std::fclose(file);
    if (ok) image.transfer(codec);
    return ok;
}

bool encodePng(const DibImage& image, const std::string& path) {
    PngCodec codec;
    codec.borrow(const_cast<DibImage&>(image));
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok;
    {
        ImageStream stream(file);
        ok = codec.encode(stream);
    }
    return std::fclose(file) == 0 && ok;
}

// A 16-bit RGB PNG (heif-enc makes 10-bit files only from such input): sample (x, r, c).
void writeSixteenBitPng(const std::string& path, int w, int h) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop pngInfo = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, pngInfo, uint32_t(w), uint32_t(h), 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, pngInfo);
    std::vector<uint8_t> line(size_t(w) * 6);
    for (int r = 0; r < h; ++r) {
        for (int i = 0; i < w * 3; ++i) {
            const int x = i / 3, c = i % 3;
            const int v = ((x * 2731 + r * 4099 + c * 19937) * 7) & 0xFFFF;
            line[size_t(2 * i)] = uint8_t(v >> 8);
            line[size_t(2 * i + 1)] = uint8_t(v);
        }
        png_write_row(png, line.data());
    }
    png_write_end(png, pngInfo);
    png_destroy_write_struct(&png, &pngInfo);
    std::fclose(file);
}

// The largest difference of any colour or alpha byte; -1 when sizes, depth or alpha differ.
int maxDifference(const DibImage& a, const DibImage& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.bitCount() != b.bitCount() ||
        a.hasAlpha() != b.hasAlpha())
        return -1;
    int most = 0;
    for (int32_t y = 0; y < a.height(); ++y) {
        for (int32_t i = 0; i < a.width() * 3; ++i)
            most = std::max(most, std::abs(int(a.row(y)[i]) - int(b.row(y)[i])));
        if (a.hasAlpha())
            for (int32_t x = 0; x < a.width(); ++x)
                most = std::max(most, std::abs(int(a.alphaGet(x, y)) - int(b.alphaGet(x, y))));
    }
    return most;
}

constexpr const char* kLossless = "-L -p chroma=444 --matrix_coefficients=0";

class HeifFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveTool("heif-enc")) GTEST_SKIP() << "heif-enc is not installed";
        if (!haveTool("heif-convert")) GTEST_SKIP() << "heif-convert is not installed";
    }

    // heif-enc's file from a PNG of source, or an empty vector.
    std::vector<uint8_t> encode(const DibImage& source, const std::string& name,
                                const std::string& options) {
        const std::string png = dir.file(name + ".png");
        const std::string out = dir.file(name);
        if (!encodePng(source, png) || !run("heif-enc " + options + " -o " + out + " " + png))
            return {};
        return readBytes(out);
    }

    // What heif-convert makes of the file, read back through the PNG codec.
    bool reference(const std::string& name, DibImage& image) {
        const std::string png = dir.file(name + ".ref.png");
        return run("heif-convert " + dir.file(name) + " " + png) && decodePng(image, png);
    }

    TempDir dir;
};

struct FileCase {
    const char* name;     // the file, its extension chooses the coding
    const char* options;  // for heif-enc
    uint32_t type;
    bool alpha;
    bool sixteenBitSource;  // a 16-bit PNG, coded with 10 or 12 bits
    // Against the source; -1 for lossy files. libheif's lossless RGB path (GBR planes, no
    // chroma subsampling) still rounds some samples by one, in heif-convert's output too.
    int sourceTolerance;
    int tolerance;  // against heif-convert: its 16-bit output is cut to 8 bits
};

const FileCase kFileCases[] = {
    {"lossless.heic", kLossless, HEIF, false, false, 1, 0},
    {"lossless.avif", kLossless, AVIF, false, false, 1, 0},
    {"alpha.heic", kLossless, HEIF, true, false, 1, 0},
    {"alpha.avif", kLossless, AVIF, true, false, 1, 0},
    {"lossy.heic", "-q 40", HEIF, false, false, -1, 0},
    {"lossy-alpha.avif", "-q 40", AVIF, true, false, -1, 0},
    {"ten-bit.heic", "-b 10 -q 90", HEIF, false, true, -1, 1},
    {"twelve-bit.heic", "-b 12 -q 90", HEIF, false, true, -1, 1},
    // The AV1 encoder here aborts on 10-bit input; 12 bits take the same path through libheif.
    {"twelve-bit.avif", "-b 12 -q 90", AVIF, false, true, -1, 1},
};

TEST_F(HeifFiles, DecodeAsHeifConvertDoes) {
    for (const FileCase& c : kFileCases) {
        SCOPED_TRACE(c.name);
        // Odd sides: chroma subsampling and row padding both have a remainder.
        DibImage source = randomImage(13, 11, 24, 7, c.alpha);
        std::vector<uint8_t> bytes;
        if (c.sixteenBitSource) {
            writeSixteenBitPng(dir.file(std::string(c.name) + ".png"), 13, 11);
            ASSERT_TRUE(run(std::string("heif-enc ") + c.options + " -o " + dir.file(c.name) + " " +
                            dir.file(std::string(c.name) + ".png")));
            bytes = readBytes(dir.file(c.name));
        } else {
            bytes = encode(source, c.name, c.options);
        }
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(isHeifSignature(bytes.data(), std::min<size_t>(bytes.size(), 32)),
                  c.type == HEIF);
        EXPECT_EQ(isAvifSignature(bytes.data(), std::min<size_t>(bytes.size(), 32)),
                  c.type == AVIF);

        HeifCodec codec(c.type);
        ASSERT_TRUE(decodeBytes(codec, bytes)) << codec.lastError();
        EXPECT_EQ(codec.type(), c.type);
        EXPECT_EQ(codec.bitCount(), 24);
        EXPECT_EQ(codec.hasAlpha(), c.alpha);
        DibImage expected;
        ASSERT_TRUE(reference(c.name, expected));
        const int difference = maxDifference(codec, expected);
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, c.tolerance);
        if (c.sourceTolerance >= 0) {
            const int fromSource = maxDifference(codec, source);
            EXPECT_GE(fromSource, 0);
            EXPECT_LE(fromSource, c.sourceTolerance);
        }
    }
}

TEST_F(HeifFiles, PremultipliedAlphaComesBackStraight) {
    // Colour already multiplied by alpha, as the premultiplied flag promises.
    DibImage source = randomImage(13, 11, 24, 3, true);
    for (int32_t y = 0; y < 11; ++y)
        for (int32_t x = 0; x < 13; ++x) {
            const uint8_t a = uint8_t(std::max<int>(source.alphaGet(x, y), 64));
            source.alphaSet(x, y, a);
            uint8_t* p = source.row(y) + 3 * x;
            for (int c = 0; c < 3; ++c) p[c] = uint8_t((p[c] * a + 127) / 255);
        }
    const std::vector<uint8_t> bytes =
        encode(source, "premultiplied.heic", std::string(kLossless) + " --premultiplied-alpha");
    ASSERT_FALSE(bytes.empty());
    HeifCodec codec;
    ASSERT_TRUE(decodeBytes(codec, bytes)) << codec.lastError();
    ASSERT_TRUE(codec.hasAlpha());
    int most = 0;
    for (int32_t y = 0; y < 11; ++y)
        for (int32_t x = 0; x < 13; ++x) {
            const int a = codec.alphaGet(x, y);
            ASSERT_EQ(a, source.alphaGet(x, y));
            for (int c = 0; c < 3; ++c)
                most = std::max(most, std::abs((codec.row(y)[3 * x + c] * a + 127) / 255 -
                                               source.row(y)[3 * x + c]));
        }
    // Multiplying the straight colour again gives the stored one back, up to rounding.
    EXPECT_LE(most, 1);
}

TEST_F(HeifFiles, ReducedPictureTakesTheThumbnailThatCoversTheWish) {
    DibImage source = randomImage(64, 48, 24, 5);
    const std::vector<uint8_t> bytes = encode(source, "thumb.heic", "-q 60 -t 32");
    ASSERT_FALSE(bytes.empty());
    struct Wish {
        int32_t minWidth, minHeight, width, height;
    };
    for (const Wish& w : {Wish{0, 0, 64, 48}, Wish{20, 15, 32, 24}, Wish{32, 0, 32, 24},
                          Wish{0, 25, 64, 48}, Wish{33, 10, 64, 48}}) {
        SCOPED_TRACE(std::to_string(w.minWidth) + " x " + std::to_string(w.minHeight));
        HeifCodec codec;
        codec.minWidth = w.minWidth;
        codec.minHeight = w.minHeight;
        ASSERT_TRUE(decodeBytes(codec, bytes)) << codec.lastError();
        EXPECT_EQ(codec.width(), w.width);
        EXPECT_EQ(codec.height(), w.height);
    }
}

// A picture stored turned, with the rotation libheif writes as a property: red in the top-left
// quarter as stored, blue elsewhere.
std::vector<uint8_t> rotatedFile(const std::string& path, int w, int h) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code !=
        heif_error_Ok) {
        heif_context_free(context);
        return {};
    }
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_image* image = nullptr;
    heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = plane + r * stride + 3 * x;
            const bool red = x < w / 2 && r < h / 2;
            p[0] = red ? 255 : 0;
            p[1] = 0;
            p[2] = red ? 0 : 255;
        }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation_rotate_90_cw;
    const bool ok = heif_context_encode_image(context, image, encoder, options, nullptr).code ==
                        heif_error_Ok &&
                    heif_context_write_to_file(context, path.c_str()).code == heif_error_Ok;
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return ok ? readBytes(path) : std::vector<uint8_t>{};
}

TEST_F(HeifFiles, RotatedFileDecodesUpright) {
    const std::vector<uint8_t> bytes = rotatedFile(dir.file("rotated.heic"), 32, 16);
    if (bytes.empty()) GTEST_SKIP() << "libheif could not write a rotated file";
    HeifCodec codec;
    ASSERT_TRUE(decodeBytes(codec, bytes)) << codec.lastError();
    // Turned a quarter clockwise: the sides swap and the red quarter goes to the top right.
    ASSERT_EQ(codec.width(), 16);
    ASSERT_EQ(codec.height(), 32);
    const RgbQuad topRight = codec.getPixelColor(12, 32 - 1 - 4);
    const RgbQuad topLeft = codec.getPixelColor(3, 32 - 1 - 4);
    EXPECT_GT(topRight.red, 200);
    EXPECT_LT(topRight.blue, 60);
    EXPECT_GT(topLeft.blue, 200);
    EXPECT_LT(topLeft.red, 60);
    DibImage expected;
    ASSERT_TRUE(reference("rotated.heic", expected));
    EXPECT_EQ(maxDifference(codec, expected), 0);
}

// Box positions by their type, for patching a file's sizes.
std::vector<size_t> findAll(const std::vector<uint8_t>& bytes, const char* fourcc) {
    std::vector<size_t> at;
    for (size_t i = 0; i + 4 <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, fourcc, 4) == 0) at.push_back(i);
    return at;
}

void putBe32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

TEST_F(HeifFiles, HugeDeclaredSizeIsRefusedBeforeDecoding) {
    for (const char* name : {"huge.heic", "huge.avif"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes = encode(randomImage(13, 11, 24, 9), name, "-q 50");
        const std::vector<size_t> ispe = findAll(bytes, "ispe");
        ASSERT_FALSE(ispe.empty());
        // The full box follows the type: version and flags, then width and height.
        for (const size_t at : ispe) {
            putBe32(bytes, at + 8, 16384);
            putBe32(bytes, at + 12, 16384);
        }
        HeifCodec codec(std::string(name).ends_with("avif") ? AVIF : HEIF);
        EXPECT_FALSE(decodeBytes(codec, bytes));
        EXPECT_FALSE(codec.isValid());
        EXPECT_STREQ(codec.lastError(), kDataTooShort);
    }
}

TEST_F(HeifFiles, TruncatedAndCorruptFilesFailWithAMessage) {
    for (const char* name : {"bad.heic", "bad.avif"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = encode(randomImage(13, 11, 24, 11, true), name, "-q 50");
        ASSERT_GT(bytes.size(), 64u);
        const std::string prefix = std::string("Error reading ") +
                                   (std::string(name).ends_with("avif") ? "AVIF" : "HEIF") +
                                   " file: ";
        for (const size_t length : {size_t(0), size_t(8), size_t(31), bytes.size() / 2,
                                    bytes.size() - 20, bytes.size() - 1}) {
            SCOPED_TRACE("cut to " + std::to_string(length));
            HeifCodec codec(std::string(name).ends_with("avif") ? AVIF : HEIF);
            EXPECT_FALSE(decodeBytes(
                codec, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(length))));
            EXPECT_FALSE(codec.isValid());
            EXPECT_EQ(std::string(codec.lastError()).rfind(prefix, 0), 0u) << codec.lastError();
        }
        // Damage anywhere either still decodes to a whole picture or fails with a message.
        std::mt19937 rng(42);
        int failed = 0;
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<uint8_t> damaged = bytes;
            for (int k = 0; k < 1 + trial % 4; ++k)
                damaged[rng() % damaged.size()] = uint8_t(rng());
            HeifCodec codec;
            if (decodeBytes(codec, damaged)) {
                EXPECT_GT(codec.width(), 0);
                EXPECT_EQ(codec.lastError()[0], '\0');
            } else {
                ++failed;
                EXPECT_FALSE(codec.isValid());
                EXPECT_NE(codec.lastError()[0], '\0');
            }
        }
        EXPECT_GT(failed, 0);
    }
}

std::vector<uint8_t> ftyp(const char* major, std::initializer_list<const char*> compatible,
                          uint32_t size = 0) {
    std::vector<uint8_t> box(8);
    std::memcpy(box.data() + 4, "ftyp", 4);
    box.insert(box.end(), major, major + 4);
    box.insert(box.end(), 4, 0);
    for (const char* brand : compatible) box.insert(box.end(), brand, brand + 4);
    putBe32(box, 0, size ? size : uint32_t(box.size()));
    return box;
}

TEST(HeifSignature, BrandsDecideBetweenHeifAvifAndNeither) {
    struct Case {
        std::vector<uint8_t> head;
        bool heif, avif;
    };
    const Case cases[] = {
        {ftyp("heic", {"mif1", "heic"}), true, false},
        {ftyp("heix", {}), true, false},
        {ftyp("hevc", {"msf1"}), true, false},
        {ftyp("heim", {}), true, false},
        {ftyp("heis", {}), true, false},
        {ftyp("hevx", {}), true, false},
        {ftyp("mif1", {"heic"}), true, false},
        {ftyp("msf1", {}), true, false},
        {ftyp("avif", {"mif1", "miaf"}), false, true},
        {ftyp("avis", {}), false, true},
        {ftyp("mif1", {"miaf", "avif"}), false, true},
        {ftyp("msf1", {"avis"}), false, true},
        // Brands beyond the box's declared size are not the box's.
        {ftyp("mif1", {"avif"}, 16), true, false},
        {ftyp("isom", {"mif1", "avif"}), false, false},
        {ftyp("mp42", {}), false, false},
        {ftyp("heic", {}, 12), false, false},
        {std::vector<uint8_t>{0, 0, 0, 24, 'f', 't', 'y', 'q', 'h', 'e', 'i', 'c'}, false, false},
        {std::vector<uint8_t>{0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i'}, false, false},
    };
    for (const Case& c : cases) {
        const std::string shown(c.head.begin() + std::min<size_t>(c.head.size(), 4),
                                c.head.begin() + std::min<size_t>(c.head.size(), 12));
        SCOPED_TRACE(shown + " +" + std::to_string(c.head.size()));
        EXPECT_EQ(isHeifSignature(c.head.data(), c.head.size()), c.heif);
        EXPECT_EQ(isAvifSignature(c.head.data(), c.head.size()), c.avif);
    }
    EXPECT_FALSE(isHeifSignature(nullptr, 0));
    EXPECT_FALSE(isAvifSignature(nullptr, 32));
}

}  // namespace
