// MD5 through lcms2, which exports the digest it computes profile IDs with.
#include "browse/md5.h"

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace thumbnails {

std::string md5Hex(std::string_view text) {
    cmsHANDLE md5 = cmsMD5alloc(nullptr);
    if (!md5) return "";
    // URIs are far below 4 GB; longer text goes in several parts all the same.
    for (size_t at = 0; at < text.size(); at += UINT_MAX) {
        const size_t part = std::min<size_t>(UINT_MAX, text.size() - at);
        cmsMD5add(md5, reinterpret_cast<const cmsUInt8Number*>(text.data() + at),
                  cmsUInt32Number(part));
    }
    cmsProfileID digest;
    cmsMD5finish(&digest, md5);  // frees md5
    std::string hex;
    char two[3];
    for (const cmsUInt8Number b : digest.ID8) {
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

}  // namespace thumbnails
