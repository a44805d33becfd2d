// JPEG XL codec: libjxl's event decoder over the whole file held in memory, its 8-bit RGB(A)
// rows written straight into the bottom-up BGR picture and its alpha plane.
#include "formats/jxl/jxl_codec.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/encode.h>
#include <jxl/resizable_parallel_runner.h>
#include <jxl/resizable_parallel_runner_cxx.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "formats/data_bound.h"

namespace {

constexpr const char* kReadFailed = "Error reading JPEG XL file";

// The file is decoded from memory; longer files than this are no photos.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;
// A stream that cannot tell its length is read in pieces of this size.
constexpr size_t kReadPiece = size_t(1) << 16;

// What libjxl 0.7 holds for a frame beside our picture, per pixel: its float planes and the
// coefficients or modular channels they are made from, for each channel (a lossy file's
// colour is always three XYB channels), plus its output stages. Measured peaks on 9 Mpx
// files: 13 bytes a pixel for lossless grey, 22 lossless RGB, 30 lossless RGBA, 29 lossy
// modular RGB, 45 lossy RGBA; the estimate stays above each.
constexpr uint64_t kLibraryBytesPerChannel = 12;
constexpr uint64_t kLibraryBytesPerPixel = 8;

uint64_t libraryBytes(const JxlBasicInfo& basic) {
    const uint64_t channels =
        (basic.uses_original_profile ? basic.num_color_channels : 3) + basic.num_extra_channels;
    return uint64_t(basic.xsize) * basic.ysize *
           (kLibraryBytesPerPixel + kLibraryBytesPerChannel * channels);
}

// libjxl blends every layer (a frame of no duration) into the first frame it shows before it
// shows it; a small file can hold thousands. The layers of the first frame are limited in
// number, and together to this many times the pixels the decode budget allows one picture.
constexpr uint64_t kMaxLayers = 256;
constexpr uint64_t kLayerPixelsPerPicture = 2;

bool readWhole(ImageStream& stream, std::vector<uint8_t>& bytes) {
    const uint64_t known = bytesLeft(stream);
    if (known != UINT64_MAX) {
        if (known > kMaxFileBytes) return false;
        bytes.resize(size_t(known));
        return stream.read(bytes.data(), 1, bytes.size()) == bytes.size();
    }
    for (;;) {
        const size_t had = bytes.size();
        if (had + kReadPiece > kMaxFileBytes) return false;
        bytes.resize(had + kReadPiece);
        const size_t got = stream.read(bytes.data() + had, 1, kReadPiece);
        bytes.resize(had + got);
        if (got < kReadPiece) return !stream.error();
    }
}

// Where libjxl's rows (top-down, RGB or RGBA) land in the picture.
struct RowTarget {
    DibImage* picture;
    uint32_t channels;
};

void storeRow(void* opaque, size_t x, size_t y, size_t count, const void* pixels) {
    const auto* target = static_cast<const RowTarget*>(opaque);
    DibImage& picture = *target->picture;
    const int32_t row = picture.height() - 1 - int32_t(y);
    const auto* source = static_cast<const uint8_t*>(pixels);
    uint8_t* out = picture.row(row) + 3 * x;
    const uint32_t n = target->channels;
    for (size_t i = 0; i < count; ++i) {
        out[3 * i] = source[n * i + 2];
        out[3 * i + 1] = source[n * i + 1];
        out[3 * i + 2] = source[n * i];
    }
    if (n == 4) {
        uint8_t* alpha = picture.alphaPlane() + size_t(row) * size_t(picture.width()) + x;
        for (size_t i = 0; i < count; ++i) alpha[i] = source[4 * i + 3];
    }
}

}  // namespace

bool isJxlSignature(const uint8_t* head, size_t length) {
    const JxlSignature kind = JxlSignatureCheck(head, length);
    return kind == JXL_SIG_CODESTREAM || kind == JXL_SIG_CONTAINER;
}

namespace {

// One file's decode: the decoder, its runner, and where the rows go.
struct JxlSession {
    JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    JxlResizableParallelRunnerPtr runner = JxlResizableParallelRunnerMake(nullptr);
    JxlBasicInfo basic{};
    RowTarget target{};
    JxlDecoder* dec() const { return decoder.get(); }
};

bool setInput(JxlDecoder* dec, const std::vector<uint8_t>& file) {
    if (JxlDecoderSetInput(dec, file.data(), file.size()) != JXL_DEC_SUCCESS) return false;
    JxlDecoderCloseInput(dec);
    return true;
}

// The size checks and the picture, made before libjxl makes its frame: a header may claim
// any size. False with lastError set when refused.
bool makePicture(JxlCodec& codec, JxlSession& session) {
    const JxlBasicInfo& basic = session.basic;
    const uint64_t pixels = uint64_t(basic.xsize) * basic.ysize;
    if (pixels > uint64_t(DibImage::kMaxPixels)) {
        codec.setTooLargeError(basic.xsize, basic.ysize);
        return false;
    }
    session.target = RowTarget{&codec, basic.alpha_bits > 0 ? 4u : 3u};
    if (!codec.spendDecodeBudget(libraryBytes(basic))) return false;
    if (!codec.create(int32_t(basic.xsize), int32_t(basic.ysize), 24, JXL)) return false;
    if (session.target.channels == 4 && !codec.alphaCreate()) {
        if (!codec.lastError()[0]) codec.setLastError("Can't allocate memory");
        return false;
    }
    // One thread for small pictures; never more than two.
    JxlResizableParallelRunnerSetThreads(
        session.runner.get(),
        std::min<size_t>(2, JxlResizableParallelRunnerSuggestThreads(basic.xsize, basic.ysize)));
    return true;
}

// The first pass: basic information, the picture, and the layers up to the first frame shown,
// counted from their frame headers without decoding or blending them.
bool survey(JxlCodec& codec, JxlSession& session) {
    JxlDecoder* dec = session.dec();
    bool haveInfo = false;
    uint64_t layers = 0, layerPixels = 0;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
        if (status == JXL_DEC_BASIC_INFO) {
            if (JxlDecoderGetBasicInfo(dec, &session.basic) != JXL_DEC_SUCCESS) break;
            if (!makePicture(codec, session)) return false;
            haveInfo = true;
            continue;
        }
        // Anything else (the end, an error) is left to the second pass to report.
        JxlFrameHeader frame{};
        if (status != JXL_DEC_FRAME || JxlDecoderGetFrameHeader(dec, &frame) != JXL_DEC_SUCCESS)
            break;
        ++layers;
        layerPixels += uint64_t(frame.layer_info.xsize) * frame.layer_info.ysize;
        if (frame.is_last || (session.basic.have_animation && frame.duration != 0) ||
            layers > kMaxLayers)
            break;
    }
    if (!haveInfo) {
        codec.setLastError(kReadFailed);
        return false;
    }
    const uint64_t budget = codec.decodeBudget();
    const uint64_t pixels =
        std::max<uint64_t>(uint64_t(session.basic.xsize) * session.basic.ysize, 1);
    const uint64_t pixelCost = libraryBytes(session.basic) / pixels + 4;
    if (layers > kMaxLayers ||
        (budget != UINT64_MAX && layerPixels / kLayerPixelsPerPicture > budget / pixelCost)) {
        codec.setLastError(kDataTooShort);
        return false;
    }
    return true;
}

// Whether a lossy file names its colour space, so that it is rendered in it (else in sRGB).
bool renderedInOwnSpace(JxlDecoder* dec) {
    JxlColorEncoding own{};
    return JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                              &own) == JXL_DEC_SUCCESS &&
           (own.color_space == JXL_COLOR_SPACE_RGB || own.color_space == JXL_COLOR_SPACE_GRAY);
}

// Keeps the file's ICC profile and chooses the colour space of a lossy file's rendering.
bool takeColour(JxlCodec& codec, JxlSession& session) {
    JxlDecoder* dec = session.dec();
    size_t iccSize = 0;
    if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &iccSize) ==
            JXL_DEC_SUCCESS &&
        iccSize > 0) {
        codec.iccProfile.resize(iccSize);
        if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                           codec.iccProfile.data(), iccSize) != JXL_DEC_SUCCESS)
            codec.iccProfile.clear();
    }
    if (session.basic.uses_original_profile) return true;
    if (!renderedInOwnSpace(dec)) codec.iccProfile.clear();  // the pixels will be sRGB
    // A lossy (XYB) file may be rendered in any space: its own where it names one, else sRGB
    // rather than the library's linear default, which 8 bits would band.
    JxlColorEncoding wanted{};
    const bool named =
        JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                           &wanted) == JXL_DEC_SUCCESS &&
        (wanted.color_space == JXL_COLOR_SPACE_RGB || wanted.color_space == JXL_COLOR_SPACE_GRAY);
    if (!named) JxlColorEncodingSetToSRGB(&wanted, session.basic.num_color_channels == 1);
    return JxlDecoderSetPreferredColorProfile(dec, &wanted) == JXL_DEC_SUCCESS;
}

// The second pass: the first frame shown, blended, into the picture.
bool render(JxlCodec& codec, JxlSession& session) {
    JxlDecoder* dec = session.dec();
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
        if (status == JXL_DEC_COLOR_ENCODING) {
            if (!takeColour(codec, session)) return false;
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            // Grey files are widened to RGB by the library itself.
            const JxlPixelFormat format{session.target.channels, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN,
                                        0};
            if (JxlDecoderSetImageOutCallback(dec, &format, storeRow, &session.target) !=
                JXL_DEC_SUCCESS)
                return false;
        } else {
            // The first frame is the picture; the rest of an animation is not decoded. Else
            // an error, more input wanted from a file that has ended, or no frame at all.
            return status == JXL_DEC_FULL_IMAGE;
        }
    }
}

}  // namespace

bool JxlCodec::decode(ImageStream& stream) {
    iccProfile.clear();
    std::vector<uint8_t> file;
    const uint64_t known = bytesLeft(stream);
    if ((known != UINT64_MAX && !spendDecodeBudget(known)) || !readWhole(stream, file)) {
        if (!lastError()[0]) setLastError(kReadFailed);
        return false;
    }
    JxlSession session;
    JxlDecoder* dec = session.dec();
    if (!dec || !session.runner ||
        JxlDecoderSetParallelRunner(dec, JxlResizableParallelRunner, session.runner.get()) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(dec, JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_FRAME) != JXL_DEC_SUCCESS ||
        JxlDecoderSetCoalescing(dec, JXL_FALSE) != JXL_DEC_SUCCESS || !setInput(dec, file)) {
        setLastError(kReadFailed);
        return false;
    }
    if (!survey(*this, session)) {
        destroy();
        return false;
    }
    JxlDecoderRewind(dec);
    if (JxlDecoderSubscribeEvents(dec, JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetCoalescing(dec, JXL_TRUE) != JXL_DEC_SUCCESS || !setInput(dec, file) ||
        !render(*this, session)) {
        destroy();
        setLastError(kReadFailed);
        return false;
    }
    return true;
}

std::vector<uint8_t> jxlDecodedProfile(const std::string& path) {
    // The colour encoding is in the header: its first 4 MB are plenty.
    std::vector<uint8_t> head(size_t(4) << 20);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return {};
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
    JxlDecoderPtr dec = JxlDecoderMake(nullptr);
    if (!dec ||
        JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(dec.get(), head.data(), head.size()) != JXL_DEC_SUCCESS)
        return {};
    JxlDecoderCloseInput(dec.get());
    JxlBasicInfo basic{};
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
        if (status == JXL_DEC_BASIC_INFO) {
            if (JxlDecoderGetBasicInfo(dec.get(), &basic) != JXL_DEC_SUCCESS) return {};
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            if (!basic.uses_original_profile && !renderedInOwnSpace(dec.get())) return {};
            size_t size = 0;
            if (JxlDecoderGetICCProfileSize(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                            &size) != JXL_DEC_SUCCESS ||
                size == 0 || size > head.size() * 64)
                return {};
            std::vector<uint8_t> icc(size);
            if (JxlDecoderGetColorAsICCProfile(dec.get(), nullptr,
                                               JXL_COLOR_PROFILE_TARGET_ORIGINAL, icc.data(),
                                               size) != JXL_DEC_SUCCESS)
                return {};
            return icc;
        } else {
            return {};
        }
    }
}
