// Expected pictures stored as binary PPM files, and their comparison with decoded images.
#include "support/ppm.h"

#include <fstream>

namespace testing_support {

Ppm readPpm(const std::string& path) {
    Ppm ppm;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> ppm.width >> ppm.height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255 || ppm.width <= 0 || ppm.height <= 0) return Ppm{};
    ppm.rgb.resize(size_t(ppm.width) * ppm.height * 3);
    in.read(reinterpret_cast<char*>(ppm.rgb.data()), std::streamsize(ppm.rgb.size()));
    return ppm;
}

::testing::AssertionResult samePixels(const DibImage& img, const Ppm& ppm) {
    if (ppm.width == 0) return ::testing::AssertionFailure() << "no expected picture";
    if (img.width() != ppm.width || img.height() != ppm.height)
        return ::testing::AssertionFailure() << "size " << img.width() << "x" << img.height();
    for (int y = 0; y < ppm.height; ++y)
        for (int x = 0; x < ppm.width; ++x) {
            const uint8_t* want = &ppm.rgb[(size_t(y) * ppm.width + x) * 3];
            const RgbQuad got = img.getPixelColor(x, img.height() - 1 - y);
            if (got.red != want[0] || got.green != want[1] || got.blue != want[2])
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << " from the top) is " << int(got.red) << ","
                       << int(got.green) << "," << int(got.blue) << ", want " << int(want[0]) << ","
                       << int(want[1]) << "," << int(want[2]);
        }
    return ::testing::AssertionSuccess();
}

}  // namespace testing_support
