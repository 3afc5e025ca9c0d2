// Texts of the edit history, the snapshots, the difference report and the agreement fields,
// in Czech, English and German.
#pragma once

#include <cstdint>

namespace velmora::lang {

enum class HistoryText {
    EditMenu,
    EditMenuHint,
    Undo, // followed by the name of the step
    Redo,
    UndoHint,
    RedoHint,
    Snapshots,
    SnapshotsHint,
    Compare,
    CompareHint,
    UnitSame,
    UnitDiffers,
    UnitUnknown,
    FileSaved,
    FileChanged,
    FileNone,
    Recovered,      // %1 the time of the recovery file
    ValuesDiffer,   // %1 the count, more than one
    ValueDiffers,   // the same for one value
    UnitFailed,     // a verify found %1 values that differ
    UnitFailedOne,  // and for one value
    ForeignModel,   // %1 the file's model, %2 the model whose table is kept
    SnapshotFailed, // %1 the reason
    SnapshotGone,   // %1 the file
    RecoveryUnreadable,
    RecoveryFailed, // %1 the reason
    On,
    Off,
    StepEdit,
    StepNew,
    StepOpen,
    StepRead,
    StepModel,
    StepCurveMinus,
    StepCurvePlus,
    StepJetMinus,
    StepJetPlus,
    StepColumnMinus, // %1 the column number
    StepColumnPlus,
    StepTps0,
    StepTps100,
    StepRecovery,
    StepSnapshot,
    StepSave,
    StepValues, // %1 a count of values
    // Operations of the map window on a block of cells: %1 the count of cells, %2 the operand.
    StepPaste,
    StepAddCells,
    StepScaleCells,
    StepSetCells,
    StepInterpolateAcross,
    StepInterpolateDown,
    StepInterpolateCorners,
    StepSmooth,
    StepSuggestions,
    SnapshotsTitle,
    ColumnTime,
    ColumnKind,
    ColumnUnit,
    ColumnDiffers,
    OpenButton,
    CompareButton,
    CloseButton,
    CompareTitle,
    ColumnPage,
    ColumnGroup,
    ColumnName,
    ColumnScreen,
    ColumnOther,
    CopyButton,
    CompareFile,
    CompareSnapshot,
    CompareUnit,
    NoDifference,
    KindRead,
    KindProgram,
    KindBeforeNew,
    KindBeforeOpen,
    KindBeforeRead,
    KindBeforeModel,
    KindOtherCopy,
    OtherCopyKept,       // %1 the snapshot's file name
    RecoveryNotReadable, // %1 the file and the reason
    RecoveryBehind,      // %1 the count of changes
    SnapshotPending,
    StepWideband, // %1 a count of cells
    Count
};

// UTF-8 text in language 0 Czech, 1 English, 2 German; English for any other language.
const char* historyText(HistoryText t, std::uint8_t language);

// Names of the calibration values as the window presents them: pages, groups and labels.
// A label may hold {n} (a running number) and {rpm} (the speed it belongs to).
enum class ParamText {
    PageIgnition,
    PageFuelMap,
    PageMisc,
    PageN2o,
    PageMonitor,
    PageModel,
    GroupAdvance,
    GroupOther,
    GroupSwitches,
    GroupN2o,
    GroupRetard,
    GroupPrivera,
    GroupMap,
    GroupKor23,
    GroupTps,
    GroupAkcel,
    GroupStartJet,
    GroupCooling,
    GroupWater,
    GroupAir,
    GroupModelTable,
    SpeedPoint,
    AdvancePoint,
    StartLimiter,
    Limiter,
    Clutch,
    PilotLight,
    Model,
    Tacho2x,
    NoReading,
    N2oEnable,
    ActBlock,
    ActClutch,
    ActLimiter,
    ActRpm,
    ActN2o,
    ExtMonitor,
    Gas1,
    Gas2,
    Delay,
    BuildUp,
    Retard1,
    Retard2,
    PriveraSpeed,
    PriveraVoltage,
    PriveraHysteresis,
    MapColumn,
    MapCell, // {row} the throttle row, {rpm} the column's speed
    Kor23,
    Tps0,
    Tps100,
    AkcelThreshold,
    AkcelSize,
    StartJet,
    Cooling,
    Temperature, // {t} degrees
    AdvanceMax,
    ModelFlag,
    ModelTab,
    ModelConst,
    ThrottlePosition,
    Count
};

const char* paramText(ParamText t, std::uint8_t language);

} // namespace velmora::lang
