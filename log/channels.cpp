#include "log/channels.h"

namespace velmora::log {

namespace {

using F = FieldType;
using S = DisplayStyle;

// Names follow the common viewers ("RPM", "TPS", "CLT", "IAT", "Batt V", "PW" ...), so their
// automatic channel matching finds them. The narrow-band probe voltage and the manifold
// pressure in percent must not match the viewers' "Lambda" (about 1) or "MAP" (kPa).
const std::array<Channel, ChannelCount> table{{
    {"Time", "s", F::U32, 0.001f, 3, S::Float},
    {"RPM", "rpm", F::U16, 1.0f, 0, S::Float},
    {"TPS", "%", F::U08, 1.0f, 0, S::Float},
    {"TPS mV", "mV", F::U16, 1.0f, 0, S::Float},
    {"MAP %", "%", F::U08, 1.0f, 0, S::Float},
    {"MAP mV", "mV", F::U16, 1.0f, 0, S::Float},
    {"O2 mV", "mV", F::U16, 1.0f, 0, S::Float},
    {"PW", "ms", F::U32, 0.001f, 3, S::Float},
    {"Baro", "kPa", F::U16, 0.1f, 1, S::Float},
    {"CLT", "C", F::S16, 1.0f, 0, S::Float},
    {"CLT fault", "", F::U08, 1.0f, 0, S::YesNo},
    {"IAT", "C", F::S16, 1.0f, 0, S::Float},
    {"IAT fault", "", F::U08, 1.0f, 0, S::YesNo},
    {"Batt V", "V", F::U16, 0.001f, 2, S::Float},
    {"Advance", "deg", F::U08, 1.0f, 0, S::Float},
    {"Privera pos", "mV", F::U16, 1.0f, 0, S::Float},
    {"Privera meas", "mV", F::U16, 1.0f, 0, S::Float},
    {"Programmings", "", F::U16, 1.0f, 0, S::Float},
    {"Blocking", "", F::U08, 1.0f, 0, S::OnOff},
    {"Clutch master", "", F::U08, 1.0f, 0, S::OnOff},
    {"Start limiter", "", F::U08, 1.0f, 0, S::OnOff},
    {"Tacho input", "", F::U08, 1.0f, 0, S::YesNo},
    {"N2O", "", F::U08, 1.0f, 0, S::OnOff},
    {"RPM warning", "", F::U08, 1.0f, 0, S::OnOff},
    {"RPM alarm", "", F::U08, 1.0f, 0, S::OnOff},
    {"Privera normal", "", F::U08, 1.0f, 0, S::YesNo},
    {"Frame kind", "", F::U08, 1.0f, 0, S::Float},
}};

} // namespace

const std::array<Channel, ChannelCount>& channels() {
    return table;
}

std::size_t storedSize(FieldType t) {
    switch (t) {
    case F::U08:
    case F::S08:
        return 1;
    case F::U16:
    case F::S16:
        return 2;
    case F::U32:
    case F::S32:
        return 4;
    }
    return 0;
}

std::size_t recordSize() {
    std::size_t n = 0;
    for (const Channel& c : table) n += storedSize(c.type);
    return n;
}

void RecordBuilder::update(const Frame& f, const MonitorValues& v, std::uint8_t advanceMax,
                           std::uint32_t timeMs) {
    Record& r = r_;
    r[Time] = timeMs;
    r[Rpm] = rpmOfPeriod(frameWord(f, 1));
    r[Tps] = v.TpsPercent;
    r[TpsMv] = v.TpsVoltage;
    r[Map] = v.IapPercent;
    r[MapMv] = 2 * sensorMv(frameWord(f, 3));
    r[Lambda] = v.LambdaVoltage;
    r[InjectionTime] = 30 * static_cast<std::int64_t>(frameWord(f, 9));
    r[Baro] = v.ApTenths;
    // A sensor fault shows the substitute temperature, as the Monitor page does.
    r[CltFault] = v.WaterRaw == 0;
    r[Clt] = v.WaterRaw == 0 ? 80 : v.WaterRaw - 100;
    r[IatFault] = v.AirRaw == 0;
    r[Iat] = v.AirRaw == 0 ? 50 : v.AirRaw - 100;
    r[RpmWarning] = v.RpmWarning;
    r[RpmAlarm] = v.RpmAlarm;
    const int kind = f[0] & 0x0F;
    r[FrameKind] = kind;
    if (kind <= 2) kindsSeen_ = static_cast<std::uint8_t>(kindsSeen_ | (1u << kind));
    if (kind == 0) {
        r[BattV] = supplyMv(frameWord(f, 17));
        r[PriveraPosition] = priveraPositionMv(frameWord(f, 19));
    } else if (kind == 1) {
        const std::uint8_t sw = f[11];
        r[Blocking] = (sw & 0x80) != 0;
        r[ClutchMaster] = (sw & 0x40) != 0;
        r[StartLimiter] = (sw & 0x20) != 0;
        r[TachoInput] = (sw & 0x10) != 0;
        r[N2o] = (sw & 0x02) != 0;
        r[PriveraNormal] = (sw & 0x01) != 0;
        r[Advance] = advanceDegrees(f[12], advanceMax);
        r[Programmings] = frameWord(f, 15);
        r[PriveraMeasurement] = priveraMeasurementMv(frameWord(f, 17));
    }
}

} // namespace velmora::log
