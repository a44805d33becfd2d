// GIF's LZW decoder (code reader over sub-blocks, string table, line output) and encoder
// (hashed string table of the classic compress program, packets of 254 bytes).
#include "formats/gif/gif_lzw.h"

#include <cstring>

namespace {

constexpr int kCodeMask[13] = {0x000, 0x001, 0x003, 0x007, 0x00F, 0x01F, 0x03F,
                               0x07F, 0x0FF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};

constexpr uint32_t kAccumulatorMask[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                                           0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                                           0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

// The largest code a width allows; at 12 bits the table's size, so the width never grows
// past 12 (an initial width of 12 starts there).
int maxCodeFor(int bits) {
    return bits == GifLzwEncoder::kMaxBits ? GifLzwEncoder::kMaxCodes : (1 << bits) - 1;
}

// Codes the reader returns instead of a code.
constexpr int kNoData = -1;
constexpr int kTerminator = -2;

}  // namespace

// --- decoder ---

int GifLzwDecoder::subBlockByte(GifByteSource& source) {
    if (blockLeft_ == 0) {
        const int size = source.nextByte();
        if (size < 0) {
            atEnd_ = true;
            return kNoData;
        }
        if (size == 0) {
            // The data's terminator came before the end code: the image ends here.
            atTerminator_ = true;
            return kTerminator;
        }
        for (int i = 0; i < size; ++i) {
            const int b = source.nextByte();
            if (b < 0) {
                // A sub-block that runs past the end of the file ends the image.
                atEnd_ = true;
                return kNoData;
            }
            block_[i] = uint8_t(b);
        }
        blockLeft_ = size;
        blockPos_ = 0;
    }
    --blockLeft_;
    return block_[blockPos_++];
}

int GifLzwDecoder::nextCode(GifByteSource& source) {
    if (bitsLeft_ == 0) {
        const int b = subBlockByte(source);
        if (b < 0) return b;
        currentByte_ = b;
        bitsLeft_ = 8;
    }
    int code = currentByte_ >> (8 - bitsLeft_);
    while (width_ > bitsLeft_) {
        const int b = subBlockByte(source);
        if (b < 0) return b;
        currentByte_ = b;
        code |= b << bitsLeft_;
        bitsLeft_ += 8;
    }
    bitsLeft_ -= width_;
    return code & kCodeMask[width_];
}

GifLzwDecoder::End GifLzwDecoder::decode(GifByteSource& source, GifLineSink& sink, int lineWidth) {
    bitsLeft_ = 0;
    currentByte_ = 0;
    blockLeft_ = 0;
    blockPos_ = 0;
    atTerminator_ = false;
    atEnd_ = false;

    const int s = source.nextByte();
    if (s < 0) {
        atEnd_ = true;
        return End::EndOfData;
    }
    // Sizes 10 and 11 are rare but valid: their codes start 11 and 12 bits wide.
    if (s < 2 || s > 11) return End::BadCodeSize;
    if (lineWidth < 1) return End::LinesFull;

    codeSize_ = s;
    width_ = s + 1;
    int topSlot = 1 << width_;
    const int clearCode = 1 << s;
    const int endCode = clearCode + 1;
    const int firstFree = clearCode + 2;
    int slot = firstFree;
    std::memset(stack_, 0, sizeof stack_);
    std::memset(suffix_, 0, sizeof suffix_);
    std::memset(prefix_, 0, sizeof prefix_);

    std::vector<uint8_t> line(size_t(lineWidth) + 1);
    int fill = 0;
    int oldCode = 0;
    int firstChar = 0;
    // Streams should start with a clear code; one that does not adds no entry for its
    // first code, as if it had.
    bool havePrevious = false;
    End end = End::EndOfData;

    auto emit = [&](uint8_t value) {
        line[size_t(fill++)] = value;
        if (fill == lineWidth) {
            fill = 0;
            if (!sink.putLine(line.data(), lineWidth)) return false;
        }
        return true;
    };
    auto codeEnd = [&](int code) { return code == kTerminator ? End::Terminator : End::EndOfData; };

    for (;;) {
        int k = nextCode(source);
        if (k < 0) {
            end = codeEnd(k);
            break;
        }
        if (k == endCode) {
            end = End::EndCode;
            break;
        }
        if (k == clearCode || !havePrevious) {
            if (k == clearCode) {
                width_ = s + 1;
                slot = firstFree;
                topSlot = 1 << width_;
                do k = nextCode(source);
                while (k == clearCode);
                if (k < 0) {
                    end = codeEnd(k);
                    break;
                }
                if (k == endCode) {
                    end = End::EndCode;
                    break;
                }
            }
            if (k >= slot) k = 0;
            oldCode = firstChar = k;
            havePrevious = true;
            if (!emit(uint8_t(k))) {
                end = End::LinesFull;
                break;
            }
            continue;
        }

        int code = k;
        int sp = 0;
        if (code >= slot) {
            // Not yet in the table: the previous string plus its own first character.
            stack_[sp++] = uint8_t(firstChar);
            code = oldCode;
        }
        // Every step pushes one byte, so the stack's size also bounds a looping chain.
        bool hostile = false;
        while (code >= firstFree) {
            if (sp >= kMaxCodes) {
                hostile = true;
                break;
            }
            stack_[sp++] = suffix_[code];
            code = prefix_[code];
        }
        if (hostile || sp >= kMaxCodes) {
            end = End::Hostile;
            break;
        }
        stack_[sp++] = uint8_t(code);
        if (slot < topSlot) {
            suffix_[slot] = uint8_t(firstChar = code);
            prefix_[slot] = uint16_t(oldCode);
            ++slot;
            oldCode = k;
        }
        if (slot >= topSlot && width_ < kMaxBits) {
            topSlot <<= 1;
            ++width_;
        }
        bool full = false;
        while (sp > 0) {
            if (!emit(stack_[--sp])) {
                full = true;
                break;
            }
        }
        if (full) {
            end = End::LinesFull;
            break;
        }
    }
    if (fill > 0 && end != End::LinesFull) sink.putLine(line.data(), fill);
    return end;
}

void GifLzwDecoder::skipRest(GifByteSource& source) {
    if (atTerminator_ || atEnd_) return;
    // The current sub-block was read whole; what follows are whole sub-blocks.
    for (;;) {
        const int size = source.nextByte();
        if (size <= 0) return;
        for (int i = 0; i < size; ++i)
            if (source.nextByte() < 0) return;
    }
}

// --- encoder ---

void GifLzwEncoder::clearHash() {
    for (int32_t& entry : htab_) entry = -1;
}

void GifLzwEncoder::flushPacket(GifByteSink& sink) {
    if (packetFill_ == 0) return;
    uint8_t block[256];
    block[0] = uint8_t(packetFill_);
    std::memcpy(block + 1, packet_, size_t(packetFill_));
    sink.write(block, size_t(packetFill_) + 1);
    packetFill_ = 0;
}

void GifLzwEncoder::addByte(uint8_t byte, GifByteSink& sink) {
    packet_[packetFill_++] = byte;
    if (packetFill_ >= 254) flushPacket(sink);
}

void GifLzwEncoder::output(int code, GifByteSink& sink) {
    accumulator_ &= kAccumulatorMask[accumulatedBits_];
    if (accumulatedBits_ > 0)
        accumulator_ |= uint32_t(code) << accumulatedBits_;
    else
        accumulator_ = uint32_t(code);
    accumulatedBits_ += nBits_;
    while (accumulatedBits_ >= 8) {
        addByte(uint8_t(accumulator_ & 0xFF), sink);
        accumulator_ >>= 8;
        accumulatedBits_ -= 8;
    }
    // The width grows once the next code would not fit; after a clear it starts again.
    if (freeEnt_ > maxCode_ || clearFlag_) {
        if (clearFlag_) {
            nBits_ = initBits_;
            maxCode_ = maxCodeFor(nBits_);
            clearFlag_ = false;
        } else {
            ++nBits_;
            maxCode_ = maxCodeFor(nBits_);
        }
    }
    if (code == endCode_) {
        while (accumulatedBits_ > 0) {
            addByte(uint8_t(accumulator_ & 0xFF), sink);
            accumulator_ >>= 8;
            accumulatedBits_ -= 8;
        }
        flushPacket(sink);
    }
}

void GifLzwEncoder::compress(GifPixelSource& source, GifByteSink& sink, int initBits) {
    initBits_ = nBits_ = initBits;
    maxCode_ = maxCodeFor(nBits_);
    clearCode_ = 1 << (initBits - 1);
    endCode_ = clearCode_ + 1;
    freeEnt_ = clearCode_ + 2;
    clearFlag_ = false;
    accumulator_ = 0;
    accumulatedBits_ = 0;
    packetFill_ = 0;

    // 8 minus the doublings of the table size needed to pass 65535.
    int hashShift = 0;
    for (long fcode = kHashSize; fcode < 65536L; fcode *= 2) ++hashShift;
    hashShift = 8 - hashShift;

    int ent = source.nextPixel();
    clearHash();
    output(clearCode_, sink);
    if (ent < 0) {
        output(endCode_, sink);
        return;
    }
    ent &= 0xFF;

    for (int px = source.nextPixel(); px >= 0; px = source.nextPixel()) {
        px &= 0xFF;
        const int32_t key = (int32_t(px) << kMaxBits) + ent;
        int i = (px << hashShift) ^ ent;
        bool found = false;
        if (htab_[i] == key) {
            found = true;
        } else if (htab_[i] >= 0) {
            const int displacement = i == 0 ? 1 : kHashSize - i;
            do {
                i -= displacement;
                if (i < 0) i += kHashSize;
                if (htab_[i] == key) {
                    found = true;
                    break;
                }
            } while (htab_[i] > 0);
        }
        if (found) {
            ent = codetab_[i];
            continue;
        }
        output(ent, sink);
        if (freeEnt_ < kMaxCodes) {
            codetab_[i] = uint16_t(freeEnt_++);
            htab_[i] = key;
        } else {
            // Table full: start a new one and tell the decoder.
            clearHash();
            freeEnt_ = clearCode_ + 2;
            clearFlag_ = true;
            output(clearCode_, sink);
        }
        ent = px;
    }
    output(ent, sink);
    output(endCode_, sink);
}
