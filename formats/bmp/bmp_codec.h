// BMP files: the codec the format dispatch uses for BMP.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class BmpCodec : public DibImage {
  public:
    BmpCodec() : DibImage(BMP) {}

    bool decode(ImageStream& stream);
    bool encode(ImageStream& stream);
};
