// BatchThread: runs the save commands' jobs on a worker thread of its own and hands every
// report of the job to the window's thread as a queued call, so the window keeps working.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <thread>

#include "workflow/batch_saver.h"

class BatchThread : public QObject, public BatchRunner {
    Q_OBJECT
  public:
    explicit BatchThread(QObject* parent = nullptr);
    // Stops a running job and waits for the photos in hand; its reports are dropped.
    ~BatchThread() override;

    // --- BatchRunner ---
    // At most one job at a time: the saver does not start one while running() is true.
    void start(std::unique_ptr<BatchJob> job, BatchReports reports) noexcept override;
    bool running() const override { return running_; }
    bool showsSteps() const override { return false; }

    // The photos in hand finish, no other starts; the job then reports done as usual.
    void cancel();
    bool cancelling() const { return cancelling_; }
    // Stops a running job and blocks until its thread has left; its reports are dropped.
    void stopAndWait();

  signals:
    // Photo i of n started (n counts every entry of the list).
    void progressed(int i, int n);
    // running() changed (emitted before the job's done report, so the window is ready for
    // what that report shows).
    void runningChanged(bool running);

  private:
    // On the window's thread, for the job numbered serial: runs call unless that job has
    // been abandoned since.
    void post(quint64 serial, std::function<void()> call);
    void finish(std::vector<PhotoResult>& results, const BatchReports& reports);

    std::thread thread_;
    std::shared_ptr<BatchJob> job_;
    quint64 serial_ = 0;
    bool running_ = false;
    bool cancelling_ = false;
};
