// Small photo files for the browsing tests: pictures of a given size written by the library's
// own codecs, and files that only look like photos by name.
#pragma once

#include <sys/stat.h>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/tiff/libtiff.h"
#include "image/dib_image.h"
#include "support/test_support.h"

namespace browse_testing {

// Writes a width x height 24-bit picture (a seeded gradient) as type to path.
inline bool writePhoto(const std::string& path, int32_t width, int32_t height, uint32_t type,
                       uint32_t seed = 1) {
    DibImage image(width, height, 24, type);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image.row(y);
        for (int32_t x = 0; x < width; ++x) {
            row[x * 3] = uint8_t(x * 7 + seed);
            row[x * 3 + 1] = uint8_t(y * 5 + seed * 3);
            row[x * 3 + 2] = uint8_t((x + y) * 3);
        }
    }
    return image.saveToFile(path.c_str(), type);
}

// Writes a width x height RGB photo as a JPEG-compressed TIFF the way other programs do
// (ImageMagick's "-compress jpeg"): colour stored as YCbCr subsampled 2 x 2, the library
// handing RGB in and out, 16 rows per strip.
inline bool writeJpegTiff(const std::string& path, int32_t width, int32_t height) {
    TiffFile* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, uint16_t(2), uint16_t(2));
    TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
    TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(16));
    std::vector<uint8_t> line(size_t(width) * 3);
    bool ok = true;
    for (int32_t y = 0; y < height && ok; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            line[size_t(x) * 3] = uint8_t(x * 3);
            line[size_t(x) * 3 + 1] = uint8_t(y * 2);
            line[size_t(x) * 3 + 2] = uint8_t(128);
        }
        ok = TIFFWriteScanline(tif, line.data(), uint32_t(y), 0) == 1;
    }
    TIFFClose(tif);
    return ok;
}

// The mixed folder of the listing tests, in folder d (ending in "/"): photos named
// holiday.JPG (300 x 200), x.Jpeg (200 x 50), photo.tif (90 x 60) and png.jpg (100 x 100, a PNG
// inside); notes.jpg.txt, text; a.png, a folder holding readme.txt.
inline bool writeMixedFolder(const std::string& d) {
    if (!writePhoto(d + "holiday.JPG", 300, 200, JPEG) ||
        !writePhoto(d + "x.Jpeg", 200, 50, JPEG) || !writePhoto(d + "photo.tif", 90, 60, TIFF) ||
        !writePhoto(d + "png.jpg", 100, 100, PNG))
        return false;
    testing_support::writeBytes(d + "notes.jpg.txt", {'n', 'o', 't', 'e', 's', '\n'});
    std::filesystem::create_directory(d + "a.png");
    testing_support::writeBytes(d + "a.png/readme.txt", {'r', 'e', 'a', 'd', '\n'});
    return true;
}

// A folder of files on the border of the photo rule, with the ImageFileType each must get
// (-1: no photo), written into d (ending in "/").
struct RuleCase {
    std::string name;
    int type;
};
inline std::vector<RuleCase> writeRuleFolder(const std::string& d) {
    std::vector<RuleCase> cases = {
        {"holiday.JPG", JPEG},  // by content and name
        {"jpeg.tif", TIFF},     // JPEG-compressed TIFF
        {"png.jpg", PNG},       // the content wins over the name
        {"damaged.jpg", JPEG},  // no signature left: the name decides
        {"empty.jpg", JPEG},    // likewise
        {"notes.jpg.txt", -1},  // only the last extension counts
        {"readme", -1},         // text without any format
        {"folder.png", -1},     // a folder
        {"pipe.jpg", -1},       // a named pipe: never opened
    };
    if (!writePhoto(d + "holiday.JPG", 300, 200, JPEG) || !writeJpegTiff(d + "jpeg.tif", 120, 80) ||
        !writePhoto(d + "png.jpg", 100, 100, PNG))
        return {};
    testing_support::writeBytes(d + "damaged.jpg", {0x00, 0x01, 0x02, 0x03, 0x04, 0x05});
    testing_support::writeBytes(d + "empty.jpg", {});
    testing_support::writeBytes(d + "notes.jpg.txt", {'n', 'o', 't', 'e', 's', '\n'});
    testing_support::writeBytes(d + "readme", {'r', 'e', 'a', 'd', '\n'});
    std::filesystem::create_directory(d + "folder.png");
    if (mkfifo((d + "pipe.jpg").c_str(), 0600) != 0) return {};
    return cases;
}

}  // namespace browse_testing
