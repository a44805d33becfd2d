// How corrected copies are written: quality, compression, size, format and name. Part of the
// settings record a batch copies at its start and a preset keeps; the defaults write what the
// plain program always wrote.
#pragma once

#include <cstddef>
#include <string>

// The largest values a preset, the dialog and the command line accept.
inline constexpr int kMaxLongEdge = 65535;
inline constexpr int kMaxPercent = 1000;
inline constexpr size_t kMaxNamePattern = 200;

enum class OutputFormat { AsSource, Jpeg, Png, Tiff, Webp };
enum class ResizeMode { None, LongEdge, Percent };

struct OutputOptions {
    int jpegQuality = 75;     // 1-100, also the quality of lossy WebP
    int pngCompression = -1;  // zlib level 0-9; -1 leaves libpng's default
    ResizeMode resize = ResizeMode::None;
    int resizeValue = 0;   // the long edge in pixels, or the percentage
    bool enlarge = false;  // whether a resize may make the picture larger
    OutputFormat format = OutputFormat::AsSource;
    std::string namePattern = "enh_{name}";

    friend bool operator==(const OutputOptions&, const OutputOptions&) = default;
};
