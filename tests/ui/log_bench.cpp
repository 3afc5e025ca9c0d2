// Figures of the log viewer, printed: opening a long log to the first drawn plot beside the
// time `cat` takes to read the same file (the I/O floor), redraws at full span and zoomed,
// resident memory with the log open, the columns decoded to open it and the answer to a 1 GiB
// file of junk.
//   log_bench [--hours H] [--marker-every S]  a ride of H hours at 10 records a second
//                                   (default 24) with a marker every S seconds (1800)
//   log_bench --shot LOG.mlg OUT.png  a picture of the viewer on a recorded log
//   log_bench --shot-views LOG.mlg OUT  pictures of its scatter and cell table views
//   log_bench --ride OUT.mlg [--hours H]  only writes the ride (to profile opening it)
//   log_bench --open LOG.mlg          opens a log and prints the parts of the open
#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <qcustomplot.h>

#include "analysis/map_geometry.h"
#include "log/channels.h"
#include "log/mlg.h"
#include "model/clamp.h"
#include "model/defaults.h"
#include "sim/engine.h"
#include "ui/log/cell_table_view.h"
#include "ui/log/log_viewer.h"
#include "ui/log/scatter_view.h"

using namespace velmora;

namespace {

// VmRSS (resident now) or VmHWM (the most resident since the peak was last reset).
double residentMb(const char* which = "VmRSS:") {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == which) {
            double kb = 0;
            in >> kb;
            return kb / 1024.0;
        }
        in.ignore(1 << 12, '\n');
    }
    return 0;
}

// A ride of the simulated engine written as the recorder writes it; returns the records.
std::size_t writeRide(const std::string& path, double hours, int markerSeconds) {
    Calibration cal;
    cal[Klicovani] = 6;
    setDefaultCalibration(cal);
    clamp(cal);
    sim::Engine engine(52, 20.0, true);
    MonitorDecoder decoder;
    MonitorSettings settings;
    settings.advanceMax = cal[AdvanceMax];
    SampleBuilder samples;
    const auto records = static_cast<std::size_t>(hours * 36000.0);
    std::ofstream out(path, std::ios::binary);
    std::string chunk = log::mlgHeader(1765000000u, "log_bench ride");
    for (std::size_t i = 0; i < records; ++i) {
        const Frame f = engine.nextFrame(0.1, cal, 3);
        decoder.decode(f, settings);
        const auto t = static_cast<std::uint32_t>(i * 100);
        log::appendRecordBlock(
            chunk, static_cast<std::uint8_t>(i),
            log::recordOf(samples.update(f, decoder.values(), cal[AdvanceMax], t, false), t));
        if (i % (static_cast<std::size_t>(markerSeconds) * 10) ==
            static_cast<std::size_t>(markerSeconds) * 5 - 1)
            log::appendMarkerBlock(chunk, 0, static_cast<std::uint32_t>(i * 100), "marker");
        if (chunk.size() > (1u << 20)) {
            out << chunk;
            chunk.clear();
        }
    }
    out << chunk;
    return records;
}

struct Stats {
    double median, worst;
};
Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.back()};
}

Stats redraws(ui::LogViewer& v, int count) {
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        v.plot()->replot(QCustomPlot::rpImmediateRefresh);
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return stats(ms);
}

std::array<int, 10> benchAxis() {
    Calibration cal;
    setDefaultCalibration(cal);
    return analysis::rpmAxis(cal);
}

// The scatter view and the cell table over the whole log: the points gathered once, then
// each redraw thins and draws them; the table is counted and filled per statistic.
void viewFigures(ui::LogViewer& v) {
    v.setTodayAxis(benchAxis());
    QElapsedTimer t;
    t.start();
    const std::size_t points = v.scatterView()->points().size();
    const double gatherMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    std::vector<double> draws;
    for (int i = 0; i < 20; ++i) {
        t.restart();
        v.scatterView()->render(QSize(900 + i % 2, 300));
        draws.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::vector<double> tables;
    for (int i = 0; i < 10; ++i) {
        t.restart();
        v.cellTableView()->setStatistic(i % 2 ? analysis::CellStatistic::Mean
                                              : analysis::CellStatistic::Median);
        v.cellTableView()->table();
        tables.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    // The busiest cell's spans listed and marked in the plots.
    const analysis::CellTable& cells = v.cellTableView()->table();
    std::size_t most = 0;
    for (std::size_t i = 0; i < cells.cells.size(); ++i)
        if (cells.cells[i].spans.size() > cells.cells[most].spans.size()) most = i;
    const int columns = static_cast<int>(std::max<std::size_t>(1, cells.columns.size()));
    t.restart();
    v.cellTableView()->showCell(static_cast<int>(most) / columns, static_cast<int>(most) % columns);
    v.plot()->replot(QCustomPlot::rpImmediateRefresh);
    const double spansMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    const Stats draw = stats(draws), table = stats(tables);
    std::printf("views: scatter of %zu points gathered in %.0f ms; redraw at 900x300 median %.1f "
                "ms, worst %.1f ms\n",
                points, gatherMs, draw.median, draw.worst);
    std::printf("views: cell table over the log (mean or median, grid filled) median %.0f ms, "
                "worst %.0f ms\n",
                table.median, table.worst);
    std::printf("views: a cell's %zu spans listed and marked in the plots %.0f ms\n",
                cells.cells[most].spans.size(), spansMs);
}

// Pictures of the viewer with each of its views: OUT-scatter.png and OUT-cells.png.
int viewShots(const QString& log, const QString& prefix) {
    ui::LogViewer v(1);
    QString error;
    if (!v.openFile(log, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    v.setTodayAxis(benchAxis());
    v.resize(1100, 720); // as it opens
    v.setChannels({"RPM", "TPS", "O2 mV", "PW"});
    const double end = v.data().time.back();
    v.setCursorTime(end * 0.6);
    v.setSelection(end * 0.3, end * 0.35);
    v.show();
    QApplication::processEvents();
    bool ok = v.grab().save(prefix + "-scatter.png");
    auto* tabs = v.findChild<QTabWidget*>();
    tabs->setCurrentIndex(1);
    // The cell the ride spent most records in, its spans marked in the plots.
    const analysis::CellTable& table = v.cellTableView()->table();
    std::size_t most = 0;
    for (std::size_t i = 0; i < table.cells.size(); ++i)
        if (table.cells[i].count > table.cells[most].count) most = i;
    const int columns = static_cast<int>(std::max<std::size_t>(1, table.columns.size()));
    v.cellTableView()->showCell(static_cast<int>(most) / columns, static_cast<int>(most) % columns);
    QApplication::processEvents();
    v.plot()->replot(QCustomPlot::rpImmediateRefresh);
    ok = v.grab().save(prefix + "-cells.png") && ok;
    return ok ? 0 : 1;
}

int shot(const QString& log, const QString& png) {
    ui::LogViewer v(1);
    QString error;
    if (!v.openFile(log, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    v.resize(1100, 700);
    v.setChannels({"RPM", "TPS", "O2 mV", "PW", "CLT", "Batt V"});
    const double end = v.data().time.back();
    v.setCursorTime(end * 0.6);
    v.setSelection(end * 0.3, end * 0.45);
    v.show();
    QApplication::processEvents();
    v.plot()->replot(QCustomPlot::rpImmediateRefresh);
    return v.grab().save(png) ? 0 : 1;
}

double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// The open in its parts, in a viewer of its own, each the median of `times`: the reading pass
// alone, the same pass decoding the first plotted channels, the window built, the log handed to
// the viewer (its plots built with their min/max envelopes, the tables filled), the plots built
// again alone, and the first draw of the shown window.
// Opens a log in the viewer and draws it as a user first sees it; false (said) when it cannot.
bool openAndDraw(ui::LogViewer& v, const QString& path) {
    QString error;
    if (!v.openFile(path, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    v.resize(1100, 700);
    v.show();
    v.plot()->replot(QCustomPlot::rpImmediateRefresh);
    QApplication::processEvents();
    return true;
}

void openParts(const QString& path, int times) {
    std::vector<std::string> first{"Lambda"};
    for (const QString& n : ui::LogViewer::defaultChannels()) first.push_back(n.toStdString());
    std::vector<double> reads, decodes, builds, sets, draws, plots;
    for (int i = 0; i < times; ++i) {
        QElapsedTimer t;
        t.start();
        (void)log::readMlgFile(path.toStdString());
        reads.push_back(msSince(t));
        t.restart();
        log::LogReadResult r = log::readMlgFile(path.toStdString(), first);
        decodes.push_back(msSince(t));
        t.restart();
        ui::LogViewer v(1);
        v.resize(1100, 700);
        builds.push_back(msSince(t));
        t.restart();
        QString error;
        if (!r.ok || !v.setLog(std::move(r.data), "ride", &error)) return;
        sets.push_back(msSince(t));
        t.restart();
        v.show();
        v.plot()->replot(QCustomPlot::rpImmediateRefresh);
        QApplication::processEvents();
        draws.push_back(msSince(t));
        t.restart();
        v.setChannels(v.channels());
        plots.push_back(msSince(t));
    }
    std::printf("open in parts (median of %d): reading pass %.0f ms; with %zu columns decoded in "
                "it %.0f ms; window built %.0f ms (the first of the program's run takes longer); "
                "log shown (plots with their envelopes, tables) %.0f ms, of which the plots %.0f "
                "ms; first draw %.0f ms\n",
                times, stats(reads).median, first.size(), stats(decodes).median,
                stats(builds).median, stats(sets).median, stats(plots).median, stats(draws).median);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() == 4 && args[1] == "--shot") return shot(args[2], args[3]);
    if (args.size() == 4 && args[1] == "--shot-views") return viewShots(args[2], args[3]);
    if (args.size() == 3 && args[1] == "--open") {
        QElapsedTimer t;
        t.start();
        ui::LogViewer v(1);
        if (!openAndDraw(v, args[2])) return 1;
        std::printf("open to first drawn plot %.0f ms\n", msSince(t));
        openParts(args[2], 7);
        return 0;
    }
    double hours = 24;
    int markerSeconds = 1800;
    QString ride;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--ride") ride = args[i + 1];
        if (args[i] == "--hours") hours = args[i + 1].toDouble();
        if (args[i] == "--marker-every") markerSeconds = args[i + 1].toInt();
    }
    if (hours <= 0 || markerSeconds <= 0) {
        std::fprintf(stderr, "usage: log_bench [--hours H] [--marker-every S] | --shot LOG.mlg "
                             "OUT.png\n");
        return 2;
    }
    if (!ride.isEmpty()) return writeRide(ride.toStdString(), hours, markerSeconds) > 0 ? 0 : 1;
    QTemporaryDir dir;
    const std::string path = dir.filePath("ride.mlg").toStdString();
    const std::size_t records = writeRide(path, hours, markerSeconds);
    const double baseMb = residentMb();

    // The I/O floor, with the file in the page cache for both reads.
    const std::string cat = "cat '" + path + "' > /dev/null";
    if (std::system(cat.c_str()) != 0) return 1;
    QElapsedTimer t;
    t.start();
    if (std::system(cat.c_str()) != 0) return 1;
    const double catMs = static_cast<double>(t.nsecsElapsed()) / 1e6;

    t.restart();
    const std::size_t readRecords = log::readMlgFile(path).data.records();
    const double readMs = static_cast<double>(t.nsecsElapsed()) / 1e6;

    std::ofstream("/proc/self/clear_refs") << "5"; // the peak from here on
    t.restart();
    ui::LogViewer v(1);
    if (!openAndDraw(v, QString::fromStdString(path))) return 1;
    const double openMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    // The scatter gathers its points once the plots are drawn.
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    const double filledMs = msSince(t);
    const double rss = residentMb();
    const double peak = residentMb("VmHWM:");
    std::size_t decoded = 0;
    for (std::size_t f = 0; f < v.data().columns.size(); ++f)
        decoded += v.data().columns.decoded(f);

    // A file of 1 GiB whose data is junk from its first byte on (sparse: nothing to write).
    const std::string junkPath = dir.filePath("junk.mlg").toStdString();
    {
        std::ofstream junk(junkPath, std::ios::binary);
        junk << log::mlgHeader(0, "junk") << '\xA5';
    }
    if (::truncate(junkPath.c_str(), static_cast<off_t>(log::MaxLogFileSize)) != 0) return 1;
    t.restart();
    ui::LogViewer junkViewer(1);
    QString junkError;
    const bool junkOpened = junkViewer.openFile(QString::fromStdString(junkPath), &junkError);
    const double junkMs = static_cast<double>(t.nsecsElapsed()) / 1e6;

    const Stats full = redraws(v, 20);
    const double mid = v.data().time[records / 2];
    v.setTimeRange(mid, mid + 60);
    const Stats zoomed = redraws(v, 20);
    std::ifstream size(path, std::ios::ate | std::ios::binary);
    std::printf("viewer: %.1f h log, %zu records, %.1f MB, %zu markers\n", hours,
                v.data().records(), static_cast<double>(size.tellg()) / 1e6,
                v.data().markers.size());
    std::printf("viewer: open to first drawn plot %.0f ms; cat %.1f ms; ratio %.1f\n", openMs,
                catMs, openMs / std::max(catMs, 0.001));
    std::printf("viewer: the scatter view's points drawn %.0f ms after opening began\n", filledMs);
    std::printf("viewer: reading the file alone (the records' times and places) %.0f ms (%zu "
                "records)\n",
                readMs, readRecords);
    std::printf("viewer: columns decoded on open %zu of %zu (the plotted ones)\n", decoded,
                v.data().columns.size());
    std::printf("viewer: redraw of 6 plots at full span median %.1f ms, worst %.1f ms; zoomed to "
                "60 s median %.1f ms, worst %.1f ms\n",
                full.median, full.worst, zoomed.median, zoomed.worst);
    std::printf("viewer: resident memory with the log open %.0f MB (%.0f MB before opening, "
                "%.0f MB at most while opening)\n",
                rss, baseMb, peak);
    std::printf("viewer: a 1 GiB file of junk answered in %.0f ms: %s\n", junkMs,
                junkOpened ? "opened as a log" : qPrintable(junkError));
    openParts(QString::fromStdString(path), 3);
    viewFigures(v);
    const bool plottedOnly =
        decoded <= static_cast<std::size_t>(v.channels().size()) + 1; // and Lambda, looked at
    return v.data().records() == records && plottedOnly && !junkOpened ? 0 : 1;
}
