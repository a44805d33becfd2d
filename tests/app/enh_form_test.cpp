// The enhancement panel through its real buttons: each control changes its field as the
// panel's table says and restarts the chain at the step that field feeds (fill counts).
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/main_frame.h"
#include "tests/app/window_test_support.h"
#include "ui_common/hover_button.h"
#include "workflow/qt/enh_form.h"

using namespace window_tests;

namespace {

using Field = int EnhancementSettings::*;

Field fieldNamed(const QString& name) {
    for (const EnhForm::ColourRow& row : EnhForm::kColourRows)
        if (name == row.name) return row.field;
    if (name == "sharpen") return &EnhancementSettings::sharpen;
    if (name == "brightness") return &EnhancementSettings::brightness;
    if (name == "contrast") return &EnhancementSettings::contrast;
    if (name == "effect") return &EnhancementSettings::effect;
    if (name == "rotation") return &EnhancementSettings::rotation;
    return nullptr;
}

}  // namespace

class EnhFormTest : public QObject {
    Q_OBJECT
  private:
    testing_support::TempDir dir_;
    std::unique_ptr<CMainFrame> frame_;
    QString photo_;

    EnhancementSettings& settings() { return frame_->panel()->settings(); }
    template <class T>
    T* control(const QString& name) {
        return frame_->panel()->findChild<T*>(name);
    }

  private slots:
    void initTestCase() {
        photo_ = writeTestPhoto(dir_, "panel", 320, 240);
        QVERIFY(!photo_.isEmpty());
    }

    void init() {
        frame_ = shownFrame();
        QVERIFY(frame_);
        QVERIFY(frame_->loadPhoto(photo_));
    }

    void cleanup() { frame_.reset(); }

    // control, field, start value, value after one click, first stage refilled.
    void controlRestartsItsStep_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("after");
        QTest::addColumn<int>("firstStage");
        for (const EnhForm::ColourRow& row : EnhForm::kColourRows) {
            const QString n = row.name;
            QTest::newRow(qPrintable(n + " +")) << n + " +" << n << 0 << 1 << int(kStageColoured);
            QTest::newRow(qPrintable(n + " -")) << n + " -" << n << 0 << -1 << int(kStageColoured);
        }
        const std::pair<const char*, int> counted[] = {
            {"sharpen", kStageSharpened},
            {"contrast", kStageContrasted},
            {"brightness", kStageBrightened},
        };
        for (const auto& [name, stage] : counted) {
            const QString n = name;
            QTest::newRow(qPrintable(n + " +")) << n + " +" << n << 2 << 3 << stage;
            QTest::newRow(qPrintable(n + " -")) << n + " -" << n << 0 << -1 << stage;
            QTest::newRow(qPrintable(n + " 0")) << n + " 0" << n << 5 << 0 << stage;
            // Already 0: still recomputes from its step.
            QTest::newRow(qPrintable(n + " 0 at 0")) << n + " 0" << n << 0 << 0 << stage;
        }
        QTest::newRow("large count") << "red +"
                                     << "red" << 99999 << 100000 << int(kStageColoured);
    }

    void controlRestartsItsStep() {
        QFETCH(QString, name);
        QFETCH(QString, field);
        QFETCH(int, start);
        QFETCH(int, after);
        QFETCH(int, firstStage);
        const Field f = fieldNamed(field);
        QVERIFY(f);
        settings().*f = start;
        frame_->panel()->updateBoxes();
        auto* button = control<QPushButton>(name);
        QVERIFY2(button, qPrintable(name));
        frame_->chain().resetFillCounts();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(settings().*f, after);
        QCOMPARE(control<QLineEdit>(field + " value")->text(), QString::number(after));
        for (int s = 0; s < kStageCount; ++s) {
            const bool refilled = s >= firstStage && s <= kStageFinal;
            QVERIFY2(
                frame_->chain().fillCount(s) == (refilled ? 1 : 0),
                qPrintable(
                    QString("stage %1 filled %2 times").arg(s).arg(frame_->chain().fillCount(s))));
        }
    }

    void effectChosenFromTheList() {
        auto* fx = control<QComboBox>("FX");
        QVERIFY(fx);
        QStringList entries;
        for (int i = 0; i < fx->count(); ++i) entries << fx->itemText(i);
        QCOMPARE(entries, (QStringList{"None", "Black & White", "Sepia 1", "Sepia 2", "Sepia 3",
                                       "Sepia 4", "Sepia 5", "Sepia 6", "Negative"}));
        // A change made by the program is not a choice.
        fx->setCurrentIndex(3);
        QCOMPARE(settings().effect, 0);
        frame_->chain().resetFillCounts();
        fx->setFocus();
        QTest::keyClick(fx, Qt::Key_Down);
        QCOMPARE(settings().effect, 4);
        QCOMPARE(frame_->chain().fillCount(kStageResized), 0);
        QCOMPARE(frame_->chain().fillCount(kStageColoured), 1);
        QCOMPARE(frame_->chain().fillCount(kStageFinal), 1);
    }

    void whiteBalanceZeroClearsAndRestartsAtWhiteBalance() {
        frame_->panel()->setWhiteBalance("000c0c0c");
        QCOMPARE(control<QLineEdit>("white balance value")->text(), QString("000c0c0c"));
        frame_->chain().resetFillCounts();
        QTest::mouseClick(control<QPushButton>("white balance 0"), Qt::LeftButton);
        QCOMPARE(settings().whiteBalance, std::string());
        QCOMPARE(control<QLineEdit>("white balance value")->text(), QString());
        QCOMPARE(frame_->chain().fillCount(kStageContrasted), 0);
        QCOMPARE(frame_->chain().fillCount(kStageBalanced), 1);
        QCOMPARE(frame_->chain().fillCount(kStageFinal), 1);
    }

    void rotateTurnsStageZeroAndCountsWithSign() {
        const int w = frame_->chain().stage(kStageOriginal).width();
        const int h = frame_->chain().stage(kStageOriginal).height();
        const int expected[] = {-1, -2, -3, 0};
        for (int turn : expected) {
            frame_->chain().resetFillCounts();
            QTest::mouseClick(control<QPushButton>("rotate left"), Qt::LeftButton);
            QCOMPARE(settings().rotation, turn);
            for (int s = kStageFitted; s < kStageCount; ++s)
                QCOMPARE(frame_->chain().fillCount(s), 1);
        }
        QTest::mouseClick(control<QPushButton>("rotate right"), Qt::LeftButton);
        QCOMPARE(settings().rotation, 1);
        QCOMPARE(frame_->chain().stage(kStageOriginal).width(), h);
        QCOMPARE(frame_->chain().stage(kStageOriginal).height(), w);
    }

    void startOverResetsAllButRotation() {
        settings().redOffset = 4;
        settings().sharpen = 2;
        settings().whiteBalance = "00010203";
        settings().pointColour = 0x123456;
        settings().rotation = -1;
        auto* fx = control<QComboBox>("FX");
        fx->setFocus();
        QTest::keyClick(fx, Qt::Key_End);
        QCOMPARE(settings().effect, 8);
        frame_->chain().resetFillCounts();
        QTest::mouseClick(control<QPushButton>("start over"), Qt::LeftButton);
        QCOMPARE(settings().redOffset, 0);
        QCOMPARE(settings().sharpen, 0);
        QCOMPARE(settings().whiteBalance, std::string());
        QCOMPARE(settings().pointColour, colourRef(255, 255, 255));
        QCOMPARE(settings().effect, 0);
        QCOMPARE(settings().rotation, -1);
        QCOMPARE(fx->currentText(), QString("None"));
        QCOMPARE(control<QLineEdit>("red value")->text(), QString("0"));
        QCOMPARE(frame_->chain().fillCount(kStageFitted), 0);
        QCOMPARE(frame_->chain().fillCount(kStageSharpened), 1);
        QCOMPARE(frame_->chain().fillCount(kStageFinal), 1);
    }

    // Every button of the panel is named, reachable by name, hovers and explains one step.
    void controlsAreNamedAndExplained() {
        const QList<QPushButton*> buttons = frame_->panel()->findChildren<QPushButton*>();
        // The colour rows, three sections, white balance and its 0, two turns, "crop",
        // "start over".
        QCOMPARE(buttons.size(), 11 * 2 + 3 * 3 + 2 + 2 + 1 + 1);
        for (QPushButton* b : buttons) {
            QVERIFY(!b->objectName().isEmpty());
            QCOMPARE(b->accessibleName(), b->objectName());
            QVERIFY2(!b->toolTip().isEmpty(), qPrintable(b->objectName()));
            QVERIFY2(qobject_cast<HoverButton*>(b), qPrintable(b->objectName()));
        }
        for (QLineEdit* box : frame_->panel()->findChildren<QLineEdit*>()) {
            QVERIFY(box->isReadOnly());
            QCOMPARE(box->accessibleName(), box->objectName());
            QVERIFY(box->objectName().endsWith(" value"));
        }
    }
};

VFX_QT_TEST(EnhFormTest);

#include "enh_form_test.moc"
