#include "atomic_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmora {

namespace {

WriteResult failure(const std::string& path, const std::string& what, int err) {
    return {false, path, what + ": " + std::strerror(err), err};
}

// The file that is really written: a symbolic link is followed so that the link survives.
std::string resolvedTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string out(real);
            std::free(real);
            return out;
        }
    }
    return path;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int syncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int rc = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return rc;
}

std::string temporaryPrefix(const std::string& base) {
    return "." + base + ".tmp";
}

// A process killed during a save leaves its temporary file behind. Those of processes that no
// longer run are removed before we make our own, so that crashes do not pile them up.
void removeStaleTemporaries(const std::string& dir, const std::string& base) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return;
    const std::string prefix = temporaryPrefix(base);
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || *end != '-' || pid == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            ::unlinkat(::dirfd(d), name.c_str(), 0);
        }
    }
    ::closedir(d);
}

// A new, empty file beside the target with a name of our own; O_EXCL rather than mkstemp
// so that a new settings file gets the usual umask mode, not 0600.
int createTemporary(const std::string& dir, const std::string& base, std::string& name, bool own) {
    static unsigned counter = 0;
    const long pid = ::getpid(); // not cached: a forked child must not take its parent's names
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = dir + "/" + temporaryPrefix(base) + std::to_string(pid) + "-" +
               std::to_string(counter++);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                              own ? 0600 : 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

} // namespace

FileReplacer::FileReplacer(std::string path, bool ownFile)
    : path_(std::move(path)), own_(ownFile) {}

FileReplacer::~FileReplacer() {
    dropSpare();
}

void FileReplacer::dropSpare() {
    if (!spare_.empty()) ::unlink(spare_.c_str());
    spare_.clear();
}

WriteResult FileReplacer::replace(std::string_view content, bool durable) {
    const std::string target = own_ ? path_ : resolvedTarget(path_);
    const std::string dir = directoryOf(target);

    struct stat old {};
    const bool replacing = ::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    std::string temp;
    int fd = -1;
    bool reused = false;
    if (!spare_.empty() && directoryOf(spare_) == dir) {
        fd = ::open(spare_.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        reused = fd >= 0;
        if (reused) temp = spare_;
    }
    if (!reused) {
        dropSpare();
        removeStaleTemporaries(dir, baseOf(target));
        fd = createTemporary(dir, baseOf(target), temp, own_);
        if (fd < 0) return failure(path_, "cannot create a file in " + dir, errno);
    }

    auto abandon = [&](const std::string& what) {
        const int err = errno;
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        if (temp == spare_) spare_.clear();
        return failure(path_, what, err);
    };

    struct stat now {};
    const mode_t mode = own_ ? 0600 : old.st_mode & 07777;
    if ((replacing || own_) && ::fstat(fd, &now) == 0 && (now.st_mode & 07777) != mode)
        (void)::fchmod(fd, mode);
    if (!writeAll(fd, content)) return abandon("cannot write");
    // Cut a reused file to length after writing: cutting it to zero first would make ext4
    // flush it at close, as for a rename over an existing file.
    if (reused && ::ftruncate(fd, static_cast<off_t>(content.size())) != 0) {
        return abandon("cannot write");
    }
    if (durable && ::fsync(fd) != 0) return abandon("cannot write");
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) return abandon("cannot write");
    struct stat written {};
    if (own_ && ::lstat(temp.c_str(), &written) != 0) return abandon("cannot write");

    // Swapping the names is as atomic as a rename over the target, and leaves the previous
    // file at the temporary name for the next replace.
    // An own file is swapped out only when it is the one this replacer wrote last: anything
    // else found at the name (a hard link to another file) must never become the next spare
    // that is written into.
    const bool swap = replacing && (!own_ || (old.st_ino == ownIno_ && old.st_dev == ownDev_));
    if (swap &&
        ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        spare_ = temp;
    } else if (::rename(temp.c_str(), target.c_str()) == 0) {
        if (temp == spare_) spare_.clear();
    } else {
        return abandon("cannot replace");
    }

    ownIno_ = written.st_ino;
    ownDev_ = written.st_dev;
    if (durable) {
        dropSpare();
        if (const int err = syncDirectory(dir)) return failure(path_, "cannot write", err);
    }
    return {true, path_, {}};
}

WriteResult FileReplacer::sync() {
    dropSpare();
    const std::string target = own_ ? path_ : resolvedTarget(path_);
    const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | (own_ ? O_NOFOLLOW : 0));
    if (fd < 0) return failure(path_, "cannot open", errno);
    const int rc = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (rc != 0) return failure(path_, "cannot write", rc);
    if (const int err = syncDirectory(directoryOf(target))) {
        return failure(path_, "cannot write", err);
    }
    return {true, path_, {}};
}

WriteResult replaceFile(const std::string& path, std::string_view content, bool durable) {
    FileReplacer file(path);
    return file.replace(content, durable);
}

} // namespace velmora
