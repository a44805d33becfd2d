// PNG files through libpng: every colour type and depth is turned into a 1-, 4-, 8- or 24-bit
// image (with a transparent index, palette alpha or an alpha plane), and written back.
#pragma once

#include "formats/image_stream.h"
#include "image/dib_image.h"

struct PngSession;

class PngCodec : public DibImage {
  public:
    PngCodec() : DibImage(PNG) {}

    // Reads one picture. Failures leave one of the fixed messages in lastError:
    // "Error reading PNG file" for anything the library rejects (corrupt data, short reads).
    bool decode(ImageStream& stream);

    // Writes the picture this object shows and leaves it as it is. A transparent palette
    // colour becomes index 0 of the file (entries and pixel indices exchanged in the file only).
    bool encode(ImageStream& stream);

    // The library's own last error or warning text, kept for diagnosis only; it never reaches
    // lastError or the standard error output.
    const char* libraryMessage() const { return libraryMessage_; }

  private:
    friend struct PngSession;
    bool readPicture(PngSession& session);
    bool writePicture(PngSession& session);

    char libraryMessage_[256] = {};
};
