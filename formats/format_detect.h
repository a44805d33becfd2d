// Which of the library's formats a file holds. The first bytes decide; the file name is asked
// only when they say nothing (headerless TGA files are the one format without a signature).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace formats {

inline constexpr int kUnknownFormat = -1;
// How many leading bytes formatFromContent can use.
inline constexpr size_t kDetectBytes = 32;

// The ImageFileType whose signature the leading bytes carry, or kUnknownFormat. Headerless
// TGA files are recognised by a plausible header; bare DIBs by their information header.
int formatFromContent(const uint8_t* head, size_t length);
// The ImageFileType that the extension of the file-name part names (case-insensitive),
// or kUnknownFormat. Folder names never count.
int formatFromName(const std::string& path);
// Reads the first bytes of path: the content's format, else the name's, else kUnknownFormat
// (also when the file cannot be opened).
int detectFileFormat(const std::string& path);
// As detectFileFormat but the content alone decides: what browsing shows as a photo.
int contentFormatOfFile(const std::string& path);

}  // namespace formats
