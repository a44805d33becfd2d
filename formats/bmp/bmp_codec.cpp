// BMP codec: reads the common variants of Windows bitmaps (file header optional) into the
// image's own packed-bitmap layout, and writes that layout behind a file header.
#include "formats/bmp/bmp_codec.h"

#include "formats/byte_order.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/codec_error.h"
#include "formats/data_bound.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kOs2HeaderSize = 12;
constexpr uint16_t kBmSignature = 0x4D42;  // "BM"

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

// No BMP coding describes more pixels per byte than a run-length run: 255 pixels in 2 bytes.
// Raw rows take far more, so a raw file cut short keeps loading down to this share.
constexpr uint64_t kMaxRunPixels = 255;

// A right shift by a possibly negative amount (negative shifts left), so that hostile masks
// give defined results.
uint32_t shiftRight(uint32_t value, int amount) {
    if (amount >= 32 || amount <= -32) return 0;
    return amount >= 0 ? value >> amount : value << -amount;
}

// Byte-at-a-time reading for the run-length decoders.
class ByteReader {
  public:
    explicit ByteReader(ImageStream& stream) : stream_(stream) {}
    int next() {
        if (pos_ == fill_) {
            fill_ = stream_.read(buffer_, 1, sizeof buffer_);
            pos_ = 0;
            if (fill_ == 0) return -1;
        }
        return buffer_[pos_++];
    }
    // Reads up to count bytes; returns how many it got.
    size_t read(uint8_t* target, size_t count) {
        size_t got = 0;
        while (got < count) {
            const int b = next();
            if (b < 0) break;
            target[got++] = uint8_t(b);
        }
        return got;
    }

  private:
    ImageStream& stream_;
    uint8_t buffer_[4096];
    size_t fill_ = 0;
    size_t pos_ = 0;
};

// Reads and throws away count bytes; stops at the end of the data.
void discard(ImageStream& stream, uint64_t count) {
    uint8_t scratch[1024];
    while (count > 0) {
        const size_t chunk = size_t(std::min<uint64_t>(count, sizeof scratch));
        if (stream.read(scratch, 1, chunk) != chunk) return;
        count -= chunk;
    }
}

// Refuses a header claiming more pixels than the rest of the file could describe.
void refuseShortData(ImageStream& stream, int64_t start, uint32_t pixelOffset, int32_t width,
                     int64_t height) {
    if (width <= 0 || height <= 0) return;
    // The pixels start at their offset, or (bare bitmaps) somewhere behind the headers read.
    uint64_t available = bytesLeft(stream);
    if (pixelOffset != 0 && available != UINT64_MAX) {
        const long end = stream.length();
        const int64_t pixelStart = start + int64_t(pixelOffset);
        available = end > pixelStart ? uint64_t(end - pixelStart) : 0;
    }
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    const uint64_t leastBytes = (pixels + kMaxRunPixels - 1) / kMaxRunPixels * 2;
    if (tooShort(pixels, available, leastBytes)) raiseCodecFailure(kDataTooShort);
}

}  // namespace

bool BmpCodec::readBitmapInfo(ImageStream& stream, BitmapInfoHeader& header,
                              uint32_t* fileHeaderSize) {
    uint8_t raw[kInfoHeaderSize] = {};
    // The size field first: an OS/2 file may end before 40 bytes have passed.
    if (stream.read(raw, 1, 4) != 4) return false;
    const uint32_t size = le32(raw);
    if (fileHeaderSize) *fileHeaderSize = size;
    header = BitmapInfoHeader{};
    if (size == kOs2HeaderSize) {
        if (stream.read(raw + 4, 1, kOs2HeaderSize - 4) != kOs2HeaderSize - 4) return false;
        // OS/2 sides are unsigned 16-bit numbers: its files are never top-down.
        header.width = le16(raw + 4);
        header.height = le16(raw + 6);
        header.planes = le16(raw + 8);
        header.bitCount = le16(raw + 10);
    } else {
        if (stream.read(raw + 4, 1, kInfoHeaderSize - 4) != kInfoHeaderSize - 4) return false;
        header.width = int32_t(le32(raw + 4));
        header.height = int32_t(le32(raw + 8));
        header.planes = le16(raw + 12);
        header.bitCount = le16(raw + 14);
        header.compression = le32(raw + 16);
        header.imageSize = le32(raw + 20);
        header.xPelsPerMeter = int32_t(le32(raw + 24));
        header.yPelsPerMeter = int32_t(le32(raw + 28));
        header.colorsUsed = le32(raw + 32);
        header.colorsImportant = le32(raw + 36);
    }
    header.size = kInfoHeaderSize;
    if (header.imageSize == 0) {
        // Only informative (the reader sizes its buffers from create); unsigned arithmetic
        // keeps hostile sizes from overflowing.
        const uint64_t stride =
            ((uint64_t(header.bitCount) * uint32_t(header.width) + 31) / 32) * 4;
        header.imageSize = uint32_t(stride * uint32_t(header.height));
    }
    if (header.colorsUsed == 0)
        header.colorsUsed = header.bitCount <= 8 ? 1u << header.bitCount : 0;
    return true;
}

void BmpCodec::expandRow(const uint8_t* source, uint8_t* target, uint32_t redMask,
                         uint32_t greenMask, uint32_t blueMask, int bitsPerPixel) const {
    const int32_t width = header.width;
    if (bitsPerPixel == 16) {
        const int nr = std::popcount(redMask & 0xFFFF);
        const int ng = std::popcount(greenMask & 0xFFFF);
        const int nb = std::popcount(blueMask & 0xFFFF);
        // Backwards: the target may overlap the source further on.
        for (int32_t x = width - 1; x >= 0; --x) {
            const uint32_t w = le16(source + 2 * size_t(x));
            uint8_t* out = target + 3 * size_t(x);
            // The blue shift uses the red count: right for the 5-5-5 and 5-6-5 layouts.
            out[0] = uint8_t(shiftRight((w & blueMask) & 0xFF, nr - 8));
            out[1] = uint8_t(shiftRight(w & greenMask, nr + ng - 8));
            out[2] = uint8_t(shiftRight(w & redMask, nr + ng + nb - 8));
        }
    } else {
        // 32 bits: blue, green, red, and a fourth byte that is not used.
        for (int32_t x = width - 1; x >= 0; --x) {
            const uint8_t* in = source + 4 * size_t(x);
            uint8_t* out = target + 3 * size_t(x);
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
    }
}

void BmpCodec::bitfieldsToRgb(const uint8_t* source, uint32_t redMask, uint32_t greenMask,
                              uint32_t blueMask, int bitsPerPixel) {
    if (!isValid() || !source || bitCount() != 24) return;
    const size_t sourceStride =
        bitsPerPixel == 16 ? size_t((header.width + 1) / 2) * 4 : size_t(header.width) * 4;
    for (int32_t y = header.height - 1; y >= 0; --y)
        expandRow(source + size_t(y) * sourceStride, row(y), redMask, greenMask, blueMask,
                  bitsPerPixel);
}

void BmpCodec::decodeRle8(ImageStream& stream, bool topDown) {
    ByteReader in(stream);
    const int64_t height = header.height;
    // Bytes of a row that hold pixels; runs past them are clipped, never wrapped.
    const int64_t limit = (int64_t(header.width) * bitCount() + 7) / 8;
    int64_t r = 0, col = 0;
    auto rowAt = [&](int64_t y) -> uint8_t* {
        if (y < 0 || y >= height) return nullptr;
        return row(int32_t(topDown ? height - 1 - y : y));
    };
    auto store = [&](uint8_t value) {
        uint8_t* dst = rowAt(r);
        if (dst && col < limit) dst[col] = value;
        ++col;
    };
    for (;;) {
        const int n = in.next();
        if (n < 0) return;
        if (n > 0) {
            const int v = in.next();
            if (v < 0) return;
            for (int i = 0; i < n; ++i) store(uint8_t(v));
            continue;
        }
        const int e = in.next();
        if (e < 0) return;
        if (e == 0) {
            col = 0;
            ++r;
        } else if (e == 1) {
            return;
        } else if (e == 2) {
            const int dx = in.next();
            const int dy = in.next();
            if (dx < 0 || dy < 0) return;
            col += dx;
            r += dy;
        } else {
            uint8_t run[256];
            const size_t length = size_t(e) + (e & 1);  // absolute runs end on a word boundary
            const size_t got = in.read(run, length);
            for (size_t i = 0; i < std::min(got, size_t(e)); ++i) store(run[i]);
            if (got < length) return;
        }
    }
}

void BmpCodec::decodeRle4(ImageStream& stream, bool topDown) {
    ByteReader in(stream);
    const int64_t height = header.height;
    // Pixels (nibbles) of a row; runs past them are clipped, never wrapped.
    const int64_t limit = (int64_t(header.width) * bitCount() + 3) / 4;
    int64_t r = 0, x = 0;
    auto rowAt = [&](int64_t y) -> uint8_t* {
        if (y < 0 || y >= height) return nullptr;
        return row(int32_t(topDown ? height - 1 - y : y));
    };
    // Within a run, pixels alternate between the high and the low nibble of the run's bytes;
    // where a pixel lands in the image follows its own column.
    auto store = [&](uint8_t nibble) {
        uint8_t* dst = rowAt(r);
        if (dst && x < limit) {
            uint8_t& b = dst[x >> 1];
            b = (x & 1) ? uint8_t((b & 0xF0) | nibble) : uint8_t((b & 0x0F) | nibble << 4);
        }
        ++x;
    };
    for (;;) {
        const int n = in.next();
        if (n < 0) return;
        if (n > 0) {
            const int v = in.next();
            if (v < 0) return;
            for (int i = 0; i < n; ++i) store(uint8_t((i & 1) ? v & 0x0F : v >> 4));
            continue;
        }
        const int e = in.next();
        if (e < 0) return;
        if (e == 0) {
            x = 0;
            ++r;
        } else if (e == 1) {
            return;
        } else if (e == 2) {
            const int dx = in.next();
            const int dy = in.next();
            if (dx < 0 || dy < 0) return;
            x += dx;
            r += dy;
        } else {
            uint8_t run[128];
            const size_t bytes = size_t(e + 1) / 2;
            const size_t length = bytes + (bytes & 1);  // padded to a word boundary
            const size_t got = in.read(run, length);
            for (int i = 0; i < e && size_t(i / 2) < got; ++i)
                store(uint8_t((i & 1) ? run[i / 2] & 0x0F : run[i / 2] >> 4));
            if (got < length) return;
        }
    }
}

bool BmpCodec::decode(ImageStream& stream) {
    try {
        const long tellPos = stream.tell();
        const int64_t p0 = tellPos < 0 ? 0 : tellPos;

        uint8_t fileHeader[kFileHeaderSize];
        if (stream.read(fileHeader, 1, kFileHeaderSize) != kFileHeaderSize)
            raiseCodecFailure("Not a BMP");
        uint32_t pixelOffset = le32(fileHeader + 10);
        int64_t infoStart = p0 + kFileHeaderSize;
        if (le16(fileHeader) != kBmSignature) {
            // A bare bitmap: the information header comes first, the pixels follow the table.
            pixelOffset = 0;
            infoStart = p0;
            stream.seek(long(p0), 0);
        }

        BitmapInfoHeader info40;
        uint32_t headerSizeInFile = 0;
        if (!readBitmapInfo(stream, info40, &headerSizeInFile))
            raiseCodecFailure("Error reading BMP info");
        const bool os2 = headerSizeInFile == kOs2HeaderSize;
        const uint32_t compression = info40.compression;
        const uint32_t bits = info40.bitCount;

        // Negative heights mark top-down files; -2^31 has no positive counterpart and is refused.
        int64_t height = info40.height;
        const bool topDown = height < 0;
        if (topDown) height = -height;
        if (height > INT32_MAX) {
            setTooLargeError(info40.width, height);
            raiseCreateFailure(*this);
        }
        refuseShortData(stream, p0, pixelOffset, info40.width, height);
        if (!create(info40.width, int32_t(height), bits, BMP)) raiseCreateFailure(*this);

        header.xPelsPerMeter = info40.xPelsPerMeter;
        header.yPelsPerMeter = info40.yPelsPerMeter;
        std::memcpy(block_, &header, sizeof header);
        info.xDpi = int32_t(std::floor(info40.xPelsPerMeter * 0.0254 + 0.5));
        info.yDpi = int32_t(std::floor(info40.yPelsPerMeter * 0.0254 + 0.5));

        if (header.colorsUsed) {
            // Version 4 and 5 headers are longer than 40 bytes; the table follows the whole one.
            if (!os2 && headerSizeInFile > kInfoHeaderSize)
                stream.seek(long(infoStart + headerSizeInFile), 0);
            const uint32_t entrySize = os2 ? 3 : 4;
            const uint64_t listed = info40.colorsUsed;  // never 0 below 9 bits
            const uint32_t kept = uint32_t(std::min<uint64_t>(listed, header.colorsUsed));
            if (!spendDecodeBudget(uint64_t(kept) * entrySize)) raiseCodecFailure(kDataTooShort);
            std::vector<uint8_t> table(size_t(kept) * entrySize, 0);
            stream.read(table.data(), 1, table.size());
            RgbQuad* palette = paletteBase();
            for (uint32_t i = 0; i < kept; ++i) {
                const uint8_t* e = table.data() + size_t(i) * entrySize;
                palette[i] = RgbQuad{e[0], e[1], e[2], 0};
            }
            // More entries than the image holds: read past them so that a bare bitmap's
            // pixels are still found right behind the table.
            if (listed > kept && pixelOffset == 0) discard(stream, (listed - kept) * entrySize);
        }

        // Positions the stream at the pixel data; false when it lies beyond the file.
        auto seekPixels = [&]() {
            return pixelOffset == 0 || stream.seek(long(p0 + pixelOffset), 0) == 0;
        };
        const int32_t H = header.height;
        auto targetRow = [&](int32_t i) { return row(topDown ? H - 1 - i : i); };
        auto readRows = [&]() {
            for (int32_t i = 0; i < H; ++i)
                if (stream.read(targetRow(i), 1, stride()) != stride()) return;
        };

        switch (bits) {
            case 1:
            case 4:
            case 8:
                if (compression != kRgb && compression != kRle8 && compression != kRle4)
                    raiseCodecFailure("compression type not supported");
                if (!seekPixels()) break;
                if (compression == kRgb)
                    readRows();
                else if (compression == kRle8)
                    decodeRle8(stream, topDown);
                else
                    decodeRle4(stream, topDown);
                break;
            case 16: {
                uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
                if (compression == kBitFields) {
                    // Right behind the first 40 bytes: after a 40-byte header, or inside a
                    // larger one at the same place.
                    uint8_t raw[12] = {};
                    stream.read(raw, 1, sizeof raw);
                    for (int i = 0; i < 3; ++i) masks[i] = le32(raw + 4 * i);
                }
                if (!seekPixels()) break;
                const size_t sourceStride = size_t((header.width + 1) / 2) * 4;
                if (!spendDecodeBudget(sourceStride)) raiseCodecFailure(kDataTooShort);
                std::vector<uint8_t> line(sourceStride);
                for (int32_t i = 0; i < H; ++i) {
                    std::fill(line.begin(), line.end(), 0);
                    const size_t got = stream.read(line.data(), 1, sourceStride);
                    if (got == 0) break;
                    expandRow(line.data(), targetRow(i), masks[0], masks[1], masks[2], 16);
                    if (got < sourceStride) break;
                }
                break;
            }
            case 24:
                if (compression != kRgb) raiseCodecFailure("unknown compression");
                if (seekPixels()) readRows();
                break;
            case 32: {
                if (compression != kRgb && compression != kBitFields)
                    raiseCodecFailure("unknown compression");
                if (!seekPixels()) break;
                // One row at a time: rows the file does not have stay as create left them.
                const size_t sourceStride = size_t(header.width) * 4;
                if (!spendDecodeBudget(sourceStride)) raiseCodecFailure(kDataTooShort);
                std::unique_ptr<uint8_t, decltype(&std::free)> line(
                    static_cast<uint8_t*>(std::calloc(1, sourceStride)), &std::free);
                if (!line) raiseCodecFailure("can't allocate memory");
                for (int32_t i = 0; i < H; ++i) {
                    std::memset(line.get(), 0, sourceStride);
                    const size_t got = stream.read(line.get(), 1, sourceStride);
                    if (got == 0) break;
                    expandRow(line.get(), targetRow(i), 0, 0, 0, 32);
                    if (got < sourceStride) break;
                }
                break;
            }
            default:
                // Other depths (2 bits, say) carry no pixels this reader knows.
                break;
        }
        return true;
    } catch (const CodecFailure& failure) {
        setLastError(failure.message.c_str());
        return false;
    }
}

bool BmpCodec::encode(ImageStream& stream) {
    uint8_t fileHeader[kFileHeaderSize] = {};
    put16(fileHeader, kBmSignature);
    put32(fileHeader + 2, uint32_t(kFileHeaderSize + totalSize()));
    put32(fileHeader + 10, kFileHeaderSize + kInfoHeaderSize + paletteSize());
    // The file carries the current header (size 40, positive height, no compression), written
    // from the object in place of the block's own copy, which is left as it is.
    const size_t rest = totalSize() - sizeof header;
    if (stream.write(fileHeader, 1, kFileHeaderSize) != kFileHeaderSize ||
        stream.write(&header, 1, sizeof header) != sizeof header ||
        stream.write(block_ + sizeof header, 1, rest) != rest) {
        setLastError("Write Error in BMP file");
        return false;
    }
    return true;
}
