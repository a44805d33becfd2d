// OneToOne: the 100 % view of the two image views. The photo is decoded at full size once, on
// a worker thread, the first time 1:1 is asked for; then every change of the settings, every
// pan and every resize renders the visible region again through renderRegion, so the enhanced
// view shows the very pixels that saving writes.
#pragma once

#include <QObject>
#include <QPoint>
#include <memory>
#include <string>
#include <thread>

#include "image/dib_image.h"
#include "workflow/crop_rect.h"

class PreviewChain;
class ImageView;

class OneToOne : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kLoadingText = "Loading full size...";

    OneToOne(PreviewChain& chain, ImageView& enhanced, ImageView& original,
             QObject* parent = nullptr);
    // Waits for a decode in flight (it reads nothing of the window).
    ~OneToOne() override;

    // 100 % around the point of the result at (fx, fy), fractions of its width and height;
    // the full-size photo is decoded first when it is not at hand yet.
    void showAt(double fx, double fy);
    // The point of the enhanced view's fitted picture, or its centre when outside it.
    void showAtViewPoint(QPoint at);
    // Back to the fitted views.
    void showFitted();
    // 1:1 was asked for (perhaps still loading).
    bool active() const { return wanted_; }
    bool loading() const { return loading_; }
    // The region of the result the enhanced view shows (empty while fitted or loading).
    const CropRect& shownRegion() const { return shown_; }
    // The region of the (turned) original the original view shows.
    const CropRect& shownOriginalRegion() const { return shownOriginal_; }
    // The full-size upright photo at hand (null before the first decode).
    const DibImage* source() const { return source_.get(); }
    // Moves the view by a drag of delta view pixels.
    void pan(QPoint delta);
    // The chain recomputed (a panel click, a turn, another photo): the region again, or the
    // fitted views when another photo was loaded.
    void refresh();

  signals:
    // Entered, left, or the region changed.
    void changed();

  private:
    void startDecode(const std::string& path);
    void decoded(const std::string& path, std::shared_ptr<const DibImage> picture);
    void render();

    PreviewChain& chain_;
    ImageView& enhanced_;
    ImageView& original_;
    std::thread worker_;
    bool wanted_ = false;
    bool loading_ = false;
    std::string sourcePath_;
    std::shared_ptr<const DibImage> source_;
    // Where the view is centred, fractions of the result (kept through turns and loads).
    double fx_ = 0.5, fy_ = 0.5;
    // The settings' rotation the centre was taken at: a turn at 1:1 turns the centre with it.
    int rotation_ = 0;
    CropRect shown_;
    CropRect shownOriginal_;
};
