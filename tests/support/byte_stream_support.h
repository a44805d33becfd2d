// Loading and saving pictures from and to bytes in memory through the format dispatch, and
// little-endian byte builders, for the codec tests that make their files byte by byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "formats/image_stream.h"
#include "image/dib_image.h"

namespace byte_stream_support {

using Bytes = std::vector<uint8_t>;

// Loads bytes as the given type, the way a file of those bytes would load.
inline bool loadBytes(DibImage& image, const Bytes& bytes, uint32_t type) {
    Bytes copy = bytes;
    copy.push_back(0);  // fmemopen refuses an empty buffer; the size below excludes it
    FILE* file = fmemopen(copy.data(), bytes.size(), "rb");
    if (!file) return false;
    bool ok;
    {
        ImageStream stream(file);
        ok = image.loadFromStream(stream, type);
    }
    std::fclose(file);
    return ok;
}

// Saves the image as the given type; *ok receives the result. The stream is a real file: a
// memory stream reports the position at closing as its size, cutting off writers that seek
// back (TIFF).
inline Bytes saveBytes(const DibImage& image, uint32_t type, bool* ok) {
    FILE* file = std::tmpfile();
    bool result = false;
    Bytes bytes;
    if (file) {
        {
            ImageStream stream(file);
            result = image.saveToStream(stream, type);
        }
        std::fflush(file);
        const long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : 0;
        bytes.resize(size_t(size > 0 ? size : 0));
        std::rewind(file);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
        std::fclose(file);
    }
    if (ok) *ok = result;
    return bytes;
}

inline void put8(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
}
inline void put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
    put16(b, v);
    put16(b, v >> 16);
}
inline void append(Bytes& b, std::initializer_list<uint8_t> values) {
    b.insert(b.end(), values);
}
inline uint32_t get16(const Bytes& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8;
}
inline uint32_t get32(const Bytes& b, size_t at) {
    return get16(b, at) | get16(b, at + 2) << 16;
}

}  // namespace byte_stream_support
