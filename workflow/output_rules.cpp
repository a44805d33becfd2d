// Output names, the "autoset" folder, the batch's photo test and its finished message.
#include "workflow/output_rules.h"

#include <sys/stat.h>

#include <cstdio>

#include "browse/path_helpers.h"

std::string outputNameFor(const std::string& outputDirectory, const std::string& sourcePath) {
    std::string out = outputDirectory;
    if (!out.empty() && out.back() != paths::kSeparator) out += paths::kSeparator;
    return out + "enh_" + paths::fileNameOf(sourcePath);
}

std::string autosetDirectory(const std::string& inputDirectory) {
    return paths::joinPath(inputDirectory, "enhanced");
}

bool isBatchPhotoPath(const std::string& path) {
    const std::string lower = paths::toLower(path);
    for (const char* ext : {".jpg", ".jpeg", ".gif", ".bmp", ".dib", ".png"})
        if (lower.find(ext) != std::string::npos) return true;
    return false;
}

void createOutputDirectory(const std::string& directory) {
    if (!directory.empty()) mkdir(directory.c_str(), 0777);
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
