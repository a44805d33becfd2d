// DibImage storage: creation with its size checks, copying, ownership, pixel and palette
// access, the alpha plane and painting onto a Surface.
#include "image/dib_image.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "image/index_rows.h"

namespace {

uint32_t roundBitCount(uint32_t bitCount) {
    if (bitCount <= 1) return 1;
    if (bitCount <= 4) return 4;
    if (bitCount <= 8) return 8;
    return 24;
}

int32_t pelsPerMeter(int32_t dpi) {
    return int32_t(std::floor(double(dpi) * 39.37007874015748 + 0.5));
}

}  // namespace

DibImage::DibImage(uint32_t imageType) {
    reset(imageType);
}

DibImage::DibImage(int32_t width, int32_t height, uint32_t bitCount, uint32_t imageType) {
    reset(imageType);
    create(width, height, bitCount, imageType);
}

DibImage::DibImage(const DibImage& source, bool copyPixels, bool copyAlpha) {
    reset(source.info.type);
    copyFrom(source, copyPixels, copyAlpha);
}

DibImage::DibImage(const DibImage& source) : DibImage(source, true, true) {}

DibImage& DibImage::operator=(const DibImage& source) {
    if (this != &source) copyFrom(source, true, true);
    return *this;
}

DibImage::DibImage(DibImage&& source) noexcept {
    reset(source.info.type);
    transfer(source);
}

DibImage& DibImage::operator=(DibImage&& source) noexcept {
    transfer(source);
    return *this;
}

// The buffers free themselves; a borrowed view holds none of its own.
DibImage::~DibImage() = default;

void DibImage::reset(uint32_t imageType) {
    header = BitmapInfoHeader{};
    info = ImageInfo{};
    info.type = imageType;
    info.jpegQuality = 75;
    info.pngCompression = -1;
    info.alphaMax = 255;
    info.backgroundIndex = -1;
    setXDpi(72);
    setYDpi(72);
}

void DibImage::setLastError(const char* message) const {
    std::strncpy(info.lastError, message ? message : "", sizeof(info.lastError) - 1);
    info.lastError[sizeof(info.lastError) - 1] = '\0';
}

void DibImage::setTooLargeError(int64_t width, int64_t height) const {
    std::snprintf(info.lastError, sizeof(info.lastError), "Image too large: %" PRId64 " x %" PRId64,
                  width, height);
}

void DibImage::releaseBuffers() {
    // Only what the image owns is freed; a view just stops showing its source's buffers.
    ownBlock_.reset();
    ownAlpha_.reset();
    block_ = nullptr;
    alpha_ = nullptr;
    info.pixels = nullptr;
    info.owner = nullptr;
}

void DibImage::adoptBlock(Buffer block) {
    ownBlock_ = std::move(block);
    block_ = ownBlock_.get();
}

void DibImage::adoptAlpha(Buffer alpha) {
    ownAlpha_ = std::move(alpha);
    alpha_ = ownAlpha_.get();
}

uint8_t* DibImage::create(int32_t width, int32_t height, uint32_t bitCount, uint32_t imageType) {
    releaseBuffers();

    bitCount = roundBitCount(bitCount);
    // Every size is checked in 64 bits before anything is allocated.
    if (width <= 0 || height <= 0) {
        char message[64];
        std::snprintf(message, sizeof message, "Invalid image size: %d x %d", int(width),
                      int(height));
        setLastError(message);
        return nullptr;
    }
    const uint64_t stride = ((uint64_t(width) * bitCount + 31) / 32) * 4;
    const uint64_t imageSize = stride * uint64_t(height);
    if (int64_t(width) * int64_t(height) > kMaxPixels || imageSize > 0xFFFFFFFFull) {
        setTooLargeError(width, height);
        return nullptr;
    }

    const uint64_t colours = bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
    if (overDecodeBudget(40 + colours * 4 + imageSize)) return nullptr;

    header.size = 40;
    header.width = width;
    header.height = height;
    header.planes = 1;
    header.bitCount = uint16_t(bitCount);
    header.compression = 0;
    header.imageSize = uint32_t(imageSize);
    header.colorsUsed = uint32_t(colours);
    header.colorsImportant = 0;
    header.xPelsPerMeter = pelsPerMeter(info.xDpi);
    header.yPelsPerMeter = pelsPerMeter(info.yDpi);
    info.stride = uint32_t(stride);
    info.type = imageType;
    info.colorType = bitCount < 24 ? 1 : 2;

    // Zeroed so that a decoder stopping early never exposes stale heap bytes.
    adoptBlock(Buffer(static_cast<uint8_t*>(std::calloc(1, totalSize()))));
    if (!block_) {
        setLastError("Can't allocate memory");
        return nullptr;
    }
    std::memcpy(block_, &header, sizeof(header));
    info.pixels = block_ + 40 + paletteSize();
    return block_;
}

bool DibImage::overDecodeBudget(uint64_t pictureBytes) const {
    if (decodeBudget_ == UINT64_MAX) return false;
    if (pictureBytes <= decodeBudget_ && decodeReserved_ <= decodeBudget_ - pictureBytes)
        return false;
    setLastError(kDataTooShort);
    return true;
}

void DibImage::setDecodeBudget(uint64_t bytes) {
    decodeBudget_ = bytes;
    decodeReserved_ = 0;
}

bool DibImage::spendDecodeBudget(uint64_t bytes) {
    if (decodeBudget_ == UINT64_MAX) return true;
    uint64_t picture = block_ ? totalSize() : 0;
    if (alpha_) picture += uint64_t(header.width) * uint64_t(header.height);
    if (bytes > decodeBudget_ || overDecodeBudget(picture + bytes)) {
        setLastError(kDataTooShort);
        return false;
    }
    decodeReserved_ += bytes;
    return true;
}

void DibImage::refundDecodeBudget(uint64_t bytes) {
    decodeReserved_ = bytes < decodeReserved_ ? decodeReserved_ - bytes : 0;
}

void DibImage::destroy() {
    if (borrowsBlock()) return;
    releaseBuffers();
}

bool DibImage::copyFrom(const DibImage& source, bool copyPixels, bool copyAlpha) {
    if (this == &source) return true;
    if (!source.isValid()) {
        const ImageInfo sourceInfo = source.info;
        const BitmapInfoHeader sourceHeader = source.header;
        releaseBuffers();
        header = sourceHeader;
        info = sourceInfo;
        info.pixels = nullptr;
        info.owner = nullptr;
        return true;
    }
    // A copy into a block of this image's own of the same layout (the preview stages, refilled
    // at every change) reuses it: no allocation, no page faults, no zeroing first.
    const uint32_t bits = source.header.bitCount;
    const uint32_t standardColours = bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
    if (copyPixels && ownBlock_ && block_ == ownBlock_.get() && source.block_ != block_ &&
        !(copyAlpha && source.alpha_) && roundBitCount(bits) == bits &&
        source.header.colorsUsed == standardColours &&
        source.info.pixels == source.block_ + 40 + source.paletteSize() &&
        source.info.stride == ((uint64_t(source.header.width) * bits + 31) / 32) * 4 &&
        totalSize() == source.totalSize()) {
        std::memcpy(block_, source.block_, source.totalSize());
        ownAlpha_.reset();
        alpha_ = nullptr;
        header = source.header;
        info = source.info;
        info.owner = nullptr;
        info.pixels = block_ + 40 + paletteSize();
        if (info.colorType == 4) info.colorType = 2;
        return true;
    }
    // Built aside and moved in: the source may be a view of this very image.
    DibImage copy(source.info.type);
    copy.info = source.info;
    copy.info.owner = nullptr;  // a copy always owns its buffers
    copy.header = source.header;
    if (!copy.create(source.header.width, source.header.height, source.header.bitCount,
                     source.info.type)) {
        releaseBuffers();
        header = copy.header;
        info = copy.info;
        return false;
    }
    copy.header = source.header;
    copy.info.colorType = source.info.colorType;
    if (copyPixels) {
        std::memcpy(copy.block_, source.block_, copy.totalSize());
    } else {
        const uint32_t n = std::min({copy.header.colorsUsed, source.header.colorsUsed, 256u});
        if (n) std::memcpy(copy.paletteBase(), source.paletteBase(), size_t(n) * 4);
    }
    if (copyAlpha && source.alpha_) {
        const size_t n = size_t(copy.header.width) * size_t(copy.header.height);
        copy.adoptAlpha(Buffer(static_cast<uint8_t*>(std::malloc(n))));
        if (copy.alpha_) std::memcpy(copy.alpha_, source.alpha_, n);
    } else if (copy.info.colorType == 4) {
        copy.info.colorType = 2;
    }
    transfer(copy);
    return true;
}

void DibImage::transfer(DibImage& source) {
    if (this == &source) return;
    Buffer block = std::move(source.ownBlock_);
    Buffer alpha = std::move(source.ownAlpha_);
    uint8_t* const shownBlock = source.block_;
    uint8_t* const shownAlpha = source.alpha_;
    // The source may be a view of this very image: what it shows of ours stays ours.
    if (!block && shownBlock && shownBlock == ownBlock_.get()) block = std::move(ownBlock_);
    if (!alpha && shownAlpha && shownAlpha == ownAlpha_.get()) alpha = std::move(ownAlpha_);
    const BitmapInfoHeader sourceHeader = source.header;
    const ImageInfo sourceInfo = source.info;
    releaseBuffers();
    header = sourceHeader;
    info = sourceInfo;
    ownBlock_ = std::move(block);
    ownAlpha_ = std::move(alpha);
    block_ = shownBlock;
    alpha_ = shownAlpha;
    if (ownBlock_ || info.owner == this) info.owner = nullptr;

    source.header = BitmapInfoHeader{};
    source.info = ImageInfo{};
    source.block_ = nullptr;
    source.alpha_ = nullptr;
}

void DibImage::borrow(DibImage& source) {
    if (this == &source) return;
    releaseBuffers();
    header = source.header;
    info = source.info;
    block_ = source.block_;
    alpha_ = source.alpha_;
    info.owner = &source;
}

RgbQuad* DibImage::paletteBase() const {
    if (!block_ || header.colorsUsed == 0) return nullptr;
    return reinterpret_cast<RgbQuad*>(block_ + 40);
}

void DibImage::setXDpi(int32_t dpi) {
    info.xDpi = dpi;
    header.xPelsPerMeter = pelsPerMeter(dpi);
    if (block_ && !borrowsBlock()) std::memcpy(block_ + 24, &header.xPelsPerMeter, 4);
}

void DibImage::setYDpi(int32_t dpi) {
    info.yDpi = dpi;
    header.yPelsPerMeter = pelsPerMeter(dpi);
    if (block_ && !borrowsBlock()) std::memcpy(block_ + 28, &header.yPelsPerMeter, 4);
}

uint8_t DibImage::getPixelIndex(int32_t x, int32_t y) const {
    if (!block_ || header.colorsUsed == 0) return 0;
    if (!isInside(x, y)) return info.backgroundIndex != -1 ? uint8_t(info.backgroundIndex) : 0;
    const uint8_t* r = row(y);
    switch (header.bitCount) {
        case 8:
            return r[x];
        case 4:
            return (x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4);
        case 1:
            return (r[x >> 3] >> (7 - (x & 7))) & 1;
        default:
            return 0;
    }
}

void DibImage::setPixelIndex(int32_t x, int32_t y, uint8_t index) {
    if (!block_ || header.colorsUsed == 0 || !isInside(x, y)) return;
    uint8_t* r = row(y);
    switch (header.bitCount) {
        case 8:
            r[x] = index;
            break;
        case 4: {
            uint8_t& b = r[x >> 1];
            b = (x & 1) ? uint8_t((b & 0xF0) | (index & 0x0F))
                        : uint8_t((b & 0x0F) | ((index & 0x0F) << 4));
            break;
        }
        case 1: {
            const uint8_t mask = uint8_t(0x80 >> (x & 7));
            uint8_t& b = r[x >> 3];
            b = (index & 1) ? uint8_t(b | mask) : uint8_t(b & ~mask);
            break;
        }
        default:
            break;
    }
}

RgbQuad DibImage::getPixelColor(int32_t x, int32_t y) const {
    if (!isInside(x, y)) {
        if (block_ && info.backgroundIndex != -1 && header.colorsUsed)
            return getPaletteColor(uint32_t(info.backgroundIndex));
        return info.backgroundColour;
    }
    if (header.colorsUsed) return getPaletteColor(getPixelIndex(x, y));
    const uint8_t* p = row(y) + size_t(x) * 3;
    return RgbQuad{p[0], p[1], p[2], info.backgroundColour.reserved};
}

void DibImage::setPixelColor(int32_t x, int32_t y, RgbQuad colour) {
    if (!isInside(x, y)) return;
    if (header.colorsUsed) {
        setPixelIndex(x, y, nearestIndex(colour));
        return;
    }
    uint8_t* p = row(y) + size_t(x) * 3;
    p[0] = colour.blue;
    p[1] = colour.green;
    p[2] = colour.red;
}

bool DibImage::writeColoursInto(DibImage& out) const {
    if (!isValid() || !out.isValid() || out.bitCount() != 24 || out.header.colorsUsed != 0 ||
        out.width() != width() || out.height() != height())
        return false;
    const size_t bytes = size_t(width()) * 3;
    if (!header.colorsUsed) {
        for (int32_t y = 0; y < height(); ++y) std::memcpy(out.row(y), row(y), bytes);
        return true;
    }
    RgbQuad colours[256];
    for (uint32_t i = 0; i < 256; ++i) colours[i] = getPaletteColor(i);
    std::vector<uint8_t> indices(static_cast<size_t>(width()));
    for (int32_t y = 0; y < height(); ++y) {
        index_rows::unpack(row(y), bitCount(), width(), indices.data());
        uint8_t* q = out.row(y);
        for (const uint8_t i : indices) {
            *q++ = colours[i].blue;
            *q++ = colours[i].green;
            *q++ = colours[i].red;
        }
    }
    return true;
}

RgbQuad DibImage::getPaletteColor(uint32_t index) const {
    index &= 0xFF;
    RgbQuad* pal = paletteBase();
    if (!pal || index >= header.colorsUsed) return RgbQuad{};
    return pal[index];
}

void DibImage::setPaletteColor(uint32_t index, RgbQuad colour) {
    index &= 0xFF;
    RgbQuad* pal = paletteBase();
    if (!pal || index >= header.colorsUsed) return;
    pal[index] = colour;
}

void DibImage::setPaletteColor(uint32_t index, uint8_t red, uint8_t green, uint8_t blue,
                               uint8_t fourth) {
    setPaletteColor(index, RgbQuad{blue, green, red, fourth});
}

void DibImage::setPaletteFromQuads(const RgbQuad* quads, uint32_t count) {
    RgbQuad* pal = paletteBase();
    if (!pal || !quads) return;
    std::memcpy(pal, quads, std::min<size_t>(size_t(count) * 4, paletteSize()));
}

void DibImage::setPaletteFromTriples(const uint8_t* rgbTriples, uint32_t count) {
    RgbQuad* pal = paletteBase();
    if (!pal || !rgbTriples) return;
    const uint32_t n = std::min(count, header.colorsUsed);
    for (uint32_t i = 0; i < n; ++i)
        pal[i] = RgbQuad{rgbTriples[3 * i + 2], rgbTriples[3 * i + 1], rgbTriples[3 * i], 0};
}

void DibImage::setPaletteFromArrays(uint32_t count, const uint8_t* red, const uint8_t* green,
                                    const uint8_t* blue) {
    RgbQuad* pal = paletteBase();
    if (!pal || !red) return;
    if (!green) green = red;
    if (!blue) blue = green;
    const uint32_t n = std::min(count, header.colorsUsed);
    for (uint32_t i = 0; i < n; ++i) pal[i] = RgbQuad{blue[i], green[i], red[i], 0};
}

void DibImage::setGrayPalette() {
    RgbQuad* pal = paletteBase();
    if (!pal || header.colorsUsed < 2) return;
    const uint32_t step = 255 / (header.colorsUsed - 1);
    for (uint32_t i = 0; i < header.colorsUsed; ++i) {
        const uint8_t v = uint8_t(i * step);
        pal[i] = RgbQuad{v, v, v, 0};
    }
}

bool DibImage::isGrayScale() const {
    const RgbQuad* pal = paletteBase();
    if (!pal) return false;
    for (uint32_t i = 0; i < header.colorsUsed; ++i)
        if (pal[i].blue != i || pal[i].green != i || pal[i].red != i) return false;
    return true;
}

uint8_t DibImage::nearestIndex(RgbQuad colour) const {
    const RgbQuad* pal = paletteBase();
    if (!pal) return 0;
    int32_t best = 200000;
    uint32_t bestIndex = 0;
    for (uint32_t i = 0; i < header.colorsUsed; ++i) {
        const int32_t dr = int32_t(pal[i].red) - colour.red;
        const int32_t dg = int32_t(pal[i].green) - colour.green;
        const int32_t db = int32_t(pal[i].blue) - colour.blue;
        const int32_t d = dr * dr + dg * dg + db * db;
        if (d == 0) return uint8_t(i);
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return uint8_t(bestIndex);
}

void DibImage::swapIndex(uint8_t a, uint8_t b) {
    RgbQuad* pal = paletteBase();
    if (!pal || a == b) return;
    if (a < header.colorsUsed && b < header.colorsUsed) std::swap(pal[a], pal[b]);
    if (header.bitCount == 8) {
        for (int32_t y = 0; y < header.height; ++y) {
            uint8_t* r = row(y);
            for (int32_t x = 0; x < header.width; ++x) {
                if (r[x] == a)
                    r[x] = b;
                else if (r[x] == b)
                    r[x] = a;
            }
        }
        return;
    }
    for (int32_t y = 0; y < header.height; ++y) {
        for (int32_t x = 0; x < header.width; ++x) {
            const uint8_t v = getPixelIndex(x, y);
            if (v == a)
                setPixelIndex(x, y, b);
            else if (v == b)
                setPixelIndex(x, y, a);
        }
    }
}

void DibImage::swapRedBlue(uint8_t* buffer, uint32_t length) const {
    if (!buffer || header.colorsUsed || header.bitCount != 24) return;
    const uint32_t n = std::min(length, info.stride);
    for (uint32_t i = 0; i + 2 < n; i += 3) std::swap(buffer[i], buffer[i + 2]);
}

RgbQuad DibImage::transparentColor() const {
    if (header.bitCount < 24 && info.backgroundIndex != -1)
        return getPaletteColor(uint32_t(info.backgroundIndex));
    return info.backgroundColour;
}

bool DibImage::hasPaletteAlpha() const {
    const RgbQuad* pal = paletteBase();
    if (!pal) return false;
    for (uint32_t i = 0; i < header.colorsUsed; ++i)
        if (pal[i].reserved) return true;
    return false;
}

// On a borrowed view the alpha operations below replace only what the view shows: the
// source's plane is never freed or reallocated.
uint8_t* DibImage::alphaCreate() {
    if (!block_) return nullptr;
    const uint64_t alphaBytes = uint64_t(header.width) * uint64_t(header.height);
    if (!alpha_ && overDecodeBudget(totalSize() + alphaBytes)) return nullptr;
    ownAlpha_.reset();
    alpha_ = nullptr;
    adoptAlpha(Buffer(
        static_cast<uint8_t*>(std::calloc(1, size_t(header.width) * size_t(header.height)))));
    if (alpha_ && header.bitCount == 24) info.colorType = 4;
    return alpha_;
}

void DibImage::alphaDelete() {
    ownAlpha_.reset();
    alpha_ = nullptr;
    if (header.bitCount == 24) info.colorType = 2;
}

void DibImage::alphaClear() {
    alphaFill(0);
}

void DibImage::alphaFill(uint8_t value) {
    if (alpha_) std::memset(alpha_, value, size_t(header.width) * size_t(header.height));
}

uint8_t DibImage::alphaGet(int32_t x, int32_t y) const {
    if (!alpha_ || !isInside(x, y)) return 0;
    return alpha_[size_t(y) * size_t(header.width) + size_t(x)];
}

void DibImage::alphaSet(int32_t x, int32_t y, uint8_t value) {
    if (!alpha_ || !isInside(x, y)) return;
    alpha_[size_t(y) * size_t(header.width) + size_t(x)] = value;
}

bool DibImage::alphaCopyFrom(const DibImage& source) {
    // Both sides must match: a plane of another height would be read past its end.
    if (!block_ || !source.alpha_ || source.header.width != header.width ||
        source.header.height != header.height)
        return false;
    const size_t n = size_t(header.width) * size_t(header.height);
    if (!alpha_ && !alphaCreate()) return false;
    std::memcpy(alpha_, source.alpha_, n);
    info.alphaMax = source.info.alphaMax;
    return true;
}

bool DibImage::alphaFlip() {
    if (!alpha_) return false;
    const size_t w = size_t(header.width), h = size_t(header.height);
    Buffer out(static_cast<uint8_t*>(std::malloc(w * h)));
    if (!out) return false;
    for (size_t y = 0; y < h; ++y) std::memcpy(out.get() + y * w, alpha_ + (h - 1 - y) * w, w);
    adoptAlpha(std::move(out));
    return true;
}

bool DibImage::alphaMirror() {
    if (!alpha_) return false;
    const size_t w = size_t(header.width), h = size_t(header.height);
    Buffer out(static_cast<uint8_t*>(std::malloc(w * h)));
    if (!out) return false;
    for (size_t y = 0; y < h; ++y)
        std::reverse_copy(alpha_ + y * w, alpha_ + (y + 1) * w, out.get() + y * w);
    adoptAlpha(std::move(out));
    return true;
}

// --- painting ---

bool DibImage::draw(Surface* surface, int32_t x, int32_t y, int32_t w, int32_t h) const {
    if (!block_ || !surface || w == 0 || h == 0) return false;
    const int32_t W = header.width, H = header.height;
    if (w < 0) w = W;
    if (h < 0) h = H;
    const bool paletted = header.colorsUsed != 0;
    const SurfaceRect area = SurfaceRect{x, y, x + w, y + h}.intersect(surface->clipBox());
    if (area.isEmpty()) return true;

    const bool sameSize = (w == W && h == H);
    const bool transparentIndex = info.backgroundIndex != -1;
    const bool paletteAlpha = paletted && info.alphaPaletteEnabled;
    const bool opaque = !transparentIndex && !alpha_ && !info.alphaPaletteEnabled;
    const RgbQuad transparent = transparentColor();
    const float fx = float(W) / float(w);
    const float fy = float(H) / float(h);

    for (int32_t py = area.top; py < area.bottom; ++py) {
        const int32_t r = py - y;
        int32_t srcRow;  // picture row counted from the top
        if (sameSize) {
            srcRow = r;
        } else {
            srcRow = int32_t(std::ceil(float(r + 1) * fy)) - 1;
            srcRow = std::clamp(srcRow, 0, H - 1);
        }
        const int32_t sy = H - 1 - srcRow;
        uint8_t* out = surface->scanLine(py) + size_t(area.left) * 3;
        for (int32_t px = area.left; px < area.right; ++px, out += 3) {
            const int32_t c = px - x;
            int32_t sx = sameSize ? c : int32_t(std::floor(float(c) * fx));
            sx = std::clamp(sx, 0, W - 1);
            const RgbQuad s = getPixelColor(sx, sy);
            if (opaque) {
                out[0] = s.blue;
                out[1] = s.green;
                out[2] = s.red;
                continue;
            }
            int32_t a = alpha_ ? alpha_[size_t(sy) * size_t(W) + size_t(sx)] : 255;
            a = a * (info.alphaMax + 1) / 256;
            if (paletteAlpha) a = a * (s.reserved + 1) / 256;
            if (a == 0 || (transparentIndex && s == transparent)) continue;
            if (a == 255) {
                out[0] = s.blue;
                out[1] = s.green;
                out[2] = s.red;
            } else {
                out[0] = uint8_t((s.blue * a + out[0] * (255 - a)) / 256);
                out[1] = uint8_t((s.green * a + out[1] * (255 - a)) / 256);
                out[2] = uint8_t((s.red * a + out[2] * (255 - a)) / 256);
            }
        }
    }
    return true;
}

void DibImage::paint(Surface* surface, int32_t w, int32_t h) const {
    if (!block_ || !surface) return;
    const int32_t W = header.width, H = header.height;
    if (w < 0) w = W;
    if (h < 0) h = H;
    // Device row d shows picture row h - 1 - d counted from the bottom, as a bottom-up bitmap
    // handed over from its lower-left corner does.
    const SurfaceRect area = SurfaceRect{0, 0, std::min(w, W), h}.intersect(surface->clipBox());
    for (int32_t py = area.top; py < area.bottom; ++py) {
        const int32_t sy = h - 1 - py;
        if (sy < 0 || sy >= H) continue;
        uint8_t* out = surface->scanLine(py) + size_t(area.left) * 3;
        if (header.bitCount == 24) {
            std::memcpy(out, row(sy) + size_t(area.left) * 3, size_t(area.right - area.left) * 3);
            continue;
        }
        for (int32_t px = area.left; px < area.right; ++px, out += 3) {
            const RgbQuad s = getPaletteColor(getPixelIndex(px, sy));
            out[0] = s.blue;
            out[1] = s.green;
            out[2] = s.red;
        }
    }
}
