#include "settings.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr const char* kWindowSection = "FORM_HLAV";

std::array<SettingsKey, CalibrationKeyCount> buildKeys() {
    std::array<SettingsKey, CalibrationKeyCount> keys{};
    std::size_t n = 0;
    auto add = [&](const char* section, Param p) { keys[n++] = {section, p}; };
    auto series = [&](const char* section, Param head) {
        for (int i = 0; i < 10; ++i) add(section, at(head, i));
    };

    series("IGNITION", RpmAdv1);
    series("IGNITION", Advance1);
    for (Param p :
         {Klicovani,  Omez1,    Omez2,     gcClutch, PilotLight, Gas1,      Gas2,       GasT,
          GasD,       Retard1,  Retard2,   RetardT,  RetardD,    GasEnable, ZakazCteni, Rpm2Krat,
          ExtMonitor, AktOmez1, AktClutch, AktBlok,  AktRpm,     AktN2o}) {
        add("IGNITION", p);
    }
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) add("JET", jetCell(r, c));
    }
    series("JET", RPM_JET_0);
    series("JET2", KOR23_0);
    for (Param p :
         {TPS_0, TPS_100, CHLAZENI, START_JET, POLOHA_PRO, AKCEL_PRAH, AKCEL_JET, VODA_10, VODA20,
          VODA50, VODA80, VODA110, VZDUCH_10, VZDUCH20, VZDUCH50, VZDUCH80, VZDUCH110}) {
        add("JET3", p);
    }
    series("PRIVERA", RPM_PRIV_0);
    series("PRIVERA", NAP_PRIV_0);
    add("PRIVERA", PRIV_HYSTER);
    return keys;
}

std::uint8_t low8(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

void makeDirectories(const std::string& dir) {
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string part = dir.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
        if (slash == std::string::npos) return;
    }
}

} // namespace

const std::array<SettingsKey, CalibrationKeyCount>& calibrationKeys() {
    static const auto keys = buildKeys();
    return keys;
}

namespace {

// $<variable> when it is an absolute path, otherwise <home>/<fallback>; without trailing slashes.
std::string xdgDirectory(const char* variable, const char* fallback) {
    std::string dir;
    const char* xdg = std::getenv(variable);
    if (xdg != nullptr && xdg[0] == '/') {
        dir = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw != nullptr ? pw->pw_dir : nullptr;
        }
        dir = std::string(home != nullptr && home[0] != '\0' ? home : ".") + "/" + fallback;
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

} // namespace

std::string settingsDirectory() {
    const std::string dir = xdgDirectory("XDG_CONFIG_HOME", ".config");
    makeDirectories(dir);
    return dir;
}

std::string dataFolder(const std::string& sub) {
    std::string dir = xdgDirectory("XDG_DATA_HOME", ".local/share");
    dir = (dir == "/" ? "" : dir) + "/velmora52";
    if (!sub.empty()) dir += "/" + sub;
    makeDirectories(dir);
    return dir;
}

std::string settingsFilePath() {
    const std::string dir = settingsDirectory();
    return (dir == "/" ? "" : dir) + "/Velmora52.ini";
}

void loadSettings(const ProfileStore& store, WindowSettings& window, Calibration& cal) {
    window.left = store.readInt(kWindowSection, "Left", window.left);
    window.top = store.readInt(kWindowSection, "Top", window.top);
    window.comPort = low8(store.readInt(kWindowSection, "ComPort", window.comPort));
    window.language = low8(store.readInt(kWindowSection, "Language", window.language));
    window.file = store.readString(kWindowSection, "File", "");
    window.iniDir = store.readString(kWindowSection, "IniDir", "");
    const std::uint8_t page = low8(store.readInt(kWindowSection, "ActivePage", 1));
    window.activePage = page >= 2 && page <= 5 ? page : 1;

    for (const SettingsKey& k : calibrationKeys()) {
        cal[k.param] = low8(store.readInt(k.section, paramName(k.param), cal[k.param]));
    }
}

WriteResult saveSettings(ProfileStore& store, const WindowSettings& window,
                         const Calibration& cal) {
    // The page of a tab control that is none of the first four is the fifth.
    const int page = window.activePage >= 1 && window.activePage <= 4 ? window.activePage : 5;

    // The 207 entries reach the file in one replace, so that a crash during the save leaves
    // the previous settings whole rather than a mixture of both.
    store.beginBatch();
    WriteResult r = store.writeInt(kWindowSection, "Left", window.left);
    if (r) r = store.writeInt(kWindowSection, "Top", window.top);
    if (r) r = store.writeInt(kWindowSection, "ComPort", window.comPort);
    if (r) r = store.writeInt(kWindowSection, "Language", window.language);
    if (r) r = store.writeString(kWindowSection, "File", window.file);
    if (r) r = store.writeString(kWindowSection, "IniDir", window.iniDir);
    // Written with the trailing blank the file has always carried; read back without it.
    if (r) r = store.writeInt(kWindowSection, "ActivePage ", page);
    for (const SettingsKey& k : calibrationKeys()) {
        if (!r) break;
        r = store.writeInt(k.section, paramName(k.param), cal[k.param]);
    }
    // A write that failed stops the save; what came before it is written all the same.
    const WriteResult committed = store.commitBatch();
    if (!r) return r;
    if (!committed) return committed;
    return store.sync();
}

std::array<std::string, 6> loadPortMap(const ProfileStore& store) {
    std::array<std::string, 6> ports;
    for (int i = 0; i < 6; ++i) {
        const std::string fallback = "/dev/ttyS" + std::to_string(i);
        ports[i] = store.readString("PORTS", "COM" + std::to_string(i + 1), fallback);
        if (ports[i].empty()) ports[i] = fallback;
    }
    return ports;
}

WriteResult writeComPort(ProfileStore& store, std::uint8_t port) {
    const WriteResult r = store.writeInt(kWindowSection, "ComPort", port);
    if (!r) return r;
    return store.sync();
}

bool portMapped(const ProfileStore& store, int slot) {
    return !store.readString("PORTS", "COM" + std::to_string(slot), "").empty();
}

namespace {

struct SwitchKey {
    const char* key;
    bool byDefault;
};

SwitchKey switchKey(AddonSwitch which) {
    return which == AddonSwitch::HeatColours ? SwitchKey{"HeatColours", true}
                                             : SwitchKey{"RecordWhileConnected", false};
}

} // namespace

bool readAddonSwitch(const ProfileStore& store, AddonSwitch which) {
    const SwitchKey k = switchKey(which);
    return store.readInt(kWindowSection, k.key, k.byDefault ? 1 : 0) != 0;
}

WriteResult writeAddonSwitch(ProfileStore& store, AddonSwitch which, bool on) {
    const WriteResult r = store.writeInt(kWindowSection, switchKey(which).key, on ? 1 : 0);
    if (!r) return r;
    return store.sync();
}

int readStatisticsKey(const ProfileStore& store, const char* key, int def) {
    return store.readInt(StatisticsSection, key, def);
}

WriteResult writePortEntry(ProfileStore& store, int slot, const std::string& device) {
    const WriteResult r = store.writeString("PORTS", "COM" + std::to_string(slot), device);
    if (!r) return r;
    return store.sync();
}

std::optional<double> parseStoichAfr(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty() || text.size() > 32) return std::nullopt;
    std::string number(text);
    for (char& c : number)
        if (c == ',') c = '.';
    double value = 0;
    const char* end = number.data() + number.size();
    const auto [at, error] = std::from_chars(number.data(), end, value, std::chars_format::fixed);
    if (error != std::errc() || at != end) return std::nullopt;
    value = std::round(value * 100.0) / 100.0;
    if (!(value >= MinStoichAfr && value <= MaxStoichAfr)) return std::nullopt;
    return value;
}

std::string stoichAfrText(double afr) {
    char buf[32];
    const auto [end, error] = std::to_chars(buf, buf + sizeof buf, std::round(afr * 100.0) / 100.0);
    return error == std::errc() ? std::string(buf, end) : std::string("14.7");
}

WidebandSettings loadWidebandSettings(const ProfileStore& store) {
    WidebandSettings s;
    s.device = store.readString(WidebandSection, "Device", "");
    s.protocol = store.readString(WidebandSection, "Protocol", "auto");
    s.stoichAfr = parseStoichAfr(store.readString(WidebandSection, "StoichAfr", ""))
                      .value_or(DefaultStoichAfr);
    s.showAfr = store.readInt(WidebandSection, "ShowAfr", 0) != 0;
    return s;
}

WriteResult saveWidebandSettings(ProfileStore& store, const WidebandSettings& s) {
    store.beginBatch();
    WriteResult r = store.writeString(WidebandSection, "Device", s.device);
    if (r) r = store.writeString(WidebandSection, "Protocol", s.protocol);
    if (r) r = store.writeString(WidebandSection, "StoichAfr", stoichAfrText(s.stoichAfr));
    if (r) r = store.writeInt(WidebandSection, "ShowAfr", s.showAfr ? 1 : 0);
    const WriteResult committed = store.commitBatch();
    if (!r) return r;
    if (!committed) return committed;
    return store.sync();
}

} // namespace velmora
