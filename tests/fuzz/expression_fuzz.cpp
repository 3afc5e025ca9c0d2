// Any bytes as the text of a computed channel against a small log with a gap in its readings,
// a record whose time does not advance and computed channels that refer to each other: either
// an error with a message and a column inside the text, or one value per record, never
// infinite.
#include "fuzz_check.h"
#include "log/expression.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace velmora::log;

namespace {

LogData smallLog() {
    LogData d;
    for (const char* name : {"Time", "RPM", "TPS", "Lambda", "Batt V"}) {
        LogField f;
        f.name = name;
        d.fields.push_back(f);
    }
    d.timeField = 0;
    d.columns.resize(d.fields.size());
    const double times[] = {0.0, 0.05, 0.1, 0.1, 0.3, 0.35, 0.4, 1.5, 1.55, 1.6, 1.65, 1.7};
    for (std::size_t i = 0; i < sizeof times / sizeof times[0]; ++i) {
        d.time.push_back(times[i]);
        const float x = static_cast<float>(i);
        const float row[] = {static_cast<float>(times[i]), 1200.0f + 350.0f * x, x * x - 20.0f,
                             i % 4 == 1 ? NAN : 0.8f + 0.03f * x, 13.8f};
        for (std::size_t c = 0; c < d.columns.size(); ++c) d.columns[c].push_back(row[c]);
    }
    return d;
}

std::size_t characters(std::string_view s) {
    std::size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

void check(const CompileResult& r, std::string_view text, const LogData& log) {
    if (!r.ok()) {
        FUZZ_CHECK(!r.error.message.empty());
        FUZZ_CHECK(r.error.column >= 1 && r.error.column <= characters(text) + 1);
        return;
    }
    const std::vector<double> v = evaluate(r.expression, log);
    FUZZ_CHECK(v.size() == log.records());
    for (double x : v) FUZZ_CHECK(!std::isinf(x));
    FUZZ_CHECK(filterRecords(r.expression, log).size() == log.records());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const LogData log = smallLog();
    static const std::vector<std::string> names = channelNames(log);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<ComputedChannel> computed = {{"Load", "TPS * RPM / 1000"},
                                                   {"Ping", "Pong@-0.1s + 1"},
                                                   {"Pong", "rate(Ping)"},
                                                   {"Fuzzed", text}};
    check(compileExpression(text, names), text, log);
    check(compileExpression(text, names, computed, "Fuzzed"), text, log);
    // The text as another channel's definition: its errors are named at the reference.
    const std::string other = "Fuzzed + 1";
    check(compileExpression(other, names, computed), other, log);
    return 0;
}
