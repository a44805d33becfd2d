// GIF's LZW coder on its own: a hand-worked example, decode of encode at every code size,
// table resets past 4096 codes and widths up to 12 bits (checked by a separate code reader),
// and hostile code streams that must end cleanly.
#include "formats/gif/gif_lzw.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "tests/formats/gif_codes.h"

namespace {

using Bytes = std::vector<uint8_t>;

class BytesSource : public GifByteSource {
  public:
    explicit BytesSource(const Bytes& bytes) : bytes_(bytes) {}
    int nextByte() override { return pos_ < bytes_.size() ? bytes_[pos_++] : -1; }
    size_t position() const { return pos_; }

  private:
    const Bytes& bytes_;
    size_t pos_ = 0;
};

class LineCollector : public GifLineSink {
  public:
    explicit LineCollector(int maxLines = 1 << 30) : maxLines_(maxLines) {}
    bool putLine(uint8_t* line, int length) override {
        if (int(lengths.size()) >= maxLines_) return false;
        lengths.push_back(length);
        pixels.insert(pixels.end(), line, line + length);
        return true;
    }
    Bytes pixels;
    std::vector<int> lengths;

  private:
    int maxLines_;
};

class PixelsFrom : public GifPixelSource {
  public:
    explicit PixelsFrom(const Bytes& pixels) : pixels_(pixels) {}
    int nextPixel() override { return pos_ < pixels_.size() ? pixels_[pos_++] : -1; }

  private:
    const Bytes& pixels_;
    size_t pos_ = 0;
};

class BytesSink : public GifByteSink {
  public:
    void write(const uint8_t* data, size_t length) override {
        bytes.insert(bytes.end(), data, data + length);
    }
    Bytes bytes;
};

// Image data as a file holds it: code size byte, sub-blocks, terminator.
Bytes encode(const Bytes& pixels, int codeSize) {
    PixelsFrom source(pixels);
    BytesSink sink;
    GifLzwEncoder encoder;
    encoder.compress(source, sink, codeSize + 1);
    Bytes data{uint8_t(codeSize)};
    data.insert(data.end(), sink.bytes.begin(), sink.bytes.end());
    data.push_back(0);
    return data;
}

// A reader written from the format's definition alone, independent of the decoder: it walks
// the codes of image data and reports what the encoder did.
struct CodeWalk {
    int clears = 0;
    int maxWidth = 0;
    int codes = 0;
    bool endSeen = false;
    bool firstIsClear = false;
    size_t bitsAfterEnd = 0;  // fewer than 8 when the walk stayed in step to the end
};

CodeWalk walkCodes(const Bytes& data) {
    CodeWalk walk;
    const int m = data[0];
    Bytes stream;
    size_t pos = 1;
    while (pos < data.size() && data[pos] != 0) {
        stream.insert(stream.end(), data.begin() + long(pos + 1),
                      data.begin() + long(pos + 1 + data[pos]));
        pos += data[pos] + 1;
    }
    const int clear = 1 << m, end = clear + 1;
    int width = m + 1, next = clear + 2;
    bool first = true;
    size_t bit = 0;
    while (bit + size_t(width) <= stream.size() * 8) {
        uint32_t v = 0;
        for (int i = 0; i < width; ++i)
            v |= uint32_t((stream[(bit + i) / 8] >> ((bit + i) % 8)) & 1) << i;
        if (walk.codes == 0) walk.firstIsClear = int(v) == clear;
        bit += size_t(width);
        ++walk.codes;
        walk.maxWidth = std::max(walk.maxWidth, width);
        if (int(v) == clear) {
            ++walk.clears;
            width = m + 1;
            next = clear + 2;
            first = true;
            continue;
        }
        if (int(v) == end) {
            walk.endSeen = true;
            walk.bitsAfterEnd = stream.size() * 8 - bit;
            break;
        }
        // Every code but the first after a clear adds a string; the width grows when the
        // next string's number no longer fits.
        if (!first && next < 4096) {
            ++next;
            if (next == (1 << width) && width < 12) ++width;
        }
        first = false;
    }
    return walk;
}

Bytes randomPixels(size_t n, int codeSize, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes p(n);
    for (auto& v : p) v = uint8_t(rng() & ((1u << codeSize) - 1));
    return p;
}

}  // namespace

TEST(GifLzw, HandWorkedExample) {
    // Four zeros, code size 2: clear (4), 0, 6 ("0 0"), 0, end (5). The first four codes are
    // 3 bits wide; after the third string is added the width is 4, for the end code.
    // Bits from the lowest: 100 000 110 000 0101 -> 0x84 0x51.
    const Bytes pixels = {0, 0, 0, 0};
    const Bytes data = encode(pixels, 2);
    EXPECT_EQ(data, (Bytes{2, 2, 0x84, 0x51, 0}));

    BytesSource source(data);
    LineCollector lines;
    GifLzwDecoder decoder;
    EXPECT_EQ(decoder.decode(source, lines, 4), GifLzwDecoder::End::EndCode);
    EXPECT_EQ(lines.pixels, pixels);
}

TEST(GifLzw, DecodeOfEncodeAtEveryCodeSize) {
    // 10 and 11 are as valid as the sizes real writers use (11 starts at the 12-bit maximum).
    for (int codeSize = 2; codeSize <= 11; ++codeSize)
        for (size_t n : {size_t(1), size_t(2), size_t(3), size_t(257), size_t(5000)}) {
            // Noise, long runs, and a repeating ramp.
            std::vector<Bytes> inputs{randomPixels(n, codeSize, uint32_t(n * 10 + codeSize)),
                                      Bytes(n, uint8_t((1 << codeSize) - 1)), Bytes(n)};
            for (size_t i = 0; i < n; ++i) inputs[2][i] = uint8_t(i % (1u << codeSize));
            for (const Bytes& pixels : inputs) {
                const Bytes data = encode(pixels, codeSize);
                BytesSource source(data);
                LineCollector lines;
                GifLzwDecoder decoder;
                ASSERT_EQ(decoder.decode(source, lines, 7), GifLzwDecoder::End::EndCode);
                EXPECT_EQ(lines.pixels, pixels) << "code size " << codeSize << ", " << n;
                decoder.skipRest(source);
                EXPECT_EQ(source.position(), data.size());
            }
        }
}

TEST(GifLzw, TableResetsPast4096CodesAndTwelveBitCodes) {
    for (int codeSize : {2, 4, 8, 10, 11}) {
        const Bytes pixels = randomPixels(60000, codeSize, uint32_t(codeSize));
        const Bytes data = encode(pixels, codeSize);
        const CodeWalk walk = walkCodes(data);
        EXPECT_TRUE(walk.firstIsClear);
        EXPECT_TRUE(walk.endSeen);
        EXPECT_EQ(walk.maxWidth, 12) << codeSize;
        // The first clear plus at least two resets of a full table; the walk, which starts
        // again at the initial width after each clear, ends in step with the data.
        EXPECT_GE(walk.clears, 3) << codeSize;
        EXPECT_LT(walk.bitsAfterEnd, 8u);

        BytesSource source(data);
        LineCollector lines;
        GifLzwDecoder decoder;
        EXPECT_EQ(decoder.decode(source, lines, 1000), GifLzwDecoder::End::EndCode);
        EXPECT_EQ(lines.pixels, pixels) << codeSize;
        EXPECT_EQ(lines.lengths.size(), 60u);
    }
    // Few pixels: no reset, the width stays small.
    const CodeWalk small = walkCodes(encode(randomPixels(20, 8, 1), 8));
    EXPECT_EQ(small.clears, 1);
    EXPECT_EQ(small.maxWidth, 9);
}

TEST(GifLzw, PacketsAreAtMost254Bytes) {
    const Bytes data = encode(randomPixels(3000, 8, 5), 8);
    size_t pos = 1, blocks = 0;
    while (data[pos] != 0) {
        EXPECT_LE(data[pos], 254);
        if (data[pos + data[pos] + 1] != 0) {
            EXPECT_EQ(data[pos], 254);
        }
        pos += data[pos] + 1;
        ++blocks;
    }
    EXPECT_GT(blocks, 5u);
    EXPECT_EQ(pos, data.size() - 1);
}

TEST(GifLzw, StreamsOtherEncodersMayWrite) {
    // No clear code at the start: 0, 1, then 6 ("0 1"), then end.
    GifLzwDecoder decoder;
    {
        const Bytes data = gif_codes::packCodes(2, {{0, 3}, {1, 3}, {6, 3}, {5, 4}});
        BytesSource source(data);
        LineCollector lines;
        EXPECT_EQ(decoder.decode(source, lines, 10), GifLzwDecoder::End::EndCode);
        EXPECT_EQ(lines.pixels, (Bytes{0, 1, 0, 1}));
    }
    // Clear codes in a row, and a code one past the table ("K w K w K").
    {
        const Bytes data = gif_codes::packCodes(2, {{4, 3}, {4, 3}, {2, 3}, {6, 3}, {5, 3}});
        BytesSource source(data);
        LineCollector lines;
        EXPECT_EQ(decoder.decode(source, lines, 10), GifLzwDecoder::End::EndCode);
        EXPECT_EQ(lines.pixels, (Bytes{2, 2, 2}));
    }
    // The terminator before any end code ends the image there, keeping its pixels.
    {
        // 24 bits: the codes fill their bytes, so no padding bits decode as codes.
        Bytes data =
            gif_codes::packCodes(2, {{4, 3}, {3, 3}, {3, 3}, {3, 3}, {3, 4}, {3, 4}, {3, 4}});
        data.push_back(0x3B);
        BytesSource source(data);
        LineCollector lines(100);
        EXPECT_EQ(decoder.decode(source, lines, 2), GifLzwDecoder::End::Terminator);
        EXPECT_EQ(lines.pixels, Bytes(6, 3));
        decoder.skipRest(source);
        EXPECT_EQ(source.nextByte(), 0x3B);
    }
    // Sub-blocks left after the end code are skipped up to the terminator.
    {
        Bytes data = gif_codes::packCodes(2, {{4, 3}, {1, 3}, {5, 3}});
        data.pop_back();
        data.insert(data.end(), {3, 9, 9, 9, 0, 0x3B});
        BytesSource source(data);
        LineCollector lines;
        EXPECT_EQ(decoder.decode(source, lines, 2), GifLzwDecoder::End::EndCode);
        decoder.skipRest(source);
        EXPECT_EQ(source.nextByte(), 0x3B);
    }
}

TEST(GifLzw, HostileStreamsEndCleanly) {
    GifLzwDecoder decoder;
    // Codes far beyond the table decode as the previous string plus its first byte.
    {
        const Bytes data = gif_codes::packCodes(2, {{4, 3}, {1, 3}, {7, 3}, {5, 3}});
        BytesSource source(data);
        LineCollector lines;
        EXPECT_EQ(decoder.decode(source, lines, 10), GifLzwDecoder::End::EndCode);
        EXPECT_EQ(lines.pixels, (Bytes{1, 1, 1}));
    }
    // A string that points at itself (code 7 gets prefix 7): decoding ends instead of
    // looping or overrunning its stack, and the pixels decoded so far are kept.
    {
        const Bytes data =
            gif_codes::packCodes(2, {{4, 3}, {0, 3}, {7, 3}, {6, 3}, {7, 4}, {5, 4}});
        BytesSource source(data);
        LineCollector lines;
        EXPECT_EQ(decoder.decode(source, lines, 100), GifLzwDecoder::End::Hostile);
        EXPECT_EQ(lines.pixels, (Bytes{0, 0, 0, 0, 0}));
        decoder.skipRest(source);
        EXPECT_EQ(source.position(), data.size());
    }
    // A sub-block whose size runs past the end of the data.
    {
        Bytes data = gif_codes::packCodes(8, {{256, 9}, {7, 9}, {7, 9}});
        data.pop_back();
        data.insert(data.end(), {200, 1, 2});
        BytesSource source(data);
        LineCollector lines;
        EXPECT_EQ(decoder.decode(source, lines, 100), GifLzwDecoder::End::EndOfData);
        EXPECT_EQ(lines.pixels, (Bytes{7, 7}));
    }
    // Code sizes outside 2..11, and nothing at all.
    for (int size : {0, 1, 12, 13, 255}) {
        const Bytes data = {uint8_t(size), 1, 0, 0};
        BytesSource source(data);
        LineCollector lines;
        EXPECT_EQ(decoder.decode(source, lines, 4), GifLzwDecoder::End::BadCodeSize) << size;
        EXPECT_TRUE(lines.pixels.empty());
        decoder.skipRest(source);
        EXPECT_EQ(source.position(), data.size());
    }
    {
        const Bytes data;
        BytesSource source(data);
        LineCollector lines;
        EXPECT_EQ(decoder.decode(source, lines, 4), GifLzwDecoder::End::EndOfData);
    }
    // A sink that is full ends decoding.
    {
        const Bytes data = encode(Bytes(100, 1), 2);
        BytesSource source(data);
        LineCollector lines(3);
        EXPECT_EQ(decoder.decode(source, lines, 10), GifLzwDecoder::End::LinesFull);
        EXPECT_EQ(lines.pixels.size(), 30u);
    }
}

TEST(GifLzw, RandomStreamsNeverRunAway) {
    // Arbitrary bytes as image data: whatever happens, decoding ends and writes only lines.
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        Bytes data{uint8_t(2 + round % 8)};
        for (int b = 0; b < 8; ++b) {
            data.push_back(255);
            for (int i = 0; i < 255; ++i) data.push_back(uint8_t(rng()));
        }
        data.push_back(0);
        BytesSource source(data);
        LineCollector lines;
        GifLzwDecoder decoder;
        decoder.decode(source, lines, 13);
        for (int length : lines.lengths) EXPECT_LE(length, 13);
    }
}
