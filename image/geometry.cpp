// Geometry: quarter turns, flip and mirror. (Plain versions; resampling comes with the
// pixel-operations work.)
#include <algorithm>
#include <cstring>

#include "image/dib_image.h"

namespace {

bool turn(DibImage& self, DibImage* target, bool right) {
    if (!self.isValid()) return false;
    const int32_t W = self.width(), H = self.height();
    DibImage tmp;
    tmp.info = self.info;
    tmp.info.owner = nullptr;
    if (!tmp.create(H, W, self.bitCount(), self.type())) return false;
    const uint32_t n = std::min(self.header.colorsUsed, 256u);
    if (n) std::memcpy(tmp.paletteBase(), self.paletteBase(), size_t(n) * 4);
    const bool paletted = self.header.colorsUsed != 0;
    if (self.hasAlpha()) tmp.alphaCreate();
    for (int32_t y = 0; y < W; ++y)
        for (int32_t x = 0; x < H; ++x) {
            const int32_t ox = right ? W - 1 - y : y;
            const int32_t oy = right ? x : H - 1 - x;
            if (paletted)
                tmp.setPixelIndex(x, y, self.getPixelIndex(ox, oy));
            else
                tmp.setPixelColor(x, y, self.getPixelColor(ox, oy));
            if (self.hasAlpha()) tmp.alphaSet(x, y, self.alphaGet(ox, oy));
        }
    (target ? *target : self).transfer(tmp);
    return true;
}

}  // namespace

bool DibImage::rotateLeft(DibImage* target) {
    return turn(*this, target, false);
}
bool DibImage::rotateRight(DibImage* target) {
    return turn(*this, target, true);
}

bool DibImage::flip() {
    if (!isValid()) return false;
    DibImage tmp(*this, false, true);
    if (!tmp.isValid()) return false;
    const int32_t H = height();
    for (int32_t y = 0; y < H; ++y) std::memcpy(tmp.row(y), row(H - 1 - y), stride());
    tmp.alphaFlip();
    transfer(tmp);
    return true;
}

bool DibImage::mirror() {
    if (!isValid()) return false;
    DibImage tmp(*this, false, true);
    if (!tmp.isValid()) return false;
    const int32_t W = width(), H = height();
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            if (bitCount() == 24) {
                std::memcpy(tmp.row(y) + size_t(W - 1 - x) * 3, row(y) + size_t(x) * 3, 3);
            } else {
                tmp.setPixelIndex(W - 1 - x, y, getPixelIndex(x, y));
            }
        }
    tmp.alphaMirror();
    transfer(tmp);
    return true;
}
