#include "files/safe_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

FileRead readFailure(FileRead::Status status, const std::string& path, const std::string& why,
                     int error = 0) {
    FileRead r;
    r.status = status;
    r.error = path + ": " + why;
    r.errorNumber = error;
    return r;
}

} // namespace

FileRead readPlainFile(const std::string& path, std::size_t maxBytes, bool followLinks) {
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT) return {};
        if (err == ELOOP)
            return readFailure(FileRead::Status::NotPlainFile, path, "is a link", err);
        return readFailure(FileRead::Status::Unreadable, path, std::strerror(err), err);
    }
    struct stat st {};
    FileRead r;
    if (::fstat(fd, &st) != 0) {
        r = readFailure(FileRead::Status::Unreadable, path, std::strerror(errno), errno);
    } else if (!S_ISREG(st.st_mode)) {
        r = readFailure(FileRead::Status::NotPlainFile, path, "is not a plain file");
    } else if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        r = readFailure(FileRead::Status::TooLarge, path,
                        "is larger (" + std::to_string(st.st_size) + " bytes) than such a file");
    } else {
        // One byte more than allowed tells a file that grew while it was read. The buffer
        // starts at the file's size and grows only with it, so a small file never costs the
        // limit's worth of memory.
        const std::size_t limit = maxBytes + 1;
        r.data.resize(std::min<std::size_t>(limit, static_cast<std::size_t>(st.st_size) + 1));
        std::size_t have = 0;
        while (have < limit) {
            if (have == r.data.size())
                r.data.resize(std::min<std::size_t>(limit, 2 * r.data.size()));
            const ssize_t n = ::read(fd, r.data.data() + have, r.data.size() - have);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                r = readFailure(FileRead::Status::Unreadable, path, std::strerror(errno), errno);
                break;
            }
            have += static_cast<std::size_t>(n);
        }
        if (r.error.empty()) {
            r.data.resize(have);
            r.status = FileRead::Status::Ok;
            if (have > maxBytes)
                r = readFailure(FileRead::Status::TooLarge, path, "grew beyond such a file");
        }
    }
    ::close(fd);
    return r;
}

WriteResult writeOwnFile(const std::string& path, std::string_view content, bool durable) {
    const std::string part = path + ".part";
    ::unlink(part.c_str()); // left by a killed run; a link there is removed, not followed
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int err = errno;
        return {false, path, std::string("cannot create: ") + std::strerror(err), err};
    }
    bool ok = true;
    while (ok && !content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) content.remove_prefix(static_cast<std::size_t>(n));
    }
    int err = ok ? 0 : errno;
    if (ok && durable && ::fsync(fd) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(part.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(part.c_str());
        return {false, path, std::string("cannot write: ") + std::strerror(err), err};
    }
    return {true, path, {}};
}

} // namespace velmora
