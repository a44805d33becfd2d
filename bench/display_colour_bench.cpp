// The display conversion of a 1280 x 850 view from Display P3 and Adobe RGB to sRGB: the cost
// it adds to every repaint of a tagged photo, and the making of the transform once per profile.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <algorithm>
#include <vector>

#include "enhance/photo_edit.h"
#include "image/display_colour.h"
#include "support/icc_profiles.h"

namespace {

constexpr int32_t kWidth = 1280, kHeight = 850;

// A photo-like view: gradients with some texture and, when asked, a camera's grain (each
// channel off by up to 4 levels, so that neighbours differ in the order of their channels).
Surface viewPicture(bool grain = false) {
    Surface s(kWidth, kHeight);
    uint32_t noise = 2463534242u;
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* p = s.scanLine(y);
        for (int32_t x = 0; x < kWidth; ++x, p += 3) {
            const uint8_t tex = uint8_t((x * 7 + y * 13) % 32);
            p[0] = uint8_t(x * 220 / kWidth + tex / 2);
            p[1] = uint8_t((x + y) * 150 / (kWidth + kHeight) + tex);
            p[2] = uint8_t(y * 200 / kHeight + tex);
            for (int c = 0; grain && c < 3; ++c) {
                noise ^= noise << 13;
                noise ^= noise >> 17;
                noise ^= noise << 5;
                p[c] = uint8_t(std::clamp(int(p[c]) + int(noise & 7) - 4, 0, 255));
            }
        }
    }
    return s;
}

void convertView(benchmark::State& state, const std::vector<uint8_t>& icc, bool grain = false) {
    const auto transform = DisplayColour::forProfile(icc);
    if (!transform) {
        state.SkipWithError("no transform");
        return;
    }
    const Surface picture = viewPicture(grain);
    Surface s(kWidth, kHeight);
    for (auto _ : state) {
        state.PauseTiming();
        for (int32_t y = 0; y < kHeight; ++y)  // converting in place would saturate the colours
            std::copy_n(picture.scanLine(y), size_t(kWidth) * 3, s.scanLine(y));
        state.ResumeTiming();
        transform->convertSurface(s, SurfaceRect{0, 0, kWidth, kHeight});
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_ConvertViewP3(benchmark::State& state) {
    convertView(state, icc_profiles::displayP3());
}

void BM_ConvertViewAdobeRgb(benchmark::State& state) {
    convertView(state, icc_profiles::adobeRgb());
}

// A table profile (a camera's) goes through the grid of lcms2's optimized transform.
void BM_ConvertViewP3Table(benchmark::State& state) {
    convertView(state, icc_profiles::displayP3Table(), state.range(0) == 1);
    state.SetLabel(state.range(0) == 1 ? "with grain" : "smooth");
}

// Without the cache: what the first repaint of a photo with a new profile pays.
void BM_MakeTransformP3(benchmark::State& state) {
    std::vector<uint8_t> icc = icc_profiles::displayP3();
    uint16_t salt = 0;
    for (auto _ : state) {
        // Another device maker in the header makes it a profile the cache has not seen.
        ++salt;
        icc[44] = uint8_t(salt >> 8);
        icc[45] = uint8_t(salt);
        benchmark::DoNotOptimize(DisplayColour::forProfile(icc));
    }
}

// What a view does at every repaint: the planes painted onto its frame and, for a photo with
// a Display P3 profile (1), converted; 0 is an untagged photo. (Painting and converting a
// band of rows at a time, while it is in cache, measured no faster.)
void BM_PaintAndConvert(benchmark::State& state) {
    const auto colour =
        state.range(0) == 1 ? DisplayColour::forProfile(icc_profiles::displayP3()) : nullptr;
    PhotoEdit photo;
    photo.image.create(kWidth, kHeight, 24, 0);
    Surface picture = viewPicture();
    for (int32_t y = 0; y < kHeight; ++y)
        std::copy_n(picture.scanLine(y), size_t(kWidth) * 3, photo.image.row(kHeight - 1 - y));
    photo.splitChannels();
    Surface frame(kWidth, 1000);
    for (auto _ : state) {
        photo.paintPlanes(&frame, SurfaceRect{0, 0, kWidth, 1000}, false, false);
        if (colour) colour->convertSurface(frame, SurfaceRect{0, 0, kWidth, kHeight});
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetLabel(colour ? "Display P3" : "untagged");
}

}  // namespace

BENCHMARK(BM_PaintAndConvert)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertViewP3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertViewAdobeRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertViewP3Table)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeTransformP3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
