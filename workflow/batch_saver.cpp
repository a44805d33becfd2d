// The save commands: every save reads the source again at full resolution, applies the
// current settings and writes a new "enh_" file (or a chosen name for "save...").
#include "workflow/batch_saver.h"

#include <sys/stat.h>

#include <cstdio>

#include "browse/directory_listing.h"
#include "workflow/batch_job.h"

namespace {

// The pointer is a courtesy: a window that cannot show it does not stop the save.
class Hourglass {
  public:
    explicit Hourglass(PreviewView& view) noexcept : view_(view) {
        try {
            view_.beginWaitCursor();
            on_ = true;
        } catch (...) {
        }
    }
    ~Hourglass() {
        if (!on_) return;
        try {
            view_.endWaitCursor();
        } catch (...) {
        }
    }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

  private:
    PreviewView& view_;
    bool on_ = false;
};

}  // namespace

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

void BatchSaver::runJob(std::unique_ptr<BatchJob> job, BatchReports reports) noexcept {
    if (runner_) {
        runner_->start(std::move(job), std::move(reports));
        return;
    }
    std::vector<PhotoResult> results;
    {
        Hourglass wait(view_);
        job->onProgress(std::move(reports.progress));
        job->onStatus(std::move(reports.status));
        results = job->run();
    }
    reports.done(results);
}

void BatchSaver::onSaveCurrent() noexcept {
    try {
        if (busy() || !currentPhotoAvailable()) return;
        saveOne(chain_.currentPath(), OutputRule::enhancedInto(outputDirectory_), true);
    } catch (...) {
        reportException();
    }
}

void BatchSaver::saveOne(const std::string& source, const OutputRule& output, bool refreshOutput) {
    // The photo in the editor keeps its crop; the batch commands crop nothing.
    auto job = std::make_unique<BatchJob>(
        std::vector<BatchSource>{BatchSource{source, output, chain_.crop()}}, chain_.settings(), 1);
    job->setAnnounceSaving(false);
    job->setCreateOutputFolders(true);
    BatchReports reports;
    if (showsSteps())
        reports.status = [this](size_t, const std::string& text) { chain_.showStatus(text); };
    reports.done = [this, refreshOutput](std::vector<PhotoResult>& results) {
        savedOne(results, refreshOutput);
    };
    runJob(std::move(job), std::move(reports));
}

void BatchSaver::savedOne(std::vector<PhotoResult>& results, bool refreshOutput) noexcept {
    try {
        // No result at all: the job could not even be planned (out of memory).
        PhotoOutcome outcome = results.empty() ? PhotoOutcome::kUnreadable : results[0].outcome;
        // A name the batch would not take (no photo content, no photo name) is still tried,
        // as the editor holds it.
        if (outcome == PhotoOutcome::kNotAPhoto) outcome = PhotoOutcome::kUnreadable;
        const bool read = outcome == PhotoOutcome::kWritten || outcome == PhotoOutcome::kUnwritable;
        // The job made the output folder (save current), so that the tree shows it.
        if (refreshOutput) views_.refreshFolderTree();
        if (refreshOutput && read) views_.refreshOutputView();
        const std::string detail = results.empty() ? std::string() : results[0].detail;
        if (outcome == PhotoOutcome::kUnreadable) dialogs_.showMessage(kCannotReadFile, detail);
        if (outcome == PhotoOutcome::kUnwritable) dialogs_.showMessage(kCannotWriteFile, detail);
    } catch (...) {
        reportException();
    }
}

void BatchSaver::onSaveSelected() noexcept {
    try {
        if (busy() || !dialogs_.askQuestion(kAskSaveSelected)) return;
        processBatch(views_.selectedInputFiles(), [this] { batchCommandDone(); });
    } catch (...) {
        reportException();
    }
}

void BatchSaver::onSaveDirectory() noexcept {
    try {
        if (busy() || !dialogs_.askQuestion(kAskSaveDirectory)) return;
        std::vector<std::string> list;
        DirectoryListing listing;
        listing.open(inputDirectory_);
        listing.collect(list, "");
        processBatch(list, [this] { batchCommandDone(); });
    } catch (...) {
        reportException();
    }
}

void BatchSaver::batchCommandDone() noexcept {
    try {
        views_.refreshOutputView();
        dialogs_.showInformation(summary_);
    } catch (...) {
        reportException();
    }
}

void BatchSaver::processBatch(const std::vector<std::string>& list,
                              std::function<void()> then) noexcept {
    processedCount_ = 0;
    unreadableCount_ = 0;
    unwrittenCount_ = 0;
    results_.clear();
    try {
        summary_ = finishedMessage(0, 0, 0);
        if (!list.empty()) {
            auto job = std::make_unique<BatchJob>(
                list, chain_.settings(), OutputRule::enhancedInto(outputDirectory_), jobs_);
            job->setCreateOutputFolders(true);
            BatchReports reports;
            reports.progress = [this](size_t i, size_t n, const std::string&) {
                char title[96];
                std::snprintf(title, sizeof title, "%s - Processing %zu of %zu", kAppTitle, i, n);
                chain_.beginProgressTitle(title);
            };
            if (showsSteps())
                reports.status = [this](size_t, const std::string& text) {
                    chain_.showStatus(text);
                };
            reports.done = [this, then](std::vector<PhotoResult>& results) {
                batchDone(results);
                if (then) then();
            };
            // From here the job's done report follows, whatever happens.
            runJob(std::move(job), std::move(reports));
            return;
        }
    } catch (...) {
        try {
            summary_ = finishedMessage(0, 0, 0) + "\n" + exceptionText();
        } catch (...) {
        }
    }
    if (then) then();
}

void BatchSaver::batchDone(std::vector<PhotoResult>& results) noexcept {
    // The title goes back to the editor's photo however the batch ended.
    chain_.endProgressTitle();
    try {
        // The job made the output folder: the tree shows it.
        views_.refreshFolderTree();
    } catch (...) {
    }
    try {
        results_ = std::move(results);
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
        if (busy() || !currentPhotoAvailable()) return;
        const std::string source = chain_.currentPath();
        if (saveDialogDirectory_.empty()) saveDialogDirectory_ = paths::parentPath(source);
        const std::string name = dialogs_.chooseSaveFile(saveDialogDirectory_, kSaveAsFilter);
        if (name.empty()) return;
        saveOne(source, OutputRule::exactly(name), false);
    } catch (...) {
        reportException();
    }
}
