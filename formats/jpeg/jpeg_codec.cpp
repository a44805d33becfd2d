// JPEG codec: the glue between libjpeg and DibImage. An error manager that jumps back out of
// the library, 4096-byte source and destination managers on ImageStream, and the row loops.
#include "formats/jpeg/jpeg_codec.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "formats/data_bound.h"

namespace {

// The library interface these structures are laid out for.
constexpr int kJpegInterfaceVersion = 62;
static_assert(JPEG_LIB_VERSION == kJpegInterfaceVersion, "libjpeg must offer interface 62");

constexpr size_t kBufferSize = 4096;
constexpr const char* kCantAllocate = "Can't allocate memory";
constexpr const char* kCantSave = "JPEG can save only RGB or GreyScale images";

// The standard error manager plus the way back out of the library and where the text goes.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char* lastError;  // the codec's lastError, 256 bytes
};

struct SourceManager {
    jpeg_source_mgr pub;
    ImageStream* stream;
    JOCTET* buffer;
    bool startOfFile;
};

struct DestinationManager {
    jpeg_destination_mgr pub;
    ImageStream* stream;
    JOCTET* buffer;
};

// Everything one load or save shares with the library callbacks. Plain data only: the error
// path leaves through longjmp, which must not skip any destructor.
struct JpegContext {
    ErrorManager error;
    SourceManager source;
    DestinationManager destination;
    JOCTET* buffer;
};

// --- error manager ---

void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    char message[JMSG_LENGTH_MAX] = {};
    (*cinfo->err->format_message)(cinfo, message);
    std::strncpy(err->lastError, message, 255);
    err->lastError[255] = '\0';
    std::longjmp(err->jump, 1);
}

// Warnings (a file cut short, corrupt data the library gets past) are counted by the default
// emit_message but never printed: a command-line run must not spill library chatter.
void outputMessage(j_common_ptr) {}

jpeg_error_mgr* setUpErrors(ErrorManager& err, char* lastError) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = outputMessage;
    err.lastError = lastError;
    return &err.pub;
}

// --- source manager ---

void initSource(j_decompress_ptr cinfo) {
    reinterpret_cast<SourceManager*>(cinfo->src)->startOfFile = true;
}

boolean fillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
    size_t count = src->stream->read(src->buffer, 1, kBufferSize);
    if (count == 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        // A fake end-of-image marker lets the library finish a file that was cut short.
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        count = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = count;
    src->startOfFile = false;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    while (count > long(src->bytes_in_buffer)) {
        count -= long(src->bytes_in_buffer);
        fillInputBuffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= size_t(count);
}

void termSource(j_decompress_ptr) {}

void attachSource(jpeg_decompress_struct& cinfo, JpegContext& ctx, ImageStream& stream) {
    SourceManager& src = ctx.source;
    src.pub.init_source = initSource;
    src.pub.fill_input_buffer = fillInputBuffer;
    src.pub.skip_input_data = skipInputData;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = termSource;
    src.pub.next_input_byte = nullptr;
    src.pub.bytes_in_buffer = 0;
    src.stream = &stream;
    src.buffer = ctx.buffer;
    src.startOfFile = true;
    cinfo.src = &src.pub;
}

// --- destination manager ---

void initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<DestinationManager*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kBufferSize;
}

boolean emptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<DestinationManager*>(cinfo->dest);
    if (dest->stream->write(dest->buffer, 1, kBufferSize) != kBufferSize)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kBufferSize;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<DestinationManager*>(cinfo->dest);
    const size_t count = kBufferSize - dest->pub.free_in_buffer;
    // A short final write is as fatal as none: the file would end without its last bytes.
    if (count > 0 && dest->stream->write(dest->buffer, 1, count) != count)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->stream->flush();
    if (dest->stream->error()) ERREXIT(cinfo, JERR_FILE_WRITE);
}

void attachDestination(jpeg_compress_struct& cinfo, JpegContext& ctx, ImageStream& stream) {
    DestinationManager& dest = ctx.destination;
    dest.pub.init_destination = initDestination;
    dest.pub.empty_output_buffer = emptyOutputBuffer;
    dest.pub.term_destination = termDestination;
    dest.stream = &stream;
    dest.buffer = ctx.buffer;
    cinfo.dest = &dest.pub;
}

// Picks the smallest scale M/8 (M = 1..8) whose output covers the wanted size, and leaves
// cinfo's output size computed; no wish (both 0) keeps the full size.
void chooseScale(jpeg_decompress_struct& cinfo, int32_t minWidth, int32_t minHeight) {
    cinfo.scale_num = 8;
    cinfo.scale_denom = 8;
    if (minWidth > 0 || minHeight > 0) {
        for (unsigned m = 1; m < 8; ++m) {
            cinfo.scale_num = m;
            jpeg_calc_output_dimensions(&cinfo);
            if (int64_t(cinfo.output_width) >= minWidth &&
                int64_t(cinfo.output_height) >= minHeight)
                return;
        }
        cinfo.scale_num = 8;
    }
    jpeg_calc_output_dimensions(&cinfo);
}

// --- the work and memory a frame costs ---

// Blocks of one component as the library stores them: whole MCUs of an interleaved scan.
uint64_t storedBlocks(const jpeg_component_info& comp) {
    const uint64_t h = uint64_t(std::max(comp.h_samp_factor, 1));
    const uint64_t v = uint64_t(std::max(comp.v_samp_factor, 1));
    return (uint64_t(comp.width_in_blocks) + h - 1) / h * h *
           ((uint64_t(comp.height_in_blocks) + v - 1) / v * v);
}

// A file coded in several scans is gathered whole before any row comes out: the library keeps
// every coefficient of the frame, 128 bytes a block.
uint64_t coefficientBytes(const jpeg_decompress_struct& cinfo) {
    if (!cinfo.progressive_mode && cinfo.comps_in_scan >= cinfo.num_components) return 0;
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) blocks += storedBlocks(cinfo.comp_info[c]);
    return blocks * 128;
}

// No encoder in use makes more scans than this (libjpeg's progression has 10, mozjpeg's
// searched ones a few dozen); thousands of tiny scans only cost time.
constexpr int kMaxScans = 256;
// Each scan walks over every block of its components, however few bytes code it, so the
// blocks walked are bounded too: for any file 2^24 (2^22 arithmetically coded, where a walk
// costs four times as much), about a tenth of a second; more for longer files, at 64 (16) a
// byte. A 24 MP photo with 20 scans walks about 11 million blocks in 3 MB or more.
constexpr uint64_t kLeastBlockWalk = uint64_t(1) << 24;
constexpr uint64_t kBlockWalkPerByte = 64;
constexpr int kArithmeticWalkShift = 2;

// Follows the library through the scans of a multi-scan file and stops it when the scans or
// the blocks they walk exceed what the file's length allows.
struct ScanGuard {
    jpeg_progress_mgr pub;
    uint64_t walkLimit;
    uint64_t walked;
    int scan;
};

void guardScans(j_common_ptr common) {
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto* guard = reinterpret_cast<ScanGuard*>(cinfo->progress);
    if (cinfo->input_scan_number == guard->scan) return;
    guard->scan = cinfo->input_scan_number;
    for (int c = 0; c < cinfo->comps_in_scan; ++c)
        guard->walked += storedBlocks(*cinfo->cur_comp_info[c]);
    if (guard->scan > kMaxScans || guard->walked > guard->walkLimit) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->lastError, 256, "Too many scans for the file's size (%d)", guard->scan);
        std::longjmp(err->jump, 1);
    }
}

// Ends a followed decode on every way out (a library failure, an exception), before the
// picture can be freed. volatile: it changes between setjmp and a longjmp back.
class ProgressEnd {
  public:
    ~ProgressEnd() { (*this)(false); }
    void follow(DecodeProgress* progress) { progress_ = progress; }
    DecodeProgress* progress() const { return progress_; }
    void operator()(bool ok) {
        if (DecodeProgress* progress = progress_) {
            progress_ = nullptr;
            progress->end(ok);
        }
    }

  private:
    DecodeProgress* volatile progress_ = nullptr;
};

// Rows are reported in bands: each report wakes the follower.
constexpr JDIMENSION kReportedRows = 16;

}  // namespace

bool JpegCodec::decode(ImageStream& stream) {
    JpegContext ctx{};
    ProgressEnd ended;
    jpeg_decompress_struct cinfo;
    ctx.buffer = static_cast<JOCTET*>(std::malloc(kBufferSize));
    if (!ctx.buffer) {
        setLastError(kCantAllocate);
        return false;
    }
    cinfo.err = setUpErrors(ctx.error, info.lastError);
    if (setjmp(ctx.error.jump)) {
        // The library failed; lastError holds its message. No half-decoded picture is kept.
        ended(false);
        jpeg_destroy_decompress(&cinfo);
        std::free(ctx.buffer);
        destroy();
        return false;
    }
    jpeg_CreateDecompress(&cinfo, kJpegInterfaceVersion, sizeof(cinfo));
    const uint64_t fileBytes = bytesLeft(stream);
    attachSource(cinfo, ctx, stream);
    jpeg_read_header(&cinfo, TRUE);
    // Colour photos are delivered as blue, green, red, the image's own order (the same
    // values as red, green, blue swapped afterwards), straight into the image's rows.
    const bool bgr = cinfo.num_components == 3 && cinfo.out_color_space == JCS_RGB;
    if (bgr) cinfo.out_color_space = JCS_EXT_BGR;
    chooseScale(cinfo, minWidth, minHeight);

    // The frame's coefficients (a multi-scan file) share the picture's budget; the library
    // may not use more than it.
    const uint64_t coefficients = coefficientBytes(cinfo);
    if (!spendDecodeBudget(coefficients)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(ctx.buffer);
        return false;
    }
    ScanGuard guard{};
    if (coefficients > 0) {
        guard.pub.progress_monitor = guardScans;
        const uint64_t walk = fileBytes >= UINT64_MAX / kBlockWalkPerByte
                                  ? UINT64_MAX
                                  : std::max(kLeastBlockWalk, fileBytes * kBlockWalkPerByte);
        guard.walkLimit = cinfo.arith_code ? walk >> kArithmeticWalkShift : walk;
        cinfo.progress = &guard.pub;
    }

    // The output has the scaled size and the file's component count, so the picture is made
    // (and a hostile size refused) before the library allocates for it.
    const int components = cinfo.num_components;
    if (!create(int32_t(cinfo.output_width), int32_t(cinfo.output_height), 8 * uint32_t(components),
                JPEG)) {
        // create has said why ("Image too large: W x H", ...).
        jpeg_destroy_decompress(&cinfo);
        std::free(ctx.buffer);
        return false;
    }
    // The library's own buffers get what the budget leaves; beyond it the decode fails.
    if (decodeBudget() != UINT64_MAX)
        cinfo.mem->max_memory_to_use =
            long(std::min<uint64_t>(decodeBudget() - totalSize(), LONG_MAX));
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != uint32_t(header.width) ||
        cinfo.output_height != uint32_t(header.height) || cinfo.output_components != components)
        ERREXIT(&cinfo, JERR_NOT_COMPILED);

    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        setGrayPalette();
        header.colorsUsed = 256;
    } else {
        header.colorsUsed = 0;
    }

    const size_t lineLength = size_t(cinfo.output_width) * size_t(components);
    JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                 JPOOL_IMAGE, JDIMENSION(lineLength), 1);
    const int32_t height = header.height;
    const size_t rowBytes = info.stride;
    // Only rows decoded straight into the picture are final as they come.
    if (bgr && progress) {
        ended.follow(progress);
        progress->begin(*this);
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        // The library delivers rows top-down; the image keeps them bottom-up.
        uint8_t* target = row(height - 1 - int32_t(cinfo.output_scanline));
        if (bgr) {
            if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) break;
            if (ended.progress() && cinfo.output_scanline % kReportedRows == 0)
                ended.progress()->rowsDone(height - int32_t(cinfo.output_scanline));
            continue;
        }
        if (jpeg_read_scanlines(&cinfo, line, 1) != 1) break;
        const uint8_t* source = line[0];
        if (components == 4) {
            // CMYK as Adobe writes it (inverted): each ink channel scaled by K.
            for (size_t in = 0, out = 0; in + 4 <= lineLength && out + 3 <= rowBytes;
                 in += 4, out += 3) {
                const unsigned k = source[in + 3];
                target[out] = uint8_t(source[in + 2] * k / 255);
                target[out + 1] = uint8_t(source[in + 1] * k / 255);
                target[out + 2] = uint8_t(source[in] * k / 255);
            }
        } else {
            std::memcpy(target, source, std::min(lineLength, rowBytes));
        }
    }
    jpeg_finish_decompress(&cinfo);
    ended(true);

    if (components == 3 && !bgr) {
        // The library gives red, green, blue; the image keeps blue, green, red.
        const int32_t width = header.width;
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* p = row(y);
            for (int32_t x = 0; x < width; ++x, p += 3) std::swap(p[0], p[2]);
        }
    }
    jpeg_destroy_decompress(&cinfo);
    std::free(ctx.buffer);
    return true;
}

bool JpegCodec::encode(ImageStream& stream) {
    // Only 24-bit pictures and 8-bit ones with the identity grey ramp map onto JPEG. A 1- or
    // 4-bit picture whose short palette starts like the ramp is refused too: its rows hold
    // fewer bytes than a grey scan line needs.
    const bool grey = paletteBase() != nullptr;
    if ((grey && (!isGrayScale() || bitCount() != 8)) || (!grey && bitCount() != 24)) {
        setLastError(kCantSave);
        return false;
    }

    JpegContext ctx{};
    jpeg_compress_struct cinfo;
    ctx.buffer = static_cast<JOCTET*>(std::malloc(kBufferSize));
    if (!ctx.buffer) {
        setLastError(kCantAllocate);
        return false;
    }
    cinfo.err = setUpErrors(ctx.error, info.lastError);
    if (setjmp(ctx.error.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(ctx.buffer);
        return false;
    }
    jpeg_CreateCompress(&cinfo, kJpegInterfaceVersion, sizeof(cinfo));
    attachDestination(cinfo, ctx, stream);

    cinfo.image_width = JDIMENSION(header.width);
    cinfo.image_height = JDIMENSION(header.height);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, info.jpegQuality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);

    const uint32_t rowBytes = info.stride;
    JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                 JPOOL_IMAGE, rowBytes + 8, 1);
    const int32_t height = header.height;
    while (cinfo.next_scanline < cinfo.image_height) {
        std::memcpy(line[0], row(height - 1 - int32_t(cinfo.next_scanline)), rowBytes);
        if (!grey) swapRedBlue(line[0], rowBytes);
        jpeg_write_scanlines(&cinfo, line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(ctx.buffer);
    return true;
}
