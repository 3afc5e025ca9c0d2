// The expression language of computed channels and filters over a log: channel names as the
// log has them ("quoted" when they hold spaces), numbers with a '.', + - * / with the usual
// precedence, comparisons, && || !, ?:, time shifts (RPM@-0.5s), rate(x), mean(x, 0.5s),
// min(a, b), max(a, b) and abs(x). Text is compiled once against the log's channel names and
// then evaluated column by column over all records.
//
// A missing value is NaN and propagates, but for && and ||, which give 0 and 1 wherever one
// side alone decides. No result is infinite: division by zero, overflow and an infinite input
// are no value. A filter keeps a record whose value is non-zero and not NaN.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "log/mlg.h"

namespace velmora::log {

// Longer text is refused unread.
constexpr std::size_t MaxExpressionLength = 64 * 1024; // bytes
// Parentheses, function arguments and ?: branches nested deeper are refused, so that no text
// can exhaust the stack.
constexpr int MaxExpressionNesting = 256;
// Time shifts, rates, means and computed channels each hold a whole column while the
// expression is evaluated; more are refused.
constexpr int MaxExpressionColumns = 32;

// A channel computed from others; `text` may name recorded channels and other computed ones.
struct ComputedChannel {
    std::string name;
    std::string text;
};

enum class ExpressionErrorKind {
    None,
    Empty,
    TooLong,
    TooDeep,
    TooManyColumns,
    UnexpectedCharacter,  // detail: the character
    UnclosedQuote,        //
    BadNumber,            // detail: the number
    UnexpectedEnd,        //
    Unexpected,           // detail: what was found
    UnclosedParenthesis,  //
    UnmatchedParenthesis, //
    UnknownChannel,       // detail: the name
    UnknownFunction,      // detail: the name
    ArgumentCount,        // detail: the function
    ExpectedDuration,     //
    BadWindow,            //
    DurationAsValue,      //
    SelfReference,        // detail: the channel
    Cycle,                // detail: the channels in their circle, "A → B → A"
    InComputedChannel,    // detail: the computed channel whose own text has the error
};

struct ExpressionError {
    ExpressionErrorKind kind = ExpressionErrorKind::None;
    std::string message;    // one English sentence
    std::string detail;     // the name or text the message is about, to word it in any language
    std::size_t column = 0; // 1-based character (not byte) where it went wrong
};

struct ExpressionCode; // the compiled form, private to the evaluator

// A compiled expression; cheap to copy. A default one evaluates to no value everywhere.
class Expression {
public:
    // The recorded channels it reads, its computed channels' included.
    const std::vector<std::string>& channels() const;
    // The computed channels it reads, directly or through others.
    const std::vector<std::string>& computedChannels() const;

private:
    std::shared_ptr<const ExpressionCode> code_;
    friend struct ExpressionAccess;
};

struct CompileResult {
    Expression expression;
    ExpressionError error;
    bool ok() const { return error.kind == ExpressionErrorKind::None; }
};

// Compiles `text` against the recorded channels `channels` and the computed channels
// `computed`. `self` names the computed channel `text` defines (empty for a filter), so that
// a reference to it, directly or through others, is refused. Recorded channels take
// precedence over computed ones of the same name.
CompileResult compileExpression(std::string_view text, const std::vector<std::string>& channels,
                                const std::vector<ComputedChannel>& computed = {},
                                std::string_view self = {});

// The names of the log's fields, to compile against.
std::vector<std::string> channelNames(const LogData& data);

// One value per record of `data`. A channel the log does not have reads as no value.
std::vector<double> evaluate(const Expression& expression, const LogData& data);

// Whether a filter keeps a record with this value.
inline bool keepsRecord(double value) {
    return value != 0.0 && !std::isnan(value);
}
// 1 for each record the filter keeps, 0 for the others.
std::vector<std::uint8_t> filterRecords(const Expression& filter, const LogData& data);

} // namespace velmora::log
