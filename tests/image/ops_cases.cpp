// Seeded random pictures of every depth and shape for comparing the fast pixel operations
// with their per-pixel references, and a byte-exact comparison of two images.
#include "image/ops_cases.h"

#include <cstring>
#include <random>
#include <sstream>

#include "support/test_support.h"

namespace ops_cases {

namespace {

struct Size {
    int32_t w, h;
};

const Size kSizes[] = {{1, 1},   {2, 1},  {1, 3},    {3, 2},   {5, 7},   {17, 9},
                       {33, 31}, {64, 5}, {131, 77}, {257, 3}, {3, 200}, {301, 203}};

}  // namespace

std::vector<Case> randomCases(uint32_t seed) {
    std::vector<Case> cases;
    std::mt19937 rng(seed);
    int sizeIndex = 0;
    for (const Size& s : kSizes) {
        ++sizeIndex;
        int depthIndex = 0;
        for (uint32_t bits : {1u, 4u, 8u, 24u}) {
            ++depthIndex;
            // The largest size only in 8 and 24 bits, to keep the references quick.
            if (s.w * s.h > 50000 && bits < 8) continue;
            // Variants by n: over the sizes of one depth, n takes twelve consecutive values,
            // so every depth meets every variant.
            const int n = sizeIndex + depthIndex;
            const bool alpha = n % 2 == 0;
            DibImage img = testing_support::randomImage(s.w, s.h, bits, rng(), alpha);
            // Per-format values that every operation must carry along.
            img.setXDpi(96 + n);
            img.setYDpi(300);
            img.info.jpegQuality = uint8_t(50 + n);
            std::ostringstream name;
            name << s.w << "x" << s.h << "x" << bits << (alpha ? " alpha" : "");
            if (n % 3 != 0) {
                img.info.backgroundColour = RgbQuad::fromValue(rng());
                name << " bg";
            }
            if (n % 7 == 1 || n % 7 == 4) {
                // Row padding and spare bits that are not zero.
                const uint32_t used = (uint32_t(s.w) * bits + 7) / 8;
                for (int32_t y = 0; y < s.h; ++y) {
                    uint8_t* r = img.row(y);
                    for (uint32_t i = used; i < img.stride(); ++i) r[i] = uint8_t(rng() | 1);
                    if ((uint32_t(s.w) * bits) % 8)
                        r[used - 1] |= uint8_t(0xFF >> ((s.w * bits) % 8));
                }
                name << " padding";
            }
            if (n % 5 == 1 || n % 5 == 3) {
                // In 24 bits any index marks the background colour as transparent.
                img.info.backgroundIndex = bits < 24 ? int32_t(rng() % img.header.colorsUsed) : 0;
                name << " transparent" << img.info.backgroundIndex;
            }
            if (bits < 24) {
                const uint32_t colours = img.header.colorsUsed;
                if (n % 5 == 2 && colours > 2) {
                    // One colour twice: writing it back picks the first of the two.
                    img.setPaletteColor(colours - 1, img.getPaletteColor(1));
                    name << " dup";
                }
                if (n % 7 == 3) {
                    for (uint32_t i = 0; i < colours; ++i) img.setPaletteColor(i, i, i, i);
                    name << " ramp";
                }
                if (n % 6 == 5) {
                    for (uint32_t i = 0; i < colours; ++i) {
                        RgbQuad e = img.getPaletteColor(i);
                        e.reserved = uint8_t(rng());
                        img.setPaletteColor(i, e);
                    }
                    name << " palette-alpha";
                }
            }
            cases.push_back(Case{name.str(), std::move(img)});
        }
    }
    return cases;
}

std::vector<Case> trueColourCases(uint32_t seed) {
    std::vector<Case> all = randomCases(seed), out;
    for (Case& c : all)
        if (c.image.bitCount() == 24) out.push_back(std::move(c));
    return out;
}

::testing::AssertionResult identical(const DibImage& a, const DibImage& b) {
    auto fail = [](const std::string& what) { return ::testing::AssertionFailure() << what; };
    if (a.isValid() != b.isValid()) return fail("validity differs");
    if (!a.isValid()) return ::testing::AssertionSuccess();
    if (std::memcmp(&a.header, &b.header, sizeof(a.header)) != 0) return fail("header differs");
    if (std::memcmp(a.block(), b.block(), 40) != 0) return fail("header in block differs");
    std::string why;
    if (!testing_support::sameImage(a, b, &why)) return fail(why);
    if (std::memcmp(a.block(), b.block(), a.totalSize()) != 0)
        return fail("block bytes (row padding) differ");
    const ImageInfo &p = a.info, &q = b.info;
    if (p.stride != q.stride || p.type != q.type || p.colorType != q.colorType ||
        p.backgroundIndex != q.backgroundIndex || p.backgroundColour != q.backgroundColour ||
        p.jpegQuality != q.jpegQuality || p.frameIndex != q.frameIndex ||
        p.frameCount != q.frameCount || p.frameDelay != q.frameDelay || p.xDpi != q.xDpi ||
        p.yDpi != q.yDpi || p.alphaMax != q.alphaMax ||
        p.alphaPaletteEnabled != q.alphaPaletteEnabled || p.xOffset != q.xOffset ||
        p.yOffset != q.yOffset || (p.owner == nullptr) != (q.owner == nullptr) ||
        std::strcmp(p.lastError, q.lastError) != 0)
        return fail("info block differs");
    return ::testing::AssertionSuccess();
}

}  // namespace ops_cases
