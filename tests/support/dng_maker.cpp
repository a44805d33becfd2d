// DNG files for the tests: IFD0 (or its SubIFD) holds a CFA picture with the tags a reader
// needs to develop it (pattern, colour matrix, neutral, black and white levels).
#include "support/dng_maker.h"

#include <algorithm>

#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace dng_maker {

namespace {

constexpr uint16_t kBlack = 256, kWhite = 4095;

// Red rises to the right, green downwards, blue falls along the diagonal, with a ripple so
// that the demosaic has edges to work on.
uint16_t sample(int x, int y, const DngOptions& o) {
    const int colour = (y % 2) * 2 + (x % 2);  // RGGB: 0 red, 1 and 2 green, 3 blue
    double v;
    if (colour == 0)
        v = double(x) / (o.width - 1);
    else if (colour == 3)
        v = 1.0 - double(x + y) / (o.width + o.height - 2);
    else
        v = double(y) / (o.height - 1);
    v = 0.8 * v + ((x / 4 + y / 4) % 2 ? 0.15 : 0.0);
    return uint16_t(kBlack + v * (kWhite - kBlack));
}

void setDngTags(TIFF* tif) {
    static const uint8_t version[4] = {1, 4, 0, 0};
    TIFFSetField(tif, TIFFTAG_DNGVERSION, version);
    TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Vantifex Test Camera");
    TIFFSetField(tif, TIFFTAG_MAKE, "Vantifex");
    TIFFSetField(tif, TIFFTAG_MODEL, "Test Camera");
    // XYZ to camera: the sRGB primaries, so the camera's colours are sRGB's.
    static const float matrix[9] = {3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f,
                                    0.0415f, 0.0557f,  -0.2040f, 1.0570f};
    TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, matrix);
    TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, uint16_t(21));
    static const float neutral[3] = {0.55f, 1.0f, 0.7f};
    TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
}

bool writeCfa(TIFF* tif, const DngOptions& o, bool withDngTags) {
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(o.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(o.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, 32803);  // CFA
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(o.height));
    static const uint16_t dim[2] = {2, 2};
    TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, dim);
    static const uint8_t pattern[4] = {0, 1, 1, 2};
    TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, pattern);
    const float black = kBlack;
    TIFFSetField(tif, TIFFTAG_BLACKLEVEL, 1, &black);
    const uint32_t white = kWhite;
    TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, &white);
    if (withDngTags) {
        setDngTags(tif);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(o.orientation));
    }
    std::vector<uint16_t> row(size_t(o.width));
    for (int y = 0; y < o.height; ++y) {
        for (int x = 0; x < o.width; ++x) row[size_t(x)] = sample(x, y, o);
        if (TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) < 0) return false;
    }
    return TIFFWriteDirectory(tif) != 0;
}

// IFD0 as a reduced 8-bit RGB picture of the same gradient, the CFA picture in its SubIFD.
bool writePreviewAndCfa(TIFF* tif, const DngOptions& o) {
    const int pw = o.previewWidth, ph = std::max(1, o.previewWidth * o.height / o.width);
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(pw));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(ph));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(ph));
    if (o.previewJpeg) {
        // One self-contained JPEG stream (no shared tables), as a camera's preview is.
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, 0);
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
    } else {
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    }
    TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(o.orientation));
    setDngTags(tif);
    uint64_t subIfd = 0;
    TIFFSetField(tif, TIFFTAG_SUBIFD, 1, &subIfd);
    std::vector<uint8_t> row(size_t(pw) * 3);
    for (int y = 0; y < ph; ++y) {
        for (int x = 0; x < pw; ++x) {
            row[size_t(x) * 3] = uint8_t(255 * x / std::max(1, pw - 1));
            row[size_t(x) * 3 + 1] = uint8_t(255 * y / std::max(1, ph - 1));
            row[size_t(x) * 3 + 2] = uint8_t(255 - 255 * (x + y) / std::max(1, pw + ph - 2));
        }
        if (TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) < 0) return false;
    }
    if (!TIFFWriteDirectory(tif)) return false;
    return writeCfa(tif, o, false);
}

}  // namespace

bool writeDng(const std::string& path, const DngOptions& options) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    const bool ok =
        options.previewWidth > 0 ? writePreviewAndCfa(tif, options) : writeCfa(tif, options, true);
    TIFFClose(tif);
    return ok;
}

std::vector<uint8_t> makeDng(const DngOptions& options) {
    char path[] = "/tmp/vfx-dng-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return {};
    close(fd);
    std::vector<uint8_t> bytes;
    if (writeDng(path, options)) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(path);
    return bytes;
}

}  // namespace dng_maker
