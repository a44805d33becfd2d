// Small photo files for the browsing tests: pictures of a given size written by the library's
// own codecs, and files that only look like photos by name.
#pragma once

#include <cstdint>
#include <string>

#include "image/dib_image.h"

namespace browse_testing {

// Writes a width x height 24-bit picture (a seeded gradient) as type to path.
inline bool writePhoto(const std::string& path, int32_t width, int32_t height, uint32_t type,
                       uint32_t seed = 1) {
    DibImage image(width, height, 24, type);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image.row(y);
        for (int32_t x = 0; x < width; ++x) {
            row[x * 3] = uint8_t(x * 7 + seed);
            row[x * 3 + 1] = uint8_t(y * 5 + seed * 3);
            row[x * 3 + 2] = uint8_t((x + y) * 3);
        }
    }
    return image.saveToFile(path.c_str(), type);
}

}  // namespace browse_testing
