// Texts of the Log menu, its status-bar field, the log viewer and the replay, in Czech,
// English and German.
#pragma once

#include <cstdint>

namespace velmora::lang {

enum class LogText {
    Menu,
    MenuHint,
    StartRecording,
    StartRecordingHint,
    StopRecording,
    Marker,
    MarkerHint,
    RecordWhileConnected,
    RecordWhileConnectedHint,
    OpenLog,
    OpenLogHint,
    Replay,
    ReplayHint,
    OpenLogsFolder,
    OpenLogsFolderHint,
    ExportCsv,
    MarkerNote,       // %1: the marker's number
    RecordingStopped, // %1: why
    ReplayBanner,     // %1: file name
    ReplayTitle,
    Play,
    Pause,
    Stop,
    Speed,
    ReplayBusy,
    NoFrameLog,
    NoRecords,
    ViewerTitle,
    Channels,
    Value,
    Markers,
    ShowAll,
    ZoomToSelection,
    Selection, // %1, %2: start and end, %3: length, in s
    Cursor,    // %1: time in s
    LogFilter,
    CsvFilter,
    Exported, // %1: file
    Records,  // after the record count in the status bar
    TimeAxis,
    RecordingNotStarted, // %1: why
    AnalyseMap,
    // The scatter view and the cell table view.
    ScatterTab,
    CellTableTab,
    ScatterX,
    ScatterY,
    ScatterColour,
    NoChannel,
    TableChannel,
    Statistic,
    StatMean,
    StatMedian,
    StatMinimum,
    StatMaximum,
    StatCount,
    MinimumCount,
    Bins,
    BinsMap,
    BinsChosen,
    BinsXPoints,
    BinsYPoints,
    CopyTable,
    TimeSpans,
    SpanText,  // %1, %2: start and end, %3: length, in s
    NoTable,   // %1: why
    CellCount, // %1: records, %2: spans
    // Two logs side by side.
    OpenSecondLog,
    RemoveSecondLog,
    AlignTitle,
    AlignAtMarker,
    AlignAtTime,
    AlignAtEvent,
    FirstLog,
    SecondLog,
    Rising,
    Falling,
    CrossingNumber,
    AfterTime,
    SecondUnreadable, // %1: file, %2: why (in English, from the reader)
    SecondNoCommon,   // %1: file
    SecondMissing,    // %1: file, %2: the channels
    AlignNoMarker,    // %1: file, %2: marker number
    AlignNoChannel,   // %1: file, %2: channel
    AlignNoCrossing,  // %1: file, %2: channel, %3: value
    SecondShown,      // %1: file, %2: shift in s
    FirstRide,
    SecondRide,
    Difference,
    MapDifference,
    RideCalibrationChanged,  // %1: file
    RideCalibrationNotFound, // %1: file
    RideCalibrationNone,
    RideCalibrationAtStart,
    // Computed channels and the filter.
    ComputedChannels,
    ComputedName,
    ComputedExpression,
    ComputedUnits,
    ComputedDigits,
    ComputedAdd,
    ComputedChange,
    ComputedRemove,
    ComputedClose,
    FilterLabel,
    FilterKeeps,       // %1 of %2 records
    ComputedNoName,    //
    ComputedNameTaken, // %1: the name
    ComputedNameTwice, // %1: the name
    ComputedTooLarge,  //
    ErrorAt,           // %1: column, %2: what is wrong
    ExprEmpty,
    ExprTooLong,             // %1: the most characters
    ExprTooDeep,             // %1: the most levels
    ExprTooManyColumns,      // %1: the most columns
    ExprUnexpectedCharacter, // %1: the character
    ExprUnclosedQuote,
    ExprBadNumber, // %1: the number
    ExprUnexpectedEnd,
    ExprUnexpected, // %1: what was found
    ExprUnclosedParenthesis,
    ExprUnmatchedParenthesis,
    ExprUnknownChannel,  // %1: the name
    ExprUnknownFunction, // %1: the name
    ExprArgumentCount,   // %1: the function
    ExprExpectedDuration,
    ExprBadWindow,
    ExprDurationAsValue,   // %1: the time
    ExprSelfReference,     // %1: the channel
    ExprCycle,             // %1: the channels in their circle
    ExprInComputedChannel, // %1: the channel
    // Why the cell table is empty, after "No table: ".
    TableNoTime,
    TableMissingChannel, // %1: the channel
    TableShortChannel,   // %1: the channel
    TableShortFilter,
    TablePointsNotRising, // %1: X or Y
    TableTooManyPoints,   // %1: X or Y, %2: the most points
    TableRecordedAxis,    // %1: log time in s
    TableOtherCells,
    TablePointsNotNumbers, // %1: the text typed
    TableFilterNotOnSecond,
    Count
};

// UTF-8; English for a language outside 0..2.
const char* logText(LogText t, std::uint8_t language);

} // namespace velmora::lang
