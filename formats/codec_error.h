// How a codec abandons a half-done read or write: it raises its message and the catch at
// the end of decode/encode copies it into lastError.
#pragma once

#include <string>

struct CodecFailure {
    std::string message;
};

[[noreturn]] inline void raiseCodecFailure(const char* message) {
    throw CodecFailure{message};
}

// The message of every type or direction that has no codec.
inline constexpr const char* kUnsupportedFormat = "Unsupported operation for this format";
