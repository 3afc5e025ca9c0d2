// Keeps the calibration safe: the edit history, the recovery file, the snapshots, and whether
// the unit and the parameter file hold what the screen shows. The window tells it every
// committed change and every exchange result; it answers with what to show.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

    // At start-up: the newest recovery file left by a copy that no longer runs, when it holds
    // another calibration, becomes one step whose calibration the window then shows, and is
    // removed once this copy's own file holds it. Files of running copies are not touched; a
    // damaged or unreadable one is reported and left where it is.
    struct Recovery {
        RecoveryFile::State state = RecoveryFile::State::Missing;
        std::optional<Calibration> cal; // set when the window must show it
        std::int64_t savedAt = 0;
        std::string error; // what made a file unreadable, in the system's words
        std::string path;  // that file
        int errorNumber = 0;
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

    // Protection lost until a write succeeds: changes the recovery file does not hold yet, and
    // a snapshot that could not be stored. retryWrites() tries both again (a freed disk).
    int recoveryBehind() const { return recoveryBehind_; }
    const std::optional<WriteResult>& lastRecoveryError() const { return lastRecoveryError_; }
    const std::optional<WriteResult>& snapshotPending() const { return pendingFailure_; }
    void retryWrites();
    // After the settings were saved at a clean close: removes this copy's own file only.
    void closedCleanly();

    // The calibration the settings file held when this copy started.
    void settingsAtStart(const Calibration& cal) { atStart_ = cal; }
    // Before the settings are written at a close. When the file holds a calibration that
    // another copy wrote since this one started, and that is kept nowhere, it is kept as a
    // snapshot, and named to the next start. The result names the snapshot.
    std::optional<WriteResult> keepOtherCopy(const Calibration& inSettingsFile);
    // At start-up, once: the snapshot a copy closed before kept of another copy's calibration.
    std::optional<std::string> takeOtherCopyNote();
    RecoveryFile& recoveryFile() { return recovery_; }

private:
    void changed();
    bool held(const Calibration& cal) const;
    std::int64_t now() const;

    Clock clock_;
    History history_;
    Calibration committed_{};
    Calibration atStart_{};
    std::string folder_;
    RecoveryFile recovery_;
    std::unique_ptr<RecoveryLock> ownLock_;
    SnapshotStore snapshots_;
    std::set<std::string> held_; // calibrations a snapshot holds, as bytes
    std::optional<std::string> fileText_;
    std::optional<Calibration> unitCal_;
    bool verifyFailed_ = false;
    int verifyDifferences_ = 0;
    std::optional<WriteResult> recoveryFailure_;
    std::optional<WriteResult> snapshotFailure_;
    int recoveryBehind_ = 0;
    std::optional<WriteResult> lastRecoveryError_;
    struct PendingSnapshot {
        SnapshotKind kind;
        std::int64_t time;
        Calibration cal;
        std::optional<Image> image;
    };
    std::optional<PendingSnapshot> pending_;
    std::optional<WriteResult> pendingFailure_;
    bool recoveryUnflushed_ = false;
};

} // namespace velmora
