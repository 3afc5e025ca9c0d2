// The map workbench on the main window: heat colours and their setting, operations as single
// steps that reach the settings file, refusals that change nothing, and the live point against
// the simulated unit, checked on grabbed pictures.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "analysis/ignition_curve.h"
#include "analysis/map_geometry.h"
#include "analysis/map_stats.h"
#include "analysis/target_file.h"
#include "history/param_names.h"
#include "history/snapshot_store.h"
#include "log/frame_log.h"
#include "log/log_context.h"
#include "log/mlg.h"
#include "tests/analysis/crafted_log.h"
#include "tests/sim/harness.h"
#include "ui/history/edit_menu.h"
#include "ui/history/snapshots_window.h"
#include "ui/log/log_menu.h"
#include "ui/log/log_viewer.h"
#include "ui/main_window/form_hlav.h"
#include "ui/map/curve_window.h"
#include "ui/map/map_window.h"
#include "ui/map/map_workbench.h"
#include "window_fixture.h"

using namespace velmora;
using namespace velmora::ui;

namespace {

const QColor LiveColour(200, 0, 200);

QString tenByTen(int base) {
    QString t;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c)
            t += QString::number(base + 10 * r + c) + (c < 9 ? "\t" : "\n");
    }
    return t;
}

// Ten lines of one target lambda, with `odd` at row r, column c.
QString targetText(double all, int r = -1, int c = -1, const QString& odd = {}) {
    QString t;
    for (int row = 0; row < 10; ++row) {
        for (int col = 0; col < 10; ++col)
            t += (row == r && col == c ? odd : QString::number(all, 'f', 2)) +
                 (col < 9 ? " " : "\n");
    }
    return t;
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

} // namespace

class MapTest : public test::WindowTest {
    Q_OBJECT

private:
    MapWorkbench* wb_ = nullptr;
    EditMenu* edit_ = nullptr;
    int sent_ = 0;

    QString ini() const { return window_->iniPath(); }
    void start(const QString& settings = "[FORM_HLAV]\nLanguage=1\n") {
        window_->writeIni(settings);
        form_ = &window_->start();
        edit_ = window_->addOns().edit();
        wb_ = window_->addOns().map();
        form_->link().onSent = [this](const Frame&) { ++sent_; };
        sent_ = 0;
    }
    // A warm, steady ride at 4,000 rpm recorded through the Log menu; after `switchAt` frames
    // the speed axis doubles and the engine goes to 8,000 rpm, the same column then.
    QString recordRide(LogMenu* menu, std::uint64_t& clock, int frames, int switchAt) {
        Calibration& cal = form_->calibration();
        const auto setAxis = [&](int step) {
            for (int k = 0; k < 10; ++k)
                cal[static_cast<Param>(RPM_JET_0 + k)] = static_cast<std::uint8_t>(step * (k + 1));
        };
        setAxis(10);
        menu->clockMs = [&clock] { return clock; };
        menu->logsFolder = window_->path("rides");
        if (!menu->startRecording()) return {};
        for (int i = 0; i < frames; ++i) {
            if (i == switchAt) setAxis(20);
            std::uint8_t data[20] = {};
            const unsigned period = 2000000u / (i < switchAt ? 4000u : 8000u);
            data[0] = static_cast<std::uint8_t>(period >> 8);
            data[1] = static_cast<std::uint8_t>(period & 0xFF);
            data[4] = static_cast<std::uint8_t>(i % 2 ? 0x04 : 0x0A); // lambda now lean, now rich
            data[9] = 100;                                            // injection 3 ms
            data[10] = 10;                                            // throttle 10 %
            data[12] = 185;                                           // water 85 °C
            data[13] = 130;                                           // air 30 °C
            clock += 55;
            form_->link().monitorFrame(makeFrame(static_cast<std::uint8_t>(0xB0 + i % 3), data));
            menu->poll();
        }
        menu->stopRecording();
        setAxis(5); // today's axis: 4,000 rpm is column 7, 8,000 beyond the last
        return QString::fromStdString(menu->recorder().logPath());
    }
    static double columnSamples(const analysis::MapStatistics& st, int col) {
        double n = 0;
        for (int r = 0; r < analysis::MapSize; ++r) n += st.cell(r, col).samples;
        return n;
    }
    void stop() {
        if (form_) form_->close();
        window_->stop();
        form_ = nullptr;
    }
    QLineEdit* cell(int r, int c) const {
        return form_->findChild<QLineEdit*>(QString("Edit%1").arg(50 + 10 * r + c));
    }
    // The name the Edit menu gives the step it would undo next.
    QString undoName() const {
        const Step* step = edit_->keeper().history().nextUndo();
        return step ? QString::fromStdString(stepText(*step, form_->Language)) : QString();
    }
    QByteArray settingsFile() const { return test::readAll(ini()); }

private slots:
    void cleanup() {
        stop();
        WindowTest::cleanup();
    }

    void heatColoursFollowValuesAndTheSettingPersists() {
        start();
        const auto base = [&](int r, int c) { return cell(r, c)->palette().color(QPalette::Base); };
        const analysis::Rgb at100 = analysis::heatColour(100);
        QCOMPARE(base(0, 0), QColor(at100.r, at100.g, at100.b));
        form_->calibration()[jetCell(3, 4)] = 140;
        form_->showParams();
        const analysis::Rgb at140 = analysis::heatColour(140);
        QCOMPARE(base(3, 4), QColor(at140.r, at140.g, at140.b));
        const QColor plain =
            form_->findChild<QLineEdit*>("EditRpmJet1")->palette().color(QPalette::Base);
        wb_->heatAction()->trigger(); // off
        QVERIFY(!wb_->heatColours());
        QCOMPARE(base(3, 4), plain);
        QVERIFY(settingsFile().contains("HeatColours=0"));
        stop();
        start(QString::fromUtf8(settingsFile()));
        QVERIFY(!wb_->heatColours());
        QCOMPARE(base(0, 0), plain);
        QVERIFY(!wb_->heatAction()->isChecked());
        // The menu speaks the window's language.
        QCOMPARE(wb_->viewMenu()->title(), QString("&View"));
        form_->findChild<QAction*>("MenuGerman")->trigger();
        QCOMPARE(wb_->viewMenu()->title(), QString("A&nsicht"));
        QCOMPARE(wb_->mapAction()->shortcut(), QKeySequence(Qt::Key_F6));
    }

    // A 10 x 10 paste is one operation: one after-change step (one programming with
    // "Programming after change" on), the page shows it, and Exit keeps it in the settings.
    void pasteIsOneOperationAndReachesTheSettingsFile() {
        start();
        form_->findChild<QCheckBox*>("CheckBoxProgHned")->setChecked(true);
        MapWindow* w = wb_->openWindow();
        w->select({0, 0, 0, 0});
        w->pasteText(tenByTen(20));
        QCOMPARE(sent_, 1);
        QCOMPARE(undoName(), QString("Paste 10 × 10 cells"));
        for (int r = 0; r < 10; ++r) {
            for (int c = 0; c < 10; ++c) {
                QCOMPARE(int(form_->calibration()[jetCell(r, c)]), 20 + 10 * r + c);
                QCOMPARE(cell(r, c)->text(), QString::number(20 + 10 * r + c));
                QCOMPARE(w->table()->item(r + 1, c)->text(), QString::number(20 + 10 * r + c));
            }
        }
        // One undo takes the whole paste back.
        edit_->undo();
        QApplication::processEvents(); // the window follows the page on the next turn
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 10; ++c) QCOMPARE(int(form_->calibration()[jetCell(r, c)]), 100);
        QCOMPARE(w->table()->item(10, 9)->text(), QString("100"));
        edit_->redo();
        QCOMPARE(int(form_->calibration()[jetCell(9, 9)]), 119);
        form_->close();
        const QByteArray saved = settingsFile();
        QVERIFY(saved.contains("JET0_0=20"));
        QVERIFY(saved.contains("JET4_7=67"));
        QVERIFY(saved.contains("JET9_9=119"));
    }

    // Statistics from a log file written by the data log: 11 records at 2250 rpm and 5 %
    // throttle; the same hand calculation as the core's. A file that is no log says so.
    void loadLogShowsItsStatistics() {
        start();
        MapWindow* w = wb_->openWindow();
        const std::string bytes = testlog::craftedLog();
        const QString logPath = window_->path("ride.mlg");
        test::writeAll(logPath, QByteArray::fromStdString(bytes));
        const QString bad = window_->path("notes.mlg");
        test::writeAll(bad, "not a log\n");

        w->askLogPath = [&] { return bad; };
        w->loadLog();
        QVERIFY(w->message().contains("cannot be read"));
        QCOMPARE(w->shownStatistics().samplesSeen(), wb_->liveStatistics().samplesSeen());

        QVERIFY(w->loadLogFile(logPath));
        QVERIFY(w->message().contains("11"));
        QCOMPARE(w->shownStatistics().samplesCounted(), 5u);
        w->setOverlay(MapWindow::Overlay::Lambda);
        QCOMPARE(w->table()->item(3, 1)->text(), QString("450")); // row 2 (5 %), column 1
        w->setOverlay(MapWindow::Overlay::Balance);
        QCOMPARE(w->table()->item(3, 2)->text(), QString("0"));
        QVERIFY(w->table()->item(4, 1)->text().isEmpty());
        w->resetStatistics();
        QCOMPARE(w->shownStatistics().samplesCounted(), 0u);
    }

    void badInputChangesNothingAndSaysWhy() {
        start();
        form_->findChild<QCheckBox*>("CheckBoxProgHned")->setChecked(true);
        MapWindow* w = wb_->openWindow();
        w->select({0, 0, 9, 9});
        const Calibration before = form_->calibration();
        const QString texts[] = {"100\tabc\n",      "100\t-3\n",           "100\t300\n",
                                 "100\t100\n100\n", QString(1 << 20, '7'), ""};
        for (const QString& t : texts) {
            w->pasteText(t);
            QVERIFY2(!w->message().isEmpty(), qPrintable(t.left(20)));
            QVERIFY(form_->calibration() == before);
        }
        QVERIFY(w->message().contains("Nothing was changed"));
        // A speed point that would not rise, typed into the axis row.
        w->table()->item(0, 3)->setText("1500");
        QVERIFY(w->message().contains("1500"));
        QVERIFY(form_->calibration() == before);
        QCOMPARE(w->table()->item(0, 3)->text(), QString("4000"));
        // Interpolating a single column across is refused too.
        w->select({0, 2, 9, 2});
        w->interpolate(analysis::Interpolation::Horizontal);
        QVERIFY(form_->calibration() == before);
        QCOMPARE(sent_, 0);
        // A good speed point goes into RPM_JET_3.
        w->table()->item(0, 3)->setText("5000");
        QCOMPARE(int(form_->calibration()[at(RPM_JET_0, 3)]), 50);
        QCOMPARE(w->table()->item(0, 3)->text(), QString("5000"));
    }

    // A decimal never reaches the map, typed or pasted: it is refused by name, as is a speed
    // point that is not whole hundreds.
    void decimalsNeverReachTheMap() {
        start();
        MapWindow* w = wb_->openWindow();
        const Calibration before = form_->calibration();
        w->select({2, 3, 2, 3});
        for (const QString typed : {"10.5", "10,5", "1.05", "100.0", "99,6"}) {
            w->table()->item(3, 3)->setText(typed);
            QVERIFY2(form_->calibration() == before, qPrintable(typed));
            QVERIFY2(w->message().contains(typed), qPrintable(w->message()));
            QCOMPARE(w->table()->item(3, 3)->text(), QString::number(before[jetCell(2, 3)]));
            w->pasteText("100\t" + typed + "\n");
            QVERIFY2(form_->calibration() == before, qPrintable(typed));
            QVERIFY2(w->message().contains(typed), qPrintable(w->message()));
        }
        w->table()->item(0, 3)->setText("4050");
        QVERIFY(form_->calibration() == before);
        QVERIFY(w->message().contains("4050"));
        w->table()->item(3, 3)->setText(" 120 ");
        QCOMPARE(int(form_->calibration()[jetCell(2, 3)]), 120);
    }

    // The helper applies what its preview shows (+5 % on 50 is 52, previewed as +4.0 %), and
    // statistics once applied move no cell again until new samples arrive.
    void suggestionsApplyAsPreviewedAndOnce() {
        start();
        MapWindow* w = wb_->openWindow();
        w->select({3, 1, 3, 1});
        w->table()->item(4, 1)->setText("50");
        QCOMPARE(int(form_->calibration()[jetCell(3, 1)]), 50);
        analysis::MapStatistics& live = wb_->liveStatistics();
        const auto rpms = analysis::rpmAxis(form_->calibration());
        int i = 0;
        const auto ride = [&](int n) {
            for (int k = 0; k < n; ++k, ++i) {
                analysis::EngineSample s;
                s.timeMs = static_cast<std::uint64_t>(i) * 125;
                s.rpm = rpms[1];
                s.throttle = 10;  // row 3
                s.lambdaMv = 200; // lean
                s.waterC = 80;
                s.injectionUs = 3000;
                live.add(s, rpms);
            }
        };
        ride(80);
        w->setOverlay(MapWindow::Overlay::Suggestions);
        QCOMPARE(w->table()->item(4, 1)->text(), QString("+4.0 > 52"));
        auto* apply = w->findChild<QPushButton*>("MapApplySuggestions");
        QVERIFY(apply->isEnabled());
        w->applySuggestions();
        QCOMPARE(int(form_->calibration()[jetCell(3, 1)]), 52);
        QCOMPARE(undoName(), QString("Apply suggestions (1 cells)"));
        QVERIFY(!apply->isEnabled());
        QVERIFY(w->table()->item(4, 1)->text().isEmpty());
        w->applySuggestions();
        QCOMPARE(int(form_->calibration()[jetCell(3, 1)]), 52);
        QVERIFY(w->message().contains("applied already"));
        ride(60); // a new ride over the changed cell
        w->refresh();
        QVERIFY(apply->isEnabled());
        w->applySuggestions();
        QCOMPARE(int(form_->calibration()[jetCell(3, 1)]), 54);
    }

    // Steady riding halfway between columns 1 and 2 of row 3 with the wide-band controller
    // reading 3 % lean of a target of 1.00: the locked cell stays, so the unlocked one takes the
    // blend's whole correction (+6 %), held to the bound of a pass (+5 %), as one step that one
    // undo takes back whole.
    void widebandCorrectionPreviewsAndAppliesAsOneStep() {
        start();
        MapWindow* w = wb_->openWindow();
        w->setOverlay(MapWindow::Overlay::TargetLambda);
        w->pasteText(targetText(1.0));
        w->select({3, 2, 3, 2});
        w->toggleLock();
        const auto rpms = analysis::rpmAxis(form_->calibration());
        int i = 0;
        const auto ride = [&](int n, bool wideband) {
            for (int k = 0; k < n; ++k, ++i) {
                EngineSample s;
                s.timeMs = static_cast<std::uint64_t>(i) * 50;
                s.kindsSeen = 7;
                s.rpm = (rpms[1] + rpms[2]) / 2;
                s.throttle = 10; // row 3
                s.injectionUs = 3000;
                s.waterC = 80;
                s.widebandConnected = wideband;
                if (wideband) {
                    s.widebandState = WidebandState::Ok;
                    s.widebandLambda = 1.03;
                    s.widebandAgeMs = 0;
                }
                form_->link().samples().publish(s);
            }
        };
        auto* apply = w->findChild<QPushButton*>("MapApplyWideband");
        ride(100, false); // the narrow-band probe alone: nothing for the correction
        QCOMPARE(wb_->widebandCorrection().samplesSeen(), std::size_t{0});
        QVERIFY(!wb_->sessionBegun());
        w->refresh();
        QVERIFY(!apply->isEnabled());
        const analysis::MapGrid before = wb_->currentGrid();
        ride(200, true);
        QVERIFY(wb_->sessionBegun());
        w->setOverlay(MapWindow::Overlay::Wideband);
        const int present = before.at(3, 1);
        const int expected = static_cast<int>(std::lround(present * 1.05));
        QCOMPARE(w->table()->item(4, 1)->text(), QString("%1 +5.0").arg(expected));
        QVERIFY(w->table()->item(4, 1)->toolTip().contains("median lambda 1.030"));
        QCOMPARE(w->table()->item(4, 2)->text(), QString("locked"));
        QVERIFY(get<QLabel>("MapWidebandSummary")->text().startsWith("Wide-band readings: 200"));
        QVERIFY(get<QLabel>("MapWidebandDelay")->text().startsWith("Delay: "));
        QVERIFY(apply->isEnabled());
        apply->click();
        analysis::MapGrid after = wb_->currentGrid();
        QCOMPARE(int(after.at(3, 1)), expected);
        after.at(3, 1) = before.at(3, 1);
        QVERIFY(after.cells == before.cells); // nothing else moved, the locked cell least of all
        QCOMPARE(undoName(), QString("Wide-band correction (1 cells)"));
        QVERIFY(!apply->isEnabled());
        w->applyWideband(); // the same readings never move a cell twice
        QCOMPARE(int(form_->calibration()[jetCell(3, 1)]), expected);
        QVERIFY(w->message().contains("applied already"));
        edit_->undo();
        QVERIFY(wb_->currentGrid().cells == before.cells);
    }

    // Analyse map on a logged ride with a controller: the log's readings suggest as live ones
    // would, and once applied, analysing the same log again suggests nothing.
    void aLoggedRideIsCorrectedFromItsReadingsOnce() {
        start();
        MapWindow* w = wb_->openWindow();
        w->setOverlay(MapWindow::Overlay::TargetLambda);
        w->pasteText(targetText(1.0));
        const auto rpms = analysis::rpmAxis(form_->calibration());
        std::string bytes = log::mlgHeader(0, "wide-band ride");
        for (int i = 0; i < 200; ++i) {
            log::Record r{};
            r[log::Time] = 50 * i;
            r[log::Rpm] = rpms[1]; // column 1 alone
            r[log::Tps] = 10;      // row 3
            r[log::Lambda] = 450;
            r[log::InjectionTime] = 3000;
            r[log::Clt] = 80;
            r[log::WbLambda] = 0.97; // 3 % rich
            r[log::WbStatus] = 1;
            r[log::WbAge] = 0;
            log::appendRecordBlock(bytes, static_cast<std::uint8_t>(i), r);
        }
        const QString path = window_->path("wide.mlg");
        test::writeAll(path, QByteArray::fromStdString(bytes));
        QVERIFY(w->loadLogFile(path));
        QCOMPARE(wb_->widebandCorrection().samplesSeen(), std::size_t{0}); // live stays apart
        w->setOverlay(MapWindow::Overlay::Wideband);
        const int expected =
            static_cast<int>(std::lround(form_->calibration()[jetCell(3, 1)] * 0.97));
        QCOMPARE(w->table()->item(4, 1)->text(), QString("%1 -3.0").arg(expected));
        QVERIFY(w->table()->item(4, 2)->text().isEmpty());
        w->applyWideband();
        QCOMPARE(int(form_->calibration()[jetCell(3, 1)]), expected);
        QVERIFY(w->loadLogFile(path));
        w->applyWideband();
        QVERIFY(w->message().contains("applied already"));
        QCOMPARE(int(form_->calibration()[jetCell(3, 1)]), expected);
    }

    // Targets with a zero, a value above 1.3, too few lines or a word are refused naming the
    // place, and change nothing; good ones live beside the calibration file and in snapshots.
    void targetsAreCheckedAndTravelWithTheCalibration() {
        start();
        MapWindow* w = wb_->openWindow();
        w->setOverlay(MapWindow::Overlay::TargetLambda);
        const analysis::TargetSide defaults = wb_->targetSide();
        QCOMPARE(w->table()->item(1, 0)->text(), QString("1.00"));
        const std::pair<QString, QString> refused[] = {
            {targetText(0.95, 1, 2, "0"), "row 2, column 3: 0 is not between 0.6 and 1.3"},
            {targetText(0.95, 9, 9, "1,4"), "row 10, column 10: 1,4 is not between"},
            {targetText(0.95).section('\n', 0, 8), "10 lines of 10 numbers"},
            {targetText(0.95, 4, 0, "rich"), "row 5, column 1: the value is not a number"},
        };
        for (const auto& [text, message] : refused) {
            w->pasteText(text);
            QVERIFY2(w->message().contains(message), qPrintable(w->message()));
            QVERIFY(wb_->targetSide() == defaults);
        }
        w->table()->item(5, 4)->setText("1.4");
        QVERIFY(w->message().contains("row 5, column 5: 1.4 is not between"));
        QVERIFY(wb_->targetSide() == defaults);

        w->pasteText(targetText(0.9, 0, 0, "1.10"));
        w->table()->item(2, 3)->setText("0,85");
        w->select({9, 9, 9, 9});
        w->toggleLock();
        const analysis::TargetSide kept = wb_->targetSide();
        QCOMPARE(kept.targets[0][0], 1.10);
        QCOMPARE(kept.targets[1][3], 0.85);
        QCOMPARE(kept.targets[2][2], 0.90);
        QVERIFY(kept.locks[9][9] && !kept.locks[9][8]);
        const QString ign = window_->path("bike.ign");
        QVERIFY(form_->saveParameters(ign));
        QVERIFY(!test::readAll(ign).contains("0.85"));
        QVERIFY(analysis::parseTargetSide(test::readAll(ign + ".targets").toStdString()) == kept);

        // A snapshot keeps them; one from before snapshots kept targets leaves them as they are.
        QVERIFY(edit_->keeper().snapshot(SnapshotKind::Read, form_->calibration()).ok);
        w->pasteText(targetText(1.2));
        SnapshotsWindow* snapshots = edit_->snapshotsWindow();
        snapshots->reload();
        snapshots->select(0);
        QVERIFY(snapshots->openSelected());
        QVERIFY(wb_->targetSide() == kept);
        const auto entries = edit_->keeper().snapshots().list();
        QVERIFY(QFile::remove(QString::fromStdString(entries.front().sidePath())));
        w->pasteText(targetText(1.2));
        const analysis::TargetSide later = wb_->targetSide();
        QVERIFY(snapshots->openSelected());
        QVERIFY(wb_->targetSide() == later);
        w->pasteText(targetText(0.9, 0, 0, "1.10"));
        w->table()->item(2, 3)->setText("0,85");

        // Another run starts on the last file's targets; a file without targets beside it has
        // the defaults, and opening the first one again finds its targets.
        stop();
        start();
        QVERIFY(wb_->targetSide() == kept);
        QVERIFY(QFile::copy(ign, window_->path("plain.ign")));
        QVERIFY(form_->openParameters(window_->path("plain.ign")));
        QVERIFY(wb_->targetSide() == defaults);
        QVERIFY(form_->openParameters(ign));
        QVERIFY(wb_->targetSide() == kept);
    }

    void keysAndTypingWorkOnTheSelection() {
        start();
        MapWindow* w = wb_->openWindow();
        w->askNumber = [](const QString&, double) { return std::optional<double>(110); };
        w->select({2, 3, 4, 5});
        // Each operation is one step, named by what it did to how many cells.
        QTest::keyClick(w->table(), Qt::Key_Plus);
        QCOMPARE(int(form_->calibration()[jetCell(2, 3)]), 101);
        QCOMPARE(int(form_->calibration()[jetCell(5, 5)]), 100);
        QCOMPARE(undoName(), QString("Add +1 (9 cells)"));
        QTest::keyClick(w->table(), Qt::Key_Asterisk);
        QCOMPARE(int(form_->calibration()[jetCell(4, 5)]), 111); // 101 x 1.1
        QCOMPARE(undoName(), QString("Times 110 % (9 cells)"));
        QTest::keyClick(w->table(), Qt::Key_Minus);
        QCOMPARE(int(form_->calibration()[jetCell(4, 5)]), 110);
        QCOMPARE(undoName(), QString("Add -1 (9 cells)"));
        // A value typed into a selected cell fills the whole selection.
        w->table()->item(3, 4)->setText("77");
        for (int r = 2; r <= 4; ++r)
            for (int c = 3; c <= 5; ++c) QCOMPARE(int(form_->calibration()[jetCell(r, c)]), 77);
        QCOMPARE(undoName(), QString("Set 77 (9 cells)"));
        // One cell, or one point of the speed axis, is named as the parameter.
        w->select({2, 3, 2, 3});
        w->table()->item(3, 3)->setText("61");
        QCOMPARE(undoName(),
                 QString::fromStdString(shortName(jetCell(2, 3), form_->calibration(), 1)));
        w->select({2, 3, 4, 3});
        w->interpolate(analysis::Interpolation::Vertical);
        QVERIFY(form_->calibration()[jetCell(3, 3)] != 77);
        QCOMPARE(undoName(), QString("Interpolate down (3 cells)"));
        form_->ApplyGerman();
        w->select({2, 3, 4, 5});
        w->smooth();
        QCOMPARE(undoName(), QString("Glätten (9 Zellen)"));
        form_->ApplyEnglish();
        w->table()->item(0, 4)->setText("5,100");
        QCOMPARE(int(form_->calibration()[at(RPM_JET_0, 4)]), 51);
        QCOMPARE(undoName(),
                 QString::fromStdString(shortName(at(RPM_JET_0, 4), form_->calibration(), 1)));
        // An edit on the page shows in the window.
        cell(7, 7)->setText("133");
        form_->Edit1Exit();
        QApplication::processEvents();
        QCOMPARE(w->table()->item(8, 7)->text(), QString("133"));
    }

    // One decode, then subscribers: the recorder, the map's statistics and a third listener,
    // attached in every order, each get every sample once; replayed samples move the live
    // point but are neither recorded nor counted.
    void everySampleReachesEachSubscriberOnceInAnyOrder() {
        start();
        std::uint8_t data[20] = {0x03, 0xE8}; // 2000 rpm
        const auto frameOf = [&](int kind) {
            return makeFrame(static_cast<std::uint8_t>(0xB0 + kind), data);
        };
        std::unique_ptr<MapWorkbench> own; // beside the program's own workbench
        std::vector<Frame> fed;
        for (int i = 0; i < 6; ++i) fed.push_back(frameOf(i % 3));
        std::array<int, 3> order{0, 1, 2}; // recorder, map, third
        int orders = 0;
        do {
            // Every kind once, so that each sample fed is complete (a replay forgets them).
            for (int kind = 0; kind < 3; ++kind) QVERIFY(form_->link().monitorFrame(frameOf(kind)));
            std::unique_ptr<LogMenu> menu;
            std::vector<Frame> third;
            Subscription sub;
            for (const int who : order) {
                if (who == 0) {
                    menu = std::make_unique<LogMenu>(*form_);
                    menu->logsFolder = window_->path(QString("logs%1").arg(orders));
                    QVERIFY(menu->startRecording());
                } else if (who == 1) {
                    own = std::make_unique<MapWorkbench>(*form_);
                } else {
                    sub = form_->link().samples().subscribe(
                        [&](const EngineSample& s) { third.push_back(s.frame); });
                }
            }
            for (const Frame& f : fed) QVERIFY(form_->link().monitorFrame(f));
            form_->link().startReplay();
            QVERIFY(form_->link().replayFrame(frameOf(2)));
            form_->link().endReplay();
            menu->stopRecording();
            const log::FrameLogResult logged =
                log::readFrameLogFile(menu->recorder().frameLogPath());
            std::vector<Frame> recorded;
            for (const log::TimedFrame& t : logged.frames) recorded.push_back(t.frame);
            QCOMPARE(recorded, fed);
            QCOMPARE(own->liveStatistics().samplesSeen(), std::uint64_t{fed.size()});
            QCOMPARE(third.size(), fed.size() + 1);
            third.pop_back(); // the replayed one
            QCOMPARE(third, fed);
            const std::size_t listeners = form_->link().samples().listeners();
            menu.reset();
            own.reset();
            sub.reset();
            // The program's own add-ons stay subscribed; the three that went took theirs along.
            QCOMPARE(form_->link().samples().listeners(), listeners - 3);
            ++orders;
        } while (std::next_permutation(order.begin(), order.end()));
        QCOMPARE(orders, 6);
        own = std::make_unique<MapWorkbench>(*form_);
        form_->link().startReplay();
        for (int kind = 0; kind < 3; ++kind) QVERIFY(form_->link().replayFrame(frameOf(kind)));
        form_->link().endReplay();
        QVERIFY(own->livePoint().has_value());
        QCOMPARE(own->livePoint()->nearestCol, 1); // 2000 rpm
        QCOMPARE(own->liveStatistics().samplesSeen(), 0u);
    }

    // A recorded ride, replayed, moves the window's cross-hair through the same points and the
    // page's frame through the same cells as the ride did.
    void replayMovesTheCrossHairLikeTheRide() {
        start();
        MapWindow* w = wb_->openWindow();
        LogMenu* menu = window_->addOns().log();
        std::uint64_t clock = 1000;
        menu->clockMs = [&] { return clock; };
        menu->logsFolder = window_->path("ride");
        using Point = std::pair<std::optional<QPointF>, std::pair<int, int>>;
        std::vector<Point> ride, replay;
        std::vector<Point>* into = &ride;
        const Subscription sub = form_->link().samples().subscribe([&](const EngineSample& s) {
            if (!s.replayed && !s.complete()) return; // not recorded
            const auto& p = wb_->livePoint();
            into->emplace_back(w->table()->livePoint(),
                               p ? std::pair(p->nearestRow, p->nearestCol) : std::pair(-1, -1));
        });
        QVERIFY(menu->startRecording());
        for (int i = 0; i < 90; ++i) {
            std::uint8_t data[20] = {};
            // Speed sweeps 1,500 to 12,000 rpm; the throttle comes with kind 2.
            const unsigned period = 2000000u / static_cast<unsigned>(1500 + 120 * i);
            data[0] = static_cast<std::uint8_t>(period >> 8);
            data[1] = static_cast<std::uint8_t>(period & 0xFF);
            data[10] = static_cast<std::uint8_t>((i * 7) % 101);
            clock += 55;
            QVERIFY(form_->link().monitorFrame(
                makeFrame(static_cast<std::uint8_t>(0xB0 + i % 3), data)));
        }
        menu->stopRecording();
        QCOMPARE(ride.size(), std::size_t{88});
        into = &replay;
        QVERIFY(menu->startReplay(QString::fromStdString(menu->recorder().logPath())));
        for (int i = 0; i < 200 && !menu->replayClock()->finished(); ++i) {
            clock += 55;
            menu->poll();
        }
        QCOMPARE(replay.size(), ride.size());
        QVERIFY(replay == ride);
        QVERIFY(w->table()->trailLength() > 0);
    }

    // A log keeps the speed axis of each moment: after the axis changed, its samples still
    // land in the cells of their recorded speeds. A log without it goes by today's axis and
    // the window says so.
    void aLogIsAnalysedOnTheAxisItWasRecordedWith() {
        start();
        LogMenu* menu = window_->addOns().log();
        std::uint64_t clock = 1000;
        const QString path = recordRide(menu, clock, 240, 120);
        QVERIFY(!path.isEmpty());
        MapWindow* w = wb_->openWindow();
        QVERIFY(w->loadLogFile(path));
        const analysis::MapStatistics& st = w->shownStatistics();
        QVERIFY(st.samplesCounted() > 150);
        QCOMPARE(columnSamples(st, 3), double(st.samplesCounted()));
        QVERIFY(w->message().contains("another speed axis"));
        QVERIFY(QFile::remove(QString::fromStdString(log::contextPathFor(path.toStdString()))));
        QVERIFY(w->loadLogFile(path));
        QVERIFY(w->message().contains("today's axis is used"));
        QVERIFY(columnSamples(w->shownStatistics(), 7) > 0);
        QVERIFY(columnSamples(w->shownStatistics(), 9) > 0);
        QCOMPARE(columnSamples(w->shownStatistics(), 3), 0.0);
    }

    // "Analyse map" in the log viewer over a selection gives the statistics of the log cut
    // to that stretch, and the window names the log and the stretch.
    void analyseMapOnASelectionEqualsTheLogCutToIt() {
        start();
        LogMenu* menu = window_->addOns().log();
        std::uint64_t clock = 1000;
        const QString path = recordRide(menu, clock, 240, 120);
        LogViewer* viewer = menu->openLog(path);
        QVERIFY(viewer != nullptr);
        const log::LogData& data = viewer->data();
        const double from = data.time[30], to = data.time[200];
        viewer->setSelection(from, to);
        viewer->findChild<QPushButton*>("LogAnalyseMap")->click();
        QVERIFY(wb_->window() != nullptr && wb_->window()->isVisible());
        const analysis::CellGrid fromRange = wb_->window()->shownStatistics().cells();
        QVERIFY(wb_->window()->message().contains(QString("%1 s").arg(from, 0, 'f', 1)));
        // The same stretch as a file of its own: the header, then the records within.
        const QByteArray bytes = test::readAll(path);
        const auto block = static_cast<qsizetype>(log::MlgBlockHeaderSize + log::recordSize() + 1);
        const qsizetype header = bytes.size() - static_cast<qsizetype>(data.records()) * block;
        QByteArray cut = bytes.left(header);
        for (std::size_t i = 0; i < data.records(); ++i)
            if (data.time[i] >= from && data.time[i] <= to)
                cut += bytes.mid(header + static_cast<qsizetype>(i) * block, block);
        const QString cutPath = window_->path("cut.mlg");
        test::writeAll(cutPath, cut);
        QVERIFY(QFile::copy(QString::fromStdString(log::contextPathFor(path.toStdString())),
                            window_->path("cut.context")));
        QVERIFY(wb_->window()->loadLogFile(cutPath));
        const analysis::MapStatistics& cutStats = wb_->window()->shownStatistics();
        QVERIFY(cutStats.samplesCounted() > 50);
        for (int r = 0; r < analysis::MapSize; ++r) {
            for (int c = 0; c < analysis::MapSize; ++c) {
                const auto& a = fromRange[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
                const auto& b = cutStats.cell(r, c);
                QCOMPARE(a.samples, b.samples);
                QCOMPARE(a.meanLambda(), b.meanLambda());
                QCOMPARE(a.seconds, b.seconds);
            }
        }
        delete viewer;
    }

    // The simulated engine held at 4000 rpm and 20 % throttle: the cell of row 4 (20 %) and
    // column 3 (4000 rpm) is framed on the page and under the cross-hair in the window.
    void livePointAgainstTheSimulatedUnit() {
        simtest::SimProcess sim({"--hold-rpm", "4000", "--hold-throttle", "20", "--water", "90"});
        QVERIFY(sim.started());
        start(QString("[FORM_HLAV]\nLanguage=1\nComPort=1\nActivePage=2\n[PORTS]\nCOM1=%1\n")
                  .arg(QString::fromStdString(sim.linkPath())));
        form_->show();
        MapWindow* w = wb_->openWindow();
        // The throttle comes with every third frame; wait for it, then for one more frame.
        QVERIFY(QTest::qWaitFor([&] { return form_->link().monitor().values().TpsPercent != 0; },
                                5000));
        QTest::qWait(250);
        QVERIFY(wb_->livePoint() && w->table()->livePoint());
        QCOMPARE(wb_->livePoint()->nearestRow, 4);
        QCOMPARE(wb_->livePoint()->nearestCol, 3);
        QApplication::processEvents();

        // The page: the frame's left edge, halfway down Edit93, in the live colour; none at
        // the neighbouring cells.
        QWidget* group = cell(0, 0)->parentWidget();
        const QImage page = group->grab().toImage();
        const QLineEdit* e = cell(4, 3);
        QVERIFY(near(page.pixelColor(e->x() - 2, e->y() + e->height() / 2), LiveColour));
        QVERIFY(!near(page.pixelColor(cell(4, 2)->x() - 2, e->y() + e->height() / 2), LiveColour));
        QVERIFY(!near(page.pixelColor(e->x() - 2, cell(3, 3)->y() + e->height() / 2), LiveColour));

        // The window: the vertical line through column 3 and the horizontal one through row 4.
        MapTable* t = w->table();
        const QImage shot = t->viewport()->grab().toImage();
        const QPointF centre = t->pixelOf(4, 3);
        const int farRow = static_cast<int>(t->pixelOf(0, 0).y()) + 6; // inside map row 0
        const int farCol = static_cast<int>(t->pixelOf(0, 8).x()) + 8;
        int lineX = -1, lineY = -1;
        for (int x = 0; x < shot.width() && lineX < 0; ++x)
            if (near(shot.pixelColor(x, farRow), LiveColour)) lineX = x;
        for (int y = 0; y < shot.height() && lineY < 0; ++y)
            if (near(shot.pixelColor(farCol, y), LiveColour)) lineY = y;
        QVERIFY(std::abs(lineX - centre.x()) <= 2);
        QVERIFY(std::abs(lineY - centre.y()) <= 2);
        // The curve window: the dot at the held speed, on the calibration's own axes.
        CurvePlot* plot = wb_->openCurveWindow()->plot();
        QVERIFY(QTest::qWaitFor([&] { return plot->livePixel().has_value(); }, 5000));
        const auto curve = analysis::ignitionCurve(form_->calibration());
        const QPointF first = plot->pointPixel(0), last = plot->pointPixel(9);
        const double expected = first.x() + (4000 - curve[0].rpm) * (last.x() - first.x()) /
                                                (curve[9].rpm - curve[0].rpm);
        QVERIFY(std::abs(plot->livePixel()->x() - expected) <= 2);
        QVERIFY(form_->findChild<QLabel*>("Image1")->findChildren<QWidget*>().isEmpty());
        if (qEnvironmentVariableIsSet("VELMORA_MAP_SHOTS")) {
            const QString out = qEnvironmentVariable("VELMORA_MAP_SHOTS");
            w->grab().save(out + "/map-window-held.png");
            form_->grab().save(out + "/fuel-map-page-held.png");
        }
        form_->close();
        sim.stop();
    }
};

QTEST_MAIN(MapTest)
#include "map_test.moc"
