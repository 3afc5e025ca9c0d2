#include "log/channels.h"

#include <limits>

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
    {"Lambda", "lambda", F::F32, 1.0f, 3, S::Float},
    {"AFR", "afr", F::F32, 1.0f, 2, S::Float},
    // WidebandState: 0 no reading, 1 ok, 2 warming up, 3 calibrating, 4 sensor error,
    // 5 invalid frame or value (WidebandStatusLegend).
    {"WB status", "", F::U08, 1.0f, 0, S::Float},
    {"WB age", "ms", F::F32, 1.0f, 0, S::Float},
}};

} // namespace

const char* const WidebandStatusLegend = "WB status: 0 no reading, 1 ok, 2 warming up, "
                                         "3 calibrating, 4 sensor error, 5 invalid";

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
    case F::F32:
        return 4;
    }
    return 0;
}

std::size_t recordSize() {
    std::size_t n = 0;
    for (const Channel& c : table) n += storedSize(c.type);
    return n;
}

Record recordOf(const EngineSample& s, std::uint32_t timeMs) {
    Record r{};
    r[Time] = timeMs;
    r[Rpm] = s.rpm;
    r[Tps] = s.throttle;
    r[TpsMv] = s.throttleMv;
    r[Map] = s.mapPercent;
    r[MapMv] = s.mapMv;
    r[Lambda] = s.lambdaMv;
    r[InjectionTime] = s.injectionUs;
    r[Baro] = s.baroTenths;
    r[Clt] = s.waterC;
    r[CltFault] = s.waterFault;
    r[Iat] = s.airC;
    r[IatFault] = s.airFault;
    r[BattV] = s.supplyMv;
    r[Advance] = s.advance;
    r[PriveraPosition] = s.priveraPositionMv;
    r[PriveraMeasurement] = s.priveraMeasurementMv;
    r[Programmings] = s.programmings;
    r[Blocking] = s.blocking;
    r[ClutchMaster] = s.clutchMaster;
    r[StartLimiter] = s.startLimiter;
    r[TachoInput] = s.tachoInput;
    r[N2o] = s.n2o;
    r[RpmWarning] = s.rpmWarning;
    r[RpmAlarm] = s.rpmAlarm;
    r[PriveraNormal] = s.priveraNormal;
    r[FrameKind] = s.kind();
    const double none = std::numeric_limits<double>::quiet_NaN();
    r[WbLambda] = s.widebandLambda ? *s.widebandLambda : none;
    r[Afr] = s.widebandLambda ? *s.widebandLambda * s.stoichAfr : none;
    r[WbStatus] = static_cast<double>(s.widebandState);
    r[WbAge] = s.widebandAgeMs ? static_cast<double>(*s.widebandAgeMs) : none;
    return r;
}

} // namespace velmora::log
