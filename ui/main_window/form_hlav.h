// TFormHlav: the one main window. It owns the working parameters, the image, the link to the
// unit, the settings and every component, and binds the components to the parameters.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/profile_store.h"
#include "files/window_print.h"
#include "history/change.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "model/calibration.h"
#include "model/pairs.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QImage;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTabWidget;
class QTimer;
class QUrl;

namespace velmora::ui {

class UpDown;
class SpinButton;
class HintRouter;

class TFormHlav : public QMainWindow {
    Q_OBJECT
public:
    // Client area of the design, status bar included.
    static constexpr int ClientWidth = 659;
    static constexpr int ClientHeight = 498;
    static constexpr int StatusBarHeight = 19;
    static constexpr int TimerIntervalMs = 55;

    // Creates every component and the settings file object for settingsPath (empty: the
    // usual place of Velmora52.ini).
    explicit TFormHlav(const std::string& settingsPath = {}, QWidget* parent = nullptr);
    ~TFormHlav() override;

    // Start-up; arguments are the command line without the program name.
    void FormCreate(const QStringList& arguments);
    // Shutdown: close the port, read the controls, clamp, save the settings. Runs once,
    // whether the window is closed by Exit, its close button, a signal or the end of the
    // application. When the settings cannot be written it cannot ask: it says so on the
    // standard error and the window closes.
    void FormClose();
    // Closes the window without asking anything, whatever happens to the settings (a
    // termination signal).
    void closeWithoutAsking();

    // What the user chooses when the settings cannot be written at a close they asked for.
    enum class SaveFailedChoice { Retry, KeepOpen, CloseAnyway };
    // Asks it; without a display it answers CloseAnyway. Tests answer it themselves.
    std::function<SaveFailedChoice(const QString& text)> askSaveFailed;

    // The binding of the controls to the working parameters.
    void readControls();
    void showParams();
    // The after-change step; `change` names the step for the history (unnamed: the history
    // names it by what changed).
    void afterChange(const Change& change = {});

    void ApplyEnglish() { applyLanguage(1); }
    void ApplyCzech() { applyLanguage(0); }
    void ApplyGerman() { applyLanguage(2); }

    Calibration& calibration() { return cal_; }
    Image& image() { return image_; }
    Identification& identification() { return ident_; }
    Link& link() { return link_; }
    const std::string& lastFilePath() const { return lastFile_; }
    void setLastFilePath(const std::string& path);
    bool closed() const { return closed_; }

    // The file dialogs, made on first use with their filters and the last-file path.
    QFileDialog* openDialog();
    QFileDialog* saveDialog();

    // Plain message boxes ("Com opening error", "Open file error", a print that failed, the
    // About text) go through here, so that tests can see them without a modal loop.
    std::function<void(const QString&)> messageBox;

    // The parameter file commands once the dialog has given a path. Each reports its own
    // failure and leaves the working parameters as they were; true when the file was read or
    // written.
    bool openParameters(const QString& path);
    bool saveParameters(const QString& path);

    // The picture that printing puts on paper: the client area below the menu bar, status
    // bar included.
    QImage clientPicture();
    // Where the picture goes; the default printer unless a test puts its own printer here.
    std::function<PrintOutcome(const QImage&)> printJob;

    // Where the manuals are looked for, in order: the documentation folder of the install
    // beside the program's bin folder, then the manuals of the source tree (a build folder).
    QStringList manualFolders;
    // The manual of `language`: in the first of manualFolders that holds it, or in the first
    // folder when none does. Empty outside 0..2.
    QString manualPath(std::uint8_t language) const;
    // Hands a file to the desktop's application for it; tests watch it here.
    std::function<bool(const QUrl&)> openUrl;

    // The status bar text that hints put there.
    QString statusText() const;
    // The long part of a hint for the status bar, following the parents of w up to the window
    // when w has none of its own.
    QString effectiveHint(const QWidget* w) const;
    void showStatusHint(const QString& text);
    // A notice that may be longer than the bar: what is cut off, and the detail (the system's
    // own text of a failure), show as the bar's tooltip.
    void showStatusHint(const QString& text, const QString& detail);
    // Room for the status bar's text left of the fields beside it, in pixels.
    int statusTextRoom() const;

    // Window state (Parts of it are stored in the settings file).
    std::uint8_t Language = 0;
    std::uint8_t ComPort = 0;
    bool ProgHned = false;

    // What the port settings, the reconnection and the Log menu reach of the window.
    ProfileStore& settingsStore() { return *store_; }
    SerialPort& serialPort() { return port_; }
    const PortMap& portMap() const { return portMap_; }
    void setPortMap(const PortMap& map) { portMap_ = map; }
    // Reports a port that did not open; when unset, the plain "Com opening error".
    std::function<void()> reportOpenFailure;

    // Shows `cal` as one change: show and pack, and the after-change step when ProgHned is set.
    // With `image`, the image is restored byte for byte first, identification included.
    void applyCalibration(const Calibration& cal, const Image* image = nullptr);
    // Commits what the controls hold as one step named `change` (a click on a box that leaves
    // its parameter to the next read of the controls).
    void commitControls(const Change& change);

    // What the add-ons attach to.
    enum class MainMenu { File, Com, Device, Tools, Language, Help };
    QMenu* menu(MainMenu which) const;
    // The menus the add-ons bring, each in its place whatever order they come in: Edit and
    // View after File, Log after Tools.
    enum class AddonMenu { Edit, View, Log };
    void insertAddonMenu(AddonMenu which, QMenu* menu);
    // Com 1 .. Com 6; nullptr outside.
    QAction* comAction(int port) const;
    enum class Page { Ignition, Injection1, Injection2, N2o, Monitor };
    QTabWidget* pages() const { return pages_; }
    QWidget* page(Page which) const;
    // The edit box of a working parameter (map cells, the speed axis, the advance curve ...),
    // the check box of a flag; nullptr when none shows it.
    QLineEdit* paramEdit(Param p) const;
    QCheckBox* flagBox(Param p) const;

signals:
    // After every committed change of the working parameters, named by the command or control
    // that made it.
    void calibrationCommitted(const velmora::Change& change);
    // The settings file is about to be written at the close.
    void settingsAboutToBeSaved();
    // The settings file was written at the close.
    void settingsSaved();
    // A text set was applied (or asked for), at start-up and at every change of Language:
    // texts kept outside the sets follow it. Nothing needs to watch Language itself.
    void textsApplied();
    // The 55 ms timer's work is done: the exchange has moved on and the window shows it.
    void ticked();

public slots:
    void MenuNewClick();
    void MenuOpenClick();
    void MenuSaveClick();
    void SpeedButtonPrintClick();
    void MenuExitClick();
    void MenuCom1Click(int port);
    void MenuReadClick();
    void MenuVerifyClick();
    void MenuProgramClick();
    void CurveMinusClick();
    void CurvePlusClick();
    void ButtonJetMinusClick();
    void ButtonJetPlusClick();
    void CSpinButtonDownClick(int k);
    void CSpinButtonUpClick(int k);
    void CSpinButton1DownClick() { CSpinButtonDownClick(1); }
    void CSpinButton1UpClick() { CSpinButtonUpClick(1); }
    void CSpinButton2DownClick() { CSpinButtonDownClick(2); }
    void CSpinButton2UpClick() { CSpinButtonUpClick(2); }
    void CSpinButton3DownClick() { CSpinButtonDownClick(3); }
    void CSpinButton3UpClick() { CSpinButtonUpClick(3); }
    void CSpinButton4DownClick() { CSpinButtonDownClick(4); }
    void CSpinButton4UpClick() { CSpinButtonUpClick(4); }
    void CSpinButton5DownClick() { CSpinButtonDownClick(5); }
    void CSpinButton5UpClick() { CSpinButtonUpClick(5); }
    void CSpinButton6DownClick() { CSpinButtonDownClick(6); }
    void CSpinButton6UpClick() { CSpinButtonUpClick(6); }
    void CSpinButton7DownClick() { CSpinButtonDownClick(7); }
    void CSpinButton7UpClick() { CSpinButtonUpClick(7); }
    void CSpinButton8DownClick() { CSpinButtonDownClick(8); }
    void CSpinButton8UpClick() { CSpinButtonUpClick(8); }
    void CSpinButton9DownClick() { CSpinButtonDownClick(9); }
    void CSpinButton9UpClick() { CSpinButtonUpClick(9); }
    void CSpinButton10DownClick() { CSpinButtonDownClick(10); }
    void CSpinButton10UpClick() { CSpinButtonUpClick(10); }
    void BitBtnTps0Click();
    void BitBtnTps100Click();
    void MenuEnglishClick() { ApplyEnglish(); }
    void MenuCzechClick() { ApplyCzech(); }
    void MenuGermanClick() { ApplyGerman(); }
    void MenuContensClick();
    void MenuAboutClick();
    void ComboBox1Change(int index);
    void CheckBoxGasClick();
    void CheckBoxProgHnedClick();
    void CheckBoxZakazCteniClick();
    void CheckBoxExtMonitorClick();
    void Edit1Exit();
    void UpDown1Click();
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Pair {
        const PairSpec* spec;
        QLineEdit* edit;
        UpDown* updown;
    };
    struct FlagBox {
        Param param;
        QCheckBox* box;
    };

    void buildWidgets();
    void buildPairs();
    void buildMenus();
    QWidget* container(const std::string& name) const;
    void wireHandlers();

    void applyLanguage(int language);
    void refreshToolTips();
    void placeModeBoxes();
    void setFill(QWidget* w, int colour); // a velmora::Colour, or -1 for none
    void colourFlagBox(QCheckBox* box, bool set);
    void renderExchange();
    bool shutdown(bool mayAsk);
    WriteResult writeSettings();
    void hideExchangeIndicators();
    void renderMonitor();
    void OpenPort();
    void setComChecks();
    void setGasVisibility(bool visible);
    int activePageNumber() const;
    // The step a control's commit makes: named by the parameter of its pair.
    Change changeBy(const QObject* control) const;

    Calibration cal_{};
    Image image_{};
    Identification ident_{};
    Link link_;
    std::unique_ptr<ProfileStore> store_;
    std::string lastFile_;
    SerialPort port_;
    PortMap portMap_;
    bool closed_ = false;
    bool created_ = false;
    bool closing_ = false;                // a shutdown is in progress (it may be asking)
    bool mustClose_ = false;              // a termination signal asked for the close
    const QObject* committing_ = nullptr; // the box whose commit Edit1Exit is running

    QWidget* client_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QComboBox* models_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* hlaseni_ = nullptr;
    QLabel* spojeni_ = nullptr;
    QLabel* file2_ = nullptr;
    std::array<QLabel*, 3> verze_{};
    QTimer* timer_ = nullptr;
    HintRouter* hints_ = nullptr;
    QFileDialog* openDialog_ = nullptr;
    QFileDialog* saveDialog_ = nullptr;
    std::vector<Pair> pairs_;
    std::vector<FlagBox> flags_; // in the order the controls read them
    QCheckBox* gas_ = nullptr;
    QCheckBox* zakazCteni_ = nullptr;
    QCheckBox* extMonitor_ = nullptr;
    QCheckBox* progHned_ = nullptr;
    QCheckBox* aktN2o_ = nullptr;
    QGroupBox* groupGas_ = nullptr;
    QGroupBox* groupRetard_ = nullptr;
    std::vector<QLabel*> monitorLabels_; // by MonitorLabel
    std::array<QLabel*, 4> lambdaBars_{};
    std::array<QLabel*, 2> tpsBars_{};
    std::array<QAction*, 6> comItems_{};
    std::array<QMenu*, 6> menus_{};      // by MainMenu
    std::array<QMenu*, 3> addonMenus_{}; // by AddonMenu
    std::vector<QWidget*> toolTipWidgets_;
};

} // namespace velmora::ui
