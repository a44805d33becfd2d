// EditHistory: the editor's undo and redo. Each change of the panel's record or of the photo's
// crop is one named step that keeps the state before and after it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "workflow/crop_rect.h"
#include "workflow/enhancement_settings.h"
#include "workflow/preview_chain.h"

// What a step changes: the one settings record of the run and the crop of the photo shown.
struct EditState {
    EnhancementSettings settings;
    std::optional<CropRect> crop;
};

// Whether two records differ in a value a step can change. The point colour follows the
// pointer, not the steps, so it is left out (and an undo keeps the one shown).
bool sameSteppedValues(const EnhancementSettings& a, const EnhancementSettings& b);

// The earliest preview stage that going from one state to the other feeds: kStageOriginal
// for a different quarter-turn position (stage 0 is turned), kStageFitted for a different
// crop, then the sharpen, contrast, white-balance, brightness and colour stages; kStageCount
// when no stage needs recomputing (only the output options differ, or nothing).
Stage restartStage(const EditState& from, const EditState& to);

class EditHistory {
  public:
    // Steps kept at most; the oldest go first.
    static constexpr size_t kDefaultLimit = 1000;

    explicit EditHistory(size_t limit = kDefaultLimit) : limit_(limit) {}

    // Records a change named name (the control's label with its direction, "red +") made
    // while the current photo is shown. A change that changes nothing is not a step (false);
    // a step drops every step that could still be redone.
    bool record(const std::string& name, const EditState& before, const EditState& after);

    // The photo now shown (its path). A crop belongs to the photo it was made on: once another
    // photo is shown, the steps of earlier photos stop restoring their crop, and a step that
    // changed nothing but such a crop is dropped.
    void photoShown(const std::string& path);
    const std::string& photo() const { return photo_; }

    struct Result {
        EditState state;  // what the panel and the crop are to show
        Stage restart;    // where the preview chain restarts (restartStage from current)
    };
    // Undo the last step, or redo the last undone one, from the state shown now: the record
    // returned is the step's own except for the point colour, which stays as current has it.
    // Nothing to undo or redo: nullopt.
    std::optional<Result> undo(const EditState& current);
    std::optional<Result> redo(const EditState& current);

    bool canUndo() const { return next_ > 0; }
    bool canRedo() const { return next_ < steps_.size(); }
    // The names of the step an undo or a redo would take back or make again ("" when none).
    std::string undoName() const;
    std::string redoName() const;
    size_t size() const { return steps_.size(); }
    void clear();

  private:
    struct Step {
        std::string name;
        EditState before;
        EditState after;
        // The crop is restored only while photo is shown.
        bool cropChanged = false;
        std::string photo;
    };
    Result restore(const Step& step, const EditState& target, const EditState& current) const;

    std::vector<Step> steps_;
    size_t next_ = 0;  // steps_[0, next_) can be undone, steps_[next_, end) redone
    size_t limit_;
    std::string photo_;
};
