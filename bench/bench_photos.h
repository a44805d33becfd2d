// The benches' made-up photos, their folders (made once with every core, then kept in the
// bench data folder; a "complete" mark tells a whole folder from one cut short) and the
// settings they are corrected with.
#pragma once
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "image/dib_image.h"
#include "workflow/enhancement_settings.h"

namespace bench_photos {

// dir/IMG_0000.JPG ... made by make(path, index) on first use; the folder's path.
template <class Make>
std::string photoFolder(const std::filesystem::path& dir, int count, Make make) {
    if (std::filesystem::exists(dir / "complete")) return dir.string();
    std::filesystem::create_directories(dir);
    std::fprintf(stderr, "making %d photos in %s ...\n", count, dir.c_str());
    std::atomic<int> next{0};
    std::vector<std::thread> makers;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
        makers.emplace_back([&] {
            for (int i; (i = next.fetch_add(1)) < count;) {
                char name[32];
                std::snprintf(name, sizeof name, "IMG_%04d.JPG", i);
                make((dir / name).string(), uint32_t(i));
            }
        });
    for (auto& m : makers) m.join();
    std::ofstream(dir / "complete") << count << "\n";
    return dir.string();
}

// The size of the thumbnail benches' photos: 12 MP.
inline constexpr int kTwelveMpWidth = 4000, kTwelveMpHeight = 3000;

// A photo-like picture: a sky gradient over rolling hills, a textured meadow and fine grain,
// so that JPEG sizes and decode times are those of real photos. The seed varies the hills.
inline DibImage photoPicture(int width, int height, uint32_t seed) {
    DibImage img(width, height, 24, JPEG);
    uint32_t noise = 2463534242u ^ seed * 2654435761u;
    const double phase = double(seed % 97) * 0.37;
    for (int row = 0; row < height; ++row) {
        uint8_t* p = img.row(height - 1 - row);  // rows counted from the top
        const double t = double(row) / height;
        for (int x = 0; x < width; ++x, p += 3) {
            const double u = double(x) / width;
            const double horizon =
                0.45 + 0.08 * std::sin(u * 9.0 + phase) + 0.03 * std::sin(u * 31.0 + 2 * phase);
            int r, g, b;
            if (t < horizon) {
                r = int(95 + 90 * t);
                g = int(145 + 60 * t);
                b = int(215 + 30 * t);
            } else {
                const double d = (t - horizon) * 4.0;
                const int texture =
                    int(18 * std::sin(x * 0.07 + row * 0.11) * std::sin(row * 0.05 - x * 0.013));
                r = int(70 + 60 * d) + texture;
                g = int(120 + 30 * d) + texture;
                b = int(40 + 20 * d) + texture / 2;
            }
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int grain = int(noise % 13) - 6;
            p[0] = uint8_t(std::clamp(b + grain, 0, 255));
            p[1] = uint8_t(std::clamp(g + grain, 0, 255));
            p[2] = uint8_t(std::clamp(r + grain, 0, 255));
        }
    }
    return img;
}

// A 12 MP JPEG at path: sky over textured ground with a camera's grain, so that the files
// have the size and decode cost of real photos.
inline void makePhoto(const std::string& path, uint32_t seed) {
    DibImage img(kTwelveMpWidth, kTwelveMpHeight, 24, JPEG);
    uint32_t noise = 2463534242u ^ (seed * 2654435761u);
    for (int row = 0; row < kTwelveMpHeight; ++row) {
        uint8_t* p = img.row(kTwelveMpHeight - 1 - row);
        const double t = double(row) / kTwelveMpHeight;
        for (int x = 0; x < kTwelveMpWidth; ++x, p += 3) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int grain = int(noise & 15) - 8;
            const double horizon = 0.4 + 0.1 * std::sin(x * 7.0 / kTwelveMpWidth + seed * 0.3);
            const int texture = t < horizon ? 0
                                            : int(30 * std::sin(x * 0.09 + row * 0.13) *
                                                  std::sin(row * 0.041 - x * 0.017 + seed));
            p[0] = uint8_t(
                std::clamp(int(t < horizon ? 210 + 30 * t : 40 + texture / 2) + grain, 0, 255));
            p[1] = uint8_t(
                std::clamp(int(t < horizon ? 140 + 60 * t : 110 + texture) + grain, 0, 255));
            p[2] =
                uint8_t(std::clamp(int(t < horizon ? 90 + 80 * t : 60 + texture) + grain, 0, 255));
        }
    }
    img.saveToFile(path.c_str(), JPEG);
}

// Settings that run every stage of the chain: sharpen, contrast, white balance, brightness and
// a colour row.
inline EnhancementSettings typicalSettings() {
    EnhancementSettings s;
    s.sharpen = 1;
    s.contrast = 10;
    s.whiteBalance = "000c0c0c";
    s.brightness = 5;
    s.redOffset = 3;
    return s;
}

// The folder of count such photos, made on first use.
inline std::string twelveMegapixelFolder(int count) {
    return photoFolder(
        std::filesystem::path(VFX_BENCH_DATA_DIR) / ("thumbnails-" + std::to_string(count)), count,
        [](const std::string& path, uint32_t seed) { makePhoto(path, seed); });
}

}  // namespace bench_photos
