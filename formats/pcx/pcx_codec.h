// PCX files: the codec the format dispatch uses for PCX.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class PcxCodec : public DibImage {
  public:
    PcxCodec() : DibImage(PCX) {}

    bool decode(ImageStream& stream);
};
