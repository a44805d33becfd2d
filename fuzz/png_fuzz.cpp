// libFuzzer target for the PNG decoder: whatever the decoder set up (transparent index, palette
// alpha, alpha plane) must save.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzDecoder(
        data, size, {.type = PNG, .saveType = PNG, .maxSavePixels = 4096, .saveMustSucceed = true});
}
