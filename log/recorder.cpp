#include "log/recorder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "log/frame_log.h"
#include "log/mlg.h"
#include "log/wideband_log.h"

namespace velmora::log {

namespace {
// Wide-band bytes kept from before a recording: the join looks back 200 ms, and a parser needs
// a whole frame or line before that to be in step.
constexpr std::uint64_t PreludeMs = 1000;
constexpr std::size_t PreludeMaxBytes = 16 * 1024;
} // namespace

Recorder::~Recorder() {
    if (recording()) stop(lastFlushMs_);
}

bool Recorder::start(const std::string& basePath, std::uint32_t unixTime, const std::string& info,
                     std::uint64_t nowMs) {
    if (recording()) stop(nowMs);
    error_.clear();
    errorPath_.clear();
    errorNumber_ = 0;
    logSize_ = frameSize_ = contextSize_ = widebandSize_ = widebandBytes_ = 0;
    context_.reset();
    records_ = recordsBuffered_ = recordsWritten_ = framesWaiting_ = 0;
    counter_ = 0;
    markers_ = 0;
    logPath_ = basePath + ".mlg";
    framePath_ = basePath + ".frames";
    contextPath_ = contextPathFor(logPath_);
    widebandPath_ = widebandLogPathFor(logPath_);
    fdLog_ = ::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fdLog_ < 0) {
        const int e = errno;
        fail("The log " + logPath_ + " cannot be created: " + std::strerror(e), logPath_, e);
        return false;
    }
    fdFrames_ =
        ::open(framePath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fdFrames_ < 0) {
        const int e = errno;
        fail("The frame log " + framePath_ + " cannot be created: " + std::strerror(e), framePath_,
             e);
        ::unlink(logPath_.c_str());
        return false;
    }
    fdContext_ =
        ::open(contextPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fdContext_ < 0) {
        const int e = errno;
        fail("The file " + contextPath_ + " cannot be created: " + std::strerror(e), contextPath_,
             e);
        ::unlink(logPath_.c_str());
        ::unlink(framePath_.c_str());
        return false;
    }
    startMs_ = lastFlushMs_ = nowMs;
    logBuffer_ = mlgHeader(unixTime, info);
    frameBuffer_.assign(FrameLogMagic, FrameLogMagicSize);
    contextBuffer_ = ContextMagic;
    std::deque<Chunk> before = std::move(prelude_);
    prelude_.clear();
    preludeBytes_ = 0;
    for (const Chunk& c : before) {
        if (c.timeMs + PreludeMs < nowMs) continue;
        recordWideband(c.timeMs, c.bytes.data(), c.bytes.size());
        if (!recording()) return false;
    }
    return flush(nowMs);
}

std::uint32_t Recorder::elapsedMs(std::uint64_t nowMs) const {
    return nowMs > startMs_ ? static_cast<std::uint32_t>(nowMs - startMs_) : 0;
}

bool Recorder::record(const EngineSample& sample, std::uint64_t nowMs) {
    if (!recording()) return false;
    if (!sample.complete()) {
        ++framesWaiting_;
        return false;
    }
    const std::uint32_t t = elapsedMs(nowMs);
    last_ = recordOf(sample, t);
    appendRecordBlock(logBuffer_, counter_++, last_);
    appendFrameEntry(frameBuffer_, t, sample.frame);
    ++records_;
    ++recordsBuffered_;
    return true;
}

std::int32_t Recorder::logTime(std::uint64_t nowMs) const {
    const auto t = static_cast<std::int64_t>(nowMs) - static_cast<std::int64_t>(startMs_);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(t, INT32_MIN, INT32_MAX));
}

void Recorder::recordWideband(std::uint64_t nowMs, const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    if (!recording()) {
        prelude_.push_back({nowMs, std::vector<std::uint8_t>(data, data + size)});
        preludeBytes_ += size;
        while (prelude_.size() > 1 &&
               (prelude_.front().timeMs + PreludeMs < nowMs || preludeBytes_ > PreludeMaxBytes)) {
            preludeBytes_ -= prelude_.front().bytes.size();
            prelude_.pop_front();
        }
        return;
    }
    if (fdWideband_ < 0 && !openWideband()) return;
    // The count of frames before them keeps the order of bytes and frames of one moment, so
    // a replay joins exactly what the ride joined.
    appendWidebandEntry(widebandBuffer_, logTime(nowMs), static_cast<std::uint32_t>(records_), data,
                        size);
    widebandBytes_ += size;
}

bool Recorder::openWideband() {
    fdWideband_ =
        ::open(widebandPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fdWideband_ < 0) {
        const int e = errno;
        fail("The wide-band log " + widebandPath_ + " cannot be created: " + std::strerror(e) +
                 ". The recording stopped; what was written before is kept.",
             widebandPath_, e);
        return false;
    }
    widebandBuffer_.assign(WidebandLogMagic, WidebandLogMagicSize);
    return true;
}

void Recorder::setContext(const LogContext& context, std::uint64_t nowMs) {
    if (!recording() || context_ == context) return;
    context_ = context;
    contextBuffer_ += formatContextEntry({elapsedMs(nowMs), context});
}

int Recorder::marker(const std::string& note, std::uint64_t nowMs) {
    if (!recording()) return 0;
    ++markers_;
    std::string text = "Marker " + std::to_string(markers_);
    if (!note.empty()) text += ": " + note;
    appendMarkerBlock(logBuffer_, counter_++, elapsedMs(nowMs), text);
    return markers_;
}

void Recorder::flushIfDue(std::uint64_t nowMs) {
    if (recording() && nowMs - lastFlushMs_ >= FlushIntervalMs) flush(nowMs);
}

bool Recorder::writeAll(int fd, const std::string& bytes, std::uint64_t& size,
                        const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int e = n < 0 ? errno : ENOSPC;
            // Cut back to the last whole block, so the file stays readable to its end.
            if (::ftruncate(fd, static_cast<off_t>(size)) == 0)
                (void)::lseek(fd, static_cast<off_t>(size), SEEK_SET);
            fail("Writing " + path + " failed: " + std::strerror(e) +
                     ". The recording stopped; what was written before is kept.",
                 path, e);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    size += bytes.size();
    return true;
}

bool Recorder::flush(std::uint64_t nowMs) {
    if (!recording()) return false;
    lastFlushMs_ = nowMs;
    if (!logBuffer_.empty()) {
        if (!writeAll(fdLog_, logBuffer_, logSize_, logPath_)) return false;
        logBuffer_.clear();
    }
    if (!frameBuffer_.empty()) {
        if (!writeAll(fdFrames_, frameBuffer_, frameSize_, framePath_)) return false;
        frameBuffer_.clear();
    }
    if (!contextBuffer_.empty()) {
        if (!writeAll(fdContext_, contextBuffer_, contextSize_, contextPath_)) return false;
        contextBuffer_.clear();
    }
    if (!widebandBuffer_.empty()) {
        if (!writeAll(fdWideband_, widebandBuffer_, widebandSize_, widebandPath_)) return false;
        widebandBuffer_.clear();
    }
    recordsWritten_ += recordsBuffered_;
    recordsBuffered_ = 0;
    return true;
}

void Recorder::stop(std::uint64_t nowMs) {
    if (!recording()) return;
    if (flush(nowMs)) {
        (void)::fsync(fdLog_);
        (void)::fsync(fdFrames_);
        (void)::fsync(fdContext_);
        if (fdWideband_ >= 0) (void)::fsync(fdWideband_);
    }
    closeFiles();
}

void Recorder::fail(const std::string& why, const std::string& path, int error) {
    error_ = why;
    errorPath_ = path;
    errorNumber_ = error;
    closeFiles();
}

void Recorder::closeFiles() {
    if (fdLog_ >= 0) ::close(fdLog_);
    if (fdFrames_ >= 0) ::close(fdFrames_);
    if (fdContext_ >= 0) ::close(fdContext_);
    if (fdWideband_ >= 0) ::close(fdWideband_);
    fdLog_ = fdFrames_ = fdContext_ = fdWideband_ = -1;
    logBuffer_.clear();
    frameBuffer_.clear();
    contextBuffer_.clear();
    widebandBuffer_.clear();
    recordsBuffered_ = 0;
}

std::string logNameFor(std::int64_t unixTime) {
    const std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d_%H-%M-%S", &local);
    return buffer;
}

} // namespace velmora::log
