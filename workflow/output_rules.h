// The rules of where and under which name corrected photos are written, which files a batch
// takes, and the summary it reports.
#pragma once

#include <cstddef>
#include <string>

#include "workflow/output_options.h"

// outputDirectory + separator (when needed) + "enh_" + the source's file name. Sources the
// library only reads or that hold icons (.pcx, .ico, .cur) get ".png" instead of their
// extension, so they are written as PNG.
std::string outputNameFor(const std::string& outputDirectory, const std::string& sourcePath);
// The same under the output options: the format's extension (.jpg, .png, .tif, .webp) for a
// chosen format, then the name pattern with {name} (the file name so far), {stem}, {ext}
// (without its dot), {n} or {n:WIDTH} (n, zero-padded) and {date} (EXIF DateTimeOriginal as
// YYYY-MM-DD, else the file's modification date). Anything else in braces stays as written.
std::string outputNameFor(const std::string& outputDirectory, const std::string& sourcePath,
                          const OutputOptions& options, size_t n);
// Why pattern cannot name files ("must be a file name ..."), or "" when it can.
std::string namePatternProblem(const std::string& pattern);
// inputDirectory + separator (when needed) + "enhanced"; just "enhanced" without one.
std::string autosetDirectory(const std::string& inputDirectory);
// The batch takes a file whose first bytes show one of the library's formats, or, when they
// show none, whose name does (so a photo too damaged to show its format is still reported
// as unreadable instead of passing unnoticed). Folders, pipes and devices are not taken.
bool isBatchPhoto(const std::string& path);
// Creates directory with every folder above it that is missing (0777 less the umask). 0 when
// it is a folder afterwards (or directory is empty); else the errno of the step that failed,
// with *failed the folder that step was for (ENOTDIR when a file stands in the way).
int createOutputDirectory(const std::string& directory, std::string* failed = nullptr);
// "Finished processing %d images.", with a line for photos that could not be read and one
// for photos that could not be written when there were any.
std::string finishedMessage(int processed, int unreadable, int unwritten);
