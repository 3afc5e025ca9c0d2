#include "ui/log/second_log.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

#include "analysis/map_geometry.h"
#include "lang/log_texts.h"
#include "log/log_context.h"
#include "ui/log/log_viewer.h"

namespace velmora::ui {

using lang::LogText;

namespace {

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

} // namespace

SecondLog::SecondLog(LogViewer& viewer) : QObject(&viewer), viewer_(viewer) {
    panel_ = new QWidget(&viewer);
    auto* layout = new QVBoxLayout(panel_);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QHBoxLayout;
    auto* open = new QPushButton(text(static_cast<int>(LogText::OpenSecondLog)), panel_);
    open->setObjectName("LogOpenSecond");
    connect(open, &QPushButton::clicked, this, &SecondLog::ask);
    remove_ = new QPushButton(text(static_cast<int>(LogText::RemoveSecondLog)), panel_);
    remove_->setObjectName("LogRemoveSecond");
    remove_->setEnabled(false);
    connect(remove_, &QPushButton::clicked, this, &SecondLog::remove);
    buttons->addWidget(open);
    buttons->addWidget(remove_);
    label_ = new QLabel(panel_);
    label_->setObjectName("LogSecondLabel");
    label_->setWordWrap(true);
    layout->addLayout(buttons);
    layout->addWidget(label_);
}

QString SecondLog::text(int id) const {
    return QString::fromUtf8(lang::logText(static_cast<LogText>(id), viewer_.language()));
}

analysis::Alignment SecondLog::align(const log::LogData& second,
                                     const SecondLogAlignment& how) const {
    switch (how.kind) {
    case SecondLogAlignment::Marker:
        return analysis::alignAtMarkers(viewer_.data(), how.firstMarker, second, how.secondMarker);
    case SecondLogAlignment::Time:
        return analysis::alignAtTimes(how.firstTime, how.secondTime);
    case SecondLogAlignment::Event:
        break;
    }
    return analysis::alignAtEvent(viewer_.data(), how.firstEvent, second, how.secondEvent);
}

bool SecondLog::open(const QString& path, const SecondLogAlignment& how, QString* message) {
    const QString name = fileName(path);
    const auto fail = [&](const QString& why) {
        if (message != nullptr) *message = why;
        return false;
    };
    log::LogReadResult r = log::readMlgFile(path.toStdString());
    if (!r.ok)
        return fail(text(static_cast<int>(LogText::SecondUnreadable))
                        .arg(name, QString::fromStdString(r.error)));
    if (r.data.records() == 0)
        return fail(text(static_cast<int>(LogText::SecondUnreadable))
                        .arg(name, text(static_cast<int>(LogText::NoRecords))));
    // The viewer's computed channels join the second log too, so they overlay and compare.
    log::applyComputedChannels(r.data, viewer_.computedChannels());
    std::vector<std::string> plotted;
    for (const QString& c : viewer_.channels()) plotted.push_back(c.toStdString());
    const analysis::SharedChannels shared = analysis::sharedChannels(plotted, r.data);
    if (shared.common.empty())
        return fail(text(static_cast<int>(LogText::SecondNoCommon)).arg(name));
    std::stable_sort(
        r.data.markers.begin(), r.data.markers.end(),
        [](const log::LogMarker& a, const log::LogMarker& b) { return a.time < b.time; });
    const analysis::Alignment a = align(r.data, how);
    if (!a.ok()) {
        const QString file = a.log == 0 ? fileName(viewer_.path()) : name;
        switch (a.failure) {
        case analysis::AlignFailure::NoMarker:
            return fail(text(static_cast<int>(LogText::AlignNoMarker))
                            .arg(file)
                            .arg((a.log == 0 ? how.firstMarker : how.secondMarker) + 1));
        case analysis::AlignFailure::NoChannel:
            return fail(
                text(static_cast<int>(LogText::AlignNoChannel))
                    .arg(file, QString::fromStdString(a.log == 0 ? how.firstEvent.channel
                                                                 : how.secondEvent.channel)));
        case analysis::AlignFailure::NoCrossing: {
            const analysis::CrossingEvent& e = a.log == 0 ? how.firstEvent : how.secondEvent;
            return fail(text(static_cast<int>(LogText::AlignNoCrossing))
                            .arg(file, QString::fromStdString(e.channel), number(e.value, 3)));
        }
        case analysis::AlignFailure::None:
            break;
        }
    }
    remove();
    log_ = std::move(r.data);
    path_ = path;
    offset_ = a.offset;
    remove_->setEnabled(true);
    label_->setText(text(static_cast<int>(LogText::SecondShown)).arg(name, number(offset_, 3)));
    QTableWidget* table = viewer_.valueTable();
    table->setColumnCount(3);
    table->setHorizontalHeaderItem(
        2, new QTableWidgetItem(text(static_cast<int>(LogText::SecondLog))));
    overlay();
    viewer_.setTimeRange(viewer_.rangeFrom(), viewer_.rangeTo());
    updateCursor();
    emit changed();
    QStringList missing;
    for (const std::string& m : shared.missing) missing << QString::fromStdString(m);
    if (message != nullptr)
        *message =
            missing.isEmpty()
                ? QString()
                : text(static_cast<int>(LogText::SecondMissing)).arg(name, missing.join(", "));
    return true;
}

void SecondLog::clearGraphs() {
    for (const QPointer<QCPGraph>& g : graphs_)
        if (!g.isNull()) viewer_.plot()->removeGraph(g.data());
    graphs_.clear();
    overlaid_.clear();
}

std::vector<QCPGraph*> SecondLog::graphs() const {
    std::vector<QCPGraph*> live;
    for (const QPointer<QCPGraph>& g : graphs_)
        if (!g.isNull()) live.push_back(g.data());
    return live;
}

void SecondLog::remove() {
    clearGraphs();
    if (!shown()) return;
    log_ = {};
    path_.clear();
    offset_ = 0.0;
    remove_->setEnabled(false);
    label_->clear();
    viewer_.valueTable()->setColumnCount(2);
    // The legend went with the graphs' names; the plots are drawn anew without them.
    viewer_.setChannels(viewer_.channels());
    emit changed();
}

void SecondLog::computeChannels() {
    if (!shown()) return;
    log::applyComputedChannels(log_, viewer_.computedChannels());
    emit changed();
}

void SecondLog::overlay() {
    clearGraphs();
    const std::vector<QCPAxisRect*>& rects = viewer_.channelRects();
    if (!shown() || rects.empty()) return;
    QCustomPlot* plot = viewer_.plot();
    // The legend made below becomes the plot's own; graphs must not add themselves to it.
    plot->setAutoAddPlottableToLegend(false);
    const QStringList channels = viewer_.channels();
    QCPLegend* legend = nullptr;
    for (int i = 0; i < channels.size() && i < static_cast<int>(rects.size()); ++i) {
        QCPAxisRect* rect = rects[static_cast<std::size_t>(i)];
        const int field = log_.fieldIndex(channels[i].toStdString());
        QCPGraph* first = nullptr;
        for (int g = 0; g < plot->graphCount() && first == nullptr; ++g)
            if (plot->graph(g)->valueAxis() == rect->axis(QCPAxis::atLeft)) first = plot->graph(g);
        if (field < 0 || first == nullptr) continue;
        auto* graph = plot->addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        // The first log's colour, lighter: which plot it belongs to stays plain.
        graph->setPen(QPen(first->pen().color().lighter(165), 1));
        graph->setAdaptiveSampling(false);
        graph->setName(fileName(path_));
        graphs_.push_back(graph);
        PlotPoints o;
        o.field = static_cast<std::size_t>(field);
        o.envelope =
            envelope(log_.columns[o.field], log_.time, log_.records() > FullDetailRecords).points;
        overlaid_.push_back(std::move(o));
        if (legend == nullptr) {
            legend = new QCPLegend;
            rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignRight);
            legend->setLayer("legend");
            legend->setBrush(QColor(255, 255, 255, 200));
            QFont small = legend->font();
            small.setPointSizeF(small.pointSizeF() * 0.85);
            legend->setFont(small);
            first->setName(viewer_.path().isEmpty() ? viewer_.windowTitle()
                                                    : fileName(viewer_.path()));
            legend->addItem(new QCPPlottableLegendItem(legend, first));
            legend->addItem(new QCPPlottableLegendItem(legend, graph));
        }
    }
    loadData(viewer_.rangeFrom(), viewer_.rangeTo());
}

void SecondLog::loadData(double from, double to) {
    if (!shown() || graphs_.size() != overlaid_.size()) return;
    if (std::any_of(graphs_.begin(), graphs_.end(), [](const auto& g) { return g.isNull(); }))
        return; // the plots are being rebuilt
    for (std::size_t g = 0; g < graphs_.size(); ++g)
        overlaid_[g].load(*graphs_[g], log_, from, to, offset_);
}

QString SecondLog::cursorText(const QString& channel) const {
    const int field = log_.fieldIndex(channel.toStdString());
    if (!shown() || field < 0) return {};
    // Outside the second ride there is nothing of it to show.
    const double t = viewer_.cursorTime() - offset_;
    if (t < log_.time.front() || t > log_.time.back()) return {};
    const auto r = static_cast<std::size_t>(
        std::upper_bound(log_.time.begin(), log_.time.end(), t) - log_.time.begin() - 1);
    const auto f = static_cast<std::size_t>(field);
    return number(log_.value(f, r), log_.fields[f].digits);
}

void SecondLog::updateCursor() {
    if (!shown()) return;
    QTableWidget* table = viewer_.valueTable();
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->item(r, 2) == nullptr) table->setItem(r, 2, new QTableWidgetItem);
        table->item(r, 2)->setText(cursorText(table->item(r, 0)->text()));
    }
}

RideComparison SecondLog::compare(analysis::CellTableOptions options, const std::string& value,
                                  const std::array<int, analysis::MapSize>* today,
                                  analysis::ChannelView firstFilter,
                                  analysis::ChannelView secondFilter, const std::string& x,
                                  const std::string& y) const {
    RideComparison out;
    if (!shown()) return out;
    const log::LogData& first = viewer_.data();
    const std::string paths[2] = {viewer_.path().toStdString(), path_.toStdString()};
    std::vector<log::ContextEntry> recorded[2];
    for (int i = 0; i < 2; ++i)
        if (!paths[i].empty())
            recorded[i] = log::readContextFile(log::contextPathFor(paths[i])).entries;
    const analysis::Ride a{
        analysis::cellChannels(first, analysis::channel(first, value), firstFilter, x, y),
        recorded[0]};
    const analysis::Ride b{
        analysis::cellChannels(log_, analysis::channel(log_, value), secondFilter, x, y),
        recorded[1]};
    out.cells = analysis::rideCells(a, b, std::move(options), today);
    const std::vector<analysis::CalibrationBase> bases =
        calibrationBases ? calibrationBases() : std::vector<analysis::CalibrationBase>{};
    out.firstCalibration = analysis::rideCalibration(
        recorded[0], first.time.empty() ? 0.0 : first.time.front(), paths[0], bases);
    out.secondCalibration =
        analysis::rideCalibration(recorded[1], log_.time.front(), paths[1], bases);
    const analysis::RideCalibration* rides[2] = {&out.firstCalibration, &out.secondCalibration};
    for (int i = 0; i < 2; ++i) {
        const analysis::RideCalibration& c = *rides[i];
        const QString ride =
            text(static_cast<int>(i == 0 ? LogText::FirstRide : LogText::SecondRide));
        const QString file = QString::fromStdString(c.file);
        QString why;
        switch (c.state) {
        case analysis::RideCalibrationState::Earned:
            break;
        case analysis::RideCalibrationState::NoContext:
            why = text(static_cast<int>(LogText::RideCalibrationNone));
            break;
        case analysis::RideCalibrationState::NotFound:
            why = text(static_cast<int>(LogText::RideCalibrationNotFound)).arg(file);
            break;
        case analysis::RideCalibrationState::Changed:
            why = text(static_cast<int>(LogText::RideCalibrationChanged)).arg(file);
            break;
        }
        if (!why.isEmpty()) out.notes << ride + ": " + why;
        if (c.earned() && c.changedDuringRide)
            out.notes << ride + ": " + text(static_cast<int>(LogText::RideCalibrationAtStart));
    }
    out.mapKnown =
        today != nullptr && out.firstCalibration.earned() && out.secondCalibration.earned();
    if (out.mapKnown)
        out.map = analysis::mapDifference(out.firstCalibration.calibration,
                                          out.secondCalibration.calibration, *today);
    return out;
}

void SecondLog::fillMapDifference(QTableWidget* grid, const RideComparison& c) {
    grid->clear();
    grid->setRowCount(c.mapKnown ? analysis::MapSize : 0);
    grid->setColumnCount(c.mapKnown ? analysis::MapSize : 0);
    if (!c.mapKnown) return;
    QStringList columns, rows;
    for (const double v : c.map.points.columns) columns << QString::number(v);
    for (const double v : c.map.points.rows) rows << QString("%1 %").arg(v);
    grid->setHorizontalHeaderLabels(columns);
    grid->setVerticalHeaderLabels(rows);
    for (std::size_t r = 0; r < c.map.points.rows.size(); ++r)
        for (std::size_t col = 0; col < c.map.points.columns.size(); ++col) {
            const double points = c.map.points.cell(r, col).value;
            const double percent = c.map.percent.cell(r, col).value;
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            QString shown = QString::number(points, 'f', 0);
            if (points > 0) shown.prepend('+');
            // Map points fit the grid beside the ride's table; the share is in the tip.
            item->setText(shown);
            if (points != 0 && !std::isnan(percent))
                shown += QString(" (%1%2 %)").arg(percent > 0 ? "+" : "").arg(percent, 0, 'f', 1);
            item->setToolTip(shown);
            // As the map is coloured: richer red, leaner blue.
            const analysis::Rgb bg = analysis::heatColour(
                100 + static_cast<int>(std::lround(std::isnan(percent) ? 0.0 : percent)));
            const analysis::Rgb fg = analysis::textColourOn(bg);
            item->setBackground(QColor(bg.r, bg.g, bg.b));
            item->setForeground(QColor(fg.r, fg.g, fg.b));
            grid->setItem(static_cast<int>(r), static_cast<int>(col), item);
        }
}

void SecondLog::ask() {
    const QString path = QFileDialog::getOpenFileName(
        &viewer_, text(static_cast<int>(LogText::OpenSecondLog)).remove(u'…'), QString(),
        text(static_cast<int>(LogText::LogFilter)));
    if (path.isEmpty()) return;
    const QString title = text(static_cast<int>(LogText::AlignTitle));
    log::LogReadResult r = log::readMlgFile(path.toStdString());
    if (!r.ok || r.data.records() == 0) {
        QString why;
        open(path, {}, &why); // says why in the user's language
        QMessageBox::warning(&viewer_, title, why);
        return;
    }
    log::LogData& second = r.data;
    std::stable_sort(
        second.markers.begin(), second.markers.end(),
        [](const log::LogMarker& a, const log::LogMarker& b) { return a.time < b.time; });
    const log::LogData& first = viewer_.data();

    QDialog dialog(&viewer_);
    dialog.setWindowTitle(title);
    auto* grid = new QGridLayout(&dialog);
    grid->addWidget(new QLabel(text(static_cast<int>(LogText::FirstLog))), 0, 1);
    grid->addWidget(new QLabel(text(static_cast<int>(LogText::SecondLog)) + ": " + fileName(path)),
                    0, 2);
    auto* kinds = new QButtonGroup(&dialog);
    const auto kind = [&](LogText t, int row, int id) {
        auto* b = new QRadioButton(text(static_cast<int>(t)));
        kinds->addButton(b, id);
        grid->addWidget(b, row, 0);
        return b;
    };
    const auto markers = [&](const log::LogData& d) {
        auto* c = new QComboBox;
        for (const log::LogMarker& m : d.markers)
            c->addItem(QString("%1 s  %2").arg(number(m.time, 2), QString::fromStdString(m.text)));
        return c;
    };
    const auto seconds = [&](double value, double low, double high) {
        auto* s = new QDoubleSpinBox;
        s->setDecimals(3);
        s->setRange(low, high);
        s->setValue(value);
        return s;
    };
    kind(LogText::AlignAtMarker, 1, SecondLogAlignment::Marker)
        ->setChecked(!first.markers.empty() && !second.markers.empty());
    QComboBox *firstMarker = markers(first), *secondMarker = markers(second);
    grid->addWidget(firstMarker, 1, 1);
    grid->addWidget(secondMarker, 1, 2);
    kind(LogText::AlignAtTime, 2, SecondLogAlignment::Time)
        ->setChecked(first.markers.empty() || second.markers.empty());
    QDoubleSpinBox* firstTime = seconds(first.time.front(), first.time.front(), first.time.back());
    QDoubleSpinBox* secondTime =
        seconds(second.time.front(), second.time.front(), second.time.back());
    grid->addWidget(firstTime, 2, 1);
    grid->addWidget(secondTime, 2, 2);
    kind(LogText::AlignAtEvent, 3, SecondLogAlignment::Event);
    auto* eventLine = new QHBoxLayout;
    auto* channel = new QComboBox;
    for (const log::LogField& f : first.fields)
        if (second.fieldIndex(f.name) >= 0) channel->addItem(QString::fromStdString(f.name));
    // A speed crossing is what a ride is most often lined up by; Time would cross nothing.
    channel->setCurrentIndex(std::max(0, channel->findText("RPM")));
    auto* direction = new QComboBox;
    direction->addItems(
        {text(static_cast<int>(LogText::Rising)), text(static_cast<int>(LogText::Falling))});
    QDoubleSpinBox* value = seconds(channel->currentText() == "RPM" ? 3000.0 : 0.0, -1e9, 1e9);
    auto* nth = new QSpinBox;
    nth->setRange(1, 1000000);
    eventLine->addWidget(new QLabel(text(static_cast<int>(LogText::TableChannel))));
    eventLine->addWidget(channel);
    eventLine->addWidget(direction);
    eventLine->addWidget(value);
    eventLine->addWidget(new QLabel(text(static_cast<int>(LogText::CrossingNumber))));
    eventLine->addWidget(nth);
    grid->addLayout(eventLine, 4, 0, 1, 3);
    QDoubleSpinBox* firstAfter = seconds(first.time.front(), first.time.front(), first.time.back());
    QDoubleSpinBox* secondAfter =
        seconds(second.time.front(), second.time.front(), second.time.back());
    grid->addWidget(new QLabel(text(static_cast<int>(LogText::AfterTime))), 5, 0);
    grid->addWidget(firstAfter, 5, 1);
    grid->addWidget(secondAfter, 5, 2);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(ok, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(ok, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    grid->addWidget(ok, 6, 0, 1, 3);
    if (dialog.exec() != QDialog::Accepted) return;

    SecondLogAlignment how;
    how.kind = static_cast<SecondLogAlignment::Kind>(kinds->checkedId());
    how.firstMarker = static_cast<std::size_t>(std::max(0, firstMarker->currentIndex()));
    how.secondMarker = static_cast<std::size_t>(std::max(0, secondMarker->currentIndex()));
    // An empty list is no marker at all, never the first one.
    if (firstMarker->count() == 0) how.firstMarker = first.markers.size();
    if (secondMarker->count() == 0) how.secondMarker = second.markers.size();
    how.firstTime = firstTime->value();
    how.secondTime = secondTime->value();
    how.firstEvent = {channel->currentText().toStdString(), value->value(),
                      direction->currentIndex() == 0, static_cast<std::size_t>(nth->value()),
                      firstAfter->value()};
    how.secondEvent = how.firstEvent;
    how.secondEvent.after = secondAfter->value();
    QString message;
    const bool opened = open(path, how, &message);
    if (!message.isEmpty()) {
        if (opened)
            QMessageBox::information(&viewer_, title, message);
        else
            QMessageBox::warning(&viewer_, title, message);
    }
}

} // namespace velmora::ui
