// velmora52: the tuner for the Velmora 52 ignition and injection unit.
#include <QApplication>
#include <QFont>
#include <QMessageBox>

#include <exception>

#include "ui/form_hlav.h"
#include "ui/termination.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velmora52");
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(11);
    QApplication::setFont(font);
    try {
        velmora::ui::TFormHlav form;
        // kill, Ctrl+C and logout close the window as its close button does; quit() also ends
        // a modal box that may be open at that moment.
        velmora::ui::TerminationSignals termination([&form](int) {
            form.close();
            QCoreApplication::quit();
        });
        QStringList arguments = QApplication::arguments();
        arguments.removeFirst();
        form.FormCreate(arguments);
        form.show();
        QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), e.what());
    }
    return 0;
}
