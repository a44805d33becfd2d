// A value box with spin buttons: free text read as an integer, and arrows (buttons, arrow
// keys, wheel) that set the box's integer text and wrap around at the ends of their range.
#pragma once

#include <QAbstractSpinBox>
#include <cstdint>
#include <optional>

class IntegerSpinEdit : public QAbstractSpinBox {
    Q_OBJECT

  public:
    IntegerSpinEdit(int32_t minimum, int32_t maximum, QWidget* parent = nullptr);

    void setRange(int32_t minimum, int32_t maximum);
    int32_t minimum() const { return minimum_; }
    int32_t maximum() const { return maximum_; }
    // Puts value's text in the box.
    void setValue(int32_t value);
    // The box's text as an integer; nothing when it is not one.
    std::optional<int32_t> value() const;

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

  signals:
    // Any change of the text, typed or stepped.
    void textChanged(const QString& text);

  protected:
    StepEnabled stepEnabled() const override;

  private:
    int32_t minimum_;
    int32_t maximum_;
};
