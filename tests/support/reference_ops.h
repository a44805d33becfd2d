// Plain per-pixel versions of the pixel operations, through getPixelColor/setPixelColor and
// friends, as each operation is defined. Tests compare the fast operations with them.
#pragma once

#include <cstdint>

#include "image/dib_image.h"

namespace reference_ops {

bool adjustLight(DibImage& img, int brightness, int contrastPercent);
bool colorize(DibImage& img, uint8_t hue, uint8_t saturation);
bool grayScale(DibImage& img);
bool tone(DibImage& img);
bool negative(DibImage& img);
bool splitChannels(const DibImage& img, DibImage* red, DibImage* green, DibImage* blue);
bool mix(DibImage& img, const DibImage& source, int operation, int32_t offsetX, int32_t offsetY);

bool applyKernel(DibImage& img, const int32_t* kernel, int32_t size, int32_t divisor,
                 int32_t offset);

bool rotateLeft(DibImage& img, DibImage* target = nullptr);
bool rotateRight(DibImage& img, DibImage* target = nullptr);
bool flip(DibImage& img);
bool mirror(DibImage& img);

// Accumulators of the area-averaging path. Narrow32 keeps them in 32 bits that wrap, as a
// plain 32-bit implementation does, to show where that goes wrong.
enum class AreaAccumulator { Wide64, Narrow32 };
bool resample(DibImage& img, int32_t newWidth, int32_t newHeight, int mode,
              AreaAccumulator accumulator = AreaAccumulator::Wide64);

}  // namespace reference_ops
