#include "analysis/log_compare.h"

#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>

#include "files/param_file.h"
#include "model/clamp.h"
#include "model/defaults.h"

namespace velmora::analysis {

namespace {

const char* logName(int log) {
    return log == 0 ? "the first log" : "the second log";
}

Alignment failed(AlignFailure f, int log, const std::string& why) {
    Alignment a;
    a.failure = f;
    a.log = log;
    a.error = std::string(logName(log)) + " " + why;
    return a;
}

Alignment aligned(double firstTime, double secondTime) {
    Alignment a;
    a.firstTime = firstTime;
    a.secondTime = secondTime;
    a.offset = firstTime - secondTime;
    return a;
}

// The time of the event in one log, or the failure.
Alignment crossing(const log::LogData& data, const CrossingEvent& e, int log) {
    const ChannelView v = channel(data, e.channel);
    if (!v.present() || v.size() != data.records())
        return failed(AlignFailure::NoChannel, log, "has no channel " + e.channel);
    std::size_t seen = 0;
    for (std::size_t r = 1; r < data.records(); ++r) {
        const double a = v[r - 1], b = v[r];
        if (!std::isfinite(a) || !std::isfinite(b)) continue;
        const bool crosses = e.rising ? a < e.value && b >= e.value : a > e.value && b <= e.value;
        if (!crosses) continue;
        const double t0 = data.time[r - 1], t1 = data.time[r];
        const double t = t0 + (e.value - a) / (b - a) * (t1 - t0);
        if (t < e.after) continue;
        if (++seen == std::max<std::size_t>(e.nth, 1)) {
            Alignment found;
            found.firstTime = t;
            return found;
        }
    }
    return failed(AlignFailure::NoCrossing, log,
                  "has no " + std::to_string(std::max<std::size_t>(e.nth, 1)) + ". " +
                      (e.rising ? "rise" : "fall") + " of " + e.channel + " through " +
                      std::to_string(e.value));
}

} // namespace

Alignment alignAtMarkers(const log::LogData& first, std::size_t firstMarker,
                         const log::LogData& second, std::size_t secondMarker) {
    const std::pair<const log::LogData*, std::size_t> wanted[] = {{&first, firstMarker},
                                                                  {&second, secondMarker}};
    for (int log = 0; log < 2; ++log) {
        const auto& [data, index] = wanted[log];
        if (index >= data->markers.size())
            return failed(AlignFailure::NoMarker, log,
                          "has no marker " + std::to_string(index + 1) + " (it has " +
                              std::to_string(data->markers.size()) + ")");
    }
    return aligned(first.markers[firstMarker].time, second.markers[secondMarker].time);
}

Alignment alignAtTimes(double firstTime, double secondTime) {
    return aligned(firstTime, secondTime);
}

Alignment alignAtEvent(const log::LogData& first, const CrossingEvent& inFirst,
                       const log::LogData& second, const CrossingEvent& inSecond) {
    const Alignment a = crossing(first, inFirst, 0);
    if (!a.ok()) return a;
    const Alignment b = crossing(second, inSecond, 1);
    if (!b.ok()) return b;
    return aligned(a.firstTime, b.firstTime);
}

SharedChannels sharedChannels(const std::vector<std::string>& plotted, const log::LogData& second) {
    SharedChannels s;
    for (const std::string& name : plotted)
        (second.fieldIndex(name) >= 0 ? s.common : s.missing).push_back(name);
    return s;
}

RideCells rideCells(const Ride& first, const Ride& second, CellTableOptions options,
                    const std::array<int, MapSize>* today) {
    RideCells out;
    if (today != nullptr) options.bins = mapBins(*today, first.recorded);
    out.first = cellTable(first.channels, options);
    if (today != nullptr) options.bins = mapBins(*today, second.recorded);
    out.second = cellTable(second.channels, options);
    out.difference = cellDifference(out.first, out.second);
    return out;
}

namespace {

// Tries the file over one base, as the window opens a file (values it lacks stay, then the
// clamp), with the model values as they were or as the model's table gives them.
bool packsTo(const std::string& path, const CalibrationBase& base, std::uint32_t checksum,
             Calibration& out) {
    Calibration cal = base.calibration;
    if (!openParamFile(path, cal)) return false;
    for (const bool modelTable : {false, true}) {
        Calibration c = cal;
        if (modelTable) applyModelTable(c);
        clamp(c);
        Image image = base.image;
        pack(c, image);
        if (log::crc32(image.data(), image.size()) == checksum) {
            out = c;
            return true;
        }
    }
    return false;
}

std::optional<std::string> findFile(const std::string& name, const std::string& logPath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_regular_file(name, ec)) return name;
    const fs::path beside = fs::path(logPath).parent_path() / fs::path(name).filename();
    if (fs::is_regular_file(beside, ec)) return beside.string();
    return std::nullopt;
}

} // namespace

RideCalibration rideCalibration(const std::vector<log::ContextEntry>& recorded, double logStart,
                                const std::string& logPath,
                                const std::vector<CalibrationBase>& bases) {
    RideCalibration out;
    if (recorded.empty()) return out;
    // The entry in force at the first record.
    const long long startMs = std::llround(logStart * 1000.0);
    std::size_t at = 0;
    for (std::size_t i = 1; i < recorded.size(); ++i)
        if (recorded[i].timeMs <= startMs) at = i;
    const log::LogContext& c = recorded[at].context;
    for (std::size_t i = at + 1; i < recorded.size(); ++i)
        out.changedDuringRide |= recorded[i].context.checksum != c.checksum;
    out.file = c.calibrationFile;
    if (out.file.empty()) return out;
    const std::optional<std::string> path = findFile(out.file, logPath);
    Calibration probe;
    if (!path || !openParamFile(*path, probe)) {
        out.state = RideCalibrationState::NotFound;
        return out;
    }
    CalibrationBase fresh;
    fresh.calibration[Klicovani] = probe[Klicovani];
    setDefaultCalibration(fresh.calibration);
    std::vector<CalibrationBase> tried = bases;
    tried.push_back(fresh);
    out.state = RideCalibrationState::Changed;
    for (const CalibrationBase& b : tried) {
        if (packsTo(*path, b, c.checksum, out.calibration)) {
            out.state = RideCalibrationState::Earned;
            break;
        }
    }
    return out;
}

MapDifference mapDifference(const Calibration& first, const Calibration& second,
                            const std::array<int, MapSize>& columns) {
    MapDifference d;
    for (CellTable* t : {&d.points, &d.percent}) {
        t->columns.assign(columns.begin(), columns.end());
        t->rows.assign(ThrottleAxis.begin(), ThrottleAxis.end());
        t->cells.resize(static_cast<std::size_t>(MapSize * MapSize));
    }
    for (int r = 0; r < MapSize; ++r) {
        for (int c = 0; c < MapSize; ++c) {
            const double a = first[jetCell(r, c)], b = second[jetCell(r, c)];
            const auto i = static_cast<std::size_t>(r * MapSize + c);
            d.points.cells[i].value = b - a;
            ++d.points.counted;
            if (a > 0) {
                d.percent.cells[i].value = (b - a) / a * 100.0;
                ++d.percent.counted;
            }
        }
    }
    return d;
}

} // namespace velmora::analysis
