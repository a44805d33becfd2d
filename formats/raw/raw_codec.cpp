// RAW codec: LibRaw glue. The file is read whole and opened from memory; its sizes are known
// after open, so the development's memory is weighed against the decode budget before any
// raw data is unpacked. A reduced decode takes the embedded preview or a half-size development.
#include "formats/raw/raw_codec.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/data_bound.h"
#include "formats/jpeg/jpeg_codec.h"

namespace {

// The largest file read: far above any camera's RAW, low enough that a hostile length is
// refused before anything is allocated for it.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;
constexpr size_t kReadChunk = size_t(1) << 20;

// Working memory of a development per pixel: the 16-bit raw mosaic, LibRaw's four-channel
// 16-bit image and its 8-bit RGB output.
constexpr uint64_t kRawBytes = 2, kImageBytes = 8, kOutputBytes = 3;

std::string failure(int code) {
    return std::string("Error reading RAW file: ") + libraw_strerror(code);
}

// Reads the whole rest of the stream: LIBRAW_SUCCESS, LIBRAW_TOO_BIG beyond kMaxFileBytes or
// LIBRAW_IO_ERROR.
int readWhole(ImageStream& stream, std::vector<uint8_t>& bytes) {
    const uint64_t left = bytesLeft(stream);
    if (left != UINT64_MAX) {
        if (left > kMaxFileBytes) return LIBRAW_TOO_BIG;
        bytes.resize(size_t(left));
        return stream.read(bytes.data(), 1, bytes.size()) == bytes.size() ? LIBRAW_SUCCESS
                                                                          : LIBRAW_IO_ERROR;
    }
    // A stream that cannot tell its length is read in chunks up to the same limit.
    size_t used = 0;
    for (;;) {
        if (used + kReadChunk > kMaxFileBytes) return LIBRAW_TOO_BIG;
        bytes.resize(used + kReadChunk);
        const size_t got = stream.read(bytes.data() + used, 1, kReadChunk);
        used += got;
        if (got < kReadChunk) break;
    }
    bytes.resize(used);
    return LIBRAW_SUCCESS;
}

// A side after LibRaw's half-size shrink of a mosaic.
int32_t halved(int32_t side) {
    return (side + 1) / 2;
}

// Turns a picture stored as the sensor saw it upright, for LibRaw's flip code (bit 2: rows
// and columns exchanged, bit 1: rows reversed, bit 0: columns reversed, applied in that order).
bool applyFlip(DibImage& picture, int flip) {
    switch (flip & 7) {
        case 0:
            return true;
        case 1:
            return picture.mirror();
        case 2:
            return picture.flip();
        case 3:
            return picture.flip() && picture.mirror();
        case 4:
            return picture.rotateRight() && picture.mirror();
        case 5:
            return picture.rotateLeft();
        case 6:
            return picture.rotateRight();
        default:
            return picture.rotateLeft() && picture.mirror();
    }
}

}  // namespace

bool isRawSignature(const uint8_t* head, size_t length) {
    auto at = [&](size_t offset, const char* mark, size_t n) {
        return length >= offset + n && std::memcmp(head + offset, mark, n) == 0;
    };
    return at(4, "ftypcrx ", 8) ||                                      // CR3
           at(0, "IIRO", 4) || at(0, "IIRS", 4) || at(0, "MMOR", 4) ||  // ORF
           at(0, "IIU\0", 4) ||                                         // RW2
           at(0, "FUJIFILMCCD-RAW", 15) ||                              // RAF
           (at(0, "II*\0", 4) && at(8, "CR", 2)) ||                     // CR2
           at(0, "FOVb", 4) ||                                          // X3F
           at(0, "\0MRM", 4);                                           // MRW
}

// One LibRaw per thread, used again for each file as dcraw_emu does: making one (a cleared
// object of about 0.8 MB) costs more than opening a small file. LibRaw's own messages go to
// the standard error output; they are switched off.
struct ReusedRaw {
    LibRaw raw{LIBRAW_OPIONS_NO_MEMERR_CALLBACK | LIBRAW_OPIONS_NO_DATAERR_CALLBACK};
    const libraw_output_params_t defaults = raw.imgdata.params;
};

static ReusedRaw& reusedRaw() {
    thread_local const std::unique_ptr<ReusedRaw> held = std::make_unique<ReusedRaw>();
    return *held;
}

// The embedded preview of the file as the picture, when LibRaw finds one of at least
// wantW x wantH (upright sides) that decodes within the budget; false leaves the picture empty.
static bool takePreview(RawCodec& codec, LibRaw& raw, const std::vector<uint8_t>& file,
                        int32_t wantW, int32_t wantH) {
    const libraw_thumbnail_t& thumb = raw.imgdata.thumbnail;
    const int flip = raw.imgdata.sizes.flip;
    int32_t w = thumb.twidth, h = thumb.theight;
    if (flip & 4) std::swap(w, h);
    if (w < wantW || h < wantH || w <= 0 || h <= 0) return false;
    // LibRaw 0.20 sizes its buffer for some previews from their sides and then reads their
    // declared length into it: only a JPEG wholly inside the file, or 8-bit RGB exactly as
    // long as its sides say, is unpacked.
    const libraw_internal_data_t* internal = raw.get_internal_data_pointer();
    const int64_t offset = internal->internal_data.toffset;
    if (offset < 0 || thumb.tlength < 3 || uint64_t(offset) + thumb.tlength > file.size())
        return false;
    const bool jpeg = file[offset] == 0xFF && file[offset + 1] == 0xD8 && file[offset + 2] == 0xFF;
    const bool rgb8 = thumb.tlength == uint64_t(thumb.twidth) * thumb.theight * 3 &&
                      internal->unpacker_data.thumb_misc == (8 | 3 << 5);  // bits | samples << 5
    if (!jpeg && !rgb8) return false;
    if (!codec.spendDecodeBudget(thumb.tlength)) return false;
    if (raw.unpack_thumb() != LIBRAW_SUCCESS || !thumb.thumb) return false;
    if (thumb.tformat != (jpeg ? LIBRAW_THUMBNAIL_JPEG : LIBRAW_THUMBNAIL_BITMAP)) return false;
    const uint64_t spent = file.size() + thumb.tlength;

    if (!jpeg) {
        const uint64_t rowBytes = uint64_t(thumb.twidth) * 3;
        if (thumb.tcolors != 3 || thumb.tlength < rowBytes * thumb.theight) return false;
        if (!codec.create(thumb.twidth, thumb.theight, 24, RAW)) return false;
        for (int32_t y = 0; y < thumb.theight; ++y) {
            const auto* src = reinterpret_cast<const uint8_t*>(thumb.thumb) + rowBytes * y;
            uint8_t* dst = codec.row(thumb.theight - 1 - y);
            for (int32_t x = 0; x < thumb.twidth; ++x, src += 3, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
        }
    } else {
        FILE* file = fmemopen(thumb.thumb, thumb.tlength, "rb");
        if (!file) return false;
        auto jpeg = std::make_unique<JpegCodec>();
        const uint64_t budget = codec.decodeBudget();
        jpeg->setDecodeBudget(budget == UINT64_MAX ? budget : budget - std::min(budget, spent));
        jpeg->minWidth = (flip & 4) ? wantH : wantW;
        jpeg->minHeight = (flip & 4) ? wantW : wantH;
        bool ok;
        {
            ImageStream stream(file);
            ok = jpeg->decode(stream);
        }
        std::fclose(file);
        // A preview smaller than promised (a wrong size in the maker notes) is not taken.
        if (!ok || !jpeg->isValid() || jpeg->bitCount() != 24 || jpeg->width() < jpeg->minWidth ||
            jpeg->height() < jpeg->minHeight)
            return false;
        jpeg->setDecodeBudget(UINT64_MAX);
        codec.transfer(*jpeg);
        codec.info.type = RAW;
    }
    if (applyFlip(codec, flip)) return true;
    codec.destroy();
    return false;
}

bool RawCodec::decode(ImageStream& stream) {
    // The file's bytes count against the budget before they are read.
    const uint64_t left = bytesLeft(stream);
    if (left != UINT64_MAX && left <= kMaxFileBytes && !spendDecodeBudget(left)) return false;
    std::vector<uint8_t> file;
    int code = readWhole(stream, file);
    if (code != LIBRAW_SUCCESS) {
        setLastError(failure(code).c_str());
        return false;
    }
    if (left == UINT64_MAX && !spendDecodeBudget(file.size())) return false;

    ReusedRaw& held = reusedRaw();
    LibRaw* raw = &held.raw;
    // Whatever way the decode ends, the file's buffers go, and the next one starts afresh.
    const struct Recycle {
        LibRaw* raw;
        ~Recycle() { raw->recycle(); }
    } recycle{raw};
    raw->imgdata.params = held.defaults;
    libraw_output_params_t& params = raw->imgdata.params;
    params.use_camera_wb = 1;
    // LibRaw's own check of the raw data's size, in megabytes, behind the budget's below.
    if (decodeBudget() != UINT64_MAX)
        params.max_raw_memory_mb = unsigned(std::min<uint64_t>(
            std::max<uint64_t>(1, decodeBudget() >> 20), params.max_raw_memory_mb));

    code = raw->open_buffer(file.data(), file.size());
    if (code != LIBRAW_SUCCESS) {
        setLastError(failure(code).c_str());
        return false;
    }
    const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
    if (sizes.width == 0 || sizes.height == 0 || sizes.raw_width == 0 || sizes.raw_height == 0) {
        setLastError(failure(LIBRAW_FILE_UNSUPPORTED).c_str());
        return false;
    }
    int32_t fullW = sizes.width, fullH = sizes.height;
    if (sizes.flip & 4) std::swap(fullW, fullH);

    const bool reduced = minWidth > 0 || minHeight > 0;
    if (reduced) {
        if (takePreview(*this, *raw, file, minWidth, minHeight)) return true;
        // What a refused preview reserved and said is forgotten: the development follows.
        setDecodeBudget(decodeBudget());
        spendDecodeBudget(file.size());
        setLastError("");
    }
    // A half-size development has one pixel per 2 x 2 block of the mosaic.
    const bool half = reduced && raw->imgdata.idata.filters != 0 && halved(fullW) >= minWidth &&
                      halved(fullH) >= minHeight;
    params.half_size = half ? 1 : 0;

    const uint64_t rawPixels = uint64_t(sizes.raw_width) * sizes.raw_height;
    uint64_t outPixels = uint64_t(sizes.width) * sizes.height;
    if (half) outPixels = uint64_t(halved(sizes.width)) * halved(sizes.height);
    if (outPixels > uint64_t(kMaxPixels)) {
        setTooLargeError(half ? halved(fullW) : fullW, half ? halved(fullH) : fullH);
        return false;
    }
    // Every RAW coding spends at least a bit on each pixel it stores: a file with fewer bits
    // than its header claims pixels is cut short or hostile, and developing it would cost
    // time and memory for nothing.
    if (tooShort(rawPixels, file.size(), (rawPixels + 7) / 8)) {
        setLastError(kDataTooShort);
        return false;
    }
    // Mosaics take two bytes a pixel; other layouts (linear DNG, Foveon) keep four channels.
    const uint64_t rawBytes = rawPixels * (raw->imgdata.idata.filters ? kRawBytes : kImageBytes);
    const uint64_t working = rawBytes + outPixels * (kImageBytes + kOutputBytes);
    if (!spendDecodeBudget(working)) return false;

    code = raw->unpack();
    if (code == LIBRAW_SUCCESS) code = raw->dcraw_process();
    libraw_processed_image_t* developed = nullptr;
    if (code == LIBRAW_SUCCESS) developed = raw->dcraw_make_mem_image(&code);
    if (!developed) {
        setLastError(failure(code == LIBRAW_SUCCESS ? LIBRAW_UNSPECIFIED_ERROR : code).c_str());
        return false;
    }
    std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> output(
        developed, LibRaw::dcraw_clear_mem);
    // The mosaic and the working image go before the picture is made.
    raw->recycle();
    refundDecodeBudget(rawBytes + outPixels * kImageBytes);

    const uint64_t rowBytes = uint64_t(output->width) * 3;
    if (output->type != LIBRAW_IMAGE_BITMAP || output->colors != 3 || output->bits != 8 ||
        output->data_size < rowBytes * output->height) {
        setLastError(failure(LIBRAW_UNSPECIFIED_ERROR).c_str());
        return false;
    }
    if (!create(output->width, output->height, 24, RAW)) return false;
    for (int32_t y = 0; y < output->height; ++y) {
        const uint8_t* src = output->data + rowBytes * y;
        uint8_t* dst = row(output->height - 1 - y);
        for (int32_t x = 0; x < output->width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return true;
}
