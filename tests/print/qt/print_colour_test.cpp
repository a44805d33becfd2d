// The page preview of a wide-gamut photo shows lcms2's sRGB of the copy's values; the copy
// itself, which is what prints, keeps the photo's own values.
#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>

#include "metadata/photo_metadata.h"
#include "print/qt/print_layout_view.h"
#include "print/qt/print_options_dialog.h"
#include "support/icc_profiles.h"
#include "support/qt/qt_test_registry.h"
#include "tests/workflow/fake_view.h"
#include "workflow/preview_chain.h"

using icc_profiles::Bgr;

class PrintColourTest : public QObject {
    Q_OBJECT
  private slots:
    void previewShowsTheProfilesColours_data() {
        QTest::addColumn<bool>("tagged");
        QTest::newRow("untagged") << false;
        QTest::newRow("Display P3") << true;
    }

    void previewShowsTheProfilesColours() {
        QFETCH(bool, tagged);
        const Bgr own{50, 210, 240};
        QTemporaryDir dir;
        const std::string path = dir.filePath("flat.png").toStdString();
        DibImage image(120, 80, 24, PNG);
        for (int32_t y = 0; y < 80; ++y)
            for (int32_t x = 0; x < 120; ++x)
                image.setPixelColor(x, y, RgbQuad{own.blue, own.green, own.red, 0});
        PhotoMetadata metadata;
        if (tagged) metadata.icc = icc_profiles::displayP3();
        QVERIFY(saveWithMetadata(image, path, PNG, &metadata));

        EnhancementSettings settings;
        FakeView view;
        PreviewChain chain(settings, view);
        QVERIFY(chain.loadPhoto(path));
        PrintOptionsDialog dialog(chain);
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(dir.filePath("unused.pdf"));
        dialog.setPrinter(std::move(printer));
        dialog.resize(600, 500);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        PrintLayoutView* layout = dialog.layoutView();
        const PrintCopy& copy = layout->previewCopy();
        QVERIFY(!copy.isEmpty());
        const RgbQuad value =
            copy.picture.image.getPixelColor(copy.picture.width() / 2, copy.picture.height() / 2);
        QCOMPARE((Bgr{value.blue, value.green, value.red}), own);
        // The single copy at the page's top-left cell, its middle.
        const std::vector<LayoutRect> cells =
            copyCells(dialog.values(), layout->page(), copy.width, copy.height,
                      borderGap(dialog.values(), layout->page().height(), dialog.printerPage()));
        QVERIFY(!cells.empty());
        const QImage shot = layout->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb c = shot.pixel(int(cells[0].left + copy.width / 2),
                                  int(cells[0].top + copy.firstRow + copy.picture.height() / 2));
        const Bgr shown{uint8_t(qBlue(c)), uint8_t(qGreen(c)), uint8_t(qRed(c))};
        if (tagged) {
            QVERIFY(icc_profiles::withinOne(shown, icc_profiles::toSrgb(metadata.icc, own)));
            QVERIFY(!icc_profiles::withinOne(shown, own));
        } else {
            QCOMPARE(shown, own);
        }
    }
};

VFX_QT_TEST(PrintColourTest);
#include "print_colour_test.moc"
