// JPEG codec (not built yet: every call fails as an unknown format would).
#include "formats/jpeg/jpeg_codec.h"

#include "formats/codec_error.h"

bool JpegCodec::decode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}

bool JpegCodec::encode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}
