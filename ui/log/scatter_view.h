// The log viewer's scatter plot: any channel against any other, coloured by a third on the
// heat scale, the map's cells as a grid when X is the speed and Y the throttle, the viewer's
// cursor as a ring, the selected time range on top in black. A click on a point moves the
// viewer's cursor to its record.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/log_table.h"

class QComboBox;

namespace velmora::ui {

class LogViewer;

class ScatterView : public QWidget {
    Q_OBJECT
public:
    ScatterView(LogViewer& viewer, std::uint8_t language, QWidget* parent = nullptr);

    // The records the plot keeps (where the channel is a number other than 0); none: all.
    // The column must stay as long as the filter is set.
    void setFilter(analysis::ChannelView filter);
    // Reads the log's fields again (channels appended later), keeping the chosen ones by name.
    void refreshChannels();

    // Channels by name; a name the log lacks leaves that choice as it is. An empty colour:
    // no colour channel.
    void setChannels(const QString& x, const QString& y, const QString& colour);
    QString xChannel() const;
    QString yChannel() const;
    QString colourChannel() const;

    // The points of the whole log and of the selected time range, after the filter.
    const std::vector<analysis::ScatterPoint>& points();
    const std::vector<analysis::ScatterPoint>& highlighted();
    bool gridShown();
    // Where a record's point lies on the canvas; none when it is not plotted.
    std::optional<QPoint> positionOf(std::size_t record);
    QWidget* canvas() const { return canvas_; }
    // Draws the whole plot at that size: what a redraw costs.
    QImage render(QSize size);

    // Called by the canvas.
    void paintCanvas(QPainter& p, QSize size);
    // Paints a blank canvas and asks for another paint, once after a log is shown, when the
    // points have still to be gathered: the time plots are drawn first, the points just after.
    bool deferGather(QPainter& p, QSize size);
    // Whether the points of the chosen channels are gathered.
    bool gathered() const { return !pointsStale_; }
    void clickCanvas(QPointF at);

private:
    void onLogShown();
    void fillChannels();
    void channelsChosen();
    void invalidate();
    void ensure();
    analysis::ScatterFrame frameFor(QSize size) const;
    QRect plotRect(QSize size) const;
    std::optional<QPoint> pixelOf(std::size_t record, QSize size);
    void rasterise(QSize size);
    QString text(int id) const;

    LogViewer& viewer_;
    std::uint8_t language_;
    QComboBox* x_ = nullptr;
    QComboBox* y_ = nullptr;
    QComboBox* colour_ = nullptr;
    QWidget* canvas_ = nullptr;
    analysis::ChannelView filter_;
    bool filling_ = false;

    bool pointsStale_ = true, highlightStale_ = true, imageStale_ = true;
    bool deferGather_ = false;
    std::vector<analysis::ScatterPoint> points_, highlighted_;
    double xFrom_ = 0, xTo_ = 1, yFrom_ = 0, yTo_ = 1; // the plot's ranges
    double colourLow_ = 0, colourHigh_ = 0;            // of the colour channel's values
    bool grid_ = false;
    analysis::CellBins bins_; // the map's cells, for the grid
    // The last drawn picture: the points that show, for clicks.
    QImage image_;
    QSize imageFor_;
    std::vector<analysis::ScatterPoint> shown_;
    std::array<QRgb, 256> scale_{};
};

} // namespace velmora::ui
