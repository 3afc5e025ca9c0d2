// The settings kept between runs: window position, port, language, last file, selected page
// and the whole set of working parameters, in Velmora52.ini.
#pragma once

#include "files/profile_store.h"
#include "model/calibration.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

struct WindowSettings {
    int left = 0, top = 0;
    std::uint8_t comPort = 0;    // 1..6 stand for COM1..COM6, 0 no port
    std::uint8_t language = 0;   // 0 Czech, 1 English, 2 German
    std::string file;            // caption of LabelFile2
    std::string iniDir;          // last-file path: a file name with its directory
    std::uint8_t activePage = 1; // 1..5
};

// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute; created when missing.
std::string settingsDirectory();
// <settingsDirectory()>/Velmora52.ini
std::string settingsFilePath();
// $XDG_DATA_HOME/velmora52/<sub> (~/.local/share when XDG_DATA_HOME is unset or not absolute),
// or the velmora52 folder itself for an empty sub; created when missing, as far as it can be.
std::string dataFolder(const std::string& sub = {});

// The 7 window keys and the 200 calibration keys, each with the value held at that moment
// as its default (File and IniDir default to empty text); integers keep their low 8 bits.
void loadSettings(const ProfileStore& store, WindowSettings& window, Calibration& cal);
// Writes the same entries in the same order and stops at the first write that fails; the
// result names the file. A complete save is flushed to the disk before it returns.
WriteResult saveSettings(ProfileStore& store, const WindowSettings& window, const Calibration& cal);

// Device paths of COM1..COM6 from the optional section [PORTS]; a missing or empty entry
// gives /dev/ttyS0../dev/ttyS5.
std::array<std::string, 6> loadPortMap(const ProfileStore& store);
// Maps Com port `slot` (1..6) to `device` in [PORTS]; the rest of the file stays as it was.
WriteResult writePortEntry(ProfileStore& store, int slot, const std::string& device);
// Stores the chosen Com port at once, so that a run that ends without closing keeps it; the
// rest of the file stays as it was.
WriteResult writeComPort(ProfileStore& store, std::uint8_t port);

// Whether [PORTS] maps COM1 to a device of its own.
bool portMapped(const ProfileStore& store, int slot);

// The additions' switches, kept in [FORM_HLAV] beside the window's keys: heat colours on the
// map page (on until switched off) and recording while the unit is connected (off until
// switched on). A write goes to the disk at once.
enum class AddonSwitch { HeatColours, RecordWhileConnected };
bool readAddonSwitch(const ProfileStore& store, AddonSwitch which);
WriteResult writeAddonSwitch(ProfileStore& store, AddonSwitch which, bool on);

// The thresholds of the map statistics, read by key from [MAP_STATISTICS].
constexpr const char* StatisticsSection = "MAP_STATISTICS";
int readStatisticsKey(const ProfileStore& store, const char* key, int def);

// The wide-band lambda controller's port, in [WIDEBAND]: its device (empty: none), its protocol
// by key ("auto", "mts", "aem", "plm", "line"), the fuel's stoichiometric ratio for controllers
// that send AFR, and whether the status field shows AFR instead of lambda.
constexpr const char* WidebandSection = "WIDEBAND";
constexpr double MinStoichAfr = 5.0;
constexpr double MaxStoichAfr = 25.0;
constexpr double DefaultStoichAfr = 14.7;
struct WidebandSettings {
    std::string device;
    std::string protocol = "auto";
    double stoichAfr = DefaultStoichAfr;
    bool showAfr = false;
};
// A stored ratio that is no number within MinStoichAfr..MaxStoichAfr reads as the default.
WidebandSettings loadWidebandSettings(const ProfileStore& store);
// Writes the four keys at once and flushes them; the rest of the file stays as it was.
WriteResult saveWidebandSettings(ProfileStore& store, const WidebandSettings& settings);
// A typed ratio ("14.7", " 6,4 "), to two decimals, when it lies within the bounds; the same
// in every locale.
std::optional<double> parseStoichAfr(std::string_view text);
std::string stoichAfrText(double afr); // "14.7"

// The calibration keys in the order of load and save: section and parameter.
struct SettingsKey {
    const char* section;
    Param param;
};
constexpr std::size_t CalibrationKeyCount = 200;
const std::array<SettingsKey, CalibrationKeyCount>& calibrationKeys();

} // namespace velmora
