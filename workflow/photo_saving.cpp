// Reading a photo for saving and writing its corrected copy.
#include "workflow/photo_saving.h"

bool loadForSaving(const std::string& sourcePath, PhotoEdit& photo) {
    photo.load(sourcePath);
    return photo.width() > 0;
}

bool enhanceAndWrite(PhotoEdit& photo, const EnhancementSettings& settings, const std::string& path,
                     StatusSink* sink, bool saySaving, std::string* writtenPath) {
    if (!renderForSaving(photo, settings, sink)) return false;
    if (saySaving && sink) sink->showStatus("Saving...");
    if (writtenPath) *writtenPath = PhotoEdit::saveTarget(path, 0, photo.image.bitCount()).path;
    return photo.saveFile(path, 0);
}
