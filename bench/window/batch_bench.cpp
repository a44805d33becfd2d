// Batch throughput of the window against the command line: "save directory >" clicked in the
// real main window (offscreen) and "vantifex-cli enhance --jobs 2" on the same photos with the
// same settings, each timed from start to summary; the outputs are compared byte for byte.
// usage: batch_bench [--screenshot OUT.png] [COUNT [MEGAPIXELS [ROUNDS]]]
// (default 16 photos of 12 MP, 2 rounds; OUT.png: the window during the first batch)
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/batch_thread.h"
#include "app/main_frame.h"
#include "enhance/photo_edit.h"

namespace fs = std::filesystem;

namespace {

// Photo-like JPEGs: gradients with texture, varied by the seed (noise would be unrealistic).
bool makePhoto(const std::string& path, int32_t w, int32_t h, int seed) {
    DibImage img(w, h, 24, JPEG);
    if (!img.isValid()) return false;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = img.row(y);
        for (int32_t x = 0; x < w; ++x, p += 3) {
            const uint8_t tex = uint8_t((x * 7 + y * 13 + seed * 5) % 32);
            p[0] = uint8_t(x * 220 / w + tex / 2);
            p[1] = uint8_t((x + y + seed * 40) * 150 / (w + h + 640) + tex);
            p[2] = uint8_t(y * 200 / h + tex);
        }
    }
    return img.saveToFile(path.c_str(), JPEG);
}

class Answers : public UserDialogs {
  public:
    std::string summary;
    void showMessage(const std::string& text, const std::string& = {}) override { summary = text; }
    void showInformation(const std::string& text) override { summary = text; }
    bool askQuestion(const std::string&) override { return true; }
    std::string chooseSaveFile(const std::string&, const std::string&) override { return {}; }
};

class Picker : public paths::FolderPicker {
  public:
    std::string folder;
    std::string pickFolder(const std::string&) override { return folder; }
};

bool sameFolders(const fs::path& a, const fs::path& b, int* files) {
    *files = 0;
    for (const auto& e : fs::directory_iterator(a)) {
        std::ifstream fa(e.path(), std::ios::binary), fb(b / e.path().filename(), std::ios::binary);
        const std::string da{std::istreambuf_iterator<char>(fa), {}};
        const std::string db{std::istreambuf_iterator<char>(fb), {}};
        if (!fb || da != db) return false;
        ++*files;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // Options of other benchmark runners ("--benchmark_...") are ignored.
    QString screenshot;
    QStringList numbers;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--screenshot" && i + 1 < args.size())
            screenshot = args[++i];
        else if (!args[i].startsWith('-'))
            numbers << args[i];
    }
    const int count = numbers.size() > 0 ? numbers[0].toInt() : 16;
    const double megapixels = numbers.size() > 1 ? numbers[1].toDouble() : 12.0;
    const int rounds = numbers.size() > 2 ? numbers[2].toInt() : 2;
    if (count < 1 || megapixels <= 0 || rounds < 1) {
        std::fprintf(stderr, "usage: batch_bench [--screenshot OUT.png] [COUNT [MP [ROUNDS]]]\n");
        return 2;
    }
    const int32_t h = int32_t(std::sqrt(megapixels * 1e6 * 2 / 3));
    const int32_t w = h * 3 / 2;

    QTemporaryDir tmp;
    const fs::path root = tmp.path().toStdString();
    const fs::path in = root / "in";
    fs::create_directories(in);
    std::printf("making %d photos of %d x %d in %s\n", count, w, h, in.c_str());
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo%02d.jpg", i);
        if (!makePhoto((in / name).string(), w, h, i)) return 1;
    }

    CMainFrame frame;
    Answers answers;
    Picker picker;
    frame.setDialogs(&answers);
    frame.setFolderPicker(&picker);
    frame.resize(1400, 900);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame)) return 1;
    for (const char* name : {"sharpen +", "contrast +", "contrast +", "brightness +", "red +"})
        QTest::mouseClick(frame.findChild<QPushButton*>(name), Qt::LeftButton);
    const EnhancementSettings& s = frame.chain().settings();
    const QStringList settings = {
        "--sharpen",    QString::number(s.sharpen),    "--contrast", QString::number(s.contrast),
        "--brightness", QString::number(s.brightness), "--red",      QString::number(s.redOffset)};
    frame.loadPhoto(QString::fromStdString((in / "photo00.jpg").string()));
    frame.selectInputDirectory(QString::fromStdString(in.string()));
    // The window as it looks in the middle of the first batch.
    QObject::connect(&frame.batch(), &BatchThread::progressed, &frame, [&](int i, int) {
        if (screenshot.isEmpty() || i != 3) return;
        QTest::qWait(300);  // the thumbnails and the preview settle
        frame.grab().save(screenshot);
        std::printf("screenshot: %s\n", qPrintable(screenshot));
    });
    QTest::mouseClick(frame.findChild<QCheckBox*>("autoset"), Qt::LeftButton);  // off

    double bestWindow = 1e30, bestCli = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const fs::path windowOut = root / ("window" + std::to_string(round));
        const fs::path cliOut = root / ("cli" + std::to_string(round));

        QProcess cli;
        QElapsedTimer t;
        t.start();
        cli.start(VFX_CLI_PATH,
                  QStringList{"enhance"} + settings +
                      QStringList{QString::fromStdString(in.string()), "-o",
                                  QString::fromStdString(cliOut.string()), "--jobs", "2"});
        if (!cli.waitForFinished(-1) || cli.exitCode() != 0) return 1;
        const double cliSeconds = double(t.nsecsElapsed()) / 1e9;

        fs::create_directories(windowOut);
        picker.folder = windowOut.string();
        frame.onBrowse();
        answers.summary.clear();
        t.restart();
        QTest::mouseClick(frame.findChild<QPushButton*>("save directory >"), Qt::LeftButton);
        while (frame.batch().running()) QTest::qWait(2);
        const double windowSeconds = double(t.nsecsElapsed()) / 1e9;

        int files = 0;
        const bool same = sameFolders(cliOut, windowOut, &files);
        std::printf(
            "round %d: window %.2f s (%.2f photos/s), cli --jobs 2 %.2f s (%.2f photos/s), "
            "%d outputs %s; window summary: %s\n",
            round + 1, windowSeconds, count / windowSeconds, cliSeconds, count / cliSeconds, files,
            same ? "byte-identical" : "DIFFER", answers.summary.c_str());
        if (!same || files != count) return 1;
        bestWindow = std::min(bestWindow, windowSeconds);
        bestCli = std::min(bestCli, cliSeconds);
        screenshot.clear();
        fs::remove_all(windowOut);
        fs::remove_all(cliOut);
    }
    std::printf("best: window %.2f photos/s, cli --jobs 2 %.2f photos/s, window / cli %.2f\n",
                count / bestWindow, count / bestCli, bestCli / bestWindow);
    return 0;
}
