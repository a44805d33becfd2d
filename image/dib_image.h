// The one in-memory image of Vantifex: a packed device-independent bitmap (40-byte header,
// colour table, bottom-up rows padded to four bytes) plus an optional 8-bit alpha plane.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>

#include "image/surface.h"

class ImageStream;

// The refusal of a picture (or a decoder's working memory) larger than the file could make.
inline constexpr const char* kDataTooShort = "Image data too short for the picture's size";

// The numbering of file formats. It is stored in DibImage::info.type and keys the dispatch.
enum ImageFileType : uint32_t {
    BMP = 0,
    GIF = 1,
    JPEG = 2,
    PNG = 3,
    ICO = 4,
    TIFF = 5,
    TGA = 6,
    PCX = 7,
    // Formats beyond the first eight take numbers after them; the first eight never change.
    WEBP = 8,
    HEIF = 9,
    AVIF = 10,
    JXL = 11,
    RAW = 12,
};

// A colour inside images: memory order blue, green, red, fourth byte. As a 32-bit value
// (toValue/fromValue) blue is in bits 0-7 and red in bits 16-23.
struct RgbQuad {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;

    static constexpr RgbQuad fromValue(uint32_t v) {
        return RgbQuad{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }
    constexpr uint32_t toValue() const {
        return uint32_t(blue) | uint32_t(green) << 8 | uint32_t(red) << 16 |
               uint32_t(reserved) << 24;
    }
    friend constexpr bool operator==(const RgbQuad&, const RgbQuad&) = default;
};
static_assert(sizeof(RgbQuad) == 4);

// BITMAPINFOHEADER, field for field; copied to the front of the block.
struct BitmapInfoHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t colorsUsed = 0;
    uint32_t colorsImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

class DibImage;

// Follows a decode into a 24-bit picture (JPEG colour photos), so that work on its upper
// rows can start while the lower ones are still being decoded.
class DecodeProgress {
  public:
    virtual ~DecodeProgress() = default;
    // The picture is made, its size and info final; no row is filled yet.
    virtual void begin(const DibImage& picture) noexcept = 0;
    // Rows lowest .. height - 1 (counted from the bottom) are final.
    virtual void rowsDone(int32_t lowest) noexcept = 0;
    // Decoding is over. With ok false the picture is about to be freed: the callee has
    // stopped reading it when it returns.
    virtual void end(bool ok) noexcept = 0;
};

// Called by saveToFile on its finished temporary file, before the file is synced and put in
// place: it may rewrite that same file in place (the metadata step); false abandons the save.
using SaveFinisher = std::function<bool(const char* temporaryPath, uint32_t type)>;

// The group of fields that copyFrom copies as one unit.
struct ImageInfo {
    uint32_t stride = 0;
    uint8_t* pixels = nullptr;
    DibImage* owner = nullptr;
    uint32_t type = 0;
    uint8_t colorType = 0;
    // The one field a save may write: saving is const, and says why it failed here.
    mutable char lastError[256] = {};
    int32_t backgroundIndex = -1;
    RgbQuad backgroundColour{};
    // What a save writes with: JPEG (and lossy WebP) quality 1-100, PNG's zlib level 0-9
    // (-1: libpng's own).
    uint8_t jpegQuality = 75;
    int8_t pngCompression = -1;
    int32_t frameIndex = 0;
    int32_t frameCount = 0;
    uint32_t frameDelay = 0;
    int32_t xDpi = 72;
    int32_t yDpi = 72;
    uint8_t alphaMax = 255;
    bool alphaPaletteEnabled = false;
    int32_t xOffset = 0;
    int32_t yOffset = 0;
};

class DibImage {
  public:
    // Largest picture create accepts; far above real photos, low enough to refuse hostile headers.
    static constexpr int64_t kMaxPixels = int64_t(1) << 28;

    explicit DibImage(uint32_t imageType = 0);
    DibImage(int32_t width, int32_t height, uint32_t bitCount, uint32_t imageType);
    DibImage(const DibImage& source, bool copyPixels, bool copyAlpha);
    virtual ~DibImage();

    // Assignment is a deep copy (copyFrom with pixels and alpha).
    DibImage(const DibImage& source);
    DibImage& operator=(const DibImage& source);
    // Moving is transfer: the buffers change hands and the source is left empty.
    DibImage(DibImage&& source) noexcept;
    DibImage& operator=(DibImage&& source) noexcept;

    // --- construction and storage ---
    // Returns the block, or null (leaving the image empty) when a side is not positive, the
    // picture is larger than kMaxPixels or imageSize would not fit 32 bits, or allocation fails;
    // a refusal leaves its reason in lastError ("Image too large: W x H", ...).
    uint8_t* create(int32_t width, int32_t height, uint32_t bitCount, uint32_t imageType);
    // Frees the buffers the image owns; a borrowed view is left as it is.
    void destroy();
    bool copyFrom(const DibImage& source, bool copyPixels, bool copyAlpha);
    void transfer(DibImage& source);
    // Shows the source's buffers without owning them. Whatever the view does later (create,
    // alphaCreate, alphaDelete, a geometry operation, destruction) gives it buffers of its own
    // or lets go of the source's; it never frees or reallocates them.
    void borrow(DibImage& source);

    int32_t width() const { return block_ ? header.width : 0; }
    int32_t height() const { return block_ ? header.height : 0; }
    bool isValid() const { return block_ != nullptr; }
    uint32_t paletteSize() const { return header.colorsUsed * 4; }
    RgbQuad* paletteBase() const;
    size_t totalSize() const { return 40 + size_t(paletteSize()) + header.imageSize; }
    void setXDpi(int32_t dpi);
    void setYDpi(int32_t dpi);

    uint8_t* block() const { return block_; }
    uint8_t* pixels() const { return info.pixels; }
    uint8_t* row(int32_t y) const { return info.pixels + size_t(y) * info.stride; }
    uint32_t stride() const { return info.stride; }
    uint16_t bitCount() const { return header.bitCount; }
    uint8_t* alphaPlane() const { return alpha_; }
    bool hasAlpha() const { return alpha_ != nullptr; }
    uint32_t type() const { return info.type; }
    const char* lastError() const { return info.lastError; }
    void setLastError(const char* message) const;
    // The pixel cap's refusal, "Image too large: W x H", as lastError.
    void setTooLargeError(int64_t width, int64_t height) const;

    // --- pixels and palette ---
    bool isInside(int32_t x, int32_t y) const {
        return block_ && x >= 0 && y >= 0 && x < header.width && y < header.height;
    }
    uint8_t getPixelIndex(int32_t x, int32_t y) const;
    void setPixelIndex(int32_t x, int32_t y, uint8_t index);
    RgbQuad getPixelColor(int32_t x, int32_t y) const;
    void setPixelColor(int32_t x, int32_t y, RgbQuad colour);
    // Writes the picture's colours (a paletted one's through its palette) into out, a 24-bit
    // picture of the same size; false, out untouched, when out is not one.
    bool writeColoursInto(DibImage& out) const;

    RgbQuad getPaletteColor(uint32_t index) const;
    void setPaletteColor(uint32_t index, RgbQuad colour);
    void setPaletteColor(uint32_t index, uint8_t red, uint8_t green, uint8_t blue,
                         uint8_t fourth = 0);
    void setPaletteFromQuads(const RgbQuad* quads, uint32_t count);
    void setPaletteFromTriples(const uint8_t* rgbTriples, uint32_t count);
    void setPaletteFromArrays(uint32_t count, const uint8_t* red, const uint8_t* green,
                              const uint8_t* blue);
    void setGrayPalette();
    bool isGrayScale() const;
    uint8_t nearestIndex(RgbQuad colour) const;
    void swapIndex(uint8_t a, uint8_t b);
    void swapRedBlue(uint8_t* buffer, uint32_t length) const;
    RgbQuad transparentColor() const;
    bool hasPaletteAlpha() const;

    // --- alpha plane (index y * width + x, bottom-up, no padding) ---
    uint8_t* alphaCreate();
    void alphaDelete();
    void alphaClear();
    void alphaFill(uint8_t value);
    uint8_t alphaGet(int32_t x, int32_t y) const;
    void alphaSet(int32_t x, int32_t y, uint8_t value);
    bool alphaCopyFrom(const DibImage& source);
    bool alphaFlip();
    bool alphaMirror();

    // --- painting onto a caller-owned surface ---
    bool draw(Surface* surface, int32_t x, int32_t y, int32_t w = -1, int32_t h = -1) const;
    void paint(Surface* surface, int32_t w = -1, int32_t h = -1) const;

    // --- point and colour operations (point_ops.cpp) ---
    bool adjustLight(int brightness, int contrastPercent);
    bool colorize(uint8_t hue, uint8_t saturation);
    static RgbQuad rgbToHsl(RgbQuad colour);  // (lightness, saturation, hue, 0) in byte order
    static RgbQuad hslToRgb(RgbQuad hsl);
    bool grayScale();
    bool tone();
    // tone() followed by colorize(hue, saturation), in one pass over true-colour pictures.
    bool toneAndColorize(uint8_t hue, uint8_t saturation);
    bool negative();
    bool splitChannels(DibImage* red, DibImage* green, DibImage* blue) const;
    bool mix(const DibImage& source, int operation, int32_t offsetX, int32_t offsetY);

    // --- neighbourhood filters (filters.cpp) ---
    bool applyKernel(const int32_t* kernel, int32_t size, int32_t divisor, int32_t offset);

    // --- geometry (geometry.cpp) ---
    bool rotateLeft(DibImage* target = nullptr);
    bool rotateRight(DibImage* target = nullptr);
    bool resample(int32_t newWidth, int32_t newHeight, int mode);
    // This image := source resampled as resample would (source is left as it is). made, when
    // given, holds the area-averaged rows already (AreaShrink, run while source was decoded);
    // they are taken instead of being computed again.
    bool resampleFrom(const DibImage& source, int32_t newWidth, int32_t newHeight, int mode,
                      const DibImage* made = nullptr);
    bool flip();
    bool mirror();
    // This image := the w x h area of source whose lower-left pixel is (x, y) (rows from the
    // bottom), with its palette, alpha and picture values. False, leaving this image as it is,
    // when the area is empty or not wholly inside source (area_copy.cpp).
    bool copyArea(const DibImage& source, int32_t x, int32_t y, int32_t w, int32_t h);

    // --- loading and saving through the format dispatch (formats/dispatch.cpp) ---
    // Every failure leaves its cause in lastError; a success clears it. Saving changes
    // nothing else, so pictures may be read and saved from several threads at once.
    bool loadFromFile(const char* path, uint32_t type);
    // As loadFromFile, but a JPEG is decoded at the smallest DCT scale whose size still
    // covers minWidth x minHeight (screen previews, thumbnails); other formats load whole.
    // progress, when given, follows the decode of a JPEG colour photo.
    bool loadReduced(const char* path, uint32_t type, int32_t minWidth, int32_t minHeight,
                     DecodeProgress* progress = nullptr);
    bool saveToFile(const char* path, uint32_t type, const SaveFinisher& finish = {}) const;
    bool loadFromStream(ImageStream& stream, uint32_t type);
    bool saveToStream(ImageStream& stream, uint32_t type) const;

    // --- the memory budget of one decode ---
    // While a decoder runs, the picture (create, alphaCreate) and the working memory it
    // announces (spendDecodeBudget) together stay within this many bytes; beyond them the
    // allocation is refused with kDataTooShort. Unlimited outside a decode.
    void setDecodeBudget(uint64_t bytes);
    uint64_t decodeBudget() const { return decodeBudget_; }
    // Reserves working memory before the decoder allocates it; false (lastError set) when the
    // picture already made plus all reserved would exceed the budget.
    bool spendDecodeBudget(uint64_t bytes);
    void refundDecodeBudget(uint64_t bytes);

    BitmapInfoHeader header;
    ImageInfo info;

  protected:
    // What the image shows: its own buffers, or a borrowed view's source's.
    uint8_t* block_ = nullptr;
    uint8_t* alpha_ = nullptr;

    // True when the block shown belongs to another image.
    bool borrowsBlock() const { return block_ && !ownBlock_; }

  private:
    struct FreeBuffer {
        void operator()(uint8_t* p) const noexcept { std::free(p); }
    };
    using Buffer = std::unique_ptr<uint8_t, FreeBuffer>;

    void reset(uint32_t imageType);
    // Frees what the image owns and forgets what it borrows: it is empty afterwards.
    void releaseBuffers();
    void adoptBlock(Buffer block);
    void adoptAlpha(Buffer alpha);

    // The buffers the image owns; null for what it only borrows.
    Buffer ownBlock_;
    Buffer ownAlpha_;

    // True (lastError set) when a picture of pictureBytes plus what is reserved would exceed
    // the decode budget.
    bool overDecodeBudget(uint64_t pictureBytes) const;

    uint64_t decodeBudget_ = UINT64_MAX;
    uint64_t decodeReserved_ = 0;

    // The size wish of loadReduced while it runs; JPEG decoding reads it.
    DecodeProgress* decodeProgress_ = nullptr;
    int32_t reduceWidth_ = 0;
    int32_t reduceHeight_ = 0;
};
