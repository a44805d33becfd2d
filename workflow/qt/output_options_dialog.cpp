#include "workflow/qt/output_options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "workflow/enhancement_settings.h"
#include "workflow/preset_file.h"

namespace {

template <class Control>
Control* named(Control* control, const char* name) {
    control->setObjectName(name);
    control->setAccessibleName(name);
    return control;
}

}  // namespace

OutputOptionsDialog::OutputOptionsDialog(const OutputOptions& options, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Output options");
    setObjectName("Output options");
    auto* form = new QFormLayout;

    quality_ = named(new QSpinBox(this), "JPEG quality");
    quality_->setRange(1, 100);
    quality_->setValue(options.jpegQuality);
    quality_->setToolTip("Quality of JPEG and lossy WebP copies (75 as the program always wrote)");
    form->addRow("JPEG &quality:", quality_);

    // -1 is libpng's own default level, shown as the spin box's special text.
    pngCompression_ = named(new QSpinBox(this), "PNG compression");
    pngCompression_->setRange(-1, 9);
    pngCompression_->setSpecialValueText("default");
    pngCompression_->setValue(options.pngCompression);
    form->addRow("&PNG compression:", pngCompression_);

    resize_ = named(new QComboBox(this), "resize");
    resize_->addItems({"full size", "long edge (pixels)", "percent"});
    resize_->setCurrentIndex(int(options.resize));
    resizeValue_ = named(new QSpinBox(this), "resize value");
    resizeValue_->setValue(0);
    enlarge_ = named(new QCheckBox("enlarge smaller photos", this), "enlarge");
    enlarge_->setChecked(options.enlarge);
    auto* resizeRow = new QHBoxLayout;
    resizeRow->addWidget(resize_);
    resizeRow->addWidget(resizeValue_);
    resizeRow->addWidget(enlarge_);
    form->addRow("&Resize:", resizeRow);

    format_ = named(new QComboBox(this), "output format");
    format_->addItems({"as the source", "JPEG", "PNG", "TIFF", "WebP"});
    format_->setCurrentIndex(int(options.format));
    form->addRow("&Format:", format_);

    pattern_ =
        named(new QLineEdit(QString::fromStdString(options.namePattern), this), "name pattern");
    pattern_->setToolTip("{name}, {stem}, {ext}, {n} or {n:WIDTH}, {date}");
    form->addRow("&Name pattern:", pattern_);

    problem_ = named(new QLabel(this), "options problem");
    problem_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("output options buttons");
    connect(buttons, &QDialogButtonBox::accepted, this, &OutputOptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OutputOptionsDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);

    // A mode just chosen starts from a useful size rather than what the other mode held.
    connect(resize_, &QComboBox::currentIndexChanged, this, [this] {
        updateControls();
        const auto mode = ResizeMode(resize_->currentIndex());
        if (mode != ResizeMode::None)
            resizeValue_->setValue(mode == ResizeMode::LongEdge ? 1920 : 50);
    });
    updateControls();
    if (options.resize != ResizeMode::None) resizeValue_->setValue(options.resizeValue);
}

void OutputOptionsDialog::updateControls() {
    const auto mode = ResizeMode(resize_->currentIndex());
    resizeValue_->setEnabled(mode != ResizeMode::None);
    enlarge_->setEnabled(mode != ResizeMode::None);
    if (mode == ResizeMode::None) {
        resizeValue_->setRange(0, 0);
    } else {
        const int max = mode == ResizeMode::LongEdge ? kMaxLongEdge : kMaxPercent;
        resizeValue_->setRange(1, max);
    }
}

OutputOptions OutputOptionsDialog::options() const {
    OutputOptions o;
    o.jpegQuality = quality_->value();
    o.pngCompression = pngCompression_->value();
    o.resize = ResizeMode(resize_->currentIndex());
    o.resizeValue = o.resize == ResizeMode::None ? 0 : resizeValue_->value();
    o.enlarge = enlarge_->isChecked();
    o.format = OutputFormat(format_->currentIndex());
    o.namePattern = pattern_->text().toStdString();
    return o;
}

QString OutputOptionsDialog::problem() const {
    EnhancementSettings settings;
    settings.output = options();
    return QString::fromStdString(settingsProblem(settings));
}

void OutputOptionsDialog::accept() {
    const QString text = problem();
    problem_->setText(text);
    if (text.isEmpty()) QDialog::accept();
}
