// Edit ▸ Snapshots: the kept calibrations, newest first, with how many values differ from
// the screen; Open takes one as a step, Compare shows the difference report.
#pragma once

#include <QDialog>

#include <vector>

#include "history/snapshot_store.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace velmora::ui {

class TFormHlav;
class EditMenu;

class SnapshotsWindow : public QDialog {
    Q_OBJECT
public:
    SnapshotsWindow(TFormHlav& form, EditMenu& edit);

    // Lists the folder again.
    void reload();
    // Counts the differences from the screen again.
    void updateDifferences();
    void retranslate();

    // The commands for the selected row; false when it could not be done.
    bool openSelected();
    bool compareSelected();
    void select(int row);
    int rowCount() const;
    QString message() const;

private:
    const SnapshotEntry* selected() const;
    void gone(const SnapshotEntry& e);
    // The selected snapshot, read; a vanished one is reported and gives nothing.
    std::optional<SnapshotStore::Loaded> loadSelected();

    TFormHlav& form_;
    EditMenu& edit_;
    std::vector<SnapshotEntry> entries_;
    // What each listed snapshot holds, read once per listing: edits only count again.
    std::vector<std::optional<Calibration>> held_;
    QTableWidget* table_;
    QLabel* message_;
    QPushButton* open_;
    QPushButton* compare_;
    QPushButton* close_;
};

} // namespace velmora::ui
