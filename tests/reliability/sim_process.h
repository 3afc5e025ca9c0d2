// The simulated unit as a child process on a fixed link path, so that it can vanish and come
// back where the tuner's port setting still points.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace velmora::reliability {

class SimProcess {
public:
    SimProcess(std::string program, std::string linkPath);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the simulator with --link and `args` and waits for the link to appear; false
    // when it did not come up.
    bool start(const std::vector<std::string>& args);
    // SIGTERM and wait: the simulator saves its image and removes the link. The exit status,
    // or -1 when it did not end normally or was not running.
    int stop();
    bool running() const { return pid_ > 0; }

private:
    std::string program_, link_;
    pid_t pid_ = -1;
};

std::string makeTempDir(const char* prefix);

} // namespace velmora::reliability
