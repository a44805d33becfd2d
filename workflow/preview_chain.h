// PreviewChain: ten cached PhotoEdit stages that hold the photo after each enhancement step at
// screen size, so that a changed setting recomputes only from its own step onward.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "enhance/photo_edit.h"
#include "workflow/crop_rect.h"
#include "workflow/enhancement_settings.h"
#include "workflow/enhancement_steps.h"
#include "workflow/histogram.h"

// What the chain needs of the windows; the desktop application implements it with its main
// window and its two image views, the tests with a fake.
class PreviewView {
  public:
    struct ClientSize {
        int32_t width = 0;
        int32_t height = 0;
    };
    virtual ~PreviewView() = default;
    // Client areas of the enhanced and the original view, which the stages are fitted to.
    virtual ClientSize enhancedClientSize() const = 0;
    virtual ClientSize originalClientSize() const = 0;
    // Draws text centred in the enhanced view until its next repaint.
    virtual void drawStatus(const std::string& text) = 0;
    virtual void repaintEnhanced() = 0;
    virtual void repaintOriginal() = 0;
    // Hourglass pointer; calls nest.
    virtual void beginWaitCursor() = 0;
    virtual void endWaitCursor() = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(const std::string& title) = 0;
};

// The stages, by index.
enum Stage : int {
    kStageOriginal = 0,
    kStageFitted = 1,
    kStageSharpened = 2,
    kStageContrasted = 3,
    kStageBalanced = 4,
    kStageBrightened = 5,
    kStageResized = 6,
    kStageColoured = 7,
    kStageFinal = 8,
    kStageOriginalView = 9,
    kStageCount = 10,
};

inline constexpr const char* kAppTitle = "Vantifex";

// No exception leaves an entry point: it is shown as a status text ("Out of memory") and
// the stages keep what they hold.
class PreviewChain : public StatusSink {
  public:
    // The chain reads settings at every step and keeps both references.
    PreviewChain(EnhancementSettings& settings, PreviewView& view);

    // A thumbnail was chosen: load it into stage 0 and recompute everything. True when the
    // photo could be read; otherwise the stages are empty, the title is "Vantifex" and the
    // enhanced view shows loadFailureText until its next repaint.
    bool loadPhoto(const std::string& path) noexcept;
    // "Cannot read NAME: REASON", NAME the file-name part of path, REASON the loader's message.
    static std::string loadFailureText(const std::string& path, const std::string& reason);
    // The largest size the preview ever needs (the screen): stage 0 is decoded only as large
    // as it takes to cover it. 0 x 0, the start, loads photos whole.
    void setPreviewLimit(int32_t width, int32_t height) {
        limitWidth_ = width;
        limitHeight_ = height;
    }
    // full: after a load or turn. Otherwise (the enhanced view was resized) a change of the
    // fitted width by less than 10 % only resamples stage 6 again.
    void rebuildFitted(bool full) noexcept;
    // The panel's entries: recompute from the step that the changed value feeds.
    void restartAtSharpen() noexcept;
    void restartAtContrast() noexcept;
    void restartAtWhiteBalance() noexcept;
    void restartAtBrightness() noexcept;
    void restartAtColours() noexcept;
    // Turn stage 0 (and the original view) a quarter; the panel has already counted the turn
    // in the settings' rotation.
    void onRotateLeft() noexcept;
    void onRotateRight() noexcept;
    // Resets the settings (rotation stays), drops the crop and recomputes from the sharpen
    // step.
    void startOver() noexcept;
    // The one way the crop of the photo shown changes: a rectangle of the upright photo at
    // full resolution is applied, an empty one clears it. The stages from stage 1 on are made
    // from that part of stage 0 (scaled to its size); stage 9 keeps the whole photo. False,
    // nothing changed, for a rectangle that does not fit the photo. Loading another photo
    // clears the crop; a turn turns it with the photo.
    bool setCrop(const CropRect& crop) noexcept;
    const CropRect& crop() const { return crop_; }
    // The upright photo's size at full resolution, which the crop is counted in (stage 0
    // may be decoded smaller).
    int32_t fullWidth() const { return fullWidth_; }
    int32_t fullHeight() const { return fullHeight_; }
    // Of stage 8 as the enhanced view shows it, made again with every recomputation.
    const Histogram& histogram() const { return histogram_; }
    // Stage 9: stage 0 fitted to the original view.
    void refreshOriginalView() noexcept;

    // A click at (x, y) of the enhanced view in pick mode: adds the picked pixel of stage 7
    // (the picture as drawn from the view's top-left corner) to the white balance.
    void pickWhitePoint(int32_t x, int32_t y) noexcept;
    // Pointer movement in pick mode: the colour under (x, y), stored as the point colour.
    ColourRef trackPointer(int32_t x, int32_t y) noexcept;

    // Draws text in the enhanced view and appends it to the title.
    void showStatus(const std::string& text) noexcept override;
    // While a batch runs its progress title stays and each status is appended to it in place
    // of the one before.
    void beginProgressTitle(const std::string& title) noexcept;
    // Back to "Vantifex - " + the file name of the photo in the editor.
    void endProgressTitle() noexcept;
    // "Vantifex", plus " - " and the file-name part of stage 0's path when it has one.
    std::string baseTitle() const;

    const PhotoEdit& stage(int index) const { return stages_[size_t(index)]; }
    const std::string& currentPath() const { return currentPath_; }
    EnhancementSettings& settings() { return settings_; }
    // How often each stage has been refilled (a diagnostic for tests and tools).
    int fillCount(int index) const { return fills_[size_t(index)]; }
    void resetFillCounts() { fills_.fill(0); }

  private:
    // Runs an entry's work; an exception becomes a status text.
    template <class Work>
    void guarded(Work&& work) noexcept;
    // fitted: stage 1's picture when it was made during the load (ShrinkWhileDecoding).
    void rebuildFittedNow(bool full, const DibImage* fitted = nullptr);
    void refreshOriginalViewNow();
    // Stages 1 to 9 from stage 0; fitted and shownPicture: the pictures of stages 1 and 9 when
    // they were made during the load.
    void rebuildAllNow(const DibImage* fitted = nullptr, const DibImage* shownPicture = nullptr);
    void rotate(int direction);
    void sharpenStep();
    void contrastStep();
    void whiteBalanceStep();
    void brightnessStep();
    void resizeStep();
    void colourStep();
    void effectStep();
    void fillFrom(int target, int source);
    // cropped_ := stage 0 cut to the crop (nothing without one).
    void makeCropped();
    // What stage 1 is made from: stage 0, or its cropped part.
    const PhotoEdit& fittedSource() const;

    EnhancementSettings& settings_;
    PreviewView& view_;
    std::array<PhotoEdit, kStageCount> stages_;
    std::array<int, kStageCount> fills_{};
    std::string currentPath_;
    bool progressTitle_ = false;
    std::string progressText_;
    int32_t limitWidth_ = 0;
    int32_t limitHeight_ = 0;
    CropRect crop_;
    PhotoEdit cropped_;
    int32_t fullWidth_ = 0;
    int32_t fullHeight_ = 0;
    Histogram histogram_;
};
