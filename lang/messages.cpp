#include "lang/messages.h"

#include <cstddef>

namespace velmora {

namespace {

struct MessageTexts {
    const char* text[3]; // Czech, English, German
    bool failure;
};

const MessageTexts table[] = {
    {{"Čtení:", "Read device:", "Lesen:"}, false},
    {{"Verifikace:", "Verify device:", "Vergleichen:"}, false},
    {{"Verifikace:", "Verify device:", "Verifikation:"}, false},
    {{"Programování:", "Program device:", "Programmieren:"}, false},
    {{"Zákaz čtení!", "No Reading!", "Lesen verboten!"}, true},
    {{"Neshodné verze!", "Unmatched version!", "Uneinig Version!"}, true},
    {{"Verifikace OK", "Verify OK", "Vergleich OK"}, false},
    {{"Programování OK", "Program device OK", "Programmieren OK"}, false},
    {{"Chyba čtení!", "Read error!", "Lesefehler"}, true},
    {{"Chyba verifikace!", "Verify error!", "Vergleichsfehler"}, true},
    {{"Chyba programování", "Program error!", "Programmier. Fehler"}, true},
};

} // namespace

const char* messageText(Message m, std::uint8_t language) {
    if (language > 2) return nullptr;
    return table[static_cast<std::size_t>(m)].text[language];
}

bool messageIsFailure(Message m) {
    return table[static_cast<std::size_t>(m)].failure;
}

} // namespace velmora
