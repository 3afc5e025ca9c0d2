// Numbers in files and in the unit's fixed texts look the same in every locale. The toolkit
// takes LC_NUMERIC from the environment at start, so a printf under de_DE.UTF-8 would write
// "13,5" and break a comma-separated file; formatting inside this scope uses the C locale.
#pragma once

#include <locale.h>

namespace velmora {

class CNumericScope {
public:
    CNumericScope();
    ~CNumericScope();
    CNumericScope(const CNumericScope&) = delete;
    CNumericScope& operator=(const CNumericScope&) = delete;

private:
    locale_t previous_ = nullptr;
};

} // namespace velmora
