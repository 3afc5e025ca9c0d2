// Computed channels appended to a crafted log: dependency order, the error of each channel and
// the others unharmed, a log lacking a channel, the wording of every error in each language,
// and the kept text through the settings file.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "files/profile_store.h"
#include "log/computed_channels.h"
#include "test_dir.h"

using namespace velmora;
using namespace velmora::log;

namespace {

// Record i at 0.5 i s: RPM 1000 + 500 i, TPS 10 i, CLT 60 + 5 i.
LogData rideLog(bool withTps = true) {
    LogData d;
    for (const char* name : {"Time", "RPM", "TPS", "CLT"}) {
        if (!withTps && std::string(name) == "TPS") continue;
        LogField f;
        f.name = name;
        d.fields.push_back(f);
    }
    d.timeField = 0;
    d.columns.resize(d.fields.size());
    for (int i = 0; i < 8; ++i) {
        d.time.push_back(0.5 * i);
        std::vector<float> row{0.5f * i, 1000.0f + 500.0f * i};
        if (withTps) row.push_back(10.0f * i);
        row.push_back(60.0f + 5.0f * i);
        for (std::size_t c = 0; c < row.size(); ++c) d.columns[c].push_back(row[c]);
    }
    return d;
}

double value(const LogData& d, const std::string& name, std::size_t record) {
    const int f = d.fieldIndex(name);
    return f < 0 ? -1e9 : d.columns[static_cast<std::size_t>(f)][record];
}

struct ChannelCase {
    ComputedDefinition def;
    ComputedProblem problem;
    ExpressionErrorKind kind;
    std::size_t column;
    double at3; // its value at record 3 when it is in the log; NaN: no value
};

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
using P = ComputedProblem;
using K = ExpressionErrorKind;

} // namespace

TEST(ComputedChannels, AppliedInDependencyOrderEachWithItsOwnError) {
    const std::vector<ChannelCase> cases = {
        {{"Twice", "Load * 2", "", 1}, P::None, K::None, 0, 5.0},
        {{"Load", "RPM / 1000", "krpm", 3}, P::None, K::None, 0, 2.5},
        {{"Warm", "CLT > 70 && Twice > 4", "", 0}, P::None, K::None, 0, 1.0},
        {{"Zero", "RPM / (TPS - TPS)", "", 2}, P::None, K::None, 0, NaN},
        {{"Shift", "Load@-0.5s", "", 2}, P::None, K::None, 0, 2.0},
        {{"Self", "1 + Self", "", 2}, P::Expression, K::SelfReference, 5, 0},
        {{"A", "B + 1", "", 2}, P::Expression, K::Cycle, 1, 0},
        {{"B", "2 * A", "", 2}, P::Expression, K::Cycle, 5, 0},
        {{"Typo", "RMP + 1", "", 2}, P::Expression, K::UnknownChannel, 1, 0},
        {{"Reads typo", "CLT + Typo", "", 2}, P::Expression, K::InComputedChannel, 7, 0},
        {{"RPM", "1", "", 2}, P::NameTaken, K::None, 0, 0},
        {{"Load", "2", "", 2}, P::NameTwice, K::None, 0, 0},
        {{"", "1", "", 2}, P::NoName, K::None, 0, 0},
        {{"Huge", std::string(1 << 20, '1'), "", 2}, P::Expression, K::TooLong, 65537, 0},
        {{"Half", "(RPM", "", 2}, P::Expression, K::UnclosedParenthesis, 5, 0},
    };
    std::vector<ComputedDefinition> defs;
    for (const ChannelCase& c : cases) defs.push_back(c.def);
    LogData d = rideLog();
    // Applying twice replaces the first set, never adds to it.
    for (int round = 0; round < 2; ++round) {
        const std::vector<ComputedOutcome> out = applyComputedChannels(d, defs);
        ASSERT_EQ(out.size(), cases.size());
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const ChannelCase& c = cases[i];
            SCOPED_TRACE(c.def.name + " = " + c.def.text.substr(0, 40));
            EXPECT_EQ(out[i].problem, c.problem);
            EXPECT_EQ(out[i].error.kind, c.kind);
            EXPECT_EQ(out[i].error.column, c.column);
            if (c.problem != P::None) continue;
            const double v = value(d, c.def.name, 3);
            if (std::isnan(c.at3))
                EXPECT_TRUE(std::isnan(v)) << v;
            else
                EXPECT_DOUBLE_EQ(v, c.at3);
        }
    }
    // The recorded fields first and unchanged, then the five in the order they can be
    // computed, each marked with its text and showing its digits.
    std::vector<std::string> names;
    for (const LogField& f : d.fields) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Time", "RPM", "TPS", "CLT", "Load", "Zero", "Shift",
                                               "Twice", "Warm"}));
    EXPECT_EQ(d.columns.size(), names.size());
    EXPECT_EQ(recordedFieldCount(d), 4u);
    EXPECT_EQ(d.fields[4].expression, "RPM / 1000");
    EXPECT_EQ(d.fields[4].units, "krpm");
    EXPECT_EQ(d.fields[4].digits, 3);
    EXPECT_EQ(value(d, "RPM", 3), 2500.0);
    EXPECT_TRUE(std::isnan(value(d, "Shift", 0))); // before the log began

    // A log without TPS: the channel reading it stays out with its error, the others go in.
    LogData other = rideLog(false);
    const std::vector<ComputedOutcome> out = applyComputedChannels(other, defs);
    EXPECT_EQ(out[3].error.kind, K::UnknownChannel);
    EXPECT_EQ(out[3].error.detail, "TPS");
    EXPECT_EQ(other.fieldIndex("Zero"), -1);
    EXPECT_EQ(value(other, "Warm", 3), 1.0);

    dropComputedChannels(d);
    EXPECT_EQ(d.fields.size(), 4u);
    EXPECT_EQ(d.columns.size(), 4u);
}

struct WordingCase {
    std::string text;
    std::string cs, en, de;
};

TEST(ComputedChannels, ErrorsAreWordedInEachLanguageWithTheirColumn) {
    const std::vector<WordingCase> cases = {
        {"RPM + RMP", "Sloupec 7: není kanál „RMP“", "Column 7: no channel \"RMP\"",
         "Spalte 7: kein Kanal „RMP“"},
        {"RPM > 1 ? 2", "Sloupec 12: výraz končí tam, kde má následovat hodnota",
         "Column 12: the expression ends where a value should follow",
         "Spalte 12: der Ausdruck endet, wo ein Wert folgen sollte"},
        {"mean(RPM, 0s)", "Sloupec 11: okno funkce mean musí být delší než 0 s",
         "Column 11: the window of mean must be longer than 0 s",
         "Spalte 11: das Fenster von mean muss länger als 0 s sein"},
    };
    const std::vector<std::string> names = channelNames(rideLog());
    for (const WordingCase& c : cases) {
        const ExpressionError e = compileExpression(c.text, names).error;
        EXPECT_EQ(expressionErrorText(e, 0), c.cs);
        EXPECT_EQ(expressionErrorText(e, 1), c.en);
        EXPECT_EQ(expressionErrorText(e, 2), c.de);
    }
    // Every kind has words of its own in each language, none the English message, and a
    // detail holding "%2" stays as typed.
    for (std::uint8_t language = 0; language < 3; ++language) {
        std::set<std::string> said;
        for (int k = 1; k <= static_cast<int>(K::InComputedChannel); ++k) {
            ExpressionError e{static_cast<K>(k), "English message", "x%2y", 3};
            const std::string text = expressionErrorText(e, language);
            EXPECT_EQ(text.find("English"), std::string::npos);
            said.insert(text);
        }
        EXPECT_EQ(said.size(), static_cast<std::size_t>(K::InComputedChannel));
        EXPECT_NE(expressionErrorText({K::UnknownChannel, "", "x%2y", 3}, language).find("x%2y"),
                  std::string::npos);
    }
    EXPECT_EQ(computedOutcomeText({P::NameTaken, {}}, "RPM", 2),
              "Das Log enthält bereits einen Kanal „RPM“.");
}

TEST(ComputedChannels, KeptTextSurvivesAwkwardCharactersAndTheSettingsFile) {
    const std::vector<ComputedDefinition> defs = {
        {" λ ratio ", "\"O2 mV\" / 450 ; x = 1 % 2", "λ", 3},
        {"a=b;c", "RPM\n+ 1\t", " ", 0},
        {"%41", "\"Batt V\"\r\n", "", 6},
    };
    for (const ComputedDefinition& d : defs) {
        const std::string line = keptDefinition(d);
        EXPECT_EQ(line.find_first_of("=\"\n\r\t"), std::string::npos) << line;
        EXPECT_NE(line.front(), ' ');
        EXPECT_NE(line.back(), ' ');
        EXPECT_EQ(parseKeptDefinition(line), d) << line;
    }
    for (const char* bad : {"", "name;units;2", "name;u;x;text", "name;u;9;t", ";u;2;t"})
        EXPECT_FALSE(parseKeptDefinition(bad).has_value()) << bad;

    // Through the file: a second store reads what the first wrote; fewer channels later
    // leave none of the removed ones behind, and the window's keys stay.
    test::TestDir dir;
    const std::string path = dir.file("Velmora52.ini");
    {
        ProfileStore store(path);
        ASSERT_TRUE(store.writeInt("FORM_HLAV", "Language", 2));
        ASSERT_TRUE(saveLogViewerSettings(store, {defs, " CLT > 70 && \"a;b\" = 1 "}));
        ASSERT_TRUE(saveLogViewerSettings(store, {{defs[1]}, "RPM > 1 "}));
    }
    ProfileStore again(path);
    const LogViewerSettings read = loadLogViewerSettings(again);
    EXPECT_EQ(read.computed, std::vector<ComputedDefinition>{defs[1]});
    EXPECT_EQ(read.filter, "RPM > 1 ");
    EXPECT_EQ(again.readInt("FORM_HLAV", "Language", 0), 2);
    EXPECT_EQ(again.readString(LogViewerSection, "Channel2", "-"), "");

    // Beyond what the file may hold nothing is written.
    const LogViewerSettings huge{{{"Huge", std::string(MaxKeptText, 'x'), "", 2}}, ""};
    EXPECT_FALSE(fitsKept(huge));
    EXPECT_FALSE(saveLogViewerSettings(again, huge));
    EXPECT_EQ(loadLogViewerSettings(again).computed.size(), 1u);
}
