// Rendering a region of the corrected photo from the full-resolution picture: the 1:1 view,
// saving and `vantifex-cli enhance --region` all get their pixels here, so what the view
// shows at 100 % is bit for bit what is written.
#pragma once

#include <cstdint>

#include "enhance/photo_edit.h"
#include "workflow/crop_rect.h"
#include "workflow/enhancement_settings.h"
#include "workflow/enhancement_steps.h"

// Regions and areas are in pixels from the top-left corner (x to the right, y downwards).

// The size of the result of a width x height photo under s (an odd number of quarter turns
// swaps the sides).
CropRect wholeResult(int32_t width, int32_t height, const EnhancementSettings& s);

// How far a result pixel reaches into its neighbourhood: one pixel per pass of the 3x3
// sharpen or blur kernel that s runs.
int32_t filterMargin(const EnhancementSettings& s);

// The part of a width x height upright photo that region of the result is computed from:
// the turned-back region, widened by filterMargin and clipped to the photo.
CropRect sourceAreaFor(int32_t width, int32_t height, const EnhancementSettings& s,
                       const CropRect& region);

// out.image := exactly the region of what renderForSaving makes of source (the upright photo
// at full resolution), computed from sourceAreaFor only. Near the photo's edges the filters
// read its background colour, as they do on the whole photo; inside, the margin holds real
// neighbours, so every pixel of the region is the whole result's. False (out left empty)
// when source is empty or region does not lie wholly inside the result.
bool renderRegion(const DibImage& source, const EnhancementSettings& s, const CropRect& region,
                  PhotoEdit& out, StatusSink* sink = nullptr);

// In place: photo.image (the upright photo) becomes the region of its result, photo's file
// name and metadata kept. The whole result is renderForSaving itself, without a copy.
bool renderRegion(PhotoEdit& photo, const EnhancementSettings& s, const CropRect& region,
                  StatusSink* sink = nullptr);

// What a viewWidth x viewHeight window at 100 % shows of a result of whole's size around
// (centreX, centreY): the view's size (at most the result's), centred there and moved back
// inside the result where the centre lies near its edges. Empty for an empty result or view.
CropRect visibleRegion(const CropRect& whole, int32_t centreX, int32_t centreY, int32_t viewWidth,
                       int32_t viewHeight);
