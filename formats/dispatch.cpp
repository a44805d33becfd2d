// The single door for pictures: DibImage's load and save operations pick the codec by
// ImageFileType; files are saved through a temporary so a failed save never damages one.
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
#include <type_traits>

#include "formats/bmp/bmp_codec.h"
#include "formats/codec_error.h"
#include "formats/data_bound.h"
#include "formats/gif/gif_codec.h"
#include "formats/ico/ico_codec.h"
#include "formats/image_stream.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/pcx/pcx_codec.h"
#include "formats/png/png_codec.h"
#include "formats/replacement_file.h"
#include "formats/tga/tga_codec.h"
#include "formats/tiff/tiff_codec.h"
#include "image/dib_image.h"

namespace {

// The format's name in messages.
const char* formatName(uint32_t type) {
    static const char* const names[] = {"BMP", "GIF", "JPEG", "PNG", "ICO", "TIFF", "TGA", "PCX"};
    return type <= PCX ? names[type] : "image";
}

// Codec objects live on the heap: the GIF codec's tables are too large for a worker's stack.
template <class Codec>
bool decodeWith(DibImage& image, ImageStream& stream, bool passFrameIndex, int32_t minWidth = 0,
                int32_t minHeight = 0, DecodeProgress* progress = nullptr) {
    auto codec = std::make_unique<Codec>();
    // A budget the caller set on the image lowers the file's own (a fuzz harness keeps its
    // runs short so); an image without one leaves the file's.
    codec->setDecodeBudget(std::min(image.decodeBudget(), decodeBudgetFor(bytesLeft(stream))));
    if (passFrameIndex) codec->info.frameIndex = image.info.frameIndex;
    if constexpr (std::is_same_v<Codec, JpegCodec>) {
        codec->minWidth = minWidth;
        codec->minHeight = minHeight;
        codec->progress = progress;
    }
    bool ok = false;
    try {
        ok = codec->decode(stream);
    } catch (const CodecFailure& failure) {
        codec->setLastError(failure.message.c_str());
        ok = false;
    } catch (const std::bad_alloc&) {
        codec->setLastError("Can't allocate memory");
        ok = false;
    }
    codec->setDecodeBudget(UINT64_MAX);
    if (ok && codec->isValid()) {
        image.transfer(*codec);
        return true;
    }
    // A failure always says something, even where a codec gave no text of its own.
    if (!codec->lastError()[0]) {
        const std::string message = std::string("Error reading ") + formatName(codec->type()) +
                                    " file" + (ok ? ": no picture in it" : "");
        codec->setLastError(message.c_str());
    }
    image.setLastError(codec->lastError());
    return false;
}

// A save is const: the same picture may be saved from several threads at once while others
// read it. lastError is the only field a save writes, so its writes are serialised and made
// only when the text changes (a success on an image with no message writes nothing).
void reportSaveResult(const DibImage& image, const char* message) {
    static std::mutex lock;
    const std::lock_guard<std::mutex> guard(lock);
    if (std::strcmp(image.lastError(), message) != 0) image.setLastError(message);
}

template <class Codec>
bool encodeWith(const DibImage& image, ImageStream& stream) {
    auto codec = std::make_unique<Codec>();
    // The codec shows the image without owning or copying it. Every encoder only reads what
    // it shows and works on its own copies of what it changes (palette, rows, header), so
    // the image is left exactly as it was.
    codec->borrow(const_cast<DibImage&>(image));
    bool ok = false;
    try {
        ok = codec->encode(stream);
    } catch (const CodecFailure& failure) {
        codec->setLastError(failure.message.c_str());
        ok = false;
    } catch (const std::bad_alloc&) {
        codec->setLastError("Can't allocate memory");
        ok = false;
    }
    if (!ok && !codec->lastError()[0]) {
        const std::string message =
            std::string("Error writing ") + formatName(codec->type()) + " file";
        codec->setLastError(message.c_str());
    }
    reportSaveResult(image, ok ? "" : codec->lastError());
    return ok;
}

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
    switch (type) {
        case BMP:
            return decodeWith<BmpCodec>(*this, stream, false);
        case GIF:
            return decodeWith<GifCodec>(*this, stream, true);
        case JPEG:
            return decodeWith<JpegCodec>(*this, stream, false, reduceWidth_, reduceHeight_,
                                         decodeProgress_);
        case PNG:
            return decodeWith<PngCodec>(*this, stream, false);
        case ICO:
            return decodeWith<IcoCodec>(*this, stream, true);
        case TIFF:
            return decodeWith<TiffCodec>(*this, stream, true);
        case TGA:
            return decodeWith<TgaCodec>(*this, stream, false);
        case PCX:
            return decodeWith<PcxCodec>(*this, stream, false);
        default:
            setLastError(kUnsupportedFormat);
            return false;
    }
}

bool DibImage::saveToStream(ImageStream& stream, uint32_t type) const {
    if (!isValid() && type <= TGA) {
        reportSaveResult(*this, "Can't save an empty image");
        return false;
    }
    switch (type) {
        case BMP:
            return encodeWith<BmpCodec>(*this, stream);
        case GIF:
            return encodeWith<GifCodec>(*this, stream);
        case JPEG:
            return encodeWith<JpegCodec>(*this, stream);
        case PNG:
            return encodeWith<PngCodec>(*this, stream);
        case ICO:
            return encodeWith<IcoCodec>(*this, stream);
        case TIFF:
            return encodeWith<TiffCodec>(*this, stream);
        case TGA:
            return encodeWith<TgaCodec>(*this, stream);
        default:
            reportSaveResult(*this, kUnsupportedFormat);
            return false;
    }
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
    if (type > TGA) {
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
