#include "history/keeper.h"

#include <chrono>
#include <filesystem>
#include <unistd.h>

#include "files/param_file.h"
#include "files/safe_file.h"

namespace velmora {

namespace {

// A calibration as bytes, switches as 0 or 1: the same setting gives the same key.
std::string keyOf(const Calibration& cal) {
    std::string key(reinterpret_cast<const char*>(cal.v.data()), cal.v.size());
    for (std::size_t p = 0; p < ParamCount; ++p)
        if (isFlag(static_cast<Param>(p))) key[p] = cal.v[p] != 0 ? 1 : 0;
    return key;
}

// Whether the unit holding `unit` matches the screen: the values the image carries, switches
// by whether they are set.
bool sameInUnit(const Calibration& screen, const Calibration& unit) {
    for (std::size_t p = 0; p < ParamCount; ++p) {
        const ParamInfo& info = paramInfo(static_cast<Param>(p));
        if (info.imageOffset < 0) continue;
        if (!sameSetting(static_cast<Param>(p), screen, unit)) return false;
    }
    return true;
}

} // namespace

Keeper::Keeper(const std::string& folder, Clock clock, std::size_t historyLimit)
    : clock_(std::move(clock)), history_(historyLimit), folder_(folder),
      recovery_(folder + "/" + ownRecoveryName()), snapshots_(folder + "/snapshots") {
    std::error_code ignored; // a folder that cannot be made shows as failed writes
    std::filesystem::create_directories(folder, ignored);
    ownLock_ = RecoveryLock::claim(lockPathOf(recovery_.path()));
}

namespace {
std::string otherCopyNotePath(const std::string& folder) {
    return folder + "/other-copy.txt";
}
} // namespace

std::int64_t Keeper::now() const {
    if (clock_) return clock_();
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void Keeper::start(const Calibration& loaded, const std::optional<Calibration>& file) {
    committed_ = loaded;
    atStart_ = loaded;
    if (file) fileText_ = formatParamFile(*file);
}

Keeper::Recovery Keeper::recover() {
    Recovery out;
    removeStaleLocks(folder_);
    // Claiming an orphan's lock keeps a copy starting at the same moment off it.
    std::unique_ptr<RecoveryLock> chosenLock;
    RecoveryFile::Loaded chosen;
    std::string chosenPath;
    for (const std::string& path : recoveryFilesIn(folder_)) {
        if (path == recovery_.path()) continue;
        std::unique_ptr<RecoveryLock> lock = RecoveryLock::claim(lockPathOf(path));
        if (!lock) continue; // its copy runs
        RecoveryFile::Loaded loaded = RecoveryFile(path).load();
        if (loaded.state == RecoveryFile::State::Missing) {
            lock->removeFile();
        } else if (loaded.state != RecoveryFile::State::Valid) {
            if (out.state != RecoveryFile::State::Unreadable) out.state = loaded.state;
            if (!loaded.error.empty()) {
                out.error = loaded.error;
                out.path = path;
                out.errorNumber = loaded.errorNumber;
            }
        } else if (sameSettings(loaded.recovered.cal, committed_)) {
            RecoveryFile(path).remove(); // nothing in it that the settings do not hold
            lock->removeFile();
        } else if (!chosenLock || loaded.recovered.savedAt > chosen.recovered.savedAt) {
            chosenLock = std::move(lock);
            chosen = std::move(loaded);
            chosenPath = path;
        }
    }
    if (chosenLock) {
        out.state = RecoveryFile::State::Valid;
        out.savedAt = chosen.recovered.savedAt;
        StepName name;
        name.command = lang::HistoryText::StepRecovery;
        history_.apply(name, committed_, chosen.recovered.cal);
        committed_ = chosen.recovered.cal;
        out.cal = committed_;
    }
    // Either way this copy's file now stands for the calibration on screen; the orphan goes
    // only once that file holds what it held.
    changed();
    if (chosenLock && !recoveryFailure_) {
        RecoveryFile(chosenPath).remove();
        chosenLock->removeFile();
    }
    return out;
}

bool Keeper::commit(StepName name, const Calibration& now, std::optional<SnapshotKind> replacing) {
    // Switches given back by the controls as 1 where a read gave their bit: no step.
    if (sameSettings(now, committed_)) {
        adopt(now);
        return false;
    }
    if (replacing && !held(committed_)) snapshot(*replacing, committed_);
    history_.apply(std::move(name), committed_, now);
    committed_ = now;
    changed();
    return true;
}

void Keeper::adopt(const Calibration& cal) {
    if (cal == committed_) return;
    committed_ = cal;
    changed();
}

std::optional<Calibration> Keeper::undo() {
    std::optional<Calibration> c = history_.undo();
    if (c) {
        committed_ = *c;
        changed();
    }
    return c;
}

std::optional<Calibration> Keeper::redo() {
    std::optional<Calibration> c = history_.redo();
    if (c) {
        committed_ = *c;
        changed();
    }
    return c;
}

void Keeper::changed() {
    WriteResult r = recovery_.write(committed_, now());
    if (r) {
        recoveryUnflushed_ = true;
        recoveryBehind_ = 0;
    } else {
        ++recoveryBehind_;
        lastRecoveryError_ = r;
        recoveryFailure_ = std::move(r);
    }
}

void Keeper::retryWrites() {
    if (recoveryBehind_ > 0) {
        const int behind = recoveryBehind_;
        changed();
        if (recoveryBehind_ > 0) {
            recoveryBehind_ = behind; // still as far behind as before
            recoveryFailure_.reset();
        }
    }
    if (pending_) {
        const Image* image = pending_->image ? &*pending_->image : nullptr;
        WriteResult r = snapshots_.store(pending_->kind, pending_->time, pending_->cal, image);
        if (r) {
            held_.insert(keyOf(pending_->cal));
            pending_.reset();
            pendingFailure_.reset();
        }
    }
}

void Keeper::unitHolds(const Image& image) {
    Calibration unit = committed_;
    Identification ignored;
    unpack(image, unit, ignored);
    unitCal_ = unit;
    verifyFailed_ = false;
    verifyDifferences_ = 0;
}

void Keeper::unitDiffers(int count) {
    unitCal_.reset();
    verifyFailed_ = true;
    verifyDifferences_ = count;
}

void Keeper::unitUnknown() {
    unitCal_.reset();
    verifyFailed_ = false;
    verifyDifferences_ = 0;
}

UnitAgreement Keeper::unit() const {
    if (verifyFailed_) return UnitAgreement::VerifyFailed;
    if (unitCal_)
        return sameInUnit(committed_, *unitCal_) ? UnitAgreement::Same : UnitAgreement::Differs;
    return UnitAgreement::Unknown;
}

void Keeper::fileStored(const Calibration& cal) {
    fileText_ = formatParamFile(cal);
}

FileAgreement Keeper::file() const {
    if (!fileText_) return FileAgreement::None;
    return formatParamFile(committed_) == *fileText_ ? FileAgreement::Saved
                                                     : FileAgreement::Changed;
}

bool Keeper::held(const Calibration& cal) const {
    return held_.count(keyOf(cal)) != 0 || (fileText_ && formatParamFile(cal) == *fileText_);
}

WriteResult Keeper::snapshot(SnapshotKind kind, const Calibration& cal, const Image* image) {
    const std::int64_t time = now();
    WriteResult r = snapshots_.store(kind, time, cal, image);
    if (r) {
        held_.insert(keyOf(cal));
    } else {
        snapshotFailure_ = r;
        // The newest unstored snapshot is kept to be stored again; an older one it replaces is
        // one the screen has moved on from.
        pending_ = PendingSnapshot{kind, time, cal,
                                   image != nullptr ? std::optional<Image>(*image) : std::nullopt};
        pendingFailure_ = r;
    }
    return r;
}

std::optional<WriteResult> Keeper::takeRecoveryFailure() {
    std::optional<WriteResult> r = std::move(recoveryFailure_);
    recoveryFailure_.reset();
    return r;
}

std::optional<WriteResult> Keeper::takeSnapshotFailure() {
    std::optional<WriteResult> r = std::move(snapshotFailure_);
    snapshotFailure_.reset();
    return r;
}

bool Keeper::takeRecoveryUnflushed() {
    const bool was = recoveryUnflushed_;
    recoveryUnflushed_ = false;
    return was;
}

void Keeper::closedCleanly() {
    recovery_.remove();
    if (ownLock_) ownLock_->removeFile();
    ownLock_.reset();
}

std::optional<WriteResult> Keeper::keepOtherCopy(const Calibration& inSettingsFile) {
    if (inSettingsFile == atStart_ || inSettingsFile == committed_ || held(inSettingsFile))
        return std::nullopt;
    WriteResult r = snapshot(SnapshotKind::OtherCopy, inSettingsFile);
    if (r) {
        const std::size_t slash = r.path.rfind('/');
        writeOwnFile(otherCopyNotePath(folder_), r.path.substr(slash + 1) + "\n", false);
    }
    return r;
}

std::optional<std::string> Keeper::takeOtherCopyNote() {
    const std::string path = otherCopyNotePath(folder_);
    const FileRead read = readPlainFile(path, 4096, false);
    if (!read.ok()) return std::nullopt;
    ::unlink(path.c_str());
    std::string name = read.data.substr(0, read.data.find('\n'));
    if (name.empty()) return std::nullopt;
    return name;
}

} // namespace velmora
