// Geometry: quarter turns, resampling (nearest pixel, bilinear, area averaging), flip and
// mirror. Each works on whole rows or tiles and gives exactly the per-pixel result.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Adds a row of bytes into 32-bit column sums.
void addRow(uint32_t* sums, const uint8_t* row, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
        __m128i* s = reinterpret_cast<__m128i*>(sums + i);
        _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), _mm_unpacklo_epi16(lo, zero)));
        _mm_storeu_si128(s + 1,
                         _mm_add_epi32(_mm_loadu_si128(s + 1), _mm_unpackhi_epi16(lo, zero)));
        _mm_storeu_si128(s + 2,
                         _mm_add_epi32(_mm_loadu_si128(s + 2), _mm_unpacklo_epi16(hi, zero)));
        _mm_storeu_si128(s + 3,
                         _mm_add_epi32(_mm_loadu_si128(s + 3), _mm_unpackhi_epi16(hi, zero)));
    }
#endif
    for (; i < n; ++i) sums[i] += row[i];
}

// Area averaging of a 24-bit picture shrinking in both directions, in thousandths of a
// pixel. The column boundaries are the same for every row, so they are found once. Rows that
// lie wholly inside one output row only add their pixels, and that is linear: such rows are
// summed per source column first and folded into the accumulators (with the same integer
// weights) when the output row is completed. Accumulators are 64-bit: a large reduction
// (more than about 90 x 90 source pixels per output pixel) overflows 32 bits.
void resampleArea(const DibImage& src, DibImage& dst, float fx, float fy) {
    const int32_t W = src.width(), H = src.height();
    const int32_t nw = dst.width(), nh = dst.height();
    const int64_t divisor = std::max<int64_t>(1, int64_t(fx * fy * 1000));

    // Straddling pixel of each output column and the share (thousandths) it gives to the
    // next column. The boundary is a float sum and can drift; a drift past the last column
    // must not open columns beyond it.
    std::vector<int32_t> cutX, cutF;
    float bx = fx - 1;
    for (int32_t x = 0; x < W && int32_t(cutX.size()) < nw; ++x) {
        if (float(x) >= bx) {
            cutX.push_back(x);
            cutF.push_back(int32_t((float(x) - bx) * 1000));
            bx += fx;
        }
    }
    const size_t cuts = cutX.size();

    std::vector<int64_t> accA(3 * (size_t(nw) + 1)), accB(accA.size());
    int64_t* cur = accA.data();
    int64_t* next = accB.data();
    std::vector<uint32_t> colSums(size_t(W) * 3);
    uint32_t pending = 0;  // rows summed in colSums, not yet folded

    auto fold = [&] {
        if (!pending) return;
        size_t x = 0;
        for (size_t k = 0; k < cuts; ++k) {
            const size_t xs = size_t(cutX[k]);
            const int64_t f = cutF[k];
            for (int c = 0; c < 3; ++c) {
                uint64_t s = 0;
                for (size_t i = x; i < xs; ++i) s += colSums[i * 3 + c];
                const int64_t v = colSums[xs * 3 + c];
                cur[k * 3 + c] += 1000 * int64_t(s) + (1000 - f) * v;
                cur[(k + 1) * 3 + c] += f * v;
            }
            x = xs + 1;
        }
        for (int c = 0; c < 3; ++c) {
            uint64_t s = 0;
            for (size_t i = x; i < size_t(W); ++i) s += colSums[i * 3 + c];
            cur[cuts * 3 + c] += 1000 * int64_t(s);
        }
        std::fill(colSums.begin(), colSums.end(), 0u);
        pending = 0;
    };
    // Every sum is non-negative, so a sum and a divisor that fit 32 bits (any reduction up to
    // about 4000 source pixels per output pixel) take the much cheaper 32-bit division.
    const bool narrowDivisor = divisor <= int64_t(UINT32_MAX);
    auto put = [&](int32_t outY, size_t k) {
        uint8_t* p = dst.row(outY) + k * 3;
        for (int c = 0; c < 3; ++c) {
            const int64_t sum = cur[k * 3 + c];
            const int64_t q = narrowDivisor && sum <= int64_t(UINT32_MAX)
                                  ? int64_t(uint32_t(sum) / uint32_t(divisor))
                                  : sum / divisor;
            p[c] = uint8_t(std::min<int64_t>(q, 255));
        }
    };
    // The straddling pixel's four shares of a straddling row, per output column: v * share
    // / 1000 with v <= 255 and share <= 10^6 fits 32 bits.
    std::vector<uint32_t> shares(cuts * 4);

    int32_t outY = 0;
    float by = fy - 1;
    for (int32_t y = 0; y < H && outY < nh; ++y) {
        const uint8_t* row = src.row(y);
        if (float(y) < by) {
            addRow(colSums.data(), row, size_t(W) * 3);
            // 2^24 rows of 255 still fit the 32-bit column sums.
            if (++pending == (1u << 24)) fold();
            continue;
        }
        // This row straddles two output rows: g thousandths of it belong to the next one.
        fold();
        const int64_t g = int32_t((float(y) - by) * 1000);
        for (size_t k = 0; k < cuts; ++k) {
            const uint32_t f = uint32_t(cutF[k]), g32 = uint32_t(g);
            uint32_t* share = shares.data() + k * 4;
            share[0] = (1000 - g32) * (1000 - f);
            share[1] = (1000 - f) * g32;
            share[2] = (1000 - g32) * f;
            share[3] = g32 * f;
        }
        size_t x = 0;
        for (size_t k = 0; k < cuts; ++k) {
            const size_t xs = size_t(cutX[k]);
            const uint32_t* share = shares.data() + k * 4;
            for (int c = 0; c < 3; ++c) {
                int64_t s = 0;
                for (size_t i = x; i < xs; ++i) s += row[i * 3 + c];
                cur[k * 3 + c] += (1000 - g) * s;
                next[k * 3 + c] += g * s;
                const uint32_t v = row[xs * 3 + c];
                cur[k * 3 + c] += v * share[0] / 1000;
                next[k * 3 + c] += v * share[1] / 1000;
                cur[(k + 1) * 3 + c] += v * share[2] / 1000;
                next[(k + 1) * 3 + c] = v * share[3] / 1000;
            }
            put(outY, k);
            x = xs + 1;
        }
        for (int c = 0; c < 3; ++c) {
            int64_t s = 0;
            for (size_t i = x; i < size_t(W); ++i) s += row[i * 3 + c];
            cur[cuts * 3 + c] += (1000 - g) * s;
            next[cuts * 3 + c] += g * s;
        }
        if (cuts < size_t(nw)) put(outY, cuts);
        std::swap(cur, next);
        next[0] = next[1] = next[2] = 0;
        ++outY;
        by += fy;
    }
    if (outY < nh) {
        fold();
        for (size_t k = 0; k < size_t(nw); ++k) put(outY, k);
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

bool DibImage::resampleFrom(const DibImage& source, int32_t newWidth, int32_t newHeight, int mode) {
    // Negative sizes are refused like zero ones instead of emptying the image.
    if (!source.isValid() || newWidth <= 0 || newHeight <= 0) return false;
    const int32_t W = source.width(), H = source.height();
    const float fx = float(W) / float(newWidth);
    const float fy = float(H) / float(newHeight);
    DibImage tmp;
    if (!makeResult(source, tmp, newWidth, newHeight)) return false;

    if (mode != 0)
        resampleNearest(source, tmp, fx, fy);
    else if (source.bitCount() == 24 && newWidth < W && newHeight < H)
        resampleArea(source, tmp, fx, fy);
    else
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
