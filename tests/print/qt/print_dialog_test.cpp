// The print dialog driven through its widgets on the offscreen platform: names and controls,
// the page preview's grab, and whole print runs into PDF files at 600 dpi that pdftoppm turns
// back into pictures, compared block by block with the saved picture scaled the same way.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/main_frame.h"
#include "print/qt/integer_spin_edit.h"
#include "print/qt/print_layout_view.h"
#include "print/qt/print_options_dialog.h"
#include "support/qt/qt_test_registry.h"
#include "support/test_support.h"
#include "support/unnamed_controls.h"
#include "tests/print/block_photo.h"
#include "tests/print/fake_prompts.h"
#include "tests/workflow/fake_view.h"
#include "workflow/batch_saver.h"
#include "workflow/preview_chain.h"

namespace {

// A PDF printer of an 8 x 11 inch page without margins at 600 dpi: 4800 x 6600 pixels.
std::unique_ptr<QPrinter> pdfPrinter(const QString& file) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setResolution(600);
    printer->setPageSize(QPageSize(QSizeF(8, 11), QPageSize::Inch));
    printer->setPageMargins(QMarginsF(0, 0, 0, 0));
    printer->setOutputFileName(file);
    return printer;
}

uint32_t rgbOf(const RgbQuad& c) {
    return uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}

bool near(QRgb a, uint32_t b, int tolerance) {
    return std::abs(qRed(a) - int(b >> 16 & 0xFF)) <= tolerance &&
           std::abs(qGreen(a) - int(b >> 8 & 0xFF)) <= tolerance &&
           std::abs(qBlue(a) - int(b & 0xFF)) <= tolerance;
}

QString hex(uint32_t v) {
    return QString::number(v & 0xFFFFFF, 16);
}

// The settings of the editor in these tests: a colour row that lives only in the planes,
// brightness, and an effect that sees the merged planes.
void correct(EnhancementSettings& s) {
    s.redOffset = 10;
    s.brightness = 12;
    s.effect = kEffectSepia1 + 1;
}

}  // namespace

class PrintDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void controlsCarryTheirNames();
    void valueBoxesAndCenter();
    void previewShowsSurroundPageAndCopies();
    void printsSixCopiesWithBorderToPdf_data();
    void printsSixCopiesWithBorderToPdf();
    void refusalsPrintNothing_data();
    void refusalsPrintNothing();
    void noPrinterPageDisablesPrint();
    void defaultPrinterWithoutPrintersIsPdf();
    void printCommandOfTheMainWindow();

  private:
    template <typename W>
    W* control(const char* name) {
        W* w = dialog_->findChild<W*>(name);
        if (!w) qFatal("no control %s", name);
        return w;
    }
    void type(const char* box, const QString& text) {
        IntegerSpinEdit* edit = control<IntegerSpinEdit>(box);
        edit->findChild<QLineEdit*>()->selectAll();
        QTest::keyClicks(edit, text);
    }

    std::unique_ptr<QTemporaryDir> dir_;
    std::string photoPath_;
    EnhancementSettings settings_;
    FakeView view_;
    std::unique_ptr<PreviewChain> chain_;
    std::unique_ptr<PrintOptionsDialog> dialog_;
    FakePrompts prompts_;
};

void PrintDialogTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    photoPath_ = dir_->filePath("blocks.png").toStdString();
    DibImage photo = block_photo::make();
    QVERIFY(photo.saveToFile(photoPath_.c_str(), PNG));
    settings_ = EnhancementSettings();
    correct(settings_);
    chain_ = std::make_unique<PreviewChain>(settings_, view_);
    QVERIFY(chain_->loadPhoto(photoPath_));
    dialog_ = std::make_unique<PrintOptionsDialog>(*chain_);
    prompts_ = FakePrompts();
    dialog_->setPrompts(&prompts_);
}

void PrintDialogTest::cleanup() {
    dialog_.reset();
    chain_.reset();
    dir_.reset();
}

void PrintDialogTest::controlsCarryTheirNames() {
    QCOMPARE(dialog_->windowTitle(), QString("Print Dialog"));
    for (const char* name :
         {"images value", "pages value", "image height value", "height unit", "Border", "Center",
          "Printer Setup...", "Print", "Cancel", "page preview", "printer"}) {
        QWidget* w = dialog_->findChild<QWidget*>(name);
        QVERIFY2(w, name);
        QCOMPARE(w->accessibleName(), QString(name));
    }
    const QStringList unnamed = unnamedControls(dialog_.get());
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    QComboBox* unit = control<QComboBox>("height unit");
    QCOMPARE(unit->count(), 2);
    QCOMPARE(unit->itemText(0), QString("inches"));
    QCOMPARE(unit->itemText(1), QString("cm"));
    QVERIFY(control<QPushButton>("Print")->isDefault());
}

void PrintDialogTest::valueBoxesAndCenter() {
    dialog_->setPrinter(pdfPrinter(dir_->filePath("values.pdf")));
    dialog_->show();
    // The defaults, shown in the controls.
    QCOMPARE(dialog_->values(), PrintValues{});
    QCOMPARE(control<IntegerSpinEdit>("images value")->text(), QString("1"));

    // Arrow keys step and wrap at the ends of the range.
    type("images value", "100");
    QTest::keyClick(control<IntegerSpinEdit>("images value"), Qt::Key_Up);
    QCOMPARE(control<IntegerSpinEdit>("images value")->text(), QString("0"));
    QCOMPARE(dialog_->values().imagesPerPage, 0);
    QTest::keyClick(control<IntegerSpinEdit>("image height value"), Qt::Key_Down);
    QCOMPARE(dialog_->values().imageHeight, 0);
    QTest::keyClick(control<IntegerSpinEdit>("image height value"), Qt::Key_Down);
    QCOMPARE(dialog_->values().imageHeight, 1000);

    // "Center" is offered only below two copies; the unit keeps the number.
    QCheckBox* center = control<QCheckBox>("Center");
    type("images value", "2");
    QVERIFY(!center->isEnabled());
    type("images value", "1");
    QVERIFY(center->isEnabled());
    control<QComboBox>("height unit")->setCurrentIndex(1);
    QCOMPARE(dialog_->values().heightUnit, int32_t(kUnitCm));
    QCOMPARE(dialog_->values().imageHeight, 1000);

    // Bad text leaves the value as it was, and "Print" answers it with the integer complaint.
    type("pages value", "two");
    QCOMPARE(dialog_->values().pageCount, 1);
    QTest::mouseClick(control<QPushButton>("Print"), Qt::LeftButton);
    QCOMPARE(prompts_.messages, std::vector<std::string>{kPleaseEnterInteger});
    QVERIFY(!QFileInfo::exists(dir_->filePath("values.pdf")));

    // The values outlive the window: closed and opened again, they are still there.
    dialog_->hide();
    dialog_->show();
    QCOMPARE(control<IntegerSpinEdit>("image height value")->text(), QString("1000"));
    QCOMPARE(control<QComboBox>("height unit")->currentIndex(), 1);
}

void PrintDialogTest::previewShowsSurroundPageAndCopies() {
    dialog_->setPrinter(pdfPrinter(dir_->filePath("preview.pdf")));
    dialog_->resize(700, 560);
    dialog_->show();
    type("images value", "6");
    type("image height value", "2");
    control<QCheckBox>("Border")->click();

    PrintLayoutView* view = dialog_->layoutView();
    const QImage grab = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(grab.size(), view->size());
    const LayoutRect page = view->page();
    QVERIFY(!page.isEmpty());
    QVERIFY(page.width() > 100);

    // Grey around, the shadow at the right and bottom, the paper colour on the page.
    QCOMPARE(grab.pixel(grab.width() - 1, grab.height() - 1) & 0xFFFFFF, 0xE0E0E0u);
    const int midX = int(page.left + page.width() / 2), midY = int(page.top + page.height() / 2);
    QCOMPARE(grab.pixel(int(page.right), midY) & 0xFFFFFF, 0x707070u);
    QCOMPARE(grab.pixel(midX, int(page.bottom)) & 0xFFFFFF, 0x707070u);
    QCOMPARE(grab.pixel(int(page.right) - 2, int(page.bottom) - 2) & 0xFFFFFF, 0xFFFFF0u);

    // The copies: 2 inches of 11 on the drawn page, six of them with a gap, each showing the
    // preview copy pixel for pixel.
    const PrintCopy& copy = view->previewCopy();
    QVERIFY(!copy.isEmpty());
    QCOMPARE(copy.height, page.height() * 1200 / 6600);
    const int64_t gap = borderGap(dialog_->values(), page.height(), dialog_->printerPage());
    const std::vector<LayoutRect> cells =
        copyCells(dialog_->values(), page, copy.width, copy.height, gap);
    QCOMPARE(cells.size(), size_t(6));
    QCOMPARE(cells[0].left, page.left + gap);
    QCOMPARE(cells[1].left, page.left + gap + copy.width + gap);
    const int32_t H = copy.picture.height();
    for (const LayoutRect& cell : cells) {
        for (int32_t c = 0; c < block_photo::kColumns; ++c) {
            for (int32_t r = 0; r < block_photo::kRows; ++r) {
                const int32_t x = int32_t(copy.width * (2 * c + 1) / (2 * block_photo::kColumns));
                const int32_t y = int32_t(copy.height * (2 * r + 1) / (2 * block_photo::kRows));
                const uint32_t want = rgbOf(copy.picture.image.getPixelColor(x, H - 1 - y));
                const QRgb got = grab.pixel(int(cell.left + x), int(cell.top + y));
                QVERIFY2((got & 0xFFFFFF) == want,
                         qPrintable(QString::asprintf("cell %lld,%lld block %d,%d: %06x not %06x",
                                                      (long long)cell.left, (long long)cell.top, c,
                                                      r, got & 0xFFFFFF, want)));
            }
        }
    }
    // Between the copies the paper shows.
    QCOMPARE(grab.pixel(int(cells[0].right + gap / 2), int(cells[0].top + 2)) & 0xFFFFFF,
             0xFFFFF0u);

    // The colour row and the effect are in the preview: it is the editor's final stage with
    // its planes merged, not the picture underneath them.
    PhotoEdit merged;
    QVERIFY(merged.combineFilled(chain_->stage(kStageFinal)));
    QVERIFY(merged.resize(0, int32_t(copy.height), 1));
    std::string why;
    QVERIFY2(testing_support::sameImage(copy.picture.image, merged.image, &why), why.c_str());
}

void PrintDialogTest::printsSixCopiesWithBorderToPdf_data() {
    QTest::addColumn<bool>("border");
    QTest::addColumn<int>("pages");
    QTest::newRow("6 copies with border, 2 pages") << true << 2;
    QTest::newRow("6 copies without border, 1 page") << false << 1;
}

void PrintDialogTest::printsSixCopiesWithBorderToPdf() {
    QFETCH(bool, border);
    QFETCH(int, pages);
    const QString pdf = dir_->filePath("copies.pdf");
    dialog_->setPrinter(pdfPrinter(pdf));
    dialog_->show();
    QCOMPARE(dialog_->printerPage().width, 4800);
    QCOMPARE(dialog_->printerPage().height, 6600);
    QCOMPARE(dialog_->printerPage().dpiY, 600);
    type("images value", "6");
    type("pages value", QString::number(pages));
    type("image height value", "2");
    if (border) control<QCheckBox>("Border")->click();
    QTest::mouseClick(control<QPushButton>("Print"), Qt::LeftButton);
    QVERIFY2(prompts_.messages.empty(),
             prompts_.messages.empty() ? "" : prompts_.messages[0].c_str());
    QCOMPARE(prompts_.questions.size(), size_t(pages > 1 ? 1 : 0));
    QVERIFY(QFileInfo::exists(pdf));

    // Back into pictures at 100 dpi: a 600 dpi pixel is a sixth of one.
    QVERIFY2(QFileInfo::exists(PDFTOPPM), "pdftoppm (poppler-utils) is needed");
    const QString prefix = dir_->filePath("page");
    QProcess raster;
    raster.start(PDFTOPPM, {"-r", "100", "-png", pdf, prefix});
    QVERIFY(raster.waitForFinished(120000));
    QCOMPARE(raster.exitCode(), 0);
    const QStringList pngs = QDir(dir_->path()).entryList({"page-*.png"}, QDir::Files, QDir::Name);
    QCOMPARE(pngs.size(), pages);
    if (qEnvironmentVariableIsSet("VFX_KEEP_PRINT")) {
        const QString keep = qEnvironmentVariable("VFX_KEEP_PRINT");
        QFile::remove(keep);
        QFile::copy(dir_->filePath(pngs[0]), keep);
    }

    // The reference: the picture "save current >" writes, scaled as the print copy is.
    PhotoEdit saved;
    QVERIFY(loadForSaving(photoPath_, saved));
    QVERIFY(renderForSaving(saved, settings_));
    QVERIFY(saved.resize(0, 1200, 0));
    QCOMPARE(saved.width(), 1600);
    PhotoEdit plain;
    plain.image = block_photo::make();
    QVERIFY(plain.resize(0, 1200, 0));

    const int g = border ? 59 : 0;
    std::vector<std::pair<int, int>> cells;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3 && cells.size() < 6; ++col)
            if (g + col * (1600 + g) + 1600 <= 4800)
                cells.emplace_back(g + col * (1600 + g), g + row * (1200 + g));
    cells.resize(6);
    for (const QString& png : pngs) {
        const QImage page = QImage(dir_->filePath(png)).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(page.size(), QSize(800, 1100));
        for (const auto& [cx, cy] : cells) {
            for (int c = 0; c < block_photo::kColumns; ++c) {
                for (int r = 0; r < block_photo::kRows; ++r) {
                    const int x = 400 * c + 200, y = 400 * r + 200;
                    const uint32_t want = rgbOf(saved.image.getPixelColor(x, 1199 - y));
                    const QRgb got = page.pixel((cx + x) / 6, (cy + y) / 6);
                    QVERIFY2(near(got, want, 6),
                             qPrintable(QString::asprintf(
                                 "%s cell %d,%d block %d,%d: %06x not %06x", qPrintable(png), cx,
                                 cy, c, r, got & 0xFFFFFF, want)));
                    // The corrections reached the paper.
                    const uint32_t uncorrected = rgbOf(plain.image.getPixelColor(x, 1199 - y));
                    QVERIFY(!near(got, uncorrected, 12));
                }
            }
        }
        // The paper between and beside the copies stays white.
        std::vector<std::pair<int, int>> white = {{2400, 4500}, {4500, 6500}};
        // With a border: right of the two copies a row holds, the left margin, the gap.
        if (border) white.insert(white.end(), {{4500, 300}, {29, 3000}, {59 + 1600 + 29, 600}});
        for (const auto& [x, y] : white)
            QVERIFY2(
                page.pixel(x / 6, y / 6) == 0xFFFFFFFFu,
                qPrintable(QString("%1,%2: %3").arg(x).arg(y).arg(hex(page.pixel(x / 6, y / 6)))));
    }
}

void PrintDialogTest::refusalsPrintNothing_data() {
    QTest::addColumn<QString>("pages");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("missingFolder");
    QTest::addColumn<QString>("photo");
    QTest::addColumn<QString>("message");
    QTest::newRow("zero pages") << "0" << true << false << "" << kPagesSetToZero;
    QTest::newRow("three pages, No") << "3" << false << false << ""
                                     << "";
    QTest::newRow("document cannot start") << "1" << true << true << "" << kCannotPrint;
    QTest::newRow("photo gone") << "1" << true << false << "gone.png" << kCannotLocateFile;
    QTest::newRow("no photo") << "1" << true << false << "-" << kNoSelectedImage;
}

void PrintDialogTest::refusalsPrintNothing() {
    QFETCH(QString, pages);
    QFETCH(bool, answer);
    QFETCH(bool, missingFolder);
    QFETCH(QString, photo);
    QFETCH(QString, message);
    const QString pdf =
        missingFolder ? dir_->filePath("no/such/folder/out.pdf") : dir_->filePath("refused.pdf");
    if (photo == "-") {
        chain_ = std::make_unique<PreviewChain>(settings_, view_);
        dialog_ = std::make_unique<PrintOptionsDialog>(*chain_);
        dialog_->setPrompts(&prompts_);
    } else if (!photo.isEmpty()) {
        QVERIFY(QFile::rename(QString::fromStdString(photoPath_), dir_->filePath("moved.png")));
    }
    dialog_->setPrinter(pdfPrinter(pdf));
    dialog_->show();
    prompts_.answer = answer;
    type("pages value", pages);
    QTest::mouseClick(control<QPushButton>("Print"), Qt::LeftButton);
    std::vector<std::string> expected;
    if (!message.isEmpty()) expected.push_back(message.toStdString());
    QCOMPARE(prompts_.messages, expected);
    QVERIFY(!QFileInfo::exists(pdf));
    QVERIFY(dialog_->isVisible());  // the dialog stays open
}

void PrintDialogTest::noPrinterPageDisablesPrint() {
    dialog_->setPrinter(nullptr);
    dialog_->show();
    QVERIFY(!control<QPushButton>("Print")->isEnabled());
    QVERIFY(control<QLabel>("printer")->text().contains("not possible"));
    QVERIFY(dialog_->layoutView()->page().isEmpty());
    // The preview is grey only, and asking to print does nothing.
    const QImage grab =
        dialog_->layoutView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(grab.pixel(grab.width() / 2, grab.height() / 2) & 0xFFFFFF, 0xE0E0E0u);
    QVERIFY(!dialog_->printPages());
    QVERIFY(prompts_.messages.empty());
}

void PrintDialogTest::defaultPrinterWithoutPrintersIsPdf() {
    if (!QPrinterInfo::availablePrinters().isEmpty()) QSKIP("this machine has a printer");
    dialog_->show();
    QPrinter* printer = dialog_->printer();
    QVERIFY(printer);
    QCOMPARE(printer->outputFormat(), QPrinter::PdfFormat);
    QCOMPARE(QFileInfo(printer->outputFileName()).fileName(), QString("blocks.pdf"));
    QVERIFY(printer->outputFileName().startsWith(QDir::homePath()));
    QVERIFY(!dialog_->printerPage().isEmpty());
    QVERIFY(control<QPushButton>("Print")->isEnabled());
    QVERIFY(control<QLabel>("printer")->text().contains("PDF file"));
    QVERIFY(!dialog_->layoutView()->page().isEmpty());
}

void PrintDialogTest::printCommandOfTheMainWindow() {
    CMainFrame frame;
    frame.resize(1000, 700);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QVERIFY(frame.loadPhoto(QString::fromStdString(photoPath_)));
    QAction* print = frame.findChild<QAction*>("Print...");
    QVERIFY(print);
    QVERIFY(print->isEnabled());
    QCOMPARE(print->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));

    // Opened twice: the same dialog, on the editor's photo, with the values kept.
    PrintOptionsDialog* seen[2] = {};
    bool previewShown = false;
    int32_t keptImages = 0;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&, i] {
            auto* d = qobject_cast<PrintOptionsDialog*>(QApplication::activeModalWidget());
            seen[i] = d;
            if (!d) return;
            if (i == 0) {
                previewShown = !d->layoutView()->previewCopy().isEmpty();
                d->findChild<IntegerSpinEdit*>("images value")->setValue(4);
            } else {
                keptImages = d->values().imagesPerPage;
            }
            d->findChild<QPushButton*>("Cancel")->click();
        });
        print->trigger();
    }
    QVERIFY(seen[0]);
    QCOMPARE(seen[1], seen[0]);
    QCOMPARE(seen[0]->windowTitle(), QString("Print Dialog"));
    QVERIFY(previewShown);
    QCOMPARE(keptImages, 4);
}

VFX_QT_TEST(PrintDialogTest);

#include "print_dialog_test.moc"
