// Area averaging, in thousandths of a pixel. Every source pixel lends each output pixel it
// overlaps its share of the overlap; only the pixels that straddle both a column and a row
// boundary have their four shares truncated, each by itself. All other sums are exact
// integers, so the order in which rows are added does not change the result. The float
// boundaries are sums and differences only, with nothing a compiler could fuse.
#include "image/area_shrink.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

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

// Running sums of a row of byte triples (or of 32-bit column sums): sums[3 * i + c] is the
// sum of channel c over the first i pixels, so a run of whole pixels costs one subtraction
// instead of a loop whose length varies from column to column.
template <class T>
void prefixSums(const T* values, size_t pixels, uint64_t* sums) {
    uint64_t a = 0, b = 0, c = 0;
    sums[0] = sums[1] = sums[2] = 0;
    for (size_t i = 0; i < pixels; ++i) {
        sums[3 * i + 3] = a += values[3 * i];
        sums[3 * i + 4] = b += values[3 * i + 1];
        sums[3 * i + 5] = c += values[3 * i + 2];
    }
}

}  // namespace

AreaShrink::AreaShrink(const uint8_t* pixels, size_t stride, int32_t W, int32_t H, DibImage& target)
    : pixels_(pixels), stride_(stride), W_(W), H_(H), target_(target) {
    const int32_t nw = target.width(), nh = target.height();
    const float fx = float(W) / float(nw), fy = float(H) / float(nh);
    divisor_ = std::max<int64_t>(1, int64_t(fx * fy * 1000));
    // Rounded up, so the product with a sum never falls below the quotient; for sums below
    // 2^50 it cannot reach the next whole number either (the quotient is at least
    // 1 / divisor below it). Area sums stay below 2^48.
    inverse_ = std::nextafter(1.0 / double(divisor_), std::numeric_limits<double>::max());

    // The boundaries are float sums and can drift; a drift past the last column or row must
    // not open one beyond it.
    from_.push_back(0);
    float bx = fx - 1;
    for (int32_t x = 0; x < W && int32_t(cutX_.size()) < nw; ++x) {
        if (float(x) >= bx) {
            cutX_.push_back(x);
            cutF_.push_back(int32_t((float(x) - bx) * 1000));
            from_.push_back(x + 1);
            bx += fx;
        }
    }
    cuts_ = cutX_.size();
    float by = fy - 1;
    for (int32_t y = 0; y < H && int32_t(straddleY_.size()) < nh; ++y) {
        if (float(y) >= by) {
            straddleY_.push_back(y);
            g_.push_back(int32_t((float(y) - by) * 1000));
            by += fy;
        }
    }
    // Output rows past the one the picture closes stay as made (zero).
    next_ = std::min(int32_t(straddleY_.size()), nh - 1);

    const size_t n = size_t(W) * 3;
    upper_.assign(3 * (size_t(nw) + 1), 0);
    lower_.assign(upper_.size(), 0);
    totals_.assign(upper_.size(), 0);
    colSums_.assign(n, 0);
    colRuns_.resize(n + 3);
    rowRuns_.resize(n + 3);
}

// Completes the output row being made: what it has from above, the rows wholly inside it
// (kInside), and the row straddling its lower edge (kStraddle), g thousandths of which are
// its own and the rest the share of the row below.
template <bool kStraddle, bool kInside>
void AreaShrink::weigh(const uint8_t* straddle, int64_t g) {
    const size_t tail = size_t(from_[cuts_]) * 3, end = size_t(W_) * 3;
    if constexpr (kStraddle) prefixSums(straddle, size_t(W_), rowRuns_.data());
    if constexpr (kInside) prefixSums(colSums_.data(), size_t(W_), colRuns_.data());
    const uint64_t* __restrict rr = rowRuns_.data();
    const uint64_t* __restrict cr = colRuns_.data();
    const uint32_t* __restrict cs = colSums_.data();
    const int64_t* __restrict above = upper_.data();
    int64_t* __restrict below = lower_.data();
    int64_t* __restrict totals = totals_.data();
    const uint32_t g32 = uint32_t(g);
    // Shares handed on to column k + 1: of this output row and of the one below.
    int64_t right[3] = {0, 0, 0}, rightBelow[3] = {0, 0, 0};
    for (size_t k = 0; k < cuts_; ++k) {
        const size_t xs = size_t(cutX_[k]) * 3, x = size_t(from_[k]) * 3;
        const uint32_t f = uint32_t(cutF_[k]);
        for (int c = 0; c < 3; ++c) {
            int64_t sum = above[k * 3 + c] + right[c];
            right[c] = 0;
            if constexpr (kInside) {
                const int64_t w = cs[xs + c];
                sum += 1000 * int64_t(cr[xs + c] - cr[x + c]) + (1000 - int64_t(f)) * w;
                right[c] = int64_t(f) * w;
            }
            if constexpr (kStraddle) {
                // The straddling pixel's four shares: v * share / 1000 with v <= 255 and
                // share <= 10^6 fits 32 bits.
                const int64_t s = int64_t(rr[xs + c] - rr[x + c]);
                const uint32_t v = straddle[xs + c];
                sum += g * s + v * ((1000 - f) * g32) / 1000;
                right[c] += v * (g32 * f) / 1000;
                below[k * 3 + c] =
                    rightBelow[c] + (1000 - g) * s + v * ((1000 - g32) * (1000 - f)) / 1000;
                rightBelow[c] = v * ((1000 - g32) * f) / 1000;
            }
            totals[k * 3 + c] = sum;
        }
    }
    for (int c = 0; c < 3; ++c) {
        int64_t sum = above[cuts_ * 3 + c] + right[c];
        if constexpr (kInside) sum += 1000 * int64_t(cr[end + c] - cr[tail + c]);
        if constexpr (kStraddle) {
            const int64_t s = int64_t(rr[end + c] - rr[tail + c]);
            sum += g * s;
            below[cuts_ * 3 + c] = rightBelow[c] + (1000 - g) * s;
        }
        totals[cuts_ * 3 + c] = sum;
    }
}

// Weighs the summed rows into what the output row has from above (2^24 rows of 255 would
// overflow the 32-bit column sums).
void AreaShrink::fold() {
    prefixSums(colSums_.data(), size_t(W_), colRuns_.data());
    for (size_t k = 0; k < cuts_; ++k) {
        const size_t xs = size_t(cutX_[k]) * 3, x = size_t(from_[k]) * 3;
        const int64_t f = cutF_[k];
        for (int c = 0; c < 3; ++c) {
            const int64_t w = colSums_[xs + c];
            upper_[k * 3 + c] +=
                1000 * int64_t(colRuns_[xs + c] - colRuns_[x + c]) + (1000 - f) * w;
            upper_[(k + 1) * 3 + c] += f * w;
        }
    }
    const size_t tail = size_t(from_[cuts_]) * 3, end = size_t(W_) * 3;
    for (int c = 0; c < 3; ++c)
        upper_[cuts_ * 3 + c] += 1000 * int64_t(colRuns_[end + c] - colRuns_[tail + c]);
    std::fill(colSums_.begin(), colSums_.end(), 0u);
    pending_ = 0;
}

// floor(total / divisor) capped at 255. Columns past a drifted last boundary stay as made.
void AreaShrink::put(int32_t outY) {
    uint8_t* out = target_.row(outY);
    const size_t n = std::min(cuts_ + 1, size_t(target_.width())) * 3;
    for (size_t i = 0; i < n; ++i) {
        const int64_t sum = totals_[i];
        const int64_t q =
            sum < (int64_t(1) << 50) ? int64_t(double(sum) * inverse_) : sum / divisor_;
        out[i] = uint8_t(std::min<int64_t>(q, 255));
    }
}

bool AreaShrink::advance(int32_t lowest) {
    const int32_t closed = int32_t(straddleY_.size());
    while (next_ >= 0) {
        const int32_t j = next_;
        const int32_t bottom = j > 0 ? straddleY_[size_t(j) - 1] : 0;
        if (lowest > bottom) return false;
        if (!started_) {
            started_ = true;
            // The top output row closes at a straddling row: its share of that row first.
            if (j < closed) {
                weigh<true, false>(row(straddleY_[size_t(j)]), g_[size_t(j)]);
                std::swap(upper_, lower_);
            }
        }
        const int32_t top = j < closed ? straddleY_[size_t(j)] : H_;
        for (int32_t y = j > 0 ? bottom + 1 : 0; y < top; ++y) {
            addRow(colSums_.data(), row(y), size_t(W_) * 3);
            if (++pending_ == (1u << 24)) fold();
        }
        if (j > 0) {
            const uint8_t* straddle = row(bottom);
            const int64_t g = g_[size_t(j) - 1];
            if (pending_)
                weigh<true, true>(straddle, g);
            else
                weigh<true, false>(straddle, g);
        } else if (pending_) {
            weigh<false, true>(nullptr, 0);
        } else {
            weigh<false, false>(nullptr, 0);
        }
        put(j);
        if (pending_) {
            std::fill(colSums_.begin(), colSums_.end(), 0u);
            pending_ = 0;
        }
        std::swap(upper_, lower_);
        --next_;
    }
    return true;
}
