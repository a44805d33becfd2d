// PhotoEdit: one photo being corrected: the working picture, its three colour-channel planes
// and its file name, with the corrections, the plane arithmetic, painting and file access.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/dib_image.h"
#include "image/surface.h"
#include "metadata/photo_metadata.h"

// Where saveFile puts a picture: the path actually written and the format written there.
struct SaveTarget {
    bool ok = false;
    std::string path;
    uint32_t type = JPEG;
};

class PhotoEdit {
  public:
    // The kinds of applyFilter.
    enum FilterKind { kBlur = 0, kSoften = 1, kSharpen = 2 };

    PhotoEdit() = default;
    virtual ~PhotoEdit() = default;
    // Copies are independent snapshots (assign).
    PhotoEdit(const PhotoEdit& other);
    PhotoEdit& operator=(const PhotoEdit& other);
    PhotoEdit(PhotoEdit&&) noexcept = default;
    PhotoEdit& operator=(PhotoEdit&&) noexcept = default;

    // Deep copy of the four images and the file name.
    void assign(const PhotoEdit& other);

    // Records path as fileName and loads it by name; a photo that fails to load leaves image
    // empty (callers look at width() == 0).
    void load(const std::string& path);
    // As load, for a screen preview: a JPEG is decoded at the smallest DCT scale at which the
    // upright photo still covers minWidth x minHeight (other formats load whole); 0 x 0 loads
    // the whole photo.
    void loadForPreview(const std::string& path, int32_t minWidth, int32_t minHeight,
                        DecodeProgress* progress = nullptr);
    // image -> the three planes.
    bool splitChannels();
    int32_t width() const { return image.width(); }
    int32_t height() const { return image.height(); }

    // --- corrections of the working picture ---
    bool brighten(int amount);
    // Nothing at exactly 100; otherwise stretches each channel's distance from 128 by
    // percent/100 (percent truncated to an integer).
    bool setContrast(double percent);
    // count sharpen passes, or -count blur passes when negative.
    bool sharpen(int count);
    bool applyFilter(int kind);
    // 0: a quarter turn clockwise; 1: counter-clockwise.
    bool rotateQuarter(int direction);
    // n quarter turns, clockwise for n > 0 and counter-clockwise for n < 0.
    bool setQuarterTurns(int n);
    // Resamples (mode 0 smooth, 1 nearest); with one side 0 it follows the aspect.
    bool resize(int32_t newWidth, int32_t newHeight, int mode);
    // assign followed by resize, without copying other's picture only to resample it.
    // made: the resampled picture when it is already at hand (DibImage::resampleFrom).
    bool assignResized(const PhotoEdit& other, int32_t newWidth, int32_t newHeight, int mode,
                       const DibImage* made = nullptr);
    // The size resize and assignResized give a picture of width x height for newWidth x
    // newHeight, a side of 0 following the aspect.
    static void resampledSize(int32_t width, int32_t height, int32_t& newWidth, int32_t& newHeight);
    bool grayScale();
    bool tone();
    bool colorize(uint8_t hue, uint8_t saturation);
    bool negative();
    // The colour at (x, y), rows from the bottom, with red in the low byte.
    uint32_t getPixelRgb(int32_t x, int32_t y) const;

    // --- the planes ---
    // Adds the non-zero offsets to the palette of plane (each entry of a 256-entry palette
    // four times, clamped at every step): a value v ends at v + 4 x offset, within 0..255.
    static void offsetPalette(DibImage& plane, int redOffset, int greenOffset, int blueOffset);
    // image := a new picture (imageType 0) of one colour, red in the low byte of colourRef.
    bool createFilled(int32_t width, int32_t height, uint32_t colourRef, uint32_t bitCount);
    // Mixes each given plane into image with operation (3 = bitwise OR).
    bool combinePlanes(int operation, const DibImage* red, const DibImage* green,
                       const DibImage* blue);
    // image := black 24-bit picture of its size with the three planes OR-ed in.
    bool recombine();
    // image := black 24-bit picture of source's size with source's planes OR-ed in
    // (createFilled and combinePlanes(3, ...) of source's planes, in one pass).
    bool combineFilled(const PhotoEdit& source);

    // --- files ---
    // selector 0: the format the file's first bytes show (its name's only when they show
    // none; JPEG when neither does); 1 JPEG, 2 GIF, 3 PNG, 4 BMP. The path is opened as
    // given; only regular files are read, and a failure leaves its cause in lastError. A
    // photo with an EXIF orientation is turned upright, and its metadata kept in metadata.
    bool loadFile(const std::string& path, int selector) { return loadFile(path, selector, 0, 0); }
    // As loadFile(path, selector), decoding a JPEG reduced as loadForPreview says.
    bool loadFile(const std::string& path, int selector, int32_t minWidth, int32_t minHeight,
                  DecodeProgress* progress = nullptr);
    // selector 0: the format typeForName picks, written under the lower-cased file name; a
    // picture of more than 8 bits per pixel meant for GIF is written as JPEG under ".jpg",
    // and PCX (read only) as PNG under ".png". Other selectors as loadFile. The loaded photo's
    // metadata goes into formats that carry it; none when metadata is null.
    bool saveFile(const std::string& path, int selector);
    // The format the extension of the lower-cased file name names (.jpg/.jpeg, .png, .gif,
    // .bmp/.dib, .tif/.tiff, .tga, .ico/.cur, .pcx); JPEG for any other name.
    static uint32_t typeForName(const std::string& path);
    // What saveFile(path, selector) would write for a picture of bitCount bits per pixel.
    static SaveTarget saveTarget(const std::string& path, int selector, uint32_t bitCount);

    // --- fitting and painting ---
    // The largest rectangle of a w x h picture's aspect that fits tw x th, at (0, 0) or
    // centred. An empty picture gives the empty rectangle.
    static SurfaceRect fitRect(int32_t w, int32_t h, int32_t tw, int32_t th, bool centre);
    SurfaceRect fitRect(int32_t targetWidth, int32_t targetHeight, bool centre) const;
    // image, scaled with its aspect into tw x th at the surface origin over a black fill.
    void paintFitted(Surface* surface, int32_t targetWidth, int32_t targetHeight) const;
    // The three planes OR-ed onto black: fitted into target (centred or at its top-left
    // corner), or at their own size at target's top-left corner.
    void paintPlanes(Surface* surface, const SurfaceRect& target, bool fit, bool centre) const;

    // How the photo's colours reach an sRGB screen (its ICC profile); null when its own values
    // are shown as they are.
    std::shared_ptr<const DisplayColour> displayColour() const;

    DibImage image;
    DibImage redPlane;
    DibImage greenPlane;
    DibImage bluePlane;
    std::string fileName;
    // What loadFile read of the photo's metadata (shared by copies; null when it had none).
    std::shared_ptr<const PhotoMetadata> metadata;
};
