// What the metadata tests share: an upright test card and its eight stored orientations, a
// photo carrying every kind of metadata (made here with Exiv2), and exiftool as a second reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/dib_image.h"
#include "support/test_support.h"

namespace metadata_test {

using Bytes = std::vector<uint8_t>;
using testing_support::readBytes;
using testing_support::sameImage;
using testing_support::TempDir;
using testing_support::writeBytes;

// A 64 x 48 card of 16-pixel blocks, each its own colour (no symmetry; JPEG keeps flat blocks
// on its 16-pixel grid nearly exact).
DibImage uprightCard();
// The colour at (x, y) counted from the top row.
RgbQuad topDown(const DibImage& image, int32_t x, int32_t y);
// The picture a camera stores for EXIF orientation 1 to 8 of upright: where the stored first
// row and column lie in the upright picture, written out from the EXIF table.
DibImage storedFor(const DibImage& upright, int orientation);

// The file bytes of image encoded as type.
Bytes encode(DibImage image, uint32_t type, int quality = 75);

// A small well-formed ICC profile (header and one copyright tag), 1000 bytes.
Bytes iccProfile();

// Writes the full set into the photo at path with Exiv2: Make, Model, DateTimeOriginal, GPS,
// the given orientation, EXIF pixel dimensions of the stored picture, a JPEG thumbnail, an XMP
// packet (title, rating, tiff:Orientation), IPTC caption and byline, a comment and iccProfile().
void addFullMetadata(const std::string& path, int orientation);
// Sets only the EXIF orientation tag.
void setOrientation(const std::string& path, int orientation);

// The values written by addFullMetadata.
inline constexpr const char* kMake = "Vantifex Test Camera Co.";
inline constexpr const char* kModel = "VT-1";
inline constexpr const char* kDate = "2021:05:01 10:20:30";
inline constexpr const char* kTitle = "Meadow at noon";
inline constexpr const char* kCaption = "A meadow";
inline constexpr const char* kComment = "written by the metadata test";

// What Exiv2 finds in a file, flattened to "key=value" lines for searching.
struct Found {
    std::string exif, xmp, iptc, comment;
    Bytes icc;
    bool has(const std::string& block, const std::string& key, const std::string& value) const;
};
Found readWithExiv2(const std::string& path);

// exiftool's JSON for a file (-j -n -G), or empty when exiftool is not installed.
bool haveExiftool();
std::string exiftoolJson(const std::string& path);
// True when the JSON has "key": value (value as JSON shows it: a number or "text").
bool jsonHas(const std::string& json, const std::string& key, const std::string& value);
// True when some key of the JSON starts with the group prefix, e.g. "EXIF:".
bool jsonHasGroup(const std::string& json, const std::string& group);

}  // namespace metadata_test
