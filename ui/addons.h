// Every add-on of the main window, made in one place for the program and for the tests: the
// port settings, the Edit menu, the Log menu, the map workbench and the wide-band lambda port. They
// reach the window only through its public interface; the window knows none of them.
#pragma once

#include <QString>

#include <memory>

namespace velmora::ui {

class TFormHlav;
class PortSettings;
class EditMenu;
class LogMenu;
class MapWorkbench;
class WidebandPort;

// Owns every add-on it makes and deletes them, in the reverse order, when it goes; it must go
// before the window (declare it after the window).
class AddOns {
public:
    // Before FormCreate: what takes part in the start-up (the port settings answer a port that
    // does not open, the Edit menu follows the first texts). `dataFolder` holds the snapshots
    // and the recovery file; empty: the usual one.
    // Scope::Ports makes the port settings alone: the window with its Com menu as the window's
    // own tests see it, without the components of the other add-ons.
    enum class Scope { All, Ports };
    explicit AddOns(TFormHlav& form, const QString& dataFolder = {}, Scope scope = Scope::All);
    ~AddOns();
    AddOns(const AddOns&) = delete;
    AddOns& operator=(const AddOns&) = delete;

    // After FormCreate: the Edit menu takes the loaded calibration as its start, then the Log
    // menu and the map workbench attach to the window as it now stands.
    void started();

    PortSettings& ports() const { return *ports_; }
    // nullptr outside Scope::All; the Log menu and the map workbench also before started().
    EditMenu* edit() const { return edit_.get(); }
    LogMenu* log() const { return log_.get(); }
    MapWorkbench* map() const { return map_.get(); }
    // The wide-band lambda controller's port; nullptr outside Scope::All.
    WidebandPort* wideband() const { return wideband_.get(); }

private:
    TFormHlav& form_;
    std::unique_ptr<PortSettings> ports_;
    std::unique_ptr<EditMenu> edit_;
    std::unique_ptr<LogMenu> log_;
    std::unique_ptr<MapWorkbench> map_;
    std::unique_ptr<WidebandPort> wideband_;
};

} // namespace velmora::ui
