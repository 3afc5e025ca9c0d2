// The data log core: records built from decoded frames, the MLG, frame and wide-band logs
// written and read back, damaged logs, CSV export, the recorder's flushing and a full disk, the
// replay clock and the replay's wide-band join.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "files/param_file.h"
#include "files/profile_store.h"
#include "files/settings.h"
#include "history/recovery.h"
#include "link/engine_sample.h"
#include "link/monitor.h"
#include "link/wideband_join.h"
#include "log/channels.h"
#include "log/csv.h"
#include "log/frame_log.h"
#include "log/log_context.h"
#include "log/mlg.h"
#include "log/recorder.h"
#include "log/replay.h"
#include "log/replay_wideband.h"
#include "log/wideband_log.h"
#include "sim/engine.h"
#include "test_dir.h"
#include "tests/common/frames.h"
#include "tests/log/mlg_node_check.h"

using namespace velmora;
using namespace velmora::log;

namespace {

using common::frameWith;
using test::model6;
using test::readFile;

// The link's decoding of each frame, without a port: the decoder, then the sample.
struct Decoding {
    MonitorDecoder decoder;
    SampleBuilder samples;
    MonitorSettings settings;
    explicit Decoding(std::uint8_t advanceMax = 0, bool extMonitor = false) {
        settings.advanceMax = advanceMax;
        settings.extMonitor = extMonitor;
    }
    const EngineSample& operator()(const Frame& f, std::uint64_t timeMs) {
        EXPECT_TRUE(decoder.decode(f, settings));
        return samples.update(f, decoder.values(), settings.advanceMax, timeMs, false);
    }
};

// A session of the simulated engine: the frames, and the record after each one as the
// recorder must build it.
struct Session {
    std::vector<Frame> frames;
    std::vector<Record> records;
    std::vector<std::uint32_t> times;
};

Session simulate(int count, std::uint64_t seed = 7) {
    const Calibration cal = model6();
    sim::Engine engine(seed);
    Decoding decode(cal[AdvanceMax]);
    Session s;
    for (int i = 0; i < count; ++i) {
        const Frame f = engine.nextFrame(0.055, cal, 12);
        const auto t = static_cast<std::uint32_t>(i * 55 + i % 7);
        s.frames.push_back(f);
        s.records.push_back(recordOf(decode(f, t), t));
        s.times.push_back(t);
    }
    return s;
}

std::string logBytes(const Session& s, std::size_t markerEvery = 0) {
    std::string out = mlgHeader(1765000000u, "Velmora 52 test log");
    std::uint8_t counter = 0;
    for (std::size_t i = 0; i < s.records.size(); ++i) {
        appendRecordBlock(out, counter++, s.records[i]);
        if (markerEvery != 0 && i % markerEvery == markerEvery - 1)
            appendMarkerBlock(out, counter++, s.times[i], "note " + std::to_string(i));
    }
    return out;
}

LogReadResult readBytes(const std::string& bytes) {
    return readMlg(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

double shown(const Record& r, std::size_t c) {
    if (channels()[c].type == FieldType::F32) return static_cast<float>(r[c]);
    return r[c] * static_cast<double>(channels()[c].scale);
}

// The log's records equal the session's from record `first` on.
void expectRecordsEqual(const LogData& d, const Session& s, std::size_t count,
                        std::size_t first = 0) {
    ASSERT_EQ(d.records(), count);
    ASSERT_EQ(d.fields.size(), ChannelCount);
    for (std::size_t r = 0; r < count; ++r) {
        const Record& want = s.records[first + r];
        EXPECT_NEAR(d.time[r], s.times[first + r] / 1000.0, 1e-9) << "record " << r;
        for (std::size_t c = 0; c < ChannelCount; ++c) {
            // No value (NaN) must read as none, never as 0.
            if (std::isnan(shown(want, c))) {
                ASSERT_TRUE(std::isnan(d.columns[c][r]))
                    << channels()[c].name << " of record " << r;
                continue;
            }
            ASSERT_NEAR(d.columns[c][r], shown(want, c), 1e-3 + 1e-6 * std::fabs(shown(want, c)))
                << channels()[c].name << " of record " << r;
        }
    }
}

// The simulated engine sends kinds 0, 1, 2 in turn: a recording that starts with the
// connection writes its first record with the third frame.
constexpr std::size_t FirstComplete = 2;

} // namespace

TEST(LogChannels, NamesAreUniqueAndFitTheirFields) {
    for (std::size_t i = 0; i < ChannelCount; ++i) {
        EXPECT_LT(std::string(channels()[i].name).size(), MlgNameSize);
        EXPECT_LT(std::string(channels()[i].units).size(), MlgUnitsSize);
        for (std::size_t j = 0; j < i; ++j) EXPECT_STRNE(channels()[i].name, channels()[j].name);
    }
    EXPECT_STREQ(channels()[Time].name, "Time");
}

// Viewers match channels by name and take the unit from their convention: a channel with one
// of these names must hold that quantity, or a voltage is shown as lambda and a percentage as
// kPa.
TEST(LogChannels, NamesViewersMatchHoldWhatTheyExpect) {
    const struct {
        const char* name;
        const char* units; // what the viewers assume
    } conventions[] = {{"lambda", "lambda"}, {"afr", "afr"}, {"ego", "%"},    {"map", "kPa"},
                       {"baro", "kPa"},      {"rpm", "rpm"}, {"tps", "%"},    {"clt", "C"},
                       {"iat", "C"},         {"pw", "ms"},   {"batt v", "V"}, {"advance", "deg"},
                       {"o2", "lambda"}};
    const auto lower = [](std::string t) {
        for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return t;
    };
    for (const Channel& c : channels()) {
        for (const auto& k : conventions) {
            if (lower(c.name) == k.name) {
                EXPECT_STREQ(c.units, k.units) << c.name;
            }
        }
    }
}

// Each kind updates the common part and its own channels; the others keep their value, as on
// the Monitor page.
TEST(LogChannels, ValuesCarryAcrossFrameKinds) {
    Decoding decode(100);
    Record r{};
    const auto feed = [&](const Frame& f, std::uint32_t t) { r = recordOf(decode(f, t), t); };
    // Kind 2: throttle 40 %, intake 55 %, water 95 °C, air sensor fault.
    feed(frameWith(0xB2, {{1, 0x03}, {2, 0xE8}, {11, 40}, {12, 55}, {13, 195}, {14, 0}}), 10);
    // Kind 1: blocking, tacho, rpm alarm, privera normal; timing 70 -> 30°; 9 programmings;
    // 98.7 kPa.
    feed(frameWith(0xB1,
                   {{11, 0x80 | 0x10 | 0x08 | 0x01}, {12, 70}, {16, 9}, {19, 0x03}, {20, 0xDB}}),
         20);
    // Kind 0: supply counts 0x0C00 (3072 -> 912 mV -> 10682 mV), privera 0x1000.
    feed(frameWith(0xB0, {{1, 0x01}, {2, 0xF4}, {17, 0x0C}, {19, 0x10}}), 30);
    EXPECT_EQ(r[Time], 30);
    EXPECT_EQ(r[Rpm], 4000); // period 500
    EXPECT_EQ(r[Tps], 40);
    EXPECT_EQ(r[Map], 55);
    EXPECT_EQ(r[Clt], 95);
    EXPECT_EQ(r[CltFault], 0);
    EXPECT_EQ(r[Iat], 50); // the substitute the Monitor page shows
    EXPECT_EQ(r[IatFault], 1);
    EXPECT_EQ(r[Blocking], 1);
    EXPECT_EQ(r[TachoInput], 1);
    EXPECT_EQ(r[ClutchMaster], 0);
    EXPECT_EQ(r[RpmAlarm], 1);
    EXPECT_EQ(r[PriveraNormal], 1);
    EXPECT_EQ(r[Advance], 30);
    EXPECT_EQ(r[Programmings], 9);
    EXPECT_EQ(r[Baro], 987);
    EXPECT_EQ(r[BattV], 11 * (3072 * 2430 / 8184) + 650);
    EXPECT_EQ(r[PriveraPosition], 4096 * 4860 / 8184);
    EXPECT_EQ(r[FrameKind], 0);
    // A kind without data (0xB5) changes the common part only.
    const Record before = r;
    feed(frameWith(0xB5, {}), 40);
    EXPECT_EQ(r[Rpm], 0);
    EXPECT_EQ(r[Advance], 30);
    EXPECT_EQ(r[BattV], before[BattV]);
    EXPECT_EQ(r[FrameKind], 5);
}

TEST(Mlg, RoundTripOfASimulatedSessionWithMarkers) {
    const Session s = simulate(600);
    const LogReadResult r = readBytes(logBytes(s, 100));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.formatVersion, 1);
    EXPECT_EQ(r.data.unixTime, 1765000000u);
    EXPECT_EQ(r.data.info, "Velmora 52 test log");
    EXPECT_FALSE(r.data.truncated);
    EXPECT_EQ(r.data.badBlocks, 0u);
    for (std::size_t c = 0; c < ChannelCount; ++c) {
        EXPECT_EQ(r.data.fields[c].name, channels()[c].name);
        EXPECT_EQ(r.data.fields[c].units, channels()[c].units);
        EXPECT_EQ(r.data.fields[c].digits, channels()[c].digits);
    }
    expectRecordsEqual(r.data, s, s.records.size());
    ASSERT_EQ(r.data.markers.size(), 6u);
    for (std::size_t m = 0; m < 6; ++m) {
        const std::size_t at = m * 100 + 99;
        EXPECT_EQ(r.data.markers[m].text, "note " + std::to_string(at));
        EXPECT_NEAR(r.data.markers[m].time, s.times[at] / 1000.0, 1e-4);
    }
}

TEST(Mlg, MarkerTextIsCutAtACharacterAndReadWithoutTerminator) {
    std::string out = mlgHeader(0, "");
    appendMarkerBlock(out, 0, 0, std::string(48, 'x') + "é"); // é would straddle byte 49
    LogReadResult r = readBytes(out);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data.markers.at(0).text, std::string(48, 'x'));
    // A foreign marker whose 50 bytes have no NUL.
    for (std::size_t i = out.size() - MlgMarkerTextSize; i < out.size(); ++i) out[i] = 'y';
    r = readBytes(out);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data.markers.at(0).text, std::string(50, 'y'));
    EXPECT_EQ(r.data.records(), 0u);
}

// Whatever byte a crash or a copy cuts the log at, it reads up to its last whole block.
TEST(Mlg, ALogCutAtAnyByteReadsUpToItsLastWholeRecord) {
    const Session s = simulate(40);
    const std::string whole = logBytes(s, 9);
    const std::string header = mlgHeader(1765000000u, "Velmora 52 test log");
    const std::size_t block = MlgBlockHeaderSize + recordSize() + 1;
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        const LogReadResult r = readBytes(whole.substr(0, cut));
        if (cut < header.size()) {
            ASSERT_FALSE(r.ok) << cut;
            ASSERT_FALSE(r.error.empty());
            continue;
        }
        ASSERT_TRUE(r.ok) << cut << ": " << r.error;
        // Whole records before the cut, counting the marker blocks between them.
        std::size_t at = header.size(), records = 0, markers = 0;
        for (std::size_t i = 0; i < s.records.size(); ++i) {
            if (at + block > cut) break;
            at += block;
            ++records;
            if (i % 9 == 8) {
                if (at + MlgMarkerBlockSize > cut) break;
                at += MlgMarkerBlockSize;
                ++markers;
            }
        }
        expectRecordsEqual(r.data, s, records);
        ASSERT_EQ(r.data.markers.size(), markers) << cut;
        ASSERT_EQ(r.data.truncated, at != cut) << cut;
    }
}

TEST(Mlg, DamagedLogsGiveAClearMessageAndNoData) {
    const Session s = simulate(5);
    const std::string good = logBytes(s);
    const auto patched = [&](std::size_t at, std::initializer_list<std::uint8_t> bytes) {
        std::string b = good;
        for (std::uint8_t v : bytes) b[at++] = static_cast<char>(v);
        return b;
    };
    const struct {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty", "", "MLVLG"},
        {"wrong magic", patched(0, {'M', 'L', 'V', 'X'}), "MLVLG"},
        {"version 3", patched(6, {0, 3}), "version 3"},
        {"no fields", patched(20, {0, 0}), "no fields"},
        {"fields past the end", patched(20, {0xFF, 0xFF}), "run past the end"},
        {"data start past the end", patched(14, {0x7F, 0xFF, 0xFF, 0xFF}), "outside the file"},
        {"data start inside the fields", patched(14, {0, 0, 0, 30}), "outside the file"},
        {"unknown field type", patched(MlgHeaderSize, {9}), "unknown type"},
        {"record length", patched(18, {0, 3}), "record length"},
        {"header only", good.substr(0, 12), "header"},
        {"junk after the header",
         mlgHeader(1765000000u, "Velmora 52 test log") + std::string(4096, '\xA5'),
         "damaged from byte"},
    };
    for (const auto& c : cases) {
        const LogReadResult r = readBytes(c.bytes);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_NE(r.error.find(c.message), std::string::npos) << c.what << ": " << r.error;
        EXPECT_EQ(r.data.records(), 0u) << c.what;
    }
    // A flipped byte in a record drops that record only; junk after the blocks ends the data.
    std::string damaged = good;
    damaged[mlgHeader(1765000000u, "Velmora 52 test log").size() + 6] ^= 0x40;
    damaged += "\x07junk";
    const LogReadResult r = readBytes(damaged);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data.records(), 4u);
    EXPECT_EQ(r.data.badBlocks, 1u);
    EXPECT_TRUE(r.data.truncated);
}

TEST(Mlg, FilesThatAreNotLogsAreRefusedUnread) {
    const test::TestDir tmp;
    const std::string& dir = tmp.path();
    test::writeFile(dir + "/junk.mlg", "no log");
    LogReadResult r = readMlgFile(dir + "/junk.mlg");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("not an MLG log"), std::string::npos);
    r = readMlgFile(dir);
    EXPECT_NE(r.error.find("not a plain file"), std::string::npos);
    r = readMlgFile(dir + "/missing.mlg");
    EXPECT_NE(r.error.find("cannot be opened"), std::string::npos);
    // 2 GB of junk is refused by its first bytes, in no time and no memory: a sparse file.
    const std::string big = dir + "/big.mlg";
    ASSERT_EQ(truncate((std::ofstream(big), big.c_str()), 2'000'000'000), 0);
    r = readMlgFile(big);
    EXPECT_NE(r.error.find("not an MLG log"), std::string::npos);
    // A log header on a file beyond the limit.
    {
        std::fstream f(big, std::ios::in | std::ios::out | std::ios::binary);
        f << "MLVLG";
    }
    r = readMlgFile(big);
    EXPECT_NE(r.error.find("larger than 1 GiB"), std::string::npos);
}

// A read log decodes a column when it is first asked for. Whichever way a value is asked for
// (straight from the bytes, one column alone, several in one pass by a copy of the log, while
// the file is read) and whether the log came from memory or from its file, it is the value
// written; no column is decoded until it is asked for.
TEST(Mlg, ColumnsDecodedOnDemandHoldTheRecordsWritten) {
    // More records than are decoded in one run; a marker after every 50th, also the last.
    const Session s = simulate(4500);
    const std::string clean = logBytes(s, 50);
    const std::size_t head = mlgHeader(1765000000u, "Velmora 52 test log").size();
    const std::size_t block = MlgBlockHeaderSize + recordSize() + 1;
    std::string bad = clean;
    bad[head + 3 * block + 9] ^= 0x10;
    std::vector<std::size_t> all(s.records.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    std::vector<std::size_t> withoutThird = all, withoutLast = all;
    withoutThird.erase(withoutThird.begin() + 3);
    withoutLast.pop_back();
    const struct {
        const char* what;
        std::string bytes;
        const std::vector<std::size_t>& kept; // the session's records the log holds
    } cases[] = {
        {"with markers", clean, all},
        {"a wrong check byte", bad, withoutThird},
        {"cut inside the last record", clean.substr(0, clean.size() - MlgMarkerBlockSize - 5),
         withoutLast},
        {"junk after the blocks", clean + "\x07junk", all},
    };
    const test::TestDir tmp;
    const std::string path = tmp.path() + "/ride.mlg";
    const auto bits = [](float v) {
        std::uint32_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    for (const auto& c : cases) {
        test::writeFile(path, c.bytes);
        // From memory, from the file, and from the file with two columns decoded while reading.
        for (const int source : {0, 1, 2}) {
            const std::string what = std::string(c.what) + " " + std::to_string(source);
            const std::vector<std::string> now = source == 2
                                                     ? std::vector<std::string>{"Lambda", "RPM"}
                                                     : std::vector<std::string>{};
            const LogReadResult r = source == 0 ? readBytes(c.bytes) : readMlgFile(path, now);
            ASSERT_TRUE(r.ok) << what << ": " << r.error;
            const LogData& d = r.data;
            ASSERT_EQ(d.records(), c.kept.size()) << what;
            const LogData copy = d;
            std::vector<std::size_t> fields(d.fields.size());
            for (std::size_t f = 0; f < fields.size(); ++f) fields[f] = f;
            copy.columns.decode(fields);
            std::size_t none = 0;
            for (std::size_t f = 0; f < fields.size(); ++f) {
                const bool early = std::find(now.begin(), now.end(), d.fields[f].name) != now.end();
                ASSERT_EQ(d.columns.decoded(f), early) << what << ": " << d.fields[f].name;
                std::vector<float> single(d.records());
                for (std::size_t i = 0; i < d.records(); ++i) single[i] = d.columns.value(f, i);
                ASSERT_EQ(d.columns.decoded(f), early) << what;
                const Column& alone = d.columns[f];
                ASSERT_TRUE(d.columns.decoded(f));
                ASSERT_EQ(alone.size(), d.records());
                for (std::size_t i = 0; i < d.records(); ++i) {
                    const double want = shown(s.records[c.kept[i]], f);
                    ASSERT_EQ(bits(single[i]), bits(alone[i])) << what << " " << f << " " << i;
                    ASSERT_EQ(bits(copy.columns[f][i]), bits(alone[i])) << what << " " << f;
                    none += std::isnan(want);
                    if (std::isnan(want))
                        ASSERT_TRUE(std::isnan(alone[i])) << what << " " << f;
                    else
                        ASSERT_NEAR(alone[i], want, 1e-3 + 1e-6 * std::fabs(want)) << what;
                }
            }
            EXPECT_GT(none, 0u) << what; // the wide-band channels without a reading
            for (std::size_t i = 0; i < d.records(); ++i)
                ASSERT_EQ(d.value(static_cast<std::size_t>(d.timeField), i), d.time[i]);
        }
    }
}

// The peak resident memory, in MB, since `reset` last cleared it.
double peakResidentMb(bool reset = false) {
    if (reset) std::ofstream("/proc/self/clear_refs") << "5";
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0.0;
}

// Memory follows what a file holds, never what its size would allow: a few records and then
// junk up to the largest size opened read like the records alone, without the memory of the
// records that much file could hold (hundreds of MB for the index and two decoded columns).
TEST(Mlg, AFileOfJunkBehindItsRecordsCostsTheMemoryOfItsRecords) {
    const Session s = simulate(300);
    const test::TestDir tmp;
    const std::string path = tmp.path() + "/ride.mlg";
    test::writeFile(path, logBytes(s, 100) + "\xA5");
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(MaxLogFileSize)), 0); // sparse
    const double before = peakResidentMb(true);
    const LogReadResult r = readMlgFile(path, {"RPM", "Lambda"});
    const double grown = peakResidentMb() - before;
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.data.truncated);
    EXPECT_EQ(r.data.markers.size(), 3u);
    expectRecordsEqual(r.data, s, s.records.size());
    EXPECT_LT(grown, 40.0);

    // Bytes that read as marker blocks end the data after the most markers a log may hold.
    test::writeFile(path, logBytes(s, 100) +
                              std::string(MlgMarkerBlockSize * (MaxLogMarkers + 5), '\x01'));
    const LogReadResult markers = readMlgFile(path);
    ASSERT_TRUE(markers.ok) << markers.error;
    EXPECT_TRUE(markers.data.truncated);
    EXPECT_EQ(markers.data.markers.size(), MaxLogMarkers);
    EXPECT_EQ(markers.data.records(), s.records.size());
}

// Computed channels are appended as columns and dropped again while the log's own stay in the
// file; a file cut short after it was read gives no values for what it lost, never a crash.
TEST(Mlg, AppendedColumnsAndAFileCutShortAfterReading) {
    const Session s = simulate(100);
    const test::TestDir tmp;
    const std::string path = tmp.path() + "/ride.mlg";
    test::writeFile(path, logBytes(s));
    const LogReadResult r = readMlgFile(path);
    ASSERT_TRUE(r.ok) << r.error;
    LogData d = r.data; // a copy: r.data's columns stay in the file
    const std::size_t n = d.fields.size(), records = d.records();
    const auto rpm = static_cast<std::size_t>(d.fieldIndex("RPM"));
    Column twice(records);
    for (std::size_t i = 0; i < records; ++i) twice[i] = 2 * d.columns.value(rpm, i);
    d.fields.push_back({"RPM x2", "rpm"});
    d.columns.push_back(twice);
    ASSERT_EQ(d.columns.size(), n + 1);
    EXPECT_TRUE(d.columns.decoded(n));
    EXPECT_FALSE(d.columns.decoded(rpm));
    EXPECT_EQ(d.value(n, 42), twice[42]);
    EXPECT_EQ(d.columns[n][42], 2 * d.columns[rpm][42]);
    // Dropping reaches into the log's own fields; what is appended there is what was given.
    d.fields.resize(n - 1);
    d.columns.resize(n - 1);
    d.fields.push_back({"seven", ""});
    d.columns.push_back(Column(records, 7.0f));
    EXPECT_EQ(d.value(n - 1, 3), 7.0);
    EXPECT_EQ(d.columns[n - 1][3], 7.0f);
    for (const Column& c : d.columns) EXPECT_EQ(c.size(), records);

    // The file loses all but its first 10 records while the log is shown.
    const std::size_t block = MlgBlockHeaderSize + recordSize() + 1;
    ASSERT_EQ(truncate(path.c_str(),
                       static_cast<off_t>(mlgHeader(1765000000u, "Velmora 52 test log").size() +
                                          10 * block + 3)),
              0);
    const auto tps = static_cast<std::size_t>(r.data.fieldIndex("TPS"));
    ASSERT_FALSE(r.data.columns.decoded(tps));
    EXPECT_TRUE(std::isnan(r.data.value(tps, 10)));
    EXPECT_NEAR(r.data.value(tps, 9), shown(s.records[9], tps), 1e-3);
    const Column& cut = r.data.columns[tps];
    EXPECT_NEAR(cut[9], shown(s.records[9], tps), 1e-3);
    EXPECT_TRUE(std::all_of(cut.begin() + 10, cut.end(), [](float v) { return std::isnan(v); }));
}

TEST(FrameLog, RoundTripAndCut) {
    const Session s = simulate(30);
    std::string bytes(FrameLogMagic, FrameLogMagicSize);
    for (std::size_t i = 0; i < s.frames.size(); ++i)
        appendFrameEntry(bytes, s.times[i], s.frames[i]);
    for (std::size_t cut : {bytes.size(), bytes.size() - 1, FrameLogMagicSize + 27}) {
        const FrameLogResult r =
            readFrameLog(reinterpret_cast<const std::uint8_t*>(bytes.data()), cut);
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(r.frames.size(), (cut - FrameLogMagicSize) / FrameLogEntrySize);
        for (std::size_t i = 0; i < r.frames.size(); ++i) {
            EXPECT_EQ(r.frames[i].timeMs, s.times[i]);
            EXPECT_EQ(r.frames[i].frame, s.frames[i]);
        }
    }
    EXPECT_FALSE(readFrameLog(reinterpret_cast<const std::uint8_t*>("V52FRAMES2\n"), 11).ok);
    EXPECT_EQ(frameLogPathFor("/a/b.mlg"), "/a/b.frames");
    EXPECT_EQ(frameLogPathFor("/a/b"), "/a/b.frames");
}

TEST(Csv, ExportHasNamesWithUnitsAndTheFieldsDigits) {
    const Session s = simulate(3);
    const LogReadResult r = readBytes(logBytes(s));
    ASSERT_TRUE(r.ok);
    std::string header = csvHeader(r.data);
    EXPECT_EQ(header.rfind("Time (s),RPM (rpm),TPS (%),", 0), 0u) << header;
    EXPECT_NE(header.find(",Batt V (V),"), std::string::npos);
    EXPECT_NE(header.find(",Blocking,"), std::string::npos);
    EXPECT_NE(header.find(",Lambda (lambda),AFR (afr),WB status,WB age (ms)\r\n"),
              std::string::npos);
    const test::TestDir tmp;
    const std::string& dir = tmp.path();
    ASSERT_TRUE(exportCsv(r.data, dir + "/log.csv").ok);
    const std::string text = readFile(dir + "/log.csv");
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    ASSERT_EQ(lines.size(), 4u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const Record& rec = s.records[i - 1];
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.3f,%d,%d,", s.times[i - 1] / 1000.0,
                      static_cast<int>(rec[Rpm]), static_cast<int>(rec[Tps]));
        EXPECT_EQ(lines[i].rfind(expected, 0), 0u) << lines[i];
        EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','),
                  static_cast<long>(ChannelCount - 1));
        // No wide-band reading: lambda, AFR and age are empty cells, the status 0.
        EXPECT_EQ(lines[i].substr(lines[i].size() - 5), ",,,0,") << lines[i];
    }
    // A folder that does not exist: the export fails and says where.
    const WriteResult w = exportCsv(r.data, dir + "/no/such/log.csv");
    EXPECT_FALSE(w.ok);
    EXPECT_FALSE(w.error.empty());
}

// Records reach the files a second at a time, whole; what is on disk is always a readable log.
TEST(Recorder, WritesOncePerSecondAndEveryWriteEndsAtAWholeRecord) {
    const Session s = simulate(100);
    const test::TestDir tmp;
    const std::string& dir = tmp.path();
    Recorder rec;
    const std::uint64_t t0 = 5000;
    ASSERT_TRUE(rec.start(dir + "/ride", 1765000000u, "info", t0)) << rec.error();
    Decoding decode(model6()[AdvanceMax]);
    std::size_t onDiskBefore = 0;
    for (std::size_t i = 0; i < s.frames.size(); ++i) {
        const std::uint64_t now = t0 + s.times[i];
        rec.record(decode(s.frames[i], now), now);
        if (i == 50) rec.marker("pit stop", now);
        rec.flushIfDue(now);
        const LogReadResult r = readMlgFile(rec.logPath());
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_FALSE(r.data.truncated);
        ASSERT_EQ(r.data.records(), rec.recordsWritten());
        // Nothing waits longer than a second plus one frame.
        ASSERT_GE(static_cast<long>(r.data.records()),
                  static_cast<long>(i + 1 - FirstComplete) -
                      static_cast<long>(Recorder::FlushIntervalMs / 55) - 1);
        ASSERT_GE(r.data.records(), onDiskBefore);
        onDiskBefore = r.data.records();
    }
    EXPECT_LT(rec.recordsWritten(), rec.records());
    rec.stop(t0 + 6000);
    EXPECT_FALSE(rec.recording());
    const LogReadResult r = readMlgFile(rec.logPath());
    ASSERT_TRUE(r.ok);
    expectRecordsEqual(r.data, s, s.records.size() - FirstComplete, FirstComplete);
    EXPECT_EQ(rec.framesWaiting(), FirstComplete);
    ASSERT_EQ(r.data.markers.size(), 1u);
    EXPECT_EQ(r.data.markers[0].text, "Marker 1: pit stop");
    const FrameLogResult frames = readFrameLogFile(rec.frameLogPath());
    ASSERT_TRUE(frames.ok);
    ASSERT_EQ(frames.frames.size(), s.frames.size() - FirstComplete);
    EXPECT_EQ(frames.frames.front().frame, s.frames[FirstComplete]);
    EXPECT_EQ(frames.frames.back().frame, s.frames.back());
    // A log of that name exists already: refused, and the existing one is kept.
    Recorder again;
    EXPECT_FALSE(again.start(dir + "/ride", 0, "", 0));
    EXPECT_NE(again.error().find("cannot be created"), std::string::npos);
    EXPECT_EQ(readMlgFile(rec.logPath()).data.records(), s.records.size() - FirstComplete);
}

// No record holds a value the unit did not send: a recording started while frames flow begins
// with what the Monitor page shows; one started with the connection, or after the connection
// was lost, waits until every frame kind has arrived.
TEST(Recorder, TheFirstRecordHoldsWhatTheMonitorPageShows) {
    const Frame supply = frameWith(0xB0, {{1, 0x01}, {2, 0xF4}, {17, 0x0C}}); // 10682 mV
    const Frame timing = frameWith(0xB1, {{12, 70}});                         // 30°
    const Frame throttle = frameWith(0xB2, {{11, 40}, {13, 195}});            // 40 %, 95 °C
    const Frame common = frameWith(0xB5, {{1, 0x03}, {2, 0xE8}});             // 2000 rpm
    const struct Case {
        const char* what;
        std::vector<Frame> before; // frames while not recording
        std::vector<Frame> during; // frames while recording; an empty frame: connection lost
        std::size_t waiting;
        std::size_t records;
    } cases[] = {
        {"started while frames flow", {supply, timing, throttle}, {common}, 0, 1},
        {"started with the connection", {}, {supply, timing, throttle, common}, 2, 2},
        {"connection lost before",
         {supply, timing, throttle, Frame{}},
         {common, supply, timing, throttle},
         3,
         1},
        {"no kind 1 yet", {supply, throttle}, {common, supply}, 2, 0},
    };
    for (const Case& k : cases) {
        const test::TestDir tmp;
        Recorder rec;
        Decoding decode(100);
        const auto feed = [&](const Frame& f, std::uint64_t now) {
            if (f == Frame{}) return decode.samples.forgetKinds(); // "No Connection"
            rec.record(decode(f, now), now);
        };
        std::uint64_t now = 1000;
        for (const Frame& f : k.before) feed(f, now += 55);
        ASSERT_TRUE(rec.start(tmp.path() + "/log", 0, "", now));
        for (const Frame& f : k.during) feed(f, now += 55);
        rec.stop(now);
        const LogReadResult r = readMlgFile(rec.logPath());
        ASSERT_TRUE(r.ok) << k.what;
        EXPECT_EQ(rec.framesWaiting(), k.waiting) << k.what;
        ASSERT_EQ(r.data.records(), k.records) << k.what;
        EXPECT_EQ(readFrameLogFile(rec.frameLogPath()).frames.size(), k.records) << k.what;
        for (std::size_t i = 0; i < r.data.records(); ++i) {
            EXPECT_NEAR(r.data.columns[BattV][i], 10.682, 1e-3) << k.what;
            EXPECT_EQ(r.data.columns[Advance][i], 30.0f) << k.what;
            EXPECT_EQ(r.data.columns[Tps][i], 40.0f) << k.what;
            EXPECT_EQ(r.data.columns[Clt][i], 95.0f) << k.what;
        }
    }
}

// The context file holds what the log was recorded with from its start and at every change,
// only then; a line cut off by a crash leaves the entries before it.
TEST(Recorder, KeepsTheSpeedAxisAndCalibrationOfEachMoment) {
    const test::TestDir tmp;
    Recorder rec;
    ASSERT_TRUE(rec.start(tmp.path() + "/ride", 0, "", 1000));
    Calibration cal = model6();
    const Identification ident{"V52", "01.02.2026", "12:30"};
    const LogContext first = contextOf(cal, ident, Image{}, "my\tride.ign");
    rec.setContext(first, 1000);
    rec.setContext(first, 1500);
    const auto jet3 = static_cast<Param>(RPM_JET_0 + 3);
    cal[jet3] = static_cast<std::uint8_t>(cal[jet3] + 1);
    const LogContext second = contextOf(cal, ident, Image{}, "my\tride.ign");
    EXPECT_NE(second.checksum, first.checksum);
    rec.setContext(second, 3250);
    LogContext third = second;
    third.widebandProtocol = WidebandProtocol::MotecPlm;
    third.stoichAfr = 14.6;
    rec.setContext(third, 3500);
    rec.stop(4000);
    EXPECT_EQ(rec.contextPath(), contextPathFor(rec.logPath()));
    const ContextReadResult r = readContextFile(rec.contextPath());
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.error, "");
    ASSERT_EQ(r.entries.size(), 3u);
    EXPECT_EQ(r.entries[0].timeMs, 0u);
    // Lines without a controller are those of older logs; a controller adds two fields.
    EXPECT_FALSE(r.entries[1].context.widebandProtocol);
    EXPECT_EQ(r.entries[2].context.widebandProtocol, WidebandProtocol::MotecPlm);
    EXPECT_EQ(r.entries[2].context.stoichAfr, 14.6);
    EXPECT_EQ(r.entries[2].context.checksum, second.checksum);
    EXPECT_EQ(r.entries[1].timeMs, 2250u);
    EXPECT_EQ(r.entries[1].context.rpms[3], 100 * cal[jet3]);
    EXPECT_EQ(r.entries[1].context.identification, "V52 01.02.2026 12:30");
    EXPECT_EQ(r.entries[1].context.calibrationFile, "my ride.ign");
    EXPECT_EQ(r.entries[1].context.checksum, second.checksum);
    std::ofstream(rec.contextPath(), std::ios::app) << "5000\t1000 2000";
    const ContextReadResult cut = readContextFile(rec.contextPath());
    EXPECT_EQ(cut.entries.size(), 3u);
    EXPECT_NE(cut.error.find("line 5"), std::string::npos) << cut.error;
    EXPECT_FALSE(readContextFile(tmp.path() + "/none.context").found);
}

// A ride with a wide-band controller: readings, a stretch without any (unplugged), warm-up
// lines, readings again. Each line comes in two pieces, the second in the millisecond of a frame
// but after it, as when the controller's port is read after the unit's. The log holds each
// sample's lambda and NaN, never 0, where it had none; the wide-band log holds every byte with
// its time, the second before the start included; and a replay, from the start or after a seek,
// joins to every replayed sample exactly the reading the ride joined.
TEST(Recorder, WidebandReadingsAreLoggedWithTheirGapsAndReplayedExactly) {
    const Session s = simulate(160);
    const test::TestDir tmp;
    const std::uint64_t t0 = 5000;
    struct Event {
        std::uint64_t timeMs;
        int order; // at one time: 0 bytes before the frame, 1 the frame, 2 bytes after it
        std::size_t frame;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Event> events;
    for (std::size_t i = 0; i < s.frames.size(); ++i) events.push_back({t0 + s.times[i], 1, i, {}});
    int ties = 0;
    for (std::uint64_t t = t0 - 600; t < t0 + s.times.back(); t += 100) {
        const std::uint64_t since = t - (t0 - 600);
        if (t >= t0 + 3000 && t < t0 + 5000) continue; // unplugged
        const bool warming = t >= t0 + 5000 && t < t0 + 5500;
        const std::vector<std::uint8_t> line = encodeWideband(
            WidebandProtocol::AemText, warming ? WidebandState::WarmingUp : WidebandState::Ok,
            0.8 + static_cast<double>(since / 100 % 40) / 100.0, 14.7);
        const auto frameAt = std::find_if(s.times.begin(), s.times.end(),
                                          [&](std::uint32_t f) { return t0 + f >= t; });
        const std::uint64_t rest = frameAt == s.times.end() ? t + 7 : t0 + *frameAt;
        ties += rest != t + 7;
        events.push_back({t, 0, 0, {line.begin(), line.begin() + 2}});
        events.push_back({rest, 2, 0, {line.begin() + 2, line.end()}});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.timeMs != b.timeMs ? a.timeMs < b.timeMs : a.order < b.order;
    });
    ASSERT_GT(ties, 50);

    Recorder rec;
    WidebandParser parser(WidebandProtocol::AemText, 14.7);
    WidebandJoin live;
    live.setConnected(true);
    live.setStoichAfr(14.7);
    LogContext context;
    context.widebandProtocol = WidebandProtocol::AemText;
    Decoding decode(model6()[AdvanceMax]);
    Session recorded;
    std::vector<EngineSample> joined;
    std::vector<Event> kept; // the bytes the wide-band log must hold
    std::vector<WidebandReading> readings;
    for (const Event& e : events) {
        if (!rec.recording() && e.timeMs >= t0) {
            ASSERT_TRUE(rec.start(tmp.path() + "/ride", 0, "", t0)) << rec.error();
            rec.setContext(context, t0);
        }
        if (e.order == 1) {
            EngineSample sample = decode(s.frames[e.frame], e.timeMs);
            live.join(sample);
            if (rec.record(sample, e.timeMs)) {
                recorded.records.push_back(rec.last());
                recorded.times.push_back(static_cast<std::uint32_t>(e.timeMs - t0));
                joined.push_back(sample);
            }
        } else {
            rec.recordWideband(e.timeMs, e.bytes.data(), e.bytes.size());
            if (e.timeMs + 1000 >= t0) kept.push_back(e);
            readings.clear();
            parser.feed(e.bytes.data(), e.bytes.size(), e.timeMs, readings);
            for (const WidebandReading& r : readings) live.add(r);
        }
        if (!rec.recording()) continue;
        rec.flushIfDue(e.timeMs);
        // On disk: whole entries only, and nothing older than a second waits in memory.
        const std::string onDisk = readFile(rec.widebandLogPath());
        const WidebandLogResult w = readWidebandLogFile(rec.widebandLogPath());
        std::size_t size = WidebandLogMagicSize, bytes = 0;
        for (const WidebandEntry& we : w.entries) {
            size += WidebandEntryHeaderSize + we.bytes.size();
            bytes += we.bytes.size();
        }
        ASSERT_EQ(onDisk.size(), size);
        std::size_t due = 0;
        for (const Event& k : kept) due += k.timeMs + 1000 < e.timeMs ? k.bytes.size() : 0;
        ASSERT_GE(bytes, due) << "at " << e.timeMs;
    }
    rec.stop(t0 + s.times.back());

    // The log: lambda where the sample had a reading, NaN in the gap and while warming up.
    const LogReadResult log = readMlgFile(rec.logPath());
    ASSERT_TRUE(log.ok) << log.error;
    expectRecordsEqual(log.data, recorded, recorded.records.size());
    std::size_t present = 0, gap = 0, warming = 0;
    for (std::size_t r = 0; r < log.data.records(); ++r) {
        const float lambda = log.data.columns[WbLambda][r];
        const auto state = static_cast<WidebandState>(log.data.columns[WbStatus][r]);
        EXPECT_EQ(std::isnan(lambda), !joined[r].widebandLambda) << r;
        EXPECT_EQ(std::isnan(log.data.columns[Afr][r]), std::isnan(lambda)) << r;
        present += state == WidebandState::Ok && lambda >= 0.8f && lambda <= 1.2f;
        gap += state == WidebandState::NoReading && std::isnan(lambda);
        warming += state == WidebandState::WarmingUp && std::isnan(lambda);
    }
    EXPECT_GT(present, 80u);
    EXPECT_GT(gap, 25u); // 2 s unplugged less the 200 ms a reading lasts
    EXPECT_GT(warming, 5u);
    EXPECT_TRUE(std::isnan(log.data.columns[WbAge][0]) == !joined[0].widebandAgeMs);
    const int node = mlgConverterCheck(rec.logPath(), recorded.records, 0, tmp.path());
    if (node == 77)
        std::printf("skipped: mlg-converter is not installed\n");
    else
        EXPECT_EQ(node, 0);

    // The wide-band log: every byte with its time, in the order it came.
    const WidebandLogResult w = readWidebandLogFile(widebandLogPathFor(rec.logPath()));
    ASSERT_TRUE(w.ok) << w.error;
    ASSERT_EQ(w.entries.size(), kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(w.entries[i].timeMs,
                  static_cast<std::int64_t>(kept[i].timeMs) - static_cast<std::int64_t>(t0))
            << i;
        EXPECT_EQ(w.entries[i].bytes, kept[i].bytes) << i;
    }
    EXPECT_LT(w.entries.front().timeMs, 0);

    // The replay: each replayed sample gets the ride's reading; a live one is left alone.
    const FrameLogResult frames = readFrameLogFile(rec.frameLogPath());
    ASSERT_EQ(frames.frames.size(), joined.size());
    ReplayWideband replay;
    replay.loadFor(rec.logPath());
    EXPECT_TRUE(replay.controller());
    Decoding again(model6()[AdvanceMax]);
    const auto play = [&](std::size_t from) {
        for (std::size_t i = from; i < frames.frames.size(); ++i) {
            replay.beforeFrame(i, frames.frames[i].timeMs);
            EngineSample r = again(frames.frames[i].frame, 987654321);
            r.replayed = true;
            replay.join(r);
            ASSERT_EQ(r.widebandLambda, joined[i].widebandLambda) << "frame " << i;
            ASSERT_EQ(r.widebandState, joined[i].widebandState) << "frame " << i;
            ASSERT_EQ(r.widebandAgeMs, joined[i].widebandAgeMs) << "frame " << i;
            ASSERT_EQ(r.stoichAfr, 14.7);
            ASSERT_EQ(r.timeMs, 987654321u);
        }
    };
    play(0);
    replay.seek(frames.frames[90].timeMs);
    play(90);
    EngineSample fromUnit = joined.back();
    fromUnit.widebandLambda = 0.5;
    replay.join(fromUnit);
    EXPECT_EQ(fromUnit.widebandLambda, 0.5);
    // A log without a wide-band log or controller: replayed samples have none.
    replay.loadFor(tmp.path() + "/none.mlg");
    EXPECT_FALSE(replay.controller());
    EngineSample r = joined[5];
    r.replayed = true;
    replay.join(r);
    EXPECT_FALSE(r.widebandLambda);
    EXPECT_FALSE(r.widebandConnected);
}

// A full disk (here a file size limit) stops the recording with a message; the log keeps
// every whole record written before.
TEST(Recorder, AFullDiskStopsTheRecordingAndKeepsWhatWasWritten) {
    const Session s = simulate(400);
    const test::TestDir tmp;
    const std::string& dir = tmp.path();
    Recorder rec;
    ASSERT_TRUE(rec.start(dir + "/full", 0, "", 0));
    const std::size_t header = readFile(rec.logPath()).size();
    const std::size_t block = MlgBlockHeaderSize + recordSize() + 1;
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = header + 150 * block + block / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Decoding decode;
    std::size_t i = 0;
    for (; i < s.frames.size() && rec.recording(); ++i) {
        rec.record(decode(s.frames[i], s.times[i]), s.times[i]);
        rec.flushIfDue(s.times[i]);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(rec.recording());
    EXPECT_LT(i, s.frames.size());
    EXPECT_NE(rec.error().find("recording stopped"), std::string::npos) << rec.error();
    const LogReadResult r = readMlgFile(rec.logPath());
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.data.truncated);
    EXPECT_EQ(r.data.records(), rec.recordsWritten());
    EXPECT_GT(r.data.records(), 100u);
    EXPECT_EQ(readFile(rec.logPath()).size(), header + r.data.records() * block);
}

namespace {

// What the program writes, by name: CSV export, data and frame logs, parameter file,
// recovery file, settings, and the unit's monitor texts.
std::vector<std::pair<std::string, std::string>> everythingWritten(const std::string& dir) {
    const Session s = simulate(40);
    std::vector<std::pair<std::string, std::string>> out;
    const LogReadResult log = readBytes(logBytes(s, 7));
    EXPECT_TRUE(log.ok);
    EXPECT_TRUE(exportCsv(log.data, dir + "/log.csv").ok);
    out.emplace_back("csv", readFile(dir + "/log.csv"));
    Recorder rec;
    EXPECT_TRUE(rec.start(dir + "/rec", 1765000000u, "info", 0));
    Decoding decode(model6()[AdvanceMax], true);
    std::string texts;
    for (std::size_t i = 0; i < s.frames.size(); ++i) {
        const EngineSample& sample = decode(s.frames[i], s.times[i]);
        for (const MonitorLine& l : decode.decoder.view().lines)
            texts += l.text.value_or("") + "\n";
        rec.record(sample, s.times[i]);
        if (i == 20) rec.marker("half 1.5", s.times[i]);
        if (i % 10 == 0) {
            Calibration cal = model6();
            cal[RPM_JET_0] = static_cast<std::uint8_t>(5 + i / 10);
            LogContext c = contextOf(cal, {"1.5", "01.02.2026", "12:30"}, Image{}, "ride 1,5.ign");
            if (i >= 20) c.widebandProtocol = WidebandProtocol::AemText, c.stoichAfr = 14.7;
            rec.setContext(c, s.times[i]);
        }
    }
    rec.stop(s.times.back());
    out.emplace_back("mlg", readFile(rec.logPath()));
    out.emplace_back("frames", readFile(rec.frameLogPath()));
    out.emplace_back("context", readFile(rec.contextPath()));
    out.emplace_back("monitor texts", texts);
    out.emplace_back("ign", formatParamFile(model6()));
    out.emplace_back("recovery", formatRecovery(model6(), 1765000000));
    {
        ProfileStore store(dir + "/Velmora52.ini");
        WindowSettings w;
        w.left = -1200;
        w.top = 15000;
        w.file = "ride 1.5.ign";
        EXPECT_TRUE(saveSettings(store, w, model6()).ok);
    }
    out.emplace_back("settings", readFile(dir + "/Velmora52.ini"));
    return out;
}

} // namespace

// A Czech or German locale writes decimal commas through printf; no file may follow it.
TEST(Locale, FilesAreWrittenTheSameInEveryLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const test::TestDir plainDir;
    const auto plain = everythingWritten(plainDir.path());
    EXPECT_NE(plain[0].second.find("\r\n0.000,"), std::string::npos); // the first record's time
    for (const char* name : {"cs_CZ.UTF-8", "de_DE.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) == nullptr) {
            // scripts/install-deps.sh generates both; CI must not pass without them.
            if (std::getenv("CI") != nullptr) ADD_FAILURE() << name << " is not installed";
            std::printf("skipped: the locale %s is not installed\n", name);
            continue;
        }
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        EXPECT_STREQ(probe, "1,5") << name; // the locale is the one that broke the export
        const test::TestDir dir;
        const auto local = everythingWritten(dir.path());
        std::setlocale(LC_ALL, before.c_str());
        ASSERT_EQ(local.size(), plain.size());
        for (std::size_t i = 0; i < plain.size(); ++i)
            EXPECT_EQ(local[i].second, plain[i].second) << plain[i].first << " under " << name;
    }
    std::setlocale(LC_ALL, before.c_str());
}

TEST(ReplayClock, PlaysAtItsSpeedPausesAndSeeks) {
    std::vector<TimedFrame> frames;
    for (std::uint32_t i = 0; i < 100; ++i)
        frames.push_back({i * 100, frameWith(static_cast<std::uint8_t>(0xB0 + i % 3),
                                             {{20, static_cast<int>(i)}})});
    ReplayClock clock(frames);
    EXPECT_TRUE(clock.paused());
    EXPECT_TRUE(clock.due(10'000).empty());
    clock.play(1000);
    EXPECT_EQ(clock.due(1000).size(), 1u); // the frame at 0 ms
    EXPECT_EQ(clock.due(1450).size(), 4u); // 100..400 ms
    clock.setSpeed(4, 1450);
    EXPECT_EQ(clock.due(1550).size(), 4u); // 400 ms of log in 100 ms
    EXPECT_EQ(clock.position(1550), 850u);
    clock.pause(1550);
    EXPECT_TRUE(clock.due(9000).empty());
    clock.seek(5000, 9000);
    EXPECT_EQ(clock.played(), 50u);
    clock.setSpeed(16, 9000);
    clock.play(9000);
    const std::vector<Frame> burst = clock.due(9100, 10);
    ASSERT_EQ(burst.size(), 10u); // 1600 ms due, limited per call
    EXPECT_EQ(burst.front()[20], 50);
    EXPECT_EQ(clock.due(9100).size(), 7u);
    EXPECT_FALSE(clock.finished());
    clock.due(100'000, 1000);
    EXPECT_TRUE(clock.finished());
    EXPECT_EQ(clock.length(), 9900u);
}
