// libFuzzer target for the HEIF/AVIF decoder: any bytes through the table (as AVIF when the
// brands say so, else HEIF); small pictures are written as JPEG, as the batch saves them.
#include "formats/heif/heif_codec.h"
#include "fuzz/fuzz_decoder.h"

// libheif 1.15 leaves a dav1d data buffer unreleased when the AV1 decoder rejects an item (40
// bytes per damaged file); that leak is the library's, not this decoder's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdav1d.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t type = isAvifSignature(data, size < 32 ? size : 32) ? AVIF : HEIF;
    return fuzzDecoder(data, size, {.type = type, .saveType = JPEG, .saveMustSucceed = true});
}
