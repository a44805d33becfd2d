// Which files are photos: the one rule that the thumbnail views and the batch saving share,
// so a photo the batch processes always gets a thumbnail and the other way round.
#pragma once

#include <string>

namespace photos {

// The ImageFileType of a photo file, or -1 when path is no photo. The file's first bytes
// decide; when they show none of the library's formats, its name does (so a photo too damaged
// to show its format still gets an empty cell and is reported as unreadable, instead of
// passing unnoticed). Folders, pipes and devices are no photos and are never opened: opening
// a pipe would block.
int photoFormatOf(const std::string& path);
inline bool isPhoto(const std::string& path) {
    return photoFormatOf(path) >= 0;
}

}  // namespace photos
