// libFuzzer target for the WebP decoder: stills, animations' first frames and their alpha must
// all save again.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzDecoder(
        data, size,
        {.type = WEBP, .saveType = WEBP, .maxSavePixels = 1024, .saveMustSucceed = true});
}
