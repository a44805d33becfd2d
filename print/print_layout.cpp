// The page arithmetic of printing. Heights reach 1000 inches at 1200 dpi and more from typed
// values, so every product is formed in 64 bits and no division meets an empty page.
#include "print/print_layout.h"

#include <algorithm>
#include <limits>

#include "enhance/photo_edit.h"

namespace {

int32_t toInt32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
}

}  // namespace

int64_t printHeightPixels(const PrintValues& values, int32_t dpiY) {
    if (values.heightUnit == kUnitCm) return int64_t(double(values.imageHeight) * dpiY / 2.54);
    return int64_t(values.imageHeight) * dpiY;
}

int64_t pixelsPerCm(int32_t dpiY) {
    return int64_t(double(dpiY) / 2.54);
}

LayoutRect fitPage(const PrinterPage& page, const LayoutRect& area) {
    if (page.width <= 0 || page.height <= 0) return LayoutRect{};
    const SurfaceRect r = PhotoEdit::fitRect(page.width, page.height, toInt32(area.width()),
                                             toInt32(area.height()), true);
    return LayoutRect{r.left, r.top, r.right, r.bottom};
}

LayoutRect screenPage(const PrinterPage& page, int32_t clientWidth, int32_t clientHeight) {
    return fitPage(page, LayoutRect{1, 1, int64_t(clientWidth) - 1, int64_t(clientHeight) - 1});
}

int64_t scaledPictureHeight(int64_t pageHeight, int64_t printHeight, const PrinterPage& printer) {
    if (printer.height <= 0) return 0;
    return pageHeight * printHeight / printer.height;
}

int64_t borderGap(const PrintValues& values, int64_t pageHeight, const PrinterPage& printer) {
    if (!values.border || values.centred() || printer.height <= 0) return 0;
    return pixelsPerCm(printer.dpiY) * pageHeight / (int64_t(printer.height) * 4);
}

std::vector<LayoutRect> copyCells(const PrintValues& values, const LayoutRect& page,
                                  int64_t pictureWidth, int64_t pictureHeight, int64_t gap) {
    std::vector<LayoutRect> cells;
    const int64_t w = pictureWidth, h = pictureHeight;
    if (values.imagesPerPage <= 0 || w <= 0 || h <= 0) return cells;
    int64_t x, y;
    if (values.centred()) {
        x = page.left + (page.width() / 2 - w / 2);
        y = page.top + (page.height() / 2 - h / 2);
        gap = 0;
    } else {
        x = page.left + gap;
        y = page.top + gap;
    }
    const LayoutRect first{x, y, x + w, y + h};
    LayoutRect cell = first;
    int64_t row = 0;
    for (int32_t i = 0; i < values.imagesPerPage; ++i) {
        // Rows only move down, so once a cell starts below the page every later one does.
        if (cell.top >= page.bottom) break;
        cells.push_back(cell);
        LayoutRect next{cell.left + w + gap, cell.top, cell.right + w + gap, cell.bottom};
        if (next.right > page.right) {
            ++row;
            const int64_t down = row * (h + gap);
            next = LayoutRect{first.left, first.top + down, first.right, first.bottom + down};
        }
        cell = next;
    }
    return cells;
}

std::optional<int32_t> readInteger(const std::string& text) {
    size_t i = 0, n = text.size();
    auto blank = [&](size_t k) { return text[k] == ' ' || text[k] == '\t'; };
    while (i < n && blank(i)) ++i;
    while (n > i && blank(n - 1)) --n;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == n) return std::nullopt;
    int64_t v = 0;
    for (; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        v = v * 10 + (text[i] - '0');
        if (v > int64_t(std::numeric_limits<int32_t>::max()) + 1) return std::nullopt;
    }
    if (negative) v = -v;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return int32_t(v);
}

int32_t wrapSpin(std::optional<int32_t> current, int steps, int32_t minimum, int32_t maximum) {
    if (maximum < minimum) return minimum;
    const int64_t span = int64_t(maximum) - minimum + 1;
    const int64_t start = std::clamp<int64_t>(current.value_or(minimum), minimum, maximum);
    const int64_t moved = (start - minimum + steps) % span;
    return int32_t(minimum + (moved < 0 ? moved + span : moved));
}
