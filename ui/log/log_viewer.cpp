#include "ui/log/log_viewer.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>
#include <utility>

#include <qcustomplot.h>

#include "files/profile_store.h"
#include "lang/log_texts.h"
#include "log/csv.h"
#include "ui/log/cell_table_view.h"
#include "ui/log/computed_dialog.h"
#include "ui/log/scatter_view.h"
#include "ui/log/second_log.h"

namespace velmora::ui {

namespace {

// Every marker of the log as one item: only those in view are drawn, found by halving, so a
// log with a marker a second opens as fast as one without.
class MarkerLines : public QCPAbstractItem {
public:
    MarkerLines(QCustomPlot* plot, const std::vector<log::LogMarker>& markers, bool withText)
        : QCPAbstractItem(plot), markers_(markers), withText_(withText) {
        setSelectable(false);
    }
    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }

protected:
    void draw(QCPPainter* painter) override {
        QCPAxisRect* rect = clipAxisRect();
        if (rect == nullptr) return;
        QCPAxis* x = rect->axis(QCPAxis::atBottom);
        const auto byTime = [](const log::LogMarker& m, double t) { return m.time < t; };
        const auto first =
            std::lower_bound(markers_.begin(), markers_.end(), x->range().lower, byTime);
        const auto last = std::lower_bound(first, markers_.end(), x->range().upper, byTime);
        const auto shown = last - first;
        // Beyond a few hundred in view the lines merge anyway; one per pixel column is enough.
        const QRect area = rect->rect();
        double lastPixel = -1e9;
        painter->setPen(QPen(QColor(230, 120, 0), 1));
        for (auto it = first; it != last; ++it) {
            const double px = x->coordToPixel(it->time);
            if (px - lastPixel < 1.0) continue;
            lastPixel = px;
            painter->drawLine(QLineF(px, area.top(), px, area.bottom()));
        }
        if (!withText_ || shown > MaxNotes) return;
        painter->setPen(QColor(200, 100, 0));
        for (auto it = first; it != last; ++it) {
            const double px = x->coordToPixel(it->time);
            // Staggered, so that the notes of close markers stay readable.
            const auto k = static_cast<double>((it - markers_.begin()) % 3);
            const double y = area.top() + area.height() * (0.02 + 0.14 * k);
            painter->drawText(QPointF(px + 2, y + painter->fontMetrics().ascent()),
                              QString::fromStdString(it->text));
        }
    }

private:
    static constexpr long MaxNotes = 200;
    const std::vector<log::LogMarker>& markers_;
    bool withText_;
};

// The highlighted spans as bands over the plot's height, those in view only, found by halving;
// spans narrower than a pixel still show as one pixel.
class SpanBands : public QCPAbstractItem {
public:
    SpanBands(QCustomPlot* plot, const std::vector<std::pair<double, double>>& spans)
        : QCPAbstractItem(plot), spans_(spans) {
        setSelectable(false);
    }
    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }

protected:
    void draw(QCPPainter* painter) override {
        QCPAxisRect* rect = clipAxisRect();
        if (rect == nullptr || spans_.empty()) return;
        QCPAxis* x = rect->axis(QCPAxis::atBottom);
        const auto first = std::lower_bound(
            spans_.begin(), spans_.end(), x->range().lower,
            [](const std::pair<double, double>& s, double t) { return s.second < t; });
        const QRect area = rect->rect();
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0, 110, 255, 55));
        double drawnTo = -1e9;
        for (auto it = first; it != spans_.end() && it->first <= x->range().upper; ++it) {
            const double a = std::max(x->coordToPixel(it->first), drawnTo);
            const double b = std::max(x->coordToPixel(it->second), a + 1.0);
            if (b <= drawnTo) continue;
            painter->drawRect(QRectF(a, area.top(), b - a, area.height()));
            drawnTo = b;
        }
    }

private:
    const std::vector<std::pair<double, double>>& spans_;
};

} // namespace

using lang::LogText;

namespace {

const QColor plotColours[] = {QColor(0, 90, 200), QColor(200, 40, 40), QColor(0, 140, 60),
                              QColor(160, 80, 0), QColor(120, 0, 160), QColor(0, 130, 140)};

} // namespace

LogViewer::LogViewer(std::uint8_t language, QWidget* parent)
    : QWidget(parent, Qt::Window), language_(language) {
    setObjectName("LogViewer");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(text(static_cast<int>(LogText::ViewerTitle)));
    resize(1100, 720);

    plot_ = new QCustomPlot(this);
    plot_->setObjectName("LogPlot");
    plot_->setNoAntialiasingOnDrag(true);
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    connect(plot_, &QCustomPlot::mousePress, this, &LogViewer::onPress);
    connect(plot_, &QCustomPlot::mouseMove, this, &LogViewer::onMove);
    connect(plot_, &QCustomPlot::mouseRelease, this, &LogViewer::onRelease);
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this] { showAll(); });

    auto* side = new QWidget(this);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(4, 4, 4, 4);
    cursorLabel_ = new QLabel(side);
    cursorLabel_->setObjectName("LogCursorLabel");
    selectionLabel_ = new QLabel(side);
    selectionLabel_->setObjectName("LogSelectionLabel");
    values_ = new QTableWidget(0, 2, side);
    values_->setObjectName("LogValues");
    values_->setHorizontalHeaderLabels(
        {text(static_cast<int>(LogText::Channels)), text(static_cast<int>(LogText::Value))});
    values_->horizontalHeader()->setStretchLastSection(true);
    values_->verticalHeader()->setVisible(false);
    values_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Ticking a row plots that channel.
    connect(values_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (syncing_ || item->column() != 0) return;
        QStringList names;
        for (int r = 0; r < values_->rowCount(); ++r)
            if (values_->item(r, 0)->checkState() == Qt::Checked)
                names << values_->item(r, 0)->text();
        setChannels(names);
    });
    markerList_ = new QListWidget(side);
    markerList_->setObjectName("LogMarkers");
    markerList_->setMaximumHeight(120);
    connect(markerList_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const double t = item->data(Qt::UserRole).toDouble();
        const double half = (rangeTo() - rangeFrom()) / 2;
        setCursorTime(t);
        setTimeRange(t - half, t + half);
    });
    auto* buttons = new QHBoxLayout;
    auto* all = new QPushButton(text(static_cast<int>(LogText::ShowAll)), side);
    all->setObjectName("LogShowAll");
    connect(all, &QPushButton::clicked, this, &LogViewer::showAll);
    auto* zoom = new QPushButton(text(static_cast<int>(LogText::ZoomToSelection)), side);
    zoom->setObjectName("LogZoomSelection");
    connect(zoom, &QPushButton::clicked, this, &LogViewer::zoomToSelection);
    auto* csv = new QPushButton(text(static_cast<int>(LogText::ExportCsv)), side);
    csv->setObjectName("LogExportCsv");
    connect(csv, &QPushButton::clicked, this, &LogViewer::askExport);
    auto* analyse = new QPushButton(text(static_cast<int>(LogText::AnalyseMap)), side);
    analyse->setObjectName("LogAnalyseMap");
    connect(analyse, &QPushButton::clicked, this, &LogViewer::analyseMap);
    buttons->addWidget(all);
    buttons->addWidget(zoom);
    buttons->addWidget(csv);
    buttons->addWidget(analyse);
    sideLayout->addWidget(cursorLabel_);
    sideLayout->addWidget(selectionLabel_);
    sideLayout->addWidget(values_, 1);
    sideLayout->addWidget(new QLabel(text(static_cast<int>(LogText::Markers)), side));
    sideLayout->addWidget(markerList_);
    sideLayout->addLayout(buttons);
    second_ = new SecondLog(*this);
    sideLayout->addWidget(second_->panel());
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(text(static_cast<int>(LogText::FilterLabel)), side));
    filterEdit_ = new QLineEdit(side);
    filterEdit_->setObjectName("LogFilter");
    filterEdit_->setMaxLength(static_cast<int>(4 * log::MaxExpressionLength));
    connect(filterEdit_, &QLineEdit::editingFinished, this,
            [this] { setFilterText(filterEdit_->text()); });
    filterRow->addWidget(filterEdit_, 1);
    auto* computed = new QPushButton(text(static_cast<int>(LogText::ComputedChannels)), side);
    computed->setObjectName("LogComputed");
    connect(computed, &QPushButton::clicked, this, &LogViewer::editComputedChannels);
    filterRow->addWidget(computed);
    filterInfo_ = new QLabel(side);
    filterInfo_->setObjectName("LogFilterInfo");
    filterInfo_->setWordWrap(true);
    sideLayout->addLayout(filterRow);
    sideLayout->addWidget(filterInfo_);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(plot_);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({760, 340});
    // The scatter and the cell table below the plots; the plots keep most of the height.
    auto* outer = new QSplitter(Qt::Vertical, this);
    outer->addWidget(splitter);
    views_ = new QTabWidget(outer);
    views_->setObjectName("LogViews");
    scatter_ = new ScatterView(*this, language_, views_);
    cellTable_ = new CellTableView(*this, language_, views_);
    views_->addTab(scatter_, text(static_cast<int>(LogText::ScatterTab)));
    views_->addTab(cellTable_, text(static_cast<int>(LogText::CellTableTab)));
    connect(this, &LogViewer::filterChanged, this, [this] {
        scatter_->setFilter(filter());
        cellTable_->setFilter(filter());
        filterSecondRide();
    });
    connect(second_, &SecondLog::changed, this, &LogViewer::filterSecondRide);
    outer->addWidget(views_);
    outer->setStretchFactor(0, 3);
    outer->setStretchFactor(1, 2);
    outer->setSizes({430, 290});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(outer);
}

QString LogViewer::text(int id) const {
    return QString::fromUtf8(lang::logText(static_cast<LogText>(id), language_));
}

QStringList LogViewer::defaultChannels() {
    return {"RPM", "TPS", "O2 mV", "PW", "Advance", "CLT"};
}

bool LogViewer::openFile(const QString& path, QString* error) {
    // The channels plotted first are decoded while the file is read.
    std::vector<std::string> first{"Lambda"};
    for (const QString& n : defaultChannels()) first.push_back(n.toStdString());
    log::LogReadResult r = log::readMlgFile(path.toStdString(), first);
    if (!r.ok) {
        if (error != nullptr) *error = QString::fromStdString(r.error);
        return false;
    }
    if (!setLog(std::move(r.data), QFileInfo(path).fileName(), error)) return false;
    path_ = path;
    emit logShown();
    return true;
}

void LogViewer::analyseMap() {
    log::LogRange range;
    if (selTo_ > selFrom_) range = {selFrom_, selTo_};
    if (filtered_) range.kept = &filterValues_;
    emit analyseMapRequested(log_, path_, range);
}

bool LogViewer::setLog(log::LogData data, const QString& title, QString* error) {
    if (data.records() == 0) {
        if (error != nullptr) *error = title + ": " + text(static_cast<int>(LogText::NoRecords));
        return false;
    }
    second_->remove();
    log_ = std::move(data);
    outcomes_ = log::applyComputedChannels(log_, computed_);
    path_.clear();
    setWindowTitle(text(static_cast<int>(LogText::ViewerTitle)) + " - " + title);
    showFields();
    markerList_->clear();
    std::stable_sort(
        log_.markers.begin(), log_.markers.end(),
        [](const log::LogMarker& a, const log::LogMarker& b) { return a.time < b.time; });
    markerList_->setUpdatesEnabled(false);
    for (const log::LogMarker& m : log_.markers) {
        auto* item = new QListWidgetItem(
            QString("%1 s  %2").arg(number(m.time, 2), QString::fromStdString(m.text)));
        item->setData(Qt::UserRole, m.time);
        markerList_->addItem(item);
    }
    markerList_->setUpdatesEnabled(true);
    cursor_ = log_.time.front();
    selFrom_ = selTo_ = 0;
    // The wide-band lambda joins the plots when the log holds any reading.
    QStringList shown = defaultChannels();
    const int lambda = log_.fieldIndex("Lambda");
    // The channels plotted first come from the file in one pass; the others stay there.
    std::vector<std::size_t> first;
    for (const QString& n : shown + QStringList{"Lambda"})
        if (const int f = log_.fieldIndex(n.toStdString()); f >= 0)
            first.push_back(static_cast<std::size_t>(f));
    log_.columns.decode(first);
    if (lambda >= 0 && log_.fields[static_cast<std::size_t>(lambda)].units == "lambda") {
        const log::Column& c = log_.columns[static_cast<std::size_t>(lambda)];
        if (std::any_of(c.begin(), c.end(), [](float v) { return !std::isnan(v); }))
            shown << "Lambda";
    }
    applyFilter(filterText_, false);
    setChannels(shown);
    showAll();
    spans_.clear();
    emit logShown();
    return true;
}

void LogViewer::showFields() {
    syncing_ = true;
    values_->setRowCount(static_cast<int>(log_.fields.size()));
    for (std::size_t i = 0; i < log_.fields.size(); ++i) {
        const log::LogField& f = log_.fields[i];
        auto* name = new QTableWidgetItem(QString::fromStdString(f.name));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        name->setCheckState(Qt::Unchecked);
        if (!f.expression.empty()) { // computed: in italics, its text as the tip
            QFont font = name->font();
            font.setItalic(true);
            name->setFont(font);
            name->setToolTip(QString::fromStdString(f.expression).left(300));
        }
        values_->setItem(static_cast<int>(i), 0, name);
        values_->setItem(static_cast<int>(i), 1, new QTableWidgetItem);
    }
    syncing_ = false;
}

void LogViewer::keepSettingsIn(ProfileStore* store) {
    store_ = store;
    if (store_ == nullptr) return;
    const log::LogViewerSettings kept = log::loadLogViewerSettings(*store_);
    computed_ = kept.computed;
    filterText_ = QString::fromStdString(kept.filter);
    if (log_.records() > 0) applyComputed();
    filterEdit_->setText(filterText_);
}

void LogViewer::keepSettings() {
    // A write that fails leaves the viewer as it is; the next change tries again.
    if (store_ != nullptr)
        log::saveLogViewerSettings(*store_, {computed_, filterText_.toStdString()});
}

std::vector<log::ComputedOutcome>
LogViewer::checkComputedChannels(const std::vector<log::ComputedDefinition>& defs) const {
    // The recorded fields without their records: compiled, not evaluated.
    log::LogData probe;
    const auto recorded = static_cast<std::ptrdiff_t>(log::recordedFieldCount(log_));
    probe.fields.assign(log_.fields.begin(), log_.fields.begin() + recorded);
    probe.columns.resize(probe.fields.size());
    probe.timeField = log_.timeField;
    return log::applyComputedChannels(probe, defs);
}

bool LogViewer::setComputedChannels(std::vector<log::ComputedDefinition> defs) {
    if (!log::fitsKept({defs, filterText_.toStdString()})) return false;
    computed_ = std::move(defs);
    applyComputed();
    keepSettings();
    return true;
}

void LogViewer::applyComputed() {
    if (log_.records() == 0) {
        outcomes_ = checkComputedChannels(computed_);
        return;
    }
    const QStringList chosen = chosen_;
    outcomes_ = log::applyComputedChannels(log_, computed_);
    second_->computeChannels();
    showFields();
    applyFilter(filterText_, false);
    setChannels(chosen);
    scatter_->refreshChannels();
    cellTable_->refreshChannels();
    if (computedDialog_ != nullptr) computedDialog_->refresh();
}

ComputedDialog* LogViewer::editComputedChannels() {
    if (computedDialog_ == nullptr) computedDialog_ = new ComputedDialog(*this, language_);
    computedDialog_->refresh();
    computedDialog_->show();
    computedDialog_->raise();
    return computedDialog_;
}

bool LogViewer::setFilterText(const QString& text) {
    // The filter in force typed again: only an error said about other text goes.
    if (text.trimmed() == filterText_ && (filtered_ || filterText_.isEmpty())) {
        showKept();
        return true;
    }
    if (!applyFilter(text, true)) return false;
    keepSettings();
    return true;
}

bool LogViewer::applyFilter(const QString& typed, bool byUser) {
    const std::string t = typed.trimmed().toStdString();
    filterInfo_->setStyleSheet({});
    if (t.empty()) {
        filtered_ = false;
        filterText_.clear();
        filterValues_.clear();
        filterInfo_->clear();
        emit filterChanged();
        return true;
    }
    const log::CompileResult c = log::compileExpression(t, log::channelNames(log_));
    if (!c.ok()) {
        filterInfo_->setText(QString::fromStdString(log::expressionErrorText(c.error, language_)));
        filterInfo_->setStyleSheet("color: #b00000");
        if (byUser) return false; // the filter in force stays
        // A kept filter this log cannot compute filters nothing here, and stays kept.
        filtered_ = false;
        filterValues_.clear();
        filterEdit_->setText(filterText_);
        emit filterChanged();
        return false;
    }
    filterText_ = QString::fromStdString(t);
    filterValues_ = log::evaluate(c.expression, log_);
    filtered_ = true;
    showKept();
    if (filterEdit_->text().trimmed() != filterText_) filterEdit_->setText(filterText_);
    emit filterChanged();
    return true;
}

void LogViewer::showKept() {
    filterInfo_->setStyleSheet({});
    if (!filtered_) {
        filterInfo_->clear();
        return;
    }
    const auto kept = std::count_if(filterValues_.begin(), filterValues_.end(), log::keepsRecord);
    const QLocale locale(language_ == 0   ? QLocale::Czech
                         : language_ == 2 ? QLocale::German
                                          : QLocale::English);
    filterInfo_->setText(text(static_cast<int>(LogText::FilterKeeps))
                             .arg(locale.toString(static_cast<qlonglong>(kept)),
                                  locale.toString(static_cast<qulonglong>(log_.records()))));
}

// The cell table compares the rides over the records the filter keeps in each.
void LogViewer::filterSecondRide() {
    secondFilterValues_.clear();
    analysis::ChannelView view;
    if (filtered_ && second_->shown()) {
        const log::LogData& d = second_->data();
        const log::CompileResult c =
            log::compileExpression(filterText_.toStdString(), log::channelNames(d));
        if (c.ok()) {
            secondFilterValues_ = log::evaluate(c.expression, d);
            view = analysis::ChannelView(secondFilterValues_);
        }
    }
    cellTable_->setSecondRideFilter(view);
}

QString LogViewer::filterMessage() const {
    return filterInfo_->text();
}

analysis::ChannelView LogViewer::filter() const {
    return filtered_ ? analysis::ChannelView(filterValues_) : analysis::ChannelView();
}

QStringList LogViewer::channels() const {
    return chosen_;
}

void LogViewer::setChannels(const QStringList& names) {
    chosen_.clear();
    for (const QString& n : names)
        if (log_.fieldIndex(n.toStdString()) >= 0 && !chosen_.contains(n)) chosen_ << n;
    syncing_ = true;
    for (int r = 0; r < values_->rowCount(); ++r) {
        QTableWidgetItem* item = values_->item(r, 0);
        item->setCheckState(chosen_.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
    syncing_ = false;
    rebuildPlots();
}

void LogViewer::rebuildPlots() {
    const double from = rects_.empty() ? log_.time.front() : rangeFrom();
    const double to = rects_.empty() ? log_.time.back() : rangeTo();
    // Graphs outlive the axes they were drawn on: they go first, or each rebuild leaves some.
    plot_->clearGraphs();
    plot_->plotLayout()->clear();
    plot_->clearItems();
    rects_.clear();
    plotted_.clear();
    cursorLines_.clear();
    selectionRects_.clear();
    if (chosen_.isEmpty() || log_.records() == 0) {
        plot_->replot();
        return;
    }
    auto* margins = new QCPMarginGroup(plot_);
    const int n = static_cast<int>(chosen_.size());
    std::vector<std::size_t> fields;
    for (const QString& c : chosen_)
        fields.push_back(static_cast<std::size_t>(log_.fieldIndex(c.toStdString())));
    log_.columns.decode(fields);
    // Each plotted channel's extremes, half of them on a second core: the columns are only
    // read meanwhile.
    std::vector<const log::Column*> columns;
    for (const std::size_t f : fields) columns.push_back(&std::as_const(log_.columns)[f]);
    std::vector<Envelope> envelopes(fields.size());
    const bool sliced = log_.records() > FullDetailRecords;
    const auto fill = [&](std::size_t first) {
        for (std::size_t k = first; k < columns.size(); k += 2)
            envelopes[k] = envelope(*columns[k], log_.time, sliced);
    };
    if (columns.size() > 1) {
        std::thread odd(fill, 1);
        fill(0);
        odd.join();
    } else {
        fill(0);
    }
    for (int i = 0; i < n; ++i) {
        const int field = log_.fieldIndex(chosen_[i].toStdString());
        const log::LogField& f = log_.fields[static_cast<std::size_t>(field)];
        auto* rect = new QCPAxisRect(plot_);
        rects_.push_back(rect);
        plot_->plotLayout()->addElement(i, 0, rect);
        rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
        rect->setRangeDrag(Qt::Horizontal);
        rect->setRangeZoom(Qt::Horizontal);
        rect->axis(QCPAxis::atBottom)->setTickLabels(i == n - 1);
        if (i == n - 1)
            rect->axis(QCPAxis::atBottom)->setLabel(text(static_cast<int>(LogText::TimeAxis)));
        QString label = QString::fromStdString(f.name);
        if (!f.units.empty()) label += " [" + QString::fromStdString(f.units) + "]";
        rect->axis(QCPAxis::atLeft)->setLabel(label);
        rect->setMinimumMargins(QMargins(0, 2, 0, 2));
        auto* graph = plot_->addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        graph->setPen(QPen(plotColours[i % 6], 1));
        // A line one pixel wide over thousands of points: smoothing its edges shows nothing
        // more and slows the draw.
        graph->setAntialiased(false);
        graph->setAdaptiveSampling(true);
        Plotted p;
        p.points.field = static_cast<std::size_t>(field);
        p.graph = graph;
        Envelope& e = envelopes[static_cast<std::size_t>(i)];
        p.points.envelope = std::move(e.points);
        float low = e.low, high = e.high;
        const bool gaps = e.gaps;
        if (std::isnan(low)) low = high = 0.0f; // no value at all: an empty plot
        // Adaptive sampling keeps each pixel column's extremes and would bridge a gap.
        if (gaps) graph->setAdaptiveSampling(false);
        plotted_.push_back(std::move(p));
        const double pad = std::max(1e-3, (static_cast<double>(high) - low) * 0.08);
        rect->axis(QCPAxis::atLeft)->setRange(low - pad, high + pad);
        connect(rect->axis(QCPAxis::atBottom), qOverload<const QCPRange&>(&QCPAxis::rangeChanged),
                this, [this](const QCPRange& r) { syncRanges(r.lower, r.upper); });

        auto* line = new QCPItemStraightLine(plot_);
        line->setClipAxisRect(rect);
        line->point1->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        line->point2->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        line->setPen(QPen(Qt::black, 1, Qt::DashLine));
        cursorLines_.push_back(line);
        auto* sel = new QCPItemRect(plot_);
        sel->setClipAxisRect(rect);
        sel->topLeft->setTypeX(QCPItemPosition::ptPlotCoords);
        sel->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
        sel->bottomRight->setTypeX(QCPItemPosition::ptPlotCoords);
        sel->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
        sel->topLeft->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        sel->bottomRight->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        sel->topLeft->setAxisRect(rect);
        sel->bottomRight->setAxisRect(rect);
        sel->setPen(Qt::NoPen);
        sel->setBrush(QColor(255, 200, 0, 60));
        selectionRects_.push_back(sel);
        if (!log_.markers.empty()) {
            auto* marks = new MarkerLines(plot_, log_.markers, i == 0);
            marks->setClipAxisRect(rect);
        }
        (new SpanBands(plot_, spans_))->setClipAxisRect(rect);
    }
    second_->overlay();
    syncRanges(from, to);
    updateCursor();
    updateSelection();
}

void LogViewer::loadData(double from, double to) {
    for (Plotted& p : plotted_) p.points.load(*p.graph, log_, from, to);
}

void LogViewer::syncRanges(double from, double to) {
    if (syncing_) return;
    syncing_ = true;
    for (QCPAxisRect* r : plot_->axisRects()) r->axis(QCPAxis::atBottom)->setRange(from, to);
    loadData(from, to);
    second_->loadData(from, to);
    syncing_ = false;
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

double LogViewer::rangeFrom() const {
    const auto r = plot_->axisRects();
    return r.isEmpty() ? 0.0 : r.front()->axis(QCPAxis::atBottom)->range().lower;
}

double LogViewer::rangeTo() const {
    const auto r = plot_->axisRects();
    return r.isEmpty() ? 0.0 : r.front()->axis(QCPAxis::atBottom)->range().upper;
}

void LogViewer::setTimeRange(double from, double to) {
    if (to <= from) to = from + 0.001;
    syncRanges(from, to);
}

void LogViewer::showAll() {
    if (log_.records() == 0) return;
    const double span = std::max(0.001, log_.time.back() - log_.time.front());
    setTimeRange(log_.time.front() - span * 0.01, log_.time.back() + span * 0.01);
}

std::size_t LogViewer::recordAt(double t) const {
    const auto it = std::upper_bound(log_.time.begin(), log_.time.end(), t);
    return it == log_.time.begin() ? 0 : static_cast<std::size_t>(it - log_.time.begin()) - 1;
}

QString LogViewer::cursorText(const QString& channel) const {
    const int field = log_.fieldIndex(channel.toStdString());
    if (field < 0 || log_.records() == 0) return {};
    const std::size_t r = recordAt(cursor_);
    const auto f = static_cast<std::size_t>(field);
    return number(log_.value(f, r), log_.fields[f].digits);
}

void LogViewer::setCursorTime(double t) {
    cursor_ = t;
    updateCursor();
    emit cursorMoved(t);
}

void LogViewer::setHighlightedSpans(std::vector<std::pair<double, double>> spans) {
    std::sort(spans.begin(), spans.end());
    spans_ = std::move(spans);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void LogViewer::setTodayAxis(const std::array<int, 10>& rpms) {
    todayAxis_ = rpms;
    scatter_->refreshChannels();
    cellTable_->refreshChannels();
}

void LogViewer::updateCursor() {
    for (QCPItemStraightLine* l : cursorLines_) {
        l->point1->setCoords(cursor_, 0);
        l->point2->setCoords(cursor_, 1);
    }
    cursorLabel_->setText(text(static_cast<int>(LogText::Cursor)).arg(number(cursor_, 3)));
    syncing_ = true;
    for (int r = 0; r < values_->rowCount(); ++r)
        values_->item(r, 1)->setText(cursorText(values_->item(r, 0)->text()));
    second_->updateCursor();
    syncing_ = false;
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void LogViewer::setSelection(double from, double to) {
    selFrom_ = std::min(from, to);
    selTo_ = std::max(from, to);
    updateSelection();
}

QString LogViewer::selectionText() const {
    if (selTo_ <= selFrom_) return {};
    return text(static_cast<int>(LogText::Selection))
        .arg(number(selFrom_, 3), number(selTo_, 3), number(selTo_ - selFrom_, 3));
}

void LogViewer::updateSelection() {
    for (QCPItemRect* r : selectionRects_) {
        r->setVisible(selTo_ > selFrom_);
        r->topLeft->setCoords(selFrom_, 0);
        r->bottomRight->setCoords(selTo_, 1);
    }
    selectionLabel_->setText(selectionText());
    plot_->replot(QCustomPlot::rpQueuedReplot);
    emit selectionChanged(selFrom_, selTo_);
}

void LogViewer::zoomToSelection() {
    if (selTo_ > selFrom_) setTimeRange(selFrom_, selTo_);
}

double LogViewer::timeAt(double x) const {
    const auto r = plot_->axisRects();
    return r.isEmpty() ? 0.0 : r.front()->axis(QCPAxis::atBottom)->pixelToCoord(x);
}

// Left drag pans and a left click places the cursor; the right button marks a range.
void LogViewer::onPress(QMouseEvent* e) {
    pressAt_ = e->position();
    if (e->button() == Qt::RightButton) {
        selecting_ = true;
        setSelection(timeAt(pressAt_.x()), timeAt(pressAt_.x()));
    }
}

void LogViewer::onMove(QMouseEvent* e) {
    if (selecting_) setSelection(timeAt(pressAt_.x()), timeAt(e->position().x()));
}

void LogViewer::onRelease(QMouseEvent* e) {
    if (selecting_) {
        selecting_ = false;
        setSelection(timeAt(pressAt_.x()), timeAt(e->position().x()));
        return;
    }
    if (e->button() == Qt::LeftButton && (e->position() - pressAt_).manhattanLength() < 4)
        setCursorTime(timeAt(e->position().x()));
}

bool LogViewer::exportCsv(const QString& path, QString* error) const {
    const WriteResult w = log::exportCsv(log_, path.toStdString());
    if (!w.ok && error != nullptr) *error = QString::fromStdString(w.path + ": " + w.error);
    return w.ok;
}

void LogViewer::askExport() {
    const QString path = QFileDialog::getSaveFileName(
        this, text(static_cast<int>(LogText::ExportCsv)).remove('&').remove(u'…'), QString(),
        text(static_cast<int>(LogText::CsvFilter)));
    if (path.isEmpty()) return;
    QString error;
    if (exportCsv(path, &error))
        QMessageBox::information(this, windowTitle(),
                                 text(static_cast<int>(LogText::Exported)).arg(path));
    else
        QMessageBox::warning(this, windowTitle(), error);
}

} // namespace velmora::ui
