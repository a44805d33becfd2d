// libFuzzer target for the PNG decoder: the input is read through the format dispatch from an
// in-memory FILE*; pictures that load are checked pixel by pixel and small ones written back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "formats/image_stream.h"
#include "image/dib_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    DibImage image;
    bool loaded;
    {
        ImageStream stream(file);
        loaded = image.loadFromStream(stream, PNG);
    }
    std::fclose(file);
    if (!loaded) return 0;

    // Touch every pixel and alpha byte so a short or misplaced row shows under the sanitizers.
    unsigned sum = 0;
    for (int32_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = image.row(y);
        for (uint32_t i = 0; i < image.stride(); ++i) sum += row[i];
        for (int32_t x = 0; x < image.width(); ++x) sum += image.alphaGet(x, y);
    }
    if (sum == 0xFFFFFFFFu) std::abort();  // keeps the loops from being optimised away

    // Whatever the decoder set up (transparent index, palette alpha, alpha plane) must save.
    if (int64_t(image.width()) * image.height() <= 4096) {
        char* buffer = nullptr;
        size_t length = 0;
        FILE* out = open_memstream(&buffer, &length);
        if (!out) return 0;
        bool saved;
        {
            ImageStream stream(out);
            saved = image.saveToStream(stream, PNG);
        }
        std::fclose(out);
        std::free(buffer);
        if (!saved) std::abort();
    }
    return 0;
}
