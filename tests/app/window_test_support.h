// Shared pieces of the window tests: test photos and a shown main window. The classes
// register themselves with VFX_QT_TEST.
#pragma once

#include <QString>
#include <memory>

#include "image/dib_image.h"
#include "support/qt/qt_test_registry.h"
#include "support/test_support.h"

class CMainFrame;
class PhotoEdit;

namespace window_tests {

// A 24-bit test photo of w x h: seeded noise, a black block in the top-left quarter's corner
// and a pure red block in the top-right corner (both 1/8 of the size).
DibImage testPhoto(int32_t w, int32_t h, uint32_t seed = 7);
// Writes it losslessly (PNG) into dir; the path.
QString writeTestPhoto(const testing_support::TempDir& dir, const char* name, int32_t w, int32_t h);

// A main window of the given size, shown and exposed.
std::unique_ptr<CMainFrame> shownFrame(int width = 1000, int height = 700);

// The picture a stage shows: its three planes OR-ed (what the views paint).
DibImage shownPicture(const PhotoEdit& stage);

}  // namespace window_tests
