// Running out of memory anywhere (each allocation in turn made to fail, or every one from
// some point on) never lets an exception out of the batch job, the preview chain's entries
// or the save commands: the work ends with an error text and everything can be used again.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "support/test_support.h"
#include "tests/workflow/failing_allocations.h"
#include "tests/workflow/fake_view.h"
#include "workflow/batch_job.h"
#include "workflow/batch_saver.h"

namespace fs = std::filesystem;
using testing_support::randomImage;
using testing_support::TempDir;

namespace {

// Settings that make every step of the chain and of saving do work.
EnhancementSettings busySettings() {
    EnhancementSettings s;
    s.sharpen = 1;
    s.contrast = 5;
    s.whiteBalance = "00040404";
    s.brightness = 3;
    s.redOffset = 2;
    s.effect = kEffectNegative;
    return s;
}

std::string photo(const TempDir& dir, const std::string& name, uint32_t seed, uint32_t type = PNG) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(randomImage(24, 18, 24, seed).saveToFile(path.c_str(), type));
    return path;
}

bool contains(const std::vector<std::string>& list, const std::string& text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

class NullDialogs : public UserDialogs {
  public:
    std::vector<std::string> shown;
    std::string saveName;
    void showMessage(const std::string& text, const std::string& = {}) override {
        shown.push_back(text);
    }
    void showInformation(const std::string& text) override { shown.push_back(text); }
    bool askQuestion(const std::string&) override { return true; }
    std::string chooseSaveFile(const std::string&, const std::string&) override { return saveName; }
};

class NullPicker : public paths::FolderPicker {
  public:
    std::string pickFolder(const std::string&) override { return "/tmp"; }
};

class NullViews : public DirectoryViews {
  public:
    std::vector<std::string> selected;
    void loadInputDirectory(const std::string&) override {}
    void showOutputDirectory(const std::string&) override {}
    void refreshOutputView() override {}
    void refreshFolderTree() override {}
    void setAutosetControls(bool) override {}
    std::vector<std::string> selectedInputFiles() override { return selected; }
};

}  // namespace

TEST(OutOfMemory, TheJobGivesEveryPhotoAResult) {
    TempDir dir;
    const std::vector<std::string> list = {photo(dir, "a.png", 1), dir.file("gone.png"),
                                           photo(dir, "b.png", 2)};
    for (bool andLater : {false, true})
        for (int jobs : {1, 2}) {
            bool sawOutOfMemory = false;
            const long runs = failing_allocations::sweep(
                [&] {
                    auto job = std::make_unique<BatchJob>(
                        list, busySettings(), OutputRule::enhancedInto(dir.file("out")), jobs);
                    job->onProgress([](size_t, size_t, const std::string&) {});
                    job->onStatus([](size_t, const std::string&) {});
                    return std::make_pair(std::move(job), std::vector<PhotoResult>());
                },
                [&](auto& state) {
                    auto& [job, results] = state;
                    EXPECT_NO_THROW(results = job->run());
                    failing_allocations::disarm();
                    // Only when not even the list of results could be made is it empty.
                    if (results.empty()) return;
                    ASSERT_EQ(results.size(), 3u);
                    for (const PhotoResult& r : results) {
                        sawOutOfMemory |= r.reason == "Out of memory";
                        if (!andLater && r.outcome != PhotoOutcome::kWritten) {
                            EXPECT_FALSE(r.reason.empty()) << r.source;
                        }
                    }
                },
                andLater);
            EXPECT_GT(runs, 10) << jobs;
            EXPECT_TRUE(sawOutOfMemory) << jobs << andLater;
        }
}

TEST(OutOfMemory, TheChainShowsItAndRecovers) {
    TempDir dir;
    const std::string a = photo(dir, "a.png", 3), b = photo(dir, "b.png", 4);
    EnhancementSettings settings = busySettings();
    FakeView view;
    PreviewChain chain(settings, view);
    const std::vector<std::pair<const char*, std::function<void()>>> entries = {
        {"loadPhoto", [&] { chain.loadPhoto(b); }},
        {"rebuildFitted", [&] { chain.rebuildFitted(true); }},
        {"restartAtSharpen", [&] { chain.restartAtSharpen(); }},
        {"restartAtColours", [&] { chain.restartAtColours(); }},
        {"onRotateLeft", [&] { chain.onRotateLeft(); }},
        {"startOver", [&] { chain.startOver(); }},
        {"pickWhitePoint", [&] { chain.pickWhitePoint(3, 3); }},
        {"refreshOriginalView", [&] { chain.refreshOriginalView(); }},
    };
    bool shown = false;
    for (const auto& [name, entry] : entries)
        for (bool andLater : {false, true}) {
            settings = busySettings();
            ASSERT_TRUE(chain.loadPhoto(a));
            view.clear();
            const long runs =
                failing_allocations::sweep([] { return 0; },
                                           [&](int) {
                                               EXPECT_NO_THROW(entry()) << name;
                                               failing_allocations::disarm();
                                               EXPECT_EQ(view.waitDepth, 0) << name;
                                               shown |= contains(view.statuses, "Out of memory");
                                               view.clear();
                                           },
                                           andLater);
            EXPECT_GT(runs, 0) << name;
            // Afterwards the chain works as before.
            settings = busySettings();
            ASSERT_TRUE(chain.loadPhoto(a)) << name;
            EXPECT_GT(chain.stage(kStageFinal).width(), 0) << name;
        }
    EXPECT_TRUE(shown);
}

TEST(OutOfMemory, TheSaveCommandsTellTheUser) {
    TempDir dir;
    // BMP copies carry no metadata: Exiv2's XMP toolkit, which writes the settings record of
    // the other formats, keeps a lock held for good after a failed allocation inside it.
    const std::string a = photo(dir, "a.bmp", 5, BMP);
    photo(dir, "b.bmp", 6, BMP);
    EnhancementSettings settings = busySettings();
    FakeView view;
    PreviewChain chain(settings, view);
    NullDialogs dialogs;
    NullPicker picker;
    NullViews views;
    BatchSaver saver(chain, view, dialogs, picker, views);
    saver.onInputDirectoryChanged(dir.path().string());
    views.selected = {a, dir.file("b.bmp")};
    dialogs.saveName = dir.file("chosen.bmp");
    ASSERT_TRUE(chain.loadPhoto(a));
    const std::string current = dir.file("enhanced/enh_a.bmp");
    // Each command either did its work or said something. ("save directory >" is left out:
    // the folder listing's std::filesystem calls end the program when they cannot allocate.)
    const struct {
        const char* name;
        std::function<void()> run;
        std::string output;  // written when nothing was said ("" : something is always said)
    } commands[] = {
        {"save current", [&] { saver.onSaveCurrent(); }, current},
        {"save...", [&] { saver.onSaveAs(); }, dir.file("chosen.bmp")},
        {"save selected", [&] { saver.onSaveSelected(); }, ""},
    };
    for (const auto& c : commands) {
        bool outOfMemory = false;
        failing_allocations::sweep(
            [&] {
                fs::remove(c.output.empty() ? current : c.output);
                dialogs.shown.clear();
                dialogs.shown.reserve(8);
                return 0;
            },
            [&](int) {
                EXPECT_NO_THROW(c.run()) << c.name;
                failing_allocations::disarm();
                EXPECT_EQ(view.waitDepth, 0) << c.name;
                for (const std::string& text : dialogs.shown)
                    outOfMemory |= text.find("Out of memory") != std::string::npos;
                if (c.output.empty()) {
                    EXPECT_FALSE(dialogs.shown.empty()) << c.name;
                } else if (dialogs.shown.empty()) {
                    DibImage written;
                    EXPECT_TRUE(written.loadFromFile(c.output.c_str(), BMP)) << c.name;
                }
            });
        EXPECT_TRUE(outOfMemory) << c.name;
    }
}
