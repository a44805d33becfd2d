// The rules of where and under which name corrected photos are written, which files a batch
// takes, and the summary it reports.
#pragma once

#include <string>

// outputDirectory + separator (when needed) + "enh_" + the source's file name. Sources the
// library only reads or that hold icons (.pcx, .ico, .cur) get ".png" instead of their
// extension, so they are written as PNG.
std::string outputNameFor(const std::string& outputDirectory, const std::string& sourcePath);
// inputDirectory + separator (when needed) + "enhanced"; just "enhanced" without one.
std::string autosetDirectory(const std::string& inputDirectory);
// The batch takes a file whose first bytes show one of the library's formats, or, when they
// show none, whose name does (so a photo too damaged to show its format is still reported
// as unreadable instead of passing unnoticed). Folders, pipes and devices are not taken.
bool isBatchPhoto(const std::string& path);
// Creates one folder level; a failure (it exists, no rights) is left to the writes.
void createOutputDirectory(const std::string& directory);
// "Finished processing %d images.", with a line for photos that could not be read and one
// for photos that could not be written when there were any.
std::string finishedMessage(int processed, int unreadable, int unwritten);
