// PCX reading: the 128-byte header, run-length decoding one scan line at a time, the plane
// layouts and the 16-entry or trailing 256-entry palette.
#include "formats/pcx/pcx_codec.h"

#include "formats/byte_order.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/codec_error.h"

namespace {

constexpr size_t kHeaderSize = 128;
constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kRunLengthEncoding = 1;
// The byte in front of the 256-colour palette that may follow the image data.
constexpr uint8_t kPaletteSignature = 12;

// Expands the run-length data into whole scan lines (all planes of one row). A run may go on
// into the next line, as some writers let it; one may never pass the end of the image.
class LineDecoder {
  public:
    LineDecoder(ImageStream& stream, uint64_t total) : stream_(stream), remaining_(total) {}

    void next(uint8_t* line, size_t size) {
        size_t filled = 0;
        while (filled < size) {
            if (runLeft_ == 0) {
                uint8_t v = readByte();
                if (v >= 192) {
                    const uint32_t count = v & 0x3F;
                    if (count > remaining_) raiseCodecFailure("repeat count spans end of image");
                    runValue_ = readByte();
                    runLeft_ = count;
                    continue;
                }
                runValue_ = v;
                runLeft_ = 1;
            }
            const size_t n = std::min<size_t>(runLeft_, size - filled);
            std::memset(line + filled, runValue_, n);
            filled += n;
            runLeft_ -= uint32_t(n);
            remaining_ -= n;
        }
    }

  private:
    uint8_t readByte() {
        uint8_t v;
        if (stream_.read(&v, 1, 1) != 1) raiseCodecFailure("corrupted PCX");
        return v;
    }

    ImageStream& stream_;
    uint64_t remaining_;
    uint32_t runLeft_ = 0;
    uint8_t runValue_ = 0;
};

}  // namespace

bool PcxCodec::decode(ImageStream& stream) {
    try {
        uint8_t h[kHeaderSize];
        if (stream.read(h, 1, kHeaderSize) != kHeaderSize)
            raiseCodecFailure("Can't read PCX image");
        if (h[0] != kManufacturer) raiseCodecFailure("Error: Not a PCX file");
        if (h[2] != kRunLengthEncoding) raiseCodecFailure("PCX file has unknown encoding scheme");

        const uint32_t b = h[3];
        const int32_t width = int32_t(le16(h + 8)) - int32_t(le16(h + 4)) + 1;
        const int32_t height = int32_t(le16(h + 10)) - int32_t(le16(h + 6)) + 1;
        const uint32_t planes = h[65];
        const size_t bytesPerLine = le16(h + 66);
        if (width <= 0 || height <= 0 || bytesPerLine == 0)
            raiseCodecFailure("Can't read PCX image");

        uint32_t bits = 0;
        if (b == 1) {
            if (planes > 4) raiseCodecFailure("Can't handle image with more than 4 planes");
            // Two to four one-bit planes make an index of up to 4 bits.
            if (planes >= 2) bits = 4;
            if (planes == 1) bits = 1;
        } else if (b == 2 || b == 4 || b == 8) {
            if (planes == 1) bits = b;
            if (planes == 3) {
                if (b != 8) raiseCodecFailure("Can't handle more than 1 bit per pixel");
                bits = 24;
            }
        }
        if (bits == 0) raiseCodecFailure("Can't handle bits per pixel image with planes.");

        // Every byte of the file gives at most 63 decoded bytes (a run of two bytes gives
        // up to 63), so a file shorter than that cannot hold the picture it claims.
        const uint64_t lineSize = uint64_t(planes) * bytesPerLine;
        const uint64_t total = lineSize * uint64_t(height);
        const long here = stream.tell();
        const long end = stream.length();
        if (here >= 0 && end >= here && uint64_t(end - here) * 63 < total)
            raiseCodecFailure("corrupted PCX");

        if (!create(width, height, bits, BMP)) raiseCreateFailure(*this);

        if (!spendDecodeBudget(lineSize)) raiseCodecFailure(kDataTooShort);
        std::vector<uint8_t> line(lineSize);
        LineDecoder decoder(stream, total);
        const size_t used = bytesPerLine;
        for (int32_t i = 0; i < height; ++i) {
            decoder.next(line.data(), line.size());
            const int32_t y = height - 1 - i;
            uint8_t* out = row(y);
            // A line shorter than the width leaves the rest of the row at index 0.
            if (bits == 24) {
                for (int32_t x = 0; x < width && size_t(x) < used; ++x) {
                    out[3 * x] = line[2 * used + x];
                    out[3 * x + 1] = line[used + x];
                    out[3 * x + 2] = line[x];
                }
            } else if (planes == 1) {
                for (int32_t x = 0; x < width; ++x) {
                    const size_t bit = size_t(x) * b;
                    if (bit / 8 >= used) break;
                    const uint32_t shift = 8 - b - bit % 8;
                    setPixelIndex(x, y, uint8_t((line[bit / 8] >> shift) & ((1u << b) - 1)));
                }
            } else {
                // Plane k gives bit k of the index.
                for (int32_t x = 0; x < width && size_t(x) / 8 < used; ++x) {
                    uint8_t index = 0;
                    for (uint32_t k = 0; k < planes; ++k)
                        if (line[k * used + size_t(x) / 8] & (0x80 >> (x % 8))) index |= 1 << k;
                    setPixelIndex(x, y, index);
                }
            }
        }

        if (bits != 24) {
            uint8_t palette[256 * 3] = {};
            std::memcpy(palette, h + 16, 48);
            if (b == 8) {
                // The 256-colour palette stands right behind the compressed data; a file
                // that ends inside it leaves the missing entries black.
                uint8_t signature = 0;
                if (stream.read(&signature, 1, 1) != 1 || signature != kPaletteSignature)
                    raiseCodecFailure("bad color map signature");
                stream.read(palette, 1, sizeof palette);
            } else if (b == 1 && planes == 1) {
                std::memset(palette, 0, 3);
                std::memset(palette + 3, 255, 3);
            }
            for (uint32_t i = 0; i < header.colorsUsed; ++i)
                setPaletteColor(i, palette[3 * i], palette[3 * i + 1], palette[3 * i + 2], 0);
        }
        return true;
    } catch (const CodecFailure& failure) {
        setLastError(failure.message.c_str());
        return false;
    }
}
