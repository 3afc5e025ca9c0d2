// velmora52: the tuner for the Velmora 52 ignition and injection unit.
#include <QApplication>
#include <QFont>
#include <QMessageBox>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "ui/addons.h"
#include "ui/command_line/command_line.h"
#include "ui/main_window/form_hlav.h"
#include "ui/termination.h"

namespace {

// An exception out of a command handler is shown and the program goes on.
class Application : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(nullptr, applicationName(), e.what());
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    // --help, --version and a wrong option are answered before the toolkit needs a display.
    const velmora::ui::CommandLine command =
        velmora::ui::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (command.action != velmora::ui::CommandLine::Action::Run) {
        std::fputs(command.text.c_str(),
                   command.action == velmora::ui::CommandLine::Action::Error ? stderr : stdout);
        return command.exitCode;
    }
    Application app(argc, argv);
    QApplication::setApplicationName("Velmora52");
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(11);
    QApplication::setFont(font);
    try {
        velmora::ui::TFormHlav form;
        velmora::ui::AddOns addOns(form);
        // kill, Ctrl+C and logout close the window as its close button does; quit() also ends
        // a modal box that may be open at that moment. One that comes while the window is
        // still starting (a start-up message box is open) closes it once start-up is done.
        bool running = false;
        bool pending = false;
        velmora::ui::TerminationSignals termination([&](int) {
            if (!running) {
                pending = true;
                return;
            }
            form.closeWithoutAsking();
            QCoreApplication::quit();
        });
        QStringList arguments = QApplication::arguments();
        arguments.removeFirst();
        form.FormCreate(arguments);
        if (pending) {
            form.FormClose();
            return 0;
        }
        addOns.started();
        running = true;
        form.show();
        QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), e.what());
    }
    return 0;
}
