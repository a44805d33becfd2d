// PNG files: the codec the format dispatch uses for PNG.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class PngCodec : public DibImage {
  public:
    PngCodec() : DibImage(PNG) {}

    bool decode(ImageStream& stream);
    bool encode(ImageStream& stream);
};
