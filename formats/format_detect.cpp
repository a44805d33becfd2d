// Signature checks for the eight formats and the extension table behind them.
#include "formats/format_detect.h"

#include <cstdio>
#include <cstring>

#include "formats/byte_order.h"
#include "image/dib_image.h"

namespace formats {

namespace {

bool starts(const uint8_t* head, size_t length, const char* magic, size_t n) {
    return length >= n && std::memcmp(head, magic, n) == 0;
}

// A bitmap information header (OS/2, Windows, V4 or V5) with one plane and a real depth.
bool plausibleDibHeader(const uint8_t* h, size_t length) {
    if (length < 16) return false;
    const uint32_t size = le32(h);
    if (size == 12) {
        const unsigned bits = le16(h + 10);
        return le16(h + 8) == 1 && (bits == 1 || bits == 4 || bits == 8 || bits == 24);
    }
    if (size != 40 && size != 52 && size != 56 && size != 64 && size != 108 && size != 124)
        return false;
    const unsigned bits = le16(h + 14);
    return le16(h + 12) == 1 &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

// TGA has no signature: accept only a header whose every field holds a legal value.
bool plausibleTgaHeader(const uint8_t* h, size_t length) {
    if (length < 18) return false;
    const uint8_t mapType = h[1], imageType = h[2], depth = h[16];
    if (mapType > 1) return false;
    const bool mapped = imageType == 1 || imageType == 9;
    const bool trueColour = imageType == 2 || imageType == 10;
    const bool grey = imageType == 3 || imageType == 11;
    if (!mapped && !trueColour && !grey) return false;
    if (mapped != (mapType == 1)) return false;
    if (mapped) {
        const uint8_t entryBits = h[7];
        if (entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32) return false;
        if (depth != 8 && depth != 16) return false;
    } else if (trueColour) {
        if (depth != 15 && depth != 16 && depth != 24 && depth != 32) return false;
    } else if (depth != 8 && depth != 16) {
        return false;
    }
    return le16(h + 12) > 0 && le16(h + 14) > 0 && (h[17] & 0xC0) == 0;
}

}  // namespace

int formatFromContent(const uint8_t* h, size_t length) {
    if (starts(h, length, "\xFF\xD8\xFF", 3)) return JPEG;
    if (starts(h, length, "\x89PNG\r\n\x1A\n", 8)) return PNG;
    if (starts(h, length, "GIF87a", 6) || starts(h, length, "GIF89a", 6)) return GIF;
    if (starts(h, length, "II*\0", 4) || starts(h, length, "MM\0*", 4)) return TIFF;
    if (starts(h, length, "BM", 2) && plausibleDibHeader(h + 14, length - 14)) return BMP;
    // Icons (type 1) and cursors (type 2) with at least one entry.
    if (length >= 6 && le16(h) == 0 && (le16(h + 2) == 1 || le16(h + 2) == 2) && le16(h + 4) > 0)
        return ICO;
    // PCX: the manufacturer byte, a known version, run-length encoding, a real depth.
    if (length >= 4 && h[0] == 0x0A && (h[1] <= 5 && h[1] != 1) && h[2] == 1 &&
        (h[3] == 1 || h[3] == 2 || h[3] == 4 || h[3] == 8))
        return PCX;
    if (plausibleDibHeader(h, length)) return BMP;
    if (plausibleTgaHeader(h, length)) return TGA;
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
    static const struct {
        const char* ext;
        int type;
    } kTable[] = {{"jpg", JPEG}, {"jpeg", JPEG}, {"jpe", JPEG}, {"jfif", JPEG}, {"png", PNG},
                  {"gif", GIF},  {"bmp", BMP},   {"dib", BMP},  {"tif", TIFF},  {"tiff", TIFF},
                  {"tga", TGA},  {"pcx", PCX},   {"ico", ICO},  {"cur", ICO}};
    for (const auto& entry : kTable)
        if (ext == entry.ext) return entry.type;
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
    return byContent != kUnknownFormat ? byContent : formatFromName(path);
}

int contentFormatOfFile(const std::string& path) {
    return readAndDetect(path);
}

}  // namespace formats
