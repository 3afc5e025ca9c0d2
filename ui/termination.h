// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C, logout) turned into a call on the GUI thread, so
// that they close the window the same way the close button does.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace velmora::ui {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // One instance at a time; handler runs from the event loop, once per signal received.
    explicit TerminationSignals(std::function<void(int)> handler, QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool installed() const { return notifier_ != nullptr; }

private:
    void drain();

    std::function<void(int)> handler_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace velmora::ui
