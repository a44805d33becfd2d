// The square convolution behind sharpen, blur and soften. Rows are widened with the border
// colour so every tap reads plain memory; the 3-channel sums run 16 bytes at a time.
#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/dib_image.h"
#include "image/index_rows.h"

namespace {

struct Tap {
    int32_t row;   // kernel row: source row y + row - h
    int32_t byte;  // byte offset in the widened row: 3 x kernel column
    int32_t coef;
};

// Source rows widened by h pixels on the left and size - h - 1 on the right, the extra
// pixels (and rows above and below the picture) holding the colour getPixelColor gives
// outside. Rows are made once each and kept in a ring as long as a kernel reaches them.
class WidenedRows {
  public:
    WidenedRows(const DibImage& img, int32_t size)
        : img_(img), size_(size), h_(size / 2), W_(img.width()) {
        // 16 spare bytes: the vector loop may read a little past the last tap.
        length_ = (size_t(W_) + size_t(size) - 1) * 3 + 16;
        ring_.assign(size_t(size) * length_, 0);
        ringRow_.assign(size_t(size), INT32_MIN);
        const RgbQuad bg = img.getPixelColor(-1, -1);
        outside_.resize(length_);
        for (size_t i = 0; i + 3 <= length_ - 16; i += 3) {
            outside_[i] = bg.blue;
            outside_[i + 1] = bg.green;
            outside_[i + 2] = bg.red;
        }
        if (img.header.colorsUsed) indices_.resize(size_t(W_));
    }

    // The widened source row y (any y; outside the picture it is all border colour).
    const uint8_t* get(int32_t y) {
        if (y < 0 || y >= img_.height()) return outside_.data();
        const size_t slot = size_t(y % size_);
        uint8_t* r = ring_.data() + slot * length_;
        if (ringRow_[slot] == y) return r;
        ringRow_[slot] = y;
        std::memcpy(r, outside_.data(), length_);
        uint8_t* p = r + size_t(h_) * 3;
        if (!img_.header.colorsUsed) {
            std::memcpy(p, img_.row(y), size_t(W_) * 3);
        } else {
            index_rows::unpack(img_.row(y), img_.bitCount(), W_, indices_.data());
            const RgbQuad* pal = img_.paletteBase();
            for (int32_t x = 0; x < W_; ++x, p += 3) {
                const RgbQuad c = pal[indices_[size_t(x)]];
                p[0] = c.blue;
                p[1] = c.green;
                p[2] = c.red;
            }
        }
        return r;
    }

  private:
    const DibImage& img_;
    int32_t size_, h_, W_;
    size_t length_ = 0;
    std::vector<uint8_t> ring_, outside_, indices_;
    std::vector<int32_t> ringRow_;
};

uint8_t finish(int64_t sum, int32_t divisor, int32_t offset) {
    const int64_t v = divisor ? offset + sum / divisor : offset + sum;
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

// One output row of n bytes, any kernel: 64-bit sums.
void convolveRowPlain(const std::vector<Tap>& taps, const uint8_t* const* rows, size_t n,
                      int32_t divisor, int32_t offset, uint8_t* out) {
    for (size_t i = 0; i < n; ++i) {
        int64_t sum = 0;
        for (const Tap& t : taps) sum += int64_t(t.coef) * rows[t.row][i + size_t(t.byte)];
        out[i] = finish(sum, divisor, offset);
    }
}

#if defined(__SSE2__)
// One output row of n bytes for kernels whose sums stay below 2^24 in magnitude: taps in
// pairs through 16-bit multiply-adds into 32-bit sums. The quotient is taken in float, which
// is exact here: below 2^24 the float quotient never rounds across an integer.
void convolveRowVector(const std::vector<Tap>& taps, const uint8_t* const* rows, size_t n,
                       int32_t divisor, int32_t offset, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 fdiv = _mm_set1_ps(float(divisor));
    const bool divide = divisor != 0 && divisor != 1;
    const __m128i off = _mm_set1_epi32(offset);
    const size_t pairs = (taps.size() + 1) / 2;
    for (size_t i = 0; i < n; i += 16) {
        __m128i s0 = zero, s1 = zero, s2 = zero, s3 = zero;
        for (size_t p = 0; p < pairs; ++p) {
            const Tap& a = taps[2 * p];
            const bool single = 2 * p + 1 == taps.size();
            const Tap& b = single ? a : taps[2 * p + 1];
            const __m128i va =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[a.row] + i + a.byte));
            const __m128i vb =
                single
                    ? zero
                    : _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[b.row] + i + b.byte));
            // Coefficient of a in the low half of each 32-bit lane, of b in the high half.
            const uint32_t ka = uint16_t(int16_t(a.coef));
            const uint32_t kb = single ? 0u : uint16_t(int16_t(b.coef));
            const __m128i k = _mm_set1_epi32(int32_t(ka | kb << 16));
            const __m128i lo = _mm_unpacklo_epi8(va, vb), hi = _mm_unpackhi_epi8(va, vb);
            s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), k));
            s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), k));
            s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), k));
            s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), k));
        }
        if (divide) {
            s0 = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(s0), fdiv));
            s1 = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(s1), fdiv));
            s2 = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(s2), fdiv));
            s3 = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(s3), fdiv));
        }
        s0 = _mm_add_epi32(s0, off);
        s1 = _mm_add_epi32(s1, off);
        s2 = _mm_add_epi32(s2, off);
        s3 = _mm_add_epi32(s3, off);
        // Saturating packs clamp to 0..255.
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(s0, s1), _mm_packs_epi32(s2, s3));
        if (i + 16 <= n) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
        } else {
            alignas(16) uint8_t last[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(last), bytes);
            std::memcpy(out + i, last, n - i);
        }
    }
}
#endif

}  // namespace

bool DibImage::applyKernel(const int32_t* kernel, int32_t size, int32_t divisor, int32_t offset) {
    if (!isValid()) return false;
    if (!kernel && size > 0) return false;
    DibImage tmp(*this, false, true);
    if (!tmp.isValid()) return false;
    const int32_t W = width(), H = height();
    const bool paletted = header.colorsUsed != 0;
    const int32_t h = size > 0 ? size / 2 : 0;

    // The taps that count, and the largest sum they can make.
    std::vector<Tap> taps;
    int64_t reach = 0;
    for (int32_t j = 0; j < std::max(size, 0); ++j)
        for (int32_t i = 0; i < size; ++i) {
            const int32_t k = kernel[size_t(j) * size_t(size) + size_t(i)];
            if (!k) continue;
            taps.push_back(Tap{j, 3 * i, k});
            reach += 255 * (k < 0 ? -int64_t(k) : int64_t(k));
        }

    // Widening keeps size rows of width + size pixels; for absurdly large kernels (or
    // widths) that would not fit, the taps are read one by one instead.
    const bool widen =
        size <= 1024 &&
        uint64_t(std::max(size, 1)) * ((uint64_t(W) + uint64_t(std::max(size, 1))) * 3 + 16) <=
            (uint64_t(1) << 29);
    bool vector = false;
#if defined(__SSE2__)
    vector = widen && reach < (int64_t(1) << 24);
    for (const Tap& t : taps) vector = vector && t.coef >= -32768 && t.coef <= 32767;
#endif
    // With |sum / divisor| < 2^24 an offset beyond 2^25 already decides every channel;
    // clamping it keeps the 32-bit lanes from wrapping.
    const int32_t laneOffset = std::clamp(offset, -(1 << 25), 1 << 25);

    std::unique_ptr<WidenedRows> widened;
    if (widen) widened = std::make_unique<WidenedRows>(*this, std::max(size, 1));
    std::vector<const uint8_t*> rows(size_t(std::max(size, 1)));
    std::vector<uint8_t> colours(size_t(W) * 3), outIndices(paletted ? size_t(W) : 0);
    std::unordered_map<uint32_t, uint8_t> nearest;
    const size_t n = size_t(W) * 3;

    for (int32_t y = 0; y < H; ++y) {
        uint8_t* out = paletted ? colours.data() : tmp.row(y);
        if (widen) {
            for (int32_t j = 0; j < size; ++j) rows[size_t(j)] = widened->get(y + j - h);
#if defined(__SSE2__)
            if (vector)
                convolveRowVector(taps, rows.data(), n, divisor, laneOffset, out);
            else
#endif
                convolveRowPlain(taps, rows.data(), n, divisor, offset, out);
        } else {
            for (int32_t x = 0; x < W; ++x) {
                int64_t sum[3] = {0, 0, 0};
                for (const Tap& t : taps) {
                    const RgbQuad c = getPixelColor(x + t.byte / 3 - h, y + t.row - h);
                    sum[0] += int64_t(t.coef) * c.blue;
                    sum[1] += int64_t(t.coef) * c.green;
                    sum[2] += int64_t(t.coef) * c.red;
                }
                for (int c = 0; c < 3; ++c)
                    out[size_t(x) * 3 + c] = finish(sum[c], divisor, offset);
            }
        }
        if (paletted) {
            // A paletted result takes the nearest palette entry of each colour.
            for (int32_t x = 0; x < W; ++x) {
                const uint8_t* c = colours.data() + size_t(x) * 3;
                const RgbQuad q{c[0], c[1], c[2], 0};
                auto it = nearest.find(q.toValue());
                if (it == nearest.end()) it = nearest.emplace(q.toValue(), nearestIndex(q)).first;
                outIndices[size_t(x)] = it->second;
            }
            index_rows::pack(outIndices.data(), tmp.bitCount(), W, tmp.row(y));
        }
    }
    transfer(tmp);
    return true;
}
