// The undo history: a list of steps with a cursor; undo and redo move the cursor and hand
// back the state to show with the stage the preview restarts at.
#include "workflow/edit_history.h"

#include <algorithm>

namespace {

// The quarter-turn position a rotation count leaves stage 0 in (-1 and 3 are the same).
int turnPosition(int rotation) {
    return ((rotation % 4) + 4) % 4;
}

bool sameColourValues(const EnhancementSettings& a, const EnhancementSettings& b) {
    for (const NamedCount& row : kNamedCounts)
        if (a.*row.field != b.*row.field) return false;
    return a.effect == b.effect;
}

}  // namespace

bool sameSteppedValues(const EnhancementSettings& a, const EnhancementSettings& b) {
    return sameColourValues(a, b) && a.sharpen == b.sharpen && a.brightness == b.brightness &&
           a.contrast == b.contrast && a.whiteBalance == b.whiteBalance &&
           a.rotation == b.rotation && a.output == b.output;
}

Stage restartStage(const EditState& from, const EditState& to) {
    const EnhancementSettings& a = from.settings;
    const EnhancementSettings& b = to.settings;
    // Earliest first: each test names the stage the value is first read in.
    if (turnPosition(a.rotation) != turnPosition(b.rotation)) return kStageOriginal;
    if (from.crop != to.crop) return kStageFitted;
    if (a.sharpen != b.sharpen) return kStageSharpened;
    if (a.contrast != b.contrast) return kStageContrasted;
    if (a.whiteBalance != b.whiteBalance) return kStageBalanced;
    if (a.brightness != b.brightness) return kStageBrightened;
    if (!sameColourValues(a, b)) return kStageColoured;
    return kStageCount;
}

bool EditHistory::record(const std::string& name, const EditState& before, const EditState& after) {
    const bool cropChanged = before.crop != after.crop;
    if (!cropChanged && sameSteppedValues(before.settings, after.settings)) return false;
    steps_.erase(steps_.begin() + std::ptrdiff_t(next_), steps_.end());
    steps_.push_back(Step{name, before, after, cropChanged, photo_});
    if (steps_.size() > limit_) steps_.erase(steps_.begin());
    next_ = steps_.size();
    return true;
}

void EditHistory::photoShown(const std::string& path) {
    if (path == photo_) return;
    photo_ = path;
    size_t kept = 0;
    size_t next = next_;
    for (size_t i = 0; i < steps_.size(); ++i) {
        Step& step = steps_[i];
        if (step.cropChanged && step.photo != photo_) {
            if (sameSteppedValues(step.before.settings, step.after.settings)) {
                if (i < next_) --next;
                continue;
            }
            step.cropChanged = false;
        }
        if (kept != i) steps_[kept] = std::move(step);
        ++kept;
    }
    steps_.resize(kept);
    next_ = next;
}

EditHistory::Result EditHistory::restore(const Step& step, const EditState& target,
                                         const EditState& current) const {
    Result result{target, kStageCount};
    result.state.settings.pointColour = current.settings.pointColour;
    if (!step.cropChanged) result.state.crop = current.crop;
    result.restart = restartStage(current, result.state);
    return result;
}

std::optional<EditHistory::Result> EditHistory::undo(const EditState& current) {
    if (!canUndo()) return std::nullopt;
    const Step& step = steps_[--next_];
    return restore(step, step.before, current);
}

std::optional<EditHistory::Result> EditHistory::redo(const EditState& current) {
    if (!canRedo()) return std::nullopt;
    const Step& step = steps_[next_++];
    return restore(step, step.after, current);
}

std::string EditHistory::undoName() const {
    return canUndo() ? steps_[next_ - 1].name : std::string();
}

std::string EditHistory::redoName() const {
    return canRedo() ? steps_[next_].name : std::string();
}

void EditHistory::clear() {
    steps_.clear();
    next_ = 0;
}
