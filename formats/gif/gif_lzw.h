// GIF's variable-width LZW coder: the decoder that turns an image's sub-blocks into lines of
// palette indices and the encoder that turns indices back into sub-blocks. No file access here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Where the decoder gets the bytes of the image data (code size byte, sub-blocks, terminator).
class GifByteSource {
  public:
    virtual ~GifByteSource() = default;
    // The next byte 0..255, or -1 when there is no more data.
    virtual int nextByte() = 0;
};

// Where the decoder puts each finished line of indices (one byte per pixel).
class GifLineSink {
  public:
    virtual ~GifLineSink() = default;
    // False when the picture can take no more lines; decoding then ends.
    virtual bool putLine(uint8_t* line, int length) = 0;
};

// Where the encoder gets its pixels.
class GifPixelSource {
  public:
    virtual ~GifPixelSource() = default;
    // The next palette index, or -1 after the last pixel.
    virtual int nextPixel() = 0;
};

// Where the encoder writes its sub-blocks (size byte and data, written together).
class GifByteSink {
  public:
    virtual ~GifByteSink() = default;
    virtual void write(const uint8_t* data, size_t length) = 0;
};

class GifLzwDecoder {
  public:
    static constexpr int kMaxCodes = 4096;
    static constexpr int kMaxBits = 12;

    // How a decode ended.
    enum class End {
        EndCode,      // the end-of-information code
        Terminator,   // a zero-length sub-block (the data's terminator) before any end code
        EndOfData,    // the source ran dry
        LinesFull,    // the sink refused a line
        BadCodeSize,  // the minimum code size was below 2 or above 11
        Hostile,      // a string longer than the table allows, or a looping prefix chain
    };

    // Reads the minimum code size byte and the codes that follow from source, and hands
    // lines of lineWidth indices to sink (a last, partial line with its own length).
    End decode(GifByteSource& source, GifLineSink& sink, int lineWidth);

    // Consumes what is left of the image data up to and including its terminator, so the
    // source stands right behind it. Does nothing when the decode already ended there.
    void skipRest(GifByteSource& source);

  private:
    int nextCode(GifByteSource& source);
    int subBlockByte(GifByteSource& source);

    // Code reader.
    int codeSize_ = 0;  // s, from the file
    int width_ = 0;     // w, current code width
    int bitsLeft_ = 0;
    int currentByte_ = 0;
    int blockLeft_ = 0;
    int blockPos_ = 0;
    bool atTerminator_ = false;
    bool atEnd_ = false;
    uint8_t block_[255] = {};

    uint8_t stack_[kMaxCodes] = {};
    uint8_t suffix_[kMaxCodes] = {};
    uint16_t prefix_[kMaxCodes] = {};
};

class GifLzwEncoder {
  public:
    static constexpr int kHashSize = 5003;
    static constexpr int kMaxCodes = 4096;
    static constexpr int kMaxBits = 12;

    // Compresses every pixel of source with an initial code width of initBits (the minimum
    // code size plus one) into sub-blocks of at most 254 bytes. Writes no code size byte and
    // no terminator.
    void compress(GifPixelSource& source, GifByteSink& sink, int initBits);

  private:
    void output(int code, GifByteSink& sink);
    void clearHash();
    void addByte(uint8_t byte, GifByteSink& sink);
    void flushPacket(GifByteSink& sink);

    int32_t htab_[kHashSize] = {};
    uint16_t codetab_[kHashSize] = {};
    int nBits_ = 0;
    int maxCode_ = 0;
    int freeEnt_ = 0;
    bool clearFlag_ = false;
    int initBits_ = 0;
    int clearCode_ = 0;
    int endCode_ = 0;
    uint32_t accumulator_ = 0;
    int accumulatedBits_ = 0;
    uint8_t packet_[256] = {};
    int packetFill_ = 0;
};
