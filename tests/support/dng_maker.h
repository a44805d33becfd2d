// Small Bayer DNG files made with libtiff for the RAW tests and the fuzz corpus: no camera
// file is kept in the repository, so the tests build theirs from a formula.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dng_maker {

struct DngOptions {
    int width = 64;
    int height = 48;
    int orientation = 1;  // TIFF Orientation of the picture
    // When positive, IFD0 is an uncompressed 8-bit RGB preview of this width (height in
    // proportion) and the CFA picture moves into its SubIFD, as cameras write DNG.
    int previewWidth = 0;
    bool previewJpeg = false;  // the preview JPEG-compressed instead of uncompressed
};

// The 16-bit RGGB mosaic of a colour gradient (12-bit values above a black level of 256).
std::vector<uint8_t> makeDng(const DngOptions& options);

// Writes makeDng's bytes to path; false when the file cannot be written.
bool writeDng(const std::string& path, const DngOptions& options);

}  // namespace dng_maker
