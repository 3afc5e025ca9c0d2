// The menus of the fully assembled window in the three languages: the order and access keys of
// the menu bar, the ellipsis of items that open a window, one caption per command, the status
// bar hints of the View menu, notices longer than the status bar, and the ignition curve window.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QStatusBar>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

#include "tests/common/frames.h"
#include "ui/log/log_menu.h"
#include "ui/main_window/form_hlav.h"
#include "ui/main_window/form_shared.h"
#include "ui/map/curve_window.h"
#include "ui/map/map_workbench.h"
#include "window_fixture.h"

using namespace velmora;
using namespace velmora::ui;
using velmora::test::accessKey;

namespace {

struct Language {
    const char* item; // the Language menu's item
    QStringList bar;  // the menu bar, left to right
};

// The window's own menus keep their captions and their order; Edit and View follow File, Log
// follows Tools.
const Language Languages[] = {
    {"MenuCzech",
     {"&Soubor", "Úp&ravy", "Z&obrazit", "&Port", "&Zapalování", "Po&můcky", "Zázn&am", "&Jazyk",
      "&Nápověda"}},
    {"MenuEnglish",
     {"&File", "&Edit", "&View", "&Com", "&Device", "&Tools", "L&og", "&Language", "&Help"}},
    {"MenuGerman",
     {"&Datei", "&Bearbeiten", "A&nsicht", "&ComPort", "&Zündbox", "&Werkzeug", "&Aufzeichnung",
      "&Sprache", "&Hilfe"}},
};

} // namespace

class MenusTest : public test::WindowTest {
    Q_OBJECT

private:
    LogMenu* log_ = nullptr;
    MapWorkbench* map_ = nullptr;

    // Assembled as the program assembles it.
    void start(const QString& data = "data") {
        window_->dataFolder = window_->path(data);
        form_ = &window_->start({"ENGLISH"});
        log_ = window_->addOns().log();
        map_ = window_->addOns().map();
    }
    // Through the window's own call, as the command line does: no menu item, no tick.
    void choose(const Language& l) {
        if (l.item == std::string("MenuCzech")) form_->ApplyCzech();
        if (l.item == std::string("MenuEnglish")) form_->ApplyEnglish();
        if (l.item == std::string("MenuGerman")) form_->ApplyGerman();
    }
    QMenu* menu(const char* name) const { return form_->findChild<QMenu*>(name); }

private slots:
    void menuBarOrderAndAccessKeysInEveryLanguage() {
        start();
        for (const Language& l : Languages) {
            choose(l);
            QStringList bar;
            QSet<QChar> keys;
            for (QAction* a : form_->menuBar()->actions()) {
                bar << a->text();
                const QChar k = accessKey(a->text());
                QVERIFY2(!k.isNull() && !keys.contains(k), qPrintable(a->text()));
                keys.insert(k);
            }
            QCOMPARE(bar, l.bar);
        }
    }

    // Within the added menus an item that opens a window or asks something ends in "…"; no
    // caption of any menu names two commands.
    void ellipsisAndOneCaptionPerCommand() {
        start();
        const QSet<QString> opensWindow{"MenuSnapshots",    "MenuCompare",   "MenuLogMarker",
                                        "MenuLogOpen",      "MenuLogReplay", "MenuInjectionMap",
                                        "MenuIgnitionCurve"};
        for (const Language& l : Languages) {
            choose(l);
            for (const char* added : {"MenuEdit", "MenuView", "MenuLog"}) {
                for (QAction* a : menu(added)->actions()) {
                    if (a->isSeparator()) continue;
                    QVERIFY2(!a->text().contains("..."), qPrintable(a->text()));
                    QVERIFY2(a->text().endsWith(u'…') == opensWindow.contains(a->objectName()),
                             qPrintable(a->text()));
                }
            }
            QHash<QString, QString> seen; // caption without key and ellipsis -> item
            for (QMenu* m : form_->menuBar()->findChildren<QMenu*>()) {
                for (QAction* a : m->actions()) {
                    if (a->isSeparator() || a->menu() != nullptr) continue;
                    QString c = a->text().remove('&').remove(u'…').remove("...");
                    QVERIFY2(!seen.contains(c) || seen[c] == a->objectName(),
                             qPrintable(c + ": " + seen[c] + ", " + a->objectName()));
                    seen[c] = a->objectName();
                }
            }
        }
    }

    void viewItemsShowTheirHints() {
        start();
        QMenu* view = menu("MenuView");
        for (const Language& l : Languages) {
            choose(l);
            QSet<QString> hints;
            for (QAction* a : view->actions()) {
                if (a->isSeparator()) continue;
                emit view->hovered(a);
                const QString shown = form_->statusText();
                QVERIFY2(!shown.isEmpty() && !hints.contains(shown), qPrintable(a->text()));
                hints.insert(shown);
            }
            emit form_->menuBar()->hovered(view->menuAction());
            QVERIFY(!form_->statusText().isEmpty());
        }
    }

    // A notice wider than the room left of the status fields shows whole as the tooltip; a
    // failure's system text goes there too, never into a Czech or German notice.
    void longNoticesAndSystemTextsGoToTheTooltip() {
        test::writeAll(window_->path("file"), {});
        start("file/data"); // no recovery file can be written there
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_));
        const QString longText = QString("word ").repeated(60).trimmed();
        form_->showStatusHint(longText);
        QCOMPARE(form_->statusBar()->toolTip(), longText);
        form_->showStatusHint("short");
        QCOMPARE(form_->statusBar()->toolTip(), QString());

        // An automatic start of a recording into a folder that cannot exist.
        log_->logsFolder = window_->path("file/logs");
        log_->setRecordWhileConnected(true);
        const QString system = QString::fromLocal8Bit(std::strerror(ENOTDIR));
        for (const Language& l : Languages) {
            choose(l);
            form_->link().exchange().onFrame(common::monitorFrame(0, 100));
            log_->poll();
            QVERIFY2(window_->messages.isEmpty(),
                     qPrintable(window_->messages.join('\n'))); // nothing modal in the tick
            QLabel* field = log_->statusField();
            QVERIFY(field->isVisibleTo(form_));
            QVERIFY2(!field->text().contains(system), qPrintable(field->text()));
            QVERIFY(field->toolTip().contains(system));
            if (l.item != std::string("MenuEnglish"))
                QVERIFY2(!field->text().contains("Not a"), qPrintable(field->text()));
        }
        QVERIFY(log_->statusField()->text().contains("nicht gestartet"));

        // A change whose recovery file cannot be written.
        for (const Language& l : Languages) {
            choose(l);
            form_->findChild<QAction*>("CurvePlus")->trigger();
            const QString notice = form_->statusText();
            QVERIFY2(notice.contains("/recovery-") && !notice.contains(system), qPrintable(notice));
            QVERIFY(form_->statusBar()->toolTip().contains(system));
        }
        QVERIFY(!log_->recording());
    }

    // The curve window plots the calibration's ten points and puts the live dot where the
    // unit's speed and advance lie on it; the fixed picture of the Ignition page carries none.
    void ignitionCurveWithTheLiveAdvance() {
        start();
        Calibration& cal = form_->calibration();
        for (int i = 0; i < 10; ++i) {
            cal[at(RpmAdv1, i)] = static_cast<std::uint8_t>(10 + 10 * i); // 1000 .. 10,000 rpm
            cal[at(Advance1, i)] = static_cast<std::uint8_t>(5 + 3 * i);  // 5 .. 32 degrees
        }
        cal[AdvanceMax] = 40;
        form_->showParams();
        form_->findChild<QAction*>("MenuIgnitionCurve")->trigger();
        CurveWindow* w = map_->curveWindow();
        QVERIFY(w != nullptr && w->isVisible());
        CurvePlot* plot = w->plot();
        QCOMPARE(plot->axes().maxRpm, 10000);
        QCOMPARE(plot->axes().maxAdvance, 35);
        for (int i = 1; i < 10; ++i) QVERIFY(plot->pointPixel(i).x() > plot->pointPixel(i - 1).x());
        QVERIFY(plot->pointPixel(9).y() < plot->pointPixel(0).y());

        // 5,000 rpm (point 5); the advance comes with kind-1 frames only.
        const auto frame = [](int kind, std::uint8_t byte12) {
            return common::monitorFrame(kind, 400, {{12, byte12}});
        };
        form_->link().exchange().view().noConnectionVisible = false; // as the frames' tick does
        form_->link().monitorFrame(frame(0, 0));
        QVERIFY(!plot->livePixel());
        form_->link().monitorFrame(frame(1, 40 - 17)); // 17 degrees, point 5's own
        QVERIFY(plot->livePixel());
        QCOMPARE(*plot->livePixel(), plot->pointPixel(4));
        const QPoint dot = plot->livePixel()->toPoint();
        QCOMPARE(plot->grab().toImage().pixelColor(dot), QColor(200, 0, 200));

        // An edit of the curve moves its point; the dot stays at what the unit reports.
        cal[at(Advance1, 4)] = 30;
        form_->showParams();
        QVERIFY(plot->pointPixel(4).y() < plot->livePixel()->y());
        // "No Connection": the unit reports nothing, so no dot stands.
        for (int i = 0; i <= Exchange::NoMonitorLimit; ++i) form_->link().tick();
        QVERIFY(!plot->livePixel()); // at once
        QVERIFY(form_->findChild<QLabel*>("Image1")->findChildren<QWidget*>().isEmpty());
    }
};

QTEST_MAIN(MenusTest)
#include "menus_test.moc"
