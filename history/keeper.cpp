#include "history/keeper.h"

#include <chrono>
#include <filesystem>

#include "files/param_file.h"

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
    : clock_(std::move(clock)), history_(historyLimit), recovery_(folder + "/recovery.txt"),
      snapshots_(folder + "/snapshots") {
    std::error_code ignored; // a folder that cannot be made shows as failed writes
    std::filesystem::create_directories(folder, ignored);
}

std::int64_t Keeper::now() const {
    if (clock_) return clock_();
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void Keeper::start(const Calibration& loaded, const std::optional<Calibration>& file) {
    committed_ = loaded;
    if (file) fileText_ = formatParamFile(*file);
}

Keeper::Recovery Keeper::recover() {
    Recovery out;
    const RecoveryFile::Loaded loaded = recovery_.load();
    out.state = loaded.state;
    out.savedAt = loaded.recovered.savedAt;
    if (loaded.state == RecoveryFile::State::Valid &&
        !sameSettings(loaded.recovered.cal, committed_)) {
        StepName name;
        name.command = lang::HistoryText::StepRecovery;
        history_.apply(name, committed_, loaded.recovered.cal);
        committed_ = loaded.recovered.cal;
        out.cal = committed_;
    }
    // Either way the file now stands for the calibration on screen.
    changed();
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
    if (r)
        recoveryUnflushed_ = true;
    else
        recoveryFailure_ = std::move(r);
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
    WriteResult r = snapshots_.store(kind, now(), cal, image);
    if (r)
        held_.insert(keyOf(cal));
    else
        snapshotFailure_ = r;
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
}

} // namespace velmora
