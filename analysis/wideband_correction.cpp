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
// Injection steps a band needs before its measurement counts, and the least step (8 %).
constexpr int MinSteps = 10;
const double MinStep = std::log(1.08);
// The least move of lambda that answers a step (3 %), well above a sensor's noise.
const double MinAnswer = std::log(1.03);
constexpr double MinMeanWeight = 0.25;

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
    // Only the window and the sensor's range decide what answers a step.
    if (s.delayFloor != settings_.delayFloor || s.delayCeiling != settings_.delayCeiling ||
        s.minLambda != settings_.minLambda || s.maxLambda != settings_.maxLambda) {
        answers_.clear();
        judgedUpTo_ = 1;
    }
    settings_ = s;
    delaysStale_ = true;
}

void WidebandCorrection::reset() {
    points_.clear();
    readings_.clear();
    axes_.clear();
    usedUpTo_ = 0;
    delaysStale_ = true;
    answers_.clear();
    judgedUpTo_ = 1;
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
    // Each step of the injection between two samples (the acceleration enrichment, a jump of
    // the throttle) is answered by lambda moving once the exhaust reaches
    // the sensor, and so is the change of the operating point that came with it: the answer
    // is the largest move of lambda between two readings after the floor and before the
    // ceiling. A step that the requirement matched moves lambda too little to count.
    // A fuel cut that begins or ends is answered by lambda leaving or entering the range.
    // Taking the middle of both intervals is right on average, as the step and the answer
    // fall anywhere in them. Each answer is scaled to the band's reference speed (the gas
    // takes a number of revolutions rather than a fixed time).
    delays_.assign(BandCount, {});
    delaysStale_ = false;
    std::vector<std::vector<double>>& found = answers_;
    found.resize(BandCount);
    const auto measured = [&](double lambda) {
        return lambda >= settings_.minLambda && lambda <= settings_.maxLambda;
    };
    std::vector<std::pair<double, double>> moves; // middle of two readings, signed move
    const double lastReading = readings_.empty() ? -1.0 : points_[readings_.back()].readingTime;
    for (std::size_t k = judgedUpTo_; k < points_.size(); judgedUpTo_ = ++k) {
        const Point& a = points_[k - 1];
        const Point& b = points_[k];
        // Its answer may still be on the way: judge this step and the later ones next time.
        if (0.5 * (a.time + b.time) + settings_.delayCeiling + 0.1 > lastReading) break;
        if (b.time - a.time > 0.3 || b.rpm < 300.0f || std::fabs(b.rpm - a.rpm) > 0.2f * b.rpm)
            continue;
        // Fuel cut begins or ends.
        const bool cutBegins = a.injectionUs > 0.0f && b.injectionUs <= 0.0f;
        const bool cutEnds = a.injectionUs <= 0.0f && b.injectionUs > 0.0f;
        const double step = cutBegins || cutEnds
                                ? 0.0
                                : std::log(static_cast<double>(b.injectionUs) / a.injectionUs);
        if (!cutBegins && !cutEnds && (a.injectionUs <= 0.0f || std::fabs(step) < MinStep))
            continue;
        const double at = 0.5 * (a.time + b.time);
        const double from = at + settings_.delayFloor - 0.05;
        const double to = at + settings_.delayCeiling + 0.1;
        auto it = std::lower_bound(
            readings_.begin(), readings_.end(), from,
            [this](std::size_t i, double t) { return points_[i].readingTime < t; });
        double answer = -1.0, best = 0.0;
        moves.clear();
        for (; it != readings_.end() && it + 1 != readings_.end(); ++it) {
            const Point& r1 = points_[*it];
            const Point& r2 = points_[*(it + 1)];
            if (r2.readingTime > to) break;
            if (r2.readingTime - r1.readingTime > 0.2) continue;
            const double mid = 0.5 * (r1.readingTime + r2.readingTime);
            // The first sign of the cut: lambda leaves the range going lean; of its end, the
            // sensor reads anything at all again.
            if ((cutBegins && measured(r1.lambda) && !measured(r2.lambda)) ||
                (cutEnds && r1.lambda <= 0.0 && r2.lambda > 0.0)) {
                answer = mid;
                break;
            }
            if (cutBegins || cutEnds || r1.lambda <= 0.0 || r2.lambda <= 0.0) continue;
            // More fuel makes lambda fall.
            const double move = (step > 0 ? -1.0 : 1.0) * std::log(r2.lambda / r1.lambda);
            moves.emplace_back(mid, move);
            best = std::max(best, move);
        }
        if (!cutBegins && !cutEnds) {
            // An answer well below the step is noise, or the requirement moved with the fuel.
            if (best < std::max(MinAnswer, 0.15 * std::fabs(step))) continue;
            // Where the answer begins: the sensor's own response spreads it over the next
            // interval too.
            for (const auto& m : moves)
                if (m.second >= 0.2 * best) {
                    answer = m.first;
                    break;
                }
        }
        if (answer < 0.0) continue;
        // The gas arrives at the pace of the speed it arrives at; a speed that changed much on
        // the way makes the step say little about any one speed.
        const double rpm = interpolate(answer, &Point::rpm);
        if (!(rpm >= 300.0) || std::fabs(rpm - b.rpm) > 0.15 * rpm) continue;
        const int band = bandOf(rpm);
        found[static_cast<std::size_t>(band)].push_back((answer - at) * rpm / bandReference(band));
    }
    for (int b = 0; b < BandCount; ++b) {
        DelayBand& d = delays_[static_cast<std::size_t>(b)];
        d.fromRpm = BandEdges[b];
        d.toRpm = BandEdges[b + 1];
        d.atRpm = bandReference(b);
        std::vector<double>& v = found[static_cast<std::size_t>(b)];
        d.steps = static_cast<int>(v.size());
        if (d.steps < MinSteps) continue;
        // Step and answer are each known to within a sample interval: the mean of the steps
        // near the median is right, where the median alone keeps that graininess.
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        const double median = v[v.size() / 2];
        double sum = 0.0;
        int n = 0;
        for (const double x : v)
            if (std::fabs(x - median) <= 0.1) {
                sum += x;
                ++n;
            }
        d.seconds = std::clamp(sum / n, settings_.delayFloor, settings_.delayCeiling);
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

namespace {

struct Acc {
    std::vector<std::pair<double, double>> ratio, lambda; // value, bilinear weight
    double weight = 0.0;
};
struct Row {
    std::array<CellWeight, 4> cells;
    double wanted; // the map value the reading asks for at its point
    double ratio;  // measured over target
    int nearest;
};

// A reading between cells measures their bilinear blend, not one cell: the map that the
// readings ask for is fitted over all cells at once (least squares over the bilinear weights),
// so that a cell whose readings lie mostly near a neighbour is not held back by it. A weak pull
// towards the present map keeps cells with few readings where they are; locked cells stay.
// Readings far from their nearest cell's median (a misfire, a gulp of air) are left out.
std::array<double, 100> fit(const std::vector<Row>& rows, std::vector<Acc>& acc,
                            const MapCells& map, const LockGrid& locks) {
    constexpr std::size_t N = MapSize * MapSize;
    constexpr double Pull = 0.05;
    std::array<double, N> median{}, band{};
    for (std::size_t i = 0; i < N; ++i) {
        if (acc[i].ratio.empty()) continue;
        median[i] = weightedQuantile(acc[i].ratio, 0.5);
        const double iqr =
            weightedQuantile(acc[i].ratio, 0.75) - weightedQuantile(acc[i].ratio, 0.25);
        band[i] = std::max(4.0 * iqr, 0.05);
    }
    std::vector<double> a(N * N, 0.0), b(N, 0.0);
    for (const Row& r : rows) {
        const auto n = static_cast<std::size_t>(r.nearest);
        if (std::fabs(r.ratio - median[n]) > band[n]) continue;
        for (const CellWeight& p : r.cells) {
            const auto i = static_cast<std::size_t>(p.row * MapSize + p.col);
            b[i] += p.weight * r.wanted;
            for (const CellWeight& q : r.cells)
                a[i * N + static_cast<std::size_t>(q.row * MapSize + q.col)] += p.weight * q.weight;
        }
    }
    for (std::size_t i = 0; i < N; ++i) {
        const double pull = locks[i / MapSize][i % MapSize] ? 1e9 : Pull;
        a[i * N + i] += pull;
        b[i] += pull * map[i];
    }
    // The matrix is symmetric and positive definite: elimination without pivoting is sound.
    for (std::size_t k = 0; k < N; ++k) {
        for (std::size_t i = k + 1; i < N; ++i) {
            const double f = a[i * N + k] / a[k * N + k];
            if (f == 0.0) continue;
            for (std::size_t j = k; j < N; ++j) a[i * N + j] -= f * a[k * N + j];
            b[i] -= f * b[k];
        }
    }
    std::array<double, N> x{};
    for (std::size_t k = N; k-- > 0;) {
        double v = b[k];
        for (std::size_t j = k + 1; j < N; ++j) v -= a[k * N + j] * x[j];
        x[k] = v / a[k * N + k];
    }
    return x;
}

} // namespace

CorrectionGrid WidebandCorrection::suggest(const MapCells& map, const MapCells& sessionStart,
                                           const TargetTable& targets, const LockGrid& locks,
                                           Exclusions* why) const {
    std::vector<Acc> acc(MapSize * MapSize);
    std::vector<Row> rows;
    if (why != nullptr) *why = {};
    for (std::size_t k = usedUpTo_; k < readings_.size(); ++k) {
        if (why != nullptr) ++why->readings;
        const auto u = judge(k, why);
        if (!u) continue;
        const auto point = locate(static_cast<int>(std::lround(u->opRpm)),
                                  static_cast<int>(std::lround(u->opThrottle)),
                                  axes_[static_cast<std::size_t>(u->axis)]);
        if (!point) continue;
        double target = 0.0, present = 0.0;
        for (const CellWeight& w : point->cells) {
            const auto r = static_cast<std::size_t>(w.row), c = static_cast<std::size_t>(w.col);
            target += w.weight * targets[r][c];
            present += w.weight * map[r * MapSize + c];
        }
        if (!(target >= MinTargetLambda && target <= MaxTargetLambda)) continue;
        rows.push_back({point->cells, present * u->lambda / target, u->lambda / target,
                        point->nearestRow * MapSize + point->nearestCol});
        for (const CellWeight& w : point->cells) {
            if (w.weight <= 0.0) continue;
            Acc& a = acc[static_cast<std::size_t>(w.row * MapSize + w.col)];
            a.ratio.emplace_back(u->lambda / target, w.weight);
            a.lambda.emplace_back(u->lambda, w.weight);
            a.weight += w.weight;
        }
    }
    const std::array<double, 100> fitted = fit(rows, acc, map, locks);
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
            // Readings that only pass between cells (a mean weight below a quarter, what readings
            // spread evenly around a cell have) measure a blend a neighbour can satisfy as well.
            if (a.weight < settings_.minSamples) {
                out.reason = CellReason::FewSamples;
                continue;
            }
            if (a.weight < MinMeanWeight * static_cast<double>(a.ratio.size())) {
                out.reason = CellReason::Between;
                continue;
            }
            const double present = map[at];
            const double wanted = fitted[at];
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
