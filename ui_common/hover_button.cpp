// HoverButton: swaps the button's palette for a lightened one while the pointer is over it.
#include "ui_common/hover_button.h"

#include <algorithm>

HoverButton::HoverButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setAttribute(Qt::WA_Hover);
}

QColor HoverButton::lightened(const QColor& normal) {
    return QColor(std::min(255, normal.red() + kLighten), std::min(255, normal.green() + kLighten),
                  std::min(255, normal.blue() + kLighten));
}

void HoverButton::enterEvent(QEnterEvent* event) {
    setHovered(true);
    QPushButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent* event) {
    setHovered(false);
    QPushButton::leaveEvent(event);
}

void HoverButton::setHovered(bool on) {
    if (hovered_ == on) return;
    hovered_ = on;
    if (!on) {
        // Back to whatever the parent and the style give.
        setPalette(QPalette());
        setAutoFillBackground(false);
        return;
    }
    QPalette p = palette();
    p.setColor(QPalette::Button, lightened(p.color(QPalette::Button)));
    setPalette(p);
}
