// WebP files through libwebp: lossy and lossless pictures (with their alpha) and the first
// frame of an animation are read into a 24-bit image; images of every depth are written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/image_stream.h"
#include "image/dib_image.h"

// True for the leading bytes of a WebP file: "RIFF", four bytes of size, "WEBP".
bool isWebpSignature(const uint8_t* head, size_t length);

class WebpCodec : public DibImage {
  public:
    WebpCodec() : DibImage(WEBP) {}

    // Reads the picture of a still file, or the first frame of an animation shown on its
    // canvas (transparent where the frame does not cover it); frameCount is the number of
    // frames. A file with alpha gives an alpha plane, one without a plain 24-bit picture.
    // Failures say "Error reading WebP file", with libwebp's reason where it gave one.
    bool decode(ImageStream& stream);

    // Writes the picture this object shows and leaves it as it is: palettes are expanded to
    // colours, the alpha plane (or a transparent palette entry) becomes the file's alpha.
    // Failures say "Error writing WebP file".
    bool encode(ImageStream& stream);

    // Lossy quality, 0-100; ignored when lossless.
    int quality = 75;
    // Lossless files keep every pixel, including the colour under fully transparent ones.
    bool lossless = false;

  private:
    bool readPicture(const std::vector<uint8_t>& bytes);
};
