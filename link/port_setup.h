// Choosing the device behind each Com port, and knowing what happened to it: the devices
// present, the slot table, checks of a typed path, why an open failed and who holds a device,
// and the reopening of a device that vanished. Plain C++ over the system's files; the device
// list itself comes through DeviceSource.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace velmora {

struct SerialDevice {
    std::string path; // /dev/ttyUSB0
    std::string description, manufacturer, serialNumber;
    std::optional<std::uint16_t> vendorId, productId; // USB devices only
    std::string byId; // /dev/serial/by-id/... resolving to path, or empty

    bool usb() const { return vendorId.has_value(); }
    // "0403:6001", or empty for a device that is not on USB.
    std::string usbId() const;
    // How a message names it: "/dev/ttyUSB0 (FT232R USB UART)".
    std::string label() const;
};

// The serial devices present; the real one asks the system, tests hand in their own.
class DeviceSource {
public:
    virtual ~DeviceSource() = default;
    virtual std::vector<SerialDevice> devices() = 0;
};

// QSerialPortInfo, with the stable names of /dev/serial/by-id.
class SystemDevices : public DeviceSource {
public:
    std::vector<SerialDevice> devices() override;
};

// What a slot should store for a device: its by-id name for a USB adapter, which stays the
// same whichever socket it is plugged into, else its path.
std::string preferredPath(const SerialDevice& device);

// The entry of byIdDir that resolves to the same device as path, or empty.
std::string byIdName(const std::string& path, const std::string& byIdDir = "/dev/serial/by-id");

std::vector<SerialDevice> usbAdapters(const std::vector<SerialDevice>& devices);

// One row per Com port: the device it means now and whether that device is there.
struct SlotRow {
    int slot = 0; // 1..6
    std::string device;
    bool present = false;
};
std::array<SlotRow, 6> slotTable(const PortMap& map,
                                 const std::function<bool(const std::string&)>& present);
// True when path names something that exists (a symlink is followed).
bool pathExists(const std::string& path);

// Why a typed path cannot be a port; Ok when it can.
enum class PathProblem {
    Ok,
    Empty,
    TooLong,
    ControlCharacter,
    NotAbsolute,
    Missing,
    Directory,
    RegularFile,
    NotSerial,
};
constexpr std::size_t MaxDevicePathLength = 1024;
PathProblem checkDevicePath(const std::string& path);

// What is known about an open that failed; `error` is an errno value.
struct OpenFailure {
    std::string device;
    int error = 0;
    std::string systemText; // the system's text for error
    std::string holder;     // "minicom (pid 4711)" when a lock file or /proc shows who has it
    std::string group;      // group owning the device, for a denied access
    std::string user;
    bool memberNotInSession = false;   // in the group's list, but this process lacks the group
    std::vector<std::string> adapters; // labels of the serial devices present
};

// The one line that follows "Com opening error": the reason and what to do, in the language.
std::string openFailureLine(const OpenFailure& failure, std::uint8_t language);

// Where holders of a device are looked for; tests point them at folders of their own.
struct HolderPlaces {
    std::vector<std::string> lockDirs{"/run/lock", "/var/lock", "/var/spool/lock", "/tmp"};
    std::string proc = "/proc";
};
// The program holding the device: from a UUCP lock file (LCK..ttyUSB0 holding a pid) or from
// a process with the device open, this process excepted. Empty when nobody is seen.
std::string deviceHolder(const std::string& path, const HolderPlaces& places = {});

// Fills in the facts the line needs about this machine: holder, group, user.
OpenFailure describeOpenFailure(const std::string& device, int error, const std::string& systemText,
                                const std::vector<SerialDevice>& present,
                                const HolderPlaces& places = {});

// Reopens a device that vanished while it was open, once it is back. It never touches a port
// that someone else opened or closed since it vanished (the user chose another port, or the
// same one again), nor a port that was closed on purpose.
class Reconnector {
public:
    static constexpr std::int64_t RetryMs = 500;

    enum class Event { None, Lost, Reconnected, Abandoned };

    explicit Reconnector(SerialPort& port) : port_(port) {}

    // Call often (every tick is fine) with a monotonic time in milliseconds.
    Event poll(std::int64_t nowMs);

    bool waiting() const { return waiting_; }
    // The device being waited for, and the stable name it had while it was open.
    const std::string& device() const { return device_; }
    const std::string& alias() const { return alias_; }

    // The by-id name of a device; replaceable for tests.
    std::function<std::string(const std::string&)> aliasOf = [](const std::string& p) {
        return byIdName(p);
    };

private:
    SerialPort& port_;
    bool waiting_ = false;
    bool wasOpen_ = false; // open at the previous poll
    std::string device_, alias_;
    std::string openPath_, openAlias_; // what is open now and its by-id name
    unsigned generation_ = 0;
    std::int64_t nextTry_ = 0;
};

} // namespace velmora
