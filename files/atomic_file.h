// Replacing a file so that readers and crashes only ever see the old or the new content.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace velmora {

// Outcome of a write to a file; path names the file so that a message can name it.
struct WriteResult {
    bool ok = false;
    std::string path;
    std::string error;   // empty when ok
    int errorNumber = 0; // the system's errno of the failure; 0 when it named none
    explicit operator bool() const { return ok; }
};

// Replaces one file again and again. Each replace writes the content to a file beside it
// and swaps the two names in one step, so nothing at path changes unless every byte was
// written. The swapped-out file is kept as the next temporary file: many replaces in a row
// then create and delete no files, which on ext4 costs far more than the writes themselves.
// An existing file keeps its permissions; a symbolic link at path is followed, not replaced.
// An own file (one of the program's data folder) is the exception: it is created with mode
// 0600 and whatever else stands at its name is replaced as a name, never followed.
class FileReplacer {
public:
    explicit FileReplacer(std::string path, bool ownFile = false);
    ~FileReplacer();
    FileReplacer(const FileReplacer&) = delete;
    FileReplacer& operator=(const FileReplacer&) = delete;

    const std::string& path() const { return path_; }
    // With durable set, the data and the directory entry are on the disk before it returns.
    WriteResult replace(std::string_view content, bool durable);
    // Flushes the current file and its directory entry to the disk and removes the spare.
    WriteResult sync();

private:
    void dropSpare();

    std::string path_;
    bool own_ = false;
    ino_t ownIno_ = 0; // the file an own replace put at path last
    dev_t ownDev_ = 0;
    std::string spare_; // temporary file holding the content before the last replace
};

// One replace of the file at path, flushed to the disk.
WriteResult replaceFile(const std::string& path, std::string_view content, bool durable);

} // namespace velmora
