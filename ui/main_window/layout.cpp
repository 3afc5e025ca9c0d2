#include "ui/main_window/layout.h"

namespace velmora::ui {

namespace {

using K = WidgetKind;

void addSeries(std::vector<WidgetSpec>& t, const WidgetSpec& first, int count, int firstNumber,
               const std::string& stem, int dx, int dy, const std::vector<std::string>& texts) {
    for (int i = 0; i < count; ++i) {
        WidgetSpec s = first;
        s.name = stem + std::to_string(firstNumber + i);
        s.x = first.x + i * dx;
        s.y = first.y + i * dy;
        if (!texts.empty()) s.text = texts.at(static_cast<std::size_t>(i));
        t.push_back(s);
    }
}

std::vector<WidgetSpec> buildWidgets() {
    std::vector<WidgetSpec> t;
    auto add = [&t](WidgetSpec s) { t.push_back(std::move(s)); };

    // Tool bar and the two shift groups.
    add({K::GroupBox, "GroupBox5", "Client", 3, 0, 463, 43, "", ""});
    add({K::SpeedButton, "SpeedButton6", "GroupBox5", 8, 12, 24, 23, "",
         "New|Set default parametrs", 0, ToolTips});
    add({K::SpeedButton, "SpeedButton5", "GroupBox5", 32, 12, 24, 23, "",
         "Open|Open file with parametrs", 0, ToolTips});
    add({K::SpeedButton, "SpeedButton7", "GroupBox5", 56, 12, 24, 23, "",
         "Save|Save parametrs to file", 0, ToolTips});
    add({K::SpeedButton, "SpeedButtonPrint", "GroupBox5", 80, 12, 24, 23, "",
         "Print|Print parametrs", 0, ToolTips});
    add({K::Button, "Button1", "GroupBox5", 112, 11, 108, 25, "&Read",
         "Read|Reading parametrs from ignition", 0, ToolTips});
    add({K::Button, "BitBtn2", "GroupBox5", 224, 11, 112, 25, "Verify",
         "Verify|Compare set parametrs  with parametrs of ignition", 0, ToolTips});
    add({K::Button, "BitBtn1", "GroupBox5", 340, 11, 116, 25, "Program",
         "Programing|Programing  set parametrs to ignition", 0, ToolTips});
    add({K::GroupBox, "GroupBoxZapal", "Client", 470, 0, 91, 43, "Ignition", ""});
    add({K::Button, "BitBtnIgnMinus", "GroupBoxZapal", 20, 17, 20, 20, "-",
         "Curve A minus|Take off 1 degree of curve A", 0, ToolTips});
    add({K::Button, "BitBtnIgnPlus", "GroupBoxZapal", 50, 17, 20, 20, "+",
         "Curve A plus|Add 1 degree of curve A", 0, ToolTips});
    add({K::GroupBox, "GroupBoxJet", "Client", 565, 0, 91, 43, "Jet", ""});
    add({K::Button, "BitBtnJetMinus", "GroupBoxJet", 20, 17, 20, 20, "-",
         "Injection minus 1 percent", 0, ToolTips});
    add({K::Button, "BitBtnJetPlus", "GroupBoxJet", 50, 17, 20, 20, "+", "Injection plus 1 percent",
         0, ToolTips});

    // TabSheet1 "Ignition".
    add({K::GroupBox, "GroupBox1", "TabSheet1", 12, 4, 189, 341, "Curve A", ""});
    add({K::Label, "Label1", "GroupBox1", 14, 18, 0, 0, "RPM",
         "Round per Minute|Speed - Round per Minute", 0, ToolTips});
    add({K::Label, "Label2", "GroupBox1", 108, 18, 0, 0, "Advance [°]", ""});
    add({K::GroupBox, "GroupBox3", "TabSheet1", 222, 4, 234, 221, "Other", ""});
    add({K::Label, "LabelOmez1", "GroupBox3", 82, 60, 0, 0, "Limiter 1 [rpm]", "", 0, ToolTips});
    add({K::Label, "LabelOmez2", "GroupBox3", 82, 100, 0, 0, "Limiter 2 [rpm]", "", 0, ToolTips});
    add({K::Label, "Label9", "GroupBox3", 82, 140, 0, 0, "Clutch master [ms]", "", 0, ToolTips});
    add({K::Label, "Label10", "GroupBox3", 82, 180, 0, 0, "Pilot light [rpm]", "", 0, ToolTips});
    add({K::GroupBox, "GroupBox4", "TabSheet1", 476, 4, 157, 221, "Activation by closing",
         "Activation by closing |Checked items means activation by closing"});
    add({K::CheckBox, "CheckBoxAktBlok", "GroupBox4", 10, 26, 142, 20, "Blocking ", "", 0,
         ToolTips});
    add({K::CheckBox, "CheckBoxAktClutch", "GroupBox4", 10, 62, 142, 20, "Clutch master", "", 0,
         ToolTips});
    add({K::CheckBox, "CheckBoxAktLimiter1", "GroupBox4", 10, 98, 142, 20, "Limiter 1", "", 0,
         ToolTips});
    add({K::CheckBox, "CheckBoxAktRpm", "GroupBox4", 10, 134, 142, 20, "Tacho/Lambda", "", 0,
         ToolTips});
    add({K::CheckBox, "CheckBoxAktN2o", "GroupBox4", 10, 170, 142, 20, "N2O", "", 0, ToolTips});
    add({K::GroupBox, "GroupBox16", "TabSheet1", 476, 236, 157, 53, "", ""});
    add({K::CheckBox, "CheckBox6", "GroupBox16", 10, 18, 142, 20, "Otáčkoměr 2x", "", 0, ToolTips});
    add({K::Label, "LabelVerze1", "TabSheet1", 480, 304, 0, 0, "-----",
         "Version|Version of program in ignition", 0, ToolTips});
    add({K::Label, "LabelVerze3", "TabSheet1", 548, 304, 0, 0, "16:21",
         "Time|Time of program in ignition", 0, ToolTips});
    add({K::Label, "LabelVerze2", "TabSheet1", 480, 326, 0, 0, "25.02.2002",
         "Date|Date of program in ignition", 13, ToolTips});
    add({K::Label, "LabelFile1", "TabSheet1", 16, 354, 0, 0, "File:", ""});
    add({K::Label, "LabelFile2", "TabSheet1", 56, 354, 580, 16, "----------", ""});

    // TabSheet2 "Injection 1": the map with its headers and the column spin buttons.
    add({K::GroupBox, "GroupBox6", "TabSheet2", 0, 0, 645, 379, "", ""});
    add({K::Label, "Label26", "GroupBox6", 8, 14, 0, 0, "RPM", ""});
    add({K::Label, "Label3", "GroupBox6", 8, 40, 0, 0, "TPS", ""});
    addSeries(t, {K::Label, "", "GroupBox6", 8, 62, 0, 0, "", ""}, 10, 14, "Label", 0, 28,
              {"0%", "2%", "5%", "10%", "20%", "30%", "40%", "60%", "80%", "100%"});
    addSeries(t, {K::SpinButton, "", "GroupBox6", 56, 340, 20, 30, "", "", 0, ToolTips}, 10, 1,
              "CSpinButton", 60, 0, {});

    // TabSheet3 "Injection2".
    add({K::GroupBox, "GroupBoxKor23", "TabSheet3", 2, 0, 641, 80, "Korekce valců 2 a 3", ""});
    add({K::Label, "Label58", "GroupBoxKor23", 8, 24, 0, 0, "RPM", ""});
    addSeries(t, {K::Label, "", "GroupBoxKor23", 46, 24, 0, 0, "", ""}, 10, 59, "Label", 59, 0,
              {"1 000", "2 000", "3 000", "4 000", "6 000", "8 000", "10 000", "12 000", "14 000",
               "16 000"});
    add({K::Label, "Label24", "GroupBoxKor23", 8, 48, 0, 0, "[%]", ""});
    add({K::GroupBox, "GroupBoxStartJet", "TabSheet3", 2, 80, 275, 60, "Startovní přístřik", ""});
    add({K::Label, "LabelStartJet", "GroupBoxStartJet", 86, 28, 0, 0, "[ms]", ""});
    add({K::GroupBox, "GroupBoxChlazeni", "TabSheet3", 2, 144, 275, 60, "Chlazení", ""});
    add({K::Label, "LabelChlazeni", "GroupBoxChlazeni", 86, 28, 0, 0, "[°C]", ""});
    add({K::GroupBox, "GroupBoxAkcel", "TabSheet3", 2, 208, 275, 100, "Akcelerační přístřik", ""});
    add({K::Label, "LabelAkcelPrah", "GroupBoxAkcel", 86, 28, 0, 0, "Práh [%/s]", ""});
    add({K::Label, "LabelAkcelJet", "GroupBoxAkcel", 86, 64, 0, 0, "Velikost[us]", ""});
    const std::vector<std::string> temperatures = {"-10 °C", "20 °C", "50 °C", "80 °C", "110 °C"};
    const char* tempSuffix[5] = {"_10", "20", "50", "80", "110"};
    add({K::GroupBox, "GroupBoxVoda", "TabSheet3", 282, 80, 180, 180, "Teplota vody", ""});
    for (int i = 0; i < 5; ++i)
        add({K::Label, std::string("LabelVoda") + tempSuffix[i], "GroupBoxVoda", 80, 28 + 30 * i, 0,
             0, temperatures[static_cast<std::size_t>(i)], ""});
    add({K::GroupBox, "GroupBoxVzduch", "TabSheet3", 465, 80, 178, 180, "Teplota vzduchu", ""});
    for (int i = 0; i < 5; ++i)
        add({K::Label, std::string("LabelVzduch") + tempSuffix[i], "GroupBoxVzduch", 80,
             28 + 30 * i, 0, 0, temperatures[static_cast<std::size_t>(i)], ""});
    add({K::GroupBox, "GroupBoxTps", "TabSheet3", 282, 264, 361, 110, "TPS", ""});
    add({K::Label, "LabelTps0", "GroupBoxTps", 86, 28, 0, 0, "0%  [mV]", ""});
    add({K::Label, "LabelTps100", "GroupBoxTps", 86, 68, 0, 0, "100%  [mv]", ""});
    add({K::Button, "BitBtnTps0", "GroupBoxTps", 200, 22, 75, 25, "Set TPS 0", ""});
    add({K::Button, "BitBtnTps100", "GroupBoxTps", 200, 62, 75, 25, "Set TPS 100", ""});

    // TabSheet4 "N2O".
    add({K::CheckBox, "CheckBoxGas", "TabSheet4", 16, 13, 200, 20, "N2O enable", ""});
    add({K::GroupBox, "GroupBoxGas", "TabSheet4", 5, 38, 212, 200, "Gas", ""});
    add({K::Label, "LabelGas1", "GroupBoxGas", 82, 30, 0, 0, "Gas 1 [%]", "", 0, ToolTips});
    add({K::Label, "LabelGas2", "GroupBoxGas", 82, 72, 0, 0, "Gas 2 [%]", "", 0, ToolTips});
    add({K::Label, "LabelGasD", "GroupBoxGas", 82, 114, 0, 0, "Delay [ms]", "", 0, ToolTips});
    add({K::Label, "LabelGasT", "GroupBoxGas", 82, 156, 0, 0, "Build up time [ms]", "", 0,
         ToolTips});
    add({K::GroupBox, "GroupBoxRetard", "TabSheet4", 229, 38, 212, 200, "Retard", ""});
    add({K::Label, "LabelRetard1", "GroupBoxRetard", 82, 30, 0, 0, "Retard 1 [°]", "", 0,
         ToolTips});
    add({K::Label, "LabelRetard2", "GroupBoxRetard", 82, 72, 0, 0, "Retard 2 [°]", "", 0,
         ToolTips});
    add({K::Label, "LabelRetardD", "GroupBoxRetard", 82, 114, 0, 0, "Delay [ms]", "", 0, ToolTips});
    add({K::Label, "LabelRetardT", "GroupBoxRetard", 82, 156, 0, 0, "Build up time [ms]", "", 0,
         ToolTips});
    add({K::GroupBox, "GroupBoxPrivera", "TabSheet4", 2, 248, 641, 129, "Přívěra", ""});
    add({K::Label, "Label6", "GroupBoxPrivera", 8, 24, 0, 0, "RPM", ""});
    add({K::Label, "Label5", "GroupBoxPrivera", 8, 54, 0, 0, "[mV]", ""});
    add({K::Label, "LabelPriHyster", "GroupBoxPrivera", 112, 92, 0, 0, "Hystereze přívěry  [mV]",
         "", 0, ToolTips});

    // TabSheet5 "Monitor".
    const std::string m = "TabSheet5";
    add({K::Label, "LabelRpm", m, 24, 10, 0, 0, "RPM = ---", "", 23, Bold});
    add({K::Label, "LabelTps", m, 24, 51, 0, 0, "TP= --- [%]", "", 23, Bold});
    add({K::Label, "LabelVoda", m, 24, 139, 0, 0, "TW= --- [°C]", "", 23, Bold});
    add({K::Label, "LabelVzduch", m, 24, 173, 0, 0, "AT= --- [°]", "", 19});
    add({K::Label, "LabelTlak", m, 24, 207, 0, 0, "AP= --- [kPa]", "", 19});
    add({K::Label, "LabelPodtlak", m, 24, 241, 0, 0, "IAP= --- [%] ", "", 19});
    add({K::Label, "LabelNapeti", m, 24, 274, 0, 0, "U = ---[V]", "", 19});
    add({K::Label, "LabelCasJet", m, 24, 308, 0, 0, "Inj. Time = --- [us]", "", 19});
    add({K::Label, "LabelAdvance", m, 24, 342, 0, 0, "Advance= --- [°]", "", 19});
    add({K::Label, "LabelSpojeni", m, 472, 11, 0, 0, "No Connection", "", 23, Bold, Fill::Red});
    add({K::Label, "LabelLambda", m, 352, 51, 0, 0, "LAMBDA= --- [mV]", "", 23, Bold});
    add({K::Label, "LabelBlocking", m, 352, 140, 0, 0, "Blocking: --", "", 13});
    add({K::Label, "LabelClutch", m, 352, 170, 0, 0, "Clutch master:--", "", 13});
    add({K::Label, "LabelLimiter1", m, 352, 201, 0, 0, "Start Limiter:--", "", 13});
    add({K::Label, "LabelTacho_Lambda", m, 352, 231, 0, 0, "Tacho/Lambda: --", "", 13});
    add({K::Label, "LabelN2oEnable", m, 352, 262, 0, 0, "Activate N2O:--", "", 13, Hidden});
    add({K::Label, "LabelPriveraPoz", m, 352, 292, 0, 0, "Privera Poz.= ---", "", 13});
    add({K::Label, "LabelPriveraMer", m, 352, 323, 0, 0, "Privera Mer.= ---", "", 13});
    add({K::Label, "LabelPocetProgramovani", m, 352, 353, 0, 0, "Number of Programing: -----", "",
         11, Hidden});
    add({K::Label, "LabelTest1", m, 536, 136, 0, 0, "Test1 = ---", "", 16, Hidden});
    add({K::Label, "LabelTest2", m, 536, 168, 0, 0, "Test2 = ---", "", 16, Hidden});
    add({K::Label, "LabelTest3", m, 536, 200, 0, 0, "Test3 = ---", "", 16, Hidden});
    add({K::CheckBox, "CheckBoxExtMonitor", m, 352, 18, 116, 20, "Extended Monitor", ""});
    add({K::BarLabel, "LabelBarTps1", m, 40, 95, 32, 20, "", "", 0, Hidden, Fill::Fuchsia});
    add({K::BarLabel, "LabelBarTps2", m, 128, 95, 32, 20, "", "", 0, Hidden, Fill::White});
    add({K::BarLabel, "LabelBarGraf1", m, 352, 95, 30, 20, "", "", 0, Hidden, Fill::Blue});
    add({K::BarLabel, "LabelBarGraf2", m, 416, 95, 30, 20, "", "", 0, Hidden, Fill::Lime});
    add({K::BarLabel, "LabelBarGraf3", m, 488, 95, 30, 20, "", "", 0, Hidden, Fill::Red});
    add({K::BarLabel, "LabelBarGraf4", m, 536, 95, 30, 20, "", "", 0, Hidden, Fill::White});

    // Right of the tab row, and the exchange indicators at the bottom. Made after the pages
    // so that they stand in front of the tab row.
    add({K::CheckBox, "CheckBoxZakazCteni", "Client", 374, 47, 110, 20, "Zákaz čtení", ""});
    add({K::CheckBox, "CheckBoxProgHned", "Client", 487, 47, 170, 20, "Program. po změně", "pokus",
         0, ToolTips});
    add({K::Label, "LabelHlaseni", "Client", 8, 462, 0, 0, "Programming:", "", 13, Bold | Hidden});
    return t;
}

} // namespace

const std::vector<WidgetSpec>& widgetTable() {
    static const std::vector<WidgetSpec> table = buildWidgets();
    return table;
}

const std::vector<MenuSpec>& menuTable() {
    static const std::vector<MenuSpec> table = {
        {"MenuFile", "", "&File", "", "", false},
        {"MenuFile", "MenuNew", "&New", "Ctrl+N", "New|Set default parametrs", false},
        {"MenuFile", "N3", "", "", "", true},
        {"MenuFile", "MenuOpen", "&Open", "F3", "Open|Open file with parametrs", false},
        {"MenuFile", "N1", "", "", "", true},
        {"MenuFile", "MenuSave", "&Save", "F2", "Save|Save parametrs to file", false},
        {"MenuFile", "N2", "", "", "", true},
        {"MenuFile", "MenuPrint", "&Print", "Ctrl+P", "Print|Print parametrs", false},
        {"MenuFile", "N4", "", "", "", true},
        {"MenuFile", "MenuExit", "E&xit", "", "Exit|End of program", false},
        {"MenuCom", "", "&Com", "", "Com|Set number of com ", false},
        {"MenuCom", "MenuCom1", "Com &1", "", "Com1|Set com 1", false},
        {"MenuCom", "MenuCom2", "Com &2", "", "Com2| Set com 2", false},
        {"MenuCom", "MenuCom3", "Com &3", "", "Com3|Set com 3", false},
        {"MenuCom", "MenuCom4", "Com &4", "", "Com4|Set com 4", false},
        {"MenuCom", "MenuCom5", "Com &5", "", "Com5|Set com 5", false},
        {"MenuCom", "MenuCom6", "Com &6", "", "", false},
        {"MenuDevice", "", "&Device", "", "", false},
        {"MenuDevice", "MenuRead", "&Read", "F7", "Read|Reading parametrs from ignition", false},
        {"MenuDevice", "MenuVerify", "&Verify", "F8",
         "Verify|Compare set parametrs  with parametrs of ignition", false},
        {"MenuDevice", "MenuProgram", "&Program", "F9",
         "Programing|Programing  set parametrs to ignition", false},
        {"MenuTools", "", "&Tools", "", "", false},
        {"MenuTools", "CurveMinus", "Curve A-", "F4", "Curve A minus|Take off 1 degree of curve A",
         false},
        {"MenuTools", "CurvePlus", "Curve A+", "F5", "Curve A plus|Add 1 degree of curve A", false},
        {"MenuTools", "JetMinus", "Jet -", "F11", "", false},
        {"MenuTools", "JetPlus", "Jet +", "F12", "", false},
        {"MenuLanguage", "", "&Language", "", "Language|Set English or Czech", false},
        {"MenuLanguage", "MenuEnglish", "&English", "", "|Set Englich menu", false},
        {"MenuLanguage", "MenuCzech", "&Czech", "", "|Set Czech menu", false},
        {"MenuLanguage", "MenuGerman", "&German", "", "", false},
        {"MenuHelp", "", "&Help", "", "Not available jet", false},
        {"MenuHelp", "MenuContens", "&Contens", "F1", "", false},
        {"MenuHelp", "MenuAbout", "&About...", "", "", false},
    };
    return table;
}

std::vector<std::string> nameFilters(const std::string& filter) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto bar = filter.find('|', start);
        parts.push_back(
            filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::string& text = parts[i];
        const std::string tail = "(" + parts[i + 1] + ")";
        const bool named = text.size() >= tail.size() &&
                           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
        out.push_back(named ? text : text + " " + tail);
    }
    return out;
}

} // namespace velmora::ui
