// The image views: the stage is painted by the core onto a Surface wrapping a QImage, the
// texts are drawn over it, and the result is blitted in one piece.
#include "workflow/qt/image_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui_common/pick_cursor.h"

namespace {

const QColor kTextColour(0, 0, 127);

}  // namespace

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted by paintEvent; no background erase first (no flicker).
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

void ImageView::setChain(const PreviewChain* chain) {
    chain_ = chain;
    refreshPicture();
}

const PhotoEdit* ImageView::pictureToShow() const {
    return chain_ ? &chain_->stage(stageShown()) : nullptr;
}

void ImageView::setPickMode(bool on) {
    pickMode_ = on;
    setMouseTracking(on);
    if (takesPicks()) {
        if (on)
            setCursor(pick_cursor::cursor());
        else
            unsetCursor();
    }
    refreshPicture();
}

QRect ImageView::statusRect(const QString& text) const {
    const QRect extent = fontMetrics().boundingRect(QRect(), Qt::AlignCenter, text);
    return QRect(width() / 2 - extent.width() / 2, height() / 2 - extent.height() / 2,
                 extent.width(), extent.height());
}

void ImageView::drawStatus(const QString& text) {
    status_ = text;
    if (text.isEmpty()) return;
    // Painted now, before the work the text announces starts. Only the old and the new
    // text's places are painted again: a whole repaint would cost a photo-sized copy.
    const QRect margin(statusRect(text).adjusted(-2, -2, 2, 2));
    const QRect dirty = statusShown_.united(margin);
    statusShown_ = margin;
    repaint(dirty);
}

void ImageView::setZoomed(std::shared_ptr<const DibImage> picture) {
    zoomed_ = std::move(picture);
    dragging_ = false;
    if (!pickMode_) {
        if (zoomed_)
            setCursor(Qt::OpenHandCursor);
        else
            unsetCursor();
    }
    refreshPicture();
}

void ImageView::refreshPicture() {
    frameDirty_ = true;
    status_.clear();
    statusShown_ = QRect();
    update();
}

void ImageView::compose() {
    frame_ = QImage(size(), QImage::Format_BGR888);
    const QColor bg = palette().color(QPalette::Window);
    Surface surface(frame_.bits(), frame_.width(), frame_.height(), int32_t(frame_.bytesPerLine()),
                    true);
    surface.fill(SurfaceRect{0, 0, frame_.width(), frame_.height()}, uint8_t(bg.blue()),
                 uint8_t(bg.green()), uint8_t(bg.red()));
    if (zoomed_) {
        zoomed_->draw(&surface, 0, 0);
        if (const auto colour = chain_ ? chain_->stage(kStageOriginal).displayColour() : nullptr)
            colour->convertSurface(surface,
                                   SurfaceRect{0, 0, zoomed_->width(), zoomed_->height()}.intersect(
                                       surface.clipBox()));
    } else if (const PhotoEdit* photo = pictureToShow()) {
        photo->paintPlanes(&surface, SurfaceRect{0, 0, frame_.width(), frame_.height()}, false,
                           false);
        // Only the painted picture goes to sRGB; the stages keep the photo's own values.
        if (const auto colour = chain_->stage(kStageOriginal).displayColour())
            colour->convertSurface(
                surface, SurfaceRect{0, 0, photo->redPlane.width(), photo->redPlane.height()});
    }
    if (pickMode_) {
        QPainter p(&frame_);
        p.setPen(kTextColour);
        const int flags = Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap;
        const QRect all(0, 0, frame_.width(), frame_.height());
        const QRect needed = p.boundingRect(all, flags, kPickInstruction);
        p.drawText(QRect(0, all.height() - needed.height(), all.width(), needed.height()), flags,
                   kPickInstruction);
    }
    // One conversion here makes every later blit (status repaints, exposes) a plain copy.
    frame_ = frame_.convertToFormat(QImage::Format_RGB32);
    frameDirty_ = false;
    ++pictureCount_;
}

void ImageView::paintEvent(QPaintEvent* event) {
    if (frameDirty_ || frame_.size() != size()) compose();
    QPainter p(this);
    const QRect area = event->rect();
    p.drawImage(area.topLeft(), frame_, area);
    if (!status_.isEmpty()) {
        p.setPen(kTextColour);
        p.drawText(statusRect(status_), Qt::AlignCenter, status_);
    }
}

void ImageView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    frameDirty_ = true;
    emit resized();
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    if (zoomed_ && !pickMode_ && event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragFrom_ = event->position().toPoint();
    }
    if (pickMode_ && takesPicks() && event->button() == Qt::LeftButton)
        emit picked(event->position().toPoint());
    QWidget::mousePressEvent(event);
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && zoomed_ && (event->buttons() & Qt::LeftButton)) {
        const QPoint at = event->position().toPoint();
        const QPoint delta = at - dragFrom_;
        dragFrom_ = at;
        if (!delta.isNull()) emit dragged(delta);
    }
    if (pickMode_) emit pointerMoved(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void ImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    dragging_ = false;
    if (event->button() == Qt::LeftButton && !pickMode_)
        emit doubleClicked(event->position().toPoint());
    QWidget::mouseDoubleClickEvent(event);
}
