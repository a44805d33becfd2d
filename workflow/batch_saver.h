// Saving corrected photos: the output name rule, the "autoset" output folder, and the four
// save commands with their batch loop. Message boxes, dialogs and the neighbouring windows
// are interfaces that the desktop application implements.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browse/path_helpers.h"
#include "enhance/photo_edit.h"
#include "formats/format_table.h"
#include "workflow/batch_job.h"
#include "workflow/enhancement_settings.h"
#include "workflow/enhancement_steps.h"
#include "workflow/output_rules.h"
#include "workflow/photo_saving.h"
#include "workflow/preview_chain.h"

// Message boxes and the save-file dialog.
class UserDialogs {
  public:
    virtual ~UserDialogs() = default;
    // A plain box with an OK button; detail, when not empty, is its informative text (the
    // path that failed and the system's reason).
    virtual void showMessage(const std::string& text, const std::string& detail = {}) = 0;
    // A box with the information icon and an OK button.
    virtual void showInformation(const std::string& text) = 0;
    // Yes/No with the question icon; true for Yes.
    virtual bool askQuestion(const std::string& text) = 0;
    // The save-file dialog opened in directory with the given filter (Qt syntax), asking
    // before it overwrites; an empty text when cancelled.
    virtual std::string chooseSaveFile(const std::string& directory, const std::string& filter) = 0;
};

// The windows around the save commands: the folder tree, the two thumbnail views and the
// output-directory controls of the dialog bar.
class DirectoryViews {
  public:
    virtual ~DirectoryViews() = default;
    virtual void loadInputDirectory(const std::string& directory) = 0;
    // Puts text into the output-directory box and shows that folder in the output view.
    virtual void showOutputDirectory(const std::string& directory) = 0;
    virtual void refreshOutputView() = 0;
    // Refreshes the children of the tree's selected folder, so a new folder shows.
    virtual void refreshFolderTree() = 0;
    // "browse..." enabled and the box editable exactly when autoset is off.
    virtual void setAutosetControls(bool autoset) = 0;
    // Full paths of the marked thumbnails of the input view, in their order.
    virtual std::vector<std::string> selectedInputFiles() = 0;
};

// What a running job reports, on the thread that started it.
struct BatchReports {
    BatchJob::Progress progress;
    BatchJob::Status status;
    // Called once with the results, however the job ended.
    std::function<void(std::vector<PhotoResult>& results)> done;
};

// Where the save commands' jobs run. Without one the saver runs each job at once on the
// calling thread; the window runs them on a worker thread so that it stays usable.
class BatchRunner {
  public:
    virtual ~BatchRunner() = default;
    // Runs job and calls reports' callbacks on the calling thread: later, as the job goes,
    // when it runs elsewhere. Never throws; reports.done is always called.
    virtual void start(std::unique_ptr<BatchJob> job, BatchReports reports) noexcept = 0;
    // A job started here has not reported done yet.
    virtual bool running() const = 0;
    // Whether the steps' statuses ("Sharpening...") are to be shown: not while the editor
    // stays in use beside the job.
    virtual bool showsSteps() const = 0;
};

inline constexpr const char* kAskSaveSelected =
    "Would you like to process and save all selected files with the current settings?";
inline constexpr const char* kAskSaveDirectory =
    "Would you like to process and save the entire directory with the current settings?";
// Every format the library writes, under the names that select it.
inline const std::string kSaveAsFilter =
    "Image Files (" + formats::extensionPatterns(true) + ");;All Files (*)";

// The save commands. No exception leaves an entry the window calls: it becomes a message
// box, or, inside a batch, the failure reason of the photo it struck.
class BatchSaver {
  public:
    BatchSaver(PreviewChain& chain, PreviewView& view, UserDialogs& dialogs,
               paths::FolderPicker& picker, DirectoryViews& views);

    // A folder was chosen in the tree.
    void onInputDirectoryChanged(const std::string& directory) noexcept;
    // The "autoset" box was set or cleared.
    void onAutoset(bool checked) noexcept;
    // The user edited the output-directory box (only possible with autoset off).
    void setOutputDirectoryText(const std::string& text) noexcept;
    // "browse...": a folder picked with autoset off becomes the output directory.
    void onBrowse() noexcept;

    // "save current >", "save selected >", "save directory >" and "save...".
    void onSaveCurrent() noexcept;
    void onSaveSelected() noexcept;
    void onSaveDirectory() noexcept;
    void onSaveAs() noexcept;
    // The batch commands' job over full paths, with a copy of the settings as they are now;
    // then(), which must not throw, follows when it has ended (at once without a runner). The
    // progress title and the steps' statuses are shown on the calling thread.
    void processBatch(const std::vector<std::string>& list,
                      std::function<void()> then = {}) noexcept;
    // Where the jobs run (null: at once, on the calling thread). While one runs the save
    // commands do nothing.
    void setRunner(BatchRunner* runner) { runner_ = runner; }
    bool busy() const { return runner_ && runner_->running(); }
    // Photos corrected at once by the batch commands (0: one per core). With more than one
    // the statuses of the photos in hand follow each other in the title as they come.
    void setJobs(int jobs) { jobs_ = jobs; }

    bool autoset() const { return autoset_; }
    const std::string& inputDirectory() const { return inputDirectory_; }
    const std::string& outputDirectory() const { return outputDirectory_; }
    const std::string& saveDialogDirectory() const { return saveDialogDirectory_; }
    int processedCount() const { return processedCount_; }
    int unreadableCount() const { return unreadableCount_; }
    int unwrittenCount() const { return unwrittenCount_; }
    // What the last batch did with each entry, and its summary (the finished box's text).
    const std::vector<PhotoResult>& results() const { return results_; }
    const std::string& summary() const { return summary_; }

  private:
    void recomputeOutputDirectory();
    // Checks shared by "save current >" and "save...": false after telling the user.
    bool currentPhotoAvailable();
    // "save current >" and "save...": one photo through the batch job; a failure is told,
    // and refreshOutput refreshes the output view after a photo could be read.
    void saveOne(const std::string& source, const OutputRule& output, bool refreshOutput);
    void savedOne(std::vector<PhotoResult>& results, bool refreshOutput) noexcept;
    void batchDone(std::vector<PhotoResult>& results) noexcept;
    // After "save selected >" and "save directory >": the output view and the summary.
    void batchCommandDone() noexcept;
    // Runs the job on the runner, or here with the hourglass.
    void runJob(std::unique_ptr<BatchJob> job, BatchReports reports) noexcept;
    bool showsSteps() const { return !runner_ || runner_->showsSteps(); }
    void reportException() noexcept;

    PreviewChain& chain_;
    PreviewView& view_;
    UserDialogs& dialogs_;
    paths::FolderPicker& picker_;
    DirectoryViews& views_;
    BatchRunner* runner_ = nullptr;
    bool autoset_ = true;
    std::string inputDirectory_;
    std::string outputDirectory_;
    std::string saveDialogDirectory_;
    int processedCount_ = 0;
    int unreadableCount_ = 0;
    int unwrittenCount_ = 0;
    int jobs_ = 1;
    std::vector<PhotoResult> results_;
    std::string summary_;
};
