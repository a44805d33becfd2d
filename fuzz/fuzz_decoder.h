// The body every decoder's fuzz target shares: load arbitrary bytes through the dispatch from
// an in-memory FILE*, read every pixel and alpha byte, and save small pictures again. The load
// runs with a small decode budget: a header claiming a big picture meets the same refusal as
// in a real load, only sooner, so the search spends its time on the decoders' paths rather
// than on filling and reading tens of megabytes per run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "formats/image_stream.h"
#include "image/dib_image.h"

struct FuzzDecoderOptions {
    uint32_t type;           // the format to load as
    int32_t saveType = -1;   // the format to save as again; -1 for none (PCX has no writer)
    int32_t frameIndex = 0;  // which picture of a multi-picture file
    // Writing out a quarter-gigapixel picture that a 30-byte header declared only slows the
    // search down: saving is exercised on pictures of ordinary size.
    int64_t maxSavePixels = 256 * 256;
    bool saveMustSucceed = false;  // a picture the decoder produced must always save
    // What one load may allocate for its picture and working memory.
    uint64_t decodeBudget = uint64_t(1) << 20;
};

inline int fuzzDecoder(const uint8_t* data, size_t size, const FuzzDecoderOptions& options) {
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    DibImage image;
    image.info.frameIndex = options.frameIndex;
    image.setDecodeBudget(options.decodeBudget);
    bool loaded;
    {
        ImageStream stream(file);
        loaded = image.loadFromStream(stream, options.type);
    }
    image.setDecodeBudget(UINT64_MAX);
    std::fclose(file);
    if (!loaded) return 0;

    // Touch every pixel and alpha byte so a short or misplaced row shows under the sanitizers.
    unsigned sum = 0;
    for (int32_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = image.row(y);
        for (uint32_t i = 0; i < image.stride(); ++i) sum += row[i];
    }
    if (const uint8_t* alpha = image.alphaPlane())
        for (size_t i = 0; i < size_t(image.width()) * size_t(image.height()); ++i) sum += alpha[i];
    if (sum == 0xFFFFFFFFu) std::abort();  // keeps the loops from being optimised away

    if (options.saveType < 0 || int64_t(image.width()) * image.height() > options.maxSavePixels)
        return 0;
    char* buffer = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&buffer, &length);
    if (!out) return 0;
    bool saved;
    {
        ImageStream stream(out);
        saved = image.saveToStream(stream, uint32_t(options.saveType));
    }
    std::fclose(out);
    std::free(buffer);
    if (options.saveMustSucceed && !saved) std::abort();
    return 0;
}
