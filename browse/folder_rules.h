// The folder tree's rules without its window: listing sub-folders, bringing a folder's
// children up to date, naming a new folder, and creating and renaming folders on disk.
#pragma once

#include <string>
#include <vector>

namespace folders {

// The kinds of tree items (the item's data and its picture).
enum FolderKind : int {
    kDesktop = 0,
    kMyComputer = 1,
    kDrive = 2,
    kFolder = 3,
    kMyDocuments = 4,
    kPlaceholder = 6,
};

inline constexpr const char* kPlaceholderLabel = ".";
inline constexpr const char* kMyComputerPath = "|";
inline constexpr const char* kNewFolderName = "New Folder";

// The full paths of the sub-folders of path in enumeration order, without "." and "..", and
// without hidden folders (names beginning with "."). A folder that cannot be read has none.
std::vector<std::string> listSubdirectories(const std::string& path);

// The name a child shows for an entry: the part after the last separator, or the whole
// entry for a drive (mount) root, which ends with the separator.
std::string displayName(const std::string& entry);

// A child item as refreshChildren sees it.
struct ChildItem {
    std::string label;
    int kind = kFolder;
};

// What refreshing a folder's children does: which existing children go (indices into the
// children, ascending) and which entries are appended (in order).
struct ChildUpdate {
    std::vector<size_t> remove;
    std::vector<std::string> add;
};

// Children that match an entry of names (ignoring case) stay, as do special items and
// drives; every other child (folders gone from disk, placeholders) goes; the entries left
// over are added. names is sorted here first.
ChildUpdate planChildren(const std::vector<ChildItem>& children, std::vector<std::string> names);

// "New Folder", or "New Folder (n)" with the smallest n >= 2 not among existing (ignoring
// case).
std::string newFolderName(const std::vector<std::string>& existing);

// Creates the folder; false with the reason in *why when it cannot be created.
bool createFolder(const std::string& path, std::string* why);

// Renames the folder at oldPath (no trailing separator) to newName in the same parent. A
// name with a separator, ".", "..", or one that is already taken is refused (renaming over
// an empty folder would silently replace it). Renaming to the same name does nothing and
// succeeds. false with the reason in *why.
bool renameFolder(const std::string& oldPath, const std::string& newName, std::string* why);

}  // namespace folders
