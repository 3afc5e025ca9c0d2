// A failed property stops the fuzzer with the line that failed, so the crash input can be
// replayed under a debugger.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);       \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// A file `name` in a folder of this run's own, in memory where /dev/shm allows.
inline std::string scratchFile(const char* name) {
    static const std::string dir = [] {
        std::string d = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                        "/velmora-fuzz-XXXXXX";
        if (mkdtemp(d.data()) == nullptr) std::abort();
        return d;
    }();
    return dir + "/" + name;
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}
