// DirView and its pages: the two tabs, each page's toolbar driving its own view, the input
// view marking on click, names for every control, and the folder picker's dialog.
#include <QAction>
#include <QFileDialog>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "browse/photo_files.h"
#include "browse/qt/dir_view.h"
#include "browse/qt/folder_picker.h"
#include "browse/qt/photot_view.h"
#include "support/qt/qt_test_registry.h"
#include "support/test_support.h"

using browse_testing::writePhoto;
using testing_support::TempDir;

class DirViewTest : public QObject {
    Q_OBJECT
  private slots:
    void tabsAndPages();
    void toolbarDrivesItsOwnView();
    void everyControlIsNamed();
    void folderPicker();
};

void DirViewTest::tabsAndPages() {
    DirView view;
    QCOMPARE(view.tabs()->count(), 2);
    QCOMPARE(view.tabs()->tabText(0), QString("input directory"));
    QCOMPARE(view.tabs()->tabText(1), QString("output directory"));
    QCOMPARE(view.tabs()->currentIndex(), 0);
    QVERIFY(view.inputView()->markOnClick());
    QVERIFY(!view.outputView()->markOnClick());
    QCOMPARE(view.page(0)->view(), view.inputView());
    QCOMPARE(view.page(1)->view(), view.outputView());
    QStringList texts;
    for (QAction* a : view.page(0)->toolBar()->actions())
        texts << (a->isSeparator() ? QString("|") : a->text());
    QCOMPARE(texts, (QStringList{"Zoom In", "Zoom Out", "|", "Select All", "Unselect All"}));
}

void DirViewTest::toolbarDrivesItsOwnView() {
    TempDir dir;
    for (int i = 0; i < 3; ++i)
        QVERIFY(writePhoto(dir.file("p" + std::to_string(i) + ".jpg"), 90, 60, JPEG, i));
    DirView view;
    view.resize(600, 300);
    view.show();
    const QString folder = QString::fromStdString(dir.path().string());
    view.inputView()->loadDirectory(folder);
    view.outputView()->loadDirectory(folder);
    QVERIFY(QTest::qWaitFor(
        [&] { return view.inputView()->scanDone() && view.outputView()->scanDone(); }));
    view.page(0)->selectAllAction()->trigger();
    QStringList in, out;
    view.inputView()->getSelectedFiles(in);
    view.outputView()->getSelectedFiles(out);
    QCOMPARE(in.size(), 3);
    QVERIFY(out.isEmpty());
    view.page(0)->unselectAllAction()->trigger();
    in.clear();
    view.inputView()->getSelectedFiles(in);
    QVERIFY(in.isEmpty());

    view.page(1)->zoomInAction()->trigger();
    QCOMPARE(view.outputView()->grid().thumbnailHeight(), 60);
    QCOMPARE(view.inputView()->grid().thumbnailHeight(), 50);
    QVERIFY(QTest::qWaitFor([&] { return view.outputView()->scanDone(); }));
    view.page(1)->zoomOutAction()->trigger();
    QCOMPARE(view.outputView()->grid().thumbnailHeight(), 50);
}

void DirViewTest::everyControlIsNamed() {
    DirView view;
    QList<QWidget*> controls{&view, view.inputView(), view.outputView()};
    for (int i = 0; i < 2; ++i) {
        controls << view.page(i) << view.page(i)->toolBar();
        for (QAction* a : view.page(i)->toolBar()->actions())
            if (!a->isSeparator()) controls << view.page(i)->toolBar()->widgetForAction(a);
    }
    for (QWidget* w : controls) {
        QVERIFY(w);
        QVERIFY2(!w->objectName().isEmpty(), w->metaObject()->className());
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }
    QVERIFY(view.findChild<QToolButton*>("Zoom In"));
    QCOMPARE(view.findChild<PhototView*>("input thumbnails"), view.inputView());
}

void DirViewTest::folderPicker() {
    TempDir dir;
    const QString start = QString::fromStdString(dir.path().string());
    QString title, shownFolder;
    // Cancelled: no folder. Accepted: the folder it showed.
    for (bool accept : {false, true}) {
        QTimer::singleShot(50, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            title = dialog->windowTitle();
            shownFolder = dialog->directory().absolutePath();
            if (accept)
                static_cast<QDialog*>(dialog)->accept();
            else
                static_cast<QDialog*>(dialog)->reject();
        });
        const QString picked = pickFolder(nullptr, start);
        QCOMPARE(title, QString("Select a folder"));
        QCOMPARE(shownFolder, start);
        QCOMPARE(picked, accept ? start : QString());
    }
    QtFolderPicker picker(nullptr);
    QTimer::singleShot(50, [] { QApplication::activeModalWidget()->close(); });
    QCOMPARE(paths::pickFolder(&picker, dir.path().string()), std::string());
}

VFX_QT_TEST(DirViewTest);
#include "dir_view_test.moc"
