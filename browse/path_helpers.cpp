// Path and list helpers: joining and splitting paths, case-blind comparisons and the stable
// name sort used by the browsing and saving code.
#include "browse/path_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace paths {

namespace {

char lowerByte(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

size_t lastSeparator(const std::string& path) {
    size_t at = path.rfind(kSeparator);
    if (at == std::string::npos) at = path.rfind(kSecondSeparator);
    return at;
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerByte(x) == lowerByte(y);
           });
}

}  // namespace

std::string toLower(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = lowerByte(c);
    return out;
}

bool fileExists(const std::string& path) {
    if (path.empty()) return false;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool isFile = fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    close(fd);
    return isFile;
}

std::string joinPath(const std::string& directory, const std::string& name,
                     const std::string& extension) {
    std::string file = name;
    if (!extension.empty() && file.find('.') == std::string::npos)
        file += extension.find('.') != std::string::npos ? extension : "." + extension;
    std::string dir = directory;
    if (!dir.empty() && dir.back() != kSeparator) dir += kSeparator;
    return dir + file;
}

std::string parentPath(const std::string& path) {
    const size_t at = lastSeparator(path);
    return at == std::string::npos ? path : path.substr(0, at);
}

std::string fileNameOf(const std::string& path) {
    const size_t at = lastSeparator(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string ensureExtension(const std::string& path, const std::string& extension) {
    const std::string dotted = "." + extension;
    if (toLower(path).find(toLower(dotted)) != std::string::npos) return path;
    return path + dotted;
}

std::string cutAtText(const std::string& text, const std::string& marker) {
    const size_t at = text.find(marker);
    return at == std::string::npos ? text : text.substr(0, at);
}

bool matchText(const std::string& a, const std::string& b, bool ignoreCase, bool containment) {
    if (!containment) return ignoreCase ? equalIgnoringCase(a, b) : a == b;
    if (ignoreCase) return toLower(a).find(toLower(b)) != std::string::npos;
    return a.find(b) != std::string::npos;
}

bool containsName(const std::vector<std::string>& list, const std::string& text) {
    return std::any_of(list.begin(), list.end(),
                       [&](const std::string& entry) { return equalIgnoringCase(entry, text); });
}

bool removeName(std::vector<std::string>& list, const std::string& text) {
    for (auto it = list.begin(); it != list.end(); ++it)
        if (equalIgnoringCase(*it, text)) {
            list.erase(it);
            return true;
        }
    return false;
}

void sortNames(std::vector<std::string>& list) {
    // Insertion before the first entry the new one precedes keeps equal names in source order.
    std::vector<std::string> sorted;
    std::vector<std::string> keys;
    sorted.reserve(list.size());
    keys.reserve(list.size());
    for (std::string& entry : list) {
        std::string key = toLower(entry);
        size_t at = 0;
        while (at < keys.size() && !(key < keys[at])) ++at;
        keys.insert(keys.begin() + long(at), std::move(key));
        sorted.insert(sorted.begin() + long(at), std::move(entry));
    }
    list = std::move(sorted);
}

std::string intToText(int32_t value) {
    return std::to_string(value);
}

std::string pickFolder(FolderPicker* picker, const std::string& initialFolder) {
    return picker ? picker->pickFolder(initialFolder) : std::string();
}

}  // namespace paths
