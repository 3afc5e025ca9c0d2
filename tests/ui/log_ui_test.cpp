// The Log menu on the main window and the log viewer, offscreen: the menu's place and access
// keys, recording from the window's link with its status-bar field, "Record while connected",
// replay onto the Monitor page with the wide-band readings it recorded, and the viewer's cursor,
// selection, markers, gaps where no reading came and bad logs.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>
#include <qcustomplot.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "files/param_file.h"
#include "lang/log_texts.h"
#include "link/wideband_join.h"
#include "log/frame_log.h"
#include "log/log_context.h"
#include "log/mlg.h"
#include "tests/common/frames.h"
#include "ui/log/cell_table_view.h"
#include "ui/log/computed_dialog.h"
#include "ui/log/log_menu.h"
#include "ui/log/log_viewer.h"
#include "ui/log/scatter_view.h"
#include "ui/log/second_log.h"
#include "ui/main_window/form_hlav.h"
#include "ui/map/map_window.h"
#include "ui/map/map_workbench.h"
#include "window_fixture.h"

using namespace velmora;
using namespace velmora::ui;
using velmora::common::monitorFrame;
using velmora::test::accessKey;

namespace {

// A wide-band controller on the live side, as the port's reader joins it: live samples only.
struct LiveWideband : SampleJoiner {
    WidebandParser parser{WidebandProtocol::AemText, 14.7};
    WidebandJoin join_;
    LiveWideband() { join_.setConnected(true); }
    void bytes(std::uint64_t timeMs, const std::vector<std::uint8_t>& data) {
        std::vector<WidebandReading> readings;
        parser.feed(data.data(), data.size(), timeMs, readings);
        for (const WidebandReading& r : readings) join_.add(r);
    }
    void join(EngineSample& s) override {
        if (!s.replayed) join_.join(s);
    }
};

} // namespace

class LogUiTest : public test::WindowTest {
    Q_OBJECT

private:
    LogMenu* menu_ = nullptr;
    std::uint64_t clock_ = 1000;

    void start() {
        form_ = &window_->start({"ENGLISH"});
        menu_ = window_->addOns().log();
        menu_->clockMs = [this] { return clock_; };
        menu_->askMarkerNote = [](int) { return QString("lap"); };
    }
    // A frame through the window's link, as the tick's poll hands it over.
    void feed(const Frame& f, std::uint64_t stepMs = 55) {
        clock_ += stepMs;
        form_->link().exchange().onFrame(f);
        menu_->poll();
    }
    // The unit has sent every frame kind, so a recording starts with its first frame.
    void connected() {
        for (int kind = 0; kind < 3; ++kind) feed(monitorFrame(kind, 999));
    }
    QString rpmText() const { return form_->findChild<QLabel*>("LabelRpm")->text(); }
    // A log of `records` records 100 ms apart, RPM counting up from `rpm` by 10, a marker at
    // `markerMs`; `renamed` stands in the header in place of RPM.
    QString writeLog(const char* name, int records, int rpm, std::uint32_t markerMs,
                     const char* renamed = nullptr) {
        std::string bytes = log::mlgHeader(0, name);
        if (renamed != nullptr) bytes.replace(bytes.find(std::string("RPM\0", 4)), 3, renamed);
        for (int i = 0; i < records; ++i) {
            log::Record r{};
            r[log::Time] = 100 * i;
            r[log::Rpm] = rpm + 10 * i;
            r[log::Tps] = 5;
            log::appendRecordBlock(bytes, static_cast<std::uint8_t>(i), r);
            if (100u * static_cast<unsigned>(i) == markerMs)
                log::appendMarkerBlock(bytes, static_cast<std::uint8_t>(i), markerMs, "lap");
        }
        test::writeAll(window_->path(name), QByteArray::fromStdString(bytes));
        return window_->path(name);
    }
    // 100 records 0.1 s apart with a falling RPM and a marker at the half; the log's path.
    QString recordRide() {
        connected();
        if (!menu_->startRecording()) return {};
        for (int i = 0; i < 100; ++i) {
            feed(monitorFrame(i % 3, 1000 + static_cast<unsigned>(i)), 100);
            if (i == 50) menu_->addMarker("half");
        }
        menu_->stopRecording();
        return QString::fromStdString(menu_->recorder().logPath());
    }

    // Fifteen records 0.1 s apart: 0.0-0.5 s and 0.9-1.3 s in the map's first cell (1000 rpm,
    // 0 %), 0.6-0.8 s near 3000 rpm and 20 %; at 1.4 s a record without a lambda reading.
    static log::LogData craftedLog() {
        const float none = std::numeric_limits<float>::quiet_NaN();
        const std::vector<std::array<float, 3>> rows = {
            {1000, 0, 0.9f},  {1000, 0, 0.9f}, {1000, 0, 0.9f},  {1000, 0, 1.0f},
            {1000, 0, 1.0f},  {1000, 0, 1.0f}, {2900, 20, 0.9f}, {3000, 20, 0.95f},
            {3100, 20, 1.0f}, {1000, 0, 1.1f}, {1000, 0, 1.1f},  {1000, 0, 1.1f},
            {1000, 0, 1.1f},  {1000, 0, 1.1f}, {1000, 0, none}};
        log::LogData d;
        d.fields = {{"Time", "s", 4, 0, 0.001f, 0.0f, 3},
                    {"RPM", "rpm", 2, 0, 1.0f, 0.0f, 0},
                    {"TPS", "%", 2, 0, 1.0f, 0.0f, 0},
                    {"Lambda", "lambda", 7, 0, 1.0f, 0.0f, 3},
                    {"O2 mV", "mV", 2, 0, 1.0f, 0.0f, 0}};
        d.timeField = 0;
        d.columns.assign(d.fields.size(), log::Column(rows.size()));
        for (std::size_t r = 0; r < rows.size(); ++r) {
            d.time.push_back(0.1 * static_cast<double>(r));
            d.columns[0][r] = static_cast<float>(d.time[r]);
            for (std::size_t c = 0; c < 3; ++c) d.columns[c + 1][r] = rows[r][c];
            d.columns[4][r] = 450;
        }
        return d;
    }
    static std::array<int, 10> tenAxis() {
        return {1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000};
    }

private slots:
    void init() {
        WindowTest::init();
        clock_ = 1000;
    }

    // The menu's place on the bar and the bar's keys are the menu test's; here the items' keys,
    // with the record item as "start" and as "stop", and the shortcuts.
    void itemsHaveKeysOfTheirOwnInEveryLanguage() {
        start();
        for (const std::uint8_t language : {0, 2, 1}) {
            if (language == 0)
                form_->ApplyCzech();
            else if (language == 2)
                form_->ApplyGerman();
            else
                form_->ApplyEnglish();
            for (auto stop : {lang::LogText::StartRecording, lang::LogText::StopRecording}) {
                QSet<QChar> items{accessKey(QString::fromUtf8(lang::logText(stop, language)))};
                for (QAction* a : menu_->menu()->actions()) {
                    if (a->isSeparator() || a->objectName() == "MenuLogRecord") continue;
                    const QChar k = accessKey(a->text());
                    QVERIFY2(!items.contains(k), qPrintable(a->text()));
                    items.insert(k);
                }
            }
        }
        QCOMPARE(form_->findChild<QAction*>("MenuLogRecord")->shortcut(), QKeySequence("Ctrl+L"));
        QCOMPARE(form_->findChild<QAction*>("MenuLogMarker")->shortcut(), QKeySequence("Ctrl+M"));
        QCOMPARE(form_->findChild<QAction*>("MenuLogOpen")->shortcut(),
                 QKeySequence("Ctrl+Shift+L"));
    }

    void recordsEveryDecodedFrameWithItsStatusField() {
        start();
        connected();
        QVERIFY(menu_->startRecording());
        QLabel* field = menu_->statusField();
        QVERIFY(field->isVisibleTo(form_));
        for (int i = 0; i < 60; ++i) feed(monitorFrame(i % 3, 1000 + static_cast<unsigned>(i)));
        Frame bad = monitorFrame(0, 500);
        bad[21] ^= 1;
        feed(bad); // a bad check byte is no record
        QCOMPARE(menu_->addMarker("pit"), 1);
        // Hints still reach the status bar beside the field.
        form_->showStatusHint("a hint");
        QCOMPARE(form_->statusText(), QString("a hint"));
        QVERIFY(field->text().contains("60 rec"));
        QVERIFY(field->text().contains("00:00:03"));
        QVERIFY(field->text().contains("/s"));
        const QString path = QString::fromStdString(menu_->recorder().logPath());
        form_->findChild<QAction*>("MenuLogRecord")->trigger(); // stop
        QVERIFY(!menu_->recording());
        QVERIFY(!field->isVisibleTo(form_));
        const log::LogReadResult r = log::readMlgFile(path.toStdString());
        QVERIFY(r.ok);
        QCOMPARE(static_cast<int>(r.data.records()), 60);
        QCOMPARE(r.data.markers.at(0).text, std::string("Marker 1: pit"));
        QCOMPARE(r.data.columns[static_cast<std::size_t>(r.data.fieldIndex("RPM"))].back(),
                 static_cast<float>(2000000 / 1059));
    }

    void recordWhileConnectedFollowsTheConnectionAndIsSaved() {
        start();
        form_->findChild<QAction*>("MenuLogAuto")->trigger();
        QVERIFY(menu_->recordWhileConnected());
        QVERIFY(test::readAll(window_->iniPath()).contains("RecordWhileConnected=1"));
        QVERIFY(!menu_->recording());
        feed(monitorFrame(0, 1000));
        QVERIFY2(menu_->recording(), qPrintable(window_->messages.join('\n')));
        // Records begin once every frame kind has arrived: no channel starts at 0.
        feed(monitorFrame(1, 1000));
        // "No Connection" while the frames came in time (ticks that ran late) splits nothing;
        // the recording ends once the unit has been silent for as long as it takes.
        form_->link().exchange().view().noConnectionVisible = true;
        for (int late = 0; late < 10; ++late) {
            clock_ += 200;
            menu_->poll();
            QVERIFY(menu_->recording());
            feed(monitorFrame(late % 3, 1000));
            form_->link().exchange().view().noConnectionVisible = true;
        }
        clock_ += 41 * 55 - 1;
        menu_->poll();
        QVERIFY(menu_->recording());
        clock_ += 1;
        menu_->poll();
        QVERIFY(!menu_->recording());
        const std::string first = menu_->recorder().logPath();
        // Twelve frames; the records begin with the first kind-2 frame, the eighth.
        QCOMPARE(log::readMlgFile(first).data.records(), std::size_t{8});
        // Back again: a new log. Stopped by hand, it stays stopped while the unit is there.
        clock_ += 1000;
        feed(monitorFrame(0, 1000));
        QVERIFY(menu_->recording());
        QVERIFY(menu_->recorder().logPath() != first);
        form_->findChild<QAction*>("MenuLogRecord")->trigger();
        feed(monitorFrame(1, 1000));
        QVERIFY(!menu_->recording());
        form_->findChild<QAction*>("MenuLogAuto")->trigger();
        QVERIFY(!menu_->recordWhileConnected());
    }

    void replayDrivesTheMonitorPageUntilAReadEndsIt() {
        start();
        connected();
        QVERIFY(menu_->startRecording());
        for (int i = 0; i < 40; ++i)
            feed(monitorFrame(i % 3, 1000 + 10 * static_cast<unsigned>(i)), 100);
        menu_->stopRecording();
        const QString path = QString::fromStdString(menu_->recorder().logPath());

        QVERIFY(menu_->startReplay(path));
        QVERIFY(form_->link().replaying());
        QLabel* banner = menu_->replayBanner();
        QVERIFY(banner->isVisibleTo(form_));
        QVERIFY(banner->text().contains(QFileInfo(path).fileName()));
        QVERIFY(banner->text().contains("REPLAY"));
        QCOMPARE(form_->findChild<QTabWidget*>()->currentWidget()->objectName(),
                 QString("TabSheet5"));
        clock_ += 1;
        menu_->poll();
        QCOMPARE(rpmText(), QString("RPM = 2000 ")); // the log's first frame
        // A frame from the port is read and dropped, yet still proves the connection.
        QVERIFY(form_->link().monitorFrame(monitorFrame(0, 500)));
        QCOMPARE(rpmText(), QString("RPM = 2000 "));
        menu_->setReplaySpeed(4);
        clock_ += 250; // a second of log
        menu_->poll();
        QCOMPARE(rpmText(), QString("RPM = %1 ").arg(2000000 / 1100));
        menu_->setReplayPaused(true);
        clock_ += 5000;
        menu_->poll();
        QCOMPARE(rpmText(), QString("RPM = %1 ").arg(2000000 / 1100));
        LogViewer* viewer = menu_->openLog(path);
        menu_->seekReplay(3000); // frame 29, recorded 3.0 s after the start
        menu_->setReplayPaused(false);
        menu_->poll();
        QCOMPARE(rpmText(), QString("RPM = %1 ").arg(2000000 / 1290));
        QCOMPARE(viewer->cursorTime(), 3.0); // a viewer of the same log follows
        // Read ends the replay before its request goes out.
        form_->MenuReadClick();
        QVERIFY(!form_->link().replaying());
        QVERIFY(!menu_->replaying());
        QVERIFY(!banner->isVisibleTo(form_));
        QVERIFY(form_->link().monitorFrame(monitorFrame(0, 500)));
        QCOMPARE(rpmText(), QString("RPM = 4000 "));
    }

    void replayNeedsAFrameLogAndAnIdleLink() {
        start();
        QVERIFY(!menu_->startReplay(window_->path("none.mlg")));
        QVERIFY(window_->messages.last().contains(".frames"));
        form_->MenuVerifyClick();
        QVERIFY(!menu_->startReplay(window_->path("none.mlg")));
        QVERIFY(window_->messages.last().contains("exchange"));
        QVERIFY(!form_->link().replaying());
    }

    void viewerShowsCursorSelectionAndMarkers() {
        start();
        LogViewer* v = menu_->openLog(recordRide());
        QVERIFY(v != nullptr);
        QCOMPARE(v->channels(), LogViewer::defaultChannels());
        QCOMPARE(v->plot()->axisRectCount(), 6);
        v->setCursorTime(5.0); // record 49 at 5.0 s
        QCOMPARE(v->cursorText("RPM"), QString::number(2000000 / 1049));
        QCOMPARE(v->cursorText("Time"), QString("5.000"));
        v->setSelection(7.5, 2.5);
        QCOMPARE(v->selectionText(), QString("Selection 2.500 s – 7.500 s (5.000 s)"));
        v->zoomToSelection();
        QCOMPARE(v->rangeFrom(), 2.5);
        QCOMPARE(v->rangeTo(), 7.5);
        v->setChannels({"Batt V", "Nonsense", "RPM"});
        QCOMPARE(v->channels(), QStringList({"Batt V", "RPM"}));
        QCOMPARE(v->plot()->axisRectCount(), 2);
        QCOMPARE(v->rangeFrom(), 2.5); // the time range stays
        auto* markers = v->findChild<QListWidget*>("LogMarkers");
        QCOMPARE(markers->count(), 1);
        QVERIFY(markers->item(0)->text().contains("Marker 1: half"));
        const QString csv = window_->path("out.csv");
        QString error;
        QVERIFY(v->exportCsv(csv, &error));
        QCOMPARE(test::readAll(csv).count('\n'), 101);
        v->close();
    }

    // Readings, a stretch without, readings again: the replay joins to each replayed sample the
    // reading the ride joined to it, and the viewer shows the stretch as a dash.
    void replayJoinsTheRecordedWidebandReadings() {
        start();
        form_->link().clockMs = [this] { return clock_; };
        LiveWideband live;
        form_->link().addJoiner(live);
        menu_->widebandContext = [](log::LogContext& c) {
            c.widebandProtocol = WidebandProtocol::AemText;
            c.stoichAfr = 14.7;
        };
        std::vector<std::optional<double>> rode, replayed;
        const Subscription listening =
            form_->link().samples().subscribe([&](const EngineSample& s) {
                (s.replayed ? replayed : rode).push_back(s.widebandLambda);
            });
        connected();
        QVERIFY(menu_->startRecording());
        rode.clear();
        for (int i = 0; i < 60; ++i) {
            feed(monitorFrame(i % 3, 1000 + 10 * static_cast<unsigned>(i)), 100);
            if (i >= 20 && i < 35) continue; // unplugged
            // After the frame, in its millisecond: the next frame gets it.
            const std::vector<std::uint8_t> line = encodeWideband(
                WidebandProtocol::AemText, WidebandState::Ok, 0.8 + 0.01 * (i % 30), 14.7);
            live.bytes(clock_, line);
            menu_->widebandBytes(clock_, line.data(), line.size());
        }
        menu_->stopRecording();
        form_->link().removeJoiner(live);
        const QString path = QString::fromStdString(menu_->recorder().logPath());

        QVERIFY(menu_->startReplay(path));
        QVERIFY(menu_->replayWideband().controller());
        menu_->setReplaySpeed(16);
        for (int i = 0; i < 100 && menu_->replaying() && !menu_->replayClock()->finished(); ++i) {
            clock_ += 55;
            menu_->poll();
        }
        QCOMPARE(replayed.size(), rode.size());
        QCOMPARE(replayed, rode);
        QVERIFY(rode[10].has_value() && !rode[30].has_value() && rode[50].has_value());
        menu_->stopReplay();

        LogViewer* v = menu_->openLog(path);
        QVERIFY(v != nullptr);
        QCOMPARE(v->channels(), LogViewer::defaultChannels() << "Lambda");
        v->setCursorTime(3.0); // 15 records (1.5 s) without a reading
        QCOMPARE(v->cursorText("Lambda"), QString("—"));
        QCOMPARE(v->cursorText("AFR"), QString("—"));
        v->setCursorTime(5.0);
        QCOMPARE(v->cursorText("Lambda"), QString::number(*rode[49], 'f', 3));
        v->close();
    }

    // Where a channel has no value the line breaks, at every span, and the axis takes the values
    // that are there, not 0.
    void viewerBreaksTheLineWhereNoReadingCame() {
        start();
        for (const std::size_t records : {std::size_t{2000}, std::size_t{60000}}) {
            log::LogData d;
            d.fields = {{"Time", "s", 4, 0, 0.001f, 0.0f, 3},
                        {"Lambda", "lambda", 7, 0, 1.0f, 0.0f, 3}};
            d.timeField = 0;
            d.time.resize(records);
            d.columns.assign(2, log::Column(records));
            for (std::size_t r = 0; r < records; ++r) {
                d.time[r] = 0.05 * static_cast<double>(r);
                d.columns[0][r] = static_cast<float>(d.time[r]);
                // No reading at the start (no controller yet) and for a stretch in the middle.
                const bool gap = r < records / 10 || (r >= records * 2 / 5 && r < records * 3 / 5);
                d.columns[1][r] = gap ? std::numeric_limits<float>::quiet_NaN()
                                      : 0.9f + 0.1f * static_cast<float>(r % 3);
            }
            LogViewer v(form_->Language);
            QString error;
            QVERIFY(v.setLog(std::move(d), "gap", &error));
            v.setChannels({"Lambda"});
            v.showAll();
            const QCPRange y = v.plot()->axisRects().front()->axis(QCPAxis::atLeft)->range();
            QVERIFY2(y.lower > 0.8 && y.upper < 1.2, qPrintable(QString::number(y.lower)));
            const auto gaps = [&] {
                int n = 0;
                for (const QCPGraphData& p : *v.plot()->graph(0)->data()) n += std::isnan(p.value);
                return n;
            };
            QVERIFY2(gaps() > 0, qPrintable(QString::number(records)));
            QVERIFY(!v.plot()->graph(0)->adaptiveSampling());
            const double middle = 0.05 * static_cast<double>(records) / 2;
            v.setTimeRange(middle - 600, middle + 600); // records at full detail
            QVERIFY2(gaps() > 0, qPrintable(QString::number(records)));
        }
    }

    // A long log plots each slice's extremes at full span: every single-record spike, up or
    // down, at a slice's edge or the log's last record, shows with its own time and value and
    // sets the axis, in every plot (they are enveloped on two cores).
    void fullSpanKeepsEverySpikeOfEveryPlot() {
        start();
        const std::size_t records = 60000;
        const struct {
            std::size_t record;
            float value;
        } spikes[] = {{0, 900.0f},      {14, -900.0f}, {15, 950.0f},         {29999, -75.5f},
                      {30000, 480.25f}, {44443, 1e6f}, {records - 1, -1e6f}, {52, 700.5f},
                      {1000, -300.0f},  {2222, 333.0f}};
        const int channels = 5;
        log::LogData d;
        d.fields = {{"Time", "s", 4, 0, 0.001f, 0.0f, 3}};
        d.timeField = 0;
        d.time.resize(records);
        d.columns.assign(1 + channels, log::Column(records));
        QStringList names;
        for (int c = 1; c <= channels; ++c) {
            d.fields.push_back({"C" + std::to_string(c), "", 7, 0, 1.0f, 0.0f, 2});
            names << QString("C%1").arg(c);
        }
        for (std::size_t r = 0; r < records; ++r) {
            d.time[r] = 0.1 * static_cast<double>(r);
            d.columns[0][r] = static_cast<float>(d.time[r]);
            for (int c = 1; c <= channels; ++c)
                d.columns[static_cast<std::size_t>(c)][r] = static_cast<float>(c * (r % 7));
        }
        // Each plot its own spikes: the first spike in plot 1, the second in plot 2, ...
        for (std::size_t k = 0; k < std::size(spikes); ++k)
            d.columns[1 + k % channels][spikes[k].record] = spikes[k].value;
        LogViewer v(form_->Language);
        QString error;
        QVERIFY(v.setLog(std::move(d), "spikes", &error));
        v.setChannels(names);
        v.showAll();
        for (std::size_t k = 0; k < std::size(spikes); ++k) {
            const int plot = static_cast<int>(k % channels);
            const double t = 0.1 * static_cast<double>(spikes[k].record);
            bool found = false;
            for (const QCPGraphData& p : *v.plot()->graph(plot)->data())
                found |= p.key == t && p.value == static_cast<double>(spikes[k].value);
            QVERIFY2(found, qPrintable(QString("spike %1").arg(k)));
            const QCPRange y =
                v.channelRects()[static_cast<std::size_t>(plot)]->axis(QCPAxis::atLeft)->range();
            QVERIFY2(y.contains(spikes[k].value), qPrintable(QString("spike %1").arg(k)));
        }
        // Far fewer points than records: an envelope, not the records.
        QVERIFY(v.plot()->graph(0)->data()->size() < 10000);
    }

    // Opening a log draws the window first and gathers the scatter's points on the next turn
    // of the event loop; they are all there then.
    void theScatterGathersAfterTheFirstDraw() {
        start();
        LogViewer v(form_->Language);
        QString error;
        QVERIFY(v.openFile(writeLog("first.mlg", 100, 1000, 5000), &error));
        v.show();
        QApplication::processEvents(); // the first draw
        QVERIFY(v.scatterView()->canvas()->isVisible());
        QVERIFY(!v.scatterView()->gathered());
        QTRY_VERIFY(v.scatterView()->gathered());
        QCOMPARE(v.scatterView()->points().size(), std::size_t{100});
    }

    // The second ride's marker at 2 s meets the first's at 5 s: its plots are drawn 3 s later,
    // and a second log that cannot be shown leaves the viewer as it was.
    void aSecondLogOverlaysAlignedAtAMarker() {
        start();
        LogViewer* v = menu_->openLog(writeLog("first.mlg", 100, 1000, 5000));
        QVERIFY(v != nullptr);
        v->setChannels({"RPM", "TPS"});
        SecondLog* second = v->secondLog();
        const QString path = writeLog("second.mlg", 60, 4000, 2000);
        QString message;
        SecondLogAlignment atMarker;
        atMarker.secondMarker = 1;
        QVERIFY(!second->open(path, atMarker, &message));
        QCOMPARE(message, QString("The log second.mlg has no marker 2."));
        QVERIFY(!second->shown());
        atMarker.secondMarker = 0;
        QVERIFY2(second->open(path, atMarker, &message), qPrintable(message));
        QVERIFY(message.isEmpty());
        QCOMPARE(second->offset(), 3.0);
        QCOMPARE(static_cast<int>(second->graphs().size()), 2);
        QCOMPARE(v->plot()->graphCount(), 4);
        const QCPGraph* rpm = second->graphs().front();
        QCOMPARE(rpm->valueAxis(), v->channelRects().front()->axis(QCPAxis::atLeft));
        QCOMPARE(rpm->data()->constBegin()->key, 3.0);
        QCOMPARE(rpm->data()->constBegin()->value, 4000.0);
        QCOMPARE(rpm->name(), QString("second.mlg"));
        // One legend of the two files, not one line per plot.
        QVERIFY(v->plot()->legend != nullptr);
        QCOMPARE(v->plot()->legend->itemCount(), 2);
        v->setCursorTime(5.05); // the first's record 50, the second's record 20
        QCOMPARE(v->cursorText("RPM"), QString("1500"));
        QCOMPARE(second->cursorText("RPM"), QString("4200"));
        QCOMPARE(v->valueTable()->columnCount(), 3);
        QCOMPARE(v->valueTable()->item(v->data().fieldIndex("RPM"), 2)->text(), QString("4200"));
        v->setCursorTime(9.5); // beyond the second ride
        QCOMPARE(second->cursorText("RPM"), QString());

        // None of the plotted channels: refused, the second log shown before stays as it was.
        const QString other = writeLog("other.mlg", 60, 0, 2000, "XPM");
        v->setChannels({"RPM"});
        QCOMPARE(static_cast<int>(second->graphs().size()), 1);
        QVERIFY(!second->open(other, atMarker, &message));
        QCOMPARE(message, QString("The second log other.mlg has none of the plotted channels."));
        QCOMPARE(second->offset(), 3.0);
        QCOMPARE(second->data().records(), std::size_t{60});
        QCOMPARE(static_cast<int>(second->graphs().size()), 1);
        QCOMPARE(v->plot()->graphCount(), 2);
        // Some of them: shown, and the missing ones named.
        v->setChannels({"RPM", "TPS"});
        QVERIFY(second->open(other, atMarker, &message));
        QCOMPARE(message, QString("The second log other.mlg lacks the channels: RPM"));
        QCOMPARE(static_cast<int>(second->graphs().size()), 1);
        QCOMPARE(second->graphs().front()->valueAxis(),
                 v->channelRects().back()->axis(QCPAxis::atLeft));

        v->findChild<QPushButton*>("LogRemoveSecond")->click();
        QVERIFY(!second->shown());
        QCOMPARE(v->plot()->graphCount(), 2);
        QCOMPARE(v->valueTable()->columnCount(), 2);
        v->close();
    }

    // Each ride counted on its own cells, their difference, and the difference of the maps they
    // were recorded with, shown only while both files still pack to the recorded image.
    void theCellTableShowsBothRidesAndTheirMapDifference() {
        start();
        Calibration cal = form_->calibration();
        form_->image()[ProgName] = 'V'; // as read from a unit: bytes no parameter file holds
        const auto ride = [&](const char* name, int records, const Calibration& c) {
            const QString mlg = writeLog(name, records, 1000, 0);
            const std::string ign = QString(mlg).replace(".mlg", ".ign").toStdString();
            if (!saveParamFile(ign, c).ok) return QString();
            test::writeAll(QString::fromStdString(log::contextPathFor(mlg.toStdString())),
                           QByteArray(log::ContextMagic) +
                               QByteArray::fromStdString(log::formatContextEntry(
                                   {0, log::contextOf(c, {}, form_->image(), ign)})));
            return mlg;
        };
        Calibration richer = cal;
        richer[jetCell(2, 3)] = static_cast<std::uint8_t>(cal[jetCell(2, 3)] + 10);
        LogViewer* v = menu_->openLog(ride("ride1.mlg", 100, cal));
        QVERIFY(v != nullptr);
        const QString second = ride("ride2.mlg", 60, richer);
        CellTableView* view = v->cellTableView();
        view->setChannel("RPM");
        view->setStatistic(analysis::CellStatistic::Count);
        view->setMinimumCount(1);
        auto* rides = view->findChild<QComboBox*>("CellRide");
        QVERIFY(!rides->isVisibleTo(view));
        SecondLogAlignment atTime;
        atTime.kind = SecondLogAlignment::Time;
        atTime.firstTime = 2.0;
        QString message;
        QVERIFY2(v->secondLog()->open(second, atTime, &message), qPrintable(message));
        QVERIFY(rides->isVisibleTo(view));
        // 1000..1990 rpm: 50 records each in the 1000 and 2000 columns; 1000..1590: 50 and 10.
        const struct {
            int ride;
            double at1000, at2000, firstSpanFrom;
        } tables[] = {{0, 50, 50, 0.0}, {1, 50, 10, 2.0}, {2, 0, -40, 0.0}};
        for (const auto& t : tables) {
            rides->setCurrentIndex(t.ride);
            const analysis::CellTable& table = view->table();
            QVERIFY2(table.ok(), table.error.c_str());
            QCOMPARE(table.cell(2, 0).value, t.at1000);
            QCOMPARE(table.cell(2, 1).value, t.at2000);
            if (t.ride < 2) QCOMPARE(table.cell(2, 0).spans.front().from, t.firstSpanFrom);
        }
        auto* map = view->findChild<QTableWidget*>("CellMapDifference");
        QCOMPARE(map->rowCount(), 10);
        QCOMPARE(map->item(2, 3)->text(), QString("+10"));
        QCOMPARE(map->item(2, 3)->toolTip(),
                 QString("+10 (+%1 %)").arg(1000.0 / cal[jetCell(2, 3)], 0, 'f', 1));
        QCOMPARE(map->item(3, 2)->text(), QString("0"));

        // The second ride's file edited since: no map difference, and why.
        richer[jetCell(5, 5)] = static_cast<std::uint8_t>(cal[jetCell(5, 5)] + 1);
        QVERIFY(saveParamFile(window_->path("ride2.ign").toStdString(), richer).ok);
        view->setMinimumCount(2);
        view->table();
        QCOMPARE(map->rowCount(), 0);
        QVERIFY2(
            view->findChild<QLabel*>("CellMapNotes")->text().contains("changed since the ride"),
            qPrintable(view->findChild<QLabel*>("CellMapNotes")->text()));
        v->close();
    }

    // The table against a hand calculation: cell (0 %, 1000 rpm) holds 0.9 x3, 1.0 x3, 1.1 x5;
    // the three records near 3000 rpm fall short of the minimum count; the record without a
    // reading counts nowhere. Chosen axes place them on typed points.
    void cellTableViewShowsTheLogOverTheMapsCells() {
        start();
        LogViewer v(form_->Language);
        v.setTodayAxis(tenAxis());
        QString error;
        QVERIFY(v.setLog(craftedLog(), "crafted", &error));
        CellTableView* view = v.cellTableView();
        QCOMPARE(view->channel(), QString("Lambda"));
        QTableWidget* grid = view->grid();
        using S = analysis::CellStatistic;
        const struct {
            S statistic;
            int minCount;
            QString first, nearThree; // cells (0 %, 1000) and (20 %, 3000)
        } cases[] = {{S::Mean, 5, "1.018", ""},    {S::Median, 5, "1.000", ""},
                     {S::Minimum, 5, "0.900", ""}, {S::Maximum, 3, "1.100", "1.000"},
                     {S::Count, 3, "11", "3"},     {S::Mean, 3, "1.018", "0.950"}};
        for (const auto& c : cases) {
            view->setStatistic(c.statistic);
            view->setMinimumCount(c.minCount);
            view->table();
            QCOMPARE(grid->rowCount(), 10);
            QCOMPARE(grid->horizontalHeaderItem(2)->text(), QString("3000"));
            QCOMPARE(grid->verticalHeaderItem(4)->text(), QString("20 %"));
            QCOMPARE(grid->item(0, 0)->text(), c.first);
            QCOMPARE(grid->item(4, 2)->text(), c.nearThree);
            int filled = 0;
            for (int r = 0; r < 10; ++r)
                for (int k = 0; k < 10; ++k) filled += !grid->item(r, k)->text().isEmpty();
            QCOMPARE(filled, c.nearThree.isEmpty() ? 1 : 2);
            if (!c.nearThree.isEmpty()) // heat colours over the table's range
                QVERIFY(grid->item(0, 0)->background() != grid->item(4, 2)->background());
        }
        QApplication::clipboard()->clear();
        view->findChild<QPushButton*>("CellCopy")->click();
        const QStringList lines = QApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 12);
        QCOMPARE(lines[0],
                 QString("\t1000\t2000\t3000\t4000\t5000\t6000\t7000\t8000\t9000\t10000"));
        QCOMPARE(lines[1], QString("0\t1.018") + QString(9, '\t'));
        QCOMPARE(lines[5], QString("20\t\t\t0.95") + QString(7, '\t'));

        // A filter that keeps the second stay only.
        std::vector<double> later(15, 0.0);
        std::fill(later.begin() + 9, later.end(), 1.0);
        view->setFilter(later);
        QCOMPARE(view->table().cell(0, 0).count, std::size_t{5});
        QCOMPARE(grid->item(0, 0)->text(), QString("1.100"));
        view->setFilter({});

        // A cell's spans, listed and marked in the plots; a double click goes to one.
        view->showCell(0, 0);
        QCOMPARE(view->spanList()->count(), 2);
        QCOMPARE(view->spanList()->item(1)->text(), QString("0.90 s – 1.30 s (0.40 s)"));
        using Spans = std::vector<std::pair<double, double>>;
        QCOMPARE(v.highlightedSpans(), (Spans{{0.0, 0.5}, {0.9, 1.3}}));
        v.resize(1000, 800);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.setTimeRange(0, 1.4);
        v.plot()->replot(QCustomPlot::rpImmediateRefresh);
        const QImage shot = v.plot()->grab().toImage();
        QCPAxisRect* rect = v.plot()->axisRects().front();
        const auto blue = [&](double t) {
            const QColor c = shot.pixelColor(
                static_cast<int>(rect->axis(QCPAxis::atBottom)->coordToPixel(t)), rect->top() + 2);
            return c.blue() - c.red() > 30;
        };
        QVERIFY(blue(0.3) && !blue(0.7) && blue(1.0) && !blue(1.35));
        emit view->spanList()->itemActivated(view->spanList()->item(1));
        QCOMPARE(v.cursorTime(), 0.9);
        QVERIFY(v.rangeFrom() < 0.9 && v.rangeTo() > 1.3);

        // Typed axes; points that are no numbers give a message and no table.
        view->setChosenAxes("RPM", "1000 3000", "TPS", "0,20");
        view->table(); // a hidden tab counts when asked
        QCOMPARE(grid->columnCount(), 2);
        QCOMPARE(grid->item(1, 1)->text(), QString("0.950"));
        QVERIFY(v.highlightedSpans().empty());
        view->setChosenAxes("RPM", "1000, x", "TPS", "0,20");
        QVERIFY(!view->table().ok());
        QCOMPARE(grid->rowCount(), 0);
        QVERIFY(view->tsv().isEmpty());
        QCOMPARE(view->reason(), QString("the points \"1000, x\" are not numbers"));
        view->setChosenAxes("RPM", "3000 1000", "TPS", "0,20");
        QVERIFY(!view->table().ok());
        QCOMPARE(view->reason(), QString("the X points do not rise"));
    }

    // A ride recorded on another speed axis than today's: its records go to the cells of the
    // axis they were recorded with, headed by today's.
    void cellTableUsesTheAxisTheLogWasRecordedWith() {
        start();
        connected();
        QVERIFY(menu_->startRecording());
        for (int i = 0; i < 30; ++i) // 1820-2000 rpm: today's 2000 column
            feed(monitorFrame(i % 3, 1000 + 3 * static_cast<unsigned>(i)), 100);
        menu_->stopRecording();
        const std::string path = menu_->recorder().logPath();
        log::ContextEntry recorded;
        recorded.context.rpms = {500, 1000, 1500, 1900, 2500, 3000, 4000, 5000, 6000, 7000};
        test::writeAll(QString::fromStdString(log::contextPathFor(path)),
                       QByteArray(log::ContextMagic) +
                           QByteArray::fromStdString(log::formatContextEntry(recorded)));
        LogViewer* v = menu_->openLog(QString::fromStdString(path));
        QVERIFY(v != nullptr);
        v->cellTableView()->setChannel("RPM");
        v->cellTableView()->setStatistic(analysis::CellStatistic::Count);
        v->cellTableView()->setMinimumCount(1);
        const analysis::CellTable& t = v->cellTableView()->table();
        QVERIFY2(t.ok(), t.error.c_str());
        QCOMPARE(t.columns[1], 2000.0); // today's heading
        std::vector<std::size_t> perColumn(10);
        for (std::size_t r = 0; r < 10; ++r)
            for (std::size_t c = 0; c < 10; ++c) perColumn[c] += t.cell(r, c).count;
        QCOMPARE(perColumn[3], v->data().records());
        QCOMPARE(t.counted, v->data().records());
        v->close();
    }

    // The scatter plots speed against throttle over the map's grid, marks the selected range's
    // points, follows a filter and channels appended later, and a click moves the cursor.
    void scatterViewFollowsTheViewerAndMovesItsCursor() {
        start();
        LogViewer v(form_->Language);
        v.setTodayAxis(tenAxis());
        QString error;
        QVERIFY(v.setLog(craftedLog(), "crafted", &error));
        ScatterView* view = v.scatterView();
        QCOMPARE(view->xChannel() + view->yChannel() + view->colourChannel(),
                 QString("RPMTPSLambda"));
        QVERIFY(view->gridShown());
        QCOMPARE(view->points().size(), std::size_t{15});
        const auto records = [](const std::vector<analysis::ScatterPoint>& points) {
            std::vector<std::uint32_t> out;
            for (const analysis::ScatterPoint& p : points) out.push_back(p.record);
            return out;
        };
        v.setSelection(0.55, 1.05);
        QCOMPARE(records(view->highlighted()), (std::vector<std::uint32_t>{6, 7, 8, 9, 10}));
        std::vector<double> keep(15, 1.0);
        keep[7] = 0;
        view->setFilter(keep);
        QCOMPARE(records(view->highlighted()), (std::vector<std::uint32_t>{6, 8, 9, 10}));
        QCOMPARE(view->points().size(), std::size_t{14});
        view->setFilter({});
        v.setSelection(0, 0);
        QVERIFY(view->highlighted().empty());

        v.resize(1000, 800);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        for (const std::uint32_t r : {8u, 6u, 7u}) {
            const std::optional<QPoint> at = view->positionOf(r);
            QVERIFY(at.has_value());
            QTest::mouseClick(view->canvas(), Qt::LeftButton, {}, *at + QPoint(1, -1));
            QCOMPARE(v.cursorTime(), v.data().time[r]);
        }

        // A channel appended to the log: the choices stay by name and it can be chosen.
        view->setChannels("RPM", "Lambda", "O2 mV");
        v.cellTableView()->setChannel("O2 mV");
        auto& data = const_cast<log::LogData&>(v.data());
        data.fields.push_back({"Twice", "", 0, 0, 1.0f, 0.0f, 1});
        data.columns.push_back(data.columns[1]);
        view->refreshChannels();
        v.cellTableView()->refreshChannels();
        QCOMPARE(view->xChannel() + view->yChannel() + view->colourChannel(),
                 QString("RPMLambdaO2 mV"));
        QCOMPARE(v.cellTableView()->channel(), QString("O2 mV"));
        view->setChannels("Twice", "TPS", "");
        QCOMPARE(view->xChannel() + view->colourChannel(), QString("Twice"));
        QVERIFY(!view->gridShown());
        v.close();
    }

    // A computed channel plots, shows at the cursor and exports like a recorded one; bad
    // expressions say why in German with their column and change nothing; the filter counts
    // its records and restricts "Analyse map"; both come back in the next viewer.
    void computedChannelsAndTheFilter() {
        start();
        form_->ApplyGerman();
        const QString path = recordRide();
        LogViewer* v = menu_->openLog(path);
        QVERIFY(v != nullptr);
        ComputedDialog* d = v->editComputedChannels();
        const auto define = [&](const QString& name, const QString& text) {
            test::get<QLineEdit>(*d, "ComputedName")->setText(name);
            test::get<QLineEdit>(*d, "ComputedExpression")->setText(text);
            test::get<QLineEdit>(*d, "ComputedUnits")->setText("k");
            test::get<QPushButton>(*d, "ComputedAdd")->click();
        };
        define("krpm", "RPM / 1000");
        QCOMPARE(d->message(), QString());
        v->setChannels({"RPM", "krpm"});
        define("twice", "krpm * 2");
        QCOMPARE(v->channels(), QStringList({"RPM", "krpm"})); // kept by name
        QCOMPARE(v->plot()->axisRectCount(), 2);
        const log::LogData& data = v->data();
        const std::size_t fields = data.fields.size();
        v->setCursorTime(5.0); // record 49
        const double rpm = data.columns[static_cast<std::size_t>(data.fieldIndex("RPM"))][49];
        QCOMPARE(v->cursorText("krpm"), QString::number(rpm / 1000, 'f', 2));
        const QString csv = window_->path("computed.csv");
        QString error;
        QVERIFY(v->exportCsv(csv, &error));
        const QStringList lines = QString::fromUtf8(test::readAll(csv)).split("\r\n");
        const qsizetype column = lines[0].split(',').indexOf("twice (k)");
        QVERIFY(column > 0);
        QCOMPARE(lines[50].split(',')[column], QString::number(rpm / 500, 'f', 2));

        v->setFilterText("RPM < 1900");
        std::size_t kept = 0;
        for (std::size_t r = 0; r < data.records(); ++r)
            kept += data.columns[static_cast<std::size_t>(data.fieldIndex("RPM"))][r] < 1900;
        QVERIFY(kept > 10 && kept < 90);
        const QString keeps = QString("%1 von %2 Datensätzen").arg(kept).arg(data.records());
        QCOMPARE(v->filterMessage(), keeps);
        QCOMPARE(v->scatterView()->points().size(), kept);
        v->cellTableView()->setChannel("twice");
        QCOMPARE(v->cellTableView()->channel(), QString("twice"));
        struct Bad {
            QString text, dialogSays, filterSays;
        };
        const QString tooLong = "Spalte 65537: der Ausdruck ist länger als 65536 Zeichen";
        const QList<Bad> bad = {
            {"krpm + RMP", "Spalte 8: kein Kanal „RMP“", "Spalte 8: kein Kanal „RMP“"},
            {"neu + 1", "Spalte 1: der Kanal „neu“ verweist auf sich selbst",
             "Spalte 1: kein Kanal „neu“"},
            {QString(1 << 20, '1'), tooLong, tooLong}};
        for (const Bad& b : bad) {
            define("neu", b.text);
            QCOMPARE(d->message(), b.dialogSays);
            QCOMPARE(v->data().fields.size(), fields);
            QCOMPARE(v->computedChannels().size(), std::size_t{2});
            QCOMPARE(v->channels(), QStringList({"RPM", "krpm"}));
            QVERIFY(!v->setFilterText(b.text));
            QCOMPARE(v->filterMessage(), b.filterSays);
            QCOMPARE(v->filterText(), QString("RPM < 1900"));
            QVERIFY(v->filter().present());
        }
        QVERIFY(v->setFilterText(" RPM < 1900"));
        QCOMPARE(v->filterMessage(), keeps);

        // The map statistics take the kept records only.
        auto* analyse = v->findChild<QPushButton*>("LogAnalyseMap");
        const auto analysed = [&] { return window_->addOns().map()->window()->message(); };
        analyse->click();
        QVERIFY2(analysed().contains(QString(": %1 Messwerte").arg(kept)), qPrintable(analysed()));
        v->setFilterText("");
        QVERIFY(!v->filter().present());
        QCOMPARE(v->scatterView()->points().size(), data.records());
        analyse->click();
        QVERIFY(analysed().contains(QString(": %1 Messwerte").arg(data.records())));
        v->setFilterText("twice < 3.8");
        // The same ride as a second log: it gets the computed channels and the filter of its
        // own, so the cell table shows both rides over the records each keeps.
        QString message;
        QVERIFY2(v->secondLog()->open(path, {}, &message), qPrintable(message));
        QVERIFY(v->secondLog()->data().fieldIndex("twice") >= 0);
        auto* ride = v->cellTableView()->findChild<QComboBox*>("CellRide");
        std::vector<std::size_t> counted;
        for (const int shown : {0, 1}) {
            ride->setCurrentIndex(shown);
            const analysis::CellTable& table = v->cellTableView()->table();
            QVERIFY2(table.ok(), table.error.c_str());
            counted.push_back(table.counted);
        }
        QVERIFY(counted[0] > 0 && counted[0] <= kept);
        QCOMPARE(counted[1], counted[0]);
        v->close();

        LogViewer* next = menu_->openLog(path);
        QVERIFY(next != nullptr);
        QCOMPARE(next->computedChannels().size(), std::size_t{2});
        QCOMPARE(next->data().fields.size(), fields);
        QCOMPARE(next->filterText(), QString("twice < 3.8"));
        QCOMPARE(next->filterMessage(), keeps);
        next->close();
    }

    void badLogsGiveAMessageAndNoWindow() {
        start();
        const auto write = [&](const char* name, const std::string& bytes) {
            test::writeAll(window_->path(name), QByteArray::fromStdString(bytes));
            return window_->path(name);
        };
        const int before = static_cast<int>(QApplication::topLevelWidgets().size());
        QVERIFY(menu_->openLog(write("junk.mlg", "not a log at all")) == nullptr);
        QVERIFY(window_->messages.last().contains("MLVLG"));
        QVERIFY(menu_->openLog(write("empty.mlg", log::mlgHeader(0, ""))) == nullptr);
        QVERIFY(window_->messages.last().contains("no records"));
        QCOMPARE(static_cast<int>(QApplication::topLevelWidgets().size()), before);
    }
};

QTEST_MAIN(LogUiTest)
#include "log_ui_test.moc"
