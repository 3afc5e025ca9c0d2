#include "sim/engine.h"

#include <algorithm>
#include <cmath>

namespace velmora::sim {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double MapRowThrottle[10] = {0, 2, 5, 10, 20, 30, 40, 60, 80, 100};
constexpr double CorrectionTemps[5] = {-10, 20, 50, 80, 110};

std::uint16_t toCounts(double value) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(value), 0L, 65535L));
}

void put16(Frame& f, std::size_t at, std::uint16_t value) {
    f[at] = static_cast<std::uint8_t>(value >> 8);
    f[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

std::uint8_t toByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// Linear interpolation over n points; outside the table the end values hold.
double interpolate(const double* xs, const double* ys, int n, double x) {
    if (x <= xs[0]) return ys[0];
    for (int i = 1; i < n; ++i) {
        if (x <= xs[i]) {
            double span = xs[i] - xs[i - 1];
            if (span <= 0) return ys[i];
            return ys[i - 1] + (ys[i] - ys[i - 1]) * (x - xs[i - 1]) / span;
        }
    }
    return ys[n - 1];
}

// A ten-point curve of the calibration: x from one series, y from another, each scaled.
double curve(const Calibration& cal, Param xHead, double xScale, Param yHead, double yScale,
             double x) {
    double xs[10], ys[10];
    for (int i = 0; i < 10; ++i) {
        xs[i] = cal[at(xHead, i)] * xScale;
        ys[i] = cal[at(yHead, i)] * yScale;
    }
    return interpolate(xs, ys, 10, x);
}

double correction(const Calibration& cal, Param first, double tempC) {
    double ys[5];
    for (int i = 0; i < 5; ++i) ys[i] = cal[at(first, i)];
    return interpolate(CorrectionTemps, ys, 5, tempC) / 100.0;
}

double mapCell(const Calibration& cal, double throttle, double rpm) {
    double rowValues[10];
    for (int r = 0; r < 10; ++r) {
        double xs[10], ys[10];
        for (int c = 0; c < 10; ++c) {
            xs[c] = cal[at(RPM_JET_0, c)] * 100.0;
            ys[c] = cal[jetCell(r, c)];
        }
        rowValues[r] = interpolate(xs, ys, 10, rpm);
    }
    return interpolate(MapRowThrottle, rowValues, 10, throttle);
}

double limiterRpm(const Calibration& cal) {
    double limit = cal[Omez2] * 100.0;
    return limit < 2000.0 ? 12000.0 : limit;
}

double startLimiterRpm(const Calibration& cal) {
    double limit = cal[Omez1] * 100.0;
    return limit < 1000.0 ? 4000.0 : limit;
}

// Water and air sensors are NTC dividers: the voltage falls as the temperature rises.
double ntcMv(double tempC) {
    return 200.0 + 2200.0 / (1.0 + std::exp((tempC - 40.0) / 25.0));
}

double pressureSensorMv(double kpa) {
    return 500.0 + 40.0 * kpa;
}

} // namespace

std::uint16_t countsForSensorMv(double mv) {
    return toCounts(std::ceil(mv * 8184.0 / 2430.0));
}
std::uint16_t countsForDoubledMv(double mv) {
    return countsForSensorMv(mv / 2.0);
}
std::uint16_t countsForSupplyMv(double mv) {
    return countsForSensorMv((mv - 650.0) / 11.0);
}
std::uint16_t countsForRatio(double mv, double fullScaleMv) {
    return toCounts(std::ceil(mv * 8184.0 / fullScaleMv));
}

Engine::Engine(std::uint64_t seed, double startWaterC, bool ride) : random_(seed), ride_(ride) {
    s_.waterC = startWaterC;
    s_.airC = std::min(startWaterC + 4.0, 35.0);
}

double Engine::idleRpm() const {
    return 1150.0 + std::max(0.0, 60.0 - s_.waterC) * 4.0;
}

void Engine::stepSpeed(double dt, double phase, const Calibration& cal) {
    const double limit = limiterRpm(cal);
    double target = idleRpm();
    s_.throttle = 0.0;
    s_.startLimiter = false;
    s_.tacho = true;
    s_.blocking = false;

    if (s_.time < 1.0) {
        target = 250.0; // cranking
    } else if (s_.time < 3.0) {
        target = idleRpm() + 600.0 * (3.0 - s_.time) / 2.0;
    } else if (phase >= 8.0 && phase < 11.0) {
        double x = phase - 8.0;
        double triangle = 1.0 - std::fabs(2.0 * (x - std::floor(x)) - 1.0);
        s_.throttle = 35.0 * triangle;
        target = idleRpm() + s_.throttle * 160.0;
    } else if (phase >= 15.0 && phase < 25.0) {
        s_.throttle = 100.0;
        if (phase - dt < 15.0) gear_ = 1;
        // Riders shift past the shift light; the top gear runs into the limiter.
        const double shift = limit - 300.0;
        if (s_.rpm >= shift && gear_ < 3 && s_.time >= clutchUntil_) {
            ++gear_;
            clutchUntil_ = s_.time + 0.1;
            s_.rpm *= 0.72;
        }
        s_.rpm += dt * 5000.0 / (1.0 + 0.5 * (gear_ - 1));
        target = s_.rpm;
    } else if (phase >= 29.0 && phase < 33.0) {
        s_.startLimiter = true;
        s_.throttle = 60.0;
        target = std::min(startLimiterRpm(cal), limit);
    } else if (phase >= 33.0) {
        s_.tacho = false;
        s_.blocking = phase >= 37.0 && phase < 38.0;
    }

    s_.rpm += (target - s_.rpm) * (1.0 - std::exp(-dt / 0.25));
    s_.rpm += random_.between(-15.0, 15.0);
    s_.rpm = std::clamp(s_.rpm, 0.0, limit + 40.0);
    s_.clutchMaster = s_.time < clutchUntil_;
}

void Engine::stepRide(double dt, const Calibration& cal) {
    const double limit = limiterRpm(cal);
    s_.startLimiter = false;
    s_.tacho = true;
    s_.blocking = false;
    if (s_.time >= legEnd_) {
        const double warmUp = 60.0;
        const double pick = random_.between(0.0, 1.0);
        leg_ = s_.time < warmUp ? 0
               : pick < 0.15    ? 0
               : pick < 0.45    ? 1
               : pick < 0.75    ? 2
               : pick < 0.93    ? 3
                                : 4;
        const double lengths[5] = {20.0, 90.0, 240.0, 420.0, 8.0};
        legEnd_ = s_.time < warmUp ? warmUp : s_.time + lengths[leg_] * random_.between(0.5, 1.5);
        cruise_ = leg_ == 1   ? random_.between(8.0, 25.0)
                  : leg_ == 2 ? random_.between(20.0, 45.0)
                  : leg_ == 3 ? random_.between(35.0, 60.0)
                              : 0.0;
        gear_ = 1;
    }
    double throttle = 0.0;
    double target = idleRpm();
    switch (leg_) {
    case 1: // town: pull away, cruise, brake, every 30 s or so
        throttle = cruise_ * std::max(0.0, std::sin(2.0 * Pi * s_.time / 31.0)) * 1.6;
        target = idleRpm() + throttle * 140.0;
        break;
    case 2: // country road: bends
        throttle = cruise_ + 15.0 * std::sin(2.0 * Pi * s_.time / 17.0) +
                   6.0 * std::sin(2.0 * Pi * s_.time / 5.3);
        target = 2500.0 + throttle * 70.0;
        break;
    case 3: // motorway: steady, overtaking now and then
        throttle = cruise_ + (std::fmod(s_.time, 90.0) < 6.0 ? 40.0 : 3.0 * std::sin(s_.time));
        target = 4200.0 + throttle * 40.0;
        break;
    case 4: { // a pull through the gears towards the limiter
        throttle = 100.0;
        if (s_.rpm >= limit - 300.0 && gear_ < 4 && s_.time >= clutchUntil_) {
            ++gear_;
            clutchUntil_ = s_.time + 0.1;
            s_.rpm *= 0.72;
        }
        s_.rpm += dt * 5000.0 / (1.0 + 0.5 * (gear_ - 1));
        target = s_.rpm;
        break;
    }
    default:
        break;
    }
    s_.throttle = std::clamp(throttle, 0.0, 100.0);
    s_.rpm += (target - s_.rpm) * (1.0 - std::exp(-dt / 0.4));
    s_.rpm += random_.between(-15.0, 15.0);
    s_.rpm = std::clamp(s_.rpm, 0.0, limit + 40.0);
    s_.clutchMaster = s_.time < clutchUntil_;
}

void Engine::step(double dt, const Calibration& cal) {
    s_.time += dt;
    const double phase = std::fmod(s_.time, ScenarioSeconds);
    if (ride_ && s_.time >= 3.0)
        stepRide(dt, cal);
    else
        stepSpeed(dt, phase, cal);
    if (holdThrottle_ >= 0.0) s_.throttle = holdThrottle_;
    if (holdRpm_ >= 0.0) s_.rpm = holdRpm_;
    const bool cranking = s_.time < 1.0;
    const double limit = limiterRpm(cal);

    // Warm-up towards 95 °C, faster at speed; the fan holds the cooling temperature.
    double warming = (95.0 - s_.waterC) * dt / 150.0 * (1.0 + s_.rpm / 6000.0);
    if (cal[CHLAZENI] > 0 && s_.waterC > cal[CHLAZENI] + 2.0)
        warming -= (s_.waterC - cal[CHLAZENI]) * dt / 20.0;
    s_.waterC += warming + random_.between(-0.02, 0.02);
    s_.airC += (24.0 + 3.0 * std::sin(2.0 * Pi * s_.time / 300.0) - s_.airC) * dt / 10.0 +
               random_.between(-0.05, 0.05);

    s_.supplyMv = cranking ? 10200.0 : 13300.0 + std::min(1100.0, s_.rpm * 0.15);
    s_.supplyMv += random_.between(-40.0, 40.0);

    const bool decelerating = s_.throttle == 0.0 && s_.rpm > idleRpm() + 1500.0;
    if (cranking) {
        s_.lambdaMv = 60.0;
    } else if (s_.throttle >= 90.0) {
        s_.lambdaMv = 880.0;
    } else if (decelerating) {
        s_.lambdaMv = 80.0;
    } else {
        s_.lambdaMv = 450.0 + 380.0 * std::sin(2.0 * Pi * 1.3 * s_.time);
    }
    s_.lambdaMv = std::clamp(s_.lambdaMv + random_.between(-20.0, 20.0), 0.0, 1100.0);

    s_.apKpa = std::clamp(s_.apKpa + random_.between(-0.05, 0.05), 97.5, 99.5);
    s_.iapKpa = decelerating ? 22.0 : 32.0 + s_.throttle * 0.66;
    s_.iapKpa = std::min(s_.iapKpa + random_.between(-0.5, 0.5), s_.apKpa);

    if (s_.rpm < 100.0) {
        s_.injectionUs = 0.0;
    } else if (cranking) {
        s_.injectionUs = cal[START_JET] * 1000.0;
    } else {
        s_.injectionUs = mapCell(cal, s_.throttle, s_.rpm) * 25.0 *
                         correction(cal, VODA_10, s_.waterC) * correction(cal, VZDUCH_10, s_.airC);
    }

    s_.advance = std::min(curve(cal, RpmAdv1, 100.0, Advance1, 1.0, s_.rpm),
                          static_cast<double>(cal[AdvanceMax]));

    const double priveraTarget = curve(cal, RPM_PRIV_0, 100.0, NAP_PRIV_0, 20.0, s_.rpm);
    s_.priveraMv += (priveraTarget - s_.priveraMv) * (1.0 - std::exp(-dt / 0.3));
    s_.priveraOk = std::fabs(s_.priveraMv - priveraTarget) <= 150.0 + cal[PRIV_HYSTER] * 5.0;

    s_.n2o = cal[GasEnable] != 0 && s_.throttle >= 95.0 && s_.rpm >= 5000.0;
    s_.rpmWarning = cal[PilotLight] > 0 && s_.rpm >= cal[PilotLight] * 100.0;
    s_.rpmAlarm = s_.rpm >= limit - 150.0;
}

Frame Engine::frame(int kind, const Calibration& cal, std::uint16_t programmingCount) const {
    Frame f{};
    f[0] = static_cast<std::uint8_t>(0xB0 + kind);
    const std::uint16_t period = s_.rpm >= 100.0 ? toCounts(2000000.0 / s_.rpm) : 0;
    put16(f, 1, period);
    put16(f, 3, countsForDoubledMv(pressureSensorMv(s_.iapKpa)));
    put16(f, 5, countsForSensorMv(s_.lambdaMv));
    const double tps0 = cal[TPS_0] * 10.0;
    const double tps100 = (cal[TPS_100] + 250) * 10.0;
    put16(f, 7, countsForDoubledMv(tps0 + (tps100 - tps0) * s_.throttle / 100.0));
    put16(f, 9, toCounts(s_.injectionUs / 30.0));

    switch (kind) {
    case 0:
        put16(f, 11, countsForDoubledMv(pressureSensorMv(s_.apKpa)));
        put16(f, 13, countsForSensorMv(ntcMv(s_.waterC)));
        put16(f, 15, countsForSensorMv(ntcMv(s_.airC)));
        put16(f, 17, countsForSupplyMv(s_.supplyMv));
        put16(f, 19, countsForRatio(s_.priveraMv, 4860.0));
        break;
    case 1: {
        std::uint8_t switches = 0;
        if (s_.blocking) switches |= 0x80;
        if (s_.clutchMaster) switches |= 0x40;
        if (s_.startLimiter) switches |= 0x20;
        if (s_.tacho) switches |= 0x10;
        if (s_.rpmAlarm) switches |= 0x08;
        if (s_.rpmWarning) switches |= 0x04;
        if (s_.n2o) switches |= 0x02;
        if (s_.priveraOk) switches |= 0x01;
        f[11] = switches;
        f[12] = toByte(cal[AdvanceMax] - std::lround(s_.advance));
        put16(f, 15, programmingCount);
        put16(f, 17, countsForRatio(s_.priveraMv, 5000.0));
        put16(f, 19, toCounts(s_.apKpa * 10.0));
        break;
    }
    case 2:
        f[11] = toByte(s_.throttle);
        f[12] = toByte(s_.iapKpa / s_.apKpa * 100.0);
        f[13] = static_cast<std::uint8_t>(std::clamp(std::lround(s_.waterC) + 100, 1L, 255L));
        f[14] = static_cast<std::uint8_t>(std::clamp(std::lround(s_.airC) + 100, 1L, 255L));
        put16(f, 15, frameCount_);
        put16(f, 17, toCounts(s_.rpm));
        put16(f, 19, static_cast<std::uint16_t>(std::fmod(s_.time, ScenarioSeconds)));
        break;
    default:
        break;
    }
    f[FrameSize - 1] = checkByte(f);
    return f;
}

Frame Engine::nextFrame(double dt, const Calibration& cal, std::uint16_t programmingCount) {
    step(dt, cal);
    Frame f = frame(nextKind_, cal, programmingCount);
    nextKind_ = (nextKind_ + 1) % 3;
    ++frameCount_;
    return f;
}

} // namespace velmora::sim
