// A JPEG whose damage shows only after its last row: a copy of its frame header put in the
// middle of the coded data. The decoder takes the marker for the end of the data, fills the
// rest, delivers every row and fails in its last step on the second frame header.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> withSecondFrameMidScan(const std::vector<uint8_t>& jpeg) {
    auto find = [&](uint8_t marker) {
        for (size_t i = 2; i + 1 < jpeg.size(); ++i)
            if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
        return jpeg.size();
    };
    const size_t sof = find(0xC0), sos = find(0xDA);
    if (sof + 4 > jpeg.size() || sos + 4 > jpeg.size()) return {};
    const size_t sofEnd = sof + 2 + ((size_t(jpeg[sof + 2]) << 8) | jpeg[sof + 3]);
    const size_t data = sos + 2 + ((size_t(jpeg[sos + 2]) << 8) | jpeg[sos + 3]);
    // Not after a 0xFF, which would pair with the inserted marker's first byte.
    size_t at = data + (jpeg.size() - data) / 2;
    while (at < jpeg.size() && jpeg[at - 1] == 0xFF) ++at;
    std::vector<uint8_t> damaged(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(at));
    damaged.insert(damaged.end(), jpeg.begin() + std::ptrdiff_t(sof),
                   jpeg.begin() + std::ptrdiff_t(std::min(sofEnd, jpeg.size())));
    damaged.insert(damaged.end(), jpeg.begin() + std::ptrdiff_t(at), jpeg.end());
    return damaged;
}
