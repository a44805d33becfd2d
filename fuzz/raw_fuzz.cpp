// libFuzzer target for the RAW decoder through its format table entry, from an in-memory FILE*
// with a 1 MB budget and a reduced decode (embedded preview or half size). Parsing and
// unpacking are the same as for the full development, whose demosaic alone takes some 25 ms a
// run under the sanitizers (LibRaw's tile buffers are megabytes) and would starve the search.
// The seeds are at least 24 pixels wide, so an 8 x 8 wish takes the half-size path.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "formats/format_table.h"
#include "formats/image_stream.h"
#include "image/dib_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    DibImage image;
    image.setDecodeBudget(uint64_t(1) << 20);
    bool loaded;
    {
        ImageStream stream(file);
        loaded = formats::formatEntry(RAW)->decode(image, stream, {8, 8, nullptr});
    }
    std::fclose(file);
    image.setDecodeBudget(UINT64_MAX);
    if (!loaded) return 0;
    // Every byte of every row is read, so that a short picture shows under the sanitizers.
    unsigned sum = 0;
    for (int32_t y = 0; y < image.height(); ++y)
        for (uint32_t i = 0; i < image.stride(); ++i) sum += image.row(y)[i];
    if (sum == 0xFFFFFFFFu || image.bitCount() != 24 || image.type() != RAW) std::abort();
    return 0;
}
