// The program end to end: the real window against the simulated unit on a pseudo-terminal,
// the parameter file through its dialogs, printing, the manual, and bad input.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <random>
#include <stdlib.h>
#include <unistd.h>

#include "files/param_file.h"
#include "model/clamp.h"
#include "model/defaults.h"
#include "model/pairs.h"
#include "test_dir.h"
#include "tests/sim/harness.h"
#include "ui/main_window/arrows.h"
#include "ui/main_window/form_hlav.h"
#include "ui/main_window/number_text.h"
#include "window_fixture.h"

using namespace velmora;
using namespace velmora::ui;
using velmora::test::readAll;
using velmora::test::writeAll;

namespace {

QString binDir() {
    return QCoreApplication::applicationDirPath() + "/../..";
}

// The simulated unit; its image is written to unit.img at every completed programming and at
// exit.
struct SimUnit : simtest::SimProcess {
    explicit SimUnit(std::vector<std::string> options) : SimProcess(savingImage(options)) {}
    static std::vector<std::string> savingImage(std::vector<std::string> o) {
        o.insert(o.begin(), {"--save-image", "{dir}/unit.img"});
        return o;
    }
    QString link() const { return QString::fromStdString(linkPath()); }
    QByteArray image() const { return readAll(QString::fromStdString(file("unit.img"))); }
};

QByteArray bytesOf(const Image& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()),
                      static_cast<qsizetype>(image.size()));
}

} // namespace

class EndToEndTest : public test::WindowTest {
    Q_OBJECT

private:
    QString path(const QString& name) const { return window_->path(name); }
    static bool simBuilt() { return QFile::exists(binDir() + "/velmora52-sim"); }

    // The settings: English, and COM1 on `link` when given.
    void writeSettings(const QString& link, int comPort = 1) {
        QString ini =
            QString("[FORM_HLAV]\nLanguage=1\nComPort=%1\n").arg(link.isEmpty() ? 0 : comPort);
        if (!link.isEmpty()) ini += QString("[PORTS]\nCOM1=%1\nCOM2=%2\n").arg(link, path("none"));
        window_->writeIni(ini);
    }
    // The program as it runs: the window with every add-on.
    TFormHlav& start() {
        form_ = &window_->start();
        window_->activate();
        return *form_;
    }
    QLabel* hlaseni() const { return get<QLabel>("LabelHlaseni"); }
    QStringList editTexts() const {
        QStringList texts;
        for (const PairSpec& s : pairTable()) texts << get<QLineEdit>(s.edit.c_str())->text();
        return texts;
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}) { window_->key(k, modifiers); }
    bool shownInRed(QLabel* l) const {
        return l->autoFillBackground() && l->palette().color(QPalette::Window) == QColor(255, 0, 0);
    }

    // Answers the next file dialog: types `name` into its file name box unless it is empty,
    // then accepts. A dialog that will not take the answer is cancelled, so that no test hangs.
    void answerFileDialog(const QString& name) {
        auto* timer = new QTimer(this);
        auto answered = std::make_shared<QPointer<QFileDialog>>();
        auto waited = std::make_shared<int>(0);
        connect(timer, &QTimer::timeout, this, [timer, name, answered, waited] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!answered->isNull() || (d != nullptr && d->isVisible())) {
                if (answered->isNull()) {
                    if (!name.isEmpty()) {
                        // Typed once the dialog has listed its folder: a listing that arrives
                        // later reselects the preset file and overwrites a half-typed name.
                        auto* model = d->findChild<QFileSystemModel*>();
                        if (model != nullptr && ++*waited < 20 &&
                            model->rowCount(model->index(d->directory().absolutePath())) == 0)
                            return;
                        auto* box = d->findChild<QLineEdit*>("fileNameEdit");
                        box->clear();
                        QTest::keyClicks(box, name);
                    }
                    *answered = d;
                    QMetaObject::invokeMethod(d, "accept");
                } else if ((*answered)->isVisible()) {
                    (*answered)->reject(); // it would not take the answer
                } else {
                    timer->stop();
                    timer->deleteLater();
                }
            }
        });
        timer->start(30);
    }
    void nonNativeDialogs() {
        form_->openDialog()->setOption(QFileDialog::DontUseNativeDialog);
        form_->saveDialog()->setOption(QFileDialog::DontUseNativeDialog);
    }

private slots:
    // A port that is missing, then the unit's port: Read (F7) brings the unit's calibration
    // and identification, and the verify that follows finds them equal.
    void readShowsTheUnitsCalibration() {
        if (!simBuilt()) QSKIP("the simulated unit is not built");
        SimUnit unit({"--model", "2", "--name", "ABC", "--number", "7", "--date", "05.06.2025",
                      "--time", "08:09"});
        QVERIFY(unit.started());
        writeSettings(unit.link(), 2);
        start();
        // The box keeps its text and names the device and the reason on a line of its own.
        QCOMPARE(window_->messages.size(), 1);
        QCOMPARE(window_->messages[0].section('\n', 0, 0), QString("Com opening error"));
        QVERIFY2(window_->messages[0].section('\n', 1).contains("/none does not exist"),
                 qPrintable(window_->messages[0]));
        get<QAction>("MenuCom1")->trigger(); // closes the missing port and opens the unit's
        QCOMPARE(window_->messages.size(), 1);
        QVERIFY(get<QAction>("MenuCom1")->isChecked());
        QVERIFY(!get<QAction>("MenuCom2")->isChecked());
        QTRY_VERIFY(get<QLabel>("LabelSpojeni")->isHidden()); // monitor frames arrive
        get<QLabel>("LabelFile2")->setText("/x/a.ign");

        key(Qt::Key_F7);
        QTRY_COMPARE_WITH_TIMEOUT(hlaseni()->text(), QString("Verify OK"), 15000);
        QVERIFY(!shownInRed(hlaseni()));
        QCOMPARE(get<QLabel>("LabelFile2")->text(), QString());
        QCOMPARE(get<QComboBox>("ComboBox1")->currentIndex(), 2);
        const QStringList shown = editTexts();
        const QString labels[3] = {get<QLabel>("LabelVerze1")->text(),
                                   get<QLabel>("LabelVerze2")->text(),
                                   get<QLabel>("LabelVerze3")->text()};

        // What the unit holds, as it writes it out at its end.
        unit.stop();
        const QByteArray bytes = unit.image();
        QCOMPARE(bytes.size(), qsizetype(ImageSize));
        Image image{};
        std::copy(bytes.begin(), bytes.end(), image.begin());
        Calibration expected{};
        Identification ident;
        unpack(image, expected, ident);
        clamp(expected);
        QCOMPARE(labels[0], QString::fromLatin1(ident.program.c_str()));
        QCOMPARE(labels[1], QString::fromLatin1(ident.date.c_str()));
        QCOMPARE(labels[2], QString::fromLatin1(ident.time.c_str()));
        QVERIFY(labels[0].startsWith("ABC"));
        QCOMPARE(labels[1], QString(" 5. 6.2025"));
        std::size_t i = 0;
        for (const PairSpec& s : pairTable()) {
            const int display = std::clamp(toDisplay(s, expected[s.param]), s.min, s.max);
            QCOMPARE(shown[static_cast<qsizetype>(i++)], formatPosition(display, s.grouping));
        }
    }

    // An edit and Program (F9) leave the unit holding the packed calibration; with
    // "Programming after change" on, one arrow click programs it again.
    void programAndProgramAfterChange() {
        if (!simBuilt()) QSKIP("the simulated unit is not built");
        SimUnit unit({});
        QVERIFY(unit.started());
        writeSettings(unit.link());
        start();
        QVERIFY(window_->messages.isEmpty());
        auto* advance2 = get<QLineEdit>("Edit12");
        advance2->setFocus(Qt::MouseFocusReason);
        advance2->selectAll();
        QTest::keyClicks(advance2, "33");
        get<QLineEdit>("Edit13")->setFocus(Qt::TabFocusReason);

        key(Qt::Key_F9);
        QTRY_COMPARE_WITH_TIMEOUT(hlaseni()->text(), QString("Program device OK"), 15000);
        Image packed = form_->image();
        pack(form_->calibration(), packed);
        QCOMPARE(packed[51], 33); // Advance2 in block 2
        QTRY_COMPARE(unit.image(), bytesOf(packed));

        get<QCheckBox>("CheckBoxProgHned")->click();
        hlaseni()->clear();
        auto* arrows = get<UpDown>("UpDown12");
        QTest::mouseClick(arrows, Qt::LeftButton, {}, QPoint(arrows->width() / 2, 3));
        QCOMPARE(get<QLineEdit>("Edit12")->text(), QString("34"));
        QTRY_COMPARE_WITH_TIMEOUT(hlaseni()->text(), QString("Program device OK"), 15000);
        packed = form_->image();
        pack(form_->calibration(), packed);
        QCOMPARE(packed[51], 34);
        QTRY_COMPARE(unit.image(), bytesOf(packed));
    }

    void unitFailuresShowRed_data() {
        QTest::addColumn<QStringList>("options"); // of the unit; "none": no unit at all
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("message");
        QTest::newRow("read-protected")
            << QStringList{"--read-enable", "0"} << int(Qt::Key_F7) << "No Reading!";
        QTest::newRow("format version 4")
            << QStringList{"--format-version", "4"} << int(Qt::Key_F7) << "Unmatched version!";
        QTest::newRow("wrong echo")
            << QStringList{"--wrong-echo", "3"} << int(Qt::Key_F9) << "Program error!";
        QTest::newRow("no unit") << QStringList{"none"} << int(Qt::Key_F7) << "Read error!";
    }
    // Each failure is shown in red and leaves the calibration on screen as it was.
    void unitFailuresShowRed() {
        QFETCH(QStringList, options);
        QFETCH(int, command);
        QFETCH(QString, message);
        std::unique_ptr<SimUnit> unit;
        int master = -1;
        if (options == QStringList{"none"}) {
            // A line with nothing at its other end.
            master = ::posix_openpt(O_RDWR | O_NOCTTY);
            QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
            writeSettings(QString::fromLocal8Bit(::ptsname(master)));
        } else {
            if (!simBuilt()) QSKIP("the simulated unit is not built");
            std::vector<std::string> args;
            for (const QString& o : options) args.push_back(o.toStdString());
            unit = std::make_unique<SimUnit>(args);
            QVERIFY(unit->started());
            writeSettings(unit->link());
        }
        start();
        QVERIFY(window_->messages.isEmpty());
        form_->readControls(); // the calibration as the boxes show it
        clamp(form_->calibration());
        const Calibration before = form_->calibration();
        const QStringList shown = editTexts();
        key(static_cast<Qt::Key>(command));
        QTRY_COMPARE_WITH_TIMEOUT(hlaseni()->text(), message, 15000);
        QVERIFY(shownInRed(hlaseni()));
        // A program takes the unit's block 0 and shows the image again; flags may then hold
        // their bit instead of 1, which is the same setting.
        QCOMPARE(formatParamFile(form_->calibration()), formatParamFile(before));
        QCOMPARE(editTexts(), shown);
        window_->stop();
        if (master >= 0) ::close(master);
    }

    // Save (F2) with a typed name and then Open (F3) with the preset name bring back every
    // parameter the file carries.
    void saveThenOpenThroughTheDialogs() {
        writeSettings({});
        start();
        nonNativeDialogs();
        std::mt19937 random(52);
        Calibration& cal = form_->calibration();
        for (std::uint8_t& b : cal.v) b = static_cast<std::uint8_t>(random());
        // The per-model values, which the file does not carry, are those New sets again.
        cal[Klicovani] = 3;
        applyModelTable(cal);
        clamp(cal);
        form_->showParams();
        form_->readControls(); // what the boxes can show
        clamp(form_->calibration());
        const Calibration saved = form_->calibration();
        const QStringList shown = editTexts();

        form_->saveDialog()->setDirectory(window_->folder()); // where the user has gone
        answerFileDialog("round trip");                       // no extension: the dialog adds "ign"
        key(Qt::Key_F2);
        const QString file = path("round trip.ign");
        QVERIFY(QFile::exists(file));
        QCOMPARE(readAll(file), QByteArray::fromStdString(formatParamFile(saved)));
        QCOMPARE(get<QLabel>("LabelFile2")->text(), file);
        QCOMPARE(QString::fromStdString(form_->lastFilePath()), file);

        key(Qt::Key_N, Qt::ControlModifier); // New
        QVERIFY(editTexts() != shown);
        get<QLabel>("LabelFile2")->clear();
        hlaseni()->show();

        answerFileDialog({}); // the name the save left in the open dialog
        key(Qt::Key_F3);
        QVERIFY(window_->messages.isEmpty());
        QCOMPARE(formatParamFile(form_->calibration()), formatParamFile(saved));
        QCOMPARE(editTexts(), shown);
        QCOMPARE(get<QLabel>("LabelFile2")->text(), file);
        QVERIFY(hlaseni()->isHidden());

        // Cancelling either dialog changes nothing.
        auto cancel = [this] {
            QTimer::singleShot(100, this, [] {
                if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                    d->reject();
            });
        };
        cancel();
        key(Qt::Key_F2);
        cancel();
        key(Qt::Key_F3);
        QVERIFY(window_->messages.isEmpty());
        QCOMPARE(editTexts(), shown);
    }

    // The stamp is in the picture, the picture has the window's proportions and fills the
    // page's width, and the label is hidden again after the print.
    void printsOnePageWithTheStamp() {
        writeSettings({});
        start();
        const QString pdf = path("print.pdf");
        QString stamp;
        bool stampVisible = false;
        QImage picture;
        form_->printJob = [&](const QImage& image) {
            stamp = hlaseni()->text();
            stampVisible = hlaseni()->isVisible();
            picture = image;
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return printPicture(image, printer);
        };
        const QTime begun = QTime::currentTime();
        get<QAction>("MenuPrint")->trigger();
        const QTime ended = QTime::currentTime();
        QVERIFY(window_->messages.isEmpty());
        QVERIFY(stampVisible);
        QVERIFY(hlaseni()->isHidden());
        const QLocale locale = QLocale::system();
        const QString prefix = "Date and Time of printing:  " +
                               locale.toString(QDate::currentDate(), QLocale::ShortFormat) + "    ";
        QVERIFY2(stamp.startsWith(prefix), qPrintable(stamp));
        bool timeFound = false;
        for (QTime t = begun.addMSecs(-begun.msec()); t <= ended && !timeFound; t = t.addSecs(1))
            timeFound = stamp.mid(prefix.size()) == locale.toString(t, longTimeFormat(locale));
        QVERIFY2(timeFound, qPrintable(stamp));

        const int top = form_->menuBar()->geometry().bottom() + 1;
        QCOMPARE(picture.size(), QSize(form_->width(), form_->height() - top));
        // The stamp is part of the picture: its place differs from the window without it.
        const QRect label = hlaseni()->geometry().translated(
            hlaseni()->parentWidget()->mapTo(form_, QPoint(0, -top)));
        QVERIFY(picture.copy(label) != form_->clientPicture().copy(label));

        if (QStandardPaths::findExecutable("pdftoppm").isEmpty()) QSKIP("no pdftoppm");
        QProcess info;
        info.start("pdfinfo", {pdf});
        QVERIFY(info.waitForFinished());
        QVERIFY(
            QRegularExpression("Pages:\\s+1\\n").match(info.readAllStandardOutput()).hasMatch());
        QProcess render;
        render.start("pdftoppm", {"-r", "40", "-png", "-singlefile", pdf, path("page")});
        QVERIFY(render.waitForFinished());
        QImage page(path("page.png"));
        QVERIFY(!page.isNull());
        // The printed picture is what is not white.
        QRect box;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (page.pixelColor(x, y).lightness() < 250) box |= QRect(x, y, 1, 1);
        QVERIFY(!box.isEmpty());
        const double ratio = double(picture.width()) / picture.height();
        QVERIFY2(std::abs(double(box.width()) / box.height() - ratio) < 0.03 * ratio,
                 qPrintable(QString("%1 x %2").arg(box.width()).arg(box.height())));
        QPrinter a4(QPrinter::HighResolution);
        a4.setOutputFormat(QPrinter::PdfFormat);
        const int pageWidth = a4.pageLayout().paintRectPixels(40).width();
        QVERIFY(std::abs(box.width() - pageWidth) <= 3);
    }

    // Contents opens the manual of the language; a missing one is named in the status bar.
    // About shows the text of the language with the build date and time.
    void manualAndAbout() {
        writeSettings({});
        start();
        QList<QUrl> opened;
        form_->openUrl = [&](const QUrl& url) {
            opened << url;
            return true;
        };
        key(Qt::Key_F1);
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened.first().toLocalFile().endsWith("/manual_en.html"));
        QVERIFY(QFile::exists(opened.first().toLocalFile()));
        form_->ApplyGerman();
        key(Qt::Key_F1);
        QVERIFY(opened.last().toLocalFile().endsWith("/manual_de.html"));

        form_->manualFolders = {path("doc")};
        key(Qt::Key_F1);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(form_->statusText(), "Handbuch nicht gefunden: " + path("doc/manual_de.html"));

        form_->ApplyEnglish();
        get<QAction>("MenuAbout")->trigger();
        QCOMPARE(window_->messages.size(), 1);
        QVERIFY(window_->messages.first().startsWith("Programm for setting of ignition"));
        QVERIFY(
            QRegularExpression("\\n\\n[A-Z][a-z]{2} [ 123]\\d \\d{4}\\n\\n\\d\\d:\\d\\d:\\d\\d\\n")
                .match(window_->messages.first())
                .hasMatch());
    }

    // Every bad file or printer gives its message; the calibration on screen, the file name
    // and the window go on as they were.
    void badInputChangesNothing() {
        writeSettings({});
        start();
        nonNativeDialogs();
        const QString good = path("good.ign");
        QVERIFY(form_->saveParameters(good));
        const Calibration before = form_->calibration();
        const QStringList shown = editTexts();
        auto unchanged = [&](const char* what) {
            QVERIFY2(form_->calibration() == before, what);
            QVERIFY2(editTexts() == shown, what);
            QVERIFY2(get<QLabel>("LabelFile2")->text() == good, what);
            QVERIFY2(form_->lastFilePath() == good.toStdString(), what);
            QVERIFY2(get<QTimer>("Timer1")->isActive(), what);
            QVERIFY2(!form_->closed(), what);
        };
        auto expectMessage = [&](const QString& text, const char* what) {
            QVERIFY2(window_->messages.size() == 1, what);
            QVERIFY2(window_->messages.first().contains(text),
                     qPrintable(window_->messages.first()));
            window_->messages.clear();
        };

        QByteArray junk(4096, '\0');
        std::mt19937 random(7);
        for (char& c : junk) c = static_cast<char>(random());
        writeAll(path("junk.ign"), junk);
        QVERIFY(!form_->openParameters(path("junk.ign")));
        expectMessage(path("junk.ign"), "junk");
        unchanged("junk");

        // The file goes away between the dialog and the reading.
        writeAll(path("gone.ign"), readAll(good));
        QFile::remove(path("gone.ign"));
        QVERIFY(!form_->openParameters(path("gone.ign")));
        expectMessage("Open file error", "vanished");
        unchanged("vanished");

        QVERIFY(QDir().mkpath(path("folder.ign")));
        QVERIFY(!form_->openParameters(path("folder.ign")));
        expectMessage("Open file error", "open a directory");
        QVERIFY(!form_->saveParameters(path("folder.ign")));
        expectMessage("Open file error", "save over a directory");
        QVERIFY(!form_->openParameters("/dev/zero"));
        expectMessage("Open file error", "a device");
        QVERIFY(!form_->saveParameters("/proc/velmora.ign"));
        expectMessage("Open file error", "no write permission");
        unchanged("directory, device, /proc");

        // A directory that takes no new files: no new file, and an old one stays as it was.
        QVERIFY(QDir().mkpath(path("locked")));
        const QString old = path("locked/old.ign");
        writeAll(old, "LIMITER1 8000");
        if (test::setImmutable(path("locked").toStdString(), true)) {
            const bool created = form_->saveParameters(path("locked/new.ign"));
            const bool replaced = form_->saveParameters(old);
            test::setImmutable(path("locked").toStdString(), false);
            QVERIFY(!created && !replaced);
            QCOMPARE(window_->messages.size(), 2);
            QCOMPARE(window_->messages.first(), QString("Open file error"));
            QVERIFY(window_->messages.last().contains(old));
            window_->messages.clear();
            QCOMPARE(readAll(old), QByteArray("LIMITER1 8000"));
            unchanged("locked directory");
        }

        form_->printJob = [this](const QImage& image) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path("no/such/folder/print.pdf"));
            return printPicture(image, printer);
        };
        QTest::mouseClick(get<QWidget>("SpeedButtonPrint"), Qt::LeftButton);
        QCOMPARE(window_->messages.size(), 1);
        QVERIFY(!window_->messages.first().isEmpty());
        window_->messages.clear();
        QVERIFY(hlaseni()->isHidden());
        unchanged("printer");
    }
};

QTEST_MAIN(EndToEndTest)
#include "e2e_test.moc"
