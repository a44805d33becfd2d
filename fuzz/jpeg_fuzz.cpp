// libFuzzer target for the JPEG decoder: any bytes through the dispatch; small pictures are written
// back.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzDecoder(data, size, {.type = JPEG, .saveType = JPEG});
}
