// Reading and writing the files the program keeps for itself, so that nothing placed at their
// names (a link, a pipe, a device, a huge file) is followed, hangs the program or fills memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "files/atomic_file.h"

namespace velmora {

struct FileRead {
    enum class Status { Ok, Missing, NotPlainFile, TooLarge, Unreadable };
    Status status = Status::Missing;
    std::string data;
    std::string error;   // plain English, names the file; empty when ok or missing
    int errorNumber = 0; // the system's errno of the failure; 0 when it named none
    bool ok() const { return status == Status::Ok; }
};

// Reads a whole file that must be a regular file of at most maxBytes. It is opened without
// blocking, so a pipe cannot hang the caller; without followLinks a symbolic link is refused.
FileRead readPlainFile(const std::string& path, std::size_t maxBytes, bool followLinks);

// Writes a new file of the program's own folder, mode 0600, beside its name and renamed into
// place: a link or anything else at `path` is replaced as a name, never written through.
WriteResult writeOwnFile(const std::string& path, std::string_view content, bool durable);

} // namespace velmora
