// libFuzzer target for the RAW decoder: the codec itself from an in-memory FILE*, with a 1 MB
// budget; an odd size asks for a reduced picture (embedded preview or half size), an even one
// for the full development.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "formats/image_stream.h"
#include "formats/raw/raw_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    auto codec = std::make_unique<RawCodec>();
    codec->setDecodeBudget(uint64_t(1) << 20);
    if (size & 1) codec->minWidth = codec->minHeight = 16;
    bool loaded;
    {
        ImageStream stream(file);
        loaded = codec->decode(stream);
    }
    std::fclose(file);
    codec->setDecodeBudget(UINT64_MAX);
    if (!loaded) return 0;
    // Every byte of every row is read, so that a short picture shows under the sanitizers.
    unsigned sum = 0;
    for (int32_t y = 0; y < codec->height(); ++y)
        for (uint32_t i = 0; i < codec->stride(); ++i) sum += codec->row(y)[i];
    if (sum == 0xFFFFFFFFu || codec->bitCount() != 24) std::abort();
    return 0;
}
