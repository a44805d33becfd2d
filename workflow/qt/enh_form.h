// EnhForm: the enhancement panel. It owns the one EnhancementSettings record of the run; each
// button changes one value by a step, shows it, and restarts the preview chain at the step
// that value feeds. The enhanced ImageView fills the area right of the controls.
#pragma once

#include <QWidget>
#include <array>

#include "workflow/enhancement_settings.h"
#include "workflow/preview_chain.h"
#include "workflow/qt/image_view.h"

class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QScrollArea;
class PreviewChain;
class HistogramStrip;

class EnhForm : public QWidget {
    Q_OBJECT
  public:
    // One colour row of the panel: its name (also the start of its controls' names), the
    // field it counts in, its swatch and its place (column 0 left, 1 right; row from 1).
    struct ColourRow {
        const char* name;
        int EnhancementSettings::*field;
        QRgb swatch;
        int column;
        int row;
    };
    static const std::array<ColourRow, 11> kColourRows;

    explicit EnhForm(QWidget* parent = nullptr);

    // The chain the buttons restart; set once by the main frame.
    void setChain(PreviewChain* chain);
    EnhancementSettings& settings() { return settings_; }
    const EnhancementSettings& settings() const { return settings_; }
    ImageView* imageView() const { return view_; }
    // The controls' scroll area, and the width left of the enhanced view (the controls and
    // the separator): fixed, known before the panel is first laid out.
    QScrollArea* controlsArea() const { return scroll_; }
    int controlsWidth() const;

    // The white-point pick's new value, shown in its box.
    void setWhiteBalance(const std::string& text);
    // Fills the white-point swatch (red in the low byte) and repaints only the swatch.
    void setPointColour(ColourRef colour);
    // The record's values into the boxes.
    void updateBoxes();
    // A whole record (a loaded preset) into the panel: the boxes, the drop-down and the swatch
    // show it, the preview is turned to its rotation and recomputed from the first step.
    void takeSettings(const EnhancementSettings& settings);
    // The same for a record given back by undo or redo: the chain restarts at restart (the
    // earliest stage the changed values feed; kStageOriginal turns stage 0 to the record's
    // rotation, kStageCount recomputes nothing).
    void showSettings(const EnhancementSettings& settings, Stage restart);
    // The "white balance" toggle, as the main frame's pick mode follows it.
    bool whiteBalanceToggled() const;
    HistogramStrip* histogramStrip() const { return histogram_; }
    // The "crop" toggle (drawing a crop on the original view) and the aspect chosen beside
    // it (an index of kCropAspects).
    QPushButton* cropToggle() const { return cropToggle_; }
    int cropAspect() const;

  signals:
    void pickModeToggled(bool on);
    // A control changed the record (emitted after the chain has restarted): one step of the
    // history, named by the control ("red +", "FX Sepia 1"), with the record before it.
    void stepped(const QString& name, const EnhancementSettings& before);
    void cropModeToggled(bool on);
    void cropAspectChosen(int aspect);

  private:
    // A push button with the panel's hover look, named and explained.
    QPushButton* makeButton(const QString& text, const QString& name, const QString& tip);
    QLineEdit* makeBox(const QString& name, int digits);
    // "-", "+" and (with zero) "0" of a counted field, restarting through restart.
    void addStepButtons(class QGridLayout* grid, int row, int column, const QString& name,
                        int EnhancementSettings::*field, void (PreviewChain::*restart)(), bool zero,
                        const QString& more, const QString& less);
    void changeField(int EnhancementSettings::*field, int delta, void (PreviewChain::*restart)(),
                     const QString& stepName);
    void setField(int EnhancementSettings::*field, int value, void (PreviewChain::*restart)(),
                  const QString& stepName);
    void onEffectChosen(int index);
    void onRotate(bool left);
    void onStartOver();
    void onWhiteBalanceZero();

    EnhancementSettings settings_;
    PreviewChain* chain_ = nullptr;
    ImageView* view_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QFrame* separator_ = nullptr;
    // Value boxes by field (member pointer compared through its row name).
    std::vector<std::pair<int EnhancementSettings::*, QLineEdit*>> boxes_;
    QLineEdit* whiteBalanceBox_ = nullptr;
    QFrame* pointSwatch_ = nullptr;
    QComboBox* effectBox_ = nullptr;
    QPushButton* whiteBalanceToggle_ = nullptr;
    QPushButton* cropToggle_ = nullptr;
    QComboBox* cropAspect_ = nullptr;
    HistogramStrip* histogram_ = nullptr;
};
