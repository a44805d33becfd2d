// Clicks through the real widgets with a 24 MP photo loaded and the enhanced view 1280 px
// wide: from the button press until the enhanced view has drawn its new picture. Loading and
// a quarter turn are measured twice: with the preview decoded for the screen and, as the
// baseline, with the whole photo in stage 0; the decode alone is the floor under the load. The
// photo is made at start, in a temporary folder, untagged and with a Display P3 profile (as
// matrix and curves, and as a table): a click on a tagged one also converts what the views
// paint to sRGB.
#include <benchmark/benchmark.h>

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/enh_frame.h"
#include "app/heap_policy.h"
#include "app/main_frame.h"
#include "metadata/photo_metadata.h"
#include "support/icc_profiles.h"
#include "workflow/qt/enh_form.h"
#include "workflow/qt/image_view.h"

namespace {

constexpr int kViewWidth = 1280;

CMainFrame* gFrame = nullptr;
QString gPhoto;
QString gTaggedPhoto;  // the same picture with a Display P3 profile (matrix and curves)
QString gTablePhoto;   // and with Display P3 as a table profile (a camera's kind)

// A 6000 x 4000 photo-like JPEG: smooth gradients with some texture (pure noise would make
// an unrealistically large file).
bool makePhoto(const QString& path, const QString& taggedPath, const QString& tablePath) {
    const int32_t w = 6000, h = 4000;
    DibImage img(w, h, 24, JPEG);
    if (!img.isValid()) return false;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t tex = uint8_t((x * 7 + y * 13) % 32);
            img.setPixelColor(
                x, y,
                RgbQuad{uint8_t(y * 200 / h + tex), uint8_t((x + y) * 150 / (w + h) + tex),
                        uint8_t(x * 220 / w + tex / 2), 0});
        }
    PhotoMetadata p3;
    p3.icc = icc_profiles::displayP3();
    PhotoMetadata table;
    table.icc = icc_profiles::displayP3Table();
    return img.saveToFile(path.toLocal8Bit().constData(), JPEG) &&
           saveWithMetadata(img, taggedPath.toStdString(), JPEG, &p3) &&
           saveWithMetadata(img, tablePath.toStdString(), JPEG, &table);
}

// Makes the enhanced view exactly kViewWidth wide by moving the panel's splitter bar.
bool sizeEnhancedView(CMainFrame& frame) {
    Enh2Frame* editor = frame.enhFrame()->editor();
    // Tall enough for a 3:2 picture 1280 wide.
    const QList<int> rows = frame.enhFrame()->sizes();
    frame.enhFrame()->setSizes({1000, rows[0] + rows[1] - 1000});
    for (int i = 0; i < 5 && frame.enhancedView()->width() != kViewWidth; ++i) {
        const int delta = kViewWidth - frame.enhancedView()->width();
        QList<int> sizes = editor->sizes();
        sizes[0] += delta;
        sizes[1] -= delta;
        editor->setSizes(sizes);
        QCoreApplication::processEvents();
    }
    return frame.enhancedView()->width() == kViewWidth;
}

// Runs action and waits until the enhanced view has composed and drawn a new picture.
double timeUntilRepainted(const std::function<void()>& action) {
    ImageView* view = gFrame->enhancedView();
    const int before = view->pictureCount();
    QElapsedTimer t;
    t.start();
    action();
    while (view->pictureCount() == before) QCoreApplication::processEvents();
    return double(t.nsecsElapsed()) / 1e9;
}

QPushButton* button(const char* name) {
    return gFrame->panel()->findChild<QPushButton*>(name);
}

void clickPair(benchmark::State& state, const char* first, const char* second) {
    bool flip = false;
    for (auto _ : state) {
        QPushButton* b = button(flip ? second : first);
        flip = !flip;
        state.SetIterationTime(timeUntilRepainted([b] { QTest::mouseClick(b, Qt::LeftButton); }));
    }
}

void BM_RepaintOnly(benchmark::State& state) {
    for (auto _ : state)
        state.SetIterationTime(
            timeUntilRepainted([] { gFrame->enhancedView()->refreshPicture(); }));
}

void BM_ClickColourRow(benchmark::State& state) {
    clickPair(state, "red +", "red -");
}

// The photo of a profile case: 0 untagged, 1 a Display P3 matrix profile, 2 the same as a
// table profile; the views of the tagged ones are converted to sRGB at every repaint.
void loadByProfile(benchmark::State& state) {
    const int64_t which = state.range(0);
    gFrame->loadPhoto(which == 2 ? gTablePhoto : which == 1 ? gTaggedPhoto : gPhoto);
    QCoreApplication::processEvents();
    state.SetLabel(which == 2 ? "Display P3 table" : which == 1 ? "Display P3 matrix" : "untagged");
}

void BM_ClickColourRowByProfile(benchmark::State& state) {
    loadByProfile(state);
    clickPair(state, "red +", "red -");
    gFrame->loadPhoto(gPhoto);
}

void BM_RepaintOnlyByProfile(benchmark::State& state) {
    loadByProfile(state);
    for (auto _ : state)
        state.SetIterationTime(
            timeUntilRepainted([] { gFrame->enhancedView()->refreshPicture(); }));
    gFrame->loadPhoto(gPhoto);
}

void BM_ClickBrightness(benchmark::State& state) {
    clickPair(state, "brightness +", "brightness -");
}

void BM_ClickEffect(benchmark::State& state) {
    auto* fx = gFrame->panel()->findChild<QComboBox*>("FX");
    fx->setFocus();
    bool down = true;
    for (auto _ : state) {
        // Between "Sepia 6" and "Negative": an effect runs every time.
        const Qt::Key key = down ? Qt::Key_Down : Qt::Key_Up;
        down = !down;
        state.SetIterationTime(timeUntilRepainted([fx, key] { QTest::keyClick(fx, key); }));
    }
    fx->setCurrentIndex(0);
    gFrame->panel()->settings().effect = 0;
}

void BM_ClickSharpen(benchmark::State& state) {
    for (auto _ : state) {
        // Every press goes from 0 to 1: two sharpening passes over the fitted picture.
        gFrame->panel()->settings().sharpen = 0;
        state.SetIterationTime(
            timeUntilRepainted([] { QTest::mouseClick(button("sharpen +"), Qt::LeftButton); }));
    }
    gFrame->panel()->settings().sharpen = 0;
    gFrame->chain().restartAtSharpen();
}

// Loading through the main frame (preview decoded for the screen) or, for the baseline, the
// whole photo into stage 0.
void load(bool whole) {
    if (whole) {
        gFrame->chain().setPreviewLimit(0, 0);
        gFrame->chain().loadPhoto(gPhoto.toStdString());
    } else {
        gFrame->loadPhoto(gPhoto);
    }
}

void BM_Load24MP(benchmark::State& state) {
    const bool whole = state.range(0) == 1;
    for (auto _ : state) state.SetIterationTime(timeUntilRepainted([whole] { load(whole); }));
    state.SetLabel(whole ? "whole photo (baseline)" : "decoded for the screen");
    state.counters["stage0_width"] = gFrame->chain().stage(kStageOriginal).width();
}

// The floor under BM_Load24MP/0: the decode alone, at the same preview size, without the
// window or the stages.
void BM_DecodeOnly24MP(benchmark::State& state) {
    const QSize limit = gFrame->previewLimit();
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        PhotoEdit photo;
        photo.loadForPreview(gPhoto.toStdString(), limit.width(), limit.height());
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        if (photo.width() == 0) state.SkipWithError("cannot decode the photo");
    }
}

void BM_QuarterTurn24MP(benchmark::State& state) {
    const bool whole = state.range(0) == 1;
    load(whole);
    bool left = true;
    for (auto _ : state) {
        const char* name = left ? "rotate left" : "rotate right";
        left = !left;
        state.SetIterationTime(
            timeUntilRepainted([name] { QTest::mouseClick(button(name), Qt::LeftButton); }));
    }
    state.SetLabel(whole ? "whole photo (baseline)" : "decoded for the screen");
    load(false);
}

// The fastest repeat: on a shared machine the other repeats add waiting for a core, so the
// cost a profile adds shows best between the fastest ones.
double fastest(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

}  // namespace

BENCHMARK(BM_RepaintOnly)->UseManualTime()->Iterations(1)->Repetitions(30)->ReportAggregatesOnly();
BENCHMARK(BM_ClickColourRow)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(40)
    ->ReportAggregatesOnly();
// Untagged and tagged twice each, in turn, so that a slow spell of the machine shows.
BENCHMARK(BM_ClickColourRowByProfile)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(40)
    ->ComputeStatistics("min", fastest)
    ->ReportAggregatesOnly();
BENCHMARK(BM_RepaintOnlyByProfile)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(30)
    ->ComputeStatistics("min", fastest)
    ->ReportAggregatesOnly();
BENCHMARK(BM_ClickEffect)->UseManualTime()->Iterations(1)->Repetitions(40)->ReportAggregatesOnly();
BENCHMARK(BM_ClickBrightness)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(40)
    ->ReportAggregatesOnly();
BENCHMARK(BM_ClickSharpen)->UseManualTime()->Iterations(1)->Repetitions(30)->ReportAggregatesOnly();
BENCHMARK(BM_Load24MP)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly();
BENCHMARK(BM_DecodeOnly24MP)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly();
BENCHMARK(BM_QuarterTurn24MP)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(12)
    ->ReportAggregatesOnly();

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // As the program does at start.
    heap_policy::keepPreviewBuffersInHeap();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    gPhoto = dir.filePath("photo24mp.jpg");
    gTaggedPhoto = dir.filePath("photo24mp-p3.jpg");
    gTablePhoto = dir.filePath("photo24mp-p3-table.jpg");
    if (!makePhoto(gPhoto, gTaggedPhoto, gTablePhoto)) {
        std::fprintf(stderr, "cannot write the 24 MP photo\n");
        return 1;
    }
    auto frame = std::make_unique<CMainFrame>();
    gFrame = frame.get();
    frame->resize(2300, 1400);
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame.get()) || !sizeEnhancedView(*frame)) {
        std::fprintf(stderr, "cannot make the enhanced view %d px wide\n", kViewWidth);
        return 1;
    }
    if (!frame->loadPhoto(gPhoto)) return 1;
    QCoreApplication::processEvents();
    std::printf(
        "enhanced view %dx%d, stage 8 %dx%d, stage 0 %dx%d\n", frame->enhancedView()->width(),
        frame->enhancedView()->height(), frame->chain().stage(kStageFinal).width(),
        frame->chain().stage(kStageFinal).height(), frame->chain().stage(kStageOriginal).width(),
        frame->chain().stage(kStageOriginal).height());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
