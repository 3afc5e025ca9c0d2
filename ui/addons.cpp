#include "ui/addons.h"

#include "ui/history/edit_menu.h"
#include "ui/log/log_menu.h"
#include "ui/main_window/form_hlav.h"
#include "ui/map/map_workbench.h"
#include "ui/ports/port_settings.h"
#include "ui/ports/wideband_port.h"

namespace velmora::ui {

AddOns::AddOns(TFormHlav& form, const QString& dataFolder, Scope scope)
    : form_(form), ports_(std::make_unique<PortSettings>(form)) {
    if (scope != Scope::All) return;
    edit_ = std::make_unique<EditMenu>(form, dataFolder);
    // A device that vanished or came back may be another unit with another calibration.
    QObject::connect(ports_.get(), &PortSettings::portLost, edit_.get(), &EditMenu::unitNotKnown);
    QObject::connect(ports_.get(), &PortSettings::portReopened, edit_.get(),
                     &EditMenu::unitNotKnown);
    // Readings are stamped on the link's own clock, so that they join its samples.
    Link& link = form.link();
    wideband_ = std::make_unique<WidebandPort>(form, [&link] { return link.nowMs(); });
    link.addJoiner(wideband_->reader());
    ports_->setWideband(wideband_.get());
}

// The members go in the reverse order of their making.
AddOns::~AddOns() {
    widebandToLog_ = {};
    if (edit_) edit_->keeper().snapshots().setSidePart({});
    if (!wideband_) return;
    ports_->setWideband(nullptr);
    form_.link().removeJoiner(wideband_->reader());
}

void AddOns::started() {
    if (!edit_) return;
    edit_->started();
    wideband_->start();
    if (!log_) log_ = std::make_unique<LogMenu>(form_);
    // The controller's bytes go to the log as they come (the recorder keeps the last second
    // before a recording starts), on the link's clock like the samples.
    Link& link = form_.link();
    log_->clockMs = [&link] { return link.nowMs(); };
    widebandToLog_ = wideband_->reader().bytes().subscribe([this](const WidebandBytes& b) {
        log_->widebandBytes(b.timeMs, b.data.data(), b.data.size());
    });
    log_->widebandContext = [this](log::LogContext& c) {
        const WidebandReader& r = wideband_->reader();
        if (!r.isOpen() || r.parser() == nullptr) return;
        // What the controller was heard speaking, so that a replay parses the same way.
        const WidebandProtocol heard = r.parser()->settled();
        if (heard == WidebandProtocol::Automatic) return;
        c.widebandProtocol = heard;
        c.stoichAfr = r.parser()->stoichAfr();
    };
    if (!map_) map_ = std::make_unique<MapWorkbench>(form_);
    // "Analyse map" in the log viewer opens the map window on the log's samples.
    QObject::connect(log_.get(), &LogMenu::analyseMap, map_.get(), &MapWorkbench::analyseLog);
    // Snapshots keep the wide-band targets beside the calibration, and give them back.
    edit_->keeper().snapshots().setSidePart([m = map_.get()] { return m->sidePartText(); });
    QObject::connect(edit_.get(), &EditMenu::snapshotSideRestored, map_.get(),
                     &MapWorkbench::restoreSidePart);
}

} // namespace velmora::ui
