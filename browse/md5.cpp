// MD5 after RFC 1321: 64-byte blocks, four rounds of sixteen steps, little-endian words.
#include "browse/md5.h"

#include <cmath>
#include <cstring>

namespace thumbnails {

namespace {

// The shift of each step, by round.
constexpr uint32_t kShift[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// T[i] = floor(2^32 * |sin(i + 1)|), as the RFC defines its table; a double holds it exactly.
struct SineTable {
    uint32_t t[64];
    SineTable() {
        for (int i = 0; i < 64; ++i)
            t[i] = uint32_t(std::floor(4294967296.0 * std::fabs(std::sin(i + 1.0))));
    }
};
const SineTable kSine;

uint32_t rotateLeft(uint32_t x, uint32_t n) {
    return (x << n) | (x >> (32 - n));
}

}  // namespace

Md5::Md5() : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u} {}

void Md5::block(const uint8_t* data) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = uint32_t(data[i * 4]) | uint32_t(data[i * 4 + 1]) << 8 |
               uint32_t(data[i * 4 + 2]) << 16 | uint32_t(data[i * 4 + 3]) << 24;
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        uint32_t f;
        int k;
        switch (round) {
            case 0:
                f = (b & c) | (~b & d);
                k = i;
                break;
            case 1:
                f = (b & d) | (c & ~d);
                k = (5 * i + 1) % 16;
                break;
            case 2:
                f = b ^ c ^ d;
                k = (3 * i + 5) % 16;
                break;
            default:
                f = c ^ (b | ~d);
                k = (7 * i) % 16;
                break;
        }
        const uint32_t next = b + rotateLeft(a + f + kSine.t[i] + x[k], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5::update(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    length_ += size;
    while (size > 0) {
        const size_t take = std::min(size, sizeof buffer_ - buffered_);
        std::memcpy(buffer_ + buffered_, p, take);
        buffered_ += take;
        p += take;
        size -= take;
        if (buffered_ == sizeof buffer_) {
            block(buffer_);
            buffered_ = 0;
        }
    }
}

std::array<uint8_t, 16> Md5::finish() {
    // A one bit, zeros up to 56 bytes of the last block, then the length in bits.
    const uint64_t bits = length_ * 8;
    const uint8_t one = 0x80;
    update(&one, 1);
    const uint8_t zero = 0;
    while (buffered_ != 56) update(&zero, 1);
    uint8_t tail[8];
    for (int i = 0; i < 8; ++i) tail[i] = uint8_t(bits >> (8 * i));
    update(tail, 8);
    std::array<uint8_t, 16> digest;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) digest[size_t(i * 4 + j)] = uint8_t(state_[i] >> (8 * j));
    return digest;
}

std::string md5Hex(std::string_view text) {
    Md5 md5;
    md5.update(text.data(), text.size());
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : md5.finish()) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

}  // namespace thumbnails
