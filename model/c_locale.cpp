#include "model/c_locale.h"

namespace velmora {

namespace {

// Made once and kept for the life of the process; uselocale switches only this thread.
locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

} // namespace

CNumericScope::CNumericScope() {
    if (cLocale() != static_cast<locale_t>(nullptr)) previous_ = uselocale(cLocale());
}

CNumericScope::~CNumericScope() {
    if (previous_ != static_cast<locale_t>(nullptr)) uselocale(previous_);
}

} // namespace velmora
