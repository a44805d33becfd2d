// libFuzzer target for the WebP decoder, driven through the codec itself: every picture it
// makes is read whole, and small ones must save again (lossy and lossless by turns).
#include <cstdio>
#include <cstdlib>

#include "formats/image_stream.h"
#include "formats/webp/webp_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    WebpCodec codec;
    // The fuzz budget of the other decoders: a big declared picture meets its refusal sooner.
    codec.setDecodeBudget(uint64_t(1) << 20);
    bool loaded;
    {
        ImageStream stream(file);
        loaded = codec.decode(stream);
    }
    codec.setDecodeBudget(UINT64_MAX);
    std::fclose(file);
    if (!loaded) return 0;

    unsigned sum = 0;
    for (int32_t y = 0; y < codec.height(); ++y)
        for (uint32_t i = 0; i < codec.stride(); ++i) sum += codec.row(y)[i];
    if (const uint8_t* alpha = codec.alphaPlane())
        for (size_t i = 0; i < size_t(codec.width()) * size_t(codec.height()); ++i) sum += alpha[i];
    if (sum == 0xFFFFFFFFu) std::abort();  // keeps the loops from being optimised away

    if (int64_t(codec.width()) * codec.height() > 1024) return 0;
    char* buffer = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&buffer, &length);
    if (!out) return 0;
    codec.lossless = (size & 1) != 0;
    bool saved;
    {
        ImageStream stream(out);
        saved = codec.encode(stream);
    }
    std::fclose(out);
    std::free(buffer);
    if (!saved) std::abort();
    return 0;
}
