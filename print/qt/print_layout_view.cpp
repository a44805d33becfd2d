// The page preview: light grey around a paper-coloured page with a one-pixel shadow, and the
// copies on it as they will print.
#include "print/qt/print_layout_view.h"

#include <QPainter>
#include <algorithm>
#include <cstring>
#include <limits>

#include "print/qt/print_options_dialog.h"
#include "workflow/preview_chain.h"

namespace {

int clampInt(int64_t v) {
    return int(std::clamp<int64_t>(v, std::numeric_limits<int>::min() / 2,
                                   std::numeric_limits<int>::max() / 2));
}

QRect toQRect(const LayoutRect& r) {
    return QRect(QPoint(clampInt(r.left), clampInt(r.top)),
                 QPoint(clampInt(r.right) - 1, clampInt(r.bottom) - 1));
}

}  // namespace

QImage pictureImage(const DibImage& picture) {
    if (!picture.isValid() || picture.bitCount() != 24) return QImage();
    const int32_t W = picture.width(), H = picture.height();
    QImage out(W, H, QImage::Format_BGR888);
    if (out.isNull()) return out;
    // Rows are stored from the bottom; blue, green, red per pixel as the QImage format.
    for (int32_t y = 0; y < H; ++y)
        std::memcpy(out.scanLine(y), picture.row(H - 1 - y), size_t(W) * 3);
    return out;
}

PrintLayoutView::PrintLayoutView(PrintOptionsDialog& dialog, QWidget* parent)
    : QWidget(parent), dialog_(dialog) {
    setObjectName("page preview");
    setAccessibleName("page preview");
    setMinimumSize(180, 220);
}

LayoutRect PrintLayoutView::page() const {
    return screenPage(dialog_.printerPage(), width(), height());
}

void PrintLayoutView::refresh() {
    makePreviewCopy(dialog_.chain().stage(kStageFinal), page(), dialog_.values(),
                    dialog_.printerPage(), preview_);
    previewImage_ = pictureImage(preview_.picture.image);
    // The preview shows the photo's colours on this sRGB screen; the printed copy is its own.
    if (const auto colour = dialog_.chain().stage(kStageOriginal).displayColour();
        colour && !previewImage_.isNull()) {
        Surface surface(previewImage_.bits(), previewImage_.width(), previewImage_.height(),
                        int32_t(previewImage_.bytesPerLine()), true);
        colour->convertSurface(surface,
                               SurfaceRect{0, 0, previewImage_.width(), previewImage_.height()});
    }
    update();
}

void PrintLayoutView::drawCopies(QPainter& painter, const LayoutRect& page, const PrintCopy& copy,
                                 const QImage& image, const PrintValues& values,
                                 const PrinterPage& printer) {
    if (copy.isEmpty() || image.isNull()) return;
    const int64_t gap = borderGap(values, page.height(), printer);
    for (const LayoutRect& cell : copyCells(values, page, copy.width, copy.height, gap))
        painter.drawImage(QPoint(clampInt(cell.left), clampInt(cell.top + copy.firstRow)), image);
}

void PrintLayoutView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xE0, 0xE0, 0xE0));
    const LayoutRect p = page();
    if (p.isEmpty()) return;
    const LayoutRect shadow{p.left, p.top, p.right + 1, p.bottom + 1};
    painter.fillRect(toQRect(shadow), QColor(0x70, 0x70, 0x70));
    painter.fillRect(toQRect(p), QColor(0xFF, 0xFF, 0xF0));
    // What falls outside the page would be cut off by the paper.
    painter.setClipRect(toQRect(p));
    drawCopies(painter, p, preview_, previewImage_, dialog_.values(), dialog_.printerPage());
}

void PrintLayoutView::resizeEvent(QResizeEvent*) {
    refresh();
}
