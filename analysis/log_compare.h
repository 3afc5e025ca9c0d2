// Two rides side by side: where the second log's time meets the first's, which of the plotted
// channels both logs hold, both rides over the same cells, and how the injection maps they were
// recorded with differ. Nothing here guesses: what cannot be found is an error with its reason.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "analysis/log_table.h"
#include "analysis/map_geometry.h"
#include "log/log_context.h"
#include "log/mlg.h"
#include "model/calibration.h"

namespace velmora::analysis {

enum class AlignFailure { None, NoMarker, NoChannel, NoCrossing };

// The second log's times plus `offset` are the first log's times.
struct Alignment {
    AlignFailure failure = AlignFailure::None;
    int log = 0;       // the log that failed: 0 the first, 1 the second
    std::string error; // why, in plain English
    double offset = 0.0;
    double firstTime = 0.0, secondTime = 0.0; // the moment aligned, in each log's own time
    bool ok() const { return failure == AlignFailure::None; }
};

// At a marker of each log, by its index in the log's markers.
Alignment alignAtMarkers(const log::LogData& first, std::size_t firstMarker,
                         const log::LogData& second, std::size_t secondMarker);
// At a time of each log (s).
Alignment alignAtTimes(double firstTime, double secondTime);

// A channel crossing a value: rising when the record before lies below it and the record at or
// above; falling the other way round. The time is interpolated between the two records; a pair
// with a record that is no number crosses nothing.
struct CrossingEvent {
    std::string channel;
    double value = 0.0;
    bool rising = true;
    std::size_t nth = 1; // 1: the first crossing at or after `after`
    double after = -std::numeric_limits<double>::infinity(); // s, in the log's own time
};
Alignment alignAtEvent(const log::LogData& first, const CrossingEvent& inFirst,
                       const log::LogData& second, const CrossingEvent& inSecond);

// Which of the first log's plotted channels the second holds, in the plotted order.
struct SharedChannels {
    std::vector<std::string> common, missing;
};
SharedChannels sharedChannels(const std::vector<std::string>& plotted, const log::LogData& second);

// One ride for the cell table: its channels and the speed axes its `.context` recorded.
struct Ride {
    CellChannels channels;
    std::vector<log::ContextEntry> recorded;
};
struct RideCells {
    CellTable first, second, difference; // difference: second minus first
};
// Both rides on the same cells. With `today`, the map's own cells headed by it, each ride placed
// on the speed axis it was recorded with; without, options.bins for both.
RideCells rideCells(const Ride& first, const Ride& second, CellTableOptions options,
                    const std::array<int, MapSize>* today = nullptr);

// What a parameter file does not hold but the recorded checksum covers: the image bytes that
// identify the unit's program and the model values. A file is tried over each base.
struct CalibrationBase {
    Calibration calibration;
    Image image{};
};

enum class RideCalibrationState {
    Earned,    // the named file packs to the image recorded
    NoContext, // the log kept no `.context`, or it names no file
    NotFound,  // the file cannot be read
    Changed,   // the file packs to another image: it changed since the ride
};
struct RideCalibration {
    RideCalibrationState state = RideCalibrationState::NoContext;
    std::string file;
    Calibration calibration; // when earned
    // The calibration changed during the ride; the one in force at its start is the one used.
    bool changedDuringRide = false;
    bool earned() const { return state == RideCalibrationState::Earned; }
};
// The calibration a log was recorded with at its start, from the file its context names (one
// not found where it was is looked for by its name beside the log). Besides `bases`, the default
// calibration of the file's model over an empty image is tried, as a fresh start of the program
// holds it.
RideCalibration rideCalibration(const std::vector<log::ContextEntry>& recorded, double logStart,
                                const std::string& logPath,
                                const std::vector<CalibrationBase>& bases = {});

// Per map cell the second calibration's value minus the first's: in the map's own unit (% of the
// base injection) and relative to the first's value in %. Rows are the throttle axis, columns
// `columns` (the headings the cell table shows).
struct MapDifference {
    CellTable points, percent;
};
MapDifference mapDifference(const Calibration& first, const Calibration& second,
                            const std::array<int, MapSize>& columns);

} // namespace velmora::analysis
