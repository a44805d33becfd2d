// Format names for the command line and the by-name rule that picks a format from a path,
// shared by the sub-commands (header-only so the tests can check it directly).
#pragma once

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>

#include "image/dib_image.h"

// The NAMEs of --type and friends, indexed by ImageFileType.
inline constexpr const char* kImageTypeNames[] = {"bmp", "gif",  "jpeg", "png",
                                                  "ico", "tiff", "tga",  "pcx"};
inline constexpr uint32_t kImageTypeCount = 8;

// The ImageFileType a NAME stands for, or nothing for a name not in the list.
inline std::optional<uint32_t> imageTypeFromName(const std::string& name) {
    for (uint32_t type = 0; type < kImageTypeCount; ++type)
        if (name == kImageTypeNames[type]) return type;
    return std::nullopt;
}

// The NAME of an ImageFileType; "unknown" outside the list.
inline const char* imageTypeName(uint32_t type) {
    return type < kImageTypeCount ? kImageTypeNames[type] : "unknown";
}

// The application's by-name rule on the lower-cased path: ".jpg" anywhere after the first
// character is JPEG; else ".bmp", ".png", ".gif" in that order (also after the first
// character); anything else, ".jpeg" and ".dib" included, is JPEG.
inline uint32_t imageTypeForPath(const std::string& path) {
    std::string lower = path;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    auto found = [&](const char* extension) {
        return lower.find(extension, 1) != std::string::npos;
    };
    if (found(".jpg")) return JPEG;
    if (found(".bmp")) return BMP;
    if (found(".png")) return PNG;
    if (found(".gif")) return GIF;
    return JPEG;
}
