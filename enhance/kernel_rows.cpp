// Blur and sharpen passes streamed through small row rings: each pass keeps the three rows
// it reads (widened by one border pixel), passes feed each other, and the last writes back
// into the picture rows its first pass has already copied. Sums are separable (three rows,
// then three pixels), and the divisions by 7 and 9 are exact multiply-shifts in their range.
#include "enhance/kernel_rows.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kernel_rows {

namespace {

// floor(x / 7) for 0 <= x <= 3825 and floor(x / 9) for 0 <= x <= 2295, as (x * m) >> 16:
// the error x * (m * d - 65536) / (d * 65536) stays below 1/d there.
constexpr int32_t kBy7 = 9363;
constexpr int32_t kBy9 = 7282;

// At most this many passes share one sweep, so the rings stay small.
constexpr int kMaxChained = 8;

class Pass {
  public:
    Pass(int32_t width, const uint8_t border[3], Kind kind)
        : kind_(kind), n_(size_t(width) * 3), out_(n_) {
        const size_t length = n_ + 6;
        borderRow_.resize(length);
        for (size_t i = 0; i < length; i += 3) std::memcpy(&borderRow_[i], border, 3);
        // Before the first row, the row above the picture is all border.
        for (auto& r : ring_) r = borderRow_;
        vertical_.resize(length);
    }

    // Where input row r (the count_-th) goes: slot (r + 1) % 3, past its border pixel.
    uint8_t* nextSlot() { return ring_[(count_ + 1) % 3].data() + 3; }
    // The slot is filled; true once an output row can be made (rows r - 2 .. r present).
    bool pushed() { return ++count_ >= 2; }
    // After the last row: the row below the picture, all border.
    void pushBorder() {
        std::memcpy(ring_[(count_ + 1) % 3].data(), borderRow_.data(), borderRow_.size());
        ++count_;
    }

    // The output row for the middle one of the last three input rows.
    const uint8_t* make() {
        const uint8_t* a = ring_[(count_ + 1) % 3].data();
        const uint8_t* b = ring_[(count_ + 2) % 3].data();
        const uint8_t* c = ring_[count_ % 3].data();
        uint16_t* v = vertical_.data();
        uint8_t* out = out_.data();
        const size_t length = n_ + 6;
        for (size_t i = 0; i < length; ++i) v[i] = uint16_t(a[i] + b[i] + c[i]);
        size_t j = 0;
#if defined(__SSE2__)
        // Eight 16-bit lanes at a time: sums below 2^12, quotients by unsigned high multiplies,
        // the clamp to 255 by the saturating pack.
        const __m128i zero = _mm_setzero_si128();
        const __m128i by7 = _mm_set1_epi16(int16_t(kBy7));
        const __m128i by9 = _mm_set1_epi16(int16_t(kBy9));
        const auto at = [](const uint16_t* p) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        };
        for (; j + 8 <= n_; j += 8) {
            const __m128i sum =
                _mm_add_epi16(_mm_add_epi16(at(v + j), at(v + j + 3)), at(v + j + 6));
            __m128i q;
            if (kind_ == Kind::kBlur) {
                q = _mm_mulhi_epu16(sum, by9);
            } else {
                const __m128i centre = _mm_unpacklo_epi8(
                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + j + 3)), zero);
                const __m128i d =
                    _mm_max_epi16(_mm_sub_epi16(_mm_slli_epi16(centre, 4), sum), zero);
                q = _mm_mulhi_epu16(d, by7);
            }
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(q, zero));
        }
#endif
        if (kind_ == Kind::kBlur) {
            for (; j < n_; ++j) {
                const int32_t s = v[j] + v[j + 3] + v[j + 6];
                out[j] = uint8_t((s * kBy9) >> 16);
            }
        } else {
            for (; j < n_; ++j) {
                const int32_t s = 16 * int32_t(b[j + 3]) - (v[j] + v[j + 3] + v[j + 6]);
                const int32_t q = (std::max(s, 0) * kBy7) >> 16;
                out[j] = uint8_t(std::min(q, 255));
            }
        }
        return out;
    }

  private:
    Kind kind_;
    size_t n_;
    std::vector<uint8_t> ring_[3];
    std::vector<uint8_t> borderRow_;
    std::vector<uint16_t> vertical_;
    std::vector<uint8_t> out_;
    int64_t count_ = 0;
};

// One sweep of `chained` passes over the picture.
void sweep(DibImage& image, Kind kind, int chained, const uint8_t border[3]) {
    const int32_t W = image.width(), H = image.height();
    const size_t n = size_t(W) * 3;
    std::vector<Pass> passes;
    passes.reserve(size_t(chained));
    for (int i = 0; i < chained; ++i) passes.emplace_back(W, border, kind);
    int32_t written = 0;  // the next picture row the last pass writes

    // Hands an output row of pass p to pass p + 1, or into the picture after the last pass.
    // A picture row is written only after the first pass has copied every row it needs.
    const auto deliver = [&](int p, const uint8_t* row) {
        for (;;) {
            if (p + 1 == chained) {
                std::memcpy(image.row(written++), row, n);
                return;
            }
            Pass& next = passes[size_t(++p)];
            std::memcpy(next.nextSlot(), row, n);
            if (!next.pushed()) return;
            row = next.make();
        }
    };
    for (int32_t y = 0; y < H; ++y) {
        std::memcpy(passes[0].nextSlot(), image.row(y), n);
        if (passes[0].pushed()) deliver(0, passes[0].make());
    }
    // Each pass makes its last row against the border below, in order.
    for (int p = 0; p < chained; ++p) {
        passes[size_t(p)].pushBorder();
        deliver(p, passes[size_t(p)].make());
    }
}

}  // namespace

bool run(DibImage& image, Kind kind, int64_t passes) {
    if (!image.isValid() || image.bitCount() != 24 || image.header.colorsUsed != 0) return false;
    const RgbQuad bg = image.getPixelColor(-1, -1);
    const uint8_t border[3] = {bg.blue, bg.green, bg.red};
    while (passes > 0) {
        const int chained = int(std::min<int64_t>(passes, kMaxChained));
        sweep(image, kind, chained, border);
        passes -= chained;
    }
    return true;
}

}  // namespace kernel_rows
