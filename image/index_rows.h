// Row helpers for paletted pictures: 1-, 4- and 8-bit rows spread to one byte per pixel and
// packed back, so that the operations on indices can work a whole row at a time.
#pragma once

#include <cstdint>

namespace index_rows {

// Bytes a row of width pixels really uses (the rest of the stride is padding).
inline uint32_t usedBytes(uint32_t bitCount, int32_t width) {
    return uint32_t((uint64_t(uint32_t(width)) * bitCount + 7) / 8);
}

// Pixels 0 .. width-1 of a 1-, 4- or 8-bit row, one byte each.
void unpack(const uint8_t* row, uint32_t bitCount, int32_t width, uint8_t* out);

// The inverse: writes the row's used bytes whole, spare low bits of the last byte zero.
void pack(const uint8_t* in, uint32_t bitCount, int32_t width, uint8_t* row);

}  // namespace index_rows
