// libFuzzer target for the TIFF decoder: page 0, or page 1 when the size is odd; small results
// are written back.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzDecoder(data, size,
                       {.type = TIFF, .saveType = TIFF, .frameIndex = int32_t(size & 1)});
}
