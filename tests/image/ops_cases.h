// Seeded random pictures of every depth and shape for comparing the fast pixel operations
// with their per-pixel references, and a byte-exact comparison of two images.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/dib_image.h"

namespace ops_cases {

struct Case {
    std::string name;
    DibImage image;
};

// Pictures of 1, 4, 8 and 24 bits from 1 x 1 to a few hundred pixels, odd widths (row
// padding), with and without an alpha plane, some with a transparent index, a non-black
// background colour, palettes holding one colour twice, or the identity grey ramp.
std::vector<Case> randomCases(uint32_t seed);

// Only the 24-bit ones of randomCases.
std::vector<Case> trueColourCases(uint32_t seed);

// Header, whole block (palette, pixels and row padding), the info block and the alpha plane
// all equal.
::testing::AssertionResult identical(const DibImage& a, const DibImage& b);

}  // namespace ops_cases
