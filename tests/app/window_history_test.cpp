// Undo and redo in the window: the Edit menu's texts and states, the shortcuts, each kind of
// change as one step restarting the chain where it should; next and previous photo in
// thumbnail order with the ends and the title.
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "app/main_frame.h"
#include "browse/qt/dir_view.h"
#include "browse/qt/photot_view.h"
#include "tests/app/window_test_support.h"
#include "workflow/preset_file.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/image_view.h"

using namespace window_tests;

namespace {

QString undoText(CMainFrame& frame) {
    return frame.findChild<QAction*>("Undo")->text();
}
QString redoText(CMainFrame& frame) {
    return frame.findChild<QAction*>("Redo")->text();
}
bool undoEnabled(CMainFrame& frame) {
    return frame.findChild<QAction*>("Undo")->isEnabled();
}
bool redoEnabled(CMainFrame& frame) {
    return frame.findChild<QAction*>("Redo")->isEnabled();
}
void click(CMainFrame& frame, const char* name) {
    auto* button = frame.findChild<QPushButton*>(name);
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

class WindowHistoryTest : public QObject {
    Q_OBJECT
  private:
    testing_support::TempDir dir_;

  private slots:
    void editMenuAndShortcuts() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QMenu* edit = nullptr;
        for (QAction* a : frame->menuBar()->actions())
            if (a->text() == "&Edit") edit = a->menu();
        QVERIFY(edit);
        QStringList items;
        for (QAction* a : edit->actions()) items << a->objectName();
        QCOMPARE(items, (QStringList{"Undo", "Redo"}));
        QCOMPARE(frame->findChild<QAction*>("Undo")->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_Z));
        QCOMPARE(frame->findChild<QAction*>("Redo")->shortcuts(),
                 (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                      QKeySequence(Qt::CTRL | Qt::Key_Y)}));
        // Nothing yet: both plain and disabled.
        QCOMPARE(undoText(*frame), QString("Undo"));
        QCOMPARE(redoText(*frame), QString("Redo"));
        QVERIFY(!undoEnabled(*frame) && !redoEnabled(*frame));
    }

    void colourStepsUndoAndRedoAtTheColourStage() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(writeTestPhoto(dir_, "colours", 160, 120)));
        click(*frame, "red +");
        click(*frame, "red +");
        QCOMPARE(undoText(*frame), QString("Undo red +"));
        QVERIFY(undoEnabled(*frame) && !redoEnabled(*frame));
        const DibImage redder = shownPicture(frame->chain().stage(kStageFinal));

        frame->chain().resetFillCounts();
        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(frame->panel()->settings().redOffset, 1);
        QCOMPARE(frame->findChild<QLineEdit*>("red value")->text(), QString("1"));
        // A colour undo costs a colour click: nothing before the colour stage is refilled.
        QCOMPARE(frame->chain().fillCount(kStageResized), 0);
        QCOMPARE(frame->chain().fillCount(kStageColoured), 1);
        QCOMPARE(redoText(*frame), QString("Redo red +"));
        QVERIFY(undoEnabled(*frame) && redoEnabled(*frame));

        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(frame->panel()->settings().redOffset, 2);
        QVERIFY(
            testing_support::sameImage(shownPicture(frame->chain().stage(kStageFinal)), redder));
        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(frame->panel()->settings().redOffset, 0);
        QVERIFY(!undoEnabled(*frame));
        QCOMPARE(undoText(*frame), QString("Undo"));
        QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(frame->panel()->settings().redOffset, 1);

        // A new change drops what could be redone.
        click(*frame, "blue -");
        QVERIFY(!redoEnabled(*frame));
        QCOMPARE(redoText(*frame), QString("Redo"));
        QCOMPARE(undoText(*frame), QString("Undo blue -"));

        // An "&" of a name is shown, not taken as a mnemonic.
        auto* fx = frame->findChild<QComboBox*>("FX");
        emit fx->activated(kEffectBlackAndWhite);
        QCOMPARE(undoText(*frame), QString("Undo FX Black && White"));
        frame->undo();
        QCOMPARE(frame->panel()->settings().effect, int(kEffectNone));
        QCOMPARE(fx->currentIndex(), int(kEffectNone));
    }

    void everyKindOfChangeIsOneStep() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(writeTestPhoto(dir_, "kinds", 200, 100)));
        struct Case {
            const char* button;  // clicked, then undone
            int firstRefilled;   // the earliest stage the undo refills
        };
        const Case cases[] = {
            {"sharpen +", kStageSharpened},       {"contrast -", kStageContrasted},
            {"brightness +", kStageBrightened},   {"skin +", kStageColoured},
            {"rotate right", kStageOriginalView}, {"rotate left", kStageOriginalView},
        };
        for (const Case& c : cases) {
            click(*frame, c.button);
            QCOMPARE(undoText(*frame), QString("Undo ") + c.button);
            frame->chain().resetFillCounts();
            frame->undo();
            QCOMPARE(redoText(*frame), QString("Redo ") + c.button);
            for (int stage = kStageFitted; stage < kStageOriginalView; ++stage)
                QVERIFY2((frame->chain().fillCount(stage) > 0) ==
                             (stage >= c.firstRefilled || c.firstRefilled == kStageOriginalView),
                         qPrintable(QString("%1: stage %2").arg(c.button).arg(stage)));
        }
        // The turns were undone: stage 0 is upright again and the count back at 0.
        QCOMPARE(frame->panel()->settings().rotation, 0);
        QCOMPARE(frame->chain().stage(kStageOriginal).width(), 200);

        // "start over" and "white balance 0" are steps; a pick on the enhanced view is one.
        click(*frame, "brightness +");
        click(*frame, "start over");
        QCOMPARE(undoText(*frame), QString("Undo start over"));
        frame->undo();
        QCOMPARE(frame->panel()->settings().brightness, 1);
        frame->setPickMode(true);
        QTest::mouseClick(frame->enhancedView(), Qt::LeftButton, {}, QPoint(2, 2));
        frame->setPickMode(false);
        QVERIFY(!frame->panel()->settings().whiteBalance.empty());
        QCOMPARE(undoText(*frame), QString("Undo white balance"));
        click(*frame, "white balance 0");
        QCOMPARE(undoText(*frame), QString("Undo white balance 0"));
        frame->chain().resetFillCounts();
        frame->undo();
        QVERIFY(!frame->panel()->settings().whiteBalance.empty());
        QCOMPARE(frame->chain().fillCount(kStageContrasted), 0);
        QCOMPARE(frame->chain().fillCount(kStageBalanced), 1);
        frame->undo();
        QVERIFY(frame->panel()->settings().whiteBalance.empty());

        // Loading settings is one step, undone whole.
        EnhancementSettings preset;
        preset.contrast = 7;
        preset.greenOffset = -2;
        const std::string file = dir_.file("kinds.vfxpreset");
        QVERIFY(writePresetFile(file, preset, nullptr));
        QVERIFY(frame->loadSettingsFrom(QString::fromStdString(file), false));
        QCOMPARE(undoText(*frame), QString("Undo Load settings"));
        QCOMPARE(frame->panel()->settings().contrast, 7);
        frame->undo();
        QCOMPARE(frame->panel()->settings().contrast, 0);
        QCOMPARE(frame->panel()->settings().greenOffset, 0);
        QCOMPARE(frame->panel()->settings().brightness, 1);
        QCOMPARE(frame->findChild<QLineEdit*>("contrast value")->text(), QString("0"));
    }

    void nextAndPreviousPhotoInThumbnailOrder() {
        auto frame = shownFrame();
        QVERIFY(frame);
        testing_support::TempDir dir;
        for (const char* name : {"one", "two", "three"})
            QVERIFY(!writeTestPhoto(dir, name, 90, 60).isEmpty());
        frame->selectInputDirectory(QString::fromStdString(dir.path().string()));
        PhototView* input = frame->dirView()->inputView();
        QTRY_VERIFY_WITH_TIMEOUT(input->scanDone(), 20000);
        QCOMPARE(int(input->grid().items().size()), 3);
        QStringList order;
        for (const auto& item : input->grid().items()) order << QString::fromStdString(item->path);

        const auto shown = [&] { return QString::fromStdString(frame->chain().currentPath()); };
        const auto title = [](const QString& path) {
            return "Vantifex - " + QFileInfo(path).fileName();
        };
        // Before any photo Page Down starts at the first.
        QTest::keyClick(frame.get(), Qt::Key_PageDown);
        QCOMPARE(shown(), order[0]);
        QCOMPARE(input->grid().currentIndex(), 0);
        click(*frame, "red +");  // the settings and their history stay with the next photo

        struct Key {
            Qt::Key key;
            int expected;  // index of the photo shown afterwards
        };
        const Key keys[] = {
            {Qt::Key_PageDown, 1}, {Qt::Key_PageDown, 2}, {Qt::Key_PageDown, 2},  // the end
            {Qt::Key_PageUp, 1},   {Qt::Key_PageUp, 0},   {Qt::Key_PageUp, 0},    // the start
        };
        for (const Key& k : keys) {
            QTest::keyClick(frame.get(), k.key);
            QCOMPARE(shown(), order[k.expected]);
            QCOMPARE(input->grid().currentIndex(), k.expected);
            QCOMPARE(frame->windowTitle(), title(order[k.expected]));
        }
        QCOMPARE(frame->panel()->settings().redOffset, 1);
        QCOMPARE(undoText(*frame), QString("Undo red +"));

        // Space and Backspace while a view has the focus.
        frame->originalView()->setFocus();
        QTest::keyClick(frame->originalView(), Qt::Key_Space);
        QCOMPARE(shown(), order[1]);
        frame->enhancedView()->setFocus();
        QTest::keyClick(frame->enhancedView(), Qt::Key_Space);
        QCOMPARE(shown(), order[2]);
        QTest::keyClick(frame->enhancedView(), Qt::Key_Backspace);
        QCOMPARE(shown(), order[1]);
        // Elsewhere they do not step.
        input->setFocus();
        QTest::keyClick(input, Qt::Key_Space);
        QTest::keyClick(input, Qt::Key_Backspace);
        QCOMPARE(shown(), order[1]);
        QCOMPARE(frame->windowTitle(), title(order[1]));
    }
};

VFX_QT_TEST(WindowHistoryTest);
#include "window_history_test.moc"
