// The Edit menu through the real window: every kind of step undone and redone, crash recovery
// at start-up, the snapshot window, and against the simulated unit: Read, Undo, the read's
// snapshot and a verify that names the cell that differs.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <sys/stat.h>

#include "files/param_file.h"
#include "files/settings.h"
#include "harness.h"
#include "history/difference.h"
#include "history/param_names.h"
#include "history/recovery.h"
#include "model/clamp.h"
#include "model/defaults.h"
#include "model/pairs.h"
#include "test_dir.h"
#include "ui/addons.h"
#include "ui/history/compare_window.h"
#include "ui/history/edit_menu.h"
#include "ui/history/snapshots_window.h"
#include "ui/main_window/arrows.h"
#include "ui/main_window/form_hlav.h"
#include "ui/map/map_window.h"
#include "ui/map/map_workbench.h"
#include "window_fixture.h"

using namespace velmora;
using namespace velmora::ui;

class HistoryWindowTest : public test::WindowTest {
    Q_OBJECT

private:
    EditMenu* edit_ = nullptr;

    QString path(const QString& name) const { return window_->path(name); }
    void writeIni(const QString& text) { window_->writeIni(text); }
    TFormHlav& start() {
        form_ = &window_->start();
        edit_ = window_->addOns().edit();
        return *form_;
    }
    QString undoText() const { return get<QAction>("MenuUndo")->text(); }
    std::string recoveryPath() const { return path("data/recovery.txt").toStdString(); }
    std::size_t steps() const { return edit_->keeper().history().undoCount(); }
    Calibration recovered() const { return edit_->keeper().recoveryFile().load().recovered.cal; }
    // A unit on COM1: the settings name its link.
    void useUnit(const simtest::SimProcess& unit) {
        writeIni(QString("[FORM_HLAV]\nLanguage=1\nComPort=1\n[PORTS]\nCOM1=%1\n")
                     .arg(QString::fromStdString(unit.linkPath())));
    }
    void waitFor(const char* message) {
        QTRY_COMPARE_WITH_TIMEOUT(form_->link().exchange().view().messageText, std::string(message),
                                  15000);
    }

private slots:
    void init() {
        WindowTest::init();
        writeIni("[FORM_HLAV]\nLanguage=1\n");
    }

    // Each kind of step, made through the window as the user makes it, is undone and redone
    // exactly and named in the menu.
    void everyKindOfStepUndoesExactly() {
        TFormHlav& form = start(); // the Edit menu's place on the bar is the menu test's
        QVERIFY(!get<QAction>("MenuUndo")->isEnabled());
        QCOMPARE(get<QAction>("MenuRedo")->shortcuts().size(), 2);

        const QString ign = path("other.ign");
        Calibration fileCal = form.calibration();
        fileCal[Klicovani] = 3;
        fileCal[at(Advance1, 4)] = 21;
        QVERIFY(saveParamFile(ign.toStdString(), fileCal));

        struct Case {
            QString name;
            std::function<void()> act;
        };
        const std::vector<Case> cases = {
            {"&Undo Jet +", [&] { get<QAction>("JetPlus")->trigger(); }},
            {"&Undo Curve A-", [&] { get<QAction>("CurveMinus")->trigger(); }},
            {"&Undo Column 3 +", [&] { get<SpinButton>("CSpinButton3")->clickUp(); }},
            {"&Undo Advance 2 (2,000 rpm)",
             [&] {
                 get<QLineEdit>("Edit12")->setText("7");
                 form.Edit1Exit();
             }},
            // A box's commit is named by its control, even with another box's text typed.
            {"&Undo Advance 3 (3,000 rpm)",
             [&] {
                 get<QLineEdit>("Edit12")->setText("9");
                 get<UpDown>("UpDown13")->stepBy(1);
             }},
            {"&Undo Advance 5",
             [&] {
                 get<QLineEdit>("Edit15")->setText("11");
                 get<QLineEdit>("Edit16")->setText("12");
                 QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
                 QApplication::sendEvent(get<QLineEdit>("Edit15"), &out);
             }},
            {"&Undo N2O enable", [&] { get<QCheckBox>("CheckBoxGas")->click(); }},
            {"&Undo Model change",
             [&] {
                 auto* combo = get<QComboBox>("ComboBox1");
                 combo->setCurrentIndex(2);
                 emit combo->activated(2);
             }},
            {"&Undo New", [&] { get<QAction>("MenuNew")->trigger(); }},
            {"&Undo Open file other.ign", [&] { QVERIFY(form.openParameters(ign)); }},
        };
        std::vector<Calibration> states{form.calibration()};
        for (const Case& c : cases) {
            c.act();
            QVERIFY2(form.calibration() != states.back(), qPrintable(c.name));
            QVERIFY2(undoText().startsWith(c.name), qPrintable(undoText()));
            states.push_back(form.calibration());
            // What reaches the recovery file is the calibration on screen.
            QCOMPARE(edit_->keeper().recoveryFile().load().recovered.cal, states.back());
        }
        // The file is for another model: the status bar says which table is kept.
        QVERIFY(form.statusText().contains("model table of"));
        QCOMPARE(edit_->fileField(), QString("File saved"));
        QVERIFY(!form.windowTitle().startsWith("* "));
        get<QAction>("JetMinus")->trigger();
        QCOMPARE(edit_->fileField(), QString("Changed since saved"));
        QVERIFY(form.windowTitle().startsWith("* "));
        get<QAction>("MenuUndo")->trigger();
        QVERIFY(!form.windowTitle().startsWith("* "));

        for (std::size_t i = states.size() - 1; i > 0; --i) {
            get<QAction>("MenuUndo")->trigger();
            QCOMPARE(form.calibration(), states[i - 1]);
        }
        QVERIFY(!get<QAction>("MenuUndo")->isEnabled());
        for (std::size_t i = 1; i < states.size(); ++i) {
            get<QAction>("MenuRedo")->trigger();
            QCOMPARE(form.calibration(), states[i]);
        }
        // The controls show the restored values: reading them changes nothing.
        form.readControls();
        QCOMPARE(form.calibration(), states.back());
        // New, the model change and Open each kept the calibration they replaced.
        QCOMPARE(edit_->keeper().snapshots().list().size(), std::size_t{3});

        get<QAction>("MenuGerman")->trigger();
        QVERIFY(get<QMenu>("MenuEdit")->title() == "&Bearbeiten");
        QVERIFY(undoText().startsWith("&Rückgängig Datei öffnen"));

        // With "Programming after change" on, the unit follows an undo.
        get<QCheckBox>("CheckBoxProgHned")->click();
        QCOMPARE(form.link().exchange().Operation, std::uint8_t{Exchange::Idle});
        get<QAction>("MenuUndo")->trigger();
        QCOMPARE(form.calibration(), states[states.size() - 2]);
        QCOMPARE(form.link().exchange().Operation, std::uint8_t{Exchange::Program});
    }

    // A run that did not close left its calibration; the next start takes it over as one step
    // and a clean close removes the file.
    void recoveryAtStartUp() {
        Calibration lost = simtest::defaultCalibration(6);
        lost[jetCell(2, 2)] = 77;
        lost[MODEL_CONST] = 9; // a value without a control comes back too
        QDir().mkpath(path("data"));
        QVERIFY(RecoveryFile(recoveryPath()).write(lost, 1796817600));
        TFormHlav& form = start();
        QCOMPARE(form.calibration(), lost);
        QVERIFY(form.statusText().startsWith("Recovered the calibration of a run that did not "
                                             "close"));
        // A hint replaces the notice; a control without one brings the notice back.
        form.showStatusHint("Set default parametrs");
        QCOMPARE(form.statusText(), QString("Set default parametrs"));
        form.showStatusHint(QString());
        QVERIFY(form.statusText().startsWith("Recovered the calibration"));
        get<QAction>("MenuUndo")->trigger();
        QCOMPARE(form.calibration(), simtest::defaultCalibration(6));
        form.FormClose();
        QVERIFY(!QFile::exists(QString::fromStdString(recoveryPath())));

        // A damaged file changes nothing and is said so.
        window_->stop();
        test::writeAll(QString::fromStdString(recoveryPath()),
                       QByteArray(formatRecovery(lost, 1).c_str()).left(300));
        start();
        QCOMPARE(form_->calibration(), simtest::defaultCalibration(6));
        QVERIFY(form_->statusText().contains("damaged"));
    }

    // Two copies on one settings file: the later close writes it, and the calibration the
    // earlier one left there is kept as a snapshot that the next start names.
    void twoCopiesCloseWithoutLosingEitherCalibration() {
        TFormHlav& first = start();
        auto second = std::make_unique<TFormHlav>(path("Velmora52.ini").toStdString());
        second->messageBox = [](const QString&) {};
        auto secondAddOns = std::make_unique<AddOns>(*second, path("data"));
        second->FormCreate({});
        secondAddOns->started();
        QVERIFY(!second->statusText().contains("Recovered")); // the first copy runs
        get<QAction>("JetPlus")->trigger();
        const Calibration firstCal = first.calibration();
        first.FormClose();
        second->findChild<QAction*>("JetMinus")->trigger();
        second->FormClose();
        secondAddOns.reset();
        second.reset();
        window_->stop();
        start();
        QCOMPARE(form_->calibration()[jetCell(0, 0)], firstCal[jetCell(0, 0)] - 2);
        QVERIFY2(form_->statusText().contains("kept as snapshot"), qPrintable(form_->statusText()));
        const std::vector<SnapshotEntry> kept = edit_->keeper().snapshots().list();
        QCOMPARE(kept.size(), std::size_t{1});
        QCOMPARE(kept[0].kind, SnapshotKind::OtherCopy);
        Calibration held = form_->calibration();
        QVERIFY(openParamFile(kept[0].ignPath(), held));
        QCOMPARE(held, firstCal);
        // A copy alone keeps nothing more at its close, and the note is said once.
        form_->FormClose();
        start();
        QVERIFY(!form_->statusText().contains("kept as snapshot"));
        QCOMPARE(edit_->keeper().snapshots().list().size(), std::size_t{1});
    }

    void aVanishedSnapshotChangesNothing() {
        TFormHlav& form = start();
        get<QAction>("JetPlus")->trigger();
        get<QAction>("MenuNew")->trigger(); // keeps the edited calibration
        SnapshotsWindow* w = edit_->snapshotsWindow();
        w->reload();
        QCOMPARE(w->rowCount(), 1);
        const Calibration shown = form.calibration();
        QVERIFY(w->compareSelected());
        QCOMPARE(edit_->compareWindow()->rowCount(), 100);
        for (const SnapshotEntry& e : edit_->keeper().snapshots().list())
            std::filesystem::remove(e.ignPath());
        QVERIFY(!w->openSelected());
        QVERIFY(w->message().startsWith("The snapshot no longer exists"));
        QCOMPARE(form.calibration(), shown);
    }

    // The open Snapshots window reads the snapshots when it lists them; an edit only counts the
    // differences again and reads no file, which may have become anything meanwhile.
    void snapshotsAreReadOncePerListingNotOnEveryEdit() {
        start();
        get<QAction>("JetPlus")->trigger();
        get<QAction>("MenuNew")->trigger();
        SnapshotsWindow* w = edit_->snapshotsWindow();
        w->reload();
        w->show();
        auto* table = w->findChild<QTableWidget*>("SnapshotTable");
        QCOMPARE(table->item(0, 3)->text(), QString("100"));
        const std::string ign = edit_->keeper().snapshots().list().at(0).ignPath();
        std::filesystem::remove(ign);
        QCOMPARE(::mkfifo(ign.c_str(), 0600), 0);
        get<QAction>("JetPlus")->trigger(); // the screen now holds what the snapshot holds
        QCOMPARE(table->item(0, 3)->text(), QString("0"));
        QVERIFY(!w->openSelected()); // Open reads it again, and refuses the pipe at once
    }

    // A full disk: the failures that leave the calibration unprotected stay in the status bar,
    // whatever notices come and go, until the writes succeed again.
    void lostProtectionStaysUntilTheWritesSucceed() {
        test::TestDir data;
        window_->dataFolder = QString::fromStdString(data.path());
        start();
        auto* label = form_->findChild<QLabel*>("LabelProtection");
        QVERIFY(label != nullptr);
        QVERIFY(label->isHidden());
        if (!data.makeReadOnly()) QSKIP("no folder can be made read-only here");
        for (int i = 0; i < 4; ++i) get<QAction>("JetPlus")->trigger();
        get<QAction>("MenuNew")->trigger(); // would keep the edited calibration as a snapshot
        QVERIFY(!label->isHidden());
        QCOMPARE(label->text(), QString("Recovery 5 changes behind · Snapshot not stored"));
        QVERIFY(label->toolTip().contains(QString::fromStdString(data.path())));
        form_->showStatusHint("Set default parametrs");
        QVERIFY(!label->isHidden());
        data.makeWritable();
        QTRY_VERIFY_WITH_TIMEOUT(label->isHidden(), 5000);
        QCOMPARE(edit_->keeper().recoveryFile().load().recovered.cal, form_->calibration());
        QCOMPARE(edit_->keeper().snapshots().list().size(), std::size_t{1});
        window_->stop(); // before its data folder goes
    }

    // Against the simulated unit: an edit, Read, Undo gives the edit back exactly and the
    // settings file holds it after Exit; the read left a snapshot of what the unit holds.
    void readThenUndoAgainstTheUnit() {
        simtest::SimProcess unit({"--model", "2", "--save-image", "{dir}/unit.img"});
        QVERIFY(unit.started());
        useUnit(unit);
        TFormHlav& form = start();
        get<QLineEdit>("Edit12")->setText("7");
        form.Edit1Exit();
        const Calibration edited = form.calibration();
        QCOMPARE(edit_->unitField(), QString("Unit unknown"));

        form.MenuReadClick();
        waitFor("Verify OK");
        QTRY_COMPARE(edit_->unitField(), QString("Unit = screen"));
        QVERIFY(form.calibration() != edited);
        QVERIFY(undoText().startsWith("&Undo Read from unit"));
        get<QAction>("MenuUndo")->trigger();
        QCOMPARE(form.calibration(), edited);
        QCOMPARE(edit_->unitField(), QString("Unit differs"));
        get<QAction>("MenuCom1")->trigger(); // another port: the unit is not known any more
        QCOMPARE(edit_->unitField(), QString("Unit unknown"));

        const std::vector<SnapshotEntry> list = edit_->keeper().snapshots().list();
        QCOMPARE(list.size(), std::size_t{2});
        QCOMPARE(list[0].kind, SnapshotKind::Read);
        QCOMPARE(list[1].kind, SnapshotKind::BeforeRead);
        QVERIFY(unit.stop() == 0);
        Image held{};
        QVERIFY(simtest::readImageFile(unit.file("unit.img"), held));
        Image stored{};
        QVERIFY(simtest::readImageFile(list[0].imagePath(), stored));
        QVERIFY(stored == held);
        Calibration unitCal = edited;
        Identification id;
        unpack(held, unitCal, id);
        QCOMPARE(test::readAll(QString::fromStdString(list[0].ignPath())).toStdString(),
                 formatParamFile(unitCal));

        form.close();
        QVERIFY(form.closed());
        ProfileStore store(path("Velmora52.ini").toStdString());
        WindowSettings ws;
        Calibration saved{};
        loadSettings(store, ws, saved);
        for (const SettingsKey& k : calibrationKeys()) QCOMPARE(saved[k.param], edited[k.param]);
    }

    void verifyNamesTheCellThatDiffers() {
        Calibration unitCal = simtest::defaultCalibration(6);
        unitCal[jetCell(5, 3)] = static_cast<std::uint8_t>(unitCal[jetCell(5, 3)] + 7);
        const std::string params = path("unit.ign").toStdString();
        QVERIFY(saveParamFile(params, unitCal));
        simtest::SimProcess unit({"--params", params});
        QVERIFY(unit.started());
        useUnit(unit);
        TFormHlav& form = start();
        form.MenuVerifyClick();
        waitFor("Verify error!");
        QTRY_VERIFY(form.statusText().startsWith("1 value differs"));
        QCOMPARE(edit_->unitField(), QString("Unit differs: 1 value"));
        get<QAction>("MenuCompare")->trigger();
        CompareWindow* w = edit_->compareWindow();
        QCOMPARE(w->rowCount(), 1);
        QVERIFY(w->cell(0, 2).startsWith("Fuel map 30 % × "));
        QCOMPARE(w->cell(0, 2),
                 QString::fromStdString(userName(jetCell(5, 3), form.calibration(), 1).label));
        QCOMPARE(w->cell(0, 4).toInt(), unitCal[jetCell(5, 3)]);
        QVERIFY(w->reportText().count('\n') == 2);
    }

    // Every control bound to a working parameter, as the tables list them: a click that
    // changes the calibration is one step named after it that reaches the recovery file.
    void everyControlIsOneNamedStep() {
        TFormHlav& form = start();
        const auto click = [&](Param p, const std::function<void()>& act) {
            const Calibration was = edit_->screenCalibration();
            const std::size_t before = steps();
            act();
            const Calibration now = edit_->screenCalibration();
            QCOMPARE(steps(), before + (sameSettings(now, was) ? 0 : 1));
            QCOMPARE(recovered(), edit_->keeper().committed());
            QVERIFY(sameSettings(recovered(), now));
            if (countDifferences(was, now) == 1)
                QCOMPARE(undoText(),
                         "&Undo " + QString::fromStdString(shortName(p, was, form.Language)));
        };
        for (const PairSpec& p : pairTable()) {
            auto* u = get<UpDown>(p.updown.c_str());
            click(p.param, [u] { u->stepBy(u->position() < u->maximum() ? 1 : -1); });
        }
        for (const FlagBoxSpec& f : flagBoxTable()) {
            auto* box = get<QCheckBox>(f.box);
            const bool wasOn = box->isChecked();
            const std::size_t before = steps();
            click(f.param, [box] { box->click(); });
            QVERIFY2(steps() == before + 1, f.box);
            // A later command does not take the tick along; undo gives the box back.
            get<QAction>("JetPlus")->trigger();
            get<QAction>("MenuUndo")->trigger();
            get<QAction>("MenuUndo")->trigger();
            QVERIFY2(box->isChecked() == wasOn, f.box);
        }
        QVERIFY(steps() > 150);
    }

    // The agreement field against a unit that is read, verified, goes away and comes back with
    // other values; a read and a verify with nothing touched leave no phantom difference.
    void unitFieldSaysOnlyWhatTheLastExchangeProved() {
        Calibration other = simtest::defaultCalibration(6);
        other[jetCell(4, 4)] = static_cast<std::uint8_t>(other[jetCell(4, 4)] + 9);
        const std::string params = path("other.ign").toStdString();
        QVERIFY(saveParamFile(params, other));
        simtest::SimProcess unit(std::vector<std::string>{});
        QVERIFY(unit.started());
        useUnit(unit);
        TFormHlav& form = start();
        const auto colour = [&] {
            return get<QLabel>("LabelUnitAgreement")->palette().color(QPalette::Window);
        };
        get<QAction>("JetPlus")->trigger();
        form.MenuReadClick();
        waitFor("Verify OK");
        QTRY_COMPARE(edit_->unitField(), QString("Unit = screen"));
        QCOMPARE(colour(), QColor(0, 255, 0));
        form.MenuVerifyClick(); // reads the switches back from their boxes
        waitFor("Verify OK");
        QVERIFY(undoText().startsWith("&Undo Read from unit"));
        QCOMPARE(edit_->unitField(), QString("Unit = screen"));
        SnapshotsWindow* w = edit_->snapshotsWindow();
        w->reload();
        auto* rows = w->findChild<QTableWidget*>();
        for (int r = 0; r < rows->rowCount(); ++r)
            if (rows->item(r, 1)->text() == "read") QCOMPARE(rows->item(r, 3)->text(), "0");

        QVERIFY(unit.stop() == 0);
        QTRY_COMPARE_WITH_TIMEOUT(edit_->unitField(), QString("Unit unknown"), 5000);
        QVERIFY(unit.start({"--params", params}));
        QTRY_VERIFY_WITH_TIMEOUT(form.statusText().contains("port reopened"), 5000);
        QCOMPARE(edit_->unitField(), QString("Unit unknown"));
        form.MenuVerifyClick();
        waitFor("Verify error!");
        QTRY_COMPARE(edit_->unitField(), QString("Unit differs: 1 value"));
        QCOMPARE(colour(), QColor(255, 0, 0));
        QVERIFY(form.statusText().startsWith("1 value differs"));
        get<QAction>("MenuGerman")->trigger();
        QCOMPARE(edit_->unitField(), QString("Gerät weicht ab: 1 Wert"));
        get<QAction>("MenuEnglish")->trigger();
        // A good read proves it again and takes the notice away for good.
        form.MenuReadClick();
        waitFor("Verify OK");
        QTRY_COMPARE(edit_->unitField(), QString("Unit = screen"));
        form.showStatusHint(QString());
        QVERIFY(!form.statusText().contains("differ"));
    }

    // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z from a value box and from the map window.
    void undoKeysWorkWhereTheUserIs() {
        TFormHlav& form = start();
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        get<QAction>("JetPlus")->trigger();
        get<QAction>("CurvePlus")->trigger();
        const Calibration two = form.calibration();
        auto* box = get<QLineEdit>("Edit12");
        box->setFocus();
        const QString shown = box->text();
        QTest::keyClicks(box, "9"); // half typed: taken back first
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(box->text(), shown);
        QCOMPARE(steps(), std::size_t{2});
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(steps(), std::size_t{1});
        QTest::keyClick(box, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(form.calibration(), two);

        // The map window opens with the keyboard in its table.
        MapWindow* map = window_->addOns().map()->openWindow();
        QVERIFY(QTest::qWaitForWindowActive(map));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(map->table()));
        QTest::keyClick(map->table(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(steps(), std::size_t{1});
        QTest::keyClick(map->table(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(form.calibration(), two);
        map->close();
    }
};

QTEST_MAIN(HistoryWindowTest)
#include "history_test.moc"
