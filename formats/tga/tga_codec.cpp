// TGA codec (not built yet: every call fails as an unknown format would).
#include "formats/tga/tga_codec.h"

#include "formats/codec_error.h"

bool TgaCodec::decode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}

bool TgaCodec::encode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}
