// Presets: the whole settings record (panel values and output options) as a small TOML text,
// saved to a ".vfxpreset" file, read back, and carried in the XMP of every corrected copy so
// that the copy says how it was made.
#pragma once

#include <memory>
#include <string>

#include "metadata/photo_metadata.h"
#include "workflow/enhancement_settings.h"

inline constexpr const char* kPresetExtension = ".vfxpreset";

// The text of a preset: every key with its value, always in the same order, so that the same
// settings always give the same bytes (the copies' metadata depends on it).
std::string presetText(const EnhancementSettings& settings);

// Reads preset text. Missing keys keep their defaults; an unknown key, a value of the wrong
// type or outside what the panel can reach, and a TOML syntax error are refused with
// "<source>:<line>: <what>" in *error, and *settings is left as it was.
bool parsePreset(const std::string& text, const std::string& source, EnhancementSettings* settings,
                 std::string* error);

// The first value of settings the panel cannot reach, as "'key' must be ...", or "".
std::string settingsProblem(const EnhancementSettings& settings);

// Files: the same refusals, plus the system's reason when the file cannot be read or written.
// Writing refuses settings that reading would refuse, and replaces the file whole.
bool readPresetFile(const std::string& path, EnhancementSettings* settings, std::string* error);
bool writePresetFile(const std::string& path, const EnhancementSettings& settings,
                     std::string* error);

// The settings a corrected copy records in its XMP; refused like a preset file when the
// photo holds none or a damaged one.
bool readPresetFromPhoto(const std::string& path, EnhancementSettings* settings,
                         std::string* error);

// A photo's metadata (null when it has none) with the settings record set, for its copy.
std::shared_ptr<const PhotoMetadata> withSettingsRecord(
    const std::shared_ptr<const PhotoMetadata>& metadata, const EnhancementSettings& settings);
