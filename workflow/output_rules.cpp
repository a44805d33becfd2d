// Output names, the "autoset" folder, the batch's photo test and its finished message.
#include "workflow/output_rules.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "browse/path_helpers.h"
#include "browse/photo_rule.h"
#include "formats/format_detect.h"
#include "formats/format_table.h"
#include "image/dib_image.h"
#include "metadata/photo_metadata.h"

namespace {

// The source's name with the extension of the format it is written as.
std::string writtenName(const std::string& sourcePath, OutputFormat format) {
    std::string name = paths::fileNameOf(sourcePath);
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    switch (format) {
        case OutputFormat::Jpeg:
            return stem + formats::writtenExtension(JPEG);
        case OutputFormat::Png:
            return stem + formats::writtenExtension(PNG);
        case OutputFormat::Tiff:
            return stem + formats::writtenExtension(TIFF);
        case OutputFormat::Webp:
            return stem + formats::writtenExtension(WEBP);
        case OutputFormat::AsSource:
            break;
    }
    // A photo of a format the batch does not write back (PCX, icons, phone and camera
    // formats) gets the extension of the one it is written as.
    const int named = formats::formatFromName(name);
    const formats::FormatEntry* entry = named < 0 ? nullptr : formats::formatEntry(uint32_t(named));
    if (entry && entry->writtenAs != entry->type)
        name = name.substr(0, name.rfind('.')) + formats::writtenExtension(entry->writtenAs);
    return name;
}

// The day the photo was taken, else the day its file last changed: "YYYY-MM-DD".
std::string photoDate(const std::string& sourcePath) {
    const std::string taken = readMetadata(sourcePath).dateTaken;
    if (taken.size() >= 10 && taken[4] == ':' && taken[7] == ':' && taken.compare(0, 4, "0000"))
        return taken.substr(0, 4) + "-" + taken.substr(5, 2) + "-" + taken.substr(8, 2);
    struct stat st {};
    if (stat(sourcePath.c_str(), &st) != 0) return "0000-00-00";
    struct tm day {};
    localtime_r(&st.st_mtime, &day);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &day);
    return text;
}

}  // namespace

std::string outputNameFor(const std::string& outputDirectory, const std::string& sourcePath) {
    return outputNameFor(outputDirectory, sourcePath, OutputOptions{}, 1);
}

std::string outputNameFor(const std::string& outputDirectory, const std::string& sourcePath,
                          const OutputOptions& options, size_t n) {
    std::string out = outputDirectory;
    if (!out.empty() && out.back() != paths::kSeparator) out += paths::kSeparator;
    const std::string name = writtenName(sourcePath, options.format);
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    const std::string& pattern = options.namePattern;
    std::string result;
    for (size_t i = 0; i < pattern.size();) {
        const size_t close = pattern[i] == '{' ? pattern.find('}', i) : std::string::npos;
        const std::string field =
            close == std::string::npos ? std::string() : pattern.substr(i + 1, close - i - 1);
        int width = 0;
        if (field.rfind("n:", 0) == 0 && field.size() > 2 && field.size() <= 4 &&
            field.find_first_not_of("0123456789", 2) == std::string::npos)
            width = std::stoi(field.substr(2));
        if (field == "name") {
            result += name;
        } else if (field == "stem") {
            result += stem;
        } else if (field == "ext") {
            result += ext;
        } else if (field == "date") {
            result += photoDate(sourcePath);
        } else if (field == "n" || width > 0) {
            char number[128];
            std::snprintf(number, sizeof number, "%0*zu", std::min(width, 64), n);
            result += number;
        } else {
            result += pattern[i++];
            continue;
        }
        i = close + 1;
    }
    return out + result;
}

std::string namePatternProblem(const std::string& pattern) {
    if (pattern.empty() || pattern.size() > kMaxNamePattern)
        return "must be a file name of 1 to " + std::to_string(kMaxNamePattern) + " bytes";
    for (char c : pattern)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "must be a file name without '/' or control characters";
    return "";
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
