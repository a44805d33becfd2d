// Cutting a CropRect out of a photo, and carrying a crop across scales, quarter turns and
// aspect choices: the one place where the editor, saving, printing and the command line
// agree on what a crop means.
#pragma once

#include <cstdint>
#include <string>

#include "enhance/photo_edit.h"
#include "workflow/crop_rect.h"

// picture := the rectangle's part of it (y counted from the top, as the photo is seen): the
// same bits per pixel, palette, alpha, resolution and picture values. False, picture left
// as it was, when the rectangle does not fit it or memory runs out.
bool cropPicture(DibImage& picture, const CropRect& crop);
// The image cut to the crop; the planes are released, the file name and metadata stay.
bool cropPhoto(PhotoEdit& photo, const CropRect& crop);

// The crop of a fullWidth x fullHeight photo on a picture of it width x height: every edge
// scaled and rounded, at least one pixel kept, inside the picture.
CropRect scaleCrop(const CropRect& crop, int32_t fullWidth, int32_t fullHeight, int32_t width,
                   int32_t height);
// The same part of a width x height photo after a quarter turn (direction 0 clockwise, 1
// counter-clockwise, as PhotoEdit::rotateQuarter).
CropRect turnCrop(const CropRect& crop, int32_t width, int32_t height, int direction);

// The size of the upright photo at full resolution that a picture was read from with
// loadForPreview: a JPEG decoded reduced is measured by its frame header (turned by its
// orientation), anything else is its own size.
void fullUprightSize(const std::string& path, const PhotoEdit& loaded, int32_t& width,
                     int32_t& height);

// "X,Y,W,H" in whole pixels, W and H positive; false for anything else.
bool parseCrop(const std::string& text, CropRect* crop);
// "X,Y,W,H", as parseCrop reads it.
std::string cropText(const CropRect& crop);

// The aspect choices beside the crop button. Portrait photos take the ratios turned.
struct CropAspect {
    const char* name;
    int32_t wide;  // 0 x 0: free; -1 x -1: as shot
    int32_t high;
};
inline constexpr CropAspect kCropAspects[] = {
    {"free", 0, 0}, {"as shot", -1, -1}, {"1:1", 1, 1}, {"3:2", 3, 2},
    {"4:3", 4, 3},  {"16:9", 16, 9},     {"5:4", 5, 4},
};
inline constexpr int kCropAspectCount = int(sizeof kCropAspects / sizeof kCropAspects[0]);
// The width : height ratio aspect asks of crops of a photoWidth x photoHeight photo; false
// for free.
bool cropRatio(int aspect, int32_t photoWidth, int32_t photoHeight, int32_t& wide, int32_t& high);
// A rectangle dragged from the fixed corner (ax, ay) to (bx, by), in pixels of a width x
// height photo, made to the ratio (wide x high, 0 x 0 for none) by shortening the side that
// is too long, and kept inside the photo. Empty when nothing is left.
CropRect dragCrop(int32_t ax, int32_t ay, int32_t bx, int32_t by, int32_t wide, int32_t high,
                  int32_t width, int32_t height);
