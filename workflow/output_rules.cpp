// Output names, the "autoset" folder, the batch's photo test and its finished message.
#include "workflow/output_rules.h"

#include <sys/stat.h>

#include <cstdio>

#include "browse/path_helpers.h"
#include "browse/photo_rule.h"
#include "formats/format_detect.h"
#include "image/dib_image.h"

std::string outputNameFor(const std::string& outputDirectory, const std::string& sourcePath) {
    std::string out = outputDirectory;
    if (!out.empty() && out.back() != paths::kSeparator) out += paths::kSeparator;
    std::string name = paths::fileNameOf(sourcePath);
    const int named = formats::formatFromName(name);
    if (named == PCX || named == ICO) name = name.substr(0, name.rfind('.')) + ".png";
    return out + "enh_" + name;
}

std::string autosetDirectory(const std::string& inputDirectory) {
    return paths::joinPath(inputDirectory, "enhanced");
}

bool isBatchPhoto(const std::string& path) {
    // The thumbnail views' rule: what the batch takes is what they show.
    return photos::isPhoto(path);
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
