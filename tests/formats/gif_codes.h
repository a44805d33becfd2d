// GIF image data built code by code for the decoder and LZW tests: codes of given widths packed
// least significant bit first, cut into sub-blocks, after the code size byte.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace gif_codes {

// codes holds (code, width in bits) pairs, in stream order.
inline std::vector<uint8_t> packCodes(int codeSize, const std::vector<std::pair<int, int>>& codes) {
    std::vector<uint8_t> packed;
    uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc |= uint32_t(code) << bits;
        for (bits += width; bits >= 8; bits -= 8, acc >>= 8) packed.push_back(uint8_t(acc));
    }
    if (bits > 0) packed.push_back(uint8_t(acc));
    std::vector<uint8_t> data{uint8_t(codeSize)};
    for (size_t i = 0; i < packed.size(); i += 255) {
        const size_t n = std::min<size_t>(255, packed.size() - i);
        data.push_back(uint8_t(n));
        data.insert(data.end(), packed.begin() + long(i), packed.begin() + long(i + n));
    }
    data.push_back(0);
    return data;
}

}  // namespace gif_codes
