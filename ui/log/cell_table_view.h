// The log viewer's table over the map's cells: per cell a statistic of any channel, on the
// map's axes as the log was recorded or on axes the user types, in heat colours, copied as
// tab-separated text. A click on a cell lists the time spans it came from and marks them in
// the viewer's plots; a double click on a span takes the plots there.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

#include "analysis/log_table.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QTableWidget;

namespace velmora::ui {

class LogViewer;

// The map's own cells for the viewer's log: its speed axis as recorded (the log's context
// beside its file), today's where it kept none.
analysis::CellBins viewerMapBins(const LogViewer& viewer);
// The channel a view of a log shows first: the wide-band lambda when the ride had a reading,
// else the probe's voltage.
QString defaultValueChannel(const log::LogData& data);

class CellTableView : public QWidget {
    Q_OBJECT
public:
    CellTableView(LogViewer& viewer, std::uint8_t language, QWidget* parent = nullptr);

    // The records the table counts (where the channel is a number other than 0); none: all.
    // The column must stay as long as the filter is set.
    void setFilter(analysis::ChannelView filter);
    // The same filter computed over the second log (again for each second log shown); without
    // it a filtered table shows no second ride rather than all of it.
    void setSecondRideFilter(analysis::ChannelView filter);
    // Reads the log's fields again (channels appended later), keeping the chosen ones by name.
    void refreshChannels();

    void setChannel(const QString& name); // a name the log lacks changes nothing
    QString channel() const;
    void setStatistic(analysis::CellStatistic s);
    void setMinimumCount(int n);
    // Bins of chosen channels and points (comma-separated); or the map's own again.
    void setChosenAxes(const QString& xChannel, const QString& xPoints, const QString& yChannel,
                       const QString& yPoints);
    void useMapAxes();

    const analysis::CellTable& table();
    // Why there is no table, in the user's language; empty when there is one.
    QString reason() const;
    QString tsv();
    void copy(); // to the clipboard
    // Lists a cell's spans and marks them in the plots.
    void showCell(int row, int col);
    QTableWidget* grid() const { return grid_; }
    QListWidget* spanList() const { return spans_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void onLogShown();
    void fillChannels();
    void changed();
    void ensure();
    void fillGrid();
    void compareRides(const analysis::CellTableOptions& o);
    int decimals() const;
    QString text(int id) const;

    LogViewer& viewer_;
    std::uint8_t language_;
    QComboBox* channel_ = nullptr;
    QComboBox* statistic_ = nullptr;
    QSpinBox* minCount_ = nullptr;
    QComboBox* bins_ = nullptr;
    QComboBox* xChannel_ = nullptr;
    QComboBox* yChannel_ = nullptr;
    QLineEdit* xPoints_ = nullptr;
    QLineEdit* yPoints_ = nullptr;
    QWidget* chosen_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* cellLabel_ = nullptr;
    QListWidget* spans_ = nullptr;
    analysis::ChannelView filter_;
    // With a second log: which ride the grid shows, and the difference of the rides' maps.
    QComboBox* ride_ = nullptr;
    QWidget* mapSide_ = nullptr;
    QLabel* mapNotes_ = nullptr;
    QTableWidget* mapGrid_ = nullptr;
    analysis::ChannelView secondFilter_;
    analysis::CellTable table_;
    bool stale_ = true;
    bool filling_ = false;
};

} // namespace velmora::ui
