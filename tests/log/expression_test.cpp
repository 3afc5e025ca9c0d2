// Expressions of computed channels and filters against a crafted log of eleven records a
// quarter second apart: values, the errors and the columns they name, and a day of records.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "log/expression.h"

using namespace velmora::log;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Record i at 0.25 i s: RPM a ramp of 1600 rpm/s, Advance falling through 0, Lambda with no
// reading at record 3, constant channels whose names need quotes or are not ASCII.
LogData craftedLog() {
    LogData d;
    for (const char* name : {"Time", "RPM", "Advance", "Lambda", "Batt V", "O2 mV", "λ"}) {
        LogField f;
        f.name = name;
        d.fields.push_back(f);
    }
    d.timeField = 0;
    d.columns.resize(d.fields.size());
    for (int i = 0; i <= 10; ++i) {
        d.time.push_back(0.25 * i);
        const float row[] = {0.25f * static_cast<float>(i),
                             1000.0f + 400.0f * static_cast<float>(i),
                             10.0f - 3.0f * static_cast<float>(i),
                             i == 3 ? std::numeric_limits<float>::quiet_NaN()
                                    : 0.5f + 0.125f * static_cast<float>(i),
                             13.5f,
                             450.0f,
                             2.0f};
        for (std::size_t c = 0; c < d.columns.size(); ++c) d.columns[c].push_back(row[c]);
    }
    return d;
}

const std::vector<ComputedChannel> computed = {{"Load", "RPM * 2"},  {"Later", "Load@0.25s + 1"},
                                               {"A", "B * 2"},       {"B", "A + 1"},
                                               {"Self", "Self + 1"}, {"Bad", "RPM +"}};

struct ValueCase {
    std::string text;
    std::size_t record;
    double expected; // NaN: no value
};

TEST(Expression, ValuesOverACraftedLog) {
    // Numbers must read the same under a decimal comma.
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const LogData log = craftedLog();
    const std::vector<ValueCase> cases = {
        // precedence and grouping
        {"1+2*3", 0, 7},
        {"(1+2)*3", 0, 9},
        {"2-3-4", 0, -5},
        {"8/4/2", 0, 1},
        {"-2*3+10", 0, 4},
        {"2*-3", 0, -6},
        {"- -2", 0, 2},
        {"!0 + 1", 0, 2},
        {"1 + 2 < 4 == 1", 0, 1},
        {"0 == 1 < 2", 0, 0},
        {"1 || 1 && 0", 0, 1},
        {std::string(60000, '-') + "1", 0, 1},
        {".5 + 0.25", 0, 0.75},
        {"1.5e3", 0, 1500},
        {" RPM\t>\n2000 ", 2, 0},
        // comparisons, logic, ?:
        {"2 < 3", 0, 1},
        {"3 >= 3", 0, 1},
        {"3 > 3", 0, 0},
        {"2 <= 1", 0, 0},
        {"2 != 2", 0, 0},
        {"1 ? 2 : 3", 0, 2},
        {"0 ? 2 : 0 ? 3 : 4", 0, 4},
        {"1 ? 0 ? 5 : 6 : 7", 0, 6},
        {"0 ? 1 : 2 + 3", 0, 5},
        // channels, quoted names, the full-precision time, computed channels
        {"RPM", 2, 1800},
        {"\"Batt V\" * 2", 0, 27},
        {"\"O2 mV\" - 50", 0, 400},
        {"λ * λ", 0, 4},
        {"Time", 10, 2.5},
        {"Load + Load", 1, 5600},
        {"Later", 1, 3601},
        // time shifts: on records, between them, outside the log
        {"RPM@-0.5s", 4, 1800},
        {"RPM@-0.1s", 4, 2440},
        {"RPM @ -0.5s", 1, NaN},
        {"RPM@+0.25s", 9, 5000},
        {"RPM@0.25s", 10, NaN},
        {"(RPM - 1000)@-0.25s", 1, 0},
        {"RPM@-0.25s@-0.25s", 2, 1000},
        // rate from both neighbours, one at the ends; trailing mean with both ends included
        {"rate(RPM)", 0, 1600},
        {"rate(RPM)", 5, 1600},
        {"rate(RPM)", 10, 1600},
        {"rate(Time * Time)", 4, 2},
        {"mean(RPM, 0.5s)", 4, 2200},
        {"mean(RPM, 0.5s)", 0, 1000},
        {"mean(RPM, 0.3s)", 4, 2400},
        {"mean(Lambda, 0.5s)", 4, 0.875},
        {"min(Advance, 0)", 5, -5},
        {"max(Advance, 0)", 5, 0},
        {"abs(Advance)", 5, 5},
        // no value: propagates, but for && and || where one side decides
        {"Lambda", 3, NaN},
        {"Lambda + 1", 3, NaN},
        {"Lambda < 2", 3, NaN},
        {"!Lambda", 3, NaN},
        {"Lambda ? 1 : 2", 3, NaN},
        {"max(Lambda, 0)", 3, NaN},
        {"Lambda < 2 || 1", 3, 1},
        {"Lambda < 2 && 0", 3, 0},
        {"Lambda < 2 && 1", 3, NaN},
        {"Lambda@-0.1s", 4, NaN},
        {"Lambda@-0.5s", 4, 0.75},
        // never infinite
        {"1/0", 0, NaN},
        {"0/0", 0, NaN},
        {"RPM/(Advance-Advance)", 0, NaN},
        {"1e308*10", 0, NaN},
        {"-1/0 < 0", 0, NaN},
    };
    for (const ValueCase& c : cases) {
        const std::string label = c.text.substr(0, 40) + " @" + std::to_string(c.record);
        const CompileResult r = compileExpression(c.text, channelNames(log), computed);
        ASSERT_TRUE(r.ok()) << label << ": " << r.error.message;
        const std::vector<double> v = evaluate(r.expression, log);
        ASSERT_EQ(v.size(), log.records()) << label;
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(v[c.record])) << label << " gives " << v[c.record];
        else
            EXPECT_NEAR(v[c.record], c.expected, 1e-9 * std::max(1.0, std::fabs(c.expected)))
                << label;
    }

    const CompileResult filter = compileExpression("Lambda > 1 || RPM < 1500", channelNames(log));
    ASSERT_TRUE(filter.ok());
    EXPECT_EQ(filterRecords(filter.expression, log),
              (std::vector<std::uint8_t>{1, 1, 0, 0, 0, 1, 1, 1, 1, 1, 1}));
    std::setlocale(LC_NUMERIC, before.c_str());
}

struct ErrorCase {
    std::string text;
    std::string self;
    ExpressionErrorKind kind;
    std::size_t column;
    std::string mentions;
};

TEST(Expression, ErrorsNameTheirColumn) {
    using K = ExpressionErrorKind;
    std::string manyColumns;
    for (int i = 0; i <= MaxExpressionColumns; ++i) manyColumns += "rate(RPM)+";
    const std::vector<ErrorCase> cases = {
        {"", "", K::Empty, 1, "empty"},
        {" \t\n", "", K::Empty, 1, "empty"},
        {"RPM + Speed", "", K::UnknownChannel, 7, "\"Speed\""},
        {"\"Batt\" > 12", "", K::UnknownChannel, 1, "\"Batt\""},
        {"(RPM + 1", "", K::UnclosedParenthesis, 9, "column 1"},
        {"rate(RPM", "", K::UnclosedParenthesis, 9, "rate"},
        {"RPM + 1)", "", K::UnmatchedParenthesis, 8, ")"},
        {"RPM 2", "", K::Unexpected, 5, "\"2\""},
        {"0,5 + 1", "", K::Unexpected, 2, "\",\""},
        {"RPM = 2", "", K::Unexpected, 5, "\"==\""},
        {"2RPM", "", K::Unexpected, 2, "R"},
        {"λ + λ + )", "", K::Unexpected, 9, ")"},
        {"RPM >", "", K::UnexpectedEnd, 6, "ends"},
        {"1 ? 2", "", K::UnexpectedEnd, 6, "\":\""},
        {"RPM # 2", "", K::UnexpectedCharacter, 5, "#"},
        {"\"Batt V", "", K::UnclosedQuote, 1, "quoted"},
        {"1e999", "", K::BadNumber, 1, "1e999"},
        {"foo(RPM)", "", K::UnknownFunction, 1, "\"foo\""},
        {"min(RPM)", "", K::ArgumentCount, 8, "two"},
        {"abs(RPM, 1)", "", K::ArgumentCount, 8, "one"},
        {"RPM@-0.5", "", K::ExpectedDuration, 6, "0.5s"},
        {"mean(RPM, 0.5)", "", K::ExpectedDuration, 11, "0.5s"},
        {"mean(RPM, 0s)", "", K::BadWindow, 11, "0 s"},
        {"RPM * 2s", "", K::DurationAsValue, 7, "\"2s\""},
        {"Self * 2", "", K::SelfReference, 1, "\"Self\""},
        {"RPM + A", "A", K::SelfReference, 7, "\"A\""},
        {"B * 2", "A", K::Cycle, 1, "A → B → A"},
        {"2 * B", "", K::Cycle, 5, "B → A → B"},
        {"Bad > 1", "", K::InComputedChannel, 1, "\"Bad\" has an error at column 6"},
        {std::string(1 << 20, '('), "", K::TooLong, MaxExpressionLength + 1, "longer"},
        {std::string(300, '(') + "1" + std::string(300, ')'), "", K::TooDeep, 257, "256"},
        {manyColumns + "1", "", K::TooManyColumns, 321, "32"},
    };
    const std::vector<std::string> channels = channelNames(craftedLog());
    for (const ErrorCase& c : cases) {
        const std::string label = c.text.substr(0, 40);
        const CompileResult r = compileExpression(c.text, channels, computed, c.self);
        ASSERT_FALSE(r.ok()) << label;
        EXPECT_EQ(r.error.kind, c.kind) << label << ": " << r.error.message;
        EXPECT_EQ(r.error.column, c.column) << label << ": " << r.error.message;
        EXPECT_NE(r.error.message.find(c.mentions), std::string::npos)
            << label << ": " << r.error.message;
    }
}

// A day of records at ten a second: shifts, rates and windows move along the records instead
// of searching, so the whole day takes milliseconds, not minutes.
TEST(Expression, ADayOfRecordsInOnePass) {
    constexpr std::size_t n = 864000;
    LogData d;
    for (const char* name : {"RPM", "TPS"}) {
        LogField f;
        f.name = name;
        d.fields.push_back(f);
    }
    d.columns.resize(2);
    d.time.resize(n);
    d.columns[0].resize(n);
    d.columns[1].resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        d.time[i] = 0.1 * static_cast<double>(i);
        d.columns[0][i] = static_cast<float>(1000 + i % 100 * 10);
        d.columns[1][i] = static_cast<float>(i % 50);
    }
    const CompileResult r = compileExpression(
        "mean(RPM, 60s) > 1400 && rate(TPS)@-0.5s < 20 ? mean(TPS, 3600s) : RPM@-600s",
        channelNames(d));
    ASSERT_TRUE(r.ok()) << r.error.message;
    const auto start = std::chrono::steady_clock::now();
    const std::vector<double> v = evaluate(r.expression, d);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("a day of records (%zu): %.1f ms\n", n, ms);
    ASSERT_EQ(v.size(), n);
    EXPECT_NEAR(v[n - 1], 24.5, 1e-2); // the hour's mean of a sawtooth 0..49
}

} // namespace
