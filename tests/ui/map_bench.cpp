// Prints the time of one live-point update of the Fuel Map page and the map window (the frame,
// the curve dot, the cross-hair and trail, the live statistics, and the repaint that follows):
// median and worst over 1000 updates, the point sweeping the map as a ride would.
// With --shots DIR it instead runs the window against the simulated unit's scenario into its
// full-throttle run and saves pictures of the map window and the page into DIR.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "tests/sim/harness.h"
#include "ui/main_window/form_hlav.h"
#include "ui/map/curve_window.h"
#include "ui/map/map_window.h"
#include "ui/map/map_workbench.h"
#include "window_fixture.h"

using namespace velmora;
using namespace velmora::ui;

namespace {

int shots(const QString& out) {
    simtest::SimProcess sim({"--water", "90", "--seed", "7"});
    if (!sim.started()) return 1;
    test::WindowFixture window;
    window.writeIni(QString("[FORM_HLAV]\nLanguage=1\nComPort=1\nActivePage=2\n[PORTS]\nCOM1=%1\n")
                        .arg(QString::fromStdString(sim.linkPath())));
    TFormHlav& form = window.start();
    MapWorkbench& wb = *window.addOns().map();
    // A map with some shape, so that the colours say something.
    Calibration& cal = form.calibration();
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            cal[jetCell(r, c)] = static_cast<std::uint8_t>(
                std::lround(78 + 3.2 * r + 2.2 * c - 0.12 * (c - 5) * (c - 5) * (r / 3 + 1)));
    form.showParams();
    form.show();
    MapWindow* w = wb.openWindow();
    w->move(form.x() + form.width() + 10, form.y());
    w->table()->clearSelection();
    CurveWindow* curve = wb.openCurveWindow();
    curve->move(form.x(), form.y() + form.height() + 10);
    // Into the full-throttle run of the scenario, the trail along the top row.
    QTest::qWait(22500);
    QDir().mkpath(out);
    w->grab().save(out + "/map-window-live.png");
    form.grab().save(out + "/fuel-map-page-live.png");
    curve->grab().save(out + "/ignition-curve.png");
    w->setOverlay(MapWindow::Overlay::Balance);
    QApplication::processEvents();
    w->grab().save(out + "/map-window-balance.png");
    w->setOverlay(MapWindow::Overlay::Suggestions);
    QApplication::processEvents();
    w->grab().save(out + "/map-window-suggestions.png");
    std::printf("%llu samples, %llu counted\n",
                static_cast<unsigned long long>(wb.liveStatistics().samplesSeen()),
                static_cast<unsigned long long>(wb.liveStatistics().samplesCounted()));
    form.close();
    sim.stop();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(11);
    QApplication::setFont(font);
    if (argc > 2 && QString(argv[1]) == "--shots") return shots(QString::fromLocal8Bit(argv[2]));

    test::WindowFixture window;
    TFormHlav& form = window.start();
    form.pages()->setCurrentIndex(1);
    form.show();
    MapWorkbench& wb = *window.addOns().map();
    wb.openWindow();
    QApplication::processEvents();

    std::vector<double> us;
    for (int i = 0; i < 1000; ++i) {
        analysis::EngineSample s;
        s.timeMs = static_cast<std::uint64_t>(i) * 100;
        s.advance = 20 + i % 15;
        // The engine moves continuously: speed and throttle sweep the map.
        s.rpm = 1000 + static_cast<int>(7500 * (1 - std::cos(i * 0.021)));
        s.throttle = static_cast<int>(50 - 50 * std::cos(i * 0.033));
        s.lambdaMv = (i / 5) % 2 ? 700 : 200;
        s.waterC = 85;
        s.injectionUs = 3000;
        QElapsedTimer t;
        t.start();
        wb.showLivePoint(s);
        // The repaints of the page and the window, and nothing else that waits (the window's
        // own timer would be counted otherwise).
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
        us.push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
        QApplication::processEvents();
    }
    std::sort(us.begin(), us.end());
    std::printf("live-point update of the page and the map window: median %.0f us, 99th "
                "percentile %.0f us, worst %.0f us (goal < 2000 us)\n",
                us[us.size() / 2], us[us.size() * 99 / 100], us.back());
    form.close();
    return 0;
}
