// One batch of corrected photos for the window's save commands and for vantifex-cli: the
// sources, a copy of the settings, where each result goes and how many photos run at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "workflow/crop_rect.h"
#include "workflow/enhancement_settings.h"
#include "workflow/exception_text.h"

// Where a corrected photo is written.
struct OutputRule {
    // "enh_" + the source's file name in directory (outputNameFor).
    static OutputRule enhancedInto(const std::string& directory);
    // Exactly path, whatever the source ("save...").
    static OutputRule exactly(const std::string& path);
    // The name asked for; the file written may differ as saveFile's name rule says.
    std::string nameFor(const std::string& source) const;
    // The name under the output options, source being photo n of the run ("save..." keeps
    // its path whatever they say).
    std::string nameFor(const std::string& source, const OutputOptions& options, size_t n) const;

    std::string directory;
    std::string path;
};

struct BatchSource {
    std::string path;
    OutputRule output;
    // The part kept, in pixels of the photo after its turns (empty: the whole photo); one
    // that does not fit fails the photo unwritten, with cropOutsideText as reason.
    CropRect crop{};
};

enum class PhotoOutcome {
    kWritten,
    kUnreadable,
    kUnwritable,
    kNotAPhoto,   // the batch does not take this file (isBatchPhoto)
    kNotStarted,  // a stop request came first
    kSkipped,     // its output is there already (setSkipExisting)
};

struct PhotoResult {
    PhotoOutcome outcome = PhotoOutcome::kNotStarted;
    std::string source;
    // kWritten: the file written; kUnwritable: the file that could not be written;
    // kSkipped: the file that was there.
    std::string written;
    // kUnreadable, kUnwritable: the loader's or the writer's message.
    std::string reason;
    // kUnreadable, kUnwritable: the path that failed and the system's reason, "PATH: REASON"
    // (the whole message as REASON when the system gave none), for a message box.
    std::string detail;
    // The whole run was refused (BatchJob::refusal()): reason is the refusal.
    bool runRefused = false;
};

// "the region X,Y,W,H lies outside the W x H result of PATH".
std::string regionOutsideText(const CropRect& region, int32_t width, int32_t height,
                              const std::string& path);

// Runs once. Every callback is called on the thread that calls run(), never on a worker, so
// a window may call its views from them (or post them on, when run() is off its thread).
class BatchJob {
  public:
    // i counts from 1 over all sources (files the batch does not take included), n is their
    // number. Called as each photo starts, in the order of the list.
    using Progress = std::function<void(size_t i, size_t n, const std::string& path)>;
    // The status texts of photo i's steps ("Sharpening...", "Saving...", "" to clear).
    using Status = std::function<void(size_t i, const std::string& text)>;
    // Photo i is done (written or failed), in the order the photos end.
    using Finished = std::function<void(size_t i, const PhotoResult& result)>;

    // jobs: photos corrected at once; 0 or less: one per core. The files written are the
    // same for any number.
    BatchJob(std::vector<std::string> sources, EnhancementSettings settings, OutputRule output,
             int jobs = 1);
    BatchJob(std::vector<BatchSource> sources, EnhancementSettings settings, int jobs = 1);

    void onProgress(Progress callback) { progress_ = std::move(callback); }
    void onStatus(Status callback) { status_ = std::move(callback); }
    void onFinished(Finished callback) { finished_ = std::move(callback); }
    // Whether the steps end with the status "Saving..." (the batch commands say it; the
    // single saves do not).
    void setAnnounceSaving(bool announce) { announceSaving_ = announce; }
    // The copies carry none of the photos' metadata (no camera, date or GPS).
    void setStripMetadata(bool strip) { stripMetadata_ = strip; }
    // Output folders ("enh_" rules) are made, every missing level, before any photo starts;
    // the photos into a folder that cannot be made fail with its reason, unread.
    void setCreateOutputFolders(bool create) { createFolders_ = create; }
    // Only this part of each result is written (renderRegion); a photo whose result does not
    // hold it is not written and fails with regionOutsideText.
    void setRegion(const CropRect& region) { region_ = region; }

    // A photo whose output file exists already is left alone and counted as skipped, so a
    // run that was cut short, or shared out among machines, does only what is left.
    void setSkipExisting(bool skip) { skipExisting_ = skip; }

    // Why the run would write nothing (outputClash of its outputs), or "". Planned once; run()
    // uses the same plan. May throw (out of memory), unlike run().
    const std::string& refusal();

    // From any thread (a signal handler included): the photos in hand finish, no other
    // photo starts.
    void stop() noexcept { stop_.store(true); }
    // A flag someone else sets (the command line's signal handler) that counts as stop().
    void watchStopFlag(const std::atomic<bool>* flag) noexcept { external_ = flag; }
    bool stopRequested() const noexcept;

    // One result per source, in list order. No exception leaves it: a photo that fails in
    // any way (out of memory included) is a result with its reason. A callback's exception
    // is swallowed. A run with a refusal() writes nothing: every photo it takes fails unread
    // with that reason.
    std::vector<PhotoResult> run() noexcept;

  private:
    struct Shared;
    struct Plan;
    void makePlan();
    void work(Shared& shared) noexcept;
    void processPhoto(Shared& shared, size_t index) noexcept;
    void deliver(Shared& shared, std::unique_lock<std::mutex>& lock) noexcept;
    // Marks the photos whose folder cannot be made.
    void refuseUnmadeFolders(Shared& shared) const;

    std::vector<BatchSource> sources_;
    EnhancementSettings settings_;
    int jobs_;
    bool announceSaving_ = true;
    bool stripMetadata_ = false;
    bool createFolders_ = false;
    std::optional<CropRect> region_;
    bool skipExisting_ = false;
    std::shared_ptr<const Plan> plan_;
    std::atomic<bool> stop_{false};
    const std::atomic<bool>* external_ = nullptr;
    Progress progress_;
    Status status_;
    Finished finished_;
};

// Photos processed (written or not), not read, not written, not started and skipped.
struct BatchCounts {
    int processed = 0;
    int unreadable = 0;
    int unwritten = 0;
    int notStarted = 0;
    int skipped = 0;
};
BatchCounts countResults(const std::vector<PhotoResult>& results);

// finishedMessage of the counts, then "NAME: reason" for each photo that could not be read
// or written (NAME the source's file name; a refused run's reason once, as "Nothing was
// written: REASON"), then how many were skipped as already written,
// then, after a stop, how many were not started.
std::string batchSummary(const std::vector<PhotoResult>& results);
