#include "about.h"

// Set by the build from the project's version, the one place it is written.
#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0.0.0"
#endif
#ifndef VELMORA_VERSION_SHORT
#define VELMORA_VERSION_SHORT "0.0"
#endif
#ifndef VELMORA_MAKER
#define VELMORA_MAKER "Velmora 52 tuner"
#endif
#ifndef VELMORA_CONTACT_NAME
#define VELMORA_CONTACT_NAME "Service department"
#endif
#ifndef VELMORA_CONTACT_EMAIL
#define VELMORA_CONTACT_EMAIL "service@example.com"
#endif
#ifndef VELMORA_CONTACT_PHONE
#define VELMORA_CONTACT_PHONE "000 000 000"
#endif
#ifndef VELMORA_CONTACT_PHONE_INTL
#define VELMORA_CONTACT_PHONE_INTL "+000 000 000 000"
#endif

namespace velmora::lang {

namespace {

struct AboutPieces {
    const char* title;   // ends with its blanks and line breaks, before the version line
    const char* version; // the word before the version number
    const char* contactHeading;
    bool internationalPhone;
};

const AboutPieces kPieces[3] = {
    {"Program pro nastavov\u00e1n\u00ed zapalov\u00e1n\u00ed           \n\n", "verze ",
     "Kontakt:\n", false},
    {"Programm for setting of ignition            \n\n", "version ", "Contakt:\n", true},
    {"Program f\u00fcr der Adjustierung der Z\u00fcndung        \n", "Version ", "Kontakt:\n",
     true},
};

} // namespace

const char* programVersion() {
    return VELMORA_VERSION;
}

const MakerInfo& builtInMaker() {
    static const MakerInfo info{VELMORA_MAKER, VELMORA_CONTACT_NAME, VELMORA_CONTACT_EMAIL,
                                VELMORA_CONTACT_PHONE, VELMORA_CONTACT_PHONE_INTL};
    return info;
}

std::string aboutText(std::uint8_t language, const std::string& buildDate,
                      const std::string& buildTime, const MakerInfo& maker) {
    const AboutPieces& p = kPieces[language <= 2 ? language : 1];
    std::string text = p.title;
    text += p.version;
    text += VELMORA_VERSION_SHORT;
    text += "\n\n" + buildDate + "\n\n" + buildTime + "\n\n";
    text += maker.maker + "\n\n";
    text += p.contactHeading;
    text += maker.contactName + "\n";
    text += maker.email + "\n";
    text += (p.internationalPhone ? maker.phoneIntl : maker.phone) + "\n";
    return text;
}

std::string manualFileName(std::uint8_t language) {
    static const char* const kNames[3] = {"manual_cs.html", "manual_en.html", "manual_de.html"};
    return language <= 2 ? kNames[language] : std::string();
}

std::string manualProblemText(ManualProblem problem, std::uint8_t language) {
    static const char* const kTexts[2][3] = {
        {"Manuál nebyl nalezen: %1", "Manual not found: %1", "Handbuch nicht gefunden: %1"},
        {"Žádná aplikace neotevřela manuál %1", "No application opened the manual %1",
         "Keine Anwendung hat das Handbuch %1 geöffnet"},
    };
    if (language > 2) return {};
    return kTexts[problem == ManualProblem::Missing ? 0 : 1][language];
}

} // namespace velmora::lang
