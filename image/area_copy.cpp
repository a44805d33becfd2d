// Cutting a rectangle out of a picture: the 1:1 view and region rendering work on such a
// piece of the full photo instead of the whole of it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "image/dib_image.h"
#include "image/index_rows.h"

bool DibImage::copyArea(const DibImage& source, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!source.isValid() || w <= 0 || h <= 0 || x < 0 || y < 0 ||
        int64_t(x) + w > source.width() || int64_t(y) + h > source.height())
        return false;
    // Built aside: source may be this very image.
    DibImage area;
    area.info = source.info;
    area.info.owner = nullptr;
    area.info.pixels = nullptr;
    if (!area.create(w, h, source.bitCount(), source.type())) return false;
    const uint32_t colours = std::min({source.header.colorsUsed, area.header.colorsUsed, 256u});
    if (colours) std::memcpy(area.paletteBase(), source.paletteBase(), size_t(colours) * 4);

    const uint32_t bits = source.bitCount();
    if (bits % 8 == 0) {
        const size_t bytes = bits / 8;
        for (int32_t r = 0; r < h; ++r)
            std::memcpy(area.row(r), source.row(y + r) + size_t(x) * bytes, size_t(w) * bytes);
    } else {
        // 1- and 4-bit rows: spread to bytes, cut, and packed again at the new bit offset.
        std::vector<uint8_t> spread(size_t(source.width()));
        for (int32_t r = 0; r < h; ++r) {
            index_rows::unpack(source.row(y + r), bits, source.width(), spread.data());
            index_rows::pack(spread.data() + x, bits, w, area.row(r));
        }
    }
    if (source.hasAlpha() && area.alphaCreate()) {
        for (int32_t r = 0; r < h; ++r)
            std::memcpy(area.alphaPlane() + size_t(r) * size_t(w),
                        source.alphaPlane() + size_t(y + r) * size_t(source.width()) + size_t(x),
                        size_t(w));
    }
    area.info.colorType = source.info.colorType;
    if (area.info.colorType == 4 && !area.hasAlpha()) area.info.colorType = 2;
    transfer(area);
    return true;
}
