// Thumbnails of single photos: the size rule and the (reduced) decode.
#include "browse/thumbnail_maker.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "metadata/photo_metadata.h"

namespace thumbnails {

ThumbnailSize thumbnailSize(int32_t width, int32_t height, int32_t t) {
    if (width <= 0 || height <= 0 || t <= 0) return {};
    const int32_t h = (height == t) ? t + 1 : t;
    const int64_t w = int64_t(width) * h / height;
    return ThumbnailSize{int32_t(w < 1 ? 1 : w), h};
}

bool jpegFrameSize(const std::string& path, int32_t& width, int32_t& height) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    FILE* f = file.get();
    if (std::fgetc(f) != 0xFF || std::fgetc(f) != 0xD8) return false;
    // Walk the marker segments up to the frame header; a hostile file ends the walk at its
    // end of file, since every step moves forward by at least the two length bytes.
    for (;;) {
        int c = std::fgetc(f);
        if (c == EOF) return false;
        if (c != 0xFF) return false;
        do c = std::fgetc(f);
        while (c == 0xFF);  // fill bytes
        if (c == EOF) return false;
        const int marker = c;
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (marker == 0xD9 || marker == 0xDA) return false;  // no frame before the scan
        const int hi = std::fgetc(f), lo = std::fgetc(f);
        if (hi == EOF || lo == EOF) return false;
        const long length = (long(hi) << 8) | lo;
        if (length < 2) return false;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            uint8_t b[5];
            if (length < 7 || std::fread(b, 1, 5, f) != 5) return false;
            height = (int32_t(b[1]) << 8) | b[2];
            width = (int32_t(b[3]) << 8) | b[4];
            return width > 0 && height > 0;
        }
        if (std::fseek(f, length - 2, SEEK_CUR) != 0) return false;
    }
}

bool makeThumbnail(const std::string& path, uint32_t type, int32_t t, bool reduced,
                   DibImage& image) {
    int32_t width = 0, height = 0;
    bool loaded;
    PhotoMetadata metadata;
    if (reduced && type == JPEG) {
        loaded = loadUpright(image, path, JPEG, &metadata, 0, t);
        // The size rule speaks of the upright photo, not of the reduced picture decoded from it.
        if (loaded && jpegFrameSize(path, width, height)) {
            if (swapsSides(metadata.orientation)) std::swap(width, height);
        } else {
            width = image.width();
            height = image.height();
        }
    } else {
        loaded = loadUpright(image, path, type, &metadata);
        width = image.width();
        height = image.height();
    }
    if (!loaded || image.height() <= 0) {
        image.destroy();
        return false;
    }
    const ThumbnailSize size = thumbnailSize(width, height, t);
    if (!image.resample(size.width, size.height, 1)) return false;
    // A thumbnail is only ever shown: it is made in the screen's colours at once.
    if (const auto colour = displayColour(metadata)) colour->convertImage(image);
    return true;
}

}  // namespace thumbnails
