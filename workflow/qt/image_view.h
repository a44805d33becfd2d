// ImageView shows the enhanced picture (stage 8 of the preview chain) and takes the clicks of
// white-point picking; OriginalImageView shows the untouched photo (stage 9).
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <memory>

#include "workflow/crop_rect.h"
#include "workflow/preview_chain.h"

class ImageView : public QWidget {
    Q_OBJECT
  public:
    static constexpr const char* kPickInstruction =
        "Use the cursor to select something in the picture that is white.\n"
        "When finished click the 'White Balance' button.";

    explicit ImageView(QWidget* parent = nullptr);

    void setChain(const PreviewChain* chain);
    // The stage this view shows ("picture to show").
    virtual int stageShown() const { return kStageFinal; }
    const PhotoEdit* pictureToShow() const;

    // Pick mode: the picking cursor (enhanced view only), pointer tracking and the
    // instruction text along the bottom.
    void setPickMode(bool on);
    bool pickMode() const { return pickMode_; }

    // Draws text centred over the picture at once; it stays until the picture is repainted.
    // An empty text only clears it (the repaint that follows draws the picture).
    void drawStatus(const QString& text);
    const QString& statusText() const { return status_; }
    // The stage changed: the next paint draws it again.
    void refreshPicture();
    // At 100 %: picture (a region of the full-size result) is shown at its own size from the
    // view's top-left corner instead of the stage, and dragging pans; null: the fitted stage.
    void setZoomed(std::shared_ptr<const DibImage> picture);
    bool zoomed() const { return zoomed_ != nullptr; }
    const DibImage* zoomedPicture() const { return zoomed_.get(); }
    // Pictures composed so far (status-only repaints reuse the last one); benchmarks wait
    // for it to grow.
    int pictureCount() const { return pictureCount_; }

  signals:
    void resized();
    // Left button in pick mode (enhanced view only), view coordinates.
    void picked(QPoint at);
    // Pointer movement in pick mode.
    void pointerMoved(QPoint at);
    // A double-click with the left button, view coordinates.
    void doubleClicked(QPoint at);
    // At 100 %: the pointer moved by delta with the left button held.
    void dragged(QPoint delta);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Whether clicks pick and the cursor shows the cross-hair.
    virtual bool takesPicks() const { return true; }
    const PreviewChain* chain() const { return chain_; }

  private:
    void compose();
    // Where text is drawn, centred in the view.
    QRect statusRect(const QString& text) const;

    const PreviewChain* chain_ = nullptr;
    bool pickMode_ = false;
    QString status_;
    QRect statusShown_;  // where the current status text was drawn, with a margin
    // The picture as last composed (background, stage, instruction), reused while only a
    // status text changes.
    QImage frame_;
    bool frameDirty_ = true;
    int pictureCount_ = 0;
    std::shared_ptr<const DibImage> zoomed_;
    QPoint dragFrom_;
    bool dragging_ = false;
};

// Also where a crop is drawn: in crop mode a drag draws the rectangle, its edges and corners
// move it, Enter or a double-click applies it and Esc cancels. The applied crop is shown
// with the rest of the photo dimmed.
class OriginalImageView : public ImageView {
    Q_OBJECT
  public:
    using ImageView::ImageView;
    int stageShown() const override { return kStageOriginalView; }

    // Starts editing the chain's crop (or a new one), or leaves crop mode.
    void setCropMode(bool on);
    bool cropMode() const { return cropMode_; }
    // An index of kCropAspects.
    void setCropAspect(int aspect);
    // The rectangle being drawn, in pixels of the upright photo at full resolution.
    const CropRect& pendingCrop() const { return pending_; }
    // Where a crop of the full photo lies in the view.
    QRect viewRectOf(const CropRect& crop) const;

  signals:
    void cropApplied(CropRect crop);
    void cropCancelled();

  protected:
    bool takesPicks() const override { return false; }
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // A view point in pixels of the full photo, clamped to it.
    QPoint toFull(QPoint at) const;
    void dragTo(QPoint full);

    bool cropMode_ = false;
    int aspect_ = 0;
    CropRect pending_;
    bool dragging_ = false;
    // What the drag moves: a new rectangle from anchor_, or these edges of pending_.
    bool newRect_ = true, left_ = false, right_ = false, top_ = false, bottom_ = false;
    QPoint anchor_;
};
