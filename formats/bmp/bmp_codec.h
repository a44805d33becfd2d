// BMP files: Windows and OS/2 bitmaps, 1 to 32 bits per pixel, run-length and bit-field
// variants when reading; a plain dump of the image's packed bitmap when writing.
#pragma once

#include <cstdint>

#include "formats/image_stream.h"
#include "image/dib_image.h"

class BmpCodec : public DibImage {
  public:
    BmpCodec() : DibImage(BMP) {}

    bool decode(ImageStream& stream);
    bool encode(ImageStream& stream);

    // Reads an information header (the 40-byte Windows form, the first 40 bytes of a larger
    // one, or the 12-byte OS/2 form widened to 40 bytes) and fills in a missing image size and
    // colour count. *fileHeaderSize gets the size field as the file has it (12 for OS/2).
    static bool readBitmapInfo(ImageStream& stream, BitmapInfoHeader& header,
                               uint32_t* fileHeaderSize = nullptr);

    // Expands 16-bit (masked) or 32-bit rows, laid out one after the other at source, into
    // the image's 24-bit rows. Works from the last pixel backwards, so source may be the
    // start of the image's own pixel buffer.
    void bitfieldsToRgb(const uint8_t* source, uint32_t redMask, uint32_t greenMask,
                        uint32_t blueMask, int bitsPerPixel);

  private:
    void decodeRle8(ImageStream& stream, bool topDown);
    void decodeRle4(ImageStream& stream, bool topDown);
    void expandRow(const uint8_t* source, uint8_t* target, uint32_t redMask, uint32_t greenMask,
                   uint32_t blueMask, int bitsPerPixel) const;
};
