// PCX codec (not built yet: every call fails as an unknown format would).
#include "formats/pcx/pcx_codec.h"

#include "formats/codec_error.h"

bool PcxCodec::decode(ImageStream& /*stream*/) {
    setLastError(kUnsupportedFormat);
    return false;
}
