// The save commands: every save reads the source again at full resolution, applies the
// current settings and writes a new "enh_" file (or a chosen name for "save...").
#include "workflow/batch_saver.h"

#include <sys/stat.h>

#include <cstdio>

#include "browse/directory_listing.h"

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

void BatchSaver::onInputDirectoryChanged(const std::string& directory) {
    views_.loadInputDirectory(directory);
    inputDirectory_ = directory;
    recomputeOutputDirectory();
}

void BatchSaver::onAutoset(bool checked) {
    autoset_ = checked;
    views_.setAutosetControls(checked);
    recomputeOutputDirectory();
}

void BatchSaver::recomputeOutputDirectory() {
    if (autoset_) outputDirectory_ = autosetDirectory(inputDirectory_);
    views_.showOutputDirectory(outputDirectory_);
}

void BatchSaver::onBrowse() {
    if (autoset_) return;
    const std::string folder = paths::pickFolder(&picker_, outputDirectory_);
    if (folder.empty()) return;
    outputDirectory_ = folder;
    views_.showOutputDirectory(folder);
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

void BatchSaver::onSaveCurrent() {
    if (!currentPhotoAvailable()) return;
    const std::string source = chain_.currentPath();
    const char* failure = nullptr;
    {
        Hourglass wait(view_);
        PhotoEdit photo;
        if (!loadForSaving(source, photo) || !renderForSaving(photo, chain_.settings(), &chain_)) {
            failure = kCannotReadFile;
        } else {
            createOutputDirectory(outputDirectory_);
            views_.refreshFolderTree();
            if (!photo.saveFile(outputNameFor(outputDirectory_, source), 0))
                failure = kCannotWriteFile;
            views_.refreshOutputView();
        }
    }
    if (failure) dialogs_.showMessage(failure);
}

void BatchSaver::onSaveSelected() {
    if (!dialogs_.askQuestion(kAskSaveSelected)) return;
    const std::vector<std::string> list = views_.selectedInputFiles();
    {
        Hourglass wait(view_);
        processBatch(list);
    }
    views_.refreshOutputView();
    dialogs_.showInformation(finishedMessage(processedCount_, unreadableCount_, unwrittenCount_));
}

void BatchSaver::onSaveDirectory() {
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
    dialogs_.showInformation(finishedMessage(processedCount_, unreadableCount_, unwrittenCount_));
}

void BatchSaver::processBatch(const std::vector<std::string>& list) {
    processedCount_ = 0;
    unreadableCount_ = 0;
    unwrittenCount_ = 0;
    if (list.empty()) return;
    createOutputDirectory(outputDirectory_);
    views_.refreshFolderTree();
    const int total = int(list.size());
    for (int i = 0; i < total; ++i) {
        const std::string& path = list[size_t(i)];
        if (!isBatchPhotoPath(path)) continue;
        PhotoEdit photo;
        // A photo that cannot be read is neither written nor counted.
        if (!loadForSaving(path, photo)) {
            ++unreadableCount_;
            continue;
        }
        ++processedCount_;
        char title[96];
        std::snprintf(title, sizeof title, "%s - Processing %d of %d", kAppTitle, i + 1, total);
        chain_.beginProgressTitle(title);
        if (!enhanceAndWrite(photo, chain_.settings(), outputNameFor(outputDirectory_, path),
                             &chain_, true))
            ++unwrittenCount_;
    }
    chain_.endProgressTitle();
}

void BatchSaver::onSaveAs() {
    if (!currentPhotoAvailable()) return;
    const std::string source = chain_.currentPath();
    if (saveDialogDirectory_.empty()) saveDialogDirectory_ = paths::parentPath(source);
    const std::string name = dialogs_.chooseSaveFile(saveDialogDirectory_, kSaveAsFilter);
    if (name.empty()) return;
    const char* failure = nullptr;
    {
        Hourglass wait(view_);
        PhotoEdit photo;
        if (!loadForSaving(source, photo))
            failure = kCannotReadFile;
        else if (!enhanceAndWrite(photo, chain_.settings(), name, &chain_, false))
            failure = kCannotWriteFile;
    }
    if (failure) dialogs_.showMessage(failure);
}
