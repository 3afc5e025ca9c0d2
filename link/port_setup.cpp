#include "link/port_setup.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "lang/port_texts.h"

namespace velmora {

namespace {

using lang::PortText;

std::string hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(v));
    return buf;
}

std::string canonical(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return {};
    std::string out(real);
    std::free(real);
    return out;
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> out;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return out;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") out.push_back(name);
    }
    ::closedir(d);
    return out;
}

std::string readFirstLine(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "re");
    if (f == nullptr) return {};
    char buf[256] = {};
    const bool got = std::fgets(buf, sizeof buf, f) != nullptr;
    std::fclose(f);
    if (!got) return {};
    std::string line(buf);
    // UUCP lock files pad the pid with blanks ("%10d\n").
    const std::size_t first = line.find_first_not_of(' ');
    const std::size_t last = line.find_last_not_of(" \n");
    return first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
}

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string processLabel(const std::string& proc, const std::string& pid) {
    std::string name = readFirstLine(proc + "/" + pid + "/comm");
    if (name.empty()) name = "?";
    return name + " (pid " + pid + ")";
}

// The name a lock file is made from: the path without /dev/, slashes turned into '_'.
std::string lockName(const std::string& path) {
    std::string name = path.rfind("/dev/", 0) == 0 ? path.substr(5) : path;
    for (char& c : name)
        if (c == '/') c = '_';
    return "LCK.." + name;
}

bool isTty(const struct stat& st) {
    const std::string sys = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                            std::to_string(minor(st.st_rdev)) + "/subsystem";
    const std::string cls = canonical(sys);
    if (!cls.empty()) return cls.substr(cls.rfind('/') + 1) == "tty";
    return true; // not described in sysfs (a pseudo-terminal): the open tells
}

} // namespace

std::string SerialDevice::usbId() const {
    if (!vendorId || !productId) return {};
    return hex4(*vendorId) + ":" + hex4(*productId);
}

std::string SerialDevice::label() const {
    if (description.empty()) return path;
    return path + " (" + description + ")";
}

std::string preferredPath(const SerialDevice& device) {
    return device.usb() && !device.byId.empty() ? device.byId : device.path;
}

std::string byIdName(const std::string& path, const std::string& byIdDir) {
    const std::string target = canonical(path);
    if (target.empty()) return {};
    for (const std::string& name : entries(byIdDir)) {
        const std::string link = byIdDir + "/" + name;
        if (canonical(link) == target) return link;
    }
    return {};
}

std::vector<SerialDevice> usbAdapters(const std::vector<SerialDevice>& devices) {
    std::vector<SerialDevice> out;
    for (const SerialDevice& d : devices)
        if (d.usb()) out.push_back(d);
    return out;
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::array<SlotRow, 6> slotTable(const PortMap& map,
                                 const std::function<bool(const std::string&)>& present) {
    const PortMap defaults = defaultPortMap();
    std::array<SlotRow, 6> rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].slot = static_cast<int>(i) + 1;
        rows[i].device = map[i].empty() ? defaults[i] : map[i];
        rows[i].present = present(rows[i].device);
    }
    return rows;
}

PathProblem checkDevicePath(const std::string& path) {
    if (path.empty()) return PathProblem::Empty;
    if (path.size() > MaxDevicePathLength) return PathProblem::TooLong;
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7f) return PathProblem::ControlCharacter;
    if (path[0] != '/') return PathProblem::NotAbsolute;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return PathProblem::Missing;
    if (S_ISDIR(st.st_mode)) return PathProblem::Directory;
    if (S_ISREG(st.st_mode)) return PathProblem::RegularFile;
    if (!S_ISCHR(st.st_mode) || !isTty(st) || terminalAlias(st.st_rdev))
        return PathProblem::NotSerial;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return PathProblem::Ok; // held or denied: opening the port will say which
    const bool tty = ::isatty(fd) != 0;
    ::close(fd);
    return tty ? PathProblem::Ok : PathProblem::NotSerial;
}

std::string deviceHolder(const std::string& path, const HolderPlaces& places) {
    const std::string self = std::to_string(::getpid());
    const std::string real = canonical(path);
    std::vector<std::string> names{lockName(path)};
    if (!real.empty() && lockName(real) != names[0]) names.push_back(lockName(real));
    for (const std::string& dir : places.lockDirs) {
        for (const std::string& name : names) {
            const std::string pid = readFirstLine(dir + "/" + name);
            if (allDigits(pid) && pid != self && pathExists(places.proc + "/" + pid))
                return processLabel(places.proc, pid);
        }
    }
    struct stat dev {};
    if (::stat(path.c_str(), &dev) != 0 || !S_ISCHR(dev.st_mode)) return {};
    for (const std::string& pid : entries(places.proc)) {
        if (!allDigits(pid) || pid == self) continue;
        const std::string fdDir = places.proc + "/" + pid + "/fd";
        for (const std::string& fd : entries(fdDir)) {
            struct stat st {};
            if (::stat((fdDir + "/" + fd).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == dev.st_rdev)
                return processLabel(places.proc, pid);
        }
    }
    return {};
}

OpenFailure describeOpenFailure(const std::string& device, int error, const std::string& systemText,
                                const std::vector<SerialDevice>& present,
                                const HolderPlaces& places) {
    OpenFailure f;
    f.device = device;
    f.error = error;
    f.systemText = systemText;
    for (const SerialDevice& d : present) f.adapters.push_back(d.label());
    if (error == EBUSY) f.holder = deviceHolder(device, places);
    if (error == EACCES || error == EPERM) {
        struct stat st {};
        gid_t gid = 0;
        if (::stat(device.c_str(), &st) == 0) {
            gid = st.st_gid;
            if (const group* g = ::getgrgid(gid)) f.group = g->gr_name;
        }
        const passwd* pw = ::getpwuid(::geteuid());
        if (pw != nullptr) f.user = pw->pw_name;
        if (f.user.empty() && std::getenv("USER") != nullptr) f.user = std::getenv("USER");
        if (f.group.empty() || gid == 0) f.group = "dialout"; // root-owned: the usual group
        if (const group* g = ::getgrnam(f.group.c_str())) {
            bool listed = pw != nullptr && pw->pw_gid == g->gr_gid;
            for (char** m = g->gr_mem; m != nullptr && *m != nullptr; ++m)
                if (f.user == *m) listed = true;
            bool active = ::getegid() == g->gr_gid;
            gid_t groups[256];
            const int n = ::getgroups(256, groups);
            for (int i = 0; i < n; ++i)
                if (groups[i] == g->gr_gid) active = true;
            f.memberNotInSession = listed && !active;
        }
    }
    return f;
}

std::string openFailureLine(const OpenFailure& f, std::uint8_t language) {
    switch (f.error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: {
        if (f.adapters.empty())
            return lang::portText(PortText::FailNotFoundNone, language, {f.device});
        std::string list;
        for (const std::string& a : f.adapters) list += (list.empty() ? "" : ", ") + a;
        return lang::portText(PortText::FailNotFound, language, {f.device, list});
    }
    case EACCES:
    case EPERM: {
        const std::string group = f.group.empty() ? "dialout" : f.group;
        const std::string user = f.user.empty() ? "$USER" : f.user;
        return lang::portText(f.memberNotInSession ? PortText::FailPermissionRelogin
                                                   : PortText::FailPermission,
                              language, {f.device, group, user});
    }
    case EBUSY:
        if (f.holder.empty()) return lang::portText(PortText::FailInUse, language, {f.device});
        return lang::portText(PortText::FailInUseBy, language, {f.device, f.holder});
    default:
        return lang::portText(
            PortText::FailOther, language,
            {f.device, f.systemText.empty() ? std::strerror(f.error) : f.systemText});
    }
}

Reconnector::Event Reconnector::poll(std::int64_t nowMs) {
    if (port_.isOpen()) {
        if (port_.path() != openPath_) {
            openPath_ = port_.path();
            openAlias_ = aliasOf ? aliasOf(openPath_) : std::string();
        }
        wasOpen_ = true;
        generation_ = port_.generation();
        if (!waiting_) return Event::None;
        waiting_ = false; // someone else opened a port meanwhile
        return Event::Abandoned;
    }
    if (!waiting_) {
        const bool vanished = wasOpen_ && port_.lost() && port_.generation() == generation_;
        wasOpen_ = false;
        if (!vanished) return Event::None;
        waiting_ = true;
        device_ = port_.path();
        alias_ = device_ == openPath_ ? openAlias_ : std::string();
        nextTry_ = nowMs + RetryMs;
        return Event::Lost;
    }
    if (port_.generation() != generation_) {
        waiting_ = false; // closed or reopened by someone else: theirs to decide
        return Event::Abandoned;
    }
    if (nowMs < nextTry_) return Event::None;
    nextTry_ = nowMs + RetryMs;
    std::string candidate;
    if (pathExists(device_))
        candidate = device_;
    else if (!alias_.empty() && pathExists(alias_))
        candidate = alias_;
    if (candidate.empty()) return Event::None;
    const OpenResult r = port_.openPath(candidate);
    generation_ = port_.generation();
    if (r != OpenResult::Opened) return Event::None; // the node may appear before its rights
    waiting_ = false;
    wasOpen_ = true;
    openPath_ = candidate;
    openAlias_ = alias_;
    return Event::Reconnected;
}

} // namespace velmora
