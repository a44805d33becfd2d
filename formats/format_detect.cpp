// Which format a file holds, by the signatures and extensions of the format table.
#include "formats/format_detect.h"

#include <cstdio>

#include "formats/format_table.h"

namespace formats {

int formatFromContent(const uint8_t* h, size_t length) {
    for (const FormatEntry& entry : allFormats())
        if (entry.signature && entry.signature(h, length)) return int(entry.type);
    for (const FormatEntry& entry : allFormats())
        if (entry.looseSignature && entry.looseSignature(h, length)) return int(entry.type);
    return kUnknownFormat;
}

int formatFromName(const std::string& path) {
    size_t start = path.find_last_of('/');
    start = start == std::string::npos ? 0 : start + 1;
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot <= start) return kUnknownFormat;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    for (const FormatEntry& entry : allFormats())
        if (hasExtension(entry, ext)) return int(entry.type);
    return kUnknownFormat;
}

namespace {

int readAndDetect(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return kUnknownFormat;
    uint8_t head[kDetectBytes];
    const size_t n = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return formatFromContent(head, n);
}

}  // namespace

int detectFileFormat(const std::string& path) {
    const int byContent = readAndDetect(path);
    const int byName = formatFromName(path);
    if (byContent == kUnknownFormat) return byName;
    // A camera's RAW file is a TIFF file to look at: its name tells.
    const FormatEntry* named = byName == kUnknownFormat ? nullptr : formatEntry(uint32_t(byName));
    if (named && named->claimsFromContent == byContent) return byName;
    return byContent;
}

int contentFormatOfFile(const std::string& path) {
    return readAndDetect(path);
}

}  // namespace formats
