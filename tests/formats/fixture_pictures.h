// Formulas shared by the TGA, ICO and PCX fixture generators (tests/data/*/make_fixtures.py):
// the 16-colour palette they all use and the 7 x 5 colour picture of the TGA and ICO files.
#pragma once

#include "image/dib_image.h"

namespace fixture_pictures {

constexpr RgbQuad rgb(int r, int g, int b) {
    return RgbQuad{uint8_t(b), uint8_t(g), uint8_t(r), 0};
}

inline constexpr RgbQuad kPal16[16] = {
    rgb(0, 0, 0),     rgb(255, 255, 255), rgb(255, 0, 0),     rgb(0, 255, 0),
    rgb(0, 0, 255),   rgb(255, 255, 0),   rgb(0, 255, 255),   rgb(255, 0, 255),
    rgb(128, 0, 0),   rgb(0, 128, 0),     rgb(0, 0, 128),     rgb(128, 128, 0),
    rgb(0, 128, 128), rgb(128, 0, 128),   rgb(192, 192, 192), rgb(64, 32, 16)};

// The TGA and ICO colour picture, by column x and row r counted from the top.
constexpr int kSmallW = 7, kSmallH = 5;
constexpr RgbQuad smallColourAt(int x, int r) {
    return rgb(8 * (4 * x + 1), 8 * (6 * r + 2), 8 * ((3 * x + 5 * r) % 32));
}

}  // namespace fixture_pictures
