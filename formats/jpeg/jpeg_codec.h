// JPEG files through libjpeg (interface version 62): grey, colour and CMYK reading, baseline
// writing of 24-bit and grey 8-bit pictures. The library's failures become lastError texts.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

class JpegCodec : public DibImage {
  public:
    JpegCodec() : DibImage(JPEG) {}

    // Reads one picture: 1 component gives an 8-bit image with the identity grey palette,
    // 3 a 24-bit image, 4 (CMYK/YCCK) a 24-bit image with each channel multiplied by K.
    // A file that ends early still loads; the library fills the rest.
    bool decode(ImageStream& stream);
    // When either is positive, decode shrinks the picture by libjpeg's DCT scaling to the
    // smallest scale M/8 whose size still covers minWidth x minHeight (previews, thumbnails).
    int32_t minWidth = 0;
    int32_t minHeight = 0;
    // Told of the rows of a colour photo as they are decoded (the picture's own rows).
    DecodeProgress* progress = nullptr;
    // Writes a 24-bit image as RGB or an 8-bit identity-grey image as greyscale, baseline,
    // at info.jpegQuality. Any other picture fails with "JPEG can save only RGB or GreyScale
    // images".
    bool encode(ImageStream& stream);
};
