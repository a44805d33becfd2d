// The recent-file list in QSettings under the section "Recent File List" (File1 .. File4).
#include "app/recent_files.h"

#include <QSettings>

namespace recent_files {

QStringList list() {
    QSettings s(kOrganization, kApplication);
    QStringList files;
    s.beginGroup("Recent File List");
    for (int i = 1; i <= kMaxEntries; ++i) {
        const QString f = s.value(QString("File%1").arg(i)).toString();
        if (!f.isEmpty()) files << f;
    }
    return files;
}

void add(const QString& path) {
    QStringList files = list();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kMaxEntries) files.removeLast();
    QSettings s(kOrganization, kApplication);
    s.beginGroup("Recent File List");
    s.remove("");
    for (int i = 0; i < files.size(); ++i) s.setValue(QString("File%1").arg(i + 1), files[i]);
}

}  // namespace recent_files
