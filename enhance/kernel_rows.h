// The blur and sharpen kernels of the corrections, run over a 24-bit picture row by row and
// in place, several passes chained, with exactly applyKernel's result.
#pragma once

#include <cstdint>

#include "image/dib_image.h"

namespace kernel_rows {

enum class Kind { kBlur, kSharpen };

// passes runs of the blur (all cells 1, divisor 9) or sharpen (cells -1, centre 15,
// divisor 7) kernel, neighbours outside the picture reading its background colour. Only
// for 24-bit pictures; false (and nothing done) for any other.
bool run(DibImage& image, Kind kind, int64_t passes);

}  // namespace kernel_rows
