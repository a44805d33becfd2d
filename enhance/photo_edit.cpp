// PhotoEdit: the corrections of one photo as thin calls on its picture, the palette shifts
// of the channel planes and their recombination, fitting and painting, and file access with
// the format taken from the file name.
#include "enhance/photo_edit.h"

#include "enhance/kernel_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const int32_t kBlurKernel[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
const int32_t kSoftenKernel[9] = {1, 1, 1, 1, 8, 1, 1, 1, 1};
const int32_t kSharpenKernel[9] = {-1, -1, -1, -1, 15, -1, -1, -1, -1};

// Past these the corrections saturate every channel anyway; the bounds keep the arithmetic
// of the operations clear of integer overflow for any value a caller passes.
constexpr int kMaxBrightness = 100000;
constexpr double kMaxContrastPercent = 1e6;

uint8_t clampChannel(int64_t v) {
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

bool isPlaneOf(const DibImage& plane, int32_t w, int32_t h) {
    return plane.isValid() && plane.bitCount() == 8 && plane.header.colorsUsed == 256 &&
           plane.width() == w && plane.height() == h;
}

// The unstretched case of stretchOnto for 8-bit paletted and 24-bit pictures, row by row
// (what the views do at every repaint): the same pixels as the general loop. False for other
// depths.
bool copyRowsAtSize(Surface* surface, const DibImage& src, int32_t x, int32_t y,
                    const SurfaceRect& area, bool orMode) {
    const uint16_t bits = src.bitCount();
    const bool paletted = src.header.colorsUsed != 0;
    if (!(bits == 8 && paletted) && !(bits == 24 && !paletted)) return false;
    uint8_t lut[256][3] = {};
    if (bits == 8) {
        for (uint32_t i = 0; i < 256; ++i) {
            const RgbQuad q = src.getPaletteColor(i);
            lut[i][0] = q.blue;
            lut[i][1] = q.green;
            lut[i][2] = q.red;
        }
    }
    const int32_t H = src.height();
    for (int32_t py = area.top; py < area.bottom; ++py) {
        const uint8_t* in = src.row(H - 1 - (py - y));
        uint8_t* out = surface->scanLine(py) + size_t(area.left) * 3;
        const int32_t first = area.left - x;
        const int32_t count = area.right - area.left;
        if (bits == 8) {
            in += first;
            if (orMode)
                for (int32_t i = 0; i < count; ++i, out += 3) {
                    const uint8_t* c = lut[in[i]];
                    out[0] |= c[0];
                    out[1] |= c[1];
                    out[2] |= c[2];
                }
            else
                for (int32_t i = 0; i < count; ++i, out += 3) std::memcpy(out, lut[in[i]], 3);
        } else {
            in += size_t(first) * 3;
            if (orMode)
                for (int32_t i = 0; i < 3 * count; ++i) out[i] |= in[i];
            else
                std::memcpy(out, in, size_t(count) * 3);
        }
    }
    return true;
}

// Copies (or ORs) src, stretched to w x h, onto the surface at (x, y). A device pixel at
// column c and row r of the rectangle shows the source column floor(c * W / w) and the
// source row, counted from the top, ceil((r + 1) * H / h) - 1: the sampling of DibImage::draw.
void stretchOnto(Surface* surface, const DibImage& src, int32_t x, int32_t y, int32_t w, int32_t h,
                 bool orMode) {
    if (!surface || !src.isValid() || w <= 0 || h <= 0) return;
    const int32_t W = src.width(), H = src.height();
    const SurfaceRect area = SurfaceRect{x, y, x + w, y + h}.intersect(surface->clipBox());
    if (area.isEmpty()) return;
    const bool sameSize = (w == W && h == H);
    if (sameSize && copyRowsAtSize(surface, src, x, y, area, orMode)) return;
    const float fx = float(W) / float(w);
    const float fy = float(H) / float(h);
    for (int32_t py = area.top; py < area.bottom; ++py) {
        const int32_t r = py - y;
        int32_t fromTop = sameSize ? r : int32_t(std::ceil(float(r + 1) * fy)) - 1;
        fromTop = std::clamp(fromTop, 0, H - 1);
        const int32_t sy = H - 1 - fromTop;
        uint8_t* out = surface->scanLine(py) + size_t(area.left) * 3;
        for (int32_t px = area.left; px < area.right; ++px, out += 3) {
            const int32_t c = px - x;
            int32_t sx = sameSize ? c : int32_t(std::floor(float(c) * fx));
            sx = std::clamp(sx, 0, W - 1);
            const RgbQuad s = src.getPixelColor(sx, sy);
            if (orMode) {
                out[0] |= s.blue;
                out[1] |= s.green;
                out[2] |= s.red;
            } else {
                out[0] = s.blue;
                out[1] = s.green;
                out[2] = s.red;
            }
        }
    }
}

}  // namespace

PhotoEdit::PhotoEdit(const PhotoEdit& other) {
    assign(other);
}

PhotoEdit& PhotoEdit::operator=(const PhotoEdit& other) {
    assign(other);
    return *this;
}

void PhotoEdit::assign(const PhotoEdit& other) {
    if (this == &other) return;
    image.copyFrom(other.image, true, true);
    redPlane.copyFrom(other.redPlane, true, true);
    greenPlane.copyFrom(other.greenPlane, true, true);
    bluePlane.copyFrom(other.bluePlane, true, true);
    fileName = other.fileName;
    metadata = other.metadata;
}

bool PhotoEdit::splitChannels() {
    return image.splitChannels(&redPlane, &greenPlane, &bluePlane);
}

// --- corrections ---

bool PhotoEdit::brighten(int amount) {
    return image.adjustLight(std::clamp(amount, -kMaxBrightness, kMaxBrightness), 100);
}

bool PhotoEdit::setContrast(double percent) {
    if (percent == 100.0) return image.isValid();
    if (std::isnan(percent)) return false;
    percent = std::clamp(percent, -kMaxContrastPercent, kMaxContrastPercent);
    return image.adjustLight(0, int(percent));
}

bool PhotoEdit::sharpen(int count) {
    if (count == 0) return image.isValid();
    const int kind = count > 0 ? kSharpen : kBlur;
    const int64_t passes = count > 0 ? int64_t(count) : -int64_t(count);
    // Full-colour pictures: all passes streamed in place, the same result in a fraction of
    // the time and memory.
    if (kernel_rows::run(image, count > 0 ? kernel_rows::Kind::kSharpen : kernel_rows::Kind::kBlur,
                         passes))
        return true;
    bool ok = true;
    for (int64_t i = 0; i < passes; ++i) ok = applyFilter(kind) && ok;
    return ok;
}

bool PhotoEdit::applyFilter(int kind) {
    switch (kind) {
        case kBlur:
            if (kernel_rows::run(image, kernel_rows::Kind::kBlur, 1)) return true;
            return image.applyKernel(kBlurKernel, 3, 9, 0);
        case kSoften:
            return image.applyKernel(kSoftenKernel, 3, 16, 0);
        case kSharpen:
            if (kernel_rows::run(image, kernel_rows::Kind::kSharpen, 1)) return true;
            return image.applyKernel(kSharpenKernel, 3, 7, 0);
        default:
            return false;
    }
}

bool PhotoEdit::rotateQuarter(int direction) {
    if (direction == 0) return image.rotateRight();
    if (direction == 1) return image.rotateLeft();
    return false;
}

bool PhotoEdit::setQuarterTurns(int n) {
    // Four quarter turns give the picture back exactly, so only the remainder is turned.
    const int turns = n % 4;
    bool ok = image.isValid();
    for (int i = 0; i < turns; ++i) ok = rotateQuarter(0) && ok;
    for (int i = 0; i < -turns; ++i) ok = rotateQuarter(1) && ok;
    return ok;
}

namespace {

// image := source resampled to newWidth x newHeight, a side of 0 following the aspect.
bool resampleImage(DibImage& image, const DibImage& source, int32_t newWidth, int32_t newHeight,
                   int mode, const DibImage* made = nullptr) {
    if (!source.isValid()) return false;
    if (newWidth == 0 && newHeight == 0) return false;
    PhotoEdit::resampledSize(source.width(), source.height(), newWidth, newHeight);
    return image.resampleFrom(source, newWidth, newHeight, mode, made);
}

}  // namespace

void PhotoEdit::resampledSize(int32_t width, int32_t height, int32_t& newWidth,
                              int32_t& newHeight) {
    const int64_t w = width, h = height;
    if (newHeight == 0) newHeight = int32_t(double(int64_t(newWidth) * h) / double(w));
    if (newWidth == 0) newWidth = int32_t(double(int64_t(newHeight) * w) / double(h));
}

bool PhotoEdit::resize(int32_t newWidth, int32_t newHeight, int mode) {
    return resampleImage(image, image, newWidth, newHeight, mode);
}

bool PhotoEdit::assignResized(const PhotoEdit& other, int32_t newWidth, int32_t newHeight, int mode,
                              const DibImage* made) {
    if (this == &other) return resize(newWidth, newHeight, mode);
    redPlane.copyFrom(other.redPlane, true, true);
    greenPlane.copyFrom(other.greenPlane, true, true);
    bluePlane.copyFrom(other.bluePlane, true, true);
    fileName = other.fileName;
    metadata = other.metadata;
    if (resampleImage(image, other.image, newWidth, newHeight, mode, made)) return true;
    image.copyFrom(other.image, true, true);
    return false;
}

bool PhotoEdit::grayScale() {
    return image.grayScale();
}
bool PhotoEdit::tone() {
    return image.tone();
}
bool PhotoEdit::colorize(uint8_t hue, uint8_t saturation) {
    return image.colorize(hue, saturation);
}
bool PhotoEdit::negative() {
    return image.negative();
}

uint32_t PhotoEdit::getPixelRgb(int32_t x, int32_t y) const {
    const RgbQuad c = image.getPixelColor(x, y);
    return uint32_t(c.red) | uint32_t(c.green) << 8 | uint32_t(c.blue) << 16;
}

// --- planes ---

void PhotoEdit::offsetPalette(DibImage& plane, int redOffset, int greenOffset, int blueOffset) {
    const uint32_t entries = plane.header.colorsUsed;
    RgbQuad* palette = plane.paletteBase();
    if (!palette) return;
    // The walk runs over the palette's byte count with the entry index taken modulo 256, so
    // a 256-entry palette is visited four times and smaller ones once.
    const uint32_t visits = entries * 4;
    for (uint32_t i = 0; i < visits; ++i) {
        const uint32_t index = i % 256;
        if (index >= entries) continue;
        RgbQuad& e = palette[index];
        if (redOffset) e.red = clampChannel(int64_t(e.red) + redOffset);
        if (greenOffset) e.green = clampChannel(int64_t(e.green) + greenOffset);
        if (blueOffset) e.blue = clampChannel(int64_t(e.blue) + blueOffset);
    }
}

bool PhotoEdit::createFilled(int32_t width, int32_t height, uint32_t colourRef, uint32_t bitCount) {
    if (!image.create(width, height, bitCount, 0)) return false;
    const RgbQuad colour{uint8_t(colourRef >> 16), uint8_t(colourRef >> 8), uint8_t(colourRef), 0};
    if (image.bitCount() == 24) {
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* p = image.row(y);
            for (int32_t x = 0; x < width; ++x, p += 3) {
                p[0] = colour.blue;
                p[1] = colour.green;
                p[2] = colour.red;
            }
        }
    } else {
        const uint8_t index = image.nearestIndex(colour);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) image.setPixelIndex(x, y, index);
    }
    return true;
}

bool PhotoEdit::combinePlanes(int operation, const DibImage* red, const DibImage* green,
                              const DibImage* blue) {
    if (!image.isValid()) return false;
    const int32_t W = image.width(), H = image.height();
    for (const DibImage* plane : {red, green, blue}) {
        if (!plane) continue;
        if (operation == 3 && image.bitCount() == 24 && isPlaneOf(*plane, W, H)) {
            // The OR of a plane's palette colours, straight on the rows.
            const RgbQuad* pal = plane->paletteBase();
            for (int32_t y = 0; y < H; ++y) {
                const uint8_t* in = plane->row(y);
                uint8_t* out = image.row(y);
                for (int32_t x = 0; x < W; ++x, out += 3) {
                    const RgbQuad c = pal[in[x]];
                    out[0] |= c.blue;
                    out[1] |= c.green;
                    out[2] |= c.red;
                }
            }
        } else {
            image.mix(*plane, operation, 0, 0);
        }
    }
    return true;
}

namespace {

// The three planes' palettes packed into blue | green << 8 | red << 16, so that a pixel of
// the planes OR-ed onto black is one lookup per plane.
struct PackedPlanes {
    uint32_t packed[3][256];

    PackedPlanes(const DibImage& red, const DibImage& green, const DibImage& blue) {
        const DibImage* planes[3] = {&red, &green, &blue};
        for (int p = 0; p < 3; ++p) {
            const RgbQuad* pal = planes[p]->paletteBase();
            for (int i = 0; i < 256; ++i)
                packed[p][i] = uint32_t(pal[i].blue) | uint32_t(pal[i].green) << 8 |
                               uint32_t(pal[i].red) << 16;
        }
    }

    // count pixels from the three plane rows into out (blue, green, red bytes).
    void row(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* out,
             int32_t count) const {
        for (int32_t x = 0; x < count; ++x, out += 3) {
            const uint32_t c = packed[0][r[x]] | packed[1][g[x]] | packed[2][b[x]];
            out[0] = uint8_t(c);
            out[1] = uint8_t(c >> 8);
            out[2] = uint8_t(c >> 16);
        }
    }
};

// image (already created at the planes' size) := the OR of the three planes' colours, in one
// pass.
void orPlanesInto(DibImage& image, const DibImage& red, const DibImage& green,
                  const DibImage& blue) {
    const PackedPlanes planes(red, green, blue);
    const int32_t W = image.width(), H = image.height();
    for (int32_t y = 0; y < H; ++y)
        planes.row(red.row(y), green.row(y), blue.row(y), image.row(y), W);
}

}  // namespace

bool PhotoEdit::recombine() {
    const int32_t W = image.width(), H = image.height();
    if (isPlaneOf(redPlane, W, H) && isPlaneOf(greenPlane, W, H) && isPlaneOf(bluePlane, W, H)) {
        // One pass instead of a black fill and three OR passes; same pixels.
        if (!image.create(W, H, 24, 0)) return false;
        orPlanesInto(image, redPlane, greenPlane, bluePlane);
        return true;
    }
    createFilled(W, H, 0, 16);
    return combinePlanes(3, &redPlane, &greenPlane, &bluePlane);
}

bool PhotoEdit::combineFilled(const PhotoEdit& source) {
    const int32_t W = source.width(), H = source.height();
    if (isPlaneOf(source.redPlane, W, H) && isPlaneOf(source.greenPlane, W, H) &&
        isPlaneOf(source.bluePlane, W, H)) {
        if (!image.create(W, H, 24, 0)) return false;
        orPlanesInto(image, source.redPlane, source.greenPlane, source.bluePlane);
        return true;
    }
    createFilled(W, H, 0, 16);
    return combinePlanes(3, &source.redPlane, &source.greenPlane, &source.bluePlane);
}

// --- fitting and painting ---

SurfaceRect PhotoEdit::fitRect(int32_t w, int32_t h, int32_t tw, int32_t th, bool centre) {
    if (w <= 0 || h <= 0) return SurfaceRect{};
    tw = std::max(tw, 0);
    th = std::max(th, 0);
    const int64_t hs = int64_t(tw) * h / w;  // height when fitted to the width
    const int64_t ws = int64_t(th) * w / h;  // width when fitted to the height
    int64_t rw, rh;
    if (std::llabs(th - hs) < std::llabs(tw - ws)) {
        rw = tw;
        rh = hs;
    } else {
        rw = ws;
        rh = th;
    }
    if (rw > tw) {
        rw = tw;
        rh = int64_t(double(tw) * double(h) / double(w));
    } else if (rh > th) {
        rw = int64_t(double(th) * double(w) / double(h));
        rh = th;
    }
    SurfaceRect r{0, 0, int32_t(rw), int32_t(rh)};
    if (centre) {
        r.left = tw / 2 - r.right / 2;
        r.top = th / 2 - r.bottom / 2;
        r.right += r.left;
        r.bottom += r.top;
    }
    return r;
}

SurfaceRect PhotoEdit::fitRect(int32_t targetWidth, int32_t targetHeight, bool centre) const {
    return fitRect(image.width(), image.height(), targetWidth, targetHeight, centre);
}

namespace {

// The rectangle paintFitted and paintPlanes stretch into, anchored at (0, 0).
SurfaceRect paintRect(int32_t w, int32_t h, int32_t tw, int32_t th) {
    const int64_t scaledHeight = int64_t(tw) * h / w;
    const int64_t scaledWidth = int64_t(th) * w / h;
    if (scaledHeight < th) return SurfaceRect{0, 0, tw, int32_t(scaledHeight)};
    return SurfaceRect{0, 0, int32_t(scaledWidth), th};
}

}  // namespace

void PhotoEdit::paintFitted(Surface* surface, int32_t targetWidth, int32_t targetHeight) const {
    if (!surface || !image.isValid() || targetWidth <= 0 || targetHeight <= 0) return;
    const SurfaceRect r = paintRect(image.width(), image.height(), targetWidth, targetHeight);
    surface->fill(r, 0, 0, 0);
    stretchOnto(surface, image, r.left, r.top, r.right - r.left, r.bottom - r.top, false);
}

void PhotoEdit::paintPlanes(Surface* surface, const SurfaceRect& target, bool fit,
                            bool centre) const {
    if (!surface) return;
    const int32_t W = redPlane.width(), H = redPlane.height();
    if (W <= 0 || H <= 0) return;
    const int32_t tw = target.right - target.left, th = target.bottom - target.top;
    if (fit) {
        if (tw <= 0 || th <= 0) return;
        SurfaceRect r = paintRect(W, H, tw, th);
        const int32_t left = target.left + (centre ? tw / 2 - r.right / 2 : 0);
        const int32_t top = target.top + (centre ? th / 2 - r.bottom / 2 : 0);
        r = SurfaceRect{left, top, left + r.right, top + r.bottom};
        surface->fill(r, 0, 0, 0);
        for (const DibImage* plane : {&redPlane, &greenPlane, &bluePlane})
            stretchOnto(surface, *plane, r.left, r.top, r.right - r.left, r.bottom - r.top, true);
        return;
    }
    const SurfaceRect whole{target.left, target.top, target.left + W, target.top + H};
    if (isPlaneOf(redPlane, W, H) && isPlaneOf(greenPlane, W, H) && isPlaneOf(bluePlane, W, H)) {
        // What every repaint of a view does: one pass instead of a black fill and three OR
        // passes; the same pixels.
        const SurfaceRect area = whole.intersect(surface->clipBox());
        if (area.isEmpty()) return;
        const PackedPlanes planes(redPlane, greenPlane, bluePlane);
        const size_t first = size_t(area.left - target.left);
        for (int32_t py = area.top; py < area.bottom; ++py) {
            const int32_t y = H - 1 - (py - target.top);
            planes.row(redPlane.row(y) + first, greenPlane.row(y) + first, bluePlane.row(y) + first,
                       surface->scanLine(py) + size_t(area.left) * 3, area.right - area.left);
        }
        return;
    }
    surface->fill(whole, 0, 0, 0);
    for (const DibImage* plane : {&redPlane, &greenPlane, &bluePlane})
        if (plane->width() == W && plane->height() == H)
            stretchOnto(surface, *plane, target.left, target.top, W, H, true);
}
