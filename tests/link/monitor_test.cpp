#include "link/monitor.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora;

namespace {

// Builds a monitor frame field by field; 16-bit values go high byte first.
struct MonitorFrame {
    Frame f{};
    explicit MonitorFrame(std::uint8_t kind) { f[0] = static_cast<std::uint8_t>(0xB0 + kind); }
    MonitorFrame& word(std::size_t n, unsigned v) {
        f[n] = static_cast<std::uint8_t>(v >> 8);
        f[n + 1] = static_cast<std::uint8_t>(v);
        return *this;
    }
    MonitorFrame& byte(std::size_t n, std::uint8_t v) {
        f[n] = v;
        return *this;
    }
    Frame done() const {
        Frame out = f;
        out[21] = checkByte(out);
        return out;
    }
};

// The smallest count whose sensor voltage (r x 2430 / 8184) is the given millivolts.
unsigned countFor(unsigned mv) {
    unsigned r = mv * 8184u / 2430u;
    while (r * 2430u / 8184u < mv) ++r;
    return r;
}

class MonitorTest : public ::testing::Test {
protected:
    MonitorDecoder decoder;
    MonitorSettings settings;

    bool decode(const MonitorFrame& m) { return decoder.decode(m.done(), settings); }
    const MonitorLine& line(MonitorLabel l) { return decoder.view().line(l); }
    std::string text(MonitorLabel l) { return line(l).text.value_or("<unset>"); }
    Colour colour(MonitorLabel l) { return line(l).colour.value_or(Colour::Blue); }

    // A kind-2 frame carrying the percentages and temperatures used by later frames.
    void carry(std::uint8_t tps, std::uint8_t iap, std::uint8_t water, std::uint8_t air) {
        ASSERT_TRUE(
            decode(MonitorFrame(2).byte(11, tps).byte(12, iap).byte(13, water).byte(14, air)));
    }
};

} // namespace

TEST_F(MonitorTest, EngineSpeedFromThePeriod) {
    const std::pair<unsigned, const char*> cases[] = {{0, "RPM = 0 "},
                                                      {20000, "RPM = 100 "},
                                                      {20001, "RPM = 0 "},
                                                      {1000, "RPM = 2000 "},
                                                      {1, "RPM = 2000000 "}};
    for (const auto& [period, expected] : cases) {
        decode(MonitorFrame(5).word(1, period));
        EXPECT_EQ(text(MonitorLabel::Rpm), expected) << period;
        EXPECT_EQ(colour(MonitorLabel::Rpm), Colour::BtnFace);
    }
}

TEST_F(MonitorTest, RpmColourComesFromTheLastSwitchFrame) {
    decode(MonitorFrame(1).byte(11, 0x0C)); // alarm and warning
    decode(MonitorFrame(0));
    EXPECT_EQ(colour(MonitorLabel::Rpm), Colour::Red);
    decode(MonitorFrame(1).byte(11, 0x04));
    EXPECT_EQ(colour(MonitorLabel::Rpm), Colour::Red); // the kind-1 frame itself used the old bits
    decode(MonitorFrame(2));
    EXPECT_EQ(colour(MonitorLabel::Rpm), Colour::Yellow);
    decode(MonitorFrame(1).byte(11, 0x00));
    decode(MonitorFrame(0));
    EXPECT_EQ(colour(MonitorLabel::Rpm), Colour::BtnFace);
}

TEST_F(MonitorTest, IntakePressureValidRange) {
    carry(10, 37, 120, 120);
    for (bool ext : {false, true}) {
        settings.extMonitor = ext;
        decode(MonitorFrame(0).word(3, 841));
        EXPECT_EQ(text(MonitorLabel::Podtlak), ext ? "IAP= error = 498 [mV]" : "IAP= error");
        EXPECT_EQ(colour(MonitorLabel::Podtlak), Colour::Red);
        decode(MonitorFrame(0).word(3, 8050));
        EXPECT_EQ(colour(MonitorLabel::Podtlak), Colour::Red);
        decode(MonitorFrame(0).word(3, 842));
        EXPECT_EQ(text(MonitorLabel::Podtlak), ext ? "IAP= 37 [%] = 500 [mV]" : "IAP= 37 [%]");
        EXPECT_EQ(colour(MonitorLabel::Podtlak), Colour::BtnFace);
        decode(MonitorFrame(0).word(3, 8049));
        EXPECT_EQ(colour(MonitorLabel::Podtlak), Colour::BtnFace);
    }
}

TEST_F(MonitorTest, ThrottleLineBarAndVoltage) {
    const unsigned r = countFor(1000); // 2v(r) = 2000 mV
    carry(40, 0, 100, 100);
    decode(MonitorFrame(0).word(7, r));
    EXPECT_EQ(decoder.values().TpsVoltage, 2000);
    EXPECT_EQ(text(MonitorLabel::Tps), "TP= 40 [%]");
    const MonitorView& v = decoder.view();
    EXPECT_EQ(v.bar(TpsBar::Tps1).left, 24);
    EXPECT_EQ(v.bar(TpsBar::Tps1).width, 100);
    EXPECT_TRUE(v.bar(TpsBar::Tps1).visible);
    EXPECT_EQ(v.bar(TpsBar::Tps2).left, 124);
    EXPECT_EQ(v.bar(TpsBar::Tps2).width, 150);

    settings.extMonitor = true;
    carry(100, 0, 100, 100);
    decode(MonitorFrame(0).word(7, r));
    EXPECT_EQ(text(MonitorLabel::Tps), "TP= 100 [%]= 2000 [mV]");
    EXPECT_EQ(v.bar(TpsBar::Tps1).width, 250);
    EXPECT_EQ(v.bar(TpsBar::Tps2).left, 274);
    EXPECT_EQ(v.bar(TpsBar::Tps2).width, 0);

    carry(101, 0, 100, 100);
    decode(MonitorFrame(0).word(7, r));
    EXPECT_EQ(text(MonitorLabel::Tps), "TP=error = 2000 [mV]");
    EXPECT_EQ(colour(MonitorLabel::Tps), Colour::Red);
    EXPECT_FALSE(v.bar(TpsBar::Tps1).visible);
    EXPECT_EQ(v.bar(TpsBar::Tps2).left, 24);
    EXPECT_EQ(v.bar(TpsBar::Tps2).width, 250);
    EXPECT_TRUE(v.bar(TpsBar::Tps2).visible);

    // The highest count still fits the 16-bit voltage.
    decode(MonitorFrame(0).word(7, 0xFFFF));
    EXPECT_EQ(decoder.values().TpsVoltage, 2 * (65535u * 2430u / 8184u));
}

TEST_F(MonitorTest, LambdaBarOverItsFourColours) {
    struct Case {
        unsigned mv;
        int w1, w2, w3, w4; // -1: hidden
    };
    const Case cases[] = {
        {0, -1, -1, -1, 240},   {401, -1, -1, -1, 240}, {403, 1, -1, -1, 239},
        {600, 80, -1, -1, 160}, {603, 80, 1, -1, 159},  {800, 80, 80, -1, 80},
        {803, 80, 80, 1, 79},   {1000, 80, 80, 80, 0},  {5000, 80, 80, 80, 0},
    };
    const MonitorView& v = decoder.view();
    for (const Case& c : cases) {
        decode(MonitorFrame(0).word(5, countFor(c.mv)));
        EXPECT_EQ(decoder.values().LambdaVoltage, c.mv);
        EXPECT_EQ(text(MonitorLabel::Lambda), "LAMBDA = " + std::to_string(c.mv) + " [mV]");
        const int widths[] = {c.w1, c.w2, c.w3, c.w4};
        int left = 352;
        for (int i = 0; i < 4; ++i) {
            const BarRect& b = v.lambdaBar[i];
            const bool shown = widths[i] >= 0;
            EXPECT_EQ(b.visible, shown) << c.mv << " bar " << i + 1;
            if (!shown) continue;
            // Each shown segment starts where the previous one ended.
            EXPECT_EQ(b.left, left) << c.mv << " bar " << i + 1;
            EXPECT_EQ(b.width, widths[i]) << c.mv << " bar " << i + 1;
            left += widths[i];
        }
    }
}

TEST_F(MonitorTest, SensorLinesOfKindZero) {
    settings.extMonitor = false;
    carry(0, 0, 200, 0);
    decoder.decode(MonitorFrame(1).word(19, 1013).done(), settings); // ApTenths
    decode(MonitorFrame(0).word(11, 842).word(13, countFor(500)).word(15, countFor(700)));
    EXPECT_EQ(text(MonitorLabel::Tlak), "AP = 101.3 [kPa]");
    EXPECT_EQ(colour(MonitorLabel::Tlak), Colour::BtnFace);
    EXPECT_EQ(text(MonitorLabel::Voda), "TW= 100 [°C]");
    EXPECT_EQ(colour(MonitorLabel::Voda), Colour::Yellow);
    EXPECT_EQ(text(MonitorLabel::Vzduch), "AT= 50 [°C]");
    EXPECT_EQ(colour(MonitorLabel::Vzduch), Colour::Red);

    settings.extMonitor = true;
    carry(0, 0, 199, 125);
    decoder.decode(MonitorFrame(1).word(19, 5).done(), settings);
    decode(MonitorFrame(0).word(11, 841).word(13, countFor(500)).word(15, countFor(700)));
    EXPECT_EQ(text(MonitorLabel::Tlak), "AP =  0.5 [kPa] = 498 [mV]");
    EXPECT_EQ(colour(MonitorLabel::Tlak), Colour::Red);
    EXPECT_EQ(text(MonitorLabel::Voda), "TW= 99 [°C]= 500 [mV]");
    EXPECT_EQ(colour(MonitorLabel::Voda), Colour::BtnFace);
    EXPECT_EQ(text(MonitorLabel::Vzduch), "AT= 25 [°C]= 700 [mV]");
    EXPECT_EQ(colour(MonitorLabel::Vzduch), Colour::BtnFace);

    carry(0, 0, 0, 0);
    decode(MonitorFrame(0).word(11, 8050));
    EXPECT_EQ(text(MonitorLabel::Voda), "TW= 80 [°C]= 0 [mV]");
    EXPECT_EQ(colour(MonitorLabel::Voda), Colour::Red);
    EXPECT_EQ(colour(MonitorLabel::Tlak), Colour::Red);
    settings.extMonitor = false;
    carry(0, 0, 50, 1);
    decode(MonitorFrame(0));
    EXPECT_EQ(text(MonitorLabel::Voda), "TW= -50 [°C]");
    EXPECT_EQ(text(MonitorLabel::Vzduch), "AT= -99 [°C]");

    decode(MonitorFrame(0).word(9, 100).word(19, 8184));
    EXPECT_EQ(text(MonitorLabel::CasJet), "INJ. TIME = 3000 [us]");
    EXPECT_EQ(text(MonitorLabel::PriveraPoz), "Privera poz.= 4860 [mV]");
    // Left as the last kind-1 frame (switch bit 0 clear) coloured it.
    EXPECT_EQ(colour(MonitorLabel::PriveraPoz), Colour::Red);
}

TEST_F(MonitorTest, SupplyVoltageGrades) {
    const std::pair<int, Colour> grades[] = {
        {7000, Colour::Red},      {7001, Colour::Yellow},   {11000, Colour::Yellow},
        {11001, Colour::BtnFace}, {14998, Colour::BtnFace}, {14999, Colour::Yellow},
        {17998, Colour::Yellow},  {17999, Colour::Red},
    };
    for (const auto& [mv, c] : grades) EXPECT_EQ(supplyColour(mv), c) << mv;

    // Through a frame: v = 941 mV gives U = 11001 mV.
    decode(MonitorFrame(0).word(17, countFor(941)));
    EXPECT_EQ(text(MonitorLabel::Napeti), "U = 11.0 [V]");
    EXPECT_EQ(colour(MonitorLabel::Napeti), Colour::BtnFace);
    decode(MonitorFrame(0).word(17, countFor(940)));
    EXPECT_EQ(colour(MonitorLabel::Napeti), Colour::Yellow);
    decode(MonitorFrame(0).word(17, 0));
    EXPECT_EQ(text(MonitorLabel::Napeti), "U =  0.6 [V]");
    EXPECT_EQ(colour(MonitorLabel::Napeti), Colour::Red);

    // The product is rounded to single precision before it is formatted: these voltages lie a
    // hair below the half tenth there, and one tenth higher when 0.001 is rounded first.
    const std::pair<int, const char*> halves[] = {
        {600, "U =  7.2 [V]"},  {800, "U =  9.4 [V]"},  {1000, "U = 11.6 [V]"},
        {1300, "U = 14.9 [V]"}, {1400, "U = 16.0 [V]"}, {1500, "U = 17.1 [V]"},
    };
    for (const auto& [mv, shown] : halves) {
        decode(MonitorFrame(0).word(17, countFor(mv)));
        EXPECT_EQ(text(MonitorLabel::Napeti), shown) << mv;
    }
}

TEST_F(MonitorTest, SwitchFrameSetsEveryStateLine) {
    settings.advanceMax = 40;
    settings.gasEnable = true;
    decode(MonitorFrame(1).byte(11, 0xFF).byte(12, 30).word(15, 1234).word(17, 8184));
    EXPECT_EQ(text(MonitorLabel::Blocking), "Blocking = ON");
    EXPECT_EQ(colour(MonitorLabel::Blocking), Colour::Red);
    EXPECT_EQ(text(MonitorLabel::Clutch), "Clutch master = ON");
    EXPECT_EQ(colour(MonitorLabel::Clutch), Colour::Lime);
    EXPECT_EQ(text(MonitorLabel::Limiter1), "Start Limiter = ON");
    EXPECT_EQ(colour(MonitorLabel::Limiter1), Colour::White);
    EXPECT_EQ(text(MonitorLabel::TachoLambda), "Tacho/Lambda = Tacho");
    EXPECT_EQ(colour(MonitorLabel::TachoLambda), Colour::BtnFace);
    EXPECT_EQ(text(MonitorLabel::N2oEnable), "Activation N2O = ON");
    EXPECT_EQ(colour(MonitorLabel::N2oEnable), Colour::Lime);
    EXPECT_EQ(line(MonitorLabel::N2oEnable).visible, true);
    EXPECT_EQ(colour(MonitorLabel::PriveraPoz), Colour::BtnFace);
    EXPECT_EQ(colour(MonitorLabel::PriveraMer), Colour::BtnFace);
    EXPECT_EQ(text(MonitorLabel::PriveraMer), "Privera mer.= 5000 [mV]");
    EXPECT_EQ(text(MonitorLabel::Advance), "ADVANCE = 10 [°]");
    EXPECT_EQ(text(MonitorLabel::PocetProgramovani), "Number of Programing= 1234 ");
    EXPECT_EQ(line(MonitorLabel::PocetProgramovani).visible, false);
    EXPECT_TRUE(decoder.values().RpmAlarm);
    EXPECT_TRUE(decoder.values().RpmWarning);

    settings.gasEnable = false;
    settings.extMonitor = true;
    decode(MonitorFrame(1).byte(11, 0x00).byte(12, 40));
    EXPECT_EQ(text(MonitorLabel::Blocking), "Blocking = OFF");
    EXPECT_EQ(colour(MonitorLabel::Blocking), Colour::BtnFace);
    EXPECT_EQ(text(MonitorLabel::Clutch), "Clutch master = OFF");
    EXPECT_EQ(text(MonitorLabel::Limiter1), "Start limiter = OFF");
    EXPECT_EQ(text(MonitorLabel::TachoLambda), "Tacho/Lambda = Lambda");
    EXPECT_EQ(colour(MonitorLabel::TachoLambda), Colour::Fuchsia);
    EXPECT_EQ(text(MonitorLabel::N2oEnable), "Activation N2O = OFF");
    EXPECT_EQ(line(MonitorLabel::N2oEnable).visible, false);
    EXPECT_EQ(colour(MonitorLabel::PriveraPoz), Colour::Red);
    EXPECT_EQ(colour(MonitorLabel::PriveraMer), Colour::Red);
    EXPECT_EQ(text(MonitorLabel::Advance), "ADVANCE = 0 [°]");
    EXPECT_EQ(line(MonitorLabel::PocetProgramovani).visible, true);
    decode(MonitorFrame(1).byte(12, 200));
    EXPECT_EQ(text(MonitorLabel::Advance), "ADVANCE = 0 [°]");

    // Frames of the other kinds leave both lines as a check box may have put them since.
    for (std::uint8_t kind : {0, 2, 5}) {
        decode(MonitorFrame(kind));
        EXPECT_FALSE(line(MonitorLabel::N2oEnable).visible.has_value()) << int(kind);
        EXPECT_FALSE(line(MonitorLabel::PocetProgramovani).visible.has_value()) << int(kind);
    }
}

TEST_F(MonitorTest, TestValuesAreWrittenButNeverShown) {
    decode(MonitorFrame(2).word(15, 1).word(17, 65535).word(19, 300));
    EXPECT_EQ(text(MonitorLabel::Test1), "Test1 = 1 ");
    EXPECT_EQ(text(MonitorLabel::Test2), "Test2 = 65535 ");
    EXPECT_EQ(text(MonitorLabel::Test3), "Test3 = 300 ");
    EXPECT_FALSE(line(MonitorLabel::Test1).visible.has_value());
}

TEST_F(MonitorTest, OtherKindsUpdateOnlyTheCommonLines) {
    EXPECT_TRUE(decode(MonitorFrame(5).word(1, 1000).word(9, 7)));
    EXPECT_EQ(text(MonitorLabel::Rpm), "RPM = 2000 ");
    EXPECT_EQ(text(MonitorLabel::CasJet), "INJ. TIME = 210 [us]");
    for (MonitorLabel l : {MonitorLabel::Tlak, MonitorLabel::Voda, MonitorLabel::Napeti,
                           MonitorLabel::Blocking, MonitorLabel::Advance, MonitorLabel::Test1}) {
        EXPECT_FALSE(line(l).text.has_value()) << monitorLabelName(l);
    }
    EXPECT_EQ(decoder.values().ApTenths, 0);
}

TEST_F(MonitorTest, BadFramesChangeNothing) {
    carry(33, 44, 150, 150);
    const MonitorValues before = decoder.values();
    const std::string rpm = text(MonitorLabel::Rpm);

    Frame broken = MonitorFrame(2).byte(11, 99).word(1, 1000).done();
    broken[21] ^= 0x01;
    EXPECT_FALSE(decoder.decode(broken, settings));
    Frame reply = MonitorFrame(2).byte(11, 99).done();
    reply[0] = 0xC2;
    reply[21] = checkByte(reply);
    EXPECT_FALSE(decoder.decode(reply, settings));

    EXPECT_EQ(decoder.values().TpsPercent, before.TpsPercent);
    EXPECT_EQ(decoder.values().IapPercent, before.IapPercent);
    EXPECT_EQ(text(MonitorLabel::Rpm), rpm);
}
