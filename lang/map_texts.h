// Texts of the View menu (hints as "short|long"), the injection map window and the map operations,
// in the three languages (0 Czech, 1 English, 2 German). Placeholders %1, %2 ... are filled by the
// caller.
#pragma once

#include <cstdint>

namespace velmora::lang {

enum class MapText {
    ViewMenu,
    HeatColours,
    InjectionMapItem,
    WindowTitle,
    ShowLabel,
    OverlayValues,
    OverlayHits,
    OverlayLambda,
    OverlayBalance,
    OverlaySuggestions,
    AddButton,
    ScaleButton,
    InterpolateAcross,
    InterpolateDown,
    InterpolateCorners,
    Smooth,
    Copy,
    Paste,
    LoadLog,
    ResetStatistics,
    ApplySuggestions,
    AddPrompt,
    ScalePrompt,
    AxisRowLabel,
    NotANumber,
    OutOfRange,
    RaggedRows,
    TooLarge,
    Empty,
    AxisNotRising,
    SelectionTooSmall,
    BadSelection,
    AxisPointBetween,
    TypeCellValue,
    Pasted,
    StatisticsSummary,
    HelperAssumptions,
    NeedsWideBand,
    NoSuggestions,
    SuggestionsApplied,
    LogUnreadable,
    LogMissingChannels,
    LogAnalysed,
    ViewMenuHint,
    InjectionMapHint,
    HeatColoursHint,
    IgnitionCurveItem,
    IgnitionCurveHint,
    CurveWindowTitle,
    CurveSpeedAxis,
    CurveAdvanceAxis,
    NotWhole,
    AxisWholeHundreds,
    SuggestionsUsed,
    StatisticsKeyRefused, // %1 the section, %2 the keys
    AxisNotRecorded,
    AxisDiffers,
    LogRangeSource, // %1 the log, %2 and %3 the range's ends in s
    Count
};

// UTF-8, within the characters Windows-1250 holds; nullptr outside languages 0..2.
const char* mapText(MapText t, std::uint8_t language);

} // namespace velmora::lang
