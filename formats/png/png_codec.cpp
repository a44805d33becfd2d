// PNG codec (not built yet: every call fails as an unknown format would).
#include "formats/png/png_codec.h"

#include "formats/codec_error.h"

bool PngCodec::decode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}

bool PngCodec::encode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}
