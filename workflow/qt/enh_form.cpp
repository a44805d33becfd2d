// The enhancement panel: the controls in the order and grouping of the panel's form, each
// wired to one field of the settings and to the chain entry that field feeds.
#include "workflow/qt/enh_form.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStyle>

#include "ui_common/hover_button.h"
#include "workflow/photo_crop.h"
#include "workflow/preview_chain.h"
#include "workflow/qt/histogram_strip.h"

using S = EnhancementSettings;

const std::array<EnhForm::ColourRow, 11> EnhForm::kColourRows = {{
    {"red", &S::redOffset, qRgb(255, 0, 0), 0, 1},
    {"green", &S::greenOffset, qRgb(0, 255, 0), 0, 2},
    {"blue", &S::blueOffset, qRgb(0, 0, 255), 0, 3},
    {"yellow", &S::yellowOffset, qRgb(255, 255, 0), 0, 4},
    {"cyan", &S::cyanOffset, qRgb(0, 255, 255), 0, 5},
    {"magenta", &S::magentaOffset, qRgb(255, 0, 255), 0, 6},
    {"white", &S::whiteOffset, qRgb(255, 255, 255), 0, 7},
    {"rose", &S::roseOffset, qRgb(255, 0, 127), 1, 1},
    {"orange", &S::orangeOffset, qRgb(255, 127, 0), 1, 2},
    {"skin", &S::skinOffset, qRgb(255, 204, 153), 1, 3},
    {"brown", &S::brownOffset, qRgb(153, 102, 0), 1, 4},
}};

namespace {

// Grid columns: "-", box, "+", swatch of the left rows; a gap; the same for the right rows.
constexpr int kColumnsPerSide = 5;
constexpr int kAllColumns = 2 * kColumnsPerSide - 1;

QFrame* makeSwatch(QWidget* parent, const QString& name, QRgb colour) {
    auto* swatch = new QFrame(parent);
    swatch->setObjectName(name);
    swatch->setAccessibleName(name);
    swatch->setFrameShape(QFrame::Box);
    swatch->setAutoFillBackground(true);
    QPalette p = swatch->palette();
    p.setColor(QPalette::Window, QColor(colour));
    swatch->setPalette(p);
    swatch->setFixedWidth(swatch->fontMetrics().height() * 2 / 3);
    return swatch;
}

QFrame* makeLine(QWidget* parent, QFrame::Shape shape) {
    auto* line = new QFrame(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

EnhForm::EnhForm(QWidget* parent) : QWidget(parent) {
    setObjectName("enhancement panel");
    auto* controls = new QWidget(this);
    auto* grid = new QGridLayout(controls);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);
    grid->setColumnMinimumWidth(kColumnsPerSide - 1, 8);

    grid->addWidget(new QLabel("color", controls), 0, 0, 1, kAllColumns);
    for (const ColourRow& row : kColourRows) {
        const QString name = row.name;
        addStepButtons(grid, row.row, row.column * kColumnsPerSide, name, row.field,
                       &PreviewChain::restartAtColours, false,
                       "One step more " + name + " in the colours",
                       "One step less " + name + " in the colours");
        grid->addWidget(makeSwatch(controls, name + " swatch", row.swatch), row.row,
                        row.column * kColumnsPerSide + 3);
    }

    grid->addWidget(new QLabel("FX", controls), 5, kColumnsPerSide, 1, 4);
    effectBox_ = new QComboBox(controls);
    effectBox_->setObjectName("FX");
    effectBox_->setAccessibleName("FX");
    effectBox_->setToolTip("An effect on the whole picture, after the colour rows");
    for (const char* name : kEffectNames) effectBox_->addItem(name);
    // Only an entry chosen from the list counts (activated, not a programmatic change).
    connect(effectBox_, &QComboBox::activated, this, &EnhForm::onEffectChosen);
    grid->addWidget(effectBox_, 6, kColumnsPerSide, 1, 4);

    int r = 8;
    // The tone sections keep to the left half: the histogram takes the right half beside them,
    // room the colour rows leave empty, so every control stays in sight at the usual height.
    const auto addSection = [&](const QString& label, int S::*field,
                                void (PreviewChain::*restart)(), const QString& more,
                                const QString& less) {
        grid->addWidget(new QLabel(label, controls), r++, 0, 1, kColumnsPerSide - 1);
        addStepButtons(grid, r++, 0, label, field, restart, true, more, less);
    };
    addSection("brightness", &S::brightness, &PreviewChain::restartAtBrightness,
               "One step brighter", "One step darker");
    addSection("contrast", &S::contrast, &PreviewChain::restartAtContrast, "One step more contrast",
               "One step less contrast");
    addSection("sharpen", &S::sharpen, &PreviewChain::restartAtSharpen,
               "One step sharper (two sharpening passes; below 0, one blur pass less)",
               "One step softer (one sharpening step less; below 0, one more blur pass)");
    histogram_ = new HistogramStrip(controls);
    grid->addWidget(histogram_, 7, kColumnsPerSide, r - 7, 4);

    whiteBalanceToggle_ = makeButton("white balance", "white balance",
                                     "Pick white: each click on a point of the enhanced picture "
                                     "that should be white corrects the colours a little more");
    whiteBalanceToggle_->setCheckable(true);
    connect(whiteBalanceToggle_, &QPushButton::toggled, this,
            [this](bool on) { emit pickModeToggled(on); });
    grid->addWidget(whiteBalanceToggle_, r, 0, 1, 4);
    whiteBalanceBox_ = makeBox("white balance value", 8);
    grid->addWidget(whiteBalanceBox_, r, kColumnsPerSide - 1, 1, 3);
    QPushButton* wbZero = makeButton("0", "white balance 0", "Remove the white-balance correction");
    connect(wbZero, &QPushButton::clicked, this, &EnhForm::onWhiteBalanceZero);
    grid->addWidget(wbZero, r, kColumnsPerSide + 2);
    pointSwatch_ = makeSwatch(controls, "white point swatch", qRgb(255, 255, 255));
    grid->addWidget(pointSwatch_, r++, kColumnsPerSide + 3);

    QPushButton* left =
        makeButton("rotate left", "rotate left", "Turn the photo a quarter turn to the left");
    connect(left, &QPushButton::clicked, this, [this] { onRotate(true); });
    grid->addWidget(left, r, 0, 1, 4);
    QPushButton* right =
        makeButton("rotate right", "rotate right", "Turn the photo a quarter turn to the right");
    connect(right, &QPushButton::clicked, this, [this] { onRotate(false); });
    grid->addWidget(right, r++, kColumnsPerSide, 1, 4);
    cropToggle_ = makeButton("crop", "crop",
                             "Draw the part to keep on the original picture; Enter or a "
                             "double-click applies it, Esc cancels");
    cropToggle_->setCheckable(true);
    connect(cropToggle_, &QPushButton::toggled, this,
            [this](bool on) { emit cropModeToggled(on); });
    grid->addWidget(cropToggle_, r, 0, 1, 4);
    cropAspect_ = new QComboBox(controls);
    cropAspect_->setObjectName("crop aspect");
    cropAspect_->setAccessibleName("crop aspect");
    cropAspect_->setToolTip("The shape of the crop; portrait photos take it turned");
    for (const CropAspect& a : kCropAspects) cropAspect_->addItem(a.name);
    connect(cropAspect_, &QComboBox::activated, this, [this](int i) { emit cropAspectChosen(i); });
    grid->addWidget(cropAspect_, r++, kColumnsPerSide, 1, 4);
    grid->addWidget(makeLine(controls, QFrame::HLine), r++, 0, 1, kAllColumns);
    QPushButton* startOver = makeButton("start over", "start over",
                                        "Every setting back to its start (quarter turns stay)");
    connect(startOver, &QPushButton::clicked, this, &EnhForm::onStartOver);
    grid->addWidget(startOver, r++, 0, 1, 4);
    grid->setRowStretch(r, 1);

    // A window lower than the controls scrolls them instead of squeezing them on top of
    // each other; the width always fits them and a vertical scroll bar beside them.
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("panel controls");
    scroll_->setAccessibleName("panel controls");
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(true);
    scroll_->setWidget(controls);
    scroll_->setFixedWidth(
        controls->sizeHint().width() +
        scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_));
    separator_ = makeLine(this, QFrame::VLine);
    view_ = new ImageView(this);
    view_->setObjectName("enhanced view");
    view_->setAccessibleName("enhanced view");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroll_);
    layout->addWidget(separator_);
    layout->addWidget(view_, 1);
    updateBoxes();
}

QPushButton* EnhForm::makeButton(const QString& text, const QString& name, const QString& tip) {
    auto* button = new HoverButton(text, this);
    button->setObjectName(name);
    button->setAccessibleName(name);
    button->setToolTip(tip);
    if (text.size() == 1) {
        // The one-character buttons stay square-ish, as on the form.
        const int side = button->fontMetrics().height() * 3 / 2;
        button->setFixedWidth(side + 4);
    }
    return button;
}

QLineEdit* EnhForm::makeBox(const QString& name, int digits) {
    auto* box = new QLineEdit(this);
    box->setObjectName(name);
    box->setAccessibleName(name);
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight);
    box->setFocusPolicy(Qt::NoFocus);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QString(digits, '0')) + 10);
    return box;
}

void EnhForm::addStepButtons(QGridLayout* grid, int row, int column, const QString& name,
                             int S::*field, void (PreviewChain::*restart)(), bool zero,
                             const QString& more, const QString& less) {
    QPushButton* minus = makeButton("-", name + " -", less);
    connect(minus, &QPushButton::clicked, this,
            [=, this] { changeField(field, -1, restart, name + " -"); });
    grid->addWidget(minus, row, column);
    QLineEdit* box = makeBox(name + " value", 4);
    boxes_.emplace_back(field, box);
    grid->addWidget(box, row, column + 1);
    QPushButton* plus = makeButton("+", name + " +", more);
    connect(plus, &QPushButton::clicked, this,
            [=, this] { changeField(field, +1, restart, name + " +"); });
    grid->addWidget(plus, row, column + 2);
    if (zero) {
        QPushButton* reset = makeButton("0", name + " 0", name + " back to 0");
        connect(reset, &QPushButton::clicked, this,
                [=, this] { setField(field, 0, restart, name + " 0"); });
        grid->addWidget(reset, row, column + 3);
    }
}

void EnhForm::changeField(int S::*field, int delta, void (PreviewChain::*restart)(),
                          const QString& stepName) {
    // The counts have no limits; only wrapping past the int range is kept out.
    int& value = settings_.*field;
    if ((delta > 0 && value == INT32_MAX) || (delta < 0 && value == INT32_MIN)) return;
    setField(field, value + delta, restart, stepName);
}

void EnhForm::setField(int S::*field, int value, void (PreviewChain::*restart)(),
                       const QString& stepName) {
    const EnhancementSettings before = settings_;
    settings_.*field = value;
    updateBoxes();
    if (chain_) (chain_->*restart)();
    emit stepped(stepName, before);
}

void EnhForm::setChain(PreviewChain* chain) {
    chain_ = chain;
    histogram_->setChain(chain);
}

int EnhForm::cropAspect() const {
    return cropAspect_->currentIndex();
}

void EnhForm::onEffectChosen(int index) {
    const EnhancementSettings before = settings_;
    settings_.effect = index;
    if (chain_) chain_->restartAtColours();
    emit stepped(QString("FX ") + kEffectNames[index], before);
}

void EnhForm::onRotate(bool left) {
    const EnhancementSettings before = settings_;
    if (left) {
        settings_.rotateLeft();
        if (chain_) chain_->onRotateLeft();
    } else {
        settings_.rotateRight();
        if (chain_) chain_->onRotateRight();
    }
    emit stepped(left ? "rotate left" : "rotate right", before);
}

void EnhForm::onStartOver() {
    const EnhancementSettings before = settings_;
    // The chain drops the crop; one being drawn goes with it.
    cropToggle_->setChecked(false);
    if (chain_)
        chain_->startOver();
    else
        settings_.startOver();
    effectBox_->setCurrentIndex(kEffectNone);
    updateBoxes();
    setPointColour(settings_.pointColour);
    emit stepped("start over", before);
}

void EnhForm::onWhiteBalanceZero() {
    const EnhancementSettings before = settings_;
    settings_.whiteBalance.clear();
    updateBoxes();
    if (chain_) chain_->restartAtWhiteBalance();
    emit stepped("white balance 0", before);
}

void EnhForm::setWhiteBalance(const std::string& text) {
    settings_.whiteBalance = text;
    updateBoxes();
}

void EnhForm::setPointColour(ColourRef colour) {
    settings_.pointColour = colour;
    QPalette p = pointSwatch_->palette();
    p.setColor(QPalette::Window,
               QColor(int(colour & 0xff), int(colour >> 8 & 0xff), int(colour >> 16 & 0xff)));
    pointSwatch_->setPalette(p);
    pointSwatch_->update();
}

void EnhForm::takeSettings(const EnhancementSettings& settings) {
    showSettings(settings, kStageSharpened);
}

void EnhForm::showSettings(const EnhancementSettings& settings, Stage restart) {
    // The chain turns stage 0 a quarter per call, after the record has counted the turn.
    const int turns = (((settings.rotation - settings_.rotation) % 4) + 4) % 4;
    settings_ = settings;
    effectBox_->setCurrentIndex(settings_.effect);
    updateBoxes();
    setPointColour(settings_.pointColour);
    if (!chain_) return;
    if (turns == 3) chain_->onRotateLeft();
    for (int i = 0; i < turns && turns != 3; ++i) chain_->onRotateRight();
    if (turns != 0) return;  // a turn recomputes every stage
    switch (restart) {
        case kStageOriginal:
        case kStageFitted:
            chain_->rebuildFitted(true);
            break;
        case kStageSharpened:
            chain_->restartAtSharpen();
            break;
        case kStageContrasted:
            chain_->restartAtContrast();
            break;
        case kStageBalanced:
            chain_->restartAtWhiteBalance();
            break;
        case kStageBrightened:
            chain_->restartAtBrightness();
            break;
        case kStageResized:
        case kStageColoured:
        case kStageFinal:
            chain_->restartAtColours();
            break;
        default:
            break;
    }
}

void EnhForm::updateBoxes() {
    for (const auto& [field, box] : boxes_) box->setText(QString::number(settings_.*field));
    whiteBalanceBox_->setText(QString::fromStdString(settings_.whiteBalance));
}

int EnhForm::controlsWidth() const {
    return scroll_->width() + separator_->sizeHint().width();
}

bool EnhForm::whiteBalanceToggled() const {
    return whiteBalanceToggle_->isChecked();
}
