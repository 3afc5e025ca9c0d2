// The log viewer's list of computed channels: add, change and remove one at a time. A channel
// whose text does not compile is refused with the error and its column, and the viewer's
// channels stay as they were; channels that the shown log cannot compute show their error.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

#include "log/computed_channels.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace velmora::ui {

class LogViewer;

class ComputedDialog : public QDialog {
    Q_OBJECT
public:
    ComputedDialog(LogViewer& viewer, std::uint8_t language);

    // The editors' channel added at the end, or put in place of the chosen one; false, with
    // the reason in message(), when it would not compute (nothing changes then).
    bool addChannel();
    bool changeChannel();
    void removeChannel();
    QString message() const;
    // Shows the viewer's channels again, each with the error that leaves it out of the log.
    void refresh();

private:
    bool apply(std::vector<log::ComputedDefinition> defs, std::size_t edited);
    log::ComputedDefinition edited() const;
    void choose(int row);
    QString text(int id) const;

    LogViewer& viewer_;
    std::uint8_t language_;
    QListWidget* list_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* expression_ = nullptr;
    QLineEdit* units_ = nullptr;
    QSpinBox* digits_ = nullptr;
    QLabel* message_ = nullptr;
};

} // namespace velmora::ui
