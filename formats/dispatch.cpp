// The single door for pictures: DibImage's load and save operations pick the codec from the
// format table; files are saved through a temporary so a failed save never damages one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>

#include "formats/codec_error.h"
#include "formats/format_table.h"
#include "formats/image_stream.h"
#include "formats/replacement_file.h"
#include "image/dib_image.h"

namespace formats {

// A save is const: the same picture may be saved from several threads at once while others
// read it. lastError is the only field a save writes, so its writes are serialised and made
// only when the text changes (a success on an image with no message writes nothing).
void reportSaveResult(const DibImage& image, const char* message) {
    static std::mutex lock;
    const std::lock_guard<std::mutex> guard(lock);
    if (std::strcmp(image.lastError(), message) != 0) image.setLastError(message);
}

}  // namespace formats

namespace {

using formats::reportSaveResult;

// "VERB PATH: REASON" with why, or the system's text for errorNumber; a long path is
// shortened from its start so that the reason always fits lastError.
std::string ioMessage(const char* verb, const std::string& path, const char* why) {
    const std::string reason = std::string(": ") + why;
    const size_t room = 255 - std::strlen(verb) - 1 - reason.size();
    std::string shown = path;
    if (shown.size() > room) shown = "..." + shown.substr(shown.size() - (room - 3));
    return std::string(verb) + " " + shown + reason;
}

std::string ioMessage(const char* verb, const std::string& path, int errorNumber) {
    return ioMessage(verb, path, std::strerror(errorNumber));
}

}  // namespace

bool DibImage::loadFromStream(ImageStream& stream, uint32_t type) {
    const formats::FormatEntry* entry = formats::formatEntry(type);
    if (!entry) {
        setLastError(kUnsupportedFormat);
        return false;
    }
    return entry->decode(*this, stream, {reduceWidth_, reduceHeight_, decodeProgress_});
}

bool DibImage::saveToStream(ImageStream& stream, uint32_t type) const {
    const formats::FormatEntry* entry = formats::formatEntry(type);
    if (!entry || !entry->encode) {
        reportSaveResult(*this, kUnsupportedFormat);
        return false;
    }
    if (!isValid()) {
        reportSaveResult(*this, "Can't save an empty image");
        return false;
    }
    return entry->encode(*this, stream);
}

bool DibImage::loadFromFile(const char* path, uint32_t type) {
    if (!path || !*path) {
        setLastError("cannot open a file without a name");
        return false;
    }
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        setLastError(ioMessage("cannot open", path, errno).c_str());
        return false;
    }
    bool ok;
    int readError;
    {
        ImageStream stream(file);
        ok = loadFromStream(stream, type);
        readError = stream.errorNumber();
    }
    std::fclose(file);
    // A read the system refused (a folder, a failing disk) says so rather than what the codec
    // made of the missing bytes.
    if (!ok && readError) setLastError(ioMessage("cannot read", path, readError).c_str());
    return ok;
}

bool DibImage::loadReduced(const char* path, uint32_t type, int32_t minWidth, int32_t minHeight,
                           DecodeProgress* progress) {
    reduceWidth_ = minWidth;
    reduceHeight_ = minHeight;
    decodeProgress_ = progress;
    const bool ok = loadFromFile(path, type);
    reduceWidth_ = reduceHeight_ = 0;
    decodeProgress_ = nullptr;
    return ok;
}

bool DibImage::saveToFile(const char* path, uint32_t type, const SaveFinisher& finish) const {
    if (!path || !*path) {
        reportSaveResult(*this, "cannot save to a file without a name");
        return false;
    }
    const formats::FormatEntry* entry = formats::formatEntry(type);
    if (!entry || !entry->encode) {
        reportSaveResult(*this, kUnsupportedFormat);
        return false;
    }
    // errno is left as the system's reason for the failure (0 when it was not the system's).
    auto fail = [this, path](const char* verb, int errorNumber) {
        reportSaveResult(*this, ioMessage(verb, path, errorNumber).c_str());
        errno = errorNumber;
        return false;
    };
    // Write through symbolic links to the file they name, as an ordinary open would, but
    // never through one that another user planted in a shared folder such as /tmp.
    std::string refused, resolved;
    if (formats::refusesSharedLink(path, &refused, &resolved)) {
        reportSaveResult(*this, ioMessage("cannot write", path,
                                          "symbolic link in a shared folder not owned by you")
                                    .c_str());
        errno = EACCES;
        return false;
    }
    // A link to nothing is replaced by the file, as before.
    const std::string target = resolved.empty() ? std::string(path) : resolved;
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return fail("cannot write", EISDIR);
    if (exists && !S_ISREG(st.st_mode)) return fail("cannot write", EINVAL);
    // The temporary-and-rename path below needs only the folder to be writable; a file the
    // user may not write is refused as opening it for writing would refuse it.
    if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return fail("cannot write", errno);

    const size_t slash = target.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? "." : target.substr(0, slash + (slash == 0));
    // What an earlier run killed part-way left where no unnamed file could be made.
    formats::removeStaleTemporaries(dir);

    formats::ReplacementFile replacement;
    if (const int error = replacement.open(target, exists ? &st : nullptr))
        return fail("cannot open", error);
    // The stream gets a copy of the descriptor: the replacement's own one is still needed to
    // link the unnamed file into place after the stream is closed.
    const int streamFd = fcntl(replacement.fd(), F_DUPFD_CLOEXEC, 0);
    FILE* file = streamFd < 0 ? nullptr : fdopen(streamFd, "wb");
    if (!file) {
        const int error = errno;
        if (streamFd >= 0) close(streamFd);
        return fail("cannot open", error);
    }
    bool ok;
    int writeError = 0;
    {
        ImageStream stream(file);
        ok = saveToStream(stream, type);
        writeError = stream.errorNumber();
    }
    if (ok && writeError == 0 && (std::fflush(file) != 0 || std::ferror(file))) writeError = errno;
    // Metadata hook: the finisher rewrites the file in place through a path that opens this
    // same file again, so the fsync covers it too.
    if (ok && writeError == 0 && finish) {
        errno = 0;
        if (!finish(replacement.path().c_str(), type)) writeError = errno ? errno : EIO;
    }
    if (ok && writeError == 0 && fsync(fileno(file)) != 0) writeError = errno;
    if (std::fclose(file) != 0 && ok && writeError == 0) writeError = errno;
    if (ok && writeError == 0) writeError = replacement.commit();
    // The system's reason for a failed write beats the codec's account of it; the
    // replacement, not committed, goes with it.
    if (writeError) return fail("cannot write", writeError);
    if (!ok) errno = 0;
    return ok;
}
