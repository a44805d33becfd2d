// libFuzzer target for the JPEG decoder: the input is read through the format dispatch from
// an in-memory FILE*, and small pictures that load are written back out as JPEG.
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
    bool loaded;
    {
        ImageStream stream(file);
        loaded = image.loadFromStream(stream, JPEG);
    }
    std::fclose(file);
    if (!loaded) return 0;

    // Touch every pixel so a short or misplaced row shows under the sanitizers.
    unsigned sum = 0;
    for (int32_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = image.row(y);
        for (uint32_t i = 0; i < image.stride(); ++i) sum += row[i];
    }
    if (sum == 0xFFFFFFFFu) std::abort();  // keeps the loop from being optimised away

    if (int64_t(image.width()) * image.height() <= 256 * 256) {
        char* buffer = nullptr;
        size_t length = 0;
        FILE* out = open_memstream(&buffer, &length);
        if (out) {
            {
                ImageStream stream(out);
                image.saveToStream(stream, JPEG);
            }
            std::fclose(out);
            std::free(buffer);
        }
    }
    return 0;
}
