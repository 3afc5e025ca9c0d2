// A window that shows a log: stacked time plots of chosen channels on one time axis, zoom
// and pan with the wheel and a drag, a range chosen with the right button, a cursor whose
// values of every channel show in a side table, and the log's markers.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "analysis/log_table.h"
#include "log/computed_channels.h"
#include "log/mlg.h"
#include "ui/log/plot_points.h"

class QCustomPlot;
class QCPAxisRect;
class QCPGraph;
struct QCPGraphData;
class QCPItemStraightLine;
class QCPItemRect;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTabWidget;
class QMouseEvent;

namespace velmora {
class ProfileStore;
}

namespace velmora::ui {

class ScatterView;
class CellTableView;
class SecondLog;
class ComputedDialog;

class LogViewer : public QWidget {
    Q_OBJECT
public:
    explicit LogViewer(std::uint8_t language, QWidget* parent = nullptr);

    // Reads and shows a log; false with the reason in *error, the window unchanged.
    bool openFile(const QString& path, QString* error);
    // Shows a log already read; false (and the reason) for a log without records.
    bool setLog(log::LogData data, const QString& title, QString* error);
    const log::LogData& data() const { return log_; }

    // The plotted channels, top to bottom; names not in the log are left out.
    void setChannels(const QStringList& names);
    QStringList channels() const;
    static QStringList defaultChannels();

    void setTimeRange(double from, double to);
    double rangeFrom() const;
    double rangeTo() const;
    void showAll();
    void setCursorTime(double t);
    double cursorTime() const { return cursor_; }
    // Shown value of a channel at the cursor (the record at or before it), as in the table.
    QString cursorText(const QString& channel) const;
    void setSelection(double from, double to);
    void zoomToSelection();
    QString selectionText() const;
    // Writes the whole log as CSV; false with the reason.
    bool exportCsv(const QString& path, QString* error) const;

    QCustomPlot* plot() const { return plot_; }
    // The file shown; empty for a log handed over by setLog.
    const QString& path() const { return path_; }
    // "Analyse map": hands the log and the selection (the whole log without one) on.
    void analyseMap();
    // A second log beside this one.
    SecondLog* secondLog() const { return second_; }
    const std::vector<QCPAxisRect*>& channelRects() const { return rects_; }
    QTableWidget* valueTable() const { return values_; }
    std::uint8_t language() const { return language_; }

    double selectionFrom() const { return selFrom_; }
    double selectionTo() const { return selTo_; }
    // Stretches of time shown as bands in every plot (the spans of a table's cell), in s.
    void setHighlightedSpans(std::vector<std::pair<double, double>> spans);
    const std::vector<std::pair<double, double>>& highlightedSpans() const { return spans_; }
    // The map's speed axis of today's calibration (rpm): the cell table heads its columns
    // with it and places the records of a log recorded without one on it.
    void setTodayAxis(const std::array<int, 10>& rpms);
    const std::array<int, 10>& todayAxis() const { return todayAxis_; }
    ScatterView* scatterView() const { return scatter_; }
    CellTableView* cellTableView() const { return cellTable_; }

    // Computed channels and the filter are read from and kept in `store` (it must outlive the
    // viewer), for the next viewer and the next run; without one they are not kept.
    void keepSettingsIn(ProfileStore* store);
    // Replaces the computed channels: each one the log can compute joins it as a field, the
    // plotted channels stay by name and the filter is evaluated again. False (and nothing
    // changes) when they are too long to keep.
    bool setComputedChannels(std::vector<log::ComputedDefinition> defs);
    const std::vector<log::ComputedDefinition>& computedChannels() const { return computed_; }
    // Per computed channel: why the shown log leaves it out.
    const std::vector<log::ComputedOutcome>& computedOutcomes() const { return outcomes_; }
    // What setComputedChannels would give, without changing anything.
    std::vector<log::ComputedOutcome>
    checkComputedChannels(const std::vector<log::ComputedDefinition>& defs) const;
    // Opens the list of computed channels (one per viewer).
    ComputedDialog* editComputedChannels();

    // Records whose filter value is neither 0 nor no value are kept; an empty text keeps all.
    // A text that does not compile says why in filterMessage() and leaves the filter as it was.
    bool setFilterText(const QString& text);
    QString filterText() const { return filterText_; }
    // "12,345 of 864,000 records", or the error of the text last typed.
    QString filterMessage() const;
    // The filter's value per record; no channel without a filter.
    analysis::ChannelView filter() const;

signals:
    void cursorMoved(double t);
    void selectionChanged(double from, double to);
    // Another log is shown, or the same one under its file's name.
    void logShown();
    void filterChanged();
    // The log stays valid during the call only.
    void analyseMapRequested(const velmora::log::LogData& data, const QString& path,
                             const velmora::log::LogRange& range);

private:
    struct Plotted {
        PlotPoints points;
        QCPGraph* graph = nullptr;
    };

    void rebuildPlots();
    void loadData(double from, double to);
    void syncRanges(double from, double to);
    void updateCursor();
    void updateSelection();
    void onPress(QMouseEvent* e);
    void onMove(QMouseEvent* e);
    void onRelease(QMouseEvent* e);
    void askExport();
    double timeAt(double x) const;
    std::size_t recordAt(double t) const;
    QString text(int id) const;
    void showFields();
    void applyComputed();
    bool applyFilter(const QString& typed, bool byUser);
    void showKept();
    void filterSecondRide();
    void keepSettings();

    std::uint8_t language_;
    log::LogData log_;
    QString path_;
    QStringList chosen_;
    QCustomPlot* plot_ = nullptr;
    std::vector<QCPAxisRect*> rects_;
    std::vector<Plotted> plotted_;
    std::vector<QCPItemStraightLine*> cursorLines_;
    std::vector<QCPItemRect*> selectionRects_;
    QListWidget* channelList_ = nullptr;
    QTableWidget* values_ = nullptr;
    QListWidget* markerList_ = nullptr;
    QLabel* cursorLabel_ = nullptr;
    QLabel* selectionLabel_ = nullptr;
    double cursor_ = 0.0;
    double selFrom_ = 0.0, selTo_ = 0.0;
    bool selecting_ = false;
    bool syncing_ = false;
    QPointF pressAt_;
    std::vector<std::pair<double, double>> spans_; // in time order
    std::array<int, 10> todayAxis_{};
    QTabWidget* views_ = nullptr;
    ScatterView* scatter_ = nullptr;
    CellTableView* cellTable_ = nullptr;
    SecondLog* second_ = nullptr;
    ProfileStore* store_ = nullptr;
    std::vector<log::ComputedDefinition> computed_;
    std::vector<log::ComputedOutcome> outcomes_;
    ComputedDialog* computedDialog_ = nullptr;
    QString filterText_; // the filter in force
    bool filtered_ = false;
    std::vector<double> filterValues_;
    std::vector<double> secondFilterValues_; // the filter over the second log
    QLineEdit* filterEdit_ = nullptr;
    QLabel* filterInfo_ = nullptr;
};

} // namespace velmora::ui
