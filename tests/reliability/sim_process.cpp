#include "sim_process.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velmora::reliability {

std::string makeTempDir(const char* prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

SimProcess::SimProcess(std::string program, std::string linkPath)
    : program_(std::move(program)), link_(std::move(linkPath)) {}

SimProcess::~SimProcess() {
    stop();
}

bool SimProcess::start(const std::vector<std::string>& args) {
    stop();
    std::vector<std::string> all = {program_, "--link", link_};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid_ < 0) return false;
    for (int i = 0; i < 1000; ++i) {
        struct stat st {};
        if (lstat(link_.c_str(), &st) == 0) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop();
    return false;
}

int SimProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace velmora::reliability
