// JPEG XL files through libjxl: the first frame of a still picture or an animation, upright,
// as a 24-bit image with an alpha plane when the file has alpha. Reading only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/image_stream.h"
#include "image/dib_image.h"

// True when the leading bytes start a bare codestream (FF 0A) or the container's signature
// box (00 00 00 0C 'JXL ' 0D 0A 87 0A); a head too short to tell is no signature.
bool isJxlSignature(const uint8_t* head, size_t length);

class JxlCodec : public DibImage {
  public:
    JxlCodec() : DibImage(JXL) {}

    // Reads the first frame. The decoder has applied the file's orientation already, so the
    // picture is upright: an Exif orientation in the file must not be applied again. Grey
    // files become RGB; alpha goes to the alpha plane, unpremultiplied. Lossy (XYB) files are
    // rendered in the file's own colour space where it names one, else in sRGB. Failures say
    // "Error reading JPEG XL file", or kDataTooShort for a picture beyond the decode budget.
    bool decode(ImageStream& stream);

    // The file's own ICC profile (the one libjxl reports for the original colour encoding,
    // made from the enumerated colour space where the file carries no profile); empty when
    // there is none.
    std::vector<uint8_t> iccProfile;
};

// The ICC profile of the colours JxlCodec decodes the file at path into: the file's own, or
// empty where a lossy file is rendered in sRGB (or the header cannot be read). Exiv2 finds no
// profile in JPEG XL files; the display and the saved copies take this one.
std::vector<uint8_t> jxlDecodedProfile(const std::string& path);
