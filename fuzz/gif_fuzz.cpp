// libFuzzer target for the GIF decoder: any bytes through the dispatch; what loads is saved again.
// Pictures stay within a quarter megabyte and only the smaller ones are saved: LZW coding each
// pixel twice over under the sanitizers would otherwise take most of the search's time.
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzDecoder(data, size,
                       {.type = GIF, .saveType = GIF, .decodeBudget = uint64_t(1) << 18});
}
