// Prints how long the settings save and the parameter file take on this machine.
#include "files/param_file.h"
#include "files/settings.h"
#include "test_dir.h"
#include "tests/common/calibrations.h"
#include "tests/common/timing.h"

#include <cstdio>
#include <cstdlib>

using namespace velmora;
using common::reportTimes;

namespace {

void check(const WriteResult& r) {
    if (!r) {
        std::fprintf(stderr, "%s: %s\n", r.path.c_str(), r.error.c_str());
        std::exit(1);
    }
}

} // namespace

int main() {
    velmora::test::TestDir dir;
    std::printf("files in %s\n", dir.path().c_str());
    const Calibration cal = common::defaultsOf(6);
    WindowSettings window;
    window.file = window.iniDir = "/home/user/bikes/gsxr600.ign";
    const int runs = 15;

    reportTimes("settings save, new file (207 writes)", runs, [&](int i) {
        const std::string path = dir.file("new" + std::to_string(i) + ".ini");
        ProfileStore store(path);
        check(saveSettings(store, window, cal));
    });

    const std::string path = dir.file("Velmora52.ini");
    ProfileStore store(path);
    check(saveSettings(store, window, cal));
    reportTimes("settings save, every value changed (207 writes)", runs, [&](int i) {
        Calibration changed = cal;
        for (auto& b : changed.v) b = static_cast<std::uint8_t>(b + 1 + i);
        WindowSettings w = window;
        w.left = i + 1;
        w.top = i + 2;
        w.comPort = static_cast<std::uint8_t>(i + 1);
        w.language = static_cast<std::uint8_t>(i + 1);
        w.file = w.iniDir = "/tmp/" + std::to_string(i);
        w.activePage = static_cast<std::uint8_t>(1 + i % 5);
        check(saveSettings(store, w, changed));
    });
    reportTimes("settings save, nothing changed (207 writes)", runs,
                [&](int) { check(saveSettings(store, window, cal)); });
    reportTimes("settings load, fresh store (207 reads)", runs, [&](int) {
        const ProfileStore fresh(path);
        WindowSettings w;
        Calibration c = cal;
        loadSettings(fresh, w, c);
    });

    const std::string ign = dir.file("bike.ign");
    reportTimes("parameter file write (saveParamFile, flushed)", runs, [&](int i) {
        Calibration c = cal;
        c[Omez1] = static_cast<std::uint8_t>(i);
        check(saveParamFile(ign, c));
    });
    reportTimes("parameter file read (openParamFile)", runs, [&](int) {
        Calibration c;
        if (!openParamFile(ign, c)) std::exit(1);
    });
    const std::string text = formatParamFile(cal);
    reportTimes("format + parse in memory, 1000 times", runs, [&](int) {
        Calibration c;
        for (int k = 0; k < 1000; ++k) parseParamFile(formatParamFile(cal), c);
    });
    return 0;
}
