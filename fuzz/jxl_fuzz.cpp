// libFuzzer target for the JPEG XL reader, driven straight through the codec with the same
// small decode budget as the other decoders' targets; every pixel and alpha byte is read.
#include <cstdio>
#include <cstdlib>

#include "formats/image_stream.h"
#include "formats/jxl/jxl_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    JxlCodec codec;
    codec.setDecodeBudget(uint64_t(1) << 20);
    bool loaded;
    {
        ImageStream stream(file);
        loaded = codec.decode(stream);
    }
    codec.setDecodeBudget(UINT64_MAX);
    std::fclose(file);
    if (!loaded) return 0;
    if (!codec.isValid()) std::abort();
    unsigned sum = 0;
    for (int32_t y = 0; y < codec.height(); ++y)
        for (uint32_t i = 0; i < codec.stride(); ++i) sum += codec.row(y)[i];
    if (const uint8_t* alpha = codec.alphaPlane())
        for (size_t i = 0; i < size_t(codec.width()) * size_t(codec.height()); ++i) sum += alpha[i];
    if (sum == 0xFFFFFFFFu) std::abort();  // keeps the loops from being optimised away
    return 0;
}
