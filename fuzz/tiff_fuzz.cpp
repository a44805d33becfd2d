// libFuzzer target for the TIFF decoder: the input is read through the format dispatch from
// an in-memory FILE* (page 0, or page 1 when the size is odd); small results are written back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "formats/image_stream.h"
#include "image/dib_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    DibImage image;
    image.info.frameIndex = int32_t(size & 1);
    bool loaded;
    {
        ImageStream stream(file);
        loaded = image.loadFromStream(stream, TIFF);
    }
    std::fclose(file);
    if (!loaded) return 0;

    // Touch every pixel and alpha byte so a short or misplaced row shows under the sanitizers.
    unsigned sum = 0;
    for (int32_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = image.row(y);
        for (uint32_t i = 0; i < image.stride(); ++i) sum += row[i];
    }
    if (const uint8_t* alpha = image.alphaPlane())
        for (size_t i = 0; i < size_t(image.width()) * size_t(image.height()); ++i) sum += alpha[i];
    if (sum == 0xFFFFFFFFu) std::abort();  // keeps the loops from being optimised away

    if (int64_t(image.width()) * image.height() <= 256 * 256) {
        char* buffer = nullptr;
        size_t length = 0;
        FILE* out = open_memstream(&buffer, &length);
        if (out) {
            {
                ImageStream stream(out);
                image.saveToStream(stream, TIFF);
            }
            std::fclose(out);
            std::free(buffer);
        }
    }
    return 0;
}
