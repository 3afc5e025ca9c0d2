#include "sim/engine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

namespace velmora::sim {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double CorrectionTemps[5] = {-10, 20, 50, 80, 110};
// The cylinder 2/3 correction is set at fixed speeds, whatever the map's own axis.
constexpr double CylinderRpms[10] = {1000, 2000,  3000,  4000,  6000,
                                     8000, 10000, 12000, 14000, 16000};
constexpr double UsPerPercent = 25.0;   // injection time of one map percent
constexpr double MaxSubstep = 0.005;    // s; resolves the transport delay
constexpr double EnrichSeconds = 0.2;   // acceleration enrichment lasts this long
constexpr double WidebandTau = 0.02;    // s, first-order response of the wide-band sensor
constexpr double WidebandNoise = 0.003; // of lambda, one standard deviation
constexpr double ExhaustKeptSeconds = 0.45;

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

// Where x lies on a rising axis of n points: the index below and the weight of the one above;
// outside the axis the end point holds.
void axisPosition(const double* axis, int n, double x, int& lower, double& weight) {
    if (x <= axis[0]) {
        lower = 0;
        weight = 0.0;
        return;
    }
    for (int i = 1; i < n; ++i) {
        if (x <= axis[i]) {
            const double span = axis[i] - axis[i - 1];
            lower = i - 1;
            weight = span > 0 ? (x - axis[i - 1]) / span : 1.0;
            return;
        }
    }
    lower = n - 2;
    weight = 1.0;
}

struct ProgrammedMap {
    double cells[100];
    double rpms[10];
};

ProgrammedMap programmedMap(const Calibration& cal) {
    ProgrammedMap m{};
    for (int i = 0; i < 100; ++i) m.cells[i] = cal[jetCell(i / 10, i % 10)];
    for (int c = 0; c < 10; ++c) m.rpms[c] = cal[at(RPM_JET_0, c)] * 100.0;
    return m;
}

// Mean correction of the four cylinders; cylinders 2 and 3 take KOR23.
double cylinderCorrection(const Calibration& cal, double rpm) {
    double kor[10];
    for (int i = 0; i < 10; ++i) kor[i] = cal[at(KOR23_0, i)];
    return (200.0 + 2.0 * interpolate(CylinderRpms, kor, 10, rpm)) / 400.0;
}

// What the engine needs over temperature and per cylinder, as corrections of the calibration
// it was made against.
void takeNeedsFrom(const Calibration& cal, FuelRequirement& need) {
    for (int i = 0; i < 5; ++i) {
        need.water[static_cast<std::size_t>(i)] = cal[at(VODA_10, i)];
        need.air[static_cast<std::size_t>(i)] = cal[at(VZDUCH_10, i)];
    }
    for (int i = 0; i < 10; ++i) need.cylinders[static_cast<std::size_t>(i)] = cal[at(KOR23_0, i)];
}

double needOverTemperature(const FuelRequirement& need, double waterC, double airC) {
    return interpolate(CorrectionTemps, need.water.data(), 5, waterC) / 100.0 *
           interpolate(CorrectionTemps, need.air.data(), 5, airC) / 100.0;
}

double needOfCylinders(const FuelRequirement& need, double rpm) {
    return (200.0 + 2.0 * interpolate(CylinderRpms, need.cylinders.data(), 10, rpm)) / 400.0;
}

// A cold engine wets its intake with fuel that does not burn: it needs more below 60 °C.
double coldNeed(double waterC) {
    return 1.0 + 0.003 * std::max(0.0, 60.0 - waterC);
}

// Narrow-band probe: rich near 860 mV, lean near 80 mV, switching steeply at lambda 1.
// Noise of a quantity that wanders: per step as at 0.1 s steps, less for shorter steps, so that
// the wandering per second does not depend on the step.
double randomWalk(double dt) {
    return std::sqrt(std::clamp(dt, 0.0, 0.1) / 0.1);
}

double narrowBandMv(double lambda) {
    return 80.0 + 780.0 / (1.0 + std::exp((lambda - 1.0) / 0.012));
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

double bilinearCell(const double* cells, const double* rpms, double throttle, double rpm) {
    int row = 0, col = 0;
    double wr = 0.0, wc = 0.0;
    axisPosition(MapRowThrottle.data(), 10, throttle, row, wr);
    axisPosition(rpms, 10, rpm, col, wc);
    const double* a = cells + 10 * row + col;
    const double lower = a[0] + (a[1] - a[0]) * wc;
    const double upper = a[10] + (a[11] - a[10]) * wc;
    return lower + (upper - lower) * wr;
}

double meteredUs(const Calibration& cal, double throttle, double rpm, double waterC, double airC) {
    const ProgrammedMap m = programmedMap(cal);
    return UsPerPercent * bilinearCell(m.cells, m.rpms, throttle, rpm) *
           correction(cal, VODA_10, waterC) * correction(cal, VZDUCH_10, airC) *
           cylinderCorrection(cal, rpm);
}

double requiredUs(const FuelRequirement& need, double throttle, double rpm, double waterC,
                  double airC) {
    double rpms[10];
    for (int c = 0; c < 10; ++c) rpms[c] = need.rpms[static_cast<std::size_t>(c)];
    return UsPerPercent * bilinearCell(need.cells.data(), rpms, throttle, rpm) *
           needOverTemperature(need, waterC, airC) * needOfCylinders(need, rpm) * coldNeed(waterC);
}

FuelRequirement requirementFromSeed(std::uint64_t seed, const Calibration& programmed,
                                    double spreadPercent) {
    // Three waves of at most about one half period across the map: one down the rows, one
    // across the columns and one along a diagonal. Smooth, so neighbouring cells differ little.
    Random random(seed ^ 0x6675656C6E656564ull);
    struct Wave {
        double amplitude, rowFrequency, colFrequency, phase;
    };
    Wave waves[3];
    for (int k = 0; k < 3; ++k) {
        Wave& w = waves[k];
        w.amplitude = random.between(0.5, 1.0) * (random.chance(0.5) ? 1.0 : -1.0);
        w.rowFrequency = k == 1 ? 0.0 : random.between(0.3, 1.2);
        w.colFrequency = k == 0 ? 0.0 : random.between(0.3, 1.2);
        w.phase = random.between(0.0, 2.0 * Pi);
    }
    double pattern[100];
    double largest = 0.0;
    for (int i = 0; i < 100; ++i) {
        const double u = (i / 10) / 9.0, v = (i % 10) / 9.0;
        double p = 0.0;
        for (const Wave& w : waves)
            p += w.amplitude * std::cos(Pi * (w.rowFrequency * u + w.colFrequency * v) + w.phase);
        pattern[i] = p;
        largest = std::max(largest, std::fabs(p));
    }
    FuelRequirement need;
    const ProgrammedMap m = programmedMap(programmed);
    for (int i = 0; i < 100; ++i) {
        const double share = largest > 0 ? pattern[i] / largest * spreadPercent / 100.0 : 0.0;
        need.cells[static_cast<std::size_t>(i)] = m.cells[i] * (1.0 + share);
    }
    for (int c = 0; c < 10; ++c)
        need.rpms[static_cast<std::size_t>(c)] = static_cast<int>(m.rpms[c]);
    takeNeedsFrom(programmed, need);
    return need;
}

RequirementResult parseRequirement(std::string_view text, const Calibration& cal) {
    RequirementResult r;
    const auto fail = [&r](int line, const std::string& what) {
        r.error = "line " + std::to_string(line) + ": " + what;
        return r;
    };
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    const auto blank = [](std::string_view l) {
        return l.find_first_not_of(" \t") == std::string_view::npos;
    };
    while (!lines.empty() && blank(lines.back())) lines.pop_back();
    if (lines.size() != 10) {
        r.error = "a fuel requirement has 10 rows of 10 numbers, this text " +
                  std::to_string(lines.size()) + " rows";
        return r;
    }
    FuelRequirement need;
    for (std::size_t li = 0; li < lines.size(); ++li) {
        const std::string_view line = lines[li];
        int count = 0;
        for (std::size_t pos = 0; pos < line.size();) {
            pos = line.find_first_not_of(" \t", pos);
            if (pos == std::string_view::npos) break;
            const std::size_t end = std::min(line.find_first_of(" \t", pos), line.size());
            const std::string_view field = line.substr(pos, end - pos);
            pos = end;
            double value = 0.0;
            const auto [ptr, ec] =
                std::from_chars(field.data(), field.data() + field.size(), value);
            const int lineNo = static_cast<int>(li) + 1;
            if (ec != std::errc() || ptr != field.data() + field.size())
                return fail(lineNo, "\"" + std::string(field.substr(0, 20)) + "\" is not a number");
            if (!(value > 0.0 && value <= 1000.0))
                return fail(lineNo, std::string(field) + " is outside 0..1000 %");
            if (count == 10) return fail(lineNo, "more than 10 numbers");
            need.cells[li * 10 + static_cast<std::size_t>(count++)] = value;
        }
        if (count != 10)
            return fail(static_cast<int>(li) + 1, std::to_string(count) + " numbers, a row has 10");
    }
    for (int c = 0; c < 10; ++c)
        need.rpms[static_cast<std::size_t>(c)] = cal[at(RPM_JET_0, c)] * 100;
    takeNeedsFrom(cal, need);
    r.requirement = need;
    return r;
}

RequirementResult readRequirementFile(const std::string& path, const Calibration& cal) {
    std::ifstream in(path, std::ios::binary);
    RequirementResult r;
    if (!in) {
        r.error = "cannot open " + path;
        return r;
    }
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > 64 * 1024) {
            r.error = path + ": too large for a 10 x 10 map";
            return r;
        }
    }
    r = parseRequirement(text, cal);
    if (!r.error.empty()) r.error = path + ": " + r.error;
    return r;
}

Engine::Engine(std::uint64_t seed, double startWaterC, bool ride)
    : random_(seed), sensorNoise_(seed ^ 0x53454E534F52ull), ride_(ride) {
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
    s_.rpm += random_.between(-15.0, 15.0) * randomWalk(dt);
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
    s_.rpm += random_.between(-15.0, 15.0) * randomWalk(dt);
    s_.rpm = std::clamp(s_.rpm, 0.0, limit + 40.0);
    s_.clutchMaster = s_.time < clutchUntil_;
}

double Engine::transportDelay(double rpm) const {
    const double ms = rpm > 0.0 ? delayMsAt3000_ * 3000.0 / rpm : 400.0;
    return std::clamp(ms, 100.0, 400.0) / 1000.0;
}

// Lambda of the exhaust that left the cylinders at time t.
double Engine::exhaustAt(double t) const {
    if (exhaust_.empty() || t < exhaust_.front().first) return FreeAirLambda;
    auto after =
        std::upper_bound(exhaust_.begin(), exhaust_.end(), t,
                         [](double x, const std::pair<double, double>& e) { return x < e.first; });
    if (after == exhaust_.end()) return exhaust_.back().second;
    const auto& [t1, l1] = *after;
    const auto& [t0, l0] = *(after - 1);
    // Burnt gas and air do not mix into a lambda in between: the earlier one holds.
    if (l0 >= FreeAirLambda || l1 >= FreeAirLambda || t1 <= t0) return l0;
    return l0 + (l1 - l0) * (t - t0) / (t1 - t0);
}

// Fuel, exhaust and sensors through one step, in substeps of at most MaxSubstep with the speed
// and throttle moving in straight lines from where the step began.
void Engine::stepFuel(double t0, double dt, double rpm0, double throttle0, const Calibration& cal) {
    const int n = std::max(1, static_cast<int>(std::ceil(dt / MaxSubstep - 1e-9)));
    const double h = dt / n;
    const double follow = 1.0 - std::exp(-h / WidebandTau);
    const ProgrammedMap m = programmedMap(cal);
    double needRpms[10];
    if (need_)
        for (int c = 0; c < 10; ++c) needRpms[c] = need_->rpms[static_cast<std::size_t>(c)];
    const double temperature =
        correction(cal, VODA_10, s_.waterC) * correction(cal, VZDUCH_10, s_.airC);
    const double cold = coldNeed(s_.waterC);
    const double needTemperature = need_ ? needOverTemperature(*need_, s_.waterC, s_.airC) : 1.0;
    const double rate = dt > 0 ? (s_.throttle - throttle0) / dt : 0.0; // %/s
    const bool opening = rate > cal[AKCEL_PRAH] * 10.0;
    const double enrichUs = cal[AKCEL_JET] * 30.0;
    const double cutAbove = idleRpm() + 1500.0;
    double injection = 0.0;
    for (int k = 1; k <= n; ++k) {
        const double t = t0 + h * k;
        const double f = static_cast<double>(k) / n;
        const double rpm = rpm0 + (s_.rpm - rpm0) * f;
        const double throttle = throttle0 + (s_.throttle - throttle0) * f;
        if (opening) enrichUntil_ = t + EnrichSeconds;
        double lambda = FreeAirLambda;
        injection = 0.0;
        if (rpm >= 100.0 && !(throttle <= 0.0 && rpm > cutAbove)) {
            const double cell = bilinearCell(m.cells, m.rpms, throttle, rpm);
            const double metered = UsPerPercent * cell * temperature * cylinderCorrection(cal, rpm);
            if (t < 1.0) {
                injection = cal[START_JET] * 1000.0; // cranking
            } else {
                injection = metered + (t < enrichUntil_ ? enrichUs : 0.0);
            }
            const double needed =
                need_ ? UsPerPercent * bilinearCell(need_->cells.data(), needRpms, throttle, rpm) *
                            needTemperature * needOfCylinders(*need_, rpm) * cold
                      : metered * cold;
            if (injection > 0.0) lambda = std::clamp(needed / injection, 0.2, FreeAirLambda);
        }
        exhaust_.emplace_back(t, lambda);
        while (exhaust_.size() > 2 && exhaust_[1].first < t - ExhaustKeptSeconds)
            exhaust_.pop_front();
        const double arriving = exhaustAt(t - transportDelay(rpm));
        if (arriving >= FreeAirLambda || widebandFiltered_ >= FreeAirLambda)
            widebandFiltered_ = arriving; // air flushes the sensor at once, as burnt gas does
        else
            widebandFiltered_ += (arriving - widebandFiltered_) * follow;
        s_.lambda = lambda;
    }
    s_.injectionUs = injection;
    if (widebandFiltered_ >= FreeAirLambda) {
        sensorLambda_ = FreeAirLambda;
    } else {
        // Sum of three uniforms: close to normal, standard deviation WidebandNoise.
        const double z =
            (sensorNoise_.uniform() + sensorNoise_.uniform() + sensorNoise_.uniform() - 1.5) * 2.0;
        sensorLambda_ = widebandFiltered_ * (1.0 + WidebandNoise * z);
    }
    s_.lambdaMv = std::clamp(narrowBandMv(widebandFiltered_) + sensorNoise_.between(-15.0, 15.0),
                             0.0, 1100.0);
}

void Engine::step(double dt, const Calibration& cal) {
    const double t0 = s_.time, rpm0 = s_.rpm, throttle0 = s_.throttle;
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
    const double walk = randomWalk(dt);

    // Warm-up towards 95 °C, faster at speed; the fan holds the cooling temperature.
    double warming = (95.0 - s_.waterC) * dt / 150.0 * (1.0 + s_.rpm / 6000.0);
    if (cal[CHLAZENI] > 0 && s_.waterC > cal[CHLAZENI] + 2.0)
        warming -= (s_.waterC - cal[CHLAZENI]) * dt / 20.0;
    s_.waterC += warming + random_.between(-0.02, 0.02) * walk;
    s_.airC += (24.0 + 3.0 * std::sin(2.0 * Pi * s_.time / 300.0) - s_.airC) * dt / 10.0 +
               random_.between(-0.05, 0.05) * walk;

    s_.supplyMv = cranking ? 10200.0 : 13300.0 + std::min(1100.0, s_.rpm * 0.15);
    s_.supplyMv += random_.between(-40.0, 40.0);

    const bool decelerating = s_.throttle == 0.0 && s_.rpm > idleRpm() + 1500.0;
    s_.apKpa = std::clamp(s_.apKpa + random_.between(-0.05, 0.05) * walk, 97.5, 99.5);
    s_.iapKpa = decelerating ? 22.0 : 32.0 + s_.throttle * 0.66;
    s_.iapKpa = std::min(s_.iapKpa + random_.between(-0.5, 0.5), s_.apKpa);

    stepFuel(t0, dt, rpm0, throttle0, cal);

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
