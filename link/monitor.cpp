#include "link/monitor.h"

#include <cstdarg>
#include <cstdio>

#include "model/c_locale.h"

namespace velmora {

namespace {

const char* const labelNames[MonitorLabelCount] = {
    "LabelRpm",        "LabelPodtlak",      "LabelLambda",
    "LabelTps",        "LabelCasJet",       "LabelTlak",
    "LabelVoda",       "LabelVzduch",       "LabelNapeti",
    "LabelPriveraPoz", "LabelBlocking",     "LabelClutch",
    "LabelLimiter1",   "LabelTacho_Lambda", "LabelN2oEnable",
    "LabelPriveraMer", "LabelAdvance",      "LabelPocetProgramovani",
    "LabelTest1",      "LabelTest2",        "LabelTest3",
};

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* fmt, ...) {
    const CNumericScope c; // the unit's texts read "13.5" in every locale
    char buffer[96];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    if (n < 0) return std::string();
    return std::string(buffer, static_cast<std::size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);
}

unsigned word(const Frame& f, std::size_t n) {
    return frameWord(f, n);
}

bool pressureValid(unsigned r) {
    return r >= 842 && r <= 8049;
}

void set(MonitorLine& line, std::string text, Colour colour) {
    line.text = std::move(text);
    line.colour = colour;
}

} // namespace

unsigned frameWord(const Frame& f, std::size_t n) {
    return 256u * f[n] + f[n + 1];
}

unsigned rpmOfPeriod(unsigned period) {
    const unsigned rpm = period == 0 ? 0 : 2000000u / period;
    return rpm < 100 ? 0 : rpm;
}

int sensorMv(unsigned r) {
    return static_cast<int>(r * 2430u / 8184u);
}

int supplyMv(unsigned r) {
    return 11 * sensorMv(r) + 650;
}

int priveraPositionMv(unsigned r) {
    return static_cast<int>(r * 4860u / 8184u);
}

int priveraMeasurementMv(unsigned r) {
    return static_cast<int>(r * 5000u / 8184u);
}

int advanceDegrees(std::uint8_t timing, std::uint8_t advanceMax) {
    return timing < advanceMax ? advanceMax - timing : 0;
}

Colour supplyColour(int millivolts) {
    if (millivolts >= 17999 || millivolts <= 7000) return Colour::Red;
    if (millivolts >= 14999 || millivolts <= 11000) return Colour::Yellow;
    return Colour::BtnFace;
}

const char* monitorLabelName(MonitorLabel l) {
    return labelNames[static_cast<std::size_t>(l)];
}

bool MonitorDecoder::decode(const Frame& f, const MonitorSettings& s) {
    if (!isMonitorCommand(f[0]) || !checkOk(f)) return false;
    MonitorValues& v = values_;
    MonitorView& out = view_;
    // Only a switch frame says whether its two lines are shown; every other frame leaves them
    // as the check boxes last put them.
    for (MonitorLine& line : out.lines) line.visible.reset();

    // Engine speed, coloured by the switch bits of the last kind-1 frame.
    const unsigned rpm = rpmOfPeriod(word(f, 1));
    const Colour rpmColour = v.RpmAlarm     ? Colour::Red
                             : v.RpmWarning ? Colour::Yellow
                                            : Colour::BtnFace;
    set(out.line(MonitorLabel::Rpm), format("RPM = %d ", static_cast<int>(rpm)), rpmColour);

    const unsigned iap = word(f, 3);
    MonitorLine& podtlak = out.line(MonitorLabel::Podtlak);
    if (!pressureValid(iap)) {
        set(podtlak,
            s.extMonitor ? format("IAP= error = %d [mV]", 2 * sensorMv(iap)) : "IAP= error",
            Colour::Red);
    } else if (s.extMonitor) {
        set(podtlak, format("IAP= %d [%%] = %d [mV]", v.IapPercent, 2 * sensorMv(iap)),
            Colour::BtnFace);
    } else {
        set(podtlak, format("IAP= %d [%%]", v.IapPercent), Colour::BtnFace);
    }

    v.LambdaVoltage = static_cast<std::uint16_t>(sensorMv(word(f, 5)));
    out.line(MonitorLabel::Lambda).text = format("LAMBDA = %d [mV]", v.LambdaVoltage);
    drawLambdaBar(s.lambdaLeft);

    v.TpsVoltage = static_cast<std::uint16_t>(2 * sensorMv(word(f, 7)));
    MonitorLine& tps = out.line(MonitorLabel::Tps);
    if (v.TpsPercent > 100) {
        set(tps, format("TP=error = %d [mV]", v.TpsVoltage), Colour::Red);
    } else if (s.extMonitor) {
        set(tps, format("TP= %d [%%]= %d [mV]", v.TpsPercent, v.TpsVoltage), Colour::BtnFace);
    } else {
        set(tps, format("TP= %d [%%]", v.TpsPercent), Colour::BtnFace);
    }
    drawTpsBar(s.tpsLeft);

    out.line(MonitorLabel::CasJet).text =
        format("INJ. TIME = %d [us]", static_cast<int>(30 * word(f, 9)));

    switch (f[0] & 0x0F) {
    case 0: {
        const unsigned ap = word(f, 11);
        const float kpa = static_cast<float>(v.ApTenths) * 0.1f;
        const Colour apColour = pressureValid(ap) ? Colour::BtnFace : Colour::Red;
        set(out.line(MonitorLabel::Tlak),
            s.extMonitor
                ? format("AP = %4.1f [kPa] = %d [mV]", static_cast<double>(kpa), 2 * sensorMv(ap))
                : format("AP = %4.1f [kPa]", static_cast<double>(kpa)),
            apColour);

        const int waterMv = sensorMv(word(f, 13));
        int water = 80;
        Colour waterColour = Colour::Red;
        if (v.WaterRaw != 0) {
            water = v.WaterRaw - 100;
            waterColour = v.WaterRaw >= 200 ? Colour::Yellow : Colour::BtnFace;
        }
        set(out.line(MonitorLabel::Voda),
            s.extMonitor ? format("TW= %d [°C]= %d [mV]", water, waterMv)
                         : format("TW= %d [°C]", water),
            waterColour);

        const int airMv = sensorMv(word(f, 15));
        int air = 50;
        Colour airColour = Colour::Red;
        if (v.AirRaw != 0) {
            air = v.AirRaw - 100;
            airColour = Colour::BtnFace;
        }
        set(out.line(MonitorLabel::Vzduch),
            s.extMonitor ? format("AT= %d [°C]= %d [mV]", air, airMv) : format("AT= %d [°C]", air),
            airColour);

        const int u = supplyMv(word(f, 17));
        set(out.line(MonitorLabel::Napeti),
            format("U = %4.1f [V]", static_cast<double>(static_cast<float>(u * 0.001))),
            supplyColour(u));

        out.line(MonitorLabel::PriveraPoz).text =
            format("Privera poz.= %d [mV]", priveraPositionMv(word(f, 19)));
        break;
    }
    case 1: {
        const std::uint8_t sw = f[11];
        set(out.line(MonitorLabel::Blocking), sw & 0x80 ? "Blocking = ON" : "Blocking = OFF",
            sw & 0x80 ? Colour::Red : Colour::BtnFace);
        set(out.line(MonitorLabel::Clutch),
            sw & 0x40 ? "Clutch master = ON" : "Clutch master = OFF",
            sw & 0x40 ? Colour::Lime : Colour::BtnFace);
        set(out.line(MonitorLabel::Limiter1),
            sw & 0x20 ? "Start Limiter = ON" : "Start limiter = OFF",
            sw & 0x20 ? Colour::White : Colour::BtnFace);
        set(out.line(MonitorLabel::TachoLambda),
            sw & 0x10 ? "Tacho/Lambda = Tacho" : "Tacho/Lambda = Lambda",
            sw & 0x10 ? Colour::BtnFace : Colour::Fuchsia);

        v.RpmAlarm = (sw & 0x08) != 0;
        v.RpmWarning = (sw & 0x04) != 0;

        MonitorLine& n2o = out.line(MonitorLabel::N2oEnable);
        n2o.visible = s.gasEnable;
        set(n2o, sw & 0x02 ? "Activation N2O = ON" : "Activation N2O = OFF",
            sw & 0x02 ? Colour::Lime : Colour::BtnFace);

        const Colour privera = sw & 0x01 ? Colour::BtnFace : Colour::Red;
        out.line(MonitorLabel::PriveraPoz).colour = privera;
        out.line(MonitorLabel::PriveraMer).colour = privera;

        const std::uint8_t b = f[12];
        out.line(MonitorLabel::Advance).text =
            format("ADVANCE = %d [°]", advanceDegrees(b, s.advanceMax));

        MonitorLine& count = out.line(MonitorLabel::PocetProgramovani);
        count.visible = s.extMonitor;
        count.text = format("Number of Programing= %d ", static_cast<int>(word(f, 15)));

        out.line(MonitorLabel::PriveraMer).text =
            format("Privera mer.= %d [mV]", priveraMeasurementMv(word(f, 17)));

        v.ApTenths = static_cast<std::uint16_t>(word(f, 19));
        break;
    }
    case 2:
        v.TpsPercent = f[11];
        v.IapPercent = f[12];
        v.WaterRaw = f[13];
        v.AirRaw = f[14];
        out.line(MonitorLabel::Test1).text = format("Test1 = %d ", static_cast<int>(word(f, 15)));
        out.line(MonitorLabel::Test2).text = format("Test2 = %d ", static_cast<int>(word(f, 17)));
        out.line(MonitorLabel::Test3).text = format("Test3 = %d ", static_cast<int>(word(f, 19)));
        break;
    default:
        break;
    }
    return true;
}

// 400 mV to 1000 mV over 240 pixels: blue to 600 mV, lime to 800 mV, red to 1000 mV, the
// rest white.
void MonitorDecoder::drawLambdaBar(int x0) {
    BarRect& b1 = view_.bar(LambdaBar::Graf1);
    BarRect& b2 = view_.bar(LambdaBar::Graf2);
    BarRect& b3 = view_.bar(LambdaBar::Graf3);
    BarRect& b4 = view_.bar(LambdaBar::Graf4);
    // Sixteen-bit arithmetic, as the unit's counts are scaled everywhere.
    const std::uint16_t s = static_cast<std::uint16_t>(4u * values_.LambdaVoltage) / 10u;
    if (s <= 160) {
        b1.visible = b2.visible = b3.visible = false;
        b4 = {x0, 240, true};
        return;
    }
    int d = s - 160;
    if (d > 240) d = 240;
    b4 = {x0 + d, 240 - d, true};
    if (d <= 80) {
        b1 = {x0, d, true};
        b2.visible = b3.visible = false;
    } else if (d <= 160) {
        b1 = {x0, 80, true};
        b2 = {x0 + 80, d - 80, true};
        b3.visible = false;
    } else {
        b1 = {x0, 80, true};
        b2 = {x0 + 80, 80, true};
        b3 = {x0 + 160, d - 160, true};
    }
}

void MonitorDecoder::drawTpsBar(int x0) {
    BarRect& b1 = view_.bar(TpsBar::Tps1);
    BarRect& b2 = view_.bar(TpsBar::Tps2);
    const int p = values_.TpsPercent > 100 ? 0 : values_.TpsPercent;
    const int w = 25 * p / 10;
    if (w == 0) {
        b1.visible = false;
        b2 = {x0, 250, true};
    } else {
        b1 = {x0, w, true};
        b2 = {x0 + w, 250 - w, true};
    }
}

} // namespace velmora
