// Area averaging of a 24-bit picture shrinking in both directions (the smooth mode of
// DibImage::resampleFrom), made output row by output row from the top of the picture down.
// Each output row needs only the source rows under it, so the work can follow a decoder
// that delivers rows from the top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/dib_image.h"

class AreaShrink {
  public:
    // Whether resampleFrom(source, newWidth, newHeight, 0) averages areas.
    static bool applies(const DibImage& source, int32_t newWidth, int32_t newHeight) {
        return source.bitCount() == 24 && newWidth > 0 && newHeight > 0 &&
               newWidth < source.width() && newHeight < source.height();
    }
    // Fills target (already made, 24-bit, zeroed, and smaller than the source both ways) from
    // the W x H source rows at pixels + y * stride, row 0 at the bottom.
    AreaShrink(const uint8_t* pixels, size_t stride, int32_t W, int32_t H, DibImage& target);

    // Makes every output row not yet made whose source rows all lie at or above row lowest
    // (counted from the bottom). True once all are made.
    bool advance(int32_t lowest);

  private:
    template <bool kStraddle, bool kInside>
    void weigh(const uint8_t* straddle, int64_t g);
    void fold();
    void put(int32_t outY);
    const uint8_t* row(int32_t y) const { return pixels_ + size_t(y) * stride_; }

    const uint8_t* pixels_;
    size_t stride_;
    int32_t W_, H_;
    DibImage& target_;
    int64_t divisor_;
    double inverse_;
    // Output column k takes the whole pixels [from_[k], cutX_[k]) and the share 1000 - cutF_[k]
    // of the straddling pixel cutX_[k]; the next column takes the rest of it. Column cuts_
    // takes [from_[cuts_], W).
    std::vector<int32_t> cutX_, cutF_, from_;
    size_t cuts_ = 0;
    // Output row j ends at source row straddleY_[j], of which g_[j] thousandths belong to
    // row j + 1. Rows past the last straddle (a float drift) close with the picture.
    std::vector<int32_t> straddleY_, g_;
    int32_t next_ = -1;  // the output row made next, counting down
    bool started_ = false;
    // What the output row being made has from the straddling row above it, and what the
    // row below gets from the straddling row under it.
    std::vector<int64_t> upper_, lower_, totals_;
    std::vector<uint32_t> colSums_;
    std::vector<uint64_t> colRuns_, rowRuns_;
    uint32_t pending_ = 0;  // rows summed in colSums_, not yet weighed
};
