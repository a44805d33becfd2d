// Shared pieces of the window tests: test photos and a shown main window.
#include "tests/app/window_test_support.h"

#include <QCoreApplication>
#include <QTest>
#include <string>

#include "app/main_frame.h"
#include "enhance/photo_edit.h"

namespace window_tests {

DibImage testPhoto(int32_t w, int32_t h, uint32_t seed) {
    DibImage img = testing_support::randomImage(w, h, 24, seed);
    const int32_t bw = w / 8, bh = h / 8;
    for (int32_t y = h - bh; y < h; ++y)  // rows count from the bottom: these are the top rows
        for (int32_t x = 0; x < bw; ++x) {
            img.setPixelColor(x, y, RgbQuad{0, 0, 0, 0});
            img.setPixelColor(w - 1 - x, y, RgbQuad{0, 0, 255, 0});
        }
    return img;
}

QString writeTestPhoto(const testing_support::TempDir& dir, const char* name, int32_t w,
                       int32_t h) {
    const std::string path = dir.file(std::string(name) + ".png");
    DibImage img = testPhoto(w, h);
    if (!img.saveToFile(path.c_str(), PNG)) return QString();
    return QString::fromStdString(path);
}

std::unique_ptr<CMainFrame> shownFrame(int width, int height) {
    auto frame = std::make_unique<CMainFrame>();
    frame->resize(width, height);
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame.get())) return nullptr;
    QCoreApplication::processEvents();
    return frame;
}

DibImage shownPicture(const PhotoEdit& stage) {
    PhotoEdit copy = stage;
    copy.recombine();
    return copy.image;
}

}  // namespace window_tests
