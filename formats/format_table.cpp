// The formats, one entry each, and the signature tests of the formats whose codecs predate
// the table.
#include "formats/format_table.h"

#include <cstring>

#include "formats/bmp/bmp_codec.h"
#include "formats/byte_order.h"
#include "formats/codec_entry.h"
#include "formats/gif/gif_codec.h"
#include "formats/heif/heif_codec.h"
#include "formats/ico/ico_codec.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/jxl/jxl_codec.h"
#include "formats/pcx/pcx_codec.h"
#include "formats/png/png_codec.h"
#include "formats/raw/raw_codec.h"
#include "formats/tga/tga_codec.h"
#include "formats/tiff/tiff_codec.h"
#include "formats/webp/webp_codec.h"

namespace formats {

namespace {

bool starts(const uint8_t* head, size_t length, const char* magic, size_t n) {
    return length >= n && std::memcmp(head, magic, n) == 0;
}

bool isJpeg(const uint8_t* h, size_t length) {
    return starts(h, length, "\xFF\xD8\xFF", 3);
}

bool isPng(const uint8_t* h, size_t length) {
    return starts(h, length, "\x89PNG\r\n\x1A\n", 8);
}

bool isGif(const uint8_t* h, size_t length) {
    return starts(h, length, "GIF87a", 6) || starts(h, length, "GIF89a", 6);
}

bool isTiff(const uint8_t* h, size_t length) {
    return starts(h, length, "II*\0", 4) || starts(h, length, "MM\0*", 4);
}

// A bitmap information header (OS/2, Windows, V4 or V5) with one plane and a real depth.
bool isDibHeader(const uint8_t* h, size_t length) {
    if (length < 16) return false;
    const uint32_t size = le32(h);
    if (size == 12) {
        const unsigned bits = le16(h + 10);
        return le16(h + 8) == 1 && (bits == 1 || bits == 4 || bits == 8 || bits == 24);
    }
    if (size != 40 && size != 52 && size != 56 && size != 64 && size != 108 && size != 124)
        return false;
    const unsigned bits = le16(h + 14);
    return le16(h + 12) == 1 &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

bool isBmp(const uint8_t* h, size_t length) {
    return starts(h, length, "BM", 2) && isDibHeader(h + 14, length - 14);
}

// Icons (type 1) and cursors (type 2) with at least one entry.
bool isIco(const uint8_t* h, size_t length) {
    return length >= 6 && le16(h) == 0 && (le16(h + 2) == 1 || le16(h + 2) == 2) && le16(h + 4) > 0;
}

// The manufacturer byte, a known version, run-length encoding, a real depth.
bool isPcx(const uint8_t* h, size_t length) {
    return length >= 4 && h[0] == 0x0A && (h[1] <= 5 && h[1] != 1) && h[2] == 1 &&
           (h[3] == 1 || h[3] == 2 || h[3] == 4 || h[3] == 8);
}

// TGA has no signature: accept only a header whose every field holds a legal value.
bool isTgaHeader(const uint8_t* h, size_t length) {
    if (length < 18) return false;
    const uint8_t mapType = h[1], imageType = h[2], depth = h[16];
    if (mapType > 1) return false;
    const bool mapped = imageType == 1 || imageType == 9;
    const bool trueColour = imageType == 2 || imageType == 10;
    const bool grey = imageType == 3 || imageType == 11;
    if (!mapped && !trueColour && !grey) return false;
    if (mapped != (mapType == 1)) return false;
    if (mapped) {
        const uint8_t entryBits = h[7];
        if (entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32) return false;
        if (depth != 8 && depth != 16) return false;
    } else if (trueColour) {
        if (depth != 15 && depth != 16 && depth != 24 && depth != 32) return false;
    } else if (depth != 8 && depth != 16) {
        return false;
    }
    return le16(h + 12) > 0 && le16(h + 14) > 0 && (h[17] & 0xC0) == 0;
}

constexpr uint32_t kAnyDepth = 32;

// The HEIF codec reads AVIF too; this one names its pictures and messages AVIF.
struct AvifCodec : HeifCodec {
    AvifCodec() : HeifCodec(AVIF) {}
};

// Signatures are tested in this order: the formats whose signature is a prefix of another's
// container (CR2 files are TIFF files) come before it, the weak icon test after the rest.
const FormatEntry kFormats[] = {
    {JPEG, "JPEG", "jpeg", "jpg jpeg jpe jfif", "image/jpeg", isJpeg, nullptr, -1,
     decodeWith<JpegCodec>, encodeWith<JpegCodec>, JPEG, kAnyDepth, false, true, true},
    {PNG, "PNG", "png", "png", "image/png", isPng, nullptr, -1, decodeWith<PngCodec>,
     encodeWith<PngCodec>, PNG, kAnyDepth, false, true, true},
    {GIF, "GIF", "gif", "gif", "image/gif", isGif, nullptr, -1, decodeWith<GifCodec, true>,
     encodeWith<GifCodec>, GIF, 8, false, false, false},
    // Camera RAW: read only, developed upright; DNG, NEF, ARW and the other TIFF-based kinds are
    // told from TIFF by their extension. A corrected photo is saved as JPEG.
    {RAW, "RAW", "raw",
     "dng cr2 cr3 nef nrw arw srf sr2 raf orf rw2 pef srw x3f 3fr iiq erf kdc mrw",
     "image/x-adobe-dng image/x-canon-cr2 image/x-canon-cr3 image/x-nikon-nef image/x-nikon-nrw "
     "image/x-sony-arw image/x-sony-srf image/x-sony-sr2 image/x-fuji-raf image/x-olympus-orf "
     "image/x-panasonic-rw2 image/x-pentax-pef image/x-samsung-srw image/x-sigma-x3f "
     "image/x-hasselblad-3fr image/x-phaseone-iiq image/x-epson-erf image/x-kodak-kdc "
     "image/x-minolta-mrw",
     isRawSignature, nullptr, TIFF, decodeWith<RawCodec>, nullptr, JPEG, kAnyDepth, true, true,
     false},
    {TIFF, "TIFF", "tiff", "tif tiff", "image/tiff", isTiff, nullptr, -1,
     decodeWith<TiffCodec, true>, encodeWith<TiffCodec>, TIFF, kAnyDepth, true, true, true},
    {BMP, "BMP", "bmp", "bmp dib", "image/bmp", isBmp, isDibHeader, -1, decodeWith<BmpCodec>,
     encodeWith<BmpCodec>, BMP, kAnyDepth, false, false, false},
    // Icons are saved by the batch as PNG: a corrected photo is no icon.
    {ICO, "ICO", "ico", "ico cur", "image/vnd.microsoft.icon", isIco, nullptr, -1,
     decodeWith<IcoCodec, true>, encodeWith<IcoCodec>, PNG, kAnyDepth, false, false, false},
    {PCX, "PCX", "pcx", "pcx", "image/x-pcx", isPcx, nullptr, -1, decodeWith<PcxCodec>, nullptr,
     PNG, kAnyDepth, false, false, false},
    // Read only, saved as JPEG; libheif turns the picture by the file's own transformations.
    {HEIF, "HEIF", "heif", "heic heif hif", "image/heic image/heif", isHeifSignature, nullptr, -1,
     decodeWith<HeifCodec>, nullptr, JPEG, kAnyDepth, true, true, false},
    {AVIF, "AVIF", "avif", "avif", "image/avif", isAvifSignature, nullptr, -1,
     decodeWith<AvifCodec>, nullptr, JPEG, kAnyDepth, true, true, false},
    {TGA, "TGA", "tga", "tga", "image/x-tga", nullptr, isTgaHeader, -1, decodeWith<TgaCodec>,
     encodeWith<TgaCodec>, TGA, kAnyDepth, false, false, false},
    // Exiv2 0.27 says its WebP images support no metadata, yet writes their EXIF and XMP;
    // the ICC profile goes in through libwebpmux.
    {WEBP, "WebP", "webp", "webp", "image/webp", isWebpSignature, nullptr, -1,
     decodeWith<WebpCodec>, encodeWith<WebpCodec>, WEBP, kAnyDepth, false, true, true},
    // Read only: a JPEG XL photo is saved as JPEG. libjxl turns it upright; Exiv2 reads its
    // Exif and XMP boxes (not brotli-compressed ones).
    {JXL, "JPEG XL", "jxl", "jxl", "image/jxl", isJxlSignature, nullptr, -1, decodeWith<JxlCodec>,
     nullptr, JPEG, kAnyDepth, true, true, false},
};

}  // namespace

std::span<const FormatEntry> allFormats() {
    return kFormats;
}

const FormatEntry* formatEntry(uint32_t type) {
    for (const FormatEntry& entry : kFormats)
        if (entry.type == type) return &entry;
    return nullptr;
}

const FormatEntry* formatById(const std::string& id) {
    for (const FormatEntry& entry : kFormats)
        if (id == entry.id) return &entry;
    return nullptr;
}

const char* formatName(uint32_t type) {
    const FormatEntry* entry = formatEntry(type);
    return entry ? entry->name : "image";
}

uint32_t writtenTypeFor(uint32_t type, uint32_t bitCount) {
    const FormatEntry* entry = formatEntry(type);
    if (!entry) return type;
    if (bitCount > entry->maxSavedBits) return JPEG;
    return entry->encode ? type : entry->writtenAs;
}

std::string writtenExtension(uint32_t type) {
    const FormatEntry* entry = formatEntry(type);
    if (!entry) return "";
    const char* space = std::strchr(entry->extensions, ' ');
    const std::string first =
        space ? std::string(entry->extensions, space) : std::string(entry->extensions);
    return "." + first;
}

bool hasExtension(const FormatEntry& entry, const std::string& name) {
    if (name.empty()) return false;
    for (const char* at = entry.extensions; *at;) {
        const char* end = std::strchr(at, ' ');
        const size_t n = end ? size_t(end - at) : std::strlen(at);
        if (n == name.size() && name.compare(0, n, at, n) == 0) return true;
        if (!end) break;
        at = end + 1;
    }
    return false;
}

std::string extensionPatterns(bool writable) {
    std::string out;
    for (const FormatEntry& entry : kFormats) {
        if (writable && !entry.encode) continue;
        for (const char* at = entry.extensions; *at;) {
            const char* end = std::strchr(at, ' ');
            if (!out.empty()) out += ' ';
            out += "*.";
            out += end ? std::string(at, end) : std::string(at);
            if (!end) break;
            at = end + 1;
        }
    }
    return out;
}

}  // namespace formats
