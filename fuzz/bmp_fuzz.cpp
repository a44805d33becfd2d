// libFuzzer target for the BMP decoder: arbitrary bytes through loadFromStream; whatever loads
// is saved again, so the encoder sees odd pictures too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "formats/image_stream.h"
#include "image/dib_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* input = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!input) return 0;
    DibImage image;
    bool loaded;
    {
        ImageStream stream(input);
        loaded = image.loadFromStream(stream, BMP);
    }
    std::fclose(input);
    // Saving is checked on pictures of ordinary size; writing out a quarter-gigapixel
    // picture that a 30-byte header declared only slows the search down.
    if (!loaded || int64_t(image.width()) * image.height() > (int64_t(1) << 20)) return 0;

    char* buffer = nullptr;
    size_t length = 0;
    FILE* output = open_memstream(&buffer, &length);
    if (!output) return 0;
    {
        ImageStream stream(output);
        image.saveToStream(stream, BMP);
    }
    std::fclose(output);
    std::free(buffer);
    return 0;
}
