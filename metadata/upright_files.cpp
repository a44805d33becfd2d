// Loading photos upright and saving copies that carry their metadata: the two steps around the
// dispatch that the editor, the batch saving and the command line share.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "formats/format_table.h"
#include "metadata/photo_metadata.h"

namespace {

// Moves size bytes through step(offset) (one read or write call), past interruptions; false
// on an error or an early end.
template <class Step>
bool allBytes(size_t size, Step step) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = step(done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool readWhole(const char* path, std::vector<uint8_t>& bytes) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && st.st_size > 0;
    if (ok) {
        bytes.resize(size_t(st.st_size));
        ok = allBytes(bytes.size(),
                      [&](size_t at) { return read(fd, bytes.data() + at, bytes.size() - at); });
    }
    close(fd);
    return ok;
}

// Rewrites the file in place (same file, so the caller's sync covers it).
bool writeWhole(const char* path, const std::vector<uint8_t>& bytes) {
    const int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = allBytes(bytes.size(),
                       [&](size_t at) { return write(fd, bytes.data() + at, bytes.size() - at); });
    if (close(fd) != 0) ok = false;
    return ok;
}

}  // namespace

bool orientUpright(DibImage& image, int orientation) {
    // The picture's first stored row and column are where the tag says; undo that placement.
    switch (orientation) {
        case 2:
            return image.mirror();
        case 3:
            return image.flip() && image.mirror();
        case 4:
            return image.flip();
        case 5:
            return image.rotateRight() && image.mirror();
        case 6:
            return image.rotateRight();
        case 7:
            return image.rotateLeft() && image.mirror();
        case 8:
            return image.rotateLeft();
        default:
            return true;
    }
}

bool loadUpright(DibImage& image, const std::string& path, uint32_t type, PhotoMetadata* metadata,
                 int32_t minWidth, int32_t minHeight, DecodeProgress* progress,
                 const PhotoMetadata* known) {
    if (metadata) *metadata = PhotoMetadata{};
    const bool tagged = readsMetadata(type);
    const formats::FormatEntry* entry = formats::formatEntry(type);
    const bool turnedByCodec = entry && entry->turnsUpright;
    // Read first: a photo stored on its side needs the wish turned with it.
    PhotoMetadata read = !tagged ? PhotoMetadata{} : known ? *known : readMetadata(path);
    if (!turnedByCodec && swapsSides(read.orientation)) std::swap(minWidth, minHeight);
    if (read.orientation > 1) progress = nullptr;
    if (!image.loadReduced(path.c_str(), type, minWidth, minHeight, progress)) return false;
    if (!tagged) return true;
    // Those codecs apply the file's own orientation, which the EXIF tag repeats.
    if (!turnedByCodec && !orientUpright(image, read.orientation)) {
        image.destroy();
        image.setLastError("Can't allocate memory");
        return false;
    }
    if (metadata) *metadata = std::move(read);
    return true;
}

bool saveWithMetadata(DibImage& image, const std::string& path, uint32_t type,
                      const PhotoMetadata* metadata) {
    if (!metadata || metadata->empty() || !carriesMetadata(type))
        return image.saveToFile(path.c_str(), type);
    const int32_t width = image.width(), height = image.height();
    return image.saveToFile(path.c_str(), type, [&](const char* temporary, uint32_t written) {
        std::vector<uint8_t> bytes;
        if (!readWhole(temporary, bytes)) return false;
        // Metadata Exiv2 cannot write is left out: the picture is saved as it would be without.
        if (!applyMetadata(bytes, written, *metadata, width, height)) return true;
        return writeWhole(temporary, bytes);
    });
}
