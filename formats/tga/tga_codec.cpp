// Targa reading and writing: the 18-byte header, the optional colour map, raw or run-length
// pixels in any of the four row orders, and the uncompressed bottom-up writer.
#include "formats/tga/tga_codec.h"

#include "formats/byte_order.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/codec_error.h"

namespace {

constexpr size_t kHeaderSize = 18;

// Image types; bit 3 marks the run-length forms (9, 10, 11).
constexpr uint8_t kColourMapped = 1;
constexpr uint8_t kTrueColour = 2;
constexpr uint8_t kGrey = 3;
constexpr uint8_t kRunLength = 8;

// Descriptor: bits 0-3 count the attribute (alpha) bits of a pixel, bit 4 says rows run right
// to left, bit 5 that they run top to bottom.
constexpr uint8_t kAttributeBits = 0x0F;
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopToBottom = 0x20;

struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint8_t imageType = 0;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapEntrySize = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelDepth = 0;
    uint8_t descriptor = 0;
};

TgaHeader parseHeader(const uint8_t* b) {
    TgaHeader h;
    h.idLength = b[0];
    h.colourMapType = b[1];
    h.imageType = b[2];
    h.mapFirst = le16(b + 3);
    h.mapLength = le16(b + 5);
    h.mapEntrySize = b[7];
    // 8-11: the screen origin, which says nothing about the picture itself.
    h.width = le16(b + 12);
    h.height = le16(b + 14);
    h.pixelDepth = b[16];
    h.descriptor = b[17];
    return h;
}

// A 5-5-5 value widened the way the rest of the system widens 5-bit channels: low bits zero.
RgbQuad from555(uint16_t w) {
    return RgbQuad{uint8_t((w & 0x1F) << 3), uint8_t((w >> 2) & 0xF8), uint8_t((w >> 7) & 0xF8), 0};
}

void readExactly(ImageStream& stream, void* buffer, size_t size) {
    if (size && stream.read(buffer, 1, size) != size) raiseCodecFailure("corrupted TGA");
}

// Walks the picture in file order and stores each pixel at its upright place, so that neither
// a wrong header nor a long packet can reach past the image.
class PixelSink {
  public:
    PixelSink(DibImage& image, uint8_t depth, uint8_t descriptor, bool grey)
        : image_(image),
          width_(image.width()),
          height_(image.height()),
          // 16-bit grey pixels are a grey byte and an alpha byte, not 5-5-5 colours.
          depth_(grey && depth == 16 ? kGreyAlpha : depth),
          topDown_(descriptor & kTopToBottom),
          rightToLeft_(descriptor & kRightToLeft),
          alpha_(image.alphaPlane()) {}

    uint64_t remaining() const { return total_ - done_; }

    // Stores count pixels of bytesPerPixel bytes each, taken from source (step 0 repeats one).
    void put(const uint8_t* source, uint64_t count, size_t step) {
        for (uint64_t i = 0; i < count && done_ < total_; ++i, source += step) {
            const int32_t fileRow = int32_t(done_ / uint64_t(width_));
            const int32_t fileColumn = int32_t(done_ % uint64_t(width_));
            const int32_t y = topDown_ ? height_ - 1 - fileRow : fileRow;
            const int32_t x = rightToLeft_ ? width_ - 1 - fileColumn : fileColumn;
            store(x, y, source);
            ++done_;
        }
    }

  private:
    static constexpr uint8_t kGreyAlpha = 0xFF;  // not a real depth

    void store(int32_t x, int32_t y, const uint8_t* s) {
        uint8_t* row = image_.row(y);
        const size_t a = size_t(y) * size_t(width_) + size_t(x);
        switch (depth_) {
            case 8:
                row[x] = s[0];
                break;
            case kGreyAlpha:
                row[x] = s[0];
                alpha_[a] = s[1];
                break;
            case 24:
                std::memcpy(row + size_t(x) * 3, s, 3);
                break;
            case 32:
                std::memcpy(row + size_t(x) * 3, s, 3);
                alpha_[a] = s[3];
                break;
            case 15:
            case 16: {
                const uint16_t w = le16(s);
                const RgbQuad c = from555(w);
                uint8_t* p = row + size_t(x) * 3;
                p[0] = c.blue;
                p[1] = c.green;
                p[2] = c.red;
                // Bit 15 is the format's attribute bit: set means opaque.
                if (alpha_) alpha_[a] = (w & 0x8000) ? 255 : 0;
                break;
            }
            default:
                break;
        }
    }

    DibImage& image_;
    const int32_t width_;
    const int32_t height_;
    const uint8_t depth_;
    const bool topDown_;
    const bool rightToLeft_;
    uint8_t* const alpha_;
    const uint64_t total_ = uint64_t(width_) * uint64_t(height_);
    uint64_t done_ = 0;
};

bool depthFits(uint8_t baseType, uint8_t depth) {
    if (baseType == kTrueColour) return depth == 15 || depth == 16 || depth == 24 || depth == 32;
    if (baseType == kGrey) return depth == 8 || depth == 16;  // grey, or grey then alpha
    return depth == 8;                                        // colour-mapped indices
}

}  // namespace

bool TgaCodec::decode(ImageStream& stream) {
    try {
        uint8_t raw[kHeaderSize];
        if (stream.read(raw, 1, kHeaderSize) != kHeaderSize) raiseCodecFailure("Not a TGA");
        const TgaHeader h = parseHeader(raw);
        uint8_t id[255];
        readExactly(stream, id, h.idLength);

        const uint8_t baseType = h.imageType & 7;
        const bool runLength = h.imageType & kRunLength;
        if ((h.imageType & ~(kRunLength | 7)) != 0 ||
            (baseType != kColourMapped && baseType != kTrueColour && baseType != kGrey))
            raiseCodecFailure("Unknown TGA image type");
        // A depth that does not belong to the type would be decoded as something it is not.
        if (!depthFits(baseType, h.pixelDepth)) raiseCodecFailure("Unsupported TGA pixel depth");

        const bool hasMap = h.colourMapType == 1;
        const size_t entryBytes = (size_t(h.mapEntrySize) + 7) / 8;
        const bool entryKnown = h.mapEntrySize == 15 || h.mapEntrySize == 16 ||
                                h.mapEntrySize == 24 || h.mapEntrySize == 32;
        if (hasMap && baseType == kColourMapped && !entryKnown)
            raiseCodecFailure("Unsupported TGA colour map");
        const size_t mapBytes = hasMap ? size_t(h.mapLength) * entryBytes : 0;

        // Refuse sizes the file cannot hold before allocating for them: raw pixels take their
        // full size, run-length ones at least one packet of 128 pixels per 1 + depth bytes.
        const size_t bytesPerPixel = (size_t(h.pixelDepth) + 7) / 8;
        const uint64_t pixelCount = uint64_t(h.width) * h.height;
        const uint64_t leastPixelBytes =
            runLength ? (pixelCount + 127) / 128 * (1 + bytesPerPixel) : pixelCount * bytesPerPixel;
        const long here = stream.tell();
        const long end = stream.length();
        if (here >= 0 && end >= here && uint64_t(end - here) < mapBytes + leastPixelBytes)
            raiseCodecFailure("corrupted TGA");

        // Grey with alpha always carries its alpha byte, as 32-bit colour does.
        const bool greyAlpha = baseType == kGrey && h.pixelDepth == 16;
        const bool alpha = h.pixelDepth == 32 || greyAlpha ||
                           (h.pixelDepth == 16 && (h.descriptor & kAttributeBits) != 0);
        const uint32_t bits = h.pixelDepth == 8 || greyAlpha ? 8 : 24;
        if (!create(h.width, h.height, bits, TGA)) raiseCreateFailure(*this);
        // A refusal by the decode budget keeps its own words.
        if (alpha && !alphaCreate())
            raiseCodecFailure(lastError()[0] ? lastError() : "TGA Create failed");

        if (hasMap) {
            if (!spendDecodeBudget(mapBytes)) raiseCodecFailure(kDataTooShort);
            std::vector<uint8_t> map(mapBytes);
            readExactly(stream, map.data(), map.size());
            // The first-entry field says which index the file's first entry stands for.
            for (size_t i = 0; baseType == kColourMapped && i < h.mapLength; ++i) {
                const size_t index = size_t(h.mapFirst) + i;
                if (index >= header.colorsUsed) break;
                const uint8_t* e = map.data() + i * entryBytes;
                RgbQuad c = entryBytes == 2 ? from555(le16(e)) : RgbQuad{e[0], e[1], e[2], 0};
                setPaletteColor(uint32_t(index), c);
            }
        }
        if (baseType == kGrey) setGrayPalette();

        PixelSink sink(*this, h.pixelDepth, h.descriptor, baseType == kGrey);
        if (!runLength) {
            if (!spendDecodeBudget(uint64_t(h.width) * bytesPerPixel))
                raiseCodecFailure(kDataTooShort);
            std::vector<uint8_t> row(size_t(h.width) * bytesPerPixel);
            for (int32_t y = 0; y < h.height; ++y) {
                readExactly(stream, row.data(), row.size());
                sink.put(row.data(), h.width, bytesPerPixel);
            }
        } else {
            // Packets may run on into the next row, as older writers let them; whatever would
            // fall past the last pixel is dropped.
            uint8_t packet[128 * 4];
            while (sink.remaining()) {
                uint8_t head;
                readExactly(stream, &head, 1);
                const uint64_t count = std::min<uint64_t>((head & 0x7F) + 1, sink.remaining());
                if (head & 0x80) {
                    readExactly(stream, packet, bytesPerPixel);
                    sink.put(packet, count, 0);
                } else {
                    readExactly(stream, packet, size_t(count) * bytesPerPixel);
                    sink.put(packet, count, bytesPerPixel);
                }
            }
        }
        return true;
    } catch (const CodecFailure& failure) {
        setLastError(failure.message.c_str());
        return false;
    }
}

bool TgaCodec::encode(ImageStream& stream) {
    if (!isValid()) {
        setLastError("TGA Create failed");
        return false;
    }
    const uint32_t bits = bitCount();
    if (bits != 8 && bits != 24) {
        setLastError("Bit depth must be 8 or 24");
        return false;
    }
    const bool withAlpha = bits == 24 && hasAlpha();
    const int32_t w = width(), h = height();

    uint8_t head[kHeaderSize] = {};
    head[1] = bits == 8 ? 1 : 0;
    head[2] = bits == 8 ? kColourMapped : kTrueColour;
    put16(head + 5, bits == 8 ? 256 : 0);
    head[7] = bits == 8 ? 24 : 0;
    put16(head + 12, uint32_t(w));
    put16(head + 14, uint32_t(h));
    head[16] = withAlpha ? 32 : uint8_t(bits);
    // Rows bottom-up, left to right; a 32-bit file declares its 8 alpha bits so that readers
    // which go by the descriptor keep them.
    head[17] = withAlpha ? 8 : 0;
    bool ok = stream.write(head, 1, kHeaderSize) == kHeaderSize;

    if (bits == 8) {
        uint8_t map[256 * 3];
        for (uint32_t i = 0; i < 256; ++i) {
            const RgbQuad c = getPaletteColor(i);
            map[3 * i] = c.blue;
            map[3 * i + 1] = c.green;
            map[3 * i + 2] = c.red;
        }
        ok = ok && stream.write(map, 1, sizeof map) == sizeof map;
    }

    std::vector<uint8_t> line(size_t(w) * (withAlpha ? 4 : bits / 8));
    for (int32_t y = 0; ok && y < h; ++y) {
        if (withAlpha) {
            for (int32_t x = 0; x < w; ++x) {
                const RgbQuad c = getPixelColor(x, y);
                uint8_t* p = line.data() + size_t(x) * 4;
                p[0] = c.blue;
                p[1] = c.green;
                p[2] = c.red;
                p[3] = uint8_t(alphaGet(x, y) * info.alphaMax / 255);
            }
        } else {
            std::memcpy(line.data(), row(y), line.size());
        }
        ok = stream.write(line.data(), 1, line.size()) == line.size();
    }
    if (!ok) setLastError("Can't write TGA file");
    return ok;
}
