// libFuzzer target for the HEIF/AVIF decoder: any bytes straight into the codec from an in-memory
// FILE*, with a 1 MB decode budget; every pixel and alpha byte of a picture is read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "formats/heif/heif_codec.h"
#include "formats/image_stream.h"

// libheif 1.15 leaves a dav1d data buffer unreleased when the AV1 decoder rejects an item (40
// bytes per damaged file); that leak is the library's, not this decoder's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdav1d.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    HeifCodec codec(isAvifSignature(data, size < 32 ? size : 32) ? AVIF : HEIF);
    // An odd last byte asks for a reduced picture, so the thumbnail path is searched too.
    if (data[size - 1] & 1) codec.minWidth = codec.minHeight = 8;
    codec.setDecodeBudget(uint64_t(1) << 20);
    bool ok;
    {
        ImageStream stream(file);
        ok = codec.decode(stream);
    }
    std::fclose(file);
    if (!ok) return 0;
    unsigned sum = 0;
    for (int32_t y = 0; y < codec.height(); ++y)
        for (uint32_t i = 0; i < codec.stride(); ++i) sum += codec.row(y)[i];
    if (const uint8_t* alpha = codec.alphaPlane())
        for (size_t i = 0; i < size_t(codec.width()) * size_t(codec.height()); ++i) sum += alpha[i];
    if (sum == 0xFFFFFFFFu) std::abort();  // keeps the loops from being optimised away
    return 0;
}
