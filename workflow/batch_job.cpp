// The batch job: photos are handed out in list order to worker threads; what they report is
// queued and delivered to the callbacks by the thread that runs the job.
#include "workflow/batch_job.h"
#include "workflow/preset_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "browse/path_helpers.h"
#include "enhance/photo_edit.h"
#include "workflow/exception_text.h"
#include "workflow/output_plan.h"
#include "workflow/output_rules.h"
#include "workflow/photo_saving.h"
#include "workflow/region_render.h"

namespace {

// The loader's or writer's message; the system's reason when the library left none.
std::string failureReason(const DibImage& image, int savedErrno, const char* verb,
                          const std::string& path) {
    if (image.lastError()[0]) return image.lastError();
    if (savedErrno)
        return std::string("cannot ") + verb + " " + path + ": " + std::strerror(savedErrno);
    return std::string("cannot ") + verb + " " + path;
}

// "PATH: REASON" for a message box: the reason of a "cannot VERB PATH: REASON" message about
// path, or the whole message.
std::string pathAndReason(const std::string& path, const std::string& message) {
    const std::string lead = "cannot ";
    const std::string marker = " " + path + ": ";
    if (message.rfind(lead, 0) == 0) {
        const size_t verbEnd = message.find(' ', lead.size());
        if (verbEnd != std::string::npos && message.compare(verbEnd, marker.size(), marker) == 0)
            return path + ": " + message.substr(verbEnd + marker.size());
    }
    return path + ": " + message;
}

}  // namespace

OutputRule OutputRule::enhancedInto(const std::string& directory) {
    OutputRule rule;
    rule.directory = directory;
    return rule;
}

OutputRule OutputRule::exactly(const std::string& path) {
    OutputRule rule;
    rule.path = path;
    return rule;
}

std::string OutputRule::nameFor(const std::string& source) const {
    return path.empty() ? outputNameFor(directory, source) : path;
}

std::string OutputRule::nameFor(const std::string& source, const OutputOptions& options,
                                size_t n) const {
    return path.empty() ? outputNameFor(directory, source, options, n) : path;
}

struct BatchJob::Shared {
    struct Event {
        enum Kind { kProgress, kStatus, kFinished } kind;
        size_t index;
        std::string text;
    };

    explicit Shared(std::vector<PhotoResult>& r) : results(r) {}

    std::vector<PhotoResult>& results;
    std::vector<std::string> outputs;  // the name asked for, per photo still to do
    std::vector<PhotoResult> refused;  // a failure known before the photo is read
    bool inline_ = true;               // no workers: the running thread works and delivers at once

    std::mutex mutex;
    std::condition_variable eventReady;  // for the delivering thread
    std::deque<Event> events;
    size_t next = 0;
    int liveWorkers = 0;
};

BatchJob::BatchJob(std::vector<std::string> sources, EnhancementSettings settings,
                   OutputRule output, int jobs)
    : settings_(std::move(settings)), jobs_(jobs) {
    sources_.reserve(sources.size());
    for (std::string& s : sources) sources_.push_back(BatchSource{std::move(s), output});
}

BatchJob::BatchJob(std::vector<BatchSource> sources, EnhancementSettings settings, int jobs)
    : sources_(std::move(sources)), settings_(std::move(settings)), jobs_(jobs) {}

bool BatchJob::stopRequested() const noexcept {
    return stop_.load() || (external_ && external_->load());
}

namespace {

// Hands a worker's step statuses to the delivering thread.
class QueueSink : public StatusSink {
  public:
    QueueSink(std::function<void(const std::string&)> post) : post_(std::move(post)) {}
    void showStatus(const std::string& text) override { post_(text); }

  private:
    std::function<void(const std::string&)> post_;
};

}  // namespace

std::string regionOutsideText(const CropRect& region, int32_t width, int32_t height,
                              const std::string& path) {
    return "the region " + std::to_string(region.x) + "," + std::to_string(region.y) + "," +
           std::to_string(region.width) + "," + std::to_string(region.height) +
           " lies outside the " + std::to_string(width) + " x " + std::to_string(height) +
           " result of " + path;
}

void BatchJob::processPhoto(Shared& shared, size_t index) noexcept {
    PhotoResult& result = shared.results[index];
    const std::string& source = sources_[index].path;
    const std::string& output = shared.outputs[index];
    // Delivered at once when this thread delivers, queued otherwise; a report that cannot be
    // made (out of memory) is dropped, the photo goes on.
    auto post = [&](Shared::Event::Kind kind, const std::string& text) noexcept {
        try {
            if (shared.inline_) {
                if (kind == Shared::Event::kStatus && status_) status_(index + 1, text);
                return;
            }
            std::lock_guard<std::mutex> lock(shared.mutex);
            shared.events.push_back(Shared::Event{kind, index, text});
            shared.eventReady.notify_one();
        } catch (...) {
        }
    };
    bool loaded = false;
    try {
        if (!shared.refused[index].reason.empty()) {
            result.outcome = PhotoOutcome::kUnwritable;
            result.written = shared.refused[index].written;
            result.reason = shared.refused[index].reason;
            result.detail = shared.refused[index].detail;
            return;
        }
        QueueSink sink([&](const std::string& text) { post(Shared::Event::kStatus, text); });
        PhotoEdit photo;
        errno = 0;
        if (!loadForSaving(source, photo)) {
            result.outcome = PhotoOutcome::kUnreadable;
            result.reason = failureReason(photo.image, errno, "read", source);
            result.detail = pathAndReason(source, result.reason);
        } else {
            loaded = true;
            // The copy records its settings, unless it is to carry no metadata at all.
            if (stripMetadata_)
                photo.metadata.reset();
            else
                photo.metadata = withSettingsRecord(photo.metadata, settings_);
            photo.image.setLastError("");
            errno = 0;
            const CropRect& crop = sources_[index].crop;
            const CropRect whole = crop.isEmpty()
                                       ? wholeResult(photo.width(), photo.height(), settings_)
                                       : CropRect{0, 0, crop.width, crop.height};
            if (region_ && !region_->fitsIn(whole.width, whole.height)) {
                result.outcome = PhotoOutcome::kUnwritable;
                result.written = output;
                result.reason = regionOutsideText(*region_, whole.width, whole.height, source);
                result.detail = pathAndReason(source, result.reason);
            } else if (enhanceAndWrite(photo, settings_, output, &sink, announceSaving_,
                                       &result.written, crop, region_ ? &*region_ : nullptr)) {
                result.outcome = PhotoOutcome::kWritten;
            } else {
                result.outcome = PhotoOutcome::kUnwritable;
                const std::string& target = result.written.empty() ? output : result.written;
                result.reason = failureReason(photo.image, errno, "write", target);
                result.detail = pathAndReason(target, result.reason);
            }
        }
    } catch (...) {
        // Out of memory on a huge picture and the like: this photo fails, the rest go on.
        result.outcome = loaded ? PhotoOutcome::kUnwritable : PhotoOutcome::kUnreadable;
        try {
            result.reason = exceptionText();
            const std::string& path =
                loaded ? (result.written.empty() ? output : result.written) : source;
            result.detail = pathAndReason(path, result.reason);
        } catch (...) {
        }
    }
}

void BatchJob::work(Shared& shared) noexcept {
    const size_t n = sources_.size();
    std::unique_lock<std::mutex> lock(shared.mutex, std::defer_lock);
    if (!shared.inline_) lock.lock();
    for (;;) {
        while (shared.next < n && shared.outputs[shared.next].empty()) ++shared.next;
        if (shared.next >= n || stopRequested()) break;
        const size_t i = shared.next++;
        shared.results[i].outcome = PhotoOutcome::kUnreadable;  // in hand from here on
        // Progress goes out while the lock is held, so it leaves in list order.
        try {
            if (shared.inline_) {
                if (progress_) progress_(i + 1, n, sources_[i].path);
            } else {
                shared.events.push_back(Shared::Event{Shared::Event::kProgress, i, {}});
                shared.eventReady.notify_one();
            }
        } catch (...) {
        }
        if (!shared.inline_) lock.unlock();
        processPhoto(shared, i);
        if (!shared.inline_) lock.lock();
        try {
            if (shared.inline_) {
                if (finished_) finished_(i + 1, shared.results[i]);
            } else {
                shared.events.push_back(Shared::Event{Shared::Event::kFinished, i, {}});
                shared.eventReady.notify_one();
            }
        } catch (...) {
        }
    }
}

void BatchJob::deliver(Shared& shared, std::unique_lock<std::mutex>& lock) noexcept {
    const size_t n = sources_.size();
    // Until the last worker has left, whatever happens here: the workers must be joined.
    try {
        while (shared.liveWorkers > 0 || !shared.events.empty()) {
            shared.eventReady.wait(
                lock, [&] { return shared.liveWorkers == 0 || !shared.events.empty(); });
            while (!shared.events.empty()) {
                Shared::Event event = std::move(shared.events.front());
                shared.events.pop_front();
                lock.unlock();
                try {
                    const size_t i = event.index;
                    if (event.kind == Shared::Event::kProgress && progress_)
                        progress_(i + 1, n, sources_[i].path);
                    else if (event.kind == Shared::Event::kStatus && status_)
                        status_(i + 1, event.text);
                    else if (event.kind == Shared::Event::kFinished && finished_)
                        finished_(i + 1, shared.results[i]);
                } catch (...) {
                }
                lock.lock();
            }
        }
    } catch (...) {
    }
}

struct BatchJob::Plan {
    std::vector<std::string> outputs;  // the name asked for, per photo the batch takes, else ""
    std::vector<std::string> targets;  // the file saving writes for it
    size_t photos = 0;
    std::string refusal;
};

void BatchJob::makePlan() {
    if (plan_) return;
    auto plan = std::make_shared<Plan>();
    const size_t n = sources_.size();
    plan->outputs.resize(n);
    plan->targets.resize(n);
    std::vector<PlannedOutput> checked;
    for (size_t i = 0; i < n; ++i) {
        const BatchSource& s = sources_[i];
        if (!isBatchPhoto(s.path)) continue;
        ++plan->photos;
        plan->outputs[i] = s.output.nameFor(s.path, settings_.output, plan->photos);
        plan->targets[i] = PhotoEdit::saveTarget(plan->outputs[i], 0, 24).path;
        checked.push_back(PlannedOutput{s.path, plan->targets[i], !s.output.path.empty()});
    }
    plan->refusal = outputClash(checked);
    plan_ = std::move(plan);
}

const std::string& BatchJob::refusal() {
    makePlan();
    return plan_->refusal;
}

void BatchJob::refuseUnmadeFolders(Shared& shared) const {
    const size_t n = sources_.size();
    std::map<std::string, std::string> folderFailures;  // folder -> its reason, or ""
    for (size_t i = 0; i < n; ++i) {
        if (shared.outputs[i].empty()) continue;
        const std::string& folder =
            sources_[i].output.path.empty() ? sources_[i].output.directory : std::string();
        if (folder.empty()) continue;
        auto it = folderFailures.find(folder);
        if (it == folderFailures.end()) {
            std::string failed;
            const int error = createOutputDirectory(folder, &failed);
            it = folderFailures
                     .emplace(folder, error ? failed + ": " + std::strerror(error) : std::string())
                     .first;
        }
        if (!it->second.empty()) {
            PhotoResult& refusal = shared.refused[i];
            refusal.written = plan_->targets[i];
            refusal.detail = it->second;
            refusal.reason = "cannot create the folder " + it->second;
        }
    }
}

namespace {

// Whatever stands at path (a file, a link, even a dangling one).
bool somethingAt(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::vector<PhotoResult> BatchJob::run() noexcept {
    std::vector<PhotoResult> results;
    const size_t n = sources_.size();
    try {
        results.resize(n);
        for (size_t i = 0; i < n; ++i) results[i].source = sources_[i].path;
        makePlan();
        Shared shared(results);
        shared.outputs = plan_->outputs;
        shared.refused.resize(n);
        size_t photos = 0;
        for (size_t i = 0; i < n; ++i) {
            PhotoResult& r = shared.results[i];
            if (shared.outputs[i].empty()) {
                r.outcome = PhotoOutcome::kNotAPhoto;
                continue;
            }
            // A clash writes nothing at all: every photo says why.
            if (!plan_->refusal.empty()) {
                r.outcome = PhotoOutcome::kUnwritable;
                r.written = plan_->targets[i];
                r.reason = plan_->refusal;
                r.detail = plan_->refusal;
                r.runRefused = true;
                continue;
            }
            if (skipExisting_) {
                // A paletted picture meant for GIF keeps ".gif": either name may be there.
                const std::string paletted = PhotoEdit::saveTarget(shared.outputs[i], 0, 8).path;
                const std::string& there = somethingAt(plan_->targets[i]) ? plan_->targets[i]
                                           : somethingAt(paletted)        ? paletted
                                                                          : std::string();
                if (!there.empty()) {
                    r.outcome = PhotoOutcome::kSkipped;
                    r.written = there;
                    shared.outputs[i].clear();
                    continue;
                }
            }
            ++photos;
        }
        if (!plan_->refusal.empty()) return results;
        if (createFolders_) refuseUnmadeFolders(shared);

        size_t jobs =
            jobs_ > 0 ? size_t(jobs_) : std::max<size_t>(1, std::thread::hardware_concurrency());
        jobs = std::min(jobs, photos);
        std::vector<std::thread> workers;
        if (jobs > 1) {
            shared.inline_ = false;
            std::unique_lock<std::mutex> lock(shared.mutex);
            for (size_t t = 0; t < jobs; ++t) {
                try {
                    ++shared.liveWorkers;
                    workers.emplace_back([this, &shared] {
                        work(shared);
                        std::lock_guard<std::mutex> guard(shared.mutex);
                        --shared.liveWorkers;
                        shared.eventReady.notify_one();
                    });
                } catch (...) {
                    --shared.liveWorkers;  // no thread to spare: fewer workers
                    break;
                }
            }
            if (workers.empty()) {
                shared.inline_ = true;
            } else {
                deliver(shared, lock);
            }
            if (lock.owns_lock()) lock.unlock();
            for (std::thread& w : workers) w.join();
        }
        if (shared.inline_) work(shared);
    } catch (...) {
        // Not even the plan could be made: every photo not done says why.
        const std::string reason = exceptionText();
        for (PhotoResult& r : results)
            if (r.outcome == PhotoOutcome::kNotStarted) {
                r.outcome = PhotoOutcome::kUnreadable;
                r.reason = reason;
            }
    }
    return results;
}

BatchCounts countResults(const std::vector<PhotoResult>& results) {
    BatchCounts c;
    for (const PhotoResult& r : results) {
        if (r.outcome == PhotoOutcome::kWritten || r.outcome == PhotoOutcome::kUnwritable)
            ++c.processed;
        if (r.outcome == PhotoOutcome::kUnreadable) ++c.unreadable;
        if (r.outcome == PhotoOutcome::kUnwritable) ++c.unwritten;
        if (r.outcome == PhotoOutcome::kNotStarted) ++c.notStarted;
        if (r.outcome == PhotoOutcome::kSkipped) ++c.skipped;
    }
    return c;
}

std::string batchSummary(const std::vector<PhotoResult>& results) {
    const BatchCounts c = countResults(results);
    std::string text = finishedMessage(c.processed, c.unreadable, c.unwritten);
    std::string refusal;
    for (const PhotoResult& r : results)
        if (r.runRefused)
            refusal = r.reason;
        else if (r.outcome == PhotoOutcome::kUnreadable || r.outcome == PhotoOutcome::kUnwritable)
            text.append("\n").append(paths::fileNameOf(r.source)).append(": ").append(r.reason);
    if (!refusal.empty()) text.append("\nNothing was written: ").append(refusal);
    if (c.skipped > 0) {
        char line[96];
        std::snprintf(line, sizeof line, "\n%d skipped: already written.", c.skipped);
        text += line;
    }
    if (c.notStarted > 0) {
        char line[96];
        std::snprintf(line, sizeof line, "\nStopped: %d not started.", c.notStarted);
        text += line;
    }
    return text;
}
