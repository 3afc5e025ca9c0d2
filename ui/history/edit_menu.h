// The Edit menu and what stands behind it: undo and redo of the working parameters, the
// snapshot and compare windows, the two agreement fields of the status bar, the modified
// marker of the title, crash recovery. It talks to the main window through its
// calibrationCommitted and settingsSaved signals and applyCalibration, and follows the
// exchange with the unit through its events.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "history/change.h"
#include "history/keeper.h"
#include "link/exchange.h"
#include "link/stream.h"

class QAbstractButton;
class QAction;
class QLabel;
class QMenu;

namespace velmora::ui {

class TFormHlav;
class SnapshotsWindow;
class CompareWindow;

class EditMenu : public QObject {
    Q_OBJECT
public:
    // `folder` is the data folder (snapshots and the recovery file); empty: the usual one.
    static constexpr int FlushIntervalMs = 2000;
    static constexpr int NoticeMs = 15000; // how long a notice outlives the hints

    explicit EditMenu(TFormHlav& form, const QString& folder = {});
    ~EditMenu() override;

    // After FormCreate: takes the loaded calibration as the start and takes over a recovery
    // file of a run that did not close.
    void started();
    // Another unit may be on the line (a port chosen, lost or reopened): what it holds is not
    // known.
    void unitNotKnown();

    Keeper& keeper() { return keeper_; }
    // The undo and redo commands, as the menu runs them.
    void undo();
    void redo();
    // Shows `cal` as one step named `name` (a snapshot, a restore).
    void applyAsStep(const StepName& name, const Calibration& cal, const Image* image = nullptr);
    // The text of a status field and of the last status message, for tests.
    QString unitField() const;
    QString fileField() const;
    // What a failed verify left to compare: the unit's view of the calibration.
    const std::optional<Calibration>& unitAfterVerify() const { return unitAfterVerify_; }
    // The working parameters with every check box as it stands: a box without a handler of
    // its own reaches its parameter only at the next read controls, yet the screen shows it.
    Calibration screenCalibration() const;

    SnapshotsWindow* snapshotsWindow();
    CompareWindow* compareWindow();

signals:
    // A snapshot was opened: what it kept beside the calibration (empty: it kept nothing).
    void snapshotSideRestored(const QString& side);

protected:
    // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z in every window of the program and in every box.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The working parameters the settings file holds now.
    Calibration settingsFileCalibration() const;
    void committed(const Change& change);
    void clearDifferNotice();
    void exchangeEvent(const ExchangeEvent& e);
    void exchangeEnded(const ExchangeEvent& e);
    void readReplaced(const Image& received);
    void retranslate();
    void refresh();
    void reportFailures();
    // Shows a calibration the history gave back; nothing when it gave none.
    void restore(const std::optional<Calibration>& c);
    // detail: the system's own text of a failure, for the notice's tooltip.
    void status(const QString& text, const QString& detail = {});
    QString text(int id) const;

    TFormHlav& form_;
    Keeper keeper_;
    Subscription exchange_;
    // The data of the last reply to each block in the exchange in progress, so that a verify
    // that fails can say what the unit sent.
    std::array<std::optional<std::array<std::uint8_t, BlockSize>>, BlockCount> replies_{};
    QMenu* menu_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QAction* snapshots_ = nullptr;
    QAction* compare_ = nullptr;
    QLabel* unitLabel_ = nullptr;
    QLabel* fileLabel_ = nullptr;
    QLabel* protectionLabel_ = nullptr; // failures that leave the calibration unprotected
    bool applying_ = false;
    bool started_ = false;
    std::optional<Image> readImage_; // a completed read, stored once its verify has ended
    std::optional<Calibration> unitAfterVerify_;
    std::vector<std::pair<Param, QAbstractButton*>> flagBoxes_;
    QString notice_, noticeDetail_;
    QString differNotice_; // the last "values differ" notice, until a good verify
    QElapsedTimer noticeShown_;
    QPointer<SnapshotsWindow> snapshotsWindow_;
    QPointer<CompareWindow> compareWindow_;
};

} // namespace velmora::ui
