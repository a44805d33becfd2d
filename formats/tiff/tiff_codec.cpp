// TIFF files through libtiff: a client-open glue over ImageStream, the RGBA-image and strip
// routes of the reader with the orientation tag, and a single-page writer.
#include "formats/tiff/tiff_codec.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "formats/codec_error.h"
#include "formats/data_bound.h"
#include "formats/tiff/libtiff.h"

namespace {

constexpr const char* kHandleName = "TIFF IMAGE";
constexpr const char* kOpenFailed = "Error encountered while opening TIFF file";
constexpr const char* kNoPage = "Error: page not present in TIFF file";
constexpr const char* kNoRaster = "No space for raster buffer";
constexpr const char* kCorrupted = "Corrupted TIFF file!";
constexpr const char* kNoMemory = "Can't allocate memory";
constexpr const char* kUnsupportedCompression = "Unsupported TIFF compression";
// The least single allocation libtiff may always make, whatever the decode budget.
constexpr uint64_t kLibraryFloor = uint64_t(1) << 20;
constexpr const char* kWriteOpenFailed = "initialization fail";
constexpr const char* kWriteFailed = "Error writing TIFF file";

// libtiff's default handlers print to stderr; its messages are never shown, so both are
// switched off once for the whole process (the handlers are plain globals in libtiff).
void silenceLibraryMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// --- the client-open glue: libtiff reads and writes through the codec's ImageStream ---

ImageStream& streamOf(thandle_t handle) {
    return *static_cast<ImageStream*>(handle);
}

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t size) {
    if (size <= 0) return 0;
    return tmsize_t(streamOf(handle).read(buffer, 1, size_t(size)));
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t size) {
    if (size <= 0) return 0;
    return tmsize_t(streamOf(handle).write(buffer, 1, size_t(size)));
}

// libtiff treats (toff_t)-1 as a failed seek, as lseek does; 0 would pass for a seek to the
// start (and, when writing, make it append over the header).
toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    ImageStream& stream = streamOf(handle);
    const toff_t failed = toff_t(-1);
    if (whence == SEEK_SET && offset > toff_t(LONG_MAX)) return failed;
    if (stream.seek(long(int64_t(offset)), whence) != 0) return failed;
    if (whence == SEEK_SET) return offset;
    const long position = stream.tell();
    return position < 0 ? failed : toff_t(position);
}

// The stream never owns its file; whoever opened the file closes it.
int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t handle) {
    const long length = streamOf(handle).length();
    return length < 0 ? 0 : toff_t(length);
}

int mapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapProc(thandle_t, void*, toff_t) {}

struct TiffCloser {
    void operator()(TiffFile* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TiffFile, TiffCloser>;

// maxAllocation, when given, caps every single allocation libtiff makes for the file (its
// strip and tile buffers, tag arrays): beyond it libtiff fails instead of allocating.
TiffHandle openHandle(ImageStream& stream, const char* mode, uint64_t maxAllocation = 0) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    if (maxAllocation != 0)
        TIFFOpenOptionsSetMaxSingleMemAlloc(
            options, tmsize_t(std::min<uint64_t>(maxAllocation, uint64_t(INT64_MAX))));
    TiffHandle handle(TIFFClientOpenExt(kHandleName, mode, &stream, readProc, writeProc, seekProc,
                                        closeProc, sizeProc, mapProc, unmapProc, options));
    TIFFOpenOptionsFree(options);
    return handle;
}

// What libtiff allocates itself while TIFFReadRGBAImage decodes the page: one strip or tile
// buffer per plane it combines, and for JPEG the decoder's coefficients, two bytes a sample,
// which a progressive stream keeps for its whole strip.
uint64_t libraryWorkingBytes(TiffFile* tif, uint16_t compression, uint16_t samples) {
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar);
    const uint64_t chunk = TIFFIsTiled(tif) ? TIFFTileSize64(tif) : TIFFStripSize64(tif);
    const uint64_t planes = planar == PLANARCONFIG_SEPARATE ? std::min<uint16_t>(samples, 4) : 1;
    const bool jpeg = compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG;
    return chunk * planes * (jpeg ? 3 : 1);
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Float tags truncated to integers; out-of-range and NaN values are clamped, since the
// plain conversion of those is undefined.
int32_t truncateClamped(float value, int32_t low, int32_t high) {
    if (std::isnan(value)) return 0;
    if (double(value) <= double(low)) return low;
    if (double(value) >= double(high)) return high;
    return int32_t(value);
}

// Resolutions far beyond any device would overflow the pels-per-metre field.
constexpr int32_t kMaxDpi = 1 << 24;

// The fewest stored bytes that can decode to the page's samples, by compression: raw samples
// take their size, a PackBits run gives at most 128 bytes from 2, an LZW code at most 4096
// bytes from 12 bits, deflate at most 1032 bytes from one; the fax codings spend at least a
// bit on every row. 0 where no bound is known (JPEG, and what else libtiff may decode).
uint64_t leastStoredBytes(uint16_t compression, uint64_t sampleBytes, uint64_t rows) {
    switch (compression) {
        case COMPRESSION_NONE:
            return sampleBytes;
        case COMPRESSION_PACKBITS:
            return (sampleBytes + 63) / 64;
        case COMPRESSION_LZW:
            return (sampleBytes * 3 + 8191) / 8192;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return (sampleBytes + 1031) / 1032;
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTRLEW:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4:
            return (rows + 7) / 8;
        default:
            return 0;
    }
}

// True when the page's strips or tiles, as far as they lie inside the file, hold fewer bytes
// than the least its pixels can be stored in.
bool storedDataTooShort(TiffFile* tif, ImageStream& stream, uint64_t width, uint64_t height,
                        uint16_t samples, uint16_t bitsPerSample, uint16_t photometric) {
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    // Subsampled colour differences may store less than a sample each: only the luma counts.
    const uint64_t channels = photometric == PHOTOMETRIC_YCBCR ? 1 : samples;
    const uint64_t sampleBytes = width * height * channels * bitsPerSample / 8;
    const uint64_t least = leastStoredBytes(compression, sampleBytes, height);
    const long length = stream.length();
    if (least == 0 || length < 0) return false;
    uint64_t stored = 0;
    const uint32_t count = TIFFNumberOfStrips(tif);
    for (uint32_t i = 0; i < count && stored < least; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(tif, i);
        const uint64_t bytes = TIFFGetStrileByteCount(tif, i);
        if (offset < uint64_t(length)) stored += std::min(bytes, uint64_t(length) - offset);
    }
    return stored < least;
}

uint32_t greyStep(uint32_t colours) {
    return 255 / (colours - 1);
}

}  // namespace

bool TiffCodec::decode(ImageStream& stream) {
    silenceLibraryMessages();
    // libtiff's own allocations stay within the budget too, with room for the directory of
    // any file: the codec's own accounting below is what names a refusal.
    const uint64_t budget = decodeBudget();
    TiffHandle handle =
        openHandle(stream, "rb", budget == UINT64_MAX ? 0 : std::max(budget, kLibraryFloor));
    if (!handle) {
        setLastError(kOpenFailed);
        return false;
    }
    TiffFile* tif = handle.get();
    auto fail = [this](const char* message) {
        setLastError(message);
        return false;
    };

    // Count the pages that can be read one after the other (each directory read once: going
    // to page n anew for every n would walk the chain from the start each time), then go to
    // the one asked for.
    info.frameCount = 0;
    if (TIFFSetDirectory(tif, 0)) {
        info.frameCount = 1;
        while (info.frameCount < INT32_MAX && TIFFReadDirectory(tif)) ++info.frameCount;
    }
    if (info.frameIndex < 0 || !TIFFSetDirectory(tif, tdir_t(info.frameIndex)))
        return fail(kNoPage);

    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    uint16_t samples = 1, bitsPerSample = 1, photometric = 0, orientation = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
    // A rows-per-strip of 0 would never advance the strip loop: it means one strip.
    if (!TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) || rowsPerStrip == 0)
        rowsPerStrip = height;

    float xResolution = 0, yResolution = 0;
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xResolution);
    // libtiff reports a missing Y resolution (the two share one "set" flag) as 0.
    if (!TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yResolution) || yResolution == 0)
        yResolution = xResolution;
    setXDpi(truncateClamped(xResolution, 0, kMaxDpi));
    setYDpi(truncateClamped(yResolution, 0, kMaxDpi));
    float xPosition = 0, yPosition = 0;
    TIFFGetField(tif, TIFFTAG_XPOSITION, &xPosition);
    TIFFGetField(tif, TIFFTAG_YPOSITION, &yPosition);
    info.xOffset = truncateClamped(xPosition, INT32_MIN, INT32_MAX);
    info.yOffset = truncateClamped(yPosition, INT32_MIN, INT32_MAX);
    info.backgroundIndex = -1;

    // Sides the image cannot hold are refused before anything is allocated.
    if (width == 0 || height == 0) return fail(kCorrupted);
    if (uint64_t(width) * height > uint64_t(DibImage::kMaxPixels)) {
        setTooLargeError(width, height);
        return false;
    }
    // A compression this libtiff cannot decode would fail only after the picture is made.
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsCODECConfigured(compression)) return fail(kUnsupportedCompression);
    if (storedDataTooShort(tif, stream, width, height, samples, bitsPerSample, photometric))
        return fail(kDataTooShort);

    const bool rgbaRoute = (bitsPerSample >= 8 && photometric == PHOTOMETRIC_RGB) ||
                           photometric == PHOTOMETRIC_SEPARATED ||
                           photometric == PHOTOMETRIC_YCBCR || photometric == PHOTOMETRIC_LOGLUV;

    if (rgbaRoute) {
        if (!create(int32_t(width), int32_t(height), 24, TIFF)) return false;  // create said why
        if (samples == 4 && !alphaCreate()) {
            if (!lastError()[0]) setLastError(kNoMemory);
            return false;
        }
        const size_t count = size_t(width) * height;
        const uint64_t working =
            uint64_t(count) * sizeof(uint32_t) + libraryWorkingBytes(tif, compression, samples);
        if (!spendDecodeBudget(working)) return false;  // says why
        std::unique_ptr<uint32_t, FreeDeleter> raster(
            static_cast<uint32_t*>(std::malloc(count * sizeof(uint32_t))));
        if (!raster) return fail(kNoRaster);

        // The alpha plane holds straight alpha. libtiff would premultiply unassociated alpha
        // into the colours; declared as associated it hands the stored values through.
        uint16_t extraCount = 0;
        uint16_t* extraTypes = nullptr;
        if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0 &&
            extraTypes && extraTypes[0] == EXTRASAMPLE_UNASSALPHA) {
            std::vector<uint16_t> types(extraTypes, extraTypes + extraCount);
            types[0] = EXTRASAMPLE_ASSOCALPHA;
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, extraCount, types.data());
        }

        // The raster comes bottom row first, like the image's rows.
        if (!TIFFReadRGBAImage(tif, width, height, raster.get(), 1)) return fail(kCorrupted);
        const uint32_t* pixel = raster.get();
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* out = row(int32_t(y));
            for (uint32_t x = 0; x < width; ++x, ++pixel, out += 3) {
                out[0] = uint8_t(TIFFGetB(*pixel));
                out[1] = uint8_t(TIFFGetG(*pixel));
                out[2] = uint8_t(TIFFGetR(*pixel));
                if (alpha_) alpha_[size_t(y) * width + x] = uint8_t(TIFFGetA(*pixel));
            }
        }
        raster.reset();
        refundDecodeBudget(working);
        return true;
    }

    // The strip route copies lines of single samples into a paletted image; anything else
    // would be misread (or, for deep colour maps, overrun the palette).
    const bool grey =
        photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
    const bool palette = photometric == PHOTOMETRIC_PALETTE;
    const uint16_t b = bitsPerSample;
    const bool fits = samples == 1 && ((grey && (b == 1 || b == 4 || b == 8 || b == 16)) ||
                                       (palette && (b == 1 || b == 2 || b == 4 || b == 8)));
    if (!fits) return fail(kCorrupted);
    const uint32_t bits = grey && b == 1 ? 1 : b == 4 ? 4 : 8;
    if (!create(int32_t(width), int32_t(height), bits, TIFF)) return false;  // create said why
    const uint32_t colours = header.colorsUsed;

    std::array<RgbQuad, 256> quads{};
    if (grey && b == 1) {
        const bool whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
        quads[whiteIsZero ? 0 : 1] = RgbQuad{255, 255, 255, 0};
    } else if (grey) {
        for (uint32_t i = 0; i < colours; ++i) {
            uint8_t v = uint8_t(i * greyStep(colours));
            if (photometric == PHOTOMETRIC_MINISWHITE) v = uint8_t(255 - v);
            quads[i] = RgbQuad{v, v, v, 0};
        }
    } else {
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) && red && green && blue) {
            const uint32_t entries = 1u << b;  // b <= 8 here
            bool wide = false;
            for (uint32_t j = 0; j < entries; ++j)
                wide = wide || red[j] > 255 || green[j] > 255 || blue[j] > 255;
            auto level = [wide](uint16_t v) {
                return uint8_t(wide ? uint32_t(v) * 255 / 65535 : v & 0xFF);
            };
            for (uint32_t j = 0; j < entries; ++j)
                quads[j] = RgbQuad{level(blue[j]), level(green[j]), level(red[j]), 0};
        }
    }
    setPaletteFromQuads(quads.data(), colours);

    // The buffer holds what one strip decodes to: k lines of the file's line size.
    const uint64_t lineSize = (uint64_t(samples) * b * width + 7) / 8;
    const uint64_t stripRows = std::min(rowsPerStrip, height);
    const uint64_t bufferSize = lineSize * stripRows;
    // The strip buffer here and libtiff's own buffer for the strip's coded bytes.
    const uint64_t working = bufferSize + libraryWorkingBytes(tif, compression, samples);
    if (!spendDecodeBudget(working)) return false;  // says why
    std::unique_ptr<uint8_t, FreeDeleter> buffer(static_cast<uint8_t*>(std::malloc(bufferSize)));
    if (!buffer) return fail(kNoRaster);
    // 1- and 2-bit colour-map indices are widened to the 8-bit image.
    const bool widen = palette && b < 4;
    std::vector<uint8_t> wide(widen ? width : 0);

    for (uint64_t r0 = 0; r0 < height; r0 += rowsPerStrip) {
        const uint64_t k = std::min<uint64_t>(rowsPerStrip, height - r0);
        const tmsize_t wanted = tmsize_t(k * lineSize);
        std::memset(buffer.get(), 0, size_t(wanted));
        const uint32_t strip = TIFFComputeStrip(tif, uint32_t(r0), 0);
        if (TIFFReadEncodedStrip(tif, strip, buffer.get(), wanted) == -1) return fail(kCorrupted);
        for (uint64_t t = k; t-- > 0;) {
            uint8_t* line = buffer.get() + t * lineSize;
            const uint8_t* source = line;
            size_t used = size_t(lineSize);
            if (b == 16) {
                // Keep the high byte of each sample; libtiff gives samples in host order.
                for (uint32_t x = 0; x < width; ++x) {
                    uint16_t sample;
                    std::memcpy(&sample, line + 2 * size_t(x), 2);
                    line[x] = uint8_t(sample >> 8);
                }
                used = width;
            } else if (widen) {
                const uint32_t perByte = 8 / b, mask = (1u << b) - 1;
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t shift = 8 - b * (x % perByte + 1);
                    wide[x] = uint8_t((line[x / perByte] >> shift) & mask);
                }
                source = wide.data();
                used = width;
            }
            std::memcpy(row(int32_t(height - 1 - (r0 + t))), source,
                        std::min<size_t>(used, stride()));
        }
    }
    buffer.reset();
    refundDecodeBudget(working);

    // The first stored row is at the top of the picture; turn it as the tag says. A quarter
    // turn makes the turned picture beside this one.
    const bool quarterTurn =
        orientation >= ORIENTATION_LEFTTOP && orientation <= ORIENTATION_LEFTBOT;
    const uint64_t turnedBytes = totalSize() + (alpha_ ? uint64_t(width) * height : 0);
    if (quarterTurn && !spendDecodeBudget(turnedBytes)) return false;  // says why
    bool turned = true;
    switch (orientation) {
        case ORIENTATION_TOPRIGHT:
            turned = mirror();
            break;
        case ORIENTATION_BOTRIGHT:
            turned = flip() && mirror();
            break;
        case ORIENTATION_BOTLEFT:
            turned = flip();
            break;
        case ORIENTATION_LEFTTOP:
            turned = rotateRight() && mirror();
            break;
        case ORIENTATION_RIGHTTOP:
            turned = rotateRight();
            break;
        case ORIENTATION_RIGHTBOT:
            turned = rotateLeft() && mirror();
            break;
        case ORIENTATION_LEFTBOT:
            turned = rotateLeft();
            break;
        default:
            break;
    }
    if (quarterTurn) refundDecodeBudget(turnedBytes);
    if (!turned) return fail(kNoMemory);
    return true;
}

bool TiffCodec::encode(ImageStream& stream) {
    silenceLibraryMessages();
    if (!isValid()) {
        setLastError(kWriteOpenFailed);
        return false;
    }
    TiffHandle handle = openHandle(stream, "wb");
    if (!handle) {
        setLastError(kWriteOpenFailed);
        return false;
    }
    TiffFile* tif = handle.get();

    const uint32_t bits = bitCount();
    const int32_t w = width(), h = height();
    const bool withAlpha = bits == 24 && hasAlpha();
    const uint16_t samples = bits == 24 ? (withAlpha ? 4 : 3) : 1;
    const uint16_t bitsPerSample = bits == 24 ? 8 : uint16_t(bits);
    const RgbQuad* palette = paletteBase();
    const uint32_t colours = header.colorsUsed;

    uint16_t photometric = PHOTOMETRIC_RGB;
    if (bits == 1) {
        auto brightness = [](RgbQuad c) { return (c.green * 59 + c.red * 30 + c.blue * 11) / 100; };
        photometric = brightness(palette[0]) < brightness(palette[1]) ? PHOTOMETRIC_MINISBLACK
                                                                      : PHOTOMETRIC_MINISWHITE;
    } else if (bits < 24) {
        // Black-is-zero means the even ramp a reader builds for this depth (steps of 17 for
        // 16 colours, of 1 for 256); any other palette is written as a colour map.
        bool ramp = true;
        for (uint32_t i = 0; i < colours && ramp; ++i) {
            const uint8_t v = uint8_t(i * greyStep(colours));
            ramp = palette[i].red == v && palette[i].green == v && palette[i].blue == v;
        }
        photometric = ramp ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE;
    }

    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1u);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(info.xDpi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(info.yDpi));
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0u);
    if (withAlpha) {
        // Without it the fourth sample is undeclared; the alpha plane is straight alpha.
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }

    if (photometric == PHOTOMETRIC_PALETTE) {
        std::array<uint16_t, 256> red{}, green{}, blue{};
        for (uint32_t i = 0; i < colours && i < 256; ++i) {
            red[i] = uint16_t(palette[i].red * 257);
            green[i] = uint16_t(palette[i].green * 257);
            blue[i] = uint16_t(palette[i].blue * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }

    const uint16_t compression = bits == 1   ? COMPRESSION_CCITTFAX3
                                 : bits == 8 ? COMPRESSION_PACKBITS
                                 : bits == 4 ? COMPRESSION_NONE
                                             : COMPRESSION_JPEG;
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, int(info.jpegQuality));
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8u);
    }

    // Rows from the top of the picture down, each through a line of the writer's own: the
    // library may change the buffer it is given (byte swapping, prediction).
    bool ok = true;
    std::vector<uint8_t> line(bits == 24 ? size_t(w) * samples : stride());
    for (int32_t y = h - 1; y >= 0 && ok; --y) {
        if (bits == 24) {
            const uint8_t* in = row(y);
            uint8_t* out = line.data();
            for (int32_t x = 0; x < w; ++x, in += 3) {
                *out++ = in[2];
                *out++ = in[1];
                *out++ = in[0];
                if (withAlpha) *out++ = alphaGet(x, y);
            }
        } else {
            std::memcpy(line.data(), row(y), stride());
        }
        ok = TIFFWriteScanline(tif, line.data(), uint32_t(h - 1 - y), 0) == 1;
    }
    // A failed write must not pass for a saved picture.
    ok = ok && TIFFFlush(tif) == 1;
    handle.reset();
    if (!ok || stream.error()) {
        setLastError(kWriteFailed);
        return false;
    }
    return true;
}
