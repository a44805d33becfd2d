// The benches' folders of made-up photos: made once with every core, then kept in the bench
// data folder (a "complete" mark tells a whole folder from one cut short).
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

}  // namespace bench_photos
