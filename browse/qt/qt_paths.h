// Between the window's QStrings and the core's 8-bit paths: file names pass in the local
// encoding of the file system, unchanged.
#pragma once

#include <QFile>
#include <QString>
#include <string>

inline std::string toLocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

inline QString fromLocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}
