// The About box: the application icon, "Vantifex Version 2004", a second line and "OK".
#pragma once

#include <QDialog>

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kVersionLine = "Vantifex Version 2004";
    static constexpr const char* kSecondLine = "Photo correction for Linux desktops, on Qt 6";

    explicit AboutBox(QWidget* parent = nullptr);
};
