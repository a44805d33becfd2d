// The caller-owned painting surface: clipping, fills and pixel reads.
#include "image/surface.h"

#include <algorithm>
#include <cstring>

SurfaceRect SurfaceRect::intersect(const SurfaceRect& o) const {
    SurfaceRect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                  std::min(bottom, o.bottom)};
    if (r.isEmpty()) return SurfaceRect{};
    return r;
}

Surface::Surface(int32_t width, int32_t height, bool topDown)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), topDown_(topDown) {
    stride_ = ((width_ * 3) + 3) & ~3;
    own_.assign(size_t(stride_) * size_t(height_) + 1, 0);
    data_ = own_.data();
    clip_ = SurfaceRect{0, 0, width_, height_};
}

Surface::Surface(uint8_t* data, int32_t width, int32_t height, int32_t stride, bool topDown)
    : data_(data), width_(width), height_(height), stride_(stride), topDown_(topDown) {
    clip_ = SurfaceRect{0, 0, width_, height_};
}

void Surface::setClip(const SurfaceRect& rect) {
    clip_ = rect.intersect(SurfaceRect{0, 0, width_, height_});
}

void Surface::fill(const SurfaceRect& rect, uint8_t blue, uint8_t green, uint8_t red) {
    SurfaceRect r = rect.intersect(clip_);
    for (int32_t y = r.top; y < r.bottom; ++y) {
        uint8_t* p = scanLine(y) + r.left * 3;
        for (int32_t x = r.left; x < r.right; ++x, p += 3) {
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
}

uint32_t Surface::pixelValue(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* p = scanLine(y) + x * 3;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
