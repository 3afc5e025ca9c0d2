// Keeps the calibration safe: the edit history, the recovery file, the snapshots, and whether
// the unit and the parameter file hold what the screen shows. The window tells it every
// committed change and every exchange result; it answers with what to show.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "files/atomic_file.h"
#include "history/history.h"
#include "history/recovery.h"
#include "history/snapshot_store.h"
#include "model/calibration.h"

namespace velmora {

// Same only while the last exchange proved that the unit holds what the screen shows;
// Differs when the screen was changed since; VerifyFailed when a verify found the unit holding
// other values.
enum class UnitAgreement : std::uint8_t { Unknown, Same, Differs, VerifyFailed };
enum class FileAgreement : std::uint8_t { None, Saved, Changed };

class Keeper {
public:
    using Clock = std::function<std::int64_t()>; // seconds since 1970

    // `folder` is the data folder: the recovery file lies in it, the snapshots below it.
    explicit Keeper(const std::string& folder, Clock clock = {},
                    std::size_t historyLimit = History::DefaultLimit);

    // The calibration the settings gave at start-up, and the one of the parameter file named
    // there when it could be read.
    void start(const Calibration& loaded, const std::optional<Calibration>& file);

    // At start-up: a valid recovery file holding another calibration becomes one step, whose
    // calibration the window then shows. A damaged one is reported, and replaced by the next write.
    struct Recovery {
        RecoveryFile::State state = RecoveryFile::State::Missing;
        std::optional<Calibration> cal; // set when the window must show it
        std::int64_t savedAt = 0;
    };
    Recovery recover();

    // A committed change of the working parameters. With `replacing`, the command replaces the
    // calibration (New, Open, Read, a model change): one that no snapshot or parameter file
    // holds yet is stored first. True when a step was made.
    bool commit(StepName name, const Calibration& now,
                std::optional<SnapshotKind> replacing = std::nullopt);
    // The calibration to show; the keeper takes it as committed.
    std::optional<Calibration> undo();
    std::optional<Calibration> redo();
    const Calibration& committed() const { return committed_; }
    // Takes `cal` as committed without a step: the same calibration in another form (a program
    // exchange gives switches back as their bits), or what a clamp made of a restored one.
    void adopt(const Calibration& cal);
    const History& history() const { return history_; }

    // Exchange results. `image` is what the unit holds after a read, a verify or a program.
    void unitHolds(const Image& image);
    // A verify found `count` values that differ: whatever was known of the unit is void, as
    // another unit may be on the port.
    void unitDiffers(int count);
    void unitUnknown(); // a failed exchange, a lost, reopened or other port
    UnitAgreement unit() const;
    // With VerifyFailed: how many values the verify found different (0: only bytes that hold
    // no value, such as the identification).
    int unitDifferences() const { return verifyDifferences_; }

    // The calibration was saved to or opened from a parameter file.
    void fileStored(const Calibration& cal);
    FileAgreement file() const;

    // Stores a snapshot; a read or program gives the image the unit holds.
    WriteResult snapshot(SnapshotKind kind, const Calibration& cal, const Image* image = nullptr);
    SnapshotStore& snapshots() { return snapshots_; }

    // The result of the last recovery write that failed, once; empty otherwise.
    std::optional<WriteResult> takeRecoveryFailure();
    // The last snapshot that could not be stored, once.
    std::optional<WriteResult> takeSnapshotFailure();
    // True once after recovery writes that have not been flushed to the disk yet.
    bool takeRecoveryUnflushed();
    // After the settings were saved at a clean close.
    void closedCleanly();
    RecoveryFile& recoveryFile() { return recovery_; }

private:
    void changed();
    bool held(const Calibration& cal) const;
    std::int64_t now() const;

    Clock clock_;
    History history_;
    Calibration committed_{};
    RecoveryFile recovery_;
    SnapshotStore snapshots_;
    std::set<std::string> held_; // calibrations a snapshot holds, as bytes
    std::optional<std::string> fileText_;
    std::optional<Calibration> unitCal_;
    bool verifyFailed_ = false;
    int verifyDifferences_ = 0;
    std::optional<WriteResult> recoveryFailure_;
    std::optional<WriteResult> snapshotFailure_;
    bool recoveryUnflushed_ = false;
};

} // namespace velmora
