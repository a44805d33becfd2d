// Parsing the enhance command line: integer settings, the effect by name or number, the
// white-balance text as the panel shows it, the output options, the inputs and the run's flags.
#include "cli/enhance_options.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "browse/path_helpers.h"
#include "workflow/output_rules.h"
#include "workflow/photo_crop.h"
#include "workflow/preset_file.h"

const char* const kEnhanceHelp =
    "usage: vantifex-cli enhance [SETTINGS] [OUTPUT OPTIONS] INPUT... [-o OUTDIR]\n"
    "                            [--files-from FILE [-0]] [--skip-existing] [--jobs N]\n"
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
    "output options (override a preset's):\n"
    "  --quality N           JPEG and WebP quality, 1 to 100 (default 75)\n"
    "  --png-compression N   PNG compression level, 0 to 9 (default: libpng's)\n"
    "  --resize N | N%       long edge of N pixels, or N percent of the size; shrinking\n"
    "                        averages the area under each pixel (none: full size)\n"
    "  --enlarge             let --resize make a photo larger (else it never does)\n"
    "  --format FORMAT       source (as the photo), jpeg, png, tiff or webp\n"
    "  --name PATTERN        the output name (default enh_{name}): {name} the file\n"
    "                        name, {stem} without its extension, {ext} the extension,\n"
    "                        {n} the photo's number in the run ({n:4} zero-padded to\n"
    "                        4 digits), {date} the day it was taken (YYYY-MM-DD)\n"
    "A run whose outputs would write over one of its photos, or two of them over one\n"
    "file, is refused before anything is written.\n"
    "\n"
    "  -o, --output OUTDIR   write every result into OUTDIR\n"
    "  --files-from FILE     more INPUTs, one per line (- reads standard input)\n"
    "  -0, --null            the names in FILE end with NUL (find -print0)\n"
    "  --skip-existing       a photo whose output is there already is skipped\n"
    "  --jobs N              photos processed at once (default: number of cores;\n"
    "  --threads N           the same); the files written do not depend on N\n"
    "  --strip-metadata      write no metadata at all (no camera, date or GPS)\n"
    "  --region X,Y,W,H      write only that part of each result: W x H pixels from\n"
    "                        (X, Y), counted from the top-left corner of the turned\n"
    "                        result; exactly those pixels of the whole result\n"
    "  --help                show this text\n"
    "\n"
    "Progress goes to stderr; the summary, with the reason of each photo that could\n"
    "not be read or written, to stdout. Ctrl-C (or SIGTERM) stops after the photos in\n"
    "hand. Exit status: 0 every photo was written (or skipped), 1 some could not be\n"
    "read or written, 2 bad arguments or a refused run, 130 stopped by SIGINT, 143\n"
    "stopped by SIGTERM. See docs/scale-out.md for runs over many machines.\n";

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

// "X,Y,W,H": four whole numbers, the corner not negative and the sides above 0.
bool parseRegion(const std::string& text, CropRect* region) {
    int v[4] = {};
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = i < 3 ? text.find(',', start) : text.size();
        if (comma == std::string::npos || !parseInt(text.substr(start, comma - start), &v[i]))
            return false;
        start = comma + 1;
    }
    if (v[0] < 0 || v[1] < 0 || v[2] < 1 || v[3] < 1) return false;
    *region = CropRect{v[0], v[1], v[2], v[3]};
    return true;
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

// The output options' flags: each reads its value into the options, or says what it needs.
struct OutputOption {
    const char* name;
    const char* needs;
    bool (*read)(const std::string& value, OutputOptions* output);
};

bool readQuality(const std::string& value, OutputOptions* o) {
    int n = 0;
    if (!parseInt(value, &n) || n < 1 || n > 100) return false;
    o->jpegQuality = n;
    return true;
}

bool readPngCompression(const std::string& value, OutputOptions* o) {
    int n = 0;
    if (!parseInt(value, &n) || n < 0 || n > 9) return false;
    o->pngCompression = n;
    return true;
}

bool readResize(const std::string& value, OutputOptions* o) {
    if (value == "none") {
        o->resize = ResizeMode::None;
        o->resizeValue = 0;
        return true;
    }
    const bool percent = !value.empty() && value.back() == '%';
    int n = 0;
    if (!parseInt(percent ? value.substr(0, value.size() - 1) : value, &n) || n < 1 ||
        n > (percent ? kMaxPercent : kMaxLongEdge))
        return false;
    o->resize = percent ? ResizeMode::Percent : ResizeMode::LongEdge;
    o->resizeValue = n;
    return true;
}

bool readFormat(const std::string& value, OutputOptions* o) {
    static const struct {
        const char* name;
        OutputFormat format;
    } formats[] = {{"source", OutputFormat::AsSource}, {"as_source", OutputFormat::AsSource},
                   {"jpeg", OutputFormat::Jpeg},       {"jpg", OutputFormat::Jpeg},
                   {"png", OutputFormat::Png},         {"tiff", OutputFormat::Tiff},
                   {"tif", OutputFormat::Tiff},        {"webp", OutputFormat::Webp}};
    const std::string lower = paths::toLower(value);
    for (const auto& f : formats)
        if (lower == f.name) {
            o->format = f.format;
            return true;
        }
    return false;
}

bool readNamePattern(const std::string& value, OutputOptions* o) {
    if (!namePatternProblem(value).empty()) return false;
    o->namePattern = value;
    return true;
}

const OutputOption kOutputOptions[] = {
    {"--quality", "a whole number from 1 to 100", readQuality},
    {"--png-compression", "a whole number from 0 to 9", readPngCompression},
    {"--resize", "N (1 to 65535 pixels), N% (1 to 1000) or none", readResize},
    {"--format", "source, jpeg, png, tiff or webp", readFormat},
    {"--name", "a file name of 1 to 200 bytes without '/' or control characters", readNamePattern},
};
static_assert(kMaxLongEdge == 65535 && kMaxPercent == 1000 && kMaxNamePattern == 200,
              "the texts of kOutputOptions name these limits");

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
        if (arg == "--skip-existing") {
            options->skipExisting = true;
            continue;
        }
        if (arg == "--enlarge") {
            options->settings.output.enlarge = true;
            continue;
        }
        if (arg == "-0" || arg == "--null") {
            options->nulSeparated = true;
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
        if (name == "--jobs" || name == "-j" || name == "--threads") {
            if (!takeValue()) return false;
            int jobs = 0;
            if (!parseInt(value, &jobs) || jobs < 1 || jobs > 1024) {
                *error = name + " needs a whole number from 1 to 1024, not '" + value + "'";
                return false;
            }
            options->jobs = jobs;
            continue;
        }
        if (name == "--files-from") {
            if (!takeValue()) return false;
            if (value.empty()) {
                *error = "--files-from needs a file name, or - for standard input";
                return false;
            }
            options->filesFrom = value;
            continue;
        }
        const OutputOption* output = nullptr;
        for (const OutputOption& row : kOutputOptions)
            if (name == row.name) output = &row;
        if (output) {
            if (!takeValue()) return false;
            if (!output->read(value, &options->settings.output)) {
                *error = name + " needs " + output->needs + ", not '" + value + "'";
                return false;
            }
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
        if (name == "--region") {
            if (!takeValue()) return false;
            CropRect region;
            if (!parseRegion(value, &region)) {
                *error =
                    "--region needs X,Y,W,H (whole numbers, W and H above 0), not '" + value + "'";
                return false;
            }
            options->region = region;
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
        if (options->inputs.empty() && options->filesFrom.empty()) return true;
        *error = "--save-preset processes nothing: give it no INPUT";
        return false;
    }
    if (options->nulSeparated && options->filesFrom.empty()) {
        *error = "-0 goes with --files-from FILE";
        return false;
    }
    if (options->inputs.empty() && options->filesFrom.empty()) {
        *error = "enhance needs at least one INPUT photo or folder (see --help)";
        return false;
    }
    return true;
}
