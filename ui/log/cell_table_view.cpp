#include "ui/log/cell_table_view.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "analysis/map_geometry.h"
#include "lang/log_texts.h"
#include "log/log_context.h"
#include "ui/log/log_viewer.h"
#include "ui/log/second_log.h"

namespace velmora::ui {

using lang::LogText;

analysis::CellBins viewerMapBins(const LogViewer& viewer) {
    std::vector<log::ContextEntry> recorded;
    if (!viewer.path().isEmpty())
        recorded = log::readContextFile(log::contextPathFor(viewer.path().toStdString())).entries;
    std::array<int, analysis::MapSize> today = viewer.todayAxis();
    // A viewer that knows no calibration heads the columns with the ride's last axis.
    if (!analysis::axisRises(today) && !recorded.empty()) today = recorded.back().context.rpms;
    return analysis::mapBins(today, recorded);
}

QString defaultValueChannel(const log::LogData& data) {
    const int lambda = data.fieldIndex("Lambda");
    if (lambda < 0) return "O2 mV";
    const log::Column& c = data.columns[static_cast<std::size_t>(lambda)];
    return std::any_of(c.begin(), c.end(), [](float v) { return !std::isnan(v); }) ? "Lambda"
                                                                                   : "O2 mV";
}

namespace {

// Points typed as "500, 1000, 2000" (or apart by semicolons or spaces); none when one is no
// number.
std::optional<std::vector<double>> parsePoints(const QString& s) {
    std::vector<double> out;
    for (const QString& part : s.split(QRegularExpression("[,;\\s]+"), Qt::SkipEmptyParts)) {
        bool ok = false;
        const double v = QLocale::c().toDouble(part.trimmed(), &ok);
        if (!ok) return std::nullopt;
        out.push_back(v);
    }
    return out;
}

QString seconds(double v) {
    return QString::number(v, 'f', 2);
}

} // namespace

CellTableView::CellTableView(LogViewer& viewer, std::uint8_t language, QWidget* parent)
    : QWidget(parent), viewer_(viewer), language_(language) {
    setObjectName("CellTableView");
    const auto label = [this](LogText t) { return new QLabel(text(static_cast<int>(t)), this); };
    const auto onChange = [this] {
        if (!filling_) changed();
    };
    channel_ = new QComboBox(this);
    channel_->setObjectName("CellChannel");
    channel_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(channel_, &QComboBox::currentIndexChanged, this, onChange);
    statistic_ = new QComboBox(this);
    statistic_->setObjectName("CellStatistic");
    for (const LogText t : {LogText::StatMean, LogText::StatMedian, LogText::StatMinimum,
                            LogText::StatMaximum, LogText::StatCount})
        statistic_->addItem(text(static_cast<int>(t)));
    connect(statistic_, &QComboBox::currentIndexChanged, this, onChange);
    minCount_ = new QSpinBox(this);
    minCount_->setObjectName("CellMinCount");
    minCount_->setRange(1, 1000000);
    minCount_->setValue(5);
    connect(minCount_, &QSpinBox::valueChanged, this, onChange);
    bins_ = new QComboBox(this);
    bins_->setObjectName("CellBins");
    bins_->addItem(text(static_cast<int>(LogText::BinsMap)));
    bins_->addItem(text(static_cast<int>(LogText::BinsChosen)));
    connect(bins_, &QComboBox::currentIndexChanged, this, [this] {
        chosen_->setVisible(bins_->currentIndex() == 1);
        // Typed axes start from the map's.
        const analysis::CellBins map = viewerMapBins(viewer_);
        for (const auto& [edit, points] :
             {std::pair{xPoints_, &map.columns.points}, {yPoints_, &map.rows.points}}) {
            if (!edit->text().isEmpty()) continue;
            QStringList texts;
            for (const double p : *points) texts << QString::number(p);
            edit->setText(texts.join(", "));
        }
        if (!filling_) changed();
    });
    ride_ = new QComboBox(this);
    ride_->setObjectName("CellRide");
    for (const LogText t : {LogText::FirstRide, LogText::SecondRide, LogText::Difference})
        ride_->addItem(text(static_cast<int>(t)));
    ride_->setVisible(false);
    connect(ride_, &QComboBox::currentIndexChanged, this, onChange);
    auto* copyButton = new QPushButton(text(static_cast<int>(LogText::CopyTable)), this);
    copyButton->setObjectName("CellCopy");
    connect(copyButton, &QPushButton::clicked, this, &CellTableView::copy);

    chosen_ = new QWidget(this);
    auto* chosenRow = new QHBoxLayout(chosen_);
    chosenRow->setContentsMargins(0, 0, 0, 0);
    const auto axis = [&](const char* name, LogText t, QComboBox*& box, QLineEdit*& points) {
        box = new QComboBox(chosen_);
        box->setObjectName(QString(name) + "Channel");
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        connect(box, &QComboBox::currentIndexChanged, this, onChange);
        points = new QLineEdit(chosen_);
        points->setObjectName(QString(name) + "Points");
        connect(points, &QLineEdit::editingFinished, this, onChange);
        chosenRow->addWidget(new QLabel(text(static_cast<int>(t)), chosen_));
        chosenRow->addWidget(box);
        chosenRow->addWidget(points, 1);
    };
    axis("CellX", LogText::BinsXPoints, xChannel_, xPoints_);
    axis("CellY", LogText::BinsYPoints, yChannel_, yPoints_);
    chosen_->setVisible(false);

    auto* controls = new QHBoxLayout;
    controls->addWidget(label(LogText::TableChannel));
    controls->addWidget(channel_);
    controls->addWidget(label(LogText::Statistic));
    controls->addWidget(statistic_);
    controls->addWidget(label(LogText::MinimumCount));
    controls->addWidget(minCount_);
    controls->addWidget(label(LogText::Bins));
    controls->addWidget(bins_);
    controls->addWidget(ride_);
    controls->addStretch(1);
    controls->addWidget(copyButton);

    grid_ = new QTableWidget(this);
    grid_->setObjectName("CellGrid");
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    connect(grid_, &QTableWidget::cellClicked, this, &CellTableView::showCell);
    message_ = new QLabel(this);
    message_->setObjectName("CellMessage");
    message_->setWordWrap(true);
    message_->setVisible(false);

    auto* side = new QWidget(this);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    cellLabel_ = new QLabel(text(static_cast<int>(LogText::TimeSpans)), side);
    cellLabel_->setObjectName("CellSpansLabel");
    cellLabel_->setWordWrap(true);
    spans_ = new QListWidget(side);
    spans_->setObjectName("CellSpans");
    // A double click on a span: the cursor at its start, the plots around it.
    connect(spans_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const double from = item->data(Qt::UserRole).toDouble();
        const double to = item->data(Qt::UserRole + 1).toDouble();
        const double pad = std::max(1.0, (to - from) * 0.5);
        viewer_.setCursorTime(from);
        viewer_.setTimeRange(from - pad, to + pad);
    });
    sideLayout->addWidget(cellLabel_);
    sideLayout->addWidget(spans_, 1);

    auto* tableSide = new QWidget(this);
    auto* tableLayout = new QVBoxLayout(tableSide);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(message_);
    tableLayout->addWidget(grid_, 1);
    auto* split = new QSplitter(this);
    split->addWidget(tableSide);
    mapSide_ = new QWidget(this);
    auto* mapLayout = new QVBoxLayout(mapSide_);
    mapLayout->setContentsMargins(0, 0, 0, 0);
    mapNotes_ = new QLabel(mapSide_);
    mapNotes_->setObjectName("CellMapNotes");
    mapNotes_->setWordWrap(true);
    mapGrid_ = new QTableWidget(mapSide_);
    mapGrid_->setObjectName("CellMapDifference");
    mapGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mapGrid_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    mapGrid_->horizontalHeader()->setMinimumSectionSize(8);
    mapGrid_->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    mapLayout->addWidget(new QLabel(text(static_cast<int>(LogText::MapDifference)), mapSide_));
    mapLayout->addWidget(mapNotes_);
    mapLayout->addWidget(mapGrid_, 1);
    mapSide_->setVisible(false);
    split->addWidget(tableSide);
    split->addWidget(mapSide_);
    split->addWidget(side);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(controls);
    layout->addWidget(chosen_);
    layout->addWidget(split, 1);

    connect(&viewer_, &LogViewer::logShown, this, &CellTableView::onLogShown);
    // The second ride's filter was computed over the log that went.
    connect(viewer_.secondLog(), &SecondLog::changed, this, [this] {
        ride_->setVisible(viewer_.secondLog()->shown());
        mapSide_->setVisible(viewer_.secondLog()->shown());
        secondFilter_ = {};
        changed();
    });
}

QString CellTableView::text(int id) const {
    return QString::fromUtf8(lang::logText(static_cast<LogText>(id), language_));
}

void CellTableView::onLogShown() {
    fillChannels();
    filling_ = true;
    setChannel(defaultValueChannel(viewer_.data()));
    for (const auto& [box, name] : {std::pair{xChannel_, "RPM"}, {yChannel_, "TPS"}})
        box->setCurrentIndex(std::max(0, box->findText(name)));
    filling_ = false;
    changed();
}

void CellTableView::fillChannels() {
    filling_ = true;
    for (QComboBox* box : {channel_, xChannel_, yChannel_}) {
        const QString was = box->currentText();
        box->clear();
        for (const log::LogField& f : viewer_.data().fields)
            box->addItem(QString::fromStdString(f.name));
        box->setCurrentIndex(std::max(0, box->findText(was)));
    }
    filling_ = false;
}

void CellTableView::refreshChannels() {
    fillChannels();
    changed();
}

void CellTableView::setFilter(analysis::ChannelView filter) {
    filter_ = filter;
    changed();
}

void CellTableView::setSecondRideFilter(analysis::ChannelView filter) {
    secondFilter_ = filter;
    changed();
}

void CellTableView::setChannel(const QString& name) {
    const int i = channel_->findText(name);
    if (i >= 0) channel_->setCurrentIndex(i);
}

QString CellTableView::channel() const {
    return channel_->currentText();
}

void CellTableView::setStatistic(analysis::CellStatistic s) {
    statistic_->setCurrentIndex(static_cast<int>(s));
}

void CellTableView::setMinimumCount(int n) {
    minCount_->setValue(n);
}

void CellTableView::setChosenAxes(const QString& xChannel, const QString& xPoints,
                                  const QString& yChannel, const QString& yPoints) {
    filling_ = true;
    xChannel_->setCurrentIndex(std::max(0, xChannel_->findText(xChannel)));
    yChannel_->setCurrentIndex(std::max(0, yChannel_->findText(yChannel)));
    xPoints_->setText(xPoints);
    yPoints_->setText(yPoints);
    bins_->setCurrentIndex(1);
    filling_ = false;
    changed();
}

void CellTableView::useMapAxes() {
    bins_->setCurrentIndex(0);
}

// Recomputed when next shown or asked for: a hidden tab costs nothing.
void CellTableView::changed() {
    stale_ = true;
    if (isVisible()) ensure();
}

void CellTableView::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    ensure();
}

int CellTableView::decimals() const {
    if (statistic_->currentIndex() == static_cast<int>(analysis::CellStatistic::Count)) return 0;
    const int field = viewer_.data().fieldIndex(channel().toStdString());
    const int digits =
        field < 0 ? 2 : viewer_.data().fields[static_cast<std::size_t>(field)].digits;
    // A mean of whole numbers still shows its tenths.
    const bool spread =
        statistic_->currentIndex() <= static_cast<int>(analysis::CellStatistic::Median);
    return std::clamp(digits + (spread && digits == 0 ? 1 : 0), 0, 6);
}

void CellTableView::ensure() {
    if (!stale_) return;
    stale_ = false;
    const log::LogData& d = viewer_.data();
    analysis::CellTableOptions o;
    o.statistic = static_cast<analysis::CellStatistic>(statistic_->currentIndex());
    o.minCount = static_cast<std::size_t>(minCount_->value());
    const analysis::ChannelView value = analysis::channel(d, channel().toStdString());
    analysis::CellChannels ch;
    QString problem; // typed points that are no numbers
    if (bins_->currentIndex() == 0) {
        o.bins = viewerMapBins(viewer_);
        ch = analysis::cellChannels(d, value, filter_);
    } else {
        const auto xs = parsePoints(xPoints_->text()), ys = parsePoints(yPoints_->text());
        if (!xs || !ys) problem = (!xs ? xPoints_ : yPoints_)->text();
        if (xs) o.bins.columns.points = *xs;
        if (ys) o.bins.rows.points = *ys;
        ch = analysis::cellChannels(d, value, filter_, xChannel_->currentText().toStdString(),
                                    yChannel_->currentText().toStdString());
    }
    table_ = analysis::cellTable(ch, o);
    if (!problem.isEmpty()) {
        table_ = {};
        table_.error = "the points \"" + problem.toStdString() + "\" are not numbers";
        table_.problem = analysis::CellTableProblem::PointsNotNumbers;
        table_.detail = problem.toStdString();
    }
    compareRides(o);
    fillGrid();
}

// The table's problem in the user's language, naming the channel the view asked for.
QString CellTableView::reason() const {
    using P = analysis::CellTableProblem;
    const QString detail = QString::fromStdString(table_.detail);
    const bool map = bins_->currentIndex() == 0;
    const QString named = detail == "X"   ? (map ? QString("RPM") : xChannel_->currentText())
                          : detail == "Y" ? (map ? QString("TPS") : yChannel_->currentText())
                                          : channel();
    const auto say = [&](LogText t) { return text(static_cast<int>(t)); };
    switch (table_.problem) {
    case P::None:
        return {};
    case P::NoTime:
        return say(LogText::TableNoTime);
    case P::MissingChannel:
        return say(LogText::TableMissingChannel).arg(named);
    case P::ShortChannel:
        return say(LogText::TableShortChannel).arg(named);
    case P::ShortFilter:
        return say(LogText::TableShortFilter);
    case P::PointsNotRising:
        return say(LogText::TablePointsNotRising).arg(detail);
    case P::TooManyPoints:
        return say(LogText::TableTooManyPoints).arg(detail).arg(analysis::MaxCellAxisPoints);
    case P::RecordedAxis:
        return say(LogText::TableRecordedAxis).arg(detail.toDouble() / 1000.0);
    case P::OtherCells:
        return say(LogText::TableOtherCells);
    case P::PointsNotNumbers:
        return say(LogText::TablePointsNotNumbers).arg(detail);
    case P::FilterNotOnSecond:
        return say(LogText::TableFilterNotOnSecond);
    }
    return QString::fromStdString(table_.error);
}

void CellTableView::fillGrid() {
    const bool map = bins_->currentIndex() == 0;
    message_->setVisible(!table_.ok());
    message_->setText(text(static_cast<int>(LogText::NoTable)).arg(reason()));
    grid_->setUpdatesEnabled(false);
    grid_->clear();
    grid_->setColumnCount(static_cast<int>(table_.columns.size()));
    grid_->setRowCount(static_cast<int>(table_.rows.size()));
    QStringList columns, rows;
    for (const double c : table_.columns) columns << QString::number(c);
    for (const double r : table_.rows) rows << (map ? QString("%1 %").arg(r) : QString::number(r));
    grid_->setHorizontalHeaderLabels(columns);
    grid_->setVerticalHeaderLabels(rows);
    double low = INFINITY, high = -INFINITY;
    for (const analysis::CellResult& c : table_.cells)
        if (!c.empty()) low = std::min(low, c.value), high = std::max(high, c.value);
    const int places = decimals();
    for (std::size_t r = 0; r < table_.rows.size(); ++r)
        for (std::size_t c = 0; c < table_.columns.size(); ++c) {
            const analysis::CellResult& cell = table_.cell(r, c);
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            if (!cell.empty()) {
                // Low values blue, high ones red, over the range the table holds.
                const double f = high > low ? (cell.value - low) / (high - low) : 0.5;
                const analysis::Rgb bg = analysis::heatColour(
                    100 - analysis::HeatSpan +
                    static_cast<int>(std::lround(f * 2.0 * analysis::HeatSpan)));
                const analysis::Rgb fg = analysis::textColourOn(bg);
                item->setText(QString::number(cell.value, 'f', places));
                item->setBackground(QColor(bg.r, bg.g, bg.b));
                item->setForeground(QColor(fg.r, fg.g, fg.b));
            }
            grid_->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    grid_->setUpdatesEnabled(true);
    spans_->clear();
    cellLabel_->setText(text(static_cast<int>(LogText::TimeSpans)));
    viewer_.setHighlightedSpans({});
}

// With a second log the grid shows the ride chosen, or the difference of the two, and the
// difference of the maps they were recorded with beside it when both files prove theirs.
void CellTableView::compareRides(const analysis::CellTableOptions& o) {
    const SecondLog* second = viewer_.secondLog();
    ride_->setVisible(second->shown());
    mapSide_->setVisible(second->shown());
    if (!second->shown() || !table_.ok()) return;
    const bool map = bins_->currentIndex() == 0;
    std::array<int, analysis::MapSize> today{};
    for (std::size_t i = 0; i < today.size() && i < o.bins.columns.points.size(); ++i)
        today[i] = static_cast<int>(o.bins.columns.points[i]);
    const RideComparison c =
        second->compare(o, channel().toStdString(), map ? &today : nullptr, filter_, secondFilter_,
                        map ? "RPM" : xChannel_->currentText().toStdString(),
                        map ? "TPS" : yChannel_->currentText().toStdString());
    mapNotes_->setText(c.notes.join('\n'));
    SecondLog::fillMapDifference(mapGrid_, c);
    if (ride_->currentIndex() == 0) return;
    table_ = ride_->currentIndex() == 1 ? c.cells.second : c.cells.difference;
    if (filter_.present() && !secondFilter_.present()) {
        table_ = {};
        table_.error = "the filter is not computed over the second log";
        table_.problem = analysis::CellTableProblem::FilterNotOnSecond;
    }
    // The second ride's spans on the first's time, where the plots show it.
    for (analysis::CellResult& cell : table_.cells)
        for (analysis::TimeSpan& span : cell.spans) {
            span.from += second->offset();
            span.to += second->offset();
        }
}

const analysis::CellTable& CellTableView::table() {
    ensure();
    return table_;
}

QString CellTableView::tsv() {
    ensure();
    return table_.ok() ? QString::fromStdString(analysis::cellTableTsv(table_, decimals()))
                       : QString();
}

void CellTableView::copy() {
    QApplication::clipboard()->setText(tsv());
}

void CellTableView::showCell(int row, int col) {
    ensure();
    spans_->clear();
    if (!table_.ok() || row < 0 || col < 0 || static_cast<std::size_t>(row) >= table_.rows.size() ||
        static_cast<std::size_t>(col) >= table_.columns.size())
        return;
    const analysis::CellResult& cell =
        table_.cell(static_cast<std::size_t>(row), static_cast<std::size_t>(col));
    cellLabel_->setText(
        text(static_cast<int>(LogText::TimeSpans)) + "\n" +
        text(static_cast<int>(LogText::CellCount)).arg(cell.count).arg(cell.spans.size()));
    std::vector<std::pair<double, double>> marked;
    marked.reserve(cell.spans.size());
    spans_->setUpdatesEnabled(false);
    for (const analysis::TimeSpan& s : cell.spans) {
        auto* item =
            new QListWidgetItem(text(static_cast<int>(LogText::SpanText))
                                    .arg(seconds(s.from), seconds(s.to), seconds(s.to - s.from)));
        item->setData(Qt::UserRole, s.from);
        item->setData(Qt::UserRole + 1, s.to);
        spans_->addItem(item);
        marked.emplace_back(s.from, s.to);
    }
    spans_->setUpdatesEnabled(true);
    viewer_.setHighlightedSpans(std::move(marked));
}

} // namespace velmora::ui
