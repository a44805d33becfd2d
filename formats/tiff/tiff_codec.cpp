// TIFF codec (not built yet: every call fails as an unknown format would).
#include "formats/tiff/tiff_codec.h"

#include "formats/codec_error.h"

bool TiffCodec::decode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}

bool TiffCodec::encode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}
