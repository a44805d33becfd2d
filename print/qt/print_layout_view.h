// PrintLayoutView: the page preview inside the print dialog, and the drawing of a page that
// the preview and the printer share.
#pragma once

#include <QImage>
#include <QWidget>

#include "print/print_layout.h"
#include "print/print_run.h"

class QPainter;
class PrintOptionsDialog;

// A merged 24-bit picture as a QImage (a copy; an empty image for anything else).
QImage pictureImage(const DibImage& picture);

class PrintLayoutView : public QWidget {
    Q_OBJECT

  public:
    explicit PrintLayoutView(PrintOptionsDialog& dialog, QWidget* parent = nullptr);

    // Rebuilds the preview copy from the editor's picture and the dialog's values; repaints.
    void refresh();
    // The page as drawn in the client area (empty without a printer page).
    LayoutRect page() const;
    const PrintCopy& previewCopy() const { return preview_; }

    // The copies of one page: the picture at each cell of the layout, unscaled (it was made at
    // the page's scale), its kept rows where they belong in the cell.
    static void drawCopies(QPainter& painter, const LayoutRect& page, const PrintCopy& copy,
                           const QImage& image, const PrintValues& values,
                           const PrinterPage& printer);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    PrintOptionsDialog& dialog_;
    PrintCopy preview_;
    QImage previewImage_;
};
