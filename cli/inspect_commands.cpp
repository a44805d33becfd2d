// info, convert and dump: inspection and conversion through the format dispatch.
// Exit status 0 on success, 1 when a file cannot be read or written, 2 for bad arguments.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/file_types.h"
#include "cli/pam_file.h"
#include "formats/image_stream.h"
#include "image/dib_image.h"
#include "metadata/photo_metadata.h"
#include "workflow/preset_file.h"

namespace {

const char* kInfoUsage = "vantifex-cli info FILE [--type NAME]";
const char* kConvertUsage = "vantifex-cli convert IN OUT [--in-type NAME] [--out-type NAME]";
const char* kDumpUsage = "vantifex-cli dump FILE [--type NAME] -o OUT.pam";

struct ParsedArguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    bool help = false;
};

// Splits arguments into positional ones and the given value options ("--type NAME" or
// "--type=NAME"). On a mistake returns false with a short reason.
bool parseArguments(const Arguments& args, const std::set<std::string>& valueOptions,
                    ParsedArguments& out, std::string& reason) {
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            out.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        if (!valueOptions.count(name)) {
            reason = "unknown option '" + name + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                reason = "'" + name + "' needs a value";
                return false;
            }
            value = args[++i];
        }
        if (out.options.count(name)) {
            reason = "'" + name + "' given twice";
            return false;
        }
        out.options[name] = value;
    }
    return true;
}

int usage(const char* text, const std::string& reason) {
    return usageError(reason.empty() ? std::string(text) : std::string(text) + " (" + reason + ")");
}

// The type an option names, or, when it is absent, the content's (reading) or the name's
// (writing) for the path.
bool chooseType(const ParsedArguments& parsed, const std::string& option, const std::string& path,
                bool reading, uint32_t& type, std::string& reason) {
    const auto it = parsed.options.find(option);
    if (it == parsed.options.end()) {
        type = reading ? imageTypeForInput(path) : imageTypeForOutput(path);
        return true;
    }
    const auto named = imageTypeFromName(it->second);
    if (!named) {
        reason = "unknown type '" + it->second + "'; use " + imageTypeNameList(" or ");
        return false;
    }
    type = *named;
    return true;
}

// "cannot VERB PATH: REASON", as the library words its own failures.
std::string cannotMessage(const char* verb, const std::string& path, int error) {
    return std::string("cannot ") + verb + " " + path + ": " + std::strerror(error);
}

void reportError(const std::string& message) {
    std::fprintf(stderr, "error: %s\n", message.c_str());
}

// Loads as loadFromFile does, but tells a file that cannot be opened from one that cannot be
// decoded. Prints the error and returns false on failure.
bool loadImage(DibImage& image, const std::string& path, uint32_t type) {
    FILE* file = std::fopen(path.c_str(), "rb");
    int error = file ? 0 : errno;
    struct stat st {};
    if (file && fstat(fileno(file), &st) != 0) error = errno;
    if (file && !error && S_ISDIR(st.st_mode)) error = EISDIR;
    if (error) {
        if (file) std::fclose(file);
        reportError(cannotMessage("open", path, error));
        return false;
    }
    image.setLastError("");
    bool ok;
    {
        ImageStream stream(file);
        ok = image.loadFromStream(stream, type);
    }
    std::fclose(file);
    if (!ok) reportError(image.lastError()[0] ? image.lastError() : "cannot read " + path);
    return ok;
}

const char* yesNo(bool value) {
    return value ? "yes" : "no";
}

}  // namespace

// The settings a corrected copy was made with, as the preset they amount to (indented), or
// why the record is refused; the file's own bytes are never printed (terminal escapes).
static void printSettingsRecord(const std::string& record, const std::string& path) {
    if (record.empty()) {
        std::printf("settings: none\n");
        return;
    }
    EnhancementSettings settings;
    std::string error;
    if (!parsePreset(record, path, &settings, &error)) {
        for (char& c : error)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
        std::printf("settings: refused: %s\n", error.c_str());
        return;
    }
    std::printf("settings:\n");
    const std::string text = presetText(settings);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        std::printf("%s%s\n", line.empty() ? "" : "  ", line.c_str());
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

int runInfo(const Arguments& args) {
    ParsedArguments parsed;
    std::string reason;
    if (!parseArguments(args, {"--type"}, parsed, reason)) return usage(kInfoUsage, reason);
    if (parsed.help) {
        std::printf("usage: %s\n", kInfoUsage);
        return 0;
    }
    if (parsed.positional.size() != 1)
        return usage(kInfoUsage, parsed.positional.empty() ? "no FILE" : "one FILE only");
    const std::string& path = parsed.positional[0];
    uint32_t type = 0;
    if (!chooseType(parsed, "--type", path, true, type, reason)) return usage(kInfoUsage, reason);

    DibImage image;
    if (!loadImage(image, path, type)) return 1;
    std::printf("type: %s\n", imageTypeName(image.type()));
    std::printf("width: %d\n", int(image.width()));
    std::printf("height: %d\n", int(image.height()));
    std::printf("bitCount: %u\n", unsigned(image.bitCount()));
    std::printf("colorsUsed: %u\n", unsigned(image.header.colorsUsed));
    std::printf("colorType: %u\n", unsigned(image.info.colorType));
    std::printf("alpha: %s\n", yesNo(image.hasAlpha()));
    std::printf("backgroundIndex: %d\n", int(image.info.backgroundIndex));
    std::printf("alphaPaletteEnabled: %s\n", yesNo(image.info.alphaPaletteEnabled));
    std::printf("xDpi: %d\n", int(image.info.xDpi));
    std::printf("yDpi: %d\n", int(image.info.yDpi));
    std::printf("frameCount: %d\n", int(image.info.frameCount));
    // What the camera wrote; the sizes above are the picture as stored, before any turn.
    const PhotoMetadata metadata = readMetadata(path);
    if (metadata.orientation)
        std::printf("orientation: %d\n", metadata.orientation);
    else
        std::printf("orientation: none\n");
    std::string camera = metadata.cameraModel;
    // Most cameras repeat the maker at the start of the model ("Canon" / "Canon EOS 5D").
    if (!metadata.cameraMake.empty() && camera.rfind(metadata.cameraMake, 0) != 0)
        camera = camera.empty() ? metadata.cameraMake : metadata.cameraMake + " " + camera;
    std::printf("camera: %s\n", camera.empty() ? "none" : camera.c_str());
    std::printf("dateTaken: %s\n",
                metadata.dateTaken.empty() ? "none" : metadata.dateTaken.c_str());
    std::printf("iccProfile: %s\n", yesNo(metadata.hasIcc()));
    printSettingsRecord(metadata.settingsRecord, path);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int runConvert(const Arguments& args) {
    ParsedArguments parsed;
    std::string reason;
    if (!parseArguments(args, {"--in-type", "--out-type"}, parsed, reason))
        return usage(kConvertUsage, reason);
    if (parsed.help) {
        std::printf("usage: %s\n", kConvertUsage);
        return 0;
    }
    if (parsed.positional.size() != 2)
        return usage(kConvertUsage,
                     parsed.positional.size() < 2 ? "IN and OUT are needed" : "too many files");
    const std::string& input = parsed.positional[0];
    const std::string& output = parsed.positional[1];
    uint32_t inType = 0;
    uint32_t outType = 0;
    if (!chooseType(parsed, "--in-type", input, true, inType, reason) ||
        !chooseType(parsed, "--out-type", output, false, outType, reason))
        return usage(kConvertUsage, reason);

    DibImage image;
    if (!loadImage(image, input, inType)) return 1;
    image.setLastError("");
    if (!image.saveToFile(output.c_str(), outType)) {
        // saveToFile leaves lastError empty when the file itself could not be made.
        reportError(image.lastError()[0] ? image.lastError() : "cannot open " + output);
        return 1;
    }
    return 0;
}

int runDump(const Arguments& args) {
    ParsedArguments parsed;
    std::string reason;
    if (!parseArguments(args, {"--type", "-o"}, parsed, reason)) return usage(kDumpUsage, reason);
    if (parsed.help) {
        std::printf("usage: %s\n", kDumpUsage);
        return 0;
    }
    if (parsed.positional.size() != 1)
        return usage(kDumpUsage, parsed.positional.empty() ? "no FILE" : "one FILE only");
    if (!parsed.options.count("-o")) return usage(kDumpUsage, "-o OUT.pam is needed");
    const std::string& path = parsed.positional[0];
    const std::string& output = parsed.options["-o"];
    uint32_t type = 0;
    if (!chooseType(parsed, "--type", path, true, type, reason)) return usage(kDumpUsage, reason);

    DibImage image;
    if (!loadImage(image, path, type)) return 1;
    FILE* file = std::fopen(output.c_str(), "wb");
    if (!file) {
        reportError(cannotMessage("open", output, errno));
        return 1;
    }
    errno = 0;
    bool ok = writePam(image, file);
    int error = ok ? 0 : errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        // A cut-short PAM file is worse than none; a device or pipe is left alone.
        struct stat st {};
        if (lstat(output.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(output.c_str());
        reportError(error ? cannotMessage("write", output, error) : "cannot write " + output);
        return 1;
    }
    return 0;
}
