// Scratch directories and file helpers for the tests.
#pragma once

#include "model/calibration.h"

#include <string>
#include <string_view>

namespace velmora::test {

// A fresh directory under the system's temporary directory, removed with its content.
class TestDir {
public:
    TestDir();
    ~TestDir();
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

    // Makes the directory refuse new files, even for root (then by the immutable flag).
    // False when neither works here.
    bool makeReadOnly();
    void makeWritable() { undoReadOnly(); }

private:
    void undoReadOnly();

    std::string path_;
    bool immutable_ = false;
};

// While it lives, file permissions hold for this process even when it runs as root: the
// overrides of permission checks are dropped from the effective set and come back after.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride();
    ~WithoutPermissionOverride();
    WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
    WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

private:
    bool dropped_ = false;
};

// The things a file of the program's own can turn out to be instead, made at a path.
enum class BadFile { Symlink, Fifo, Directory, Huge, Unreadable, HardLink };
const char* badFileName(BadFile kind);
// Makes `kind` at path; a link, soft or hard, leads to `victim`, which it creates with known
// content.
void makeBadFile(BadFile kind, const std::string& path, const std::string& victim);

// Sets or clears the immutable flag of a directory, which refuses new files even to root.
// False when the file system has no such flag or the process may not set it.
bool setImmutable(const std::string& dir, bool on);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view content);
// The default calibration of model 6, the one a first start shows.
Calibration model6();

std::size_t countEntries(const std::string& dir); // directory entries other than . and ..

} // namespace velmora::test
