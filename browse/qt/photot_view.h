// PhototView: the scrolling grid of thumbnails of one folder. Its worker threads post each
// finished thumbnail as an event; the view only appends, lays out and paints.
#pragma once

#include <QAbstractScrollArea>
#include <QEvent>
#include <QString>
#include <QStringList>
#include <memory>

#include "browse/folder_changes.h"
#include "browse/thumbnail_grid.h"
#include "browse/thumbnail_worker.h"

class QRubberBand;
class QSocketNotifier;
class QTimer;

// A finished thumbnail and the number of the scan that made it.
class ThumbnailReadyEvent : public QEvent {
  public:
    static constexpr QEvent::Type kType = QEvent::Type(0x523);
    ThumbnailReadyEvent(uint64_t scan, size_t index, std::unique_ptr<ThumbnailItem> item)
        : QEvent(kType), scan(scan), index(index), item(std::move(item)) {}
    uint64_t scan;
    size_t index;
    std::unique_ptr<ThumbnailItem> item;
};

// Every thumbnail of a scan has been handed over.
class ThumbnailsDoneEvent : public QEvent {
  public:
    static constexpr QEvent::Type kType = QEvent::Type(0x1634);
    explicit ThumbnailsDoneEvent(uint64_t scan) : QEvent(kType), scan(scan) {}
    uint64_t scan;
};

class PhototView : public QAbstractScrollArea, private thumbnails::ThumbnailSink {
    Q_OBJECT
  public:
    // The toolbar's commands.
    enum Command { kZoomIn = 32773, kZoomOut = 32774, kSelectAll = 32775, kUnselectAll = 32777 };

    explicit PhototView(QWidget* parent = nullptr, thumbnails::WorkerOptions options = {});
    // Stops the worker and waits for its threads before the window goes.
    ~PhototView() override;

    // Shows the photos of directory: stops a running scan, lists the folder and starts a new
    // scan; thumbnails appear as they are made.
    void loadDirectory(const QString& directory);
    // loadDirectory on the folder already shown.
    void refresh();
    // The photo step places from path in thumbnail order (ThumbnailGrid::stepCurrent): it
    // becomes the current thumbnail, scrolled into sight; empty past the ends.
    QString stepCurrent(const QString& path, int step);
    // Appends the paths of the marked thumbnails, in grid order.
    void getSelectedFiles(QStringList& out) const;

    void setMarkOnClick(bool on) { markOnClick_ = on; }
    bool markOnClick() const { return markOnClick_; }
    QString directory() const { return directory_; }
    bool scanDone() const { return grid_.scanDone(); }
    const ThumbnailGrid& grid() const { return grid_; }
    // The bytes of thumbnail pixels kept before the farthest from the screen are let go.
    void setPixelBudget(size_t bytes) { pixelBudget_ = bytes; }

  public slots:
    void zoomIn();
    void zoomOut();
    void selectAll();
    void unselectAll();

  signals:
    // An unmarked thumbnail was clicked: its photo is to be opened for editing.
    void photoClicked(const QString& path);
    // The current scan has handed over its last thumbnail.
    void scanFinished();

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    // Called on the worker's threads: they only post.
    void thumbnailReady(uint64_t scan, size_t index, std::unique_ptr<ThumbnailItem> item) override;
    void thumbnailsDone(uint64_t scan) override;

    void updateExtent();
    // The folder shown follows the disk: inotify's events are read as they come and applied
    // together a moment later, so a file written in many pieces is made once.
    // A folder that does not exist yet (an output folder before its first copy) is waited
    // for on its nearest existing ancestor. True when it appeared while the watch was armed,
    // so a listing made before may have missed its files.
    bool watch(const std::string& folder);
    // Watches the nearest existing ancestor of watched_ for the next folder of its path; true
    // once watched_ itself exists.
    bool awaitFolder();
    void readFolderEvents();
    void applyFolderEvents();
    // Tells the worker which cells are on screen (and which to make again), and lets go of
    // pixels far from them.
    void updateVisible();
    int scrollX() const;
    int scrollY() const;

    ThumbnailGrid grid_;
    QString directory_;
    bool markOnClick_ = false;
    QRubberBand* band_ = nullptr;
    QPoint bandOrigin_;
    bool tracking_ = false;
    size_t pixelBudget_ = ThumbnailGrid::kPixelBudget;
    int inotify_ = -1;
    int watch_ = -1;
    std::string watched_;
    int ancestor_ = -1;  // the watch on an ancestor of a folder still missing
    QSocketNotifier* notifier_ = nullptr;
    QTimer* settle_ = nullptr;
    std::vector<folders::FolderEvent> folderEvents_;
    bool overflowed_ = false;
    thumbnails::ThumbnailWorker worker_;  // last: its threads call back into this view
};
