#include "log/expression.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <map>
#include <utility>

namespace velmora::log {

namespace {

constexpr double NoValue = std::numeric_limits<double>::quiet_NaN();
// Records evaluated at a time: the working columns stay in the cache.
constexpr std::size_t Chunk = 4096;

enum class Op : std::uint8_t {
    Const,
    Channel, // a recorded channel, by its place in ExpressionCode::channels
    Column,  // a column worked out beforehand, by its place in ExpressionCode::columns
    Neg,
    Not,
    Abs,
    Add,
    Sub,
    Mul,
    Div,
    Lt,
    Le,
    Gt,
    Ge,
    Eq,
    Ne,
    And,
    Or,
    Min,
    Max,
    Cond
};

struct Instruction {
    Op op = Op::Const;
    double value = 0.0;
    std::size_t index = 0;
};

// Postfix: each instruction takes its operands from the top of a stack of columns.
using Code = std::vector<Instruction>;

// Operations that read other records than the one they give a value for: their operand is
// worked out over the whole log first.
enum class ColumnKind : std::uint8_t { Plain, Shift, Rate, Mean };

struct ColumnStep {
    ColumnKind kind = ColumnKind::Plain;
    double seconds = 0.0; // the shift or the window
    Code code;            // reads channels and earlier columns only
};

} // namespace

struct ExpressionCode {
    std::vector<std::string> channels;
    std::vector<std::string> computed;
    std::vector<ColumnStep> columns; // in the order they are worked out
    Code result;
};

struct ExpressionAccess {
    static const ExpressionCode* code(const Expression& e) { return e.code_.get(); }
    static void set(Expression& e, std::shared_ptr<const ExpressionCode> c) {
        e.code_ = std::move(c);
    }
};

const std::vector<std::string>& Expression::channels() const {
    static const std::vector<std::string> none;
    return code_ ? code_->channels : none;
}

const std::vector<std::string>& Expression::computedChannels() const {
    static const std::vector<std::string> none;
    return code_ ? code_->computed : none;
}

namespace {

// ---------------------------------------------------------------------------------------------
// Compiling

std::size_t characterColumn(std::string_view text, std::size_t byte) {
    std::size_t column = 1;
    for (std::size_t i = 0; i < byte && i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column;
    return column;
}

bool isNameStart(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u >= 0x80;
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A piece of text for a message: short, with control characters written out.
std::string shown(std::string_view s) {
    std::size_t limit = std::min<std::size_t>(s.size(), 24);
    while (limit < s.size() && limit > 0 && (static_cast<unsigned char>(s[limit]) & 0xC0) == 0x80)
        --limit; // never half a character
    std::string out;
    for (std::size_t i = 0; i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += s[i];
        }
    }
    if (limit < s.size()) out += "…";
    return out;
}

enum class Tok : std::uint8_t { End, Number, Name, Quoted, Punct };

struct Token {
    Tok kind = Tok::End;
    std::size_t pos = 0, end = 0; // bytes
    double value = 0.0;
    bool seconds = false; // a number written as a time, "0.5s"
    std::string name;
    std::string_view punct;
    bool is(std::string_view p) const { return kind == Tok::Punct && punct == p; }
};

struct Compiler {
    const std::vector<std::string>& recorded;
    const std::vector<ComputedChannel>& computed;
    ExpressionCode out;
    std::vector<std::string> active;            // computed channels being compiled, outer first
    std::map<std::string, std::size_t> done;    // computed channel -> its column
    std::map<std::string, std::size_t> channel; // recorded channel -> its place in out.channels
    int depth = 0;
};

class Parser {
public:
    Parser(Compiler& c, std::string_view text) : c_(c), text_(text) {}

    bool parseAll() {
        if (text_.size() > MaxExpressionLength)
            return fail(ExpressionErrorKind::TooLong, MaxExpressionLength,
                        "The expression is longer than " + std::to_string(MaxExpressionLength) +
                            " characters.");
        if (!next()) return false;
        if (tok_.kind == Tok::End)
            return fail(ExpressionErrorKind::Empty, 0, "The expression is empty.");
        if (!parseExpression()) return false;
        if (tok_.is(")"))
            return fail(ExpressionErrorKind::UnmatchedParenthesis, tok_.pos,
                        "This \")\" closes no \"(\".");
        if (tok_.kind != Tok::End)
            return fail(ExpressionErrorKind::Unexpected, tok_.pos,
                        "\"" + found() + "\" follows a complete expression.", found());
        return true;
    }

    Code& code() { return code_; }
    const ExpressionError& error() const { return error_; }

private:
    Compiler& c_;
    std::string_view text_;
    std::size_t pos_ = 0;
    Token tok_;
    Code code_;
    ExpressionError error_;

    bool fail(ExpressionErrorKind kind, std::size_t byte, std::string message,
              std::string detail = {}) {
        if (error_.kind == ExpressionErrorKind::None) {
            error_.kind = kind;
            error_.message = std::move(message);
            error_.detail = std::move(detail);
            error_.column = characterColumn(text_, byte);
        }
        return false;
    }

    std::string found() const { return shown(text_.substr(tok_.pos, tok_.end - tok_.pos)); }

    // Reads the next token into tok_.
    bool next() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\r' || text_[pos_] == '\n'))
            ++pos_;
        tok_ = Token{};
        tok_.pos = pos_;
        if (pos_ >= text_.size()) {
            tok_.end = pos_;
            return true;
        }
        const char ch = text_[pos_];
        const auto at = [&](std::size_t i) { return i < text_.size() ? text_[i] : '\0'; };
        if (isDigit(ch) || (ch == '.' && isDigit(at(pos_ + 1)))) return number();
        if (isNameStart(ch)) {
            std::size_t e = pos_;
            while (e < text_.size() && isNameChar(text_[e])) ++e;
            tok_.kind = Tok::Name;
            tok_.name = std::string(text_.substr(pos_, e - pos_));
            tok_.end = pos_ = e;
            return true;
        }
        if (ch == '"') {
            std::size_t e = pos_ + 1;
            std::string name;
            while (e < text_.size() && text_[e] != '"') {
                if (text_[e] == '\\' && e + 1 < text_.size()) ++e;
                name += text_[e++];
            }
            if (e >= text_.size())
                return fail(ExpressionErrorKind::UnclosedQuote, pos_,
                            "The quoted name has no closing \".");
            tok_.kind = Tok::Quoted;
            tok_.name = std::move(name);
            tok_.end = pos_ = e + 1;
            return true;
        }
        static constexpr std::string_view two[] = {"<=", ">=", "==", "!=", "&&", "||"};
        for (std::string_view p : two)
            if (text_.substr(pos_, 2) == p) return punct(p);
        static constexpr std::string_view one = "+-*/<>!?:(),@";
        const std::size_t k = one.find(ch);
        if (k != std::string_view::npos) return punct(one.substr(k, 1));
        if (ch == '=' || ch == '&' || ch == '|') {
            const std::string twice(2, ch);
            return fail(ExpressionErrorKind::Unexpected, pos_,
                        "A single \"" + std::string(1, ch) + "\": write \"" + twice + "\".",
                        std::string(1, ch));
        }
        std::size_t e = pos_ + 1; // the whole character, for the message
        while (e < text_.size() && (static_cast<unsigned char>(text_[e]) & 0xC0) == 0x80) ++e;
        const std::string what = shown(text_.substr(pos_, e - pos_));
        return fail(ExpressionErrorKind::UnexpectedCharacter, pos_,
                    "The character \"" + what + "\" has no meaning here.", what);
    }

    bool punct(std::string_view p) {
        tok_.kind = Tok::Punct;
        tok_.punct = p;
        tok_.end = pos_ = pos_ + p.size();
        return true;
    }

    // Digits with an optional '.' and exponent, read the same in every locale; an 's' right
    // after makes it a time in seconds.
    bool number() {
        std::size_t e = pos_;
        while (e < text_.size() && isDigit(text_[e])) ++e;
        if (e < text_.size() && text_[e] == '.') {
            ++e;
            while (e < text_.size() && isDigit(text_[e])) ++e;
        }
        if (e < text_.size() && (text_[e] == 'e' || text_[e] == 'E')) {
            std::size_t x = e + 1;
            if (x < text_.size() && (text_[x] == '+' || text_[x] == '-')) ++x;
            if (x < text_.size() && isDigit(text_[x])) {
                e = x;
                while (e < text_.size() && isDigit(text_[e])) ++e;
            }
        }
        const std::string_view digits = text_.substr(pos_, e - pos_);
        double v = 0.0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || !std::isfinite(v))
            return fail(ExpressionErrorKind::BadNumber, pos_,
                        "The number " + shown(digits) + " is out of range.", shown(digits));
        tok_.kind = Tok::Number;
        tok_.value = v;
        if (e < text_.size() && text_[e] == 's' &&
            !(e + 1 < text_.size() && isNameChar(text_[e + 1]))) {
            tok_.seconds = true;
            ++e;
        } else if (e < text_.size() && (isNameChar(text_[e]) || text_[e] == '.')) {
            return fail(ExpressionErrorKind::Unexpected, e,
                        "A number cannot run on into \"" + shown(text_.substr(e, 1)) + "\".",
                        shown(text_.substr(e, 1)));
        }
        tok_.end = pos_ = e;
        return true;
    }

    void emit(Op op, double value = 0.0, std::size_t index = 0) {
        code_.push_back(Instruction{op, value, index});
    }

    // Moves the code from `start` on into a column of its own and reads that column instead.
    bool toColumn(std::size_t start, ColumnKind kind, double seconds, std::size_t at) {
        ColumnStep step;
        step.kind = kind;
        step.seconds = seconds;
        step.code.assign(code_.begin() + static_cast<std::ptrdiff_t>(start), code_.end());
        code_.resize(start);
        std::size_t id = 0;
        if (!addColumn(std::move(step), at, id)) return false;
        emit(Op::Column, 0.0, id);
        return true;
    }

    bool addColumn(ColumnStep step, std::size_t at, std::size_t& id) {
        if (c_.out.columns.size() >= static_cast<std::size_t>(MaxExpressionColumns))
            return fail(ExpressionErrorKind::TooManyColumns, at,
                        "The expression holds more than " + std::to_string(MaxExpressionColumns) +
                            " time shifts, rates, means and computed channels.");
        id = c_.out.columns.size();
        c_.out.columns.push_back(std::move(step));
        return true;
    }

    bool expect(std::string_view p, ExpressionErrorKind kind, const std::string& message) {
        if (!tok_.is(p)) {
            if (tok_.kind == Tok::End || kind != ExpressionErrorKind::UnclosedParenthesis)
                return fail(kind, tok_.pos, message);
            return fail(kind, tok_.pos, message + " Found \"" + found() + "\".", found());
        }
        return next();
    }

    // ?: binds loosest and groups to the right.
    bool parseExpression() {
        struct Level {
            int& depth;
            explicit Level(int& d) : depth(d) { ++depth; }
            ~Level() { --depth; }
        } level(c_.depth);
        if (c_.depth > MaxExpressionNesting)
            return fail(ExpressionErrorKind::TooDeep, tok_.pos,
                        "The expression is nested more than " +
                            std::to_string(MaxExpressionNesting) + " levels deep.");
        if (!parseBinary()) return false;
        if (!tok_.is("?")) return true;
        const std::size_t question = tok_.pos;
        if (!next() || !parseExpression()) return false;
        if (!tok_.is(":"))
            return fail(tok_.kind == Tok::End ? ExpressionErrorKind::UnexpectedEnd
                                              : ExpressionErrorKind::Unexpected,
                        tok_.pos,
                        "The \"?\" at column " + std::to_string(characterColumn(text_, question)) +
                            " has no \":\".",
                        found());
        if (!next() || !parseExpression()) return false;
        emit(Op::Cond);
        return true;
    }

    static bool binaryOp(const Token& t, Op& op, int& precedence) {
        static const struct {
            std::string_view text;
            Op op;
            int precedence;
        } table[] = {{"||", Op::Or, 1}, {"&&", Op::And, 2}, {"==", Op::Eq, 3}, {"!=", Op::Ne, 3},
                     {"<", Op::Lt, 4},  {"<=", Op::Le, 4},  {">", Op::Gt, 4},  {">=", Op::Ge, 4},
                     {"+", Op::Add, 5}, {"-", Op::Sub, 5},  {"*", Op::Mul, 6}, {"/", Op::Div, 6}};
        if (t.kind != Tok::Punct) return false;
        for (const auto& e : table)
            if (e.text == t.punct) {
                op = e.op;
                precedence = e.precedence;
                return true;
            }
        return false;
    }

    // Binary operators by precedence, all grouping to the left; a stack of pending operators
    // instead of recursion, so that long chains cost no stack.
    bool parseBinary() {
        struct Pending {
            Op op;
            int precedence;
        };
        std::vector<Pending> pending;
        if (!parseUnary()) return false;
        Op op{};
        int precedence = 0;
        while (binaryOp(tok_, op, precedence)) {
            while (!pending.empty() && pending.back().precedence >= precedence) {
                emit(pending.back().op);
                pending.pop_back();
            }
            pending.push_back({op, precedence});
            if (!next() || !parseUnary()) return false;
        }
        for (auto p = pending.rbegin(); p != pending.rend(); ++p) emit(p->op);
        return true;
    }

    bool parseUnary() {
        std::vector<Op> prefix;
        while (tok_.is("-") || tok_.is("!") || tok_.is("+")) {
            if (!tok_.is("+")) prefix.push_back(tok_.is("-") ? Op::Neg : Op::Not);
            if (!next()) return false;
        }
        if (!parsePostfix()) return false;
        for (auto p = prefix.rbegin(); p != prefix.rend(); ++p) emit(*p);
        return true;
    }

    // A value with its time shifts: RPM@-0.5s, (RPM - 1000)@+1s.
    bool parsePostfix() {
        const std::size_t start = code_.size();
        if (!parsePrimary()) return false;
        while (tok_.is("@")) {
            const std::size_t at = tok_.pos;
            if (!next()) return false;
            double sign = 1.0;
            if (tok_.is("-") || tok_.is("+")) {
                if (tok_.is("-")) sign = -1.0;
                if (!next()) return false;
            }
            if (tok_.kind != Tok::Number || !tok_.seconds)
                return fail(ExpressionErrorKind::ExpectedDuration, tok_.pos,
                            "A time shift is written in seconds, such as @-0.5s.");
            const double seconds = sign * tok_.value;
            if (!next() || !toColumn(start, ColumnKind::Shift, seconds, at)) return false;
        }
        return true;
    }

    bool parsePrimary() {
        switch (tok_.kind) {
        case Tok::End:
            return fail(ExpressionErrorKind::UnexpectedEnd, tok_.pos,
                        "The expression ends where a value should follow.");
        case Tok::Number:
            if (tok_.seconds)
                return fail(ExpressionErrorKind::DurationAsValue, tok_.pos,
                            "A time in seconds (\"" + found() +
                                "\") belongs after @ or in mean(), not in a calculation.",
                            found());
            emit(Op::Const, tok_.value);
            return next();
        case Tok::Quoted: {
            const std::string name = tok_.name;
            const std::size_t at = tok_.pos;
            return next() && reference(name, at);
        }
        case Tok::Name: {
            const std::string name = tok_.name;
            const std::size_t at = tok_.pos;
            if (!next()) return false;
            if (tok_.is("(")) return call(name, at);
            return reference(name, at);
        }
        case Tok::Punct:
            break;
        }
        if (tok_.is("(")) {
            const std::size_t open = tok_.pos;
            if (!next() || !parseExpression()) return false;
            return expect(")", ExpressionErrorKind::UnclosedParenthesis,
                          "The \"(\" at column " + std::to_string(characterColumn(text_, open)) +
                              " is not closed.");
        }
        return fail(ExpressionErrorKind::Unexpected, tok_.pos,
                    "A value should stand where \"" + found() + "\" is.", found());
    }

    bool call(const std::string& name, std::size_t at) {
        int arguments = 0;
        if (name == "abs" || name == "rate")
            arguments = 1;
        else if (name == "min" || name == "max" || name == "mean")
            arguments = 2;
        else
            return fail(ExpressionErrorKind::UnknownFunction, at,
                        "There is no function \"" + shown(name) +
                            "\"; there are rate, mean, min, max and abs.",
                        shown(name));
        const std::string usage =
            name == "mean"   ? "mean takes a value and a time window, such as mean(RPM, 0.5s)."
            : arguments == 1 ? name + " takes one value."
                             : name + " takes two values.";
        const std::string unclosed = "The \"(\" of " + name + " at column " +
                                     std::to_string(characterColumn(text_, at)) + " is not closed.";
        if (!next()) return false;
        if (tok_.is(")")) return fail(ExpressionErrorKind::ArgumentCount, tok_.pos, usage, name);
        const std::size_t start = code_.size();
        if (!parseExpression()) return false;
        if (arguments == 2) {
            if (!tok_.is(","))
                return fail(tok_.kind == Tok::End ? ExpressionErrorKind::UnclosedParenthesis
                                                  : ExpressionErrorKind::ArgumentCount,
                            tok_.pos, tok_.kind == Tok::End ? unclosed : usage, name);
            if (!next()) return false;
            if (name == "mean") {
                if (tok_.kind != Tok::Number || !tok_.seconds)
                    return fail(ExpressionErrorKind::ExpectedDuration, tok_.pos,
                                "The window of mean is written in seconds, such as 0.5s.");
                const double window = tok_.value;
                if (!(window > 0.0))
                    return fail(ExpressionErrorKind::BadWindow, tok_.pos,
                                "The window of mean must be longer than 0 s.");
                if (!next()) return false;
                if (!closeCall(unclosed, usage, name)) return false;
                return toColumn(start, ColumnKind::Mean, window, at);
            }
            if (!parseExpression()) return false;
        }
        if (!closeCall(unclosed, usage, name)) return false;
        if (name == "rate") return toColumn(start, ColumnKind::Rate, 0.0, at);
        emit(name == "abs" ? Op::Abs : name == "min" ? Op::Min : Op::Max);
        return true;
    }

    bool closeCall(const std::string& unclosed, const std::string& usage, const std::string& name) {
        if (tok_.is(")")) return next();
        if (tok_.is(",")) return fail(ExpressionErrorKind::ArgumentCount, tok_.pos, usage, name);
        return fail(ExpressionErrorKind::UnclosedParenthesis, tok_.pos, unclosed);
    }

    bool reference(const std::string& name, std::size_t at) {
        const auto known = c_.channel.find(name);
        if (known != c_.channel.end()) {
            emit(Op::Channel, 0.0, known->second);
            return true;
        }
        if (std::find(c_.recorded.begin(), c_.recorded.end(), name) != c_.recorded.end()) {
            c_.channel.emplace(name, c_.out.channels.size());
            emit(Op::Channel, 0.0, c_.out.channels.size());
            c_.out.channels.push_back(name);
            return true;
        }
        const auto active = std::find(c_.active.begin(), c_.active.end(), name);
        if (active != c_.active.end()) {
            if (active + 1 == c_.active.end())
                return fail(ExpressionErrorKind::SelfReference, at,
                            "The channel \"" + shown(name) + "\" refers to itself.", shown(name));
            std::string circle;
            for (auto a = active; a != c_.active.end(); ++a) circle += *a + " → ";
            circle += name;
            return fail(ExpressionErrorKind::Cycle, at,
                        "The computed channels refer to each other in a circle: " + shown(circle) +
                            ".",
                        circle);
        }
        const auto done = c_.done.find(name);
        if (done != c_.done.end()) {
            emit(Op::Column, 0.0, done->second);
            return true;
        }
        const auto def = std::find_if(c_.computed.begin(), c_.computed.end(),
                                      [&](const ComputedChannel& cc) { return cc.name == name; });
        if (def == c_.computed.end())
            return fail(ExpressionErrorKind::UnknownChannel, at,
                        "There is no channel \"" + shown(name) + "\".", shown(name));

        c_.active.push_back(name);
        Parser inner(c_, def->text);
        const bool ok = inner.parseAll();
        c_.active.pop_back();
        if (!ok) {
            const ExpressionError& e = inner.error();
            if (e.kind == ExpressionErrorKind::SelfReference ||
                e.kind == ExpressionErrorKind::Cycle || e.kind == ExpressionErrorKind::TooDeep ||
                e.kind == ExpressionErrorKind::TooManyColumns)
                return fail(e.kind, at, e.message, e.detail);
            return fail(ExpressionErrorKind::InComputedChannel, at,
                        "The computed channel \"" + shown(name) + "\" has an error at column " +
                            std::to_string(e.column) + " of its expression: " + e.message,
                        shown(name));
        }
        ColumnStep step;
        step.code = std::move(inner.code());
        std::size_t id = 0;
        if (!addColumn(std::move(step), at, id)) return false;
        c_.done.emplace(name, id);
        c_.out.computed.push_back(name);
        emit(Op::Column, 0.0, id);
        return true;
    }
};

// ---------------------------------------------------------------------------------------------
// Evaluating

double clean(double v) {
    return std::isfinite(v) ? v : NoValue;
}

template <class F> void unary(double* a, std::size_t n, F f) {
    for (std::size_t k = 0; k < n; ++k) a[k] = f(a[k]);
}
template <class F> void binary(double* a, const double* b, std::size_t n, F f) {
    for (std::size_t k = 0; k < n; ++k) a[k] = f(a[k], b[k]);
}
template <class F> void compare(double* a, const double* b, std::size_t n, F f) {
    for (std::size_t k = 0; k < n; ++k)
        a[k] = std::isnan(a[k]) || std::isnan(b[k]) ? NoValue : f(a[k], b[k]) ? 1.0 : 0.0;
}

class Evaluator {
public:
    Evaluator(const ExpressionCode& code, const LogData& data)
        : code_(code), data_(data), n_(data.records()) {
        for (const std::string& name : code.channels) channels_.push_back(data.fieldIndex(name));
    }

    std::vector<double> run() {
        // Each column is dropped once the last step that reads it is done.
        std::vector<std::size_t> lastUse(code_.columns.size(), 0);
        const auto note = [&](const Code& c, std::size_t step) {
            for (const Instruction& i : c)
                if (i.op == Op::Column) lastUse[i.index] = step;
        };
        for (std::size_t s = 0; s < code_.columns.size(); ++s) note(code_.columns[s].code, s);
        note(code_.result, code_.columns.size());

        columns_.resize(code_.columns.size());
        for (std::size_t s = 0; s < code_.columns.size(); ++s) {
            const ColumnStep& step = code_.columns[s];
            std::vector<double> operand(n_);
            program(step.code, operand.data());
            switch (step.kind) {
            case ColumnKind::Plain:
                columns_[s] = std::move(operand);
                break;
            case ColumnKind::Shift:
                columns_[s] = shift(operand, step.seconds);
                break;
            case ColumnKind::Rate:
                columns_[s] = rate(operand);
                break;
            case ColumnKind::Mean:
                columns_[s] = mean(operand, step.seconds);
                break;
            }
            for (std::size_t d = 0; d < s; ++d)
                if (lastUse[d] == s) std::vector<double>().swap(columns_[d]);
        }
        std::vector<double> result(n_);
        program(code_.result, result.data());
        return result;
    }

private:
    const ExpressionCode& code_;
    const LogData& data_;
    std::size_t n_;
    std::vector<int> channels_;
    std::vector<std::vector<double>> columns_;
    std::vector<std::vector<double>> stack_;

    double* slot(std::size_t i) {
        while (stack_.size() <= i) stack_.emplace_back(Chunk);
        return stack_[i].data();
    }

    void program(const Code& code, double* out) {
        for (std::size_t from = 0; from < n_; from += Chunk)
            chunk(code, from, std::min(Chunk, n_ - from), out + from);
    }

    void load(std::size_t channel, std::size_t from, std::size_t n, double* r) {
        const int field = channels_[channel];
        if (field >= 0 && field == data_.timeField && data_.time.size() >= from + n) {
            std::copy(data_.time.begin() + static_cast<std::ptrdiff_t>(from),
                      data_.time.begin() + static_cast<std::ptrdiff_t>(from + n), r);
            return;
        }
        const Column* c = field >= 0 && static_cast<std::size_t>(field) < data_.columns.size()
                              ? &data_.columns[static_cast<std::size_t>(field)]
                              : nullptr;
        const std::size_t have = c && c->size() > from ? std::min(n, c->size() - from) : 0;
        for (std::size_t k = 0; k < have; ++k) r[k] = clean((*c)[from + k]);
        std::fill(r + have, r + n, NoValue);
    }

    void chunk(const Code& code, std::size_t from, std::size_t n, double* out) {
        std::size_t sp = 0;
        for (const Instruction& in : code) {
            switch (in.op) {
            case Op::Const:
                std::fill(slot(sp), slot(sp) + n, in.value);
                ++sp;
                continue;
            case Op::Channel:
                load(in.index, from, n, slot(sp++));
                continue;
            case Op::Column: {
                const std::vector<double>& c = columns_[in.index];
                std::copy(c.begin() + static_cast<std::ptrdiff_t>(from),
                          c.begin() + static_cast<std::ptrdiff_t>(from + n), slot(sp++));
                continue;
            }
            case Op::Neg:
                unary(slot(sp - 1), n, [](double x) { return -x; });
                continue;
            case Op::Not:
                unary(slot(sp - 1), n, [](double x) {
                    return std::isnan(x) ? NoValue : x == 0.0 ? 1.0 : 0.0;
                });
                continue;
            case Op::Abs:
                unary(slot(sp - 1), n, [](double x) { return std::fabs(x); });
                continue;
            case Op::Cond: {
                double* c = slot(sp - 3);
                const double* a = slot(sp - 2);
                const double* b = slot(sp - 1);
                for (std::size_t k = 0; k < n; ++k)
                    c[k] = std::isnan(c[k]) ? NoValue : c[k] != 0.0 ? a[k] : b[k];
                sp -= 2;
                continue;
            }
            default:
                break;
            }
            double* a = slot(sp - 2);
            const double* b = slot(sp - 1);
            --sp;
            switch (in.op) {
            case Op::Add:
                binary(a, b, n, [](double x, double y) { return clean(x + y); });
                break;
            case Op::Sub:
                binary(a, b, n, [](double x, double y) { return clean(x - y); });
                break;
            case Op::Mul:
                binary(a, b, n, [](double x, double y) { return clean(x * y); });
                break;
            case Op::Div:
                binary(a, b, n,
                       [](double x, double y) { return y == 0.0 ? NoValue : clean(x / y); });
                break;
            case Op::Lt:
                compare(a, b, n, [](double x, double y) { return x < y; });
                break;
            case Op::Le:
                compare(a, b, n, [](double x, double y) { return x <= y; });
                break;
            case Op::Gt:
                compare(a, b, n, [](double x, double y) { return x > y; });
                break;
            case Op::Ge:
                compare(a, b, n, [](double x, double y) { return x >= y; });
                break;
            case Op::Eq:
                compare(a, b, n, [](double x, double y) { return x == y; });
                break;
            case Op::Ne:
                compare(a, b, n, [](double x, double y) { return x != y; });
                break;
            case Op::And: // false wherever one side is false, even when the other has no value
                binary(a, b, n, [](double x, double y) {
                    return x == 0.0 || y == 0.0             ? 0.0
                           : std::isnan(x) || std::isnan(y) ? NoValue
                                                            : 1.0;
                });
                break;
            case Op::Or: // true wherever one side is true, even when the other has no value
                binary(a, b, n, [](double x, double y) {
                    return keepsRecord(x) || keepsRecord(y) ? 1.0
                           : std::isnan(x) || std::isnan(y) ? NoValue
                                                            : 0.0;
                });
                break;
            case Op::Min:
                binary(a, b, n, [](double x, double y) {
                    return std::isnan(x) || std::isnan(y) ? NoValue : std::min(x, y);
                });
                break;
            case Op::Max:
                binary(a, b, n, [](double x, double y) {
                    return std::isnan(x) || std::isnan(y) ? NoValue : std::max(x, y);
                });
                break;
            default:
                break;
            }
        }
        std::copy(slot(0), slot(0) + n, out);
    }

    // The value `seconds` later (earlier when negative), between records along a straight
    // line; none outside the log. The index only moves forward while the times do.
    std::vector<double> shift(const std::vector<double>& a, double seconds) const {
        const TimeColumn& t = data_.time;
        std::vector<double> out(n_, NoValue);
        if (t.size() < n_ || n_ == 0) return out;
        std::size_t j = 0;
        for (std::size_t i = 0; i < n_; ++i) {
            const double at = t[i] + seconds;
            if (!(at >= t[0] && at <= t[n_ - 1])) continue;
            while (j + 1 < n_ && t[j + 1] <= at) ++j;
            while (j > 0 && t[j] > at) --j;
            if (t[j] == at) {
                out[i] = a[j];
            } else if (j + 1 < n_ && t[j] < at && t[j + 1] > at) {
                const double f = (at - t[j]) / (t[j + 1] - t[j]);
                out[i] = clean(a[j] + f * (a[j + 1] - a[j]));
            }
        }
        return out;
    }

    // Change per second between the neighbouring records (one side at either end).
    std::vector<double> rate(const std::vector<double>& a) const {
        const TimeColumn& t = data_.time;
        std::vector<double> out(n_, NoValue);
        if (t.size() < n_) return out;
        for (std::size_t i = 0; i < n_; ++i) {
            const std::size_t lo = i > 0 ? i - 1 : i;
            const std::size_t hi = i + 1 < n_ ? i + 1 : i;
            const double dt = t[hi] - t[lo];
            if (dt > 0.0) out[i] = clean((a[hi] - a[lo]) / dt);
        }
        return out;
    }

    // Mean of the values of the records no more than `window` seconds before each one, itself
    // included; records without a value are left out. A running sum, compensated so that a
    // huge value leaving the window leaves no trace.
    std::vector<double> mean(const std::vector<double>& a, double window) const {
        const TimeColumn& t = data_.time;
        std::vector<double> out(n_, NoValue);
        if (t.size() < n_) return out;
        long double sum = 0.0L, compensation = 0.0L;
        std::size_t count = 0, lo = 0;
        const auto add = [&](long double x) {
            const long double s = sum + x;
            compensation += std::fabs(sum) >= std::fabs(x) ? (sum - s) + x : (x - s) + sum;
            sum = s;
        };
        for (std::size_t i = 0; i < n_; ++i) {
            if (!std::isnan(a[i])) {
                add(a[i]);
                ++count;
            }
            while (lo < i && t[lo] < t[i] - window) {
                if (!std::isnan(a[lo])) {
                    add(-static_cast<long double>(a[lo]));
                    --count;
                }
                ++lo;
            }
            if (count == 0) {
                sum = compensation = 0.0L;
                continue;
            }
            out[i] = clean(static_cast<double>((sum + compensation) / count));
        }
        return out;
    }
};

} // namespace

CompileResult compileExpression(std::string_view text, const std::vector<std::string>& channels,
                                const std::vector<ComputedChannel>& computed,
                                std::string_view self) {
    Compiler compiler{channels, computed, {}, {}, {}, {}, 0};
    if (!self.empty()) compiler.active.emplace_back(self);
    Parser parser(compiler, text);
    CompileResult result;
    if (!parser.parseAll()) {
        result.error = parser.error();
        return result;
    }
    compiler.out.result = std::move(parser.code());
    ExpressionAccess::set(result.expression,
                          std::make_shared<const ExpressionCode>(std::move(compiler.out)));
    return result;
}

std::vector<std::string> channelNames(const LogData& data) {
    std::vector<std::string> names;
    names.reserve(data.fields.size());
    for (const LogField& f : data.fields) names.push_back(f.name);
    return names;
}

std::vector<double> evaluate(const Expression& expression, const LogData& data) {
    const ExpressionCode* code = ExpressionAccess::code(expression);
    if (!code) return std::vector<double>(data.records(), NoValue);
    return Evaluator(*code, data).run();
}

std::vector<std::uint8_t> filterRecords(const Expression& filter, const LogData& data) {
    const std::vector<double> values = evaluate(filter, data);
    std::vector<std::uint8_t> keep(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) keep[i] = keepsRecord(values[i]) ? 1 : 0;
    return keep;
}

} // namespace velmora::log
