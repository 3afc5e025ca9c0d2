// The port settings as the user meets them: the dialog and its Com menu item, the device in the
// Com items' hints, bad paths, the adapter offered on a first start, and the unit switched off
// and on again under a running window.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

#include "../link/test_pty.h"
#include "../sim/harness.h"
#include "ui/main_window/form_hlav.h"
#include "ui/ports/port_dialog.h"
#include "ui/ports/port_settings.h"
#include "window_fixture.h"

using namespace velmora;
using namespace velmora::ui;
using velmora::test::readAll;
using velmora::test::writeAll;

namespace {

struct FakeDevices : DeviceSource {
    std::vector<SerialDevice> list;
    std::vector<SerialDevice> devices() override { return list; }
};

SerialDevice ftdi(const std::string& path, const std::string& byId) {
    return {path, "FT232R USB UART", "FTDI", "A50285BI", 0x0403, 0x6001, byId};
}

} // namespace

class PortTest : public test::WindowTest {
    Q_OBJECT

private:
    std::shared_ptr<FakeDevices> devices_;
    QStringList offers_;
    bool acceptOffer_ = false;

    QString ini() const { return window_->iniPath(); }
    PortSettings& ports() const { return window_->addOns().ports(); }
    TFormHlav& start(const QStringList& arguments = {}) {
        form_ = &window_->start(arguments, test::WindowFixture::With::AddOns, [this] {
            ports().setDeviceSource(devices_);
            ports().askOpenDialog = [this](const QString& text) {
                offers_ << text;
                return acceptOffer_;
            };
        });
        form_->show();
        return *form_;
    }
    void stop() {
        window_->stop();
        form_ = nullptr;
    }
    // What the status bar shows while the mouse rests on a menu item.
    QString hintOf(const char* item) {
        auto* menu = get<QMenu>("MenuCom");
        emit menu->hovered(get<QAction>(item));
        return form_->statusText();
    }
    // Runs `step` on the port dialog once it is open (it is modal).
    void whenDialogOpens(std::function<void(PortDialog&)> step) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timer, step] {
            auto* d = form_ ? form_->findChild<PortDialog*>() : nullptr;
            if (d == nullptr || !d->isVisible()) return;
            timer->stop();
            timer->deleteLater();
            step(*d);
        });
        timer->start(20);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}) { window_->key(k, modifiers); }
    QString message() const { return get<QLabel>("LabelHlaseni")->text(); }

private slots:
    void init() {
        WindowTest::init();
        devices_ = std::make_shared<FakeDevices>();
        offers_.clear();
        acceptOffer_ = false;
    }
    void menuItemAndComHintsFollowTheLanguage() {
        Pty pty;
        writeAll(ini(),
                 QString("[FORM_HLAV]\nLanguage=1\n[PORTS]\nCOM2=%1\nCOM3=/dev/velmora-gone\n")
                     .arg(QString::fromStdString(pty.slavePath))
                     .toUtf8());
        start();
        QMenu* com = get<QMenu>("MenuCom");
        const QList<QAction*> items = com->actions();
        QCOMPARE(items.size(), 8);
        QCOMPARE(items[5]->objectName(), QString("MenuCom6"));
        QVERIFY(items[6]->isSeparator());
        QAction* item = get<QAction>("MenuPortSettings");
        QCOMPARE(items[7], item);
        QCOMPARE(item->shortcut(), QKeySequence("Ctrl+Shift+P"));
        QVERIFY(!item->isCheckable());

        const QString dev = QString::fromStdString(pty.slavePath);
        const struct {
            const char* menuItem;
            QString caption, com2;
        } languages[] = {
            {"MenuCzech", "Nastavení portu…", "Nastavení komunikace na port com 2 — " + dev},
            {"MenuGerman", "Port-Einstellungen…", "Com 2 festzustellen — " + dev},
            {"MenuEnglish", "Port settings…", "Set com 2 — " + dev},
        };
        for (int round = 0; round < 2; ++round) { // switching back and forth adds nothing twice
            for (const auto& l : languages) {
                get<QAction>(l.menuItem)->trigger();
                QCOMPARE(item->text(), l.caption);
                QCOMPARE(hintOf("MenuCom2"), l.com2);
                QVERIFY(hintOf("MenuCom1").endsWith(" — /dev/ttyS0"));
                QVERIFY(hintOf("MenuCom3").endsWith(" — /dev/velmora-gone"));
                QCOMPARE(hintOf("MenuCom6"), QString("/dev/ttyS5")); // no hint of its own
            }
        }
        QVERIFY(window_->messages.isEmpty()); // ComPort 0: nothing opened, nothing said
    }

    // The dialog lists the slots and the devices, fills the path from a device, refuses a bad
    // path in place, and a confirmed choice is written, checked and opened.
    void dialogChoosesTheDeviceOfASlot() {
        Pty pty, adapter;
        const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        devices_->list = {ftdi(adapter.slavePath, byId.toStdString()),
                          {"/dev/ttyS0", "", "", "", std::nullopt, std::nullopt, ""}};
        const QByteArray before = "; mine\n[FORM_HLAV]\nLanguage=1\nComPort=3\n"
                                  "[PORTS]\nCOM3=/dev/velmora-gone\n";
        writeAll(ini(), before);
        start();
        QCOMPARE(window_->messages.size(), 1); // COM3's device is gone
        window_->messages.clear();

        bool checked = false;
        whenDialogOpens([&](PortDialog& d) {
            auto* slotRows = d.findChild<QTableWidget*>("PortSlots");
            QCOMPARE(slotRows->rowCount(), 6);
            QCOMPARE(slotRows->item(2, 1)->text(), QString("/dev/velmora-gone"));
            QCOMPARE(slotRows->item(2, 2)->text(), QString("missing"));
            QCOMPARE(d.chosenSlot(), 3); // the port in use
            auto* list = d.findChild<QTableWidget*>("PortDevices");
            QCOMPARE(list->rowCount(), 2);
            QCOMPARE(list->item(0, 4)->text(), QString("0403:6001"));
            QCOMPARE(list->item(0, 5)->text(), byId);
            // A USB adapter is taken by its stable name, another device by its path.
            emit list->cellClicked(0, 0);
            QCOMPARE(d.chosenPath(), byId);
            emit list->cellClicked(1, 0);
            QCOMPARE(d.chosenPath(), QString("/dev/ttyS0"));

            // A device that appears while the dialog is open shows up by itself.
            devices_->list.push_back(ftdi("/dev/ttyUSB7", ""));
            QTRY_COMPARE_WITH_TIMEOUT(list->rowCount(), 3, 3000);

            d.setChosen(2, window_->folder());
            d.findChild<QPushButton*>("PortOk")->click();
            QVERIFY(d.isVisible());
            QVERIFY(d.problem().contains("is a folder"));
            QCOMPARE(readAll(ini()), before);

            emit d.findChild<QTableWidget*>("PortSlots")->cellClicked(1, 0);
            d.findChild<QLineEdit*>("PortPath")->setText(QString::fromStdString(pty.slavePath));
            d.findChild<QPushButton*>("PortOk")->click();
            checked = true;
        });
        get<QAction>("MenuPortSettings")->trigger();
        QVERIFY(checked);
        QVERIFY(window_->messages.isEmpty());
        // The choice is in the file at once, as [PORTS] is, so that a crash keeps it.
        QByteArray expected = before + "COM2=" + QByteArray::fromStdString(pty.slavePath) + "\n";
        expected.replace("ComPort=3", "ComPort=2");
        QCOMPARE(readAll(ini()), expected);
        QCOMPARE(form_->ComPort, 2);
        QVERIFY(get<QAction>("MenuCom2")->isChecked());
        QVERIFY(!get<QAction>("MenuCom3")->isChecked());
        QVERIFY(form_->serialPort().isOpen());
        QCOMPARE(form_->serialPort().path(), pty.slavePath);
        QCOMPARE(hintOf("MenuCom2"), "Set com 2 — " + QString::fromStdString(pty.slavePath));

        // Cancel changes nothing.
        const QByteArray chosen = readAll(ini());
        whenDialogOpens([](PortDialog& d) {
            d.setChosen(5, "/dev/ttyS0");
            d.findChild<QPushButton*>("PortCancel")->click();
        });
        get<QAction>("MenuPortSettings")->trigger();
        QCOMPARE(readAll(ini()), chosen);
        QCOMPARE(form_->ComPort, 2);
        QCOMPARE(form_->serialPort().path(), pty.slavePath);

        // A Com item writes the port alone; the rest waits for the close.
        get<QAction>("MenuCom5")->trigger();
        window_->messages.clear();
        expected.replace("ComPort=2", "ComPort=5");
        QCOMPARE(readAll(ini()), expected);
    }

    // Bad input gives a clear reason and leaves the file, the choice and the open port alone.
    void badPathsChangeNothing() {
        Pty pty;
        const QByteArray before = QString("[FORM_HLAV]\nLanguage=1\nComPort=1\n[PORTS]\nCOM1=%1\n")
                                      .arg(QString::fromStdString(pty.slavePath))
                                      .toUtf8();
        writeAll(ini(), before);
        writeAll(window_->path("plain.txt"), "x");
        start();
        QVERIFY(form_->serialPort().isOpen());
        const struct {
            QString path;
            const char* reason;
        } cases[] = {
            {window_->folder(), "is a folder"},
            {window_->path("plain.txt"), "is a plain file"},
            {"/dev/null", "is not a serial device"},
            {"/dev/ttyS0\n[FORM_HLAV]", "control character"},
            {QString(10000, 'a'), "too long"},
            {"/dev/velmora-gone", "does not exist"},
            {"", "Type the path"},
        };
        for (const auto& c : cases) {
            for (int slot : {1, 4}) {
                const QString why = ports().apply(slot, c.path);
                QVERIFY2(why.contains(c.reason), qPrintable(why));
                QVERIFY(why.size() < 200);
                QCOMPARE(readAll(ini()), before);
                QCOMPARE(form_->ComPort, 1);
                QVERIFY(form_->serialPort().isOpen());
                QCOMPARE(form_->serialPort().path(), pty.slavePath);
            }
        }
        QVERIFY(window_->messages.isEmpty());
    }

    // A default device that is not there while exactly one USB adapter is: the box names the
    // adapter and offers the dialog, which opens with the adapter chosen for that port.
    void missingDefaultDeviceOffersTheOneAdapter() {
        int slot = 0;
        for (int i = 1; i <= 6 && slot == 0; ++i)
            if (!QFile::exists(QString("/dev/ttyS%1").arg(i - 1))) slot = i;
        if (slot == 0) QSKIP("every /dev/ttyS0..5 exists here");
        const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        devices_->list = {ftdi("/dev/ttyUSB0", byId.toStdString())};
        writeAll(ini(), QString("[FORM_HLAV]\nLanguage=1\nComPort=%1\n").arg(slot).toUtf8());
        acceptOffer_ = true;
        QString chosen;
        int chosenSlot = 0;
        whenDialogOpens([&](PortDialog& d) {
            chosen = d.chosenPath();
            chosenSlot = d.chosenSlot();
            d.reject();
        });
        start();
        QVERIFY(window_->messages.isEmpty());
        QCOMPARE(offers_.size(), 1);
        QCOMPARE(offers_[0].section('\n', 0, 0), QString("Com opening error"));
        QVERIFY2(offers_[0].contains("/dev/ttyUSB0 (FT232R USB UART)"), qPrintable(offers_[0]));
        QTRY_COMPARE(chosen, byId);
        QCOMPARE(chosenSlot, slot);

        // Two adapters: which one is for the user to say; the plain box names both.
        stop();
        offers_.clear();
        devices_->list.push_back(ftdi("/dev/ttyUSB1", ""));
        start();
        QVERIFY(offers_.isEmpty());
        QCOMPARE(window_->messages.size(), 1);
        QVERIFY(window_->messages[0].contains("/dev/ttyUSB0 (FT232R USB UART), /dev/ttyUSB1"));
    }

    void firstStartOffersTheOneAdapter() {
        devices_->list = {ftdi("/dev/ttyUSB0", "")};
        start({"ENGLISH"});
        QTRY_COMPARE(offers_.size(), 1);
        QVERIFY(offers_[0].contains("A USB serial adapter is connected: /dev/ttyUSB0"));
        QVERIFY(window_->messages.isEmpty());

        // Not on later starts.
        form_->FormClose();
        stop();
        offers_.clear();
        QVERIFY(QFile::exists(ini()));
        start({"ENGLISH"});
        QTest::qWait(50);
        QVERIFY(offers_.isEmpty());
    }

    // The whole road against the simulated unit: the pty chosen in the dialog's path field,
    // a read, then the unit switched off and on again in each language with the port reopened
    // by itself, and a read that works without touching the Com menu.
    void unitSwitchedOffAndOnIsReopenedByItself() {
        simtest::SimProcess unit(std::vector<std::string>{});
        QVERIFY(unit.started());
        const QString link = QString::fromStdString(unit.linkPath());
        writeAll(ini(), "[FORM_HLAV]\nLanguage=1\n");
        start();
        whenDialogOpens([&](PortDialog& d) {
            d.findChild<QComboBox*>("PortSlot")->setCurrentIndex(0);
            d.findChild<QLineEdit*>("PortPath")->setText(link);
            d.findChild<QPushButton*>("PortOk")->click();
        });
        key(Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(form_->ComPort, 1);
        QVERIFY(readAll(ini()).contains("[PORTS]\nCOM1=" + link.toUtf8() + "\n"));
        key(Qt::Key_F7);
        QTRY_COMPARE_WITH_TIMEOUT(message(), QString("Verify OK"), 15000);

        // Switched off in the middle of a read: the read ends in red as it always did.
        key(Qt::Key_F7);
        QVERIFY(unit.stop() == 0);
        QTRY_COMPARE_WITH_TIMEOUT(message(), QString("Read error!"), 5000);

        const struct {
            const char* menuItem;
            QString lost, back;
        } languages[] = {
            {"MenuEnglish", "COM1 (%1) lost — waiting for it", "COM1 (%1) is back — port reopened"},
            {"MenuCzech", "COM1 (%1) ztraceno — čekám na připojení",
             "COM1 (%1) je zpět — port znovu otevřen"},
            {"MenuGerman", "COM1 (%1) verloren — warte darauf",
             "COM1 (%1) ist zurück — Port wieder geöffnet"},
        };
        bool first = true;
        for (const auto& l : languages) {
            get<QAction>(l.menuItem)->trigger();
            if (!first) QVERIFY(unit.stop() == 0);
            first = false;
            QTRY_COMPARE_WITH_TIMEOUT(form_->statusText(), l.lost.arg(link), 3000);
            QTest::qWait(600); // the wait goes on while the unit is away
            QCOMPARE(form_->statusText(), l.lost.arg(link));
            QVERIFY(!form_->serialPort().isOpen());
            QVERIFY(unit.restart());
            QElapsedTimer back;
            back.start();
            QTRY_COMPARE_WITH_TIMEOUT(form_->statusText(), l.back.arg(link), 5000);
            qInfo("unit back to port reopened: %lld ms", static_cast<long long>(back.elapsed()));
            QVERIFY(form_->serialPort().isOpen());
        }
        get<QAction>("MenuEnglish")->trigger();
        key(Qt::Key_F7);
        QTRY_COMPARE_WITH_TIMEOUT(message(), QString("Verify OK"), 15000);
        QVERIFY(window_->messages.isEmpty());

        // A port the user changed is not reopened behind their back.
        QVERIFY(unit.stop() == 0);
        QTRY_VERIFY_WITH_TIMEOUT(form_->statusText().contains("lost"), 3000);
        get<QAction>("MenuCom2")->trigger(); // /dev/ttyS1, whatever becomes of it
        window_->messages.clear();
        QVERIFY(unit.restart());
        QTest::qWait(1500);
        QCOMPARE(form_->ComPort, 2);
        QVERIFY(form_->serialPort().path() != link.toStdString());
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PortTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "port_test.moc"
