// PhototView driven as a user would: real folders, real clicks and drags on the offscreen
// platform; what it paints is compared with the thumbnails the core made.
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <functional>
#include <random>

#include "browse/photo_files.h"
#include "browse/qt/photot_view.h"
#include "support/qt/qt_test_registry.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using browse_testing::writePhoto;
using testing_support::TempDir;

namespace {

// A view whose viewport is exactly width wide, shown so that it paints.
std::unique_ptr<PhototView> makeView(int width, int height = 300) {
    auto view = std::make_unique<PhototView>();
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setFrameShape(QFrame::NoFrame);
    view->resize(width, height);
    view->show();
    return view;
}

bool waitScan(PhototView& view) {
    return QTest::qWaitFor([&] { return view.scanDone(); }, 20000);
}

QPoint centre(const ThumbnailItem& item) {
    return QPoint((item.rect.left + item.rect.right) / 2, (item.rect.top + item.rect.bottom) / 2);
}

QStringList marked(const PhototView& view) {
    QStringList out;
    view.getSelectedFiles(out);
    return out;
}

}  // namespace

class PhototViewTest : public QObject {
    Q_OBJECT
  private slots:
    void twelveThumbnailsInFiveColumns();
    void whichFilesShow();
    void clicksMarksAndRubberBand();
    void zoom();
    void switchingFoldersMidScan();
    void destroyingMidScan();
    void followsTheDisk();
    void followsAFolderNotMadeYet();
    void aFolderAwaitedNoLongerShown();
    void firstScreenFirstInABigFolder();
};

void PhototViewTest::twelveThumbnailsInFiveColumns() {
    TempDir dir;
    for (int i = 0; i < 12; ++i)
        QVERIFY(writePhoto(dir.file("p" + std::to_string(i) + ".jpg"), 300, 200, JPEG, i));
    auto view = makeView(520);
    QCOMPARE(view->viewport()->width(), 520);
    QVERIFY(view->grid().scanDone());
    view->loadDirectory(QString::fromStdString(dir.path().string()));
    QVERIFY(!view->scanDone());
    QVERIFY(waitScan(*view));
    QCOMPARE(int(view->grid().items().size()), 12);
    const QImage shot = view->viewport()->grab().toImage();
    for (size_t i = 0; i < 12; ++i) {
        const ThumbnailItem& item = *view->grid().items()[i];
        QCOMPARE(item.rect.left, 10 + 100 * int(i % 5));
        QCOMPARE(item.rect.top, 10 + 65 * int(i / 5));
        QCOMPARE(item.rect.right - item.rect.left, 75);
        QCOMPARE(item.rect.bottom - item.rect.top, 50);
        // What the window shows at the thumbnail's centre is the thumbnail's pixel there.
        const QPoint c = centre(item);
        const RgbQuad q =
            item.image.getPixelColor(c.x() - item.rect.left, 49 - (c.y() - item.rect.top));
        QCOMPARE(shot.pixelColor(c), QColor(q.red, q.green, q.blue));
    }
    QCOMPARE(shot.pixelColor(5, 5), QColor(Qt::white));
}

void PhototViewTest::whichFilesShow() {
    TempDir dir;
    const std::string d = dir.path().string() + "/";
    QVERIFY(browse_testing::writeMixedFolder(d));

    auto view = makeView(520);
    view->loadDirectory(QString::fromStdString(d));
    QCOMPARE(QString(view->grid().emptyText()), QString("Searching directory..."));
    QVERIFY(waitScan(*view));
    QStringList names;
    for (const auto& item : view->grid().items())
        names << QString::fromStdString(fs::path(item->path).filename().string());
    names.sort();
    QCOMPARE(names, (QStringList{"holiday.JPG", "photo.tif", "png.jpg", "x.Jpeg"}));

    view->loadDirectory(QString::fromStdString(d + "a.png"));
    QVERIFY(waitScan(*view));
    QVERIFY(view->grid().items().empty());
    QCOMPARE(QString(view->grid().emptyText()), QString("No photos in selected directory."));
    view->loadDirectory("|");  // My Computer has no folder
    QVERIFY(waitScan(*view));
    QVERIFY(view->grid().items().empty());
}

void PhototViewTest::clicksMarksAndRubberBand() {
    TempDir dir;
    for (int i = 0; i < 7; ++i)
        QVERIFY(writePhoto(dir.file("p" + std::to_string(i) + ".jpg"), 300, 200, JPEG, i));
    auto view = makeView(520);
    view->setMarkOnClick(true);
    view->loadDirectory(QString::fromStdString(dir.path().string()));
    QVERIFY(waitScan(*view));
    QSignalSpy clicked(view.get(), &PhototView::photoClicked);
    const auto& items = view->grid().items();
    auto path = [&](int i) { return QString::fromStdString(items[size_t(i)]->path); };
    QWidget* vp = view->viewport();

    // An unmarked thumbnail: current, marked, opened.
    QTest::mouseClick(vp, Qt::LeftButton, {}, centre(*items[1]));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toString(), path(1));
    QCOMPARE(view->grid().currentIndex(), 1);
    QCOMPARE(marked(*view), QStringList{path(1)});
    // The current thumbnail sits on olive.
    QCOMPARE(vp->grab().toImage().pixelColor(items[1]->rect.left - 2, items[1]->rect.top - 2),
             QColor(0xC0, 0xC0, 0x00));
    // A marked one is only unmarked: nothing opens, the current one stays.
    QTest::mouseClick(vp, Qt::LeftButton, {}, centre(*items[1]));
    QCOMPARE(clicked.count(), 1);
    QVERIFY(marked(*view).isEmpty());
    QCOMPARE(view->grid().currentIndex(), 1);

    // A band dragged across thumbnails 2 and 3 of the first row marks them, keeps others.
    QTest::mouseClick(vp, Qt::LeftButton, {}, centre(*items[6]));
    QCOMPARE(clicked.count(), 2);
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(200, 5));
    QTest::mouseMove(vp, QPoint(320, 30));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(320, 30));
    QCOMPARE(marked(*view), (QStringList{path(2), path(3), path(6)}));
    QCOMPARE(vp->grab().toImage().pixelColor(items[2]->rect.left - 3, items[2]->rect.top - 3),
             QColor(0x00, 0x00, 0xC0));

    // Unselect All keeps the current thumbnail's mark; Select All marks all.
    view->unselectAll();
    QCOMPARE(marked(*view), QStringList{path(6)});
    view->selectAll();
    QCOMPARE(marked(*view).size(), 7);
    // A band over gaps only, and a click on empty space, unmark everything.
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(87, 62));
    QTest::mouseMove(vp, QPoint(105, 72));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(105, 72));
    QVERIFY(marked(*view).isEmpty());
    view->selectAll();
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(500, 250));
    QVERIFY(marked(*view).isEmpty());
    QCOMPARE(clicked.count(), 2);

    // Without markOnClick (the output view) a click opens without marking.
    view->setMarkOnClick(false);
    QTest::mouseClick(vp, Qt::LeftButton, {}, centre(*items[0]));
    QCOMPARE(clicked.count(), 3);
    QVERIFY(marked(*view).isEmpty());
}

void PhototViewTest::zoom() {
    TempDir dir;
    for (int i = 0; i < 6; ++i)
        QVERIFY(writePhoto(dir.file("p" + std::to_string(i) + ".jpg"), 300, 200, JPEG, i));
    auto view = makeView(520);
    view->loadDirectory(QString::fromStdString(dir.path().string()));
    // The scan cannot be done before its done event is taken from the queue.
    view->zoomIn();
    view->zoomOut();
    QCOMPARE(view->grid().thumbnailHeight(), 50);
    QVERIFY(waitScan(*view));

    view->zoomIn();
    QCOMPARE(view->grid().thumbnailHeight(), 60);
    QVERIFY(!view->scanDone());  // the thumbnails are made again
    QVERIFY(waitScan(*view));
    QCOMPARE(view->grid().items()[0]->image.height(), 60);
    QCOMPARE(view->grid().items()[0]->image.width(), 90);
    for (int expect : {50, 40, 30, 20, 10, 10}) {
        view->zoomOut();
        QVERIFY(waitScan(*view));
        QCOMPARE(view->grid().thumbnailHeight(), expect);
    }
    QCOMPARE(view->grid().items()[0]->image.height(), 10);
}

void PhototViewTest::switchingFoldersMidScan() {
    TempDir a, b;
    for (int i = 0; i < 10; ++i) {
        QVERIFY(writePhoto(a.file("a" + std::to_string(i) + ".jpg"), 640, 480, JPEG, i));
        QVERIFY(writePhoto(b.file("b" + std::to_string(i) + ".png"), 40, 30, PNG, i));
    }
    const QString first = QString::fromStdString(a.path().string());
    const QString second = QString::fromStdString(b.path().string());
    auto view = makeView(520);
    std::mt19937 random(11);
    for (int repeat = 0; repeat < 40; ++repeat) {
        view->loadDirectory(first);
        // Let some of the first folder's events arrive, or none.
        QTest::qWait(int(random() % 40));
        view->loadDirectory(second);
        QVERIFY(waitScan(*view));
        QCOMPARE(int(view->grid().items().size()), 10);
        for (const auto& item : view->grid().items())
            QVERIFY2(item->path.find(b.path().string()) == 0, item->path.c_str());
        // Stale events still queued are dropped afterwards too.
        QTest::qWait(5);
        QCOMPARE(int(view->grid().items().size()), 10);
    }
}

void PhototViewTest::destroyingMidScan() {
    TempDir dir;
    for (int i = 0; i < 8; ++i)
        QVERIFY(writePhoto(dir.file("p" + std::to_string(i) + ".jpg"), 800, 600, JPEG, i));
    for (int repeat = 0; repeat < 10; ++repeat) {
        auto view = makeView(300);
        view->loadDirectory(QString::fromStdString(dir.path().string()));
        QTest::qWait(repeat * 3);
        view.reset();  // waits for the worker; its queued events go with the view
        QTest::qWait(5);
    }
}

namespace {

const ThumbnailItem* cellOf(const PhototView& view, const std::string& path) {
    const int pos = view.grid().positionOfPath(path);
    return pos < 0 ? nullptr : view.grid().items()[size_t(pos)].get();
}

}  // namespace

void PhototViewTest::followsTheDisk() {
    TempDir dir;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        QVERIFY(writePhoto(dir.file(name), 300, 200, JPEG, 3));
    auto view = makeView(520);
    view->loadDirectory(QString::fromStdString(dir.path().string()));
    QVERIFY(waitScan(*view));
    const uint64_t scan = view->grid().scan();
    const size_t cIndex = cellOf(*view, dir.file("c.jpg"))->index;
    auto arrivedAs = [&](const std::string& path, int32_t width) {
        const ThumbnailItem* cell = cellOf(*view, path);
        return cell && cell->arrived && cell->image.width() == width;
    };
    const struct {
        const char* name;
        std::function<void()> change;
        std::function<bool()> shows;
    } steps[] = {
        {"added", [&] { writePhoto(dir.file("d.jpg"), 100, 100, JPEG, 4); },
         [&] { return arrivedAs(dir.file("d.jpg"), 50); }},
        {"removed", [&] { fs::remove(dir.file("a.jpg")); },
         [&] { return !cellOf(*view, dir.file("a.jpg")); }},
        {"renamed", [&] { fs::rename(dir.file("b.jpg"), dir.file("z.jpg")); },
         [&] { return !cellOf(*view, dir.file("b.jpg")) && arrivedAs(dir.file("z.jpg"), 75); }},
        {"rewritten", [&] { writePhoto(dir.file("c.jpg"), 200, 200, JPEG, 5); },
         [&] { return arrivedAs(dir.file("c.jpg"), 50); }},
        // Its bytes still make it a photo (browse/photo_rule.h): the cell stays, renamed.
        {"renamed to another ending", [&] { fs::rename(dir.file("z.jpg"), dir.file("z.txt")); },
         [&] { return !cellOf(*view, dir.file("z.jpg")) && arrivedAs(dir.file("z.txt"), 75); }},
        {"an output file written", [&] { writePhoto(dir.file("enh_c.jpg"), 30, 20, JPEG, 6); },
         [&] { return arrivedAs(dir.file("enh_c.jpg"), 75); }},
    };
    for (const auto& step : steps) {
        step.change();
        // Within a second (the poll ends as soon as the view shows it).
        QVERIFY2(QTest::qWaitFor(step.shows, 1000), step.name);
    }
    // None of it listed the folder again: the same scan, c.jpg in its cell all along.
    QCOMPARE(view->grid().scan(), scan);
    QCOMPARE(cellOf(*view, dir.file("c.jpg"))->index, cIndex);
    QStringList names;
    for (const auto& item : view->grid().items())
        names << QString::fromStdString(fs::path(item->path).filename().string());
    QCOMPARE(names, QStringList({"z.txt", "c.jpg", "d.jpg", "enh_c.jpg"}));
}

void PhototViewTest::followsAFolderNotMadeYet() {
    // The output folder is usually made by the batch after the view shows it.
    const struct {
        const char* name;
        const char* folder;  // below the temporary folder, missing at first
        bool movedIn;        // made elsewhere with a photo in it, then renamed into place
        bool removedFirst;   // shown with a photo, then removed with its parent
    } cases[] = {
        {"one level made", "out", false, false},
        {"three levels made at once", "a/b/c", false, false},
        {"trailing separator", "x/y/", false, false},
        {"moved into place", "m/n", true, false},
        {"removed, then made again", "r/s", false, true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path folder = fs::path(dir.path()) / c.folder;
        if (c.removedFirst) {
            fs::create_directories(folder);
            QVERIFY(writePhoto((folder / "old.jpg").string(), 300, 200, JPEG, 3));
        }
        auto view = makeView(520);
        view->loadDirectory(QString::fromStdString(folder.string()));
        QVERIFY2(waitScan(*view), c.name);
        if (c.removedFirst) {
            QCOMPARE(int(view->grid().items().size()), 1);
            fs::remove_all(folder.parent_path());
            QVERIFY2(QTest::qWaitFor([&] { return view->grid().items().empty(); }, 1000), c.name);
        } else {
            QCOMPARE(QString(view->grid().emptyText()),
                     QString("No photos in selected directory."));
        }
        QVERIFY2(view->grid().items().empty(), c.name);
        const std::string photo = (folder / "enh_a.jpg").lexically_normal().string();
        const std::string later = (folder / "enh_b.jpg").lexically_normal().string();
        if (c.movedIn) {
            const fs::path built = fs::path(dir.path()) / "built";
            fs::create_directories(built);
            QVERIFY(writePhoto((built / "enh_a.jpg").string(), 300, 200, JPEG, 1));
            fs::create_directories(folder.parent_path());
            fs::rename(built, folder);
            // What was in it before it came is listed.
            QVERIFY2(QTest::qWaitFor([&] { return cellOf(*view, photo) != nullptr; }, 1000),
                     c.name);
        } else {
            fs::create_directories(folder);
            QVERIFY(writePhoto(photo, 300, 200, JPEG, 1));
        }
        auto shown = [&](const std::string& path) {
            const ThumbnailItem* cell = cellOf(*view, path);
            return cell && cell->arrived && cell->image.width() == 75;
        };
        QVERIFY2(QTest::qWaitFor([&] { return shown(photo); }, 1000), c.name);
        // From then on it is watched as any folder: the next copy comes without a listing.
        const uint64_t scan = view->grid().scan();
        QVERIFY(writePhoto(later, 300, 200, JPEG, 2));
        QVERIFY2(QTest::qWaitFor([&] { return shown(later); }, 1000), c.name);
        QCOMPARE(view->grid().scan(), scan);
        QCOMPARE(int(view->grid().items().size()), 2);
    }
}

void PhototViewTest::aFolderAwaitedNoLongerShown() {
    // The view moved on to another folder: the one it waited for comes unnoticed.
    TempDir dir, other;
    QVERIFY(writePhoto(other.file("o.jpg"), 300, 200, JPEG, 1));
    auto view = makeView(520);
    const fs::path missing = fs::path(dir.path()) / "later";
    view->loadDirectory(QString::fromStdString(missing.string()));
    QVERIFY(waitScan(*view));
    view->loadDirectory(QString::fromStdString(other.path().string()));
    QVERIFY(waitScan(*view));
    const uint64_t scan = view->grid().scan();
    fs::create_directories(missing);
    QVERIFY(writePhoto((missing / "p.jpg").string(), 300, 200, JPEG, 2));
    QTest::qWait(400);
    QCOMPARE(view->grid().scan(), scan);
    QCOMPARE(int(view->grid().items().size()), 1);
    QCOMPARE(view->grid().items()[0]->path, other.file("o.jpg"));
}

void PhototViewTest::firstScreenFirstInABigFolder() {
    // More photos than fit: the cells on screen come before the ones below, and scrolling
    // to the end brings the last ones next.
    TempDir dir;
    for (int i = 0; i < 300; ++i)
        QVERIFY(writePhoto(dir.file("p" + std::to_string(1000 + i) + ".png"), 60, 40, PNG, i));
    auto view = std::make_unique<PhototView>(nullptr, thumbnails::WorkerOptions{1, true});
    view->resize(520, 140);
    view->show();
    view->loadDirectory(QString::fromStdString(dir.path().string()));
    const auto& items = view->grid().items();
    QCOMPARE(int(items.size()), 300);
    size_t first = 0, last = 0;
    view->grid().visibleRange(view->verticalScrollBar()->value(), view->viewport()->height(), first,
                              last);
    QVERIFY(last > 0 && last < 300);
    auto allArrived = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            if (!items[i]->arrived) return false;
        return true;
    };
    QVERIFY(QTest::qWaitFor([&] { return allArrived(first, last); }, 10000));
    QVERIFY(!items[299]->arrived);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    view->grid().visibleRange(view->verticalScrollBar()->value(), view->viewport()->height(), first,
                              last);
    QCOMPARE(last, size_t(300));
    QVERIFY(QTest::qWaitFor([&] { return allArrived(first, last); }, 10000));
    // The middle of the folder still waits: the end was taken before it.
    QVERIFY(!items[200]->arrived || !view->scanDone());
    QVERIFY(waitScan(*view));
}

VFX_QT_TEST(PhototViewTest);
#include "photot_view_test.moc"
