#include "analysis/live_sample.h"

namespace velmora::analysis {

namespace {
unsigned word(const Frame& f, std::size_t n) {
    return 256u * f[n] + f[n + 1];
}
} // namespace

EngineSample LiveSampleBuilder::update(const Frame& f, const MonitorValues& v,
                                       std::uint8_t advanceMax, double timeS) {
    if ((f[0] & 0x0F) == 1) {
        blocking_ = (f[11] & 0x80) != 0;
        startLimiter_ = (f[11] & 0x20) != 0;
        advance_ = f[12] < advanceMax ? advanceMax - f[12] : 0;
    }
    EngineSample s;
    s.time = timeS;
    const unsigned period = word(f, 1);
    const unsigned rpm = period == 0 ? 0 : 2000000u / period;
    s.rpm = rpm < 100 ? 0 : static_cast<int>(rpm);
    s.throttle = v.TpsPercent;
    s.lambdaMv = v.LambdaVoltage;
    s.waterFault = v.WaterRaw == 0;
    s.waterC = v.WaterRaw - 100;
    s.startLimiter = startLimiter_;
    s.blocking = blocking_;
    s.injectionUs = 30 * static_cast<int>(word(f, 9));
    return s;
}

} // namespace velmora::analysis
