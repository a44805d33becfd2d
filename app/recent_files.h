// The recent-file list kept between runs (at most four entries), the only thing stored.
#pragma once

#include <QStringList>

namespace recent_files {

inline constexpr int kMaxEntries = 4;
inline constexpr const char* kOrganization = "Local AppWizard-Generated Applications";
inline constexpr const char* kApplication = "Vantifex";

// Newest first.
QStringList list();
// Puts path first (once), keeping at most kMaxEntries.
void add(const QString& path);

}  // namespace recent_files
