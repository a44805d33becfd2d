// The Exiv2 glue: reading a photo's metadata into plain blocks and writing them into an encoded
// copy. Every Exiv2 call stays behind a catch-all here; nothing Exiv2 throws leaves this file.
#include "metadata/photo_metadata.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <exiv2/bmffimage.hpp>
#include <exiv2/cr2image.hpp>
#include <exiv2/exiv2.hpp>
#include <exiv2/orfimage.hpp>
#include <exiv2/rafimage.hpp>
#include <exiv2/rw2image.hpp>
#include <exiv2/webpimage.hpp>
#include <iterator>
#include <mutex>
#include <vector>

#include <webp/mux.h>

#include "formats/format_detect.h"
#include "formats/format_table.h"
#include "formats/heif/heif_codec.h"
#include "formats/jxl/jxl_codec.h"

namespace {

void lockXmp(void* data, bool lock) {
    auto* mutex = static_cast<std::recursive_mutex*>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

// Exiv2 re-registers every custom namespace with the XMP toolkit inside each XMP parse and
// serialisation, unguarded against another thread's: one photo of a parallel batch then
// lost its XMP (and its settings record). Every XMP-touching call runs under this lock.
std::recursive_mutex& xmpMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

// Exiv2's log goes nowhere (hostile files would fill stderr), and the XMP toolkit is set up
// once with a lock before loads on several threads can reach it.
void prepareExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::LogMsg::setHandler(nullptr);
        Exiv2::XmpParser::initialize(lockXmp, &xmpMutex());
        // HEIF, AVIF, JPEG XL and CR3 files are ISO base media files.
        Exiv2::enableBMFF(true);
        Exiv2::XmpProperties::registerNs(kVantifexXmpNamespace, kVantifexXmpPrefix);
    });
}

const char* const kSettingsKey = "Xmp.vantifex.Settings";

int exiv2Type(uint32_t type) {
    switch (type) {
        case JPEG:
            return Exiv2::ImageType::jpeg;
        case PNG:
            return Exiv2::ImageType::png;
        case TIFF:
            return Exiv2::ImageType::tiff;
        case WEBP:
            return Exiv2::ImageType::webp;
        default:
            return Exiv2::ImageType::none;
    }
}

// Text for printing: trailing blanks and NULs cut, control characters (a hostile Make could
// carry terminal escapes) shown as '?', at most 200 bytes.
std::string cleanText(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    if (text.size() > 200) text.resize(200);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text;
}

std::string exifText(const Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? std::string() : cleanText(it->toString());
}

int exifOrientation(const Exiv2::ExifData& exif) {
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (it == exif.end() || it->count() < 1) return 0;
    const Exiv2::TypeId t = it->typeId();
    if (t != Exiv2::unsignedShort && t != Exiv2::unsignedLong && t != Exiv2::signedShort &&
        t != Exiv2::signedLong)
        return 0;
    const long value = it->toLong(0);
    return value >= 1 && value <= 8 ? int(value) : 0;
}

// The EXIF colour space (1 sRGB, 65535 uncalibrated); 0 when there is none.
long exifColourSpace(const Exiv2::ExifData& exif) {
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Photo.ColorSpace"));
    if (it == exif.end() || it->count() < 1) return 0;
    const Exiv2::TypeId t = it->typeId();
    if (t != Exiv2::unsignedShort && t != Exiv2::unsignedLong) return 0;
    return it->toLong(0);
}

// Uncalibrated colour space with the interoperability index "R03": how cameras (the DCF rule)
// mark Adobe RGB without embedding its profile.
bool exifSaysAdobeRgb(const Exiv2::ExifData& exif) {
    return exifColourSpace(exif) == 65535 &&
           exifText(exif, "Exif.Iop.InteroperabilityIndex") == "R03";
}

PhotoMetadata collect(Exiv2::Image& image) {
    std::lock_guard<std::recursive_mutex> xmpLock(xmpMutex());
    image.readMetadata();
    PhotoMetadata m;
    const Exiv2::ExifData& exif = image.exifData();
    if (!exif.empty()) {
        m.orientation = exifOrientation(exif);
        m.cameraMake = exifText(exif, "Exif.Image.Make");
        m.cameraModel = exifText(exif, "Exif.Image.Model");
        m.dateTaken = exifText(exif, "Exif.Photo.DateTimeOriginal");
        // Cameras write the mark into their JPEG and TIFF files (and HEIF, read below).
        m.adobeRgbByExif = (image.imageType() == Exiv2::ImageType::jpeg ||
                            image.imageType() == Exiv2::ImageType::tiff) &&
                           exifSaysAdobeRgb(exif);
        Exiv2::ByteOrder order = image.byteOrder();
        if (order == Exiv2::invalidByteOrder) order = Exiv2::littleEndian;
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, order, exif);
        m.exif.assign(blob.begin(), blob.end());
    }
    const auto record = image.xmpData().findKey(Exiv2::XmpKey(kSettingsKey));
    if (record != image.xmpData().end()) m.settingsRecord = record->toString();
    m.xmp = image.xmpPacket();
    if (m.xmp.empty() && !image.xmpData().empty())
        if (Exiv2::XmpParser::encode(m.xmp, image.xmpData()) != 0) m.xmp.clear();
    if (!image.iptcData().empty()) {
        const Exiv2::DataBuf iptc = Exiv2::IptcParser::encode(image.iptcData());
        if (iptc.pData_ && iptc.size_ > 0) m.iptc.assign(iptc.pData_, iptc.pData_ + iptc.size_);
    }
    if (image.iccProfileDefined()) {
        const Exiv2::DataBuf* icc = image.iccProfile();
        if (icc->pData_ && icc->size_ > 0) m.icc.assign(icc->pData_, icc->pData_ + icc->size_);
    }
    m.comment = image.comment();
    return m;
}

PhotoMetadata readFrom(Exiv2::BasicIo::AutoPtr io) {
    prepareExiv2();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(io);
        if (!image.get()) return {};
        // Only the formats the codecs here decode: no other parser meets untrusted bytes.
        // Most camera RAW files (DNG, NEF, ARW, PEF) are read as TIFF.
        static const int kRead[] = {
            Exiv2::ImageType::jpeg, Exiv2::ImageType::png,  Exiv2::ImageType::tiff,
            Exiv2::ImageType::webp, Exiv2::ImageType::bmff, Exiv2::ImageType::cr2,
            Exiv2::ImageType::orf,  Exiv2::ImageType::rw2,  Exiv2::ImageType::raf};
        const int t = image->imageType();
        if (std::find(std::begin(kRead), std::end(kRead), t) == std::end(kRead)) return {};
        return collect(*image);
    } catch (...) {
        return {};
    }
}

// The copy's own geometry: upright, its size, and no thumbnail of the uncorrected photo.
void fitExif(Exiv2::ExifData& exif, uint32_t type, int32_t width, int32_t height) {
    // A camera RAW's (or a TIFF's) first directory describes its stored picture: none of that
    // is true of a JPEG, PNG or WebP copy. A TIFF copy's own writer sets those tags itself.
    if (type != TIFF) {
        static const char* const kStructure[] = {"Exif.Image.NewSubfileType",
                                                 "Exif.Image.SubfileType",
                                                 "Exif.Image.BitsPerSample",
                                                 "Exif.Image.Compression",
                                                 "Exif.Image.PhotometricInterpretation",
                                                 "Exif.Image.SamplesPerPixel",
                                                 "Exif.Image.PlanarConfiguration",
                                                 "Exif.Image.StripOffsets",
                                                 "Exif.Image.StripByteCounts",
                                                 "Exif.Image.RowsPerStrip",
                                                 "Exif.Image.TileWidth",
                                                 "Exif.Image.TileLength",
                                                 "Exif.Image.TileOffsets",
                                                 "Exif.Image.TileByteCounts",
                                                 "Exif.Image.SubIFDs",
                                                 "Exif.Image.CFARepeatPatternDim",
                                                 "Exif.Image.CFAPattern",
                                                 "Exif.Image.DNGVersion",
                                                 "Exif.Image.DNGBackwardVersion",
                                                 "Exif.Image.ColorMatrix1",
                                                 "Exif.Image.ColorMatrix2",
                                                 "Exif.Image.AsShotNeutral",
                                                 "Exif.Image.BlackLevel",
                                                 "Exif.Image.WhiteLevel",
                                                 "Exif.Image.CalibrationIlluminant1",
                                                 "Exif.Image.CalibrationIlluminant2"};
        for (const char* key : kStructure) {
            const auto it = exif.findKey(Exiv2::ExifKey(key));
            if (it != exif.end()) exif.erase(it);
        }
        for (auto it = exif.begin(); it != exif.end();)
            it = it->groupName().rfind("SubImage", 0) == 0 ? exif.erase(it) : std::next(it);
    }
    Exiv2::ExifThumb(exif).erase();
    for (auto it = exif.begin(); it != exif.end();)
        it = it->groupName() == "Thumbnail" ? exif.erase(it) : std::next(it);
    exif["Exif.Image.Orientation"] = uint16_t(1);
    exif["Exif.Photo.PixelXDimension"] = uint32_t(width);
    exif["Exif.Photo.PixelYDimension"] = uint32_t(height);
    for (const char* key : {"Exif.Image.ImageWidth", "Exif.Image.ImageLength"}) {
        const auto it = exif.findKey(Exiv2::ExifKey(key));
        if (it != exif.end()) exif.erase(it);
    }
}

void fitXmp(Exiv2::XmpData& xmp, int32_t width, int32_t height) {
    const auto replace = [&](const char* key, const std::string& value) {
        const auto it = xmp.findKey(Exiv2::XmpKey(key));
        if (it != xmp.end()) it->setValue(value);
    };
    replace("Xmp.tiff.Orientation", "1");
    replace("Xmp.exif.PixelXDimension", std::to_string(width));
    replace("Xmp.exif.PixelYDimension", std::to_string(height));
    replace("Xmp.tiff.ImageWidth", std::to_string(width));
    replace("Xmp.tiff.ImageLength", std::to_string(height));
}

bool addWebpIcc(std::vector<uint8_t>& file, const std::vector<uint8_t>& icc) {
    const WebPData in{file.data(), file.size()};
    WebPMux* mux = WebPMuxCreate(&in, 1);
    if (!mux) return false;
    const WebPData chunk{icc.data(), icc.size()};
    WebPData out{};
    const bool ok = WebPMuxSetChunk(mux, "ICCP", &chunk, 1) == WEBP_MUX_OK &&
                    WebPMuxAssemble(mux, &out) == WEBP_MUX_OK;
    if (ok) file.assign(out.bytes, out.bytes + out.size);
    WebPDataClear(&out);
    WebPMuxDelete(mux);
    return ok;
}

enum Block : unsigned { kExif = 1, kXmp = 2, kIptc = 4, kComment = 8, kIcc = 16 };

// One try at writing the blocks in mask; false (file untouched) on any Exiv2 failure.
bool writeBlocks(std::vector<uint8_t>& file, uint32_t type, const PhotoMetadata& m, unsigned mask,
                 int32_t width, int32_t height) {
    try {
        std::lock_guard<std::recursive_mutex> xmpLock(xmpMutex());
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(file.data(), long(file.size()));
        if (!image.get() || image->imageType() != exiv2Type(type)) return false;
        // Exiv2 0.27's WebP image says it supports nothing, yet writes EXIF, XMP and ICC chunks.
        const auto supports = [&](Exiv2::MetadataId id) {
            return image->supportsMetadata(id) ||
                   (type == WEBP && (id == Exiv2::mdExif || id == Exiv2::mdXmp));
        };
        if ((mask & kExif) && !m.exif.empty() && supports(Exiv2::mdExif)) {
            Exiv2::ExifData exif;
            Exiv2::ExifParser::decode(exif, m.exif.data(), uint32_t(m.exif.size()));
            fitExif(exif, type, width, height);
            image->setExifData(exif);
        }
        if ((mask & kXmp) && (!m.xmp.empty() || !m.settingsRecord.empty()) &&
            supports(Exiv2::mdXmp)) {
            Exiv2::XmpData xmp;
            if (!m.xmp.empty() && Exiv2::XmpParser::decode(xmp, m.xmp) != 0) return false;
            fitXmp(xmp, width, height);
            // The source's own record (a copy corrected again) gives way to this copy's.
            const auto old = xmp.findKey(Exiv2::XmpKey(kSettingsKey));
            if (old != xmp.end()) xmp.erase(old);
            if (!m.settingsRecord.empty()) xmp[kSettingsKey] = m.settingsRecord;
            image->setXmpData(xmp);
        }
        if ((mask & kIptc) && !m.iptc.empty() && image->supportsMetadata(Exiv2::mdIptc)) {
            Exiv2::IptcData iptc;
            if (Exiv2::IptcParser::decode(iptc, m.iptc.data(), uint32_t(m.iptc.size())) != 0)
                return false;
            image->setIptcData(iptc);
        }
        if ((mask & kComment) && !m.comment.empty() && image->supportsMetadata(Exiv2::mdComment))
            image->setComment(m.comment);
        // A HEIF's colours declared only by nclx codes go into the copy as the profile of
        // those codes: without one, every viewer would take the copy's values as sRGB.
        const std::vector<uint8_t> profile =
            !m.icc.empty() || m.cicpPrimaries == 0
                ? m.icc
                : DisplayColour::cicpProfile(m.cicpPrimaries, m.cicpTransfer);
        // Exiv2 0.27 does not list the ICC profile among what its JPEG, PNG and TIFF images
        // support, but writes it into all three.
        if ((mask & kIcc) && !profile.empty() && type != WEBP) {
            // Byte for byte; a profile whose size field disagrees is refused, as Exiv2's own
            // reader would refuse the whole file's metadata for it.
            Exiv2::DataBuf icc(profile.data(), long(profile.size()));
            image->setIccProfile(icc, true);
        }
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0) return false;
        const long size = io.size();
        if (size <= 0) return false;
        const Exiv2::DataBuf out = io.read(size);
        io.close();
        if (out.size_ != size) return false;
        file.assign(out.pData_, out.pData_ + out.size_);
        // Exiv2 reads a WebP file's ICC profile but does not write one: libwebpmux does.
        if ((mask & kIcc) && !profile.empty() && type == WEBP) return addWebpIcc(file, profile);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

// The EXIF of a HEIF or AVIF file that Exiv2 did not find, through libheif.
void addHeifExif(PhotoMetadata& m, const std::string& path) {
    const int type = formats::contentFormatOfFile(path);
    if (type != HEIF && type != AVIF) return;
    const std::vector<uint8_t> block = heifExifBlock(path);
    if (block.empty() || block.size() > UINT32_MAX) return;
    Exiv2::ExifData exif;
    Exiv2::ExifParser::decode(exif, block.data(), uint32_t(block.size()));
    if (exif.empty()) return;
    m.orientation = exifOrientation(exif);
    m.cameraMake = exifText(exif, "Exif.Image.Make");
    m.cameraModel = exifText(exif, "Exif.Image.Model");
    m.dateTaken = exifText(exif, "Exif.Photo.DateTimeOriginal");
    m.adobeRgbByExif = exifSaysAdobeRgb(exif);
    m.exif = block;
}

// The nclx colours of a HEIF or AVIF file without an ICC profile.
void addHeifNclx(PhotoMetadata& m, const std::string& path) {
    if (m.hasIcc()) return;
    const int type = formats::contentFormatOfFile(path);
    if (type != HEIF && type != AVIF) return;
    int primaries = 0, transfer = 0;
    if (!heifNclx(path, primaries, transfer) || primaries <= 0) return;
    m.cicpPrimaries = primaries;
    m.cicpTransfer = transfer;
}

std::shared_ptr<const DisplayColour> displayColour(const PhotoMetadata& metadata) {
    if (metadata.hasIcc()) return DisplayColour::forProfile(metadata.icc);
    // The container's own declaration wins over the camera's EXIF convention.
    if (metadata.cicpPrimaries != 0)
        return DisplayColour::forCicp(metadata.cicpPrimaries, metadata.cicpTransfer);
    return metadata.adobeRgbByExif ? DisplayColour::forAdobeRgb() : nullptr;
}

PhotoMetadata readMetadata(const std::string& path) {
    // Only regular files; and a FileIo, so a name such as "http://..." is never fetched.
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    try {
        PhotoMetadata m = readFrom(Exiv2::BasicIo::AutoPtr(new Exiv2::FileIo(path)));
        if (m.exif.empty()) addHeifExif(m, path);
        addHeifNclx(m, path);
        if (m.icc.empty() && formats::contentFormatOfFile(path) == JXL)
            m.icc = jxlDecodedProfile(path);
        return m;
    } catch (...) {
        return {};
    }
}

PhotoMetadata readMetadata(const uint8_t* data, size_t size) {
    if (!data || size == 0 || size > size_t(LONG_MAX)) return {};
    try {
        return readFrom(Exiv2::BasicIo::AutoPtr(new Exiv2::MemIo(data, long(size))));
    } catch (...) {
        return {};
    }
}

bool carriesMetadata(uint32_t type) {
    const formats::FormatEntry* entry = formats::formatEntry(type);
    return entry && entry->carriesMetadata && exiv2Type(type) != Exiv2::ImageType::none;
}

bool readsMetadata(uint32_t type) {
    const formats::FormatEntry* entry = formats::formatEntry(type);
    return entry && entry->readsMetadata;
}

bool applyMetadata(std::vector<uint8_t>& file, uint32_t type, const PhotoMetadata& metadata,
                   int32_t width, int32_t height) {
    if (file.empty() || !carriesMetadata(type) || metadata.empty()) return false;
    prepareExiv2();
    if (writeBlocks(file, type, metadata, kExif | kXmp | kIptc | kComment | kIcc, width, height))
        return true;
    // Exiv2 refused a block (hostile data that it read but cannot write back): keep every
    // block that can be written together with the ones already kept, the colour profile first.
    unsigned kept = 0;
    bool any = false;
    for (unsigned block : {kIcc, kExif, kXmp, kIptc, kComment}) {
        std::vector<uint8_t> trial = file;
        if (writeBlocks(trial, type, metadata, kept | block, width, height)) {
            kept |= block;
            any = true;
        }
    }
    if (any && writeBlocks(file, type, metadata, kept, width, height)) return true;
    return false;
}
