// The recovery file: the whole calibration, rewritten after every change, so that a run that
// ends without closing (a crash, a kill, a power cut) loses at most the last moments.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "files/atomic_file.h"
#include "model/calibration.h"

namespace velmora {

struct RecoveredCalibration {
    Calibration cal;
    std::int64_t savedAt = 0; // seconds since 1970
};

// A header, the time, one "name value" line per working parameter and a check of all of it.
std::string formatRecovery(const Calibration& cal, std::int64_t savedAt);
// Nothing unless the text is whole: every parameter once, in range, and the check matching.
std::optional<RecoveredCalibration> parseRecovery(std::string_view text);

class RecoveryFile {
public:
    explicit RecoveryFile(std::string path);
    ~RecoveryFile();

    const std::string& path() const { return path_; }
    // One atomic replace, not flushed to the disk: a killed process still leaves it whole.
    WriteResult write(const Calibration& cal, std::int64_t now);

    enum class State { Missing, Damaged, Valid };
    struct Loaded {
        State state = State::Missing;
        RecoveredCalibration recovered;
    };
    Loaded load() const;
    // After a clean close; also removes the spare file of the replaces.
    void remove();
    // Flushes what is at `path` and its directory entry to the disk. It shares nothing with a
    // RecoveryFile, so it may run on another thread while the file goes on being replaced.
    static WriteResult flushToDisk(const std::string& path);

private:
    std::string path_;
    std::unique_ptr<FileReplacer> replacer_;
};

} // namespace velmora
