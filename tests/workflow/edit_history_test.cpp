// EditHistory: sequences of changes, undos, redos and photo changes against the state they
// must leave, the stage the last undo or redo restarts at and the names the menu shows.
#include "workflow/edit_history.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using Edit = std::function<void(EditState&)>;

struct Op {
    enum Kind { kChange, kTrack, kUndo, kRedo, kPhoto } kind;
    std::string name;  // the step's name, or the photo's path
    Edit edit;
};

Op change(const std::string& name, Edit edit) {
    return {Op::kChange, name, std::move(edit)};
}
// The pointer moved while picking: the point colour changes, no step is made.
Op track(ColourRef colour) {
    return {Op::kTrack, "", [colour](EditState& s) { s.settings.pointColour = colour; }};
}
const Op kUndo{Op::kUndo, "", nullptr};
const Op kRedo{Op::kRedo, "", nullptr};
// Another photo is loaded: its crop starts empty.
Op photo(const std::string& path) {
    return {Op::kPhoto, path, nullptr};
}

const Op kRedPlus = change("red +", [](EditState& s) { ++s.settings.redOffset; });
const Op kBluePlus = change("blue +", [](EditState& s) { ++s.settings.blueOffset; });
const Op kSharpenPlus = change("sharpen +", [](EditState& s) { ++s.settings.sharpen; });
const Op kContrastMinus = change("contrast -", [](EditState& s) { --s.settings.contrast; });
const Op kBrightnessPlus = change("brightness +", [](EditState& s) { ++s.settings.brightness; });
const Op kBrightnessZero = change("brightness 0", [](EditState& s) { s.settings.brightness = 0; });
const Op kWhitePick = change("white balance", [](EditState& s) {
    s.settings.whiteBalance = addWhitePoint(s.settings.whiteBalance, colourRef(0, 0, 0));
});
const Op kSepia = change("FX Sepia 2", [](EditState& s) { s.settings.effect = 3; });
const Op kRotateLeft = change("rotate left", [](EditState& s) { s.settings.rotateLeft(); });
const Op kRotateRight = change("rotate right", [](EditState& s) { s.settings.rotateRight(); });
const Op kStartOver = change("start over", [](EditState& s) {
    s.settings.startOver();
    s.crop.reset();
});
const Op kCrop = change("crop", [](EditState& s) { s.crop = CropRect{10, 20, 300, 200}; });

// The stage of an undo or redo that found nothing.
constexpr int kNothing = -1;

struct Row {
    const char* what;
    std::vector<Op> ops;
    Edit expected;  // applied to the start state
    int stage;      // of the last undo or redo
    const char* undoName;
    const char* redoName;
};

void runRow(const Row& row) {
    SCOPED_TRACE(row.what);
    EditHistory history;
    history.photoShown("a.jpg");
    EditState shown;
    int stage = kNothing;
    for (const Op& op : row.ops) {
        switch (op.kind) {
            case Op::kChange: {
                const EditState before = shown;
                op.edit(shown);
                history.record(op.name, before, shown);
                break;
            }
            case Op::kTrack:
                op.edit(shown);
                break;
            case Op::kUndo:
            case Op::kRedo: {
                const auto r = op.kind == Op::kUndo ? history.undo(shown) : history.redo(shown);
                stage = r ? int(r->restart) : kNothing;
                if (r) shown = r->state;
                break;
            }
            case Op::kPhoto:
                history.photoShown(op.name);
                shown.crop.reset();
                break;
        }
    }
    EditState expected;
    if (row.expected) row.expected(expected);
    EXPECT_TRUE(sameSteppedValues(shown.settings, expected.settings));
    EXPECT_EQ(shown.settings.redOffset, expected.settings.redOffset);
    EXPECT_EQ(shown.settings.rotation, expected.settings.rotation);
    EXPECT_EQ(shown.settings.pointColour, expected.settings.pointColour);
    EXPECT_EQ(shown.crop, expected.crop);
    EXPECT_EQ(stage, row.stage);
    EXPECT_EQ(history.undoName(), row.undoName);
    EXPECT_EQ(history.redoName(), row.redoName);
    EXPECT_EQ(history.canUndo(), *row.undoName != '\0');
    EXPECT_EQ(history.canRedo(), *row.redoName != '\0');
}

}  // namespace

TEST(EditHistory, SequencesGiveStateStageAndNames) {
    const auto red = [](int n) { return [n](EditState& s) { s.settings.redOffset = n; }; };
    const Row rows[] = {
        {"nothing to undo", {kUndo}, nullptr, kNothing, "", ""},
        {"nothing to redo", {kRedPlus, kRedo}, red(1), kNothing, "red +", ""},
        {"undo a colour click", {kRedPlus, kUndo}, nullptr, kStageColoured, "", "red +"},
        {"redo it", {kRedPlus, kUndo, kRedo}, red(1), kStageColoured, "red +", ""},
        {"two undos, one redo",
         {kRedPlus, kRedPlus, kBluePlus, kUndo, kUndo, kRedo},
         red(2),
         kStageColoured,
         "red +",
         "blue +"},
        {"a new change drops the redo steps",
         {kRedPlus, kBluePlus, kUndo, kSharpenPlus, kRedo},
         [](EditState& s) {
             s.settings.redOffset = 1;
             s.settings.sharpen = 1;
         },
         kNothing,
         "sharpen +",
         ""},
        {"sharpen restarts at the sharpen stage",
         {kSharpenPlus, kUndo},
         nullptr,
         kStageSharpened,
         "",
         "sharpen +"},
        {"contrast", {kContrastMinus, kUndo}, nullptr, kStageContrasted, "", "contrast -"},
        {"white-point pick", {kWhitePick, kUndo}, nullptr, kStageBalanced, "", "white balance"},
        {"brightness", {kBrightnessPlus, kUndo}, nullptr, kStageBrightened, "", "brightness +"},
        {"an effect is a colour-stage change",
         {kSepia, kUndo},
         nullptr,
         kStageColoured,
         "",
         "FX Sepia 2"},
        {"a turn turns stage 0 back",
         {kRotateRight, kUndo},
         nullptr,
         kStageOriginal,
         "",
         "rotate right"},
        {"four left turns, one undone",
         {kRotateLeft, kRotateLeft, kRotateLeft, kRotateLeft, kUndo},
         [](EditState& s) { s.settings.rotation = -3; },
         kStageOriginal,
         "rotate left",
         "rotate left"},
        {"a count 4 apart is the same position: only the colours restart",
         {kRotateLeft,
          change("Load settings",
                 [](EditState& s) {
                     s.settings.rotation = 3;
                     s.settings.redOffset = 2;
                 }),
          kUndo},
         [](EditState& s) { s.settings.rotation = -1; },
         kStageColoured,
         "rotate left",
         "Load settings"},
        {"start over undone restarts at the earliest value it reset",
         {kRedPlus, kSharpenPlus, kStartOver, kUndo},
         [](EditState& s) {
             s.settings.redOffset = 1;
             s.settings.sharpen = 1;
         },
         kStageSharpened,
         "sharpen +",
         "start over"},
        {"a click that changes nothing is no step",
         {kRedPlus, kBrightnessZero, kUndo},
         nullptr,
         kStageColoured,
         "",
         "red +"},
        {"output options alone restart nothing",
         {change("Load settings", [](EditState& s) { s.settings.output.jpegQuality = 90; }), kUndo},
         nullptr,
         kStageCount,
         "",
         "Load settings"},
        {"the point colour follows the pointer, not the steps",
         {kRedPlus, track(colourRef(1, 2, 3)), kUndo},
         [](EditState& s) { s.settings.pointColour = colourRef(1, 2, 3); },
         kStageColoured,
         "",
         "red +"},
        {"a crop undone restarts at the fitted stage",
         {kCrop, kUndo},
         nullptr,
         kStageFitted,
         "",
         "crop"},
        {"a crop redone",
         {kCrop, kUndo, kRedo},
         [](EditState& s) {
             s.crop = CropRect{10, 20, 300, 200};
         },
         kStageFitted,
         "crop",
         ""},
        {"the same photo again keeps its crop steps",
         {kCrop, photo("a.jpg"), kUndo},
         nullptr,
         kStageCount,  // the driver's reload cleared the crop already: nothing to recompute
         "",
         "crop"},
        {"settings steps survive another photo",
         {kRedPlus, photo("b.jpg"), kUndo},
         nullptr,
         kStageColoured,
         "",
         "red +"},
        {"another photo drops the crop steps of the one before",
         {kRedPlus, kCrop, photo("b.jpg"), kUndo},
         nullptr,
         kStageColoured,
         "",
         "red +"},
        {"and its crops to redo",
         {kRedPlus, kCrop, kUndo, photo("b.jpg"), kRedo},
         red(1),
         kNothing,
         "red +",
         ""},
        {"a step of settings and crop keeps only its settings on another photo",
         {kRedPlus, kCrop, kStartOver, photo("b.jpg"), kUndo},
         red(1),
         kStageColoured,
         "red +",
         "start over"},
        {"a crop made on this photo after one on the last",
         {kCrop, photo("b.jpg"), kCrop, kUndo},
         nullptr,
         kStageFitted,
         "",
         "crop"},
    };
    for (const Row& row : rows) runRow(row);
}

TEST(EditHistory, ReloadingTheSamePhotoStillUndoesItsCrop) {
    // Shown state kept (no clearing): the crop step of the same photo restores its "before".
    EditHistory history;
    history.photoShown("a.jpg");
    const EditState start;
    EditState cropped;
    cropped.crop = CropRect{1, 2, 3, 4};
    ASSERT_TRUE(history.record("crop", start, cropped));
    history.photoShown("a.jpg");
    const auto r = history.undo(cropped);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->state.crop);
    EXPECT_EQ(r->restart, kStageFitted);
}

TEST(EditHistory, KeepsAtMostItsLimitDroppingTheOldest) {
    EditHistory history(3);
    EditState state;
    for (int i = 1; i <= 5; ++i) {
        const EditState before = state;
        state.settings.redOffset = i;
        ASSERT_TRUE(history.record("red " + std::to_string(i), before, state));
    }
    EXPECT_EQ(history.size(), 3u);
    for (int expected : {4, 3, 2}) {
        const auto r = history.undo(state);
        ASSERT_TRUE(r);
        state = r->state;
        EXPECT_EQ(state.settings.redOffset, expected);
    }
    EXPECT_FALSE(history.undo(state));
    EXPECT_EQ(history.redoName(), "red 3");
    history.clear();
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.size(), 0u);
}

TEST(RestartStage, EarliestChangedValueWins) {
    struct Case {
        const char* what;
        Edit edit;
        Stage expected;
    };
    const Case cases[] = {
        {"nothing", [](EditState&) {}, kStageCount},
        {"point colour", [](EditState& s) { s.settings.pointColour = 0; }, kStageCount},
        {"brown", [](EditState& s) { s.settings.brownOffset = -1; }, kStageColoured},
        {"effect", [](EditState& s) { s.settings.effect = kEffectNegative; }, kStageColoured},
        {"brightness and red",
         [](EditState& s) {
             s.settings.brightness = 2;
             s.settings.redOffset = 1;
         },
         kStageBrightened},
        {"white balance text", [](EditState& s) { s.settings.whiteBalance = "00000000"; },
         kStageBalanced},
        {"contrast and brightness",
         [](EditState& s) {
             s.settings.contrast = 1;
             s.settings.brightness = 1;
         },
         kStageContrasted},
        {"sharpen", [](EditState& s) { s.settings.sharpen = -1; }, kStageSharpened},
        {"crop and sharpen",
         [](EditState& s) {
             s.crop = CropRect{0, 0, 5, 5};
             s.settings.sharpen = 1;
         },
         kStageFitted},
        {"a quarter turn", [](EditState& s) { s.settings.rotation = -1; }, kStageOriginal},
        {"four turns back to the start", [](EditState& s) { s.settings.rotation = 4; },
         kStageCount},
    };
    for (const Case& c : cases) {
        EditState to;
        c.edit(to);
        EXPECT_EQ(restartStage(EditState{}, to), c.expected) << c.what;
        EXPECT_EQ(restartStage(to, EditState{}), c.expected) << c.what << ", backward";
    }
}
