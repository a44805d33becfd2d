// Fuzz target for the icon reader: any bytes loaded as a ICO file would be; a picture that
// loads is saved again as ICO, so the writer meets every shape the reader can produce.
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
        image.loadFromStream(stream, ICO);
    }
    std::fclose(file);
    if (!image.isValid()) return 0;

    char* buffer = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&buffer, &length);
    if (!out) return 0;
    {
        ImageStream stream(out);
        image.saveToStream(stream, ICO);
    }
    std::fclose(out);
    std::free(buffer);
    return 0;
}
