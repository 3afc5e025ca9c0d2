// The main window on the offscreen platform: start-up, the binding of the edit boxes and
// up-downs, the shift commands, languages and hints, and shutdown.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <map>
#include <memory>

#include "files/settings.h"
#include "lang/text_sets.h"
#include "model/clamp.h"
#include "model/defaults.h"
#include "model/pairs.h"
#include "tests/common/frames.h"
#include "tests/sim/harness.h"
#include "ui/main_window/arrows.h"
#include "ui/main_window/form_hlav.h"
#include "ui/main_window/number_text.h"
#include "ui/termination.h"
#include "window_fixture.h"

using namespace velmora;
using namespace velmora::ui;
using velmora::common::frameWith;

namespace {

QString grouped(int thousands, int rest) {
    return QString::number(thousands) + groupSeparator() +
           QString("%1").arg(rest, 3, 10, QChar('0'));
}

// The share of a widget's painted pixels that are pure red.
double redShare(QWidget* w) {
    const QImage img = w->grab().toImage();
    int red = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) red += img.pixelColor(x, y) == Qt::red;
    return static_cast<double>(red) / (img.width() * img.height());
}

} // namespace

class FormTest : public test::WindowTest {
    Q_OBJECT

private:
    QString iniPath() const { return window_->iniPath(); }

    TFormHlav& start(const QStringList& args = {}) {
        form_ = &window_->start(args, test::WindowFixture::With::Ports);
        window_->activate();
        return *form_;
    }
    QLineEdit* edit(const char* name) const { return get<QLineEdit>(name); }
    UpDown* updown(const char* name) const { return get<UpDown>(name); }
    Calibration& cal() { return form_->calibration(); }

    // Types into a box the way a user does: focus, replace the text.
    void type(QLineEdit* e, const QString& text) {
        e->setFocus(Qt::MouseFocusReason);
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    // Moves the focus to another box, which leaves the one that had it.
    void leaveTo(QLineEdit* next) { next->setFocus(Qt::TabFocusReason); }

private slots:
    void firstStartWithoutSettings() {
        TFormHlav& f = start();
        QCOMPARE(f.Language, 0);
        QCOMPARE(f.ComPort, 0);
        QCOMPARE(f.windowTitle(), QString("Programování jednotky Velmora 52"));
        QVERIFY(get<QAction>("MenuCzech")->isChecked());
        QVERIFY(!get<QAction>("MenuEnglish")->isChecked());
        for (int i = 1; i <= 6; ++i)
            QVERIFY(!get<QAction>(QString("MenuCom%1").arg(i).toLatin1())->isChecked());
        QCOMPARE(get<QTabWidget>("PageControl1")->currentWidget()->objectName(),
                 QString("TabSheet1"));
        QCOMPARE(get<QComboBox>("ComboBox1")->currentIndex(), 6);
        QVERIFY(window_->messages.isEmpty());
        QVERIFY(get<QLabel>("LabelHlaseni")->isHidden());
        QVERIFY(!get<QLabel>("LabelSpojeni")->isHidden());

        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        QCOMPARE(f.x(), (screen.width() - f.width()) / 2);
        QCOMPARE(f.y(), (screen.height() - f.height()) / 2);

        // Every box shows the default of the seventh model, limited to its up-down's range.
        Calibration expected{};
        expected[Klicovani] = 6;
        setDefaultCalibration(expected);
        applyModelTable(expected);
        for (const PairSpec& s : pairTable()) {
            const int display = std::clamp(toDisplay(s, expected[s.param]), s.min, s.max);
            QCOMPARE(edit(s.edit.c_str())->text(), formatPosition(display, s.grouping));
        }
    }

    void storedSettingsAreApplied() {
        const QString last = window_->path("b.ign");
        window_->writeIni(
            QString("[FORM_HLAV]\nLeft=-50\nTop=5000\nComPort=3\nLanguage=7\nFile=/x/a.ign\n"
                    "IniDir=%1\nActivePage=258\n[IGNITION]\nOmez1=300\nKlicovani=2\n"
                    "[PORTS]\nCOM3=/nonexistent/tty\n")
                .arg(last));
        TFormHlav& f = start();
        QCOMPARE(f.x(), -50); // applied as stored, off the screen or not
        QCOMPARE(f.y(), 5000);
        QCOMPARE(get<QTabWidget>("PageControl1")->currentIndex(), 1); // 258: low byte 2
        QCOMPARE(get<QLabel>("LabelFile2")->text(), QString("/x/a.ign"));
        QCOMPARE(f.lastFilePath(), last.toStdString());
        QCOMPARE(f.saveDialog()->selectedFiles().value(0), last);
        QCOMPARE(f.openDialog()->nameFilters().size(), 3);
        QCOMPARE(f.saveDialog()->nameFilters(), QStringList{"Ignition Parametrs(*.ign)"});
        // The port of COM3 does not exist: reported, and the item is checked all the same.
        // The box keeps its text and names the device and the reason on a line of its own.
        QCOMPARE(window_->messages.size(), 1);
        QCOMPARE(window_->messages[0].section('\n', 0, 0), QString("Com opening error"));
        QVERIFY2(window_->messages[0].section('\n', 1).contains("/nonexistent/tty does not exist"),
                 qPrintable(window_->messages[0]));
        QVERIFY(get<QAction>("MenuCom3")->isChecked());
        QVERIFY(!get<QAction>("MenuCom2")->isChecked());
        // No language 7: the design texts stay.
        QCOMPARE(f.windowTitle(), QString("Programming of Velmora 52 "));
        QCOMPARE(get<QMenu>("MenuFile")->title(), QString("&File"));
        QCOMPARE(cal()[Klicovani], 2);
        QCOMPARE(get<QComboBox>("ComboBox1")->currentIndex(), 2);
        QCOMPARE(edit("EditOmez1")->text(), grouped(4, 400)); // 300 loads as 44

        get<QAction>("MenuCom5")->trigger();
        QCOMPARE(f.ComPort, 5);
        for (int i = 1; i <= 6; ++i)
            QCOMPARE(get<QAction>(QString("MenuCom%1").arg(i).toLatin1())->isChecked(), i == 5);
        get<QTabWidget>("PageControl1")->setCurrentIndex(4);
        f.close();
        const QByteArray saved = test::readAll(iniPath());
        QVERIFY(saved.contains("ComPort=5\n"));
        QVERIFY(saved.contains("Language=7\n"));
        QVERIFY(QString(saved).contains(QRegularExpression("ActivePage ?=5\n")));
        QVERIFY(saved.contains("COM3=/nonexistent/tty"));
    }

    void commandLineLanguage() {
        start({"ENGLISH"});
        QCOMPARE(form_->Language, 1);
        QCOMPARE(form_->windowTitle(), QString("Programming of Velmora 52 unit"));
        form_->close();
        start();
        QCOMPARE(form_->Language, 1); // stored at the close before
        form_->close();

        QFile::remove(iniPath());
        start({"english"});
        QCOMPARE(form_->Language, 0);
        window_->stop();
        start({"CESKY", "ENGLISH"});
        QCOMPARE(form_->Language, 0);
        window_->stop();
        start({"DEUTSCH"});
        QCOMPARE(form_->Language, 2);
        QVERIFY(get<QAction>("MenuGerman")->isChecked());
    }

    void typedValueIsClampedWhenLeft() {
        start();
        type(edit("EditOmez1"), "999");
        leaveTo(edit("EditOmez2"));
        QCOMPARE(cal()[Omez1], 10);
        QCOMPARE(edit("EditOmez1")->text(), grouped(1, 0));
        QCOMPARE(form_->image()[23], 10); // packed at once

        // Grouping typed back is accepted; a number outside the range is not.
        type(edit("EditOmez2"), grouped(12, 300));
        leaveTo(edit("Edit45"));
        QCOMPARE(cal()[Omez2], 123);
        type(edit("EditOmez2"), "26000");
        leaveTo(edit("Edit45"));
        QCOMPARE(cal()[Omez2], 123);
        QCOMPARE(edit("EditOmez2")->text(), grouped(12, 300));
    }

    // A decimal is no whole number in any language and locale: the box keeps its value and is
    // never read as 105 with the separator taken for digit grouping.
    void decimalsNeverBecomeAnotherNumber() {
        const std::pair<const char*, QLocale> languages[] = {
            {"CESKY", QLocale(QLocale::Czech, QLocale::Czechia)},
            {"ENGLISH", QLocale(QLocale::English, QLocale::UnitedStates)},
            {"DEUTSCH", QLocale(QLocale::German, QLocale::Germany)}};
        for (const auto& [language, locale] : languages) {
            QLocale::setDefault(locale);
            start({language});
            for (const char* typed : {"10.5", "10,5", "1.05",
                                      "10"
                                      "\u00a0"
                                      "5"}) {
                type(edit("Edit11"), "30");
                leaveTo(edit("Edit12"));
                QCOMPARE(cal()[Advance1], 30);
                type(edit("Edit11"), QString::fromUtf8(typed));
                leaveTo(edit("Edit12"));
                const QString where = QString("%1 in %2").arg(QString::fromUtf8(typed), language);
                QVERIFY2(cal()[Advance1] == 30, qPrintable(where));
                QVERIFY2(edit("Edit11")->text() == "30", qPrintable(where));
            }
            // Digit grouping of the language's locale is still taken.
            type(edit("EditOmez2"), grouped(12, 300));
            leaveTo(edit("Edit12"));
            QCOMPARE(cal()[Omez2], 123);
            window_->stop();
        }
        QLocale::setDefault(QLocale::system());
    }

    void miscellaneousPageCommitsOnClick() {
        start();
        QLineEdit* tps100 = edit("EditTps100");
        type(tps100, "4600");
        QTest::mouseClick(tps100, Qt::LeftButton);
        QCOMPARE(cal()[TPS_100], 210);
        type(tps100, "2500");
        QTest::mouseClick(tps100, Qt::LeftButton);
        QCOMPARE(cal()[TPS_100], 0);

        // Typed and left without a click: not taken until the controls are read again.
        const std::uint8_t before = cal()[CHLAZENI];
        type(edit("EditChlazeni"), "55");
        leaveTo(edit("EditStartJet"));
        QCOMPARE(cal()[CHLAZENI], before);
        QCOMPARE(edit("EditChlazeni")->text(), QString("55"));
        updown("UpDown11")->stepBy(1);
        QCOMPARE(cal()[CHLAZENI], 55);

        // A command that shows without reading first replaces the typed text.
        type(edit("EditChlazeni"), "66");
        leaveTo(edit("EditStartJet"));
        get<QComboBox>("ComboBox1")->activated(3);
        QCOMPARE(edit("EditChlazeni")->text(), QString("55"));
    }

    void advanceShifts() {
        start();
        for (int i = 0; i < 10; ++i) cal()[at(Advance1, i)] = cal()[AdvanceMax];
        cal()[Advance1] = 0;
        form_->showParams();
        form_->CurvePlusClick();
        QCOMPARE(cal()[Advance1], 1);
        for (int i = 1; i < 10; ++i) QCOMPARE(cal()[at(Advance1, i)], cal()[AdvanceMax]);
        form_->CurveMinusClick();
        form_->CurveMinusClick();
        QCOMPARE(cal()[Advance1], 0);
        QCOMPARE(cal()[at(Advance1, 9)], cal()[AdvanceMax] - 2);

        // At the limit nothing moves, but the after-change step still programs.
        for (int i = 0; i < 10; ++i) cal()[at(Advance1, i)] = cal()[AdvanceMax];
        form_->showParams();
        get<QCheckBox>("CheckBoxProgHned")->click();
        form_->CurvePlusClick();
        for (int i = 0; i < 10; ++i) QCOMPARE(cal()[at(Advance1, i)], cal()[AdvanceMax]);
        QCOMPARE(form_->link().exchange().Operation, Exchange::Program);
    }

    void injectionShiftsAndColumnSpins() {
        start();
        cal()[jetCell(4, 4)] = 5;
        cal()[jetCell(0, 1)] = 250;
        form_->showParams();
        form_->ButtonJetMinusClick();
        QCOMPARE(cal()[jetCell(4, 4)], 4);
        QCOMPARE(form_->image()[60 + 44], 4);
        QCOMPARE(edit("Edit94")->text(), QString("5")); // the box cannot show below 5
        form_->ButtonJetPlusClick();                    // reads 5 back, then raises
        QCOMPARE(cal()[jetCell(4, 4)], 6);
        QCOMPARE(cal()[jetCell(0, 1)], 250);

        const Calibration before = cal();
        get<SpinButton>("CSpinButton1")->clickUp();
        for (int r = 0; r < 10; ++r) {
            for (int c = 0; c < 10; ++c) {
                const int delta = c == 0 && before[jetCell(r, c)] < 250 ? 1 : 0;
                QCOMPARE(cal()[jetCell(r, c)], before[jetCell(r, c)] + delta);
            }
        }
        get<SpinButton>("CSpinButton10")->clickDown();
        QCOMPARE(cal()[jetCell(9, 9)], before[jetCell(9, 9)] - 1);
        QCOMPARE(cal()[jetCell(9, 0)], before[jetCell(9, 0)] + 1);
    }

    void upDownRanges() {
        start();
        for (int i = 1; i <= 9; ++i)
            QCOMPARE(updown(QString("UpDown%1").arg(i).toLatin1())->maximum(), 20100);
        QCOMPARE(updown("UpDown10")->maximum(), 21000);
        QCOMPARE(updown("UpDownTps100")->minimum(), 2500);
        QCOMPARE(edit("Edit50")->text().size(), 3); // no grouping in the map

        // Stepping stops at the limits instead of wrapping or passing them.
        for (const char* name : {"UpDown10", "UpDown1"}) {
            const PairSpec& s = *std::find_if(pairTable().begin(), pairTable().end(),
                                              [&](const PairSpec& p) { return p.updown == name; });
            QLineEdit box;
            UpDown u;
            u.setRange(s.min, s.max);
            u.setIncrement(s.step);
            u.setBuddy(&box);
            u.setPosition(s.max - 50);
            u.stepBy(1);
            QCOMPARE(u.position(), s.max);
            u.stepBy(1);
            QCOMPARE(u.position(), s.max);
            u.setPosition(s.min);
            u.stepBy(-1);
            QCOMPARE(u.position(), s.min);
        }
    }

    void modelPickShowsWorkingParameters() {
        start();
        QCheckBox* blok = get<QCheckBox>("CheckBoxAktBlok");
        const bool stored = cal()[AktBlok] != 0;
        blok->click();
        QCOMPARE(blok->isChecked(), !stored);
        get<QCheckBox>("CheckBoxProgHned")->click();
        get<QComboBox>("ComboBox1")->activated(2);
        QCOMPARE(cal()[Klicovani], 2);
        QCOMPARE(blok->isChecked(), stored);
        QCOMPARE(form_->link().exchange().Operation, Exchange::Idle); // never programs
    }

    void checkBoxesFollowShow() {
        start();
        cal()[GasEnable] = 1;
        cal()[ZakazCteni] = 1;
        cal()[ExtMonitor] = 1;
        form_->showParams();
        QVERIFY(!get<QGroupBox>("GroupBoxGas")->isHidden());
        QVERIFY(!get<QGroupBox>("GroupBoxRetard")->isHidden());
        QVERIFY(!get<QLabel>("LabelN2oEnable")->isHidden());
        QVERIFY(!get<QCheckBox>("CheckBoxAktN2o")->isHidden());
        QVERIFY(!get<QLabel>("LabelPocetProgramovani")->isHidden());
        QVERIFY(redShare(get<QCheckBox>("CheckBoxZakazCteni")) > 0.5);
        get<QCheckBox>("CheckBoxGas")->click();
        QCOMPARE(cal()[GasEnable], 0);
        QVERIFY(get<QGroupBox>("GroupBoxGas")->isHidden());
        QVERIFY(get<QLabel>("LabelN2oEnable")->isHidden());
    }

    // What the user sees, not what the palette says: the two warning boxes are painted red,
    // a switch frame alone toggles the monitor's two optional lines, and no identification is
    // shown before a unit has given one.
    void warningsAsTheyArePainted() {
        start();
        for (const char* name : {"CheckBoxProgHned", "CheckBoxZakazCteni"}) {
            auto* box = get<QCheckBox>(name);
            QVERIFY2(redShare(box) < 0.01, name);
            box->click();
            QVERIFY2(redShare(box) > 0.5, name);
            box->click();
            QVERIFY2(redShare(box) < 0.01, name);
        }

        for (const char* name : {"LabelVerze1", "LabelVerze2", "LabelVerze3"})
            QCOMPARE(get<QLabel>(name)->text(), QString());

        cal()[GasEnable] = 1;
        cal()[ExtMonitor] = 1;
        form_->showParams();
        Exchange& ex = form_->link().exchange();
        ex.onFrame(frameWith(0xB1, {}));
        get<QCheckBox>("CheckBoxGas")->click();
        get<QCheckBox>("CheckBoxExtMonitor")->click();
        for (std::uint8_t kind : {0xB0, 0xB2, 0xB0}) ex.onFrame(frameWith(kind, {}));
        QVERIFY(get<QLabel>("LabelN2oEnable")->isHidden());
        QVERIFY(get<QLabel>("LabelPocetProgramovani")->isHidden());
        get<QCheckBox>("CheckBoxGas")->click();
        ex.onFrame(frameWith(0xB2, {}));
        QVERIFY(!get<QLabel>("LabelN2oEnable")->isHidden());
    }

    // An open menu keeps its title's hint until one of its items is highlighted.
    void menuHintsStayWhileTheMenuIsOpen() {
        start({"ENGLISH"});
        QMenuBar* bar = form_->menuBar();
        const QPoint title = bar->actionGeometry(get<QMenu>("MenuHelp")->menuAction()).center();
        QTest::mouseMove(bar, title);
        QTest::mouseClick(bar, Qt::LeftButton, {}, title);
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        QTest::qWait(50);
        QCOMPARE(form_->statusText(), QString("Not available jet"));
        QApplication::activePopupWidget()->close();
    }

    void programAfterChange() {
        start();
        get<QCheckBox>("CheckBoxProgHned")->click();
        QVERIFY(form_->ProgHned);
        updown("UpDown50")->stepBy(1);
        QCOMPARE(form_->link().exchange().Operation, Exchange::Program);
        QCOMPARE(get<QLabel>("LabelHlaseni")->text(), QString("Programování:"));
        QVERIFY(!get<QLabel>("LabelHlaseni")->isHidden());
        QVERIFY(!get<QWidget>("ProgressBar1")->isHidden());
    }

    void monitorFramesAndTpsButtons() {
        start();
        // Kind 2 sets the throttle percentage, kind 0 the common part with 1500 mV throttle.
        form_->link().exchange().onFrame(frameWith(0xB2, {{11, 40}}));
        const int counts = 1500 * 8184 / 4860 + 1; // 2v(r) = 1500
        form_->link().exchange().onFrame(frameWith(0xB0, {{1, 0x03},
                                                          {2, 0xE8},
                                                          {7, std::uint8_t(counts >> 8)},
                                                          {8, std::uint8_t(counts & 0xFF)}}));
        form_->Timer1Timer();
        QVERIFY(get<QLabel>("LabelSpojeni")->isHidden());
        QCOMPARE(get<QLabel>("LabelRpm")->text(), QString("RPM = 2000 "));
        QLabel* bar = get<QLabel>("LabelBarTps1");
        QVERIFY(!bar->isHidden());
        QCOMPARE(bar->width(), 100);
        QCOMPARE(get<QLabel>("LabelBarTps2")->x(), get<QLabel>("LabelTps")->x() + 100);

        const std::uint16_t volts = form_->link().monitor().values().TpsVoltage;
        QCOMPARE(volts, 1500);
        get<QPushButton>("BitBtnTps0")->click();
        QCOMPARE(cal()[TPS_0], 150);
        const std::uint8_t tps100 = cal()[TPS_100];
        get<QPushButton>("BitBtnTps100")->click(); // 1500 mV is outside its band
        QCOMPARE(cal()[TPS_100], tps100);
    }

    void languagesRestoreEveryText() {
        start();
        // Every target of every set is a component of the window.
        for (int language = 0; language < 3; ++language) {
            for (const lang::TextEntry& e : *lang::textSet(language)) {
                QVERIFY2(form_->findChild<QObject*>(
                             QString::fromUtf8(e.objectName.data(), e.objectName.size())),
                         std::string(e.objectName).c_str());
            }
        }
        auto snapshot = [this] {
            std::map<QString, QString> texts;
            for (const lang::TextEntry& e : *lang::textSet(1)) {
                const QString name = QString::fromUtf8(e.objectName.data(), e.objectName.size());
                QObject* o = form_->findChild<QObject*>(name);
                QString t;
                if (auto* l = qobject_cast<QLabel*>(o))
                    t = l->text();
                else if (auto* b = qobject_cast<QAbstractButton*>(o))
                    t = b->text();
                else if (auto* g = qobject_cast<QGroupBox*>(o))
                    t = g->title();
                else if (auto* m = qobject_cast<QMenu*>(o))
                    t = m->title();
                else if (auto* a = qobject_cast<QAction*>(o))
                    t = a->text();
                else if (auto* w = qobject_cast<QWidget*>(o))
                    t = get<QTabWidget>("PageControl1")
                            ->tabText(get<QTabWidget>("PageControl1")->indexOf(w));
                texts[name + "/caption"] = t;
                texts[name + "/hint"] = o->property("velmoraHint").toString();
                if (auto* w = qobject_cast<QWidget*>(o)) texts[name + "/tip"] = w->toolTip();
            }
            texts["window"] = form_->windowTitle();
            return texts;
        };
        form_->ApplyEnglish();
        const auto english = snapshot();
        form_->ApplyCzech();
        const auto czech = snapshot();
        QVERIFY(czech != english);
        form_->ApplyGerman();
        form_->ApplyEnglish();
        QVERIFY(snapshot() == english);
        form_->ApplyCzech();
        QVERIFY(snapshot() == czech);
        for (const char* item : {"MenuEnglish", "MenuGerman"})
            QVERIFY(!get<QAction>(item)->isChecked());
        QCOMPARE(get<QLabel>("LabelTps0")->text(), QString("0%  [mV]")); // in no set
    }

    void everyCaptionFitsInEveryLanguage() {
        start();
        get<QCheckBox>("CheckBoxGas")->setChecked(true);
        get<QCheckBox>("CheckBoxExtMonitor")->setChecked(true);
        // The longest monitor lines: every reading at its largest, extended view.
        Exchange& ex = form_->link().exchange();
        ex.onFrame(frameWith(0xB2, {{11, 100}, {12, 100}, {13, 250}, {14, 250}}));
        ex.onFrame(frameWith(
            0xB1,
            {{11, 0xFF}, {15, 0xFF}, {16, 0xFF}, {17, 0x1F}, {18, 0xF8}, {19, 0x04}, {20, 0x4C}}));
        ex.onFrame(frameWith(0xB0, {{1, 0},     {2, 100},   {3, 0x1F},  {4, 0x71},  {5, 0x1F},
                                    {6, 0xF8},  {7, 0x1F},  {8, 0xF8},  {9, 0xFF},  {10, 0xFF},
                                    {11, 0x1F}, {12, 0x71}, {13, 0x1F}, {14, 0xF8}, {15, 0x1F},
                                    {16, 0xF8}, {17, 0x1F}, {18, 0xF8}, {19, 0x1F}, {20, 0xF8}}));
        auto* pages = get<QTabWidget>("PageControl1");
        QStringList faults;
        const auto check = [&faults](bool ok, const QString& what) {
            if (!ok) faults << what;
        };
        for (int language : {0, 1, 2}) {
            language == 0 ? form_->ApplyCzech()
                          : (language == 1 ? form_->ApplyEnglish() : form_->ApplyGerman());
            for (int page = 0; page < 5; ++page) {
                pages->setCurrentIndex(page);
                QApplication::processEvents();
            }
            const QString where = QString(" (language %1)").arg(language);
            // The tabs end before the mode check boxes, which end inside the window.
            QVERIFY(pages->tabBar()->geometry().right() + pages->x() <
                    get<QCheckBox>("CheckBoxZakazCteni")->x());
            for (QWidget* w : form_->findChildren<QWidget*>()) {
                QWidget* parent = w->parentWidget();
                if (w->objectName().isEmpty() || w->objectName().startsWith("qt_") ||
                    parent == nullptr || w->isWindow() || qobject_cast<QTabBar*>(parent) ||
                    qobject_cast<QMenuBar*>(parent))
                    continue;
                const QString name = w->objectName() + where;
                if (!parent->objectName().isEmpty() && parent != form_)
                    check(parent->rect().contains(w->geometry()), name + " outside its parent");
                if (auto* c = qobject_cast<QCheckBox*>(w))
                    check(c->sizeHint().width() <= c->width(), name + " caption");
                if (auto* b = qobject_cast<QPushButton*>(w)) {
                    const QString text = QString(b->text()).remove('&');
                    check(b->fontMetrics().horizontalAdvance(text) + 6 <= b->width(),
                          name + " caption");
                }
                if (auto* g = qobject_cast<QGroupBox*>(w)) {
                    QStyleOptionGroupBox opt;
                    opt.initFrom(g);
                    opt.text = g->title();
                    opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
                    const QRect label = g->style()->subControlRect(QStyle::CC_GroupBox, &opt,
                                                                   QStyle::SC_GroupBoxLabel, g);
                    check(label.right() < g->width(), name + " title");
                }
                // Siblings do not overlap, except the mode boxes over the tab row.
                if (w->isHidden() || w->objectName() == "PageControl1") continue;
                for (QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                    if (other == w || other->isHidden() || other->objectName().isEmpty() ||
                        other->objectName() == "PageControl1" || other->isWindow())
                        continue;
                    check(!w->geometry().intersects(other->geometry()),
                          name + " overlaps " + other->objectName());
                }
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    }

    void hintsGoToTheStatusBar() {
        start();
        form_->ApplyGerman();
        form_->showStatusHint("something");
        emit form_->menuBar()->hovered(get<QMenu>("MenuHelp")->menuAction());
        QCOMPARE(form_->statusText(), QString());
        form_->ApplyEnglish();
        emit form_->menuBar()->hovered(get<QMenu>("MenuHelp")->menuAction());
        QCOMPARE(form_->statusText(), QString("Not available jet"));
        emit get<QMenu>("MenuTools")->hovered(get<QAction>("CurvePlus"));
        QCOMPARE(form_->statusText(), QString("Add 1 degree to Advance"));

        // A box without a hint of its own takes its group box's, also as its tooltip.
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(get<QCheckBox>("CheckBoxAktBlok"), &enter);
        QCOMPARE(form_->statusText(), QString("Checked items means activation by closing"));
        QCOMPARE(get<QCheckBox>("CheckBoxAktBlok")->toolTip(), QString("Activation by closing "));
        QApplication::sendEvent(get<QLabel>("Label9"), &enter);
        QCOMPARE(form_->statusText(), QString());
        QCOMPARE(get<QLabel>("Label1")->toolTip(), QString("Round per Minute"));
        QCOMPARE(get<QComboBox>("ComboBox1")->toolTip(), QString()); // hint, but no tooltips
        QApplication::sendEvent(get<QComboBox>("ComboBox1"), &enter);
        QCOMPARE(form_->statusText(), QString("Keying system"));
    }

    void badInputIsRefused() {
        start();
        const QString binary = QString::fromLatin1("\x01\x7f\xff 12\t\x02", 8);
        const QString tooLong(10000, QChar('9'));
        for (const QString& bad : {QString("abc"), tooLong, QString("-5"), binary, QString(),
                                   QString("1e3"), QString("12 34 5")}) {
            for (const PairSpec& s : pairTable()) edit(s.edit.c_str())->setText(bad);
            form_->Edit1Exit();
            for (const PairSpec& s : pairTable()) {
                const auto value =
                    parsePosition(edit(s.edit.c_str())->text(), s.grouping, s.min, s.max);
                QVERIFY2(value.has_value(), s.edit.c_str());
            }
        }
    }

    void numberTexts() {
        QCOMPARE(formatPosition(15000, true), grouped(15, 0));
        QCOMPARE(formatPosition(999, true), QString("999"));
        QCOMPARE(formatPosition(1000, false), QString("1000"));
        QCOMPARE(parsePosition(grouped(20, 100), true, 300, 20100), 20100);
        QCOMPARE(parsePosition(" 700 ", true, 300, 20100), 700);
        QCOMPARE(parsePosition(grouped(1, 0), false, 0, 5000), std::nullopt);
        QCOMPARE(parsePosition("20101", true, 300, 20100), std::nullopt);
        QCOMPARE(parsePosition("+5", true, 0, 10), std::nullopt);
        QCOMPARE(parsePosition(groupSeparator() + "5", true, 0, 10), std::nullopt);
        QLocale::setDefault(QLocale(QLocale::Czech));
        QCOMPARE(formatPosition(15000, true), QString::fromUtf8("15\u00a0000"));
        QCOMPARE(parsePosition("15 000", true, 999, 25000), 15000); // a typed plain blank
        QLocale::setDefault(QLocale::system());
    }

    void closeButtonAndSigtermWriteTheSameFile() {
        auto run = [this](bool bySignal) -> QByteArray {
            QFile::remove(iniPath());
            start();
            type(edit("Edit12"), "33");
            get<QTabWidget>("PageControl1")->setCurrentIndex(3);
            if (bySignal) {
                TerminationSignals handler([this](int) { form_->close(); });
                if (!handler.installed()) return QByteArray();
                ::raise(SIGTERM);
                if (!QTest::qWaitFor([this] { return form_->closed(); })) return QByteArray();
            } else {
                form_->close();
            }
            return test::readAll(iniPath());
        };
        const QByteArray byClose = run(false);
        const QByteArray bySignal = run(true);
        QVERIFY(byClose.contains("Advance2=33"));
        QVERIFY(byClose.contains("ActivePage =4"));
        QCOMPARE(bySignal, byClose);
    }

    // The built program on a fresh settings folder, stopped by SIGTERM: every entry is
    // written, and the calibration is the seventh model's default as the window showed it.
    void programEndsOnSigterm() {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationDirPath() + "/../../velmora52", {"DEUTSCH"});
        QVERIFY(p.waitForStarted());
        QTest::qWait(1500);
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QByteArray text = test::readAll(iniPath());
        QVERIFY(text.contains("Language=2"));
        int entries = 0;
        for (const QByteArray& line : text.split('\n'))
            if (line.contains('=') && !line.startsWith('[')) ++entries;
        QCOMPARE(entries, 207);

        // The same start in this process, closed at once, gives the expected calibration.
        start();
        form_->FormClose();
        Calibration expected = cal();
        QCOMPARE(expected[Klicovani], 6);
        ProfileStore store(iniPath().toStdString());
        WindowSettings ws;
        Calibration stored{};
        for (std::uint8_t& b : stored.v) b = 0xA5; // what a missing key would leave
        loadSettings(store, ws, stored);
        for (const SettingsKey& k : calibrationKeys())
            QVERIFY2(stored[k.param] == expected[k.param], paramName(k.param));
    }

    void exchangesWithTheSimulatedUnit() {
        simtest::SimProcess unit(std::vector<std::string>{});
        QVERIFY(unit.started());
        window_->writeIni(QString("[FORM_HLAV]\nComPort=1\n[PORTS]\nCOM1=%1\n")
                              .arg(QString::fromStdString(unit.linkPath())));

        start();
        QVERIFY(window_->messages.isEmpty());
        QVERIFY(get<QAction>("MenuCom1")->isChecked());
        QTRY_VERIFY(get<QLabel>("LabelSpojeni")->isHidden()); // monitor frames arrive
        get<QPushButton>("Button1")->click();
        QCOMPARE(get<QLabel>("LabelFile2")->text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(get<QLabel>("LabelHlaseni")->text(), QString("Verifikace OK"),
                                  15000);
        QCOMPARE(get<QLabel>("LabelVerze1")->text(), QString("VLM52"));
        QVERIFY(get<QWidget>("ProgressBar1")->isHidden());

        get<QCheckBox>("CheckBoxProgHned")->click();
        updown("UpDown11")->stepBy(1);
        QTRY_COMPARE_WITH_TIMEOUT(get<QLabel>("LabelHlaseni")->text(), QString("Programování OK"),
                                  15000);
        form_->close();
    }

    // Closing by Exit or the close button when the settings cannot be written: the user may
    // keep the window, try again or close anyway; a signal closes without asking.
    void failedSettingsWriteAsksAtClose() {
        start();
        QStringList asked;
        std::vector<TFormHlav::SaveFailedChoice> answers;
        const auto answer = [&](const QString& text) {
            asked << text;
            const auto choice = answers.front();
            answers.erase(answers.begin());
            if (answers.empty()) QDir(iniPath()).removeRecursively(); // the fault goes away
            return choice;
        };
        form_->askSaveFailed = answer;
        QFile::remove(iniPath());
        QVERIFY(QDir().mkpath(iniPath())); // a directory where the file should go

        answers = {TFormHlav::SaveFailedChoice::KeepOpen, TFormHlav::SaveFailedChoice::Retry};
        QVERIFY(!form_->close());
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked.first().contains(iniPath()));
        QVERIFY(!form_->closed());
        QVERIFY(form_->isVisible());
        QVERIFY(get<QTimer>("Timer1")->isActive());
        type(edit("Edit12"), "31"); // the window still works
        leaveTo(edit("Edit13"));
        QCOMPARE(cal()[static_cast<Param>(Advance1 + 1)], 31);

        QVERIFY(form_->close()); // retried once the directory is gone
        QCOMPARE(asked.size(), 2);
        QVERIFY(form_->closed());
        QVERIFY(test::readAll(iniPath()).contains("Advance2=31"));

        // Close anyway, and a signal that cannot ask.
        for (const bool bySignal : {false, true}) {
            QFile::remove(iniPath());
            start();
            form_->askSaveFailed = answer;
            asked.clear();
            answers = {TFormHlav::SaveFailedChoice::CloseAnyway,
                       TFormHlav::SaveFailedChoice::Retry};
            QFile::remove(iniPath());
            QVERIFY(QDir().mkpath(iniPath()));
            if (bySignal)
                form_->closeWithoutAsking();
            else
                form_->close();
            QVERIFY(form_->closed());
            QCOMPARE(asked.size(), bySignal ? 0 : 1);
            QVERIFY(QDir().rmdir(iniPath()));
        }
    }
};

QTEST_MAIN(FormTest)
#include "form_test.moc"
