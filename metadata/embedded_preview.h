// The small pictures cameras store beside the photo (the EXIF thumbnail), used for thumbnails
// where one is large enough: decoding it costs a fraction of decoding the photo.
#pragma once

#include <cstdint>

#include "image/dib_image.h"
#include "metadata/photo_metadata.h"

// The EXIF thumbnail of metadata as a picture stored as the photo is (not yet turned upright),
// when it is a JPEG whose longer side is at least minLonger and whose shape is that of the
// photo, width x height as stored (cameras pad the thumbnails of 3:2 photos to 4:3 with black
// bars; a photo cropped or turned by a program that kept the old thumbnail no longer matches).
// False (out empty) otherwise.
bool embeddedPreview(const PhotoMetadata& metadata, int32_t width, int32_t height,
                     int32_t minLonger, DibImage& out);
