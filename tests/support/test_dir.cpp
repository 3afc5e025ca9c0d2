#include "test_dir.h"

#include "model/defaults.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace velmora::test {

Calibration model6() {
    Calibration cal;
    cal[Klicovani] = 6;
    setDefaultCalibration(cal);
    return cal;
}

namespace {

bool canCreateIn(const std::string& dir) {
    const std::string probe = dir + "/.probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

} // namespace

bool setImmutable(const std::string& dir, bool on) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

TestDir::TestDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/velmora-files-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
}

TestDir::~TestDir() {
    undoReadOnly();
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

bool TestDir::makeReadOnly() {
    ::chmod(path_.c_str(), 0555);
    if (!canCreateIn(path_)) return true;
    immutable_ = setImmutable(path_, true);
    if (immutable_ && !canCreateIn(path_)) return true;
    undoReadOnly();
    return false;
}

void TestDir::undoReadOnly() {
    if (immutable_) setImmutable(path_, false);
    immutable_ = false;
    ::chmod(path_.c_str(), 0700);
}

namespace {

bool capabilities(__user_cap_data_struct (&data)[2], bool set) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

constexpr std::uint32_t OverrideBits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

} // namespace

WithoutPermissionOverride::WithoutPermissionOverride() {
    __user_cap_data_struct data[2]{};
    if (!capabilities(data, false) || (data[0].effective & OverrideBits) == 0) return;
    data[0].effective &= ~OverrideBits;
    dropped_ = capabilities(data, true);
}

WithoutPermissionOverride::~WithoutPermissionOverride() {
    __user_cap_data_struct data[2]{};
    if (!dropped_ || !capabilities(data, false)) return;
    data[0].effective |= data[0].permitted & OverrideBits;
    capabilities(data, true);
}

const char* badFileName(BadFile kind) {
    switch (kind) {
    case BadFile::Symlink:
        return "symlink";
    case BadFile::Fifo:
        return "fifo";
    case BadFile::Directory:
        return "directory";
    case BadFile::Huge:
        return "huge";
    case BadFile::Unreadable:
        return "unreadable";
    case BadFile::HardLink:
        return "hard link";
    }
    return "";
}

void makeBadFile(BadFile kind, const std::string& path, const std::string& victim) {
    bool ok = true;
    switch (kind) {
    case BadFile::Symlink:
        writeFile(victim, "victim\n");
        ok = ::symlink(victim.c_str(), path.c_str()) == 0;
        break;
    case BadFile::Fifo:
        ok = ::mkfifo(path.c_str(), 0600) == 0;
        break;
    case BadFile::Directory:
        ok = ::mkdir(path.c_str(), 0700) == 0;
        break;
    case BadFile::Huge: {
        // Sparse: 2 GiB that take no room on the disk.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ok = fd >= 0 && ::ftruncate(fd, off_t{2} << 30) == 0;
        if (fd >= 0) ::close(fd);
        break;
    }
    case BadFile::Unreadable:
        writeFile(path, "velmora52 recovery 1\n");
        ok = ::chmod(path.c_str(), 0) == 0;
        break;
    case BadFile::HardLink:
        writeFile(victim, "victim\n");
        ok = ::link(victim.c_str(), path.c_str()) == 0;
        break;
    }
    if (!ok) std::abort();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::size_t countEntries(const std::string& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

} // namespace velmora::test
