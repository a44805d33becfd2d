// The shared helpers of the metadata tests: the test card, the stored orientations written out
// from the EXIF table, the fully tagged photo made with Exiv2, and the two readers.
#include "tests/metadata/metadata_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exiv2/exiv2.hpp>

#include "formats/image_stream.h"

namespace metadata_test {

DibImage uprightCard() {
    DibImage card(64, 48, 24, BMP);
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            const int bx = x / 16, by = y / 16;  // by counted from the top
            card.setPixelColor(x, 47 - y,
                               RgbQuad{uint8_t(40 + 60 * by), uint8_t(200 - 50 * bx),
                                       uint8_t((bx * 70 + by * 110) % 256), 0});
        }
    return card;
}

RgbQuad topDown(const DibImage& image, int32_t x, int32_t y) {
    return image.getPixelColor(x, image.height() - 1 - y);
}

DibImage storedFor(const DibImage& upright, int orientation) {
    const int32_t W = upright.width(), H = upright.height();
    const bool across = orientation >= 5;
    DibImage stored(across ? H : W, across ? W : H, 24, BMP);
    for (int32_t r = 0; r < stored.height(); ++r)
        for (int32_t c = 0; c < stored.width(); ++c) {
            // Stored row r and column c: where they lie in the upright picture. 5 to 8 lay
            // row 0 at the left and column 0 at the top; 2, 3, 6 and 7 mirror left and right,
            // 3, 4, 7 and 8 top and bottom.
            int32_t x = across ? r : c, y = across ? c : r;
            if (orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7)
                x = W - 1 - x;
            if (orientation == 3 || orientation == 4 || orientation == 7 || orientation == 8)
                y = H - 1 - y;
            stored.setPixelColor(c, stored.height() - 1 - r, topDown(upright, x, y));
        }
    return stored;
}

Bytes encode(DibImage image, uint32_t type, int quality) {
    image.info.jpegQuality = uint8_t(quality);
    // A real file: libtiff reads back what it writes.
    FILE* file = std::tmpfile();
    bool ok;
    {
        ImageStream stream(file);
        ok = image.saveToStream(stream, type);
    }
    Bytes bytes;
    if (ok && std::fflush(file) == 0 && std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        std::rewind(file);
        bytes.resize(size_t(size));
        if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
    }
    std::fclose(file);
    if (bytes.empty()) std::fprintf(stderr, "encode failed: %s\n", image.lastError());
    return bytes;
}

Bytes iccProfile() {
    Bytes icc(1000, 0);
    const auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) icc[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
    };
    const auto tag = [&](size_t at, const char* text) {
        for (int i = 0; i < 4; ++i) icc[at + size_t(i)] = uint8_t(text[i]);
    };
    put32(0, 1000);
    tag(4, "none");
    put32(8, 0x02100000);
    tag(12, "mntr");
    tag(16, "RGB ");
    tag(20, "XYZ ");
    tag(36, "acsp");
    put32(68, 0x0000F6D6);  // D50
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    // One tag, a copyright text; the rest is a pattern that must survive byte for byte.
    put32(128, 1);
    tag(132, "cprt");
    put32(136, 144);
    put32(140, 24);
    tag(144, "text");
    std::memcpy(&icc[152], "Vantifex test\0", 14);
    for (size_t i = 168; i < icc.size(); ++i) icc[i] = uint8_t(i * 7 + 3);
    return icc;
}

void addFullMetadata(const std::string& path, int orientation) {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    DibImage probe;
    probe.loadFromFile(path.c_str(), JPEG);

    Exiv2::ExifData& exif = image->exifData();
    exif["Exif.Image.Make"] = kMake;
    exif["Exif.Image.Model"] = kModel;
    exif["Exif.Image.Orientation"] = uint16_t(orientation);
    exif["Exif.Photo.DateTimeOriginal"] = kDate;
    exif["Exif.Photo.PixelXDimension"] = uint32_t(probe.width());
    exif["Exif.Photo.PixelYDimension"] = uint32_t(probe.height());
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = "52/1 30/1 0/1";
    exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
    exif["Exif.GPSInfo.GPSLongitude"] = "13/1 24/1 0/1";
    const Bytes thumbnail = encode(storedFor(uprightCard(), orientation), JPEG);
    Exiv2::ExifThumb(exif).setJpegThumbnail(thumbnail.data(), long(thumbnail.size()));

    Exiv2::XmpData& xmp = image->xmpData();
    xmp["Xmp.dc.title"] = std::string(kTitle);
    xmp["Xmp.xmp.Rating"] = std::string("4");
    xmp["Xmp.tiff.Orientation"] = std::to_string(orientation);

    Exiv2::IptcData& iptc = image->iptcData();
    iptc["Iptc.Application2.Caption"] = std::string(kCaption);
    iptc["Iptc.Application2.Byline"] = std::string("Ann Example");

    image->setComment(kComment);
    Bytes icc = iccProfile();
    Exiv2::DataBuf iccBuffer(icc.data(), long(icc.size()));
    image->setIccProfile(iccBuffer, true);
    image->writeMetadata();
}

void setOrientation(const std::string& path, int orientation) {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    image->exifData()["Exif.Image.Orientation"] = uint16_t(orientation);
    image->writeMetadata();
}

bool Found::has(const std::string& block, const std::string& key, const std::string& value) const {
    const std::string& text = block == "exif" ? exif : block == "xmp" ? xmp : iptc;
    return text.find("\n" + key + "=" + value + "\n") != std::string::npos;
}

Found readWithExiv2(const std::string& path) {
    Found found;
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    found.exif = found.xmp = found.iptc = "\n";
    for (const auto& d : image->exifData()) found.exif += d.key() + "=" + d.toString() + "\n";
    for (const auto& d : image->xmpData()) found.xmp += d.key() + "=" + d.toString() + "\n";
    for (const auto& d : image->iptcData()) found.iptc += d.key() + "=" + d.toString() + "\n";
    found.comment = image->comment();
    if (image->iccProfileDefined())
        found.icc.assign(image->iccProfile()->pData_,
                         image->iccProfile()->pData_ + image->iccProfile()->size_);
    return found;
}

bool haveExiftool() {
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

std::string exiftoolJson(const std::string& path) {
    std::string command = "exiftool -j -n -G '";
    for (char c : path) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "' 2>/dev/null";
    std::string json;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) json.append(buffer, n);
        pclose(pipe);
    }
    return json;
}

bool jsonHas(const std::string& json, const std::string& key, const std::string& value) {
    return json.find("\"" + key + "\": " + value + ",") != std::string::npos ||
           json.find("\"" + key + "\": " + value + "\n") != std::string::npos;
}

bool jsonHasGroup(const std::string& json, const std::string& group) {
    return json.find("\"" + group) != std::string::npos;
}

}  // namespace metadata_test
