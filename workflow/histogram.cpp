// Counting the colours of the shown picture; one pass over the planes, as a repaint makes.
#include "workflow/histogram.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

class Counter {
  public:
    explicit Counter(Histogram& h) : h_(h) {}
    void add(uint32_t r, uint32_t g, uint32_t b) {
        ++h_.red[r];
        ++h_.green[g];
        ++h_.blue[b];
        // The weights sum to 65536, so a grey's luma is its own value.
        ++h_.luminance[(r * 19595 + g * 38470 + b * 7471 + 32768) >> 16];
        // min == 0 or max == 255 without branches on the common, unclipped pixel.
        h_.clippedShadows += (r == 0) | (g == 0) | (b == 0);
        h_.clippedHighlights += (r == 255) | (g == 255) | (b == 255);
    }

  private:
    Histogram& h_;
};

bool isPlane(const DibImage& plane, int32_t w, int32_t h) {
    return plane.isValid() && plane.bitCount() == 8 && plane.header.colorsUsed == 256 &&
           plane.width() == w && plane.height() == h;
}

}  // namespace

uint32_t Histogram::peak() const {
    uint32_t most = 0;
    for (const Counts* c : {&red, &green, &blue, &luminance})
        most = std::max(most, *std::max_element(c->begin(), c->end()));
    return most;
}

Histogram planesHistogram(const PhotoEdit& photo) {
    Histogram h;
    const DibImage &R = photo.redPlane, &G = photo.greenPlane, &B = photo.bluePlane;
    const int32_t W = R.width(), H = R.height();
    if (W <= 0 || H <= 0 || G.width() != W || G.height() != H || B.width() != W || B.height() != H)
        return h;
    Counter count(h);
    h.pixels = uint64_t(W) * uint64_t(H);
    if (isPlane(R, W, H) && isPlane(G, W, H) && isPlane(B, W, H)) {
        // The three palettes packed as the views pack them: one OR per pixel.
        uint32_t packed[3][256];
        const DibImage* planes[3] = {&R, &G, &B};
        for (int p = 0; p < 3; ++p) {
            const RgbQuad* pal = planes[p]->paletteBase();
            for (int i = 0; i < 256; ++i)
                packed[p][i] = uint32_t(pal[i].red) | uint32_t(pal[i].green) << 8 |
                               uint32_t(pal[i].blue) << 16;
        }
        for (int32_t y = 0; y < H; ++y) {
            const uint8_t *r = R.row(y), *g = G.row(y), *b = B.row(y);
            for (int32_t x = 0; x < W; ++x) {
                const uint32_t c = packed[0][r[x]] | packed[1][g[x]] | packed[2][b[x]];
                count.add(c & 0xff, c >> 8 & 0xff, c >> 16);
            }
        }
        return h;
    }
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const RgbQuad a = R.getPixelColor(x, y), b = G.getPixelColor(x, y),
                          c = B.getPixelColor(x, y);
            count.add(a.red | b.red | c.red, a.green | b.green | c.green, a.blue | b.blue | c.blue);
        }
    return h;
}

Histogram pictureHistogram(const DibImage& picture) {
    Histogram h;
    if (!picture.isValid()) return h;
    Counter count(h);
    h.pixels = uint64_t(picture.width()) * uint64_t(picture.height());
    for (int32_t y = 0; y < picture.height(); ++y)
        for (int32_t x = 0; x < picture.width(); ++x) {
            const RgbQuad c = picture.getPixelColor(x, y);
            count.add(c.red, c.green, c.blue);
        }
    return h;
}

std::string clippedText(const Histogram& histogram) {
    char text[96];
    std::snprintf(text, sizeof text, "shadows clipped %.1f %%   highlights clipped %.1f %%",
                  100.0 * histogram.shadowShare(), 100.0 * histogram.highlightShare());
    return text;
}
