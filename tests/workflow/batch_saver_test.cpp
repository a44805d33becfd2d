// The save commands with fake dialogs and windows: titles, counts and messages of the
// batches, output names and formats, "autoset" and "browse...", "save...", and photos that
// cannot be read or written.
#include "workflow/batch_saver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/test_support.h"
#include "tests/workflow/fake_dialogs.h"
#include "tests/workflow/fake_view.h"
#include "tests/workflow/photo_files.h"

namespace fs = std::filesystem;
using testing_support::randomImage;
using testing_support::readBytes;
using testing_support::TempDir;

namespace {

using Strings = std::vector<std::string>;

class FakeViews : public DirectoryViews {
  public:
    Strings inputLoads, outputShown, selected;
    int outputRefreshes = 0, treeRefreshes = 0;
    std::vector<bool> autosetControls;
    void loadInputDirectory(const std::string& d) override { inputLoads.push_back(d); }
    void showOutputDirectory(const std::string& d) override { outputShown.push_back(d); }
    void refreshOutputView() override { ++outputRefreshes; }
    void refreshFolderTree() override { ++treeRefreshes; }
    void setAutosetControls(bool autoset) override { autosetControls.push_back(autoset); }
    std::vector<std::string> selectedInputFiles() override { return selected; }
};

struct Workbench {
    TempDir dir;
    EnhancementSettings settings;
    FakeView view;
    PreviewChain chain{settings, view};
    FakeDialogs dialogs;
    FakePicker picker;
    FakeViews views;
    BatchSaver saver{chain, view, dialogs, picker, views};

    std::string save(const std::string& name, DibImage image, uint32_t type) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(image.saveToFile(path.c_str(), type)) << path;
        return path;
    }
    bool titled(const std::string& title) const {
        return std::find(view.titles.begin(), view.titles.end(), title) != view.titles.end();
    }
};

bool startsWith(const std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> magic) {
    return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

}  // namespace

TEST(BatchSaver, SaveDirectoryTitlesCountsAndFormats) {
    Workbench w;
    w.save("a.JPG", randomImage(30, 20, 24, 1), JPEG);
    testing_support::writeBytes(w.dir.file("b.txt"), {'x'});
    w.save("c.png", randomImage(20, 30, 24, 2), PNG);
    w.saver.onAutoset(true);
    w.saver.onInputDirectoryChanged(w.dir.path().string());
    EXPECT_EQ(w.views.inputLoads, Strings{w.dir.path().string()});
    EXPECT_EQ(w.saver.outputDirectory(), w.dir.file("enhanced"));
    EXPECT_EQ(w.views.outputShown.back(), w.dir.file("enhanced"));

    w.view.clear();
    w.saver.onSaveDirectory();
    EXPECT_EQ(w.dialogs.questions,
              Strings{"Would you like to process and save the entire directory with the "
                      "current settings?"});
    EXPECT_EQ(w.dialogs.informations, Strings{"Finished processing 2 images."});
    EXPECT_EQ(w.saver.processedCount(), 2);
    // Titles number the entries of the listing, the text file included.
    int index = 0;
    for (const auto& e : fs::directory_iterator(w.dir.path())) {
        if (e.is_directory()) continue;
        ++index;
        const std::string title = "Vantifex - Processing " + std::to_string(index) + " of 3";
        const bool photo = e.path().extension() != ".txt";
        EXPECT_EQ(w.titled(title), photo) << title;
        EXPECT_EQ(w.titled(title + " - Saving..."), photo) << title;
    }
    EXPECT_EQ(w.view.currentTitle, "Vantifex");  // back to the (empty) editor's title
    EXPECT_EQ(w.view.waitDepth, 0);
    EXPECT_GE(w.views.treeRefreshes, 1);
    EXPECT_EQ(w.views.outputRefreshes, 1);
    EXPECT_TRUE(startsWith(readBytes(w.dir.file("enhanced/enh_a.jpg")), {0xFF, 0xD8}));
    EXPECT_TRUE(startsWith(readBytes(w.dir.file("enhanced/enh_c.png")), {0x89, 'P', 'N', 'G'}));
    EXPECT_FALSE(fs::exists(w.dir.file("enhanced/enh_b.txt")));
}

TEST(BatchSaver, StatusesOfTheStepsFollowTheProgressTitle) {
    Workbench w;
    w.saver.onInputDirectoryChanged(w.dir.path().string());
    const std::string photo = w.save("p.png", randomImage(10, 10, 24, 1), PNG);
    w.settings.contrast = 5;
    w.settings.redOffset = 1;
    w.views.selected = {photo};
    w.saver.onSaveSelected();
    // Each status follows the progress title in place of the one before (they do not pile up).
    for (const char* status : {"Contrast...", "Enhancing Colors...", "Saving..."})
        EXPECT_TRUE(w.titled(std::string("Vantifex - Processing 1 of 1 - ") + status)) << status;
    EXPECT_FALSE(w.titled("Vantifex - Processing 1 of 1 - Contrast... - Enhancing Colors..."));
    EXPECT_EQ(w.dialogs.informations, Strings{"Finished processing 1 images."});
}

TEST(BatchSaver, DeclinedQuestionsDoNothing) {
    Workbench w;
    w.views.selected = {w.save("p.png", randomImage(10, 10, 24, 1), PNG)};
    w.dialogs.answer = false;
    w.saver.onSaveSelected();
    w.saver.onSaveDirectory();
    EXPECT_EQ(w.dialogs.questions.size(), 2u);
    EXPECT_EQ(w.dialogs.questions[0],
              "Would you like to process and save all selected files with the current "
              "settings?");
    EXPECT_TRUE(w.dialogs.informations.empty());
    EXPECT_FALSE(fs::exists("enhanced/enh_p.png"));
    EXPECT_FALSE(fs::exists(w.dir.file("enhanced")));
    EXPECT_EQ(w.views.outputRefreshes, 0);
}

TEST(BatchSaver, SaveSelectedWithNothingMarked) {
    Workbench w;
    w.saver.onSaveSelected();
    EXPECT_EQ(w.dialogs.informations, Strings{"Finished processing 0 images."});
}

TEST(BatchSaver, GifJpegAndDibOutputs) {
    Workbench w;
    w.saver.onAutoset(false);
    w.saver.setOutputDirectoryText(w.dir.file("out"));
    w.views.selected = {w.save("x.gif", randomImage(12, 8, 8, 1), GIF),
                        w.save("y.jpeg", randomImage(12, 8, 24, 2), JPEG),
                        w.save("z.dib", randomImage(12, 8, 24, 3), JPEG)};
    w.saver.onSaveSelected();
    EXPECT_EQ(w.dialogs.informations, Strings{"Finished processing 3 images."});
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(w.dir.file("out")))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Strings{"enh_x.jpg", "enh_y.jpeg", "enh_z.dib"}));
    for (const char* n : {"enh_x.jpg", "enh_y.jpeg"})
        EXPECT_TRUE(startsWith(readBytes(w.dir.file(std::string("out/") + n)), {0xFF, 0xD8})) << n;
    // A .dib is a bitmap: read by its content (JPEG here), written as BMP under its name.
    EXPECT_TRUE(startsWith(readBytes(w.dir.file("out/enh_z.dib")), {'B', 'M'}));
}

TEST(BatchSaver, UnreadablePhotosAreNeitherWrittenNorCounted) {
    Workbench w;
    w.saver.onInputDirectoryChanged(w.dir.path().string());
    const std::string good = w.save("good.png", randomImage(10, 10, 24, 1), PNG);
    testing_support::writeBytes(w.dir.file("bad.png"), {0x89, 'P', 'N', 'G', 0});
    testing_support::writeBytes(w.dir.file("empty.jpg"), {});
    w.views.selected = {good, w.dir.file("bad.png"), w.dir.file("empty.jpg"),
                        w.dir.file("gone.png")};
    w.saver.onSaveSelected();
    // The summary names each photo that could not be read, with the loader's reason.
    ASSERT_EQ(w.dialogs.informations.size(), 1u);
    const std::string& summary = w.dialogs.informations[0];
    EXPECT_EQ(summary.rfind("Finished processing 1 images.\n3 could not be read.\nbad.png: ", 0),
              0u)
        << summary;
    EXPECT_NE(summary.find("\nempty.jpg: "), std::string::npos) << summary;
    EXPECT_NE(summary.find("\ngone.png: cannot open " + w.dir.file("gone.png") +
                           ": No such file or directory"),
              std::string::npos)
        << summary;
    EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 4);
    EXPECT_EQ(w.saver.unreadableCount(), 3);
    EXPECT_TRUE(fs::exists(w.dir.file("enhanced/enh_good.png")));
    EXPECT_FALSE(fs::exists(w.dir.file("enhanced/enh_bad.png")));
    EXPECT_FALSE(fs::exists(w.dir.file("enhanced/enh_empty.jpg")));
    // Every photo the batch takes gets its title as it starts, readable or not.
    EXPECT_TRUE(w.titled("Vantifex - Processing 2 of 4"));
    EXPECT_FALSE(w.titled("Vantifex - Processing 2 of 4 - Saving..."));
}

TEST(BatchSaver, FailedWritesAreReported) {
    Workbench w;
    testing_support::writeBytes(w.dir.file("plain-file"), {1});
    w.saver.onAutoset(false);
    w.saver.setOutputDirectoryText(w.dir.file("plain-file/out"));
    const std::string photo = w.save("p.png", randomImage(10, 10, 24, 1), PNG);
    w.views.selected = {photo};
    w.saver.onSaveSelected();
    ASSERT_EQ(w.dialogs.informations.size(), 1u);
    EXPECT_EQ(w.dialogs.informations[0].rfind(
                  "Finished processing 1 images.\n1 could not be written.\np.png: ", 0),
              0u)
        << w.dialogs.informations[0];
    ASSERT_EQ(w.saver.results().size(), 1u);
    EXPECT_EQ(w.saver.results()[0].written, w.dir.file("plain-file/out/enh_p.png"));
    EXPECT_EQ(w.saver.results()[0].reason,
              "cannot create the folder " + w.dir.file("plain-file") + ": Not a directory");
    w.chain.loadPhoto(photo);
    w.saver.onSaveCurrent();
    EXPECT_EQ(w.dialogs.messages, Strings{"Cannot write file."});
    // Below the fixed words: the folder that could not be made, and why.
    EXPECT_EQ(w.dialogs.details, Strings{w.dir.file("plain-file") + ": Not a directory"});

    // The folder is there but the file cannot be written: that file and the system's reason.
    w.saver.setOutputDirectoryText(w.dir.file("out"));
    fs::create_directories(w.dir.file("out/enh_p.png"));
    w.saver.onSaveCurrent();
    EXPECT_EQ(w.dialogs.messages, (Strings{"Cannot write file.", "Cannot write file."}));
    EXPECT_EQ(w.dialogs.details.back(), w.dir.file("out/enh_p.png") + ": Is a directory");
    // A photo that cannot be read: the photo and why.
    w.chain.loadPhoto(w.dir.file("p.png"));
    testing_support::writeBytes(w.dir.file("p.png"), {1, 2, 3});
    w.saver.onSaveCurrent();
    EXPECT_EQ(w.dialogs.messages.back(), "Cannot read file.");
    EXPECT_EQ(w.dialogs.details.back().rfind(w.dir.file("p.png") + ": ", 0), 0u)
        << w.dialogs.details.back();
}

TEST(BatchSaver, ATypedFolderIsMadeAtEveryLevel) {
    Workbench w;
    w.saver.onAutoset(false);
    const std::string typed = w.dir.file("two/levels/deep");
    w.saver.setOutputDirectoryText(typed);
    const std::string photo = w.save("p.png", randomImage(10, 10, 24, 1), PNG);
    w.chain.loadPhoto(photo);
    const int trees = w.views.treeRefreshes;
    w.saver.onSaveCurrent();
    EXPECT_EQ(w.dialogs.messages, Strings{});
    EXPECT_TRUE(fs::exists(typed + "/enh_p.png"));
    EXPECT_GT(w.views.treeRefreshes, trees);  // the tree shows the new folder
    // The batch commands too.
    w.saver.setOutputDirectoryText(w.dir.file("other/level"));
    w.views.selected = {photo};
    w.saver.onSaveSelected();
    EXPECT_TRUE(fs::exists(w.dir.file("other/level/enh_p.png")));
    EXPECT_EQ(w.saver.unwrittenCount(), 0);
}

TEST(BatchSaver, SaveCurrent) {
    Workbench w;
    w.saver.onSaveCurrent();
    EXPECT_EQ(w.dialogs.messages, Strings{"No selected image."});
    w.chain.loadPhoto(w.dir.file("gone.png"));
    w.saver.onSaveCurrent();
    EXPECT_EQ(w.dialogs.messages.back(), "Cannot locate file.");
    testing_support::writeBytes(w.dir.file("junk.png"), {1, 2, 3});
    w.chain.loadPhoto(w.dir.file("junk.png"));
    w.saver.onSaveCurrent();
    EXPECT_EQ(w.dialogs.messages.back(), "Cannot read file.");
    EXPECT_FALSE(fs::exists(w.dir.file("enhanced/enh_junk.png")));
    EXPECT_EQ(w.dialogs.messages.size(), 3u);

    w.saver.onInputDirectoryChanged(w.dir.path().string());
    const std::string photo = w.save("Shot.PNG", randomImage(24, 16, 24, 4), PNG);
    w.chain.loadPhoto(photo);
    w.settings.brightness = 10;
    w.saver.onSaveCurrent();
    const std::string out = w.dir.file("enhanced/enh_shot.png");
    const auto first = readBytes(out);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(w.dialogs.messages.size(), 3u);
    EXPECT_EQ(w.view.currentTitle, "Vantifex - Shot.PNG");  // the editor is untouched
    // Saving again with other settings overwrites the first result.
    w.settings.brightness = -10;
    w.saver.onSaveCurrent();
    const auto second = readBytes(out);
    EXPECT_NE(second, first);
    PhotoEdit expected;
    expected.load(photo);
    ASSERT_TRUE(renderForSaving(expected, w.settings));
    DibImage written;
    ASSERT_TRUE(written.loadFromFile(out.c_str(), PNG));
    EXPECT_TRUE(testing_support::sameImage(written, expected.image));
    EXPECT_EQ(w.view.waitDepth, 0);
}

TEST(BatchSaver, AutosetAndBrowse) {
    Workbench w;
    EXPECT_TRUE(w.saver.autoset());
    EXPECT_EQ(w.saver.outputDirectory(), "enhanced");  // before any folder was chosen
    w.saver.onAutoset(true);
    EXPECT_EQ(w.views.autosetControls, std::vector<bool>{true});
    EXPECT_EQ(w.views.outputShown, Strings{"enhanced"});
    w.saver.onInputDirectoryChanged("/photos");
    EXPECT_EQ(w.saver.outputDirectory(), "/photos/enhanced");
    w.saver.onInputDirectoryChanged("/");
    EXPECT_EQ(w.saver.outputDirectory(), "/enhanced");
    w.saver.onInputDirectoryChanged("/photos/");
    EXPECT_EQ(w.saver.outputDirectory(), "/photos/enhanced");

    w.picker.answer = "/elsewhere";
    w.saver.onBrowse();  // nothing while autoset is on
    EXPECT_EQ(w.picker.calls, 0);
    w.saver.onAutoset(false);
    EXPECT_EQ(w.views.autosetControls.back(), false);
    EXPECT_EQ(w.saver.outputDirectory(), "/photos/enhanced");  // the text stays
    w.saver.onInputDirectoryChanged("/other");
    EXPECT_EQ(w.saver.outputDirectory(), "/photos/enhanced");
    EXPECT_EQ(w.views.outputShown.back(), "/photos/enhanced");
    w.saver.onBrowse();
    EXPECT_EQ(w.picker.calls, 1);
    EXPECT_EQ(w.saver.outputDirectory(), "/elsewhere");
    EXPECT_EQ(w.views.outputShown.back(), "/elsewhere");
    w.picker.answer.clear();  // cancelled
    w.saver.onBrowse();
    EXPECT_EQ(w.saver.outputDirectory(), "/elsewhere");
    w.saver.onAutoset(true);
    EXPECT_EQ(w.saver.outputDirectory(), "/other/enhanced");
}

TEST(BatchSaver, SaveAs) {
    Workbench w;
    w.saver.onSaveAs();
    EXPECT_EQ(w.dialogs.messages, Strings{"No selected image."});
    EXPECT_TRUE(w.dialogs.saveDialogs.empty());

    fs::create_directories(w.dir.file("first"));
    fs::create_directories(w.dir.file("second"));
    const std::string a = w.save("first/a.png", randomImage(16, 16, 24, 1), PNG);
    const std::string b = w.save("second/b.png", randomImage(16, 16, 24, 2), PNG);
    w.chain.loadPhoto(a);
    w.saver.onSaveAs();  // cancelled
    ASSERT_EQ(w.dialogs.saveDialogs.size(), 1u);
    EXPECT_EQ(w.dialogs.saveDialogs[0].first, w.dir.file("first"));
    EXPECT_EQ(w.dialogs.saveDialogs[0].second, kSaveAsFilter);
    EXPECT_EQ(fs::directory_iterator(w.dir.file("first"))->path().filename(), "a.png");

    w.chain.loadPhoto(b);
    w.dialogs.saveName = w.dir.file("second/Chosen.PNG");
    w.settings.effect = kEffectNegative;
    w.saver.onSaveAs();
    // The dialog keeps the folder it first opened in.
    EXPECT_EQ(w.dialogs.saveDialogs[1].first, w.dir.file("first"));
    EXPECT_EQ(w.saver.saveDialogDirectory(), w.dir.file("first"));
    DibImage written;
    ASSERT_TRUE(written.loadFromFile(w.dir.file("second/chosen.png").c_str(), PNG));
    PhotoEdit expected;
    expected.load(b);
    renderForSaving(expected, w.settings);
    EXPECT_TRUE(testing_support::sameImage(written, expected.image));
    EXPECT_EQ(w.views.outputRefreshes, 0);
    EXPECT_TRUE(w.dialogs.messages.size() == 1);
}

TEST(BatchSaver, ABatchWhoseNamesClashWritesNothingAndSaysWhyOnce) {
    Workbench w;
    const std::string heic = w.save("IMG_1.heic", randomImage(20, 14, 24, 1), PNG);
    const std::string jpg = w.save("IMG_1.JPG", randomImage(20, 14, 24, 2), JPEG);
    w.save("IMG_2.png", randomImage(20, 14, 24, 3), PNG);
    w.saver.onAutoset(true);
    w.saver.onInputDirectoryChanged(w.dir.path().string());
    w.views.selected = {heic, jpg, w.dir.file("IMG_2.png")};
    w.saver.onSaveSelected();
    ASSERT_EQ(w.dialogs.informations.size(), 1u);
    EXPECT_EQ(w.dialogs.informations[0],
              "Finished processing 3 images.\n3 could not be written.\nNothing was written: "
              "cannot write " +
                  heic + " and " + jpg + " both to " + w.dir.file("enhanced/enh_img_1.jpg"));
    EXPECT_EQ(w.saver.unwrittenCount(), 3);
    EXPECT_FALSE(fs::exists(w.dir.file("enhanced/enh_img_1.jpg")));
    EXPECT_FALSE(fs::exists(w.dir.file("enhanced/enh_img_2.png")));
}
