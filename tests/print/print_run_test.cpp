// The print run's questions, messages and page calls with a fake printer, and the two copies
// it draws: the print copy is the picture "save current >" writes, scaled; the preview copy
// carries the colour rows and the effect; copies taller than the page keep only what shows.
#include "print/print_run.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/test_support.h"
#include "tests/print/block_photo.h"
#include "tests/print/fake_prompts.h"
#include "tests/workflow/fake_view.h"
#include "tests/workflow/photo_files.h"
#include "workflow/photo_saving.h"
#include "workflow/preview_chain.h"

using testing_support::TempDir;

namespace {

constexpr PrinterPage k600{4800, 6600, 600, 600};

// Records the calls; fails the start of the document or of page/end of page number failAt.
class FakeDevice : public PrintDevice {
  public:
    bool startOk = true;
    int failStartPage = -1, failEndPage = -1;
    std::vector<std::string> calls;
    bool startDocument(const std::string& name) override {
        calls.push_back("start " + name);
        return startOk;
    }
    bool startPage() override {
        calls.push_back("page");
        return pages_++ != failStartPage;
    }
    void drawPage() override { calls.push_back("draw"); }
    bool endPage() override {
        calls.push_back("end page");
        return ends_++ != failEndPage;
    }
    void endDocument() override { calls.push_back("end"); }

  private:
    int pages_ = 0, ends_ = 0;
};

struct RunCase {
    const char* name;
    int32_t pages, images;
    bool answer, startOk;
    int failStartPage, failEndPage;
    const char* prepareFailure;
    PrintOutcome outcome;
    int32_t drawn;
    std::vector<std::string> messages;
    size_t questions;
    bool prepared;
};

TEST(PrintRun, QuestionsMessagesAndPageCalls) {
    const std::string askThree = askPrintPagesText(3);
    EXPECT_EQ(askThree,
              "ATTENTION:\n\nYou cannot stop printing after it starts.\n\nDo you wish to print 3 "
              "pages?");
    using enum PrintOutcome;
    // One case a line: name, pages, images, answer, startOk, failStartPage, failEndPage (-1 for
    // none), prepareFailure; then outcome, drawn, messages, questions, prepared.
    // clang-format off
    const RunCase cases[] = {
        {"zero pages",                 0, 1, true,  true,  -1, -1, nullptr,
            kNothingToDo,    0, {kPagesSetToZero}, 0, false},
        {"negative pages",            -2, 1, true,  true,  -1, -1, nullptr,
            kNothingToDo,    0, {kPagesSetToZero}, 0, false},
        {"one page, no question",      1, 6, true,  true,  -1, -1, nullptr,
            kPrinted,        1, {},                0, true},
        {"three pages confirmed",      3, 6, true,  true,  -1, -1, nullptr,
            kPrinted,        3, {},                1, true},
        {"three pages declined",       3, 6, false, true,  -1, -1, nullptr,
            kDeclined,       0, {},                1, false},
        {"no copies: blank pages",     2, 0, true,  true,  -1, -1, nullptr,
            kPrinted,        2, {},                1, false},
        {"document does not start",    1, 1, true,  false, -1, -1, nullptr,
            kCannotStart,    0, {kCannotPrint},    0, true},
        {"second page does not start", 3, 1, true,  true,   1, -1, nullptr,
            kPageNotStarted, 1, {kCannotPrint},    1, true},
        {"first page does not end",    3, 1, true,  true,  -1,  0, nullptr,
            kPageNotEnded,   1, {},                1, true},
        {"photo unreadable",           2, 1, true,  true,  -1, -1, kCannotReadFile,
            kNoPicture,      0, {kCannotReadFile}, 1, true},
    };
    // clang-format on
    for (const RunCase& c : cases) {
        PrintValues v;
        v.pageCount = c.pages;
        v.imagesPerPage = c.images;
        FakePrompts prompts;
        prompts.answer = c.answer;
        FakeDevice device;
        device.startOk = c.startOk;
        device.failStartPage = c.failStartPage;
        device.failEndPage = c.failEndPage;
        bool prepared = false;
        const PrintRunResult r = runPrint(
            v, "/photos/a.jpg",
            [&]() -> const char* {
                prepared = true;
                // The picture is ready before the printer hears anything.
                EXPECT_TRUE(device.calls.empty()) << c.name;
                return c.prepareFailure;
            },
            prompts, device);
        EXPECT_EQ(r.outcome, c.outcome) << c.name;
        EXPECT_EQ(r.pagesDrawn, c.drawn) << c.name;
        EXPECT_EQ(prompts.messages, c.messages) << c.name;
        EXPECT_EQ(prompts.questions.size(), c.questions) << c.name;
        if (c.questions) {
            EXPECT_EQ(prompts.questions[0], askPrintPagesText(c.pages)) << c.name;
        }
        EXPECT_EQ(prepared, c.prepared) << c.name;
        const bool started = !device.calls.empty();
        if (started) {
            EXPECT_EQ(device.calls.front(), "start /photos/a.jpg") << c.name;
            // Every started document is ended, whatever happened to its pages.
            if (c.startOk) {
                EXPECT_EQ(device.calls.back(), "end") << c.name;
            }
        }
        EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "draw"), c.drawn) << c.name;
    }
}

// The photo with its corrections, read, corrected and merged the way saving does.
DibImage savedPicture(const std::string& path, const EnhancementSettings& s) {
    PhotoEdit photo;
    EXPECT_TRUE(loadForSaving(path, photo));
    EXPECT_TRUE(renderForSaving(photo, s));
    return photo.image;
}

EnhancementSettings visibleCorrections(int effect) {
    EnhancementSettings s;
    s.redOffset = 10;  // lives only in the planes until they are merged
    s.brightness = 12;
    s.effect = effect;
    return s;
}

TEST(PrintCopies, PrintCopyIsTheSavedPictureScaled) {
    TempDir dir;
    const std::string path = writePhoto(dir, "blocks", block_photo::make());
    ASSERT_FALSE(path.empty());
    PrintValues v;
    v.imageHeight = 2;  // 1200 printer pixels
    for (int effect : {int(kEffectNone), kEffectSepia1 + 2, int(kEffectNegative)}) {
        const EnhancementSettings s = visibleCorrections(effect);
        RecordingSink sink;
        PrintCopy copy;
        ASSERT_EQ(preparePrintCopy(path, s, &sink, v, k600, copy), nullptr);
        EXPECT_EQ(copy.width, 1600);
        EXPECT_EQ(copy.height, 1200);
        EXPECT_EQ(copy.firstRow, 0);

        PhotoEdit reference;
        reference.image = savedPicture(path, s);
        ASSERT_TRUE(reference.resize(0, 1200, 0));
        std::string why;
        EXPECT_TRUE(testing_support::sameImage(copy.picture.image, reference.image, &why))
            << "effect " << effect << ": " << why;
        // The red row reached the picture: block (0, 0) is not the uncorrected colour.
        if (effect == kEffectNone) {
            const RgbQuad c = copy.picture.image.getPixelColor(50, 1200 - 50);
            EXPECT_EQ(c.red, std::min(255, 30 + 40 + 12));
            EXPECT_EQ(c.green, 40 + 12);
        }
    }
}

TEST(PrintCopies, PhotoChecksBeforePrinting) {
    TempDir dir;
    const std::string text = dir.file("notes.jpg");
    testing_support::writeBytes(text, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'h', 'o', 't', 'o'});
    const std::string photo = writePhoto(dir, "blocks", block_photo::make());
    PrintCopy copy;
    PrintValues v;
    EnhancementSettings s;
    EXPECT_STREQ(preparePrintCopy("", s, nullptr, v, k600, copy), kNoSelectedImage);
    EXPECT_STREQ(preparePrintCopy(dir.file("gone.png"), s, nullptr, v, k600, copy),
                 kCannotLocateFile);
    EXPECT_STREQ(preparePrintCopy(text, s, nullptr, v, k600, copy), kCannotReadFile);
    // A height of 0 is a copy of no size (blank pages), never the photo at its own size.
    v.imageHeight = 0;
    EXPECT_EQ(preparePrintCopy(photo, s, nullptr, v, k600, copy), nullptr);
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_FALSE(copy.picture.image.isValid());
}

TEST(PrintCopies, WideAndTallPhotos) {
    TempDir dir;
    const EnhancementSettings none;
    PrintValues v;
    v.imageHeight = 2;
    // Much wider than tall: limited by the page width, lower than the chosen height.
    PhotoEdit wide;
    wide.image = testing_support::randomImage(4000, 300, 24, 7);
    PrintCopy copy;
    ASSERT_TRUE(scaleCopy(wide, 4800, 1200, 6600, false, 0, copy));
    EXPECT_EQ(copy.width, 4800);
    EXPECT_EQ(copy.height, 360);
    EXPECT_EQ(copy.picture.height(), 360);

    // 1000 inches at 1200 dpi of a 1:30 strip: 9600 x 288000 pixels would not even fit in
    // memory; only the rows that reach the page are made.
    const PrinterPage k1200{9600, 13200, 1200, 1200};
    v.imageHeight = 1000;
    for (bool centred : {false, true}) {
        // A vertical ramp: row t from the top has red t x 255 / 2999.
        PhotoEdit strip;
        strip.image.create(100, 3000, 24, 0);
        for (int32_t t = 0; t < 3000; ++t)
            for (int32_t x = 0; x < 100; ++x)
                strip.image.row(2999 - t)[x * 3 + 2] = uint8_t(t * 255 / 2999);
        PhotoEdit full;
        full.image = strip.image;
        ASSERT_TRUE(scaleCopy(strip, k1200.width, printHeightPixels(v, 1200), k1200.height, centred,
                              0, copy))
            << centred;
        EXPECT_EQ(copy.width, 9600);
        EXPECT_EQ(copy.height, 288000);
        EXPECT_EQ(copy.picture.width(), 9600);
        EXPECT_GE(copy.picture.height(), 13200);
        EXPECT_LE(copy.picture.height(), 13200 + 2 * 96);  // a source row is 96 copy rows
        const int64_t top = centred ? 13200 / 2 - 288000 / 2 : 0;
        // The kept rows cover the page: from its top to its bottom.
        EXPECT_LE(top + copy.firstRow, 0);
        EXPECT_GE(top + copy.firstRow + copy.picture.height(), 13200);
        // A kept row shows the source row a full scaling would put there.
        const int64_t pageRow = 6000;
        const int64_t copyRow = pageRow - top;
        const int32_t sourceRow = int32_t(copyRow * 3000 / 288000);
        const int32_t keptRow = int32_t(copyRow - copy.firstRow);
        const RgbQuad kept =
            copy.picture.image.getPixelColor(4800, copy.picture.height() - 1 - keptRow);
        const RgbQuad source = full.image.getPixelColor(50, 3000 - 1 - sourceRow);
        EXPECT_NEAR(kept.red, source.red, 1) << centred;
    }
}

TEST(PrintCopies, PreviewCopyShowsTheEditorsPictureWithItsPlanes) {
    TempDir dir;
    const std::string path = writePhoto(dir, "blocks", block_photo::make());
    EnhancementSettings s;
    s.redOffset = 10;  // no effect: the shift lives only in stage 8's planes
    FakeView view;
    PreviewChain chain(s, view);
    ASSERT_TRUE(chain.loadPhoto(path));
    const PhotoEdit& final = chain.stage(kStageFinal);

    PrintValues v;
    v.imageHeight = 2;
    const LayoutRect page{0, 13, 198, 285};  // 272 high: a copy of 1200 / 6600 x 272 = 49
    PrintCopy copy;
    ASSERT_TRUE(makePreviewCopy(final, page, v, k600, copy));
    EXPECT_EQ(copy.height, 49);
    EXPECT_EQ(copy.picture.height(), 49);

    PhotoEdit reference;
    ASSERT_TRUE(reference.combineFilled(final));
    ASSERT_TRUE(reference.resize(0, 49, 1));
    std::string why;
    EXPECT_TRUE(testing_support::sameImage(copy.picture.image, reference.image, &why)) << why;
    // The merged planes carry the red row: red 30 + 40 in the top-left block.
    EXPECT_EQ(copy.picture.image.getPixelColor(2, 46).red, 70);

    // Nothing in the editor, or no printer page: no copy.
    EXPECT_FALSE(makePreviewCopy(PhotoEdit(), page, v, k600, copy));
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_FALSE(makePreviewCopy(final, LayoutRect{}, v, PrinterPage{}, copy));
}

}  // namespace
