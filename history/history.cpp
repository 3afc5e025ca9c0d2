#include "history/history.h"

#include "history/param_names.h"

namespace velmora {

std::string stepText(const Step& step, std::uint8_t language) {
    const StepName& n = step.name;
    if (n.param >= 0) return shortName(static_cast<Param>(n.param), step.after, language);
    std::string text = lang::historyText(n.command, language);
    const std::size_t at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(n.number));
    // The operand goes where the text has room for it, or after it (a file, a model).
    const std::size_t operand = text.find("%2");
    if (operand != std::string::npos)
        text.replace(operand, 2, n.extra);
    else if (!n.extra.empty())
        text += " " + n.extra;
    return text;
}

bool History::apply(StepName name, const Calibration& before, const Calibration& after) {
    if (sameSettings(before, after)) return false;
    undone_.clear();
    if (limit_ == 0) return false;
    if (done_.size() == limit_) done_.pop_front();
    done_.push_back({std::move(name), before, after});
    return true;
}

std::optional<Calibration> History::undo() {
    if (done_.empty()) return std::nullopt;
    undone_.push_back(std::move(done_.back()));
    done_.pop_back();
    return undone_.back().before;
}

std::optional<Calibration> History::redo() {
    if (undone_.empty()) return std::nullopt;
    done_.push_back(std::move(undone_.back()));
    undone_.pop_back();
    return done_.back().after;
}

} // namespace velmora
