// The print dialog's value boxes: the text stays free (bad text is answered when the values are
// read), the spin buttons wrap.
#include "print/qt/integer_spin_edit.h"

#include <QLineEdit>

#include "print/print_layout.h"

IntegerSpinEdit::IntegerSpinEdit(int32_t minimum, int32_t maximum, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(maximum) {
    setWrapping(true);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    connect(lineEdit(), &QLineEdit::textChanged, this, &IntegerSpinEdit::textChanged);
}

void IntegerSpinEdit::setRange(int32_t minimum, int32_t maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
}

void IntegerSpinEdit::setValue(int32_t value) {
    lineEdit()->setText(QString::number(value));
}

std::optional<int32_t> IntegerSpinEdit::value() const {
    return readInteger(text().toStdString());
}

void IntegerSpinEdit::stepBy(int steps) {
    setValue(wrapSpin(value(), steps, minimum_, maximum_));
    selectAll();
}

QValidator::State IntegerSpinEdit::validate(QString&, int&) const {
    return QValidator::Acceptable;
}

void IntegerSpinEdit::fixup(QString&) const {}

QAbstractSpinBox::StepEnabled IntegerSpinEdit::stepEnabled() const {
    // Wrapping: both directions always lead somewhere.
    return StepUpEnabled | StepDownEnabled;
}
