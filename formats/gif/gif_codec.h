// GIF files: the codec the format dispatch uses for GIF.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class GifCodec : public DibImage {
  public:
    GifCodec() : DibImage(GIF) {}

    bool decode(ImageStream& stream);
    bool encode(ImageStream& stream);
};
