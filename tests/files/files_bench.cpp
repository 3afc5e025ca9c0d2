// Prints how long the settings save and the parameter file take on this machine.
#include "files/param_file.h"
#include "files/settings.h"
#include "model/defaults.h"
#include "test_dir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace velmora;

namespace {

template <class F> double millis(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Median and worst of several runs.
template <class F> void report(const char* what, int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) t.push_back(millis([&] { f(i); }));
    std::sort(t.begin(), t.end());
    std::printf("%-52s median %8.3f ms  max %8.3f ms  (%d runs)\n", what, t[t.size() / 2], t.back(),
                runs);
}

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
    Calibration cal;
    cal[Klicovani] = 6;
    setDefaultCalibration(cal);
    WindowSettings window;
    window.file = window.iniDir = "/home/user/bikes/gsxr600.ign";
    const int runs = 15;

    report("settings save, new file (207 writes)", runs, [&](int i) {
        const std::string path = dir.file("new" + std::to_string(i) + ".ini");
        ProfileStore store(path);
        check(saveSettings(store, window, cal));
    });

    const std::string path = dir.file("Velmora52.ini");
    ProfileStore store(path);
    check(saveSettings(store, window, cal));
    report("settings save, every value changed (207 writes)", runs, [&](int i) {
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
    report("settings save, nothing changed (207 writes)", runs,
           [&](int) { check(saveSettings(store, window, cal)); });
    report("settings load, fresh store (207 reads)", runs, [&](int) {
        const ProfileStore fresh(path);
        WindowSettings w;
        Calibration c = cal;
        loadSettings(fresh, w, c);
    });

    const std::string ign = dir.file("bike.ign");
    report("parameter file write (saveParamFile, flushed)", runs, [&](int i) {
        Calibration c = cal;
        c[Omez1] = static_cast<std::uint8_t>(i);
        check(saveParamFile(ign, c));
    });
    report("parameter file read (openParamFile)", runs, [&](int) {
        Calibration c;
        if (!openParamFile(ign, c)) std::exit(1);
    });
    const std::string text = formatParamFile(cal);
    report("format + parse in memory, 1000 times", runs, [&](int) {
        Calibration c;
        for (int k = 0; k < 1000; ++k) parseParamFile(formatParamFile(cal), c);
    });
    return 0;
}
