// TGA files: the codec the format dispatch uses for TGA.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class TgaCodec : public DibImage {
  public:
    TgaCodec() : DibImage(TGA) {}

    bool decode(ImageStream& stream);
    bool encode(ImageStream& stream);
};
