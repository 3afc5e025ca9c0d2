// The wide-band target table and the locked cells as one text file kept beside a calibration
// (and beside a snapshot): the .ign format has no room for them.
#pragma once

#include <optional>
#include <string>

#include "analysis/wideband_correction.h"

namespace velmora::analysis {

struct TargetSide {
    TargetTable targets = defaultTargets();
    LockGrid locks{};
    // Targets count as equal within a millionth: the file keeps two decimals.
    bool operator==(const TargetSide& o) const;
    bool operator!=(const TargetSide& o) const { return !(*this == o); }
};

// The target lines as formatTargets writes them, then "locked" and ten lines of ten 0/1.
std::string formatTargetSide(const TargetSide& side);
// Nothing when the targets are refused (`error` says why) or the lock lines are damaged; a
// file without lock lines has none locked.
std::optional<TargetSide> parseTargetSide(const std::string& text, std::string* error = nullptr);

} // namespace velmora::analysis
