// "Output options...": how corrected copies are written (JPEG quality, PNG compression, resize,
// format and name pattern), edited on a copy that is taken only when it is accepted.
#pragma once

#include <QDialog>

#include "workflow/output_options.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

class OutputOptionsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit OutputOptionsDialog(const OutputOptions& options, QWidget* parent = nullptr);

    // The options as the controls stand.
    OutputOptions options() const;
    // What stops the options being taken ("" when nothing), as the preset check words it.
    QString problem() const;

    void accept() override;

  private:
    void updateControls();

    QSpinBox* quality_ = nullptr;
    QSpinBox* pngCompression_ = nullptr;
    QComboBox* resize_ = nullptr;
    QSpinBox* resizeValue_ = nullptr;
    QCheckBox* enlarge_ = nullptr;
    QComboBox* format_ = nullptr;
    QLineEdit* pattern_ = nullptr;
    QLabel* problem_ = nullptr;
};
