// Edit ▸ Compare: every value in which the screen and a parameter file, a snapshot or the
// unit differ, by page, group and name, in display units; Copy puts it on the clipboard.
#pragma once

#include <QDialog>

#include <optional>
#include <string>

#include "model/calibration.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace velmora::ui {

class TFormHlav;
class EditMenu;

class CompareWindow : public QDialog {
    Q_OBJECT
public:
    CompareWindow(TFormHlav& form, EditMenu& edit);

    void compareWith(const Calibration& other, const QString& source);
    // What a failed verify found in the unit.
    void compareWithUnit();
    // The parameter file last saved or opened, read over the screen.
    bool compareWithFile(const QString& path);
    void compareWithLastFile();
    void retranslate();

    int rowCount() const;
    QString cell(int row, int column) const;
    // The report as Copy puts it on the clipboard.
    QString reportText() const;
    void copy();

private:
    void render();

    TFormHlav& form_;
    EditMenu& edit_;
    std::optional<Calibration> other_;
    QString source_;
    QLabel* sourceLabel_;
    QTableWidget* table_;
    QPushButton* file_;
    QPushButton* snapshot_;
    QPushButton* unit_;
    QPushButton* copy_;
    QPushButton* close_;
};

} // namespace velmora::ui
