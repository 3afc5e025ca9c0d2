#include "link/wideband.h"
#include "link/wideband_join.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>

using namespace velmora;

namespace {

using Bytes = std::vector<std::uint8_t>;
using P = WidebandProtocol;
using S = WidebandState;

Bytes text(const std::string& s) {
    return {s.begin(), s.end()};
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<WidebandReading> feed(WidebandParser& p, const Bytes& b, std::uint64_t t) {
    std::vector<WidebandReading> out;
    p.feed(b.data(), b.size(), t, out);
    return out;
}

// What a receiver at rxBaud makes of bytes sent back to back at txBaud (8N1, the line idle
// around them): the junk a port at the wrong rate delivers.
Bytes atRate(const Bytes& sent, int txBaud, int rxBaud) {
    if (sent.empty() || txBaud == rxBaud) return sent;
    const int tx = 76800 / txBaud, rx = 76800 / rxBaud; // bit times in ticks of 1/76800 s
    std::vector<bool> line(static_cast<std::size_t>(10 * rx), true);
    for (const std::uint8_t b : sent)
        for (int bit = 0; bit < 10; ++bit)
            line.insert(line.end(), static_cast<std::size_t>(tx),
                        bit == 9 || (bit > 0 && (b >> (bit - 1) & 1) != 0));
    line.insert(line.end(), static_cast<std::size_t>(10 * rx), true);
    Bytes got;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i]) {
            ++i;
            continue;
        }
        const auto at = [&](int bit) { return i + static_cast<std::size_t>(rx / 2 + bit * rx); };
        if (at(9) >= line.size()) break;
        unsigned v = 0;
        for (int k = 0; k < 8; ++k) v |= line[at(k + 1)] ? 1u << k : 0u;
        got.push_back(static_cast<std::uint8_t>(v));
        for (i = at(9); i < line.size() && !line[i];) ++i; // a framing error: wait for idle
    }
    return got;
}

// One expected reading; lambda 0 means none.
struct Expect {
    S state;
    double lambda = 0;
    int detail = 0;
};

struct FrameCase {
    const char* name;
    Bytes bytes;
    std::vector<Expect> expected;
};

// Each frame goes to a parser already in step (two leader frames), cut at every byte
// position; the readings must not depend on the cut, and a reading carries the time of the
// piece that completed it.
void checkFrames(P protocol, const Bytes& leader, const std::vector<FrameCase>& cases,
                 double stoich = 14.7) {
    for (const FrameCase& c : cases) {
        for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
            SCOPED_TRACE(::testing::Message() << c.name << ", cut at " << cut);
            WidebandParser p(protocol, stoich);
            feed(p, leader, 10);
            ASSERT_EQ(feed(p, leader, 20).size(), 1u);
            const std::uint64_t before = p.framesRejected();
            std::vector<WidebandReading> got =
                feed(p, Bytes(c.bytes.begin(), c.bytes.begin() + cut), 100);
            const std::uint64_t last = cut < c.bytes.size() ? 200 : 100;
            for (const WidebandReading& r :
                 feed(p, Bytes(c.bytes.begin() + cut, c.bytes.end()), 200))
                got.push_back(r);
            ASSERT_EQ(got.size(), c.expected.size());
            std::uint64_t invalid = 0;
            for (std::size_t i = 0; i < got.size(); ++i) {
                const Expect& e = c.expected[i];
                EXPECT_EQ(got[i].state, e.state) << i;
                EXPECT_EQ(got[i].lambda.has_value(), e.lambda > 0) << i;
                EXPECT_NEAR(got[i].lambda.value_or(0), e.lambda, 1e-9) << i;
                if (e.state != S::Ok && e.state != S::Invalid) {
                    EXPECT_EQ(got[i].detail, e.detail) << i;
                }
                invalid += got[i].state == S::Invalid;
            }
            if (!got.empty() && got.back().state != S::Invalid) {
                EXPECT_EQ(got.back().timeMs, last);
            }
            EXPECT_EQ(p.framesRejected() - before, invalid);
        }
    }
}

// Bytes written as hex pairs: "B2 82 43 13".
Bytes hex(const char* s) {
    Bytes b;
    for (char* end = nullptr;; s = end) {
        const unsigned long v = std::strtoul(s, &end, 16);
        if (end == s) return b;
        b.push_back(static_cast<std::uint8_t>(v));
    }
}

const Bytes MtsLambda1 = hex("B2 82 43 13 03 74"); // AF 147, L 500
const Bytes PlmLambda1 = hex("80 81 82 08 03 E8 00 00 04 01 12 34 02 C1");

} // namespace

TEST(WidebandFrames, InnovateMts) {
    const Expect bad{S::Invalid};
    checkFrames(P::InnovateMts, MtsLambda1,
                {
                    {"lambda 1.000", MtsLambda1, {{S::Ok, 1.0}}},
                    {"lambda 0.850", hex("B2 82 43 13 02 5E"), {{S::Ok, 0.85}}},
                    {"lambda 8.000", hex("B2 82 43 13 3A 4C"), {{S::Ok, 8.0}}},
                    {"lambda 8.100", hex("B2 82 43 13 3B 30"), {bad}},
                    {"recording", hex("F2 82 43 13 03 74"), {{S::Ok, 1.0}}},
                    {"aux first", hex("B2 83 01 23 43 13 03 74"), {{S::Ok, 1.0}}},
                    {"two sensors", hex("B2 84 43 13 02 5E 43 13 03 74"), {{S::Ok, 0.85}}},
                    {"O2 in free air", hex("B2 82 47 13 01 51"), {{S::Calibrating, 0, 209}}},
                    {"free-air cal", hex("B2 82 4B 13 00 00"), {{S::Calibrating}}},
                    {"needs cal", hex("B2 82 4F 13 00 05"), {{S::Calibrating, 0, 5}}},
                    {"warm-up 60 %", hex("B2 82 53 13 04 58"), {{S::WarmingUp, 0, 600}}},
                    {"heater cal", hex("B2 82 57 13 00 00"), {{S::Calibrating}}},
                    {"error 3", hex("B2 82 5B 13 00 03"), {{S::SensorError, 0, 3}}},
                    {"reserved", hex("B2 82 5F 13 03 74"), {bad}},
                    {"response packet", hex("A2 82 43 13 03 74"), {}},
                    {"aux only", hex("B2 81 01 23"), {}},
                    {"LM-1 form", hex("B2 82 81 13 03 74"), {bad}},
                    {"half a channel", hex("B2 81 43 13"), {bad}},
                    {"wrong fixed bit", hex("B2 82 63 13 03 74"), {bad}},
                    {"cut short", hex("B2 82 43 13 03") + MtsLambda1, {bad}},
                    {"stray inside", hex("B2 82 43 FF 13 03 74"), {bad}},
                    {"stray before", hex("11") + MtsLambda1, {bad}},
                });
}

TEST(WidebandFrames, MotecPlm) {
    const Expect bad{S::Invalid};
    const Bytes master = hex("80 81 82 20 03 98 03 E8 03 E8 03 E8 03 E8 03 E8 03 E8 03 E8 03 E8 "
                             "03 E8 03 E8 03 E8 03 E8 03 E8 03 E8 03 E8");
    Bytes noSensor = master;
    noSensor[4] = noSensor[5] = 0;
    const Bytes cut(PlmLambda1.begin(), PlmLambda1.end() - 1);
    checkFrames(
        P::MotecPlm, PlmLambda1,
        {
            {"lambda 1.000", PlmLambda1, {{S::Ok, 1.0}}},
            {"lambda 0.850", hex("80 81 82 08 03 52 00 00 04 01 00 00 01 E5"), {{S::Ok, 0.85}}},
            {"cold", hex("80 81 82 08 00 00 01 00 02 00 00 00 01 8E"), {{S::WarmingUp, 0, 2}}},
            {"faulty", hex("80 81 82 08 03 E8 00 01 07 00 00 00 02 7E"), {{S::SensorError, 0, 7}}},
            {"not in control",
             hex("80 81 82 08 03 E8 00 00 03 00 00 00 02 79"),
             {{S::Calibrating, 0, 3}}},
            {"lambda 0.400", hex("80 81 82 08 01 90 00 00 04 01 00 00 02 21"), {bad}},
            {"master, PLM 1 at 0.920", master + hex("10 03"), {{S::Ok, 0.92}}},
            {"master without sensor", noSensor + hex("0F 68"), {bad}},
            {"checksum", cut + hex("C2"), {bad}},
            {"length 9", hex("80 81 82 09 03 E8 00 00 04 01 12 34 00 02 C1"), {bad}},
            {"stray inside", hex("80 81 82 08 03 E8 00 00 04 55 01 12 34 02 C1"), {bad}},
            {"stray before", hex("00") + PlmLambda1, {bad, {S::Ok, 1.0}}},
            {"a byte lost", cut + PlmLambda1, {bad, {S::Ok, 1.0}}},
        });
}

// Under a locale whose decimal point is a comma the text must read the same.
TEST(WidebandFrames, AemTextInEveryLocale) {
    const Expect bad{S::Invalid};
    const std::vector<FrameCase> cases = {
        {"AFR 14.7", text("14.7\r\n"), {{S::Ok, 1.0}}},
        {"lambda 1.00", text("1.00\r\n"), {{S::Ok, 1.0}}},
        {"AFR 12.5", text("12.5\r\n"), {{S::Ok, 12.5 / 14.7}}},
        {"blanks", text("  0.85\t \r\n"), {{S::Ok, 0.85}}},
        {"lambda 2.99", text("2.99\r\n"), {{S::Ok, 2.99}}},
        {"AFR 3.0", text("3.0\r\n"), {bad}},
        {"AFR 147", text("147\r\n"), {bad}},
        {"warm-up", text("WARM UP\r\n"), {{S::WarmingUp}}},
        {"calibration", text("CAL\r\n"), {{S::Calibrating}}},
        {"error", text("ERROR\r\n"), {{S::SensorError}}},
        {"not one number each",
         text(std::string("14\x01"
                          "7\r\n1.0\0\r\n14.7x\r\n14,7\r\n1.0.0\r\n-14.7\r\n1e1\r\n"
                          "nan\r\n0.00\r\n\r\n",
                          57)),
         std::vector<Expect>(10, bad)},
        {"bad then good", text("14\x02.7\r\n14.7\r\n"), {bad}},
        {"two lines", text("14.7\r\n1.10\r\n"), {{S::Ok, 1.0}, {S::Ok, 1.1}}},
    };
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        if (std::setlocale(LC_ALL, locale) == nullptr) continue;
        SCOPED_TRACE(locale);
        checkFrames(P::AemText, text("14.7\r\n"), cases);
    }
    std::setlocale(LC_ALL, "C");
}

TEST(WidebandFrames, NumberPerLine) {
    checkFrames(P::NumberPerLine, text("1.00\n"),
                {
                    {"lambda", text("0.98\n"), {{S::Ok, 0.98}}},
                    {"E85 AFR", text("9.8\n"), {{S::Ok, 1.0}}},
                    {"CR LF", text("11.76\r\n"), {{S::Ok, 1.2}}},
                    {"word", text("lean\n"), {{S::Invalid}}},
                },
                9.8);
}

// Joined in the middle of a line or packet, the tail is not a value ("50" of "1.50" would be
// an AFR of 50); the first whole frame only brings the stream in step.
TEST(WidebandFrames, TheFirstFrameOnlyBringsTheStreamInStep) {
    const struct {
        P protocol;
        Bytes bytes;
    } cases[] = {
        {P::AemText, text("50\r\n1.10\r\n")},
        {P::NumberPerLine, text("5\n1.00\n1.10\n")},
        {P::InnovateMts,
         Bytes{0x03, 0x74} + MtsLambda1 + Bytes{0xB2, 0x82, 0x43, 0x13, 0x04, 0x58}},
    };
    for (const auto& c : cases) {
        WidebandParser p(c.protocol);
        const auto got = feed(p, c.bytes, 5);
        ASSERT_EQ(got.size(), 1u) << widebandProtocolKey(c.protocol);
        EXPECT_NEAR(got[0].lambda.value_or(0), 1.1, 1e-9);
        EXPECT_EQ(p.framesRejected(), 0u);
    }
}

// Whatever a simulated controller sends is read back as it was meant.
TEST(WidebandRoundTrip, EveryProtocolAndState) {
    const S states[] = {S::Ok,          S::WarmingUp, S::Calibrating,
                        S::SensorError, S::NoReading, S::Invalid};
    for (const P protocol : {P::InnovateMts, P::AemText, P::MotecPlm, P::NumberPerLine}) {
        const bool text = protocol == P::AemText || protocol == P::NumberPerLine;
        for (const double stoich : {14.7, 9.8}) {
            for (const bool afr : {true, false}) {
                for (const S state : states) {
                    for (const double lambda : {0.5, 0.72, 1.0, 1.37, 2.9, 7.9}) {
                        if (text && !afr && lambda >= 3) continue; // read as AFR by design
                        SCOPED_TRACE(::testing::Message()
                                     << widebandProtocolKey(protocol) << " stoich " << stoich
                                     << " afr " << afr << " state " << int(state) << " lambda "
                                     << lambda);
                        WidebandParser p(protocol, stoich);
                        const Bytes leader = encodeWideband(protocol, S::Ok, 1.0, stoich, afr);
                        feed(p, leader + leader, 1);
                        const Bytes sent = encodeWideband(protocol, state, lambda, stoich, afr, 37);
                        const auto got = feed(p, sent, 2);
                        if (state == S::NoReading || state == S::Invalid) {
                            EXPECT_TRUE(sent.empty());
                            EXPECT_TRUE(got.empty());
                            continue;
                        }
                        ASSERT_EQ(got.size(), 1u);
                        EXPECT_EQ(got[0].state, state);
                        EXPECT_EQ(got[0].timeMs, 2u);
                        EXPECT_EQ(got[0].detail, state == S::Ok || text ? 0 : 37);
                        ASSERT_EQ(got[0].lambda.has_value(), state == S::Ok);
                        if (state != S::Ok) continue;
                        const double step = !text ? 0.0005 : afr ? 0.051 / stoich : 0.0051;
                        EXPECT_NEAR(*got[0].lambda, lambda, step);
                    }
                }
            }
        }
    }
    // A simulator given nonsense still sends text, of which no lambda comes.
    for (const double stoich : {-14.7, 1e300, std::nan("")}) {
        WidebandParser p(P::AemText);
        feed(p, text("14.7\r\n14.7\r\n"), 1);
        const auto got = feed(p, encodeWideband(P::AemText, S::Ok, 1.0, stoich), 2);
        ASSERT_EQ(got.size(), 1u) << stoich;
        EXPECT_EQ(got[0].state, S::Invalid) << stoich;
    }
    for (int i = 0; i < WidebandProtocolCount; ++i) {
        const auto protocol = static_cast<P>(i);
        EXPECT_EQ(widebandProtocolFromKey(widebandProtocolKey(protocol)), protocol);
    }
    EXPECT_FALSE(widebandProtocolFromKey("MTS"));
}

namespace {

// An Automatic parser on a port that it sets to its own rate, ticked every 10 ms, against a
// controller that sends at its rate: at the wrong rate the parser gets what a port makes of it.
struct AutoRun {
    WidebandParser parser{P::Automatic};
    std::vector<WidebandReading> readings;
    int rateChanges = 0;

    void run(std::uint64_t from, std::uint64_t to, int txBaud,
             const std::function<Bytes(std::uint64_t)>& send) {
        for (std::uint64_t t = from; t < to; t += 10) {
            const Bytes b = atRate(send(t), txBaud, parser.baud());
            parser.feed(b.data(), b.size(), t, readings);
            if (parser.tick(t)) ++rateChanges;
        }
    }
};

std::function<Bytes(std::uint64_t)> controller(P protocol, std::uint64_t periodMs, double lambda) {
    return [=](std::uint64_t t) {
        if (t % periodMs != 0) return Bytes{};
        return encodeWideband(protocol, S::Ok, lambda, 14.7, protocol == P::AemText);
    };
}

// Random bytes; `lone`, when given, amid them every 300 ms.
std::function<Bytes(std::uint64_t)> junk(std::size_t bytesPerTick, unsigned seed,
                                         const Bytes& lone = {}) {
    auto random = std::make_shared<std::mt19937>(seed);
    return [=](std::uint64_t t) {
        Bytes b(bytesPerTick);
        for (auto& x : b) x = static_cast<std::uint8_t>((*random)());
        if (t % 300 == 0)
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(b.size() / 2), lone.begin(),
                     lone.end());
        return b;
    };
}

} // namespace

TEST(WidebandAutomatic, SettlesOnEachProtocolAtItsRate) {
    const struct {
        P protocol;
        std::uint64_t periodMs;
    } cases[] = {
        {P::InnovateMts, 80}, {P::AemText, 100}, {P::MotecPlm, 50}, {P::NumberPerLine, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(widebandProtocolKey(c.protocol));
        AutoRun a;
        a.run(0, 4000, widebandBaud(c.protocol), controller(c.protocol, c.periodMs, 0.87));
        EXPECT_EQ(a.parser.settled(), c.protocol);
        EXPECT_EQ(a.parser.baud(), widebandBaud(c.protocol));
        EXPECT_LE(a.rateChanges, 1);
        ASSERT_FALSE(a.readings.empty());
        EXPECT_LT(a.readings.front().timeMs, 1500u);
        for (const WidebandReading& r : a.readings) ASSERT_NEAR(r.lambda.value_or(0), 0.87, 0.004);
        EXPECT_GE(a.readings.size(), (4000 - a.readings.front().timeMs) / c.periodMs);
    }
}

// Settled, the parser keeps its protocol through a fault (Invalid readings, same rate) and
// through silence; only bytes in which nothing checks out for seconds make it listen again.
TEST(WidebandAutomatic, KeepsItsProtocolUntilAnotherControllerSpeaks) {
    AutoRun a;
    a.run(0, 2000, 9600, controller(P::MotecPlm, 50, 1.0));
    ASSERT_EQ(a.parser.settled(), P::MotecPlm);
    a.readings.clear();
    a.run(2000, 12000, 9600, [](std::uint64_t) { return Bytes{}; });
    a.run(12000, 15000, 9600, controller(P::AemText, 100, 1.0));
    EXPECT_EQ(a.parser.settled(), P::MotecPlm);
    EXPECT_EQ(a.parser.baud(), 9600);
    ASSERT_FALSE(a.readings.empty());
    for (const WidebandReading& r : a.readings) EXPECT_EQ(r.state, S::Invalid);
    a.run(15000, 20000, 9600, controller(P::AemText, 100, 1.0));
    EXPECT_EQ(a.parser.settled(), P::AemText);
}

// Junk, alone or with now and then a frame that checks out on its own, never settles; junk
// alone keeps the parser trying both rates.
TEST(WidebandAutomatic, RefusesJunkAtAnyRate) {
    for (const P protocol : {P::Automatic, P::InnovateMts, P::AemText, P::MotecPlm}) {
        SCOPED_TRACE(widebandProtocolKey(protocol));
        const int baud = widebandBaud(protocol);
        const Bytes lone = protocol == P::AemText
                               ? text("\n1.00\r\n")
                               : encodeWideband(protocol, S::Ok, 1.0, 14.7, false);
        AutoRun a;
        a.run(0, 30000, baud, junk(baud / 1000, static_cast<unsigned>(baud), lone));
        EXPECT_EQ(a.parser.settled(), P::Automatic);
        EXPECT_TRUE(a.readings.empty());
        EXPECT_GE(a.rateChanges, lone.empty() ? 20 : 0);
    }
}

// Junk, another controller's frames or an endless line: nothing invented, every fault counted.
TEST(WidebandBadInput, NoLambdaFromWhatDoesNotCheckOut) {
    const P protocols[] = {P::InnovateMts, P::AemText, P::MotecPlm, P::NumberPerLine};
    for (const P chosen : protocols) {
        const auto check = [&](const std::function<Bytes(std::uint64_t)>& send, const char* what) {
            SCOPED_TRACE(::testing::Message() << widebandProtocolKey(chosen) << ": " << what);
            WidebandParser p(chosen);
            std::vector<WidebandReading> got;
            for (std::uint64_t t = 0; t < 100000; t += 10) {
                const Bytes b = send(t);
                p.feed(b.data(), b.size(), t, got);
            }
            ASSERT_FALSE(got.empty());
            for (const WidebandReading& r : got) ASSERT_EQ(r.state, S::Invalid);
            EXPECT_EQ(p.framesRejected(), got.size());
        };
        check(junk(10, 7), "junk");
        for (const P sender : protocols) {
            const bool bothLines = (chosen == P::AemText || chosen == P::NumberPerLine) &&
                                   (sender == P::AemText || sender == P::NumberPerLine);
            if (sender != chosen && !bothLines)
                check(controller(sender, 50, 1.0), widebandProtocolKey(sender));
        }
    }
    // A megabyte of digits without a newline is one rejected line, not a number nor a heap.
    WidebandParser p(P::AemText);
    const Bytes endless(1 << 20, '1');
    const auto got = feed(p, endless + text("\r\n14.7\r\n14.7\r\n"), 1);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].state, S::Invalid);
    EXPECT_EQ(got[1].state, S::Ok);
    EXPECT_EQ(p.framesRejected(), 1u);
}

TEST(WidebandJoinTest, NewestReadingAtOrBeforeTheSampleWithin200Ms) {
    const WidebandReading ok800{800, S::Ok, 0.9, 0}, ok799{799, S::Ok, 0.9, 0},
        warm900{900, S::WarmingUp, std::nullopt, 40}, late{1001, S::Ok, 1.1, 0};
    const struct {
        const char* name;
        bool connected;
        std::vector<WidebandReading> readings;
        S state;
        std::optional<double> lambda;
        std::optional<std::uint32_t> age;
    } cases[] = {
        {"200 ms old", true, {ok800}, S::Ok, 0.9, 200},
        {"201 ms old", true, {ok799}, S::NoReading, std::nullopt, 201},
        {"status", true, {ok800, warm900}, S::WarmingUp, std::nullopt, 100},
        {"after the sample", true, {ok800, late}, S::Ok, 0.9, 200},
        {"only after", true, {late}, S::NoReading, std::nullopt, std::nullopt},
        {"not connected", false, {ok800}, S::NoReading, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        velmora::WidebandJoin join;
        join.setConnected(c.connected);
        for (const WidebandReading& r : c.readings) join.add(r);
        EngineSample s;
        s.timeMs = 1000;
        s.widebandLambda = 0.5;
        join.join(s);
        EXPECT_EQ(s.widebandConnected, c.connected);
        EXPECT_EQ(s.widebandState, c.state);
        EXPECT_EQ(s.widebandLambda, c.lambda);
        EXPECT_EQ(s.widebandAgeMs, c.age);
    }
}
