// PCX files: the codec the format dispatch uses for PCX (reading only). Reads run-length
// encoded ZSoft files of 1 to 4 one-bit planes, 2-, 4- and 8-bit indices and 24-bit colour.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class PcxCodec : public DibImage {
  public:
    PcxCodec() : DibImage(PCX) {}

    // Reads one PCX picture. The image carries the type BMP, as every PCX load does; 1-bit
    // files with 2 to 4 planes give a 4-bit image coloured from the header's 16-entry map.
    bool decode(ImageStream& stream);
};
