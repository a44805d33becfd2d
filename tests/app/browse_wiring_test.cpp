// The browsing widgets inside the main window: the tree in the left pane and the directory
// tabs below the editor, and the road of a photo from a folder to the editor.
#include <QTest>
#include <filesystem>

#include "app/enh_frame.h"
#include "app/main_frame.h"
#include "browse/qt/dir_view.h"
#include "browse/qt/exp_view.h"
#include "browse/qt/photot_view.h"
#include "tests/app/window_test_support.h"

using namespace window_tests;

class BrowseWiringTest : public QObject {
    Q_OBJECT
  private slots:
    void folderToThumbnailsToEditor() {
        auto frame = shownFrame(1400, 900);
        QVERIFY(frame);
        CExpView* tree = frame->expView();
        DirView* dirs = frame->dirView();
        QVERIFY(tree && dirs);
        QCOMPARE(frame->folderTree(), static_cast<QWidget*>(tree));
        QCOMPARE(frame->enhFrame()->directoryTabs(), static_cast<QWidget*>(dirs));

        testing_support::TempDir dir;
        const QString a = writeTestPhoto(dir, "a", 300, 200);
        QVERIFY(!writeTestPhoto(dir, "b", 200, 300).isEmpty());
        const QString folder = QString::fromStdString(dir.path().string());

        // A folder from outside is selected in the tree, which hands it to the input view.
        frame->selectInputDirectory(folder);
        QCOMPARE(tree->getItemPath(tree->currentItem()), folder + "/");
        PhototView* input = dirs->inputView();
        QCOMPARE(input->directory(), folder + "/");
        QTRY_VERIFY_WITH_TIMEOUT(input->scanDone(), 20000);
        QCOMPARE(int(input->grid().items().size()), 2);

        // With autoset the output view shows the input folder's "enhanced" folder.
        frame->onAutoset(true);
        QVERIFY(dirs->outputView()->directory().startsWith(folder + "/enhanced"));

        // A click on a thumbnail opens its photo in the editor and marks it for saving.
        int index = -1;
        for (size_t i = 0; i < input->grid().items().size(); ++i)
            if (QString::fromStdString(input->grid().items()[i]->path) == a) index = int(i);
        QVERIFY(index >= 0);
        const SurfaceRect r = input->grid().items()[size_t(index)]->rect;
        QTest::mouseClick(input->viewport(), Qt::LeftButton, {},
                          QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
        QCOMPARE(frame->chain().stage(kStageOriginal).width(), 300);
        QCOMPARE(frame->chain().stage(kStageOriginal).height(), 200);
        QCOMPARE(frame->selectedInputFiles(), std::vector<std::string>{a.toStdString()});

        // After a save the tree's selected folder is refreshed: a new sub-folder shows.
        std::filesystem::create_directory(dir.path() / "enhanced");
        frame->refreshFolderTree();
        QTreeWidgetItem* item = tree->currentItem();
        QCOMPARE(item->childCount(), 1);
        QCOMPARE(item->child(0)->text(0), QString("enhanced"));
    }
};

VFX_QT_TEST(BrowseWiringTest);
#include "browse_wiring_test.moc"
