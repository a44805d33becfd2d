// Folder tree rules: sub-folder listings, the child refresh plan, new-folder names and the
// file-system calls of the tree's commands with the reasons of their failures.
#include "browse/folder_rules.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "browse/path_helpers.h"

namespace fs = std::filesystem;

namespace folders {

std::vector<std::string> listSubdirectories(const std::string& path) {
    std::vector<std::string> result;
    if (path.empty()) return result;
    std::error_code ec;
    fs::directory_iterator it{fs::path(path), ec};
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code typeError;
        if (it->is_directory(typeError)) result.push_back(paths::joinPath(path, name));
    }
    return result;
}

std::string displayName(const std::string& entry) {
    if (!entry.empty() && entry.back() == paths::kSeparator) return entry;
    return paths::fileNameOf(entry);
}

ChildUpdate planChildren(const std::vector<ChildItem>& children, std::vector<std::string> names) {
    paths::sortNames(names);
    std::vector<std::string> displays;
    for (const std::string& n : names) displays.push_back(displayName(n));
    ChildUpdate update;
    for (size_t i = 0; i < children.size(); ++i) {
        const ChildItem& child = children[i];
        if (child.label != kPlaceholderLabel) {
            bool found = false;
            for (size_t j = 0; j < displays.size(); ++j)
                if (paths::matchText(child.label, displays[j], true, false)) {
                    displays.erase(displays.begin() + long(j));
                    names.erase(names.begin() + long(j));
                    found = true;
                    break;
                }
            if (found) continue;
        }
        if (child.kind == kDesktop || child.kind == kMyComputer || child.kind == kDrive ||
            child.kind == kMyDocuments)
            continue;
        update.remove.push_back(i);
    }
    update.add = std::move(names);
    return update;
}

std::string newFolderName(const std::vector<std::string>& existing) {
    std::string candidate = kNewFolderName;
    for (int n = 2; paths::containsName(existing, candidate); ++n)
        candidate = std::string(kNewFolderName) + " (" + paths::intToText(n) + ")";
    return candidate;
}

bool createFolder(const std::string& path, std::string* why) {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    if (why) *why = std::strerror(errno);
    return false;
}

bool renameFolder(const std::string& oldPath, const std::string& newName, std::string* why) {
    auto refuse = [why](const char* reason) {
        if (why) *why = reason;
        return false;
    };
    if (newName.empty() || newName == "." || newName == "..")
        return refuse("That is not a folder name.");
    if (newName.find(paths::kSeparator) != std::string::npos)
        return refuse("A folder name cannot contain \"/\".");
    std::string parent = paths::parentPath(oldPath);
    if (parent.empty() && !oldPath.empty() && oldPath[0] == paths::kSeparator) parent = "/";
    const std::string newPath = paths::joinPath(parent, newName);
    if (newPath == oldPath) return true;
    struct stat st {};
    // Only a change of case may name the folder itself (on file systems that ignore case).
    if (::lstat(newPath.c_str(), &st) == 0 && !paths::matchText(newPath, oldPath, true, false))
        return refuse("A file or folder with that name already exists.");
    if (std::rename(oldPath.c_str(), newPath.c_str()) == 0) return true;
    if (why) *why = std::strerror(errno);
    return false;
}

}  // namespace folders
