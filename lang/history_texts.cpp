#include "lang/history_texts.h"

#include <cstddef>

namespace velmora::lang {

namespace {

using Texts = const char* [3]; // Czech, English, German

// In the order of HistoryText.
const Texts kHistory[] = {
    {"Úp&ravy", "&Edit", "&Bearbeiten"},
    {"Úpravy|Zpět, znovu, snímky a porovnání", "Edit|Undo, redo, snapshots and comparison",
     "Bearbeiten|Rückgängig, wiederholen, Schnappschüsse und Unterschiede"},
    {"Zpě&t", "&Undo", "&Rückgängig"},
    {"&Znovu", "&Redo", "&Wiederholen"},
    {"Zpět|Vrátí poslední změnu parametrů", "Undo|Takes back the last change of the parameters",
     "Rückgängig|Nimmt die letzte Änderung der Parameter zurück"},
    {"Znovu|Provede vrácenou změnu znovu", "Redo|Makes the change taken back again",
     "Wiederholen|Führt die zurückgenommene Änderung wieder aus"},
    {"&Snímky…", "&Snapshots…", "&Schnappschüsse…"},
    {"Snímky|Uložené kalibrace: přečtené, naprogramované a nahrazené",
     "Snapshots|Kept calibrations: read, programmed and replaced ones",
     "Schnappschüsse|Aufbewahrte Kalibrierungen: gelesene, programmierte und ersetzte"},
    {"&Porovnat…", "&Compare…", "&Unterschiede…"},
    {"Porovnat|Rozdíly mezi obrazovkou a souborem, snímkem nebo jednotkou",
     "Compare|Differences between the screen and a file, a snapshot or the unit",
     "Unterschiede|Unterschiede zwischen Bildschirm und Datei, Schnappschuss oder Gerät"},
    {"Jednotka = obrazovka", "Unit = screen", "Gerät = Bildschirm"},
    {"Jednotka se liší", "Unit differs", "Gerät weicht ab"},
    {"Jednotka neznámá", "Unit unknown", "Gerät unbekannt"},
    {"Soubor uložen", "File saved", "Datei gespeichert"},
    {"Změněno od uložení", "Changed since saved", "Geändert seit Speichern"},
    {"Neuloženo", "Not saved", "Nicht gespeichert"},
    {"Obnovena kalibrace běhu, který se neukončil (%1) — Zpět vrátí uložené nastavení",
     "Recovered the calibration of a run that did not close (%1) — Undo returns to the saved "
     "settings",
     "Kalibrierung eines nicht beendeten Laufs wiederhergestellt (%1) — Rückgängig stellt die "
     "gespeicherten Einstellungen wieder her"},
    {"Liší se hodnot: %1 — Úpravy ▸ Porovnat", "%1 values differ — Edit ▸ Compare",
     "%1 Werte weichen ab — Bearbeiten ▸ Unterschiede"},
    {"Liší se 1 hodnota — Úpravy ▸ Porovnat", "1 value differs — Edit ▸ Compare",
     "1 Wert weicht ab — Bearbeiten ▸ Unterschiede"},
    {"Jednotka se liší (hodnot: %1)", "Unit differs: %1 values", "Gerät weicht ab: %1 Werte"},
    {"Jednotka se liší (1 hodnota)", "Unit differs: 1 value", "Gerät weicht ab: 1 Wert"},
    {"Soubor je pro model %1; ponechána tabulka modelu %2 — pro její použití vyberte model v "
     "seznamu",
     "The file is for model %1; the model table of %2 is kept — choose the model in the list to "
     "apply its table",
     "Die Datei ist für Modell %1; die Modelltabelle von %2 bleibt — Modell in der Liste wählen, "
     "um seine Tabelle anzuwenden"},
    {"Snímek nelze uložit: %1", "The snapshot could not be stored: %1",
     "Schnappschuss nicht gespeichert: %1"},
    {"Snímek už neexistuje: %1", "The snapshot no longer exists: %1",
     "Der Schnappschuss existiert nicht mehr: %1"},
    {"Soubor obnovy je poškozený a byl vynechán", "The recovery file is damaged and was skipped",
     "Die Wiederherstellungsdatei ist beschädigt und wurde übergangen"},
    {"Soubor obnovy nelze zapsat: %1", "The recovery file could not be written: %1",
     "Wiederherstellungsdatei nicht geschrieben: %1"},
    {"zap", "on", "ein"},
    {"vyp", "off", "aus"},
    {"úprava", "edit", "Änderung"},
    {"Nový", "New", "Neu"},
    {"Otevřít soubor", "Open file", "Datei öffnen"},
    {"Čtení z jednotky", "Read from unit", "Lesen vom Gerät"},
    {"Změna modelu", "Model change", "Modellwechsel"},
    {"Předstih -", "Curve A-", "Vorzündung -"},
    {"Předstih +", "Curve A+", "Vorzündung +"},
    {"Vstřik -", "Jet -", "Einspritzt -"},
    {"Vstřik +", "Jet +", "Einspritzt +"},
    {"Sloupec %1 -", "Column %1 -", "Spalte %1 -"},
    {"Sloupec %1 +", "Column %1 +", "Spalte %1 +"},
    {"Nastavit TPS 0", "Set TPS 0", "TPS 0 setzen"},
    {"Nastavit TPS 100", "Set TPS 100", "TPS 100 setzen"},
    {"Obnova po pádu", "Crash recovery", "Wiederherstellung"},
    {"Otevřít snímek", "Open snapshot", "Schnappschuss öffnen"},
    {"Uložit", "Save", "Speichern"},
    {"%1 hodnot", "%1 values", "%1 Werte"},
    {"Snímky", "Snapshots", "Schnappschüsse"},
    {"Čas", "Time", "Zeit"},
    {"Druh", "Kind", "Art"},
    {"Jednotka", "Unit", "Gerät"},
    {"Rozdílů", "Differ", "Abweichend"},
    {"&Otevřít", "&Open", "Ö&ffnen"},
    {"&Porovnat", "&Compare", "&Unterschiede"},
    {"&Zavřít", "C&lose", "&Schließen"},
    {"Porovnání", "Compare", "Unterschiede"},
    {"Stránka", "Page", "Seite"},
    {"Skupina", "Group", "Gruppe"},
    {"Hodnota", "Value", "Wert"},
    {"Obrazovka", "Screen", "Bildschirm"},
    {"Druhá", "Other", "Andere"},
    {"&Kopírovat", "&Copy", "&Kopieren"},
    {"&Soubor…", "&File…", "&Datei…"},
    {"S&nímek…", "&Snapshot…", "S&chnappschuss…"},
    {"&Jednotka", "&Unit", "&Gerät"},
    {"Žádné rozdíly", "No differences", "Keine Unterschiede"},
    {"čtení", "read", "gelesen"},
    {"programování", "program", "programmiert"},
    {"před Nový", "before New", "vor Neu"},
    {"před Otevřít", "before Open", "vor Öffnen"},
    {"před Čtení", "before Read", "vor Lesen"},
    {"před změnou modelu", "before model change", "vor Modellwechsel"},
    {"jiná kopie programu", "other copy", "andere Programmkopie"},
    {"Kalibrace jiné kopie programu zavřené dříve je uložena jako snímek %1",
     "Another copy's calibration, closed earlier, is kept as snapshot %1",
     "Kalibrierung einer früher beendeten Programmkopie ist als Schnappschuss %1 aufbewahrt"},
    {"Soubor obnovy nelze číst a zůstal nedotčen: %1",
     "The recovery file cannot be read and was left as it is: %1",
     "Wiederherstellungsdatei nicht lesbar und unverändert gelassen: %1"},
    {"Obnova pozadu o změn: %1", "Recovery %1 changes behind",
     "Wiederherstellung %1 Änderungen zurück"},
    {"Snímek neuložen", "Snapshot not stored", "Schnappschuss nicht gespeichert"},
};
static_assert(sizeof(kHistory) / sizeof(kHistory[0]) ==
              static_cast<std::size_t>(HistoryText::Count));

// In the order of ParamText.
const Texts kParams[] = {
    {"Zapalování", "Ignition", "Zündung"},
    {"Vstřikovací mapa", "Fuel map", "Einspritzkennfeld"},
    {"Různé", "Miscellaneous", "Verschiedenes"},
    {"N2O", "N2O controller", "N2O-Steuerung"},
    {"Monitor", "Monitor", "Monitor"},
    {"Model", "Model", "Modell"},
    {"Předstih", "Advance", "Vorzündung"},
    {"Ostatní", "Other", "Andere"},
    {"Aktivace sepnutím", "Activation by switch on", "Aktivierung durch Einschalten"},
    {"N2O", "N2O", "N2O"},
    {"Zpoždění zápalu", "Retard", "Spätzündung"},
    {"Privera", "Privera valve", "Privera-Ventil"},
    {"Mapa", "Map", "Kennfeld"},
    {"Korekce válců 2 a 3", "Corrections of cylinders 2 and 3", "Korrektur Zylinder 2 und 3"},
    {"TPS", "Throttle sensor", "Drosselklappensensor"},
    {"Akcelerační vstřik", "Acceleration injection", "Beschleunigungseinspritzung"},
    {"Startovací vstřik", "Start injection", "Starteinspritzung"},
    {"Chlazení", "Cooling", "Kühlung"},
    {"Teplota vody", "Water temperature", "Wassertemperatur"},
    {"Teplota vzduchu", "Air temperature", "Lufttemperatur"},
    {"Tabulka modelu", "Model table", "Modelltabelle"},
    {"Otáčky {n} [ot/min]", "Speed {n} [rpm]", "Drehzahl {n} [U/min]"},
    {"Předstih {n} ({rpm} ot/min)", "Advance {n} ({rpm} rpm)", "Vorzündung {n} ({rpm} U/min)"},
    {"Startovací omezovač [ot/min]", "Start limiter [rpm]", "Startbegrenzer [U/min]"},
    {"Omezovač [ot/min]", "Limiter [rpm]", "Begrenzer [U/min]"},
    {"Spojka [ms]", "Clutch master time [ms]", "Kupplung [ms]"},
    {"Kontrolka řazení [ot/min]", "Gear shift light [rpm]", "Schaltlicht [U/min]"},
    {"Model", "Model", "Modell"},
    {"Otáčkoměr 2x", "Tachometer 2x", "Drehzahlmesser 2x"},
    {"Zákaz čtení", "No reading", "Lesen verboten"},
    {"N2O povoleno", "N2O enable", "N2O freigegeben"},
    {"Blokování", "Blocking", "Sperre"},
    {"Spojka", "Clutch", "Kupplung"},
    {"Startovací omezovač", "Start limiter", "Startbegrenzer"},
    {"Otáčky", "Rpm", "Drehzahl"},
    {"N2O", "N2O", "N2O"},
    {"Rozšířený monitor", "Extended monitor", "Erweiterter Monitor"},
    {"N2O 1 [%]", "N2O 1 [%]", "N2O 1 [%]"},
    {"N2O 2 [%]", "N2O 2 [%]", "N2O 2 [%]"},
    {"Zpoždění [ms]", "Delay [ms]", "Verzögerung [ms]"},
    {"Náběh [ms]", "Build up time [ms]", "Aufbauzeit [ms]"},
    {"Zpoždění 1 [°]", "Retard 1 [°]", "Spätzündung 1 [°]"},
    {"Zpoždění 2 [°]", "Retard 2 [°]", "Spätzündung 2 [°]"},
    {"Otáčky {n} [ot/min]", "Speed {n} [rpm]", "Drehzahl {n} [U/min]"},
    {"Napětí {n} ({rpm} ot/min) [mV]", "Voltage {n} ({rpm} rpm) [mV]",
     "Spannung {n} ({rpm} U/min) [mV]"},
    {"Hystereze", "Hysteresis", "Hysterese"},
    {"Sloupec {n} [ot/min]", "Column {n} [rpm]", "Spalte {n} [U/min]"},
    {"Mapa {row} × {rpm} ot/min [%]", "Fuel map {row} × {rpm} rpm [%]",
     "Kennfeld {row} × {rpm} U/min [%]"},
    {"Korekce {n} ({rpm} ot/min) [%]", "Correction {n} ({rpm} rpm) [%]",
     "Korrektur {n} ({rpm} U/min) [%]"},
    {"TPS 0 [mV]", "TPS 0 [mV]", "TPS 0 [mV]"},
    {"TPS 100 [mV]", "TPS 100 [mV]", "TPS 100 [mV]"},
    {"Práh [%/s]", "Threshold [%/s]", "Schwelle [%/s]"},
    {"Velikost [us]", "Size [us]", "Größe [us]"},
    {"Startovací vstřik", "Start injection", "Starteinspritzung"},
    {"Chlazení [°C]", "Cooling [°C]", "Kühlung [°C]"},
    {"{t} °C [%]", "{t} °C [%]", "{t} °C [%]"},
    {"Maximální předstih", "Advance maximum", "Maximale Vorzündung"},
    {"Příznak modelu", "Model flag", "Modellkennung"},
    {"Tabulka modelu {n}", "Model table {n}", "Modelltabelle {n}"},
    {"Konstanta modelu", "Model constant", "Modellkonstante"},
    {"Poloha", "Throttle position", "Drosselposition"},
};
static_assert(sizeof(kParams) / sizeof(kParams[0]) == static_cast<std::size_t>(ParamText::Count));

const char* pick(const Texts& t, std::uint8_t language) {
    return t[language <= 2 ? language : 1];
}

} // namespace

const char* historyText(HistoryText t, std::uint8_t language) {
    return pick(kHistory[static_cast<std::size_t>(t)], language);
}

const char* paramText(ParamText t, std::uint8_t language) {
    return pick(kParams[static_cast<std::size_t>(t)], language);
}

} // namespace velmora::lang
