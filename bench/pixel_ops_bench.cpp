// Speed of the pixel operations on a 6000 x 4000 24-bit photo, each beside its per-pixel
// reference on the same picture. Rates are megapixels per second of CPU time.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "image/dib_image.h"
#include "support/reference_ops.h"

namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000;

DibImage makePicture(int32_t w, int32_t h) {
    DibImage img(w, h, 24, BMP);
    std::mt19937 rng(2024);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* r = img.row(y);
        for (int32_t x = 0; x < w * 3; x += 3) {
            // Smooth gradients with noise, closer to a photo than pure noise.
            const uint32_t n = rng();
            r[x] = uint8_t((x / 3 * 255 / w + (n & 31)) & 0xFF);
            r[x + 1] = uint8_t((y * 255 / h + (n >> 8 & 31)) & 0xFF);
            r[x + 2] = uint8_t(((x / 3 + y) * 127 / (w + h) + (n >> 16 & 63)) & 0xFF);
        }
    }
    return img;
}

const DibImage& photo() {
    static const DibImage img = makePicture(kWidth, kHeight);
    return img;
}

// Megapixels handled per second of CPU time.
void rate(benchmark::State& state, double pixelsPerIteration) {
    state.counters["MP/s"] = benchmark::Counter(
        pixelsPerIteration * 1e-6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

// Runs op on a fresh copy of the picture each iteration; only op is timed.
template <typename Op>
void onFreshCopy(benchmark::State& state, const DibImage& source, Op op) {
    DibImage work;
    for (auto _ : state) {
        state.PauseTiming();
        work.copyFrom(source, true, true);
        state.ResumeTiming();
        op(work);
        benchmark::DoNotOptimize(work.pixels());
    }
    rate(state, double(source.width()) * source.height());
}

// Runs op again and again on one working copy, for operations whose speed does not depend
// on what earlier runs did to the pixels.
template <typename Op>
void onOneCopy(benchmark::State& state, const DibImage& source, Op op) {
    DibImage work(source);
    for (auto _ : state) {
        op(work);
        benchmark::DoNotOptimize(work.pixels());
    }
    rate(state, double(source.width()) * source.height());
}

const int32_t kSharpen[9] = {-1, -1, -1, -1, 15, -1, -1, -1, -1};

// --- point and colour operations ---

void adjustLight(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { i.adjustLight(10, 110); });
}
void adjustLightRef(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { reference_ops::adjustLight(i, 10, 110); });
}
void colorize(benchmark::State& s) {
    onFreshCopy(s, photo(), [](DibImage& i) { i.colorize(30, 50); });
}
void colorizeRef(benchmark::State& s) {
    onFreshCopy(s, photo(), [](DibImage& i) { reference_ops::colorize(i, 30, 50); });
}
void grayScale(benchmark::State& s) {
    onFreshCopy(s, photo(), [](DibImage& i) { i.grayScale(); });
}
void grayScaleRef(benchmark::State& s) {
    onFreshCopy(s, photo(), [](DibImage& i) { reference_ops::grayScale(i); });
}
void tone(benchmark::State& s) {
    onFreshCopy(s, photo(), [](DibImage& i) { i.tone(); });
}
void toneRef(benchmark::State& s) {
    onFreshCopy(s, photo(), [](DibImage& i) { reference_ops::tone(i); });
}
void negative(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { i.negative(); });
}
void negativeRef(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { reference_ops::negative(i); });
}
void splitChannels(benchmark::State& s) {
    DibImage r, g, b;
    onOneCopy(s, photo(), [&](DibImage& i) { i.splitChannels(&r, &g, &b); });
}
void splitChannelsRef(benchmark::State& s) {
    DibImage r, g, b;
    onOneCopy(s, photo(), [&](DibImage& i) { reference_ops::splitChannels(i, &r, &g, &b); });
}

// One plane OR-ed into the picture per iteration (one third of recombining).
template <bool Reference>
void mixPlane(benchmark::State& s) {
    const DibImage& source = photo();
    DibImage planes[3];
    source.splitChannels(&planes[0], &planes[1], &planes[2]);
    DibImage black(source.width(), source.height(), 24, BMP);
    std::memset(black.pixels(), 0, black.header.imageSize);
    int next = 0;
    onOneCopy(s, black, [&](DibImage& i) {
        if (Reference)
            reference_ops::mix(i, planes[next], 3, 0, 0);
        else
            i.mix(planes[next], 3, 0, 0);
        next = (next + 1) % 3;
    });
}

// --- neighbourhood filter ---

void sharpen(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { i.applyKernel(kSharpen, 3, 7, 0); });
}
void sharpenRef(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { reference_ops::applyKernel(i, kSharpen, 3, 7, 0); });
}

// --- geometry ---

void rotateRight(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { i.rotateRight(); });
}
void rotateRightRef(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { reference_ops::rotateRight(i); });
}
void flip(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { i.flip(); });
}
void flipRef(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { reference_ops::flip(i); });
}
void mirror(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { i.mirror(); });
}
void mirrorRef(benchmark::State& s) {
    onOneCopy(s, photo(), [](DibImage& i) { reference_ops::mirror(i); });
}

// Resampling: the rate counts source pixels; "out MP/s" counts result pixels.
template <bool Reference>
void resampleTo(benchmark::State& s, int32_t w, int32_t h, int mode) {
    const DibImage& source = photo();
    onFreshCopy(s, source, [&](DibImage& i) {
        if (Reference)
            reference_ops::resample(i, w, h, mode);
        else
            i.resample(w, h, mode);
    });
    s.counters["out MP/s"] = benchmark::Counter(double(w) * h * 1e-6 * double(s.iterations()),
                                                benchmark::Counter::kIsRate);
}

// Fitted to 1280 wide (area averaging), doubled (bilinear), a 50-pixel-high thumbnail
// (nearest pixel).
void resampleArea(benchmark::State& s) {
    resampleTo<false>(s, 1280, kHeight * 1280 / kWidth, 0);
}
void resampleAreaRef(benchmark::State& s) {
    resampleTo<true>(s, 1280, kHeight * 1280 / kWidth, 0);
}
void resampleBilinear2x(benchmark::State& s) {
    resampleTo<false>(s, kWidth * 2, kHeight * 2, 0);
}
void resampleBilinear2xRef(benchmark::State& s) {
    resampleTo<true>(s, kWidth * 2, kHeight * 2, 0);
}
void resampleNearestThumb(benchmark::State& s) {
    resampleTo<false>(s, kWidth * 50 / kHeight, 50, 1);
}
void resampleNearestThumbRef(benchmark::State& s) {
    resampleTo<true>(s, kWidth * 50 / kHeight, 50, 1);
}

}  // namespace

#define VFX_PAIR(name)                                            \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->MinTime(0.5); \
    BENCHMARK(name##Ref)->Unit(benchmark::kMillisecond)->MinTime(0.3)

VFX_PAIR(adjustLight);
VFX_PAIR(colorize);
VFX_PAIR(grayScale);
VFX_PAIR(tone);
VFX_PAIR(negative);
VFX_PAIR(splitChannels);
BENCHMARK(mixPlane<false>)->Name("mix")->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(mixPlane<true>)->Name("mixRef")->Unit(benchmark::kMillisecond)->MinTime(0.3);
VFX_PAIR(sharpen);
VFX_PAIR(rotateRight);
VFX_PAIR(resampleArea);
VFX_PAIR(resampleBilinear2x);
VFX_PAIR(resampleNearestThumb);
VFX_PAIR(flip);
VFX_PAIR(mirror);

BENCHMARK_MAIN();
