// The check a decoder makes before allocating a picture: whether the rest of the file could
// hold that many pixels at all, at the densest coding its format has.
#pragma once

#include <cstdint>

#include "formats/image_stream.h"
#include "image/dib_image.h"

// What one decode may allocate for its picture and working memory: at least 64 MB, and
// 1024 bytes for every byte the file has left, so that a small file never costs gigabytes
// while a photo cut short still loads. A stream of unknown length has no budget.
inline constexpr uint64_t kDecodeBudgetFloor = uint64_t(64) << 20;
inline constexpr uint64_t kDecodeBudgetPerByte = 1024;

inline uint64_t decodeBudgetFor(uint64_t available) {
    if (available == UINT64_MAX) return UINT64_MAX;
    if (available > (UINT64_MAX - 1) / kDecodeBudgetPerByte) return UINT64_MAX - 1;
    const uint64_t scaled = available * kDecodeBudgetPerByte;
    return scaled > kDecodeBudgetFloor ? scaled : kDecodeBudgetFloor;
}

// Bytes from the current position to the end of the stream; UINT64_MAX when the stream cannot
// tell, so that no bound refuses a picture it knows nothing about.
inline uint64_t bytesLeft(ImageStream& stream) {
    const long here = stream.tell();
    const long end = stream.length();
    if (here < 0 || end < 0) return UINT64_MAX;
    return end > here ? uint64_t(end - here) : 0;
}

// True when `available` bytes are fewer than `leastBytes`, the smallest encoding of a picture
// of `pixels` pixels; an unknown length never refuses. Pictures above the pixel cap are left
// to create, whose refusal says so.
inline bool tooShort(uint64_t pixels, uint64_t available, uint64_t leastBytes) {
    return pixels <= uint64_t(DibImage::kMaxPixels) && available != UINT64_MAX &&
           available < leastBytes;
}
