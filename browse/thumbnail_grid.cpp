// The thumbnail grid: the pen walk of the layout, the click and mark rules and the
// painting of the items onto a surface.
#include "browse/thumbnail_grid.h"

#include <algorithm>

uint64_t ThumbnailGrid::beginScan() {
    items_.clear();
    current_ = -1;
    scanDone_ = false;
    return ++scan_;
}

bool ThumbnailGrid::append(uint64_t scan, std::unique_ptr<ThumbnailItem> item) {
    // Items of an earlier folder may still be queued when a new scan starts.
    if (scan != scan_ || !item) return false;
    items_.push_back(std::move(item));
    return true;
}

bool ThumbnailGrid::finishScan(uint64_t scan) {
    if (scan != scan_) return false;
    scanDone_ = true;
    return true;
}

bool ThumbnailGrid::zoomIn() {
    if (!scanDone_) return false;
    thumbnailHeight_ += kZoomStep;
    return true;
}

bool ThumbnailGrid::zoomOut() {
    if (!scanDone_ || thumbnailHeight_ < kZoomStep + 1) return false;
    thumbnailHeight_ -= kZoomStep;
    return true;
}

int32_t ThumbnailGrid::columns(int32_t clientWidth) const {
    if (columnWidth() == 0) return 5;
    // Narrower than one column still shows one column.
    return std::max(1, clientWidth / columnWidth());
}

void ThumbnailGrid::layout(int32_t clientWidth) {
    const int32_t cols = columns(clientWidth);
    int32_t x = kMargin, y = kMargin, k = 0;
    for (auto& item : items_) {
        const int32_t w = item->image.width(), h = item->image.height();
        item->rect = SurfaceRect{x, y, x + w, y + h};
        const int32_t right = x + w;
        do {
            k = (k + 1) % cols;
            if (k == 0) {
                x = kMargin;
                y += rowHeight();
                break;
            }
            x += columnWidth();
        } while (x < right);
    }
}

void ThumbnailGrid::scrollExtent(int32_t clientWidth, int32_t& width, int32_t& height) const {
    if (items_.empty()) {
        width = height = 100;
        return;
    }
    width = columnWidth() * 5 + 20;
    height = (int32_t(items_.size()) / columns(clientWidth) + 1) * rowHeight();
    // Wide thumbnails take more rows than the item count says; the last row must be
    // reachable (layout ran for this width before any extent is asked for).
    int32_t bottom = 0;
    for (const auto& item : items_)
        bottom = std::max(bottom, item->rect.top - kMargin + rowHeight());
    height = std::max(height, bottom);
}

int ThumbnailGrid::hitTest(int32_t x, int32_t y) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        const SurfaceRect& r = items_[i]->rect;
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return int(i);
    }
    return -1;
}

std::string ThumbnailGrid::clickItem(int index, bool markOnClick) {
    if (index < 0 || size_t(index) >= items_.size()) return std::string();
    ThumbnailItem& item = *items_[size_t(index)];
    if (item.marked) {
        item.marked = false;
        return std::string();
    }
    current_ = index;
    if (markOnClick) item.marked = true;
    return item.path;
}

std::string ThumbnailGrid::stepCurrent(const std::string& path, int step) {
    const int count = int(items_.size());
    int from = current_;
    for (int i = 0; i < count; ++i)
        if (items_[size_t(i)]->path == path) {
            from = i;
            break;
        }
    const int to = from >= 0 ? from + step : step > 0 ? 0 : count - 1;
    if (step == 0 || to < 0 || to >= count) return std::string();
    current_ = to;
    return items_[size_t(to)]->path;
}

bool ThumbnailGrid::markInRect(const SurfaceRect& band) {
    bool any = false;
    for (auto& item : items_)
        if (!item->rect.intersect(band).isEmpty()) {
            item->marked = true;
            any = true;
        }
    return any;
}

void ThumbnailGrid::selectAll() {
    for (auto& item : items_) item->marked = true;
}

void ThumbnailGrid::unselectAll() {
    for (size_t i = 0; i < items_.size(); ++i)
        if (int(i) != current_) items_[i]->marked = false;
}

void ThumbnailGrid::unmarkAll() {
    for (auto& item : items_) item->marked = false;
}

void ThumbnailGrid::getSelectedFiles(std::vector<std::string>& out) const {
    for (const auto& item : items_)
        if (item->marked) out.push_back(item->path);
}

const char* ThumbnailGrid::emptyText() const {
    if (!items_.empty()) return "";
    return scanDone_ ? kNoPhotosText : kSearchingText;
}

void ThumbnailGrid::paint(Surface& surface, int32_t scrollX, int32_t scrollY) {
    surface.fill(SurfaceRect{0, 0, surface.width(), surface.height()}, 0xFF, 0xFF, 0xFF);
    layout(surface.width());
    for (size_t i = 0; i < items_.size(); ++i) {
        const ThumbnailItem& item = *items_[i];
        const SurfaceRect r{item.rect.left - scrollX, item.rect.top - scrollY,
                            item.rect.right - scrollX, item.rect.bottom - scrollY};
        const SurfaceRect around{r.left - kHighlight, r.top - kHighlight, r.right + kHighlight,
                                 r.bottom + kHighlight};
        if (int(i) == current_) {
            surface.fill(around, 0x00, 0xC0, 0xC0);  // olive
        } else if (item.marked) {
            // A one-pixel frame in dark blue.
            surface.fill({around.left, around.top, around.right, around.top + 1}, 0xC0, 0, 0);
            surface.fill({around.left, around.bottom - 1, around.right, around.bottom}, 0xC0, 0, 0);
            surface.fill({around.left, around.top, around.left + 1, around.bottom}, 0xC0, 0, 0);
            surface.fill({around.right - 1, around.top, around.right, around.bottom}, 0xC0, 0, 0);
        }
        item.image.draw(&surface, r.left, r.top);
    }
}
