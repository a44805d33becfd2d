// A caller-owned 24-bit BGR raster that images paint onto, standing in for a device context.
// Coordinates are device coordinates: x to the right, y downwards from the top-left corner.
#pragma once

#include <cstdint>
#include <vector>

struct SurfaceRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;   // exclusive
    int32_t bottom = 0;  // exclusive

    bool isEmpty() const { return right <= left || bottom <= top; }
    SurfaceRect intersect(const SurfaceRect& o) const;
};

class Surface {
  public:
    // A surface with its own zeroed (black) memory; rows padded to four bytes.
    Surface(int32_t width, int32_t height, bool topDown = true);
    // A view of memory the caller keeps alive (for instance a QImage's bits).
    Surface(uint8_t* data, int32_t width, int32_t height, int32_t stride, bool topDown);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t stride() const { return stride_; }
    bool topDown() const { return topDown_; }
    uint8_t* data() const { return data_; }

    // Row y in device coordinates (0 = top), whatever the memory order.
    uint8_t* scanLine(int32_t y) const {
        return data_ + int64_t(topDown_ ? y : height_ - 1 - y) * stride_;
    }

    // The clip box: painting never touches pixels outside it. Starts as the whole surface.
    const SurfaceRect& clipBox() const { return clip_; }
    void setClip(const SurfaceRect& rect);

    // Fills a rectangle (clipped) with one colour given as blue, green, red.
    void fill(const SurfaceRect& rect, uint8_t blue, uint8_t green, uint8_t red);
    // Blue, green, red of one device pixel as a 0x00RRGGBB value; 0 outside.
    uint32_t pixelValue(int32_t x, int32_t y) const;

  private:
    std::vector<uint8_t> own_;
    uint8_t* data_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t stride_ = 0;
    bool topDown_ = true;
    SurfaceRect clip_;
};
