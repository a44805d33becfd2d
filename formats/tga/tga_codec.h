// TGA files: the codec the format dispatch uses for TGA. Reads colour-mapped, true-colour and
// grey Targa files, raw or run-length; writes 8-bit (mapped), 24-bit and 32-bit (alpha) files.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class TgaCodec : public DibImage {
  public:
    TgaCodec() : DibImage(TGA) {}

    // Reads one Targa picture. 16- and 32-bit colour files give a 24-bit image with an alpha
    // plane (a 16-bit one only when its descriptor declares an attribute bit); 8-bit files give
    // a paletted image (grey files a grey ramp), 16-bit grey files (grey byte, alpha byte) the
    // grey ramp with an alpha plane. Rows land upright whatever the file's origin.
    bool decode(ImageStream& stream);
    // Writes an uncompressed bottom-up Targa file: 8-bit images with a 256-entry 24-bit colour
    // map, 24-bit images as they are, 24-bit images with an alpha plane as 32 bits.
    bool encode(ImageStream& stream);
};
