// libFuzzer target for the PCX decoder: PCX has no writer, so what loads is saved as TGA and
// the writer meets every shape this reader makes.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzDecoder(data, size,
                       {.type = PCX, .saveType = TGA, .maxSavePixels = int64_t(1) << 28});
}
