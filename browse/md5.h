// MD5 (RFC 1321): the digest that names the files of the shared thumbnail cache. Used only for
// naming, never for security.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace thumbnails {

class Md5 {
  public:
    Md5();
    void update(const void* data, size_t size);
    // The digest of everything given; the object is spent afterwards.
    std::array<uint8_t, 16> finish();

  private:
    void block(const uint8_t* data);

    uint32_t state_[4];
    uint64_t length_ = 0;  // bytes given so far
    uint8_t buffer_[64];
    size_t buffered_ = 0;
};

// The digest of text as 32 lower-case hexadecimal digits.
std::string md5Hex(std::string_view text);

}  // namespace thumbnails
