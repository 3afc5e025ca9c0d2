// One change of the calibration as the command that makes it names it: the step the undo
// history shows, and what else the change means for the history (a replaced calibration is
// kept as a snapshot first; a file now holds the calibration).
#pragma once

#include <optional>
#include <string>

#include "history/history.h"
#include "history/snapshot_store.h"
#include "model/calibration.h"

namespace velmora {

struct Change {
    StepName name;
    // The command replaces the calibration (New, Open, a model change): the one it replaces is
    // stored first when nothing holds it yet.
    std::optional<SnapshotKind> replacing;
    bool fileStored = false; // opened from or saved to a parameter file

    // A step named by a command, with its count of cells (or column) and operand.
    static Change command(lang::HistoryText step, int number = 0, std::string extra = {}) {
        Change c;
        c.name.command = step;
        c.name.number = number;
        c.name.extra = std::move(extra);
        return c;
    }
    // A step of one control: named by its parameter.
    static Change of(Param p) {
        Change c;
        c.name.param = static_cast<int>(p);
        return c;
    }
    // Nothing named it: the history names it by what changed.
    bool unnamed() const {
        return name.param < 0 && name.command == lang::HistoryText::StepEdit && !replacing;
    }
};

} // namespace velmora
