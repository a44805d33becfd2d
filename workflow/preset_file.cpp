// Presets through toml++: a fixed key table drives writing, reading and the range checks, so a
// key cannot be written that reading would refuse.
#include "workflow/preset_file.h"

#include <toml++/toml.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "workflow/output_rules.h"

namespace {

const NamedCount kCountKeys[] = {
    {"sharpen", &EnhancementSettings::sharpen},
    {"brightness", &EnhancementSettings::brightness},
    {"contrast", &EnhancementSettings::contrast},
};

const char* const kResizeNames[] = {"none", "long_edge", "percent"};
const char* const kFormatNames[] = {"as_source", "jpeg", "png", "tiff", "webp"};

// A TOML basic string; the values written never hold control characters.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string oneOf(const char* const* names, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i) out += i + 1 == count ? " or " : ", ";
        out += '"' + std::string(names[i]) + '"';
    }
    return out;
}

// What the panel can show in its white-balance box: nothing, or "%08x" of three bytes.
bool panelWhiteBalance(const std::string& text) {
    if (text.empty()) return true;
    if (text.size() != 8 || text[0] != '0' || text[1] != '0') return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::string outputProblem(const OutputOptions& o) {
    if (o.jpegQuality < 1 || o.jpegQuality > 100)
        return "'output.jpeg_quality' must be a whole number from 1 to 100";
    if (o.pngCompression < -1 || o.pngCompression > 9)
        return "'output.png_compression' must be a whole number from -1 to 9";
    const int resize = int(o.resize);
    if (resize < 0 || resize > 2) return "'output.resize' must be " + oneOf(kResizeNames, 3);
    if (o.resize == ResizeMode::None && o.resizeValue != 0)
        return "'output.resize_value' must be 0 when 'output.resize' is \"none\"";
    if (o.resize == ResizeMode::LongEdge && (o.resizeValue < 1 || o.resizeValue > kMaxLongEdge))
        return "'output.resize_value' must be a whole number from 1 to " +
               std::to_string(kMaxLongEdge) + " (pixels of the long edge)";
    if (o.resize == ResizeMode::Percent && (o.resizeValue < 1 || o.resizeValue > kMaxPercent))
        return "'output.resize_value' must be a whole number from 1 to " +
               std::to_string(kMaxPercent) + " (percent)";
    const int format = int(o.format);
    if (format < 0 || format > 4) return "'output.format' must be " + oneOf(kFormatNames, 5);
    const std::string pattern = namePatternProblem(o.namePattern);
    if (!pattern.empty()) return "'output.name_pattern' " + pattern;
    return "";
}

// Key names and parser messages come from the file: no terminal escapes reach a message.
std::string printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text;
}

// Reading: each value is taken from the document through one of these, which either stores
// it or says what is wrong (with the line it stands on).
class Reader {
  public:
    Reader(const std::string& source) : source_(source) {}

    const std::string& error() const { return error_; }
    bool failed() const { return !error_.empty(); }

    void fail(const toml::node& node, const std::string& what) {
        if (failed()) return;
        error_ = source_ + ":" + std::to_string(node.source().begin.line) + ": " + printable(what);
    }

    void integer(const toml::node& node, const std::string& key, int64_t low, int64_t high,
                 int* out, const char* unit = "") {
        const auto* value = node.as_integer();
        const std::string range = "'" + key + "' must be a whole number from " +
                                  std::to_string(low) + " to " + std::to_string(high) + unit;
        if (!value || value->get() < low || value->get() > high) return fail(node, range);
        *out = int(value->get());
    }

    void count(const toml::node& node, const std::string& key, int* out) {
        integer(node, key, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), out);
    }

    const std::string* text(const toml::node& node, const std::string& key) {
        const auto* value = node.as_string();
        if (!value) fail(node, "'" + key + "' must be a quoted text");
        return value ? &value->get() : nullptr;
    }

    // A text that must be one of names: its index.
    void choice(const toml::node& node, const std::string& key, const char* const* names,
                size_t count, int* out) {
        const std::string* value = text(node, key);
        if (!value) return;
        for (size_t i = 0; i < count; ++i)
            if (*value == names[i]) {
                *out = int(i);
                return;
            }
        fail(node, "'" + key + "' must be " + oneOf(names, count));
    }

  private:
    std::string source_;
    std::string error_;
};

void readColours(Reader& r, const toml::node& node, EnhancementSettings& s) {
    const toml::table* table = node.as_table();
    if (!table) return r.fail(node, "'colour' must be a table of the eleven colour rows");
    for (const auto& [key, value] : *table) {
        bool known = false;
        for (const NamedCount& k : kNamedCounts)
            if (key.str() == k.name) {
                known = true;
                r.count(value, "colour." + std::string(k.name), &(s.*k.field));
            }
        if (!known) r.fail(value, "unknown key 'colour." + std::string(key.str()) + "'");
    }
}

void readOutput(Reader& r, const toml::node& node, OutputOptions& o) {
    const toml::table* table = node.as_table();
    if (!table) return r.fail(node, "'output' must be a table of output options");
    for (const auto& [key, value] : *table) {
        const std::string name(key.str());
        const std::string full = "output." + name;
        if (name == "jpeg_quality") {
            r.integer(value, full, 1, 100, &o.jpegQuality);
        } else if (name == "png_compression") {
            r.integer(value, full, -1, 9, &o.pngCompression);
        } else if (name == "resize") {
            int mode = 0;
            r.choice(value, full, kResizeNames, 3, &mode);
            o.resize = ResizeMode(mode);
        } else if (name == "resize_value") {
            r.integer(value, full, 0, std::max(kMaxLongEdge, kMaxPercent), &o.resizeValue);
        } else if (name == "enlarge") {
            const auto* flag = value.as_boolean();
            if (!flag) r.fail(value, "'" + full + "' must be true or false");
            if (flag) o.enlarge = flag->get();
        } else if (name == "format") {
            int format = 0;
            r.choice(value, full, kFormatNames, 5, &format);
            o.format = OutputFormat(format);
        } else if (name == "name_pattern") {
            if (const std::string* pattern = r.text(value, full)) {
                const std::string problem = namePatternProblem(*pattern);
                if (!problem.empty()) r.fail(value, "'" + full + "' " + problem);
                o.namePattern = *pattern;
            }
        } else {
            r.fail(value, "unknown key '" + full + "'");
        }
    }
}

void readPointColour(Reader& r, const toml::node& node, ColourRef* out) {
    const toml::array* array = node.as_array();
    const std::string what = "'point_colour' must be [red, green, blue], each 0 to 255";
    if (!array || array->size() != 3) return r.fail(node, what);
    int c[3] = {0, 0, 0};
    for (size_t i = 0; i < 3; ++i) {
        const auto* v = (*array)[i].as_integer();
        if (!v || v->get() < 0 || v->get() > 255) return r.fail((*array)[i], what);
        c[i] = int(v->get());
    }
    *out = colourRef(uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
}

void readDocument(Reader& r, const toml::table& document, EnhancementSettings& s) {
    for (const auto& [key, value] : document) {
        const std::string name(key.str());
        bool known = false;
        for (const NamedCount& k : kCountKeys)
            if (name == k.name) {
                known = true;
                r.count(value, name, &(s.*k.field));
            }
        if (known) continue;
        if (name == "version") {
            int version = 1;
            r.integer(value, name, 1, 1, &version);
        } else if (name == "colour") {
            readColours(r, value, s);
        } else if (name == "output") {
            readOutput(r, value, s.output);
        } else if (name == "white_balance") {
            if (const std::string* text = r.text(value, name)) {
                if (!panelWhiteBalance(*text))
                    r.fail(value,
                           "'white_balance' must be \"\" or eight lower-case hex digits "
                           "\"00bbggrr\" (red in the low byte)");
                s.whiteBalance = *text;
            }
        } else if (name == "point_colour") {
            readPointColour(r, value, &s.pointColour);
        } else if (name == "rotation") {
            r.integer(value, name, -3, 3, &s.rotation, " (quarter turns)");
        } else if (name == "effect") {
            r.choice(value, name, kEffectNames, 9, &s.effect);
        } else {
            r.fail(value, "unknown key '" + name + "'");
        }
        if (r.failed()) return;
    }
    // A resize value is checked against the mode, which may come after it.
    if (!r.failed()) {
        const std::string problem = outputProblem(s.output);
        if (!problem.empty()) {
            const toml::node* at = document.get("output");
            r.fail(at ? *at : static_cast<const toml::node&>(document), problem);
        }
    }
}

std::string systemReason(const std::string& doing, const std::string& path) {
    return "cannot " + doing + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string presetText(const EnhancementSettings& s) {
    std::ostringstream out;
    out << "# Vantifex settings\nversion = 1\n";
    for (const NamedCount& k : kCountKeys) out << k.name << " = " << s.*k.field << "\n";
    out << "white_balance = " << quoted(s.whiteBalance) << "\n";
    out << "point_colour = [" << (s.pointColour & 0xff) << ", " << ((s.pointColour >> 8) & 0xff)
        << ", " << ((s.pointColour >> 16) & 0xff) << "]\n";
    out << "rotation = " << s.rotation << "\n";
    const int effect = s.effect >= 0 && s.effect <= 8 ? s.effect : 0;
    out << "effect = " << quoted(kEffectNames[effect]) << "\n";
    out << "\n[colour]\n";
    for (const NamedCount& k : kNamedCounts) out << k.name << " = " << s.*k.field << "\n";
    const OutputOptions& o = s.output;
    const int resize = std::clamp(int(o.resize), 0, 2);
    const int format = std::clamp(int(o.format), 0, 4);
    out << "\n[output]\n"
        << "jpeg_quality = " << o.jpegQuality << "\n"
        << "png_compression = " << o.pngCompression << "\n"
        << "resize = " << quoted(kResizeNames[resize]) << "\n"
        << "resize_value = " << o.resizeValue << "\n"
        << "enlarge = " << (o.enlarge ? "true" : "false") << "\n"
        << "format = " << quoted(kFormatNames[format]) << "\n"
        << "name_pattern = " << quoted(o.namePattern) << "\n";
    return out.str();
}

std::string settingsProblem(const EnhancementSettings& s) {
    if (s.rotation < -3 || s.rotation > 3)
        return "'rotation' must be a whole number from -3 to 3 (quarter turns)";
    if (s.effect < 0 || s.effect > 8) return "'effect' must be " + oneOf(kEffectNames, 9);
    if (!panelWhiteBalance(s.whiteBalance))
        return "'white_balance' must be \"\" or eight lower-case hex digits \"00bbggrr\" (red in "
               "the low byte)";
    if (s.pointColour > 0xffffff) return "'point_colour' must be [red, green, blue], each 0 to 255";
    return outputProblem(s.output);
}

bool parsePreset(const std::string& text, const std::string& source, EnhancementSettings* settings,
                 std::string* error) {
    toml::table document;
    try {
        document = toml::parse(text, source);
    } catch (const toml::parse_error& e) {
        *error = source + ":" + std::to_string(e.source().begin.line) + ": " +
                 printable(std::string(e.description()));
        return false;
    }
    EnhancementSettings read;
    Reader reader(source);
    readDocument(reader, document, read);
    if (reader.failed()) {
        *error = reader.error();
        return false;
    }
    *settings = read;
    return true;
}

bool readPresetFile(const std::string& path, EnhancementSettings* settings, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = systemReason("read", path);
        return false;
    }
    // A preset is a few hundred bytes; anything far larger is not one.
    std::string text(64 * 1024 + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    if (in.bad()) {
        *error = systemReason("read", path);
        return false;
    }
    text.resize(size_t(in.gcount()));
    if (text.size() > 64 * 1024) {
        *error = path + ": too large for a settings file";
        return false;
    }
    return parsePreset(text, path, settings, error);
}

bool writePresetFile(const std::string& path, const EnhancementSettings& settings,
                     std::string* error) {
    const std::string problem = settingsProblem(settings);
    if (!problem.empty()) {
        *error = problem;
        return false;
    }
    // Through a temporary beside it, so a failed write leaves an earlier preset whole.
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        const std::string text = presetText(settings);
        if (!out || !out.write(text.data(), std::streamsize(text.size())) || !out.flush()) {
            *error = systemReason("write", path);
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = systemReason("write", path);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool readPresetFromPhoto(const std::string& path, EnhancementSettings* settings,
                         std::string* error) {
    const PhotoMetadata metadata = readMetadata(path);
    if (metadata.settingsRecord.empty()) {
        *error = path + ": holds no Vantifex settings record";
        return false;
    }
    return parsePreset(metadata.settingsRecord, path, settings, error);
}

std::shared_ptr<const PhotoMetadata> withSettingsRecord(
    const std::shared_ptr<const PhotoMetadata>& metadata, const EnhancementSettings& settings) {
    auto out =
        metadata ? std::make_shared<PhotoMetadata>(*metadata) : std::make_shared<PhotoMetadata>();
    out->settingsRecord = presetText(settings);
    return out;
}
