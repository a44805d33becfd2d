// The arguments of "vantifex-cli enhance": the correction settings, the inputs, the output
// folder, the number of parallel jobs and whether metadata is left out.
#pragma once

#include <string>
#include <vector>

#include "cli/commands.h"
#include "workflow/crop_rect.h"
#include "workflow/enhancement_settings.h"

struct EnhanceOptions {
    EnhancementSettings settings;
    std::vector<std::string> inputs;
    std::string outputDirectory;  // empty: each input's "enhanced" sub-folder
    int jobs = 0;                 // 0: one per core
    bool stripMetadata = false;   // the copies carry none of the photos' metadata
    CropRect crop;                // --crop: kept part of every photo (empty: all of it)
    bool help = false;
    // --save-preset: write the settings to this file instead of processing anything.
    std::string savePreset;
    // The refusal came from a preset (--preset, --preset-from), not from the arguments.
    bool presetRefused = false;
};

// The text of "vantifex-cli enhance --help".
extern const char* const kEnhanceHelp;

// Fills options from args; false with a message in *error for anything it cannot accept.
bool parseEnhanceArguments(const Arguments& args, EnhanceOptions* options, std::string* error);
