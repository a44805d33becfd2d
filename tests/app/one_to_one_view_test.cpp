// The 1:1 view: what the enhanced view shows at 100 % is, pixel for pixel, that part of the
// picture saving makes of the full-size photo, after every panel click; the original view
// shows the same place; the keyboard, the button, a double-click and dragging move it.
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

#include "app/main_frame.h"
#include "app/one_to_one.h"
#include "enhance/photo_edit.h"
#include "tests/app/window_test_support.h"
#include "workflow/enhancement_steps.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/image_view.h"

using namespace window_tests;

namespace {

// The whole result as saving computes it, from the photo read again at full size.
DibImage savedPicture(const QString& path, const EnhancementSettings& s) {
    PhotoEdit photo;
    photo.load(path.toStdString());
    renderForSaving(photo, s);
    return photo.image;
}

// Compares the grabbed view's top-left region.width x region.height pixels with that region
// of picture (rows from the top).
QString differenceFromRegion(ImageView* view, const DibImage& picture, const CropRect& region) {
    const QImage shot = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (region.isEmpty()) return "nothing is shown";
    if (shot.width() < region.width || shot.height() < region.height) return "the view is smaller";
    for (int y = 0; y < region.height; ++y)
        for (int x = 0; x < region.width; ++x) {
            const RgbQuad q =
                picture.getPixelColor(region.x + x, picture.height() - 1 - (region.y + y));
            const QRgb want = qRgb(q.red, q.green, q.blue) & 0xffffff;
            if ((shot.pixel(x, y) & 0xffffff) != want)
                return QString("pixel (%1, %2) is %3, the saved picture has %4")
                    .arg(x)
                    .arg(y)
                    .arg(shot.pixel(x, y) & 0xffffff, 6, 16)
                    .arg(want, 6, 16);
        }
    return QString();
}

void clickPanel(CMainFrame& frame, const QString& control, int times = 1) {
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(frame.panel()->findChild<QPushButton*>(control), Qt::LeftButton);
}

void sendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

class OneToOneViewTest : public QObject {
    Q_OBJECT
  private:
    testing_support::TempDir dir_;
    QString photo_;

    // Enters 1:1 through the "100%" button and waits for the full-size decode.
    static bool enter(CMainFrame& frame) {
        QTest::mouseClick(frame.findChild<QPushButton*>("100%"), Qt::LeftButton);
        return QTest::qWaitFor([&] { return !frame.oneToOne().shownRegion().isEmpty(); }, 10000);
    }

  private slots:
    void initTestCase() {
        photo_ = writeTestPhoto(dir_, "large", 1700, 1300);
        QVERIFY(!photo_.isEmpty());
    }

    void theViewShowsTheSavedPixelsAfterEveryClick_data() {
        QTest::addColumn<QStringList>("clicks");
        QTest::newRow("neutral") << QStringList{};
        QTest::newRow("red +, skin -") << QStringList{"red +", "red +", "skin -"};
        QTest::newRow("brightness, contrast") << QStringList{"brightness +", "contrast -"};
        QTest::newRow("sharpen +2") << QStringList{"sharpen +", "sharpen +"};
        QTest::newRow("blur") << QStringList{"sharpen -"};
        QTest::newRow("turned right, red +") << QStringList{"rotate right", "red +"};
        QTest::newRow("turned left, sharpen") << QStringList{"rotate left", "sharpen +"};
    }

    void theViewShowsTheSavedPixelsAfterEveryClick() {
        QFETCH(QStringList, clicks);
        auto frame = shownFrame(1100, 750);
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(photo_));
        QVERIFY(enter(*frame));
        ImageView* view = frame->enhancedView();
        QVERIFY(view->zoomed());
        for (const QString& control : clicks) {
            clickPanel(*frame, control);
            const EnhancementSettings& s = frame->chain().settings();
            const CropRect shown = frame->oneToOne().shownRegion();
            QCOMPARE(shown.width, std::min(view->width(), view->zoomedPicture()->width()));
            const QString why = differenceFromRegion(view, savedPicture(photo_, s), shown);
            QVERIFY2(why.isEmpty(), qPrintable("after " + control + ": " + why));
        }
        // The original view: the same place of the photo, only turned.
        EnhancementSettings turns;
        turns.rotation = frame->chain().settings().rotation;
        const CropRect originalShown = frame->oneToOne().shownOriginalRegion();
        QCOMPARE(originalShown.width, std::min(frame->originalView()->width(),
                                               frame->originalView()->zoomedPicture()->width()));
        const QString why =
            differenceFromRegion(frame->originalView(), savedPicture(photo_, turns), originalShown);
        QVERIFY2(why.isEmpty(), qPrintable("original view: " + why));
    }

    void keysEnterAtTheCentreAndLeave() {
        auto frame = shownFrame(1100, 750);
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(photo_));
        frame->activateWindow();
        QTest::keyClick(frame.get(), Qt::Key_1);
        // The decode runs on its worker: the window says so and stays responsive.
        QVERIFY(frame->oneToOne().active());
        QVERIFY(frame->oneToOne().loading());
        QCOMPARE(frame->enhancedView()->statusText(), QString(OneToOne::kLoadingText));
        QTRY_VERIFY_WITH_TIMEOUT(!frame->oneToOne().shownRegion().isEmpty(), 10000);
        const CropRect shown = frame->oneToOne().shownRegion();
        QVERIFY(std::abs(shown.x + shown.width / 2 - 1700 / 2) <= 1);
        QVERIFY(std::abs(shown.y + shown.height / 2 - 1300 / 2) <= 1);
        QTest::keyClick(frame.get(), Qt::Key_Escape);
        QVERIFY(!frame->oneToOne().active());
        QVERIFY(!frame->enhancedView()->zoomed());
        QVERIFY(!frame->originalView()->zoomed());
        // A second time the photo is at hand: no decode again.
        QTest::keyClick(frame.get(), Qt::Key_1);
        QVERIFY(!frame->oneToOne().loading());
        QVERIFY(frame->enhancedView()->zoomed());
        QTest::keyClick(frame.get(), Qt::Key_0);
        QVERIFY(!frame->enhancedView()->zoomed());
    }

    void doubleClickCentresOnThePointAndDraggingPans() {
        auto frame = shownFrame(1100, 750);
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(photo_));
        ImageView* view = frame->enhancedView();
        const PhotoEdit& fitted = frame->chain().stage(kStageFinal);
        // A point near the fitted picture's bottom-right corner.
        const QPoint at(fitted.width() * 9 / 10, fitted.height() * 9 / 10);
        QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, at);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->oneToOne().shownRegion().isEmpty(), 10000);
        const CropRect shown = frame->oneToOne().shownRegion();
        const int px = 1700 * 9 / 10, py = 1300 * 9 / 10;
        QVERIFY(shown.x <= px && px < shown.x + shown.width);
        QVERIFY(shown.y <= py && py < shown.y + shown.height);

        // Dragging the picture 30 right and 20 down shows what lies left of and above it.
        const QPoint from(200, 200);
        sendMouse(view, QEvent::MouseButtonPress, from, Qt::LeftButton);
        sendMouse(view, QEvent::MouseMove, from + QPoint(30, 20), Qt::LeftButton);
        sendMouse(view, QEvent::MouseButtonRelease, from + QPoint(30, 20), Qt::NoButton);
        const CropRect panned = frame->oneToOne().shownRegion();
        QCOMPARE(panned.x, shown.x - 30);
        QCOMPARE(panned.y, shown.y - 20);
        const QString why =
            differenceFromRegion(view, savedPicture(photo_, frame->chain().settings()), panned);
        QVERIFY2(why.isEmpty(), qPrintable(why));

        // A turn at 1:1 keeps the same place of the photo in view, turned with it.
        const int cx = panned.x + panned.width / 2, cy = panned.y + panned.height / 2;
        clickPanel(*frame, "rotate right");
        const CropRect turned = frame->oneToOne().shownRegion();
        const int tx = 1300 - cy, ty = cx;
        QVERIFY2(turned.x <= tx && tx < turned.x + turned.width && turned.y <= ty &&
                     ty < turned.y + turned.height,
                 qPrintable(QString("(%1, %2) is not in view").arg(tx).arg(ty)));
    }

    void anotherPhotoOrAPickReturnsToTheFittedView() {
        auto frame = shownFrame(1100, 750);
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(photo_));
        QVERIFY(enter(*frame));
        const QString other = writeTestPhoto(dir_, "other", 300, 200);
        QVERIFY(frame->loadPhoto(other));
        QVERIFY(!frame->oneToOne().active());
        QVERIFY(!frame->enhancedView()->zoomed());
        QVERIFY(enter(*frame));
        clickPanel(*frame, "white balance");
        QVERIFY(frame->pickMode());
        QVERIFY(!frame->enhancedView()->zoomed());
    }
};

VFX_QT_TEST(OneToOneViewTest);

#include "one_to_one_view_test.moc"
