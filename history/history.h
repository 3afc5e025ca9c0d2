// Undo and redo of the working parameters: each step keeps the whole calibration before and
// after, so going back is exact, the values without controls included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "lang/history_texts.h"
#include "model/calibration.h"

namespace velmora {

// What a step is called: a command, or the one parameter it changed.
struct StepName {
    lang::HistoryText command = lang::HistoryText::StepEdit;
    int param = -1;    // >= 0: the step changed only this parameter
    int number = 0;    // the column of a column step, the count of values or cells
    std::string extra; // a file name, a model, the operand of a map operation
};

struct Step {
    StepName name;
    Calibration before, after;
};

// The text of a step in a language ("Jet +", "Advance 3 (3,000 rpm)", "Open file a.ign").
std::string stepText(const Step& step, std::uint8_t language);

class History {
public:
    static constexpr std::size_t DefaultLimit = 1000;
    explicit History(std::size_t limit = DefaultLimit) : limit_(limit) {}

    // Records the change from `before` to `after` and forgets what could be redone; the oldest
    // step goes when the limit is reached. A change that changes no setting is no step.
    bool apply(StepName name, const Calibration& before, const Calibration& after);
    // The calibration to show, or nothing when there is no step to undo or redo.
    std::optional<Calibration> undo();
    std::optional<Calibration> redo();

    const Step* nextUndo() const { return done_.empty() ? nullptr : &done_.back(); }
    const Step* nextRedo() const { return undone_.empty() ? nullptr : &undone_.back(); }
    std::size_t undoCount() const { return done_.size(); }
    std::size_t redoCount() const { return undone_.size(); }
    std::size_t limit() const { return limit_; }

private:
    std::size_t limit_;
    std::deque<Step> done_;
    std::vector<Step> undone_;
};

} // namespace velmora
