// Row helpers for paletted pictures: 1-, 4- and 8-bit rows spread to one byte per pixel and
// packed back, so that the operations on indices can work a whole row at a time.
#include "image/index_rows.h"

#include <cstring>

namespace index_rows {

void unpack(const uint8_t* row, uint32_t bitCount, int32_t width, uint8_t* out) {
    const uint32_t n = uint32_t(width);
    switch (bitCount) {
        case 8:
            std::memcpy(out, row, n);
            break;
        case 4:
            for (uint32_t x = 0; x + 1 < n; x += 2) {
                out[x] = row[x >> 1] >> 4;
                out[x + 1] = row[x >> 1] & 0x0F;
            }
            if (n & 1) out[n - 1] = row[n >> 1] >> 4;
            break;
        case 1:
            for (uint32_t x = 0; x < n; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        default:
            break;
    }
}

void pack(const uint8_t* in, uint32_t bitCount, int32_t width, uint8_t* row) {
    const uint32_t n = uint32_t(width);
    switch (bitCount) {
        case 8:
            std::memcpy(row, in, n);
            break;
        case 4:
            for (uint32_t x = 0; x + 1 < n; x += 2)
                row[x >> 1] = uint8_t((in[x] & 0x0F) << 4 | (in[x + 1] & 0x0F));
            if (n & 1) row[n >> 1] = uint8_t((in[n - 1] & 0x0F) << 4);
            break;
        case 1:
            for (uint32_t b = 0; b < (n + 7) / 8; ++b) {
                uint8_t v = 0;
                const uint32_t end = b * 8 + 8 < n ? b * 8 + 8 : n;
                for (uint32_t x = b * 8; x < end; ++x) v |= uint8_t((in[x] & 1) << (7 - (x & 7)));
                row[b] = v;
            }
            break;
        default:
            break;
    }
}

}  // namespace index_rows
