// A key/value file of sections and entries that behaves like a Windows profile (INI) file.
#pragma once

#include "files/atomic_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Sections ("[name]") hold "key=value" entries. Section and key names are matched without
// regard to case and to surrounding blanks. Writing an existing entry replaces its value
// in place, a new entry goes at the end of its section and a new section at the end of the
// file; every other line, comments and unknown entries included, is kept byte for byte.
//
// The parsed file is held in memory and read again only when the file on disk has changed.
// Every write replaces the whole file atomically, so the file on disk is always complete.
class ProfileStore {
public:
    // Larger files are not settings files: reads give defaults and writes are refused,
    // so that such a file is neither loaded into memory nor overwritten.
    static constexpr std::size_t MaxFileSize = 4u << 20;

    explicit ProfileStore(std::string path);
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    const std::string& path() const { return path_; }

    // The stored value when the whole value, blanks trimmed, is a decimal integer with an
    // optional sign that fits in 32 bits; otherwise def.
    int readInt(std::string_view section, std::string_view key, int def) const;
    // The stored value with its surrounding blanks trimmed, or def when there is no entry.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view def) const;

    WriteResult writeInt(std::string_view section, std::string_view key, int value);
    // A value is one line: it is cut at the first line break or NUL byte.
    WriteResult writeString(std::string_view section, std::string_view key, std::string_view value);

    // Makes every write so far durable against a power failure (the writes themselves
    // are atomic but not flushed to the disk one by one).
    WriteResult sync();

    // Writes from beginBatch() to commitBatch() change the store's copy only, and reads see
    // them; commitBatch() then replaces the file once. A process that dies part way through a
    // batch therefore leaves the file as it was before the batch, never half of each.
    void beginBatch() { batching_ = true; }
    WriteResult commitBatch();

private:
    struct Line {
        std::string text; // without its line end
        std::string eol;  // "\n", "\r\n" or "" for a last line without a line end
    };
    struct Stamp {
        bool exists = false;
        std::uint64_t dev = 0, ino = 0, size = 0;
        std::int64_t mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
        bool operator==(const Stamp& o) const;
    };

    struct Location {
        std::size_t entry = std::string::npos;       // the line of the entry
        std::size_t insertAfter = std::string::npos; // last line of the section's first run
    };

    void refresh() const;
    static std::string contentOf(const std::vector<Line>& lines);
    static Stamp stampOf(const std::string& path);
    Location locate(std::string_view section, std::string_view key) const;

    std::string path_;
    FileReplacer file_;
    mutable std::vector<Line> lines_;
    mutable Stamp stamp_;
    mutable bool loaded_ = false;
    mutable std::string blocked_; // why the file must not be rewritten, empty when it may
    bool batching_ = false;
    bool pending_ = false; // the copy holds batched writes the file does not have yet
};

} // namespace velmora
