// Runs the window tests under Qt Test: one class named on the command line (CTest runs each
// class as its own test), or all of them. The offscreen platform is the default.
#include <QApplication>
#include <QStandardPaths>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "app/main_frame.h"
#include "enhance/photo_edit.h"
#include "tests/app/window_test_support.h"

namespace window_tests {

namespace {
std::map<std::string, std::function<std::unique_ptr<QObject>()>>& registry() {
    static std::map<std::string, std::function<std::unique_ptr<QObject>()>> tests;
    return tests;
}
}  // namespace

void registerTest(const char* name, std::function<std::unique_ptr<QObject>()> make) {
    registry()[name] = std::move(make);
}

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

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Settings (the recent-file list) go to a folder of this run alone, not the user's: CTest
    // runs the test classes at once, and the programs they start inherit the folder.
    const testing_support::TempDir settingsHome;
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        setenv(variable, settingsHome.path().c_str(), 1);
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    QString only;
    if (args.size() > 1 && !args[1].startsWith('-')) only = args.takeAt(1);
    int failures = 0;
    bool ran = false;
    for (auto& [name, make] : window_tests::registry()) {
        if (!only.isEmpty() && only != QString::fromStdString(name)) continue;
        ran = true;
        std::unique_ptr<QObject> test = make();
        failures += QTest::qExec(test.get(), args);
    }
    if (!ran) {
        std::fprintf(stderr, "no test class named %s\n", only.toLocal8Bit().constData());
        return 2;
    }
    return failures == 0 ? 0 : 1;
}
