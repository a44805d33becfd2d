// The rules of where and under which name corrected photos are written, which paths a batch
// tries, and the summary it reports.
#pragma once

#include <string>

// outputDirectory + separator (when needed) + "enh_" + the source's file name.
std::string outputNameFor(const std::string& outputDirectory, const std::string& sourcePath);
// inputDirectory + separator (when needed) + "enhanced"; just "enhanced" without one.
std::string autosetDirectory(const std::string& inputDirectory);
// The batch tries a path when its lower-cased text contains ".jpg", ".jpeg", ".gif", ".bmp",
// ".dib" or ".png" anywhere.
bool isBatchPhotoPath(const std::string& path);
// Creates one folder level; a failure (it exists, no rights) is left to the writes.
void createOutputDirectory(const std::string& directory);
// "Finished processing %d images.", with a line for photos that could not be read and one
// for photos that could not be written when there were any.
std::string finishedMessage(int processed, int unreadable, int unwritten);
