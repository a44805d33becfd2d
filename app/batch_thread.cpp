// The save commands' worker thread: BatchJob::run there (its own workers beside it), every
// report queued to the window's thread in the order the job made it, done last.
#include "app/batch_thread.h"

#include <QMetaObject>

BatchThread::BatchThread(QObject* parent) : QObject(parent) {}

BatchThread::~BatchThread() {
    stopAndWait();
}

void BatchThread::post(quint64 serial, std::function<void()> call) {
    // Queued calls from one thread arrive in the order they were posted; a call for an
    // abandoned job, or after this object is gone, is dropped.
    QMetaObject::invokeMethod(
        this,
        [this, serial, call = std::move(call)] {
            if (serial == serial_) call();
        },
        Qt::QueuedConnection);
}

void BatchThread::start(std::unique_ptr<BatchJob> job, BatchReports reports) noexcept {
    const quint64 serial = ++serial_;
    if (thread_.joinable()) thread_.join();  // an earlier job's thread that has already ended
    std::shared_ptr<BatchJob> shared;
    std::shared_ptr<BatchReports> sharedReports;
    try {
        shared = std::shared_ptr<BatchJob>(std::move(job));
        sharedReports = std::make_shared<BatchReports>(std::move(reports));
        // The job calls these on the worker thread; they only copy what they report and
        // queue it for the window's thread.
        shared->onProgress(
            [this, serial, sharedReports](size_t i, size_t n, const std::string& path) {
                post(serial, [this, sharedReports, i, n, path] {
                    emit progressed(int(i), int(n));
                    if (sharedReports->progress) sharedReports->progress(i, n, path);
                });
            });
        if (sharedReports->status)
            shared->onStatus([this, serial, sharedReports](size_t i, const std::string& text) {
                post(serial, [sharedReports, i, text] { sharedReports->status(i, text); });
            });
        running_ = true;
        cancelling_ = false;
        job_ = shared;
        emit runningChanged(true);
        thread_ = std::thread([this, serial, shared, sharedReports] {
            auto results = std::make_shared<std::vector<PhotoResult>>(shared->run());
            post(serial, [this, results, sharedReports] { finish(*results, *sharedReports); });
        });
    } catch (...) {
        // No thread (or no memory for the hand-over): the job runs here, as it would
        // without a runner, and reports at once.
        running_ = false;
        job_.reset();
        emit runningChanged(false);
        const BatchReports& told = sharedReports ? *sharedReports : reports;
        std::vector<PhotoResult> results;
        if (shared) {
            try {
                shared->onProgress(told.progress);
                shared->onStatus(told.status);
            } catch (...) {
                shared->onProgress({});
                shared->onStatus({});
            }
            results = shared->run();
        }
        if (told.done) told.done(results);
    }
}

void BatchThread::finish(std::vector<PhotoResult>& results, const BatchReports& reports) {
    if (thread_.joinable()) thread_.join();  // it has posted this as its last act
    job_.reset();
    running_ = false;
    cancelling_ = false;
    ++serial_;  // nothing of this job is left to deliver
    emit runningChanged(false);
    if (reports.done) reports.done(results);
}

void BatchThread::cancel() {
    if (!running_ || !job_) return;
    cancelling_ = true;
    job_->stop();
}

void BatchThread::stopAndWait() {
    if (job_) job_->stop();
    if (thread_.joinable()) thread_.join();
    job_.reset();
    if (running_) {
        running_ = false;
        ++serial_;  // its queued reports are dropped
    }
}
