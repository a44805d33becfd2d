// CExpView on temporary folders standing in for the desktop, documents, home and a drive:
// the tree's shape, item paths, lazy children, selection, new folders and renaming.
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "browse/qt/exp_view.h"
#include "support/qt/qt_test_registry.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::TempDir;

namespace {

QStringList labels(QTreeWidgetItem* item) {
    QStringList out;
    for (int i = 0; i < item->childCount(); ++i) out << item->child(i)->text(0);
    return out;
}

QTreeWidgetItem* child(QTreeWidgetItem* item, const QString& label) {
    for (int i = 0; i < item->childCount(); ++i)
        if (item->child(i)->text(0) == label) return item->child(i);
    return nullptr;
}

// Temporary places with a few folders each.
struct Places {
    TempDir root;
    QString q(const std::string& rel) const {
        return QString::fromStdString((root.path() / rel).string());
    }
    Places() {
        for (const char* d : {"Desktop/b", "Desktop/A", "Desktop/.hidden", "Documents/Photos/2004",
                              "Documents/Photos/2005", "home/music", "drive/x"})
            fs::create_directories(root.path() / d);
    }
    CExpView::Places places() const {
        return {q("Desktop"), q("Documents"), q("home"), {q("drive") + "/"}};
    }
};

// The tree with its editing state in sight.
struct Tree : CExpView {
    using CExpView::CExpView;
    bool editing() const { return state() == EditingState; }
};

}  // namespace

class ExpViewTest : public QObject {
    Q_OBJECT
  private slots:
    void shapeAndPaths();
    void childrenFollowTheDisk();
    void selectionReportsTheFolder();
    void newFolderNumbering();
    void renaming();
    void contextMenu();
    void systemPlaces();
};

void ExpViewTest::shapeAndPaths() {
    Places p;
    Tree tree(p.places());
    QCOMPARE(tree.topLevelItemCount(), 1);
    QTreeWidgetItem* desktop = tree.desktopItem();
    QCOMPARE(desktop->text(0), QString("Desktop"));
    // Special items first, then the desktop's folders sorted ignoring case, hidden ones left out.
    QCOMPARE(labels(desktop), (QStringList{"My Documents", "Home", "My Computer", "A", "b"}));
    QVERIFY(desktop->isExpanded());
    QVERIFY(tree.myComputerItem()->isExpanded());
    QCOMPARE(labels(tree.myComputerItem()), QStringList{p.q("drive") + "/"});
    QCOMPARE(labels(tree.myDocumentsItem()), QStringList{"Photos"});
    QTreeWidgetItem* photos = child(tree.myDocumentsItem(), "Photos");
    QCOMPARE(labels(photos), QStringList{"."});  // not listed until expanded

    const struct {
        QTreeWidgetItem* item;
        QString path;
        int kind;
    } cases[] = {
        {desktop, p.q("Desktop") + "/", 0},
        {tree.myDocumentsItem(), p.q("Documents") + "/", 4},
        {tree.homeItem(), p.q("home") + "/", 4},
        {tree.myComputerItem(), "|", 1},
        {tree.myComputerItem()->child(0), p.q("drive") + "/", 2},
        {child(tree.myComputerItem()->child(0), "x"), p.q("drive/x") + "/", 3},
        {photos, p.q("Documents/Photos") + "/", 3},
        {photos->child(0), p.q("Documents/Photos") + "/", 6},
        {child(desktop, "A"), p.q("Desktop/A") + "/", 3},
        {nullptr, "", -1},
    };
    for (const auto& c : cases) {
        QCOMPARE(tree.getItemPath(c.item), c.path);
        QCOMPARE(CExpView::kindOf(c.item), c.kind);
    }
    tree.expandItem(photos);
    QCOMPARE(labels(photos), (QStringList{"2004", "2005"}));
    QCOMPARE(tree.getItemPath(child(photos, "2004")), p.q("Documents/Photos/2004") + "/");
}

void ExpViewTest::childrenFollowTheDisk() {
    Places p;
    Tree tree(p.places());
    QTreeWidgetItem* photos = child(tree.myDocumentsItem(), "Photos");
    tree.expandItem(photos);
    tree.collapseItem(photos);
    tree.expandItem(photos);
    QCOMPARE(labels(photos), (QStringList{"2004", "2005"}));  // not doubled

    fs::create_directory(p.root.path() / "Documents/Photos/2003");
    fs::create_directory(p.root.path() / "Documents/Photos/.thumbs");
    fs::remove(p.root.path() / "Documents/Photos/2004");
    tree.collapseItem(photos);
    // Kept children stay where they are; new ones are appended in sorted order.
    QCOMPARE(labels(photos), (QStringList{"2005", "2003"}));
    QCOMPARE(labels(child(photos, "2003")), QStringList{"."});

    // An emptied folder loses its placeholder on expansion (no button any more).
    QTreeWidgetItem* x = child(tree.myComputerItem()->child(0), "x");
    tree.expandItem(x);
    QCOMPARE(x->childCount(), 0);

    // Refresh of My Computer lists the drives and keeps them.
    tree.refreshChildren(tree.myComputerItem());
    QCOMPARE(labels(tree.myComputerItem()), QStringList{p.q("drive") + "/"});
    // Refresh of Desktop keeps the special items.
    fs::create_directory(p.root.path() / "Desktop/c");
    tree.setCurrentItem(tree.desktopItem());
    tree.refresh();
    QCOMPARE(labels(tree.desktopItem()),
             (QStringList{"My Documents", "Home", "My Computer", "A", "b", "c"}));
}

void ExpViewTest::selectionReportsTheFolder() {
    Places p;
    Tree tree(p.places());
    QSignalSpy changed(&tree, &CExpView::inputDirectoryChanged);
    QTreeWidgetItem* photos = child(tree.myDocumentsItem(), "Photos");
    tree.setCurrentItem(photos);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), p.q("Documents/Photos") + "/");
    QCOMPARE(labels(photos), (QStringList{"2004", "2005"}));  // selection refreshes
    tree.setCurrentItem(tree.myComputerItem());
    QCOMPARE(changed.at(1).at(0).toString(), QString("|"));

    // selectPath walks down to the folder and selects it.
    QVERIFY(tree.selectPath(p.q("Documents/Photos/2005")));
    QCOMPARE(tree.getItemPath(tree.currentItem()), p.q("Documents/Photos/2005") + "/");
    QCOMPARE(changed.last().at(0).toString(), p.q("Documents/Photos/2005") + "/");
    // A hidden folder is not in the tree: the nearest listed folder is selected.
    QVERIFY(!tree.selectPath(p.q("Desktop/.hidden")));
    QCOMPARE(tree.currentItem(), tree.desktopItem());

    // A folder removed while selected: its parent's refresh takes it away without a crash,
    // and the successor is reported.
    tree.selectPath(p.q("Documents/Photos/2004"));
    fs::remove(p.root.path() / "Documents/Photos/2004");
    tree.refreshChildren(photos);
    QCOMPARE(labels(photos), QStringList{"2005"});
    QTRY_VERIFY(changed.last().at(0).toString() != p.q("Documents/Photos/2004") + "/");
}

void ExpViewTest::newFolderNumbering() {
    Places p;
    fs::create_directory(p.root.path() / "home/New Folder");
    fs::create_directory(p.root.path() / "home/new folder (2)");
    Tree tree(p.places());
    QStringList messages;
    tree.setMessageHandler([&](const QString& m) { messages << m; });
    tree.setCurrentItem(tree.homeItem());
    tree.newFolderAction()->trigger();
    QVERIFY(fs::is_directory(p.root.path() / "home/New Folder (3)"));
    QVERIFY(labels(tree.homeItem()).contains("New Folder (3)"));
    QVERIFY(!tree.editing());  // not put into editing
    QVERIFY(messages.isEmpty());

    // A folder that vanished: the failure is told, and the tree shows the disk.
    QTreeWidgetItem* music = child(tree.homeItem(), "music");
    tree.setCurrentItem(music);
    fs::remove(p.root.path() / "home/music");
    tree.newFolder();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].contains("could not be created"));
    QVERIFY(!fs::exists(p.root.path() / "home/music"));

    // My Computer is no folder: nothing happens.
    tree.setCurrentItem(tree.myComputerItem());
    tree.newFolder();
    QCOMPARE(messages.size(), 1);
}

void ExpViewTest::renaming() {
    Places p;
    Tree tree(p.places());
    QStringList messages;
    tree.setMessageHandler([&](const QString& m) { messages << m; });
    tree.show();

    // The special items and drives refuse editing.
    for (QTreeWidgetItem* item : {tree.desktopItem(), tree.myDocumentsItem(), tree.homeItem(),
                                  tree.myComputerItem(), tree.myComputerItem()->child(0)}) {
        tree.editItem(item);
        QVERIFY2(!tree.editing(), qPrintable(item->text(0)));
        QVERIFY(!(item->flags() & Qt::ItemIsEditable));
    }

    auto renameTo = [&](QTreeWidgetItem* item, const QString& text) {
        tree.editItem(item);
        QVERIFY(tree.editing());
        auto* editor = tree.findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!tree.editing());  // the editor commits through a queued call
    };
    QTreeWidgetItem* a = child(tree.desktopItem(), "A");
    renameTo(a, "Holiday");
    QCOMPARE(a->text(0), QString("Holiday"));
    QVERIFY(fs::is_directory(p.root.path() / "Desktop/Holiday"));
    QVERIFY(!fs::exists(p.root.path() / "Desktop/A"));
    QVERIFY(messages.isEmpty());

    // A taken name or a separator is refused: told, label and disk unchanged.
    QTreeWidgetItem* holiday = child(tree.desktopItem(), "Holiday");
    for (const char* bad : {"b", "x/y"}) {
        renameTo(holiday, bad);
        QCOMPARE(holiday->text(0), QString("Holiday"));
        QVERIFY(fs::is_directory(p.root.path() / "Desktop/Holiday"));
    }
    QCOMPARE(messages.size(), 2);
    QVERIFY(fs::is_directory(p.root.path() / "Desktop/b"));

    // Renamed under us on disk: the failure is told and the tree shows the disk again.
    fs::rename(p.root.path() / "Desktop/Holiday", p.root.path() / "Desktop/Elsewhere");
    renameTo(child(tree.desktopItem(), "Holiday"), "Trip");
    QCOMPARE(messages.size(), 3);
    QVERIFY(!child(tree.desktopItem(), "Holiday"));
    QVERIFY(child(tree.desktopItem(), "Elsewhere"));
}

void ExpViewTest::contextMenu() {
    Places p;
    Tree tree(p.places());
    tree.resize(300, 400);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    QTreeWidgetItem* b = child(tree.desktopItem(), "b");
    // Empty space: no menu.
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, QPoint(150, 390));
    QVERIFY(!tree.contextMenu()->isVisible());
    // On an item: it becomes selected and the menu offers the two commands.
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, tree.visualItemRect(b).center());
    QCOMPARE(tree.currentItem(), b);
    QVERIFY(tree.contextMenu()->isVisible());
    QCOMPARE(tree.contextMenu()->actions().size(), 2);
    QCOMPARE(tree.contextMenu()->actions()[0]->text(), QString("New Folder..."));
    QCOMPARE(tree.contextMenu()->actions()[1]->text(), QString("Refresh"));
    tree.contextMenu()->close();
}

void ExpViewTest::systemPlaces() {
    const CExpView::Places places = CExpView::systemPlaces();
    QVERIFY(!places.desktop.isEmpty());
    QVERIFY(QFileInfo(places.desktop).isDir());
    QCOMPARE(places.drives.value(0), QString("/"));
    for (const QString& d : places.drives) QVERIFY(d.endsWith('/'));
}

VFX_QT_TEST(ExpViewTest);
#include "exp_view_test.moc"
