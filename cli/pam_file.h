// The decoded picture as a PAM file (P7, MAXVAL 255), top row first: what `dump` writes.
// Header-only so the tests can write pictures the command cannot load yet (alpha planes).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/dib_image.h"

// Writes RGB tuples, or RGB_ALPHA ones when the image has an alpha plane. Colours come from
// getPixelColor, so palettes are resolved. Returns false on an empty image or a write error.
inline bool writePam(const DibImage& image, FILE* file) {
    if (!image.isValid() || !file) return false;
    const int32_t width = image.width();
    const int32_t height = image.height();
    const bool alpha = image.hasAlpha();
    const int depth = alpha ? 4 : 3;
    if (std::fprintf(file, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n",
                     int(width), int(height), depth, alpha ? "RGB_ALPHA" : "RGB") < 0)
        return false;
    std::vector<uint8_t> line(size_t(width) * size_t(depth));
    for (int32_t r = 0; r < height; ++r) {
        // Image rows count from the bottom; PAM starts at the top.
        const int32_t y = height - 1 - r;
        uint8_t* out = line.data();
        for (int32_t x = 0; x < width; ++x) {
            const RgbQuad c = image.getPixelColor(x, y);
            *out++ = c.red;
            *out++ = c.green;
            *out++ = c.blue;
            if (alpha) *out++ = image.alphaGet(x, y);
        }
        if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) return false;
    }
    return std::fflush(file) == 0 && !std::ferror(file);
}
