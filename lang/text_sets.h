// The three sets of interface texts: Czech (Jazyk2), English (Jazyk1) and German (Jazyk3).
//
// How the window applies a set (ApplyCzech / ApplyEnglish / ApplyGerman):
//   1. check marks: of kLanguageMenuItems, in that order, only set.checkedItem is checked;
//   2. Language = set.language;
//   3. the window caption = set.windowCaption;
//   4. every entry: find the widget or menu action whose objectName is entry.objectName and
//      set the text that entry.target names. Order among the entries does not matter.
// applyTextSet() runs exactly this sequence against a TextSetSink, so the window only has
// to say how each step touches its widgets. A language other than 0, 1, 2 has no set and
// nothing changes. Texts not in a set (values, list entries, monitor labels, fixed design
// captions) are left alone.
//
// Hints are stored whole; splitHint() gives the short part (tooltip) and the long part
// (status bar). An entry with an empty hint is real: it blanks the hint.
//
// All texts are UTF-8 and every character is one the interface's Windows-1250 code page holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmora::lang {

enum class TextTarget : std::uint8_t {
    MenuCaption,    // caption of a menu item (QAction text), '&' marks the access key
    ControlCaption, // caption of a label, check box, button or group box
    TabCaption,     // caption of a tab sheet, shown on its tab of PageControl1
    MenuHint,       // hint of a menu item: status bar only, never a tooltip
    ControlHint,    // hint of a control: long part to the status bar, short part as tooltip
                    // on the controls whose tooltips are enabled
};

struct TextEntry {
    std::string_view objectName;
    TextTarget target;
    std::string_view text;
};

struct TextSet {
    std::string_view module;        // "Jazyk1", "Jazyk2" or "Jazyk3"
    std::uint8_t language;          // the value Language takes when the set is applied
    std::string_view checkedItem;   // the one language menu item that gets the check mark
    std::string_view windowCaption; // caption of FormHlav
    const TextEntry* entries;
    std::size_t count;

    const TextEntry* begin() const { return entries; }
    const TextEntry* end() const { return entries + count; }
    // The entry for this target of this component, or nullptr when the set has none.
    const TextEntry* find(std::string_view objectName, TextTarget target) const;
};

// The language menu items in the order their check marks are set.
inline constexpr std::array<std::string_view, 3> kLanguageMenuItems = {"MenuEnglish", "MenuCzech",
                                                                       "MenuGerman"};

// 0 Czech, 1 English, 2 German; any other value: nullptr (no set, nothing changes).
const TextSet* textSet(int language);

struct HintParts {
    std::string_view shortPart; // text before the first '|', or the whole hint without one
    std::string_view longPart;  // text after the first '|', or the whole hint without one
};
HintParts splitHint(std::string_view hint);

// What applying a set does to the window, one call per step.
class TextSetSink {
public:
    virtual ~TextSetSink() = default;
    virtual void setChecked(std::string_view languageItem, bool checked) = 0;
    virtual void setLanguage(std::uint8_t language) = 0;
    virtual void setWindowCaption(std::string_view caption) = 0;
    virtual void setText(const TextEntry& entry) = 0;
};

// Applies the set of this language in the order above; false (and no call) for a language
// without a set.
bool applyTextSet(int language, TextSetSink& sink);

} // namespace velmora::lang
