// The wide-band lambda controller as the user meets it: its part of the port dialog and what
// that keeps in the settings, the status-bar field, and its readings in the live samples.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <set>

#include "../link/test_pty.h"
#include "link/frame.h"
#include "ui/main_window/form_hlav.h"
#include "ui/ports/port_dialog.h"
#include "ui/ports/port_settings.h"
#include "ui/ports/wideband_port.h"
#include "window_fixture.h"

using namespace velmora;
using namespace velmora::ui;
using velmora::test::readAll;
using velmora::test::writeAll;

namespace {

QString dev(const Pty& pty) {
    return QString::fromStdString(pty.slavePath);
}

// The file without the lines of one section.
QByteArray withoutSection(const QByteArray& ini, const QByteArray& section) {
    QByteArray out;
    bool inside = false;
    for (const QByteArray& line : ini.split('\n')) {
        if (line.startsWith('[')) inside = line.trimmed() == "[" + section + "]";
        if (!inside) out += line + '\n';
    }
    return out;
}

QString english(lang::PortText t) {
    return portQText(t, 1);
}

} // namespace

class WidebandTest : public test::WindowTest {
    Q_OBJECT

private:
    std::uint64_t now_ = 100000;

    WidebandPort& wideband() const { return *window_->addOns().wideband(); }
    TFormHlav& start() {
        form_ = &window_->start({}, test::WindowFixture::With::AddOns, [this] {
            window_->form().link().clockMs = [this] { return now_; };
        });
        return *form_;
    }
    // Fills in the controller's part of the port dialog and confirms it; returns the problem
    // the dialog showed (it is then cancelled), or "" when it closed.
    QString confirm(const QString& path, int protocol, const QString& stoich, bool afr) {
        QString problem;
        bool ran = false;
        QTimer::singleShot(0, this, [&] {
            auto* d = form_->findChild<PortDialog*>();
            if (d == nullptr) return;
            test::get<QLineEdit>(*d, "WidebandPath")->setText(path);
            test::get<QComboBox>(*d, "WidebandProtocol")->setCurrentIndex(protocol);
            test::get<QLineEdit>(*d, "WidebandStoich")->setText(stoich);
            test::get<QCheckBox>(*d, "WidebandShowAfr")->setChecked(afr);
            d->accept();
            if (d->isVisible()) {
                problem = d->problem();
                d->reject();
            }
            ran = true;
        });
        window_->addOns().ports().showDialog();
        if (!ran) return "the dialog did not open";
        return problem;
    }

private slots:
    // Only a reading with lambda shows a number, in every language; every other state has
    // words of its own.
    void statusFieldShowsANumberOnlyWithLambda() {
        WidebandReading ok;
        ok.state = WidebandState::Ok;
        ok.lambda = 0.98;
        using Port = WidebandView::Port;
        for (std::uint8_t language = 0; language < 3; ++language) {
            QCOMPARE(widebandStatusText({Port::Open, ok, false, false, 14.7}, language),
                     QString("λ 0.98"));
            QCOMPARE(widebandStatusText({Port::Reopened, ok, false, true, 14.7}, language),
                     QString("AFR 14.4"));
            QVERIFY(widebandStatusText({Port::None, ok, false, false, 14.7}, language).isEmpty());

            std::vector<WidebandView> noLambda;
            for (WidebandState s :
                 {WidebandState::NoReading, WidebandState::WarmingUp, WidebandState::Calibrating,
                  WidebandState::SensorError, WidebandState::Invalid}) {
                WidebandReading r = ok; // a lambda left in a reading of another state
                r.state = s;
                r.detail = 42;
                noLambda.push_back({Port::Open, r, false, false, 14.7});
            }
            noLambda.push_back({Port::Open, std::nullopt, true, false, 14.7});
            noLambda.push_back({Port::CannotOpen, std::nullopt, false, false, 14.7});
            noLambda.push_back({Port::Lost, ok, false, false, 14.7});
            noLambda.push_back({Port::Reopened, std::nullopt, false, false, 14.7});
            std::set<QString> texts;
            for (const WidebandView& v : noLambda) {
                const QString t = widebandStatusText(v, language);
                QVERIFY2(!t.isEmpty() && !t.contains(QRegularExpression("[0-9]")), qPrintable(t));
                texts.insert(t);
            }
            QCOMPARE(texts.size(), noLambda.size()); // each says something of its own
            WidebandReading okWithout = ok;
            okWithout.lambda.reset();
            QVERIFY(!widebandStatusText({Port::Open, okWithout, false, false, 14.7}, language)
                         .contains(QRegularExpression("[0-9]")));
        }
    }

    // What the dialog takes goes into [WIDEBAND] and nowhere else; what it refuses changes
    // nothing at all.
    void dialogKeepsTheControllerInItsOwnSection() {
        Pty unit, controller;
        writeAll(window_->iniPath(), QString("[FORM_HLAV]\nLeft=12\nTop=34\nComPort=1\nLanguage=1\n"
                                             "ActivePage =2\n[IGNITION]\nOmez1=120\n[PORTS]\n"
                                             "COM1=%1\n")
                                         .arg(dev(unit))
                                         .toUtf8());
        start();
        const QByteArray before = readAll(window_->iniPath());
        const QString wb = dev(controller);
        const struct {
            QString path;
            int protocol;
            QString stoich;
            bool afr;
            QStringList refusal; // parts of the problem shown; empty: taken
            QByteArray stored;   // the section as it must then read
        } rows[] = {
            {wb,
             1,
             "14.7",
             false,
             {},
             "Device=" + wb.toUtf8() + "\nProtocol=mts\nStoichAfr=14.7\nShowAfr=0\n"},
            {"", 2, " 6,4 ", true, {}, "Device=\nProtocol=aem\nStoichAfr=6.4\nShowAfr=1\n"},
            {wb, 4, "30", false, {"\"30\"", "25"}, {}},
            {wb, 0, "abc", false, {"\"abc\"", "5"}, {}},
            {"/dev/velmora-none", 0, "14.7", false, {"/dev/velmora-none does not exist"}, {}},
            {dev(unit), 0, "14.7", false, {"unit's port"}, {}},
            {wb,
             4,
             "25",
             true,
             {},
             "Device=" + wb.toUtf8() + "\nProtocol=line\nStoichAfr=25\nShowAfr=1\n"},
        };
        for (const auto& row : rows) {
            const QByteArray was = readAll(window_->iniPath());
            const QString problem = confirm(row.path, row.protocol, row.stoich, row.afr);
            const QByteArray after = readAll(window_->iniPath());
            if (!row.refusal.isEmpty()) {
                for (const QString& part : row.refusal)
                    QVERIFY2(problem.contains(part), qPrintable(row.stoich + ": " + problem));
                QCOMPARE(after, was);
                continue;
            }
            QCOMPARE(problem, QString());
            QVERIFY2(after.contains("[WIDEBAND]\n" + row.stored), after.constData());
            QCOMPARE(withoutSection(after, "WIDEBAND"), withoutSection(before, "WIDEBAND"));
            QCOMPARE(wideband().reader().isOpen(), !row.path.isEmpty());
            QCOMPARE(wideband().statusField()->isVisibleTo(form_), !row.path.isEmpty());
        }
        QCOMPARE(wideband().reader().device(), wb.toStdString());
        QCOMPARE(form_->serialPort().path(), unit.slavePath);
        QVERIFY(window_->messages.isEmpty());
    }

    // A controller plugged in after the start is opened; its readings reach the unit's live
    // samples by the link's clock, the field follows them, and an unplugged controller shows as
    // lost, never with its last value.
    void readingsReachTheLiveSamplesAndTheField() {
        Pty controller;
        const QString plug = window_->path("controller"); // plugged in after the start
        writeAll(window_->iniPath(),
                 QString("[FORM_HLAV]\nLanguage=1\n[WIDEBAND]\nDevice=%1\nProtocol=line\n")
                     .arg(plug)
                     .toUtf8());
        start();
        QLabel* field = get<QLabel>("LabelWideband");
        QVERIFY(field->isVisibleTo(form_));
        QCOMPARE(field->text(), english(lang::PortText::WbCannotOpen));
        QVERIFY(field->toolTip().contains(plug));
        QVERIFY(QFile::link(dev(controller), plug));
        now_ += Reconnector::RetryMs;
        QTRY_COMPARE(field->text(), english(lang::PortText::WbNoReading));
        std::vector<EngineSample> samples;
        const Subscription sub =
            form_->link().samples().subscribe([&](const EngineSample& s) { samples.push_back(s); });
        const auto feed = [&] {
            std::uint8_t data[20] = {0x03, 0xE8};
            return form_->link().monitorFrame(makeFrame(0xB0, data));
        };

        // The first line only brings the stream in step.
        controller.send({'0', '.', '9', '7', '\n', '0', '.', '9', '8', '\n'});
        QTRY_COMPARE(field->text(), QString("λ 0.98"));
        now_ += 150;
        QVERIFY(feed());
        QVERIFY(samples.back().widebandConnected);
        QCOMPARE(samples.back().widebandLambda.value_or(0), 0.98);
        QCOMPARE(samples.back().widebandAgeMs.value_or(0), 150u);
        now_ += 51;
        QTRY_COMPARE(field->text(), english(lang::PortText::WbNoReading));

        controller.send({'1', '.', '0', '5', '\n'});
        QTRY_COMPARE(field->text(), QString("λ 1.05"));
        QSignalSpy lost(&wideband(), &WidebandPort::portLost);
        controller.hangUp();
        QVERIFY(feed());
        QVERIFY(!samples.back().widebandLambda.has_value());
        QTRY_COMPARE(field->text(), english(lang::PortText::WbLost));
        QCOMPARE(lost.count(), 1);

        get<QAction>("MenuCzech")->trigger();
        QCOMPARE(field->text(), portQText(lang::PortText::WbLost, 0));
        QCOMPARE(wideband().apply({}), QString());
        QVERIFY(!field->isVisibleTo(form_));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    WidebandTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "wideband_test.moc"
