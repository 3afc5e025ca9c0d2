// Decoding of the monitor frames the unit sends on its own into the lines and bar graphs of
// the Monitor tab. All monitor texts are English in every language.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/colours.h"
#include "link/frame.h"

namespace velmora {

// The text lines of the Monitor tab.
enum class MonitorLabel {
    Rpm,
    Podtlak,
    Lambda,
    Tps,
    CasJet,
    Tlak,
    Voda,
    Vzduch,
    Napeti,
    PriveraPoz,
    Blocking,
    Clutch,
    Limiter1,
    TachoLambda,
    N2oEnable,
    PriveraMer,
    Advance,
    PocetProgramovani,
    Test1,
    Test2,
    Test3,
};
constexpr std::size_t MonitorLabelCount = 21;

// The object name of a line's label, e.g. "LabelRpm".
const char* monitorLabelName(MonitorLabel l);

// A line as the decoder last set it. A part that no frame has set yet is empty: the label
// keeps what the form gave it. `visible` is set only by the frame just decoded.
struct MonitorLine {
    std::optional<std::string> text; // UTF-8
    std::optional<Colour> colour;
    std::optional<bool> visible;
};

// A bar label's horizontal placement; its top and height never change. A hidden bar keeps the
// place it had.
struct BarRect {
    int left = 0;
    int width = 0;
    bool visible = false;
};

enum class LambdaBar { Graf1, Graf2, Graf3, Graf4 }; // blue, lime, red, white
enum class TpsBar { Tps1, Tps2 };                    // fuchsia, white

struct MonitorView {
    std::array<MonitorLine, MonitorLabelCount> lines{};
    // LabelBarGraf1..4 and LabelBarTps1..2, starting where the form puts them.
    std::array<BarRect, 4> lambdaBar{
        {{352, 30, false}, {416, 30, false}, {488, 30, false}, {536, 30, false}}};
    std::array<BarRect, 2> tpsBar{{{40, 32, false}, {128, 32, false}}};

    MonitorLine& line(MonitorLabel l) { return lines[static_cast<std::size_t>(l)]; }
    const MonitorLine& line(MonitorLabel l) const { return lines[static_cast<std::size_t>(l)]; }
    BarRect& bar(LambdaBar b) { return lambdaBar[static_cast<std::size_t>(b)]; }
    const BarRect& bar(LambdaBar b) const { return lambdaBar[static_cast<std::size_t>(b)]; }
    BarRect& bar(TpsBar b) { return tpsBar[static_cast<std::size_t>(b)]; }
    const BarRect& bar(TpsBar b) const { return tpsBar[static_cast<std::size_t>(b)]; }
};

// The window values the decoder reads.
struct MonitorSettings {
    bool extMonitor = false;
    bool gasEnable = false;
    std::uint8_t advanceMax = 0;
    int lambdaLeft = 352; // left edge of LabelLambda
    int tpsLeft = 24;     // left edge of LabelTps
};

// Values carried from frame to frame; never reset.
struct MonitorValues {
    std::uint16_t TpsVoltage = 0; // mV, for the TPS calibration buttons
    std::uint16_t ApTenths = 0;   // atmospheric pressure in 0.1 kPa, from kind 1
    std::uint8_t TpsPercent = 0;  // from kind 2
    std::uint8_t IapPercent = 0;
    std::uint8_t WaterRaw = 0; // temperature + 100; 0 is a sensor fault
    std::uint8_t AirRaw = 0;
    bool RpmAlarm = false; // from kind 1
    bool RpmWarning = false;
    std::uint16_t LambdaVoltage = 0; // of the frame last decoded
};

// Conversions of a monitor frame's quantities, shared by the decoder and the engine samples.
unsigned frameWord(const Frame& f, std::size_t n); // bytes n, n+1, high byte first
unsigned rpmOfPeriod(unsigned period);             // 0 for a period of 0 or below 100 rpm
int sensorMv(unsigned counts);                     // v(r) = r * 2430 / 8184
int supplyMv(unsigned counts);                     // 11 v(r) + 650
int priveraPositionMv(unsigned counts);            // r * 4860 / 8184
int priveraMeasurementMv(unsigned counts);         // r * 5000 / 8184
int advanceDegrees(std::uint8_t timing, std::uint8_t advanceMax);

// Grade of the supply voltage in mV: red at 17999 and above or 7000 and below, yellow at 14999
// and above or 11000 and below, normal between.
Colour supplyColour(int millivolts);

class MonitorDecoder {
public:
    // DecodeMonitorFrame. Returns true when the frame was a monitor frame with a good check
    // byte and so updated the view; otherwise nothing changes.
    bool decode(const Frame& frame, const MonitorSettings& settings);

    const MonitorView& view() const { return view_; }
    const MonitorValues& values() const { return values_; }

private:
    void drawLambdaBar(int x0);
    void drawTpsBar(int x0);

    MonitorView view_;
    MonitorValues values_;
};

} // namespace velmora
