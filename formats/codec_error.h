// How a codec abandons a half-done read or write: it raises its message and the catch at
// the end of decode/encode copies it into lastError.
#pragma once

#include <string>

#include "image/dib_image.h"

struct CodecFailure {
    std::string message;
};

[[noreturn]] inline void raiseCodecFailure(const char* message) {
    throw CodecFailure{message};
}

// A refused create has left its reason ("Image too large: W x H", ...) in the codec's
// lastError; it is passed on as it is.
[[noreturn]] inline void raiseCreateFailure(const DibImage& codec) {
    raiseCodecFailure(codec.lastError());
}

// The message of every type or direction that has no codec.
inline constexpr const char* kUnsupportedFormat = "Unsupported operation for this format";
