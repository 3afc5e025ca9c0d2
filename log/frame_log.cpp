#include "log/frame_log.h"

#include <cstring>

#include "files/safe_file.h"
#include "log/mlg.h"

namespace velmora::log {

void appendFrameEntry(std::string& out, std::uint32_t timeMs, const Frame& frame) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((timeMs >> shift) & 0xFF));
    out.append(reinterpret_cast<const char*>(frame.data()), frame.size());
}

FrameLogResult readFrameLog(const std::uint8_t* b, std::size_t size) {
    FrameLogResult r;
    if (size < FrameLogMagicSize || std::memcmp(b, FrameLogMagic, FrameLogMagicSize) != 0) {
        r.error = "This is not a frame log of the tuner.";
        return r;
    }
    const std::size_t count = (size - FrameLogMagicSize) / FrameLogEntrySize;
    r.frames.resize(count);
    const std::uint8_t* p = b + FrameLogMagicSize;
    for (std::size_t i = 0; i < count; ++i, p += FrameLogEntrySize) {
        TimedFrame& f = r.frames[i];
        f.timeMs = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                   (std::uint32_t{p[2]} << 8) | p[3];
        std::memcpy(f.frame.data(), p + 4, FrameSize);
    }
    r.ok = true;
    return r;
}

FrameLogResult readFrameLogFile(const std::string& path) {
    FrameLogResult r;
    const FileRead read = readPlainFile(path, MaxLogFileSize, true);
    if (read.status == FileRead::Status::Missing) {
        r.error = "The frame log " + path + " cannot be opened.";
        return r;
    }
    if (read.status == FileRead::Status::TooLarge) {
        r.error = "The frame log " + path + " is larger than 1 GiB and is not opened.";
        return r;
    }
    if (!read.ok()) {
        r.error = "The frame log " + read.error;
        return r;
    }
    r = readFrameLog(reinterpret_cast<const std::uint8_t*>(read.data.data()), read.data.size());
    if (!r.ok) r.error = path + ": " + r.error;
    return r;
}

std::string frameLogPathFor(const std::string& mlgPath) {
    const std::string ext = ".mlg";
    if (mlgPath.size() >= ext.size() &&
        mlgPath.compare(mlgPath.size() - ext.size(), ext.size(), ext) == 0)
        return mlgPath.substr(0, mlgPath.size() - ext.size()) + ".frames";
    return mlgPath + ".frames";
}

} // namespace velmora::log
