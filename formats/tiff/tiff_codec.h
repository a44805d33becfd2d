// TIFF files: the codec the format dispatch uses for TIFF.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class TiffCodec : public DibImage {
  public:
    TiffCodec() : DibImage(TIFF) {}

    bool decode(ImageStream& stream);
    bool encode(ImageStream& stream);
};
