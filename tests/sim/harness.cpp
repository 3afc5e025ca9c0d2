#include "harness.h"

#include "model/clamp.h"
#include "tests/common/calibrations.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velmora::simtest {

std::string makeTempDir(const char* prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

SimProcess::SimProcess(const std::vector<std::string>& args) {
    dir_ = makeTempDir();
    link_ = dir_ + "/unit";
    argv_ = {VELMORA_SIM_PATH, "--link", link_};
    for (std::string a : args) {
        for (auto at = a.find("{dir}"); at != std::string::npos; at = a.find("{dir}"))
            a.replace(at, 5, dir_);
        argv_.push_back(a);
    }
    launch();
}

SimProcess::SimProcess(AtLink link) : link_(std::move(link.path)) {}

bool SimProcess::start(const std::vector<std::string>& args) {
    stop();
    argv_ = {VELMORA_SIM_PATH, "--link", link_};
    argv_.insert(argv_.end(), args.begin(), args.end());
    launch();
    return started_;
}

void SimProcess::launch() {
    started_ = false;
    std::vector<char*> argv;
    for (auto& a : argv_) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid_ < 0) return;
    for (int i = 0; i < 1000 && !started_; ++i) {
        struct stat st {};
        if (lstat(link_.c_str(), &st) == 0) {
            started_ = true;
            break;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!started_) stop();
}

bool SimProcess::restart() {
    stop();
    launch();
    return started_;
}

int SimProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SimProcess::signal(int number) const {
    return pid_ > 0 && kill(pid_, number) == 0;
}

double SimProcess::cpuSeconds() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name in parentheses; utime and stime are the 14th and 15th.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

SimProcess::~SimProcess() {
    stop();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

Host::Host() {
    cal = defaultCalibration(6);
}

bool Host::open(const std::string& path) {
    if (port.openPath(path) != OpenResult::Opened) return false;
    link.setPort(&port);
    return true;
}

void Host::startVerify() {
    clamp(cal);
    pack(cal, image);
    link.exchange().startVerify();
}

void Host::startProgram() {
    clamp(cal);
    pack(cal, image);
    link.exchange().startProgram();
}

int Host::runExchange(int maxTicks, int tickMs) {
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now();
    for (int ticks = 1; ticks <= maxTicks; ++ticks) {
        next += std::chrono::milliseconds(tickMs);
        std::this_thread::sleep_until(next);
        link.tick();
        if (!link.exchange().busy()) return ticks;
    }
    return -1;
}

void Host::runTicks(int count, int tickMs) {
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        next += std::chrono::milliseconds(tickMs);
        std::this_thread::sleep_until(next);
        link.tick();
    }
}

Calibration defaultCalibration(int model) {
    return common::clampedDefaultsOf(model);
}

std::vector<LogEntry> readLog(const std::string& path) {
    std::vector<LogEntry> log;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        LogEntry e;
        const auto hash = line.find(" # ");
        if (hash != std::string::npos) {
            e.note = line.substr(hash + 3);
            line.resize(hash);
        }
        std::istringstream words(line);
        words >> e.time >> e.direction;
        std::string byte;
        while (words >> byte)
            e.bytes.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
        log.push_back(e);
    }
    return log;
}

int countFrames(const std::vector<LogEntry>& log, const std::string& direction,
                std::uint8_t command) {
    int n = 0;
    for (const auto& e : log)
        n += e.direction == direction && e.bytes.size() == FrameSize && e.bytes[0] == command;
    return n;
}

bool readImageFile(const std::string& path, Image& image) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != ImageSize) return false;
    for (std::size_t i = 0; i < ImageSize; ++i) image[i] = static_cast<std::uint8_t>(bytes[i]);
    return true;
}

bool writeImageFile(const std::string& path, const Image& image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), ImageSize);
    return bool(out);
}

} // namespace velmora::simtest
