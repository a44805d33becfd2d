// The arguments of "vantifex-cli enhance": the correction settings with their output options,
// the inputs (named or listed in a file), the output folder, the number of parallel jobs,
// whether metadata is left out and whether outputs already there are skipped.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "workflow/crop_rect.h"
#include "workflow/enhancement_settings.h"

struct EnhanceOptions {
    EnhancementSettings settings;
    std::vector<std::string> inputs;
    std::string outputDirectory;  // empty: each input's "enhanced" sub-folder
    int jobs = 0;                 // 0: one per core (--jobs, --threads)
    bool stripMetadata = false;   // the copies carry none of the photos' metadata
    bool skipExisting = false;    // an output already there is skipped, not written again
    // --files-from: more inputs, one per line ("-" for standard input), or NUL-separated (-0).
    std::string filesFrom;
    bool nulSeparated = false;
    CropRect crop;  // --crop: kept part of every photo (empty: all of it)
    bool help = false;
    // --save-preset: write the settings to this file instead of processing anything.
    std::string savePreset;
    // The refusal came from a preset (--preset, --preset-from), not from the arguments.
    bool presetRefused = false;
    // --region: only this part of each result is written (pixels from its top-left corner).
    std::optional<CropRect> region;
};

// The text of "vantifex-cli enhance --help".
extern const char* const kEnhanceHelp;

// Fills options from args; false with a message in *error for anything it cannot accept.
bool parseEnhanceArguments(const Arguments& args, EnhanceOptions* options, std::string* error);
