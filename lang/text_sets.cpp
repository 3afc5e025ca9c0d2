#include "lang/text_sets.h"

namespace velmora::lang {

// Defined in jazyk1.cpp, jazyk2.cpp and jazyk3.cpp.
extern const TextSet kEnglishSet;
extern const TextSet kCzechSet;
extern const TextSet kGermanSet;

const TextEntry* TextSet::find(std::string_view objectName, TextTarget target) const {
    for (const TextEntry& e : *this) {
        if (e.target == target && e.objectName == objectName) return &e;
    }
    return nullptr;
}

const TextSet* textSet(int language) {
    switch (language) {
    case 0:
        return &kCzechSet;
    case 1:
        return &kEnglishSet;
    case 2:
        return &kGermanSet;
    default:
        return nullptr;
    }
}

HintParts splitHint(std::string_view hint) {
    const std::size_t bar = hint.find('|');
    if (bar == std::string_view::npos) return {hint, hint};
    return {hint.substr(0, bar), hint.substr(bar + 1)};
}

bool applyTextSet(int language, TextSetSink& sink) {
    const TextSet* set = textSet(language);
    if (!set) return false;
    for (std::string_view item : kLanguageMenuItems)
        sink.setChecked(item, item == set->checkedItem);
    sink.setLanguage(set->language);
    sink.setWindowCaption(set->windowCaption);
    for (const TextEntry& e : *set) sink.setText(e);
    return true;
}

} // namespace velmora::lang
