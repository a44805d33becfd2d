// A test photo of flat colour blocks (4 across, 3 down, 100 pixels each: a 4:3 landscape), so
// that scaled, compressed and rasterised copies can be compared block by block.
#pragma once

#include <cstdint>

#include "image/dib_image.h"

namespace block_photo {

inline constexpr int32_t kColumns = 4;
inline constexpr int32_t kRows = 3;
inline constexpr int32_t kBlock = 100;

// Red, green, blue of block (column, row), rows counted from the top; no two alike.
inline void blockColour(int32_t column, int32_t row, uint8_t rgb[3]) {
    rgb[0] = uint8_t(30 + 60 * column);
    rgb[1] = uint8_t(40 + 80 * row);
    rgb[2] = uint8_t(200 - 40 * column - 30 * row);
}

inline DibImage make() {
    DibImage image;
    image.create(kColumns * kBlock, kRows * kBlock, 24, 0);
    const int32_t H = image.height();
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* p = image.row(H - 1 - y);  // rows are stored from the bottom
        for (int32_t x = 0; x < image.width(); ++x, p += 3) {
            uint8_t rgb[3];
            blockColour(x / kBlock, y / kBlock, rgb);
            p[0] = rgb[2];
            p[1] = rgb[1];
            p[2] = rgb[0];
        }
    }
    return image;
}

}  // namespace block_photo
