// libFuzzer target for the JPEG XL reader: what it decodes must save as JPEG, the format a
// JPEG XL photo is written as.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzDecoder(
        data, size,
        {.type = JXL, .saveType = JPEG, .maxSavePixels = 4096, .saveMustSucceed = true});
}
