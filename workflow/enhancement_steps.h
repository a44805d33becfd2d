// The enhancement steps in their fixed order, shared by the preview chain and the
// full-resolution applySettings. Each step reads the settings and reports through a sink.
#pragma once

#include <string>

#include "enhance/photo_edit.h"
#include "workflow/crop_rect.h"
#include "workflow/enhancement_settings.h"

// Where the steps say what they are doing ("Sharpening...", "" to clear).
class StatusSink {
  public:
    virtual ~StatusSink() = default;
    virtual void showStatus(const std::string& text) = 0;
};

namespace steps {

// Quarter turns by the kept rotation (full resolution only).
void rotation(PhotoEdit& photo, const EnhancementSettings& s);
// Two sharpen passes per positive step, one blur pass per negative step.
void sharpen(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink);
void contrast(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink);
// Splits, shifts the planes by the stored corrections and recombines.
void whiteBalance(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink);
void brightness(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink);
// Shifts the (already split) planes by the channel shift, then clears the status.
void colours(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink);
// With an effect and a non-zero channel shift, the image is rebuilt from the shifted planes
// so that the effect sees them.
void mergeBeforeEffect(PhotoEdit& photo, const EnhancementSettings& s);
// The chosen effect on the image, then a new split; nothing without an effect.
void effect(PhotoEdit& photo, const EnhancementSettings& s);
// The chosen effect on the image alone (no split); nothing without an effect.
void effectOnPicture(PhotoEdit& photo, const EnhancementSettings& s);

}  // namespace steps

// Every step in order on a full-resolution photo that has been loaded (and split). The
// output picture is then photo.recombine().
void applySettings(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink = nullptr);

// The same correction made into the output picture: afterwards photo.image is exactly what
// applySettings followed by recombine gives (pixels and picture values), and the planes are
// released. True when there is a picture. Runs the colour steps of a 24-bit photo as one
// table per channel, which is what they amount to. A crop (in pixels of the photo after the
// turns) cuts the picture before every correction step, so the result is exactly that of
// the cropped photo; one that does not fit fails with cropOutsideText as lastError.
bool renderForSaving(PhotoEdit& photo, const EnhancementSettings& s, StatusSink* sink = nullptr,
                     const CropRect& crop = {});
// "The crop X,Y,W,H lies outside the photo (W x H)".
std::string cropOutsideText(const CropRect& crop, int32_t width, int32_t height);
