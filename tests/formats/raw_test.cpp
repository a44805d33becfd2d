// RAW codec: DNG files made here against LibRaw's own tools for the same file (dcraw_emu's
// full and half-size developments, simple_dcraw's preview), the marks of other RAW formats
// and damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "formats/data_bound.h"
#include "formats/format_detect.h"
#include "formats/image_stream.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/raw/raw_codec.h"
#include "image/dib_image.h"
#include "support/byte_stream_support.h"
#include "support/dng_maker.h"
#include "support/ppm.h"
#include "support/test_support.h"

using dng_maker::DngOptions;
using testing_support::readBytes;
using Bytes = std::vector<uint8_t>;

namespace {

// Loads the bytes from a file through the format table, reduced to the wish when it is positive,
// within the budget when one is given.
std::unique_ptr<DibImage> decodeRaw(const Bytes& bytes, int32_t wish = 0, uint64_t budget = 0) {
    testing_support::TempDir dir;
    const std::string path = dir.file("photo.dng");
    testing_support::writeBytes(path, bytes);
    auto image = std::make_unique<DibImage>();
    if (budget) image->setDecodeBudget(budget);
    const bool ok = wish ? image->loadReduced(path.c_str(), RAW, wish, wish)
                         : image->loadFromFile(path.c_str(), RAW);
    EXPECT_EQ(ok, image->isValid());
    image->setDecodeBudget(UINT64_MAX);
    return image;
}

// A reference tool's picture of the file: dcraw_emu -w with the flags, or with "-e" the
// embedded preview as simple_dcraw extracts it (stored, a JPEG decoded here at the wish).
DibImage reference(const std::string& path, const std::string& flags, int32_t wish) {
    const std::string tool = flags == "-e" ? "simple_dcraw -e '" : "dcraw_emu -w " + flags + " '";
    DibImage picture;
    if (std::system((tool + path + "' >/dev/null 2>&1").c_str()) != 0) return picture;
    if (FILE* file = std::fopen((path + ".thumb.jpg").c_str(), "rb")) {
        JpegCodec jpeg;
        jpeg.minWidth = jpeg.minHeight = wish;
        ImageStream stream(file);
        if (jpeg.decode(stream)) picture.transfer(jpeg);
        std::fclose(file);
        return picture;
    }
    const auto ppm = testing_support::readPpm(path + (flags == "-e" ? ".thumb.ppm" : ".ppm"));
    if (ppm.width > 0 && picture.create(ppm.width, ppm.height, 24, RAW))
        for (int i = 0; i < ppm.width * ppm.height; ++i)
            picture.setPixelColor(i % ppm.width, ppm.height - 1 - i / ppm.width,
                                  RgbQuad{ppm.rgb[3 * i + 2], ppm.rgb[3 * i + 1], ppm.rgb[3 * i]});
    return picture;
}

// The stored picture's pixel that TIFF Orientation puts at (x, y) from the top of the upright
// one; w x h are the stored sides.
void unturn(int orientation, int x, int y, int w, int h, int* sx, int* sy) {
    *sx = orientation == 3 ? w - 1 - x : orientation == 6 ? y : orientation == 8 ? w - 1 - y : x;
    *sy = orientation == 3 ? h - 1 - y : orientation == 6 ? h - 1 - x : orientation == 8 ? x : y;
}

TEST(RawSignature, TellsTheFormatsThatHaveAMark) {
    const std::string tiff("II*\0\x10\0\0\0", 8), ftyp(
                                                      "\0\0\0\x18"
                                                      "ftyp",
                                                      8);
    const std::vector<std::pair<std::string, bool>> cases = {
        {ftyp + "crx ", true},
        {"IIRO", true},
        {"IIRS", true},
        {std::string("MMOR"), true},
        {std::string("IIU\0", 4), true},
        {"FUJIFILMCCD-RAW 0201", true},
        {tiff + "CR", true},
        {"FOVb", true},
        {std::string("\0MRM", 4), true},
        {tiff + "\0\0", false},  // DNG, NEF, ARW...
        {tiff + "\0CR", false},
        {ftyp + "crx", false},
        {ftyp + "heic", false},
        {"FUJIFILMCCD-RA", false},
        {"\xFF\xD8\xFF\xE0", false},
        {"", false},
    };
    for (const auto& [head, raw] : cases)
        EXPECT_EQ(isRawSignature(reinterpret_cast<const uint8_t*>(head.data()), head.size()), raw)
            << head;
    // A DNG is a TIFF file to look at: its extension makes it RAW, a .tif name keeps it TIFF.
    testing_support::TempDir dir;
    const Bytes dng = dng_maker::makeDng({});
    const Bytes cr2 = [&] {
        Bytes b = dng;
        b[8] = 'C', b[9] = 'R';
        return b;
    }();
    const std::string cr3Head = ftyp + "crx " + std::string(20, '\0');  // ISO media, as HEIF
    const Bytes cr3(cr3Head.begin(), cr3Head.end());
    for (const auto& [name, bytes, type] :
         std::vector<std::tuple<const char*, Bytes, int>>{{"a.dng", dng, RAW},
                                                          {"a.NEF", dng, RAW},
                                                          {"a.tif", dng, TIFF},
                                                          {"a.tif", cr2, RAW},
                                                          {"a.heic", cr3, RAW}}) {
        testing_support::writeBytes(dir.file(name), bytes);
        EXPECT_EQ(formats::detectFileFormat(dir.file(name)), type) << name;
    }
}

TEST(RawDecode, DevelopsAsLibRawsToolsUpright) {
    if (std::system("command -v dcraw_emu >/dev/null && command -v simple_dcraw >/dev/null"))
        GTEST_SKIP() << "dcraw_emu and simple_dcraw (libraw-bin) are not installed";
    struct Case {
        DngOptions dng;
        int32_t wish;
        const char* flags;  // of the reference: "" full, "-h" half size, "-e" the preview
    };
    const std::vector<Case> cases = {
        {{64, 48, 1}, 0, ""},
        {{67, 45, 1}, 0, ""},
        {{64, 48, 3}, 0, ""},
        {{64, 48, 6}, 0, ""},
        {{64, 48, 8}, 0, ""},
        {{128, 96, 1, 32}, 0, ""},
        {{128, 96, 1}, 40, "-h"},
        {{128, 96, 6}, 48, "-h"},
        {{128, 96, 1}, 49, ""},
        {{128, 96, 6, 32}, 24, "-e"},
        {{128, 96, 3, 32}, 24, "-e"},
        {{128, 96, 1, 32}, 25, "-h"},
        {{256, 192, 1, 128, true}, 96, "-e"},
        {{256, 192, 8, 128, true}, 30, "-e"},
    };
    testing_support::TempDir dir;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        const std::string path = dir.file(std::to_string(i) + ".dng");
        ASSERT_TRUE(dng_maker::writeDng(path, c.dng));
        const DibImage want = reference(path, c.flags, c.wish);
        ASSERT_TRUE(want.isValid());
        const auto got = decodeRaw(readBytes(path), c.wish);
        ASSERT_TRUE(got->isValid()) << got->lastError();
        // LibRaw turns its developments; the preview is stored as the sensor saw it.
        const bool preview = c.flags == std::string("-e"), sideways = c.dng.orientation >= 5;
        const int w = got->width(), h = got->height();
        ASSERT_EQ(w, preview && sideways ? want.height() : want.width());
        ASSERT_EQ(h, preview && sideways ? want.width() : want.height());
        EXPECT_GE(std::min(w, h), c.wish);
        if (c.flags[0]) {
            EXPECT_LT(w * h, c.dng.width * c.dng.height) << "not reduced";
        }
        int mismatches = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sx = x, sy = y;
                if (preview) unturn(c.dng.orientation, x, y, want.width(), want.height(), &sx, &sy);
                mismatches += got->getPixelColor(x, h - 1 - y) !=
                              want.getPixelColor(sx, want.height() - 1 - sy);
            }
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(got->type(), uint32_t(RAW));
    }
}

TEST(RawDecode, DamagedFilesFailWithAReason) {
    const Bytes good = dng_maker::makeDng({64, 48, 6});
    const Bytes withPreview = dng_maker::makeDng({64, 48, 6, 16});
    ASSERT_GT(good.size(), 512u);
    // The CFA picture's sides, in IFD0, claimed far larger.
    auto claiming = [&](uint32_t width, uint32_t height) {
        Bytes b = good;
        const size_t ifd = byte_stream_support::get32(b, 4);
        for (size_t e = ifd + 2; e < ifd + 2 + 12 * (b[ifd] | b[ifd + 1] << 8); e += 12)
            if (b[e + 1] == 1 && (b[e] == 0 || b[e] == 1)) {  // tags 256 and 257
                const uint32_t v = b[e] == 0 ? width : height;
                for (int k = 0; k < 4; ++k) b[e + 8 + k] = uint8_t(v >> (8 * k));
            }
        return b;
    };
    const std::string reading = "Error reading RAW file: ";
    struct Case {
        Bytes bytes;
        int32_t wish;
        uint64_t budget;  // 0 for the file's own
        std::string message;
    };
    const Bytes badPreview = readBytes(testing_support::dataPath("raw/bad-preview-length.dng"));
    const std::vector<Case> cases = {
        {Bytes{}, 0, 0, reading},
        {Bytes(good.begin(), good.begin() + 40), 0, 0, reading},
        {Bytes(4000, 0x5A), 0, 0, reading + "Unsupported file format or not RAW file"},
        {dng_maker::makeDng({16, 12}), 0, 0, reading},  // smaller than LibRaw develops
        {claiming(15000, 10000), 0, 0, kDataTooShort},
        {claiming(2000, 1500), 0, 0, kDataTooShort},  // more pixels than the file has bits
        {claiming(30000, 20000), 0, 0, "Image too large: 20000 x 30000"},  // upright sides
        {good, 0, 32 * 1024, kDataTooShort},
        {good, 8, 32 * 1024, ""},  // a half-size development needs a quarter of that
        {good, 0, 1 << 20, ""},
        // A preview longer than its sides made LibRaw write past its buffer.
        {badPreview, 8, 0, kDataTooShort},
    };
    for (const Case& c : cases) {
        const auto got = decodeRaw(c.bytes, c.wish, c.budget);
        EXPECT_EQ(got->isValid(), c.message.empty()) << c.message;
        EXPECT_EQ(std::string(got->lastError()).substr(0, c.message.size()), c.message);
    }
    // Cut anywhere or overwritten in its tags, a file develops whole or fails with a reason.
    uint32_t seed = 7;
    for (size_t i = 0; i < 80; ++i) {
        const Bytes& file = i % 2 ? good : withPreview;
        Bytes b(file.begin(), file.begin() + std::ptrdiff_t(i < 40 ? file.size() * i / 40 : 0));
        for (int k = 0; i >= 40 && k < 6; ++k) {
            if (k == 0) b = file;
            seed = seed * 1103515245u + 12345u;
            b[(seed >> 8) % 512] = uint8_t(seed >> 24);
        }
        for (const int32_t wish : {0, 8}) {
            const auto got = decodeRaw(b, wish);
            EXPECT_TRUE(got->isValid() ? got->bitCount() == 24 : got->lastError()[0] != 0) << i;
        }
    }
}

}  // namespace
