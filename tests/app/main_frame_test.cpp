// The main frame: start states of the dialog bar, titles, menus and shortcuts, the panes and
// their initial sizes, replacing the placeholders, the About box and the recent-file list.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "app/about_box.h"
#include "app/enh_frame.h"
#include "app/main_frame.h"
#include "app/recent_files.h"
#include "support/unnamed_controls.h"
#include "tests/app/window_test_support.h"
#include "ui_common/hover_button.h"
#include "ui_common/pick_cursor.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/image_view.h"
#include "workflow/qt/output_options_dialog.h"

using namespace window_tests;

class MainFrameTest : public QObject {
    Q_OBJECT
  private:
    testing_support::TempDir dir_;

  private slots:
    // Every control a user can reach, the ones added beside the design's too, carries an
    // accessible name for screen readers; the output options dialog's as well.
    void everyControlHasAnAccessibleName() {
        auto frame = shownFrame();
        QVERIFY(frame);
        OutputOptionsDialog dialog(OutputOptions{}, frame.get());
        for (QWidget* root : {static_cast<QWidget*>(frame.get()), static_cast<QWidget*>(&dialog)})
            for (QWidget* w : root->findChildren<QWidget*>()) {
                const bool control = qobject_cast<QAbstractButton*>(w) ||
                                     qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) ||
                                     qobject_cast<QAbstractSpinBox*>(w);
                // Parts Qt builds inside a control (a spin box's line edit) speak for it.
                const bool inner = qobject_cast<QAbstractSpinBox*>(w->parentWidget()) ||
                                   qobject_cast<QComboBox*>(w->parentWidget()) ||
                                   w->objectName().startsWith("qt_");
                if (control && !inner && w->accessibleName().isEmpty() &&
                    !qobject_cast<QAbstractButton*>(w)) {
                    QFAIL(
                        qPrintable("no accessible name: " + QString(w->metaObject()->className()) +
                                   " " + w->objectName()));
                }
                if (auto* b = qobject_cast<QAbstractButton*>(w); b && !inner)
                    QVERIFY2(!b->accessibleName().isEmpty() || !b->text().isEmpty(),
                             qPrintable("no name: " + b->objectName()));
            }
    }
    void startStatesOfTheDialogBar() {
        auto frame = shownFrame();
        QVERIFY(frame);
        auto* autoset = frame->findChild<QCheckBox*>("autoset");
        auto* browse = frame->findChild<QPushButton*>("browse...");
        auto* box = frame->findChild<QLineEdit*>("output directory");
        QVERIFY(autoset && browse && box);
        QVERIFY(autoset->isChecked());
        QVERIFY(!browse->isEnabled());
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->text(), QString("enhanced"));
        for (const char* name :
             {"save...", "save current >", "save selected >", "save directory >"})
            QVERIFY2(frame->findChild<QPushButton*>(name), name);

        // Unchecking enables "browse..." and the box, and keeps the text.
        QTest::mouseClick(autoset, Qt::LeftButton);
        QVERIFY(!autoset->isChecked());
        QVERIFY(browse->isEnabled());
        QVERIFY(!box->isReadOnly());
        QCOMPARE(box->text(), QString("enhanced"));
        QTest::mouseClick(autoset, Qt::LeftButton);
        QVERIFY(!browse->isEnabled());
    }

    void inputDirectoryGivesTheOutputDirectory() {
        auto frame = shownFrame();
        QVERIFY(frame);
        frame->onInputDirectoryChanged("/photos/2004");
        QCOMPARE(frame->findChild<QLineEdit*>("output directory")->text(),
                 QString("/photos/2004/enhanced"));
        frame->onInputDirectoryChanged("/");
        QCOMPARE(frame->findChild<QLineEdit*>("output directory")->text(), QString("/enhanced"));
    }

    void titles() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QCOMPARE(frame->windowTitle(), QString("Vantifex"));
        const QString photo = writeTestPhoto(dir_, "title", 64, 48);
        QVERIFY(frame->loadPhoto(photo));
        // The file name, not the whole path.
        const QString name = QFileInfo(photo).fileName();
        QVERIFY(photo.endsWith("/" + name));
        QCOMPARE(frame->windowTitle(), "Vantifex - " + name);
        frame->chain().showStatus("Saving...");
        QCOMPARE(frame->windowTitle(), "Vantifex - " + name + " - Saving...");
        QCOMPARE(frame->enhancedView()->statusText(), QString("Saving..."));
        // A progress title stays; a status follows it.
        frame->chain().beginProgressTitle("Vantifex - Processing 2 of 5");
        frame->chain().showStatus("Saving...");
        QCOMPARE(frame->windowTitle(), QString("Vantifex - Processing 2 of 5 - Saving..."));
        frame->chain().endProgressTitle();
        QCOMPARE(frame->windowTitle(), "Vantifex - " + name);
        // A photo that cannot be read leaves the views empty and the title without a photo.
        const QString broken = QString::fromStdString(dir_.file("broken.jpg"));
        testing_support::writeBytes(broken.toStdString(), {0xff, 0xd8, 0x00});
        QVERIFY(!frame->loadPhoto(broken));
        QCOMPARE(frame->windowTitle(), QString("Vantifex"));
        QVERIFY(frame->enhancedView()->statusText().startsWith("Cannot read broken.jpg: "));
        QCOMPARE(frame->chain().stage(kStageFinal).width(), 0);
    }

    void menusAndShortcuts() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QStringList menus;
        for (QAction* a : frame->menuBar()->actions()) menus << a->text();
        QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Help"}));
        QStringList file;
        for (QAction* a : frame->menuBar()->actions()[0]->menu()->actions())
            file << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(file,
                 (QStringList{"Save settings...", "Load settings...", "Load settings from photo...",
                              "Output options...", "Presets", "-", "&Print...", "-", "E&xit"}));
        QCOMPARE(frame->menuBar()->actions()[2]->menu()->actions()[0]->text(),
                 QString("&About Vantifex..."));
        const std::pair<const char*, QKeySequence> keys[] = {
            {"save current >", QKeySequence(Qt::CTRL | Qt::Key_S)},
            {"Print...", QKeySequence(Qt::CTRL | Qt::Key_P)},
            {"Exit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        };
        for (const auto& [name, key] : keys) {
            auto* action = frame->findChild<QAction*>(name);
            QVERIFY2(action, name);
            QCOMPARE(action->shortcut(), key);
        }
        // The toolbar exists for "browse..." but is hidden; the dialog bar shows.
        QVERIFY(!frame->findChild<QToolBar*>("toolbar")->isVisible());
        QVERIFY(frame->findChild<QToolBar*>("dialog bar")->isVisible());
        for (const char* name :
             {"save...", "save current >", "save selected >", "save directory >", "browse..."}) {
            auto* b = frame->findChild<QPushButton*>(name);
            QVERIFY2(qobject_cast<HoverButton*>(b), name);
            QCOMPARE(b->accessibleName(), QString(name));
        }
    }

    // Screen readers and scripts find every control of the window by its name.
    void everyControlIsNamed() {
        auto frame = shownFrame();
        QVERIFY(frame);
        const QStringList unnamed = unnamedControls(frame.get());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    }

    void exitClosesTheWindow() {
        auto frame = shownFrame();
        QVERIFY(frame);
        frame->findChild<QAction*>("Exit")->trigger();
        QVERIFY(!frame->isVisible());
    }

    void panesAndInitialSizes() {
        auto frame = shownFrame(1400, 900);
        QVERIFY(frame);
        QCOMPARE(frame->folderTree()->objectName(), QString("folder tree"));
        QCOMPARE(frame->folderTree()->width(), CMainFrame::kTreeWidth);
        QCOMPARE(frame->enhFrame()->editor()->height(), EnhFrame::kEditorHeight);
        // The panel pane gives the enhanced view as much room as the original view has.
        QVERIFY(frame->panel()->width() >= Enh2Frame::kPanelWidth);
        QVERIFY(std::abs(frame->enhancedView()->width() - frame->originalView()->width()) <= 2);
        auto* tabs = qobject_cast<QTabWidget*>(frame->enhFrame()->directoryTabs());
        QVERIFY(tabs);
        QCOMPARE(tabs->tabText(0), QString("input directory"));
        QCOMPARE(tabs->tabText(1), QString("output directory"));
        // The enhanced view sits right of the panel's controls, inside the panel.
        QCOMPARE(frame->enhancedView()->parentWidget(), frame->panel());
        QVERIFY(frame->enhancedView()->x() > 0);
        QVERIFY(frame->originalView()->x() > frame->panel()->x());

        // The browsing widgets replace the placeholders in place, sizes kept.
        auto* tree = new QLabel("tree");
        frame->setFolderTree(tree);
        QCOMPARE(frame->folderTree(), tree);
        QCOMPARE(tree->parentWidget(), frame->centralWidget());
        QVERIFY(!frame->findChild<QWidget*>("folder tree"));
        auto* dirView = new QLabel("dirs");
        frame->enhFrame()->setDirectoryTabs(dirView);
        QCOMPARE(frame->enhFrame()->directoryTabs(), dirView);
        QCOMPARE(frame->enhFrame()->editor()->height(), EnhFrame::kEditorHeight);
    }

    void aboutBox() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QString seen;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box) return;
            seen = box->windowTitle();
            for (QLabel* l : box->findChildren<QLabel*>()) seen += "|" + l->text();
            box->accept();
        });
        frame->findChild<QAction*>("About Vantifex...")->trigger();
        QVERIFY(seen.startsWith("About Vantifex|"));
        QVERIFY(seen.contains("|Vantifex Version 2004"));
        QVERIFY(seen.contains(QString("|") + AboutBox::kSecondLine));
    }

    void recentFilesKeepFourNewest() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QStringList loaded;
        for (int i = 0; i < 6; ++i) {
            loaded << writeTestPhoto(dir_, qPrintable(QString("recent%1").arg(i)), 16, 12);
            QVERIFY(frame->loadPhoto(loaded.last()));
        }
        QVERIFY(frame->loadPhoto(loaded[3]));  // again: moves to the front, once
        QCOMPARE(recent_files::list(), (QStringList{loaded[3], loaded[5], loaded[4], loaded[2]}));
    }

    void hoverAndCursorPictures() {
        QCOMPARE(HoverButton::lightened(QColor(200, 250, 10)), QColor(230, 255, 40));
        QCOMPARE(HoverButton::lightened(QColor(255, 255, 255)), QColor(255, 255, 255));
        const QImage shape = pick_cursor::shape().toImage();
        const QImage mask = pick_cursor::mask().toImage();
        QCOMPARE(shape.size(), QSize(32, 32));
        // The cross-hair's bars run through the hot spot's row and column; the hot spot
        // itself is left open so the picked pixel shows.
        const auto on = [](const QImage& img, int x, int y) {
            return qGray(img.pixel(x, y)) < 128;
        };
        QVERIFY(on(shape, pick_cursor::kHotX, 2) && on(shape, 2, pick_cursor::kHotY));
        QVERIFY(!on(shape, pick_cursor::kHotX, pick_cursor::kHotY));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (on(shape, x, y)) QVERIFY(on(mask, x, y));
    }
};

VFX_QT_TEST(MainFrameTest);

#include "main_frame_test.moc"
