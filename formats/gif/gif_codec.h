// GIF files: GIF87a and GIF89a reading (global and local tables, interlacing, transparency)
// and single-image GIF87a writing, with the LZW coder of gif_lzw.
#pragma once

#include <cstdint>

#include "formats/gif/gif_lzw.h"
#include "formats/image_stream.h"
#include "image/dib_image.h"

class GifCodec : public DibImage {
  public:
    GifCodec() : DibImage(GIF) {}

    bool decode(ImageStream& stream);
    bool encode(ImageStream& stream);

    // Graphic control values as last read or about to be written.
    uint8_t controlFlags = 0;
    uint16_t delay = 0;
    uint8_t transparentIndex = 0;
    uint8_t disposalMethod = 0;
    char comment[256] = {};

  private:
    bool parseExtension(ImageStream& stream);
    int countImages(ImageStream& stream);
    void decodeImage(ImageStream& stream, const uint8_t* descriptor, const uint8_t* table,
                     int tableSize, bool hasTable);

    GifLzwDecoder decoder_;
    GifLzwEncoder encoder_;
};
