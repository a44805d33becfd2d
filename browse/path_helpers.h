// Text, path and list helpers shared by browsing, saving and printing, and the folder picker
// that the desktop application supplies. Paths use '/'; '\' is accepted as a second separator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace paths {

inline constexpr char kSeparator = '/';
inline constexpr char kSecondSeparator = '\\';

// Lower-cases ASCII letters only; other bytes (UTF-8 sequences among them) stay as they are.
std::string toLower(const std::string& text);

// True if the path names a file (not a folder) that can be opened for reading. The file is
// opened without blocking, so a named pipe does not hang the caller.
bool fileExists(const std::string& path);

// directory + separator (unless empty or already there) + name; when extension is not empty
// and name has no '.', name gets "." + extension (or the extension itself if it has a '.').
std::string joinPath(const std::string& directory, const std::string& name,
                     const std::string& extension = "");

// The text before the last '/' (or, with none, before the last '\'); unchanged with neither.
std::string parentPath(const std::string& path);

// The text after the last '/' (or, with none, after the last '\'); unchanged with neither.
std::string fileNameOf(const std::string& path);

// path + "." + extension unless the lower-cased path already contains it.
std::string ensureExtension(const std::string& path, const std::string& extension);

// The text up to the first occurrence of marker; unchanged when it does not occur.
std::string cutAtText(const std::string& text, const std::string& marker);

// Without containment: a equals b. With containment: b occurs in a. Optionally ignoring case.
bool matchText(const std::string& a, const std::string& b, bool ignoreCase, bool containment);

// True if an entry equals text, ignoring case.
bool containsName(const std::vector<std::string>& list, const std::string& text);

// Removes the first entry equal to text, ignoring case; true if one was removed.
bool removeName(std::vector<std::string>& list, const std::string& text);

// Stable sort by the lower-cased text compared byte by byte.
void sortNames(std::vector<std::string>& list);

// The decimal text of value.
std::string intToText(int32_t value);

// The desktop application's folder chooser (titled kPickFolderTitle). It returns the chosen
// folder's path, or an empty text when the user cancels or the choice has no path.
class FolderPicker {
  public:
    virtual ~FolderPicker() = default;
    virtual std::string pickFolder(const std::string& initialFolder) = 0;
};

inline constexpr const char* kPickFolderTitle = "Select a folder";

// Asks picker for a folder; without a picker there is no choice (empty text).
std::string pickFolder(FolderPicker* picker, const std::string& initialFolder);

}  // namespace paths
