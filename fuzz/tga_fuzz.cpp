// Fuzz target for the Targa reader: any bytes loaded as a TGA file would be; a picture that
// loads is saved again as TGA, so the writer meets every shape the reader can produce.
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
    {
        ImageStream stream(file);
        image.loadFromStream(stream, TGA);
    }
    std::fclose(file);
    if (!image.isValid()) return 0;

    char* buffer = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&buffer, &length);
    if (!out) return 0;
    {
        ImageStream stream(out);
        image.saveToStream(stream, TGA);
    }
    std::fclose(out);
    std::free(buffer);
    return 0;
}
