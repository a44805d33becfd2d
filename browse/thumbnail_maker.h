// One thumbnail from one photo file: the thumbnail's size and the loading and scaling that
// the thumbnail workers run (which files are photos: browse/photo_rule.h).
#pragma once

#include <cstdint>
#include <string>

#include "image/dib_image.h"

namespace thumbnails {

struct ThumbnailSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The size of the thumbnail of a width x height photo at thumbnail height t: height t, or
// t + 1 when the photo is exactly t high; width width x height' / height, truncated, and at
// least 1 so that a very tall, narrow photo still scales.
ThumbnailSize thumbnailSize(int32_t width, int32_t height, int32_t t);

// The width and height a JPEG file's frame header declares, read without decoding; false
// when the file is no JPEG or the header cannot be found.
bool jpegFrameSize(const std::string& path, int32_t& width, int32_t& height);

// Loads path as type into image and scales it (nearest pixel) to thumbnailSize of the
// photo's full size. With reduced, a JPEG is decoded at the smallest DCT scale whose height
// is still at least t; the result has the same size either way. A file that does not load
// leaves image empty and returns false.
bool makeThumbnail(const std::string& path, uint32_t type, int32_t t, bool reduced,
                   DibImage& image);

}  // namespace thumbnails
