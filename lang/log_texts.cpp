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
    {"Bodový graf", "Scatter", "Streudiagramm"},
    {"Tabulka buněk", "Cell table", "Zellentabelle"},
    {"X", "X", "X"},
    {"Y", "Y", "Y"},
    {"Barva", "Colour", "Farbe"},
    {"(žádný)", "(none)", "(keiner)"},
    {"Kanál", "Channel", "Kanal"},
    {"Statistika", "Statistic", "Statistik"},
    {"Průměr", "Mean", "Mittelwert"},
    {"Medián", "Median", "Median"},
    {"Minimum", "Minimum", "Minimum"},
    {"Maximum", "Maximum", "Maximum"},
    {"Počet", "Count", "Anzahl"},
    {"Min. počet", "Minimum count", "Mindestanzahl"},
    {"Buňky", "Bins", "Zellen"},
    {"Osy mapy (jak zaznamenány)", "Map's axis (as recorded)",
     "Achsen der Karte (wie aufgezeichnet)"},
    {"Zvolené osy", "Chosen axes", "Gewählte Achsen"},
    {"Body X", "X points", "X-Punkte"},
    {"Body Y", "Y points", "Y-Punkte"},
    {"Kopírovat", "Copy", "Kopieren"},
    {"Časové úseky", "Time spans", "Zeitabschnitte"},
    {"%1 s – %2 s (%3 s)", "%1 s – %2 s (%3 s)", "%1 s – %2 s (%3 s)"},
    {"Tabulka není: %1", "No table: %1", "Keine Tabelle: %1"},
    {"%1 záznamů v %2 úsecích", "%1 records in %2 spans", "%1 Datensätze in %2 Abschnitten"},
    {"Otevřít druhý log…", "Open second log…", "Zweites Log öffnen…"},
    {"Odebrat druhý log", "Remove second log", "Zweites Log entfernen"},
    {"Srovnání druhého logu", "Align the second log", "Zweites Log ausrichten"},
    {"Na značce každého", "At a marker of each", "An einer Markierung beider"},
    {"V čase každého", "At a time of each", "Zu einer Zeit beider"},
    {"Na události", "At an event", "An einem Ereignis"},
    {"První log", "First log", "Erstes Log"},
    {"Druhý log", "Second log", "Zweites Log"},
    {"stoupá přes", "rises through", "steigt über"},
    {"klesá přes", "falls through", "fällt unter"},
    {"Pořadí průchodu", "Crossing no.", "Durchgang Nr."},
    {"Po [s]", "After [s]", "Nach [s]"},
    {"Druhý log %1 nelze otevřít: %2", "The second log %1 cannot be opened: %2",
     "Das zweite Log %1 lässt sich nicht öffnen: %2"},
    {"Druhý log %1 nemá žádný ze zobrazených kanálů.",
     "The second log %1 has none of the plotted channels.",
     "Das zweite Log %1 hat keinen der gezeigten Kanäle."},
    {"Druhý log %1 nemá kanály: %2", "The second log %1 lacks the channels: %2",
     "Dem zweiten Log %1 fehlen die Kanäle: %2"},
    {"Log %1 nemá značku %2.", "The log %1 has no marker %2.",
     "Das Log %1 hat keine Markierung %2."},
    {"Log %1 nemá kanál %2.", "The log %1 has no channel %2.", "Das Log %1 hat keinen Kanal %2."},
    {"V logu %1 kanál %2 nepřechází přes %3 tak, jak je zvoleno.",
     "In the log %1 the channel %2 does not cross %3 as chosen.",
     "Im Log %1 durchquert der Kanal %2 den Wert %3 nicht wie gewählt."},
    {"Druhý log: %1, posun %2 s", "Second log: %1, shifted by %2 s",
     "Zweites Log: %1, verschoben um %2 s"},
    {"První jízda", "First ride", "Erste Fahrt"},
    {"Druhá jízda", "Second ride", "Zweite Fahrt"},
    {"Rozdíl", "Difference", "Differenz"},
    {"Rozdíl mapy", "Map difference", "Kennfeld-Differenz"},
    {"Rozdíl mapy [%]", "Map difference [%]", "Kennfeld-Differenz [%]"},
    {"Soubor %1 se od jízdy změnil.", "The file %1 has changed since the ride.",
     "Die Datei %1 wurde seit der Fahrt geändert."},
    {"Soubor %1 nebyl nalezen.", "The file %1 was not found.",
     "Die Datei %1 wurde nicht gefunden."},
    {"Log neuvádí, s jakou kalibrací vznikl.", "The log names no calibration it was recorded with.",
     "Das Log nennt keine Kalibrierung, mit der es aufgezeichnet wurde."},
    {"Kalibrace se během jízdy měnila; platí ta z jejího začátku.",
     "The calibration changed during the ride; the one at its start is used.",
     "Die Kalibrierung änderte sich während der Fahrt; die vom Anfang gilt."},
}};

} // namespace

const char* logText(LogText t, std::uint8_t language) {
    const Row& r = rows[static_cast<std::size_t>(t)];
    return language == 0 ? r.cs : language == 2 ? r.de : r.en;
}

} // namespace velmora::lang
