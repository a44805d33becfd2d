// The histogram of the enhanced result: red, green, blue and luminance counts of the picture
// the enhanced view shows, and the shares of its pixels clipped in shadows and highlights.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "enhance/photo_edit.h"

struct Histogram {
    static constexpr int kBins = 256;
    using Counts = std::array<uint32_t, kBins>;
    Counts red{};
    Counts green{};
    Counts blue{};
    // Rec. 601 luma in 16-bit fixed point, (19595 R + 38470 G + 7471 B + 32768) >> 16.
    Counts luminance{};
    uint64_t pixels = 0;
    // Pixels with some channel at 0 (shadows) or at 255 (highlights).
    uint64_t clippedShadows = 0;
    uint64_t clippedHighlights = 0;

    // The clipped pixels as a share of all, 0 to 1 (0 without pixels).
    double shadowShare() const { return pixels ? double(clippedShadows) / double(pixels) : 0; }
    double highlightShare() const {
        return pixels ? double(clippedHighlights) / double(pixels) : 0;
    }
    // The largest count of the four, for scaling a drawing.
    uint32_t peak() const;
    friend bool operator==(const Histogram&, const Histogram&) = default;
};

// Of the three planes OR-ed together, as the views paint them; empty without planes.
Histogram planesHistogram(const PhotoEdit& photo);
// Of a picture (any depth), for comparison and for pictures without planes.
Histogram pictureHistogram(const DibImage& picture);

// "shadows clipped 1.2 %   highlights clipped 0.0 %".
std::string clippedText(const Histogram& histogram);
