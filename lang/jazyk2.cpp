// Jazyk2: the Czech texts of the interface.
#include "lang/text_sets.h"

#include <iterator>

namespace velmora::lang {
namespace {

constexpr auto MenuCaption = TextTarget::MenuCaption;
constexpr auto ControlCaption = TextTarget::ControlCaption;
constexpr auto TabCaption = TextTarget::TabCaption;
constexpr auto MenuHint = TextTarget::MenuHint;
constexpr auto ControlHint = TextTarget::ControlHint;

constexpr TextEntry kEntries[] = {
    {"MenuFile", MenuCaption, "&Soubor"},
    {"MenuNew", MenuCaption, "&Nový"},
    {"MenuOpen", MenuCaption, "&Otevřít"},
    {"MenuSave", MenuCaption, "&Uložit"},
    {"MenuPrint", MenuCaption, "&Tisk"},
    {"MenuExit", MenuCaption, "&Konec"},
    {"MenuCom", MenuCaption, "&Port"},
    {"MenuDevice", MenuCaption, "&Zapalování"},
    {"MenuRead", MenuCaption, "Čí&st"},
    {"MenuVerify", MenuCaption, "&Verifikace"},
    {"MenuProgram", MenuCaption, "&Programovat"},
    {"MenuTools", MenuCaption, "Po&můcky"},
    {"CurveMinus", MenuCaption, "Předstih -"},
    {"CurvePlus", MenuCaption, "Předstih +"},
    {"JetMinus", MenuCaption, "Vstřik -"},
    {"JetPlus", MenuCaption, "Vstřik +"},
    {"MenuLanguage", MenuCaption, "&Jazyk"},
    {"MenuEnglish", MenuCaption, "&Anglicky"},
    {"MenuCzech", MenuCaption, "Česky"},
    // Our own text: without it the item would keep the previous language's caption.
    {"MenuGerman", MenuCaption, "&Německy"},
    {"MenuHelp", MenuCaption, "&Nápověda"},
    {"MenuContens", MenuCaption, "&Obsah..."},
    {"MenuAbout", MenuCaption, "&O programu..."},
    {"GroupBoxZapal", ControlCaption, "Zapalování"},
    {"GroupBoxJet", ControlCaption, "Vstřikování"},
    {"CheckBoxProgHned", ControlCaption, "Programování po změně"},
    {"CheckBoxZakazCteni", ControlCaption, "Zákaz čtení"},
    {"Button1", ControlCaption, "Čí&st"},
    {"BitBtn1", ControlCaption, "&Programovat"},
    {"BitBtn2", ControlCaption, "&Verifikovat"},
    {"TabSheet1", TabCaption, "Zapalování"},
    {"TabSheet2", TabCaption, "Palivová mapa"},
    {"TabSheet3", TabCaption, "Různé"},
    {"TabSheet4", TabCaption, "N2O kontroler"},
    {"GroupBox1", ControlCaption, "Předstih"},
    {"GroupBox3", ControlCaption, "Různé"},
    {"GroupBox4", ControlCaption, "Aktivace sepnutím"},
    {"Label2", ControlCaption, "Předstih [°]"},
    {"LabelOmez1", ControlCaption, "Startovací omezovač [rpm]"},
    {"LabelOmez2", ControlCaption, "Omezovač [rpm]"},
    {"Label10", ControlCaption, "Kontrolka řazení [rpm]"},
    {"CheckBoxGas", ControlCaption, "N2O povolen"},
    {"GroupBoxGas", ControlCaption, "N2O"},
    {"LabelGas1", ControlCaption, "N2O 1 [%]"},
    {"LabelGas2", ControlCaption, "N2O 2 [%]"},
    {"LabelGasD", ControlCaption, "Zpoždění [ms]"},
    {"LabelGasT", ControlCaption, "Náběh [ms]"},
    {"GroupBoxRetard", ControlCaption, "Snížení předstihu"},
    {"LabelRetard1", ControlCaption, "Snížení předstihu 1 [°]"},
    {"LabelRetard2", ControlCaption, "Snížení předstihu 2 [°]"},
    {"LabelRetardD", ControlCaption, "Zpoždění [ms]"},
    {"LabelRetardT", ControlCaption, "Náběh [ms]"},
    {"CheckBoxAktLimiter1", ControlCaption, "Startovací omezovač"},
    {"CheckBoxAktBlok", ControlCaption, "Blokování"},
    {"CheckBox6", ControlCaption, "Otáčkoměr 2x"},
    {"CheckBoxAktN2o", ControlCaption, "Aktivace N2O"},
    {"LabelFile1", ControlCaption, "Soubor:"},
    {"GroupBoxKor23", ControlCaption, "Korekce válců 2 a 3"},
    {"GroupBoxAkcel", ControlCaption, "Akcelerační přístřik"},
    {"LabelAkcelPrah", ControlCaption, "Práh [%/s]"},
    {"LabelAkcelJet", ControlCaption, "Velikost[us]"},
    {"GroupBoxChlazeni", ControlCaption, "Chlazení"},
    {"GroupBoxVoda", ControlCaption, "Teplota vody"},
    {"GroupBoxVzduch", ControlCaption, "Teplota vzduchu"},
    {"GroupBoxStartJet", ControlCaption, "Startovní přístřik"},
    {"ComboBox1", ControlHint, "Klíčovací systém"},
    {"Label1", ControlHint, "Otáčky za minutu|Rychlost - Otáčky za minutu"},
    {"LabelVerze1", ControlHint, "Verze programu v zapalování"},
    {"LabelVerze2", ControlHint, "Datum zhotovení programu v zapalování"},
    {"LabelVerze3", ControlHint, "Čas zhotovení programu v zapalování"},
    {"SpeedButton5", ControlHint, "Otevření souboru s parametry"},
    {"SpeedButton6", ControlHint, "Nastavení výchozích parametrů"},
    {"SpeedButton7", ControlHint, "Uložení parametrů do souboru"},
    {"SpeedButtonPrint", ControlHint, "Tisk parametrů"},
    {"BitBtn1", ControlHint, "Programování nastavených parametrů do zapalování"},
    {"BitBtn2", ControlHint,
     "Ověření zda  nastavené parametry souhlasí s parametry naprogramovanými do zapalování"},
    {"BitBtnIgnMinus", ControlHint, "Zmenšení předstihu o 1 stupeň"},
    {"BitBtnIgnPlus", ControlHint, "Zvětšení předstihu o 1 stupeň"},
    {"Button1", ControlHint, "Čtení parametrů ze zapalování"},
    {"MenuNew", MenuHint, "Nastavení výchozích parametrů"},
    {"MenuOpen", MenuHint, "Otevření souboru s parametry"},
    {"MenuSave", MenuHint, "Uložení parametrů do souboru"},
    {"MenuPrint", MenuHint, "Tisk parametrů"},
    {"MenuExit", MenuHint, "Ukončení programu"},
    {"MenuCom", MenuHint, "Nastavení čísla serivého portu (Com) "},
    {"MenuCom1", MenuHint, "Nastavení komunikace na port com 1"},
    {"MenuCom2", MenuHint, "Nastavení komunikace na port com 2"},
    {"MenuCom3", MenuHint, "Nastavení komunikace na port com 3"},
    {"MenuCom4", MenuHint, "Nastavení komunikace na port com 4"},
    {"MenuCom5", MenuHint, "Nastavení komunikace na port com 5"},
    {"MenuRead", MenuHint, "Čtení|Čtení parametrů z jednotky"},
    {"MenuVerify", MenuHint,
     "Ověření|Ověření zda  nastavené parametry souhlasí s parametry naprogramovanými do "
     "zapalování"},
    {"MenuProgram", MenuHint,
     "Programování jednotky|Programování nastavených parametrů do jednotky"},
    {"CurveMinus", MenuHint, "Předstih minus|Zmenšení předstihu o 1 stupeň"},
    {"CurvePlus", MenuHint, "Předstih plus|Zvětšení předstihu o 1 stupeň"},
    // Our own text: without it the menu would keep the previous language's hint.
    {"MenuLanguage", MenuHint, "Jazyk|Nastavení jazyka"},
    {"MenuEnglish", MenuHint, "Set Englich menu"},
    {"MenuCzech", MenuHint, "Nastavit české menu"},
    {"MenuGerman", MenuHint, "Deutche Menü"},
    {"MenuHelp", MenuHint, "Není k dispozici"},
    {"CheckBoxProgHned", ControlHint, "Programování ihned po změně"},
};

} // namespace

extern const TextSet kCzechSet;
const TextSet kCzechSet = {
    "Jazyk2", 0, "MenuCzech", "Programování jednotky Velmora 52", kEntries, std::size(kEntries),
};

} // namespace velmora::lang
