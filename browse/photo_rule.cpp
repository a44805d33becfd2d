// The photo rule: a regular file whose content, or else whose name, shows a format.
#include "browse/photo_rule.h"

#include <sys/stat.h>

#include "formats/format_detect.h"

namespace photos {

int photoFormatOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return formats::kUnknownFormat;
    return formats::detectFileFormat(path);
}

}  // namespace photos
