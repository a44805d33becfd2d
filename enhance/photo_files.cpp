// PhotoEdit's file access: a file is read as what its content is (the name decides only when
// the content says nothing) and written as its lower-cased file name says.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "enhance/photo_edit.h"
#include "formats/format_detect.h"
#include "formats/format_table.h"

namespace {

char lowerByte(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Start of the file-name part: after the last '/', or the last '\' when there is no '/'.
size_t fileNameStart(const std::string& path) {
    size_t at = path.rfind('/');
    if (at == std::string::npos) at = path.rfind('\\');
    return at == std::string::npos ? 0 : at + 1;
}

// name with its extension (from the last dot of the file-name part) replaced by extension,
// or extension appended when it has none.
std::string withExtension(const std::string& path, const char* extension) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < fileNameStart(path)) return path + extension;
    return path.substr(0, dot) + extension;
}

}  // namespace

void PhotoEdit::load(const std::string& path) {
    loadForPreview(path, 0, 0);
}

void PhotoEdit::loadForPreview(const std::string& path, int32_t minWidth, int32_t minHeight,
                               DecodeProgress* progress) {
    fileName = path;
    if (!path.empty()) loadFile(path, 0, minWidth, minHeight, progress);
}

uint32_t PhotoEdit::typeForName(const std::string& path) {
    // Only the file name decides: a folder such as "shots.bmp.d" must not pick the format.
    std::string name = path.substr(fileNameStart(path));
    for (char& c : name) c = lowerByte(c);
    const int type = formats::formatFromName(name);
    return type == formats::kUnknownFormat ? JPEG : uint32_t(type);
}

namespace {

bool typeForSelector(int selector, const std::string& path, uint32_t* type) {
    switch (selector) {
        case 0:
            *type = PhotoEdit::typeForName(path);
            return true;
        case 1:
            *type = JPEG;
            return true;
        case 2:
            *type = GIF;
            return true;
        case 3:
            *type = PNG;
            return true;
        case 4:
            *type = BMP;
            return true;
        default:
            return false;
    }
}

}  // namespace

bool PhotoEdit::loadFile(const std::string& path, int selector, int32_t minWidth, int32_t minHeight,
                         DecodeProgress* progress) {
    uint32_t type = JPEG;
    if (selector != 0 && !typeForSelector(selector, path, &type)) return false;
    image.destroy();
    metadata.reset();
    // Only regular files, before even the first bytes are read: a named pipe or a device
    // would block or never end.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        image.setLastError(("cannot open " + path + ": " + std::strerror(errno)).c_str());
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        image.setLastError(("cannot open " + path + ": not a regular file").c_str());
        return false;
    }
    if (selector == 0) {
        const int detected = formats::detectFileFormat(path);
        if (detected != formats::kUnknownFormat) type = uint32_t(detected);
    }
    auto read = std::make_shared<PhotoMetadata>();
    if (!loadUpright(image, path, type, read.get(), minWidth, minHeight, progress)) return false;
    if (!read->empty()) metadata = std::move(read);
    return true;
}

SaveTarget PhotoEdit::saveTarget(const std::string& path, int selector, uint32_t bitCount) {
    SaveTarget target;
    if (path.empty() || !typeForSelector(selector, path, &target.type)) return target;
    target.ok = true;
    target.path = path;
    // Folders keep their case; only the file name is written in lower case.
    if (selector == 0)
        for (size_t i = fileNameStart(path); i < target.path.size(); ++i)
            target.path[i] = lowerByte(target.path[i]);
    // A format the library only reads (PCX, phone and camera formats), or a GIF of more than
    // 8 bits per pixel, is written as the format the table names, under its extension.
    const uint32_t written = formats::writtenTypeFor(target.type, bitCount);
    if (written != target.type) {
        target.type = written;
        target.path = withExtension(target.path, formats::writtenExtension(written).c_str());
    }
    return target;
}

bool PhotoEdit::saveFile(const std::string& path, int selector) {
    const SaveTarget target = saveTarget(path, selector, image.bitCount());
    if (!target.ok) return false;
    return saveWithMetadata(image, target.path, target.type, metadata.get());
}

std::shared_ptr<const DisplayColour> PhotoEdit::displayColour() const {
    return metadata ? ::displayColour(*metadata) : nullptr;
}
