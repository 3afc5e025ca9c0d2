// The components of the main window other than the edit/up-down pairs, as data: what each
// is, where it sits, its design text and hint, and how it looks.
#pragma once

#include <string>
#include <vector>

namespace velmora::ui {

enum class WidgetKind { GroupBox, Label, CheckBox, Button, SpeedButton, SpinButton, BarLabel };

enum WidgetFlag : unsigned {
    ToolTips = 1u << 0, // the short part of the hint shows as a tooltip
    Hidden = 1u << 1,   // hidden at design
    Bold = 1u << 2,
};

// Background colours of labels: the window's button face, or a solid colour.
enum class Fill { None, Red, Fuchsia, White, Blue, Lime };

struct WidgetSpec {
    WidgetKind kind;
    std::string name;
    std::string parent; // "Client" for the window's client area, or a component's name
    int x, y, w, h;     // w or h 0: sized to the text
    std::string text;   // design caption
    std::string hint;   // design hint, "short|long" or one text for both
    int fontPx = 0;     // 0: the window's font
    unsigned flags = 0;
    Fill fill = Fill::None;
};

// In creation order: a parent always comes before what it holds.
const std::vector<WidgetSpec>& widgetTable();

struct MenuSpec {
    const char* menu; // object name of the top-level menu
    const char* name; // object name of the item; "" for the menu itself
    const char* caption;
    const char* shortcut; // "" for none
    const char* hint;
    bool separator;
};

// The menu bar: each menu followed by its items, in order.
const std::vector<MenuSpec>& menuTable();

// The model list entries are in the model table; these are the page names in their order.
constexpr const char* TabSheetNames[5] = {"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4",
                                          "TabSheet5"};
constexpr const char* TabSheetCaptions[5] = {"Ignition", "Injection 1", "Injection2", "N2O",
                                             "Monitor"};

// Both file dialogs' filters, in the "text|pattern|text|pattern" form they are kept in.
constexpr const char* OpenFilter = "Ignition Parametrs(*.ign)|*.ign|Ignition Parametrs(*.s29)|"
                                   "*.S29|All Files (*.*)|*.*";
constexpr const char* SaveFilter = "Ignition Parametrs(*.ign)|*.ign";
constexpr const char* DefaultExtension = "ign";

// The filter turned into the name filters of a Qt file dialog, which matches the pattern in
// the last parentheses: a text that does not already end in its pattern gets it appended
// ("Ignition Parametrs(*.s29) (*.S29)").
std::vector<std::string> nameFilters(const std::string& filter);

} // namespace velmora::ui
