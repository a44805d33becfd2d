// HEIF (HEIC) and AVIF files through libheif: the primary picture, upright and reduced to
// 8 bits per sample, as a 24-bit image with an alpha plane when the file has one. Read only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/image_stream.h"
#include "image/dib_image.h"

struct heif_image;

class HeifCodec : public DibImage {
  public:
    // One codec serves both: type (HEIF or AVIF) names the format in messages and the result.
    explicit HeifCodec(uint32_t type = HEIF) : DibImage(type) {}

    // Reads the primary picture with the file's rotation, mirroring and crop applied, so the
    // result is upright and its EXIF orientation must not be applied again. Failures leave
    // "Error reading HEIF file: <the library's reason>" (AVIF likewise) or kDataTooShort in
    // lastError.
    bool decode(ImageStream& stream);

    // A wish for a reduced picture (previews, thumbnails): when the file carries a thumbnail
    // of the same shape that still covers minWidth x minHeight, that one is decoded instead.
    // 0 asks for the full picture.
    int32_t minWidth = 0, minHeight = 0;

  private:
    void copyRows(const heif_image* image, bool withAlpha, bool premultiplied);
};

// Whether the leading bytes (up to 32) are an ISO BMFF 'ftyp' box of a HEIF picture (HEVC
// brands, or the generic mif1/msf1 without an AV1 brand among the compatible ones) or of an
// AVIF picture (avif/avis, also as compatible brands of mif1/msf1). At most one is true.
bool isHeifSignature(const uint8_t* head, size_t length);
bool isAvifSignature(const uint8_t* head, size_t length);

// The EXIF block of the primary picture of a HEIF or AVIF file, from its TIFF header on;
// empty when there is none or the file cannot be parsed. (Exiv2 0.27 misses the EXIF items of
// many HEIF files.)
std::vector<uint8_t> heifExifBlock(const std::string& path);

// The colour primaries and transfer characteristics (the H.273 codes) of the nclx colour box
// of a HEIF or AVIF file's primary picture; false when it has none or the file cannot be parsed.
bool heifNclx(const std::string& path, int& primaries, int& transfer);
