// MD5: the digest that names the files of the shared thumbnail cache. Used only for naming,
// never for security.
#pragma once

#include <string>
#include <string_view>

namespace thumbnails {

// The digest of text as 32 lower-case hexadecimal digits ("" only when out of memory).
std::string md5Hex(std::string_view text);

}  // namespace thumbnails
