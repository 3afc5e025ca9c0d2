#include "ui/history/edit_menu.h"
#include "ui/main_window/form_shared.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QThreadPool>
#include <QTimer>

#include "files/param_file.h"
#include "files/settings.h"
#include "history/difference.h"
#include "history/param_names.h"
#include "lang/history_texts.h"
#include "ui/history/compare_window.h"
#include "ui/history/snapshots_window.h"
#include "ui/main_window/form_hlav.h"

namespace velmora::ui {

namespace {

using lang::HistoryText;

void fill(QLabel* l, const QColor& c) {
    QPalette p = l->palette();
    p.setColor(QPalette::Window, c);
    l->setPalette(p);
    l->setAutoFillBackground(c.isValid());
}

} // namespace

EditMenu::EditMenu(TFormHlav& form, const QString& folder)
    : form_(form),
      keeper_(folder.isEmpty() ? dataFolder() : QFile::encodeName(folder).toStdString()) {
    setObjectName("EditMenu");
    menu_ = new QMenu(form.menuBar());
    menu_->setObjectName("MenuEdit");
    menu_->setFont(form.font());
    form.insertAddonMenu(TFormHlav::AddonMenu::Edit, menu_);

    undo_ = menu_->addAction(QString());
    undo_->setObjectName("MenuUndo");
    undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redo_ = menu_->addAction(QString());
    redo_->setObjectName("MenuRedo");
    redo_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    menu_->addSeparator();
    snapshots_ = menu_->addAction(QString());
    snapshots_->setObjectName("MenuSnapshots");
    snapshots_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    compare_ = menu_->addAction(QString());
    compare_->setObjectName("MenuCompare");
    compare_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(undo_, &QAction::triggered, this, &EditMenu::undo);
    connect(redo_, &QAction::triggered, this, &EditMenu::redo);
    connect(snapshots_, &QAction::triggered, this, [this] {
        SnapshotsWindow* w = snapshotsWindow();
        w->reload();
        w->show();
        w->raise();
    });
    connect(compare_, &QAction::triggered, this, [this] {
        CompareWindow* w = compareWindow();
        if (unitAfterVerify_)
            w->compareWithUnit();
        else
            w->compareWithLastFile();
        w->show();
        w->raise();
    });

    unitLabel_ = new QLabel(form.statusBar());
    unitLabel_->setObjectName("LabelUnitAgreement");
    fileLabel_ = new QLabel(form.statusBar());
    fileLabel_->setObjectName("LabelFileAgreement");
    protectionLabel_ = new QLabel(form.statusBar());
    protectionLabel_->setObjectName("LabelProtection");
    protectionLabel_->hide();
    for (QLabel* l : {protectionLabel_, unitLabel_, fileLabel_}) {
        l->setContentsMargins(4, 0, 4, 0);
        form.statusBar()->addPermanentWidget(l);
    }

    connect(&form, &TFormHlav::calibrationCommitted, this, &EditMenu::committed);
    // Another copy may have closed since this one started: what it left is kept, not lost.
    connect(&form, &TFormHlav::settingsAboutToBeSaved, this, [this] {
        if (started_) keeper_.keepOtherCopy(settingsFileCalibration());
    });
    // A run closed before it took over a recovery file leaves that file for the next one.
    connect(&form, &TFormHlav::settingsSaved, this, [this] {
        if (started_) keeper_.closedCleanly();
    });
    exchange_ = form.link().exchange().events().subscribe(
        [this](const ExchangeEvent& e) { exchangeEvent(e); });
    for (int i = 1; i <= 6; ++i)
        connect(form.comAction(i), &QAction::triggered, this, &EditMenu::unitNotKnown);
    connect(&form, &TFormHlav::textsApplied, this, &EditMenu::retranslate);
    // A click on a box is a step of its own, whether the box sets its parameter at once or
    // leaves it to the next read controls.
    for (const FlagBoxSpec& f : flagBoxTable()) {
        QAbstractButton* box = form.flagBox(f.param);
        if (box == nullptr) continue;
        flagBoxes_.emplace_back(f.param, box);
        connect(box, &QAbstractButton::clicked, this,
                [this, param = f.param] { committed(Change::of(param)); });
    }
    qApp->installEventFilter(this);

    // A notice comes back when the mouse leaves a control's hint, for a while: the window's
    // first Enter event would otherwise wipe the notice of a recovery at once.
    connect(form.statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (!text.isEmpty() || notice_.isEmpty()) return;
        if (noticeShown_.isValid() && noticeShown_.elapsed() < NoticeMs)
            form_.showStatusHint(notice_, noticeDetail_);
        else
            notice_.clear();
    });

    // The recovery file reaches the disk on a worker thread now and then, so that a power cut
    // too finds it whole; the writes themselves never wait for the disk.
    auto* flush = new QTimer(this);
    flush->setInterval(FlushIntervalMs);
    connect(flush, &QTimer::timeout, this, [this] {
        if (keeper_.recoveryBehind() > 0 || keeper_.snapshotPending()) {
            keeper_.retryWrites();
            refresh();
        }
        if (!keeper_.takeRecoveryUnflushed()) return;
        const std::string path = keeper_.recoveryFile().path();
        QThreadPool::globalInstance()->start([path] { RecoveryFile::flushToDisk(path); });
    });
    flush->start();

    retranslate();
}

EditMenu::~EditMenu() {
    qApp->removeEventFilter(this);
}

Calibration EditMenu::screenCalibration() const {
    Calibration c = form_.calibration();
    for (const auto& [param, box] : flagBoxes_) {
        const bool on = box->isChecked();
        if ((c[param] != 0) != on) c[param] = on ? 1 : 0;
    }
    return c;
}

bool EditMenu::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    // A key reaches the window object first and then the widget with the focus; the first
    // widget to see it decides. Dialogs and open menus keep their keys.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || !started_ || QApplication::activeModalWidget() != nullptr ||
        QApplication::activePopupWidget() != nullptr)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                                           Qt::AltModifier | Qt::MetaModifier);
    const bool undo = key->key() == Qt::Key_Z && mods == Qt::ControlModifier;
    const bool redo =
        (key->key() == Qt::Key_Y && mods == Qt::ControlModifier) ||
        (key->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier));
    if (!undo && !redo) return false;
    // Half-typed text is taken back first, as in a spreadsheet.
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        if (!box->isReadOnly() && (undo ? box->isUndoAvailable() : box->isRedoAvailable()))
            return false;
    }
    if (type == QEvent::ShortcutOverride) {
        // Claimed here so that no box and no menu shortcut takes it; the key press follows.
        event->accept();
        return true;
    }
    if (undo)
        this->undo();
    else
        this->redo();
    return true;
}

void EditMenu::unitNotKnown() {
    keeper_.unitUnknown();
    replies_ = {};
    unitAfterVerify_.reset();
    refresh();
}

void EditMenu::clearDifferNotice() {
    if (differNotice_.isEmpty()) return;
    if (notice_ == differNotice_) notice_.clear();
    if (form_.statusText() == differNotice_) form_.showStatusHint(QString());
    differNotice_.clear();
}

QString EditMenu::text(int id) const {
    return QString::fromUtf8(lang::historyText(static_cast<HistoryText>(id), form_.Language));
}

void EditMenu::started() {
    std::optional<Calibration> file;
    const QString last = QString::fromStdString(form_.lastFilePath());
    if (!last.isEmpty() && QFileInfo(last).isFile()) {
        Calibration c = form_.calibration();
        if (openParamFile(form_.lastFilePath(), c)) file = c;
    }
    keeper_.start(form_.calibration(), file);
    keeper_.settingsAtStart(settingsFileCalibration());
    const Keeper::Recovery r = keeper_.recover();
    started_ = true;
    retranslate();
    if (r.cal) {
        applying_ = true;
        form_.applyCalibration(*r.cal);
        applying_ = false;
        const QString time =
            QDateTime::fromSecsSinceEpoch(r.savedAt).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        status(text(static_cast<int>(HistoryText::Recovered)).arg(time));
    } else if (r.state == RecoveryFile::State::Damaged) {
        status(text(static_cast<int>(HistoryText::RecoveryUnreadable)));
    } else if (r.state == RecoveryFile::State::Unreadable) {
        // The reason in the user's language; the system's own words in the tooltip.
        status(text(static_cast<int>(HistoryText::RecoveryNotReadable))
                   .arg(failureText(r.path, r.errorNumber, form_.Language)),
               QString::fromStdString(r.error));
    }
    if (const std::optional<std::string> kept = keeper_.takeOtherCopyNote()) {
        const QString note =
            text(static_cast<int>(HistoryText::OtherCopyKept)).arg(QString::fromStdString(*kept));
        const bool both = r.cal || r.state != RecoveryFile::State::Missing;
        status(both ? notice_ + " · " + note : note, both ? noticeDetail_ : QString());
    }
    reportFailures();
    refresh();
}

Calibration EditMenu::settingsFileCalibration() const {
    // Read afresh, as the file is now: the window's store may hold what this copy wrote.
    ProfileStore onDisk(form_.settingsStore().path());
    WindowSettings ignored;
    Calibration cal = keeper_.committed();
    loadSettings(onDisk, ignored, cal);
    return cal;
}

void EditMenu::committed(const Change& change) {
    if (applying_ || !started_) return;
    const Calibration now = screenCalibration();
    const Calibration before = keeper_.committed();
    StepName name = change.name;
    if (change.unnamed()) {
        // Values typed since the last step, taken by Verify, Program or Save.
        const int n = countDifferences(before, now);
        for (std::size_t p = 0; p < ParamCount && n == 1; ++p)
            if (!sameSetting(static_cast<Param>(p), now, before)) name.param = static_cast<int>(p);
        if (n > 1) {
            name.command = HistoryText::StepValues;
            name.number = n;
        }
    }
    keeper_.commit(name, now, change.replacing);
    if (change.fileStored) keeper_.fileStored(now);
    if (name.command == HistoryText::StepOpen && now[Klicovani] != before[Klicovani])
        status(text(static_cast<int>(HistoryText::ForeignModel))
                   .arg(QString::fromStdString(displayText(Klicovani, now, form_.Language)),
                        QString::fromStdString(displayText(Klicovani, before, form_.Language))));
    reportFailures();
    refresh();
}

void EditMenu::readReplaced(const Image& received) {
    if (!started_) return;
    readImage_ = received;
    StepName name;
    name.command = HistoryText::StepRead;
    keeper_.commit(name, form_.calibration(), SnapshotKind::BeforeRead);
    keeper_.unitHolds(*readImage_);
    unitAfterVerify_.reset();
    clearDifferNotice();
    reportFailures();
    refresh();
}

void EditMenu::exchangeEvent(const ExchangeEvent& e) {
    using Kind = ExchangeEvent::Kind;
    switch (e.kind) {
    case Kind::Started:
        replies_ = {};
        break;
    case Kind::Replied:
        if (e.block < BlockCount) replies_[e.block] = e.data;
        // The unit's block 0 is on the screen now: it is what the history starts from.
        if (e.op == Exchange::Program && e.block == 0 && started_ && !applying_)
            keeper_.adopt(form_.calibration());
        break;
    case Kind::Ended:
        // A read that succeeded goes on into its verify, which ends the exchange.
        if (e.op == Exchange::Read && e.result == ExchangeEvent::Result::Succeeded)
            readReplaced(e.image);
        else
            exchangeEnded(e);
        break;
    case Kind::ConnectionLost:
    case Kind::Connected:
        break;
    }
}

void EditMenu::exchangeEnded(const ExchangeEvent& e) {
    const Image& image = form_.image();
    const std::size_t block = e.block;
    // Another command took over: what the unit holds is not known.
    const int message = e.message && e.result != ExchangeEvent::Result::Interrupted
                            ? static_cast<int>(*e.message)
                            : -1;
    if (readImage_ && started_) {
        Calibration unit = keeper_.committed();
        Identification ignored;
        unpack(*readImage_, unit, ignored);
        keeper_.snapshot(SnapshotKind::Read, unit, &*readImage_);
    }
    readImage_.reset();
    unitAfterVerify_.reset();
    switch (message) {
    case static_cast<int>(Message::VerifyOk):
        keeper_.unitHolds(image);
        clearDifferNotice();
        break;
    case static_cast<int>(Message::ProgramOk): {
        keeper_.unitHolds(image);
        clearDifferNotice();
        Calibration unit = keeper_.committed();
        Identification ignored;
        unpack(image, unit, ignored);
        keeper_.snapshot(SnapshotKind::Program, unit, &image);
        break;
    }
    case static_cast<int>(Message::VerifyError): {
        const auto reply = block < BlockCount ? replies_[block] : std::nullopt;
        bool differs = false;
        for (std::size_t i = 0; reply && i < BlockSize; ++i)
            differs = differs || (*reply)[i] != image[block * BlockSize + i];
        // Without a reply that differs the unit proved nothing, neither way.
        if (!differs) {
            keeper_.unitUnknown();
            break;
        }
        unitAfterVerify_ = withUnitBlock(keeper_.committed(), image, block, *reply);
        const int n = countDifferences(keeper_.committed(), *unitAfterVerify_);
        keeper_.unitDiffers(n);
        if (n > 0) {
            status(n == 1 ? text(static_cast<int>(HistoryText::ValueDiffers))
                          : text(static_cast<int>(HistoryText::ValuesDiffer)).arg(n));
            differNotice_ = notice_;
        }
        break;
    }
    default:
        keeper_.unitUnknown();
        break;
    }
    reportFailures();
    refresh();
}

void EditMenu::undo() {
    restore(keeper_.undo());
}

void EditMenu::redo() {
    restore(keeper_.redo());
}

void EditMenu::restore(const std::optional<Calibration>& c) {
    if (!c) return;
    applying_ = true;
    form_.applyCalibration(*c);
    applying_ = false;
    keeper_.adopt(form_.calibration());
    reportFailures();
    refresh();
}

void EditMenu::applyAsStep(const StepName& name, const Calibration& cal, const Image* image) {
    applying_ = true;
    form_.applyCalibration(cal, image);
    applying_ = false;
    keeper_.commit(name, form_.calibration());
    reportFailures();
    refresh();
}

void EditMenu::retranslate() {
    menu_->setTitle(text(static_cast<int>(HistoryText::EditMenu)));
    menu_->setProperty(HintProperty, text(static_cast<int>(HistoryText::EditMenuHint)));
    undo_->setProperty(HintProperty, text(static_cast<int>(HistoryText::UndoHint)));
    redo_->setProperty(HintProperty, text(static_cast<int>(HistoryText::RedoHint)));
    snapshots_->setText(text(static_cast<int>(HistoryText::Snapshots)));
    snapshots_->setProperty(HintProperty, text(static_cast<int>(HistoryText::SnapshotsHint)));
    compare_->setText(text(static_cast<int>(HistoryText::Compare)));
    compare_->setProperty(HintProperty, text(static_cast<int>(HistoryText::CompareHint)));
    if (snapshotsWindow_) snapshotsWindow_->retranslate();
    if (compareWindow_) compareWindow_->retranslate();
    refresh();
}

void EditMenu::refresh() {
    const std::uint8_t language = form_.Language;
    const Step* u = keeper_.history().nextUndo();
    const Step* r = keeper_.history().nextRedo();
    const auto caption = [&](HistoryText what, const Step* s) {
        QString t = text(static_cast<int>(what));
        if (s != nullptr) t += " " + QString::fromStdString(stepText(*s, language));
        return t;
    };
    undo_->setText(caption(HistoryText::Undo, u));
    undo_->setEnabled(u != nullptr);
    redo_->setText(caption(HistoryText::Redo, r));
    redo_->setEnabled(r != nullptr);

    const UnitAgreement unit = keeper_.unit();
    const int failed = keeper_.unitDifferences();
    unitLabel_->setText(
        unit == UnitAgreement::VerifyFailed && failed > 1
            ? text(static_cast<int>(HistoryText::UnitFailed)).arg(failed)
        : unit == UnitAgreement::VerifyFailed && failed == 1
            ? text(static_cast<int>(HistoryText::UnitFailedOne))
            : text(static_cast<int>(unit == UnitAgreement::Same      ? HistoryText::UnitSame
                                    : unit == UnitAgreement::Unknown ? HistoryText::UnitUnknown
                                                                     : HistoryText::UnitDiffers)));
    fill(unitLabel_, unit == UnitAgreement::Same           ? QColor(0, 255, 0)
                     : unit == UnitAgreement::VerifyFailed ? QColor(255, 0, 0)
                     : unit == UnitAgreement::Differs      ? QColor(255, 255, 0)
                                                           : QColor());
    const FileAgreement file = keeper_.file();
    fileLabel_->setText(
        text(static_cast<int>(file == FileAgreement::Saved     ? HistoryText::FileSaved
                              : file == FileAgreement::Changed ? HistoryText::FileChanged
                                                               : HistoryText::FileNone)));
    fill(fileLabel_, file == FileAgreement::Saved     ? QColor(0, 255, 0)
                     : file == FileAgreement::Changed ? QColor(255, 255, 0)
                                                      : QColor());

    // Stays until the writes succeed again, beside whatever other notice comes and goes.
    QStringList lost, why;
    if (const int behind = keeper_.recoveryBehind()) {
        lost << text(static_cast<int>(HistoryText::RecoveryBehind)).arg(behind);
        if (const auto& r = keeper_.lastRecoveryError())
            why << QString::fromStdString(r->path + ": " + r->error);
    }
    if (const auto& r = keeper_.snapshotPending()) {
        lost << text(static_cast<int>(HistoryText::SnapshotPending));
        why << QString::fromStdString(r->path + ": " + r->error);
    }
    protectionLabel_->setText(lost.join(QStringLiteral(" · ")));
    protectionLabel_->setToolTip(why.join('\n'));
    fill(protectionLabel_, lost.isEmpty() ? QColor() : QColor(255, 120, 120));
    protectionLabel_->setVisible(!lost.isEmpty());

    // The usual marker of unsaved changes leads the title.
    const bool modified = file == FileAgreement::Changed ||
                          (file == FileAgreement::None && keeper_.history().undoCount() > 0);
    const QString title = form_.windowTitle();
    const bool marked = title.startsWith(QStringLiteral("* "));
    if (modified && !marked) form_.setWindowTitle("* " + title);
    if (!modified && marked) form_.setWindowTitle(title.mid(2));
    if (snapshotsWindow_ && snapshotsWindow_->isVisible()) snapshotsWindow_->updateDifferences();
}

void EditMenu::reportFailures() {
    // The failure in the user's language; the system's own words in the tooltip.
    const auto report = [this](HistoryText what, const WriteResult& r) {
        status(text(static_cast<int>(what)).arg(failureText(r.path, r.errorNumber, form_.Language)),
               QString::fromStdString(r.path + ": " + r.error));
    };
    if (std::optional<WriteResult> r = keeper_.takeSnapshotFailure())
        report(HistoryText::SnapshotFailed, *r);
    if (std::optional<WriteResult> r = keeper_.takeRecoveryFailure())
        report(HistoryText::RecoveryFailed, *r);
}

void EditMenu::status(const QString& message, const QString& detail) {
    notice_ = message;
    noticeDetail_ = detail;
    noticeShown_.start();
    form_.showStatusHint(message, detail);
}

QString EditMenu::unitField() const {
    return unitLabel_->text();
}

QString EditMenu::fileField() const {
    return fileLabel_->text();
}

SnapshotsWindow* EditMenu::snapshotsWindow() {
    if (!snapshotsWindow_) snapshotsWindow_ = new SnapshotsWindow(form_, *this);
    return snapshotsWindow_;
}

CompareWindow* EditMenu::compareWindow() {
    if (!compareWindow_) compareWindow_ = new CompareWindow(form_, *this);
    return compareWindow_;
}

} // namespace velmora::ui
