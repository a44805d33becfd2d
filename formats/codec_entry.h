// The decode and encode entries of the format table: one template pair that runs any codec
// class (a DibImage of its own that decodes into itself or encodes what it borrows) with the
// decode budget, the reduced-size wish, and failures that always say something.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "formats/codec_error.h"
#include "formats/data_bound.h"
#include "formats/format_table.h"
#include "formats/image_stream.h"
#include "image/dib_image.h"

namespace formats {

// Sets the image's lastError to message, serialised: the same picture may be saved from
// several threads at once (defined with the dispatch).
void reportSaveResult(const DibImage& image, const char* message);

// Runs a codec's decode or encode; what it throws becomes its lastError and a failure.
template <class Step>
bool guarded(DibImage& codec, Step step) {
    try {
        return step();
    } catch (const CodecFailure& failure) {
        codec.setLastError(failure.message.c_str());
    } catch (const std::bad_alloc&) {
        codec.setLastError("Can't allocate memory");
    }
    return false;
}

// Codec objects live on the heap: the GIF codec's tables are too large for a worker's stack.
// Multi-picture formats (kFrames) read the picture the image's info.frameIndex names.
template <class Codec, bool kFrames = false>
bool decodeWith(DibImage& image, ImageStream& stream, const DecodeRequest& request) {
    auto codec = std::make_unique<Codec>();
    // A budget the caller set on the image lowers the file's own (a fuzz harness keeps its
    // runs short so); an image without one leaves the file's.
    codec->setDecodeBudget(std::min(image.decodeBudget(), decodeBudgetFor(bytesLeft(stream))));
    if constexpr (kFrames) codec->info.frameIndex = image.info.frameIndex;
    if constexpr (requires { codec->minWidth = 0; }) {
        codec->minWidth = request.minWidth;
        codec->minHeight = request.minHeight;
    }
    if constexpr (requires { codec->progress = request.progress; })
        codec->progress = request.progress;
    const bool ok = guarded(*codec, [&] { return codec->decode(stream); });
    codec->setDecodeBudget(UINT64_MAX);
    if (ok && codec->isValid()) {
        image.transfer(*codec);
        return true;
    }
    if (!codec->lastError()[0]) {
        const std::string message = std::string("Error reading ") + formatName(codec->type()) +
                                    " file" + (ok ? ": no picture in it" : "");
        codec->setLastError(message.c_str());
    }
    image.setLastError(codec->lastError());
    return false;
}

template <class Codec>
bool encodeWith(const DibImage& image, ImageStream& stream) {
    auto codec = std::make_unique<Codec>();
    // The codec shows the image without owning or copying it. Every encoder only reads what
    // it shows and works on its own copies of what it changes (palette, rows, header), so
    // the image is left exactly as it was.
    codec->borrow(const_cast<DibImage&>(image));
    // Codecs with a quality of their own (WebP) take the image's, as JPEG does.
    if constexpr (requires { codec->quality = 0; }) codec->quality = image.info.jpegQuality;
    const bool ok = guarded(*codec, [&] { return codec->encode(stream); });
    if (!ok && !codec->lastError()[0]) {
        const std::string message =
            std::string("Error writing ") + formatName(codec->type()) + " file";
        codec->setLastError(message.c_str());
    }
    reportSaveResult(image, ok ? "" : codec->lastError());
    return ok;
}

}  // namespace formats
