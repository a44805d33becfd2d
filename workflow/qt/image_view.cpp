// The image views: the stage is painted by the core onto a Surface wrapping a QImage, the
// texts are drawn over it, and the result is blitted in one piece.
#include "workflow/qt/image_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "ui_common/pick_cursor.h"
#include "workflow/photo_crop.h"

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

// --- drawing a crop on the original view ---

namespace {

// How near an edge (view pixels) a press takes hold of it.
constexpr int kHandleReach = 6;

}  // namespace

void OriginalImageView::setCropMode(bool on) {
    cropMode_ = on;
    dragging_ = false;
    pending_ = on && chain() ? chain()->crop() : CropRect{};
    if (on) {
        setCursor(Qt::CrossCursor);
        setFocus(Qt::OtherFocusReason);
    } else {
        unsetCursor();
    }
    update();
}

void OriginalImageView::setCropAspect(int aspect) {
    aspect_ = aspect;
    // The rectangle drawn so far takes the new shape from its top-left corner.
    if (cropMode_ && !pending_.isEmpty()) {
        anchor_ = QPoint(pending_.x, pending_.y);
        newRect_ = true;
        dragTo(QPoint(pending_.x + pending_.width, pending_.y + pending_.height));
    }
}

QPoint OriginalImageView::toFull(QPoint at) const {
    const PhotoEdit* shown = pictureToShow();
    if (!chain() || !shown || shown->width() <= 0 || shown->height() <= 0) return QPoint();
    const int64_t W = chain()->fullWidth(), H = chain()->fullHeight();
    const int64_t x = std::clamp<int64_t>(int64_t(at.x()) * W / shown->width(), 0, W);
    const int64_t y = std::clamp<int64_t>(int64_t(at.y()) * H / shown->height(), 0, H);
    return QPoint(int(x), int(y));
}

QRect OriginalImageView::viewRectOf(const CropRect& crop) const {
    const PhotoEdit* shown = pictureToShow();
    if (!chain() || !shown || crop.isEmpty()) return QRect();
    const CropRect v = scaleCrop(crop, chain()->fullWidth(), chain()->fullHeight(), shown->width(),
                                 shown->height());
    return QRect(v.x, v.y, v.width, v.height);
}

void OriginalImageView::dragTo(QPoint p) {
    if (!chain()) return;
    const int32_t W = chain()->fullWidth(), H = chain()->fullHeight();
    int32_t wide = 0, high = 0;
    if (!cropRatio(aspect_, W, H, wide, high)) wide = high = 0;
    if (newRect_) {
        pending_ = dragCrop(anchor_.x(), anchor_.y(), p.x(), p.y(), wide, high, W, H);
    } else {
        const int32_t l = pending_.x, t = pending_.y, r = l + pending_.width,
                      b = t + pending_.height;
        // The opposite corner stays; a moved edge follows the pointer, the other side of an
        // edge drag keeps its place (or follows the ratio).
        const int32_t ax = left_ ? r : l, ay = top_ ? b : t;
        const int32_t bx = left_ ? p.x() : right_ ? p.x() : r;
        const int32_t by = top_ ? p.y() : bottom_ ? p.y() : b;
        const CropRect moved = dragCrop(ax, ay, bx, by, wide, high, W, H);
        if (!moved.isEmpty()) pending_ = moved;
    }
    update();
}

void OriginalImageView::mousePressEvent(QMouseEvent* event) {
    if (!cropMode_ || event->button() != Qt::LeftButton) {
        ImageView::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    const QRect r = viewRectOf(pending_);
    const auto near = [](int a, int b) { return std::abs(a - b) <= kHandleReach; };
    const bool inX = at.x() >= r.left() - kHandleReach && at.x() <= r.right() + kHandleReach;
    const bool inY = at.y() >= r.top() - kHandleReach && at.y() <= r.bottom() + kHandleReach;
    left_ = !r.isEmpty() && inY && near(at.x(), r.left());
    right_ = !r.isEmpty() && inY && !left_ && near(at.x(), r.left() + r.width());
    top_ = !r.isEmpty() && inX && near(at.y(), r.top());
    bottom_ = !r.isEmpty() && inX && !top_ && near(at.y(), r.top() + r.height());
    newRect_ = !(left_ || right_ || top_ || bottom_);
    if (newRect_) {
        anchor_ = toFull(at);
        pending_ = CropRect{};
    }
    dragging_ = true;
    update();
}

void OriginalImageView::mouseMoveEvent(QMouseEvent* event) {
    if (cropMode_ && dragging_) dragTo(toFull(event->position().toPoint()));
    ImageView::mouseMoveEvent(event);
}

void OriginalImageView::mouseReleaseEvent(QMouseEvent* event) {
    if (cropMode_ && dragging_ && event->button() == Qt::LeftButton) {
        dragTo(toFull(event->position().toPoint()));
        dragging_ = false;
    }
    ImageView::mouseReleaseEvent(event);
}

void OriginalImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (cropMode_ && !pending_.isEmpty()) {
        dragging_ = false;
        emit cropApplied(pending_);
        return;
    }
    ImageView::mouseDoubleClickEvent(event);
}

void OriginalImageView::keyPressEvent(QKeyEvent* event) {
    if (cropMode_) {
        if (event->key() == Qt::Key_Escape) {
            dragging_ = false;
            pending_ = CropRect{};
            emit cropCancelled();
            update();
            return;
        }
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            !pending_.isEmpty()) {
            emit cropApplied(pending_);
            return;
        }
    }
    ImageView::keyPressEvent(event);
}

void OriginalImageView::paintEvent(QPaintEvent* event) {
    ImageView::paintEvent(event);
    const CropRect crop = cropMode_ ? pending_ : (chain() ? chain()->crop() : CropRect{});
    const PhotoEdit* shown = pictureToShow();
    if (crop.isEmpty() || !shown) return;
    const QRect r = viewRectOf(crop);
    QPainter p(this);
    const QRegion outside = QRegion(0, 0, shown->width(), shown->height()) - QRegion(r);
    for (const QRect& part : outside) p.fillRect(part, QColor(0, 0, 0, 140));
    p.setPen(QPen(Qt::white, 1, cropMode_ ? Qt::DashLine : Qt::SolidLine));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (!cropMode_) return;
    // Handles at the corners and the middles of the edges.
    for (const int x : {r.left(), r.center().x(), r.right()})
        for (const int y : {r.top(), r.center().y(), r.bottom()})
            if (x != r.center().x() || y != r.center().y())
                p.fillRect(QRect(x - 3, y - 3, 7, 7), Qt::white);
}
