// Shared pieces of the window tests: registration of the test classes, test photos, and a
// shown main window.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "image/dib_image.h"
#include "support/test_support.h"

class CMainFrame;

namespace window_tests {

// Each test class registers a factory under its name; main runs one class or all.
void registerTest(const char* name, std::function<std::unique_ptr<QObject>()> make);

template <class T>
struct Registered {
    explicit Registered(const char* name) {
        registerTest(name, [] { return std::unique_ptr<QObject>(new T); });
    }
};

// A 24-bit test photo of w x h: seeded noise, a black block in the top-left quarter's corner
// and a pure red block in the top-right corner (both 1/8 of the size).
DibImage testPhoto(int32_t w, int32_t h, uint32_t seed = 7);
// Writes it losslessly (PNG) into dir; the path.
QString writeTestPhoto(const testing_support::TempDir& dir, const char* name, int32_t w, int32_t h);

// A main window of the given size, shown and exposed.
std::unique_ptr<CMainFrame> shownFrame(int width = 1000, int height = 700);

// The picture a stage shows: its three planes OR-ed (what the views paint).
DibImage shownPicture(const class PhotoEdit& stage);

}  // namespace window_tests
