// The settings store's parser on an arbitrary file. The input is split into the file and a
// few operations: reads never disturb anything, a write reads back as written and leaves
// every other entry as it was, and a whole settings save loads back to what was saved.
#include "files/profile_store.h"
#include "files/settings.h"
#include "fuzz_check.h"
#include "model/defaults.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace velmora;

namespace {

// Names a user could have typed: no brackets, no equals sign, no comment lead-in.
std::string name(FuzzedDataProvider& in) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_ .-";
    std::string s;
    const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 12);
    for (std::size_t i = 0; i < n; ++i)
        s += alphabet[in.ConsumeIntegralInRange<std::size_t>(0, sizeof alphabet - 2)];
    return s;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(s.begin());
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

bool hasName(const std::string& s) {
    return !trimmed(s).empty();
}

// Both names compared the way the store compares them: blanks around them and case ignored.
bool sameName(const std::string& a, const std::string& b) {
    const std::string x = trimmed(a), y = trimmed(b);
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(x[i])) !=
            std::tolower(static_cast<unsigned char>(y[i])))
            return false;
    return true;
}

void checkWrite(FuzzedDataProvider& in, const std::string& path) {
    ProfileStore store(path);
    const std::string section = name(in), key = name(in);
    const std::string otherSection = in.ConsumeBool() ? section : name(in), other = name(in);
    if (!hasName(key) || !hasName(other)) return;
    const std::string otherBefore = store.readString(otherSection, other, "\x01missing");
    std::string value = in.ConsumeRandomLengthString(64);
    if (!store.writeString(section, key, value)) return;

    std::string expected = value.substr(0, value.find_first_of(std::string("\r\n\0", 3)));
    expected = trimmed(expected);
    FUZZ_CHECK(store.readString(section, key, "") == expected);
    ProfileStore fresh(path); // the file, not only the store's copy of it
    FUZZ_CHECK(fresh.readString(section, key, "") == expected);
    if (!(sameName(section, otherSection) && sameName(key, other)))
        FUZZ_CHECK(fresh.readString(otherSection, other, "\x01missing") == otherBefore);
}

void checkSaveLoad(FuzzedDataProvider& in, const std::string& path) {
    WindowSettings window;
    window.left = in.ConsumeIntegral<int>();
    window.top = in.ConsumeIntegral<int>();
    window.comPort = in.ConsumeIntegral<std::uint8_t>();
    window.language = in.ConsumeIntegral<std::uint8_t>();
    window.file = trimmed(name(in));
    window.iniDir = trimmed(name(in));
    window.activePage = in.ConsumeIntegralInRange<std::uint8_t>(1, 5);
    Calibration cal;
    for (auto& v : cal.v) v = in.ConsumeIntegral<std::uint8_t>();

    ProfileStore store(path);
    if (!saveSettings(store, window, cal)) return;
    ProfileStore fresh(path);
    WindowSettings loadedWindow;
    Calibration loaded;
    loadSettings(fresh, loadedWindow, loaded);
    FUZZ_CHECK(loadedWindow.left == window.left && loadedWindow.top == window.top);
    FUZZ_CHECK(loadedWindow.comPort == window.comPort);
    FUZZ_CHECK(loadedWindow.language == window.language);
    FUZZ_CHECK(loadedWindow.file == window.file && loadedWindow.iniDir == window.iniDir);
    FUZZ_CHECK(loadedWindow.activePage == window.activePage);
    for (const SettingsKey& k : calibrationKeys()) FUZZ_CHECK(loaded[k.param] == cal[k.param]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
    const std::string content = in.ConsumeRandomLengthString(8192);
    static const std::string path = scratchFile("Velmora52.ini");
    writeFile(path, content);

    {
        const ProfileStore store(path);
        WindowSettings window;
        Calibration cal;
        loadSettings(store, window, cal);
        loadPortMap(store);
        store.readInt(name(in), name(in), 0);
    }
    // A whole save is 207 file replaces; a few inputs in sixteen are enough to cover it.
    if (mode % 16 == 0)
        checkSaveLoad(in, path);
    else
        checkWrite(in, path);
    return 0;
}
