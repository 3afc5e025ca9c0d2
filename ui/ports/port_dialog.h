// The port settings dialog: the six Com ports with their devices, the serial devices present,
// and a field for any path. It only chooses; `commit` does the rest and may refuse.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "files/settings.h"
#include "lang/port_texts.h"
#include "link/port_setup.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

namespace velmora::ui {

// A port text in the language, with %1, %2 ... filled in.
QString portQText(lang::PortText t, std::uint8_t language,
                  const std::vector<std::string>& args = {});
// Why a typed path cannot be a port, in the language.
QString pathProblemText(PathProblem problem, const QString& path, std::uint8_t language);

class PortDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int AutoRefreshMs = 1000;

    PortDialog(DeviceSource& source, const PortMap& map, int slot, std::uint8_t language,
               QWidget* parent = nullptr);

    int chosenSlot() const;
    QString chosenPath() const;
    void setChosen(int slot, const QString& path);
    // The message under the path field ("" hides it).
    QString problem() const;

    // Writes and applies the choice; returns why it could not, or "" when done.
    std::function<QString(int slot, const QString& path)> commit;

    // Reads the device list again; the dialog also does so by itself every second while it is
    // open, and redraws only when something appeared or went.
    void refresh();
    void accept() override;

    // Shows the wide-band lambda controller's part, filled in with `current`.
    void addWideband(const WidebandSettings& current);
    // The controller's choice as typed, or nothing with the reason in `why`.
    std::optional<WidebandSettings> widebandChoice(QString* why) const;
    // Applies the controller's choice after the unit's; returns why it could not, or "".
    std::function<QString(const WidebandSettings&)> commitWideband;

private:
    void fillSlots();
    void fillDevices();
    void showProblem(const QString& text);

    DeviceSource& source_;
    PortMap map_;
    std::uint8_t language_;
    std::vector<SerialDevice> devices_;
    QTableWidget* slots_ = nullptr;
    QTableWidget* deviceTable_ = nullptr;
    QLineEdit* path_ = nullptr;
    QComboBox* slot_ = nullptr;
    QLabel* problem_ = nullptr;
    QTimer* timer_ = nullptr;
    QWidget* wideband_ = nullptr;
    QLineEdit* widebandPath_ = nullptr;
    QComboBox* widebandProtocol_ = nullptr;
    QLineEdit* stoich_ = nullptr;
    QCheckBox* showAfr_ = nullptr;
};

} // namespace velmora::ui
