// Camera RAW files through LibRaw: developed as dcraw_emu -w does (camera white balance,
// sRGB, 8 bits, the default demosaic), upright, into a 24-bit picture. Read-only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/image_stream.h"
#include "image/dib_image.h"

class RawCodec : public DibImage {
  public:
    RawCodec() : DibImage(RAW) {}

    // Reads the whole file and develops it. LibRaw applies the camera's orientation, so the
    // picture is upright and its EXIF Orientation must not be applied again. Failures leave
    // "Error reading RAW file: <LibRaw's reason>" in lastError, or kDataTooShort when the
    // development would exceed the decode budget.
    bool decode(ImageStream& stream);
    // When either is positive only a picture covering minWidth x minHeight is wanted
    // (previews, thumbnails): the embedded preview when it is that large, else a half-size
    // development; 0 x 0 develops the full picture (for saving).
    int32_t minWidth = 0;
    int32_t minHeight = 0;
};

// True when the first bytes are those of a RAW format that has a mark of its own (CR2, CR3,
// ORF, RW2, RAF, X3F, MRW). DNG, NEF, ARW and the other TIFF-based formats start as plain
// TIFF files and are told by their extension.
bool isRawSignature(const uint8_t* head, size_t length);
