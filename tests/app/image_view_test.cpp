// The image views: what they paint is the chain's stage 8 and stage 9 pixel for pixel, the
// white-point picks and the swatch, the pick cursor and instruction text, and the statuses.
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "app/main_frame.h"
#include "enhance/photo_edit.h"
#include "tests/app/window_test_support.h"
#include "ui_common/pick_cursor.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/image_view.h"

using namespace window_tests;

namespace {

// Compares a grabbed view with the picture of a stage drawn at the view's top-left corner;
// outside the picture the view shows its background.
QString differenceFromStage(ImageView* view, const PhotoEdit& stage) {
    const QImage shot = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const DibImage pic = shownPicture(stage);
    if (pic.width() <= 0) return "the stage is empty";
    const QRgb bg = view->palette().color(QPalette::Window).rgb();
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            QRgb want = bg;
            if (x < pic.width() && y < pic.height()) {
                const RgbQuad q = pic.getPixelColor(x, pic.height() - 1 - y);
                want = qRgb(q.red, q.green, q.blue);
            }
            if ((shot.pixel(x, y) & 0xffffff) != (want & 0xffffff))
                return QString("pixel (%1, %2) is %3, the stage has %4")
                    .arg(x)
                    .arg(y)
                    .arg(shot.pixel(x, y) & 0xffffff, 6, 16)
                    .arg(want & 0xffffff, 6, 16);
        }
    return QString();
}

QColor swatchColour(CMainFrame& frame) {
    return frame.panel()
        ->findChild<QFrame*>("white point swatch")
        ->palette()
        .color(QPalette::Window);
}

}  // namespace

class ImageViewTest : public QObject {
    Q_OBJECT
  private:
    testing_support::TempDir dir_;
    QString photo_;

  private slots:
    void initTestCase() {
        photo_ = writeTestPhoto(dir_, "views", 400, 300);
        QVERIFY(!photo_.isEmpty());
    }

    void viewsPaintStagesEightAndNine_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("clicks");
        QTest::newRow("neutral") << QString() << 0;
        QTest::newRow("red +3") << "red +" << 3;
        QTest::newRow("brightness -2") << "brightness -" << 2;
        QTest::newRow("sharpen +1") << "sharpen +" << 1;
    }

    void viewsPaintStagesEightAndNine() {
        QFETCH(QString, control);
        QFETCH(int, clicks);
        auto frame = shownFrame();
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(photo_));
        for (int i = 0; i < clicks; ++i)
            QTest::mouseClick(frame->panel()->findChild<QPushButton*>(control), Qt::LeftButton);
        const PreviewChain& chain = frame->chain();
        // Fitted to the view: the picture fills it in one direction.
        const PhotoEdit& final = chain.stage(kStageFinal);
        QVERIFY(final.width() == frame->enhancedView()->width() ||
                final.height() == frame->enhancedView()->height());
        QString why = differenceFromStage(frame->enhancedView(), final);
        QVERIFY2(why.isEmpty(), qPrintable("enhanced view: " + why));
        why = differenceFromStage(frame->originalView(), chain.stage(kStageOriginalView));
        QVERIFY2(why.isEmpty(), qPrintable("original view: " + why));
    }

    void emptyViewShowsOnlyBackground() {
        auto frame = shownFrame();
        QVERIFY(frame);
        const QImage shot = frame->enhancedView()->grab().toImage();
        const QRgb bg = frame->enhancedView()->palette().color(QPalette::Window).rgb();
        QCOMPARE(shot.pixel(0, 0) & 0xffffff, bg & 0xffffff);
        QCOMPARE(shot.pixel(shot.width() - 1, shot.height() - 1) & 0xffffff, bg & 0xffffff);
    }

    void whitePointPickOnBlackFromEmpty() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(photo_));
        ImageView* view = frame->enhancedView();
        QTest::mouseClick(frame->panel()->findChild<QPushButton*>("white balance"), Qt::LeftButton);
        QVERIFY(frame->pickMode());
        QVERIFY(view->pickMode());
        QCOMPARE(view->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(view->cursor().hotSpot(), QPoint(pick_cursor::kHotX, pick_cursor::kHotY));
        QCOMPARE(frame->originalView()->cursor().shape(), Qt::ArrowCursor);

        frame->chain().resetFillCounts();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
        QCOMPARE(frame->panel()->settings().whiteBalance, std::string("000c0c0c"));
        QCOMPARE(frame->panel()->findChild<QLineEdit*>("white balance value")->text(),
                 QString("000c0c0c"));
        QCOMPARE(frame->chain().fillCount(kStageContrasted), 0);
        QCOMPARE(frame->chain().fillCount(kStageBalanced), 1);
        QCOMPARE(frame->chain().fillCount(kStageFinal), 1);
        // A second click accumulates. The pixel is read from stage 7, where the correction
        // has already raised black to 4 x 12 = 48: each channel gains trunc(207 x 0.05) = 10.
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
        QCOMPARE(frame->panel()->settings().whiteBalance, std::string("00161616"));

        // Out of pick mode a click does nothing.
        QTest::mouseClick(frame->panel()->findChild<QPushButton*>("white balance"), Qt::LeftButton);
        QVERIFY(!frame->pickMode());
        QCOMPARE(view->cursor().shape(), Qt::ArrowCursor);
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
        QCOMPARE(frame->panel()->settings().whiteBalance, std::string("00161616"));
    }

    void swatchFollowsThePointer() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(photo_));
        ImageView* view = frame->enhancedView();
        QCOMPARE(swatchColour(*frame), QColor(255, 255, 255));
        QTest::mouseClick(frame->panel()->findChild<QPushButton*>("white balance"), Qt::LeftButton);
        const PhotoEdit& coloured = frame->chain().stage(kStageColoured);
        const int w = coloured.width();
        const QPoint points[] = {{2, 2}, {w - 3, 2}, {w / 2, coloured.height() / 2}};
        for (const QPoint& p : points) {
            QTest::mouseMove(view, p);
            QTRY_COMPARE(frame->panel()->settings().pointColour,
                         coloured.getPixelRgb(p.x(), coloured.height() - 1 - p.y()));
            const ColourRef c = frame->panel()->settings().pointColour;
            QCOMPARE(swatchColour(*frame),
                     QColor(int(c & 0xff), int(c >> 8 & 0xff), int(c >> 16 & 0xff)));
        }
        // The corners of the test photo: black top-left, red top-right.
        QTest::mouseMove(view, points[1]);
        QTRY_COMPARE(swatchColour(*frame), QColor(255, 0, 0));
        QTest::mouseMove(view, points[0]);
        QTRY_COMPARE(swatchColour(*frame), QColor(0, 0, 0));
    }

    void pickModeDrawsTheInstruction() {
        auto frame = shownFrame();
        QVERIFY(frame);
        ImageView* view = frame->enhancedView();
        const QImage before = view->grab().toImage();
        frame->setPickMode(true);
        const QImage during = view->grab().toImage();
        // The instruction's dark blue ink sits on the bottom edge, wrapped to the view's
        // width, and leaves the upper half alone.
        int ink = 0, lowest = -1, highest = during.height();
        for (int y = 0; y < during.height(); ++y)
            for (int x = 0; x < during.width(); ++x)
                if (during.pixel(x, y) != before.pixel(x, y)) {
                    const QColor c(during.pixel(x, y));
                    QVERIFY(c.blue() > c.red() && c.blue() > c.green());
                    ++ink;
                    lowest = std::max(lowest, y);
                    highest = std::min(highest, y);
                }
        QVERIFY(ink > 0);
        QVERIFY(lowest >= during.height() - view->fontMetrics().height());
        QVERIFY(highest > during.height() / 2);
        frame->setPickMode(false);
        QCOMPARE(view->grab().toImage(), before);
    }

    // A status repaints only where the texts are: the window then shows the picture with the
    // new text alone, the longer one before it wiped.
    void statusesRepaintOnlyWhereTheTextsAre() {
        auto frame = shownFrame();
        QVERIFY(frame);
        ImageView* view = frame->enhancedView();
        QCoreApplication::processEvents();
        auto onScreen = [&] {
            const QPoint at = view->mapTo(frame.get(), QPoint(0, 0));
            return frame->screen()
                ->grabWindow(frame->winId(), at.x(), at.y(), view->width(), view->height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        };
        const QImage before = onScreen();
        view->drawStatus("Brightening... and a much longer text than the next");
        view->drawStatus("Hi");
        const QImage after = onScreen();
        QCOMPARE(after.size(), before.size());
        const QRect text = view->fontMetrics().boundingRect(QRect(), Qt::AlignCenter, "Hi");
        const QRect place(view->width() / 2 - text.width() / 2,
                          view->height() / 2 - text.height() / 2, text.width(), text.height());
        int ink = 0;
        for (int y = 0; y < after.height(); ++y)
            for (int x = 0; x < after.width(); ++x)
                if (after.pixel(x, y) != before.pixel(x, y)) {
                    QVERIFY2(place.adjusted(-2, -2, 2, 2).contains(x, y),
                             qPrintable(QString("changed at %1,%2").arg(x).arg(y)));
                    ++ink;
                }
        QVERIFY(ink > 0);
    }

    void loadingIsPaintedBeforeTheDecode() {
        auto frame = shownFrame();
        QVERIFY(frame);
        QStringList painted;
        struct Recorder : QObject {
            ImageView* view;
            QStringList* painted;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) *painted << view->statusText();
                return false;
            }
        } recorder;
        recorder.view = frame->enhancedView();
        recorder.painted = &painted;
        frame->enhancedView()->installEventFilter(&recorder);
        QSignalSpy titles(frame.get(), &QWidget::windowTitleChanged);
        QVERIFY(frame->loadPhoto(photo_));
        QVERIFY2(painted.contains("Loading..."), qPrintable(painted.join('|')));
        QVERIFY(titles.count() >= 2);
        const QString name = QFileInfo(photo_).fileName();
        QCOMPARE(titles.first().first().toString(), "Vantifex - " + name + " - Loading...");
        QCOMPARE(frame->windowTitle(), "Vantifex - " + name);
        frame->enhancedView()->removeEventFilter(&recorder);
    }

    void previewIsDecodedForTheScreenOnly() {
        auto frame = shownFrame(600, 400);
        QVERIFY(frame);
        const std::string path = dir_.file("large.jpg");
        DibImage large = testPhoto(3200, 2400);
        QVERIFY(large.saveToFile(path.c_str(), JPEG));
        QVERIFY(frame->loadPhoto(QString::fromStdString(path)));
        const PhotoEdit& original = frame->chain().stage(kStageOriginal);
        const QSize screen = frame->screen()->size() * frame->screen()->devicePixelRatio();
        const QSize limit = screen.expandedTo(frame->size());
        QVERIFY2(original.width() < 3200, qPrintable(QString::number(original.width())));
        QVERIFY(original.width() >= limit.width() && original.height() >= limit.height());
        QCOMPARE(original.width() * 3, original.height() * 4);
    }
};

VFX_QT_TEST(ImageViewTest);

#include "image_view_test.moc"
