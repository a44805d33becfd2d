// PhotoEdit's file access: the format chosen by selector or by the lower-cased file name,
// loading as given and saving under the lower-cased file name (GIF of full colour as JPEG).
#include <sys/stat.h>

#include "enhance/photo_edit.h"

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

}  // namespace

void PhotoEdit::load(const std::string& path) {
    fileName = path;
    if (!path.empty()) loadFile(path, 0);
}

uint32_t PhotoEdit::typeForName(const std::string& path) {
    // Only the file name decides: a folder such as "shots.bmp.d" must not pick the format.
    std::string name = path.substr(fileNameStart(path));
    for (char& c : name) c = lowerByte(c);
    const auto has = [&](const char* ext) { return name.find(ext, 1) != std::string::npos; };
    if (has(".jpg")) return JPEG;
    if (has(".bmp")) return BMP;
    if (has(".png")) return PNG;
    if (has(".gif")) return GIF;
    return JPEG;
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

bool PhotoEdit::loadFile(const std::string& path, int selector) {
    uint32_t type = JPEG;
    if (!typeForSelector(selector, path, &type)) return false;
    image.destroy();
    metadata.reset();
    // Only regular files: a named pipe or a device would block or never end.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    auto read = std::make_shared<PhotoMetadata>();
    if (!loadUpright(image, path, type, read.get())) return false;
    if (!read->empty()) metadata = std::move(read);
    return true;
}

SaveTarget PhotoEdit::saveTarget(const std::string& path, int selector, uint32_t bitCount) {
    SaveTarget target;
    if (path.empty() || !typeForSelector(selector, path, &target.type)) return target;
    target.ok = true;
    target.path = path;
    const size_t nameAt = fileNameStart(path);
    // Folders keep their case; only the file name is written in lower case.
    if (selector == 0)
        for (size_t i = nameAt; i < target.path.size(); ++i)
            target.path[i] = lowerByte(target.path[i]);
    if (target.type == GIF && bitCount > 8) {
        target.type = JPEG;
        const size_t dot = target.path.rfind('.');
        if (dot == std::string::npos || dot < nameAt)
            target.path += ".jpg";
        else
            target.path = target.path.substr(0, dot) + ".jpg";
    }
    return target;
}

bool PhotoEdit::saveFile(const std::string& path, int selector) {
    const SaveTarget target = saveTarget(path, selector, image.bitCount());
    if (!target.ok) return false;
    return saveWithMetadata(image, target.path, target.type, metadata.get());
}
