// Geometry: quarter turns, resampling (nearest pixel, bilinear, area averaging), flip and
// mirror. Each works on whole rows or tiles and gives exactly the per-pixel result.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "image/area_shrink.h"
#include "image/dib_image.h"
#include "image/index_rows.h"

// The float arithmetic below must round every product by itself, as plain SSE code does; a
// compiler targeting FMA must not fuse a * b + c into one operation.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace {

// The result of a geometry operation starts as a copy of the info block (DPI, background,
// type, ...) with the same depth and palette; only the size differs.
bool makeResult(const DibImage& self, DibImage& result, int32_t width, int32_t height) {
    result.info = self.info;
    result.info.owner = nullptr;
    result.info.pixels = nullptr;
    if (!result.create(width, height, self.bitCount(), self.type())) return false;
    const uint32_t n = std::min(self.header.colorsUsed, 256u);
    if (n) std::memcpy(result.paletteBase(), self.paletteBase(), size_t(n) * 4);
    return true;
}

// All pixels of a paletted image as one byte each, rows of width bytes.
std::vector<uint8_t> unpackAll(const DibImage& img) {
    const int32_t W = img.width(), H = img.height();
    std::vector<uint8_t> out(size_t(W) * size_t(H));
    for (int32_t y = 0; y < H; ++y)
        index_rows::unpack(img.row(y), img.bitCount(), W, out.data() + size_t(y) * W);
    return out;
}

// --- quarter turns ---

// Turns a W x H raster of P-byte pixels into an H x W one, in tiles small enough that the
// source rows of a tile stay in the cache while its columns are read.
template <int P>
void turnPixels(const uint8_t* src, size_t srcStride, int32_t W, int32_t H, uint8_t* dst,
                size_t dstStride, bool right) {
    constexpr int32_t kTile = 64;
    for (int32_t y0 = 0; y0 < W; y0 += kTile) {
        const int32_t y1 = std::min(y0 + kTile, W);
        for (int32_t x0 = 0; x0 < H; x0 += kTile) {
            const int32_t x1 = std::min(x0 + kTile, H);
            for (int32_t y = y0; y < y1; ++y) {
                uint8_t* out = dst + size_t(y) * dstStride + size_t(x0) * P;
                if (right) {
                    // New (x, y) is old (W - 1 - y, x): walk down an old column.
                    const uint8_t* in = src + size_t(W - 1 - y) * P + size_t(x0) * srcStride;
                    for (int32_t x = x0; x < x1; ++x, out += P, in += srcStride)
                        for (int c = 0; c < P; ++c) out[c] = in[c];
                } else {
                    // New (x, y) is old (y, H - 1 - x): walk up an old column.
                    const uint8_t* in = src + size_t(y) * P + size_t(H - 1 - x0) * srcStride;
                    for (int32_t x = x0; x < x1; ++x, out += P, in -= srcStride)
                        for (int c = 0; c < P; ++c) out[c] = in[c];
                }
            }
        }
    }
}

bool turn(DibImage& self, DibImage* target, bool right) {
    if (!self.isValid()) return false;
    const int32_t W = self.width(), H = self.height();
    DibImage tmp;
    if (!makeResult(self, tmp, H, W)) return false;
    switch (self.bitCount()) {
        case 24:
            turnPixels<3>(self.pixels(), self.stride(), W, H, tmp.pixels(), tmp.stride(), right);
            break;
        case 8:
            turnPixels<1>(self.pixels(), self.stride(), W, H, tmp.pixels(), tmp.stride(), right);
            break;
        default: {
            const std::vector<uint8_t> in = unpackAll(self);
            std::vector<uint8_t> out(in.size());
            turnPixels<1>(in.data(), size_t(W), W, H, out.data(), size_t(H), right);
            for (int32_t y = 0; y < W; ++y)
                index_rows::pack(out.data() + size_t(y) * H, tmp.bitCount(), H, tmp.row(y));
            break;
        }
    }
    if (self.hasAlpha() && tmp.alphaCreate())
        turnPixels<1>(self.alphaPlane(), size_t(W), W, H, tmp.alphaPlane(), size_t(H), right);
    (target ? *target : self).transfer(tmp);
    return true;
}

// --- resampling ---

// nearestIndex of each colour met, remembered: the palette does not change while a result
// is written, so the answer depends on the colour alone.
class NearestCache {
  public:
    explicit NearestCache(const DibImage& img) : img_(img) {}
    uint8_t operator()(RgbQuad c) {
        const uint32_t key = c.toValue() & 0x00FFFFFF;
        auto it = map_.find(key);
        if (it != map_.end()) return it->second;
        const uint8_t index = img_.nearestIndex(c);
        map_.emplace(key, index);
        return index;
    }

  private:
    const DibImage& img_;
    std::unordered_map<uint32_t, uint8_t> map_;
};

// Source row y as blue, green, red bytes: the pixel row itself for 24 bits, else the
// palette colours of its indices (written into buffer).
const uint8_t* colourRow(const DibImage& img, int32_t y, std::vector<uint8_t>& indices,
                         std::vector<uint8_t>& buffer) {
    if (img.bitCount() == 24) return img.row(y);
    const int32_t W = img.width();
    index_rows::unpack(img.row(y), img.bitCount(), W, indices.data());
    for (int32_t x = 0; x < W; ++x) {
        const RgbQuad c = img.getPaletteColor(indices[size_t(x)]);
        buffer[size_t(x) * 3] = c.blue;
        buffer[size_t(x) * 3 + 1] = c.green;
        buffer[size_t(x) * 3 + 2] = c.red;
    }
    return buffer.data();
}

void resampleNearest(const DibImage& src, DibImage& dst, float fx, float fy) {
    const int32_t W = src.width(), H = src.height();
    const int32_t nw = dst.width(), nh = dst.height();
    std::vector<int32_t> sxs(static_cast<size_t>(nw));
    for (int32_t x = 0; x < nw; ++x) sxs[size_t(x)] = int32_t(float(x) * fx);
    // A position that rounds past the edge reads what getPixelColor gives outside.
    const RgbQuad outside = src.getPixelColor(-1, -1);

    if (src.bitCount() == 24) {
        for (int32_t y = 0; y < nh; ++y) {
            const int32_t sy = int32_t(float(y) * fy);
            uint8_t* out = dst.row(y);
            const uint8_t* in = sy < H ? src.row(sy) : nullptr;
            for (int32_t x = 0; x < nw; ++x, out += 3) {
                const int32_t sx = sxs[size_t(x)];
                if (in && sx < W) {
                    const uint8_t* p = in + size_t(sx) * 3;
                    out[0] = p[0];
                    out[1] = p[1];
                    out[2] = p[2];
                } else {
                    out[0] = outside.blue;
                    out[1] = outside.green;
                    out[2] = outside.red;
                }
            }
        }
    } else {
        // Copying a colour through setPixelColor stores the first palette entry of that
        // colour, which is not always the index it came from.
        uint8_t map[256];
        for (uint32_t i = 0; i < 256; ++i) map[i] = dst.nearestIndex(src.getPaletteColor(i));
        const uint8_t outsideIndex = dst.nearestIndex(outside);
        std::vector<uint8_t> in(static_cast<size_t>(W)), out(static_cast<size_t>(nw));
        int32_t loaded = -1;
        for (int32_t y = 0; y < nh; ++y) {
            const int32_t sy = int32_t(float(y) * fy);
            if (sy < H && sy != loaded) {
                index_rows::unpack(src.row(sy), src.bitCount(), W, in.data());
                loaded = sy;
            }
            for (int32_t x = 0; x < nw; ++x) {
                const int32_t sx = sxs[size_t(x)];
                out[size_t(x)] = (sy < H && sx < W) ? map[in[size_t(sx)]] : outsideIndex;
            }
            index_rows::pack(out.data(), dst.bitCount(), nw, dst.row(y));
        }
    }
}

void resampleBilinear(const DibImage& src, DibImage& dst, float fx, float fy) {
    const int32_t W = src.width(), H = src.height();
    const int32_t nw = dst.width(), nh = dst.height();
    // Per output column: the two source columns (byte offsets) and their weights.
    std::vector<int32_t> c0(static_cast<size_t>(nw)), c1(static_cast<size_t>(nw));
    std::vector<float> wx0(static_cast<size_t>(nw)), wx1(static_cast<size_t>(nw));
    for (int32_t x = 0; x < nw; ++x) {
        const float sx = float(x) * fx;
        const int32_t x0 = int32_t(sx);
        const float dx = sx - float(x0);
        const int32_t a = std::min(x0, W - 1);
        c0[size_t(x)] = a * 3;
        c1[size_t(x)] = std::min(a + 1, W - 1) * 3;
        wx0[size_t(x)] = 1.0f - dx;
        wx1[size_t(x)] = dx;
    }
    // The vertical blend of a source column is the same for both output columns that use
    // it, so it is formed once per output row for every source byte.
    std::vector<float> blend(size_t(W) * 3);
    std::vector<uint8_t> idx0(static_cast<size_t>(W)), idx1(static_cast<size_t>(W));
    std::vector<uint8_t> buf0(size_t(W) * 3), buf1(size_t(W) * 3);
    std::vector<uint8_t> outIdx(static_cast<size_t>(nw));
    NearestCache nearest(dst);
    const bool paletted = src.bitCount() != 24;

    for (int32_t y = 0; y < nh; ++y) {
        const float sy = float(y) * fy;
        const int32_t y0 = int32_t(sy);
        const float dy = sy - float(y0);
        const int32_t a = std::min(y0, H - 1);
        const uint8_t* r0 = colourRow(src, a, idx0, buf0);
        const uint8_t* r1 = colourRow(src, std::min(a + 1, H - 1), idx1, buf1);
        const float wy0 = 1.0f - dy, wy1 = dy;
        const size_t n = size_t(W) * 3;
        for (size_t i = 0; i < n; ++i) blend[i] = wy0 * float(r0[i]) + wy1 * float(r1[i]);

        uint8_t* out = dst.row(y);
        for (int32_t x = 0; x < nw; ++x) {
            const float* left = blend.data() + c0[size_t(x)];
            const float* right = blend.data() + c1[size_t(x)];
            const float w0 = wx0[size_t(x)], w1 = wx1[size_t(x)];
            uint8_t v[3];
            for (int c = 0; c < 3; ++c) {
                const int32_t value = int32_t(w0 * left[c] + w1 * right[c]);
                v[c] = uint8_t(std::clamp(value, 0, 255));
            }
            if (paletted) {
                outIdx[size_t(x)] = nearest(RgbQuad{v[0], v[1], v[2], 0});
            } else {
                out[size_t(x) * 3] = v[0];
                out[size_t(x) * 3 + 1] = v[1];
                out[size_t(x) * 3 + 2] = v[2];
            }
        }
        if (paletted) index_rows::pack(outIdx.data(), dst.bitCount(), nw, out);
    }
}

}  // namespace

bool DibImage::rotateLeft(DibImage* target) {
    return turn(*this, target, false);
}

bool DibImage::rotateRight(DibImage* target) {
    return turn(*this, target, true);
}

bool DibImage::resample(int32_t newWidth, int32_t newHeight, int mode) {
    return resampleFrom(*this, newWidth, newHeight, mode);
}

bool DibImage::resampleFrom(const DibImage& source, int32_t newWidth, int32_t newHeight, int mode,
                            const DibImage* made) {
    // Negative sizes are refused like zero ones instead of emptying the image.
    if (!source.isValid() || newWidth <= 0 || newHeight <= 0) return false;
    const int32_t W = source.width(), H = source.height();
    const float fx = float(W) / float(newWidth);
    const float fy = float(H) / float(newHeight);
    DibImage tmp;
    if (!makeResult(source, tmp, newWidth, newHeight)) return false;

    if (mode != 0) {
        resampleNearest(source, tmp, fx, fy);
    } else if (AreaShrink::applies(source, newWidth, newHeight)) {
        if (made && made->width() == newWidth && made->height() == newHeight &&
            made->bitCount() == 24) {
            for (int32_t y = 0; y < newHeight; ++y)
                std::memcpy(tmp.row(y), made->row(y), size_t(newWidth) * 3);
        } else {
            AreaShrink(source.pixels(), source.stride(), W, H, tmp).advance(0);
        }
    } else
        resampleBilinear(source, tmp, fx, fy);

    if (source.hasAlpha() && tmp.alphaCreate()) {
        uint8_t* out = tmp.alphaPlane();
        for (int32_t y = 0; y < newHeight; ++y) {
            const int32_t sy = int32_t(float(y) * fy);
            for (int32_t x = 0; x < newWidth; ++x)
                *out++ = source.alphaGet(int32_t(float(x) * fx), sy);
        }
    }
    transfer(tmp);
    return true;
}

namespace {

// Reverses the pixels of one row in place.
void reverseRow(uint8_t* r, int32_t W, uint32_t bitCount, std::vector<uint8_t>& indices) {
    if (bitCount == 24) {
        uint8_t* a = r;
        uint8_t* b = r + size_t(W - 1) * 3;
        for (; a < b; a += 3, b -= 3) {
            std::swap(a[0], b[0]);
            std::swap(a[1], b[1]);
            std::swap(a[2], b[2]);
        }
    } else if (bitCount == 8) {
        std::reverse(r, r + W);
    } else {
        // Packing writes the spare bits of the last byte as zero, as a fresh row has them.
        index_rows::unpack(r, bitCount, W, indices.data());
        std::reverse(indices.begin(), indices.end());
        index_rows::pack(indices.data(), bitCount, W, r);
    }
}

}  // namespace

// flip and mirror give the same bytes as a result built in a new image, but work in place:
// the new buffer would cost more than the copying. A borrowed view must not change the
// image it shows, so it gets a buffer of its own as before.
bool DibImage::flip() {
    if (!isValid()) return false;
    const int32_t H = height();
    if (!borrowsBlock()) {
        std::vector<uint8_t> spare(stride());
        for (int32_t y = 0; y < H / 2; ++y) {
            std::memcpy(spare.data(), row(y), stride());
            std::memcpy(row(y), row(H - 1 - y), stride());
            std::memcpy(row(H - 1 - y), spare.data(), stride());
        }
        alphaFlip();
        return true;
    }
    DibImage tmp(*this, false, true);
    if (!tmp.isValid()) return false;
    for (int32_t y = 0; y < H; ++y) std::memcpy(tmp.row(y), row(H - 1 - y), stride());
    tmp.alphaFlip();
    transfer(tmp);
    return true;
}

bool DibImage::mirror() {
    if (!isValid()) return false;
    const int32_t W = width(), H = height();
    std::vector<uint8_t> indices(bitCount() < 8 ? size_t(W) : 0);
    if (!borrowsBlock()) {
        // A new buffer would have zero row padding; so must this one.
        const uint32_t used = index_rows::usedBytes(bitCount(), W);
        for (int32_t y = 0; y < H; ++y) {
            reverseRow(row(y), W, bitCount(), indices);
            std::memset(row(y) + used, 0, stride() - used);
        }
        alphaMirror();
        return true;
    }
    DibImage tmp(*this, false, true);
    if (!tmp.isValid()) return false;
    for (int32_t y = 0; y < H; ++y) {
        std::memcpy(tmp.row(y), row(y), index_rows::usedBytes(bitCount(), W));
        reverseRow(tmp.row(y), W, bitCount(), indices);
    }
    tmp.alphaMirror();
    transfer(tmp);
    return true;
}
