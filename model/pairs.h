// The edit boxes with their up-downs: one row per pair, in the order the controls are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/calibration.h"

namespace velmora {

// When an edit box hands its text on: when the focus leaves it, or when it is clicked.
enum class Commit : std::uint8_t { Exit, Click };

struct PairSpec {
    std::string edit;   // object name of the edit box, "Edit1"
    std::string updown; // object name of its up-down, "UpDown1"
    Param param;
    int factor;     // display value = stored value x factor
    bool tpsOffset; // TPS_100: display value = (stored + 250) x 10
    int min, max, step, initial;
    bool grouping; // thousands separator in the box
    Commit commit;
    const char* parent; // object name of the group box holding the pair
    int x, y, width;    // edit box in its group box; the up-down stands right of it
};

// The 189 pairs. The first PairsBeforeFlags of them are read before the check boxes.
const std::vector<PairSpec>& pairTable();
constexpr std::size_t PairCount = 189;
constexpr std::size_t PairsBeforeFlags = 32;
constexpr int EditHeight = 21;
constexpr int UpDownWidth = 15;

// The check boxes bound to a working parameter, in the order the controls read them.
struct FlagBoxSpec {
    const char* box; // object name
    Param param;
    bool ownHandler; // the box sets its parameter itself when clicked
};
const std::vector<FlagBoxSpec>& flagBoxTable();

// The display value of a stored value (not limited to the up-down's range).
int toDisplay(const PairSpec& spec, std::uint8_t stored);
// The stored value of an up-down position: divided by the factor, truncated, low 8 bits.
std::uint8_t toStored(const PairSpec& spec, int position);

} // namespace velmora
