// The EXIF thumbnail through Exiv2, decoded by the project's own JPEG codec from memory.
#include "metadata/embedded_preview.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exiv2/exiv2.hpp>

#include "formats/image_stream.h"

bool embeddedPreview(const PhotoMetadata& metadata, int32_t width, int32_t height,
                     int32_t minLonger, DibImage& out) {
    out.destroy();
    if (metadata.exif.empty() || width <= 0 || height <= 0 || metadata.exif.size() > UINT32_MAX)
        return false;
    try {
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, metadata.exif.data(), uint32_t(metadata.exif.size()));
        const Exiv2::ExifThumbC thumb(exif);
        if (std::string(thumb.mimeType()) != "image/jpeg") return false;
        Exiv2::DataBuf bytes = thumb.copy();
        if (!bytes.pData_ || bytes.size_ <= 0) return false;
        FILE* file = fmemopen(bytes.pData_, size_t(bytes.size_), "rb");
        if (!file) return false;
        ImageStream stream(file);
        const bool loaded = out.loadFromStream(stream, JPEG);
        std::fclose(file);
        const int64_t w = out.width(), h = out.height();
        // The photo's shape to within the rounding of the thumbnail's sides.
        const bool fits = loaded && w > 0 && h > 0 && w <= width && h <= height &&
                          std::max(w, h) >= minLonger &&
                          std::llabs(w * height - h * int64_t(width)) <= std::max(width, height);
        if (!fits) out.destroy();
        return fits;
    } catch (...) {
        out.destroy();
        return false;
    }
}
