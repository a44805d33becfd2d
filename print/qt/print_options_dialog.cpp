// The print dialog on Qt's printing: QPrinter for the device (a printer, or a PDF file when no
// printer is installed), QPrintDialog for "Printer Setup...", QPainter for the pages.
#include "print/qt/print_options_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "print/qt/integer_spin_edit.h"
#include "print/qt/print_layout_view.h"
#include "ui_common/hover_button.h"
#include "workflow/preview_chain.h"

namespace {

constexpr const char* kOrientationHint =
    "To change paper orientation, select 'landscape' under 'Printer Setup'.";

// The normal pointer while a box waits for the user, the hourglass again afterwards.
class PointerForBox {
  public:
    PointerForBox() : waiting_(QApplication::overrideCursor() != nullptr) {
        if (waiting_) QApplication::restoreOverrideCursor();
    }
    ~PointerForBox() {
        if (waiting_) QApplication::setOverrideCursor(Qt::WaitCursor);
    }

  private:
    bool waiting_;
};

// The dialog's message boxes.
class MessageBoxes : public PrintPrompts {
  public:
    explicit MessageBoxes(QWidget* parent) : parent_(parent) {}
    void showMessage(const std::string& text) override {
        PointerForBox pointer;
        QMessageBox::warning(parent_, QApplication::applicationDisplayName(),
                             QString::fromStdString(text));
    }
    bool askYesNo(const std::string& text) override {
        PointerForBox pointer;
        return QMessageBox::question(
                   parent_, QApplication::applicationDisplayName(), QString::fromStdString(text),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
    }

  private:
    QWidget* parent_;
};

// The printer's document and page calls through a QPainter.
class PainterDevice : public PrintDevice {
  public:
    PainterDevice(QPrinter& printer, const PrintCopy& copy, const PrintValues& values,
                  const PrinterPage& page)
        : printer_(printer), copy_(copy), values_(values), page_(page) {}

    bool startDocument(const std::string& name) override {
        printer_.setDocName(QString::fromStdString(name));
        image_ = pictureImage(copy_.picture.image);
        return painter_.begin(&printer_);
    }
    // Beginning the painter opened the first page.
    bool startPage() override { return std::exchange(first_, false) || printer_.newPage(); }
    void drawPage() override {
        // The page's origin is the top-left corner of its printable area.
        const LayoutRect page{0, 0, page_.width, page_.height};
        PrintLayoutView::drawCopies(painter_, page, copy_, image_, values_, page_);
    }
    bool endPage() override { return true; }
    void endDocument() override { painter_.end(); }

  private:
    QPrinter& printer_;
    const PrintCopy& copy_;
    const PrintValues& values_;
    const PrinterPage& page_;
    QPainter painter_;
    QImage image_;
    bool first_ = true;
};

// The control and its accessible name share one text.
template <typename W>
W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    widget->setAccessibleName(name);
    return widget;
}

}  // namespace

PrintOptionsDialog::PrintOptionsDialog(PreviewChain& chain, QWidget* parent)
    : QDialog(parent), chain_(chain), boxes_(std::make_unique<MessageBoxes>(this)) {
    setWindowTitle("Print Dialog");
    setObjectName("Print Dialog");
    buildControls();
}

PrintOptionsDialog::~PrintOptionsDialog() = default;

void PrintOptionsDialog::buildControls() {
    images_ = named(new IntegerSpinEdit(0, 100, this), "images value");
    pages_ = named(new IntegerSpinEdit(0, 100, this), "pages value");
    height_ = named(new IntegerSpinEdit(0, 1000, this), "image height value");
    unit_ = named(new QComboBox(this), "height unit");
    unit_->addItems({"inches", "cm"});
    border_ = named(new QCheckBox("Border", this), "Border");
    center_ = named(new QCheckBox("Center", this), "Center");
    setup_ = named(new HoverButton("Printer Setup...", this), "Printer Setup...");
    print_ = named(new HoverButton("Print", this), "Print");
    cancel_ = named(new HoverButton("Cancel", this), "Cancel");
    print_->setDefault(true);
    printerLabel_ = named(new QLabel(this), "printer");
    printerLabel_->setWordWrap(true);

    auto* values = new QGridLayout;
    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    values->addWidget(label("Images", images_), 0, 0);
    values->addWidget(images_, 0, 1);
    values->addWidget(label("Pages", pages_), 1, 0);
    values->addWidget(pages_, 1, 1);
    values->addWidget(label("Image Height", height_), 2, 0);
    values->addWidget(height_, 2, 1);
    values->addWidget(unit_, 2, 2);
    values->addWidget(border_, 3, 1);
    values->addWidget(center_, 4, 1);

    auto* left = new QVBoxLayout;
    left->addLayout(values);
    left->addWidget(setup_);
    left->addWidget(printerLabel_);
    auto* hint = new QLabel(kOrientationHint, this);
    hint->setWordWrap(true);
    left->addWidget(hint);
    left->addStretch(1);

    // The sunken frame the page preview fills.
    auto* frame = named(new QFrame(this), "preview frame");
    frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    view_ = new PrintLayoutView(*this, frame);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(2, 2, 2, 2);
    frameLayout->addWidget(view_);

    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(frame, 1);

    auto* line = new QFrame(this);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(print_);
    buttons->addWidget(cancel_);

    auto* all = new QVBoxLayout(this);
    all->addLayout(top, 1);
    all->addWidget(line);
    all->addLayout(buttons);
    resize(620, 460);

    for (IntegerSpinEdit* box : {images_, pages_, height_})
        connect(box, &IntegerSpinEdit::textChanged, this, &PrintOptionsDialog::onControlChanged);
    connect(unit_, &QComboBox::currentIndexChanged, this, &PrintOptionsDialog::onControlChanged);
    connect(border_, &QCheckBox::toggled, this, &PrintOptionsDialog::onControlChanged);
    connect(center_, &QCheckBox::toggled, this, &PrintOptionsDialog::onControlChanged);
    connect(setup_, &QPushButton::clicked, this, &PrintOptionsDialog::runPrinterSetup);
    connect(print_, &QPushButton::clicked, this, &PrintOptionsDialog::printPages);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void PrintOptionsDialog::setPrinter(std::unique_ptr<QPrinter> printer) {
    printer_ = std::move(printer);
    printerChosen_ = true;
    defaultPdfName_.clear();
    readPrinterPage();
}

PrintPrompts& PrintOptionsDialog::prompts() {
    return prompts_ ? *prompts_ : *boxes_;
}

void PrintOptionsDialog::showEvent(QShowEvent* event) {
    ensurePrinter();
    showValues();
    QDialog::showEvent(event);
    view_->refresh();
}

void PrintOptionsDialog::ensurePrinter() {
    if (!printer_ && !printerChosen_) {
        // The default printer; on a machine without printers Qt gives its PDF output.
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        readPrinterPage();
    }
    updatePrinterState();
}

void PrintOptionsDialog::readPrinterPage() {
    page_ = PrinterPage{};
    if (printer_ && printer_->isValid()) {
        page_.width = printer_->width();
        page_.height = printer_->height();
        page_.dpiX = printer_->logicalDpiX();
        page_.dpiY = printer_->logicalDpiY();
    }
    updatePrinterState();
}

void PrintOptionsDialog::updatePrinterState() {
    if (printer_ && printer_->outputFormat() == QPrinter::PdfFormat) {
        // A PDF file needs a name: the photo's own, in the documents folder, until the user
        // picks another under "Printer Setup...".
        const QString current = printer_->outputFileName();
        if (current.isEmpty() || current == defaultPdfName_) {
            QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
            if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
            const QString stem =
                QFileInfo(QString::fromStdString(chain_.currentPath())).completeBaseName();
            defaultPdfName_ = folder + "/" + (stem.isEmpty() ? QString("print") : stem) + ".pdf";
            printer_->setOutputFileName(defaultPdfName_);
        }
    }
    const bool usable = !page_.isEmpty();
    print_->setEnabled(usable);
    if (!usable)
        printerLabel_->setText(
            "Printing is not possible: no printer page is available. Choose a printer or a PDF "
            "file under 'Printer Setup...'.");
    else if (printer_->outputFormat() == QPrinter::PdfFormat)
        printerLabel_->setText("Printer: PDF file " + printer_->outputFileName());
    else
        printerLabel_->setText("Printer: " + printer_->printerName());
}

void PrintOptionsDialog::showValues() {
    syncing_ = true;
    images_->setValue(values_.imagesPerPage);
    pages_->setValue(values_.pageCount);
    height_->setValue(values_.imageHeight);
    unit_->setCurrentIndex(values_.heightUnit == kUnitCm ? 1 : 0);
    border_->setChecked(values_.border);
    center_->setChecked(values_.center);
    center_->setEnabled(values_.imagesPerPage < 2);
    syncing_ = false;
}

bool PrintOptionsDialog::readValues(bool complain) {
    const std::pair<IntegerSpinEdit*, int32_t*> boxes[] = {
        {images_, &values_.imagesPerPage},
        {pages_, &values_.pageCount},
        {height_, &values_.imageHeight},
    };
    values_.heightUnit = unit_->currentIndex() == 1 ? kUnitCm : kUnitInches;
    values_.border = border_->isChecked();
    values_.center = center_->isChecked();
    for (const auto& [box, value] : boxes) {
        if (const std::optional<int32_t> v = box->value()) {
            *value = *v;
        } else if (complain) {
            prompts().showMessage(kPleaseEnterInteger);
            box->setFocus();
            box->selectAll();
            return false;
        }
    }
    center_->setEnabled(values_.imagesPerPage < 2);
    return true;
}

void PrintOptionsDialog::onControlChanged() {
    if (syncing_) return;
    readValues(false);
    view_->refresh();
}

void PrintOptionsDialog::runPrinterSetup() {
    ensurePrinter();
    if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog setup(printer_.get(), this);
    setup.setWindowTitle("Printer Setup");
    setup.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    if (setup.exec() != QDialog::Accepted) return;
    readPrinterPage();
    view_->refresh();
}

bool PrintOptionsDialog::printPages() {
    ensurePrinter();
    if (!readValues(true)) return false;
    if (!printer_ || page_.isEmpty()) return false;
    PrintCopy copy;
    const PrintValues values = values_;
    const PrinterPage page = page_;
    PainterDevice device(*printer_, copy, values, page);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const PrintRunResult result = runPrint(
        values, chain_.currentPath(),
        [&]() -> const char* {
            return preparePrintCopy(chain_.currentPath(), chain_.settings(), &chain_, values, page,
                                    copy, chain_.crop());
        },
        prompts(), device);
    QApplication::restoreOverrideCursor();
    return result.outcome == PrintOutcome::kPrinted;
}
