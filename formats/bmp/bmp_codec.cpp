// BMP codec (not built yet: every call fails as an unknown format would).
#include "formats/bmp/bmp_codec.h"

#include "formats/codec_error.h"

bool BmpCodec::decode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}

bool BmpCodec::encode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}
