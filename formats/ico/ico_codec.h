// ICO files: the codec the format dispatch uses for ICO. Reads one bitmap image of an icon
// file (1, 4, 8, 24 or 32 bits with its mask); writes 1-, 4- and 8-bit single-image icons.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class IcoCodec : public DibImage {
  public:
    IcoCodec() : DibImage(ICO) {}

    // Reads image frameIndex of the file and sets frameCount. Transparent pixels (mask bits,
    // or the alpha of 32-bit images) go into the alpha plane; a fully opaque icon has none.
    // A wrong file header or a missing entry fails with a message saying so.
    bool decode(ImageStream& stream);
    // Writes a one-image icon of a paletted image of at most 255 x 255 pixels. Pixels with a
    // transparent palette entry, the transparent colour or an alpha below one half are masked.
    bool encode(ImageStream& stream);
};
