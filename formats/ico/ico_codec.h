// ICO files: the codec the format dispatch uses for ICO.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class IcoCodec : public DibImage {
  public:
    IcoCodec() : DibImage(ICO) {}

    bool decode(ImageStream& stream);
    bool encode(ImageStream& stream);
};
