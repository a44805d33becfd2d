// PrintOptionsDialog ("Print Dialog"): copies per page, pages, the copies' height and unit,
// "Border", "Center", the printer setup, the page preview and "Print". One object lives as long
// as the main window, so its values and the chosen printer carry over between openings.
#pragma once

#include <QDialog>
#include <memory>

#include "print/print_layout.h"
#include "print/print_run.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;
class IntegerSpinEdit;
class PreviewChain;
class PrintLayoutView;

class PrintOptionsDialog : public QDialog {
    Q_OBJECT

  public:
    explicit PrintOptionsDialog(PreviewChain& chain, QWidget* parent = nullptr);
    ~PrintOptionsDialog() override;

    // Uses printer instead of the default printer made at the first opening (nullptr: no
    // printer at all until one is chosen under "Printer Setup...").
    void setPrinter(std::unique_ptr<QPrinter> printer);
    // Message boxes go to prompts instead (nullptr: the dialog's own boxes).
    void setPrompts(PrintPrompts* prompts) { prompts_ = prompts; }

    PreviewChain& chain() const { return chain_; }
    const PrintValues& values() const { return values_; }
    // The printable page in printer pixels and the printer's pixels per inch.
    const PrinterPage& printerPage() const { return page_; }
    QPrinter* printer() const { return printer_.get(); }
    PrintLayoutView* layoutView() const { return view_; }

    // "Print": the whole run; true when pages were sent.
    bool printPages();
    // "Printer Setup...".
    void runPrinterSetup();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void buildControls();
    // First opening: the default printer, or Qt's PDF output when there is none.
    void ensurePrinter();
    void readPrinterPage();
    // The values into the controls.
    void showValues();
    // The controls into the values. Complaining: bad text is answered with the integer
    // complaint and false; otherwise boxes with bad text keep their values.
    bool readValues(bool complain);
    void onControlChanged();
    void updatePrinterState();
    PrintPrompts& prompts();

    PreviewChain& chain_;
    PrintValues values_;
    PrinterPage page_;
    std::unique_ptr<QPrinter> printer_;
    bool printerChosen_ = false;
    QString defaultPdfName_;
    std::unique_ptr<PrintPrompts> boxes_;
    PrintPrompts* prompts_ = nullptr;
    bool syncing_ = false;

    IntegerSpinEdit* images_ = nullptr;
    IntegerSpinEdit* pages_ = nullptr;
    IntegerSpinEdit* height_ = nullptr;
    QComboBox* unit_ = nullptr;
    QCheckBox* border_ = nullptr;
    QCheckBox* center_ = nullptr;
    QPushButton* setup_ = nullptr;
    QPushButton* print_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* printerLabel_ = nullptr;
    PrintLayoutView* view_ = nullptr;
};
