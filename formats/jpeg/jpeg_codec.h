// JPEG files: the codec the format dispatch uses for JPEG.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class JpegCodec : public DibImage {
  public:
    JpegCodec() : DibImage(JPEG) {}

    bool decode(ImageStream& stream);
    bool encode(ImageStream& stream);
};
