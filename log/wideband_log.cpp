#include "log/wideband_log.h"

#include <algorithm>
#include <cstring>

#include "files/safe_file.h"
#include "log/mlg.h"

namespace velmora::log {

namespace {

void put(std::string& out, std::uint32_t v, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

std::uint32_t get(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

} // namespace

void appendWidebandEntry(std::string& out, std::int32_t timeMs, std::uint32_t framesBefore,
                         const std::uint8_t* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const std::size_t n = std::min(size - done, WidebandEntryMaxBytes);
        put(out, static_cast<std::uint32_t>(timeMs), 4);
        put(out, framesBefore, 4);
        put(out, static_cast<std::uint32_t>(n), 2);
        out.append(reinterpret_cast<const char*>(data + done), n);
        done += n;
    }
}

WidebandLogResult readWidebandLog(const std::uint8_t* b, std::size_t size) {
    WidebandLogResult r;
    if (size < WidebandLogMagicSize ||
        std::memcmp(b, WidebandLogMagic, WidebandLogMagicSize) != 0) {
        r.error = "This is not a wide-band log of the tuner.";
        return r;
    }
    std::size_t at = WidebandLogMagicSize;
    while (size - at >= WidebandEntryHeaderSize) {
        const std::size_t n = get(b + at + 8, 2);
        if (size - at - WidebandEntryHeaderSize < n) break; // cut off by a crash
        WidebandEntry e;
        e.timeMs = static_cast<std::int32_t>(get(b + at, 4));
        e.framesBefore = get(b + at + 4, 4);
        e.bytes.assign(b + at + WidebandEntryHeaderSize, b + at + WidebandEntryHeaderSize + n);
        r.entries.push_back(std::move(e));
        at += WidebandEntryHeaderSize + n;
    }
    r.ok = true;
    return r;
}

WidebandLogResult readWidebandLogFile(const std::string& path) {
    WidebandLogResult r;
    const FileRead read = readPlainFile(path, MaxLogFileSize, true);
    if (!read.ok()) {
        r.error = read.status == FileRead::Status::Missing
                      ? "The wide-band log " + path + " cannot be opened."
                      : "The wide-band log " + read.error;
        return r;
    }
    r = readWidebandLog(reinterpret_cast<const std::uint8_t*>(read.data.data()), read.data.size());
    if (!r.ok) r.error = path + ": " + r.error;
    return r;
}

std::string widebandLogPathFor(const std::string& mlgPath) {
    const std::string ext = ".mlg";
    const bool hasExt = mlgPath.size() >= ext.size() &&
                        mlgPath.compare(mlgPath.size() - ext.size(), ext.size(), ext) == 0;
    return (hasExt ? mlgPath.substr(0, mlgPath.size() - ext.size()) : mlgPath) + ".wideband";
}

} // namespace velmora::log
