// Reading a photo for saving and writing its corrected copy.
#include "workflow/photo_saving.h"

#include "workflow/photo_crop.h"

#include <algorithm>
#include <cmath>

#include "workflow/region_render.h"

std::pair<int32_t, int32_t> exportSize(int32_t width, int32_t height, const OutputOptions& output) {
    if (width <= 0 || height <= 0 || output.resizeValue <= 0) return {width, height};
    double scale = 1;
    if (output.resize == ResizeMode::LongEdge)
        scale = double(output.resizeValue) / double(std::max(width, height));
    else if (output.resize == ResizeMode::Percent)
        scale = output.resizeValue / 100.0;
    if (scale == 1 || (scale > 1 && !output.enlarge)) return {width, height};
    const auto side = [scale](int32_t n) {
        return int32_t(std::clamp(std::lround(n * scale), 1L, long(INT32_MAX)));
    };
    // The long edge is exactly what was asked, whatever the rounding of the other.
    if (output.resize == ResizeMode::LongEdge) {
        if (width >= height) return {output.resizeValue, side(height)};
        return {side(width), output.resizeValue};
    }
    return {side(width), side(height)};
}

bool loadForSaving(const std::string& sourcePath, PhotoEdit& photo) {
    photo.load(sourcePath);
    return photo.width() > 0;
}

bool enhanceAndWrite(PhotoEdit& photo, const EnhancementSettings& settings, const std::string& path,
                     StatusSink* sink, bool saySaving, std::string* writtenPath,
                     const CropRect& crop, const CropRect* region) {
    bool rendered = false;
    if (!region) {
        rendered = renderForSaving(photo, settings, sink, crop);
    } else if (crop.isEmpty()) {
        rendered = renderRegion(photo, settings, *region, sink);
    } else {
        // The turn and the crop first, as renderForSaving runs them; the region is then a
        // part of the cropped, upright result.
        EnhancementSettings upright = settings;
        upright.rotation = 0;
        if (settings.rotation != 0) photo.setQuarterTurns(settings.rotation);
        if (!crop.fitsIn(photo.width(), photo.height()))
            photo.image.setLastError(cropOutsideText(crop, photo.width(), photo.height()).c_str());
        else
            rendered = cropPhoto(photo, crop) && renderRegion(photo, upright, *region, sink);
    }
    if (!rendered) return false;
    // Shrinking averages the areas under each new pixel (24 bits; others interpolate).
    const auto [width, height] = exportSize(photo.width(), photo.height(), settings.output);
    if ((width != photo.width() || height != photo.height()) &&
        !photo.image.resample(width, height, 0))
        return false;
    if (saySaving && sink) sink->showStatus("Saving...");
    photo.image.info.jpegQuality = uint8_t(std::clamp(settings.output.jpegQuality, 1, 100));
    photo.image.info.pngCompression = int8_t(std::clamp(settings.output.pngCompression, -1, 9));
    if (writtenPath) *writtenPath = PhotoEdit::saveTarget(path, 0, photo.image.bitCount()).path;
    return photo.saveFile(path, 0);
}
