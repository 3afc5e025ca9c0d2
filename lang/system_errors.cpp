#include "lang/system_errors.h"

#include <cerrno>

namespace velmora::lang {

namespace {

struct Row {
    const char* cs;
    const char* en;
    const char* de;
};

constexpr Row NoSpace{"na disku není místo", "the disk is full", "der Datenträger ist voll"};
constexpr Row Denied{"chybí oprávnění", "permission denied", "keine Berechtigung"};
constexpr Row ReadOnly{"disk je jen pro čtení", "the disk is read-only",
                       "der Datenträger ist schreibgeschützt"};
constexpr Row Missing{"soubor nebo složka neexistuje", "the file or folder does not exist",
                      "Datei oder Ordner existiert nicht"};
constexpr Row Other{"systém operaci odmítl", "the system refused the operation",
                    "das System hat den Vorgang abgelehnt"};

const Row& rowFor(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return NoSpace;
    case EACCES:
    case EPERM:
        return Denied;
    case EROFS:
        return ReadOnly;
    case ENOENT:
    case ENOTDIR:
        return Missing;
    default:
        return Other;
    }
}

} // namespace

const char* systemErrorText(int error, std::uint8_t language) {
    const Row& r = rowFor(error);
    return language == 0 ? r.cs : language == 2 ? r.de : r.en;
}

} // namespace velmora::lang
