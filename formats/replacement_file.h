// The new version of a file, written beside it and put in its place only once it is whole,
// so that neither a failed write nor a crash ever damages the file it replaces.
#pragma once

#include <sys/stat.h>

#include <string>

namespace formats {

// Made unnamed (O_TMPFILE) where the file system allows it, so a crash leaves nothing; a
// named hidden temporary (temporaryName) otherwise. Every call that can fail returns 0 or the
// system's errno.
class ReplacementFile {
  public:
    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    // An open file that was not committed goes away.
    ~ReplacementFile();

    // A new empty file in target's folder, made as fopen would make it (0666 less the umask)
    // or with the mode of replaced when target exists. allowUnnamed false asks for the named
    // temporary whatever the file system can do.
    int open(const std::string& target, const struct stat* replaced, bool allowUnnamed = true);
    int fd() const { return fd_; }
    bool unnamed() const { return unnamed_; }
    // A path that opens this same file again: /proc/self/fd/N for the unnamed file.
    const std::string& path() const { return path_; }
    // Puts the file at target (linked there when target is new, renamed over it otherwise)
    // and closes it. On failure target is as it was and the file is gone.
    int commit();
    // Closes the file and removes it.
    void abandon();

  private:
    int linkAs(const std::string& name) const;

    std::string target_;
    std::string path_;
    int fd_ = -1;
    bool unnamed_ = false;
    bool replaces_ = false;
};

// dir + "/." + base + ".PID.N.XXXXXXXX.tmp": unique within this process, random across.
std::string temporaryName(const std::string& dir, const std::string& base);

// Removes the named temporaries of ours (temporaryName's pattern, owned by this user) in dir
// whose process is gone. Each folder is looked at once per process; returns how many went.
int removeStaleTemporaries(const std::string& dir);

// Follows path as opening it would, and refuses as the kernel's protected_symlinks does: a
// link in a sticky, world-writable folder is followed only when it belongs to the effective
// user or to that folder's owner. True with *refused the link when one is refused; false
// otherwise, with *resolved the path with every link followed (empty when a part is
// missing).
bool refusesSharedLink(const std::string& path, std::string* refused, std::string* resolved);

}  // namespace formats
