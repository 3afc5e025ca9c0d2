// The injection map workbench around the main window: the View menu, heat colours and the
// framed live cell on the Fuel Map page, the live statistics, the map window and the ignition
// curve window with the live advance. It reaches the main window only through its public
// binding (read controls, the after-change step, the calibration) and the link's hooks.
#pragma once

#include <QObject>
#include <QPalette>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "analysis/log_samples.h"
#include "analysis/map_edit.h"
#include "analysis/map_stats.h"
#include "analysis/target_file.h"
#include "analysis/wideband_correction.h"
#include "history/change.h"
#include "lang/map_texts.h"
#include "link/stream.h"

class QAction;
class QFrame;
class QLineEdit;
class QMenu;
class QWidget;

namespace velmora::ui {

class TFormHlav;
class MapWindow;
class CurveWindow;

class MapWorkbench : public QObject {
    Q_OBJECT
public:
    // After form.FormCreate: builds the View menu and hooks the page and the link.
    explicit MapWorkbench(TFormHlav& form);
    ~MapWorkbench() override;

    TFormHlav& form() { return form_; }
    QString text(lang::MapText t) const;

    // The map as the controls hold it (the controls are read first).
    analysis::MapGrid currentGrid();
    // One operation: the cells (and the speed axis when it differs) go into the calibration,
    // then the after-change step runs once.
    void apply(const analysis::MapGrid& grid, const Change& change);

    bool heatColours() const { return heat_; }
    void setHeatColours(bool on); // saved in the settings file

    // The live operating point on the page and the map window (nothing outside the map), and
    // the live advance on the curve window. Moves the live point and its trail; `count` adds
    // the sample to the statistics too.
    void showLivePoint(const analysis::EngineSample& s, bool count = true);
    const std::optional<analysis::MapPoint>& livePoint() const { return point_; }

    analysis::MapStatistics& liveStatistics() { return live_; }
    analysis::StatsSettings statsSettings() const { return live_.settings(); }

    // The whole-map correction from a wide-band controller, fed by the live samples that carry
    // its readings; the target table and locked cells it works to, kept in the side file of
    // the calibration (and in snapshots).
    analysis::WidebandCorrection& widebandCorrection() { return wideband_; }
    analysis::CorrectionSettings widebandSettings();
    // Step and total in percent, the samples a cell needs; kept in the settings file.
    void setWidebandLimits(int stepPercent, int totalPercent, int minSamples);
    const analysis::TargetSide& targetSide() const { return side_; }
    // Replaces the targets and locks and writes the side file; a failed write is said in the
    // status bar and the map window, the table is kept all the same.
    void setTargetSide(const analysis::TargetSide& side);
    // <calibration file>.targets, or targets.txt in the data folder without a file name.
    QString targetsPath() const;
    // The map when the tuning session began (the present one while none has begun): the
    // first wide-band sample after a calibration was opened, read or made anew, or New
    // session, begins one.
    analysis::MapCells sessionStart();
    bool sessionBegun() const { return sessionStart_.has_value(); }
    void newSession();
    // What a snapshot keeps beside the calibration, and a snapshot's side part opened again.
    std::string sidePartText() const;
    void restoreSidePart(const QString& text);
    // The last failure to read or write the side file; empty after a success.
    const QString& sideProblem() const { return sideProblem_; }

    MapWindow* openWindow();
    // Opens the map window on the statistics of a log read already, over `range`.
    void analyseLog(const log::LogData& data, const QString& path, const analysis::LogRange& range);
    MapWindow* window() const { return window_; }
    CurveWindow* openCurveWindow();
    CurveWindow* curveWindow() const { return curveWindow_; }
    QAction* curveAction() const { return curveAction_; }
    QAction* heatAction() const { return heatAction_; }
    QAction* mapAction() const { return mapAction_; }
    QMenu* viewMenu() const { return menu_; }
    QFrame* liveFrame() const { return frame_; }

signals:
    // The map or its axis as shown changed (an operation, an edit on the page, a read ...).
    void mapShown();
    void livePointChanged();
    void liveStatisticsChanged();
    void targetsChanged();

private:
    void retranslate();
    void recolour(int cell);
    void recolourAll();
    void scheduleMapShown();
    void loadStatsSettings();
    void refreshCurve();
    void loadWidebandSettings();
    void addWideband(const analysis::EngineSample& s);
    void calibrationCommitted(const Change& change);
    void loadSide(const QString& path);
    void writeSide();

    TFormHlav& form_;
    QMenu* menu_ = nullptr;
    QAction* heatAction_ = nullptr;
    QAction* mapAction_ = nullptr;
    QAction* curveAction_ = nullptr;
    MapWindow* window_ = nullptr;
    CurveWindow* curveWindow_ = nullptr;
    std::array<QLineEdit*, 100> cells_{};
    std::array<QPalette, 100> plain_{};
    QFrame* frame_ = nullptr;
    bool advanceSeen_ = false;
    bool heat_ = true;
    bool shownPending_ = false;
    analysis::MapStatistics live_;
    std::optional<analysis::MapPoint> point_;
    analysis::WidebandCorrection wideband_;
    analysis::TargetSide side_;
    QString sidePath_;
    QString sideProblem_;
    std::optional<analysis::MapCells> sessionStart_;
    Subscription samples_;
    Subscription exchange_;
};

} // namespace velmora::ui
