// A second log in a log viewer: opened beside the first, aligned to its time at a marker of
// each, a time of each or an event, its plotted channels drawn over the first's in a lighter
// shade with a legend naming both files, and its values beside the first's at the cursor.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "analysis/log_compare.h"
#include "log/mlg.h"
#include "ui/log/plot_points.h"

class QCPGraph;
class QLabel;
class QPushButton;
class QTableWidget;
class QWidget;

namespace velmora::ui {

class LogViewer;

struct SecondLogAlignment {
    enum Kind { Marker, Time, Event } kind = Marker;
    std::size_t firstMarker = 0, secondMarker = 0; // in time order
    double firstTime = 0.0, secondTime = 0.0;
    analysis::CrossingEvent firstEvent, secondEvent;
};

// Both rides over the same cells, and the difference of the injection maps they were recorded
// with where both files still hold them.
struct RideComparison {
    analysis::RideCells cells;
    analysis::RideCalibration firstCalibration, secondCalibration;
    bool mapKnown = false;       // both calibrations earned, on the map's own cells
    analysis::MapDifference map; // when mapKnown
    QStringList notes;           // in the user's language: why there is no map difference
};

class SecondLog : public QObject {
    Q_OBJECT
public:
    explicit SecondLog(LogViewer& viewer);

    // The buttons and the line that names the second log, for the viewer's side panel.
    QWidget* panel() const { return panel_; }
    // Opens and aligns a second log. False with the message, the viewer unchanged; true with a
    // message when some plotted channels are missing from it.
    bool open(const QString& path, const SecondLogAlignment& how, QString* message);
    // Asks for the file and the alignment, and says what went wrong.
    void ask();
    void remove();

    bool shown() const { return !path_.isEmpty(); }
    const log::LogData& data() const { return log_; }
    double offset() const { return offset_; }
    // The second log's value at the viewer's cursor, as its table shows it; empty without one.
    QString cursorText(const QString& channel) const;
    // The cell tables of both rides: `options` as the first log's table is made; with `today`
    // the map's own cells, each ride on the speed axis it was recorded with. The value, X and
    // Y channels by name in each log; the filter of each ride (none: every record).
    RideComparison compare(analysis::CellTableOptions options, const std::string& value,
                           const std::array<int, analysis::MapSize>* today,
                           analysis::ChannelView firstFilter = {},
                           analysis::ChannelView secondFilter = {}, const std::string& x = "RPM",
                           const std::string& y = "TPS") const;
    // What the files of a ride are packed over to prove them (the window's calibration and
    // image: the unit's identification bytes that no parameter file holds).
    std::function<std::vector<analysis::CalibrationBase>()> calibrationBases;

    // Fills a grid with the map difference: points and relative change per cell, in the map's
    // heat colours; empty without one.
    static void fillMapDifference(QTableWidget* grid, const RideComparison& c);

    // The graphs drawn over the first log's, top to bottom.
    std::vector<QCPGraph*> graphs() const;

    // Called by the viewer: its plots were rebuilt, a time range comes into view, the cursor
    // moved, another first log was shown.
    void overlay();
    void loadData(double from, double to);
    void updateCursor();
    // The viewer's computed channels changed: they are computed over the second log again.
    void computeChannels();

signals:
    // A second log was shown or removed.
    void changed();

private:
    analysis::Alignment align(const log::LogData& second, const SecondLogAlignment& how) const;
    QString text(int id) const;
    void clearGraphs();

    LogViewer& viewer_;
    QWidget* panel_ = nullptr;
    QPushButton* remove_ = nullptr;
    QLabel* label_ = nullptr;
    log::LogData log_;
    QString path_;
    double offset_ = 0.0;
    std::vector<QPointer<QCPGraph>> graphs_; // the viewer's rebuild deletes them
    std::vector<PlotPoints> overlaid_;
};

} // namespace velmora::ui
