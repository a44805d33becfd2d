// The thumbnail grid: the pen walk of the layout, the click and mark rules and the
// painting of the items onto a surface.
#include "browse/thumbnail_grid.h"

#include <algorithm>

#include "browse/photo_rule.h"

namespace {

size_t bytesOf(const DibImage& image) {
    return image.width() > 0 ? image.totalSize() : 0;
}

}  // namespace

uint64_t ThumbnailGrid::beginScan() {
    items_.clear();
    current_ = -1;
    arrived_ = pixelBytes_ = 0;
    scanDone_ = false;
    return ++scan_;
}

uint64_t ThumbnailGrid::beginScan(const std::vector<std::string>& files) {
    const uint64_t scan = beginScan();
    for (size_t i = 0; i < files.size(); ++i) {
        const int type = photos::photoFormatOf(files[i]);
        if (type >= 0) addWaiting(i, files[i], uint32_t(type));
    }
    return scan;
}

bool ThumbnailGrid::append(uint64_t scan, std::unique_ptr<ThumbnailItem> item) {
    // Items of an earlier folder may still be queued when a new scan starts.
    if (scan != scan_ || !item) return false;
    item->index = items_.empty() ? 0 : items_.back()->index + 1;
    item->arrived = true;
    item->width = item->image.width();
    item->height = item->image.height();
    ++arrived_;
    pixelBytes_ += bytesOf(item->image);
    items_.push_back(std::move(item));
    return true;
}

bool ThumbnailGrid::place(uint64_t scan, size_t index, std::unique_ptr<ThumbnailItem> item) {
    if (scan != scan_ || !item) return false;
    // A thumbnail of a file removed after it was handed over finds no cell.
    const int pos = positionOf(index);
    if (pos < 0) return false;
    ThumbnailItem& cell = *items_[size_t(pos)];
    pixelBytes_ -= bytesOf(cell.image);
    cell.image = std::move(item->image);
    pixelBytes_ += bytesOf(cell.image);
    if (!cell.arrived) ++arrived_;
    cell.arrived = true;
    cell.pixelsDropped = cell.remakeAsked = false;
    cell.width = cell.image.width();
    cell.height = cell.image.height();
    return true;
}

void ThumbnailGrid::addWaiting(size_t index, std::string path, uint32_t type) {
    auto item = std::make_unique<ThumbnailItem>();
    item->index = index;
    item->path = std::move(path);
    item->type = type;
    items_.push_back(std::move(item));
}

bool ThumbnailGrid::renameCell(size_t index, std::string path) {
    const int pos = positionOf(index);
    if (pos < 0) return false;
    items_[size_t(pos)]->path = std::move(path);
    return true;
}

bool ThumbnailGrid::remove(size_t index) {
    const int pos = positionOf(index);
    if (pos < 0) return false;
    const ThumbnailItem& item = *items_[size_t(pos)];
    if (item.arrived) --arrived_;
    pixelBytes_ -= bytesOf(item.image);
    items_.erase(items_.begin() + pos);
    if (current_ == pos) current_ = -1;
    if (current_ > pos) --current_;
    return true;
}

int ThumbnailGrid::positionOf(size_t index) const {
    // Cells keep the order of their file indices: new files get larger ones.
    auto it = std::lower_bound(items_.begin(), items_.end(), index,
                               [](const auto& item, size_t i) { return item->index < i; });
    if (it == items_.end() || (*it)->index != index) return -1;
    return int(it - items_.begin());
}

int ThumbnailGrid::positionOfPath(const std::string& path) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->path == path) return int(i);
    return -1;
}

void ThumbnailGrid::visibleRange(int32_t y, int32_t height, size_t& first, size_t& last) const {
    // Layout walks row after row, so the cells' tops never decrease.
    auto from = std::lower_bound(
        items_.begin(), items_.end(), y,
        [this](const auto& item, int32_t top) { return item->rect.top + rowHeight() <= top; });
    auto to = std::lower_bound(from, items_.end(), y + height,
                               [](const auto& item, int32_t end) { return item->rect.top < end; });
    first = size_t(from - items_.begin());
    last = size_t(to - items_.begin());
}

void ThumbnailGrid::takeMissing(size_t first, size_t last, std::vector<size_t>& unmade,
                                std::vector<size_t>& dropped) {
    for (size_t i = first; i < last && i < items_.size(); ++i) {
        ThumbnailItem& item = *items_[i];
        if (!item.arrived) {
            unmade.push_back(item.index);
        } else if (item.pixelsDropped && !item.remakeAsked) {
            item.remakeAsked = true;
            dropped.push_back(item.index);
        }
    }
}

void ThumbnailGrid::keepPixelsNear(size_t first, size_t last, size_t budget) {
    if (pixelBytes_ <= budget) return;
    const size_t screen = std::max<size_t>(last - first, 1);
    const size_t keepFrom = first > 2 * screen ? first - 2 * screen : 0;
    const size_t keepTo = last + 2 * screen;
    auto distance = [&](size_t i) { return i < first ? first - i : i - last; };
    std::vector<size_t> far;
    for (size_t i = 0; i < items_.size(); ++i)
        if ((i < keepFrom || i >= keepTo) && bytesOf(items_[i]->image) > 0) far.push_back(i);
    std::sort(far.begin(), far.end(),
              [&](size_t a, size_t b) { return distance(a) > distance(b); });
    // Down to three quarters, so that the next thumbnails do not start this again at once.
    const size_t target = budget / 4 * 3;
    for (size_t i : far) {
        if (pixelBytes_ <= target) break;
        ThumbnailItem& item = *items_[i];
        pixelBytes_ -= bytesOf(item.image);
        item.image = DibImage();
        item.pixelsDropped = true;
        item.remakeAsked = false;
    }
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
        // A thumbnail whose pixels were let go keeps its place and size.
        const int32_t w = item->width, h = item->height;
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
    // A cell still waiting for its thumbnail is not shown yet, so it is not marked either.
    for (auto& item : items_)
        if (item->arrived) item->marked = true;
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
    if (arrived_ > 0) return "";
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
        // Only the cells on the surface cost anything: a folder of thousands scrolls fast.
        if (around.bottom <= 0 || around.top >= surface.height()) continue;
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
