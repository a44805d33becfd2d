// Replacing a file safely: an unnamed file linked into place when whole, or a named hidden
// temporary renamed over the target where the file system cannot make unnamed files.
#include "formats/replacement_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace formats {

namespace {

constexpr int kNameAttempts = 100;

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + (slash == 0));
}

std::string baseOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Strips ".DIGITS" (hex when hex is set, exactly width digits when width > 0) from the end.
bool stripNumber(std::string& s, bool hex, size_t width, unsigned long* value) {
    const size_t dot = s.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string digits = s.substr(dot + 1);
    if (digits.empty() || (width && digits.size() != width) || digits.size() > 10) return false;
    for (char c : digits)
        if (!(c >= '0' && c <= '9') && !(hex && c >= 'a' && c <= 'f')) return false;
    if (value) *value = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
    s.erase(dot);
    return true;
}

// Whether name is ".BASE.PID.N.XXXXXXXX.tmp" as temporaryName makes it; *pid its process.
bool isTemporaryName(const char* name, pid_t* pid) {
    std::string s = name;
    const std::string tail = ".tmp";
    if (s.size() < tail.size() || s.compare(s.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    s.erase(s.size() - tail.size());
    unsigned long number = 0;
    if (!stripNumber(s, true, 8, nullptr) || !stripNumber(s, false, 0, nullptr) ||
        !stripNumber(s, false, 0, &number))
        return false;
    if (number == 0 || number > INT_MAX || s.size() < 2 || s[0] != '.') return false;
    *pid = pid_t(number);
    return true;
}

// "a/b/c" as the parts to walk, the first one last (a stack).
void pushParts(std::vector<std::string>& todo, const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) todo.push_back(*it);
}

}  // namespace

std::string temporaryName(const std::string& dir, const std::string& base) {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng{std::random_device{}()};
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.%08x.tmp", int(getpid()), counter++,
                  unsigned(rng()));
    return dir + "/." + base + suffix;
}

ReplacementFile::~ReplacementFile() {
    abandon();
}

int ReplacementFile::open(const std::string& target, const struct stat* replaced,
                          bool allowUnnamed) {
    abandon();
    target_ = target;
    replaces_ = replaced != nullptr;
    const std::string dir = folderOf(target);
    if (allowUnnamed) {
        fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            unnamed_ = true;
            path_ = "/proc/self/fd/" + std::to_string(fd_);
            // Without /proc the file could be neither reopened nor linked: name it instead.
            if (access(path_.c_str(), F_OK) != 0) abandon();
        } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            // Kernels and file systems without unnamed files say so with one of those three.
            return errno;
        }
    }
    if (fd_ < 0) {
        unnamed_ = false;
        for (int attempt = 0; attempt < kNameAttempts && fd_ < 0; ++attempt) {
            path_ = temporaryName(dir, baseOf(target));
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) {
                const int error = errno;
                path_.clear();
                return error;
            }
        }
        if (fd_ < 0) {
            path_.clear();
            return EEXIST;
        }
    }
    // Never the 0600 of an ordinary temporary file: the replaced file's mode, or fopen's.
    if (replaced) fchmod(fd_, replaced->st_mode & 07777);
    return 0;
}

int ReplacementFile::linkAs(const std::string& name) const {
    // Through /proc: linking by AT_EMPTY_PATH would need CAP_DAC_READ_SEARCH.
    if (linkat(AT_FDCWD, path_.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    return errno;
}

int ReplacementFile::commit() {
    if (fd_ < 0) return EBADF;
    int error = 0;
    if (!unnamed_) {
        if (std::rename(path_.c_str(), target_.c_str()) != 0) error = errno;
    } else {
        // A new file is linked straight to its name, so no moment shows a temporary.
        bool placed = false;
        if (!replaces_) {
            error = linkAs(target_);
            placed = error == 0;
            if (error == EEXIST) error = 0;  // made meanwhile: replaced below, as rename would
        }
        if (!placed && !error) {
            std::string temp;
            for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
                temp = temporaryName(folderOf(target_), baseOf(target_));
                error = linkAs(temp);
                if (error != EEXIST) break;
            }
            if (!error && std::rename(temp.c_str(), target_.c_str()) != 0) {
                error = errno;
                unlink(temp.c_str());
            }
        }
    }
    if (error) {
        abandon();
        return error;
    }
    close(fd_);
    fd_ = -1;
    path_.clear();
    return 0;
}

void ReplacementFile::abandon() {
    const int saved = errno;
    if (fd_ >= 0) close(fd_);
    if (fd_ >= 0 && !unnamed_ && !path_.empty()) unlink(path_.c_str());
    fd_ = -1;
    path_.clear();
    errno = saved;
}

int removeStaleTemporaries(const std::string& dir) {
    const int saved = errno;
    DIR* folder = opendir(dir.c_str());
    if (!folder) {
        errno = saved;
        return 0;
    }
    const int dfd = dirfd(folder);
    const pid_t self = getpid();
    int removed = 0;
    while (const dirent* entry = readdir(folder)) {
        pid_t pid = 0;
        if (!isTemporaryName(entry->d_name, &pid) || pid == self) continue;
        // Only a process that is surely gone: EPERM means it lives under another user.
        if (kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (fstatat(dfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != geteuid())
            continue;
        if (unlinkat(dfd, entry->d_name, 0) == 0) ++removed;
    }
    closedir(folder);
    errno = saved;
    return removed;
}

bool refusesSharedLink(const std::string& path, std::string* refused, std::string* resolved) {
    resolved->clear();
    std::vector<std::string> todo;
    pushParts(todo, path);
    if (path.empty() || path[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) return false;
        pushParts(todo, cwd);
    }
    std::string done;  // the real path walked so far; "" is the root
    int links = 0;
    while (!todo.empty()) {
        const std::string part = todo.back();
        todo.pop_back();
        if (part == ".") continue;
        if (part == "..") {
            done.erase(done.empty() ? 0 : done.rfind('/'));
            continue;
        }
        const std::string next = done + "/" + part;
        struct stat link {};
        if (lstat(next.c_str(), &link) != 0) return false;  // missing: nothing more to follow
        if (!S_ISLNK(link.st_mode)) {
            done = next;
            continue;
        }
        struct stat folder {};
        if (stat(done.empty() ? "/" : done.c_str(), &folder) != 0) return false;
        const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
        if (shared && link.st_uid != geteuid() && link.st_uid != folder.st_uid) {
            *refused = next;
            return true;
        }
        if (++links > 40) return false;  // a loop: the open that follows says so
        std::vector<char> text(size_t(link.st_size > 0 ? link.st_size : PATH_MAX) + 1);
        const ssize_t n = readlink(next.c_str(), text.data(), text.size());
        if (n <= 0 || size_t(n) >= text.size()) return false;
        const std::string to(text.data(), size_t(n));
        if (to[0] == '/') done.clear();
        pushParts(todo, to);
    }
    *resolved = done.empty() ? "/" : done;
    return false;
}

}  // namespace formats
