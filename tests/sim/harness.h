// Shared by the pty tests and the benchmark: a velmora52-sim child process on a link in a
// temporary folder, and a host that drives the link's exchange over the real serial port.
#pragma once

#include "link/link.h"
#include "link/serial_port.h"
#include "model/calibration.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace velmora::simtest {

// A new folder under $TMPDIR (or /tmp) named <prefix>-XXXXXX; empty when it cannot be made.
std::string makeTempDir(const char* prefix = "velmora-sim");

// velmora52-sim as a child process on one link path, so that it can vanish and come back where
// the tuner's port setting still points.
class SimProcess {
public:
    // Starts the simulator with --link <temp dir>/unit plus `args`, in which "{dir}" stands
    // for the temporary folder; waits for the link to appear.
    explicit SimProcess(const std::vector<std::string>& args);
    // On a link path of the caller's, not started until start().
    struct AtLink {
        std::string path;
    };
    explicit SimProcess(AtLink link);
    ~SimProcess();
    // (Re)starts it with `args` after --link; false when it did not come up.
    bool start(const std::vector<std::string>& args);
    bool running() const { return pid_ > 0; }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return started_; }
    const std::string& linkPath() const { return link_; }
    // A file name inside the temporary folder, for --log and --save-image.
    std::string file(const std::string& name) const { return dir_ + "/" + name; }
    // SIGTERM and wait; returns the exit status, or -1 when it did not end normally.
    int stop();
    // Starts the simulator again with the same arguments on the same link, as a unit that was
    // switched off and on again; false when it did not come up.
    bool restart();
    // Sends a signal to the running simulator (SIGUSR1 unplugs its wide-band controller).
    bool signal(int number) const;
    // Processor time the simulator has used so far, user and system, in seconds.
    double cpuSeconds() const;

private:
    void launch();

    std::vector<std::string> argv_;
    pid_t pid_ = -1;
    bool started_ = false;
    std::string dir_, link_;
};

struct Host {
    Calibration cal;
    Identification ident;
    Image image{};
    std::uint8_t language = 1; // English
    SerialPort port;
    Link link{cal, ident, image, language};

    Host();
    bool open(const std::string& path);
    // The verify and program commands take the window's values first: clamp, pack.
    void startVerify();
    void startProgram();
    // Ticks every tickMs until the exchange is idle; returns the ticks it took, or -1.
    int runExchange(int maxTicks = 400, int tickMs = 55);
    void runTicks(int ticks, int tickMs = 55);
    const std::string& message() const { return link.exchange().view().messageText; }
    Colour messageColour() const { return link.exchange().view().messageColour; }
};

// The default calibration of a model, clamped.
Calibration defaultCalibration(int model);

struct LogEntry {
    double time = 0;
    std::string direction; // RX, TX, DROP, --
    std::vector<std::uint8_t> bytes;
    std::string note;
};
std::vector<LogEntry> readLog(const std::string& path);
// Whole frames logged in `direction` with the given command byte.
int countFrames(const std::vector<LogEntry>& log, const std::string& direction,
                std::uint8_t command);

// An image file as --image reads it and --save-image writes it: exactly 240 bytes.
bool readImageFile(const std::string& path, Image& image);
bool writeImageFile(const std::string& path, const Image& image);

} // namespace velmora::simtest
