// Icon reading and writing: the 6-byte file header, 16-byte directory entries, and each
// image's bitmap information header, colour table, colour bitmap and 1-bit AND mask.
#include "formats/ico/ico_codec.h"

#include "formats/byte_order.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/codec_error.h"

namespace {

constexpr size_t kFileHeaderSize = 6;
constexpr size_t kEntrySize = 16;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint16_t kIconType = 1;
// Cursors share the layout; their entries hold the hotspot where icons hold planes and bit
// count, which this reader takes from the image's own header anyway.
constexpr uint16_t kCursorType = 2;
// Larger information headers (later bitmap versions) are allowed; nothing real is this big.
constexpr uint32_t kLargestInfoHeader = 1024;

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint64_t rowBytes(uint64_t width, uint32_t bits) {
    return (width * bits + 31) / 32 * 4;
}

void readExactly(ImageStream& stream, void* buffer, size_t size) {
    if (size && stream.read(buffer, 1, size) != size) raiseCodecFailure("Corrupted icon file");
}

}  // namespace

bool IcoCodec::decode(ImageStream& stream) {
    try {
        const long start = stream.tell();
        const long base = start < 0 ? 0 : start;
        uint8_t fileHeader[kFileHeaderSize];
        if (stream.read(fileHeader, 1, kFileHeaderSize) != kFileHeaderSize)
            raiseCodecFailure("Not an icon file");
        const uint16_t type = le16(fileHeader + 2);
        if (le16(fileHeader) != 0 || (type != kIconType && type != kCursorType))
            raiseCodecFailure("Not an icon file");
        const int32_t count = le16(fileHeader + 4);
        info.frameCount = count;
        if (count == 0) raiseCodecFailure("No image in icon file");
        if (info.frameIndex < 0 || info.frameIndex >= count)
            raiseCodecFailure("Icon file has no image of that number");

        uint8_t entry[kEntrySize];
        if (stream.seek(base + long(kFileHeaderSize + kEntrySize * size_t(info.frameIndex)), 0) ||
            stream.read(entry, 1, kEntrySize) != kEntrySize)
            raiseCodecFailure("Corrupted icon file");
        const uint32_t resourceBytes = le32(entry + 8);
        const uint32_t offset = le32(entry + 12);

        if (stream.seek(base + long(offset), 0)) raiseCodecFailure("Corrupted icon file");
        uint8_t bih[kInfoHeaderSize];
        readExactly(stream, bih, sizeof kPngSignature);
        if (std::memcmp(bih, kPngSignature, sizeof kPngSignature) == 0)
            raiseCodecFailure("PNG icons are not supported");
        readExactly(stream, bih + sizeof kPngSignature, kInfoHeaderSize - sizeof kPngSignature);

        // The image's own information header describes the bitmap that follows; the
        // directory's sizes (0 standing for 256) and colour count only summarise it.
        const uint32_t headerSize = le32(bih);
        const int32_t width = int32_t(le32(bih + 4));
        const int32_t doubleHeight = int32_t(le32(bih + 8));
        const uint32_t bits = le16(bih + 14);
        const uint32_t compression = le32(bih + 16);
        const uint32_t colorsUsed = le32(bih + 32);
        if (headerSize < kInfoHeaderSize || headerSize > kLargestInfoHeader || width <= 0 ||
            doubleHeight < 2)
            raiseCodecFailure("Corrupted icon file");
        // The height counts the colour bitmap and the mask.
        const int32_t height = doubleHeight / 2;
        if ((bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) || compression != 0)
            raiseCodecFailure("Unsupported icon format");
        if (stream.seek(long(headerSize - kInfoHeaderSize), 1))
            raiseCodecFailure("Corrupted icon file");

        // Colour table: colorsUsed entries, or all 2^bits when it is 0. Entries beyond the
        // image's table (and any table in front of true-colour pixels) are skipped.
        const uint64_t tableEntries = colorsUsed ? colorsUsed : bits <= 8 ? 1u << bits : 0;
        const uint32_t kept =
            bits <= 8 ? uint32_t(std::min<uint64_t>(tableEntries, 1u << bits)) : 0;
        RgbQuad quads[256] = {};
        readExactly(stream, quads, size_t(kept) * 4);
        const uint64_t skipped = (tableEntries - kept) * 4;

        // The colour bitmap must be in the file before anything is allocated for it; the mask
        // may be cut short (missing bits count as opaque).
        const uint64_t fileStride = rowBytes(uint64_t(width), bits);
        const long here = stream.tell();
        const long end = stream.length();
        if (here >= 0 && end >= here &&
            uint64_t(end - here) < skipped + fileStride * uint64_t(height))
            raiseCodecFailure("Corrupted icon file");
        if (skipped && stream.seek(long(skipped), 1)) raiseCodecFailure("Corrupted icon file");

        if (!create(width, height, bits, ICO)) raiseCreateFailure(*this);
        // A refusal by the decode budget keeps its own words.
        if (!alphaCreate())
            raiseCodecFailure(lastError()[0] ? lastError() : "Can't allocate memory");
        uint8_t* alpha = alphaPlane();
        // The fourth byte of a bitmap colour table is reserved, not an opacity: writers
        // leave anything there, and kept it would later read as palette transparency.
        for (RgbQuad& q : quads) q.reserved = 0;
        if (bits <= 8) setPaletteFromQuads(quads, kept);

        bool alphaChannelUsed = false;
        if (bits == 32) {
            if (!spendDecodeBudget(fileStride)) raiseCodecFailure(kDataTooShort);
            std::vector<uint8_t> line(fileStride);
            for (int32_t y = 0; y < height; ++y) {
                readExactly(stream, line.data(), line.size());
                uint8_t* out = row(y);
                for (int32_t x = 0; x < width; ++x) {
                    std::memcpy(out + size_t(x) * 3, line.data() + size_t(x) * 4, 3);
                    const uint8_t a = line[size_t(x) * 4 + 3];
                    alpha[size_t(y) * size_t(width) + size_t(x)] = a;
                    if (a) alphaChannelUsed = true;
                }
            }
        } else {
            readExactly(stream, pixels(), size_t(stride()) * size_t(height));
        }

        // A 32-bit icon whose alpha bytes are all zero leaves its transparency to the mask.
        if (!alphaChannelUsed) {
            const size_t maskStride = size_t(rowBytes(uint64_t(width), 1));
            if (!spendDecodeBudget(uint64_t(maskStride) * uint64_t(height)))
                raiseCodecFailure(kDataTooShort);
            std::vector<uint8_t> mask(maskStride * size_t(height), 0);
            // The mask ends with the entry's bytes when they cover the colour bitmap, so a
            // short mask never takes in the next image's bytes; missing bits are opaque.
            size_t maskBytes = mask.size();
            const long maskStart = stream.tell();
            const uint64_t entryEnd = uint64_t(base) + offset + resourceBytes;
            if (maskStart >= 0 && entryEnd >= uint64_t(maskStart))
                maskBytes = size_t(std::min<uint64_t>(maskBytes, entryEnd - uint64_t(maskStart)));
            stream.read(mask.data(), 1, maskBytes);
            for (int32_t y = 0; y < height; ++y) {
                const uint8_t* m = mask.data() + size_t(y) * maskStride;
                uint8_t* a = alpha + size_t(y) * size_t(width);
                for (int32_t x = 0; x < width; ++x)
                    a[x] = (m[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
            }
        }
        const size_t n = size_t(width) * size_t(height);
        if (std::all_of(alpha, alpha + n, [](uint8_t a) { return a == 255; })) alphaDelete();
        return true;
    } catch (const CodecFailure& failure) {
        setLastError(failure.message.c_str());
        return false;
    }
}

bool IcoCodec::encode(ImageStream& stream) {
    const int32_t w = width(), h = height();
    if (!isValid() || bitCount() > 8 || w > 255 || h > 255) {
        setLastError("Can't save this image as icon");
        return false;
    }
    const uint32_t colours = header.colorsUsed;
    const uint32_t pixelBytes = stride() * uint32_t(h);
    const uint32_t maskStride = uint32_t(rowBytes(uint64_t(w), 1));
    const uint32_t maskSize = maskStride * uint32_t(h);

    uint8_t head[kFileHeaderSize + kEntrySize + kInfoHeaderSize] = {};
    put16(head + 2, kIconType);
    put16(head + 4, 1);
    uint8_t* entry = head + kFileHeaderSize;
    entry[0] = uint8_t(w);
    entry[1] = uint8_t(h);
    entry[2] = uint8_t(colours);  // 256 colours are written as 0
    put16(entry + 6, bitCount());
    put32(entry + 8, uint32_t(kInfoHeaderSize) + colours * 4 + pixelBytes + maskSize);
    put32(entry + 12, uint32_t(kFileHeaderSize + kEntrySize));
    uint8_t* bih = entry + kEntrySize;
    put32(bih, kInfoHeaderSize);
    put32(bih + 4, uint32_t(w));
    put32(bih + 8, uint32_t(h) * 2);
    put16(bih + 12, 1);
    put16(bih + 14, bitCount());
    put32(bih + 20, pixelBytes);

    // The AND mask, bottom-up like the pixels, bit 7 first.
    const bool paletteAlpha = hasPaletteAlpha();
    const bool transparentIndex = info.backgroundIndex != -1;
    const RgbQuad transparent = transparentColor();
    std::vector<uint8_t> mask(maskSize, 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            bool masked = paletteAlpha && getPaletteColor(getPixelIndex(x, y)).reserved == 0;
            if (transparentIndex && getPixelColor(x, y) == transparent) masked = true;
            // An alpha plane (a loaded icon's mask, say) must survive the save.
            if (hasAlpha() && alphaGet(x, y) * info.alphaMax / 255 < 128) masked = true;
            if (masked) mask[size_t(y) * maskStride + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
        }

    bool ok = stream.write(head, 1, sizeof head) == sizeof head;
    ok = ok && stream.write(paletteBase(), 4, colours) == colours;
    ok = ok && stream.write(pixels(), 1, pixelBytes) == pixelBytes;
    ok = ok && stream.write(mask.data(), 1, maskSize) == maskSize;
    if (!ok) setLastError("Can't write icon file");
    return ok;
}
