// The Log menu of the main window: recording of the live data with its status-bar field,
// markers, "Record while connected", log viewers, replay onto the Monitor page and the logs
// folder. It reaches the window through its link (monitor frames, replay, exchange state),
// its menu bar, status bar and settings store only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "link/engine_sample.h"
#include "link/stream.h"
#include "log/mlg.h"
#include "log/recorder.h"
#include "log/replay.h"
#include "log/replay_wideband.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QWidget;

namespace velmora::ui {

class TFormHlav;
class LogViewer;

class LogMenu : public QObject {
    Q_OBJECT
public:
    // Builds the menu after Tools and hooks the window's link; call after FormCreate. It is a
    // child of the window and lives as long as the window.
    explicit LogMenu(TFormHlav& form);
    ~LogMenu() override;

    // Where new logs go: velmora52/logs under $XDG_DATA_HOME unless a test sets another.
    QString logsFolder;
    // A monotonic clock in ms; tests may drive their own.
    std::function<std::uint64_t()> clockMs;
    // Asks for a marker's note (empty for none); tests answer it themselves.
    std::function<QString(int number)> askMarkerNote;
    // Asks for a log to open or replay; empty when cancelled.
    std::function<QString()> askLogPath;
    // Plain message boxes go through here.
    std::function<void(const QString&)> messageBox;
    // Adds the wide-band controller's protocol as heard and the fuel's stoichiometric ratio to
    // what a log is recorded with; unset or leaving them empty means no controller.
    std::function<void(log::LogContext&)> widebandContext;
    // The wide-band controller's bytes go to the recorder through here (their arrival on the
    // samples' clock); while not recording it keeps the last second for the next log's start.
    void widebandBytes(std::uint64_t timeMs, const std::uint8_t* data, std::size_t size) {
        recorder_.recordWideband(timeMs, data, size);
    }

    // By the user: a failure is also said in a message box.
    bool startRecording();
    void stopRecording();
    bool recording() const { return recorder_.recording(); }
    const log::Recorder& recorder() const { return recorder_; }
    int addMarker(const QString& note);
    void setRecordWhileConnected(bool on);
    bool recordWhileConnected() const;

    LogViewer* openLog(const QString& path);
    bool startReplay(const QString& mlgPath);
    void stopReplay();
    bool replaying() const { return replay_ != nullptr; }
    log::ReplayClock* replayClock() { return replay_.get(); }
    const log::ReplayWideband& replayWideband() const { return replayWideband_; }
    void setReplaySpeed(int factor);
    void setReplayPaused(bool paused);
    void seekReplay(std::uint32_t logMs);

    QLabel* statusField() const { return status_; }
    QLabel* replayBanner() const { return banner_; }
    QWidget* replayPanel() const { return panel_; }
    QMenu* menu() const { return menu_; }
    // Runs what the timer runs: flush, status field, replay frames, language.
    void poll();

signals:
    // "Analyse map" in one of the viewers; the log stays valid during the call only.
    void analyseMap(const velmora::log::LogData& data, const QString& path,
                    const velmora::log::LogRange& range);
    // The replay moved to `seconds` of the log whose canonical path is `file`.
    void replayMoved(const QString& file, double seconds);

private:
    Subscription samples_;
    void build();
    // An automatic start runs inside the tick: it says a failure in the status field only.
    bool start(bool byUser);
    void noteFailure(bool started);
    QString failureMessage() const;
    void retranslate();
    void onSample(const EngineSample& sample);
    // What a recording is made with now: the speed axis and the calibration's identity.
    log::LogContext context();
    void updateStatus();
    void replayEnded();
    void updateReplayWidgets();
    QString t(int id) const;
    std::uint64_t now() const { return clockMs(); }

    TFormHlav& form_;
    log::Recorder recorder_;
    std::unique_ptr<log::ReplayClock> replay_;
    // Joined to the replayed samples; registered with the link for the menu's life.
    log::ReplayWideband replayWideband_;
    QString replayName_;
    QString replayFile_; // canonical, for the viewers of the same log
    double replayAt_ = -1.0;
    QMenu* menu_ = nullptr;
    QAction* record_ = nullptr;
    QAction* marker_ = nullptr;
    QAction* auto_ = nullptr;
    QAction* open_ = nullptr;
    QAction* replayAction_ = nullptr;
    QAction* folder_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* banner_ = nullptr;
    QWidget* panel_ = nullptr;
    QPushButton* playButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QComboBox* speed_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* position_ = nullptr;
    std::uint8_t language_ = 255;
    bool autoStarted_ = false;
    bool autoHeld_ = false; // stopped by hand: no automatic start until the connection ends
    // Why the last recording did not start or stopped by itself: in the user's language from
    // the path and errno, with the system's own text for the tooltip.
    QString failure_;
    bool failedToStart_ = false;
    std::string failurePath_, failureDetail_;
    int failureError_ = 0;
    std::uint64_t lastFrameMs_ = 0; // when the last frame of the unit was recorded
    std::deque<std::pair<std::uint64_t, std::uint64_t>> rate_; // (time, records) samples
};

} // namespace velmora::ui
