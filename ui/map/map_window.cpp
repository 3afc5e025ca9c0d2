#include "ui/map/map_window.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "analysis/log_samples.h"
#include "analysis/wideband_log.h"
#include "files/settings.h"
#include "lang/history_texts.h"
#include "log/log_context.h"
#include "log/mlg.h"
#include "ui/main_window/form_hlav.h"
#include "ui/main_window/number_text.h"
#include "ui/map/map_workbench.h"

namespace velmora::ui {

using namespace analysis;
using lang::MapText;

namespace {

QColor qcolour(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

// The colour of the live point, the same on the page and in this window.
const QColor LiveColour(200, 0, 200);

} // namespace

MapTable::MapTable(QWidget* parent) : QTableWidget(MapSize + 1, MapSize, parent) {
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed |
                    QAbstractItemView::EditKeyPressed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setDefaultSectionSize(58);
    verticalHeader()->setDefaultSectionSize(26);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

QPointF MapTable::pixelOf(double row, double col) const {
    const double x = columnViewportPosition(0) + (col + 0.5) * columnWidth(0);
    const double y = rowViewportPosition(1) + (row + 0.5) * rowHeight(1);
    return {x, y};
}

QRegion MapTable::drawnRegion() const {
    QRegion r;
    if (!trail_.empty()) {
        QRectF box(pixelOf(trail_.front().row, trail_.front().col), QSizeF(0, 0));
        for (const TrailPoint& p : trail_) {
            const QPointF at = pixelOf(p.row, p.col);
            box = box.united(QRectF(at, QSizeF(0, 0)));
        }
        r += box.adjusted(-4, -4, 4, 4).toAlignedRect();
    }
    if (point_) {
        const QPointF at = pixelOf(point_->x(), point_->y());
        const QPointF topLeft = pixelOf(-0.5, -0.5),
                      bottomRight = pixelOf(MapSize - 0.5, MapSize - 0.5);
        r += QRectF(at.x() - 3, topLeft.y(), 6, bottomRight.y() - topLeft.y()).toAlignedRect();
        r += QRectF(topLeft.x(), at.y() - 3, bottomRight.x() - topLeft.x(), 6).toAlignedRect();
        r += QRectF(at.x() - 9, at.y() - 9, 18, 18).toAlignedRect();
    }
    return r;
}

void MapTable::setLivePoint(std::optional<QPointF> point, double now) {
    // Only what the old and the new drawing cover is painted again.
    QRegion dirty = drawnRegion();
    now_ = now;
    point_ = point;
    if (point) trail_.push_back({now, point->x(), point->y()});
    while (!trail_.empty() && trail_.front().time < now - TrailSeconds) trail_.pop_front();
    dirty += drawnRegion();
    if (!dirty.isEmpty()) viewport()->update(dirty);
}

void MapTable::setLocks(const LockGrid& locks) {
    if (locks == locks_) return;
    locks_ = locks;
    viewport()->update();
}

void MapTable::paintEvent(QPaintEvent* event) {
    QTableWidget::paintEvent(event);
    QPainter p(viewport());
    // A small padlock in the top left corner of each locked cell.
    for (int r = 0; r < MapSize; ++r) {
        for (int c = 0; c < MapSize; ++c) {
            if (!locks_[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]) continue;
            const QRect cell = visualItemRect(item(r + 1, c));
            const QRect body(cell.left() + 3, cell.top() + 8, 9, 7);
            p.setPen(QPen(QColor(60, 60, 60), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRect(body.left() + 1, body.top() - 5, 7, 10), 0, 180 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(60, 60, 60));
            p.drawRect(body);
        }
    }
    if (trail_.empty() && !point_) return;
    p.setRenderHint(QPainter::Antialiasing);
    // Older parts of the trail fade out.
    for (std::size_t i = 1; i < trail_.size(); ++i) {
        const TrailPoint& a = trail_[i - 1];
        const TrailPoint& b = trail_[i];
        const double age = std::clamp((now_ - b.time) / TrailSeconds, 0.0, 1.0);
        QColor c(40, 40, 160);
        c.setAlphaF(static_cast<float>(0.9 * (1.0 - age)));
        p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(pixelOf(a.row, a.col), pixelOf(b.row, b.col));
    }
    if (!point_) return;
    const QPointF at = pixelOf(point_->x(), point_->y());
    const QPointF topLeft = pixelOf(-0.5, -0.5),
                  bottomRight = pixelOf(MapSize - 0.5, MapSize - 0.5);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(LiveColour, 2));
    p.drawLine(QPointF(at.x(), topLeft.y()), QPointF(at.x(), bottomRight.y()));
    p.drawLine(QPointF(topLeft.x(), at.y()), QPointF(bottomRight.x(), at.y()));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(at, 7, 7);
}

void MapTable::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        emit copyPressed();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        emit pastePressed();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Plus:
        emit stepPressed(1);
        return;
    case Qt::Key_Minus:
        emit stepPressed(-1);
        return;
    case Qt::Key_Asterisk:
        emit scalePressed();
        return;
    default:
        QTableWidget::keyPressEvent(event);
    }
}

MapWindow::MapWindow(MapWorkbench& workbench, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(workbench) {
    setObjectName("MapWindow");
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    showLabel_ = new QLabel(this);
    overlays_ = new QComboBox(this);
    overlays_->setObjectName("MapOverlay");
    summary_ = new QLabel(this);
    summary_->setObjectName("MapSummary");
    top->addWidget(showLabel_);
    top->addWidget(overlays_);
    top->addWidget(summary_, 1);
    layout->addLayout(top);

    auto* middle = new QHBoxLayout;
    table_ = new MapTable(this);
    table_->setObjectName("MapTable");
    for (int r = 0; r <= MapSize; ++r)
        for (int c = 0; c < MapSize; ++c) table_->setItem(r, c, new QTableWidgetItem);
    table_->verticalHeader()->setFixedWidth(52);
    table_->setFixedSize(52 + 10 * 58 + 2 * table_->frameWidth(),
                         table_->horizontalHeader()->sizeHint().height() + 11 * 26 +
                             2 * table_->frameWidth());
    middle->addWidget(table_, 1);
    auto* side = new QVBoxLayout;
    const std::pair<const char*, MapText> buttons[] = {
        {"MapAdd", MapText::AddButton},
        {"MapScale", MapText::ScaleButton},
        {"MapInterpolateAcross", MapText::InterpolateAcross},
        {"MapInterpolateDown", MapText::InterpolateDown},
        {"MapInterpolateCorners", MapText::InterpolateCorners},
        {"MapSmooth", MapText::Smooth},
        {"MapCopy", MapText::Copy},
        {"MapPaste", MapText::Paste},
        {"MapLoadLog", MapText::LoadLog},
        {"MapResetStatistics", MapText::ResetStatistics},
        {"MapApplySuggestions", MapText::ApplySuggestions},
        {"MapLock", MapText::LockButton},
        {"MapApplyWideband", MapText::ApplyWideband},
        {"MapNewSession", MapText::NewSession},
    };
    for (const auto& [name, t] : buttons) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        b->setFocusPolicy(Qt::NoFocus); // the keys stay with the table
        side->addWidget(b);
        buttons_.push_back({b, t});
    }
    // The wide-band correction's bounds, kept in the settings file.
    const CorrectionSettings limits = wb_.widebandSettings();
    const std::tuple<const char*, MapText, QSpinBox**, int, int, double> spins[] = {
        {"MapWidebandStep", MapText::WidebandStepLabel, &maxStep_, 1, 20, limits.maxStepPercent},
        {"MapWidebandTotal", MapText::WidebandTotalLabel, &maxTotal_, 1, 50,
         limits.maxTotalPercent},
        {"MapWidebandMinSamples", MapText::WidebandMinLabel, &minSamples_, 1, 1000,
         limits.minSamples},
    };
    for (const auto& [name, caption, box, lo, hi, value] : spins) {
        auto* row = new QHBoxLayout;
        auto* label = new QLabel(this);
        *box = new QSpinBox(this);
        (*box)->setObjectName(name);
        (*box)->setRange(lo, hi);
        (*box)->setValue(static_cast<int>(std::lround(value)));
        label->setBuddy(*box);
        row->addWidget(label, 1);
        row->addWidget(*box);
        side->addLayout(row);
        limitLabels_.push_back({label, caption});
        connect(*box, &QSpinBox::valueChanged, this, [this] {
            wb_.setWidebandLimits(maxStep_->value(), maxTotal_->value(), minSamples_->value());
        });
    }
    side->addStretch(1);
    middle->addLayout(side);
    layout->addLayout(middle, 1);

    message_ = new QLabel(this);
    message_->setObjectName("MapMessage");
    message_->setWordWrap(true);
    layout->addWidget(message_);
    helper_ = new QLabel(this);
    helper_->setObjectName("MapHelperText");
    helper_->setWordWrap(true);
    layout->addWidget(helper_);
    widebandSummary_ = new QLabel(this);
    widebandSummary_->setObjectName("MapWidebandSummary");
    widebandSummary_->setWordWrap(true);
    layout->addWidget(widebandSummary_);
    delay_ = new QLabel(this);
    delay_->setObjectName("MapWidebandDelay");
    layout->addWidget(delay_);

    connect(button(MapText::AddButton), &QPushButton::clicked, this, &MapWindow::addToSelection);
    connect(button(MapText::ScaleButton), &QPushButton::clicked, this, &MapWindow::scaleSelection);
    connect(button(MapText::InterpolateAcross), &QPushButton::clicked, this,
            [this] { interpolate(Interpolation::Horizontal); });
    connect(button(MapText::InterpolateDown), &QPushButton::clicked, this,
            [this] { interpolate(Interpolation::Vertical); });
    connect(button(MapText::InterpolateCorners), &QPushButton::clicked, this,
            [this] { interpolate(Interpolation::Bilinear); });
    connect(button(MapText::Smooth), &QPushButton::clicked, this, &MapWindow::smooth);
    connect(button(MapText::Copy), &QPushButton::clicked, this, &MapWindow::copy);
    connect(button(MapText::Paste), &QPushButton::clicked, this, &MapWindow::paste);
    connect(button(MapText::LoadLog), &QPushButton::clicked, this, &MapWindow::loadLog);
    connect(button(MapText::ResetStatistics), &QPushButton::clicked, this,
            &MapWindow::resetStatistics);
    connect(button(MapText::ApplySuggestions), &QPushButton::clicked, this,
            &MapWindow::applySuggestions);
    connect(button(MapText::LockButton), &QPushButton::clicked, this, &MapWindow::toggleLock);
    connect(button(MapText::ApplyWideband), &QPushButton::clicked, this, &MapWindow::applyWideband);
    connect(button(MapText::NewSession), &QPushButton::clicked, this, &MapWindow::newSession);
    connect(table_, &MapTable::stepPressed, this, &MapWindow::stepSelection);
    connect(table_, &MapTable::scalePressed, this, &MapWindow::scaleSelection);
    connect(table_, &MapTable::copyPressed, this, &MapWindow::copy);
    connect(table_, &MapTable::pastePressed, this, &MapWindow::paste);
    connect(table_, &QTableWidget::itemChanged, this, &MapWindow::itemEdited);
    connect(overlays_, &QComboBox::activated, this,
            [this](int i) { setOverlay(static_cast<Overlay>(i)); });

    askNumber = [this](const QString& prompt, double initial) -> std::optional<double> {
        bool ok = false;
        const double v =
            QInputDialog::getDouble(this, windowTitle(), prompt, initial, -1000, 1000, 1, &ok);
        if (!ok) return std::nullopt;
        return v;
    };

    askLogPath = [this] {
        return QFileDialog::getOpenFileName(this, text(MapText::LoadLog).remove("..."),
                                            QString::fromStdString(dataFolder("logs")),
                                            "MLG (*.mlg);;* (*)");
    };
    // The overlays of the live statistics follow them twice a second.
    statsTimer_ = new QTimer(this);
    statsTimer_->setInterval(500);
    connect(statsTimer_, &QTimer::timeout, this, &MapWindow::refreshIfStatisticsChanged);
    statsTimer_->start();

    retranslate();
    refresh();
    table_->setCurrentCell(1, 0);
    resize(sizeHint());
}

QString MapWindow::text(MapText t) const {
    return wb_.text(t);
}

void MapWindow::retranslate() {
    setWindowTitle(text(MapText::WindowTitle));
    showLabel_->setText(text(MapText::ShowLabel));
    const int current = overlays_->currentIndex();
    overlays_->clear();
    for (MapText t : {MapText::OverlayValues, MapText::OverlayHits, MapText::OverlayLambda,
                      MapText::OverlayBalance, MapText::OverlaySuggestions, MapText::OverlayTargets,
                      MapText::OverlayWideband})
        overlays_->addItem(text(t));
    overlays_->setCurrentIndex(current < 0 ? 0 : current);
    for (const auto& [b, t] : buttons_) b->setText(text(t));
    for (const auto& [l, t] : limitLabels_) l->setText(text(t));
    QStringList rows{text(MapText::AxisRowLabel)};
    for (int tps : ThrottleAxis) rows << QString("%1 %").arg(tps);
    table_->setVerticalHeaderLabels(rows);
    const StatsSettings st = wb_.statsSettings();
    helper_->setText(text(MapText::HelperAssumptions)
                         .arg(st.switchPointMv)
                         .arg(st.minSamples)
                         .arg(st.maxStepPercent));
    refresh();
}

Selection MapWindow::selection() const {
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    if (ranges.isEmpty()) return {0, 0, -1, -1};
    const QTableWidgetSelectionRange& r = ranges.first();
    Selection s{std::max(r.topRow(), 1) - 1, r.leftColumn(), r.bottomRow() - 1, r.rightColumn()};
    if (r.bottomRow() < 1) return {0, 0, -1, -1};
    return s;
}

void MapWindow::select(const Selection& s) {
    table_->clearSelection();
    table_->setCurrentCell(s.top + 1, s.left, QItemSelectionModel::NoUpdate);
    table_->setRangeSelected(QTableWidgetSelectionRange(s.top + 1, s.left, s.bottom + 1, s.right),
                             true);
}

void MapWindow::setOverlay(Overlay o) {
    overlay_ = o;
    overlays_->setCurrentIndex(static_cast<int>(o));
    refresh();
}

QString MapWindow::message() const {
    return message_->text();
}

void MapWindow::say(const QString& t, bool error) {
    message_->setText(t);
    QPalette pal = message_->palette();
    pal.setColor(QPalette::WindowText,
                 error ? QColor(200, 0, 0) : palette().color(QPalette::WindowText));
    message_->setPalette(pal);
}

void MapWindow::refuse(const EditResult& r) {
    QString t;
    switch (r.error) {
    case EditError::None:
        return;
    case EditError::NotANumber:
    case EditError::NotWhole:
    case EditError::OutOfRange: {
        const MapText m = r.error == EditError::NotANumber ? MapText::NotANumber
                          : r.error == EditError::NotWhole ? MapText::NotWhole
                                                           : MapText::OutOfRange;
        t = text(m).arg(r.row + 1).arg(r.col + 1).arg(QString::fromStdString(r.field));
        break;
    }
    case EditError::RaggedRows:
        t = text(MapText::RaggedRows).arg(r.row + 1).arg(r.col);
        break;
    case EditError::TooLarge:
        t = text(MapText::TooLarge);
        break;
    case EditError::Empty:
        t = text(MapText::Empty);
        break;
    case EditError::AxisNotRising:
        t = text(MapText::AxisNotRising);
        break;
    case EditError::SelectionTooSmall:
        t = text(MapText::SelectionTooSmall);
        break;
    case EditError::BadSelection:
        t = text(MapText::BadSelection);
        break;
    }
    say(t, true);
}

namespace {
std::string signedText(int delta) {
    return (delta > 0 ? "+" : "") + std::to_string(delta);
}
} // namespace

void MapWindow::run(const std::function<EditResult(MapGrid&, const Selection&)>& op,
                    lang::HistoryText step, const std::string& operand) {
    const Selection s = selection();
    if (!s.valid()) {
        refuse({EditError::BadSelection, -1, -1, {}});
        return;
    }
    MapGrid g = wb_.currentGrid();
    const EditResult r = op(g, s);
    if (!r.ok()) {
        refuse(r);
        return;
    }
    say({}, false);
    wb_.apply(g, Change::command(step, s.rows() * s.cols(), operand));
}

void MapWindow::stepSelection(int delta) {
    run([delta](MapGrid& g, const Selection& s) { return addToCells(g, s, delta); },
        lang::HistoryText::StepAddCells, signedText(delta));
}

void MapWindow::addToSelection() {
    const auto n = askNumber ? askNumber(text(MapText::AddPrompt), 1) : std::nullopt;
    if (!n) return;
    const int delta = static_cast<int>(std::lround(*n));
    run([delta](MapGrid& g, const Selection& s) { return addToCells(g, s, delta); },
        lang::HistoryText::StepAddCells, signedText(delta));
}

void MapWindow::scaleSelection() {
    const auto n = askNumber ? askNumber(text(MapText::ScalePrompt), 100) : std::nullopt;
    if (!n) return;
    const double percent = *n;
    run([percent](MapGrid& g, const Selection& s) { return scaleCells(g, s, percent); },
        lang::HistoryText::StepScaleCells, QString::number(percent).toStdString());
}

void MapWindow::interpolate(Interpolation how) {
    const lang::HistoryText step =
        how == Interpolation::Horizontal ? lang::HistoryText::StepInterpolateAcross
        : how == Interpolation::Vertical ? lang::HistoryText::StepInterpolateDown
                                         : lang::HistoryText::StepInterpolateCorners;
    run([how](MapGrid& g, const Selection& s) { return interpolateCells(g, s, how); }, step);
}

void MapWindow::smooth() {
    run([](MapGrid& g, const Selection& s) { return smoothCells(g, s); },
        lang::HistoryText::StepSmooth);
}

void MapWindow::copy() {
    if (overlay_ == Overlay::TargetLambda) {
        QApplication::clipboard()->setText(
            QString::fromStdString(formatTargets(wb_.targetSide().targets)));
        return;
    }
    const Selection s = selection();
    if (!s.valid()) return refuse({EditError::BadSelection, -1, -1, {}});
    QApplication::clipboard()->setText(QString::fromStdString(copyText(wb_.currentGrid(), s)));
}

void MapWindow::paste() {
    pasteText(QApplication::clipboard()->text());
}

void MapWindow::pasteText(const QString& t) {
    if (overlay_ == Overlay::TargetLambda) return pasteTargets(t);
    // Far too long text is refused before it is converted.
    const PastedBlock block = parsePaste(t.size() > static_cast<qsizetype>(MaxPasteBytes)
                                             ? std::string(MaxPasteBytes + 1, ' ')
                                             : t.toStdString());
    if (!block.result.ok()) return refuse(block.result);
    Selection s = selection();
    if (!s.valid()) s = {0, 0, 0, 0};
    MapGrid g = wb_.currentGrid();
    const Selection changed = pasteBlock(g, block, s.top, s.left);
    wb_.apply(g, Change::command(lang::HistoryText::StepPaste, changed.rows() * changed.cols(),
                                 std::to_string(changed.rows()) + " × " +
                                     std::to_string(changed.cols())));
    select(changed);
    say(text(MapText::Pasted).arg(changed.rows()).arg(changed.cols()), false);
}

const MapStatistics& MapWindow::shownStatistics() const {
    return logStats_ != nullptr ? *logStats_ : wb_.liveStatistics();
}

void MapWindow::showStatistics(MapStatistics* fromLog, const QString& source) {
    logStats_ = fromLog;
    logSource_ = source;
    refresh();
}

void MapWindow::applySuggestions() {
    MapStatistics& stats = logStats_ != nullptr ? *logStats_ : wb_.liveStatistics();
    if (!stats.hasUnusedSamples()) return say(text(MapText::SuggestionsUsed), false);
    MapGrid g = wb_.currentGrid();
    const SuggestionGrid sug = suggest(stats.unusedCells(), g.cells, wb_.statsSettings());
    int changed = 0;
    for (int r = 0; r < MapSize; ++r) {
        for (int c = 0; c < MapSize; ++c) {
            const CellSuggestion& s = sug[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            if ((s.kind == Suggestion::MoreFuel || s.kind == Suggestion::LessFuel) &&
                s.value != g.at(r, c)) {
                g.at(r, c) = static_cast<std::uint8_t>(s.value);
                ++changed;
            }
        }
    }
    if (changed == 0) return say(text(MapText::NoSuggestions), false);
    // The samples describe the map before this change: they never move a cell again.
    stats.markUsed();
    if (logStats_ != nullptr) usedLogs_.insert(logKey_);
    wb_.apply(g, Change::command(lang::HistoryText::StepSuggestions, changed));
    say(text(MapText::SuggestionsApplied).arg(changed), false);
    refresh();
}

void MapWindow::loadLog() {
    const QString path = askLogPath ? askLogPath() : QString();
    if (!path.isEmpty()) loadLogFile(path);
}

bool MapWindow::loadLogFile(const QString& path) {
    const log::LogReadResult read = log::readMlgFile(QFile::encodeName(path).toStdString());
    if (!read.ok) {
        say(text(MapText::LogUnreadable)
                .arg(QFileInfo(path).fileName(), QString::fromStdString(read.error)),
            true);
        return false;
    }
    return analyseLog(read.data, path);
}

bool MapWindow::analyseLog(const log::LogData& data, const QString& path, const LogRange& range) {
    QString name = QFileInfo(path).fileName();
    const std::vector<log::ContextEntry> recorded =
        path.isEmpty()
            ? std::vector<log::ContextEntry>{}
            : log::readContextFile(log::contextPathFor(QFile::encodeName(path).toStdString()))
                  .entries;
    auto stats = std::make_unique<MapStatistics>(wb_.statsSettings());
    const LogAnalysis a = velmora::analysis::analyseLog(
        data, *stats, rpmAxis(wb_.form().calibration()), range, recorded);
    if (!a.ok()) {
        QStringList missing;
        for (const std::string& m : a.missing) missing << QString::fromStdString(m);
        say(text(MapText::LogMissingChannels).arg(name, missing.join(", ")), true);
        return false;
    }
    const bool part = std::isfinite(range.from) || std::isfinite(range.to);
    const double first = data.records() > 0 ? data.time.front() : 0.0;
    const double last = data.records() > 0 ? data.time.back() : 0.0;
    if (part)
        name = text(MapText::LogRangeSource)
                   .arg(name, QString::number(std::max(range.from, first), 'f', 1),
                        QString::number(std::min(range.to, last), 'f', 1));
    // A log (or the same stretch of it) whose suggestions were applied in this session stays
    // used when it is analysed again.
    const QFileInfo info(path);
    logKey_ = info.canonicalFilePath() + '\n' + QString::number(info.size()) + '\n' +
              QString::number(info.lastModified().toMSecsSinceEpoch()) + '\n' +
              QString::number(range.from) + '\n' + QString::number(range.to);
    if (usedLogs_.contains(logKey_)) stats->markUsed();
    loadedStats_ = std::move(stats);
    auto wide = std::make_unique<WidebandCorrection>(wb_.widebandSettings());
    if (addWidebandLog(data, *wide, rpmAxis(wb_.form().calibration()), range, recorded)) {
        if (widebandUsedLogs_.contains(logKey_)) wide->markUsed();
        loadedWideband_ = std::move(wide);
    } else {
        loadedWideband_.reset();
    }
    showStatistics(loadedStats_.get(), name);
    QString said =
        text(MapText::LogAnalysed).arg(name).arg(a.records).arg(loadedStats_->samplesCounted());
    if (!a.recordedAxis)
        said += ' ' + text(MapText::AxisNotRecorded);
    else if (a.axisDiffers)
        said += ' ' + text(MapText::AxisDiffers);
    say(said, false);
    return true;
}

void MapWindow::resetStatistics() {
    wb_.liveStatistics().reset();
    logStats_ = nullptr;
    loadedStats_.reset();
    loadedWideband_.reset();
    logSource_.clear();
    refresh();
}

void MapWindow::refreshIfStatisticsChanged() {
    if (logStats_ != nullptr || wb_.liveStatistics().samplesSeen() == shownSeen_) return;
    // New samples alone bring the wide-band figures up to date only when they are due.
    timedRefresh_ = true;
    if (overlay_ != Overlay::Values) {
        refresh();
    } else {
        shownSeen_ = wb_.liveStatistics().samplesSeen();
        showSummary();
    }
    timedRefresh_ = false;
}

void MapWindow::updateWideband() {
    WidebandCorrection& wide = shownCorrection();
    const bool shown = wide.samplesSeen() > 0 || overlay_ == Overlay::Wideband;
    if (!shown) return;
    // The figures cover every reading of the session, so they cost more as it goes on: while
    // samples stream in they are brought up to date at most every tenth of the time.
    if (timedRefresh_ && wideAge_.isValid() &&
        wideAge_.elapsed() < std::max<qint64>(WidebandIntervalMs, 10 * wideCostMs_))
        return;
    QElapsedTimer cost;
    cost.start();
    analysis::Exclusions why;
    preview_ = widebandPreview(&why);
    wideSummaryText_ = widebandSummary(preview_, why);
    delayText_ = wide.samplesSeen() > 0 ? delayText() : QString();
    wideCostMs_ = cost.elapsed();
    wideAge_.start();
}

QString MapWindow::cellText(int r, int c, const MapGrid& g, const SuggestionGrid& sug) const {
    const CellStats& cs = shownStatistics().cell(r, c);
    const CellSuggestion& s = sug[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    switch (overlay_) {
    case Overlay::Values:
        return QString::number(g.at(r, c));
    case Overlay::Hits:
        return cs.samples > 0 ? QString::number(cs.seconds, 'f', 1) : QString();
    case Overlay::Lambda:
        return cs.samples > 0 ? QString::number(std::lround(cs.meanLambda())) : QString();
    case Overlay::Balance:
        return cs.samples > 0
                   ? QString::number(std::lround(100 * (cs.richShare() - cs.leanShare())))
                   : QString();
    case Overlay::Suggestions:
        switch (s.kind) {
        case Suggestion::None:
            return {};
        case Suggestion::Balanced:
            return "=";
        case Suggestion::NeedsWideBand:
            return "WB";
        case Suggestion::MoreFuel:
        case Suggestion::LessFuel:
            return QString("%1%2 > %3")
                .arg(s.percent > 0 ? "+" : "")
                .arg(s.percent, 0, 'f', 1)
                .arg(s.value);
        }
        return {};
    case Overlay::TargetLambda:
        return QString::number(
            wb_.targetSide().targets[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)], 'f',
            2);
    case Overlay::Wideband:
        return {}; // showWideband fills these
    }
    return {};
}

void MapWindow::refresh() {
    if (refreshing_) return;
    refreshing_ = true;
    const MapStatistics& stats = shownStatistics();
    shownSeen_ = wb_.liveStatistics().samplesSeen();
    const MapGrid g = gridOf(wb_.form().calibration());
    const SuggestionGrid sug = suggest(stats.unusedCells(), g.cells, wb_.statsSettings());
    const QSignalBlocker block(table_);
    const QColor axisColour = palette().color(QPalette::AlternateBase);
    for (int c = 0; c < MapSize; ++c) {
        QTableWidgetItem* it = table_->item(0, c);
        it->setText(QString::number(g.rpms[static_cast<std::size_t>(c)]));
        it->setBackground(axisColour);
        it->setTextAlignment(Qt::AlignCenter);
        QFont f = table_->font();
        f.setBold(true);
        it->setFont(f);
    }
    double maxSeconds = 0;
    for (int r = 0; r < MapSize; ++r)
        for (int c = 0; c < MapSize; ++c)
            maxSeconds = std::max(maxSeconds, stats.cell(r, c).seconds);
    for (int r = 0; r < MapSize; ++r) {
        for (int c = 0; c < MapSize; ++c) {
            QTableWidgetItem* it = table_->item(r + 1, c);
            const CellStats& cs = stats.cell(r, c);
            const CellSuggestion& s = sug[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            Rgb bg{255, 255, 255};
            switch (overlay_) {
            case Overlay::Values:
                bg = heatColour(g.at(r, c));
                break;
            case Overlay::Hits: {
                const int shade = maxSeconds > 0
                                      ? static_cast<int>(std::lround(150 * cs.seconds / maxSeconds))
                                      : 0;
                bg = {static_cast<std::uint8_t>(255 - shade),
                      static_cast<std::uint8_t>(255 - shade), 255};
                break;
            }
            case Overlay::Lambda:
                if (cs.samples > 0)
                    bg = heatColour(
                        100 + static_cast<int>(std::lround(
                                  (cs.meanLambda() - wb_.statsSettings().switchPointMv) / 10.0)));
                break;
            case Overlay::Balance:
                if (cs.samples > 0)
                    bg = heatColour(100 + static_cast<int>(std::lround(
                                              HeatSpan * (cs.richShare() - cs.leanShare()))));
                break;
            case Overlay::Suggestions:
                if (s.kind == Suggestion::MoreFuel || s.kind == Suggestion::LessFuel)
                    bg = heatColour(100 + static_cast<int>(std::lround(s.percent * 8)));
                else if (s.kind == Suggestion::NeedsWideBand)
                    bg = {225, 225, 225};
                break;
            case Overlay::TargetLambda:
                // Richer targets warmer, as the map's larger values.
                bg = heatColour(100 +
                                static_cast<int>(std::lround(
                                    200 * (1.0 - wb_.targetSide().targets[static_cast<std::size_t>(
                                                     r)][static_cast<std::size_t>(c)]))));
                break;
            case Overlay::Wideband:
                break;
            }
            it->setText(cellText(r, c, g, sug));
            it->setBackground(qcolour(bg));
            it->setForeground(qcolour(textColourOn(bg)));
            it->setTextAlignment(Qt::AlignCenter);
            it->setToolTip(s.kind == Suggestion::NeedsWideBand && overlay_ == Overlay::Suggestions
                               ? text(MapText::NeedsWideBand)
                               : QString());
            Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
            if (overlay_ == Overlay::Values || overlay_ == Overlay::TargetLambda)
                flags |= Qt::ItemIsEditable;
            it->setFlags(flags);
        }
    }
    table_->setLocks(wb_.targetSide().locks);
    updateWideband();
    if (overlay_ == Overlay::Wideband) showWideband(preview_);
    showSummary();
    refreshing_ = false;
}

QPushButton* MapWindow::button(MapText caption) const {
    for (const auto& [b, t] : buttons_) {
        if (t == caption) return b;
    }
    return nullptr;
}

void MapWindow::showSummary() {
    const MapStatistics& stats = shownStatistics();
    button(MapText::ApplySuggestions)->setEnabled(stats.hasUnusedSamples());
    QString summary =
        text(MapText::StatisticsSummary).arg(stats.samplesSeen()).arg(stats.samplesCounted());
    if (!logSource_.isEmpty()) summary = logSource_ + ": " + summary;
    summary_->setText(summary);
    const WidebandCorrection& wide = shownCorrection();
    button(MapText::ApplyWideband)->setEnabled(wide.hasUnusedReadings());
    // Without wide-band readings the narrow-band helper is all there is: nothing more to say
    // unless an overlay of the correction is shown.
    const bool wideShown = wide.samplesSeen() > 0 || overlay_ == Overlay::Wideband ||
                           overlay_ == Overlay::TargetLambda;
    if (wideShown && !refreshing_) updateWideband(); // refresh() brought it up to date
    widebandSummary_->setVisible(wideShown);
    delay_->setVisible(wideShown && wide.samplesSeen() > 0);
    widebandSummary_->setText(wide.samplesSeen() > 0 ? wideSummaryText_
                                                     : text(MapText::NoWideband));
    delay_->setText(delayText_);
}

void MapWindow::itemEdited(QTableWidgetItem* item) {
    if (refreshing_) return;
    if (overlay_ == Overlay::TargetLambda) return editTarget(item);
    // Only what was typed reaches the map: a decimal is refused, never rounded or read without
    // its separator. The speed row takes digit grouping as the page writes it ("5,000").
    const QString typedText = item->text().trimmed();
    const int col = item->column();
    if (item->row() == 0) {
        const std::optional<int> typed = parsePosition(typedText, true, 0, 100000);
        MapGrid g = wb_.currentGrid();
        const auto at = [&](int c) { return g.rpms[static_cast<std::size_t>(c)]; };
        const int lo = col > 0 ? at(col - 1) : 200;
        const int hi = col + 1 < MapSize ? at(col + 1) : 20200;
        if (typed && *typed % 100 != 0) {
            say(text(MapText::AxisWholeHundreds).arg(item->text()), true);
            refresh();
            return;
        }
        if (!typed || *typed <= lo || *typed >= hi) {
            say(text(MapText::AxisPointBetween).arg(item->text()).arg(lo).arg(hi), true);
            refresh();
            return;
        }
        g.rpms[static_cast<std::size_t>(col)] = *typed;
        say({}, false);
        wb_.apply(g, Change::of(velmora::at(RPM_JET_0, col)));
        return;
    }
    static const QRegularExpression whole("^[0-9]{1,3}$");
    const int typed = typedText.toInt();
    if (!whole.match(typedText).hasMatch() || typed < CellMin || typed > CellMax) {
        say(text(MapText::TypeCellValue).arg(item->text()), true);
        refresh();
        return;
    }
    // A number typed into a selected block goes into every cell of it.
    Selection s = selection();
    const int row = item->row() - 1;
    if (!s.valid() || row < s.top || row > s.bottom || col < s.left || col > s.right)
        s = {row, col, row, col};
    MapGrid g = wb_.currentGrid();
    setCells(g, s, typed);
    say({}, false);
    wb_.apply(g, s.rows() * s.cols() == 1
                     ? Change::of(jetCell(s.top, s.left))
                     : Change::command(lang::HistoryText::StepSetCells, s.rows() * s.cols(),
                                       std::to_string(typed)));
}

WidebandCorrection& MapWindow::shownCorrection() {
    // The bounds and the calibration's acceleration threshold as they stand.
    const CorrectionSettings now = wb_.widebandSettings();
    if (!loadedWideband_) return wb_.widebandCorrection();
    const CorrectionSettings& had = loadedWideband_->settings();
    if (had.maxStepPercent != now.maxStepPercent || had.maxTotalPercent != now.maxTotalPercent ||
        had.minSamples != now.minSamples || had.accelerationThreshold != now.accelerationThreshold)
        loadedWideband_->setSettings(now);
    return *loadedWideband_;
}

CorrectionGrid MapWindow::widebandPreview(analysis::Exclusions* why) {
    const MapCells present = gridOf(wb_.form().calibration()).cells;
    return shownCorrection().suggest(present, wb_.sessionStart(), wb_.targetSide().targets,
                                     wb_.targetSide().locks, why);
}

QString MapWindow::widebandCellText(const CellCorrection& c) const {
    switch (c.reason) {
    case CellReason::Suggested: // the new value first: three digits leave little room
        return QString("%1 %2%3")
            .arg(c.value)
            .arg(c.percent > 0 ? "+" : "")
            .arg(c.percent, 0, 'f', 1);
    case CellReason::OnTarget:
        return "=";
    case CellReason::Locked:
        return text(MapText::ReasonLocked);
    case CellReason::NoSamples:
        return {};
    case CellReason::FewSamples:
        return QString("%1/%2")
            .arg(std::lround(std::floor(c.samples)))
            .arg(std::lround(wb_.widebandSettings().minSamples));
    case CellReason::AtLimit:
        return text(MapText::ReasonAtLimit);
    case CellReason::Between:
        return text(MapText::ReasonBetween);
    }
    return {};
}

QString MapWindow::widebandToolTip(const CellCorrection& c) const {
    const CorrectionSettings& st = wb_.widebandCorrection().settings(); // the bounds in force
    QString why;
    switch (c.reason) {
    case CellReason::Suggested:
        why = text(MapText::ReasonSuggested)
                  .arg(c.value)
                  .arg(QString("%1%2").arg(c.percent > 0 ? "+" : "").arg(c.percent, 0, 'f', 1));
        break;
    case CellReason::OnTarget:
        why = text(MapText::ReasonOnTarget);
        break;
    case CellReason::Locked:
        why = text(MapText::ReasonLockedLong);
        break;
    case CellReason::NoSamples:
        why = text(MapText::ReasonNoSamples);
        break;
    case CellReason::FewSamples:
        why = text(MapText::ReasonFewSamples)
                  .arg(c.samples, 0, 'f', 1)
                  .arg(std::lround(st.minSamples));
        break;
    case CellReason::AtLimit:
        why = text(MapText::ReasonAtLimitLong).arg(st.maxTotalPercent, 0, 'f', 0);
        break;
    case CellReason::Between:
        why = text(MapText::ReasonBetweenLong).arg(c.samples / c.readings, 0, 'f', 2);
        break;
    }
    if (c.readings > 0)
        why += '\n' + text(MapText::CellFigures)
                          .arg(c.samples, 0, 'f', 1)
                          .arg(c.readings)
                          .arg(c.medianLambda, 0, 'f', 3)
                          .arg(c.spreadPercent, 0, 'f', 1);
    return why;
}

Rgb MapWindow::widebandColour(const CellCorrection& c) const {
    switch (c.reason) {
    case CellReason::Suggested:
        return heatColour(100 + static_cast<int>(std::lround(c.percent * 8)));
    case CellReason::OnTarget:
        return {210, 240, 210};
    case CellReason::Locked:
        return {200, 200, 200};
    case CellReason::FewSamples:
    case CellReason::Between:
        return {235, 235, 245};
    case CellReason::AtLimit:
        return {250, 215, 170};
    case CellReason::NoSamples:
        break;
    }
    return {255, 255, 255};
}

void MapWindow::showWideband(const CorrectionGrid& grid) {
    const QSignalBlocker block(table_);
    for (int r = 0; r < MapSize; ++r) {
        for (int c = 0; c < MapSize; ++c) {
            const CellCorrection& cc =
                grid[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            QTableWidgetItem* it = table_->item(r + 1, c);
            const Rgb bg = widebandColour(cc);
            it->setText(widebandCellText(cc));
            it->setBackground(qcolour(bg));
            it->setForeground(qcolour(textColourOn(bg)));
            it->setToolTip(widebandToolTip(cc));
        }
    }
}

QString MapWindow::widebandSummary(const CorrectionGrid& grid, const Exclusions& e) {
    const WidebandCorrection& wide = shownCorrection();
    if (wide.samplesSeen() == 0) return text(MapText::NoWideband);
    int suggested = 0;
    for (const auto& row : grid)
        for (const CellCorrection& c : row) suggested += c.reason == CellReason::Suggested;
    return text(MapText::WidebandSummary)
        .arg(e.readings)
        .arg(e.used)
        .arg(e.noLambda)
        .arg(e.fuelCut)
        .arg(e.transient)
        .arg(e.cold)
        .arg(e.limiter)
        .arg(e.offMap)
        .arg(suggested);
}

QString MapWindow::delayText() {
    const WidebandCorrection& wide = shownCorrection();
    QStringList bands;
    for (const DelayBand& b : wide.delays()) {
        const double seconds = b.seconds ? *b.seconds : wide.delayAt(b.atRpm);
        QString one = QString("%1 ms @%2").arg(std::lround(seconds * 1000)).arg(b.atRpm);
        if (!b.seconds) one += " (" + text(MapText::DelayAssumed) + ")";
        bands << one;
    }
    return text(MapText::DelayLine).arg(bands.join(", "));
}

void MapWindow::applyWideband() {
    WidebandCorrection& wide = shownCorrection();
    if (wide.samplesSeen() == 0) return say(text(MapText::NoWideband), false);
    if (!wide.hasUnusedReadings()) return say(text(MapText::WidebandUsed), false);
    MapGrid g = wb_.currentGrid();
    const CorrectionGrid grid =
        wide.suggest(g.cells, wb_.sessionStart(), wb_.targetSide().targets, wb_.targetSide().locks);
    int changed = 0;
    for (int r = 0; r < MapSize; ++r) {
        for (int c = 0; c < MapSize; ++c) {
            const CellCorrection& cc =
                grid[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            if (cc.reason != CellReason::Suggested) continue; // locked cells have none
            const int value = std::clamp(cc.value, CellMin, CellMax);
            if (value == g.at(r, c)) continue;
            g.at(r, c) = static_cast<std::uint8_t>(value);
            ++changed;
        }
    }
    if (changed == 0) return say(text(MapText::NoWidebandSuggestions), false);
    // The readings describe the map before this change: they never move a cell again.
    wide.markUsed();
    if (loadedWideband_) widebandUsedLogs_.insert(logKey_);
    wb_.apply(g, Change::command(lang::HistoryText::StepWideband, changed));
    say(text(MapText::WidebandApplied).arg(changed), false);
    refresh();
}

void MapWindow::newSession() {
    wb_.newSession();
    say(text(MapText::SessionStarted), false);
}

void MapWindow::toggleLock() {
    const Selection s = selection();
    if (!s.valid()) return refuse({EditError::BadSelection, -1, -1, {}});
    TargetSide side = wb_.targetSide();
    bool allLocked = true;
    for (int r = s.top; r <= s.bottom; ++r)
        for (int c = s.left; c <= s.right; ++c)
            allLocked &= side.locks[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    for (int r = s.top; r <= s.bottom; ++r)
        for (int c = s.left; c <= s.right; ++c)
            side.locks[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = !allLocked;
    wb_.setTargetSide(side);
    say(text(allLocked ? MapText::CellsUnlocked : MapText::CellsLocked).arg(s.rows() * s.cols()),
        false);
    if (!wb_.sideProblem().isEmpty()) say(wb_.sideProblem(), true);
}

void MapWindow::refuseTargets(const TargetParse& p) {
    switch (p.fault) {
    case TargetParse::Fault::None:
        return;
    case TargetParse::Fault::Rows:
        return say(text(MapText::TargetRows), true);
    case TargetParse::Fault::Columns:
        return say(text(MapText::TargetColumns).arg(p.row + 1), true);
    case TargetParse::Fault::NotANumber:
        return say(text(MapText::TargetNotANumber).arg(p.row + 1).arg(p.col + 1), true);
    case TargetParse::Fault::OutOfRange: {
        // The number as it was written in the text.
        const QString line = pastedTargets_.split('\n').value(p.row);
        const QString value =
            line.split(QRegularExpression("[ \t;]+"), Qt::SkipEmptyParts).value(p.col);
        return say(text(MapText::TargetOutOfRange).arg(p.row + 1).arg(p.col + 1).arg(value), true);
    }
    }
}

void MapWindow::pasteTargets(const QString& t) {
    if (t.size() > static_cast<qsizetype>(MaxPasteBytes)) return say(text(MapText::TooLarge), true);
    pastedTargets_ = t;
    const TargetParse p = parseTargets(t.toStdString());
    if (!p.table) return refuseTargets(p);
    TargetSide side = wb_.targetSide();
    side.targets = *p.table;
    wb_.setTargetSide(side);
    say(text(MapText::TargetsPasted), false);
    if (!wb_.sideProblem().isEmpty()) say(wb_.sideProblem(), true);
}

void MapWindow::editTarget(QTableWidgetItem* item) {
    const int row = item->row() - 1, col = item->column();
    if (row < 0) return refresh(); // the speed axis belongs to the map
    QString typed = item->text().trimmed();
    typed.replace(',', '.');
    static const QRegularExpression number("^[0-9]+(\\.[0-9]+)?$");
    bool ok = number.match(typed).hasMatch();
    // Two decimals, as the table shows them and the side file keeps them.
    const double v = ok ? std::round(typed.toDouble(&ok) * 100.0) / 100.0 : 0.0;
    if (!ok) {
        say(text(MapText::TargetNotANumber).arg(row + 1).arg(col + 1), true);
        return refresh();
    }
    if (v < MinTargetLambda || v > MaxTargetLambda) {
        say(text(MapText::TargetOutOfRange).arg(row + 1).arg(col + 1).arg(item->text().trimmed()),
            true);
        return refresh();
    }
    // A value typed into a selected block goes into every cell of it.
    Selection s = selection();
    if (!s.valid() || row < s.top || row > s.bottom || col < s.left || col > s.right)
        s = {row, col, row, col};
    TargetSide side = wb_.targetSide();
    for (int r = s.top; r <= s.bottom; ++r)
        for (int c = s.left; c <= s.right; ++c)
            side.targets[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = v;
    say({}, false);
    wb_.setTargetSide(side);
    if (!wb_.sideProblem().isEmpty()) say(wb_.sideProblem(), true);
}

void MapWindow::showLivePoint(const std::optional<MapPoint>& p, double now) {
    table_->setLivePoint(p ? std::optional<QPointF>(QPointF(p->row, p->col)) : std::nullopt, now);
}

} // namespace velmora::ui
