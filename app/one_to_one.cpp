// The 1:1 view: the full-size decode on its worker, the centre and the regions of both views.
#include "app/one_to_one.h"

#include <QMetaObject>
#include <algorithm>

#include "workflow/preview_chain.h"
#include "workflow/qt/image_view.h"
#include "workflow/region_render.h"

OneToOne::OneToOne(PreviewChain& chain, ImageView& enhanced, ImageView& original, QObject* parent)
    : QObject(parent), chain_(chain), enhanced_(enhanced), original_(original) {}

OneToOne::~OneToOne() {
    if (worker_.joinable()) worker_.join();
}

void OneToOne::showAt(double fx, double fy) {
    if (chain_.currentPath().empty()) return;
    fx_ = std::clamp(fx, 0.0, 1.0);
    fy_ = std::clamp(fy, 0.0, 1.0);
    rotation_ = chain_.settings().rotation;
    wanted_ = true;
    if (source_ && sourcePath_ == chain_.currentPath()) {
        render();
    } else {
        startDecode(chain_.currentPath());
    }
    emit changed();
}

void OneToOne::showAtViewPoint(QPoint at) {
    const PhotoEdit& shown = chain_.stage(kStageFinal);
    // The fitted picture is painted at the view's top-left corner at its own size.
    const int32_t w = shown.redPlane.width(), h = shown.redPlane.height();
    if (w > 0 && h > 0 && at.x() >= 0 && at.y() >= 0 && at.x() < w && at.y() < h)
        showAt((at.x() + 0.5) / w, (at.y() + 0.5) / h);
    else
        showAt(0.5, 0.5);
}

void OneToOne::showFitted() {
    const bool was = wanted_;
    wanted_ = false;
    shown_ = CropRect{};
    shownOriginal_ = CropRect{};
    enhanced_.setZoomed(nullptr);
    original_.setZoomed(nullptr);
    if (was) emit changed();
}

void OneToOne::pan(QPoint delta) {
    if (!wanted_ || !source_ || shown_.isEmpty()) return;
    const CropRect whole = wholeResult(source_->width(), source_->height(), chain_.settings());
    // Dragging the picture right shows what lies left of it.
    const double cx = shown_.x + shown_.width / 2.0 - delta.x();
    const double cy = shown_.y + shown_.height / 2.0 - delta.y();
    fx_ = std::clamp(cx / whole.width, 0.0, 1.0);
    fy_ = std::clamp(cy / whole.height, 0.0, 1.0);
    rotation_ = chain_.settings().rotation;
    render();
    emit changed();
}

void OneToOne::refresh() {
    if (!wanted_ || loading_) return;
    if (sourcePath_ != chain_.currentPath()) {
        showFitted();
        return;
    }
    render();
}

void OneToOne::startDecode(const std::string& path) {
    enhanced_.drawStatus(kLoadingText);
    if (loading_) return;
    if (worker_.joinable()) worker_.join();
    loading_ = true;
    // The worker owns its photo; the result comes back as a queued call, which is dropped
    // when this object is gone (the destructor joins first).
    worker_ = std::thread([this, path] {
        std::shared_ptr<const DibImage> picture;
        try {
            PhotoEdit full;
            full.load(path);
            picture = std::make_shared<const DibImage>(std::move(full.image));
        } catch (...) {
        }
        QMetaObject::invokeMethod(
            this, [this, path, picture] { decoded(path, picture); }, Qt::QueuedConnection);
    });
}

void OneToOne::decoded(const std::string& path, std::shared_ptr<const DibImage> picture) {
    if (worker_.joinable()) worker_.join();
    loading_ = false;
    if (!wanted_) return;
    enhanced_.drawStatus("");
    // Another photo came meanwhile: its fitted view stays.
    if (path != chain_.currentPath()) {
        showFitted();
        return;
    }
    if (!picture || !picture->isValid()) {
        showFitted();
        return;
    }
    source_ = std::move(picture);
    sourcePath_ = path;
    render();
    emit changed();
}

void OneToOne::render() {
    const EnhancementSettings& s = chain_.settings();
    // A clockwise turn moves the point at (fx, fy) to (1 - fy, fx).
    for (int turns = ((s.rotation - rotation_) % 4 + 4) % 4; turns > 0; --turns) {
        const double x = fx_;
        fx_ = 1.0 - fy_;
        fy_ = x;
    }
    rotation_ = s.rotation;
    const CropRect whole = wholeResult(source_->width(), source_->height(), s);
    const auto centre = [&](double f, int32_t side) {
        return int32_t(std::min<double>(f * side, side - 1));
    };
    const int32_t cx = centre(fx_, whole.width), cy = centre(fy_, whole.height);
    shown_ = visibleRegion(whole, cx, cy, enhanced_.width(), enhanced_.height());
    PhotoEdit enhanced;
    if (!shown_.isEmpty() && renderRegion(*source_, s, shown_, enhanced))
        enhanced_.setZoomed(std::make_shared<const DibImage>(std::move(enhanced.image)));
    // The original at the same place: only the turns, no correction.
    EnhancementSettings turnsOnly;
    turnsOnly.rotation = s.rotation;
    shownOriginal_ = visibleRegion(whole, cx, cy, original_.width(), original_.height());
    PhotoEdit original;
    if (!shownOriginal_.isEmpty() && renderRegion(*source_, turnsOnly, shownOriginal_, original))
        original_.setZoomed(std::make_shared<const DibImage>(std::move(original.image)));
}
