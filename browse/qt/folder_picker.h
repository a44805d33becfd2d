// The folder picker of the desktop application: the platform's folder dialog, titled
// "Select a folder", behind the core's FolderPicker interface.
#pragma once

#include <QString>

#include "browse/path_helpers.h"

class QWidget;

// The chosen folder, or an empty text when the user cancels.
QString pickFolder(QWidget* owner, const QString& initialFolder);

class QtFolderPicker : public paths::FolderPicker {
  public:
    explicit QtFolderPicker(QWidget* owner) : owner_(owner) {}
    std::string pickFolder(const std::string& initialFolder) override;

  private:
    QWidget* owner_;
};
