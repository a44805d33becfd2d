// Cropping and the histogram in the window: a drag on the original view draws the crop, an
// edge handle moves it, Esc cancels, Enter and a double-click apply; loading another photo and
// "start over" drop it; the histogram strip follows every recomputation.
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "app/main_frame.h"
#include "tests/app/window_test_support.h"
#include "workflow/photo_crop.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/histogram_strip.h"
#include "workflow/qt/image_view.h"

using namespace window_tests;

class WindowCropTest : public QObject {
    Q_OBJECT
  private slots:
    void dragApplyCancelAndClear() {
        testing_support::TempDir dir;
        const QString a = writeTestPhoto(dir, "a.png", 400, 300);
        const QString b = writeTestPhoto(dir, "b.png", 300, 400);
        std::unique_ptr<CMainFrame> frame = shownFrame(1200, 800);
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(a));
        PreviewChain& chain = frame->chain();
        OriginalImageView* view = frame->originalView();
        QPushButton* toggle = frame->panel()->findChild<QPushButton*>("crop");
        QComboBox* aspect = frame->panel()->findChild<QComboBox*>("crop aspect");
        QVERIFY(toggle && aspect);
        QCOMPARE(toggle->accessibleName(), QString("crop"));
        QCOMPARE(aspect->accessibleName(), QString("crop aspect"));
        QCOMPARE(aspect->count(), 7);

        // The view shows the photo at its own scale: view pixel -> photo pixel.
        const PhotoEdit& shown = chain.stage(kStageOriginalView);
        QVERIFY(shown.width() > 0);
        const auto at = [&](int fx, int fy) {
            return QPoint(fx * shown.width() / 400, fy * shown.height() / 300);
        };
        toggle->click();
        QVERIFY(view->cropMode());
        QTest::mousePress(view, Qt::LeftButton, {}, at(40, 30));
        QTest::mouseMove(view, at(240, 180));
        QTest::mouseRelease(view, Qt::LeftButton, {}, at(240, 180));
        const CropRect drawn = view->pendingCrop();
        QVERIFY2(std::abs(drawn.x - 40) <= 2 && std::abs(drawn.width - 200) <= 3,
                 cropText(drawn).c_str());
        QVERIFY(chain.crop().isEmpty());  // not applied yet

        // Esc cancels: nothing applied, crop mode left.
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!view->cropMode());
        QVERIFY(!toggle->isChecked());
        QVERIFY(chain.crop().isEmpty());

        // Drawn again and applied with Enter.
        toggle->click();
        QTest::mousePress(view, Qt::LeftButton, {}, at(40, 30));
        QTest::mouseMove(view, at(240, 180));
        QTest::mouseRelease(view, Qt::LeftButton, {}, at(240, 180));
        const QRect r = view->viewRectOf(view->pendingCrop());
        // The right edge's handle drags it further right; the left edge stays.
        const QPoint edge(r.left() + r.width(), r.center().y());
        QTest::mousePress(view, Qt::LeftButton, {}, edge);
        QTest::mouseMove(view, edge + QPoint(30, 0));
        QTest::mouseRelease(view, Qt::LeftButton, {}, edge + QPoint(30, 0));
        const CropRect moved = view->pendingCrop();
        QCOMPARE(moved.x, drawn.x);
        QCOMPARE(moved.y, drawn.y);
        QCOMPARE(moved.height, drawn.height);
        QVERIFY(moved.width > drawn.width + 20);
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(chain.crop(), moved);
        QVERIFY(!toggle->isChecked());
        // The enhanced stages are of the crop's shape.
        const PhotoEdit& fitted = chain.stage(kStageFitted);
        QVERIFY(std::abs(double(fitted.width()) / fitted.height() -
                         double(moved.width) / moved.height) < 0.05);

        // 1:1 chosen, drawn and applied by a double-click: a square.
        toggle->click();
        aspect->setCurrentIndex(2);
        emit aspect->activated(2);
        QTest::mousePress(view, Qt::LeftButton, {}, at(10, 10));
        QTest::mouseMove(view, at(210, 110));
        QTest::mouseRelease(view, Qt::LeftButton, {}, at(210, 110));
        QTest::mouseDClick(view, Qt::LeftButton, {}, at(50, 50));
        QVERIFY(!chain.crop().isEmpty());
        QCOMPARE(chain.crop().width, chain.crop().height);

        // "start over" and another photo drop it.
        frame->panel()->findChild<QPushButton*>("start over")->click();
        QVERIFY(chain.crop().isEmpty());
        frame->applyCrop(CropRect{0, 0, 100, 100});
        QCOMPARE(chain.crop(), (CropRect{0, 0, 100, 100}));
        QVERIFY(frame->loadPhoto(b));
        QVERIFY(chain.crop().isEmpty());
    }

    void histogramStripFollowsTheColours() {
        testing_support::TempDir dir;
        const QString a = writeTestPhoto(dir, "a.png", 320, 240);
        std::unique_ptr<CMainFrame> frame = shownFrame(1200, 800);
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(a));
        auto* strip = frame->findChild<HistogramStrip*>("histogram");
        QVERIFY(strip);
        QCOMPARE(strip->accessibleName(), QString("histogram"));
        QVERIFY(strip->isVisible() && strip->height() > 40);
        const QString before = strip->clippedText();
        QVERIFY2(before.startsWith("shadows clipped"), qPrintable(before));
        const QImage pictureBefore = strip->grab().toImage();
        for (int i = 0; i < 3; ++i)
            frame->panel()->findChild<QPushButton*>("brightness +")->click();
        frame->panel()->findChild<QPushButton*>("contrast +")->click();
        QCoreApplication::processEvents();
        QCOMPARE(strip->clippedText(),
                 QString::fromStdString(clippedText(frame->chain().histogram())));
        QVERIFY(strip->grab().toImage() != pictureBefore);
        QCOMPARE(strip->accessibleDescription(), strip->clippedText());
    }
};

VFX_QT_TEST(WindowCropTest);
#include "window_crop_test.moc"
