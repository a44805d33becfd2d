// JPEG XL codec: libjxl's event decoder over the whole file held in memory, its 8-bit RGB(A)
// rows written straight into the bottom-up BGR picture and its alpha plane.
#include "formats/jxl/jxl_codec.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/encode.h>
#include <jxl/resizable_parallel_runner.h>
#include <jxl/resizable_parallel_runner_cxx.h>

#include <algorithm>
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

struct LayerWork {
    uint64_t layers = 0;
    uint64_t pixels = 0;
};

// The layers up to the first frame shown, counted from their frame headers by a second
// decoder that neither decodes nor blends them.
LayerWork firstFrameLayers(const std::vector<uint8_t>& file, bool animated) {
    LayerWork work;
    JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    JxlDecoder* dec = decoder.get();
    if (!dec || JxlDecoderSubscribeEvents(dec, JXL_DEC_FRAME) != JXL_DEC_SUCCESS ||
        JxlDecoderSetCoalescing(dec, JXL_FALSE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(dec, file.data(), file.size()) != JXL_DEC_SUCCESS)
        return work;
    JxlDecoderCloseInput(dec);
    // Anything else (the end, an error) is left to the decode itself to report.
    while (JxlDecoderProcessInput(dec) == JXL_DEC_FRAME) {
        JxlFrameHeader frame{};
        if (JxlDecoderGetFrameHeader(dec, &frame) != JXL_DEC_SUCCESS) break;
        ++work.layers;
        work.pixels += uint64_t(frame.layer_info.xsize) * frame.layer_info.ysize;
        if (frame.is_last || (animated && frame.duration != 0) || work.layers > kMaxLayers) break;
    }
    return work;
}

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

bool JxlCodec::decode(ImageStream& stream) {
    iccProfile.clear();
    std::vector<uint8_t> file;
    const uint64_t known = bytesLeft(stream);
    if ((known != UINT64_MAX && !spendDecodeBudget(known)) || !readWhole(stream, file)) {
        if (!lastError()[0]) setLastError(kReadFailed);
        return false;
    }

    JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    JxlResizableParallelRunnerPtr runner = JxlResizableParallelRunnerMake(nullptr);
    JxlDecoder* dec = decoder.get();
    if (!dec || !runner ||
        JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                           JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetParallelRunner(dec, JxlResizableParallelRunner, runner.get()) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(dec, JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(dec, file.data(), file.size()) != JXL_DEC_SUCCESS) {
        setLastError(kReadFailed);
        return false;
    }
    JxlDecoderCloseInput(dec);

    JxlBasicInfo basic{};
    RowTarget target{this, 3};
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
        if (status == JXL_DEC_BASIC_INFO) {
            if (JxlDecoderGetBasicInfo(dec, &basic) != JXL_DEC_SUCCESS) break;
            const uint64_t pixels = uint64_t(basic.xsize) * basic.ysize;
            if (pixels > uint64_t(kMaxPixels)) {
                setTooLargeError(basic.xsize, basic.ysize);
                return false;
            }
            // Picture and the library's frame are both counted before the library makes
            // the frame: a header may claim any size.
            target.channels = basic.alpha_bits > 0 ? 4 : 3;
            if (!spendDecodeBudget(libraryBytes(basic))) return false;
            const LayerWork layers = firstFrameLayers(file, basic.have_animation);
            const uint64_t budget = decodeBudget();
            const uint64_t pixelCost = libraryBytes(basic) / std::max<uint64_t>(pixels, 1) + 4;
            if (layers.layers > kMaxLayers ||
                (budget != UINT64_MAX &&
                 layers.pixels / kLayerPixelsPerPicture > budget / pixelCost)) {
                setLastError(kDataTooShort);
                return false;
            }
            if (!create(int32_t(basic.xsize), int32_t(basic.ysize), 24, JXL)) return false;
            if (target.channels == 4 && !alphaCreate()) {
                if (!lastError()[0]) setLastError("Can't allocate memory");
                return false;
            }
            // One thread for small pictures; never more than two.
            JxlResizableParallelRunnerSetThreads(
                runner.get(), std::min<size_t>(2, JxlResizableParallelRunnerSuggestThreads(
                                                      basic.xsize, basic.ysize)));
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            size_t iccSize = 0;
            if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                            &iccSize) == JXL_DEC_SUCCESS &&
                iccSize > 0) {
                iccProfile.resize(iccSize);
                if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                                   iccProfile.data(), iccSize) != JXL_DEC_SUCCESS)
                    iccProfile.clear();
            }
            // A lossy (XYB) file may be rendered in any space: its own where it names one,
            // else sRGB rather than the library's linear default, which 8 bits would band.
            if (!basic.uses_original_profile) {
                JxlColorEncoding wanted{};
                const bool named = JxlDecoderGetColorAsEncodedProfile(
                                       dec, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &wanted) ==
                                       JXL_DEC_SUCCESS &&
                                   (wanted.color_space == JXL_COLOR_SPACE_RGB ||
                                    wanted.color_space == JXL_COLOR_SPACE_GRAY);
                if (!named) JxlColorEncodingSetToSRGB(&wanted, basic.num_color_channels == 1);
                if (JxlDecoderSetPreferredColorProfile(dec, &wanted) != JXL_DEC_SUCCESS) break;
            }
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            // Grey files are widened to RGB by the library itself.
            const JxlPixelFormat format{target.channels, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
            if (!isValid() ||
                JxlDecoderSetImageOutCallback(dec, &format, storeRow, &target) != JXL_DEC_SUCCESS)
                break;
        } else if (status == JXL_DEC_FULL_IMAGE) {
            // The first frame is the picture; the rest of an animation is not decoded.
            return isValid();
        } else {
            // An error, or more input wanted from a file that has ended, or the end of a
            // file that never gave a frame.
            break;
        }
    }
    destroy();
    setLastError(kReadFailed);
    return false;
}
