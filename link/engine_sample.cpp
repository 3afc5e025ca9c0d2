#include "link/engine_sample.h"

namespace velmora {

const EngineSample& SampleBuilder::update(const Frame& f, const MonitorValues& v,
                                          std::uint8_t advanceMax, std::uint64_t timeMs,
                                          bool replayed) {
    EngineSample& s = s_;
    s.timeMs = timeMs;
    s.replayed = replayed;
    s.frame = f;
    const int kind = s.kind();
    if (kind <= 2) s.kindsSeen = static_cast<std::uint8_t>(s.kindsSeen | (1u << kind));

    s.rpm = static_cast<int>(rpmOfPeriod(frameWord(f, 1)));
    s.throttle = v.TpsPercent;
    s.throttleMv = v.TpsVoltage;
    s.mapPercent = v.IapPercent;
    s.mapMv = 2 * sensorMv(frameWord(f, 3));
    s.lambdaMv = v.LambdaVoltage;
    s.injectionUs = 30 * static_cast<int>(frameWord(f, 9));
    s.baroTenths = v.ApTenths;
    // A sensor fault shows the substitute temperature, as the Monitor page does.
    s.waterFault = v.WaterRaw == 0;
    s.waterC = s.waterFault ? 80 : v.WaterRaw - 100;
    s.airFault = v.AirRaw == 0;
    s.airC = s.airFault ? 50 : v.AirRaw - 100;
    s.rpmWarning = v.RpmWarning;
    s.rpmAlarm = v.RpmAlarm;
    if (kind == 0) {
        s.supplyMv = supplyMv(frameWord(f, 17));
        s.priveraPositionMv = priveraPositionMv(frameWord(f, 19));
    } else if (kind == 1) {
        const std::uint8_t sw = f[11];
        s.blocking = (sw & 0x80) != 0;
        s.clutchMaster = (sw & 0x40) != 0;
        s.startLimiter = (sw & 0x20) != 0;
        s.tachoInput = (sw & 0x10) != 0;
        s.n2o = (sw & 0x02) != 0;
        s.priveraNormal = (sw & 0x01) != 0;
        s.advance = advanceDegrees(f[12], advanceMax);
        s.programmings = static_cast<int>(frameWord(f, 15));
        s.priveraMeasurementMv = priveraMeasurementMv(frameWord(f, 17));
    }
    return s;
}

} // namespace velmora
