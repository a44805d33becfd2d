// Crops: cutting one out of a picture and carrying it between the sizes a photo is seen at.
#include "workflow/photo_crop.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "browse/thumbnail_maker.h"

bool cropPicture(DibImage& picture, const CropRect& crop) {
    if (!picture.isValid() || !crop.fitsIn(picture.width(), picture.height())) return false;
    const int32_t H = picture.height(), w = crop.width, h = crop.height;
    const uint32_t bits = picture.bitCount();
    DibImage out;
    out.header = picture.header;
    out.info = picture.info;
    out.info.owner = nullptr;
    out.info.pixels = nullptr;
    if (!out.create(w, h, bits, picture.type())) return false;
    out.info.colorType = picture.info.colorType;
    const uint32_t colours = std::min(out.header.colorsUsed, picture.header.colorsUsed);
    if (colours) std::memcpy(out.paletteBase(), picture.paletteBase(), colours * 4);
    // Rows are stored from the bottom; the crop counts them from the top.
    const int32_t firstRow = H - crop.y - h;
    for (int32_t r = 0; r < h; ++r) {
        if (bits >= 8) {
            const size_t bytes = bits / 8;
            std::memcpy(out.row(r), picture.row(firstRow + r) + size_t(crop.x) * bytes,
                        size_t(w) * bytes);
        } else {
            for (int32_t x = 0; x < w; ++x)
                out.setPixelIndex(x, r, picture.getPixelIndex(crop.x + x, firstRow + r));
        }
    }
    if (picture.hasAlpha()) {
        if (!out.alphaCreate()) return false;
        const int32_t W = picture.width();
        for (int32_t r = 0; r < h; ++r)
            std::memcpy(out.alphaPlane() + size_t(r) * w,
                        picture.alphaPlane() + size_t(firstRow + r) * W + crop.x, size_t(w));
    }
    picture.transfer(out);
    return true;
}

bool cropPhoto(PhotoEdit& photo, const CropRect& crop) {
    photo.redPlane.destroy();
    photo.greenPlane.destroy();
    photo.bluePlane.destroy();
    return cropPicture(photo.image, crop);
}

CropRect scaleCrop(const CropRect& crop, int32_t fullWidth, int32_t fullHeight, int32_t width,
                   int32_t height) {
    if (crop.isEmpty() || fullWidth <= 0 || fullHeight <= 0 || width <= 0 || height <= 0)
        return CropRect{};
    // The edges, not the sizes, are scaled, so that neighbouring crops still meet.
    const auto edge = [](int64_t v, int32_t from, int32_t to) {
        return int32_t(std::clamp<int64_t>((v * to + from / 2) / from, 0, to));
    };
    int32_t left = edge(crop.x, fullWidth, width);
    int32_t top = edge(crop.y, fullHeight, height);
    int32_t right = edge(int64_t(crop.x) + crop.width, fullWidth, width);
    int32_t bottom = edge(int64_t(crop.y) + crop.height, fullHeight, height);
    if (right <= left) {
        right = std::min(left + 1, width);
        left = right - 1;
    }
    if (bottom <= top) {
        bottom = std::min(top + 1, height);
        top = bottom - 1;
    }
    return CropRect{left, top, right - left, bottom - top};
}

CropRect turnCrop(const CropRect& crop, int32_t width, int32_t height, int direction) {
    if (crop.isEmpty()) return crop;
    // Clockwise the left column becomes the top row; the old bottom becomes the left.
    if (direction == 0)
        return CropRect{height - crop.y - crop.height, crop.x, crop.height, crop.width};
    return CropRect{crop.y, width - crop.x - crop.width, crop.height, crop.width};
}

void fullUprightSize(const std::string& path, const PhotoEdit& loaded, int32_t& width,
                     int32_t& height) {
    width = loaded.width();
    height = loaded.height();
    int32_t w = 0, h = 0;
    if (width <= 0 || !thumbnails::jpegFrameSize(path, w, h) || w <= 0 || h <= 0) return;
    if (loaded.metadata && swapsSides(loaded.metadata->orientation)) std::swap(w, h);
    // Only a picture of one of the decoder's M/8 sizes of that frame was read from it.
    for (int64_t m = 1; m <= 8; ++m)
        if ((w * m + 7) / 8 == width && (h * m + 7) / 8 == height) {
            width = w;
            height = h;
            return;
        }
}

bool parseCrop(const std::string& text, CropRect* crop) {
    int32_t v[4] = {};
    const char* p = text.data();
    const char* end = p + text.size();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p == end || *p != ',') return false;
            ++p;
        }
        const auto [next, ec] = std::from_chars(p, end, v[i]);
        if (ec != std::errc() || next == p) return false;
        p = next;
    }
    if (p != end || v[0] < 0 || v[1] < 0 || v[2] <= 0 || v[3] <= 0) return false;
    *crop = CropRect{v[0], v[1], v[2], v[3]};
    return true;
}

std::string cropText(const CropRect& crop) {
    return std::to_string(crop.x) + "," + std::to_string(crop.y) + "," +
           std::to_string(crop.width) + "," + std::to_string(crop.height);
}

bool cropRatio(int aspect, int32_t photoWidth, int32_t photoHeight, int32_t& wide, int32_t& high) {
    if (aspect <= 0 || aspect >= kCropAspectCount || photoWidth <= 0 || photoHeight <= 0)
        return false;
    wide = kCropAspects[aspect].wide;
    high = kCropAspects[aspect].high;
    if (wide < 0) {
        wide = photoWidth;
        high = photoHeight;
        return true;
    }
    if (photoHeight > photoWidth) std::swap(wide, high);
    return true;
}

CropRect dragCrop(int32_t ax, int32_t ay, int32_t bx, int32_t by, int32_t wide, int32_t high,
                  int32_t width, int32_t height) {
    ax = std::clamp(ax, 0, width);
    ay = std::clamp(ay, 0, height);
    bx = std::clamp(bx, 0, width);
    by = std::clamp(by, 0, height);
    int64_t w = std::abs(int64_t(bx) - ax), h = std::abs(int64_t(by) - ay);
    if (wide > 0 && high > 0) {
        if (w * high > h * wide)
            w = h * wide / high;
        else
            h = w * high / wide;
    }
    if (w <= 0 || h <= 0) return CropRect{};
    const int32_t x = bx < ax ? ax - int32_t(w) : ax;
    const int32_t y = by < ay ? ay - int32_t(h) : ay;
    return CropRect{x, y, int32_t(w), int32_t(h)};
}
