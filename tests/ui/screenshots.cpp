// Renders the main window on every page in every language into PNG files, for looking at the
// layout: ui_screenshots <output directory>.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>

#include "ui/main_window/form_hlav.h"

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
    if (argc > 2 && QString(argv[2]) == "--longest") {
        // Every monitor reading at its largest, for checking that the lines fit.
        auto frame = [](std::uint8_t command, std::initializer_list<std::pair<int, int>> bytes) {
            velmora::Frame f{};
            f[0] = command;
            for (auto [i, v] : bytes) f[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
            f[21] = velmora::checkByte(f);
            return f;
        };
        velmora::Exchange& ex = form.link().exchange();
        ex.onFrame(frame(0xB2, {{11, 100}, {12, 100}, {13, 250}, {14, 250}}));
        ex.onFrame(frame(
            0xB1,
            {{11, 0xFF}, {15, 0xFF}, {16, 0xFF}, {17, 0x1F}, {18, 0xF8}, {19, 0x04}, {20, 0x4C}}));
        std::initializer_list<std::pair<int, int>> common = {
            {1, 0},     {2, 100},   {3, 0x1F},  {4, 0x71},  {5, 0x1F},  {6, 0xF8},  {7, 0x1F},
            {8, 0xF8},  {9, 0xFF},  {10, 0xFF}, {11, 0x1F}, {12, 0x71}, {13, 0x1F}, {14, 0xF8},
            {15, 0x1F}, {16, 0xF8}, {17, 0x1F}, {18, 0xF8}, {19, 0x1F}, {20, 0xF8}};
        ex.onFrame(frame(0xB0, common));
        form.Timer1Timer();
    }
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
