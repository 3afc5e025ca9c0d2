// Prints the start-up time of the window (process start to the first shown window, offscreen
// unless a platform is given), the resident memory after start-up and the time of the
// after-change step over all 189 pairs: read controls, clamp, show, pack; and the intervals of
// 200 ticks of Timer1 while the window is kept busy.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

#include "ui/main_window/form_hlav.h"

namespace {

// Milliseconds since this process was started, from the kernel's record of its start.
double msSinceProcessStart() {
    QFile stat("/proc/self/stat");
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    // Field 22 (starttime) counts from the ')' that closes the command name.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20) return -1;
    const double startTicks = fields[19].toDouble();
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1e3 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long residentKb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& l : status.readAll().split('\n')) {
        if (l.startsWith("VmRSS:")) return l.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

    QApplication app(argc, argv);
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(11);
    QApplication::setFont(font);
    velmora::ui::TFormHlav form;
    form.messageBox = [](const QString&) {};
    form.FormCreate({});
    form.show();
    while (form.windowHandle() == nullptr || !form.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    QApplication::processEvents();
    const double startupMs = msSinceProcessStart();
    const long rssKb = residentKb();

    constexpr int Rounds = 300;
    std::vector<double> us;
    us.reserve(Rounds);
    QElapsedTimer t;
    for (int i = 0; i < Rounds; ++i) {
        t.start();
        form.readControls();
        form.afterChange();
        us.push_back(static_cast<double>(t.nsecsElapsed()) / 1e3);
    }
    // The same with a hundred boxes changing their text each time: injection plus and minus.
    std::vector<double> changing;
    changing.reserve(Rounds);
    for (int i = 0; i < Rounds; ++i) {
        t.start();
        i % 2 == 0 ? form.ButtonJetPlusClick() : form.ButtonJetMinusClick();
        changing.push_back(static_cast<double>(t.nsecsElapsed()) / 1e3);
    }
    const auto summary = [](std::vector<double>& v, const char* what) {
        std::sort(v.begin(), v.end());
        double sum = 0;
        for (double x : v) sum += x;
        std::printf("%s (%zu rounds): mean %.0f us, median %.0f us, max %.0f us\n", what, v.size(),
                    sum / static_cast<double>(v.size()), v[v.size() / 2], v.back());
    };

    // Timer1 with the window busy between ticks: a shift of the map every 20 ms.
    std::vector<double> ticks;
    ticks.reserve(201);
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    auto* timer1 = form.findChild<QTimer*>("Timer1");
    QObject::connect(timer1, &QTimer::timeout, &loop, [&] {
        ticks.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (ticks.size() == 201) loop.quit();
    });
    QTimer load;
    int shifts = 0;
    QObject::connect(&load, &QTimer::timeout, &form, [&] {
        ++shifts % 2 == 0 ? form.ButtonJetPlusClick() : form.ButtonJetMinusClick();
    });
    load.start(20);
    loop.exec();
    load.stop();
    std::vector<double> intervals;
    for (std::size_t i = 1; i < ticks.size(); ++i) intervals.push_back(ticks[i] - ticks[i - 1]);
    double sum = 0, sq = 0;
    for (double x : intervals) sum += x;
    const double mean = sum / static_cast<double>(intervals.size());
    for (double x : intervals) sq += (x - mean) * (x - mean);
    std::sort(intervals.begin(), intervals.end());
    std::printf("Timer1, 200 ticks under %d map shifts: total %.2f s, mean %.2f ms, sd %.2f ms, "
                "min %.2f ms, max %.2f ms\n",
                shifts, (ticks.back() - ticks.front()) / 1e3, mean,
                std::sqrt(sq / static_cast<double>(intervals.size())), intervals.front(),
                intervals.back());

    std::printf("start-up to first shown window: %.0f ms\n", startupMs);
    std::printf("resident memory after start-up: %.1f MB\n", static_cast<double>(rssKb) / 1024.0);
    summary(us, "read controls + after-change step over 189 pairs, values unchanged");
    summary(changing, "injection shift + after-change step, 100 boxes changing");
    form.FormClose();
    return 0;
}
