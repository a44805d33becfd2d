// The save commands: every save reads the source again at full resolution, applies the
// current settings and writes a new "enh_" file (or a chosen name for "save...").
#include "workflow/batch_saver.h"

#include <sys/stat.h>

#include <cstdio>

#include "browse/directory_listing.h"
#include "workflow/batch_job.h"

namespace {

class Hourglass {
  public:
    explicit Hourglass(PreviewView& view) : view_(view) { view_.beginWaitCursor(); }
    ~Hourglass() { view_.endWaitCursor(); }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

  private:
    PreviewView& view_;
};

}  // namespace

bool loadForSaving(const std::string& sourcePath, PhotoEdit& photo) {
    photo.load(sourcePath);
    return photo.width() > 0;
}

bool enhanceAndWrite(PhotoEdit& photo, const EnhancementSettings& settings, const std::string& path,
                     StatusSink* sink, bool saySaving, std::string* writtenPath) {
    if (!renderForSaving(photo, settings, sink)) return false;
    if (saySaving && sink) sink->showStatus("Saving...");
    if (writtenPath) *writtenPath = PhotoEdit::saveTarget(path, 0, photo.image.bitCount()).path;
    return photo.saveFile(path, 0);
}

BatchSaver::BatchSaver(PreviewChain& chain, PreviewView& view, UserDialogs& dialogs,
                       paths::FolderPicker& picker, DirectoryViews& views)
    : chain_(chain), view_(view), dialogs_(dialogs), picker_(picker), views_(views) {
    outputDirectory_ = autosetDirectory(inputDirectory_);
}

void BatchSaver::onInputDirectoryChanged(const std::string& directory) noexcept {
    try {
        views_.loadInputDirectory(directory);
        inputDirectory_ = directory;
        recomputeOutputDirectory();
    } catch (...) {
        reportException();
    }
}

void BatchSaver::onAutoset(bool checked) noexcept {
    try {
        autoset_ = checked;
        views_.setAutosetControls(checked);
        recomputeOutputDirectory();
    } catch (...) {
        reportException();
    }
}

void BatchSaver::setOutputDirectoryText(const std::string& text) noexcept {
    try {
        outputDirectory_ = text;
    } catch (...) {
        reportException();
    }
}

void BatchSaver::recomputeOutputDirectory() {
    if (autoset_) outputDirectory_ = autosetDirectory(inputDirectory_);
    views_.showOutputDirectory(outputDirectory_);
}

void BatchSaver::onBrowse() noexcept {
    try {
        if (autoset_) return;
        const std::string folder = paths::pickFolder(&picker_, outputDirectory_);
        if (folder.empty()) return;
        outputDirectory_ = folder;
        views_.showOutputDirectory(folder);
    } catch (...) {
        reportException();
    }
}

bool BatchSaver::currentPhotoAvailable() {
    const std::string& path = chain_.currentPath();
    if (path.empty()) {
        dialogs_.showMessage(kNoSelectedImage);
        return false;
    }
    if (!paths::fileExists(path)) {
        dialogs_.showMessage(kCannotLocateFile);
        return false;
    }
    return true;
}

void BatchSaver::reportException() noexcept {
    try {
        dialogs_.showMessage(exceptionText());
    } catch (...) {
    }
}

void BatchSaver::onSaveCurrent() noexcept {
    try {
        if (!currentPhotoAvailable()) return;
        const char* failure = nullptr;
        {
            Hourglass wait(view_);
            createOutputDirectory(outputDirectory_);
            views_.refreshFolderTree();
            const PhotoResult result =
                saveOne(chain_.currentPath(), OutputRule::enhancedInto(outputDirectory_));
            if (result.outcome == PhotoOutcome::kUnreadable) failure = kCannotReadFile;
            if (result.outcome == PhotoOutcome::kUnwritable) failure = kCannotWriteFile;
            if (result.outcome != PhotoOutcome::kUnreadable) views_.refreshOutputView();
        }
        if (failure) dialogs_.showMessage(failure);
    } catch (...) {
        reportException();
    }
}

PhotoResult BatchSaver::saveOne(const std::string& source, const OutputRule& output) {
    BatchJob job({source}, chain_.settings(), output, 1);
    job.setAnnounceSaving(false);
    job.onStatus([this](size_t, const std::string& text) { chain_.showStatus(text); });
    std::vector<PhotoResult> results = job.run();
    if (results.empty()) {
        PhotoResult failed;
        failed.outcome = PhotoOutcome::kUnreadable;
        failed.reason = "Out of memory";
        return failed;
    }
    // A name the batch would not take (no photo content, no photo name) is still tried, as
    // the editor holds it.
    if (results[0].outcome == PhotoOutcome::kNotAPhoto)
        results[0].outcome = PhotoOutcome::kUnreadable;
    return results[0];
}

void BatchSaver::onSaveSelected() noexcept {
    try {
        if (!dialogs_.askQuestion(kAskSaveSelected)) return;
        const std::vector<std::string> list = views_.selectedInputFiles();
        {
            Hourglass wait(view_);
            processBatch(list);
        }
        views_.refreshOutputView();
        dialogs_.showInformation(summary_);
    } catch (...) {
        reportException();
    }
}

void BatchSaver::onSaveDirectory() noexcept {
    try {
        if (!dialogs_.askQuestion(kAskSaveDirectory)) return;
        std::vector<std::string> list;
        DirectoryListing listing;
        listing.open(inputDirectory_);
        listing.collect(list, "");
        {
            Hourglass wait(view_);
            processBatch(list);
        }
        views_.refreshOutputView();
        dialogs_.showInformation(summary_);
    } catch (...) {
        reportException();
    }
}

void BatchSaver::processBatch(const std::vector<std::string>& list) noexcept {
    processedCount_ = 0;
    unreadableCount_ = 0;
    unwrittenCount_ = 0;
    results_.clear();
    try {
        summary_ = finishedMessage(0, 0, 0);
        if (list.empty()) return;
        createOutputDirectory(outputDirectory_);
        views_.refreshFolderTree();
        // The title goes back to the editor's photo however the batch ends.
        struct TitleBack {
            PreviewChain& chain;
            ~TitleBack() {
                try {
                    chain.endProgressTitle();
                } catch (...) {
                }
            }
        } titleBack{chain_};
        BatchJob job(list, chain_.settings(), OutputRule::enhancedInto(outputDirectory_), jobs_);
        job.onProgress([this](size_t i, size_t n, const std::string&) {
            char title[96];
            std::snprintf(title, sizeof title, "%s - Processing %zu of %zu", kAppTitle, i, n);
            chain_.beginProgressTitle(title);
        });
        job.onStatus([this](size_t, const std::string& text) { chain_.showStatus(text); });
        results_ = job.run();
        const BatchCounts counts = countResults(results_);
        processedCount_ = counts.processed;
        unreadableCount_ = counts.unreadable;
        unwrittenCount_ = counts.unwritten;
        summary_ = batchSummary(results_);
    } catch (...) {
        try {
            summary_ = finishedMessage(processedCount_, unreadableCount_, unwrittenCount_) + "\n" +
                       exceptionText();
        } catch (...) {
        }
    }
}

void BatchSaver::onSaveAs() noexcept {
    try {
        if (!currentPhotoAvailable()) return;
        const std::string source = chain_.currentPath();
        if (saveDialogDirectory_.empty()) saveDialogDirectory_ = paths::parentPath(source);
        const std::string name = dialogs_.chooseSaveFile(saveDialogDirectory_, kSaveAsFilter);
        if (name.empty()) return;
        const char* failure = nullptr;
        {
            Hourglass wait(view_);
            const PhotoResult result = saveOne(source, OutputRule::exactly(name));
            if (result.outcome == PhotoOutcome::kUnreadable) failure = kCannotReadFile;
            if (result.outcome == PhotoOutcome::kUnwritable) failure = kCannotWriteFile;
        }
        if (failure) dialogs_.showMessage(failure);
    } catch (...) {
        reportException();
    }
}
