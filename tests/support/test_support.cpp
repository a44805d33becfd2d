// Small deterministic pictures and file helpers shared by the tests.
#include "support/test_support.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace testing_support {

DibImage makeF() {
    static const char* rows[5] = {
        "#####.", "#.....", "####..", "#.....", "#.....",
    };
    DibImage img(6, 5, 24, BMP);
    for (int r = 0; r < 5; ++r)
        for (int x = 0; x < 6; ++x) {
            const bool ink = rows[r][x] == '#';
            img.setPixelColor(x, 4 - r, ink ? RgbQuad{0, 0, 255, 0} : RgbQuad{255, 0, 0, 0});
        }
    return img;
}

DibImage randomImage(int32_t width, int32_t height, uint32_t bitCount, uint32_t seed,
                     bool withAlpha) {
    std::mt19937 rng(seed);
    DibImage img(width, height, bitCount, BMP);
    if (!img.isValid()) return img;
    for (uint32_t i = 0; i < img.header.colorsUsed; ++i)
        img.setPaletteColor(i, RgbQuad::fromValue(rng() & 0x00FFFFFF));
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = img.row(y);
        for (uint32_t i = 0; i < img.stride(); ++i) row[i] = uint8_t(rng());
        // Keep the row padding zero so byte comparisons of whole rows stay meaningful.
        const uint32_t used = (uint32_t(width) * img.bitCount() + 7) / 8;
        for (uint32_t i = used; i < img.stride(); ++i) row[i] = 0;
        if (img.bitCount() < 8 && (width * img.bitCount()) % 8) {
            const int spare = 8 - int(width * img.bitCount()) % 8;
            row[used - 1] &= uint8_t(0xFF << spare);
        }
    }
    if (withAlpha) {
        img.alphaCreate();
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) img.alphaSet(x, y, uint8_t(rng()));
    }
    return img;
}

bool sameImage(const DibImage& a, const DibImage& b, std::string* why) {
    auto fail = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (a.isValid() != b.isValid()) return fail("validity differs");
    if (!a.isValid()) return true;
    if (a.width() != b.width() || a.height() != b.height()) return fail("size differs");
    if (a.bitCount() != b.bitCount()) return fail("bit count differs");
    if (a.header.colorsUsed != b.header.colorsUsed) return fail("palette size differs");
    for (uint32_t i = 0; i < a.header.colorsUsed; ++i)
        if (a.getPaletteColor(i) != b.getPaletteColor(i))
            return fail("palette entry " + std::to_string(i) + " differs");
    for (int32_t y = 0; y < a.height(); ++y)
        for (int32_t x = 0; x < a.width(); ++x) {
            const bool differs = a.header.colorsUsed
                                     ? a.getPixelIndex(x, y) != b.getPixelIndex(x, y)
                                     : a.getPixelColor(x, y) != b.getPixelColor(x, y);
            if (differs) {
                std::ostringstream s;
                s << "pixel (" << x << ", " << y << ") differs";
                return fail(s.str());
            }
        }
    if (a.hasAlpha() != b.hasAlpha()) return fail("alpha presence differs");
    if (a.hasAlpha() &&
        std::memcmp(a.alphaPlane(), b.alphaPlane(), size_t(a.width()) * a.height()) != 0)
        return fail("alpha plane differs");
    return true;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vfx-test-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string dataPath(const std::string& relative) {
    return std::string(VFX_TEST_DATA_DIR) + "/" + relative;
}

}  // namespace testing_support
