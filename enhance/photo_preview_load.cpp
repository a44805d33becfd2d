// Loading a photo for the screen only: a JPEG decoded through libjpeg's DCT scaling no larger
// than the preview needs, so opening and turning a large photo stay quick.
#include <sys/stat.h>

#include "enhance/photo_edit.h"
#include "formats/format_detect.h"

void PhotoEdit::loadForPreview(const std::string& path, int32_t minWidth, int32_t minHeight) {
    if (minWidth <= 0 && minHeight <= 0) {
        load(path);
        return;
    }
    fileName = path;
    image.destroy();
    // Only regular files: a named pipe or a device would block or never end.
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    int type = formats::detectFileFormat(path);
    if (type == formats::kUnknownFormat) type = int(typeForName(path));
    image.loadReduced(path.c_str(), uint32_t(type), minWidth, minHeight);
}
