// The preview chain: each step copies the stage before it, does its one step and hands on
// to the next, so a changed setting recomputes only from its own step.
#include "workflow/preview_chain.h"

#include <climits>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "browse/path_helpers.h"
#include "image/area_shrink.h"
#include "workflow/exception_text.h"
#include "workflow/photo_crop.h"

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

// Makes the pictures of stage 1 and stage 9 while the photo is decoded: the decoder delivers
// rows from the top, and a row of an area average needs only the source rows under it, so the
// shrinking runs on a second core a few rows behind the decoder and is done soon after it.
class ShrinkWhileDecoding final : public DecodeProgress {
  public:
    // The sizes rebuildFittedNow and fitToOriginalView ask of the photo.
    ShrinkWhileDecoding(PreviewView::ClientSize enhanced, PreviewView::ClientSize original)
        : enhanced_(enhanced), original_(original) {}
    ~ShrinkWhileDecoding() override { stop(); }
    ShrinkWhileDecoding(const ShrinkWhileDecoding&) = delete;
    ShrinkWhileDecoding& operator=(const ShrinkWhileDecoding&) = delete;

    void begin(const DibImage& picture) noexcept override {
        const int32_t W = picture.width(), H = picture.height();
        const SurfaceRect f = PhotoEdit::fitRect(W, H, enhanced_.width, enhanced_.height, false);
        int32_t w = f.right - f.left, h = 0;
        PhotoEdit::resampledSize(W, H, w, h);
        const SurfaceRect o = PhotoEdit::fitRect(W, H, original_.width, original_.height, true);
        try {
            prepare(fitted_, picture, w, h);
            prepare(shown_, picture, o.right - o.left, o.bottom - o.top);
            if (fitted_.shrink || shown_.shrink) worker_ = std::thread([this] { run(); });
        } catch (...) {
            // No memory or no thread: the stages are made after the load as usual.
            fitted_.shrink.reset();
            shown_.shrink.reset();
        }
    }
    void rowsDone(int32_t lowest) noexcept override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            lowest_ = lowest;
        }
        wake_.notify_one();
    }
    void end(bool ok) noexcept override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (ok)
                lowest_ = 0;
            else
                stopped_ = true;
        }
        wake_.notify_one();
        // The picture is about to be freed.
        if (!ok) join();
    }
    // Once the load is over: the pictures of stage 1 and stage 9, null where none was made.
    std::pair<const DibImage*, const DibImage*> finish() {
        join();
        return {fitted_.done ? &fitted_.made : nullptr, shown_.done ? &shown_.made : nullptr};
    }

  private:
    struct Target {
        DibImage made;
        std::optional<AreaShrink> shrink;
        bool done = false;  // written by the worker, read after joining it
    };

    static void prepare(Target& t, const DibImage& picture, int32_t w, int32_t h) {
        if (!AreaShrink::applies(picture, w, h) || !t.made.create(w, h, 24, picture.type())) return;
        t.shrink.emplace(picture.pixels(), picture.stride(), picture.width(), picture.height(),
                         t.made);
    }
    void run() {
        int32_t seen = INT32_MAX;
        for (;;) {
            int32_t lowest = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return stopped_ || lowest_ < seen; });
                if (stopped_) return;
                lowest = seen = lowest_;
            }
            bool all = true;
            for (Target* t : {&fitted_, &shown_}) {
                if (t->shrink && !t->done) t->done = t->shrink->advance(lowest);
                all = all && (!t->shrink || t->done);
            }
            if (all) return;
        }
    }
    void stop() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        wake_.notify_one();
        join();
    }
    void join() {
        if (worker_.joinable()) worker_.join();
    }

    PreviewView::ClientSize enhanced_, original_;
    Target fitted_, shown_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    int32_t lowest_ = INT32_MAX;
    bool stopped_ = false;
};

// Stage 9: the original fitted to the original view's client area (made: the picture when it
// is already at hand).
void fitToOriginalView(const PhotoEdit& original, PreviewView::ClientSize client, PhotoEdit& shown,
                       const DibImage* made = nullptr) {
    const SurfaceRect f = original.fitRect(client.width, client.height, true);
    shown.assignResized(original, f.right - f.left, f.bottom - f.top, 0, made);
    shown.splitChannels();
}

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
        ShrinkWhileDecoding shrinking(view_.enhancedClientSize(), view_.originalClientSize());
        stages_[kStageOriginal].loadForPreview(path, limitWidth_, limitHeight_, &shrinking);
        const auto [fitted, shown] = shrinking.finish();
        ++fills_[kStageOriginal];
        currentPath_ = path;
        loaded = stages_[kStageOriginal].width() > 0;
        // Nothing was read: the title names no photo, as before the first load.
        const std::string reason = stages_[kStageOriginal].image.lastError();
        if (!loaded) stages_[kStageOriginal].fileName.clear();
        // A crop belongs to the photo it was drawn on.
        crop_ = CropRect{};
        cropped_ = PhotoEdit();
        fullUprightSize(path, stages_[kStageOriginal], fullWidth_, fullHeight_);
        rebuildAllNow(fitted, shown);
        view_.setTitle(baseTitle());
        // After the repaints of the empty stages, so that it stays until the next one.
        if (!loaded) view_.drawStatus(loadFailureText(path, reason));
    });
    return loaded;
}

std::string PreviewChain::loadFailureText(const std::string& path, const std::string& reason) {
    const std::string text = "Cannot read " + paths::fileNameOf(path);
    return reason.empty() ? text : text + ": " + reason;
}

void PreviewChain::rebuildFitted(bool full) noexcept {
    guarded([&] { rebuildFittedNow(full); });
}

void PreviewChain::rebuildFittedNow(bool full, const DibImage* fitted) {
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
    const PhotoEdit& original = fittedSource();
    // The picture made during the load is of the whole photo.
    if (&original != &stages_[kStageOriginal]) fitted = nullptr;
    const SurfaceRect f = original.fitRect(client.width, client.height, false);
    const int32_t w = f.right - f.left;
    if (w < original.width())
        stages_[kStageFitted].assignResized(original, w, 0, 0, fitted);
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
    histogram_ = planesHistogram(result);
    view_.repaintEnhanced();
}

const PhotoEdit& PreviewChain::fittedSource() const {
    return crop_.isEmpty() ? stages_[kStageOriginal] : cropped_;
}

void PreviewChain::makeCropped() {
    cropped_ = PhotoEdit();
    if (crop_.isEmpty()) return;
    const PhotoEdit& original = stages_[kStageOriginal];
    cropped_.assign(original);
    if (!cropPhoto(cropped_, scaleCrop(crop_, fullWidth_, fullHeight_, original.width(),
                                       original.height()))) {
        // No memory for the cut: the whole photo is shown rather than a stale one.
        crop_ = CropRect{};
        cropped_ = PhotoEdit();
    }
}

bool PreviewChain::setCrop(const CropRect& crop) noexcept {
    if (!crop.isEmpty() && !crop.fitsIn(fullWidth_, fullHeight_)) return false;
    bool taken = false;
    guarded([&] {
        WaitCursor wait(view_);
        crop_ = crop;
        makeCropped();
        taken = crop_ == crop;
        rebuildFittedNow(true);
        view_.repaintOriginal();
    });
    return taken;
}

void PreviewChain::refreshOriginalView() noexcept {
    guarded([&] { refreshOriginalViewNow(); });
}

void PreviewChain::refreshOriginalViewNow() {
    WaitCursor wait(view_);
    fitToOriginalView(stages_[kStageOriginal], view_.originalClientSize(),
                      stages_[kStageOriginalView]);
    ++fills_[kStageOriginalView];
    view_.repaintOriginal();
}

// Stages 1 to 8 and stage 9 only read stage 0, so after a load or a turn stage 9 is made on
// a second core meanwhile. It takes its place only at the end: a repaint on this thread may
// read the stage until then.
void PreviewChain::rebuildAllNow(const DibImage* fitted, const DibImage* shownPicture) {
    const PhotoEdit& original = stages_[kStageOriginal];
    const PreviewView::ClientSize client = view_.originalClientSize();
    PhotoEdit shown;
    std::future<void> done;
    try {
        done = std::async(std::launch::async,
                          [&] { fitToOriginalView(original, client, shown, shownPicture); });
    } catch (const std::system_error&) {
        // No thread to be had: made below, after the other stages.
    }
    rebuildFittedNow(true, fitted);
    if (done.valid())
        done.get();
    else
        fitToOriginalView(original, client, shown, shownPicture);
    stages_[kStageOriginalView] = std::move(shown);
    ++fills_[kStageOriginalView];
    view_.repaintOriginal();
}

void PreviewChain::rotate(int direction) {
    showStatus("Rotating...");
    stages_[kStageOriginal].rotateQuarter(direction);
    // The crop keeps the same part of the photo, now turned.
    crop_ = turnCrop(crop_, fullWidth_, fullHeight_, direction);
    std::swap(fullWidth_, fullHeight_);
    makeCropped();
    rebuildAllNow();
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
        if (crop_.isEmpty()) {
            sharpenStep();
            return;
        }
        crop_ = CropRect{};
        makeCropped();
        rebuildFittedNow(true);
        view_.repaintOriginal();
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
    // The file name alone, as desktop programs title a document (the folder is in the tree).
    const std::string& path = stages_[kStageOriginal].fileName;
    return path.empty() ? std::string(kAppTitle)
                        : std::string(kAppTitle) + " - " + paths::fileNameOf(path);
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
