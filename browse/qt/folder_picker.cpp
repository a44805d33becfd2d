// The folder picker over QFileDialog.
#include "browse/qt/folder_picker.h"

#include <QFileDialog>

#include "browse/qt/qt_paths.h"

QString pickFolder(QWidget* owner, const QString& initialFolder) {
    return QFileDialog::getExistingDirectory(owner, paths::kPickFolderTitle, initialFolder,
                                             QFileDialog::ShowDirsOnly);
}

std::string QtFolderPicker::pickFolder(const std::string& initialFolder) {
    return toLocalPath(::pickFolder(owner_, fromLocalPath(initialFolder)));
}
