#include "log/computed_channels.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "lang/log_texts.h"

namespace velmora::log {

std::size_t recordedFieldCount(const LogData& data) {
    std::size_t n = 0;
    while (n < data.fields.size() && data.fields[n].expression.empty()) ++n;
    return n;
}

void dropComputedChannels(LogData& data) {
    const std::size_t n = recordedFieldCount(data);
    data.fields.resize(n);
    data.columns.resize(n);
}

namespace {

void append(LogData& data, const ComputedDefinition& def, const std::vector<double>& values) {
    LogField field;
    field.name = def.name;
    field.units = def.units;
    field.type = 7; // a single float, as recorded channels without a fixed scale are
    field.digits = std::clamp(def.digits, 0, 6);
    field.expression = def.text;
    constexpr double largest = std::numeric_limits<float>::max();
    Column column(values.size());
    // A value beyond a float's range would become infinite there: it is no value instead.
    for (std::size_t r = 0; r < values.size(); ++r)
        column[r] = std::abs(values[r]) <= largest ? static_cast<float>(values[r])
                                                   : std::numeric_limits<float>::quiet_NaN();
    data.fields.push_back(field);
    data.columns.push_back(column);
}

} // namespace

std::vector<ComputedOutcome> applyComputedChannels(LogData& data,
                                                   const std::vector<ComputedDefinition>& defs) {
    dropComputedChannels(data);
    std::vector<ComputedOutcome> out(defs.size());
    std::vector<std::size_t> pending; // by index into defs
    for (std::size_t i = 0; i < defs.size(); ++i) {
        const std::string& name = defs[i].name;
        const auto same = [&](const ComputedDefinition& d) { return d.name == name; };
        if (name.empty())
            out[i].problem = ComputedProblem::NoName;
        else if (data.fieldIndex(name) >= 0)
            out[i].problem = ComputedProblem::NameTaken;
        else if (std::any_of(defs.begin(), defs.begin() + static_cast<std::ptrdiff_t>(i), same))
            out[i].problem = ComputedProblem::NameTwice;
        else
            pending.push_back(i);
    }
    // Rounds: a channel goes in once every channel it reads is a field of the log, so each is
    // evaluated once and read by the others as a column.
    std::vector<ExpressionError> lastError(defs.size());
    for (bool progress = true; progress && !pending.empty();) {
        progress = false;
        // The channels not in the log yet, so that a reference to one is told from a missing
        // channel, and a circle or a reference to a bad one is named as such.
        std::vector<ComputedChannel> unapplied;
        for (std::size_t i = 0; i < defs.size(); ++i)
            if ((out[i].ok() || out[i].problem == ComputedProblem::Expression) &&
                data.fieldIndex(defs[i].name) < 0)
                unapplied.push_back({defs[i].name, defs[i].text});
        std::vector<std::size_t> waiting;
        for (const std::size_t i : pending) {
            const std::vector<std::string> names = channelNames(data);
            const CompileResult plain = compileExpression(defs[i].text, names);
            if (plain.ok()) {
                append(data, defs[i], evaluate(plain.expression, data));
                progress = true;
                continue;
            }
            if (plain.error.kind == ExpressionErrorKind::UnknownChannel) {
                const CompileResult full =
                    compileExpression(defs[i].text, names, unapplied, defs[i].name);
                const ExpressionErrorKind k = full.error.kind;
                // Read through the others in one piece it may be too large; in order it is not.
                if (full.ok() || k == ExpressionErrorKind::TooManyColumns ||
                    k == ExpressionErrorKind::TooDeep) {
                    lastError[i] = full.ok() ? plain.error : full.error;
                    waiting.push_back(i);
                    continue;
                }
                out[i] = {ComputedProblem::Expression, full.error};
                continue;
            }
            out[i] = {ComputedProblem::Expression, plain.error};
        }
        pending = std::move(waiting);
    }
    for (const std::size_t i : pending) out[i] = {ComputedProblem::Expression, lastError[i]};
    return out;
}

namespace {

// The text with %1 and %2 replaced in one pass, so that an argument holding "%2" stays as it is.
std::string format(std::string_view text, std::string_view a, std::string_view b = {}) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out += text[i + 1] == '1' ? a : b;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string said(lang::LogText id, std::uint8_t language) {
    return lang::logText(id, language);
}

} // namespace

std::string expressionErrorText(const ExpressionError& error, std::uint8_t language) {
    using lang::LogText;
    using Kind = ExpressionErrorKind;
    LogText id = LogText::ExprUnexpected;
    std::string detail = error.detail;
    switch (error.kind) {
    case Kind::None:
        return {};
    case Kind::Empty:
        id = LogText::ExprEmpty;
        break;
    case Kind::TooLong:
        id = LogText::ExprTooLong;
        detail = std::to_string(MaxExpressionLength);
        break;
    case Kind::TooDeep:
        id = LogText::ExprTooDeep;
        detail = std::to_string(MaxExpressionNesting);
        break;
    case Kind::TooManyColumns:
        id = LogText::ExprTooManyColumns;
        detail = std::to_string(MaxExpressionColumns);
        break;
    case Kind::UnexpectedCharacter:
        id = LogText::ExprUnexpectedCharacter;
        break;
    case Kind::UnclosedQuote:
        id = LogText::ExprUnclosedQuote;
        break;
    case Kind::BadNumber:
        id = LogText::ExprBadNumber;
        break;
    case Kind::UnexpectedEnd:
        id = LogText::ExprUnexpectedEnd;
        break;
    case Kind::Unexpected:
        id = LogText::ExprUnexpected;
        break;
    case Kind::UnclosedParenthesis:
        id = LogText::ExprUnclosedParenthesis;
        break;
    case Kind::UnmatchedParenthesis:
        id = LogText::ExprUnmatchedParenthesis;
        break;
    case Kind::UnknownChannel:
        id = LogText::ExprUnknownChannel;
        break;
    case Kind::UnknownFunction:
        id = LogText::ExprUnknownFunction;
        break;
    case Kind::ArgumentCount:
        id = LogText::ExprArgumentCount;
        break;
    case Kind::ExpectedDuration:
        id = LogText::ExprExpectedDuration;
        break;
    case Kind::BadWindow:
        id = LogText::ExprBadWindow;
        break;
    case Kind::DurationAsValue:
        id = LogText::ExprDurationAsValue;
        break;
    case Kind::SelfReference:
        id = LogText::ExprSelfReference;
        break;
    case Kind::Cycle:
        id = LogText::ExprCycle;
        break;
    case Kind::InComputedChannel:
        id = LogText::ExprInComputedChannel;
        break;
    }
    return format(said(LogText::ErrorAt, language), std::to_string(error.column),
                  format(said(id, language), detail));
}

std::string computedOutcomeText(const ComputedOutcome& outcome, const std::string& name,
                                std::uint8_t language) {
    switch (outcome.problem) {
    case ComputedProblem::None:
        return {};
    case ComputedProblem::NoName:
        return said(lang::LogText::ComputedNoName, language);
    case ComputedProblem::NameTaken:
        return format(said(lang::LogText::ComputedNameTaken, language), name);
    case ComputedProblem::NameTwice:
        return format(said(lang::LogText::ComputedNameTwice, language), name);
    case ComputedProblem::Expression:
        return expressionErrorText(outcome.error, language);
    }
    return {};
}

namespace {

bool needsEscape(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == '%' || c == '=' || c == ';' || c == '"';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::string escapeKept(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // The settings file trims the blanks around a value.
        const bool end = (i == 0 || i + 1 == text.size()) && c == ' ';
        if (needsEscape(c) || end) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string unescapeKept(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string keptDefinition(const ComputedDefinition& def) {
    return escapeKept(def.name) + ';' + escapeKept(def.units) + ';' +
           std::to_string(std::clamp(def.digits, 0, 6)) + ';' + escapeKept(def.text);
}

std::optional<ComputedDefinition> parseKeptDefinition(std::string_view line) {
    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        const std::size_t semicolon = line.find(';', from);
        parts.push_back(line.substr(from, semicolon - from));
        if (semicolon == std::string_view::npos) break;
        from = semicolon + 1;
    }
    if (parts.size() != 4) return std::nullopt;
    ComputedDefinition def;
    const auto r = std::from_chars(parts[2].data(), parts[2].data() + parts[2].size(), def.digits);
    if (r.ec != std::errc() || r.ptr != parts[2].data() + parts[2].size() || def.digits < 0 ||
        def.digits > 6)
        return std::nullopt;
    def.name = unescapeKept(parts[0]);
    def.units = unescapeKept(parts[1]);
    def.text = unescapeKept(parts[3]);
    if (def.name.empty()) return std::nullopt;
    return def;
}

namespace {

std::string channelKey(int i) {
    return "Channel" + std::to_string(i);
}

} // namespace

LogViewerSettings loadLogViewerSettings(const ProfileStore& store) {
    LogViewerSettings s;
    const int count =
        std::clamp(store.readInt(LogViewerSection, "Channels", 0), 0, MaxKeptChannels);
    for (int i = 1; i <= count; ++i)
        if (auto def = parseKeptDefinition(store.readString(LogViewerSection, channelKey(i), "")))
            s.computed.push_back(std::move(*def));
    s.filter = unescapeKept(store.readString(LogViewerSection, "Filter", ""));
    return s;
}

bool fitsKept(const LogViewerSettings& settings) {
    std::size_t size = escapeKept(settings.filter).size();
    for (const ComputedDefinition& d : settings.computed) size += keptDefinition(d).size();
    return size <= MaxKeptText &&
           settings.computed.size() <= static_cast<std::size_t>(MaxKeptChannels);
}

WriteResult saveLogViewerSettings(ProfileStore& store, const LogViewerSettings& settings) {
    if (!fitsKept(settings)) return {false, store.path(), "too long to keep", 0};
    const int before =
        std::clamp(store.readInt(LogViewerSection, "Channels", 0), 0, MaxKeptChannels);
    const int count = static_cast<int>(settings.computed.size());
    store.beginBatch();
    store.writeInt(LogViewerSection, "Channels", count);
    for (int i = 1; i <= std::max(count, before); ++i)
        store.writeString(LogViewerSection, channelKey(i),
                          i <= count
                              ? keptDefinition(settings.computed[static_cast<std::size_t>(i - 1)])
                              : std::string());
    store.writeString(LogViewerSection, "Filter", escapeKept(settings.filter));
    return store.commitBatch();
}

} // namespace velmora::log
