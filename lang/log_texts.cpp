#include "lang/log_texts.h"

#include <array>
#include <cstddef>

namespace velmora::lang {

namespace {

struct Row {
    const char* cs;
    const char* en;
    const char* de;
};

// Access keys of the menu bar: Czech S P Z m J N, English F C D T L H, German D C Z W S H,
// and of the added menus Czech r a o, English E o V, German B A n; the items of the Log menu have
// keys of their own in each language, recording or not.
const std::array<Row, static_cast<std::size_t>(LogText::Count)> rows{{
    {"Zázn&am", "L&og", "&Aufzeichnung"},
    {"Záznam živých dat", "Recording of the live data", "Aufzeichnung der Live-Daten"},
    {"&Spustit záznam", "&Start recording", "Aufzeichnung &starten"},
    {"Záznam|Zaznamenává živá data jednotky do logu",
     "Record|Records the unit's live data to a log",
     "Aufzeichnen|Zeichnet die Live-Daten des Geräts in ein Log auf"},
    {"Za&stavit záznam", "S&top recording", "Aufzeichnung s&toppen"},
    {"&Značka…", "&Marker…", "&Markierung…"},
    {"Značka|Vloží do záznamu značku s číslem a poznámkou",
     "Marker|Puts a numbered marker with an optional note into the log",
     "Markierung|Setzt eine nummerierte Markierung mit Notiz in das Log"},
    {"Zaznamenávat při spo&jení", "&Record while connected", "Bei &Verbindung aufzeichnen"},
    {"Zaznamenávat při spojení|Záznam začne s prvními daty jednotky a skončí se spojením",
     "Record while connected|Recording starts with the unit's first data and ends with the "
     "connection",
     "Bei Verbindung aufzeichnen|Die Aufzeichnung beginnt mit den ersten Daten und endet mit der "
     "Verbindung"},
    {"&Otevřít log…", "&Open log…", "Log ö&ffnen…"},
    {"Otevřít log|Zobrazí log v grafech", "Open log|Shows a log in plots",
     "Log öffnen|Zeigt ein Log in Diagrammen"},
    {"&Přehrát…", "Re&play…", "&Wiedergabe…"},
    {"Přehrát|Přehraje log na stránce Monitor", "Replay|Plays a log on the Monitor page",
     "Wiedergabe|Spielt ein Log auf der Monitor-Seite ab"},
    {"Otevřít složku &logů", "Open logs &folder", "&Log-Ordner öffnen"},
    {"Složka logů|Otevře složku se záznamy", "Logs folder|Opens the folder of the logs",
     "Log-Ordner|Öffnet den Ordner der Logs"},
    {"&Export CSV…", "&Export CSV…", "CSV &exportieren…"},
    {"Poznámka ke značce %1 (nepovinná):", "Note for marker %1 (optional):",
     "Notiz zur Markierung %1 (optional):"},
    {"Záznam zastaven: %1", "Recording stopped: %1", "Aufzeichnung gestoppt: %1"},
    {"PŘEHRÁVÁNÍ %1", "REPLAY %1", "WIEDERGABE %1"},
    {"Přehrávání", "Replay", "Wiedergabe"},
    {"Přehrát", "Play", "Abspielen"},
    {"Pozastavit", "Pause", "Pause"},
    {"Ukončit", "Stop", "Beenden"},
    {"Rychlost", "Speed", "Tempo"},
    {"Počkejte na konec komunikace s jednotkou.", "Wait until the exchange with the unit ends.",
     "Warten Sie das Ende der Übertragung ab."},
    {"K logu chybí soubor rámců (.frames), nelze jej přehrát.",
     "The log has no frame file (.frames) beside it and cannot be replayed.",
     "Zum Log fehlt die Rahmendatei (.frames); es kann nicht abgespielt werden."},
    {"Log neobsahuje žádné záznamy.", "The log holds no records.",
     "Das Log enthält keine Datensätze."},
    {"Prohlížeč logu", "Log viewer", "Log-Betrachter"},
    {"Kanály", "Channels", "Kanäle"},
    {"Hodnota", "Value", "Wert"},
    {"Značky", "Markers", "Markierungen"},
    {"Vše", "Show all", "Alles"},
    {"Zvětšit výběr", "Zoom to selection", "Auswahl zoomen"},
    {"Výběr %1 s – %2 s (%3 s)", "Selection %1 s – %2 s (%3 s)", "Auswahl %1 s – %2 s (%3 s)"},
    {"Kurzor %1 s", "Cursor %1 s", "Cursor %1 s"},
    {"Logy MLG (*.mlg)", "MLG logs (*.mlg)", "MLG-Logs (*.mlg)"},
    {"Text CSV (*.csv)", "CSV text (*.csv)", "CSV-Text (*.csv)"},
    {"Uloženo do %1", "Exported to %1", "Exportiert nach %1"},
    {"zázn.", "rec", "Dats."},
    {"Čas [s]", "Time [s]", "Zeit [s]"},
    {"Záznam nelze spustit: %1", "Recording could not start: %1",
     "Aufzeichnung nicht gestartet: %1"},
    {"Analyzovat mapu", "Analyse map", "Karte auswerten"},
    {"Počítané kanály…", "Computed channels…", "Berechnete Kanäle…"},
    {"Název", "Name", "Name"},
    {"Výraz", "Expression", "Ausdruck"},
    {"Jednotky", "Units", "Einheit"},
    {"Desetinná místa", "Decimals", "Nachkommastellen"},
    {"Přidat", "Add", "Hinzufügen"},
    {"Změnit", "Change", "Ändern"},
    {"Odebrat", "Remove", "Entfernen"},
    {"Zavřít", "Close", "Schließen"},
    {"Filtr:", "Filter:", "Filter:"},
    {"%1 z %2 záznamů", "%1 of %2 records", "%1 von %2 Datensätzen"},
    {"Zadejte název kanálu.", "Give the channel a name.", "Geben Sie dem Kanal einen Namen."},
    {"Log už obsahuje kanál „%1“.", "The log records a channel named \"%1\".",
     "Das Log enthält bereits einen Kanal „%1“."},
    {"Počítaný kanál „%1“ už existuje.", "There is a computed channel \"%1\" already.",
     "Es gibt bereits einen berechneten Kanal „%1“."},
    {"Počítané kanály a filtr jsou příliš dlouhé na uložení.",
     "The computed channels and the filter are too long to keep.",
     "Berechnete Kanäle und Filter sind zu lang zum Speichern."},
    {"Sloupec %1: %2", "Column %1: %2", "Spalte %1: %2"},
    {"výraz je prázdný", "the expression is empty", "der Ausdruck ist leer"},
    {"výraz je delší než %1 znaků", "the expression is longer than %1 characters",
     "der Ausdruck ist länger als %1 Zeichen"},
    {"výraz je vnořen hlouběji než %1 úrovní", "the expression is nested more than %1 levels deep",
     "der Ausdruck ist tiefer als %1 Ebenen verschachtelt"},
    {"víc než %1 časových posunů, změn, průměrů a počítaných kanálů",
     "more than %1 time shifts, rates, means and computed channels",
     "mehr als %1 Zeitverschiebungen, Änderungsraten, Mittelwerte und berechnete Kanäle"},
    {"znak „%1“ zde nemá význam", "the character \"%1\" has no meaning here",
     "das Zeichen „%1“ hat hier keine Bedeutung"},
    {"jménu v uvozovkách chybí koncová \"", "the quoted name has no closing \"",
     "dem Namen in Anführungszeichen fehlt das schließende \""},
    {"číslo %1 je mimo rozsah", "the number %1 is out of range",
     "die Zahl %1 liegt außerhalb des Bereichs"},
    {"výraz končí tam, kde má následovat hodnota",
     "the expression ends where a value should follow",
     "der Ausdruck endet, wo ein Wert folgen sollte"},
    {"„%1“ sem nepatří", "\"%1\" is not expected here", "„%1“ ist hier nicht erwartet"},
    {"závorka „(“ není uzavřena", "a \"(\" is not closed", "eine „(“ wird nicht geschlossen"},
    {"tato „)“ neuzavírá žádnou „(“", "this \")\" closes no \"(\"", "diese „)“ schließt keine „(“"},
    {"není kanál „%1“", "no channel \"%1\"", "kein Kanal „%1“"},
    {"není funkce „%1“; jsou rate, mean, min, max a abs",
     "no function \"%1\"; there are rate, mean, min, max and abs",
     "keine Funktion „%1“; es gibt rate, mean, min, max und abs"},
    {"nesprávný počet hodnot funkce %1", "wrong number of values for %1",
     "falsche Anzahl von Werten für %1"},
    {"zde má stát čas v sekundách, např. 0.5s", "a time in seconds belongs here, such as 0.5s",
     "hier gehört eine Zeit in Sekunden hin, etwa 0.5s"},
    {"okno funkce mean musí být delší než 0 s", "the window of mean must be longer than 0 s",
     "das Fenster von mean muss länger als 0 s sein"},
    {"čas v sekundách („%1“) patří za @ nebo do mean()",
     "a time in seconds (\"%1\") belongs after @ or in mean()",
     "eine Zeit in Sekunden („%1“) gehört hinter @ oder in mean()"},
    {"kanál „%1“ odkazuje sám na sebe", "the channel \"%1\" refers to itself",
     "der Kanal „%1“ verweist auf sich selbst"},
    {"počítané kanály na sebe odkazují v kruhu: %1",
     "the computed channels refer to each other in a circle: %1",
     "die berechneten Kanäle verweisen im Kreis aufeinander: %1"},
    {"počítaný kanál „%1“ obsahuje chybu", "the computed channel \"%1\" has an error",
     "der berechnete Kanal „%1“ ist fehlerhaft"},
}};

} // namespace

const char* logText(LogText t, std::uint8_t language) {
    const Row& r = rows[static_cast<std::size_t>(t)];
    return language == 0 ? r.cs : language == 2 ? r.de : r.en;
}

} // namespace velmora::lang
