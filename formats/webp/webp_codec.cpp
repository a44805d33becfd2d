// WebP codec: libwebp glue. The file is read whole (its RIFF size says how much), the first
// frame of an animation is found with the demuxer, and libwebp decodes straight into the
// picture's rows, or into a BGRA canvas that is split into colour and alpha.
#include "formats/webp/webp_codec.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "formats/data_bound.h"

namespace {

constexpr const char* kReadFailed = "Error reading WebP file";
constexpr const char* kWriteFailed = "Error writing WebP file";
constexpr const char* kNoMemory = "Can't allocate memory";

constexpr size_t kRiffHeaderSize = 12;  // "RIFF", the size of what follows, "WEBP"
// The largest side a WebP bitstream can code.
constexpr int32_t kMaxSide = 16383;
// libwebp's lossless decoder keeps the whole picture as 32-bit ARGB plus a cache of this many
// rows; a lossy one keeps about this many bytes per column for its row caches.
constexpr uint64_t kLosslessCacheRows = 16;
constexpr uint64_t kLossyBytesPerColumn = 256;

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

const char* statusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return "out of memory";
        case VP8_STATUS_INVALID_PARAM:
            return "invalid parameter";
        case VP8_STATUS_BITSTREAM_ERROR:
            return "bitstream error";
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return "unsupported feature";
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return "not enough data";
        default:
            return "decoder failure";
    }
}

void setReadError(DibImage& image, const char* why) {
    image.setLastError((std::string(kReadFailed) + ": " + why).c_str());
}

// The RIFF chunk, from the signature to the size it declares or the end of the stream,
// whichever comes first; empty (lastError set) when the signature is missing or the budget
// refuses the bytes.
std::vector<uint8_t> readRiff(ImageStream& stream, DibImage& image) {
    std::vector<uint8_t> bytes(kRiffHeaderSize);
    if (stream.read(bytes.data(), 1, kRiffHeaderSize) != kRiffHeaderSize ||
        !isWebpSignature(bytes.data(), kRiffHeaderSize)) {
        image.setLastError(kReadFailed);
        return {};
    }
    uint64_t wanted = uint64_t(le32(bytes.data() + 4)) + 8;
    const uint64_t left = bytesLeft(stream);
    if (left != UINT64_MAX) wanted = std::min(wanted, left + kRiffHeaderSize);
    if (!image.spendDecodeBudget(wanted)) return {};
    // A stream of unknown length is read in steps, so that a size it does not hold is never
    // allocated.
    constexpr size_t kStep = size_t(1) << 20;
    while (bytes.size() < wanted) {
        const size_t have = bytes.size();
        const size_t step = size_t(std::min<uint64_t>(wanted - have, kStep));
        bytes.resize(have + step);
        const size_t got = stream.read(bytes.data() + have, 1, step);
        bytes.resize(have + got);
        if (got < step) break;  // cut short: libwebp says so
    }
    return bytes;
}

// One coded picture: a still file, or the frame an animation starts with.
struct Frame {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    int32_t left = 0, top = 0, width = 0, height = 0;
    bool lossless = false;
    bool alpha = false;
};

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
using Demux = std::unique_ptr<WebPDemuxer, DemuxDeleter>;

// Working memory libwebp allocates on its own while decoding the frame.
uint64_t decoderMemory(const Frame& frame) {
    const uint64_t w = uint64_t(frame.width), h = uint64_t(frame.height);
    if (frame.lossless) return 4 * w * (h + kLosslessCacheRows);
    // The alpha plane, and a lossless coder's 32-bit rows for it.
    const uint64_t alpha = frame.alpha ? 5 * w * h : 0;
    return kLossyBytesPerColumn * w + alpha;
}

// libwebp decodes into memory it is given: mode's pixels, the top row at rows, each next
// row stride bytes on (negative for the picture's bottom-up rows).
VP8StatusCode decodeInto(const Frame& frame, WEBP_CSP_MODE mode, uint8_t* rows, int stride) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return VP8_STATUS_INVALID_PARAM;
    const int bytesPerPixel = mode == MODE_BGR ? 3 : 4;
    config.output.colorspace = mode;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = rows;
    config.output.u.RGBA.stride = stride;
    config.output.u.RGBA.size = size_t(std::abs(stride)) * size_t(frame.height - 1) +
                                size_t(frame.width) * size_t(bytesPerPixel);
    const VP8StatusCode status = WebPDecode(frame.bytes, frame.size, &config);
    WebPFreeDecBuffer(&config.output);
    return status;
}

}  // namespace

bool isWebpSignature(const uint8_t* head, size_t length) {
    return head && length >= kRiffHeaderSize && std::memcmp(head, "RIFF", 4) == 0 &&
           std::memcmp(head + 8, "WEBP", 4) == 0;
}

bool WebpCodec::decode(ImageStream& stream) try {
    const std::vector<uint8_t> bytes = readRiff(stream, *this);
    // A refusal leaves no half-made picture behind.
    if (!bytes.empty() && readPicture(bytes)) return true;
    destroy();
    return false;
} catch (const std::bad_alloc&) {
    destroy();
    setLastError(kNoMemory);
    return false;
}

bool WebpCodec::readPicture(const std::vector<uint8_t>& bytes) {
    WebPBitstreamFeatures features;
    VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &features);
    if (status != VP8_STATUS_OK) {
        setReadError(*this, statusText(status));
        return false;
    }
    const int32_t width = features.width, height = features.height;
    // The declared size meets the budget before the demuxer or the decoder start.
    if (!create(width, height, 24, WEBP)) return false;

    Frame frame{bytes.data(),         bytes.size(),           0, 0, width, height,
                features.format == 2, features.has_alpha != 0};
    Demux demux;
    info.frameCount = 1;
    if (features.has_animation) {
        const WebPData data{bytes.data(), bytes.size()};
        demux.reset(WebPDemux(&data));
        if (!demux) {
            setReadError(*this, "bad animation");
            return false;
        }
        WebPIterator first;
        if (!WebPDemuxGetFrame(demux.get(), 1, &first)) {
            setReadError(*this, "no frame");
            return false;
        }
        frame =
            Frame{first.fragment.bytes, first.fragment.size, first.x_offset, first.y_offset,
                  first.width,          first.height,        false,          first.has_alpha != 0};
        info.frameCount = int32_t(WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT));
        WebPDemuxReleaseIterator(&first);
        WebPBitstreamFeatures frameFeatures;
        status = WebPGetFeatures(frame.bytes, frame.size, &frameFeatures);
        if (status != VP8_STATUS_OK) {
            setReadError(*this, statusText(status));
            return false;
        }
        frame.lossless = frameFeatures.format == 2;
        // The demuxer keeps frames inside the canvas; a frame that breaks that is refused
        // rather than written outside the picture.
        if (frame.left < 0 || frame.top < 0 || frame.width <= 0 || frame.height <= 0 ||
            int64_t(frame.left) + frame.width > width ||
            int64_t(frame.top) + frame.height > height) {
            setReadError(*this, "frame outside the canvas");
            return false;
        }
    }
    // An animation's canvas is transparent where its first frame leaves it uncovered.
    const bool covers = frame.width == width && frame.height == height;
    const bool withAlpha = features.has_alpha || frame.alpha || !covers;

    // The alpha plane, the canvas it is split from and libwebp's own memory are checked
    // against the budget before libwebp allocates anything.
    if (withAlpha && !alphaCreate()) {
        if (!lastError()[0]) setLastError(kNoMemory);
        return false;
    }
    const uint64_t canvasBytes = withAlpha ? 4 * uint64_t(width) * uint64_t(height) : 0;
    if (!spendDecodeBudget(decoderMemory(frame) + canvasBytes)) return false;

    if (!withAlpha) {
        status = decodeInto(frame, MODE_BGR, row(height - 1), -int(info.stride));
    } else {
        std::vector<uint8_t> canvas(size_t(canvasBytes), 0);
        const size_t canvasStride = 4 * size_t(width);
        status =
            decodeInto(frame, MODE_BGRA,
                       canvas.data() + size_t(frame.top) * canvasStride + 4 * size_t(frame.left),
                       int(canvasStride));
        if (status == VP8_STATUS_OK) {
            for (int32_t r = 0; r < height; ++r) {
                const int32_t y = height - 1 - r;  // the first file row is the top one
                const uint8_t* source = canvas.data() + size_t(r) * canvasStride;
                uint8_t* target = row(y);
                uint8_t* rowAlpha = alphaPlane() + size_t(y) * size_t(width);
                for (int32_t x = 0; x < width; ++x) {
                    std::memcpy(target + 3 * x, source + 4 * x, 3);
                    rowAlpha[x] = source[4 * x + 3];
                }
            }
        }
    }
    if (status != VP8_STATUS_OK) {
        setReadError(*this, statusText(status));
        return false;
    }
    return true;
}

namespace {

int writeToStream(const uint8_t* data, size_t size, const WebPPicture* picture) {
    auto* stream = static_cast<ImageStream*>(picture->custom_ptr);
    return size == 0 || stream->write(data, 1, size) == size;
}

struct PictureFree {
    void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};

}  // namespace

// The encoder's ARGB picture is filled from the rows this object shows; nothing of the image
// itself is changed.
bool WebpCodec::encode(ImageStream& stream) {
    if (!isValid()) {
        setLastError("Can't save an empty image");
        return false;
    }
    const int32_t width = header.width, height = header.height;
    if (width > kMaxSide || height > kMaxSide) {
        setLastError((std::string(kWriteFailed) + ": larger than 16383 x 16383").c_str());
        return false;
    }
    const uint32_t bits = header.bitCount;
    const RgbQuad* pal = paletteBase();
    if (bits != 24 && !(bits <= 8 && pal)) {
        setLastError(kWriteFailed);
        return false;
    }

    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        setLastError(kWriteFailed);
        return false;
    }
    config.quality = float(std::clamp(quality, 0, 100));
    config.lossless = lossless ? 1 : 0;
    // Lossless keeps the colour of fully transparent pixels too, so a round trip is exact.
    config.exact = lossless ? 1 : 0;

    WebPPicture picture;
    if (!WebPPictureInit(&picture)) {
        setLastError(kWriteFailed);
        return false;
    }
    picture.use_argb = 1;
    picture.width = width;
    picture.height = height;
    if (!WebPPictureAlloc(&picture)) {
        setLastError(kNoMemory);
        return false;
    }
    const std::unique_ptr<WebPPicture, PictureFree> owner(&picture);

    // A transparent palette entry (or, on true colour, the key colour) is written as alpha 0.
    const int32_t key = info.backgroundIndex;
    const bool paletteKey = pal && key >= 0 && uint32_t(key) < header.colorsUsed;
    const bool colourKey = !pal && key >= 0;
    const RgbQuad keyColour = transparentColor();
    const uint8_t mask = uint8_t((1u << std::min(bits, 8u)) - 1);
    for (int32_t r = 0; r < height; ++r) {
        const int32_t y = height - 1 - r;
        const uint8_t* source = row(y);
        const uint8_t* rowAlpha = alpha_ ? alpha_ + size_t(y) * size_t(width) : nullptr;
        uint32_t* target = picture.argb + size_t(r) * size_t(picture.argb_stride);
        for (int32_t x = 0; x < width; ++x) {
            RgbQuad c;
            unsigned a = rowAlpha ? rowAlpha[x] : 255;
            if (pal) {
                const uint32_t bit = uint32_t(x) * bits;
                const uint8_t index = (source[bit / 8] >> (8 - bits - bit % 8)) & mask;
                c = index < header.colorsUsed ? pal[index] : RgbQuad{};
                if (info.alphaPaletteEnabled) a = a * c.reserved / 255;
                if (paletteKey && index == key) a = 0;
            } else {
                c = RgbQuad{source[3 * x], source[3 * x + 1], source[3 * x + 2], 0};
                if (colourKey && c.blue == keyColour.blue && c.green == keyColour.green &&
                    c.red == keyColour.red)
                    a = 0;
            }
            a = a * info.alphaMax / 255;
            target[x] = uint32_t(a) << 24 | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 |
                        uint32_t(c.blue);
        }
    }

    picture.writer = writeToStream;
    picture.custom_ptr = &stream;
    if (!WebPEncode(&config, &picture)) {
        setLastError(picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY ? kNoMemory : kWriteFailed);
        return false;
    }
    return true;
}
