// The controls under root that a screen reader could reach but not name: visible buttons,
// edits, lists and the like without an accessible name. Parts Qt builds inside a control
// (a combo box's list, a toolbar's overflow button) are left out.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTabBar>

inline QStringList unnamedControls(QWidget* root) {
    QStringList unnamed;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w) ||
                             qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QTabBar*>(w);
        QWidget* parent = w->parentWidget();
        const bool part = w->objectName().startsWith("qt_") || qobject_cast<QComboBox*>(parent) ||
                          (parent && parent->inherits("QComboBoxPrivateContainer"));
        if (control && !part && w->isVisibleTo(root) && w->accessibleName().isEmpty())
            unnamed << QString("%1 in %2")
                           .arg(w->metaObject()->className(),
                                parent ? parent->objectName() : QString());
    }
    return unnamed;
}
