// The one list of file formats: each entry says what a format is called, how its files are
// recognised, whether it is written, what a photo of it is saved as, and which codec reads and
// writes it. Dispatch, detection, the command line's names, the file dialogs, the thumbnails and
// the output rules all read it; a new format is one codec folder and one entry here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "image/dib_image.h"

class ImageStream;

namespace formats {

// What a load asks of a decoder beyond the bytes: a picture that merely covers minWidth x
// minHeight is enough (0 for the full size; only codecs that can decode reduced use it).
struct DecodeRequest {
    int32_t minWidth = 0;
    int32_t minHeight = 0;
    DecodeProgress* progress = nullptr;
};

struct FormatEntry {
    uint32_t type;           // its ImageFileType
    const char* name;        // in messages: "JPEG"
    const char* id;          // the command line's NAME: "jpeg"
    const char* extensions;  // lower case, space-separated; the first is the one written
    const char* mimeTypes;   // space-separated, for the desktop entry
    // The first bytes (up to kDetectBytes) carry its signature. A loose test is asked only
    // when no format's signature matched (bare DIBs, TGA headers).
    bool (*signature)(const uint8_t* head, size_t length);
    bool (*looseSignature)(const uint8_t* head, size_t length);
    // A file with this format's extension whose content looks like the named format is of
    // this format (camera RAW files that are TIFF files to look at), or -1.
    int32_t claimsFromContent;
    bool (*decode)(DibImage& image, ImageStream& stream, const DecodeRequest& request);
    bool (*encode)(const DibImage& image, ImageStream& stream);  // null: read only
    // What a photo of this format is saved as by the batch (and by "save..." when the format
    // is not written); a picture deeper than maxSavedBits is saved as JPEG instead.
    uint32_t writtenAs;
    uint32_t maxSavedBits;
    bool turnsUpright;     // the codec applies the file's orientation itself
    bool readsMetadata;    // its EXIF, XMP and ICC profile are read
    bool carriesMetadata;  // a copy written in it carries the metadata
};

// Every format, in the order their signatures are tested.
std::span<const FormatEntry> allFormats();
// The entry of an ImageFileType, or null.
const FormatEntry* formatEntry(uint32_t type);
// The entry whose command-line NAME is id, or null.
const FormatEntry* formatById(const std::string& id);
// The format's name in messages; "image" for a type without an entry.
const char* formatName(uint32_t type);
// The type a photo of type is written as by a save that may not keep it (see writtenAs).
uint32_t writtenTypeFor(uint32_t type, uint32_t bitCount);
// The extension (with its dot) a file of type is written under: ".jpg".
std::string writtenExtension(uint32_t type);
// Whether name (lower case, without the dot) is one of the extensions of entry.
bool hasExtension(const FormatEntry& entry, const std::string& name);
// "*.jpg *.jpeg ..." for the formats that are written (writable) or read (all).
std::string extensionPatterns(bool writable);

}  // namespace formats
