#include "lang/port_texts.h"

#include <array>
#include <cstddef>

namespace velmora::lang {

namespace {

using Texts = std::array<std::string_view, 3>; // Czech, English, German

constexpr std::array<Texts, static_cast<std::size_t>(PortText::Count)> table = {{
    {"Nastavení portu…", "Port settings…", "Port-Einstellungen…"},
    {"Nastavení portu|Volba sériového zařízení pro porty Com 1 až Com 6",
     "Port settings|Choose the serial device of each Com port",
     "Port-Einstellungen|Serielles Gerät für jeden Com-Port wählen"},
    {"Nastavení portu", "Port settings", "Port-Einstellungen"},
    {"Porty Com", "Com ports", "Com-Ports"},
    {"Port", "Port", "Port"},
    {"Zařízení", "Device", "Gerät"},
    {"Stav", "State", "Zustand"},
    {"připojeno", "present", "vorhanden"},
    {"chybí", "missing", "fehlt"},
    {"Nalezená sériová zařízení", "Serial devices found", "Gefundene serielle Geräte"},
    {"Popis", "Description", "Beschreibung"},
    {"Výrobce", "Manufacturer", "Hersteller"},
    {"Sériové číslo", "Serial number", "Seriennummer"},
    {"USB ID", "USB ID", "USB-ID"},
    {"Stálý název (by-id)", "Stable name (by-id)", "Fester Name (by-id)"},
    {"Žádné sériové zařízení nenalezeno", "No serial device found",
     "Kein serielles Gerät gefunden"},
    {"Obnovit", "Refresh", "Aktualisieren"},
    {"Cesta k zařízení:", "Device path:", "Gerätepfad:"},
    {"Přiřadit k:", "Assign to:", "Zuordnen zu:"},
    {"OK", "OK", "OK"},
    {"Zrušit", "Cancel", "Abbrechen"},
    {"Zadejte cestu k zařízení.", "Type the path of a device.",
     "Geben Sie den Pfad eines Geräts ein."},
    {"Cesta je příliš dlouhá.", "The path is too long.", "Der Pfad ist zu lang."},
    {"Cesta obsahuje řídicí znak (například konec řádku).",
     "The path contains a control character (such as a line break).",
     "Der Pfad enthält ein Steuerzeichen (etwa einen Zeilenumbruch)."},
    {"Cesta musí začínat znakem /.", "The path must start with /.",
     "Der Pfad muss mit / beginnen."},
    {"%1 neexistuje.", "%1 does not exist.", "%1 existiert nicht."},
    {"%1 je složka, ne sériové zařízení.", "%1 is a folder, not a serial device.",
     "%1 ist ein Ordner, kein serielles Gerät."},
    {"%1 je obyčejný soubor, ne sériové zařízení.", "%1 is a plain file, not a serial device.",
     "%1 ist eine gewöhnliche Datei, kein serielles Gerät."},
    {"%1 není sériové zařízení.", "%1 is not a serial device.", "%1 ist kein serielles Gerät."},
    {"Nastavení nelze uložit do %1: %2", "The settings could not be saved to %1: %2",
     "Die Einstellungen konnten nicht in %1 gespeichert werden: %2"},
    {"%1 neexistuje. Připojená sériová zařízení: %2. Zvolte jedno v nabídce Port > Nastavení "
     "portu…",
     "%1 does not exist. Serial devices present: %2. Choose one in Com > Port settings…",
     "%1 existiert nicht. Vorhandene serielle Geräte: %2. Wählen Sie eines unter ComPort > "
     "Port-Einstellungen…"},
    {"%1 neexistuje a není připojeno žádné sériové zařízení. Připojte převodník a zvolte jej v "
     "nabídce Port > Nastavení portu…",
     "%1 does not exist and no serial device is connected. Plug in the adapter, then choose it "
     "in Com > Port settings…",
     "%1 existiert nicht und kein serielles Gerät ist angeschlossen. Schließen Sie den Adapter "
     "an und wählen Sie ihn unter ComPort > Port-Einstellungen…"},
    {"Přístup k %1 odepřen: uživatel %3 není ve skupině %2. Spusťte: sudo usermod -aG %2 %3 — "
     "a pak se odhlaste a znovu přihlaste.",
     "Access to %1 is denied: user %3 is not in the group %2. Run: sudo usermod -aG %2 %3 — "
     "then log out and log in again.",
     "Zugriff auf %1 verweigert: Benutzer %3 ist nicht in der Gruppe %2. Führen Sie aus: sudo "
     "usermod -aG %2 %3 — und melden Sie sich danach ab und wieder an."},
    {"Přístup k %1 odepřen: uživatel %3 je ve skupině %2, ale toto přihlášení je starší. "
     "Odhlaste se a znovu přihlaste.",
     "Access to %1 is denied: user %3 is in the group %2, but this session began before that. "
     "Log out and log in again.",
     "Zugriff auf %1 verweigert: Benutzer %3 ist in der Gruppe %2, aber diese Sitzung begann "
     "vorher. Melden Sie sich ab und wieder an."},
    {"%1 používá jiný program: %2. Ukončete jej a zvolte port znovu.",
     "%1 is in use by another program: %2. Close it and choose the port again.",
     "%1 wird von einem anderen Programm benutzt: %2. Beenden Sie es und wählen Sie den Port "
     "erneut."},
    {"%1 používá jiný program. Ukončete jej a zvolte port znovu.",
     "%1 is in use by another program. Close it and choose the port again.",
     "%1 wird von einem anderen Programm benutzt. Beenden Sie es und wählen Sie den Port "
     "erneut."},
    {"%1 nelze otevřít: %2", "%1 could not be opened: %2", "%1 konnte nicht geöffnet werden: %2"},
    {"Je připojen USB sériový převodník: %1. Zvolit jej pro jednotku v Nastavení portu?",
     "A USB serial adapter is connected: %1. Choose it for the unit in Port settings?",
     "Ein USB-Seriell-Adapter ist angeschlossen: %1. Ihn in den Port-Einstellungen für das "
     "Steuergerät wählen?"},
    {"Zavřít", "Close", "Schließen"},
    {"%1 (%2) ztraceno — čekám na připojení", "%1 (%2) lost — waiting for it",
     "%1 (%2) verloren — warte darauf"},
    {"%1 (%2) je zpět — port znovu otevřen", "%1 (%2) is back — port reopened",
     "%1 (%2) ist zurück — Port wieder geöffnet"},
    {"Širokopásmová lambda sonda", "Wide-band lambda", "Breitband-Lambdasonde"},
    {"Zařízení (prázdné: žádné):", "Device (empty: none):", "Gerät (leer: keines):"},
    {"žádné", "none", "keines"},
    {"Vybrané ze seznamu", "Selected in the list", "Aus der Liste"},
    {"Protokol:", "Protocol:", "Protokoll:"},
    {"Automaticky", "Automatic", "Automatisch"},
    {"Innovate MTS", "Innovate MTS", "Innovate MTS"},
    {"AEM (text)", "AEM text", "AEM (Text)"},
    {"MoTeC PLM", "MoTeC PLM", "MoTeC PLM"},
    {"Jedno číslo na řádek", "One number per line", "Eine Zahl pro Zeile"},
    {"Stechiometrický poměr paliva (AFR):", "Fuel's stoichiometric ratio (AFR):",
     "Stöchiometrisches Verhältnis des Kraftstoffs (AFR):"},
    {"Stechiometrický poměr „%1“ nelze použít: zadejte číslo od %2 do %3 (benzín 14,7).",
     "The stoichiometric ratio \"%1\" cannot be used: type a number from %2 to %3 (petrol 14.7).",
     "Das stöchiometrische Verhältnis „%1“ ist unbrauchbar: Geben Sie eine Zahl von %2 bis %3 "
     "ein (Benzin 14,7)."},
    {"Zobrazovat AFR místo λ", "Show AFR instead of λ", "AFR statt λ anzeigen"},
    {"Širokopásmovou sondu nelze otevřít: %1", "The wide-band lambda port could not be opened: %1",
     "Der Port der Breitband-Lambdasonde konnte nicht geöffnet werden: %1"},
    {"%1 je port jednotky; sonda potřebuje vlastní.",
     "%1 is the unit's port; the wide-band controller needs one of its own.",
     "%1 ist der Port des Steuergeräts; die Breitbandsonde braucht einen eigenen."},
    {"λ: sonda se zahřívá", "λ: sensor warming up", "λ: Sonde wärmt auf"},
    {"λ: kalibrace", "λ: calibrating", "λ: Kalibrierung"},
    {"λ: chyba sondy", "λ: sensor error", "λ: Sondenfehler"},
    {"λ: neplatná data", "λ: invalid data", "λ: ungültige Daten"},
    {"λ: bez hodnoty", "λ: no reading", "λ: kein Wert"},
    {"λ: hledám protokol", "λ: finding the protocol", "λ: suche Protokoll"},
    {"λ: port nelze otevřít", "λ: port cannot be opened", "λ: Port nicht zu öffnen"},
    {"λ: port ztracen", "λ: port lost", "λ: Port verloren"},
    {"λ: port znovu otevřen", "λ: port reopened", "λ: Port wieder geöffnet"},
    {"Širokopásmová lambda sonda na %1 (%2)", "Wide-band lambda on %1 (%2)",
     "Breitband-Lambdasonde an %1 (%2)"},
}};

} // namespace

std::string_view portText(PortText t, std::uint8_t language) {
    return table[static_cast<std::size_t>(t)][language <= 2 ? language : 1];
}

std::string portText(PortText t, std::uint8_t language, const std::vector<std::string>& args) {
    const std::string_view text = portText(t, language);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < args.size()) out += args[n];
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace velmora::lang
