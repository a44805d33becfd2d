// Format names for the command line and the rules that pick a format for a file read or
// written without one, shared by the sub-commands (header-only so the tests can check it).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

#include "formats/format_detect.h"
#include "formats/format_table.h"
#include "image/dib_image.h"

// The ImageFileType a NAME of --type and friends stands for (the format table's ids), or
// nothing for a name not in the table.
inline std::optional<uint32_t> imageTypeFromName(const std::string& name) {
    const formats::FormatEntry* entry = formats::formatById(name);
    if (!entry) return std::nullopt;
    return entry->type;
}

// The NAME of an ImageFileType; "unknown" outside the table.
inline const char* imageTypeName(uint32_t type) {
    const formats::FormatEntry* entry = formats::formatEntry(type);
    return entry ? entry->id : "unknown";
}

// Every NAME in table order, "bmp, gif, ... or pcx" (lastJoin between the last two).
inline std::string imageTypeNameList(const char* lastJoin) {
    std::string out;
    const auto all = formats::allFormats();
    for (size_t i = 0; i < all.size(); ++i) {
        if (i > 0) out += i + 1 == all.size() ? lastJoin : ", ";
        out += all[i].id;
    }
    return out;
}

// The format a file is read as without --type: what its first bytes show, else what its
// name's extension says, else JPEG (whose decoder then says what is wrong).
inline uint32_t imageTypeForInput(const std::string& path) {
    // Only a regular file is looked into: opening a named pipe could block for ever.
    struct stat st {};
    const bool regular = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const int type = regular ? formats::detectFileFormat(path) : formats::formatFromName(path);
    return type == formats::kUnknownFormat ? JPEG : uint32_t(type);
}

// The format a file is written as without --type: what its name's extension says
// (case-insensitive, any extension of the format table), JPEG for any other name.
inline uint32_t imageTypeForOutput(const std::string& path) {
    const int type = formats::formatFromName(path);
    return type == formats::kUnknownFormat ? JPEG : uint32_t(type);
}
