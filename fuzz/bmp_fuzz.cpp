// libFuzzer target for the BMP decoder: any bytes through the dispatch; what loads is saved again.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzDecoder(data, size,
                       {.type = BMP, .saveType = BMP, .maxSavePixels = int64_t(1) << 20});
}
