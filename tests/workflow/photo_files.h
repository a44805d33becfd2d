// Writing test photos in a lossless format, so that what is read back is what was made.
#pragma once

#include <string>

#include "image/dib_image.h"
#include "support/test_support.h"

inline uint32_t photoType() {
    return PNG;
}

// dir/stem.png holding image; the path.
inline std::string writePhoto(const testing_support::TempDir& dir, const std::string& stem,
                              DibImage image) {
    const std::string path = dir.file(stem + ".png");
    if (!image.saveToFile(path.c_str(), PNG)) return std::string();
    return path;
}
