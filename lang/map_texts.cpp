#include "lang/map_texts.h"

#include <array>
#include <cstddef>

namespace velmora::lang {

namespace {

struct Row {
    MapText id;
    const char* cs;
    const char* en;
    const char* de;
};

constexpr std::array<Row, static_cast<std::size_t>(MapText::Count)> Table{{
    {MapText::ViewMenu, "Z&obrazit", "&View", "A&nsicht"},
    {MapText::HeatColours, "Barvy podle hodnot", "Heat colours", "Wärmefarben"},
    {MapText::InjectionMapItem, "Vstřikovací mapa…", "Injection map…", "Einspritzkarte…"},
    {MapText::WindowTitle, "Vstřikovací mapa", "Injection map", "Einspritzkarte"},
    {MapText::ShowLabel, "Zobrazit:", "Show:", "Anzeigen:"},
    {MapText::OverlayValues, "Hodnoty [%]", "Values [%]", "Werte [%]"},
    {MapText::OverlayHits, "Doba v buňce [s]", "Time in cell [s]", "Verweildauer [s]"},
    {MapText::OverlayLambda, "Průměrná lambda [mV]", "Mean lambda [mV]", "Mittlere Lambda [mV]"},
    {MapText::OverlayBalance, "Bohatá - chudá [%]", "Rich - lean [%]", "Fett - mager [%]"},
    {MapText::OverlaySuggestions, "Návrhy [%]", "Suggestions [%]", "Vorschläge [%]"},
    {MapText::AddButton, "Přičíst...", "Add...", "Addieren..."},
    {MapText::ScaleButton, "Krát %...", "Times %...", "Mal %..."},
    {MapText::InterpolateAcross, "Interpolovat vodorovně", "Interpolate across",
     "Waagrecht interpolieren"},
    {MapText::InterpolateDown, "Interpolovat svisle", "Interpolate down",
     "Senkrecht interpolieren"},
    {MapText::InterpolateCorners, "Interpolovat z rohů", "Interpolate from corners",
     "Aus den Ecken interpolieren"},
    {MapText::Smooth, "Vyhladit", "Smooth", "Glätten"},
    {MapText::Copy, "Kopírovat", "Copy", "Kopieren"},
    {MapText::Paste, "Vložit", "Paste", "Einfügen"},
    {MapText::LoadLog, "Načíst záznam...", "Load log...", "Log laden..."},
    {MapText::ResetStatistics, "Vynulovat statistiku", "Reset statistics",
     "Statistik zurücksetzen"},
    {MapText::ApplySuggestions, "Použít návrhy", "Apply suggestions", "Vorschläge übernehmen"},
    {MapText::AddPrompt, "Přičíst k vybraným buňkám (záporné číslo odečte):",
     "Add to the selected cells (a negative number subtracts):",
     "Zu den gewählten Zellen addieren (negativ zieht ab):"},
    {MapText::ScalePrompt, "Procento současné hodnoty (105 = o 5 % více):",
     "Percent of the present value (105 = 5 % more):",
     "Prozent des jetzigen Werts (105 = 5 % mehr):"},
    {MapText::AxisRowLabel, "ot/min", "rpm", "U/min"},
    {MapText::NotANumber, "Řádek %1, sloupec %2: \"%3\" není číslo. Nic se nezměnilo.",
     "Row %1, column %2: \"%3\" is not a number. Nothing was changed.",
     "Zeile %1, Spalte %2: \"%3\" ist keine Zahl. Nichts wurde geändert."},
    {MapText::OutOfRange, "Řádek %1, sloupec %2: %3 není mezi 5 a 250. Nic se nezměnilo.",
     "Row %1, column %2: %3 is not between 5 and 250. Nothing was changed.",
     "Zeile %1, Spalte %2: %3 liegt nicht zwischen 5 und 250. Nichts wurde geändert."},
    {MapText::RaggedRows, "Řádek %1 má %2 čísel, první řádek jiný počet. Nic se nezměnilo.",
     "Row %1 has %2 numbers, the first row a different count. Nothing was changed.",
     "Zeile %1 hat %2 Zahlen, die erste Zeile eine andere Anzahl. Nichts wurde geändert."},
    {MapText::TooLarge, "Text je pro mapu příliš dlouhý. Nic se nezměnilo.",
     "The text is far too long for a map. Nothing was changed.",
     "Der Text ist für eine Karte viel zu lang. Nichts wurde geändert."},
    {MapText::Empty, "Schránka neobsahuje žádná čísla. Nic se nezměnilo.",
     "The clipboard holds no numbers. Nothing was changed.",
     "Die Zwischenablage enthält keine Zahlen. Nichts wurde geändert."},
    {MapText::AxisNotRising, "Osa otáček neroste zleva doprava. Nic se nezměnilo.",
     "The speed axis does not rise from left to right. Nothing was changed.",
     "Die Drehzahlachse steigt nicht von links nach rechts. Nichts wurde geändert."},
    {MapText::SelectionTooSmall, "Vyberte aspoň dvě buňky ve směru interpolace.",
     "Select at least two cells in the direction of the interpolation.",
     "Wählen Sie mindestens zwei Zellen in Richtung der Interpolation."},
    {MapText::BadSelection, "Nejprve vyberte buňky mapy.", "Select map cells first.",
     "Wählen Sie zuerst Zellen der Karte."},
    {MapText::AxisPointBetween,
     "Otáčky %1 musí ležet mezi sousedními %2 a %3 ot/min. Nic se nezměnilo.",
     "The speed %1 must lie between its neighbours %2 and %3 rpm. Nothing was changed.",
     "Die Drehzahl %1 muss zwischen den Nachbarn %2 und %3 U/min liegen. Nichts wurde "
     "geändert."},
    {MapText::TypeCellValue,
     "\"%1\" není celé číslo od 5 do 250; mapa drží celá procenta. Nic se nezměnilo.",
     "\"%1\" is not a whole number from 5 to 250; the map holds whole percents. Nothing was "
     "changed.",
     "\"%1\" ist keine ganze Zahl von 5 bis 250; die Karte hält ganze Prozent. Nichts wurde "
     "geändert."},
    {MapText::Pasted, "Vloženo %1 × %2 buněk.", "Pasted %1 × %2 cells.",
     "%1 × %2 Zellen eingefügt."},
    {MapText::StatisticsSummary, "Statistika: %1 vzorků, započteno %2.",
     "Statistics: %1 samples, %2 counted.", "Statistik: %1 Messwerte, %2 gezählt."},
    {MapText::HelperAssumptions,
     "Návrhy předpokládají úzkopásmovou sondu: ta pozná jen bohatou nebo chudou směs kolem "
     "lambda 1 (bod přepnutí %1 mV). Buňky řádků 0 až 40 % s nejméně %2 váženými vzorky se "
     "mění nejvýše o %3 % za průchod, k více palivu kde je směs převážně chudá a k méně kde "
     "převážně bohatá; řádky 60 až 100 % potřebují širokopásmovou sondu a nemění se. Po "
     "každém průchodu motor zkontrolujte.",
     "The suggestions assume a narrow-band probe, which only tells rich from lean around "
     "lambda 1 (switch point %1 mV). Cells of the 0 to 40 % rows with at least %2 weighted "
     "samples move by at most %3 % a pass, towards more fuel where mostly lean and less where "
     "mostly rich; the 60 to 100 % rows need a wide-band probe and are never changed. Check the "
     "engine after every pass.",
     "Die Vorschläge setzen eine Schmalband-Sonde voraus, die nur fett von mager um Lambda 1 "
     "unterscheidet (Umschaltpunkt %1 mV). Zellen der Zeilen 0 bis 40 % mit mindestens %2 "
     "gewichteten Messwerten ändern sich um höchstens %3 % je Durchgang, zu mehr Kraftstoff wo "
     "meist mager und zu weniger wo meist fett; die Zeilen 60 bis 100 % brauchen eine "
     "Breitband-Sonde und werden nie geändert. Prüfen Sie den Motor nach jedem Durchgang."},
    {MapText::NeedsWideBand, "potřebuje širokopásmovou sondu", "needs a wide-band probe",
     "braucht eine Breitband-Sonde"},
    {MapText::NoSuggestions, "Žádná buňka nemá co změnit.", "No cell has a change to apply.",
     "Keine Zelle hat eine Änderung."},
    {MapText::SuggestionsApplied,
     "Změněno %1 buněk. Tato statistika je použita; další návrhy až z nových vzorků.",
     "%1 cells changed. These statistics are used; further suggestions need new samples.",
     "%1 Zellen geändert. Diese Statistik ist verbraucht; weitere Vorschläge brauchen neue "
     "Messwerte."},
    {MapText::LogUnreadable, "Záznam %1 nelze přečíst: %2", "The log %1 cannot be read: %2",
     "Das Log %1 kann nicht gelesen werden: %2"},
    {MapText::LogMissingChannels, "V záznamu %1 chybí kanály %2. Nic se nevyhodnotilo.",
     "The log %1 lacks the channels %2. Nothing was analysed.",
     "Dem Log %1 fehlen die Kanäle %2. Nichts wurde ausgewertet."},
    {MapText::LogAnalysed, "Záznam %1: %2 vzorků, započteno %3.", "Log %1: %2 samples, %3 counted.",
     "Log %1: %2 Messwerte, %3 gezählt."},
    {MapText::ViewMenuHint, "Zobrazit|Mapa, barvy a křivka zapalování",
     "View|The map, its colours and the ignition curve", "Ansicht|Karte, Farben und Zündkurve"},
    {MapText::InjectionMapHint, "Vstřikovací mapa|Mapa v okně s úpravami a statistikou",
     "Injection map|The map in a window with operations and statistics",
     "Einspritzkarte|Die Karte in einem Fenster mit Werkzeugen und Statistik"},
    {MapText::HeatColoursHint, "Barvy podle hodnot|Obarví buňky mapy podle hodnoty",
     "Heat colours|Colours the map's cells by value",
     "Wärmefarben|Färbt die Zellen der Karte nach dem Wert"},
    {MapText::IgnitionCurveItem, "Křivka zapalování…", "Ignition curve…", "Zündkurve…"},
    {MapText::IgnitionCurveHint,
     "Křivka zapalování|Deset bodů křivky předstihu a živý předstih jednotky",
     "Ignition curve|The ten points of the advance curve and the unit's live advance",
     "Zündkurve|Die zehn Punkte der Vorzündkurve und die Live-Vorzündung des Geräts"},
    {MapText::CurveWindowTitle, "Křivka zapalování", "Ignition curve", "Zündkurve"},
    {MapText::CurveSpeedAxis, "Otáčky [ot/min]", "Speed [rpm]", "Drehzahl [U/min]"},
    {MapText::CurveAdvanceAxis, "Předstih [°]", "Advance [°]", "Vorzündung [°]"},
    {MapText::NotWhole,
     "Řádek %1, sloupec %2: %3 není celé číslo; mapa drží celá procenta. Nic se nezměnilo.",
     "Row %1, column %2: %3 is not a whole number; the map holds whole percents. Nothing was "
     "changed.",
     "Zeile %1, Spalte %2: %3 ist keine ganze Zahl; die Karte hält ganze Prozent. Nichts wurde "
     "geändert."},
    {MapText::AxisWholeHundreds, "Otáčky osy jsou celé stovky ot/min; %1 není. Nic se nezměnilo.",
     "Speed points are whole hundreds of rpm; %1 is not. Nothing was changed.",
     "Drehzahlpunkte sind ganze Hunderter U/min; %1 ist keiner. Nichts wurde geändert."},
    {MapText::SuggestionsUsed,
     "Tato statistika už byla použita. Návrhy se obnoví, až přibudou nové vzorky.",
     "These statistics were applied already. Suggestions come back with new samples.",
     "Diese Statistik wurde schon übernommen. Vorschläge kommen mit neuen Messwerten wieder."},
    {MapText::StatisticsKeyRefused, "[%1] %2: hodnota mimo rozsah, platí výchozí",
     "[%1] %2: value out of range, the default applies",
     "[%1] %2: Wert außerhalb des Bereichs, Vorgabe gilt"},
    {MapText::AxisNotRecorded,
     "Záznam neobsahuje osu otáček, se kterou vznikl: použita je dnešní osa.",
     "The log does not hold the speed axis it was recorded with: today's axis is used.",
     "Das Log enthält die Drehzahlachse seiner Aufnahme nicht: die heutige Achse gilt."},
    {MapText::AxisDiffers, "Záznam vznikl s jinou osou otáček: vzorky jsou umístěny podle ní.",
     "The log was recorded with another speed axis: its samples are placed by that one.",
     "Das Log wurde mit einer anderen Drehzahlachse aufgenommen: die Messwerte werden nach "
     "ihr eingeordnet."},
    {MapText::LogRangeSource, "%1, %2 s – %3 s", "%1, %2 s – %3 s", "%1, %2 s – %3 s"},
    {MapText::OverlayTargets, "Cílová lambda", "Target lambda", "Ziel-Lambda"},
    {MapText::OverlayWideband, "Širokopásmová korekce [%]", "Wide-band correction [%]",
     "Breitband-Korrektur [%]"},
    {MapText::LockButton, "Zamknout / odemknout", "Lock / unlock", "Sperren / entsperren"},
    {MapText::ApplyWideband, "Použít širokopásmové korekce", "Apply wide-band corrections",
     "Breitband-Korrekturen übernehmen"},
    {MapText::NewSession, "Nové ladění", "New session", "Neue Sitzung"},
    {MapText::WidebandStepLabel, "Krok [%]:", "Step [%]:", "Schritt [%]:"},
    {MapText::WidebandTotalLabel, "Celkem [%]:", "Total [%]:", "Gesamt [%]:"},
    {MapText::WidebandMinLabel, "Min. vzorků:", "Min. samples:", "Min. Messwerte:"},
    {MapText::TargetNotANumber,
     "Cílová lambda, řádek %1, sloupec %2: hodnota není číslo. Nic se nezměnilo.",
     "Target lambda, row %1, column %2: the value is not a number. Nothing was changed.",
     "Ziel-Lambda, Zeile %1, Spalte %2: der Wert ist keine Zahl. Nichts wurde geändert."},
    {MapText::TargetOutOfRange,
     "Cílová lambda, řádek %1, sloupec %2: %3 není mezi 0,6 a 1,3. Nic se nezměnilo.",
     "Target lambda, row %1, column %2: %3 is not between 0.6 and 1.3. Nothing was changed.",
     "Ziel-Lambda, Zeile %1, Spalte %2: %3 liegt nicht zwischen 0,6 und 1,3. Nichts wurde "
     "geändert."},
    {MapText::TargetRows, "Tabulka cílových lambd má 10 řádků po 10 číslech. Nic se nezměnilo.",
     "A target lambda table is 10 lines of 10 numbers. Nothing was changed.",
     "Eine Ziel-Lambda-Tabelle hat 10 Zeilen zu 10 Zahlen. Nichts wurde geändert."},
    {MapText::TargetColumns, "Cílová lambda, řádek %1: nemá 10 čísel. Nic se nezměnilo.",
     "Target lambda, row %1: it does not hold 10 numbers. Nothing was changed.",
     "Ziel-Lambda, Zeile %1: sie enthält nicht 10 Zahlen. Nichts wurde geändert."},
    {MapText::TargetsPasted, "Cílové lambdy vloženy.", "Target lambdas pasted.",
     "Ziel-Lambdas eingefügt."},
    {MapText::TargetsNotSaved, "Cílové lambdy nelze uložit do %1: %2",
     "The target lambdas could not be saved to %1: %2",
     "Die Ziel-Lambdas konnten nicht in %1 gespeichert werden: %2"},
    {MapText::TargetsDamaged, "Soubor cílových lambd %1 je poškozen (%2): platí výchozí cíle.",
     "The target lambda file %1 is damaged (%2): the default targets apply.",
     "Die Ziel-Lambda-Datei %1 ist beschädigt (%2): die Vorgabeziele gelten."},
    {MapText::CellsLocked, "Zamčeno buněk: %1.", "%1 cells locked.", "%1 Zellen gesperrt."},
    {MapText::CellsUnlocked, "Odemčeno buněk: %1.", "%1 cells unlocked.", "%1 Zellen entsperrt."},
    {MapText::ReasonLocked, "zamčeno", "locked", "gesperrt"},
    {MapText::ReasonAtLimit, "mez", "limit", "Grenze"},
    {MapText::ReasonLockedLong, "Buňka je zamčena.", "The cell is locked.",
     "Die Zelle ist gesperrt."},
    {MapText::ReasonNoSamples, "Žádná použitelná čtení.", "No usable readings.",
     "Keine verwertbaren Lesungen."},
    {MapText::ReasonFewSamples, "Málo vzorků: %1 z %2.", "Too few samples: %1 of %2.",
     "Zu wenige Messwerte: %1 von %2."},
    {MapText::ReasonAtLimitLong, "Na mezi %1 % proti mapě na začátku ladění.",
     "At the limit of %1 % against the map the session began with.",
     "An der Grenze von %1 % gegenüber der Karte zu Sitzungsbeginn."},
    {MapText::ReasonOnTarget, "Na cíli.", "On target.", "Am Ziel."},
    {MapText::ReasonSuggested, "Návrh %1 (%2 %).", "Suggested %1 (%2 %).", "Vorschlag %1 (%2 %)."},
    {MapText::CellFigures, "Vzorků %1 (%2 čtení), medián lambda %3, rozptyl %4 %",
     "Samples %1 (%2 readings), median lambda %3, spread %4 %",
     "Messwerte %1 (%2 Lesungen), Median Lambda %3, Streuung %4 %"},
    {MapText::WidebandSummary,
     "Širokopásmová čtení: %1, použito %2; vynecháno: bez lambdy %3, odpojené palivo %4, přechod "
     "%5, studený motor %6, omezovač %7, mimo mapu %8. Návrhů: %9.",
     "Wide-band readings: %1, used %2; left out: no lambda %3, fuel cut %4, transient %5, cold %6, "
     "limiter %7, off the map %8. Suggestions: %9.",
     "Breitband-Lesungen: %1, verwendet %2; ausgelassen: ohne Lambda %3, Schubabschaltung %4, "
     "Übergang %5, kalt %6, Begrenzer %7, außerhalb der Karte %8. Vorschläge: %9."},
    {MapText::DelayLine, "Zpoždění: %1", "Delay: %1", "Verzögerung: %1"},
    {MapText::DelayAssumed, "předpoklad", "assumed", "angenommen"},
    {MapText::WidebandApplied, "Použity širokopásmové korekce: %1 buněk.",
     "Wide-band corrections applied: %1 cells.", "Breitband-Korrekturen übernommen: %1 Zellen."},
    {MapText::NoWidebandSuggestions, "Žádná buňka nemá širokopásmový návrh.",
     "No cell has a wide-band suggestion.", "Keine Zelle hat einen Breitband-Vorschlag."},
    {MapText::WidebandUsed, "Tato čtení už byla použita. Návrhy se obnoví s novými čteními.",
     "These readings were applied already. Suggestions come back with new readings.",
     "Diese Lesungen wurden schon übernommen. Vorschläge kommen mit neuen Lesungen wieder."},
    {MapText::SessionStarted, "Nové ladění: meze se počítají od současné mapy.",
     "New session: the limits count from the present map.",
     "Neue Sitzung: die Grenzen zählen ab der jetzigen Karte."},
    {MapText::NoWideband, "Žádná širokopásmová čtení: platí pomocník úzkopásmové sondy.",
     "No wide-band readings: the narrow-band helper applies.",
     "Keine Breitband-Lesungen: der Schmalband-Helfer gilt."},
    {MapText::ReasonBetween, "mezi", "between", "zwischen"},
    {MapText::ReasonBetweenLong,
     "Čtení leží většinou blíž sousedním buňkám (průměrná váha %1, nejméně 0,25): měří směs, "
     "kterou může splnit i soused.",
     "The readings lie mostly nearer other cells (mean weight %1, at least 0.25): they measure a "
     "blend that a neighbour can satisfy as well.",
     "Die Lesungen liegen meist näher an anderen Zellen (mittleres Gewicht %1, mindestens 0,25): "
     "sie messen eine Mischung, die auch ein Nachbar erfüllen kann."},
}};

constexpr bool inOrder() {
    for (std::size_t i = 0; i < Table.size(); ++i)
        if (static_cast<std::size_t>(Table[i].id) != i) return false;
    return true;
}
static_assert(inOrder(), "the rows follow the order of MapText");

} // namespace

const char* mapText(MapText t, std::uint8_t language) {
    const Row& row = Table[static_cast<std::size_t>(t)];
    switch (language) {
    case 0:
        return row.cs;
    case 1:
        return row.en;
    case 2:
        return row.de;
    }
    return nullptr;
}

} // namespace velmora::lang
