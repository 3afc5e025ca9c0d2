// The About text and the manual of each language.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::lang {

// Who distributes the program; set at build time (CMake cache variables VELMORA_MAKER,
// VELMORA_CONTACT_NAME, VELMORA_CONTACT_EMAIL, VELMORA_CONTACT_PHONE,
// VELMORA_CONTACT_PHONE_INTL).
struct MakerInfo {
    std::string maker;
    std::string contactName;
    std::string email;
    std::string phone;     // as dialled at home, shown in Czech
    std::string phoneIntl; // with the international prefix, shown in English and German
};

const MakerInfo& builtInMaker();

// The program's version, e.g. "1.0.0"; the About box shows its first two numbers.
const char* programVersion();

// The About text of `language` with the build date ("Jul  2 2003") and time ("17:22:34"),
// as UTF-8 with "\n" line breaks. A language outside 0..2 gets the English text.
std::string aboutText(std::uint8_t language, const std::string& buildDate,
                      const std::string& buildTime, const MakerInfo& maker = builtInMaker());

// The file name of the manual of `language`; empty outside 0..2.
std::string manualFileName(std::uint8_t language);

// Why Contents opened no manual, for the status bar, with %1 standing for the file's path;
// empty outside 0..2.
enum class ManualProblem { Missing, NoApplication };
std::string manualProblemText(ManualProblem problem, std::uint8_t language);

} // namespace velmora::lang
