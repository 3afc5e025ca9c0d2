#include "analysis/wideband_correction.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace velmora::analysis {

TargetTable defaultTargets() {
    // Rows 0 % .. 100 % throttle: lean-best cruise at light load, richer for power.
    const std::array<double, MapSize> byRow{1.00, 1.00, 0.98, 0.96, 0.95,
                                            0.95, 0.93, 0.90, 0.88, 0.87};
    TargetTable t{};
    for (std::size_t r = 0; r < MapSize; ++r) t[r].fill(byRow[r]);
    return t;
}

namespace {

bool parseNumber(const std::string& word, double& out) {
    std::string w = word;
    std::replace(w.begin(), w.end(), ',', '.');
    // Digits and one point only: no exponents, signs, "nan" or "inf".
    int points = 0, digits = 0;
    for (const char c : w) {
        if (c == '.')
            ++points;
        else if (c >= '0' && c <= '9')
            ++digits;
        else
            return false;
    }
    if (points > 1 || digits == 0 || w.size() > 12) return false;
    double whole = 0.0, scale = 1.0;
    bool fraction = false;
    for (const char c : w) {
        if (c == '.') {
            fraction = true;
            continue;
        }
        if (fraction) {
            scale /= 10.0;
            whole += (c - '0') * scale;
        } else {
            whole = whole * 10.0 + (c - '0');
        }
    }
    out = whole;
    return true;
}

} // namespace

TargetParse parseTargets(const std::string& text) {
    TargetParse result;
    TargetTable t{};
    std::vector<std::string> lines;
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    while (!lines.empty() && lines.back().find_first_not_of(" \t;") == std::string::npos)
        lines.pop_back();
    if (lines.size() != MapSize) {
        result.fault = TargetParse::Fault::Rows;
        result.error = "expected 10 lines, found " + std::to_string(lines.size());
        return result;
    }
    for (std::size_t r = 0; r < MapSize; ++r) {
        std::vector<std::string> words;
        std::string w;
        for (const char c : lines[r] + " ") {
            if (c == ' ' || c == '\t' || c == ';') {
                if (!w.empty()) words.push_back(w);
                w.clear();
            } else {
                w += c;
            }
        }
        if (words.size() != MapSize) {
            result.fault = TargetParse::Fault::Columns;
            result.row = static_cast<int>(r);
            result.col = -1;
            result.error = "line " + std::to_string(r + 1) + ": expected 10 numbers, found " +
                           std::to_string(words.size());
            return result;
        }
        for (std::size_t c = 0; c < MapSize; ++c) {
            double v = 0.0;
            result.row = static_cast<int>(r);
            result.col = static_cast<int>(c);
            const std::string where =
                "line " + std::to_string(r + 1) + ", number " + std::to_string(c + 1);
            if (!parseNumber(words[c], v)) {
                result.fault = TargetParse::Fault::NotANumber;
                result.error = where + ": not a number";
                return result;
            }
            if (v < MinTargetLambda || v > MaxTargetLambda) {
                result.fault = TargetParse::Fault::OutOfRange;
                result.error = where + ": outside 0.6 .. 1.3";
                return result;
            }
            t[r][c] = v;
        }
    }
    result.row = result.col = -1;
    result.table = t;
    return result;
}

std::string formatTargets(const TargetTable& targets) {
    std::string out;
    for (const auto& row : targets) {
        for (std::size_t c = 0; c < MapSize; ++c) {
            const long v = std::lround(row[c] * 100.0);
            if (c > 0) out += '\t';
            out +=
                std::to_string(v / 100) + '.' + (v % 100 < 10 ? "0" : "") + std::to_string(v % 100);
        }
        out += '\n';
    }
    return out;
}

namespace {

// Speed bands of the delay measurement; the delay is given at each band's middle.
const int BandEdges[] = {0, 2500, 4000, 6000, 9000, 30000};
constexpr int BandCount = 5;
int bandOf(double rpm) {
    for (int b = 0; b < BandCount; ++b)
        if (rpm < BandEdges[b + 1]) return b;
    return BandCount - 1;
}
int bandReference(int b) {
    const int at[BandCount] = {1800, 3200, 5000, 7500, 11000};
    return at[b];
}
// Injection steps a band needs before its measurement counts.
constexpr int MinSteps = 8;

double weightedQuantile(std::vector<std::pair<double, double>>& v, double q) {
    std::sort(v.begin(), v.end());
    double total = 0.0;
    for (const auto& e : v) total += e.second;
    double run = 0.0;
    for (const auto& e : v) {
        run += e.second;
        if (run >= q * total) return e.first;
    }
    return v.empty() ? 0.0 : v.back().first;
}

} // namespace

WidebandCorrection::WidebandCorrection(CorrectionSettings settings) : settings_(settings) {}

void WidebandCorrection::setSettings(const CorrectionSettings& s) {
    settings_ = s;
    delaysStale_ = true;
}

void WidebandCorrection::reset() {
    points_.clear();
    readings_.clear();
    axes_.clear();
    usedUpTo_ = 0;
    delaysStale_ = true;
}

void WidebandCorrection::add(const EngineSample& s, const std::array<int, MapSize>& rpms) {
    // A log that starts again, or a new connection whose clock restarted: begin afresh.
    if (!points_.empty() && s.time() < points_.back().time) reset();
    if (axes_.empty() || axes_.back() != rpms) {
        if (axes_.size() >= 255) axes_.erase(axes_.begin()); // a pathological log; keep bounded
        axes_.push_back(rpms);
    }
    Point p{};
    p.time = s.time();
    p.readingTime = -1.0;
    p.lambda = 0.0;
    if (s.widebandAgeMs) {
        const double at = s.time() - *s.widebandAgeMs / 1000.0;
        // The same reading joined to several samples counts once, at its own time.
        const bool fresh = readings_.empty() || points_[readings_.back()].readingTime < at - 1e-9;
        if (fresh) {
            p.readingTime = at;
            if (s.widebandLambda) p.lambda = *s.widebandLambda;
        }
    }
    p.rpm = static_cast<float>(s.rpm);
    p.throttle = static_cast<float>(s.throttle >= 0 && s.throttle <= 100 ? s.throttle : -1);
    p.injectionUs = static_cast<float>(s.injectionUs);
    p.warm = !s.waterFault && s.waterC >= settings_.minWaterC;
    p.limiter = s.startLimiter || s.blocking;
    p.axis = static_cast<std::uint8_t>(axes_.size() - 1);
    points_.push_back(p);
    if (p.readingTime >= 0.0) readings_.push_back(points_.size() - 1);
    delaysStale_ = true;
}

std::size_t WidebandCorrection::pointAtOrBefore(double time) const {
    const auto it = std::upper_bound(points_.begin(), points_.end(), time,
                                     [](double t, const Point& p) { return t < p.time; });
    return it == points_.begin() ? std::numeric_limits<std::size_t>::max()
                                 : static_cast<std::size_t>(it - points_.begin() - 1);
}

double WidebandCorrection::interpolate(double time, float Point::*field) const {
    const std::size_t i = pointAtOrBefore(time);
    if (i == std::numeric_limits<std::size_t>::max()) return std::nan("");
    const Point& a = points_[i];
    if (i + 1 >= points_.size() || points_[i + 1].time <= a.time) return a.*field;
    const Point& b = points_[i + 1];
    const double f = (time - a.time) / (b.time - a.time);
    return a.*field + (b.*field - a.*field) * f;
}

double WidebandCorrection::delayAt(double rpm) const {
    const auto& bands = delays();
    const DelayBand& b = bands[static_cast<std::size_t>(bandOf(rpm))];
    const double r = std::max(rpm, 300.0);
    double d = b.seconds ? *b.seconds * b.atRpm / r : settings_.assumedDelay * 3000.0 / r;
    return std::clamp(d, settings_.delayFloor, settings_.delayCeiling);
}

const std::vector<DelayBand>& WidebandCorrection::delays() const {
    if (delaysStale_) measureDelays();
    return delays_;
}

void WidebandCorrection::measureDelays() const {
    // The exhaust's lambda is required fuel over delivered fuel; the required fuel changes
    // slowly with the operating point, the injected fuel jumps with the throttle and the
    // acceleration enrichment. So at the right delay lambda x injection (delay earlier) runs
    // smooth, and the steps cancel. Each band tries every delay between floor and ceiling,
    // scaled by speed within the band (the gas takes a number of revolutions rather than a
    // fixed time), and keeps the one with the smoothest product.
    delays_.assign(BandCount, {});
    delaysStale_ = false;
    for (int b = 0; b < BandCount; ++b) {
        delays_[static_cast<std::size_t>(b)].fromRpm = BandEdges[b];
        delays_[static_cast<std::size_t>(b)].toRpm = BandEdges[b + 1];
        delays_[static_cast<std::size_t>(b)].atRpm = bandReference(b);
    }
    const double stepS = 0.005;
    const int candidates =
        static_cast<int>((settings_.delayCeiling - settings_.delayFloor) / stepS + 1.5);
    if (candidates <= 0) return;
    std::vector<std::vector<double>> cost(BandCount, std::vector<double>(candidates, 0.0));
    std::vector<int> steps(BandCount, 0);
    std::vector<std::size_t> pairs(BandCount, 0);
    for (std::size_t k = 1; k < readings_.size(); ++k) {
        const Point& p1 = points_[readings_[k - 1]];
        const Point& p2 = points_[readings_[k]];
        if (p1.lambda <= 0.0 || p2.lambda <= 0.0) continue;
        if (p2.readingTime - p1.readingTime > 0.25) continue;
        if (p2.rpm < 300.0f) continue;
        const int band = bandOf(p2.rpm);
        const double ref = bandReference(band);
        // Whether the injection moved in the window this pair can see: only such pairs tell
        // delays apart; steady ones add the same to every candidate.
        const double early = p1.readingTime - settings_.delayCeiling * ref / p2.rpm - 0.1;
        const double late = p2.readingTime - settings_.delayFloor;
        std::size_t i = pointAtOrBefore(early);
        if (i == std::numeric_limits<std::size_t>::max()) continue;
        float lo = points_[i].injectionUs, hi = lo;
        for (; i < points_.size() && points_[i].time <= late; ++i) {
            lo = std::min(lo, points_[i].injectionUs);
            hi = std::max(hi, points_[i].injectionUs);
        }
        if (lo <= 0.0f) continue; // fuel cut: the product says nothing
        const bool step = hi > lo * 1.04f;
        if (!step) continue;
        ++steps[static_cast<std::size_t>(band)];
        std::vector<double>& c = cost[static_cast<std::size_t>(band)];
        bool usable = true;
        std::vector<double> diff(static_cast<std::size_t>(candidates));
        for (int j = 0; j < candidates && usable; ++j) {
            const double atRef = settings_.delayFloor + j * stepS;
            const auto lag = [&](const Point& p) {
                return std::clamp(atRef * ref / std::max<double>(p.rpm, 300.0),
                                  settings_.delayFloor, settings_.delayCeiling);
            };
            const double i1 = interpolate(p1.readingTime - lag(p1), &Point::injectionUs);
            const double i2 = interpolate(p2.readingTime - lag(p2), &Point::injectionUs);
            if (!(i1 > 0.0) || !(i2 > 0.0)) {
                usable = false;
                break;
            }
            diff[static_cast<std::size_t>(j)] = std::log(p2.lambda * i2) - std::log(p1.lambda * i1);
        }
        if (!usable) continue;
        ++pairs[static_cast<std::size_t>(band)];
        for (int j = 0; j < candidates; ++j)
            c[static_cast<std::size_t>(j)] +=
                diff[static_cast<std::size_t>(j)] * diff[static_cast<std::size_t>(j)];
    }
    for (int b = 0; b < BandCount; ++b) {
        DelayBand& d = delays_[static_cast<std::size_t>(b)];
        d.steps = steps[static_cast<std::size_t>(b)];
        if (d.steps < MinSteps || pairs[static_cast<std::size_t>(b)] == 0) continue;
        const std::vector<double>& c = cost[static_cast<std::size_t>(b)];
        const auto best = static_cast<int>(std::min_element(c.begin(), c.end()) - c.begin());
        double at = settings_.delayFloor + best * stepS;
        // A parabola through the best and its neighbours places the minimum between candidates.
        if (best > 0 && best + 1 < candidates) {
            const double l = c[static_cast<std::size_t>(best - 1)],
                         m = c[static_cast<std::size_t>(best)],
                         r = c[static_cast<std::size_t>(best + 1)];
            const double den = l - 2.0 * m + r;
            if (den > 0.0) at += stepS * std::clamp(0.5 * (l - r) / den, -0.5, 0.5);
        }
        d.seconds = std::clamp(at, settings_.delayFloor, settings_.delayCeiling);
    }
}

std::optional<WidebandCorrection::Usable> WidebandCorrection::judge(std::size_t k,
                                                                    Exclusions* why) const {
    const Point& p = points_[readings_[k]];
    const auto exclude = [&](std::uint64_t Exclusions::*field) -> std::optional<Usable> {
        if (why != nullptr) ++(why->*field);
        return std::nullopt;
    };
    if (p.lambda < settings_.minLambda || p.lambda > settings_.maxLambda)
        return exclude(&Exclusions::noLambda);
    const double at = p.readingTime - delayAt(p.rpm);
    const std::size_t i = pointAtOrBefore(at);
    if (i == std::numeric_limits<std::size_t>::max() || i + 1 >= points_.size())
        return exclude(&Exclusions::offMap);
    const Point& a = points_[i];
    const Point& b = points_[i + 1];
    if (b.time - a.time > 0.5) return exclude(&Exclusions::offMap); // a gap in the data
    if (a.injectionUs <= 0.0f || b.injectionUs <= 0.0f) return exclude(&Exclusions::fuelCut);
    if (!a.warm || !b.warm) return exclude(&Exclusions::cold);
    if (a.limiter || b.limiter) return exclude(&Exclusions::limiter);
    if (a.throttle < 0.0f || b.throttle < 0.0f || a.rpm <= 0.0f)
        return exclude(&Exclusions::offMap);
    // No acceleration enrichment in the fuel the reading measured: the throttle moved slower
    // than the unit's threshold from before the point until the reading.
    const double from = at - settings_.settleSeconds;
    std::size_t j = pointAtOrBefore(from);
    if (j == std::numeric_limits<std::size_t>::max()) return exclude(&Exclusions::offMap);
    for (; j + 1 < points_.size() && points_[j].time <= p.readingTime; ++j) {
        const Point& u = points_[j];
        const Point& v = points_[j + 1];
        const double dt = std::max(v.time - u.time, 0.02);
        if (u.throttle < 0.0f || v.throttle < 0.0f) return exclude(&Exclusions::offMap);
        if ((v.throttle - u.throttle) / dt >= settings_.accelerationThreshold)
            return exclude(&Exclusions::transient);
    }
    Usable u{};
    u.lambda = p.lambda;
    u.opRpm = interpolate(at, &Point::rpm);
    u.opThrottle = interpolate(at, &Point::throttle);
    u.axis = a.axis;
    if (why != nullptr) ++why->used;
    return u;
}

CorrectionGrid WidebandCorrection::suggest(const MapCells& map, const MapCells& sessionStart,
                                           const TargetTable& targets,
                                           const LockGrid& locks) const {
    struct Acc {
        std::vector<std::pair<double, double>> ratio, lambda;
        double weight = 0.0;
    };
    std::vector<Acc> acc(MapSize * MapSize);
    for (std::size_t k = usedUpTo_; k < readings_.size(); ++k) {
        const auto u = judge(k, nullptr);
        if (!u) continue;
        const auto point = locate(static_cast<int>(std::lround(u->opRpm)),
                                  static_cast<int>(std::lround(u->opThrottle)),
                                  axes_[static_cast<std::size_t>(u->axis)]);
        if (!point) continue;
        double target = 0.0;
        for (const CellWeight& w : point->cells)
            target += w.weight *
                      targets[static_cast<std::size_t>(w.row)][static_cast<std::size_t>(w.col)];
        if (!(target >= MinTargetLambda && target <= MaxTargetLambda)) continue;
        for (const CellWeight& w : point->cells) {
            if (w.weight <= 0.0) continue;
            Acc& a = acc[static_cast<std::size_t>(w.row * MapSize + w.col)];
            a.ratio.emplace_back(u->lambda / target, w.weight);
            a.lambda.emplace_back(u->lambda, w.weight);
            a.weight += w.weight;
        }
    }
    CorrectionGrid grid{};
    for (std::size_t r = 0; r < MapSize; ++r) {
        for (std::size_t c = 0; c < MapSize; ++c) {
            CellCorrection& out = grid[r][c];
            Acc& a = acc[r * MapSize + c];
            const std::size_t at = r * MapSize + c;
            out.present = out.value = map[at];
            out.samples = a.weight;
            out.readings = static_cast<int>(a.ratio.size());
            if (!a.ratio.empty()) {
                out.medianLambda = weightedQuantile(a.lambda, 0.5);
                out.medianRatio = weightedQuantile(a.ratio, 0.5);
                out.spreadPercent =
                    100.0 * (weightedQuantile(a.ratio, 0.75) - weightedQuantile(a.ratio, 0.25));
            }
            if (locks[r][c]) {
                out.reason = CellReason::Locked;
                continue;
            }
            if (a.ratio.empty()) {
                out.reason = CellReason::NoSamples;
                continue;
            }
            if (a.weight < settings_.minSamples) {
                out.reason = CellReason::FewSamples;
                continue;
            }
            const double present = map[at];
            const double wanted = present * out.medianRatio;
            const double step = present * settings_.maxStepPercent / 100.0;
            const double start = sessionStart[at];
            const double total = start * settings_.maxTotalPercent / 100.0;
            double lo = std::max({present - step, start - total, 5.0});
            double hi = std::min({present + step, start + total, 250.0});
            // A map already beyond the session bound (edited by hand) is not pushed further.
            lo = std::min(lo, present);
            hi = std::max(hi, present);
            const double bounded = std::clamp(wanted, lo, hi);
            // Whole cells: round, then keep within the bounds by rounding towards the present.
            long v = std::lround(bounded);
            if (v > hi) v = static_cast<long>(std::floor(hi));
            if (v < lo) v = static_cast<long>(std::ceil(lo));
            out.value = static_cast<int>(v);
            out.percent = present > 0 ? 100.0 * (out.value - present) / present : 0.0;
            if (out.value != out.present)
                out.reason = CellReason::Suggested;
            else if (std::lround(wanted) != out.present)
                out.reason = CellReason::AtLimit;
            else
                out.reason = CellReason::OnTarget;
        }
    }
    return grid;
}

Exclusions WidebandCorrection::exclusions() const {
    Exclusions e;
    for (std::size_t k = usedUpTo_; k < readings_.size(); ++k) {
        ++e.readings;
        judge(k, &e);
    }
    return e;
}

void WidebandCorrection::markUsed() {
    usedUpTo_ = readings_.size();
}

bool WidebandCorrection::hasUnusedReadings() const {
    return usedUpTo_ < readings_.size();
}

} // namespace velmora::analysis
