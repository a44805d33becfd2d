// The thumbnail view's window side: posting and receiving the workers' events, scroll
// extent, painting through the grid onto a surface, clicks and the rubber band.
#include "browse/qt/photot_view.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <filesystem>
#include <mutex>

#include <sys/inotify.h>
#include <unistd.h>

#include "browse/directory_listing.h"
#include "browse/photo_rule.h"
#include "browse/qt/qt_paths.h"
#include "image/surface.h"

namespace {

// Keeps the loadDirectory calls of all thumbnail views from overlapping.
std::mutex& loadLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

PhototView::PhototView(QWidget* parent, thumbnails::WorkerOptions options)
    : QAbstractScrollArea(parent), worker_(*this, options) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    // The paint fills every pixel; erasing first would only flicker.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
    setObjectName("thumbnails");
    setAccessibleName("thumbnails");
    updateExtent();

    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(100);
    connect(settle_, &QTimer::timeout, this, &PhototView::applyFolderEvents);
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ >= 0) {
        notifier_ = new QSocketNotifier(inotify_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &PhototView::readFolderEvents);
    }
}

PhototView::~PhototView() {
    // The threads post to this object: they must be gone before any of it is.
    worker_.stop();
    if (inotify_ >= 0) {
        delete notifier_;
        ::close(inotify_);
    }
}

bool PhototView::watch(const std::string& folder) {
    if (inotify_ < 0) return false;
    if (watch_ >= 0) inotify_rm_watch(inotify_, watch_);
    if (ancestor_ >= 0) inotify_rm_watch(inotify_, ancestor_);
    ancestor_ = -1;
    constexpr uint32_t kFolderMask =
        IN_CREATE | IN_CLOSE_WRITE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
    watch_ = inotify_add_watch(inotify_, folder.c_str(), kFolderMask);
    const bool missing = watch_ < 0 && errno == ENOENT;
    watched_ = folder;
    folderEvents_.clear();
    overflowed_ = false;
    if (!missing || !awaitFolder()) return false;
    // Made between the first try and the ancestor's watch.
    watch_ = inotify_add_watch(inotify_, folder.c_str(), kFolderMask);
    return watch_ >= 0;
}

bool PhototView::awaitFolder() {
    namespace fs = std::filesystem;
    fs::path target = fs::path(watched_).lexically_normal();
    if (!target.is_absolute()) return false;
    if (target.filename().empty() && target.has_relative_path()) target = target.parent_path();
    for (;;) {
        // The walk starts over after each watch: folders may come faster than their events.
        std::error_code error;
        fs::path at = target, below;
        while (!fs::is_directory(at, error) && at.has_relative_path()) {
            below = at;
            at = at.parent_path();
        }
        if (below.empty()) return true;
        if (ancestor_ >= 0) inotify_rm_watch(inotify_, ancestor_);
        ancestor_ = inotify_add_watch(inotify_, at.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
        if (ancestor_ < 0) return false;
        // Checked after arming, so a folder made just before is not missed.
        if (!fs::is_directory(below, error)) return false;
    }
}

void PhototView::readFolderEvents() {
    alignas(inotify_event) char buffer[16384];
    bool appeared = false;
    for (;;) {
        const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) overflowed_ = true;
            if (ancestor_ >= 0 && e->wd == ancestor_) {
                // A folder on the way made, or the ancestor itself gone: look again.
                if ((e->mask & IN_ISDIR) || (e->mask & IN_IGNORED)) appeared = true;
                continue;
            }
            if (watch_ >= 0 && e->wd == watch_ && (e->mask & IN_IGNORED)) {
                // The folder itself was removed (its files went first): it is waited for
                // again, as an output folder the next batch makes anew.
                watch_ = -1;
                appeared = true;
                continue;
            }
            // Events of a folder watched before are still queued after a switch.
            if (e->wd != watch_ || e->len == 0 || (e->mask & IN_ISDIR)) continue;
            using E = folders::FolderEvent;
            E::Kind kind;
            if (e->mask & IN_CREATE)
                kind = E::Created;
            else if (e->mask & IN_CLOSE_WRITE)
                kind = E::Written;
            else if (e->mask & IN_DELETE)
                kind = E::Deleted;
            else if (e->mask & IN_MOVED_FROM)
                kind = E::MovedOut;
            else if (e->mask & IN_MOVED_TO)
                kind = E::MovedIn;
            else
                continue;
            folderEvents_.push_back(E{kind, std::string(e->name), e->cookie});
        }
    }
    // The folder waited for exists: listed now, and watched as any other.
    if (appeared && awaitFolder()) {
        refresh();
        return;
    }
    if ((!folderEvents_.empty() || overflowed_) && !settle_->isActive()) settle_->start();
}

void PhototView::applyFolderEvents() {
    if (overflowed_) {
        // Events were lost: only listing the folder again tells what it holds.
        overflowed_ = false;
        folderEvents_.clear();
        refresh();
        return;
    }
    const std::string prefix =
        watched_.empty() || watched_.back() == '/' ? watched_ : watched_ + "/";
    std::vector<std::string> shown;
    for (const auto& item : grid_.items())
        if (item->path.compare(0, prefix.size(), prefix) == 0)
            shown.push_back(item->path.substr(prefix.size()));
    auto isPhoto = [](const std::string& name, const void* folder) {
        return photos::isPhoto(*static_cast<const std::string*>(folder) + name);
    };
    const std::vector<folders::FolderEdit> edits =
        folders::folderEdits(shown, folderEvents_, isPhoto, &prefix);
    folderEvents_.clear();
    if (edits.empty()) return;

    // Names are resolved to file indices first: a swap renames a name another edit reads.
    const uint64_t scan = grid_.scan();
    std::vector<size_t> indices;
    for (const auto& edit : edits) {
        const int pos = grid_.positionOfPath(prefix + edit.name);
        indices.push_back(pos < 0 ? size_t(-1) : grid_.items()[size_t(pos)]->index);
    }
    for (size_t i = 0; i < edits.size(); ++i) {
        const folders::FolderEdit& edit = edits[i];
        const size_t index = indices[i];
        switch (edit.kind) {
            case folders::FolderEdit::Remove:
                worker_.removeFile(scan, index);
                grid_.remove(index);
                break;
            case folders::FolderEdit::Rename:
                worker_.renameFile(scan, index, prefix + edit.newName);
                grid_.renameCell(index, prefix + edit.newName);
                break;
            case folders::FolderEdit::Refresh:
                worker_.remake(scan, index);
                break;
            case folders::FolderEdit::Add: {
                const std::string path = prefix + edit.name;
                const int type = photos::photoFormatOf(path);
                if (type < 0) break;
                const size_t added = worker_.addFile(scan, path);
                if (added != size_t(-1)) grid_.addWaiting(added, path, uint32_t(type));
                break;
            }
        }
    }
    updateExtent();
    updateVisible();
    viewport()->update();
}

void PhototView::loadDirectory(const QString& directory) {
    std::lock_guard<std::mutex> lock(loadLock());
    directory_ = directory;
    worker_.stop();
    DirectoryListing listing;
    listing.open(toLocalPath(directory));
    if (watch(listing.path())) listing.scan();
    std::vector<std::string> files;
    listing.collect(files, "");
    // A waiting cell per photo: the extent of the whole folder is known at once, and so are
    // the files on the first screen, which the worker takes first.
    const uint64_t scan = grid_.beginScan(files);
    updateExtent();
    std::vector<size_t> unmade, dropped;
    size_t first = 0, last = 0;
    grid_.visibleRange(scrollY(), viewport()->height(), first, last);
    grid_.takeMissing(first, last, unmade, dropped);
    worker_.start(scan, std::move(files), grid_.thumbnailHeight(), unmade);
    viewport()->update();
}

void PhototView::updateVisible() {
    size_t first = 0, last = 0;
    grid_.visibleRange(scrollY(), viewport()->height(), first, last);
    std::vector<size_t> unmade, dropped;
    grid_.takeMissing(first, last, unmade, dropped);
    worker_.setVisible(grid_.scan(), unmade);
    for (size_t index : dropped) worker_.remake(grid_.scan(), index);
    grid_.keepPixelsNear(first, last, pixelBudget_);
}

void PhototView::scrollContentsBy(int, int) {
    updateVisible();
    viewport()->update();
}

void PhototView::refresh() {
    loadDirectory(directory_);
}

void PhototView::getSelectedFiles(QStringList& out) const {
    std::vector<std::string> paths;
    grid_.getSelectedFiles(paths);
    for (const std::string& p : paths) out.append(fromLocalPath(p));
}

void PhototView::zoomIn() {
    if (grid_.zoomIn()) loadDirectory(directory_);
}

void PhototView::zoomOut() {
    if (grid_.zoomOut()) loadDirectory(directory_);
}

void PhototView::selectAll() {
    grid_.selectAll();
    viewport()->update();
}

void PhototView::unselectAll() {
    grid_.unselectAll();
    viewport()->update();
}

void PhototView::thumbnailReady(uint64_t scan, size_t index, std::unique_ptr<ThumbnailItem> item) {
    QCoreApplication::postEvent(this, new ThumbnailReadyEvent(scan, index, std::move(item)));
}

void PhototView::thumbnailsDone(uint64_t scan) {
    QCoreApplication::postEvent(this, new ThumbnailsDoneEvent(scan));
}

bool PhototView::event(QEvent* event) {
    if (event->type() == ThumbnailReadyEvent::kType) {
        auto* ready = static_cast<ThumbnailReadyEvent*>(event);
        // A thumbnail of a folder shown before is dropped here.
        if (grid_.place(ready->scan, ready->index, std::move(ready->item))) {
            updateExtent();
            // A wide thumbnail moves the cells after it; the budget counts the new pixels.
            updateVisible();
            viewport()->update();
        }
        return true;
    }
    if (event->type() == ThumbnailsDoneEvent::kType) {
        if (grid_.finishScan(static_cast<ThumbnailsDoneEvent*>(event)->scan)) {
            updateExtent();
            viewport()->update();
            emit scanFinished();
        }
        return true;
    }
    return QAbstractScrollArea::event(event);
}

QString PhototView::stepCurrent(const QString& path, int step) {
    const std::string next = grid_.stepCurrent(toLocalPath(path), step);
    if (next.empty()) return QString();
    updateExtent();  // lays the items out, so the current one's rectangle is known
    const SurfaceRect& r = grid_.items()[size_t(grid_.currentIndex())]->rect;
    QScrollBar* bar = verticalScrollBar();
    if (r.top < bar->value())
        bar->setValue(r.top);
    else if (r.bottom > bar->value() + viewport()->height())
        bar->setValue(r.bottom - viewport()->height());
    viewport()->update();
    return fromLocalPath(next);
}

int PhototView::scrollX() const {
    return horizontalScrollBar()->value();
}
int PhototView::scrollY() const {
    return verticalScrollBar()->value();
}

void PhototView::updateExtent() {
    const QSize client = viewport()->size();
    grid_.layout(client.width());
    int32_t width = 0, height = 0;
    grid_.scrollExtent(client.width(), width, height);
    horizontalScrollBar()->setRange(0, std::max(0, width - client.width()));
    horizontalScrollBar()->setPageStep(client.width());
    verticalScrollBar()->setRange(0, std::max(0, height - client.height()));
    verticalScrollBar()->setPageStep(client.height());
}

void PhototView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateExtent();
    updateVisible();
}

void PhototView::paintEvent(QPaintEvent*) {
    const QSize client = viewport()->size();
    if (client.isEmpty()) return;
    QImage buffer(client, QImage::Format_BGR888);
    Surface surface(buffer.bits(), client.width(), client.height(), int32_t(buffer.bytesPerLine()),
                    true);
    grid_.paint(surface, scrollX(), scrollY());
    QPainter painter(viewport());
    painter.drawImage(0, 0, buffer);
    const QString text = QString::fromLatin1(grid_.emptyText());
    if (!text.isEmpty()) {
        // Measured, then left-aligned in a box of its own size centred in the client area.
        const QSize size = painter.fontMetrics().size(Qt::TextSingleLine, text);
        const QRect box((client.width() - size.width()) / 2, (client.height() - size.height()) / 2,
                        size.width(), size.height());
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
    }
}

void PhototView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    const int hit = grid_.hitTest(p.x() + scrollX(), p.y() + scrollY());
    if (hit >= 0) {
        const std::string path = grid_.clickItem(hit, markOnClick_);
        viewport()->update();
        if (!path.empty()) emit photoClicked(fromLocalPath(path));
        return;
    }
    // No thumbnail under the pointer: a rubber band from here.
    tracking_ = true;
    bandOrigin_ = p;
    if (!band_) band_ = new QRubberBand(QRubberBand::Rectangle, viewport());
    band_->setGeometry(QRect(p, QSize()));
    band_->show();
}

void PhototView::mouseMoveEvent(QMouseEvent* event) {
    if (tracking_) band_->setGeometry(QRect(bandOrigin_, event->position().toPoint()).normalized());
}

void PhototView::mouseReleaseEvent(QMouseEvent* event) {
    if (!tracking_ || event->button() != Qt::LeftButton) return;
    tracking_ = false;
    band_->hide();
    const QPoint end = event->position().toPoint();
    bool marked = false;
    if (end != bandOrigin_) {
        const QRect r = QRect(bandOrigin_, end).normalized();
        const SurfaceRect band{r.left() + scrollX(), r.top() + scrollY(), r.right() + 1 + scrollX(),
                               r.bottom() + 1 + scrollY()};
        marked = grid_.markInRect(band);
    }
    // A click on empty space, or a band that met nothing, unmarks everything.
    if (!marked) grid_.unmarkAll();
    viewport()->update();
}
