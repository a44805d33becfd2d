// Output names, the "autoset" folder, the batch's photo test and its finished message.
#include "workflow/output_rules.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "browse/path_helpers.h"
#include "browse/photo_rule.h"
#include "formats/format_detect.h"
#include "formats/format_table.h"
#include "image/dib_image.h"

std::string outputNameFor(const std::string& outputDirectory, const std::string& sourcePath) {
    std::string out = outputDirectory;
    if (!out.empty() && out.back() != paths::kSeparator) out += paths::kSeparator;
    std::string name = paths::fileNameOf(sourcePath);
    // A photo of a format the batch does not write back (PCX, icons, phone and camera
    // formats) gets the extension of the one it is written as.
    const int named = formats::formatFromName(name);
    const formats::FormatEntry* entry = named < 0 ? nullptr : formats::formatEntry(uint32_t(named));
    if (entry && entry->writtenAs != entry->type)
        name = name.substr(0, name.rfind('.')) + formats::writtenExtension(entry->writtenAs);
    return out + "enh_" + name;
}

std::string autosetDirectory(const std::string& inputDirectory) {
    return paths::joinPath(inputDirectory, "enhanced");
}

bool isBatchPhoto(const std::string& path) {
    // The thumbnail views' rule: what the batch takes is what they show.
    return photos::isPhoto(path);
}

int createOutputDirectory(const std::string& directory, std::string* failed) {
    auto isFolder = [](const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    if (directory.empty() || isFolder(directory)) return 0;
    // Top down, so the step that fails is the first folder that cannot be made.
    for (size_t end = directory.find('/', 1);; end = directory.find('/', end + 1)) {
        const std::string level = directory.substr(0, end);
        const bool last = end == std::string::npos;
        if (!level.empty() && level.back() != '/' && mkdir(level.c_str(), 0777) != 0) {
            const int error = errno;
            // It may exist already, or be made meanwhile; the system may refuse to make a
            // folder that exists (EACCES, EROFS) for another reason than EEXIST.
            if (!isFolder(level)) {
                if (failed) *failed = level;
                return error == EEXIST ? ENOTDIR : error;
            }
        }
        if (last) return 0;
    }
}

std::string finishedMessage(int processed, int unreadable, int unwritten) {
    char text[160];
    std::snprintf(text, sizeof text, "Finished processing %d images.", processed);
    std::string message = text;
    if (unreadable > 0) {
        std::snprintf(text, sizeof text, "\n%d could not be read.", unreadable);
        message += text;
    }
    if (unwritten > 0) {
        std::snprintf(text, sizeof text, "\n%d could not be written.", unwritten);
        message += text;
    }
    return message;
}
