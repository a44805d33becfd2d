// The views and thumbnails of a wide-gamut photo show lcms2's sRGB of the stages' values,
// an untagged photo its own values; the stages and the saved file stay the photo's own.
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/batch_thread.h"
#include "app/main_frame.h"
#include "browse/qt/dir_view.h"
#include "browse/qt/photot_view.h"
#include "enhance/photo_edit.h"
#include "metadata/photo_metadata.h"
#include "support/icc_profiles.h"
#include "tests/app/window_test_support.h"
#include "tests/workflow/fake_dialogs.h"
#include "workflow/enhancement_steps.h"
#include "workflow/preset_file.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/image_view.h"

using namespace window_tests;
using icc_profiles::Bgr;

namespace {

constexpr Bgr kOwn{60, 200, 235};

// A flat 300 x 200 PNG saved with the given profile (none when empty).
std::string writeFlat(const testing_support::TempDir& dir, const std::string& name,
                      const std::vector<uint8_t>& icc) {
    DibImage image(300, 200, 24, PNG);
    for (int32_t y = 0; y < 200; ++y)
        for (int32_t x = 0; x < 300; ++x)
            image.setPixelColor(x, y, RgbQuad{kOwn.blue, kOwn.green, kOwn.red, 0});
    PhotoMetadata metadata;
    metadata.icc = icc;
    const std::string path = dir.file(name);
    return saveWithMetadata(image, path, PNG, &metadata) ? path : std::string();
}

Bgr bgrOf(QRgb c) {
    return Bgr{uint8_t(qBlue(c)), uint8_t(qGreen(c)), uint8_t(qRed(c))};
}

Bgr stageCentre(const PhotoEdit& stage) {
    const DibImage pic = shownPicture(stage);
    const RgbQuad q = pic.getPixelColor(pic.width() / 2, pic.height() / 2);
    return Bgr{q.blue, q.green, q.red};
}

// The view's pixel at the centre of the stage it paints from its top-left corner.
Bgr viewCentre(ImageView* view, const PhotoEdit& stage) {
    const QImage shot = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    return bgrOf(shot.pixel(stage.width() / 2, stage.height() / 2));
}

// What the screen must show of a stage's value.
Bgr expected(const std::vector<uint8_t>& icc, Bgr value) {
    return icc.empty() ? value : icc_profiles::toSrgb(icc, value);
}

}  // namespace

class DisplayColourViewTest : public QObject {
    Q_OBJECT
  private slots:
    void viewsShowTheProfilesColours_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("untagged") << "untagged";
        QTest::newRow("Display P3") << "p3";
        QTest::newRow("Adobe RGB") << "adobe";
    }

    void viewsShowTheProfilesColours() {
        QFETCH(QString, name);
        const std::vector<uint8_t> icc = name == "p3"      ? icc_profiles::displayP3()
                                         : name == "adobe" ? icc_profiles::adobeRgb()
                                                           : std::vector<uint8_t>();
        testing_support::TempDir dir;
        const std::string path = writeFlat(dir, name.toStdString() + ".png", icc);
        QVERIFY(!path.empty());
        auto frame = shownFrame();
        QVERIFY(frame);
        QVERIFY(frame->loadPhoto(QString::fromStdString(path)));
        const PreviewChain& chain = frame->chain();

        // Before and after a correction: the correction works on the photo's own values, and
        // only what is painted is converted.
        for (int clicks = 0; clicks < 2; ++clicks) {
            if (clicks)
                QTest::mouseClick(frame->panel()->findChild<QPushButton*>("red +"), Qt::LeftButton);
            const Bgr final = stageCentre(chain.stage(kStageFinal));
            const Bgr original = stageCentre(chain.stage(kStageOriginalView));
            QCOMPARE(original, kOwn);
            QCOMPARE(final == kOwn, clicks == 0);
            const Bgr enhancedShown = viewCentre(frame->enhancedView(), chain.stage(kStageFinal));
            const Bgr originalShown =
                viewCentre(frame->originalView(), chain.stage(kStageOriginalView));
            if (icc.empty()) {
                QCOMPARE(enhancedShown, final);  // bit for bit
                QCOMPARE(originalShown, original);
            } else {
                QVERIFY(icc_profiles::withinOne(enhancedShown, expected(icc, final)));
                QVERIFY(icc_profiles::withinOne(originalShown, expected(icc, original)));
                QVERIFY(!icc_profiles::withinOne(originalShown, original));
            }
        }

        // The thumbnail of the folder shows the same colour.
        frame->selectInputDirectory(QString::fromStdString(dir.path().string()));
        PhototView* input = frame->dirView()->inputView();
        QTRY_VERIFY_WITH_TIMEOUT(input->scanDone() && input->grid().items().size() == 1, 20000);
        const DibImage& thumb = input->grid().items()[0]->image;
        const RgbQuad q = thumb.getPixelColor(thumb.width() / 2, thumb.height() / 2);
        QVERIFY(icc_profiles::withinOne(Bgr{q.blue, q.green, q.red}, expected(icc, kOwn)));
    }

    void savedFileIsTheSameWithTheViewsShown() {
        testing_support::TempDir dir;
        const std::vector<uint8_t> p3 = icc_profiles::displayP3();
        const std::string path = writeFlat(dir, "tagged.png", p3);
        QVERIFY(!path.empty());
        auto frame = shownFrame();
        QVERIFY(frame);
        FakeDialogs dialogs;
        frame->setDialogs(&dialogs);
        frame->selectInputDirectory(QString::fromStdString(dir.path().string()));
        QVERIFY(frame->loadPhoto(QString::fromStdString(path)));
        QTest::mouseClick(frame->panel()->findChild<QPushButton*>("brightness +"), Qt::LeftButton);
        // The views have painted in the screen's colours.
        QVERIFY(!icc_profiles::withinOne(
            viewCentre(frame->originalView(), frame->chain().stage(kStageOriginalView)), kOwn));
        QTest::mouseClick(frame->findChild<QPushButton*>("save current >"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->batch().running(), 60000);
        frame->setDialogs(nullptr);

        // The same photo and settings saved by the core alone, with no window at all.
        PhotoEdit photo;
        photo.load(path);
        photo.metadata = withSettingsRecord(photo.metadata, frame->chain().settings());
        QVERIFY(renderForSaving(photo, frame->chain().settings()));
        QVERIFY(photo.saveFile(dir.file("core.png"), 0));
        const auto saved = testing_support::readBytes(dir.file("enhanced/enh_tagged.png"));
        QVERIFY(!saved.empty());
        QVERIFY(saved == testing_support::readBytes(dir.file("core.png")));
        QCOMPARE(readMetadata(dir.file("enhanced/enh_tagged.png")).icc, p3);
    }
};

VFX_QT_TEST(DisplayColourViewTest);
#include "display_colour_view_test.moc"
