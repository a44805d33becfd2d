// Small deterministic pictures and file helpers shared by the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "image/dib_image.h"

namespace testing_support {

// The awkward test picture: a 6 x 5 "F" in red on blue (no symmetry, odd size).
DibImage makeF();

// A seeded random picture of the given bit depth (1, 4, 8 or 24); paletted ones get a
// random palette. With withAlpha a random alpha plane is added.
DibImage randomImage(int32_t width, int32_t height, uint32_t bitCount, uint32_t seed,
                     bool withAlpha = false);

// True when both images have the same size, depth, palette, pixels (row padding ignored)
// and alpha plane. On a difference, *why says where.
bool sameImage(const DibImage& a, const DibImage& b, std::string* why = nullptr);

// A fresh empty directory under the system's temporary folder, removed by the destructor.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The folder of committed test files (tests/data).
std::string dataPath(const std::string& relative);

}  // namespace testing_support
