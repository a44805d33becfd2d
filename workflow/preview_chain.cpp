// The preview chain: each step copies the stage before it, does its one step and hands on
// to the next, so a changed setting recomputes only from its own step.
#include "workflow/preview_chain.h"

#include "workflow/exception_text.h"

namespace {

// The hourglass for the duration of a scope.
class WaitCursor {
  public:
    explicit WaitCursor(PreviewView& view) : view_(view) { view_.beginWaitCursor(); }
    ~WaitCursor() { view_.endWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    PreviewView& view_;
};

}  // namespace

PreviewChain::PreviewChain(EnhancementSettings& settings, PreviewView& view)
    : settings_(settings), view_(view) {}

template <class Work>
void PreviewChain::guarded(Work&& work) noexcept {
    try {
        work();
    } catch (...) {
        showStatus(exceptionText());
    }
}

void PreviewChain::restartAtSharpen() noexcept {
    guarded([&] { sharpenStep(); });
}
void PreviewChain::restartAtContrast() noexcept {
    guarded([&] { contrastStep(); });
}
void PreviewChain::restartAtWhiteBalance() noexcept {
    guarded([&] { whiteBalanceStep(); });
}
void PreviewChain::restartAtBrightness() noexcept {
    guarded([&] { brightnessStep(); });
}
void PreviewChain::restartAtColours() noexcept {
    guarded([&] { colourStep(); });
}

void PreviewChain::fillFrom(int target, int source) {
    stages_[size_t(target)].assign(stages_[size_t(source)]);
    ++fills_[size_t(target)];
}

bool PreviewChain::loadPhoto(const std::string& path) noexcept {
    bool loaded = false;
    guarded([&] {
        WaitCursor wait(view_);
        // The title names the photo being loaded, not the one before it.
        stages_[kStageOriginal].fileName = path;
        showStatus("Loading...");
        stages_[kStageOriginal].loadForPreview(path, limitWidth_, limitHeight_);
        ++fills_[kStageOriginal];
        currentPath_ = path;
        rebuildFittedNow(true);
        refreshOriginalViewNow();
        view_.setTitle(baseTitle());
        loaded = stages_[kStageOriginal].width() > 0;
    });
    return loaded;
}

void PreviewChain::rebuildFitted(bool full) noexcept {
    guarded([&] { rebuildFittedNow(full); });
}

void PreviewChain::rebuildFittedNow(bool full) {
    const PreviewView::ClientSize client = view_.enhancedClientSize();
    if (!full) {
        const SurfaceRect f = stages_[kStageFitted].fitRect(client.width, client.height, true);
        const double w = f.right - f.left;
        const double width = stages_[kStageFitted].width();
        if (0.9 * w < width && width < 1.1 * w) {
            resizeStep();
            return;
        }
    }
    // Stage 1 is resampled straight from stage 0 rather than copied first and shrunk then.
    const PhotoEdit& original = stages_[kStageOriginal];
    const SurfaceRect f = original.fitRect(client.width, client.height, false);
    const int32_t w = f.right - f.left;
    if (w < original.width())
        stages_[kStageFitted].assignResized(original, w, 0, 0);
    else
        stages_[kStageFitted].assign(original);
    ++fills_[kStageFitted];
    sharpenStep();
}

void PreviewChain::sharpenStep() {
    WaitCursor wait(view_);
    fillFrom(kStageSharpened, kStageFitted);
    steps::sharpen(stages_[kStageSharpened], settings_, this);
    contrastStep();
}

void PreviewChain::contrastStep() {
    fillFrom(kStageContrasted, kStageSharpened);
    steps::contrast(stages_[kStageContrasted], settings_, this);
    whiteBalanceStep();
}

void PreviewChain::whiteBalanceStep() {
    fillFrom(kStageBalanced, kStageContrasted);
    steps::whiteBalance(stages_[kStageBalanced], settings_, this);
    brightnessStep();
}

void PreviewChain::brightnessStep() {
    fillFrom(kStageBrightened, kStageBalanced);
    steps::brightness(stages_[kStageBrightened], settings_, this);
    resizeStep();
}

void PreviewChain::resizeStep() {
    WaitCursor wait(view_);
    showStatus("Resizing...");
    fillFrom(kStageResized, kStageBrightened);
    PhotoEdit& resized = stages_[kStageResized];
    const PreviewView::ClientSize client = view_.enhancedClientSize();
    const SurfaceRect f = resized.fitRect(client.width, client.height, true);
    if (resized.width() != f.right - f.left) resized.resize(f.right - f.left, f.bottom - f.top, 0);
    resized.splitChannels();
    colourStep();
}

void PreviewChain::colourStep() {
    fillFrom(kStageColoured, kStageResized);
    steps::colours(stages_[kStageColoured], settings_, this);
    effectStep();
    view_.repaintEnhanced();
}

void PreviewChain::effectStep() {
    const PhotoEdit& coloured = stages_[kStageColoured];
    PhotoEdit& result = stages_[kStageFinal];
    if (settings_.effectActive() && !settings_.channelShift().isZero()) {
        // The effect must see the colour shifts, which so far live only in the planes.
        result.combineFilled(coloured);
        ++fills_[kStageFinal];
    } else {
        fillFrom(kStageFinal, kStageColoured);
    }
    steps::effect(result, settings_);
    view_.repaintEnhanced();
}

void PreviewChain::refreshOriginalView() noexcept {
    guarded([&] { refreshOriginalViewNow(); });
}

void PreviewChain::refreshOriginalViewNow() {
    WaitCursor wait(view_);
    const PhotoEdit& original = stages_[kStageOriginal];
    PhotoEdit& shown = stages_[kStageOriginalView];
    const PreviewView::ClientSize client = view_.originalClientSize();
    const SurfaceRect f = original.fitRect(client.width, client.height, true);
    shown.assignResized(original, f.right - f.left, f.bottom - f.top, 0);
    ++fills_[kStageOriginalView];
    shown.splitChannels();
    view_.repaintOriginal();
}

void PreviewChain::rotate(int direction) {
    showStatus("Rotating...");
    stages_[kStageOriginal].rotateQuarter(direction);
    stages_[kStageOriginalView].rotateQuarter(direction);
    rebuildFittedNow(true);
    refreshOriginalViewNow();
}

void PreviewChain::onRotateLeft() noexcept {
    guarded([&] { rotate(1); });
}

void PreviewChain::onRotateRight() noexcept {
    guarded([&] { rotate(0); });
}

void PreviewChain::startOver() noexcept {
    guarded([&] {
        settings_.startOver();
        sharpenStep();
    });
}

void PreviewChain::pickWhitePoint(int32_t x, int32_t y) noexcept {
    guarded([&] {
        const PhotoEdit& coloured = stages_[kStageColoured];
        const ColourRef picked = coloured.getPixelRgb(x, coloured.height() - 1 - y);
        settings_.whiteBalance = addWhitePoint(settings_.whiteBalance, picked);
        whiteBalanceStep();
    });
}

ColourRef PreviewChain::trackPointer(int32_t x, int32_t y) noexcept {
    guarded([&] {
        const PhotoEdit& coloured = stages_[kStageColoured];
        settings_.pointColour = coloured.getPixelRgb(x, coloured.height() - 1 - y);
    });
    return settings_.pointColour;
}

std::string PreviewChain::baseTitle() const {
    const std::string& name = stages_[kStageOriginal].fileName;
    return name.empty() ? std::string(kAppTitle) : std::string(kAppTitle) + " - " + name;
}

// The status entries report through the views themselves, so a failure there has nowhere to
// go: the text is dropped.
void PreviewChain::showStatus(const std::string& text) noexcept {
    try {
        view_.drawStatus(text);
        // During a batch the status follows the progress title and replaces the one before.
        std::string title = progressTitle_ ? progressText_ : baseTitle();
        if (!text.empty()) title += " - " + text;
        view_.setTitle(title);
    } catch (...) {
    }
}

void PreviewChain::beginProgressTitle(const std::string& title) noexcept {
    progressTitle_ = true;
    try {
        progressText_ = title;
        view_.setTitle(title);
    } catch (...) {
    }
}

void PreviewChain::endProgressTitle() noexcept {
    progressTitle_ = false;
    try {
        progressText_.clear();
        view_.setTitle(baseTitle());
    } catch (...) {
    }
}
