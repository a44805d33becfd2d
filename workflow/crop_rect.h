// CropRect: the part of a photo that is kept, in pixels of the upright photo at full
// resolution. The editor's history, the preview, saving and the command line share it.
#pragma once
#include <cstdint>

struct CropRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    // Whether the rectangle lies wholly inside a picture of the given size.
    bool fitsIn(int32_t pictureWidth, int32_t pictureHeight) const {
        return !isEmpty() && x >= 0 && y >= 0 && int64_t(x) + width <= pictureWidth &&
               int64_t(y) + height <= pictureHeight;
    }
    friend bool operator==(const CropRect&, const CropRect&) = default;
};
