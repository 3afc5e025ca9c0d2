#include "history/recovery.h"

#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "files/safe_file.h"

namespace velmora {

namespace {

constexpr std::string_view Header = "velmora52 recovery 1";
constexpr std::size_t MaxSize = 64 * 1024;

std::uint32_t fnv1a(std::string_view s) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

std::string hex32(std::uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

template <class T> bool number(std::string_view s, T& out, int base = 10) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out, base);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty();
}

} // namespace

std::string formatRecovery(const Calibration& cal, std::int64_t savedAt) {
    std::string out(Header);
    out += "\nsaved " + std::to_string(savedAt) + "\n";
    for (std::size_t p = 0; p < ParamCount; ++p)
        out +=
            std::string(paramName(static_cast<Param>(p))) + " " + std::to_string(cal.v[p]) + "\n";
    out += "check " + hex32(fnv1a(out)) + "\n";
    return out;
}

std::optional<RecoveredCalibration> parseRecovery(std::string_view text) {
    const std::size_t checkAt = text.rfind("check ");
    if (checkAt == std::string_view::npos || (checkAt > 0 && text[checkAt - 1] != '\n'))
        return std::nullopt;
    std::string_view checkLine = text.substr(checkAt + 6);
    if (checkLine.empty() || checkLine.back() != '\n') return std::nullopt;
    checkLine.remove_suffix(1);
    std::uint32_t check = 0;
    if (checkLine.size() != 8 || !number(checkLine, check, 16)) return std::nullopt;
    const std::string_view body = text.substr(0, checkAt);
    if (fnv1a(body) != check) return std::nullopt;

    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < body.size();) {
        const std::size_t end = body.find('\n', start);
        if (end == std::string_view::npos) return std::nullopt;
        lines.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() != ParamCount + 2 || lines[0] != Header) return std::nullopt;
    RecoveredCalibration r;
    if (lines[1].substr(0, 6) != "saved " || !number(lines[1].substr(6), r.savedAt))
        return std::nullopt;
    std::array<bool, ParamCount> seen{};
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) return std::nullopt;
        const std::optional<Param> p = findParam(line.substr(0, blank));
        unsigned value = 0;
        if (!p || seen[*p] || !number(line.substr(blank + 1), value) || value > 255)
            return std::nullopt;
        seen[*p] = true;
        r.cal[*p] = static_cast<std::uint8_t>(value);
    }
    return r; // ParamCount distinct names in ParamCount lines: every parameter is there
}

RecoveryFile::RecoveryFile(std::string path) : path_(std::move(path)) {}

RecoveryFile::~RecoveryFile() = default;

WriteResult RecoveryFile::write(const Calibration& cal, std::int64_t now) {
    if (!replacer_) replacer_ = std::make_unique<FileReplacer>(path_, true);
    return replacer_->replace(formatRecovery(cal, now), false);
}

RecoveryFile::Loaded RecoveryFile::load() const {
    Loaded out;
    const FileRead read = readPlainFile(path_, MaxSize, false);
    switch (read.status) {
    case FileRead::Status::Missing:
        return out;
    case FileRead::Status::NotPlainFile:
    case FileRead::Status::Unreadable:
        out.state = State::Unreadable;
        out.error = read.error;
        out.errorNumber = read.errorNumber;
        return out;
    case FileRead::Status::TooLarge:
        out.state = State::Damaged;
        return out;
    case FileRead::Status::Ok:
        break;
    }
    out.state = State::Damaged;
    if (std::optional<RecoveredCalibration> r = parseRecovery(read.data)) {
        out.state = State::Valid;
        out.recovered = *r;
    }
    return out;
}

WriteResult RecoveryFile::flushToDisk(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    for (const std::string& p : {path, dir}) {
        const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) return {false, path, "cannot open"};
        const bool ok = ::fsync(fd) == 0;
        ::close(fd);
        if (!ok) return {false, path, "cannot write"};
    }
    return {true, path, {}};
}

void RecoveryFile::remove() {
    replacer_.reset();
    ::unlink(path_.c_str());
}

std::unique_ptr<RecoveryLock> RecoveryLock::claim(const std::string& lockPath) {
    const int fd =
        ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<RecoveryLock>(new RecoveryLock(lockPath, fd));
}

RecoveryLock::~RecoveryLock() {
    if (fd_ >= 0) ::close(fd_);
}

void RecoveryLock::removeFile() {
    ::unlink(path_.c_str());
}

std::string ownRecoveryName() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    static std::atomic<unsigned> made{0}; // keepers of one process (tests) differ too
    return "recovery-" + std::to_string(::getpid()) + "-" + std::to_string(ms) + "-" +
           std::to_string(made++) + ".txt";
}

namespace {

// The paths of the copies' own files in the folder that end in `suffix` ("recovery-…<suffix>").
std::vector<std::string> copyFilesIn(const std::string& folder, std::string_view suffix) {
    std::vector<std::string> out;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) return out;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.size() > 9 + suffix.size() && name.substr(0, 9) == "recovery-" &&
            name.substr(name.size() - suffix.size()) == suffix)
            out.push_back(folder + "/" + std::string(name));
    }
    ::closedir(d);
    return out;
}

} // namespace

std::vector<std::string> recoveryFilesIn(const std::string& folder) {
    std::vector<std::string> out = copyFilesIn(folder, ".txt");
    const std::string older = folder + "/recovery.txt";
    struct stat st {};
    if (::lstat(older.c_str(), &st) == 0) out.push_back(older);
    return out;
}

void removeStaleLocks(const std::string& folder) {
    const std::vector<std::string> locks = copyFilesIn(folder, ".lock");
    struct stat st {};
    for (const std::string& lock : locks) {
        const std::string txt = lock.substr(0, lock.size() - 5) + ".txt";
        if (::lstat(txt.c_str(), &st) == 0) continue;
        std::unique_ptr<RecoveryLock> held = RecoveryLock::claim(lock);
        if (held && ::lstat(txt.c_str(), &st) != 0) held->removeFile();
    }
}

std::string lockPathOf(const std::string& recoveryPath) {
    return recoveryPath.substr(0, recoveryPath.size() - 4) + ".lock";
}

} // namespace velmora
