// Folder listings for the thumbnail views and for saving a whole folder. Nothing is sorted:
// the order is the file system's.
#include "browse/directory_listing.h"

#include <filesystem>
#include <system_error>

#include "browse/path_helpers.h"

namespace fs = std::filesystem;

namespace {

std::string trimmed(const std::string& text) {
    const char* space = " \t\r\n\f\v";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

}  // namespace

DirectoryListing::DirectoryListing(std::string path, std::string name)
    : path_(std::move(path)), name_(std::move(name)) {}

void DirectoryListing::open(const std::string& path) {
    // Linux file systems tell case apart, so the same-folder test does too.
    if (!path_.empty() && path == path_) return;
    std::string p = path;
    if (p.size() > 1 && p.back() == paths::kSeparator) p = trimmed(p.substr(0, p.size() - 1));
    path_ = p;
    name_ = paths::fileNameOf(p);
    scan();
}

void DirectoryListing::scan() {
    fileNames_.clear();
    subDirectories_.clear();
    totalSize_ = 0;
    // No path is no folder (not the working folder of the process).
    if (path_.empty()) return;
    std::error_code ec;
    fs::directory_iterator it{fs::path(path_), ec};
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (entry.is_directory(typeError)) {
            subDirectories_.emplace_back(paths::joinPath(path_, name), name);
            continue;
        }
        std::error_code sizeError;
        const uintmax_t size = entry.is_regular_file(typeError) ? entry.file_size(sizeError) : 0;
        if (!sizeError) totalSize_ += size;
        fileNames_.push_back(name);
    }
}

void DirectoryListing::collect(std::vector<std::string>& out, const std::string& filter) const {
    std::vector<std::string> tokens;
    std::string token;
    for (char c : filter + ",") {
        if (c == ',' || c == '\r' || c == '\n') {
            if (!token.empty()) tokens.push_back(paths::toLower(token));
            token.clear();
        } else {
            token += c;
        }
    }
    for (const std::string& name : fileNames_) {
        bool take = tokens.empty();
        if (!take) {
            const std::string lower = paths::toLower(name);
            for (const std::string& t : tokens)
                if (lower.find(t) != std::string::npos) {
                    take = true;
                    break;
                }
        }
        if (take) out.push_back(paths::joinPath(path_, name));
    }
}
