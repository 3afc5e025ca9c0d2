// Records the live data while the unit sends it: one record per valid monitor frame into an
// MLG log, the frame itself into the frame log beside it, and the wide-band controller's bytes
// into the wide-band log. Records collect in memory and
// reach the files at most once a second, each write ending at a whole record, so recording
// costs the tick almost nothing and a crash loses at most the last second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "link/engine_sample.h"
#include "log/channels.h"
#include "log/log_context.h"

namespace velmora::log {

class Recorder {
public:
    // Under a second, so that with the tick between two checks a crash still loses less than
    // one second of records.
    static constexpr std::uint32_t FlushIntervalMs = 800;

    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Creates <basePath>.mlg, <basePath>.frames and <basePath>.context (none may exist yet)
    // and writes the headers. nowMs is the caller's clock (any origin); the log's time starts
    // there.
    bool start(const std::string& basePath, std::uint32_t unixTime, const std::string& info,
               std::uint64_t nowMs);
    // A sample from the unit. A record is written only once the sample is complete (every
    // frame kind has arrived on this connection), so no channel is ever a value the unit did
    // not send. True when a record was written.
    bool record(const EngineSample& sample, std::uint64_t nowMs);
    // Frames of this recording not written because some kind had not arrived yet.
    std::uint64_t framesWaiting() const { return framesWaiting_; }
    // Bytes from the wide-band controller that arrived at nowMs (the clock of the samples).
    // <basePath>.wideband is created with the first bytes of a recording; while not recording
    // the last second is kept, so a log starts with what its first samples were joined with.
    void recordWideband(std::uint64_t nowMs, const std::uint8_t* data, std::size_t size);
    // What the log is recorded with from now on; written only when it differs from the last.
    void setContext(const LogContext& context, std::uint64_t nowMs);
    // A marker block "Marker N" or "Marker N: note"; returns N (0 when not recording).
    int marker(const std::string& note, std::uint64_t nowMs);
    // Writes what is buffered when a second has passed since the last write.
    void flushIfDue(std::uint64_t nowMs);
    // Writes everything buffered; false when a write failed (the recording then stops).
    bool flush(std::uint64_t nowMs);
    // Flushes, syncs and closes. Safe to call when not recording.
    void stop(std::uint64_t nowMs);

    bool recording() const { return fdLog_ >= 0; }
    // Why the last start or write failed (a full disk ...), empty when nothing failed.
    const std::string& error() const { return error_; }
    // The file and the errno of that failure.
    const std::string& errorPath() const { return errorPath_; }
    int errorNumber() const { return errorNumber_; }
    const std::string& logPath() const { return logPath_; }
    const std::string& frameLogPath() const { return framePath_; }
    const std::string& contextPath() const { return contextPath_; }
    // Where the wide-band bytes go; the file exists once some came.
    const std::string& widebandLogPath() const { return widebandPath_; }
    std::uint64_t widebandBytes() const { return widebandBytes_; }
    std::uint64_t records() const { return records_; }
    std::uint64_t recordsWritten() const { return recordsWritten_; }
    int markers() const { return markers_; }
    std::uint32_t elapsedMs(std::uint64_t nowMs) const;
    const Record& last() const { return last_; }

private:
    bool writeAll(int fd, const std::string& bytes, std::uint64_t& size, const std::string& path);
    void fail(const std::string& why, const std::string& path, int error);
    void closeFiles();
    bool openWideband();
    std::int32_t logTime(std::uint64_t nowMs) const;

    Record last_{};
    int fdLog_ = -1, fdFrames_ = -1, fdContext_ = -1, fdWideband_ = -1;
    std::string logPath_, framePath_, contextPath_, widebandPath_, error_, errorPath_;
    int errorNumber_ = 0;
    std::string logBuffer_, frameBuffer_, contextBuffer_, widebandBuffer_;
    // Bytes whole in each file.
    std::uint64_t logSize_ = 0, frameSize_ = 0, contextSize_ = 0, widebandSize_ = 0;
    std::uint64_t widebandBytes_ = 0;
    struct Chunk {
        std::uint64_t timeMs;
        std::vector<std::uint8_t> bytes;
    };
    std::deque<Chunk> prelude_; // wide-band bytes of the last second before a recording
    std::size_t preludeBytes_ = 0;
    std::optional<LogContext> context_;
    std::uint64_t startMs_ = 0, lastFlushMs_ = 0;
    std::uint64_t records_ = 0, recordsBuffered_ = 0, recordsWritten_ = 0, framesWaiting_ = 0;
    std::uint8_t counter_ = 0;
    int markers_ = 0;
};

// "2026-12-08_09-15-02": the name of a log started at that local time.
std::string logNameFor(std::int64_t unixTime);

} // namespace velmora::log
