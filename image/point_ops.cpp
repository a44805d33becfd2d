// Point and colour operations: brightness and contrast, hue and saturation, grey, tone,
// negative, channel planes and merging. Per-channel work goes through lookup tables on rows.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
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

// Truncation toward zero, then clamped to 0..255; the clamp comes first so that a huge
// value never reaches the integer conversion.
uint8_t truncClamp(float v) {
    if (v >= 255.0f) return 255;
    if (v <= 0.0f) return 0;
    return uint8_t(int32_t(v));
}

uint32_t greyOf(uint32_t red, uint32_t green, uint32_t blue) {
    return (30 * red + 59 * green + 11 * blue) / 100;
}

// Maps the blue, green and red bytes of every pixel (not the row padding) through table.
void mapChannels(DibImage& img, const uint8_t* table) {
    const size_t n = size_t(img.width()) * 3;
    // A brightness change alone maps every byte to itself plus an offset, clamped: that is a
    // saturating add, sixteen bytes at a time.
    const int offset = int(table[128]) - 128;
    bool shifted = true;
    for (int c = 0; c < 256 && shifted; ++c) shifted = table[c] == std::clamp(c + offset, 0, 255);
#if defined(__SSE2__)
    if (shifted) {
        const __m128i amount = _mm_set1_epi8(char(uint8_t(std::min(std::abs(offset), 255))));
        for (int32_t y = 0; y < img.height(); ++y) {
            uint8_t* p = img.row(y);
            size_t i = 0;
            for (; i + 16 <= n; i += 16) {
                __m128i* at = reinterpret_cast<__m128i*>(p + i);
                const __m128i v = _mm_loadu_si128(at);
                _mm_storeu_si128(at,
                                 offset >= 0 ? _mm_adds_epu8(v, amount) : _mm_subs_epu8(v, amount));
            }
            for (; i < n; ++i) p[i] = table[p[i]];
        }
        return;
    }
#endif
    // The table is copied so the compiler need not reload it after every store into the row.
    uint8_t map[256];
    std::memcpy(map, table, sizeof map);
    for (int32_t y = 0; y < img.height(); ++y) {
        uint8_t* p = img.row(y);
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            const uint8_t a = map[p[i]], b = map[p[i + 1]];
            const uint8_t c = map[p[i + 2]], d = map[p[i + 3]];
            p[i] = a;
            p[i + 1] = b;
            p[i + 2] = c;
            p[i + 3] = d;
        }
        for (; i < n; ++i) p[i] = map[p[i]];
    }
}

void mapPalette(DibImage& img, const uint8_t* table) {
    RgbQuad* pal = img.paletteBase();
    for (uint32_t i = 0; i < img.header.colorsUsed; ++i) {
        pal[i].blue = table[pal[i].blue];
        pal[i].green = table[pal[i].green];
        pal[i].red = table[pal[i].red];
    }
}

// The start of an 8-bit result that replaces a picture: same size, type and per-format
// values (DPI, quality, transparency), grey palette, alpha plane carried over.
bool makeGreyResult(const DibImage& img, DibImage& tmp) {
    tmp.info = img.info;
    tmp.info.owner = nullptr;
    tmp.info.pixels = nullptr;
    if (!tmp.create(img.width(), img.height(), 8, img.type())) return false;
    tmp.setGrayPalette();
    tmp.alphaCopyFrom(img);
    return true;
}

// Grey value of each pixel of a 24-bit row.
void greyRow(const uint8_t* p, uint8_t* out, int32_t width) {
    for (int32_t x = 0; x < width; ++x, p += 3) out[x] = uint8_t(greyOf(p[2], p[1], p[0]));
}

}  // namespace

bool DibImage::adjustLight(int brightness, int contrastPercent) {
    if (!isValid()) return false;
    const float k = float(contrastPercent * 0.01);
    uint8_t table[256];
    for (int c = 0; c < 256; ++c) table[c] = truncClamp((c - 128) * k + brightness + 128);
    if (header.colorsUsed)
        mapPalette(*this, table);
    else
        mapChannels(*this, table);
    return true;
}

RgbQuad DibImage::rgbToHsl(RgbQuad colour) {
    const int R = colour.red, G = colour.green, B = colour.blue;
    const int mx = std::max({R, G, B}), mn = std::min({R, G, B});
    const int L = ((mx + mn) * 255 + 255) / 510;
    if (mx == mn) return RgbQuad{uint8_t(L), 0, 170, 0};
    const int d = L <= 127 ? mx + mn : 510 - mx - mn;
    const int S = ((mx - mn) * 255 + d / 2) / d;
    const int diff = mx - mn;
    const int Rd = ((mx - R) * 42 + diff / 2) / diff;
    const int Gd = ((mx - G) * 42 + diff / 2) / diff;
    const int Bd = ((mx - B) * 42 + diff / 2) / diff;
    int H;
    if (R == mx)
        H = Bd - Gd;
    else if (G == mx)
        H = 85 + Rd - Bd;
    else
        H = 170 + Gd - Rd;
    if (H < 0) H += 256;  // the hue circle wraps
    return RgbQuad{uint8_t(L), uint8_t(S), uint8_t(H), 0};
}

namespace {

// One channel of an HSL colour: x is the hue in degrees shifted for the channel.
float hueToChannel(float m1, float m2, float x) {
    if (x > 360)
        x -= 360;
    else if (x < 0)
        x += 360;
    if (x < 60) return m1 + (m2 - m1) * x * 0.016666668f;
    if (x < 180) return m2;
    if (x < 240) return m1 + (m2 - m1) * (240 - x) * 0.016666668f;
    return m1;
}

}  // namespace

RgbQuad DibImage::hslToRgb(RgbQuad hsl) {
    const int H = hsl.red, S = hsl.green, L = hsl.blue;
    // Saturation stays in double; lightness and everything after it is single precision.
    const double s = S / 255.0;
    const float l = float(L / 255.0);
    if (s == 0) {
        const uint8_t v = truncClamp(l * 255);
        return RgbQuad{v, v, v, 0};
    }
    const float m2 = l > 0.5 ? float(s + l - s * l) : float(l * (1 + s));
    const float m1 = 2 * l - m2;
    const float h = H * 1.4117647f;
    return RgbQuad{truncClamp(255 * hueToChannel(m1, m2, h - 120)),
                   truncClamp(255 * hueToChannel(m1, m2, h)),
                   truncClamp(255 * hueToChannel(m1, m2, h + 120)), 0};
}

namespace {

// Hue and saturation are replaced, so colorize's result depends on the lightness alone, and
// that on max + min of the channels: one table over the 511 possible sums (blue, green, red).
using ColorizeTable = uint8_t[511][3];

void makeColorizeTable(uint8_t hue, uint8_t saturation, ColorizeTable& table) {
    for (int sum = 0; sum <= 510; ++sum) {
        const uint8_t L = uint8_t((sum * 255 + 255) / 510);
        const RgbQuad c = DibImage::hslToRgb(RgbQuad{L, saturation, hue, 0});
        table[sum][0] = c.blue;
        table[sum][1] = c.green;
        table[sum][2] = c.red;
    }
}

}  // namespace

bool DibImage::colorize(uint8_t hue, uint8_t saturation) {
    if (!isValid()) return false;
    ColorizeTable table;
    makeColorizeTable(hue, saturation, table);
    auto sumOf = [](uint8_t b, uint8_t g, uint8_t r) {
        return std::max({b, g, r}) + std::min({b, g, r});
    };
    if (header.colorsUsed) {
        RgbQuad* pal = paletteBase();
        for (uint32_t i = 0; i < header.colorsUsed; ++i) {
            const uint8_t* c = table[sumOf(pal[i].blue, pal[i].green, pal[i].red)];
            pal[i].blue = c[0];
            pal[i].green = c[1];
            pal[i].red = c[2];
        }
        return true;
    }
    const int32_t W = width();
    for (int32_t y = 0; y < height(); ++y) {
        uint8_t* p = row(y);
        for (int32_t x = 0; x < W; ++x, p += 3) {
            const uint8_t* c = table[sumOf(p[0], p[1], p[2])];
            p[0] = c[0];
            p[1] = c[1];
            p[2] = c[2];
        }
    }
    return true;
}

bool DibImage::grayScale() {
    if (!isValid()) return false;
    const int32_t W = width(), H = height();
    if (!header.colorsUsed) {
        DibImage tmp;
        if (!makeGreyResult(*this, tmp)) return false;
        for (int32_t y = 0; y < H; ++y) greyRow(row(y), tmp.row(y), W);
        // A transparent colour becomes the index of its grey, as a palette entry does below.
        const RgbQuad bg = info.backgroundColour;
        if (info.backgroundIndex != -1)
            tmp.info.backgroundIndex = int32_t(greyOf(bg.red, bg.green, bg.blue));
        transfer(tmp);
        return true;
    }
    RgbQuad* pal = paletteBase();
    for (uint32_t i = 0; i < header.colorsUsed; ++i)
        pal[i].blue = uint8_t(greyOf(pal[i].red, pal[i].green, pal[i].blue));
    if (info.backgroundIndex != -1)
        info.backgroundIndex = getPaletteColor(uint32_t(info.backgroundIndex)).blue;
    uint8_t map[256];
    for (uint32_t i = 0; i < 256; ++i) map[i] = getPaletteColor(i).blue;
    if (bitCount() == 8) {
        uint8_t* p = pixels();
        for (uint32_t i = 0; i < header.imageSize; ++i) p[i] = map[p[i]];
        setGrayPalette();
        return true;
    }
    DibImage tmp;
    if (!makeGreyResult(*this, tmp)) return false;
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* out = tmp.row(y);
        index_rows::unpack(row(y), bitCount(), W, out);
        for (int32_t x = 0; x < W; ++x) out[x] = map[out[x]];
    }
    transfer(tmp);
    return true;
}

bool DibImage::tone() {
    if (!isValid()) return false;
    if (header.colorsUsed) {
        RgbQuad* pal = paletteBase();
        for (uint32_t i = 0; i < header.colorsUsed; ++i) {
            const uint8_t v = pal[i].blue;
            pal[i].red = v;
            pal[i].green = uint8_t(int(v * 0.85));
            pal[i].blue = uint8_t(int(v * 0.75));
        }
        return true;
    }
    const int32_t W = width();
    for (int32_t y = 0; y < height(); ++y) {
        uint8_t* p = row(y);
        for (int32_t x = 0; x < W; ++x, p += 3) {
            const uint8_t g = uint8_t(greyOf(p[2], p[1], p[0]));
            p[0] = p[1] = p[2] = g;
        }
    }
    return true;
}

bool DibImage::toneAndColorize(uint8_t hue, uint8_t saturation) {
    if (!isValid()) return false;
    if (header.colorsUsed) return tone() && colorize(hue, saturation);
    // tone leaves every pixel grey (max + min = 2 grey), so the two passes are one lookup.
    ColorizeTable table;
    makeColorizeTable(hue, saturation, table);
    const int32_t W = width();
    for (int32_t y = 0; y < height(); ++y) {
        uint8_t* p = row(y);
        for (int32_t x = 0; x < W; ++x, p += 3) {
            const uint8_t* c = table[2 * greyOf(p[2], p[1], p[0])];
            p[0] = c[0];
            p[1] = c[1];
            p[2] = c[2];
        }
    }
    return true;
}

bool DibImage::negative() {
    if (!isValid()) return false;
    if (!header.colorsUsed) {
        // Every byte of the pixel data, padding included, eight at a time.
        uint8_t* p = pixels();
        const size_t n = header.imageSize;
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t v;
            std::memcpy(&v, p + i, 8);
            v = ~v;
            std::memcpy(p + i, &v, 8);
        }
        for (; i < n; ++i) p[i] = uint8_t(~p[i]);
        RgbQuad& bg = info.backgroundColour;
        bg.blue = uint8_t(~bg.blue);
        bg.green = uint8_t(~bg.green);
        bg.red = uint8_t(~bg.red);
        return true;
    }
    if (!isGrayScale()) {
        RgbQuad* pal = paletteBase();
        for (uint32_t i = 0; i < header.colorsUsed; ++i) {
            pal[i].blue = uint8_t(~pal[i].blue);
            pal[i].green = uint8_t(~pal[i].green);
            pal[i].red = uint8_t(~pal[i].red);
        }
        return true;
    }
    // Identity grey ramp: invert the indices themselves (the complement in their width is
    // flipping every bit of the pixels), leaving the spare bits of each row alone.
    const uint64_t bits = uint64_t(width()) * bitCount();
    const size_t full = size_t(bits / 8);
    const uint8_t lastMask = uint8_t(0xFF00 >> (bits % 8));
    for (int32_t y = 0; y < height(); ++y) {
        uint8_t* p = row(y);
        for (size_t i = 0; i < full; ++i) p[i] = uint8_t(~p[i]);
        if (bits % 8) p[full] ^= lastMask;
    }
    // The transparent index follows its pixels, as the background colour does in 24 bits.
    const int32_t mask = (1 << bitCount()) - 1;
    if (info.backgroundIndex >= 0 && info.backgroundIndex <= mask)
        info.backgroundIndex = mask - info.backgroundIndex;
    return true;
}

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
// Byte k of pixel i, for each channel k, as three shuffles of 48 bytes (16 pixels): masks[k][s]
// picks what block s holds of it.
struct SplitMasks {
    alignas(16) int8_t masks[3][3][16];
};

constexpr SplitMasks makeSplitMasks() {
    SplitMasks m{};
    for (int k = 0; k < 3; ++k)
        for (int s = 0; s < 3; ++s)
            for (int i = 0; i < 16; ++i) {
                const int j = 3 * i + k - 16 * s;
                m.masks[k][s][i] = int8_t(j >= 0 && j < 16 ? j : -128);
            }
    return m;
}

constexpr SplitMasks kSplitMasks = makeSplitMasks();

// Splits whole blocks of 16 pixels with SSSE3 (present on every x86-64 processor of the last
// fifteen years, but checked at run time); returns how many pixels it did.
__attribute__((target("ssse3"))) size_t splitBlocks(const uint8_t* p, size_t width,
                                                    uint8_t* __restrict b, uint8_t* __restrict g,
                                                    uint8_t* __restrict r) {
    uint8_t* const out[3] = {b, g, r};
    size_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i in[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * x)),
                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * x + 16)),
                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * x + 32))};
        for (int k = 0; k < 3; ++k) {
            __m128i v = _mm_setzero_si128();
            for (int s = 0; s < 3; ++s) {
                const __m128i mask =
                    _mm_load_si128(reinterpret_cast<const __m128i*>(kSplitMasks.masks[k][s]));
                v = _mm_or_si128(v, _mm_shuffle_epi8(in[s], mask));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out[k] + x), v);
        }
    }
    return x;
}

// Asked on first use: a static initialiser of its own could run before the library has
// looked at the processor.
bool canSplitBlocks() {
    static const bool can = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return can;
}
#endif

// Blue, green and red bytes of a row of 24-bit pixels into three rows.
void splitRow(const uint8_t* p, size_t width, uint8_t* __restrict b, uint8_t* __restrict g,
              uint8_t* __restrict r) {
    size_t x = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (canSplitBlocks()) x = splitBlocks(p, width, b, g, r);
#endif
    for (; x < width; ++x) {
        b[x] = p[3 * x];
        g[x] = p[3 * x + 1];
        r[x] = p[3 * x + 2];
    }
}

}  // namespace

bool DibImage::splitChannels(DibImage* red, DibImage* green, DibImage* blue) const {
    if (!isValid() || (!red && !green && !blue)) return false;
    const int32_t W = width(), H = height();
    DibImage planes[3];
    DibImage* targets[3] = {red, green, blue};
    for (int p = 0; p < 3; ++p) {
        if (!targets[p]) continue;
        if (!planes[p].create(W, H, 8, 0)) return false;
        RgbQuad* pal = planes[p].paletteBase();
        for (uint32_t i = 0; i < 256; ++i)
            pal[i] = RgbQuad{p == 2 ? uint8_t(i) : uint8_t(0), p == 1 ? uint8_t(i) : uint8_t(0),
                             p == 0 ? uint8_t(i) : uint8_t(0), 0};
    }
    // Absent planes are written into a scratch row.
    std::vector<uint8_t> scratch(static_cast<size_t>(W)),
        indices(header.colorsUsed ? size_t(W) : 0);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* r = red ? planes[0].row(y) : scratch.data();
        uint8_t* g = green ? planes[1].row(y) : scratch.data();
        uint8_t* b = blue ? planes[2].row(y) : scratch.data();
        if (!header.colorsUsed) {
            // An absent plane's scratch row may be shared: those go through the plain loop.
            if (red && green && blue)
                splitRow(row(y), size_t(W), b, g, r);
            else
                for (int32_t x = 0; x < W; ++x) {
                    b[x] = row(y)[3 * x];
                    g[x] = row(y)[3 * x + 1];
                    r[x] = row(y)[3 * x + 2];
                }
        } else {
            index_rows::unpack(row(y), bitCount(), W, indices.data());
            const RgbQuad* pal = paletteBase();
            for (int32_t x = 0; x < W; ++x) {
                const RgbQuad c = pal[indices[size_t(x)]];
                b[x] = c.blue;
                g[x] = c.green;
                r[x] = c.red;
            }
        }
    }
    for (int p = 0; p < 3; ++p)
        if (targets[p]) targets[p]->transfer(planes[p]);
    return true;
}

bool DibImage::mix(const DibImage& source, int operation, int32_t offsetX, int32_t offsetY) {
    // Only the bitwise OR (code 3) is defined; any other code changes nothing.
    if (!isValid() || operation != 3) return false;
    // Mixing an image into itself reads the picture as it was before.
    DibImage snapshot;
    const DibImage* src = &source;
    if (&source == this) {
        if (!snapshot.copyFrom(*this, true, true)) return false;
        src = &snapshot;
    }
    if (!src->isValid()) return true;
    const int64_t w = std::min<int64_t>(width(), int64_t(src->width()) - offsetX);
    const int64_t h = std::min<int64_t>(height(), int64_t(src->height()) - offsetY);
    const int64_t x0 = std::max<int64_t>(0, -int64_t(offsetX));
    const int64_t y0 = std::max<int64_t>(0, -int64_t(offsetY));
    if (x0 >= w || y0 >= h) return true;
    const size_t count = size_t(w - x0);

    // The source colours of one row, from x0 on, as blue, green, red bytes.
    const bool srcPaletted = src->header.colorsUsed != 0;
    std::vector<uint8_t> srcIndices(srcPaletted ? size_t(src->width()) : 0);
    std::vector<uint8_t> srcColours(srcPaletted ? count * 3 : 0);
    const uint8_t* colours = nullptr;
    // A plane of splitChannels has colour in one channel only; OR-ing just that byte is
    // the same as OR-ing all three.
    int onlyChannel = -1;
    if (srcPaletted) {
        uint8_t seen = 0;
        const RgbQuad* pal = src->paletteBase();
        for (uint32_t i = 0; i < src->header.colorsUsed; ++i)
            seen |= uint8_t((pal[i].blue ? 1 : 0) | (pal[i].green ? 2 : 0) | (pal[i].red ? 4 : 0));
        if (seen == 1) onlyChannel = 0;
        if (seen == 2) onlyChannel = 1;
        if (seen == 4) onlyChannel = 2;
    }
    std::vector<uint8_t> channelOf(256);
    if (onlyChannel >= 0)
        for (uint32_t i = 0; i < 256; ++i) {
            const RgbQuad c = src->getPaletteColor(i);
            channelOf[i] = onlyChannel == 0 ? c.blue : onlyChannel == 1 ? c.green : c.red;
        }

    const bool paletted = header.colorsUsed != 0;
    std::vector<uint8_t> indices(paletted ? size_t(width()) : 0);
    std::unordered_map<uint32_t, uint8_t> nearest;

    for (int64_t y = y0; y < h; ++y) {
        const int32_t sy = int32_t(offsetY + y);
        const int64_t sx0 = offsetX + x0;
        if (srcPaletted) {
            index_rows::unpack(src->row(sy), src->bitCount(), src->width(), srcIndices.data());
            if (onlyChannel >= 0 && !paletted) {
                uint8_t* d = row(int32_t(y)) + size_t(x0) * 3 + size_t(onlyChannel);
                const uint8_t* s = srcIndices.data() + sx0;
                for (size_t i = 0; i < count; ++i) d[i * 3] |= channelOf[s[i]];
                continue;
            }
            const RgbQuad* pal = src->paletteBase();
            for (size_t i = 0; i < count; ++i) {
                const RgbQuad c = pal[srcIndices[size_t(sx0) + i]];
                srcColours[i * 3] = c.blue;
                srcColours[i * 3 + 1] = c.green;
                srcColours[i * 3 + 2] = c.red;
            }
            colours = srcColours.data();
        } else {
            colours = src->row(sy) + size_t(sx0) * 3;
        }
        if (!paletted) {
            uint8_t* d = row(int32_t(y)) + size_t(x0) * 3;
            for (size_t i = 0; i < count * 3; ++i) d[i] |= colours[i];
            continue;
        }
        // A paletted image stores the nearest entry to each merged colour.
        index_rows::unpack(row(int32_t(y)), bitCount(), width(), indices.data());
        const RgbQuad* pal = paletteBase();
        for (size_t i = 0; i < count; ++i) {
            const RgbQuad a = pal[indices[size_t(x0) + i]];
            const RgbQuad c{uint8_t(a.blue | colours[i * 3]), uint8_t(a.green | colours[i * 3 + 1]),
                            uint8_t(a.red | colours[i * 3 + 2]), 0};
            auto it = nearest.find(c.toValue());
            if (it == nearest.end()) it = nearest.emplace(c.toValue(), nearestIndex(c)).first;
            indices[size_t(x0) + i] = it->second;
        }
        // Only the pixels inside the overlap may change, so pack back in place.
        for (size_t i = 0; i < count; ++i)
            setPixelIndex(int32_t(x0 + int64_t(i)), int32_t(y), indices[size_t(x0) + i]);
    }
    return true;
}
