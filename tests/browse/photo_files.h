// Small photo files for the browsing tests: pictures of a given size written by the library's
// own codecs, and files that only look like photos by name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "image/dib_image.h"
#include "support/test_support.h"

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

// The mixed folder of the listing tests, in folder d (ending in "/"): photos named
// holiday.JPG (300 x 200), x.Jpeg (200 x 50), photo.tif (90 x 60) and png.jpg (100 x 100, a PNG
// inside); notes.jpg.txt, text; a.png, a folder holding readme.txt.
inline bool writeMixedFolder(const std::string& d) {
    if (!writePhoto(d + "holiday.JPG", 300, 200, JPEG) ||
        !writePhoto(d + "x.Jpeg", 200, 50, JPEG) || !writePhoto(d + "photo.tif", 90, 60, TIFF) ||
        !writePhoto(d + "png.jpg", 100, 100, PNG))
        return false;
    testing_support::writeBytes(d + "notes.jpg.txt", {'n', 'o', 't', 'e', 's', '\n'});
    std::filesystem::create_directory(d + "a.png");
    testing_support::writeBytes(d + "a.png/readme.txt", {'r', 'e', 'a', 'd', '\n'});
    return true;
}

}  // namespace browse_testing
