// GIF codec: walks the file's blocks, decodes the wanted image with its colour table into a
// 1-, 4- or 8-bit picture, and writes single-image GIF87a files.
#include "formats/gif/gif_codec.h"

#include "formats/byte_order.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/codec_error.h"
#include "formats/data_bound.h"

namespace {

constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kCommentLabel = 0xFE;
constexpr size_t kInputSize = 16384;

// A valid code stream yields at most 4096 pixels per 12-bit code (the longest string the
// table can hold, at the widest code), so a byte of image data gives at most 8192 / 3.
constexpr uint64_t kMaxPixelsPerThreeBytes = 8192;

bool readByte(ImageStream& stream, uint8_t& b) {
    return stream.read(&b, 1, 1) == 1;
}

// Skips sub-blocks up to and including the zero-length one, or to the end of the data.
void skipSubBlocks(ImageStream& stream) {
    uint8_t scratch[255];
    uint8_t size;
    while (readByte(stream, size) && size != 0)
        if (stream.read(scratch, 1, size) != size) return;
}

// An image's data: the minimum code size byte, then sub-blocks.
void skipImageData(ImageStream& stream) {
    uint8_t codeSize;
    if (readByte(stream, codeSize)) skipSubBlocks(stream);
}

// The decoder's input, read ahead in blocks; release() gives back what was not used.
class StreamInput : public GifByteSource {
  public:
    explicit StreamInput(ImageStream& stream) : stream_(stream), buffer_(kInputSize) {}
    int nextByte() override {
        if (pos_ >= fill_) {
            fill_ = stream_.read(buffer_.data(), 1, kInputSize);
            pos_ = 0;
            if (fill_ == 0) return -1;
        }
        return buffer_[pos_++];
    }
    // Puts the stream right behind the last byte handed out.
    void release() {
        if (pos_ != fill_) stream_.seek(long(pos_) - long(fill_), 1);
        pos_ = fill_ = 0;
    }

  private:
    ImageStream& stream_;
    std::vector<uint8_t> buffer_;
    size_t fill_ = 0;
    size_t pos_ = 0;
};

// Packs decoded lines to the image's depth and stores them, in interlace order if need be.
class LineWriter : public GifLineSink {
  public:
    LineWriter(DibImage& image, bool interlaced)
        : image_(image),
          interlaced_(interlaced),
          height_(image.height()),
          packed_(size_t(image.stride()) + 8) {}

    bool putLine(uint8_t* line, int length) override {
        if (length > 0) ++received_;
        const uint8_t* data = line;
        size_t bytes = size_t(length);
        if (image_.bitCount() == 1) {
            bytes = (size_t(length) + 7) / 8;
            std::fill(packed_.begin(), packed_.end(), 0);
            for (int x = 0; x < length && size_t(x >> 3) < packed_.size(); ++x)
                if (line[x] & 1) packed_[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
            data = packed_.data();
        } else if (image_.bitCount() == 4) {
            bytes = (size_t(length) + 1) / 2;
            std::fill(packed_.begin(), packed_.end(), 0);
            for (int x = 0; x < length && size_t(x >> 1) < packed_.size(); ++x)
                packed_[size_t(x >> 1)] |= uint8_t((line[x] & 0x0F) << ((x & 1) ? 0 : 4));
            data = packed_.data();
        }
        bytes = std::min<size_t>(bytes, image_.stride());
        if (interlaced_) {
            const int64_t r = next_;
            advance();
            if (r < height_) std::memcpy(image_.row(int32_t(height_ - 1 - r)), data, bytes);
            return true;
        }
        // Too many lines for the picture end the decode quietly.
        if (next_ >= height_) return false;
        std::memcpy(image_.row(int32_t(height_ - 1 - next_)), data, bytes);
        ++next_;
        return true;
    }

    // Lines (or a last partial line) the decoder handed over, stored or not.
    uint64_t received() const { return received_; }

  private:
    // The four GIF passes (rows 0, 8, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...), then every row
    // again for any further lines.
    void advance() {
        static constexpr int kStart[5] = {0, 4, 2, 1, 0};
        static constexpr int kStep[5] = {8, 8, 4, 2, 1};
        next_ += kStep[pass_];
        while (next_ >= height_ && pass_ < 4) {
            ++pass_;
            next_ = kStart[pass_];
        }
    }

    DibImage& image_;
    bool interlaced_;
    int64_t height_;
    int pass_ = 0;
    int64_t next_ = 0;
    uint64_t received_ = 0;
    std::vector<uint8_t> packed_;
};

// Palette indices from the top row down, left to right.
class PixelReader : public GifPixelSource {
  public:
    explicit PixelReader(const DibImage& image) : image_(image) {}
    int nextPixel() override {
        if (y_ >= image_.height()) return -1;
        const int v = image_.getPixelIndex(x_, image_.height() - 1 - y_);
        if (++x_ == image_.width()) {
            x_ = 0;
            ++y_;
        }
        return v;
    }

  private:
    const DibImage& image_;
    int32_t x_ = 0;
    int32_t y_ = 0;
};

class StreamSink : public GifByteSink {
  public:
    explicit StreamSink(ImageStream& stream) : stream_(stream) {}
    void write(const uint8_t* data, size_t length) override { stream_.write(data, 1, length); }

  private:
    ImageStream& stream_;
};

}  // namespace

bool GifCodec::parseExtension(ImageStream& stream) {
    uint8_t label;
    if (!readByte(stream, label)) return false;
    if (label == kGraphicControlLabel) {
        uint8_t size;
        if (!readByte(stream, size)) return false;
        uint8_t values[4] = {};
        if (stream.read(values, 1, 4) != size) return false;
        controlFlags = values[0];
        delay = le16(values + 1);
        transparentIndex = values[3];
        // Set by any image's extension, never reset: the counting pass reads them all.
        if (controlFlags & 1) info.backgroundIndex = transparentIndex;
        info.frameDelay = delay;
        disposalMethod = (controlFlags >> 2) & 7;
    } else if (label == kCommentLabel) {
        uint8_t size;
        if (!readByte(stream, size)) return false;
        if (stream.read(comment, 1, size) != size) return false;
        comment[size] = '\0';
        // An empty first sub-block is the extension's terminator already.
        if (size == 0) return true;
    }
    // Application extensions and unknown labels: their sub-blocks are skipped.
    skipSubBlocks(stream);
    return true;
}

int GifCodec::countImages(ImageStream& stream) {
    const long start = stream.tell();
    int count = 0;
    uint8_t b;
    while (readByte(stream, b)) {
        if (b == kExtensionIntroducer) {
            parseExtension(stream);
        } else if (b == kImageSeparator) {
            uint8_t descriptor[9];
            if (stream.read(descriptor, 1, 9) != 9) break;
            ++count;
            if (descriptor[8] & 0x80) {
                uint8_t table[768];
                stream.read(table, 1, size_t(2 << (descriptor[8] & 7)) * 3);
            }
            skipImageData(stream);
        } else if (b == kTrailer) {
            break;
        }
    }
    stream.seek(start, 0);
    return count;
}

void GifCodec::decodeImage(ImageStream& stream, const uint8_t* descriptor, const uint8_t* table,
                           int tableSize, bool hasTable) {
    const int32_t width = le16(descriptor + 4);
    const int32_t height = le16(descriptor + 6);
    const uint32_t bits = tableSize <= 2 ? 1 : tableSize <= 16 ? 4 : 8;
    if (width == 0 || height == 0) raiseCodecFailure("GIF image has no width or height");
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (tooShort(pixels, bytesLeft(stream),
                 (pixels * 3 + kMaxPixelsPerThreeBytes - 1) / kMaxPixelsPerThreeBytes))
        raiseCodecFailure(kDataTooShort);
    if (!create(width, height, bits, GIF)) raiseCreateFailure(*this);
    // The working buffers: the decoder's line of indices, the packed line, the read-ahead.
    if (!spendDecodeBudget(uint64_t(width) + 1 + stride() + 8 + kInputSize))
        raiseCodecFailure(kDataTooShort);

    if (hasTable) {
        uint8_t red[256], green[256], blue[256];
        bool white = false;
        for (int i = 0; i < tableSize; ++i) {
            red[i] = table[3 * i];
            green[i] = table[3 * i + 1];
            blue[i] = table[3 * i + 2];
            if (red[i] == 255 && green[i] == 255 && blue[i] == 255) white = true;
        }
        if (info.backgroundIndex != -1) {
            // With a transparent index, unused entries are white, and a table without white
            // gets it in its last entry.
            for (int i = tableSize; i < 256; ++i) red[i] = green[i] = blue[i] = 255;
            if (tableSize < 256) white = true;
            if (!white) red[255] = green[255] = blue[255] = 255;
            setPaletteFromArrays(256, red, green, blue);
        } else {
            setPaletteFromArrays(uint32_t(tableSize), red, green, blue);
        }
    }

    LineWriter lines(*this, (descriptor[8] & 0x40) != 0);
    StreamInput input(stream);
    const GifLzwDecoder::End end = decoder_.decode(input, lines, width);
    decoder_.skipRest(input);
    input.release();
    // Either would leave a picture of nothing but index 0, indistinguishable from a real one.
    if (end == GifLzwDecoder::End::BadCodeSize)
        raiseCodecFailure("GIF image has an LZW code size outside 2 to 11");
    if (lines.received() == 0) raiseCodecFailure("GIF image data holds no pixels");
}

bool GifCodec::decode(ImageStream& stream) {
    try {
        uint8_t screen[13];
        if (stream.read(screen, 1, 13) != 13 || std::memcmp(screen, "GIF8", 4) != 0)
            raiseCodecFailure("Not a GIF file");
        const uint8_t screenPacked = screen[10];
        const bool hasGlobal = (screenPacked & 0x80) != 0;
        const int globalSize = 2 << (screenPacked & 7);
        uint8_t global[768] = {};
        if (hasGlobal) stream.read(global, 1, size_t(globalSize) * 3);

        info.frameCount = countImages(stream);
        if (info.frameCount == 0) raiseCodecFailure("No image in GIF file");
        if (info.frameIndex < 0 || info.frameIndex >= info.frameCount)
            raiseCodecFailure("GIF file has no image of that number");

        int imageNumber = 0;
        uint8_t b;
        // Why the walk ended before the image, when it did.
        const char* stop = "GIF file ends before its image";
        while (readByte(stream, b)) {
            if (b == kExtensionIntroducer) {
                if (!parseExtension(stream)) {
                    stop = "Damaged extension block in GIF file";
                    break;
                }
            } else if (b == kImageSeparator) {
                uint8_t descriptor[9];
                if (stream.read(descriptor, 1, 9) != 9) break;
                // A local table serves its own image only; the others keep the global one.
                uint8_t local[768] = {};
                const uint8_t* table = global;
                int tableSize = globalSize;
                bool hasTable = hasGlobal;
                if (descriptor[8] & 0x80) {
                    tableSize = 2 << (descriptor[8] & 7);
                    stream.read(local, 1, size_t(tableSize) * 3);
                    table = local;
                    hasTable = true;
                }
                if (imageNumber == info.frameIndex) {
                    decodeImage(stream, descriptor, table, tableSize, hasTable);
                    break;
                }
                skipImageData(stream);
                ++imageNumber;
            } else if (b == kTrailer) {
                break;
            }
        }
        if (!isValid()) raiseCodecFailure(stop);
        return true;
    } catch (const CodecFailure& failure) {
        setLastError(failure.message.c_str());
        return false;
    }
}

bool GifCodec::encode(ImageStream& stream) {
    if (bitCount() > 8) {
        setLastError("GIF Images must be 8 bit or less");
        return false;
    }
    // The file's sides are 16-bit numbers; a larger picture cannot be written faithfully.
    if (width() > 65535 || height() > 65535) {
        setLastError("GIF Images must be 65535 pixels or less");
        return false;
    }
    uint8_t head[13] = {'G', 'I', 'F', '8', '7', 'a'};
    put16(head + 6, uint32_t(width()));
    put16(head + 8, uint32_t(height()));
    head[10] = uint8_t(((bitCount() + 7) * 32) | (bitCount() - 1) | 0x80);
    stream.write(head, 1, sizeof head);

    std::vector<uint8_t> table;
    for (uint32_t i = 0; i < header.colorsUsed; ++i) {
        const RgbQuad c = getPaletteColor(i);
        table.insert(table.end(), {c.red, c.green, c.blue});
    }
    stream.write(table.data(), 1, table.size());

    uint8_t control[8] = {kExtensionIntroducer, kGraphicControlLabel, 4};
    control[3] = uint8_t(((disposalMethod & 7) << 2) | (info.backgroundIndex != -1 ? 1 : 0));
    put16(control + 4, info.frameDelay & 0xFFFF);
    control[6] = uint8_t(info.backgroundIndex);
    control[7] = 0;
    stream.write(control, 1, sizeof control);

    uint8_t descriptor[10] = {kImageSeparator};
    put16(descriptor + 1, uint32_t(info.xOffset));
    put16(descriptor + 3, uint32_t(info.yOffset));
    put16(descriptor + 5, uint32_t(width()));
    put16(descriptor + 7, uint32_t(height()));
    descriptor[9] = 0;
    stream.write(descriptor, 1, sizeof descriptor);

    const int minimumCodeSize = std::max<int>(bitCount(), 2);
    stream.putByte(minimumCodeSize);
    PixelReader pixels(*this);
    StreamSink sink(stream);
    encoder_.compress(pixels, sink, minimumCodeSize + 1);
    stream.flush();
    bool failed = stream.error() != 0;
    stream.putByte(0);

    const size_t commentLength = std::strlen(comment);
    if (commentLength) {
        const uint8_t start[3] = {kExtensionIntroducer, kCommentLabel, uint8_t(commentLength)};
        stream.write(start, 1, 3);
        stream.write(comment, 1, commentLength);
        stream.putByte(0);
    }
    stream.putByte(kTrailer);
    // The trailer's write is checked too: a short file must not pass for a saved one.
    stream.flush();
    failed = failed || stream.error() != 0;
    if (failed) {
        setLastError("Write Error in GIF file");
        return false;
    }
    return true;
}
