// GIF codec (not built yet: every call fails as an unknown format would).
#include "formats/gif/gif_codec.h"

#include "formats/codec_error.h"

bool GifCodec::decode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}

bool GifCodec::encode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}
