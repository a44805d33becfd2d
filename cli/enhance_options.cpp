// Parsing the enhance command line: integer settings, the effect by name or number, the
// white-balance text as the panel shows it, -o and --jobs.
#include "cli/enhance_options.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "browse/path_helpers.h"
#include "workflow/photo_crop.h"
#include "workflow/preset_file.h"

const char* const kEnhanceHelp =
    "usage: vantifex-cli enhance [SETTINGS] INPUT... [-o OUTDIR] [--jobs N]\n"
    "                            [--strip-metadata] [--preset FILE | --preset-from PHOTO]\n"
    "       vantifex-cli enhance [SETTINGS] --save-preset FILE\n"
    "\n"
    "Reads each photo again at full resolution, applies the settings and writes\n"
    "\"enh_\" + its file name into OUTDIR (default: the \"enhanced\" sub-folder of the\n"
    "photo's folder, created when missing). A photo is read as what its content is;\n"
    "the result's format follows the output name: .tif/.tiff, .tga, .bmp/.dib, .png\n"
    "stay in their format, a full-colour picture named .gif is written as JPEG under\n"
    ".jpg, .pcx and .ico photos as PNG under .png, any other name as JPEG.\n"
    "A photo is first turned upright by its EXIF orientation. Its EXIF, XMP, IPTC,\n"
    "colour profile and comment go into JPEG copies (PNG and TIFF: what they can hold),\n"
    "with the orientation 1, the new size and no EXIF thumbnail.\n"
    "INPUT is a photo or a folder (all of its files; files that are not photos are\n"
    "skipped).\n"
    "\n"
    "settings (integers, 0 by default):\n"
    "  --red N --green N --blue N --yellow N --cyan N --magenta N --white N\n"
    "  --rose N --orange N --skin N --brown N\n"
    "                        colour rows: each step moves a channel by 4\n"
    "  --sharpen N           N > 0 sharpens (two passes per step), N < 0 blurs\n"
    "  --brightness N        added to every channel\n"
    "  --contrast N          distance from mid-grey scaled by (100 + N) %\n"
    "  --rotation N          quarter turns, clockwise for N > 0\n"
    "  --white-balance HEX   corrections as eight hex digits, red in the low byte\n"
    "                        (one white-point pick on black gives 000c0c0c)\n"
    "  --effect NAME         none, bw, sepia1 ... sepia6, negative (or 0 to 8)\n"
    "  --crop X,Y,W,H        keep only that part of each photo, in pixels of the\n"
    "                        upright photo (after --rotation), before every step\n"
    "\n"
    "  --preset FILE         start from the settings of a .vfxpreset file; settings\n"
    "                        given here override it, wherever they stand\n"
    "  --preset-from PHOTO   the same, from the settings recorded in a corrected copy\n"
    "  --save-preset FILE    write the settings to FILE and process nothing\n"
    "                        (every copy records its settings in its XMP as well)\n"
    "\n"
    "  -o, --output OUTDIR   write every result into OUTDIR\n"
    "  --jobs N              photos processed at once (default: number of cores);\n"
    "                        the files written do not depend on N\n"
    "  --strip-metadata      write no metadata at all (no camera, date or GPS)\n"
    "  --help                show this text\n"
    "\n"
    "Progress goes to stderr; the summary, with the reason of each photo that could\n"
    "not be read or written, to stdout. Ctrl-C (or SIGTERM) stops after the photos in\n"
    "hand. Exit status: 0 every photo was written, 1 some could not be read or\n"
    "written, 2 bad arguments, 130 stopped by SIGINT, 143 stopped by SIGTERM.\n";

namespace {

struct IntegerOption {
    const char* name;
    int EnhancementSettings::*field;
};

// Beside the colour rows.
const IntegerOption kIntegerOptions[] = {
    {"sharpen", &EnhancementSettings::sharpen},
    {"brightness", &EnhancementSettings::brightness},
    {"contrast", &EnhancementSettings::contrast},
    {"rotation", &EnhancementSettings::rotation},
};

bool parseInt(const std::string& text, int* value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, *value);
    return ec == std::errc() && ptr == end && begin != end;
}

bool parseEffect(const std::string& text, int* effect) {
    static const char* const names[9] = {"none",   "bw",     "sepia1", "sepia2",  "sepia3",
                                         "sepia4", "sepia5", "sepia6", "negative"};
    const std::string lower = paths::toLower(text);
    for (int i = 0; i < 9; ++i)
        if (lower == names[i]) {
            *effect = i;
            return true;
        }
    int number = 0;
    if (parseInt(text, &number) && number >= 0 && number <= 8) {
        *effect = number;
        return true;
    }
    return false;
}

// The panel shows an empty text or eight hex digits; one to eight digits (an optional 0x)
// are taken and kept in the panel's form.
bool parseWhiteBalanceText(const std::string& text, std::string* out) {
    if (text.empty()) {
        out->clear();
        return true;
    }
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty() || digits.size() > 8) return false;
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    char formatted[16];
    std::snprintf(formatted, sizeof formatted, "%08x", parseWhiteBalance(digits));
    *out = formatted;
    return true;
}

// --preset and --preset-from are read before the other settings, so that those override them
// wherever they stand.
bool loadPresetArgument(const Arguments& args, EnhanceOptions* options, std::string* error) {
    std::string from, value;
    for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        const std::string& arg = args[i];
        for (const char* name : {"--preset", "--preset-from"}) {
            const std::string n = name;
            if (arg == n && i + 1 < args.size()) {
                value = args[i + 1];
            } else if (arg.rfind(n + "=", 0) == 0) {
                value = arg.substr(n.size() + 1);
            } else {
                continue;
            }
            if (!from.empty()) {
                *error = "only one --preset or --preset-from may be given";
                return false;
            }
            from = n;
        }
    }
    if (from.empty()) return true;
    const bool ok = from == "--preset" ? readPresetFile(value, &options->settings, error)
                                       : readPresetFromPhoto(value, &options->settings, error);
    options->presetRefused = !ok;
    return ok;
}

}  // namespace

bool parseEnhanceArguments(const Arguments& args, EnhanceOptions* options, std::string* error) {
    if (!loadPresetArgument(args, options, error)) return false;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg.empty() || arg == "-") {
                *error = "'" + arg + "' is not a file or folder";
                return false;
            }
            options->inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options->help = true;
            continue;
        }
        if (arg == "--strip-metadata") {
            options->stripMetadata = true;
            continue;
        }
        // "--name value" or "--name=value"; -o takes its value as the next argument.
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (inlineValue) return true;
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        if (name == "-o" || name == "--output") {
            if (!takeValue()) return false;
            if (value.empty()) {
                *error = name + " needs a folder";
                return false;
            }
            options->outputDirectory = value;
            continue;
        }
        if (name == "--jobs" || name == "-j") {
            if (!takeValue()) return false;
            int jobs = 0;
            if (!parseInt(value, &jobs) || jobs < 1 || jobs > 1024) {
                *error = "--jobs needs a whole number from 1 to 1024, not '" + value + "'";
                return false;
            }
            options->jobs = jobs;
            continue;
        }
        if (name == "--preset" || name == "--preset-from") {
            if (!takeValue()) return false;  // already read
            continue;
        }
        if (name == "--save-preset") {
            if (!takeValue()) return false;
            if (value.empty()) {
                *error = "--save-preset needs a file name";
                return false;
            }
            options->savePreset = value;
            continue;
        }
        if (name == "--effect") {
            if (!takeValue()) return false;
            if (!parseEffect(value, &options->settings.effect)) {
                *error = "--effect must be none, bw, sepia1 to sepia6, negative or 0 to 8, not '" +
                         value + "'";
                return false;
            }
            continue;
        }
        if (name == "--crop") {
            if (!takeValue()) return false;
            if (!parseCrop(value, &options->crop)) {
                *error = "--crop needs X,Y,W,H in pixels (W and H above 0), not '" + value + "'";
                return false;
            }
            continue;
        }
        if (name == "--white-balance") {
            if (!takeValue()) return false;
            if (!parseWhiteBalanceText(value, &options->settings.whiteBalance)) {
                *error = "--white-balance needs one to eight hex digits, not '" + value + "'";
                return false;
            }
            continue;
        }
        bool known = false;
        std::vector<IntegerOption> integers(std::begin(kIntegerOptions), std::end(kIntegerOptions));
        for (const NamedCount& row : kNamedCounts) integers.push_back({row.name, row.field});
        for (const IntegerOption& option : integers) {
            if (name != std::string("--") + option.name) continue;
            known = true;
            if (!takeValue()) return false;
            if (!parseInt(value, &(options->settings.*option.field))) {
                *error = name + " needs a whole number, not '" + value + "'";
                return false;
            }
            break;
        }
        if (!known) {
            *error = "unknown option '" + arg + "' (see vantifex-cli enhance --help)";
            return false;
        }
    }
    if (options->help) return true;
    if (!options->savePreset.empty()) {
        if (options->inputs.empty()) return true;
        *error = "--save-preset processes nothing: give it no INPUT";
        return false;
    }
    if (options->inputs.empty()) {
        *error = "enhance needs at least one INPUT photo or folder (see --help)";
        return false;
    }
    return true;
}
