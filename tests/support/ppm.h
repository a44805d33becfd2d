// Expected pictures stored as binary PPM files beside the fixtures, and a pixel-by-pixel
// comparison of a decoded image against one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/dib_image.h"

namespace testing_support {

struct Ppm {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top row first
};

// Binary PPM (P6, maxval 255); an empty Ppm when the file is missing or of another kind.
Ppm readPpm(const std::string& path);

// Compares every pixel of the image with the PPM's; the failure names the first difference.
::testing::AssertionResult samePixels(const DibImage& img, const Ppm& ppm);

}  // namespace testing_support
