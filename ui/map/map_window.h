// The injection map window: the 10 x 10 map as a table with the speed axis across, selection
// operations, the exchange with spreadsheets, the live operating point with its trail, the
// statistics overlays and the stoichiometric helper.
#pragma once

#include <QElapsedTimer>
#include <QPointF>
#include <QRegion>
#include <QSet>
#include <QTableWidget>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "analysis/log_samples.h"
#include "analysis/map_edit.h"
#include "analysis/map_stats.h"
#include "analysis/wideband_correction.h"
#include "lang/history_texts.h"
#include "lang/map_texts.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace velmora::ui {

class MapWorkbench;

// The table: row 0 holds the speed axis, rows 1..10 the throttle rows. It draws the live
// cross-hair and the fading trail over the cells.
class MapTable : public QTableWidget {
    Q_OBJECT
public:
    static constexpr double TrailSeconds = 5.0;

    explicit MapTable(QWidget* parent = nullptr);
    // point: fractional map row and column; nothing hides the cross-hair. now in seconds.
    void setLivePoint(std::optional<QPointF> point, double now);
    // Where a fractional map row and column lie in the viewport.
    QPointF pixelOf(double row, double col) const;
    const std::optional<QPointF>& livePoint() const { return point_; }
    // Locked cells carry a padlock mark in every overlay.
    void setLocks(const analysis::LockGrid& locks);
    std::size_t trailLength() const { return trail_.size(); }

signals:
    void stepPressed(int direction); // + and -
    void scalePressed();             // *
    void copyPressed();
    void pastePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRegion drawnRegion() const;
    struct TrailPoint {
        double time, row, col;
    };
    std::deque<TrailPoint> trail_;
    std::optional<QPointF> point_;
    double now_ = 0.0;
    analysis::LockGrid locks_{};
};

class MapWindow : public QWidget {
    Q_OBJECT
public:
    enum class Overlay { Values, Hits, Lambda, Balance, Suggestions, TargetLambda, Wideband };

    explicit MapWindow(MapWorkbench& workbench, QWidget* parent);

    MapTable* table() const { return table_; }
    // Asks a number for Add and Times %; tests answer it themselves. Nothing: cancelled.
    std::function<std::optional<double>(const QString& prompt, double initial)> askNumber;

    // The selected map cells (the axis row left out); an invalid selection when none.
    analysis::Selection selection() const;
    void select(const analysis::Selection& s);
    void setOverlay(Overlay o);
    Overlay overlay() const { return overlay_; }
    // The last message (a refusal or what an operation did).
    QString message() const;

    // Operations on the selection, each one step.
    void stepSelection(int delta);
    void addToSelection();
    void scaleSelection();
    void interpolate(analysis::Interpolation how);
    void smooth();
    void copy();
    void paste();
    void pasteText(const QString& text);
    void applySuggestions();
    void resetStatistics();
    // The wide-band correction: locks or unlocks the selected cells (all locked: unlocks),
    // applies every suggestion as one step, begins a new tuning session.
    void toggleLock();
    void applyWideband();
    void newSession();
    // The wide-band readings shown: the live ones unless a log with readings was analysed.
    analysis::WidebandCorrection& shownCorrection();
    // The suggestions the Wide-band overlay shows.
    analysis::CorrectionGrid widebandPreview(analysis::Exclusions* why = nullptr);
    // The wide-band summary and the transport delay line.
    QString widebandSummary(const analysis::CorrectionGrid& preview,
                            const analysis::Exclusions& why);
    QString delayText();
    static constexpr int WidebandIntervalMs = 2000;
    // Statistics from a recorded log replace the live ones in the overlays until Reset.
    void loadLog();
    bool loadLogFile(const QString& path);
    // The same for a log read already (its path finds what it was recorded with), over
    // `range`; the window names the log and the range.
    bool analyseLog(const log::LogData& data, const QString& path,
                    const analysis::LogRange& range = {});
    // Asks for a log file; tests answer it themselves. Empty: cancelled.
    std::function<QString()> askLogPath;

    // Statistics shown in the overlays: the live ones unless a log's were loaded.
    const analysis::MapStatistics& shownStatistics() const;
    void showStatistics(analysis::MapStatistics* fromLog, const QString& source);

    void refresh();
    void retranslate();
    void showLivePoint(const std::optional<analysis::MapPoint>& p, double now);

private:
    QString text(lang::MapText t) const;
    // An operation on the selection as one step named `step` (%1 the cells, %2 `operand`).
    void run(const std::function<analysis::EditResult(analysis::MapGrid&,
                                                      const analysis::Selection&)>& op,
             lang::HistoryText step, const std::string& operand = {});
    void refuse(const analysis::EditResult& r);
    void say(const QString& text, bool error);
    void itemEdited(QTableWidgetItem* item);
    void refreshIfStatisticsChanged();
    void showSummary();
    QPushButton* button(lang::MapText caption) const;
    QString cellText(int row, int col, const analysis::MapGrid& g,
                     const analysis::SuggestionGrid& s) const;
    QString widebandCellText(const analysis::CellCorrection& c) const;
    QString widebandToolTip(const analysis::CellCorrection& c) const;
    analysis::Rgb widebandColour(const analysis::CellCorrection& c) const;
    void showWideband(const analysis::CorrectionGrid& grid);
    // The preview, summary and delay line anew (while samples stream in: when due).
    void updateWideband();
    void editTarget(QTableWidgetItem* item);
    void pasteTargets(const QString& text);
    void refuseTargets(const analysis::TargetParse& p);

    MapWorkbench& wb_;
    MapTable* table_ = nullptr;
    QComboBox* overlays_ = nullptr;
    QLabel* showLabel_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* helper_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* widebandSummary_ = nullptr;
    QLabel* delay_ = nullptr;
    std::vector<std::pair<QLabel*, lang::MapText>> limitLabels_;
    QSpinBox* maxStep_ = nullptr;
    QSpinBox* maxTotal_ = nullptr;
    QSpinBox* minSamples_ = nullptr;
    std::vector<std::pair<QPushButton*, lang::MapText>> buttons_;
    QTimer* statsTimer_ = nullptr;
    Overlay overlay_ = Overlay::Values;
    analysis::MapStatistics* logStats_ = nullptr;
    QString logKey_;         // the loaded log's path, size and time
    QSet<QString> usedLogs_; // logs whose suggestions were applied
    std::unique_ptr<analysis::MapStatistics> loadedStats_;
    std::unique_ptr<analysis::WidebandCorrection> loadedWideband_;
    QSet<QString> widebandUsedLogs_; // logs whose wide-band corrections were applied
    QString logSource_;
    QString pastedTargets_; // the text of the last paste into the targets, to name a value
    std::uint64_t shownSeen_ = 0;
    bool refreshing_ = false;
    bool timedRefresh_ = false; // a refresh for new live samples only
    analysis::CorrectionGrid preview_{};
    QString wideSummaryText_, delayText_;
    QElapsedTimer wideAge_;
    qint64 wideCostMs_ = 0;
};

} // namespace velmora::ui
