// Reading a photo for saving and writing its corrected copy.
#include "workflow/photo_saving.h"

#include <algorithm>

bool loadForSaving(const std::string& sourcePath, PhotoEdit& photo) {
    photo.load(sourcePath);
    return photo.width() > 0;
}

bool enhanceAndWrite(PhotoEdit& photo, const EnhancementSettings& settings, const std::string& path,
                     StatusSink* sink, bool saySaving, std::string* writtenPath) {
    if (!renderForSaving(photo, settings, sink)) return false;
    if (saySaving && sink) sink->showStatus("Saving...");
    photo.image.info.jpegQuality = uint8_t(std::clamp(settings.output.jpegQuality, 1, 100));
    photo.image.info.pngCompression = int8_t(std::clamp(settings.output.pngCompression, -1, 9));
    if (writtenPath) *writtenPath = PhotoEdit::saveTarget(path, 0, photo.image.bitCount()).path;
    return photo.saveFile(path, 0);
}
