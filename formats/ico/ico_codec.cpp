// ICO codec (not built yet: every call fails as an unknown format would).
#include "formats/ico/ico_codec.h"

#include "formats/codec_error.h"

bool IcoCodec::decode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}

bool IcoCodec::encode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}
