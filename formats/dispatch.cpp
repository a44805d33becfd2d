// The single door for pictures: DibImage's load and save operations pick the codec by
// ImageFileType; files are saved through a temporary so a failed save never damages one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <type_traits>

#include "formats/bmp/bmp_codec.h"
#include "formats/codec_error.h"
#include "formats/gif/gif_codec.h"
#include "formats/ico/ico_codec.h"
#include "formats/image_stream.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/pcx/pcx_codec.h"
#include "formats/png/png_codec.h"
#include "formats/tga/tga_codec.h"
#include "formats/tiff/tiff_codec.h"
#include "image/dib_image.h"

namespace {

// Codec objects live on the heap: the GIF codec's tables are too large for a worker's stack.
template <class Codec>
bool decodeWith(DibImage& image, ImageStream& stream, bool passFrameIndex, int32_t minWidth = 0,
                int32_t minHeight = 0) {
    auto codec = std::make_unique<Codec>();
    if (passFrameIndex) codec->info.frameIndex = image.info.frameIndex;
    if constexpr (std::is_same_v<Codec, JpegCodec>) {
        codec->minWidth = minWidth;
        codec->minHeight = minHeight;
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
    if (ok && codec->isValid()) {
        image.transfer(*codec);
        return true;
    }
    image.setLastError(codec->lastError());
    return false;
}

template <class Codec>
bool encodeWith(DibImage& image, ImageStream& stream) {
    auto codec = std::make_unique<Codec>();
    codec->borrow(image);
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
    // The PNG writer may reorder the palette of the borrowed block; header fields it shows
    // stay the image's own.
    if (!ok) image.setLastError(codec->lastError());
    return ok;
}

std::string temporaryName(const std::string& dir, const std::string& base) {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng{std::random_device{}()};
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.%08x.tmp", int(getpid()), counter++,
                  unsigned(rng()));
    return dir + "/." + base + suffix;
}

}  // namespace

bool DibImage::loadFromStream(ImageStream& stream, uint32_t type) {
    switch (type) {
        case BMP:
            return decodeWith<BmpCodec>(*this, stream, false);
        case GIF:
            return decodeWith<GifCodec>(*this, stream, true);
        case JPEG:
            return decodeWith<JpegCodec>(*this, stream, false, reduceWidth_, reduceHeight_);
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

bool DibImage::saveToStream(ImageStream& stream, uint32_t type) {
    if (!isValid() && type <= TGA) {
        setLastError("Can't save an empty image");
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
            setLastError(kUnsupportedFormat);
            return false;
    }
}

bool DibImage::loadFromFile(const char* path, uint32_t type) {
    if (!path) return false;
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    bool ok;
    {
        ImageStream stream(file);
        ok = loadFromStream(stream, type);
    }
    std::fclose(file);
    return ok;
}

bool DibImage::loadReduced(const char* path, uint32_t type, int32_t minWidth, int32_t minHeight) {
    reduceWidth_ = minWidth;
    reduceHeight_ = minHeight;
    const bool ok = loadFromFile(path, type);
    reduceWidth_ = reduceHeight_ = 0;
    return ok;
}

bool DibImage::saveToFile(const char* path, uint32_t type, const SaveFinisher& finish) {
    if (!path || !*path) return false;
    if (type > TGA) {
        setLastError(kUnsupportedFormat);
        return false;
    }
    // Write through a symbolic link to the file it names, as an ordinary open would.
    std::string target = path;
    struct stat st {};
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path, resolved)) target = resolved;
    }
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return false;

    const size_t slash = target.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? "." : target.substr(0, slash + (slash == 0));
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    // The new file is made as fopen would make it (0666 less the umask), or keeps the mode of
    // the file it replaces; never the 0600 of an ordinary temporary file.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = temporaryName(dir, base);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    if (exists) fchmod(fd, st.st_mode & 07777);

    FILE* file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    bool ok;
    {
        ImageStream stream(file);
        ok = saveToStream(stream, type);
    }
    // Metadata hook: the finisher rewrites the temporary in place, so the fsync covers it too.
    if (ok && finish)
        ok = std::fflush(file) == 0 && !std::ferror(file) && finish(temp.c_str(), type);
    if (ok) ok = std::fflush(file) == 0 && !std::ferror(file) && fsync(fileno(file)) == 0;
    if (std::fclose(file) != 0) ok = false;
    if (ok) ok = std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}
