// TIFF files through libtiff: reads one page (frameIndex) of bilevel, grey, palette and colour
// files and writes single-page files whose compression follows the bit depth.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class TiffCodec : public DibImage {
  public:
    TiffCodec() : DibImage(TIFF) {}

    // Reads page frameIndex and counts the pages into frameCount.
    bool decode(ImageStream& stream);
    // 1 bit: CCITT Group 3; 4 bits: uncompressed; 8 bits: PackBits; 24 bits (with the alpha
    // plane as a fourth sample): JPEG strips of 8 rows at jpegQuality.
    bool encode(ImageStream& stream);
};
