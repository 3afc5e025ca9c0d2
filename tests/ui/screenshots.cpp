// Renders the main window on every page in every language into PNG files, for looking at the
// layout: ui_screenshots <output directory>.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>

#include "ui/form_hlav.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(11);
    QApplication::setFont(font);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(".");
    QDir().mkpath(out);
    QTemporaryDir config;
    velmora::ui::TFormHlav form(QDir(config.path()).filePath("Velmora52.ini").toStdString());
    form.messageBox = [](const QString&) {};
    form.FormCreate({});
    form.show();
    // Show everything a page can hold: the N2O groups and the extended monitor line.
    form.findChild<QCheckBox*>("CheckBoxGas")->setChecked(true);
    form.findChild<QCheckBox*>("CheckBoxExtMonitor")->setChecked(true);
    auto* pages = form.findChild<QTabWidget*>("PageControl1");
    const char* names[3] = {"cs", "en", "de"};
    for (int language = 0; language < 3; ++language) {
        if (language == 0) form.ApplyCzech();
        if (language == 1) form.ApplyEnglish();
        if (language == 2) form.ApplyGerman();
        for (int page = 0; page < 5; ++page) {
            pages->setCurrentIndex(page);
            QApplication::processEvents();
            form.grab().save(QString("%1/%2-tab%3.png").arg(out, names[language]).arg(page + 1));
        }
    }
    form.FormClose();
    return 0;
}
