// Display colour through lcms2: one transform per profile, kept in a small cache, run over the
// rows that are about to be shown.
#include "image/display_colour.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VFX_WIDE_GRID 1
#endif

#include "image/dib_image.h"

namespace {

// Linear light in the tables has 14 fraction bits: a step is at most a fifth of an 8-bit
// level of sRGB, where its curve is steepest (near black).
constexpr int kLinearBits = 14;
constexpr int32_t kLinearOne = 1 << kLinearBits;

struct ProfileCloser {
    void operator()(void* p) const {
        if (p) cmsCloseProfile(p);
    }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* t) const {
        if (t) cmsDeleteTransform(t);
    }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};

Profile rgbProfile(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
    if (!curve) return nullptr;
    cmsToneCurve* curves[3] = {curve, curve, curve};
    Profile profile(cmsCreateRGBProfile(&kD65, &primaries, curves));
    cmsFreeToneCurve(curve);
    return profile;
}

// Adobe RGB (1998): its primaries and D65 white, and a pure power curve of 563/256.
Profile makeAdobeRgb() {
    return rgbProfile({{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}},
                      cmsBuildGamma(nullptr, 563.0 / 256.0));
}

// sRGB's primaries and white with no curve: where the channels of a matrix-and-curves
// profile simply add up.
Profile makeLinearSrgb() {
    return rgbProfile({{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}},
                      cmsBuildGamma(nullptr, 1.0));
}

// The colours a transform is judged on: a grid through the cube and every value along each
// channel and the grey axis.
std::vector<uint8_t> sampleColours() {
    std::vector<uint8_t> samples;
    for (int b = 0; b <= 255; b += 15)
        for (int g = 0; g <= 255; g += 15)
            for (int r = 0; r <= 255; r += 15)
                samples.insert(samples.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
    for (int v = 0; v <= 255; ++v)
        samples.insert(samples.end(), {uint8_t(v), 0, 0, 0, uint8_t(v), 0, 0, 0, uint8_t(v),
                                       uint8_t(v), uint8_t(v), uint8_t(v)});
    return samples;
}

// The last profiles seen and their transforms (null ones too, so that a profile that gives
// none is not parsed again at every repaint). A folder of photos shares a handful.
struct CacheEntry {
    std::vector<uint8_t> icc;
    std::shared_ptr<const DisplayColour> transform;
};
constexpr size_t kCacheSize = 16;
std::mutex cacheMutex;
std::vector<CacheEntry> cache;  // most recently used first

}  // namespace

struct DisplayColour::Tables {
    // [input channel blue, green, red][value] -> what it adds to the linear blue, green, red
    // (the fourth lane pads to 16 bytes); the first table carries the black point.
    alignas(16) int32_t linear[3][256][4];
    // Linear light 0 .. kLinearOne -> the sRGB byte.
    uint8_t encode[kLinearOne + 1];

    // Fills both from lcms2: the source's channels one at a time, and the sRGB curve.
    bool build(void* source);
    void run(uint8_t* bgr, size_t count) const;
};

bool DisplayColour::Tables::build(void* source) {
    Profile linearSrgb = makeLinearSrgb();
    Profile srgb(cmsCreate_sRGBProfile());
    if (!linearSrgb || !srgb) return false;
    // Unbounded float in the middle, so that colours outside sRGB are clipped only at the end.
    Transform toLinear(cmsCreateTransform(source, TYPE_BGR_8, linearSrgb.get(), TYPE_BGR_FLT,
                                          kIntent, cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE));
    Transform toSrgb(cmsCreateTransform(linearSrgb.get(), TYPE_BGR_FLT, srgb.get(), TYPE_BGR_8,
                                        kIntent, cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE));
    if (!toLinear || !toSrgb) return false;

    // Black, then each channel alone through 0..255.
    const size_t count = 1 + 3 * 256;
    std::vector<uint8_t> in(count * 3, 0);
    for (size_t c = 0; c < 3; ++c)
        for (size_t v = 0; v < 256; ++v) in[(1 + c * 256 + v) * 3 + c] = uint8_t(v);
    std::vector<float> out(count * 3);
    cmsDoTransform(toLinear.get(), in.data(), out.data(), cmsUInt32Number(count));
    for (size_t c = 0; c < 3; ++c)
        for (size_t v = 0; v < 256; ++v) {
            for (size_t i = 0; i < 3; ++i) {
                // Black is in every sample; it is counted once, in the first channel's table.
                double x = double(out[(1 + c * 256 + v) * 3 + i]) - (c == 0 ? 0.0 : out[i]);
                if (!std::isfinite(x)) x = 0;
                linear[c][v][i] = int32_t(std::lround(std::clamp(x, -4.0, 4.0) * kLinearOne));
            }
            linear[c][v][3] = 0;
        }

    std::vector<float> grey(size_t(kLinearOne + 1) * 3);
    for (int32_t k = 0; k <= kLinearOne; ++k)
        std::fill_n(&grey[size_t(k) * 3], 3, float(k) / float(kLinearOne));
    std::vector<uint8_t> encoded(grey.size());
    cmsDoTransform(toSrgb.get(), grey.data(), encoded.data(), cmsUInt32Number(kLinearOne + 1));
    for (int32_t k = 0; k <= kLinearOne; ++k) encode[k] = encoded[size_t(k) * 3 + 1];
    return true;
}

void DisplayColour::Tables::run(uint8_t* bgr, size_t count) const {
    for (uint8_t* p = bgr; p != bgr + count * 3; p += 3) {
        const int32_t* b = linear[0][p[0]];
        const int32_t* g = linear[1][p[1]];
        const int32_t* r = linear[2][p[2]];
#if defined(__SSE2__) && defined(__x86_64__)
        const __m128i sum =
            _mm_add_epi32(_mm_add_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(b)),
                                        _mm_load_si128(reinterpret_cast<const __m128i*>(g))),
                          _mm_load_si128(reinterpret_cast<const __m128i*>(r)));
        // At most 3 x 4 x kLinearOne: the saturating pack to 16 bits cannot wrap it.
        __m128i v = _mm_packs_epi32(sum, sum);
        v = _mm_min_epi16(_mm_max_epi16(v, _mm_setzero_si128()), _mm_set1_epi16(kLinearOne));
        const uint64_t lanes = uint64_t(_mm_cvtsi128_si64(v));
        p[0] = encode[lanes & 0xFFFF];
        p[1] = encode[(lanes >> 16) & 0xFFFF];
        p[2] = encode[(lanes >> 32) & 0xFFFF];
#else
        for (int i = 0; i < 3; ++i)
            p[i] = encode[std::clamp(b[i] + g[i] + r[i], int32_t(0), kLinearOne)];
#endif
    }
}

// For a table profile (a camera's or a phone's colour table): lcms2's own optimization of the
// transform, a curve per channel and a 33-point grid (taken from the device link lcms2 makes of
// it), evaluated here by tetrahedral interpolation as lcms2 does, without its per-pixel
// unpacking and packing.
struct DisplayColour::Grid {
    static constexpr int kNodes = 33;  // lcms2's own choice for three channels
    static constexpr int kStrideB = 1, kStrideG = kNodes, kStrideR = kNodes * kNodes;
    // Node values carry 7 fraction bits and the weights of a tetrahedron's corners sum to
    // 1 << 14: two products fit one 32-bit lane of a 16-bit multiply-add, and so does the sum.
    static constexpr int kValueShift = 7;
    static constexpr int kWeightBits = 14;
    static constexpr int32_t kWeightOne = 1 << kWeightBits;

    // The node of a byte (premultiplied by the channel's stride; 255 is the far end of the
    // last cell, so the next node always exists) and its place in the cell, 0..kWeightOne.
    struct Step {
        int32_t node;
        int32_t weight;
    };
    Step steps[3][256];
    // The same in one word, the node below and the weight above, for eight pixels at a time.
    uint32_t packedSteps[3][256];
    // Blue, green, red, padding per node: sRGB bytes times 1 << kValueShift.
    std::vector<int16_t> nodes;

    bool build(void* source, void* srgb);
    void run(uint8_t* bgr, size_t count) const;
    // The same values as run's own, the choice of corners and weights made for eight pixels
    // at a time with AVX2 where the processor has it; how many pixels it did.
    size_t runWide(uint8_t* bgr, size_t count) const;
    struct Block;
    void prepareWide(const uint8_t* p, Block& block) const;
    void interpolateWide(const Block& block, uint8_t* p) const;

    // The second and third corners of each tetrahedron, by (fr >= fg, fg >= fb, fr >= fb);
    // the orders 1 and 6 cannot happen.
    struct Corners {
        int32_t first, second;
    };
    static constexpr Corners kOrders[8] = {
        {kStrideB, kStrideB + kStrideG}, {kStrideB, kStrideB + kStrideG},
        {kStrideG, kStrideG + kStrideB}, {kStrideG, kStrideG + kStrideR},
        {kStrideB, kStrideB + kStrideR}, {kStrideR, kStrideR + kStrideB},
        {kStrideR, kStrideR + kStrideG}, {kStrideR, kStrideR + kStrideG},
    };
};

namespace {

struct PipelineFree {
    void operator()(cmsPipeline* p) const {
        if (p) cmsPipelineFree(p);
    }
};
using Pipeline = std::unique_ptr<cmsPipeline, PipelineFree>;

}  // namespace

bool DisplayColour::Grid::build(void* source, void* srgb) {
    // lcms2 linearizes the grid by per-channel curves only for 8-bit input, unless asked; its
    // device link keeps those curves and the grid that follows them.
    const cmsUInt32Number flags = cmsFLAGS_NOCACHE | cmsFLAGS_CLUT_PRE_LINEARIZATION;
    Transform optimized(cmsCreateTransform(source, TYPE_RGB_16, srgb, TYPE_RGB_16, kIntent, flags));
    if (!optimized) return false;
    Profile link(cmsTransform2DeviceLink(optimized.get(), 4.3, flags));
    if (!link) return false;
    const auto* lut = static_cast<const cmsPipeline*>(cmsReadTag(link.get(), cmsSigAToB0Tag));
    if (!lut || cmsPipelineInputChannels(lut) != 3 || cmsPipelineOutputChannels(lut) != 3)
        return false;
    Pipeline curves(cmsPipelineAlloc(nullptr, 3, 3)), grid(cmsPipelineAlloc(nullptr, 3, 3));
    if (!curves || !grid) return false;
    cmsStage* stage = cmsPipelineGetPtrToFirstStage(lut);
    const bool hasCurves = stage && cmsStageType(stage) == cmsSigCurveSetElemType;
    if (hasCurves) {
        if (!cmsPipelineInsertStage(curves.get(), cmsAT_END, cmsStageDup(stage))) return false;
        stage = cmsStageNext(stage);
    }
    for (; stage; stage = cmsStageNext(stage))
        if (!cmsPipelineInsertStage(grid.get(), cmsAT_END, cmsStageDup(stage))) return false;

    const int strides[3] = {kStrideR, kStrideG, kStrideB};  // the link's order: red first
    for (int v = 0; v < 256; ++v) {
        cmsUInt16Number in[3] = {cmsUInt16Number(v * 257), cmsUInt16Number(v * 257),
                                 cmsUInt16Number(v * 257)};
        cmsUInt16Number out[3] = {in[0], in[1], in[2]};
        if (hasCurves) cmsPipelineEval16(in, out, curves.get());
        for (int c = 0; c < 3; ++c) {
            // The curve's value on the grid, in 1/kWeightOne of a cell.
            const int64_t place = (int64_t(out[c]) * (kNodes - 1) * kWeightOne + 32767) / 65535;
            const int32_t cell = std::min(int32_t(place / kWeightOne), int32_t(kNodes - 2));
            steps[2 - c][v] = Step{cell * strides[c], int32_t(place) - cell * kWeightOne};
            packedSteps[2 - c][v] =
                uint32_t(steps[2 - c][v].node) | uint32_t(steps[2 - c][v].weight) << 16;
        }
    }

    const size_t count = size_t(kNodes) * kNodes * kNodes;
    nodes.assign(count * 4, 0);
    for (int r = 0; r < kNodes; ++r)
        for (int g = 0; g < kNodes; ++g)
            for (int b = 0; b < kNodes; ++b) {
                const cmsUInt16Number in[3] = {cmsUInt16Number(r * 65535 / (kNodes - 1)),
                                               cmsUInt16Number(g * 65535 / (kNodes - 1)),
                                               cmsUInt16Number(b * 65535 / (kNodes - 1))};
                cmsUInt16Number out[3];
                cmsPipelineEval16(in, out, grid.get());
                int16_t* node = &nodes[size_t(r * kStrideR + g * kStrideG + b * kStrideB) * 4];
                for (int c = 0; c < 3; ++c)
                    node[2 - c] = int16_t((int32_t(out[c]) * (255 << kValueShift) + 32767) / 65535);
            }
    return true;
}

#if VFX_WIDE_GRID
namespace {

// The packed steps of one channel of eight pixels, from plain loads: gathers are slow on the
// processors measured, and a vector load of words just stored stalls.
__attribute__((target("avx2"), always_inline)) inline __m256i stepsOf(const uint32_t* table,
                                                                      const uint8_t* channel) {
    return _mm256_setr_epi32(int(table[channel[0]]), int(table[channel[3]]), int(table[channel[6]]),
                             int(table[channel[9]]), int(table[channel[12]]),
                             int(table[channel[15]]), int(table[channel[18]]),
                             int(table[channel[21]]));
}

}  // namespace

// The corners and weights of eight pixels.
struct DisplayColour::Grid::Block {
    // Offsets of the corners into the nodes, in int16 units.
    alignas(32) int32_t c0[8], c1[8], c2[8], c3[8];
    // Weights in pairs, the first in the low half: (w0, w1) and (w2, w3).
    alignas(32) int32_t nearWeights[8], farWeights[8];
};

__attribute__((target("avx2"), always_inline)) inline void DisplayColour::Grid::prepareWide(
    const uint8_t* p, Block& block) const {
    const __m256i lowHalf = _mm256_set1_epi32(0xFFFF);
    const __m256i vb = stepsOf(packedSteps[0], p), vg = stepsOf(packedSteps[1], p + 1),
                  vr = stepsOf(packedSteps[2], p + 2);
    const __m256i node = _mm256_slli_epi32(
        _mm256_add_epi32(
            _mm256_add_epi32(_mm256_and_si256(vb, lowHalf), _mm256_and_si256(vg, lowHalf)),
            _mm256_and_si256(vr, lowHalf)),
        2);
    const __m256i fb = _mm256_srli_epi32(vb, 16), fg = _mm256_srli_epi32(vg, 16),
                  fr = _mm256_srli_epi32(vr, 16);
    // x >= y is "not y > x".
    const __m256i order = _mm256_or_si256(
        _mm256_or_si256(_mm256_andnot_si256(_mm256_cmpgt_epi32(fg, fr), _mm256_set1_epi32(4)),
                        _mm256_andnot_si256(_mm256_cmpgt_epi32(fb, fg), _mm256_set1_epi32(2))),
        _mm256_andnot_si256(_mm256_cmpgt_epi32(fb, fr), _mm256_set1_epi32(1)));
    const __m256i high = _mm256_max_epi32(fr, _mm256_max_epi32(fg, fb));
    const __m256i low = _mm256_min_epi32(fr, _mm256_min_epi32(fg, fb));
    const __m256i middle = _mm256_sub_epi32(
        _mm256_sub_epi32(_mm256_add_epi32(_mm256_add_epi32(fr, fg), fb), high), low);
    const __m256i firsts =
        _mm256_setr_epi32(kOrders[0].first, kOrders[1].first, kOrders[2].first, kOrders[3].first,
                          kOrders[4].first, kOrders[5].first, kOrders[6].first, kOrders[7].first);
    const __m256i seconds = _mm256_setr_epi32(
        kOrders[0].second, kOrders[1].second, kOrders[2].second, kOrders[3].second,
        kOrders[4].second, kOrders[5].second, kOrders[6].second, kOrders[7].second);
    _mm256_store_si256(reinterpret_cast<__m256i*>(block.nearWeights),
                       _mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(kWeightOne), high),
                                       _mm256_slli_epi32(_mm256_sub_epi32(high, middle), 16)));
    _mm256_store_si256(reinterpret_cast<__m256i*>(block.farWeights),
                       _mm256_or_si256(_mm256_sub_epi32(middle, low), _mm256_slli_epi32(low, 16)));
    _mm256_store_si256(reinterpret_cast<__m256i*>(block.c0), node);
    _mm256_store_si256(
        reinterpret_cast<__m256i*>(block.c1),
        _mm256_add_epi32(node, _mm256_slli_epi32(_mm256_permutevar8x32_epi32(firsts, order), 2)));
    _mm256_store_si256(
        reinterpret_cast<__m256i*>(block.c2),
        _mm256_add_epi32(node, _mm256_slli_epi32(_mm256_permutevar8x32_epi32(seconds, order), 2)));
    _mm256_store_si256(
        reinterpret_cast<__m256i*>(block.c3),
        _mm256_add_epi32(node, _mm256_set1_epi32((kStrideB + kStrideG + kStrideR) * 4)));
}

__attribute__((target("avx2"), always_inline)) inline void DisplayColour::Grid::interpolateWide(
    const Block& block, uint8_t* p) const {
    constexpr int kShift = kValueShift + kWeightBits;
    const int16_t* base = nodes.data();
    const __m256i nearAll = _mm256_load_si256(reinterpret_cast<const __m256i*>(block.nearWeights));
    const __m256i farAll = _mm256_load_si256(reinterpret_cast<const __m256i*>(block.farWeights));
    const auto corners = [base](int32_t a, int32_t b) {
        return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + a)),
                                  _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + b)));
    };
    // Two pixels at a time, one in each half of the register.
    for (int i = 0; i < 8; i += 2) {
        const __m256i nearPairs =
            _mm256_inserti128_si256(_mm256_castsi128_si256(corners(block.c0[i], block.c1[i])),
                                    corners(block.c0[i + 1], block.c1[i + 1]), 1);
        const __m256i farPairs =
            _mm256_inserti128_si256(_mm256_castsi128_si256(corners(block.c2[i], block.c3[i])),
                                    corners(block.c2[i + 1], block.c3[i + 1]), 1);
        const __m256i pick = _mm256_setr_epi32(i, i, i, i, i + 1, i + 1, i + 1, i + 1);
        __m256i sum = _mm256_add_epi32(
            _mm256_add_epi32(
                _mm256_madd_epi16(nearPairs, _mm256_permutevar8x32_epi32(nearAll, pick)),
                _mm256_madd_epi16(farPairs, _mm256_permutevar8x32_epi32(farAll, pick))),
            _mm256_set1_epi32(1 << (kShift - 1)));
        sum = _mm256_srai_epi32(sum, kShift);
        // Each half's bytes end up in its own first word.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(sum, sum), sum);
        const uint32_t first = uint32_t(_mm256_extract_epi32(bytes, 0));
        const uint32_t second = uint32_t(_mm256_extract_epi32(bytes, 4));
        uint8_t* q = p + i * 3;
        q[0] = uint8_t(first);
        q[1] = uint8_t(first >> 8);
        q[2] = uint8_t(first >> 16);
        q[3] = uint8_t(second);
        q[4] = uint8_t(second >> 8);
        q[5] = uint8_t(second >> 16);
    }
}

// Gathers are slow on the processors measured, so the table lookups stay plain loads: only
// the arithmetic between them goes eight lanes wide. The corners of the next eight pixels are
// found before this eight's are used: reading back what was just stored would stall.
__attribute__((target("avx2"))) size_t DisplayColour::Grid::runWide(uint8_t* bgr,
                                                                    size_t count) const {
    const size_t blocks = count / 8;
    if (blocks == 0) return 0;
    Block prepared[2];
    prepareWide(bgr, prepared[0]);
    for (size_t k = 0; k < blocks; ++k) {
        if (k + 1 < blocks) prepareWide(bgr + (k + 1) * 24, prepared[(k + 1) & 1]);
        interpolateWide(prepared[k & 1], bgr + k * 24);
    }
    return blocks * 8;
}
#else
size_t DisplayColour::Grid::runWide(uint8_t*, size_t) const {
    return 0;
}
#endif

void DisplayColour::Grid::run(uint8_t* bgr, size_t count) const {
#if VFX_WIDE_GRID
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide) {
        const size_t done = runWide(bgr, count);
        bgr += done * 3;
        count -= done;
    }
#endif
    const int16_t* base = nodes.data();
    for (uint8_t* p = bgr; p != bgr + count * 3; p += 3) {
        const Step& sb = steps[0][p[0]];
        const Step& sg = steps[1][p[1]];
        const Step& sr = steps[2][p[2]];
        const int32_t fb = sb.weight, fg = sg.weight, fr = sr.weight;
        // The tetrahedron of the cell that holds the colour: from the near corner along the
        // channels in the order of their places, to the far corner. Chosen without branches:
        // in a photo's grain the order changes from pixel to pixel, and mispredicted branches
        // cost more than the interpolation.
        const Corners& order = kOrders[(fr >= fg) << 2 | (fg >= fb) << 1 | int(fr >= fb)];
        const int32_t high = std::max(fr, std::max(fg, fb));
        const int32_t low = std::min(fr, std::min(fg, fb));
        const int32_t middle = fr + fg + fb - high - low;
        const int32_t first = order.first, second = order.second;
        const int32_t w0 = kWeightOne - high, w1 = high - middle, w2 = middle - low, w3 = low;
        const int16_t* c0 = base + size_t(sb.node + sg.node + sr.node) * 4;
        const int16_t* c1 = c0 + size_t(first) * 4;
        const int16_t* c2 = c0 + size_t(second) * 4;
        const int16_t* c3 = c0 + size_t(kStrideB + kStrideG + kStrideR) * 4;
        constexpr int kShift = kValueShift + kWeightBits;
#if defined(__SSE2__) && defined(__x86_64__)
        const auto load = [](const int16_t* c) {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(c));
        };
        // Pairs of corners interleaved, each pair weighted by one multiply-add.
        const __m128i near =
            _mm_madd_epi16(_mm_unpacklo_epi16(load(c0), load(c1)),
                           _mm_set1_epi32(int32_t(uint32_t(w1) << 16 | uint32_t(w0))));
        const __m128i far =
            _mm_madd_epi16(_mm_unpacklo_epi16(load(c2), load(c3)),
                           _mm_set1_epi32(int32_t(uint32_t(w3) << 16 | uint32_t(w2))));
        __m128i sum = _mm_add_epi32(_mm_add_epi32(near, far), _mm_set1_epi32(1 << (kShift - 1)));
        sum = _mm_srai_epi32(sum, kShift);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(sum, sum), sum);
        const uint32_t lanes = uint32_t(_mm_cvtsi128_si32(bytes));
        p[0] = uint8_t(lanes);
        p[1] = uint8_t(lanes >> 8);
        p[2] = uint8_t(lanes >> 16);
#else
        for (int i = 0; i < 3; ++i) {
            const int32_t v =
                (c0[i] * w0 + c1[i] * w1 + c2[i] * w2 + c3[i] * w3 + (1 << (kShift - 1))) >> kShift;
            p[i] = uint8_t(std::clamp(v, int32_t(0), int32_t(255)));
        }
#endif
    }
}

DisplayColour::~DisplayColour() {
    if (transform_) cmsDeleteTransform(transform_);
}

std::shared_ptr<const DisplayColour> DisplayColour::make(const std::vector<uint8_t>& icc) {
    Profile source(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
    if (!source) return nullptr;
    // Only a device profile of RGB pictures can take the decoded blue, green, red bytes.
    const cmsProfileClassSignature kind = cmsGetDeviceClass(source.get());
    if (cmsGetColorSpace(source.get()) != cmsSigRgbData || kind == cmsSigLinkClass ||
        kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass)
        return nullptr;
    Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb) return nullptr;
    std::shared_ptr<DisplayColour> made(new DisplayColour);
    // No one-pixel cache inside the transform: the thumbnail threads and the window share it.
    made->transform_ = cmsCreateTransform(source.get(), TYPE_BGR_8, srgb.get(), TYPE_BGR_8, kIntent,
                                          cmsFLAGS_NOCACHE);
    if (!made->transform_) return nullptr;

    const std::vector<uint8_t> samples = sampleColours();
    const cmsUInt32Number count = cmsUInt32Number(samples.size() / 3);
    std::vector<uint8_t> reference(samples.size());
    cmsDoTransform(made->transform_, samples.data(), reference.data(), count);
    if (reference == samples) return nullptr;  // sRGB, or as good as

    if (cmsIsMatrixShaper(source.get())) {
        auto tables = std::make_unique<Tables>();
        std::vector<uint8_t> fast = samples;
        if (tables->build(source.get())) tables->run(fast.data(), count);
        // The tables are used only where they agree with lcms2's own transform.
        bool agree = true;
        for (size_t i = 0; i < fast.size() && agree; ++i)
            agree = std::abs(int(fast[i]) - int(reference[i])) <= 1;
        if (agree) made->tables_ = std::move(tables);
    }
    if (!made->tables_) {
        auto grid = std::make_unique<Grid>();
        std::vector<uint8_t> fast = samples;
        if (grid->build(source.get(), srgb.get())) grid->run(fast.data(), count);
        bool agree = true;
        for (size_t i = 0; i < fast.size() && agree; ++i)
            agree = std::abs(int(fast[i]) - int(reference[i])) <= 1;
        if (agree) made->grid_ = std::move(grid);
    }
    return made;
}

std::shared_ptr<const DisplayColour> DisplayColour::forProfile(const std::vector<uint8_t>& icc) {
    if (icc.empty()) return nullptr;
    std::lock_guard<std::mutex> lock(cacheMutex);
    const auto hit = std::find_if(cache.begin(), cache.end(),
                                  [&](const CacheEntry& entry) { return entry.icc == icc; });
    if (hit != cache.end()) {
        std::rotate(cache.begin(), hit, hit + 1);
        return cache.front().transform;
    }
    // Out of memory the photo is only shown with its own values.
    try {
        std::shared_ptr<const DisplayColour> made = make(icc);
        if (cache.size() == kCacheSize) cache.pop_back();
        cache.insert(cache.begin(), CacheEntry{icc, made});
        return made;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::vector<uint8_t> DisplayColour::adobeRgbProfile() {
    Profile profile = makeAdobeRgb();
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) return {};
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return {};
    return bytes;
}

namespace {

std::vector<uint8_t> profileBytes(const Profile& profile) {
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) return {};
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return {};
    return bytes;
}

// The transfer's decoding (the code's value to linear light) as an lcms2 parametric curve;
// null for what none of them describes.
cmsToneCurve* cicpCurve(int transfer) {
    // Type 4: (a x + b) ^ g from d on, c x below.
    const auto piecewise = [](double g, double a, double b, double c, double d) {
        const cmsFloat64Number p[5] = {g, a, b, c, d};
        return cmsBuildParametricToneCurve(nullptr, 4, p);
    };
    switch (transfer) {
        case 1:  // BT.709, and BT.601 and BT.2020 with the same curve: the camera's encoding
        case 6:  // undone, as browsers show these pictures
        case 11:
        case 14:
        case 15:
            return piecewise(1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081);
        case 2:   // unspecified: an untagged picture is taken as sRGB
        case 13:  // sRGB
            return piecewise(2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045);
        case 4:
            return cmsBuildGamma(nullptr, 2.2);
        case 5:
            return cmsBuildGamma(nullptr, 2.8);
        case 7:  // SMPTE 240M
            return piecewise(1 / 0.45, 1 / 1.1115, 0.1115 / 1.1115, 1 / 4.0, 0.0912);
        case 8:
            return cmsBuildGamma(nullptr, 1.0);
        default:  // logarithmic, PQ, HLG, unknown
            return nullptr;
    }
}

struct CicpColours {
    cmsCIExyYTRIPLE primaries;
    cmsCIExyY white;
};

// The primaries and white of H.273's colour primaries codes; false for unknown ones (and for
// 10, CIE XYZ itself, which no photo uses).
bool cicpColours(int code, CicpColours& out) {
    constexpr cmsCIExyY kIlluminantC{0.310, 0.316, 1.0};
    switch (code) {
        case 1:
        case 2:  // unspecified: sRGB's, as for an untagged picture
            out = {{{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, kD65};
            return true;
        case 4:
            out = {{{0.67, 0.33, 1}, {0.21, 0.71, 1}, {0.14, 0.08, 1}}, kIlluminantC};
            return true;
        case 5:
            out = {{{0.64, 0.33, 1}, {0.29, 0.60, 1}, {0.15, 0.06, 1}}, kD65};
            return true;
        case 6:
        case 7:
            out = {{{0.630, 0.340, 1}, {0.310, 0.595, 1}, {0.155, 0.070, 1}}, kD65};
            return true;
        case 8:
            out = {{{0.681, 0.319, 1}, {0.243, 0.692, 1}, {0.145, 0.049, 1}}, kIlluminantC};
            return true;
        case 9:
            out = {{{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}}, kD65};
            return true;
        case 11:  // DCI-P3, with the projector's white
            out = {{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, {0.314, 0.351, 1.0}};
            return true;
        case 12:  // Display P3
            out = {{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, kD65};
            return true;
        case 22:
            out = {{{0.630, 0.340, 1}, {0.295, 0.605, 1}, {0.155, 0.077, 1}}, kD65};
            return true;
        default:
            return false;
    }
}

}  // namespace

std::vector<uint8_t> DisplayColour::cicpProfile(int primaries, int transfer) {
    // sRGB as declared: shown as an untagged picture is, bit for bit.
    const bool srgbPrimaries = primaries == 1 || primaries == 2;
    const bool srgbTransfer = transfer == 13 || transfer == 2;
    CicpColours colours{};
    if ((srgbPrimaries && srgbTransfer) || !cicpColours(primaries, colours)) return {};
    cmsToneCurve* curve = cicpCurve(transfer);
    if (!curve) return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    Profile profile(cmsCreateRGBProfile(&colours.white, &colours.primaries, curves));
    cmsFreeToneCurve(curve);
    return profileBytes(profile);
}

std::shared_ptr<const DisplayColour> DisplayColour::forCicp(int primaries, int transfer) {
    // The profile is made once per pair of codes; its transform is the cache's.
    static std::mutex mutex;
    static std::vector<std::pair<int64_t, std::vector<uint8_t>>> made;
    const int64_t key = int64_t(primaries) << 32 | uint32_t(transfer);
    std::vector<uint8_t> bytes;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto hit = std::find_if(made.begin(), made.end(),
                                      [&](const auto& entry) { return entry.first == key; });
        if (hit != made.end()) {
            bytes = hit->second;
        } else {
            bytes = cicpProfile(primaries, transfer);
            if (made.size() < 64) made.emplace_back(key, bytes);
        }
    }
    return forProfile(bytes);
}

std::shared_ptr<const DisplayColour> DisplayColour::forAdobeRgb() {
    static const std::vector<uint8_t> bytes = adobeRgbProfile();
    return forProfile(bytes);
}

void DisplayColour::convertRow(uint8_t* bgr, size_t count) const {
    if (count == 0) return;
    if (tables_)
        tables_->run(bgr, count);
    else if (grid_)
        grid_->run(bgr, count);
    else
        cmsDoTransform(transform_, bgr, bgr, cmsUInt32Number(count));
}

namespace {

// Rows first..last of a view's worth of pixels, the lower half on a second core: a repaint
// waits for the conversion, and starting a thread costs far less than half of it.
constexpr size_t kSplitPixels = size_t(1) << 18;

template <class ConvertRows>
void convertInHalves(int32_t first, int32_t last, size_t width, ConvertRows convertRows) {
    const int32_t rows = last - first;
    if (rows < 2 || size_t(rows) * width < kSplitPixels ||
        std::thread::hardware_concurrency() < 2) {
        convertRows(first, last);
        return;
    }
    const int32_t middle = first + rows / 2;
    std::thread lower;
    try {
        lower = std::thread([&] { convertRows(middle, last); });
    } catch (const std::system_error&) {
        convertRows(first, last);  // no thread to be had: all of it here
        return;
    }
    convertRows(first, middle);
    lower.join();
}

}  // namespace

void DisplayColour::convertSurface(Surface& surface, const SurfaceRect& rect) const {
    const SurfaceRect area = rect.intersect(SurfaceRect{0, 0, surface.width(), surface.height()});
    if (area.isEmpty()) return;
    const size_t width = size_t(area.right - area.left);
    convertInHalves(area.top, area.bottom, width, [&](int32_t from, int32_t to) {
        for (int32_t y = from; y < to; ++y)
            convertRow(surface.scanLine(y) + size_t(area.left) * 3, width);
    });
}

bool DisplayColour::convertImage(DibImage& image) const {
    if (!image.isValid()) return false;
    if (image.bitCount() == 24) {
        convertInHalves(0, image.height(), size_t(image.width()), [&](int32_t from, int32_t to) {
            for (int32_t y = from; y < to; ++y) convertRow(image.row(y), size_t(image.width()));
        });
        return true;
    }
    // A paletted picture shows only its colour table's colours.
    RgbQuad* palette = image.paletteBase();
    const size_t entries = image.paletteSize() / 4;
    if (!palette || entries == 0) return true;
    std::vector<uint8_t> bgr(entries * 3);
    for (size_t i = 0; i < entries; ++i) {
        bgr[i * 3] = palette[i].blue;
        bgr[i * 3 + 1] = palette[i].green;
        bgr[i * 3 + 2] = palette[i].red;
    }
    convertRow(bgr.data(), entries);
    for (size_t i = 0; i < entries; ++i) {
        palette[i].blue = bgr[i * 3];
        palette[i].green = bgr[i * 3 + 1];
        palette[i].red = bgr[i * 3 + 2];
    }
    return true;
}
