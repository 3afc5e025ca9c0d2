#include "ui/map/map_workbench.h"

#include "files/safe_file.h"
#include "files/settings.h"

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "ui/main_window/form_hlav.h"
#include "ui/main_window/form_shared.h"
#include "ui/map/curve_window.h"
#include "ui/map/map_window.h"

namespace velmora::ui {

using namespace analysis;

namespace {

const QColor LiveColour(200, 0, 200);

// The keys of the wide-band correction beside the statistics' keys, with their bounds.
struct LimitKey {
    const char* key;
    int def, min, max;
};
constexpr LimitKey StepKey{"WidebandMaxStep", 5, 1, 20};
constexpr LimitKey TotalKey{"WidebandMaxTotal", 20, 1, 50};
constexpr LimitKey MinSamplesKey{"WidebandMinSamples", 20, 1, 1000};
constexpr std::size_t MaxSideBytes = 64 * 1024;

int limited(const LimitKey& k, int v) {
    return std::clamp(v, k.min, k.max);
}

MapCells cellsOf(const Calibration& cal) {
    return gridOf(cal).cells;
}

} // namespace

MapWorkbench::MapWorkbench(TFormHlav& form) : form_(form) {
    setObjectName("MapWorkbench");
    loadStatsSettings();
    loadWidebandSettings();
    heat_ = readAddonSwitch(form_.settingsStore(), AddonSwitch::HeatColours);

    menu_ = new QMenu(form_.menuBar());
    menu_->setObjectName("MenuView");
    menu_->setFont(form_.font());
    form_.insertAddonMenu(TFormHlav::AddonMenu::View, menu_);
    mapAction_ = menu_->addAction(QString());
    mapAction_->setObjectName("MenuInjectionMap");
    mapAction_->setShortcut(QKeySequence(Qt::Key_F6));
    curveAction_ = menu_->addAction(QString());
    curveAction_->setObjectName("MenuIgnitionCurve");
    menu_->addSeparator();
    heatAction_ = menu_->addAction(QString());
    heatAction_->setObjectName("MenuHeatColours");
    heatAction_->setCheckable(true);
    heatAction_->setChecked(heat_);
    connect(mapAction_, &QAction::triggered, this, [this] { openWindow(); });
    connect(curveAction_, &QAction::triggered, this, [this] { openCurveWindow(); });
    connect(heatAction_, &QAction::toggled, this, &MapWorkbench::setHeatColours);
    // The items' hints go to the status bar as those of the window's own menus do.
    connect(menu_, &QMenu::hovered, this, [this](QAction* a) {
        form_.showStatusHint(longHint(a->property(HintProperty).toString()));
    });
    connect(&form_, &TFormHlav::textsApplied, this, &MapWorkbench::retranslate);

    for (int i = 0; i < 100; ++i) {
        QLineEdit* e = form_.paramEdit(jetCell(i / MapSize, i % MapSize));
        cells_[static_cast<std::size_t>(i)] = e;
        plain_[static_cast<std::size_t>(i)] = e->palette();
        connect(e, &QLineEdit::textChanged, this, [this, i] {
            recolour(i);
            scheduleMapShown();
        });
    }
    for (int k = 1; k <= MapSize; ++k) {
        if (QLineEdit* e = form_.paramEdit(at(RPM_JET_0, k - 1)))
            connect(e, &QLineEdit::textChanged, this, &MapWorkbench::scheduleMapShown);
    }
    frame_ = new QFrame(cells_[0]->parentWidget());
    frame_->setObjectName("LiveCellFrame");
    frame_->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame_->setLineWidth(2);
    QPalette pal = frame_->palette();
    pal.setColor(QPalette::WindowText, LiveColour);
    frame_->setPalette(pal);
    frame_->setAttribute(Qt::WA_TransparentForMouseEvents);
    frame_->hide();
    // The curve follows the advance points whenever the window shows them anew.
    for (int k = 0; k < 10; ++k) {
        for (const Param p : {at(RpmAdv1, k), at(Advance1, k)}) {
            if (QLineEdit* e = form_.paramEdit(p))
                connect(e, &QLineEdit::textChanged, this, &MapWorkbench::refreshCurve);
        }
    }

    // A replay moves the live point and its trail as the ride did; only live frames count in
    // the statistics, so a ride is never counted twice.
    samples_ = form_.link().samples().subscribe([this](const EngineSample& s) {
        // Only frames of kind 1 carry the advance; before the first one there is none to show.
        if (s.kind() == 1) advanceSeen_ = true;
        if (!s.replayed && s.widebandConnected) addWideband(s);
        showLivePoint(s, !s.replayed);
    });
    connect(&form_, &TFormHlav::calibrationCommitted, this, &MapWorkbench::calibrationCommitted);
    loadSide(targetsPath());
    // Without a connection the unit reports nothing: a dot left standing would lie.
    exchange_ = form_.link().exchange().events().subscribe([this](const ExchangeEvent& e) {
        if (e.kind == ExchangeEvent::Kind::ConnectionLost && curveWindow_ != nullptr)
            curveWindow_->plot()->clearLive();
    });
    retranslate();
    recolourAll();
}

MapWorkbench::~MapWorkbench() {
    delete window_;
    delete curveWindow_;
}

QString MapWorkbench::text(lang::MapText t) const {
    const char* s = lang::mapText(t, form_.Language);
    return QString::fromUtf8(s != nullptr ? s : lang::mapText(t, 1));
}

void MapWorkbench::retranslate() {
    // A language outside the three keeps the texts as they are.
    if (form_.Language > 2 && !menu_->title().isEmpty()) return;
    menu_->setTitle(text(lang::MapText::ViewMenu));
    menu_->setProperty(HintProperty, text(lang::MapText::ViewMenuHint));
    const std::pair<QAction*, std::pair<lang::MapText, lang::MapText>> items[] = {
        {mapAction_, {lang::MapText::InjectionMapItem, lang::MapText::InjectionMapHint}},
        {curveAction_, {lang::MapText::IgnitionCurveItem, lang::MapText::IgnitionCurveHint}},
        {heatAction_, {lang::MapText::HeatColours, lang::MapText::HeatColoursHint}}};
    for (const auto& [action, texts] : items) {
        action->setText(text(texts.first));
        action->setProperty(HintProperty, text(texts.second));
    }
    if (window_ != nullptr) window_->retranslate();
    if (curveWindow_ != nullptr) {
        curveWindow_->setWindowTitle(text(lang::MapText::CurveWindowTitle));
        curveWindow_->plot()->setAxisTitles(text(lang::MapText::CurveSpeedAxis),
                                            text(lang::MapText::CurveAdvanceAxis));
    }
}

void MapWorkbench::loadStatsSettings() {
    const ProfileStore& store = form_.settingsStore();
    std::vector<std::string> refused;
    const StatsSettings s = readStatsSettings(
        [&](const char* key, int def) { return readStatisticsKey(store, key, def); }, &refused);
    if (!refused.empty()) {
        QStringList keys;
        for (const std::string& k : refused) keys << QString::fromStdString(k);
        const QString message = text(lang::MapText::StatisticsKeyRefused)
                                    .arg(QString(StatisticsSection), keys.join(", "));
        // After the start-up notices, which would otherwise replace it at once.
        QTimer::singleShot(0, this, [this, message] { form_.showStatusHint(message); });
    }
    live_.setSettings(s);
}

MapGrid MapWorkbench::currentGrid() {
    form_.readControls();
    return gridOf(form_.calibration());
}

void MapWorkbench::apply(const MapGrid& grid, const Change& change) {
    Calibration& cal = form_.calibration();
    putCells(grid, cal);
    for (int c = 0; c < MapSize; ++c)
        cal[at(RPM_JET_0, c)] =
            static_cast<std::uint8_t>(grid.rpms[static_cast<std::size_t>(c)] / 100);
    form_.afterChange(change);
    shownPending_ = false;
    if (window_ != nullptr) window_->refresh();
    emit mapShown();
}

void MapWorkbench::scheduleMapShown() {
    if (shownPending_) return;
    shownPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (!shownPending_) return;
        shownPending_ = false;
        if (window_ != nullptr) window_->refresh();
        emit mapShown();
    });
}

void MapWorkbench::setHeatColours(bool on) {
    if (heatAction_->isChecked() != on) heatAction_->setChecked(on); // comes back here
    if (heat_ == on) return;
    heat_ = on;
    recolourAll();
    writeAddonSwitch(form_.settingsStore(), AddonSwitch::HeatColours, on);
}

void MapWorkbench::recolourAll() {
    for (int i = 0; i < 100; ++i) recolour(i);
}

void MapWorkbench::recolour(int i) {
    QLineEdit* e = cells_[static_cast<std::size_t>(i)];
    const QPalette& plain = plain_[static_cast<std::size_t>(i)];
    bool ok = false;
    const int v = e->text().trimmed().toInt(&ok);
    if (!heat_ || !ok) {
        e->setPalette(plain);
        return;
    }
    const Rgb bg = heatColour(v), fg = textColourOn(bg);
    QPalette pal = plain;
    pal.setColor(QPalette::Base, QColor(bg.r, bg.g, bg.b));
    pal.setColor(QPalette::Text, QColor(fg.r, fg.g, fg.b));
    e->setPalette(pal);
}

void MapWorkbench::showLivePoint(const EngineSample& s, bool count) {
    const Calibration& cal = form_.calibration();
    const std::array<int, MapSize> rpms = rpmAxis(cal);
    if (count) live_.add(s, rpms);
    point_ = locate(s.rpm, s.throttle, rpms);
    if (point_) {
        const QLineEdit* e =
            cells_[static_cast<std::size_t>(10 * point_->nearestRow + point_->nearestCol)];
        // Around the box and its up-down.
        const QRect r(e->x() - 3, e->y() - 3, e->width() + 15 + 6, e->height() + 6);
        if (frame_->geometry() != r) frame_->setGeometry(r);
        if (frame_->isHidden()) {
            frame_->show();
            frame_->raise();
        }
    } else if (!frame_->isHidden()) {
        frame_->hide();
    }
    if (curveWindow_ != nullptr && curveWindow_->isVisible()) {
        if (advanceSeen_ && s.rpm > 0)
            curveWindow_->plot()->setLive(s.rpm, s.advance);
        else
            curveWindow_->plot()->clearLive();
    }
    if (window_ != nullptr && window_->isVisible()) window_->showLivePoint(point_, s.time());
    emit livePointChanged();
}

CurveWindow* MapWorkbench::openCurveWindow() {
    if (curveWindow_ == nullptr) {
        curveWindow_ = new CurveWindow(&form_);
        curveWindow_->setFont(form_.font());
        retranslate();
    }
    refreshCurve();
    curveWindow_->show();
    curveWindow_->raise();
    curveWindow_->activateWindow();
    return curveWindow_;
}

void MapWorkbench::refreshCurve() {
    if (curveWindow_ == nullptr) return;
    curveWindow_->plot()->setCurve(ignitionCurve(form_.calibration()));
}

void MapWorkbench::analyseLog(const log::LogData& data, const QString& path,
                              const LogRange& range) {
    openWindow()->analyseLog(data, path, range);
}

void MapWorkbench::loadWidebandSettings() {
    const ProfileStore& store = form_.settingsStore();
    CorrectionSettings s = wideband_.settings();
    const auto read = [&](const LimitKey& k) {
        return limited(k, readStatisticsKey(store, k.key, k.def));
    };
    s.maxStepPercent = read(StepKey);
    s.maxTotalPercent = read(TotalKey);
    s.minSamples = read(MinSamplesKey);
    wideband_.setSettings(s);
}

CorrectionSettings MapWorkbench::widebandSettings() {
    // The acceleration enrichment starts at the calibration's threshold: faster throttle
    // samples are left out.
    const int threshold = form_.calibration()[AKCEL_PRAH] * 10;
    if (wideband_.settings().accelerationThreshold != threshold) {
        CorrectionSettings s = wideband_.settings();
        s.accelerationThreshold = threshold;
        wideband_.setSettings(s);
    }
    return wideband_.settings();
}

void MapWorkbench::setWidebandLimits(int step, int total, int minSamples) {
    CorrectionSettings s = widebandSettings();
    s.maxStepPercent = limited(StepKey, step);
    s.maxTotalPercent = limited(TotalKey, total);
    s.minSamples = limited(MinSamplesKey, minSamples);
    if (s.maxStepPercent == wideband_.settings().maxStepPercent &&
        s.maxTotalPercent == wideband_.settings().maxTotalPercent &&
        s.minSamples == wideband_.settings().minSamples)
        return;
    wideband_.setSettings(s);
    ProfileStore& store = form_.settingsStore();
    for (const auto& [k, v] :
         {std::pair{StepKey, s.maxStepPercent}, std::pair{TotalKey, s.maxTotalPercent},
          std::pair{MinSamplesKey, s.minSamples}})
        store.writeInt(StatisticsSection, k.key, static_cast<int>(v));
    store.sync();
    if (window_ != nullptr) window_->refresh();
}

void MapWorkbench::addWideband(const EngineSample& s) {
    widebandSettings();
    const Calibration& cal = form_.calibration();
    if (!sessionStart_) sessionStart_ = cellsOf(cal);
    wideband_.add(s, rpmAxis(cal));
}

MapCells MapWorkbench::sessionStart() {
    return sessionStart_ ? *sessionStart_ : cellsOf(form_.calibration());
}

void MapWorkbench::newSession() {
    form_.readControls();
    sessionStart_ = cellsOf(form_.calibration());
    // The readings so far describe the session that ended.
    wideband_.markUsed();
    if (window_ != nullptr) window_->refresh();
}

QString MapWorkbench::targetsPath() const {
    const std::string& file = form_.lastFilePath();
    if (!file.empty()) return QString::fromStdString(file) + ".targets";
    return QString::fromStdString(dataFolder()) + "/targets.txt";
}

void MapWorkbench::loadSide(const QString& path) {
    sidePath_ = path;
    sideProblem_.clear();
    side_ = TargetSide{};
    const FileRead read = readPlainFile(QFile::encodeName(path).toStdString(), MaxSideBytes, true);
    if (read.status == FileRead::Status::Missing) {
        // nothing kept yet: the default targets, nothing locked
    } else if (!read.ok()) {
        sideProblem_ =
            text(lang::MapText::TargetsDamaged).arg(path, QString::fromStdString(read.error));
    } else {
        std::string why;
        if (auto parsed = parseTargetSide(read.data, &why))
            side_ = *parsed;
        else
            sideProblem_ =
                text(lang::MapText::TargetsDamaged).arg(path, QString::fromStdString(why));
    }
    if (!sideProblem_.isEmpty()) {
        const QString message = sideProblem_;
        QTimer::singleShot(0, this, [this, message] { form_.showStatusHint(message); });
    }
    emit targetsChanged();
    if (window_ != nullptr) window_->refresh();
}

void MapWorkbench::writeSide() {
    const WriteResult r =
        replaceFile(QFile::encodeName(sidePath_).toStdString(), formatTargetSide(side_), true);
    sideProblem_.clear();
    if (!r.ok) {
        sideProblem_ =
            text(lang::MapText::TargetsNotSaved).arg(sidePath_, QString::fromStdString(r.error));
        form_.showStatusHint(sideProblem_);
    }
}

void MapWorkbench::setTargetSide(const TargetSide& side) {
    side_ = side;
    writeSide();
    emit targetsChanged();
    if (window_ != nullptr) window_->refresh();
}

std::string MapWorkbench::sidePartText() const {
    return formatTargetSide(side_);
}

void MapWorkbench::restoreSidePart(const QString& text) {
    // An older snapshot kept no targets: those of now stay.
    if (text.isEmpty()) return;
    std::string why;
    const auto parsed = parseTargetSide(text.toStdString(), &why);
    if (!parsed) {
        form_.showStatusHint(
            this->text(lang::MapText::TargetsDamaged).arg(QString(), QString::fromStdString(why)));
        return;
    }
    setTargetSide(*parsed);
}

void MapWorkbench::calibrationCommitted(const Change& change) {
    // Another calibration (opened, read, made anew): a session begins with its first reading,
    // and the readings so far describe the map that was replaced.
    if (change.replacing) {
        sessionStart_.reset();
        wideband_.markUsed();
    }
    if (!change.fileStored) return;
    const QString path = targetsPath();
    if (change.replacing) {
        loadSide(path);
    } else {
        // Saved: the targets go beside the file, under its name.
        sidePath_ = path;
        writeSide();
    }
}

MapWindow* MapWorkbench::openWindow() {
    if (window_ == nullptr) {
        window_ = new MapWindow(*this, &form_);
        window_->setFont(form_.font());
    }
    window_->refresh();
    window_->show();
    window_->raise();
    window_->activateWindow();
    // The arrows, the digits and Ctrl+Z belong to the map, not to the overlay list.
    window_->table()->setFocus(Qt::OtherFocusReason);
    return window_;
}

} // namespace velmora::ui
