#include "ui/log/log_menu.h"
#include "ui/main_window/form_shared.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "analysis/map_geometry.h"
#include "files/settings.h"
#include "lang/log_texts.h"
#include "log/frame_log.h"
#include "ui/log/log_viewer.h"
#include "ui/log/second_log.h"
#include "ui/main_window/form_hlav.h"

namespace velmora::ui {

using lang::LogText;

namespace {

QString clockText(std::uint64_t ms) {
    const std::uint64_t s = ms / 1000;
    return QString("%1:%2:%3")
        .arg(s / 3600, 2, 10, QChar('0'))
        .arg(s / 60 % 60, 2, 10, QChar('0'))
        .arg(s % 60, 2, 10, QChar('0'));
}

// "Tooltip|status bar text": the part after the bar, or the whole hint.
QString longPart(const QString& hint) {
    const int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.mid(bar + 1);
}
QString shortPart(const QString& hint) {
    const int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.left(bar);
}

} // namespace

LogMenu::LogMenu(TFormHlav& form) : form_(form) {
    setObjectName("LogMenu");
    logsFolder = QString::fromStdString(dataFolder("logs"));
    clockMs = [] {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    };
    askMarkerNote = [this](int number) {
        bool ok = false;
        const QString note = QInputDialog::getText(
            &form_, t(static_cast<int>(LogText::Marker)).remove('&').remove(u'…'),
            t(static_cast<int>(LogText::MarkerNote)).arg(number), QLineEdit::Normal, QString(),
            &ok);
        return ok ? note : QString();
    };
    askLogPath = [this] {
        return QFileDialog::getOpenFileName(&form_, QString(), logsFolder,
                                            t(static_cast<int>(LogText::LogFilter)));
    };
    messageBox = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Velmora52"), text, QMessageBox::Ok,
                        &form_);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    build();
    Link& link = form_.link();
    // A replay is no new data: only frames from the unit are recorded.
    samples_ = link.samples().subscribe([this](const EngineSample& s) {
        if (!s.replayed) onSample(s);
    });
    link.onReplayEnded = [this] { replayEnded(); };
    link.addJoiner(replayWideband_);
    connect(&form_, &TFormHlav::textsApplied, this, &LogMenu::retranslate);
    // Flushing, the replay's pace and the end of a connection go with the window's tick.
    connect(&form_, &TFormHlav::ticked, this, &LogMenu::poll);
    retranslate();
}

// The recorder flushes and closes its files by itself.
LogMenu::~LogMenu() {
    form_.link().removeJoiner(replayWideband_);
}

QString LogMenu::t(int id) const {
    return QString::fromUtf8(lang::logText(static_cast<LogText>(id), language_));
}

void LogMenu::build() {
    menu_ = new QMenu(&form_);
    menu_->setObjectName("MenuLog");
    menu_->setFont(form_.font());
    const auto item = [this](const char* name, const QKeySequence& keys) {
        QAction* a = menu_->addAction(QString());
        a->setObjectName(name);
        if (!keys.isEmpty()) a->setShortcut(keys);
        return a;
    };
    record_ = item("MenuLogRecord", QKeySequence(Qt::CTRL | Qt::Key_L));
    marker_ = item("MenuLogMarker", QKeySequence(Qt::CTRL | Qt::Key_M));
    auto_ = item("MenuLogAuto", {});
    auto_->setCheckable(true);
    menu_->addSeparator();
    open_ = item("MenuLogOpen", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    replayAction_ = item("MenuLogReplay", {});
    folder_ = item("MenuLogFolder", {});
    connect(record_, &QAction::triggered, this, [this] {
        if (recording()) {
            stopRecording();
            autoHeld_ = true;
        } else {
            startRecording();
        }
    });
    connect(marker_, &QAction::triggered, this, [this] {
        if (!recording()) return;
        addMarker(askMarkerNote(recorder_.markers() + 1));
    });
    connect(auto_, &QAction::toggled, this, [this](bool on) { setRecordWhileConnected(on); });
    connect(open_, &QAction::triggered, this, [this] {
        const QString path = askLogPath();
        if (!path.isEmpty()) openLog(path);
    });
    connect(replayAction_, &QAction::triggered, this, [this] {
        const QString path = askLogPath();
        if (!path.isEmpty()) startReplay(path);
    });
    connect(folder_, &QAction::triggered, this, [this] {
        QDir().mkpath(logsFolder);
        QDesktopServices::openUrl(QUrl::fromLocalFile(logsFolder));
    });
    // Hints of the menu and its items go to the status bar, as the window's own do.
    connect(menu_, &QMenu::hovered, this, [this](QAction* a) {
        form_.showStatusHint(longPart(a->property("velmoraLogHint").toString()));
    });

    // After Tools, whatever other menus sit around it.
    form_.insertAddonMenu(TFormHlav::AddonMenu::Log, menu_);

    status_ = new QLabel(&form_);
    status_->setObjectName("LogStatusField");
    status_->setTextFormat(Qt::RichText);
    status_->setVisible(false);
    form_.statusBar()->addPermanentWidget(status_);

    banner_ = new QLabel(form_.page(TFormHlav::Page::Monitor));
    banner_->setObjectName("LabelReplay");
    banner_->setGeometry(354, 350, 290, 24);
    banner_->setAutoFillBackground(true);
    QPalette p = banner_->palette();
    p.setColor(QPalette::Window, QColor(255, 255, 0));
    banner_->setPalette(p);
    QFont f = banner_->font();
    f.setBold(true);
    banner_->setFont(f);
    banner_->setVisible(false);

    panel_ = new QWidget(&form_, Qt::Tool);
    panel_->setObjectName("ReplayPanel");
    auto* layout = new QVBoxLayout(panel_);
    position_ = new QLabel(panel_);
    position_->setObjectName("ReplayPosition");
    slider_ = new QSlider(Qt::Horizontal, panel_);
    slider_->setObjectName("ReplaySlider");
    slider_->setMinimumWidth(320);
    auto* row = new QHBoxLayout;
    playButton_ = new QPushButton(panel_);
    playButton_->setObjectName("ReplayPlay");
    speed_ = new QComboBox(panel_);
    speed_->setObjectName("ReplaySpeed");
    for (int s : {1, 4, 16}) speed_->addItem(QString("%1×").arg(s), s);
    stopButton_ = new QPushButton(panel_);
    stopButton_->setObjectName("ReplayStop");
    row->addWidget(playButton_);
    row->addWidget(speed_);
    row->addStretch(1);
    row->addWidget(stopButton_);
    layout->addWidget(position_);
    layout->addWidget(slider_);
    layout->addLayout(row);
    connect(playButton_, &QPushButton::clicked, this,
            [this] { setReplayPaused(replay_ != nullptr && !replay_->paused()); });
    connect(speed_, qOverload<int>(&QComboBox::activated), this,
            [this](int i) { setReplaySpeed(speed_->itemData(i).toInt()); });
    connect(slider_, &QSlider::sliderMoved, this,
            [this](int ms) { seekReplay(static_cast<std::uint32_t>(ms)); });
    connect(stopButton_, &QPushButton::clicked, this, &LogMenu::stopReplay);
}

void LogMenu::retranslate() {
    language_ = form_.Language;
    const auto set = [this](QAction* a, LogText caption, int hint) {
        a->setText(t(static_cast<int>(caption)));
        const QString h = hint < 0 ? QString() : t(hint);
        a->setProperty("velmoraLogHint", h);
        a->setToolTip(shortPart(h));
    };
    menu_->setTitle(t(static_cast<int>(LogText::Menu)));
    // The window shows this property of a menu bar entry in the status bar on hover.
    menu_->setProperty(HintProperty, t(static_cast<int>(LogText::MenuHint)));
    set(record_, recording() ? LogText::StopRecording : LogText::StartRecording,
        static_cast<int>(LogText::StartRecordingHint));
    set(marker_, LogText::Marker, static_cast<int>(LogText::MarkerHint));
    set(auto_, LogText::RecordWhileConnected, static_cast<int>(LogText::RecordWhileConnectedHint));
    set(open_, LogText::OpenLog, static_cast<int>(LogText::OpenLogHint));
    set(replayAction_, LogText::Replay, static_cast<int>(LogText::ReplayHint));
    set(folder_, LogText::OpenLogsFolder, static_cast<int>(LogText::OpenLogsFolderHint));
    auto_->blockSignals(true);
    auto_->setChecked(recordWhileConnected());
    auto_->blockSignals(false);
    panel_->setWindowTitle(t(static_cast<int>(LogText::ReplayTitle)));
    stopButton_->setText(t(static_cast<int>(LogText::Stop)));
    updateReplayWidgets();
    updateStatus();
}

bool LogMenu::recordWhileConnected() const {
    return readAddonSwitch(form_.settingsStore(), AddonSwitch::RecordWhileConnected);
}

void LogMenu::setRecordWhileConnected(bool on) {
    if (on != recordWhileConnected())
        writeAddonSwitch(form_.settingsStore(), AddonSwitch::RecordWhileConnected, on);
    auto_->blockSignals(true);
    auto_->setChecked(on);
    auto_->blockSignals(false);
}

bool LogMenu::startRecording() {
    return start(true);
}

bool LogMenu::start(bool byUser) {
    if (recording()) return true;
    std::error_code folderError;
    std::filesystem::create_directories(QFile::encodeName(logsFolder).toStdString(), folderError);
    if (folderError) {
        failure_ = "The folder " + logsFolder + " cannot be created";
        failedToStart_ = true;
        failurePath_ = logsFolder.toStdString();
        failureError_ = folderError.value();
        failureDetail_ = failure_.toStdString() + ": " + folderError.message();
        updateStatus();
        if (byUser) messageBox(failureMessage());
        return false;
    }
    const std::time_t started = std::time(nullptr);
    std::string base =
        QDir(logsFolder).filePath(QString::fromStdString(log::logNameFor(started))).toStdString();
    // Two starts within one second get distinct names.
    for (int n = 2; QFileInfo::exists(QString::fromStdString(base + ".mlg")) && n < 100; ++n)
        base = QDir(logsFolder)
                   .filePath(QString::fromStdString(log::logNameFor(started)))
                   .toStdString() +
               "_" + std::to_string(n);
    const std::string info =
        std::string("Velmora 52 tuner live data log\n") + log::WidebandStatusLegend;
    if (!recorder_.start(base, static_cast<std::uint32_t>(started), info, now())) {
        noteFailure(false);
        if (byUser) messageBox(failureMessage());
        return false;
    }
    recorder_.setContext(context(), now());
    failure_.clear();
    autoStarted_ = false;
    lastFrameMs_ = now();
    rate_.clear();
    retranslate();
    return true;
}

void LogMenu::stopRecording() {
    recorder_.stop(now());
    autoStarted_ = false;
    if (!recorder_.error().empty()) noteFailure(true);
    retranslate();
}

void LogMenu::noteFailure(bool started) {
    failure_ = QString::fromStdString(recorder_.error());
    failedToStart_ = !started;
    failurePath_ = recorder_.errorPath();
    failureError_ = recorder_.errorNumber();
    failureDetail_ = recorder_.error();
    updateStatus();
}

QString LogMenu::failureMessage() const {
    return t(static_cast<int>(failedToStart_ ? LogText::RecordingNotStarted
                                             : LogText::RecordingStopped))
        .arg(failureText(failurePath_, failureError_, language_));
}

int LogMenu::addMarker(const QString& note) {
    const int n = recorder_.marker(note.toStdString(), now());
    updateStatus();
    return n;
}

void LogMenu::onSample(const EngineSample& sample) {
    // This runs inside the tick: a failed automatic start never opens a box here.
    if (!recording() && recordWhileConnected() && !autoHeld_ && failure_.isEmpty() && start(false))
        autoStarted_ = true;
    const std::uint64_t t = now();
    lastFrameMs_ = t;
    if (!recording()) return;
    // What the sample was recorded with: an edit of the axis, a file opened, a read since.
    recorder_.setContext(context(), t);
    recorder_.record(sample, t);
    recorder_.flushIfDue(t);
    if (!recording()) { // the write failed: a full disk
        noteFailure(true);
        retranslate();
    }
}

log::LogContext LogMenu::context() {
    const std::string& file = form_.lastFilePath();
    log::LogContext c = log::contextOf(form_.calibration(), form_.identification(), form_.image(),
                                       std::filesystem::path(file).filename().string());
    if (widebandContext) widebandContext(c);
    return c;
}

void LogMenu::poll() {
    const std::uint64_t t = now();
    // The connection has ended when "No Connection" shows and, by the clock, no frame came for
    // as long as that takes, so ticks that ran late never split a log.
    const bool ended = form_.link().exchange().view().noConnectionVisible &&
                       t - lastFrameMs_ >= Link::NoConnectionMs;
    if (ended) autoHeld_ = false;
    if (recording()) {
        recorder_.flushIfDue(t);
        if (!recording()) noteFailure(true);
        // "Record while connected" ends with the connection.
        if (autoStarted_ && ended) stopRecording();
        updateStatus();
        if (!recording()) retranslate();
    }
    if (replay_ != nullptr) {
        const std::size_t first = replay_->played();
        const std::vector<Frame> due = replay_->due(t);
        for (std::size_t i = 0; i < due.size(); ++i) {
            // The wide-band bytes that came before this frame on the ride come before it here.
            replayWideband_.beforeFrame(first + i, replay_->timeOf(first + i));
            form_.link().replayFrame(due[i]);
        }
        if (replay_->finished() && !replay_->paused()) replay_->pause(t);
        updateReplayWidgets();
        // A viewer of the replayed log follows it with its cursor.
        const double at = replay_->position(t) / 1000.0;
        if (at != replayAt_) emit replayMoved(replayFile_, at);
        replayAt_ = at;
    }
}

void LogMenu::updateStatus() {
    if (!failure_.isEmpty() && !recording()) {
        status_->setText(
            QString("<span style='color:#d00000'>%1</span>").arg(failureMessage().toHtmlEscaped()));
        status_->setToolTip(QString::fromStdString(failureDetail_));
        status_->setVisible(true);
        return;
    }
    status_->setToolTip({});
    if (!recording()) {
        status_->setVisible(false);
        return;
    }
    const std::uint64_t t = now();
    rate_.emplace_back(t, recorder_.records());
    while (rate_.size() > 2 && t - rate_.front().first > 5000) rate_.pop_front();
    double perSecond = 0;
    if (rate_.size() >= 2 && t > rate_.front().first)
        perSecond = static_cast<double>(recorder_.records() - rate_.front().second) * 1000.0 /
                    static_cast<double>(t - rate_.front().first);
    status_->setText(QString("<span style='color:#e00000'>&#9679;</span> %1 &nbsp;%2 %3 "
                             "&nbsp;%4/s")
                         .arg(clockText(recorder_.elapsedMs(t)))
                         .arg(recorder_.records())
                         .arg(this->t(static_cast<int>(LogText::Records)))
                         .arg(perSecond, 0, 'f', 1));
    status_->setVisible(true);
}

LogViewer* LogMenu::openLog(const QString& path) {
    auto* viewer = new LogViewer(form_.Language, &form_);
    viewer->setTodayAxis(analysis::rpmAxis(form_.calibration()));
    viewer->keepSettingsIn(&form_.settingsStore());
    QString error;
    if (!viewer->openFile(path, &error)) {
        delete viewer;
        messageBox(error);
        return nullptr;
    }
    connect(viewer, &LogViewer::analyseMapRequested, this, &LogMenu::analyseMap);
    connect(
        this, &LogMenu::replayMoved, viewer,
        [viewer, file = QFileInfo(path).canonicalFilePath()](const QString& replayed, double at) {
            if (replayed == file && viewer->cursorTime() != at) viewer->setCursorTime(at);
        });
    viewer->secondLog()->calibrationBases = [this] {
        return std::vector<analysis::CalibrationBase>{{form_.calibration(), form_.image()}};
    };
    viewer->show();
    return viewer;
}

bool LogMenu::startReplay(const QString& mlgPath) {
    if (form_.link().exchange().busy()) {
        messageBox(t(static_cast<int>(LogText::ReplayBusy)));
        return false;
    }
    const std::string framePath = log::frameLogPathFor(mlgPath.toStdString());
    log::FrameLogResult frames = log::readFrameLogFile(framePath);
    if (!frames.ok) {
        messageBox(t(static_cast<int>(LogText::NoFrameLog)) + "\n" +
                   QString::fromStdString(frames.error));
        return false;
    }
    if (frames.frames.empty()) {
        messageBox(QFileInfo(mlgPath).fileName() + ": " + t(static_cast<int>(LogText::NoRecords)));
        return false;
    }
    replay_ = std::make_unique<log::ReplayClock>(std::move(frames.frames));
    replayWideband_.loadFor(mlgPath.toStdString());
    replayName_ = QFileInfo(mlgPath).fileName();
    replayFile_ = QFileInfo(mlgPath).canonicalFilePath();
    replayAt_ = -1.0;
    form_.link().startReplay();
    replay_->setSpeed(speed_->currentData().toInt(), now());
    replay_->play(now());
    slider_->setRange(0, static_cast<int>(replay_->length()));
    form_.pages()->setCurrentWidget(form_.page(TFormHlav::Page::Monitor));
    panel_->show();
    updateReplayWidgets();
    return true;
}

void LogMenu::stopReplay() {
    form_.link().endReplay();
    replayEnded();
}

void LogMenu::replayEnded() {
    replay_.reset();
    replayWideband_.clear();
    panel_->hide();
    updateReplayWidgets();
}

void LogMenu::setReplaySpeed(int factor) {
    if (replay_ != nullptr) replay_->setSpeed(factor, now());
    const int i = speed_->findData(factor);
    if (i >= 0) speed_->setCurrentIndex(i);
    updateReplayWidgets();
}

void LogMenu::setReplayPaused(bool paused) {
    if (replay_ == nullptr) return;
    if (!paused && replay_->finished()) {
        replay_->seek(0, now());
        replayWideband_.seek(0);
    }
    if (paused)
        replay_->pause(now());
    else
        replay_->play(now());
    updateReplayWidgets();
}

void LogMenu::seekReplay(std::uint32_t logMs) {
    if (replay_ != nullptr) {
        replay_->seek(logMs, now());
        replayWideband_.seek(logMs);
    }
    updateReplayWidgets();
}

void LogMenu::updateReplayWidgets() {
    if (banner_ != nullptr) {
        banner_->setVisible(replay_ != nullptr);
        if (replay_ != nullptr) {
            banner_->setText(" " + t(static_cast<int>(LogText::ReplayBanner)).arg(replayName_) +
                             "  " + clockText(replay_->position(now())));
            banner_->raise();
        }
    }
    if (replay_ == nullptr) return;
    playButton_->setText(t(static_cast<int>(replay_->paused() ? LogText::Play : LogText::Pause)));
    position_->setText(
        QString("%1  %2 / %3")
            .arg(replayName_, clockText(replay_->position(now())), clockText(replay_->length())));
    if (!slider_->isSliderDown()) {
        slider_->blockSignals(true);
        slider_->setValue(static_cast<int>(replay_->position(now())));
        slider_->blockSignals(false);
    }
}

} // namespace velmora::ui
