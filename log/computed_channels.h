// Channels computed from others, as the log viewer adds them to a log: each is appended to the
// log as a field of its own, so that it plots, exports and analyses like a recorded one, and
// they are kept as text between runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/profile_store.h"
#include "log/expression.h"
#include "log/mlg.h"

namespace velmora::log {

struct ComputedDefinition {
    std::string name, text, units;
    int digits = 2;
    bool operator==(const ComputedDefinition& o) const {
        return name == o.name && text == o.text && units == o.units && digits == o.digits;
    }
};

// Why a computed channel is left out of a log.
enum class ComputedProblem {
    None,
    NoName,     // its name is empty
    NameTaken,  // the log records a channel of that name
    NameTwice,  // an earlier computed channel has that name
    Expression, // its text does not compile against the log: see `error`
};

struct ComputedOutcome {
    ComputedProblem problem = ComputedProblem::None;
    ExpressionError error;
    bool ok() const { return problem == ComputedProblem::None; }
};

// How many fields the log had before computed channels were appended to it.
std::size_t recordedFieldCount(const LogData& data);
// Drops every computed field, leaving the log as it was read.
void dropComputedChannels(LogData& data);

// Replaces the log's computed channels by `definitions`. Each one whose text compiles against
// the recorded channels and the computed channels before it in dependency order is appended
// as a field (its `expression` holding the text) with a column of its values; the others are
// left out, which leaves the channels that do not read them untouched. One outcome per
// definition, in their order.
std::vector<ComputedOutcome> applyComputedChannels(LogData& data,
                                                   const std::vector<ComputedDefinition>& defs);

// What is wrong, in the user's language (0 Czech, 1 English, 2 German), worded from the kind
// and detail and headed by the column: "Column 7: no channel "RMP"".
std::string expressionErrorText(const ExpressionError& error, std::uint8_t language);
// Why the computed channel `name` is left out; empty when it is not.
std::string computedOutcomeText(const ComputedOutcome& outcome, const std::string& name,
                                std::uint8_t language);

// Most bytes and channels kept: the settings file stays far below its own limit.
constexpr std::size_t MaxKeptText = 256 * 1024;
constexpr int MaxKeptChannels = 256;

// One line, without '=', ';', '"', '%', blanks at its ends, control characters or line
// breaks; UTF-8 passes unchanged. unescapeKept undoes it.
std::string escapeKept(std::string_view text);
std::string unescapeKept(std::string_view text);
// "name;units;digits;text", each part escaped, and back; nullopt for a line that is not one.
std::string keptDefinition(const ComputedDefinition& def);
std::optional<ComputedDefinition> parseKeptDefinition(std::string_view line);

// What the log viewer keeps between windows and runs, in [LOG_VIEWER] of the settings file:
// Channels=<count>, Channel1..ChannelN each a kept definition, and Filter, escaped.
constexpr const char* LogViewerSection = "LOG_VIEWER";
struct LogViewerSettings {
    std::vector<ComputedDefinition> computed;
    std::string filter;
};
LogViewerSettings loadLogViewerSettings(const ProfileStore& store);
// Whether they stay within MaxKeptText and MaxKeptChannels; larger ones are not kept.
bool fitsKept(const LogViewerSettings& settings);
// Writes them at once as one change of the file; entries of channels removed since are emptied.
WriteResult saveLogViewerSettings(ProfileStore& store, const LogViewerSettings& settings);

} // namespace velmora::log
