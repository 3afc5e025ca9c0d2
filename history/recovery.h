// The recovery file: the whole calibration, rewritten after every change, so that a run that
// ends without closing (a crash, a kill, a power cut) loses at most the last moments.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    // Whatever else stands at the name (a link, a pipe) is replaced, never written through.
    WriteResult write(const Calibration& cal, std::int64_t now);

    // Unreadable: not a plain file, a link, or no permission; said, and never replaced.
    enum class State { Missing, Damaged, Valid, Unreadable };
    struct Loaded {
        State state = State::Missing;
        RecoveredCalibration recovered;
        std::string error;   // why it is unreadable
        int errorNumber = 0; // and the system's errno for it, when there is one
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

// Each running copy of the program keeps a recovery file of its own, recovery-<id>.txt, and
// holds recovery-<id>.lock locked while it runs; a file whose lock nobody holds is an orphan
// of a copy that ended without closing. recovery.txt of older versions is an orphan too.
class RecoveryLock {
public:
    // Locks the file, creating it when missing; nothing when another copy holds it.
    static std::unique_ptr<RecoveryLock> claim(const std::string& lockPath);
    ~RecoveryLock();
    RecoveryLock(const RecoveryLock&) = delete;
    RecoveryLock& operator=(const RecoveryLock&) = delete;
    // Removes the lock file while it is still held, then lets go.
    void removeFile();

private:
    RecoveryLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    std::string path_;
    int fd_ = -1;
};

// recovery-<pid>-<milliseconds>-<n>.txt: no two copies, not even of a reused process id,
// share it.
std::string ownRecoveryName();
// The recovery files in `folder`, own or not, by path.
std::vector<std::string> recoveryFilesIn(const std::string& folder);
std::string lockPathOf(const std::string& recoveryPath);
// Removes the lock files of copies that ended before they wrote a recovery file.
void removeStaleLocks(const std::string& folder);

} // namespace velmora
