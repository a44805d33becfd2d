// PNG codec: libpng glue (stream callbacks, recorded errors through the jump buffer) and the
// mapping of PNG colour types onto paletted and 24-bit images with their transparency.
#include "formats/png/png_codec.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "formats/codec_error.h"
#include "formats/data_bound.h"

namespace {

constexpr const char* kCreateFailed = "Failed to create PNG structure";
constexpr const char* kInfoFailed = "Failed to initialize PNG info structure";
constexpr const char* kReadFailed = "Error reading PNG file";
constexpr const char* kWriteFailed = "Error saving PNG file";
constexpr const char* kNoMemory = "Can't allocate memory";

// Deflate cannot expand data more than about 1032 times; a file shorter than that share of
// the picture cannot hold it, so there is no point allocating the picture.
constexpr uint64_t kMaxDeflateRatio = 1032;

// libpng allocates a chunk's declared length before reading it (and only warns when that is
// over its own limit), and inflates compressed text and profiles into buffers of its own. No
// single allocation of the library may exceed what the file holds, 8 MB, or a few rows of the
// picture, whichever is largest; a refused ancillary chunk is dropped.
constexpr uint64_t kLeastChunkAllocation = uint64_t(8) << 20;
// Text, sPLT and unknown chunks kept at most; thousands of tiny ones only cost time.
constexpr png_uint_32 kMaxKeptChunks = 256;

}  // namespace

// Everything one read or write needs, kept off the stack frame that holds the jump buffer so
// that nothing it changes becomes indeterminate after the library jumps back.
struct PngSession {
    PngSession(PngCodec& c, ImageStream& s, bool w) : codec(c), stream(s), writing(w) {}
    ~PngSession() {
        if (!png) return;
        if (writing)
            png_destroy_write_struct(&png, &pngInfo);
        else
            png_destroy_read_struct(&png, &pngInfo, nullptr);
    }
    PngSession(const PngSession&) = delete;
    PngSession& operator=(const PngSession&) = delete;

    void record(const char* message) {
        std::strncpy(codec.libraryMessage_, message ? message : "",
                     sizeof(codec.libraryMessage_) - 1);
    }

    PngCodec& codec;
    ImageStream& stream;
    const bool writing;
    png_structp png = nullptr;
    png_infop pngInfo = nullptr;
    std::vector<uint8_t> buffer;
    uint64_t allocationLimit = UINT64_MAX;  // the largest single allocation of the library
};

namespace {

// The library's messages are kept for diagnosis and never printed.
[[noreturn]] void recordError(png_structp png, png_const_charp message) {
    static_cast<PngSession*>(png_get_error_ptr(png))->record(message);
    png_longjmp(png, 1);
}

void recordWarning(png_structp png, png_const_charp message) {
    static_cast<PngSession*>(png_get_error_ptr(png))->record(message);
}

png_voidp boundedMalloc(png_structp png, png_alloc_size_t size) {
    const auto* session = static_cast<const PngSession*>(png_get_mem_ptr(png));
    uint64_t limit = session->allocationLimit;
    if (limit != UINT64_MAX && session->pngInfo)
        limit = std::max(limit, 16 * uint64_t(png_get_image_width(png, session->pngInfo)) + 4096);
    return size > limit ? nullptr : std::malloc(size);
}

void boundedFree(png_structp, png_voidp p) {
    std::free(p);
}

void readData(png_structp png, png_bytep data, size_t length) {
    auto* session = static_cast<PngSession*>(png_get_io_ptr(png));
    if (session->stream.read(data, 1, length) != length) png_error(png, "Read Error");
}

void writeData(png_structp png, png_bytep data, size_t length) {
    auto* session = static_cast<PngSession*>(png_get_io_ptr(png));
    if (session->stream.write(data, 1, length) != length) png_error(png, "Write Error");
}

void flushData(png_structp png) {
    auto* session = static_cast<PngSession*>(png_get_io_ptr(png));
    if (session->stream.flush() != 0) png_error(png, "Flush Error");
}

// Widens packed 2-bit pixels to 4 bits in place, from the right so no source byte is
// overwritten before it is read.
void widenTwoBitRow(uint8_t* row, uint32_t width) {
    for (uint32_t x = width; x-- > 0;) {
        const uint8_t v = (row[x / 4] >> (6 - 2 * (x % 4))) & 3;
        uint8_t& target = row[x / 2];
        target = (x % 2 == 0) ? uint8_t((target & 0x0F) | (v << 4)) : uint8_t((target & 0xF0) | v);
    }
}

}  // namespace

bool PngCodec::decode(ImageStream& stream) {
    libraryMessage_[0] = '\0';
    std::unique_ptr<PngSession> session;
    try {
        session = std::make_unique<PngSession>(*this, stream, false);
    } catch (const std::bad_alloc&) {
        setLastError(kNoMemory);
        return false;
    }
    const uint64_t fileBytes = bytesLeft(stream);
    if (fileBytes != UINT64_MAX)
        session->allocationLimit = std::max(fileBytes, kLeastChunkAllocation);
    session->png =
        png_create_read_struct_2(PNG_LIBPNG_VER_STRING, session.get(), recordError, recordWarning,
                                 session.get(), boundedMalloc, boundedFree);
    if (!session->png) {
        setLastError(kCreateFailed);
        return false;
    }
    session->pngInfo = png_create_info_struct(session->png);
    if (!session->pngInfo) {
        setLastError(kInfoFailed);
        return false;
    }
    if (setjmp(png_jmpbuf(session->png))) {
        setLastError(kReadFailed);
        return false;
    }
    try {
        return readPicture(*session);
    } catch (const std::bad_alloc&) {
        setLastError(kNoMemory);
        return false;
    }
}

bool PngCodec::readPicture(PngSession& session) {
    png_structp png = session.png;
    png_infop pngInfo = session.pngInfo;
    png_set_read_fn(png, &session, readData);
    if (session.allocationLimit != UINT64_MAX)
        png_set_chunk_malloc_max(
            png, png_alloc_size_t(std::min(session.allocationLimit, uint64_t(PNG_SIZE_MAX))));
    png_set_chunk_cache_max(png, kMaxKeptChunks);
    png_read_info(png, pngInfo);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, pngInfo, &width, &height, &bitDepth, &colorType, &interlace, nullptr,
                 nullptr);
    const int fileColorType = colorType;
    const int depth = bitDepth * png_get_channels(png, pngInfo);

    if (uint64_t(width) * height > uint64_t(kMaxPixels)) {
        setTooLargeError(width, height);
        return false;
    }
    // A header claiming far more pixels than the rest of the file could inflate to is refused
    // before the picture is allocated.
    const long total = session.stream.length();
    const long here = session.stream.tell();
    if (total >= 0 && here >= 0 && total >= here) {
        const uint64_t leastData = uint64_t(width) * height * uint64_t(depth) / 8;
        if (leastData / kMaxDeflateRatio > uint64_t(total - here) + 1024) {
            setLastError(kDataTooShort);
            return false;
        }
    }

    png_color_16p fileBackground = nullptr;
    const bool hasBackground = png_get_bKGD(png, pngInfo, &fileBackground) != 0;
    png_bytep transAlpha = nullptr;
    int transCount = 0;
    png_color_16p transColour = nullptr;
    const bool hasTrans = png_get_tRNS(png, pngInfo, &transAlpha, &transCount, &transColour) != 0;
    // A grey file of up to 8 bits names one transparent grey; it becomes the transparent
    // index of the grey palette instead of being flattened onto a background.
    const bool greyKey = fileColorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8 && hasTrans &&
                         transColour && transColour->gray < (1u << bitDepth);

    if (depth != 32) {
        if (!greyKey) {
            if (hasBackground) {
                png_set_background(png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
            } else {
                png_color_16 grey{0, 192, 192, 192, 0};
                png_set_background(png, &grey, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
            }
        }
        // Composited colour output is plain RGB from here on.
        if (depth > 16) colorType = PNG_COLOR_TYPE_RGB;
    } else if (hasBackground) {
        info.backgroundColour =
            RgbQuad{uint8_t(fileBackground->blue), uint8_t(fileBackground->green),
                    uint8_t(fileBackground->red), info.backgroundColour.reserved};
    }
    if (bitDepth == 16) png_set_strip_16(png);

    const uint32_t imageBits = depth == 16 ? 8 : depth > 16 ? 24 : uint32_t(depth);
    // A refused create has said why.
    if (!create(int32_t(width), int32_t(height), imageBits, PNG)) return false;

    if (RgbQuad* pal = paletteBase()) {
        png_colorp palette = nullptr;
        int paletteCount = 0;
        if (png_get_PLTE(png, pngInfo, &palette, &paletteCount)) {
            static_assert(sizeof(png_color) == 3);
            setPaletteFromTriples(reinterpret_cast<const uint8_t*>(palette),
                                  uint32_t(std::max(paletteCount, 0)));
        } else if (bitDepth == 2) {
            for (uint8_t i = 0; i < 4; ++i)
                pal[i] = RgbQuad{uint8_t(i * 85), uint8_t(i * 85), uint8_t(i * 85), 0};
        } else {
            setGrayPalette();
        }

        if (fileColorType == PNG_COLOR_TYPE_PALETTE && hasTrans && transAlpha && transCount > 0) {
            const uint32_t n = std::min(header.colorsUsed, uint32_t(transCount));
            for (uint32_t i = 0; i < n; ++i) pal[i].reserved = transAlpha[i];
            if (transCount == 1 && pal[0].reserved == 0) {
                info.backgroundIndex = 0;  // one fully transparent colour at index 0
            } else {
                info.alphaPaletteEnabled = true;
                for (uint32_t i = n; i < header.colorsUsed; ++i) pal[i].reserved = 255;
            }
        } else if (greyKey) {
            // 2-bit greys are widened with their values unchanged, so the grey is the index.
            info.backgroundIndex = int32_t(transColour->gray);
        }
    }

    const bool withAlpha = colorType == PNG_COLOR_TYPE_RGB_ALPHA ||
                           (colorType == PNG_COLOR_TYPE_GRAY_ALPHA && depth == 32);
    if (withAlpha) {
        if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
        png_set_expand(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        if (!alphaCreate()) {
            setLastError(kNoMemory);
            return false;
        }
    }

    const int passes = interlace != PNG_INTERLACE_NONE ? png_set_interlace_handling(png) : 1;
    png_read_update_info(png, pngInfo);
    const size_t bufferSize =
        std::max({size_t((depth + 7) / 8) * width + 10, size_t(png_get_rowbytes(png, pngInfo)) + 10,
                  size_t(info.stride) + 10});
    session.buffer.assign(bufferSize, 0);
    uint8_t* buffer = session.buffer.data();

    for (int pass = 0; pass < passes; ++pass) {
        const bool lastPass = pass == passes - 1;
        for (uint32_t j = 0; j < height; ++j) {
            const int32_t y = int32_t(height - 1 - j);  // the first file row is the top one
            uint8_t* target = row(y);
            if (withAlpha) {
                // Every pass is stored and the next one starts from it, so interlaced rows
                // land where non-interlaced ones do.
                uint8_t* rowAlpha = alpha_ + size_t(y) * width;
                if (pass > 0) {
                    for (uint32_t x = 0; x < width; ++x) {
                        buffer[4 * x] = target[3 * x + 2];
                        buffer[4 * x + 1] = target[3 * x + 1];
                        buffer[4 * x + 2] = target[3 * x];
                        buffer[4 * x + 3] = rowAlpha[x];
                    }
                }
                png_read_row(png, buffer, nullptr);
                for (uint32_t x = 0; x < width; ++x) {
                    target[3 * x] = buffer[4 * x + 2];
                    target[3 * x + 1] = buffer[4 * x + 1];
                    target[3 * x + 2] = buffer[4 * x];
                    rowAlpha[x] = buffer[4 * x + 3];
                }
            } else {
                // The library fills in only this pass's pixels; the earlier ones come from
                // the row as stored so far.
                if (pass > 0) std::memcpy(buffer, target, info.stride);
                png_read_row(png, buffer, nullptr);
                if (lastPass) {
                    if (colorType == PNG_COLOR_TYPE_RGB) swapRedBlue(buffer, info.stride);
                    if (bitDepth == 2) widenTwoBitRow(buffer, width);
                }
                std::memcpy(target, buffer, info.stride);
            }
        }
    }

    png_read_end(png, nullptr);
    return true;
}

bool PngCodec::encode(ImageStream& stream) {
    libraryMessage_[0] = '\0';
    std::unique_ptr<PngSession> session;
    try {
        session = std::make_unique<PngSession>(*this, stream, true);
    } catch (const std::bad_alloc&) {
        setLastError(kNoMemory);
        return false;
    }
    session->png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, session.get(), recordError, recordWarning);
    if (!session->png) {
        setLastError(kCreateFailed);
        return false;
    }
    session->pngInfo = png_create_info_struct(session->png);
    if (!session->pngInfo) {
        setLastError(kInfoFailed);
        return false;
    }
    if (setjmp(png_jmpbuf(session->png))) {
        setLastError(kWriteFailed);
        return false;
    }
    if (info.pngCompression >= 0)
        png_set_compression_level(session->png, std::min<int>(info.pngCompression, 9));
    try {
        return writePicture(*session);
    } catch (const std::bad_alloc&) {
        setLastError(kNoMemory);
        return false;
    }
}

namespace {

// Exchanges indices a and b among the first width pixels of a packed row of 1, 4 or 8 bits.
void swapRowIndices(uint8_t* row, uint32_t width, uint32_t bits, uint8_t a, uint8_t b) {
    const uint32_t perByte = 8 / bits;
    const uint8_t mask = uint8_t((1u << bits) - 1);
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t shift = 8 - bits * (x % perByte + 1);
        uint8_t& byte = row[x / perByte];
        const uint8_t v = (byte >> shift) & mask;
        const uint8_t w = v == a ? b : v == b ? a : v;
        byte = uint8_t((byte & ~(mask << shift)) | (w << shift));
    }
}

}  // namespace

// Writes from the image it shows without changing it: the palette with its transparent entry
// moved to index 0, the rows with their indices exchanged to match, and the alpha of a keyed
// colour are made in the writer's own copies.
bool PngCodec::writePicture(PngSession& session) {
    png_structp png = session.png;
    png_infop pngInfo = session.pngInfo;
    png_set_write_fn(png, &session, writeData, flushData);

    const uint32_t width = uint32_t(header.width);
    const uint32_t height = uint32_t(header.height);
    const RgbQuad* pal = paletteBase();
    // The transparent index of a paletted picture, when it is not 0 already.
    uint8_t movedKey = 0;
    // A transparent colour on a true-colour image is saved as alpha 0 in an RGBA file.
    bool keyedColour = false;

    if (header.bitCount < 24 && pal) {
        const uint32_t colours = header.colorsUsed;
        png_set_IHDR(png, pngInfo, width, height, header.bitCount, PNG_COLOR_TYPE_PALETTE,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        std::array<RgbQuad, 256> quads{};
        std::copy(pal, pal + std::min(colours, 256u), quads.begin());
        png_byte trans[256];
        int transCount = 0;
        // An index outside the table names no colour: swapping it would rewrite pixels.
        const int32_t key = info.backgroundIndex;
        if (key >= 0 && uint32_t(key) < colours) {
            trans[0] = 0;
            transCount = 1;
            // The file's single transparent entry must be index 0.
            if (key != 0) {
                movedKey = uint8_t(key);
                std::swap(quads[0], quads[movedKey]);
            }
        }
        if (info.alphaPaletteEnabled) {
            for (uint32_t i = 0; i < colours; ++i) trans[i] = quads[i].reserved;
            transCount = int(colours);
        }
        png_color palette[256];
        for (uint32_t i = 0; i < colours; ++i)
            palette[i] = png_color{quads[i].red, quads[i].green, quads[i].blue};
        png_set_PLTE(png, pngInfo, palette, int(colours));
        if (transCount > 0) png_set_tRNS(png, pngInfo, trans, transCount, nullptr);
    } else if (info.backgroundIndex >= 0) {
        keyedColour = true;
    }

    const bool rgba = header.bitCount == 24 && (keyedColour ? !alpha_ || info.colorType == 4
                                                            : info.colorType == 4 && alpha_);
    if (rgba) {
        png_set_IHDR(png, pngInfo, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, pngInfo);
        const RgbQuad key = transparentColor();
        session.buffer.assign(size_t(width) * 4, 0);
        uint8_t* buffer = session.buffer.data();
        for (int32_t y = int32_t(height) - 1; y >= 0; --y) {
            const uint8_t* source = row(y);
            const uint8_t* rowAlpha = alpha_ ? alpha_ + size_t(y) * width : nullptr;
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = source + 3 * x;
                unsigned a = rowAlpha ? rowAlpha[x] : 255;
                if (keyedColour && p[0] == key.blue && p[1] == key.green && p[2] == key.red) a = 0;
                buffer[4 * x] = p[2];
                buffer[4 * x + 1] = p[1];
                buffer[4 * x + 2] = p[0];
                buffer[4 * x + 3] = uint8_t(a * info.alphaMax / 255);
            }
            png_write_row(png, buffer);
        }
    } else {
        const bool rgb = header.bitCount == 24;
        if (rgb)
            png_set_IHDR(png, pngInfo, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                         PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, pngInfo);
        session.buffer.assign(size_t(info.stride) + 10, 0);
        uint8_t* buffer = session.buffer.data();
        // The library takes only width x depth bits of each row, never the padding.
        for (int32_t y = int32_t(height) - 1; y >= 0; --y) {
            std::memcpy(buffer, row(y), info.stride);
            if (rgb) swapRedBlue(buffer, info.stride);
            if (movedKey) swapRowIndices(buffer, width, header.bitCount, 0, movedKey);
            png_write_row(png, buffer);
        }
    }
    png_write_end(png, pngInfo);
    return true;
}
