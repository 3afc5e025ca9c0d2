#include "analysis/map_stats.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace velmora::analysis {

StatsSettings readStatsSettings(const std::function<int(const char*, int)>& read,
                                std::vector<std::string>* refused) {
    StatsSettings s;
    struct Key {
        const char* name;
        int low, high;
        double scale; // settings unit per stored unit
        double StatsSettings::*real;
        int StatsSettings::*whole;
    };
    // Ranges a probe, an engine and a log can really have; beyond them a threshold misleads.
    const Key keys[] = {
        {"SwitchPointMv", 1, 1000, 1, nullptr, &StatsSettings::switchPointMv},
        {"MinRpm", 0, 20000, 1, nullptr, &StatsSettings::minRpm},
        {"MinWaterC", -40, 150, 1, nullptr, &StatsSettings::minWaterC},
        {"MaxThrottleRate", 1, 1000, 1, &StatsSettings::maxThrottleRate, nullptr},
        {"RateWindowMs", 1, 5000, 1000, &StatsSettings::rateWindow, nullptr},
        {"TransportDelayMs", 0, 2000, 1000, &StatsSettings::transportDelay, nullptr},
        {"MinSamples", 1, 1000000, 1, &StatsSettings::minSamples, nullptr},
        {"MaxStepPercent", 1, 20, 1, &StatsSettings::maxStepPercent, nullptr},
    };
    for (const Key& k : keys) {
        const int def =
            k.whole != nullptr ? s.*k.whole : static_cast<int>(std::lround(s.*k.real * k.scale));
        const int v = read(k.name, def);
        if (v < k.low || v > k.high) {
            if (refused != nullptr) refused->emplace_back(k.name);
            continue;
        }
        if (k.whole != nullptr)
            s.*k.whole = v;
        else
            s.*k.real = v / k.scale;
    }
    return s;
}

void MapStatistics::setSettings(const StatsSettings& s) {
    settings_ = s;
    reset();
}

void MapStatistics::reset() {
    cells_ = {};
    used_ = {};
    countedAtUse_ = 0;
    recent_.clear();
    lastLambdaTime_.reset();
    seen_ = counted_ = 0;
}

CellGrid MapStatistics::unusedCells() const {
    CellGrid out = cells_;
    for (std::size_t r = 0; r < MapSize; ++r) {
        for (std::size_t c = 0; c < MapSize; ++c) {
            CellStats& o = out[r][c];
            const CellStats& u = used_[r][c];
            o.samples = std::max(0.0, o.samples - u.samples);
            o.seconds = std::max(0.0, o.seconds - u.seconds);
            o.lambdaSum -= u.lambdaSum;
            o.rich = std::max(0.0, o.rich - u.rich);
            o.lean = std::max(0.0, o.lean - u.lean);
        }
    }
    return out;
}

void MapStatistics::markUsed() {
    used_ = cells_;
    countedAtUse_ = counted_;
}

bool MapStatistics::passes(const EngineSample& s) const {
    return s.rpm > settings_.minRpm && !s.waterFault && s.waterC >= settings_.minWaterC &&
           !s.startLimiter && !s.blocking && s.injectionUs > 0 && s.throttle >= 0 &&
           s.throttle <= 100;
}

bool MapStatistics::throttleSteady(double time) const {
    // The window must be covered by data, or nothing is known about the throttle's movement.
    const double from = time - settings_.rateWindow;
    if (recent_.empty() || recent_.front().time > from) return false;
    int lo = 1000, hi = -1000;
    // The sample at or just before the window's start stands for its beginning. The samples
    // are in time order, so the window's end is found by halving, not by walking.
    auto it = std::make_reverse_iterator(
        std::upper_bound(recent_.begin(), recent_.end(), time,
                         [](double t, const Recent& e) { return t < e.time; }));
    for (; it != recent_.rend(); ++it) {
        lo = std::min(lo, it->throttle);
        hi = std::max(hi, it->throttle);
        if (it->time <= from) break;
    }
    return (hi - lo) / settings_.rateWindow < settings_.maxThrottleRate;
}

void MapStatistics::add(const EngineSample& s, const std::array<int, MapSize>& rpms) {
    ++seen_;
    if (!recent_.empty() && s.time() < recent_.back().time) recent_.clear(); // a new recording
    recent_.push_back({s.time(), s.rpm, s.throttle, passes(s), rpms});
    const double keep =
        std::max(settings_.transportDelay + settings_.rateWindow, 0.0) + settings_.maxGap + 1.0;
    while (recent_.size() > 2 && recent_[1].time < s.time() - keep) recent_.pop_front();
    // Times that stand still keep nothing from leaving by time; the count bounds the work.
    while (recent_.size() > MaxRecent) recent_.pop_front();

    double dt = 0.0;
    if (lastLambdaTime_ && s.time() >= *lastLambdaTime_)
        dt = std::min(s.time() - *lastLambdaTime_, settings_.maxGap);
    lastLambdaTime_ = s.time();

    // The operating point whose exhaust the probe sees now.
    const double then = s.time() - settings_.transportDelay;
    const Recent* point = nullptr;
    const auto after = std::upper_bound(recent_.begin(), recent_.end(), then + 1e-9,
                                        [](double t, const Recent& e) { return t < e.time; });
    if (after != recent_.begin()) point = &*std::prev(after);
    if (point == nullptr || then - point->time > settings_.maxGap) return;
    if (!point->passes || !throttleSteady(point->time)) return;
    const auto p = locate(point->rpm, point->throttle, point->rpms);
    if (!p) return;
    ++counted_;
    const bool rich = s.lambdaMv > settings_.switchPointMv;
    const bool lean = s.lambdaMv < settings_.switchPointMv;
    for (const CellWeight& w : p->cells) {
        if (w.weight <= 0.0) continue;
        CellStats& c = cells_[static_cast<std::size_t>(w.row)][static_cast<std::size_t>(w.col)];
        c.samples += w.weight;
        c.seconds += w.weight * dt;
        c.lambdaSum += w.weight * s.lambdaMv;
        if (rich) c.rich += w.weight;
        if (lean) c.lean += w.weight;
    }
}

SuggestionGrid suggest(const CellGrid& stats, const std::array<std::uint8_t, 100>& map,
                       const StatsSettings& st) {
    SuggestionGrid out{};
    for (int r = 0; r < MapSize; ++r) {
        for (int c = 0; c < MapSize; ++c) {
            const auto ur = static_cast<std::size_t>(r), uc = static_cast<std::size_t>(c);
            CellSuggestion& s = out[ur][uc];
            const int value = map[static_cast<std::size_t>(10 * r + c)];
            s.value = value;
            if (r > st.lastHelperRow) {
                s.kind = Suggestion::NeedsWideBand;
                continue;
            }
            const CellStats& cs = stats[ur][uc];
            if (cs.samples < st.minSamples || cs.samples <= 0) continue;
            const double lean = cs.leanShare() - cs.richShare();
            if (std::abs(lean) < st.balancedBand) {
                s.kind = Suggestion::Balanced;
                continue;
            }
            s.kind = lean > 0 ? Suggestion::MoreFuel : Suggestion::LessFuel;
            const double bound =
                std::clamp(st.maxStepPercent * lean, -st.maxStepPercent, st.maxStepPercent);
            // Towards no change, so the rounded cell stays within the bound (50 + 5 % is 52).
            const double exact = value * (100.0 + bound) / 100.0;
            const double next = bound > 0 ? std::floor(exact + 1e-9) : std::ceil(exact - 1e-9);
            s.value = static_cast<int>(std::clamp(next, 5.0, 250.0));
            s.percent = value > 0 ? 100.0 * (s.value - value) / value : 0.0;
        }
    }
    return out;
}

} // namespace velmora::analysis
