// Region rendering: turn the region back onto the upright photo, widen it by the filters'
// reach, run the saving steps on that piece alone and cut the region out of its result.
#include "workflow/region_render.h"

#include <algorithm>
#include <utility>

namespace {

// Clockwise quarter turns of s.rotation, 0 to 3 (a turn left is three turns right).
int clockwiseTurns(const EnhancementSettings& s) {
    return ((s.rotation % 4) + 4) % 4;
}

// A rectangle of a picture width x height turned once clockwise: the picture's left column
// becomes the top row, read from the bottom up.
CropRect turnedRight(const CropRect& r, int32_t height) {
    return CropRect{height - r.y - r.height, r.x, r.height, r.width};
}

// The inverse: a rectangle of the turned picture (width x height) on the picture before it.
CropRect turnedBack(const CropRect& r, int32_t turnedWidth) {
    return CropRect{r.y, turnedWidth - r.x - r.width, r.height, r.width};
}

}  // namespace

CropRect wholeResult(int32_t width, int32_t height, const EnhancementSettings& s) {
    if (clockwiseTurns(s) % 2) std::swap(width, height);
    return CropRect{0, 0, width, height};
}

int32_t filterMargin(const EnhancementSettings& s) {
    // Two sharpen passes per positive step, one blur pass per negative one; far beyond any
    // photo the margin covers the whole picture anyway.
    const int64_t passes = s.sharpen > 0 ? 2 * int64_t(s.sharpen) : -int64_t(s.sharpen);
    return int32_t(std::min<int64_t>(passes, INT32_MAX / 4));
}

CropRect sourceAreaFor(int32_t width, int32_t height, const EnhancementSettings& s,
                       const CropRect& region) {
    CropRect r = region;
    CropRect size = wholeResult(width, height, s);
    for (int i = 0; i < clockwiseTurns(s); ++i) {
        r = turnedBack(r, size.width);
        std::swap(size.width, size.height);
    }
    const int64_t m = filterMargin(s);
    const int64_t left = std::max<int64_t>(0, r.x - m), top = std::max<int64_t>(0, r.y - m);
    const int64_t right = std::min<int64_t>(width, int64_t(r.x) + r.width + m);
    const int64_t bottom = std::min<int64_t>(height, int64_t(r.y) + r.height + m);
    return CropRect{int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)};
}

bool renderRegion(const DibImage& source, const EnhancementSettings& s, const CropRect& region,
                  PhotoEdit& out, StatusSink* sink) {
    out.image.destroy();
    out.redPlane.destroy();
    out.greenPlane.destroy();
    out.bluePlane.destroy();
    const int32_t W = source.width(), H = source.height();
    const CropRect whole = wholeResult(W, H, s);
    if (!source.isValid() || !region.fitsIn(whole.width, whole.height)) return false;

    const CropRect area = sourceAreaFor(W, H, s, region);
    PhotoEdit piece;
    if (!piece.image.copyArea(source, area.x, H - area.y - area.height, area.width, area.height))
        return false;
    if (!renderForSaving(piece, s, sink)) return false;

    // Where the piece lies in the result, to find the region inside it.
    CropRect placed = area;
    CropRect size = CropRect{0, 0, W, H};
    for (int i = 0; i < clockwiseTurns(s); ++i) {
        placed = turnedRight(placed, size.height);
        std::swap(size.width, size.height);
    }
    const int32_t x = region.x - placed.x, y = region.y - placed.y;
    if (!piece.image.copyArea(piece.image, x, piece.image.height() - y - region.height,
                              region.width, region.height))
        return false;
    out.image = std::move(piece.image);
    return true;
}

bool renderRegion(PhotoEdit& photo, const EnhancementSettings& s, const CropRect& region,
                  StatusSink* sink) {
    if (region == wholeResult(photo.width(), photo.height(), s) && !region.isEmpty())
        return renderForSaving(photo, s, sink);
    const DibImage source = std::move(photo.image);
    PhotoEdit piece;
    const bool ok = renderRegion(source, s, region, piece, sink);
    photo.image = std::move(piece.image);
    photo.redPlane.destroy();
    photo.greenPlane.destroy();
    photo.bluePlane.destroy();
    return ok;
}

CropRect visibleRegion(const CropRect& whole, int32_t centreX, int32_t centreY, int32_t viewWidth,
                       int32_t viewHeight) {
    if (whole.isEmpty() || viewWidth <= 0 || viewHeight <= 0) return CropRect{};
    const int32_t w = std::min(viewWidth, whole.width), h = std::min(viewHeight, whole.height);
    const int32_t x = std::clamp(centreX - w / 2, 0, whole.width - w);
    const int32_t y = std::clamp(centreY - h / 2, 0, whole.height - h);
    return CropRect{x, y, w, h};
}
