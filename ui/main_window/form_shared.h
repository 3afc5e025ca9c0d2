// What the files of the main window and the windows around it share: how a component carries
// its hint, captions set by kind of component, and UTF-8 texts of the core as QStrings.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::ui {

class TFormHlav;

// The whole hint of a component, "short|long", in this property.
inline constexpr const char* HintProperty = "velmoraHint";
// Set on components whose size follows their caption.
inline constexpr const char* AutoSizeProperty = "velmoraAutoSize";

inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The part of a hint for the status bar (after the first "|"), and for a tooltip (before it);
// a hint without a bar serves as both.
QString longHint(const QString& hint);
QString shortHint(const QString& hint);

// "<path>: <the failure in the user's language>" for a notice; the system's own text of it
// belongs in the notice's tooltip.
QString failureText(const std::string& path, int error, std::uint8_t language);

// Sets the caption of a label, button, group box, menu or action.
void setCaption(QObject* o, const QString& text);

// Puts the hint of the control under the mouse into the status bar.
class HintRouter : public QObject {
public:
    explicit HintRouter(TFormHlav* form);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TFormHlav* form_;
};

} // namespace velmora::ui
