// libFuzzer target for the ICO decoder: a picture that loads is saved again, so the writer meets
// every shape the reader makes.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzDecoder(data, size,
                       {.type = ICO, .saveType = ICO, .maxSavePixels = int64_t(1) << 28});
}
