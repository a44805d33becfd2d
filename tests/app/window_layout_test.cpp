// The main window from outside: no two panel controls overlap at any size, at the window's
// first size every panel control is in sight without scrolling, the two views
// share the space equally until the user moves the bar, "autoset" follows its state however
// it is changed, and a photo that cannot be read says why in the enhanced view.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitterHandle>
#include <QTest>
#include <algorithm>

#include "app/enh_frame.h"
#include "app/main_frame.h"
#include "enhance/photo_edit.h"
#include "tests/app/window_test_support.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/histogram_strip.h"
#include "workflow/qt/image_view.h"

using namespace window_tests;

namespace {

// Let the deferred layout work (the initial pane sizes, the splitters) run.
void settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// The panel's visible controls: every widget of it without widgets of its own (the parts a
// scroll area builds itself left out), each with its rectangle in the panel's coordinates.
// clipped: only the part a scroll area's viewport shows, and none it hides.
QList<QPair<QWidget*, QRect>> panelControls(QWidget* panel, bool clipped) {
    QList<QPair<QWidget*, QRect>> controls;
    const auto visible = [panel](QWidget* w) { return w->isVisibleTo(panel); };
    for (QWidget* w : panel->findChildren<QWidget*>()) {
        const QList<QWidget*> inside = w->findChildren<QWidget*>();
        if (!visible(w) || std::any_of(inside.begin(), inside.end(), visible)) continue;
        if (qobject_cast<QScrollBar*>(w)) continue;
        QRect r(w->mapTo(panel, QPoint(0, 0)), w->size());
        // Controls scrolled out of the scroll area's viewport are clipped by it: only their
        // shown part counts.
        for (QWidget* p = w->parentWidget(); clipped && p && p != panel; p = p->parentWidget())
            if (p->objectName() == "qt_scrollarea_viewport")
                r &= QRect(p->mapTo(panel, QPoint(0, 0)), p->size());
        if (r.isEmpty()) continue;
        controls.append({w, r});
    }
    return controls;
}

QString overlaps(QWidget* panel) {
    const qsizetype all = panelControls(panel, false).size();
    if (all < 40) return QString("only %1 controls found").arg(all);
    const auto controls = panelControls(panel, true);
    for (int i = 0; i < controls.size(); ++i) {
        QWidget* w = controls[i].first;
        // Squeezed below its own minimum a control draws over its neighbours' places.
        // (A fixed size, as the one-character buttons have, is the control's own choice.)
        const QSize least = w->minimumSizeHint().boundedTo(w->maximumSize());
        if (least.isValid() && (w->height() < least.height() || w->width() < least.width()))
            return QString("%1 is %2 x %3, less than its %4 x %5")
                .arg(w->objectName())
                .arg(w->width())
                .arg(w->height())
                .arg(least.width())
                .arg(least.height());
        for (int j = i + 1; j < controls.size(); ++j)
            if (controls[i].second.intersects(controls[j].second))
                return QString("%1 and %2 overlap")
                    .arg(w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName(),
                         controls[j].first->objectName().isEmpty()
                             ? controls[j].first->metaObject()->className()
                             : controls[j].first->objectName());
    }
    return QString();
}

int viewGap(CMainFrame& frame) {
    return std::abs(frame.enhancedView()->width() - frame.originalView()->width());
}

// Drags the bar between the panel pane and the original view by dx pixels.
void dragBar(Enh2Frame* editor, int dx) {
    QSplitterHandle* handle = editor->handle(1);
    const QPoint from = handle->rect().center();
    // One move: positions are the handle's own, and the handle follows each move.
    QTest::mousePress(handle, Qt::LeftButton, {}, from);
    QTest::mouseMove(handle, from + QPoint(dx, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, handle->rect().center());
    settle();
}

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT
  private:
    testing_support::TempDir dir_;

  private slots:
    void noPanelControlsOverlap_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("500 x 350") << QSize(500, 350);
        QTest::newRow("320 x 240") << QSize(320, 240);
        QTest::newRow("900 x 500") << QSize(900, 500);
        QTest::newRow("1600 x 1000") << QSize(1600, 1000);
    }
    void noPanelControlsOverlap() {
        QFETCH(QSize, size);
        // A window manager may give the window less than its minimum (tiling ones do): the
        // window is made to take the size whatever it asks for.
        CMainFrame frame_;
        CMainFrame* frame = &frame_;
        frame->setMinimumSize(1, 1);
        frame->resize(size);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        settle();
        QCOMPARE(frame->size(), size);
        const QString found = overlaps(frame->panel());
        QVERIFY2(found.isEmpty(), qPrintable(found));
        // A panel lower than its controls scrolls them: its content keeps its minimum height.
        QScrollArea* area = frame->panel()->controlsArea();
        QVERIFY(area->widget()->height() >= area->widget()->minimumSizeHint().height());
        if (area->viewport()->height() < area->widget()->minimumSizeHint().height())
            QVERIFY(area->verticalScrollBar()->isVisible());
    }

    // The window's first size is 9/10 of the screen; the editing pane then starts at its
    // initial height, which must hold every control and the histogram unscrolled.
    void everyPanelControlInSightAtFirstSize_data() {
        QTest::addColumn<QSize>("screen");
        QTest::newRow("1600 x 1000 screen") << QSize(1600, 1000);
        QTest::newRow("1920 x 1080 screen") << QSize(1920, 1080);
        QTest::newRow("2560 x 1440 screen") << QSize(2560, 1440);
    }
    void everyPanelControlInSightAtFirstSize() {
        QFETCH(QSize, screen);
        auto frame = shownFrame(screen.width() * 9 / 10, screen.height() * 9 / 10);
        QVERIFY(frame);
        settle();
        QCOMPARE(frame->enhFrame()->editor()->height(), EnhFrame::kEditorHeight);
        EnhForm* panel = frame->panel();
        QScrollArea* area = panel->controlsArea();
        const QRect shown(area->viewport()->mapTo(panel, QPoint(0, 0)), area->viewport()->size());
        QVERIFY(!area->verticalScrollBar()->isVisible());
        QStringList outside;
        int inArea = 0;
        for (const auto& [w, r] : panelControls(panel, false)) {
            if (!area->widget()->isAncestorOf(w)) continue;
            ++inArea;
            if (!shown.contains(r)) outside << w->objectName();
        }
        QVERIFY2(inArea >= 40, qPrintable(QString("only %1 controls found").arg(inArea)));
        QVERIFY2(outside.isEmpty(), qPrintable("clipped: " + outside.join(", ")));
        // The ones that used to need scrolling, by name.
        for (const char* name :
             {"white balance", "white balance value", "white balance 0", "rotate left",
              "rotate right", "crop", "crop aspect", "start over", "histogram"}) {
            auto* w = panel->findChild<QWidget*>(name);
            QVERIFY2(w && w->isVisibleTo(panel), name);
            QVERIFY2(shown.contains(QRect(w->mapTo(panel, QPoint(0, 0)), w->size())), name);
        }
        // The histogram keeps room for its curves above the shares' text: with no photo the
        // plot is its dark ground.
        HistogramStrip* strip = panel->histogramStrip();
        const QImage shot = strip->grab().toImage();
        int plotRows = 0;
        for (int y = 0; y < shot.height(); ++y)
            plotRows += shot.pixelColor(4, y) == QColor(24, 24, 24);
        QVERIFY2(plotRows >= 40, qPrintable(QString("%1 rows of plot").arg(plotRows)));
        QVERIFY(!strip->clippedText().isEmpty());
    }

    void viewsShareTheSpaceEqually() {
        auto frame = shownFrame(1600, 1000);
        QVERIFY(frame);
        settle();
        Enh2Frame* editor = frame->enhFrame()->editor();
        QVERIFY2(viewGap(*frame) <= 2, qPrintable(QString("%1 against %2")
                                                      .arg(frame->enhancedView()->width())
                                                      .arg(frame->originalView()->width())));
        QVERIFY(frame->panel()->width() >= Enh2Frame::kPanelWidth);
        QVERIFY(frame->enhancedView()->width() > 400);
        // The window made narrower, then wider: still equal.
        for (const QSize s : {QSize(1100, 800), QSize(1800, 900)}) {
            frame->resize(s);
            settle();
            QVERIFY2(viewGap(*frame) <= 2, qPrintable(QString("at %1: %2 against %3")
                                                          .arg(s.width())
                                                          .arg(frame->enhancedView()->width())
                                                          .arg(frame->originalView()->width())));
        }
        // The pane never gets less than its minimum, even where equal views would want it.
        frame->resize(900, 700);
        settle();
        QVERIFY(frame->panel()->width() >= Enh2Frame::kPanelWidth);

        // The bar still moves, and the user's share then stays on resizing.
        frame->resize(1600, 1000);
        settle();
        const int before = frame->panel()->width();
        dragBar(editor, -150);
        QVERIFY(editor->userMovedBar());
        QVERIFY2(std::abs(frame->panel()->width() - (before - 150)) <= 2,
                 qPrintable(
                     QString("%1 after a drag from %2").arg(frame->panel()->width()).arg(before)));
        const auto share = [&] {
            const QList<int> sizes = editor->sizes();
            return double(sizes[0]) / (sizes[0] + sizes[1]);
        };
        const double moved = share();
        frame->resize(1300, 1000);
        settle();
        QVERIFY2(std::abs(share() - moved) < 0.01,
                 qPrintable(QString("share %1, the user left %2").arg(share()).arg(moved)));
        QVERIFY(viewGap(*frame) > 20);  // the user's split, not the equal one
    }

    // A click, the keyboard or a screen reader's toggle: the state change is what counts.
    void autosetFollowsItsState_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("accessible toggle") << "accessible";
        QTest::newRow("setChecked") << "setChecked";
        QTest::newRow("mouse click") << "click";
        QTest::newRow("space key") << "key";
    }
    void autosetFollowsItsState() {
        QFETCH(QString, how);
        auto frame = shownFrame();
        QVERIFY(frame);
        auto* autoset = frame->findChild<QCheckBox*>("autoset");
        auto* browse = frame->findChild<QPushButton*>("browse...");
        auto* box = frame->findChild<QLineEdit*>("output directory");
        QVERIFY(autoset && browse && box);
        frame->onInputDirectoryChanged("/photos/2004");
        const auto toggle = [&] {
            if (how == "accessible") {
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(autoset);
                QVERIFY(a && a->actionInterface());
                a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            } else if (how == "setChecked") {
                autoset->setChecked(!autoset->isChecked());
            } else if (how == "click") {
                QTest::mouseClick(autoset, Qt::LeftButton);
            } else {
                autoset->setFocus();
                QTest::keyClick(autoset, Qt::Key_Space);
            }
        };
        toggle();
        QVERIFY(!autoset->isChecked());
        QVERIFY(browse->isEnabled());
        QVERIFY(frame->findChild<QAction*>("browse...")->isEnabled());
        QVERIFY(!box->isReadOnly());
        QCOMPARE(box->text(), QString("/photos/2004/enhanced"));
        // A folder of the user's while autoset is off; autoset on again takes its own back.
        box->setText("/elsewhere");
        emit box->textEdited("/elsewhere");
        toggle();
        QVERIFY(autoset->isChecked());
        QVERIFY(!browse->isEnabled());
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->text(), QString("/photos/2004/enhanced"));
    }

    void unreadablePhotoSaysWhy() {
        auto frame = shownFrame(1200, 800);
        QVERIFY(frame);
        settle();
        const QString good = writeTestPhoto(dir_, "readable", 64, 48);
        QVERIFY(frame->loadPhoto(good));
        std::vector<uint8_t> noise(3000);
        uint32_t x = 99;
        for (uint8_t& b : noise) b = uint8_t((x = x * 1103515245 + 12345) >> 16);
        noise[0] = 0x11;  // starts like no format at all
        const std::string path = dir_.file("random.jpg");
        testing_support::writeBytes(path, noise);
        QVERIFY(!frame->loadPhoto(QString::fromStdString(path)));
        settle();
        PhotoEdit alone;
        alone.load(path);
        const QString expected = QString("Cannot read random.jpg: ") + alone.image.lastError();
        QVERIFY(alone.image.lastError()[0] != '\0');
        QCOMPARE(frame->enhancedView()->statusText(), expected);
        QCOMPARE(frame->windowTitle(), QString("Vantifex"));
        QCOMPARE(frame->chain().stage(kStageFinal).width(), 0);
        // Drawn in dark blue around the view's centre, over the empty view's background.
        ImageView* view = frame->enhancedView();
        const QImage shot = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect middle(view->width() / 2 - 150, view->height() / 2 - 15, 300, 30);
        int text = 0;
        for (int py = middle.top(); py <= middle.bottom(); ++py)
            for (int px = middle.left(); px <= middle.right(); ++px) {
                const QColor c = shot.pixelColor(px, py);
                if (c.blue() > c.red() + 40 && c.blue() > c.green() + 40) ++text;
            }
        QVERIFY2(text > 50, qPrintable(QString("%1 text pixels").arg(text)));
    }
};

VFX_QT_TEST(WindowLayoutTest);

#include "window_layout_test.moc"
