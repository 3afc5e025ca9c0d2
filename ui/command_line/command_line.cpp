#include "ui/command_line/command_line.h"

#include <algorithm>
#include <cstring>

#include "lang/about.h"

namespace velmora::ui {

namespace {

// The toolkit's own options; those in the first list take the next argument as their value.
const char* const kToolkitWithValue[] = {
    "platform",      "platformpluginpath",
    "platformtheme", "plugin",
    "qmljsdebugger", "qwindowgeometry",
    "qwindowicon",   "qwindowtitle",
    "session",       "display",
    "geometry",      "name",
    "title",         "style",
    "stylesheet",    "visual",
};
const char* const kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

bool listed(const std::string& name, const char* const* first, const char* const* last) {
    return std::any_of(first, last, [&](const char* o) { return name == o; });
}

// Usage in Czech, English and German.
const char* const kUsage[3] = {
    "Použití: velmora52 [CESKY|ENGLISH|DEUTSCH] [volby]\n"
    "Nastavení zapalování a vstřikování řídicí jednotky Velmora 52.\n\n"
    "  CESKY, ENGLISH, DEUTSCH  jazyk rozhraní (uloží se pro další spuštění)\n"
    "  -h, --help               vypíše tuto nápovědu\n"
    "  --version                vypíše verzi programu\n\n"
    "Nastavení: $XDG_CONFIG_HOME/Velmora52.ini (~/.config/Velmora52.ini).\n"
    "Simulovaná jednotka pro zkoušky: velmora52-sim --help.\n",
    "Usage: velmora52 [ENGLISH|CESKY|DEUTSCH] [options]\n"
    "Tunes the ignition and injection of the Velmora 52 control unit.\n\n"
    "  ENGLISH, CESKY, DEUTSCH  language of the interface (kept for later starts)\n"
    "  -h, --help               print this help\n"
    "  --version                print the program's version\n\n"
    "Settings: $XDG_CONFIG_HOME/Velmora52.ini (~/.config/Velmora52.ini).\n"
    "A simulated unit for trying things out: velmora52-sim --help.\n",
    "Aufruf: velmora52 [DEUTSCH|ENGLISH|CESKY] [Optionen]\n"
    "Abstimmung von Zündung und Einspritzung des Steuergeräts Velmora 52.\n\n"
    "  DEUTSCH, ENGLISH, CESKY  Sprache der Oberfläche (bleibt für spätere Starts)\n"
    "  -h, --help               diese Hilfe ausgeben\n"
    "  --version                die Version des Programms ausgeben\n\n"
    "Einstellungen: $XDG_CONFIG_HOME/Velmora52.ini (~/.config/Velmora52.ini).\n"
    "Eine simulierte Einheit zum Ausprobieren: velmora52-sim --help.\n",
};

} // namespace

std::string versionLine() {
    return std::string("velmora52 ") + lang::programVersion() + "\n";
}

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    bool help = false;
    bool version = false;
    int language = 1;
    bool languageSeen = false;
    std::string unknown;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a.size() < 2 || a[0] != '-') {
            if (!languageSeen) {
                languageSeen = true;
                if (a == "CESKY") language = 0;
                if (a == "DEUTSCH") language = 2;
            }
            continue;
        }
        if (a == "-h" || a == "--help" || a == "-help" || a == "-?") {
            help = true;
            continue;
        }
        if (a == "--version" || a == "-version") {
            version = true;
            continue;
        }
        // The toolkit takes -name and --name alike, and -name=value.
        std::string name = a.substr(a[1] == '-' ? 2 : 1);
        const bool inlineValue = name.find('=') != std::string::npos;
        name = name.substr(0, name.find('='));
        if (listed(name, std::begin(kToolkitWithValue), std::end(kToolkitWithValue))) {
            if (!inlineValue) ++i;
            continue;
        }
        if (listed(name, std::begin(kToolkitFlags), std::end(kToolkitFlags))) continue;
        if (unknown.empty()) unknown = a;
    }
    CommandLine c;
    if (help) {
        c.action = CommandLine::Action::Help;
        c.text = kUsage[language];
    } else if (version) {
        c.action = CommandLine::Action::Version;
        c.text = versionLine();
    } else if (!unknown.empty()) {
        // A long argument is cut, so that the message stays readable.
        constexpr std::size_t Shown = 60;
        const std::string shown =
            unknown.size() > Shown ? unknown.substr(0, Shown) + "..." : unknown;
        c.action = CommandLine::Action::Error;
        c.text = "velmora52: unknown option '" + shown + "'\nTry 'velmora52 --help'.\n";
        c.exitCode = 2;
    }
    return c;
}

} // namespace velmora::ui
