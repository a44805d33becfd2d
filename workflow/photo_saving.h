// Saving one corrected photo, for every save command, printing and the command line: no
// dialogs, no windows, only the photo, the settings and the output path.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "enhance/photo_edit.h"
#include "workflow/crop_rect.h"
#include "workflow/enhancement_settings.h"
#include "workflow/enhancement_steps.h"

// What the user is told when there is no photo to save or print, or it is gone or cannot be read or
// written.
inline constexpr const char* kNoSelectedImage = "No selected image.";
inline constexpr const char* kCannotLocateFile = "Cannot locate file.";
inline constexpr const char* kCannotReadFile = "Cannot read file.";
inline constexpr const char* kCannotWriteFile = "Cannot write file.";

// The size a width x height picture is written at under the options' resize: the long edge
// made N pixels, or both sides N %, each side at least 1 pixel, aspect kept; a resize that
// would enlarge leaves the size unless output.enlarge. {width, height} without a resize.
std::pair<int32_t, int32_t> exportSize(int32_t width, int32_t height, const OutputOptions& output);

// The one way a photo is saved (through BatchJob): loadForSaving, then enhanceAndWrite.
// Reads a photo at full resolution for saving; false when it cannot be read (empty picture).
bool loadForSaving(const std::string& sourcePath, PhotoEdit& photo);
// Applies the settings to a loaded photo, says "Saving..." when asked, and writes the
// output picture to path by its name (through a temporary, so a failed write leaves any
// earlier file whole). *writtenPath gets the path written (lower-cased name, GIF as .jpg).
// crop: as renderForSaving takes it. With a region only that part of the (cropped) result
// is written (renderRegion); false when it does not lie inside the result.
bool enhanceAndWrite(PhotoEdit& photo, const EnhancementSettings& settings, const std::string& path,
                     StatusSink* sink, bool saySaving, std::string* writtenPath = nullptr,
                     const CropRect& crop = {}, const CropRect* region = nullptr);
