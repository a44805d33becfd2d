// A photo's metadata through Exiv2: what the camera wrote (EXIF, XMP, IPTC, ICC profile, JPEG
// comment), reading it, turning the picture upright by its orientation, and carrying it into a
// copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/dib_image.h"
#include "image/display_colour.h"

struct PhotoMetadata {
    // The EXIF orientation 1 to 8; 0 when there is none or it is not one of those.
    int orientation = 0;
    std::string cameraMake;
    std::string cameraModel;
    std::string dateTaken;  // as EXIF writes it: "YYYY:MM:DD HH:MM:SS"

    // The blocks carried into saved copies, each empty when the photo has none.
    std::vector<uint8_t> exif;  // TIFF-structured, as Exiv2 encodes it
    std::string xmp;            // the XMP packet
    std::vector<uint8_t> iptc;  // IPTC IIM records
    std::vector<uint8_t> icc;   // the ICC colour profile, byte for byte
    std::string comment;        // the JPEG comment
    // A JPEG, TIFF or HEIF whose EXIF says only "uncalibrated" colour space and
    // interoperability "R03":
    // how cameras mark Adobe RGB without embedding its profile.
    bool adobeRgbByExif = false;
    // The H.273 colour primaries and transfer codes of a HEIF or AVIF nclx colour box; 0 when
    // the file has none. Only what is shown follows them; copies keep the file's own values.
    int cicpPrimaries = 0;
    int cicpTransfer = 0;
    // The settings a corrected copy was made with (preset text), kept in the XMP as
    // vantifex:Settings; read from a copy, written into the next one (replacing the old).
    std::string settingsRecord;

    bool hasIcc() const { return !icc.empty(); }
    bool empty() const {
        return exif.empty() && xmp.empty() && iptc.empty() && icc.empty() && comment.empty() &&
               settingsRecord.empty() && cicpPrimaries == 0;
    }
};

// How a photo with this metadata reaches an sRGB screen: its ICC profile, else the colours its
// nclx box declares, else Adobe RGB when only its EXIF says so; null when its own values are
// shown as they are.
std::shared_ptr<const DisplayColour> displayColour(const PhotoMetadata& metadata);

// Reads what Exiv2 can of a photo whose format readsMetadata (found by its contents); other files,
// and metadata Exiv2 cannot read, give an empty record. Never throws.
PhotoMetadata readMetadata(const std::string& path);
PhotoMetadata readMetadata(const uint8_t* data, size_t size);

// Turns a picture stored with EXIF orientation 2 to 8 upright with the core's flips and quarter
// turns; any other value leaves it untouched. False only when a turn fails (out of memory).
bool orientUpright(DibImage& image, int orientation);

// Decodes path as type and turns it upright by its EXIF orientation: the one load for the editor,
// the thumbnails and the command line. Formats whose codec turns the picture itself (TIFF, HEIF,
// JPEG XL, RAW) are not turned again. metadata, when
// given, receives what was read. False (image empty) when the picture cannot be decoded or turned.
// With minWidth or minHeight positive, a JPEG is decoded reduced (DibImage::loadReduced) so
// that the UPRIGHT picture still covers minWidth x minHeight. progress follows the decode of a
// photo that is stored upright (see DecodeProgress); one still to be turned is not followed.
// known, when given, is the file's metadata already read (readMetadata), not read again.
bool loadUpright(DibImage& image, const std::string& path, uint32_t type,
                 PhotoMetadata* metadata = nullptr, int32_t minWidth = 0, int32_t minHeight = 0,
                 DecodeProgress* progress = nullptr, const PhotoMetadata* known = nullptr);
// Whether turning a photo of this orientation upright swaps its width and height.
inline bool swapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The XMP namespace of the settings record.
inline constexpr const char* kVantifexXmpNamespace = "http://vantifex.example/ns/1.0/";
inline constexpr const char* kVantifexXmpPrefix = "vantifex";

// Whether copies written as this type carry metadata (JPEG, PNG, TIFF, WebP).
bool carriesMetadata(uint32_t type);
// Whether the metadata of photos of this type is read (those and the phone and camera formats).
bool readsMetadata(uint32_t type);

// Writes metadata into an encoded file of type whose picture is width x height: the orientation
// becomes 1, the EXIF and XMP pixel dimensions the picture's, the EXIF thumbnail is dropped.
// Returns false and leaves file as it was when Exiv2 cannot write the metadata.
bool applyMetadata(std::vector<uint8_t>& file, uint32_t type, const PhotoMetadata& metadata,
                   int32_t width, int32_t height);

// Saves image to path as type through the dispatch's temporary file, with metadata written into
// it when given and the format carries it (a null metadata writes none: the strip mode).
// Metadata that cannot be written is left out; the save fails only as a plain save would.
bool saveWithMetadata(DibImage& image, const std::string& path, uint32_t type,
                      const PhotoMetadata* metadata);
