#include <gtest/gtest.h>

#include "analysis/log_samples.h"
#include "crafted_log.h"
#include "log/mlg.h"

namespace velmora::analysis {
namespace {

const std::array<int, MapSize> Rpms{1000, 2000, 3000, 4000, 6000, 8000, 10000, 12000, 14000, 16000};

// The hand calculation of the statistics test, written as a data log and read back.
TEST(LogStatistics, ACraftedLogMatchesTheHandCalculation) {
    const std::string bytes = testlog::craftedLog();
    const log::LogReadResult read =
        log::readMlg(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(read.ok) << read.error;
    MapStatistics st;
    const LogAnalysis a = analyseLog(read.data, st, Rpms);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.records, 11u);
    EXPECT_EQ(st.samplesCounted(), 5u);
    EXPECT_DOUBLE_EQ(st.cell(2, 1).samples, 3.75);
    EXPECT_DOUBLE_EQ(st.cell(2, 2).samples, 1.25);
    EXPECT_DOUBLE_EQ(st.cell(2, 1).seconds, 5 * 0.125 * 0.75);
    EXPECT_DOUBLE_EQ(st.cell(2, 1).meanLambda(), 450.0);
    EXPECT_DOUBLE_EQ(st.cell(2, 1).richShare(), 0.4);
    EXPECT_DOUBLE_EQ(st.cell(2, 1).leanShare(), 0.4);
}

TEST(LogStatistics, ALogWithoutTheNeededChannelsIsNamedAndNotAnalysed) {
    log::LogData data;
    for (const char* name : {"Time", "RPM", "TPS", "PW"}) {
        log::LogField f;
        f.name = name;
        data.fields.push_back(f);
        data.columns.push_back({1.0f, 2.0f});
    }
    data.time = {0.0, 0.1};
    MapStatistics st;
    const LogAnalysis a = analyseLog(data, st, Rpms);
    EXPECT_FALSE(a.ok());
    EXPECT_EQ(a.missing,
              (std::vector<std::string>{"O2 mV", "CLT", "CLT fault", "Start limiter", "Blocking"}));
    EXPECT_EQ(st.samplesSeen(), 0u);
}

} // namespace
} // namespace velmora::analysis
