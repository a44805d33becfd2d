// Plain per-pixel versions of the pixel operations, through getPixelColor/setPixelColor and
// friends, as each operation is defined. Tests compare the fast operations with them.
#include "support/reference_ops.h"

#include <algorithm>
#include <cstring>
#include <vector>

// The float arithmetic must round every product by itself, as plain SSE code does.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace reference_ops {

namespace {

uint8_t clampByte(int64_t v) {
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

// Truncation toward zero of a float, then clamped to 0..255 (clamped first so that huge
// values never reach the integer conversion).
uint8_t truncClamp(float v) {
    if (v >= 255.0f) return 255;
    if (v <= 0.0f) return 0;
    return uint8_t(int32_t(v));
}

bool paletted(const DibImage& img) {
    return img.header.colorsUsed != 0;
}

uint8_t grey(RgbQuad c) {
    return uint8_t((30 * c.red + 59 * c.green + 11 * c.blue) / 100);
}

// Size, depth, info block and palette of img; pixels left to the caller.
bool startResult(const DibImage& img, DibImage& tmp, int32_t width, int32_t height) {
    tmp.info = img.info;
    tmp.info.owner = nullptr;
    tmp.info.pixels = nullptr;
    if (!tmp.create(width, height, img.bitCount(), img.type())) return false;
    const uint32_t n = std::min(img.header.colorsUsed, 256u);
    for (uint32_t i = 0; i < n; ++i) tmp.setPaletteColor(i, img.getPaletteColor(i));
    return true;
}

}  // namespace

// --- point and colour operations ---

bool adjustLight(DibImage& img, int brightness, int contrastPercent) {
    if (!img.isValid()) return false;
    const float k = float(contrastPercent * 0.01);
    auto convert = [&](uint8_t c) { return truncClamp((c - 128) * k + brightness + 128); };
    auto convertColour = [&](RgbQuad c) {
        return RgbQuad{convert(c.blue), convert(c.green), convert(c.red), c.reserved};
    };
    if (paletted(img)) {
        for (uint32_t i = 0; i < img.header.colorsUsed; ++i)
            img.setPaletteColor(i, convertColour(img.getPaletteColor(i)));
        return true;
    }
    for (int32_t y = 0; y < img.height(); ++y)
        for (int32_t x = 0; x < img.width(); ++x)
            img.setPixelColor(x, y, convertColour(img.getPixelColor(x, y)));
    return true;
}

bool colorize(DibImage& img, uint8_t hueValue, uint8_t saturation) {
    if (!img.isValid()) return false;
    // The conversions themselves are checked against known values.
    auto convert = [&](RgbQuad c) {
        RgbQuad hsl = DibImage::rgbToHsl(c);
        hsl.red = hueValue;
        hsl.green = saturation;
        RgbQuad out = DibImage::hslToRgb(hsl);
        out.reserved = c.reserved;
        return out;
    };
    if (paletted(img)) {
        for (uint32_t i = 0; i < img.header.colorsUsed; ++i)
            img.setPaletteColor(i, convert(img.getPaletteColor(i)));
        return true;
    }
    for (int32_t y = 0; y < img.height(); ++y)
        for (int32_t x = 0; x < img.width(); ++x)
            img.setPixelColor(x, y, convert(img.getPixelColor(x, y)));
    return true;
}

bool grayScale(DibImage& img) {
    if (!img.isValid()) return false;
    const int32_t W = img.width(), H = img.height();
    if (!paletted(img)) {
        DibImage tmp;
        tmp.info = img.info;  // keeps DPI, quality and the other per-format values
        tmp.info.owner = nullptr;
        if (!tmp.create(W, H, 8, img.type())) return false;
        tmp.setGrayPalette();
        tmp.alphaCopyFrom(img);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) tmp.setPixelIndex(x, y, grey(img.getPixelColor(x, y)));
        // The transparent colour of a true-colour picture becomes the index of its grey.
        if (img.info.backgroundIndex != -1)
            tmp.info.backgroundIndex = grey(img.info.backgroundColour);
        img.transfer(tmp);
        return true;
    }
    for (uint32_t i = 0; i < img.header.colorsUsed; ++i) {
        RgbQuad e = img.getPaletteColor(i);
        e.blue = grey(e);
        img.setPaletteColor(i, e);
    }
    if (img.info.backgroundIndex != -1)
        img.info.backgroundIndex = img.getPaletteColor(uint32_t(img.info.backgroundIndex)).blue;
    if (img.bitCount() == 8) {
        uint8_t* p = img.pixels();
        for (uint32_t i = 0; i < img.header.imageSize; ++i) p[i] = img.getPaletteColor(p[i]).blue;
        img.setGrayPalette();
        return true;
    }
    DibImage tmp;
    tmp.info = img.info;
    tmp.info.owner = nullptr;
    if (!tmp.create(W, H, 8, img.type())) return false;
    tmp.setGrayPalette();
    tmp.alphaCopyFrom(img);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            tmp.setPixelIndex(x, y, img.getPaletteColor(img.getPixelIndex(x, y)).blue);
    img.transfer(tmp);
    return true;
}

bool tone(DibImage& img) {
    if (!img.isValid()) return false;
    if (paletted(img)) {
        for (uint32_t i = 0; i < img.header.colorsUsed; ++i) {
            RgbQuad e = img.getPaletteColor(i);
            const uint8_t v = e.blue;
            e.red = v;
            e.green = uint8_t(int(v * 0.85));
            e.blue = uint8_t(int(v * 0.75));
            img.setPaletteColor(i, e);
        }
        return true;
    }
    for (int32_t y = 0; y < img.height(); ++y)
        for (int32_t x = 0; x < img.width(); ++x) {
            const uint8_t g = grey(img.getPixelColor(x, y));
            img.setPixelColor(x, y, RgbQuad{g, g, g, 0});
        }
    return true;
}

bool negative(DibImage& img) {
    if (!img.isValid()) return false;
    if (!paletted(img)) {
        uint8_t* p = img.pixels();
        for (uint32_t i = 0; i < img.header.imageSize; ++i) p[i] = uint8_t(255 - p[i]);
        RgbQuad& bg = img.info.backgroundColour;
        bg.blue = uint8_t(255 - bg.blue);
        bg.green = uint8_t(255 - bg.green);
        bg.red = uint8_t(255 - bg.red);
        return true;
    }
    if (!img.isGrayScale()) {
        for (uint32_t i = 0; i < img.header.colorsUsed; ++i) {
            RgbQuad e = img.getPaletteColor(i);
            e.blue = uint8_t(255 - e.blue);
            e.green = uint8_t(255 - e.green);
            e.red = uint8_t(255 - e.red);
            img.setPaletteColor(i, e);
        }
        return true;
    }
    const int mask = (1 << img.bitCount()) - 1;
    for (int32_t y = 0; y < img.height(); ++y)
        for (int32_t x = 0; x < img.width(); ++x)
            img.setPixelIndex(x, y, uint8_t(mask - img.getPixelIndex(x, y)));
    // The transparent index follows its pixels.
    const int32_t bi = img.info.backgroundIndex;
    if (bi >= 0 && bi <= mask) img.info.backgroundIndex = mask - bi;
    return true;
}

bool splitChannels(const DibImage& img, DibImage* red, DibImage* green, DibImage* blue) {
    if (!img.isValid() || (!red && !green && !blue)) return false;
    const int32_t W = img.width(), H = img.height();
    DibImage planes[3];
    DibImage* targets[3] = {red, green, blue};
    for (int p = 0; p < 3; ++p) {
        if (!targets[p]) continue;
        if (!planes[p].create(W, H, 8, 0)) return false;
        for (uint32_t i = 0; i < 256; ++i) {
            const uint8_t v = uint8_t(i);
            planes[p].setPaletteColor(i, p == 0 ? v : 0, p == 1 ? v : 0, p == 2 ? v : 0, 0);
        }
    }
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const RgbQuad c = img.getPixelColor(x, y);
            if (red) planes[0].setPixelIndex(x, y, c.red);
            if (green) planes[1].setPixelIndex(x, y, c.green);
            if (blue) planes[2].setPixelIndex(x, y, c.blue);
        }
    for (int p = 0; p < 3; ++p)
        if (targets[p]) targets[p]->transfer(planes[p]);
    return true;
}

bool mix(DibImage& img, const DibImage& source, int operation, int32_t offsetX, int32_t offsetY) {
    if (!img.isValid() || operation != 3) return false;
    // Mixing an image into itself reads the picture as it was before.
    DibImage snapshot;
    const DibImage* src = &source;
    if (&source == &img) {
        snapshot.copyFrom(img, true, true);
        src = &snapshot;
    }
    const int64_t w = std::min<int64_t>(img.width(), int64_t(src->width()) - offsetX);
    const int64_t h = std::min<int64_t>(img.height(), int64_t(src->height()) - offsetY);
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            const int64_t sx = offsetX + x, sy = offsetY + y;
            if (!img.isInside(int32_t(x), int32_t(y)) || !src->isInside(int32_t(sx), int32_t(sy)))
                continue;
            const RgbQuad a = img.getPixelColor(int32_t(x), int32_t(y));
            const RgbQuad b = src->getPixelColor(int32_t(sx), int32_t(sy));
            img.setPixelColor(int32_t(x), int32_t(y),
                              RgbQuad{uint8_t(a.blue | b.blue), uint8_t(a.green | b.green),
                                      uint8_t(a.red | b.red), uint8_t(a.reserved | b.reserved)});
        }
    return true;
}

// --- neighbourhood filter ---

bool applyKernel(DibImage& img, const int32_t* kernel, int32_t size, int32_t divisor,
                 int32_t offset) {
    if (!img.isValid()) return false;
    if (!kernel && size > 0) return false;
    const int32_t h = size / 2, e = size - h;
    DibImage tmp(img, false, true);
    for (int32_t y = 0; y < img.height(); ++y)
        for (int32_t x = 0; x < img.width(); ++x) {
            int64_t sum[3] = {0, 0, 0};
            for (int32_t j = -h; j <= e - 1; ++j)
                for (int32_t i = -h; i <= e - 1; ++i) {
                    const int64_t k = kernel[size_t(j + h) * size_t(size) + size_t(i + h)];
                    const RgbQuad c = img.getPixelColor(x + i, y + j);
                    sum[0] += k * c.blue;
                    sum[1] += k * c.green;
                    sum[2] += k * c.red;
                }
            uint8_t out[3];
            for (int c = 0; c < 3; ++c)
                out[c] = clampByte(divisor ? offset + sum[c] / divisor : offset + sum[c]);
            tmp.setPixelColor(x, y, RgbQuad{out[0], out[1], out[2], 0});
        }
    img.transfer(tmp);
    return true;
}

// --- geometry ---

namespace {

bool turn(DibImage& img, DibImage* target, bool right) {
    if (!img.isValid()) return false;
    const int32_t W = img.width(), H = img.height();
    DibImage tmp;
    if (!startResult(img, tmp, H, W)) return false;
    if (img.hasAlpha()) tmp.alphaCreate();
    for (int32_t y = 0; y < W; ++y)
        for (int32_t x = 0; x < H; ++x) {
            const int32_t ox = right ? W - 1 - y : y;
            const int32_t oy = right ? x : H - 1 - x;
            if (paletted(img))
                tmp.setPixelIndex(x, y, img.getPixelIndex(ox, oy));
            else
                tmp.setPixelColor(x, y, img.getPixelColor(ox, oy));
            if (img.hasAlpha()) tmp.alphaSet(x, y, img.alphaGet(ox, oy));
        }
    (target ? *target : img).transfer(tmp);
    return true;
}

RgbQuad bilinearSource(const DibImage& img, int32_t x, int32_t y) {
    if (paletted(img)) return img.getPaletteColor(img.getPixelIndex(x, y));
    const uint8_t* p = img.row(y) + size_t(x) * 3;
    return RgbQuad{p[0], p[1], p[2], 0};
}

void bilinear(const DibImage& img, DibImage& tmp, float fx, float fy) {
    const int32_t W = img.width(), H = img.height();
    for (int32_t y = 0; y < tmp.height(); ++y)
        for (int32_t x = 0; x < tmp.width(); ++x) {
            const float sx = x * fx, sy = y * fy;
            int32_t x0 = int32_t(sx), y0 = int32_t(sy);
            const float dx = sx - x0, dy = sy - y0;
            // A position rounded past the last column or row stays on it.
            x0 = std::min(x0, W - 1);
            y0 = std::min(y0, H - 1);
            const int32_t x1 = std::min(x0 + 1, W - 1), y1 = std::min(y0 + 1, H - 1);
            const RgbQuad c00 = bilinearSource(img, x0, y0), c10 = bilinearSource(img, x1, y0);
            const RgbQuad c01 = bilinearSource(img, x0, y1), c11 = bilinearSource(img, x1, y1);
            auto channel = [&](uint8_t a00, uint8_t a10, uint8_t a01, uint8_t a11) {
                const float left = (1 - dy) * a00 + dy * a01;
                const float right = (1 - dy) * a10 + dy * a11;
                return clampByte(int32_t((1 - dx) * left + dx * right));
            };
            tmp.setPixelColor(x, y,
                              RgbQuad{channel(c00.blue, c10.blue, c01.blue, c11.blue),
                                      channel(c00.green, c10.green, c01.green, c11.green),
                                      channel(c00.red, c10.red, c01.red, c11.red), 0});
        }
}

template <typename Acc>
uint8_t quotient(Acc acc, int64_t divisor) {
    if constexpr (sizeof(Acc) == 4) {
        return uint8_t(int32_t(acc) / divisor);  // what a 32-bit implementation stores
    } else {
        return uint8_t(std::min<int64_t>(int64_t(acc) / divisor, 255));
    }
}

// Area averaging, pixel by pixel in the order of its definition. Acc is int64_t or uint32_t
// (32 bits wrapping, for comparison only).
template <typename Acc>
void areaAverage(const DibImage& img, DibImage& tmp, float fx, float fy) {
    const int32_t W = img.width(), H = img.height();
    const int32_t nw = tmp.width(), nh = tmp.height();
    const int64_t divisor = std::max<int64_t>(1, int64_t(fx * fy * 1000));
    std::vector<Acc> rows[2] = {std::vector<Acc>(3 * size_t(nw + 1)),
                                std::vector<Acc>(3 * size_t(nw + 1))};
    Acc* cur = rows[0].data();
    Acc* next = rows[1].data();
    auto put = [&](int32_t outY, int32_t k) {
        tmp.setPixelColor(k, outY,
                          RgbQuad{quotient(cur[3 * k], divisor), quotient(cur[3 * k + 1], divisor),
                                  quotient(cur[3 * k + 2], divisor), 0});
    };
    float by = fy - 1;
    int32_t outY = 0;
    for (int32_t y = 0; y < H; ++y) {
        if (outY >= nh) break;  // every output row is done; nothing more may be written
        const bool straddles = !(y < by);
        const Acc g = straddles ? Acc(int32_t((y - by) * 1000)) : Acc(0);
        float bx = fx - 1;
        int32_t k = 0, written = 0;
        for (int32_t x = 0; x < W; ++x) {
            const uint8_t* p = img.row(y) + size_t(x) * 3;
            // A drifting boundary must not open a column past the last one.
            const bool cut = x >= bx && k < nw;
            Acc f = 0;
            if (cut) f = Acc(int32_t((x - bx) * 1000));
            for (int c = 0; c < 3; ++c) {
                const Acc v = p[c];
                Acc* ck = cur + 3 * k + c;
                Acc* nk = next + 3 * k + c;
                if (!straddles) {
                    if (cut) {
                        ck[0] += (1000 - f) * v;
                        ck[3] += f * v;
                    } else {
                        ck[0] += 1000 * v;
                    }
                } else if (cut) {
                    ck[0] += v * ((1000 - g) * (1000 - f)) / 1000;
                    nk[0] += v * (1000 - f) * g / 1000;
                    ck[3] += v * (1000 - g) * f / 1000;
                    nk[3] = v * g * f / 1000;
                } else {
                    ck[0] += (1000 - g) * v;
                    nk[0] += g * v;
                }
            }
            if (cut) {
                if (straddles) {
                    put(outY, k);
                    ++written;
                }
                bx += fx;
                ++k;
            }
        }
        if (straddles) {
            if (written < nw) put(outY, k);
            std::swap(cur, next);
            next[0] = next[1] = next[2] = 0;
            ++outY;
            by += fy;
        }
    }
    if (outY < nh)
        for (int32_t k = 0; k < nw; ++k) put(outY, k);
}

}  // namespace

bool rotateLeft(DibImage& img, DibImage* target) {
    return turn(img, target, false);
}

bool rotateRight(DibImage& img, DibImage* target) {
    return turn(img, target, true);
}

bool resample(DibImage& img, int32_t newWidth, int32_t newHeight, int mode,
              AreaAccumulator accumulator) {
    if (!img.isValid() || newWidth <= 0 || newHeight <= 0) return false;
    const int32_t W = img.width(), H = img.height();
    const float fx = float(W) / newWidth;
    const float fy = float(H) / newHeight;
    DibImage tmp;
    if (!startResult(img, tmp, newWidth, newHeight)) return false;
    if (mode != 0) {
        for (int32_t y = 0; y < newHeight; ++y)
            for (int32_t x = 0; x < newWidth; ++x)
                tmp.setPixelColor(x, y, img.getPixelColor(int32_t(x * fx), int32_t(y * fy)));
    } else if (!paletted(img) && newWidth < W && newHeight < H) {
        if (accumulator == AreaAccumulator::Wide64)
            areaAverage<int64_t>(img, tmp, fx, fy);
        else
            areaAverage<uint32_t>(img, tmp, fx, fy);
    } else {
        bilinear(img, tmp, fx, fy);
    }
    if (img.hasAlpha()) {
        tmp.alphaCreate();
        for (int32_t y = 0; y < newHeight; ++y)
            for (int32_t x = 0; x < newWidth; ++x)
                tmp.alphaSet(x, y, img.alphaGet(int32_t(x * fx), int32_t(y * fy)));
    }
    img.transfer(tmp);
    return true;
}

bool flip(DibImage& img) {
    if (!img.isValid()) return false;
    DibImage tmp(img, false, true);
    const int32_t H = img.height();
    for (int32_t y = 0; y < H; ++y) std::memcpy(tmp.row(y), img.row(H - 1 - y), img.stride());
    tmp.alphaFlip();
    img.transfer(tmp);
    return true;
}

bool mirror(DibImage& img) {
    if (!img.isValid()) return false;
    DibImage tmp(img, false, true);
    const int32_t W = img.width(), H = img.height();
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            if (img.bitCount() == 24) {
                std::memcpy(tmp.row(y) + size_t(W - 1 - x) * 3, img.row(y) + size_t(x) * 3, 3);
            } else if (img.bitCount() == 8) {
                tmp.row(y)[W - 1 - x] = img.row(y)[x];
            } else {
                tmp.setPixelIndex(W - 1 - x, y, img.getPixelIndex(x, y));
            }
        }
    tmp.alphaMirror();
    img.transfer(tmp);
    return true;
}

}  // namespace reference_ops
