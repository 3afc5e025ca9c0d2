#include "analysis/target_file.h"

#include <cmath>
#include <sstream>
#include <vector>

namespace velmora::analysis {

namespace {
constexpr const char* LockedHeader = "locked";

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}
} // namespace

bool TargetSide::operator==(const TargetSide& o) const {
    for (std::size_t r = 0; r < targets.size(); ++r)
        for (std::size_t c = 0; c < targets[r].size(); ++c)
            if (std::abs(targets[r][c] - o.targets[r][c]) > 1e-6) return false;
    return locks == o.locks;
}

std::string formatTargetSide(const TargetSide& side) {
    std::string out = formatTargets(side.targets);
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += LockedHeader;
    out += '\n';
    for (const auto& row : side.locks) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            out += row[c] ? '1' : '0';
            out += c + 1 < row.size() ? ' ' : '\n';
        }
    }
    return out;
}

std::optional<TargetSide> parseTargetSide(const std::string& text, std::string* error) {
    const auto fail = [&](std::string why) -> std::optional<TargetSide> {
        if (error != nullptr) *error = std::move(why);
        return std::nullopt;
    };
    std::istringstream in(text);
    std::string line, targets;
    std::vector<std::string> lockLines;
    bool inLocks = false;
    while (std::getline(in, line)) {
        const std::string t = trimmed(line);
        if (t == LockedHeader) {
            inLocks = true;
            continue;
        }
        if (inLocks) {
            if (!t.empty()) lockLines.push_back(t);
        } else if (!t.empty()) {
            targets += t + '\n';
        }
    }
    const TargetParse parsed = parseTargets(targets);
    if (!parsed.table) return fail(parsed.error);
    TargetSide side;
    side.targets = *parsed.table;
    if (!inLocks) return side;
    if (lockLines.size() != static_cast<std::size_t>(MapSize))
        return fail("the locked cells need ten lines");
    for (std::size_t r = 0; r < lockLines.size(); ++r) {
        std::istringstream row(lockLines[r]);
        std::string flag;
        std::size_t c = 0;
        for (; row >> flag; ++c) {
            if (c >= static_cast<std::size_t>(MapSize) || (flag != "0" && flag != "1"))
                return fail("locked line " + std::to_string(r + 1) + " is damaged");
            side.locks[r][c] = flag == "1";
        }
        if (c != static_cast<std::size_t>(MapSize))
            return fail("locked line " + std::to_string(r + 1) + " needs ten flags");
    }
    return side;
}

} // namespace velmora::analysis
