#include "ui/main_window/form_hlav.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <cstdio>

#include "files/param_file.h"
#include "files/settings.h"
#include "history/param_names.h"
#include "lang/about.h"
#include "lang/text_sets.h"
#include "model/clamp.h"
#include "model/cp1250.h"
#include "model/defaults.h"
#include "model/shifts.h"
#include "ui/main_window/arrows.h"
#include "ui/main_window/form_shared.h"
#include "ui/main_window/layout.h"
#include "ui/main_window/pictures.h"

namespace velmora::ui {

namespace {

constexpr const char* FillProperty = "velmoraFill";
constexpr int NoFill = -1;

// The one message of both file commands for a file that cannot be created or opened; English
// in every language.
constexpr const char* OpenFileError = "Open file error";

bool haveDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// Whether path can be opened for writing, checked without changing what is there: an existing
// file is opened for appending and left as it was, a new one is created and removed again.
bool canCreateOrOpen(const QString& path) {
    const QFileInfo info(path);
    // Only a plain file: opening a pipe would wait for a reader.
    if (info.exists() && !info.isFile()) return false;
    QFile f(path);
    if (info.exists()) return f.open(QIODevice::WriteOnly | QIODevice::Append);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
    f.close();
    f.remove();
    return true;
}

QColor colourOf(Colour c) {
    switch (c) {
    case Colour::BtnFace:
        return QApplication::palette().color(QPalette::Button);
    case Colour::Red:
        return QColor(255, 0, 0);
    case Colour::Yellow:
        return QColor(255, 255, 0);
    case Colour::Lime:
        return QColor(0, 255, 0);
    case Colour::White:
        return QColor(255, 255, 255);
    case Colour::Fuchsia:
        return QColor(255, 0, 255);
    case Colour::Blue:
        return QColor(0, 0, 255);
    }
    return {};
}

int colourOfFill(Fill f) {
    switch (f) {
    case Fill::None:
        return NoFill;
    case Fill::Red:
        return static_cast<int>(Colour::Red);
    case Fill::Fuchsia:
        return static_cast<int>(Colour::Fuchsia);
    case Fill::White:
        return static_cast<int>(Colour::White);
    case Fill::Blue:
        return static_cast<int>(Colour::Blue);
    case Fill::Lime:
        return static_cast<int>(Colour::Lime);
    }
    return NoFill;
}

// Narrow tabs leave room for the two mode check boxes right of the tab row.
class CompactTabStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return 12;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

TFormHlav::TFormHlav(const std::string& settingsPath, QWidget* parent)
    : QMainWindow(parent), link_(cal_, ident_, image_, Language) {
    setObjectName("FormHlav");
    setWindowTitle("Programming of Velmora 52 ");
    setWindowIcon(windowIcon());
    QFont f("DejaVu Sans Condensed");
    f.setPixelSize(11);
    setFont(f);

    client_ = new QWidget(this);
    client_->setObjectName("ClientArea");
    client_->setMinimumSize(ClientWidth, ClientHeight - StatusBarHeight);
    setCentralWidget(client_);
    statusBar()->setObjectName("StatusBar1");
    statusBar()->setFixedHeight(StatusBarHeight);
    statusBar()->setSizeGripEnabled(false);

    buildWidgets();
    buildPairs();
    buildMenus();
    wireHandlers();
    refreshToolTips();
    resize(ClientWidth, menuBar()->sizeHint().height() + ClientHeight);

    lastFile_.clear();
    store_ =
        std::make_unique<ProfileStore>(settingsPath.empty() ? settingsFilePath() : settingsPath);

    link_.setPort(&port_);
    link_.onShow = [this] { showParams(); };
    link_.onFileNameCleared = [this] { file2_->setText(QString()); };
    link_.onMonitorChanged = [this] { renderMonitor(); };
    link_.lambdaLeft = findChild<QLabel*>("LabelLambda")->x();
    link_.tpsLeft = findChild<QLabel*>("LabelTps")->x();

    messageBox = [this](const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                        this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    askSaveFailed = [this](const QString& text) {
        if (!haveDisplay()) return SaveFailedChoice::CloseAnyway;
        QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text,
                        QMessageBox::NoButton, this);
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText("Try again, keep the window open, or close it and lose the changes "
                               "since the settings were last saved?");
        QAbstractButton* retry = box.addButton(QMessageBox::Retry);
        QAbstractButton* keep = box.addButton(QMessageBox::Cancel);
        QAbstractButton* closeAnyway = box.addButton("Close anyway", QMessageBox::DestructiveRole);
        box.setDefaultButton(static_cast<QPushButton*>(retry));
        box.setEscapeButton(keep);
        box.exec();
        if (box.clickedButton() == retry) return SaveFailedChoice::Retry;
        if (box.clickedButton() == closeAnyway) return SaveFailedChoice::CloseAnyway;
        return SaveFailedChoice::KeepOpen;
    };
    printJob = [](const QImage& picture) { return printOnDefaultPrinter(picture); };
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    manualFolders = {
        QDir::cleanPath(
            QDir(QCoreApplication::applicationDirPath()).filePath(VELMORA_DOC_FROM_BIN)),
        QStringLiteral(VELMORA_SOURCE_DOCS),
    };

    timer_ = new QTimer(this);
    timer_->setObjectName("Timer1");
    timer_->setInterval(TimerIntervalMs);
    // A coarse timer may fire up to 5 % early, which cuts a unit's reply window short.
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &TFormHlav::Timer1Timer);
    timer_->start();

    // Whatever ends the application, the calibration on screen goes into the settings file.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { FormClose(); });
}

TFormHlav::~TFormHlav() {
    if (hints_ != nullptr) qApp->removeEventFilter(hints_);
    port_.close();
}

QWidget* TFormHlav::container(const std::string& name) const {
    if (name == "Client") return client_;
    return client_->findChild<QWidget*>(QString::fromStdString(name));
}

void TFormHlav::buildWidgets() {
    pages_ = new QTabWidget(client_);
    pages_->setObjectName("PageControl1");
    pages_->setGeometry(4, 48, 653, 409);
    auto* tabStyle = new CompactTabStyle;
    tabStyle->setParent(pages_->tabBar());
    pages_->tabBar()->setStyle(tabStyle);
    for (int i = 0; i < 5; ++i) {
        auto* page = new QWidget;
        page->setObjectName(TabSheetNames[i]);
        pages_->addTab(page, TabSheetCaptions[i]);
    }

    QHash<QString, QWidget*> containers;
    containers.insert("Client", client_);
    for (int i = 0; i < 5; ++i) containers.insert(TabSheetNames[i], pages_->widget(i));

    QStyle* st = style();
    for (const WidgetSpec& s : widgetTable()) {
        QWidget* parent = containers.value(QString::fromStdString(s.parent));
        const QString text = qs(s.text);
        QWidget* w = nullptr;
        switch (s.kind) {
        case WidgetKind::GroupBox: {
            auto* g = new QGroupBox(text, parent);
            containers.insert(qs(s.name), g);
            w = g;
            break;
        }
        case WidgetKind::Label:
        case WidgetKind::BarLabel:
            w = new QLabel(text, parent);
            break;
        case WidgetKind::CheckBox:
            w = new QCheckBox(text, parent);
            break;
        case WidgetKind::Button:
            w = new QPushButton(text, parent);
            break;
        case WidgetKind::SpeedButton: {
            auto* b = new QToolButton(parent);
            b->setAutoRaise(true);
            b->setIconSize(QSize(16, 16));
            if (s.name == "SpeedButton6") b->setIcon(st->standardIcon(QStyle::SP_FileIcon));
            if (s.name == "SpeedButton5") b->setIcon(st->standardIcon(QStyle::SP_DialogOpenButton));
            if (s.name == "SpeedButton7") b->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
            if (s.name == "SpeedButtonPrint") b->setIcon(printGlyph());
            w = b;
            break;
        }
        case WidgetKind::SpinButton:
            w = new SpinButton(parent);
            break;
        }
        w->setObjectName(qs(s.name));
        if (s.fontPx != 0 || (s.flags & Bold) != 0) {
            QFont f = w->font();
            if (s.fontPx != 0) f.setPixelSize(s.fontPx);
            f.setBold((s.flags & Bold) != 0);
            w->setFont(f);
        }
        if (s.w > 0 && s.h > 0) {
            w->setGeometry(s.x, s.y, s.w, s.h);
        } else {
            w->move(s.x, s.y);
            w->setProperty(AutoSizeProperty, true);
            w->adjustSize();
        }
        if (s.kind == WidgetKind::BarLabel) w->setFixedHeight(s.h);
        if (s.fill != Fill::None) setFill(w, colourOfFill(s.fill));
        if (!s.hint.empty()) w->setProperty(HintProperty, qs(s.hint));
        if ((s.flags & ToolTips) != 0) toolTipWidgets_.push_back(w);
        if ((s.flags & Hidden) != 0) w->hide();
    }

    auto* combo = new QComboBox(containers.value("GroupBox3"));
    combo->setObjectName("ComboBox1");
    combo->setGeometry(8, 20, 201, 21);
    combo->setMaxVisibleItems(ModelCount);
    for (int i = 0; i < ModelCount; ++i) combo->addItem(QString::fromLatin1(modelListText(i)));
    combo->setCurrentIndex(-1);
    models_ = combo;

    auto* picture = new QLabel(pages_->widget(0));
    picture->setObjectName("Image1");
    picture->setGeometry(222, 242, 234, 103);
    picture->setPixmap(curvePicture());

    progress_ = new QProgressBar(client_);
    progress_->setObjectName("ProgressBar1");
    progress_->setGeometry(160, 462, 497, 16);
    progress_->setRange(0, 10);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->hide();

    hlaseni_ = findChild<QLabel*>("LabelHlaseni");
    spojeni_ = findChild<QLabel*>("LabelSpojeni");
    file2_ = findChild<QLabel*>("LabelFile2");
    verze_ = {findChild<QLabel*>("LabelVerze1"), findChild<QLabel*>("LabelVerze2"),
              findChild<QLabel*>("LabelVerze3")};
    gas_ = findChild<QCheckBox*>("CheckBoxGas");
    zakazCteni_ = findChild<QCheckBox*>("CheckBoxZakazCteni");
    extMonitor_ = findChild<QCheckBox*>("CheckBoxExtMonitor");
    progHned_ = findChild<QCheckBox*>("CheckBoxProgHned");
    aktN2o_ = findChild<QCheckBox*>("CheckBoxAktN2o");
    groupGas_ = findChild<QGroupBox*>("GroupBoxGas");
    groupRetard_ = findChild<QGroupBox*>("GroupBoxRetard");
    for (const FlagBoxSpec& f : flagBoxTable())
        flags_.push_back({f.param, findChild<QCheckBox*>(f.box)});

    for (std::size_t i = 0; i < MonitorLabelCount; ++i)
        monitorLabels_.push_back(
            findChild<QLabel*>(monitorLabelName(static_cast<MonitorLabel>(i))));
    lambdaBars_ = {findChild<QLabel*>("LabelBarGraf1"), findChild<QLabel*>("LabelBarGraf2"),
                   findChild<QLabel*>("LabelBarGraf3"), findChild<QLabel*>("LabelBarGraf4")};
    tpsBars_ = {findChild<QLabel*>("LabelBarTps1"), findChild<QLabel*>("LabelBarTps2")};
}

void TFormHlav::buildPairs() {
    pairs_.reserve(PairCount);
    for (const PairSpec& s : pairTable()) {
        QWidget* parent = container(s.parent);
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(QString::fromStdString(s.edit));
        edit->setGeometry(s.x, s.y, s.width, EditHeight);
        auto* up = new UpDown(parent);
        up->setObjectName(QString::fromStdString(s.updown));
        up->setGeometry(s.x + s.width, s.y, UpDownWidth, EditHeight);
        up->setRange(s.min, s.max);
        up->setIncrement(s.step);
        up->setThousands(s.grouping);
        up->setBuddy(edit);
        up->setPosition(s.initial);
        edit->installEventFilter(this);
        pairs_.push_back({&s, edit, up});
    }
    findChild<UpDown*>("UpDownGas1")->installEventFilter(this);
}

void TFormHlav::buildMenus() {
    menuBar()->setObjectName("MainMenu1");
    QHash<QString, QMenu*> menus;
    for (const MenuSpec& m : menuTable()) {
        const QString name = QString::fromLatin1(m.name);
        if (name.isEmpty()) {
            QMenu* menu = menuBar()->addMenu(qs(m.caption));
            menu->setObjectName(m.menu);
            menu->setFont(font());
            menu->setProperty(HintProperty, qs(m.hint));
            menus.insert(m.menu, menu);
            continue;
        }
        QMenu* menu = menus.value(m.menu);
        QAction* a = m.separator ? menu->addSeparator() : menu->addAction(qs(m.caption));
        a->setObjectName(name);
        if (*m.shortcut != '\0') a->setShortcut(QKeySequence(QString::fromLatin1(m.shortcut)));
        a->setProperty(HintProperty, qs(m.hint));
        if (name.startsWith("MenuCom") || name == "MenuEnglish" || name == "MenuCzech" ||
            name == "MenuGerman") {
            a->setCheckable(true);
        }
        a->setChecked(name == "MenuCom2" || name == "MenuEnglish");
    }
    for (int i = 0; i < 6; ++i)
        comItems_[static_cast<std::size_t>(i)] =
            findChild<QAction*>(QString("MenuCom%1").arg(i + 1));
    const char* const names[] = {"MenuFile",  "MenuCom",      "MenuDevice",
                                 "MenuTools", "MenuLanguage", "MenuHelp"};
    for (std::size_t i = 0; i < menus_.size(); ++i) menus_[i] = menus.value(names[i]);
}

QMenu* TFormHlav::menu(MainMenu which) const {
    return menus_[static_cast<std::size_t>(which)];
}

void TFormHlav::insertAddonMenu(AddonMenu which, QMenu* added) {
    addonMenus_[static_cast<std::size_t>(which)] = added;
    // Before the first menu that follows it and is there.
    std::vector<QMenu*> after;
    if (which == AddonMenu::Edit) after.push_back(addonMenus_[1]);
    if (which != AddonMenu::Log) after.push_back(menu(MainMenu::Com));
    if (which == AddonMenu::Log) after.push_back(menu(MainMenu::Language));
    QAction* before = nullptr;
    for (QMenu* m : after) {
        if (m != nullptr && before == nullptr) before = m->menuAction();
    }
    menuBar()->insertMenu(before, added);
}

QAction* TFormHlav::comAction(int port) const {
    return port >= 1 && port <= 6 ? comItems_[static_cast<std::size_t>(port - 1)] : nullptr;
}

QWidget* TFormHlav::page(Page which) const {
    return pages_->widget(static_cast<int>(which));
}

QLineEdit* TFormHlav::paramEdit(Param p) const {
    for (const Pair& pair : pairs_) {
        if (pair.spec->param == p) return pair.edit;
    }
    return nullptr;
}

QCheckBox* TFormHlav::flagBox(Param p) const {
    for (const FlagBox& f : flags_) {
        if (f.param == p) return f.box;
    }
    return nullptr;
}

void TFormHlav::wireHandlers() {
    auto action = [this](const char* name) { return findChild<QAction*>(name); };
    auto button = [this](const char* name) { return findChild<QAbstractButton*>(name); };
    auto both = [&](const char* item, const char* btn, void (TFormHlav::*slot)()) {
        if (item != nullptr) connect(action(item), &QAction::triggered, this, slot);
        if (btn != nullptr) connect(button(btn), &QAbstractButton::clicked, this, slot);
    };
    both("MenuNew", "SpeedButton6", &TFormHlav::MenuNewClick);
    both("MenuOpen", "SpeedButton5", &TFormHlav::MenuOpenClick);
    both("MenuSave", "SpeedButton7", &TFormHlav::MenuSaveClick);
    both("MenuPrint", "SpeedButtonPrint", &TFormHlav::SpeedButtonPrintClick);
    both("MenuExit", nullptr, &TFormHlav::MenuExitClick);
    both("MenuRead", "Button1", &TFormHlav::MenuReadClick);
    both("MenuVerify", "BitBtn2", &TFormHlav::MenuVerifyClick);
    both("MenuProgram", "BitBtn1", &TFormHlav::MenuProgramClick);
    both("CurveMinus", "BitBtnIgnMinus", &TFormHlav::CurveMinusClick);
    both("CurvePlus", "BitBtnIgnPlus", &TFormHlav::CurvePlusClick);
    both("JetMinus", "BitBtnJetMinus", &TFormHlav::ButtonJetMinusClick);
    both("JetPlus", "BitBtnJetPlus", &TFormHlav::ButtonJetPlusClick);
    both(nullptr, "BitBtnTps0", &TFormHlav::BitBtnTps0Click);
    both(nullptr, "BitBtnTps100", &TFormHlav::BitBtnTps100Click);
    both("MenuEnglish", nullptr, &TFormHlav::MenuEnglishClick);
    both("MenuCzech", nullptr, &TFormHlav::MenuCzechClick);
    both("MenuGerman", nullptr, &TFormHlav::MenuGermanClick);
    both("MenuContens", nullptr, &TFormHlav::MenuContensClick);
    both("MenuAbout", nullptr, &TFormHlav::MenuAboutClick);
    for (int i = 0; i < 6; ++i)
        connect(comItems_[static_cast<std::size_t>(i)], &QAction::triggered, this,
                [this, i] { MenuCom1Click(i + 1); });
    for (int k = 1; k <= 10; ++k) {
        auto* spin = findChild<SpinButton*>(QString("CSpinButton%1").arg(k));
        connect(spin, &SpinButton::upClick, this, [this, k] { CSpinButtonUpClick(k); });
        connect(spin, &SpinButton::downClick, this, [this, k] { CSpinButtonDownClick(k); });
    }
    connect(models_, &QComboBox::activated, this, &TFormHlav::ComboBox1Change);
    // These four follow their box whenever its state changes, by a click or by show.
    connect(gas_, &QCheckBox::toggled, this, &TFormHlav::CheckBoxGasClick);
    connect(zakazCteni_, &QCheckBox::toggled, this, &TFormHlav::CheckBoxZakazCteniClick);
    connect(extMonitor_, &QCheckBox::toggled, this, &TFormHlav::CheckBoxExtMonitorClick);
    connect(progHned_, &QCheckBox::toggled, this, &TFormHlav::CheckBoxProgHnedClick);
    for (const Pair& p : pairs_)
        connect(p.updown, &UpDown::clicked, this, &TFormHlav::UpDown1Click);
}

// ---------------------------------------------------------------------------------------
// Start-up and shutdown.

void TFormHlav::FormCreate(const QStringList& arguments) {
    // 1. Hints go to the status bar.
    if (hints_ == nullptr) {
        hints_ = new HintRouter(this);
        qApp->installEventFilter(hints_);
        const auto menuHint = [this](QAction* a) {
            if (a == nullptr) return;
            QObject* owner = a->menu() != nullptr ? static_cast<QObject*>(a->menu()) : a;
            showStatusHint(longHint(owner->property(HintProperty).toString()));
        };
        connect(menuBar(), &QMenuBar::hovered, this, menuHint);
        for (QMenu* m : menuBar()->findChildren<QMenu*>()) {
            connect(m, &QMenu::hovered, this, menuHint);
            connect(m, &QMenu::aboutToShow, this, [menuHint, m] { menuHint(m->menuAction()); });
        }
    }

    // 2., 3. The seventh model and its default calibration.
    cal_[Klicovani] = 6;
    setDefaultCalibration(cal_);

    // 4. Centre the window; the division truncates towards zero.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize s = screen->geometry().size();
        const QSize w = frameGeometry().size();
        move((s.width() - w.width()) / 2, (s.height() - w.height()) / 2);
    }

    // 5. The settings file, with what steps 2 to 4 set as the defaults.
    WindowSettings ws;
    ws.left = x();
    ws.top = y();
    ws.comPort = ComPort;
    ws.language = Language;
    ws.file.clear();
    ws.iniDir.clear();
    ws.activePage = 1;
    loadSettings(*store_, ws, cal_);
    move(ws.left, ws.top);
    ComPort = ws.comPort;
    Language = ws.language;
    file2_->setText(QString::fromStdString(ws.file));
    setLastFilePath(ws.iniDir);
    pages_->setCurrentIndex(ws.activePage >= 2 && ws.activePage <= 5 ? ws.activePage - 1 : 0);
    portMap_ = loadPortMap(*store_);

    // 6. The per-model values of the model now loaded.
    applyModelTable(cal_);

    // 7. Only an exact first argument names a language.
    if (!arguments.isEmpty()) {
        const QString& first = arguments.first();
        if (first == "ENGLISH")
            Language = 1;
        else if (first == "CESKY")
            Language = 0;
        else if (first == "DEUTSCH")
            Language = 2;
    }

    // 8. - 12.
    showParams();
    OpenPort();
    setComChecks();
    applyLanguage(Language);
    hideExchangeIndicators();
    created_ = true;
}

void TFormHlav::FormClose() {
    shutdown(false);
}

void TFormHlav::closeWithoutAsking() {
    mustClose_ = true;
    close();
}

bool TFormHlav::shutdown(bool mayAsk) {
    if (closed_) return true;
    if (closing_) return false; // asked again while the user is being asked
    closing_ = true;
    timer_->stop();
    port_.close();
    readControls();
    clamp(cal_);
    emit settingsAboutToBeSaved();
    for (;;) {
        const WriteResult r = writeSettings();
        if (r.ok) {
            emit settingsSaved();
            break;
        }
        QString text = QString("The settings could not be saved to the file %1")
                           .arg(QString::fromStdString(r.path));
        if (!r.error.empty()) text += QString(":\n%1").arg(QString::fromStdString(r.error));
        SaveFailedChoice choice = SaveFailedChoice::CloseAnyway;
        if (mayAsk && !mustClose_ && askSaveFailed) choice = askSaveFailed(text);
        // A termination signal while the question was open cannot wait for an answer.
        if (mustClose_) choice = SaveFailedChoice::CloseAnyway;
        if (choice == SaveFailedChoice::Retry) continue;
        if (choice == SaveFailedChoice::KeepOpen) {
            closing_ = false;
            OpenPort();
            timer_->start();
            return false;
        }
        std::fprintf(stderr, "velmora52: %s\n", text.toLocal8Bit().constData());
        break;
    }
    closing_ = false;
    closed_ = true;
    return true;
}

WriteResult TFormHlav::writeSettings() {
    WindowSettings ws;
    ws.left = x();
    ws.top = y();
    ws.comPort = ComPort;
    ws.language = Language;
    ws.file = file2_->text().toStdString();
    ws.iniDir = lastFile_;
    ws.activePage = static_cast<std::uint8_t>(activePageNumber());
    return saveSettings(*store_, ws, cal_);
}

void TFormHlav::closeEvent(QCloseEvent* event) {
    // Exit and the close button ask when the settings cannot be written; a signal does not.
    if (shutdown(!mustClose_))
        event->accept();
    else
        event->ignore();
}

int TFormHlav::activePageNumber() const {
    const QWidget* current = pages_->currentWidget();
    for (int i = 0; i < 4; ++i) {
        if (current == pages_->widget(i)) return i + 1;
    }
    return 5;
}

void TFormHlav::setLastFilePath(const std::string& path) {
    lastFile_ = path;
    const QString name = QString::fromStdString(path);
    if (openDialog_ != nullptr) openDialog_->selectFile(name);
    if (saveDialog_ != nullptr) saveDialog_->selectFile(name);
}

QFileDialog* TFormHlav::openDialog() {
    if (openDialog_ == nullptr) {
        openDialog_ = new QFileDialog(this);
        openDialog_->setObjectName("OpenDialog1");
        openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
        openDialog_->setFileMode(QFileDialog::ExistingFile);
        openDialog_->setDefaultSuffix(DefaultExtension);
        QStringList filters;
        for (const std::string& f : nameFilters(OpenFilter)) filters << QString::fromStdString(f);
        openDialog_->setNameFilters(filters);
        // Until start-up presets the last file, the design name is a single blank.
        openDialog_->selectFile(created_ ? QString::fromStdString(lastFile_) : QString(" "));
    }
    return openDialog_;
}

QFileDialog* TFormHlav::saveDialog() {
    if (saveDialog_ == nullptr) {
        saveDialog_ = new QFileDialog(this);
        saveDialog_->setObjectName("SaveDialog1");
        saveDialog_->setAcceptMode(QFileDialog::AcceptSave);
        saveDialog_->setDefaultSuffix(DefaultExtension);
        QStringList filters;
        for (const std::string& f : nameFilters(SaveFilter)) filters << QString::fromStdString(f);
        saveDialog_->setNameFilters(filters);
        saveDialog_->selectFile(QString::fromStdString(lastFile_));
    }
    return saveDialog_;
}

// ---------------------------------------------------------------------------------------
// The binding.

void TFormHlav::readControls() {
    for (std::size_t i = 0; i < PairsBeforeFlags; ++i) {
        const Pair& p = pairs_[i];
        cal_[p.spec->param] = toStored(*p.spec, p.updown->readPosition());
    }
    const int model = models_->currentIndex();
    cal_[Klicovani] = model < 0 ? 255 : static_cast<std::uint8_t>(model);
    for (const FlagBox& f : flags_) cal_[f.param] = f.box->isChecked() ? 1 : 0;
    aktN2o_->setVisible(cal_[GasEnable] != 0);
    for (std::size_t i = PairsBeforeFlags; i < pairs_.size(); ++i) {
        const Pair& p = pairs_[i];
        cal_[p.spec->param] = toStored(*p.spec, p.updown->readPosition());
    }
}

void TFormHlav::showParams() {
    for (const Pair& p : pairs_) p.updown->setPosition(toDisplay(*p.spec, cal_[p.spec->param]));
    models_->setCurrentIndex(cal_[Klicovani] < ModelCount ? cal_[Klicovani] : -1);
    // Setting CheckBoxGas, CheckBoxZakazCteni or CheckBoxExtMonitor runs its handler when the
    // state changes.
    for (const FlagBox& f : flags_) f.box->setChecked(cal_[f.param] != 0);
    colourFlagBox(zakazCteni_, cal_[ZakazCteni] != 0);
    const bool gas = cal_[GasEnable] != 0;
    aktN2o_->setVisible(gas);
    groupGas_->setVisible(gas);
    groupRetard_->setVisible(gas);
    // Empty until the unit has given its identification: a design text would pass for a unit's.
    verze_[0]->setText(QString::fromStdString(utf8FromCp1250(ident_.program)));
    verze_[1]->setText(QString::fromStdString(utf8FromCp1250(ident_.date)));
    verze_[2]->setText(QString::fromStdString(utf8FromCp1250(ident_.time)));
    for (QLabel* l : verze_) l->adjustSize();
}

void TFormHlav::afterChange(const Change& change) {
    clamp(cal_);
    showParams();
    pack(cal_, image_);
    if (ProgHned) {
        link_.exchange().startProgram();
        renderExchange();
    }
    emit calibrationCommitted(change);
}

Change TFormHlav::changeBy(const QObject* control) const {
    for (const Pair& p : pairs_)
        if (control != nullptr && (p.edit == control || p.updown == control))
            return Change::of(p.spec->param);
    return {};
}

void TFormHlav::commitControls(const Change& change) {
    emit calibrationCommitted(change);
}

bool TFormHlav::eventFilter(QObject* watched, QEvent* event) {
    if (closed_ || closing_) return false;
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching to another window or opening a menu does not leave the box.
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
        committing_ = watched;
        if (watched->objectName() == "UpDownGas1") {
            Edit1Exit();
            committing_ = nullptr;
            return false;
        }
        for (const Pair& p : pairs_) {
            if (p.edit == watched) {
                if (p.spec->commit == Commit::Exit) Edit1Exit();
                break;
            }
        }
        committing_ = nullptr;
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        committing_ = watched;
        for (const Pair& p : pairs_) {
            if (p.edit == watched) {
                if (p.spec->commit == Commit::Click) Edit1Exit();
                break;
            }
        }
        committing_ = nullptr;
    }
    return false;
}

void TFormHlav::Edit1Exit() {
    readControls();
    afterChange(changeBy(committing_));
}

void TFormHlav::UpDown1Click() {
    readControls();
    afterChange(changeBy(sender()));
}

// ---------------------------------------------------------------------------------------
// Commands.

void TFormHlav::hideExchangeIndicators() {
    ExchangeView& v = link_.exchange().view();
    v.messageVisible = false;
    v.progressVisible = false;
    renderExchange();
}

void TFormHlav::MenuNewClick() {
    setDefaultCalibration(cal_);
    showParams();
    hideExchangeIndicators();
    Change change = Change::command(lang::HistoryText::StepNew);
    change.replacing = SnapshotKind::BeforeNew;
    emit calibrationCommitted(change);
}

void TFormHlav::MenuOpenClick() {
    QFileDialog* dialog = openDialog();
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
        openParameters(dialog->selectedFiles().first());
    } else {
        hideExchangeIndicators();
    }
}

bool TFormHlav::openParameters(const QString& path) {
    const std::string name = QFile::encodeName(path).toStdString();
    bool ok = false;
    // Only a plain file: a device or a pipe could block the window or never end.
    if (QFileInfo(path).isFile()) {
        Calibration next = cal_;
        ok = openParamFile(name, next);
        if (ok && next == cal_) {
            // Nothing changed: either the file holds these very values or no key at all.
            // Reading it over the opposite of every value tells the two apart.
            Calibration probe = cal_;
            for (std::uint8_t& b : probe.v) b = static_cast<std::uint8_t>(~b);
            const Calibration before = probe;
            if (openParamFile(name, probe) && probe == before) {
                messageBox(QString("The file %1 holds no parameters.").arg(path));
                hideExchangeIndicators();
                return false;
            }
        }
        if (ok) cal_ = next;
    }
    if (!ok) {
        messageBox(OpenFileError);
    } else {
        clamp(cal_);
        showParams();
        file2_->setText(path);
        setLastFilePath(path.toStdString());
        Change change = Change::command(lang::HistoryText::StepOpen, 0,
                                        QFileInfo(path).fileName().toStdString());
        change.replacing = SnapshotKind::BeforeOpen;
        change.fileStored = true;
        emit calibrationCommitted(change);
    }
    hideExchangeIndicators();
    return ok;
}

void TFormHlav::MenuSaveClick() {
    QFileDialog* dialog = saveDialog();
    dialog->selectNameFilter(dialog->nameFilters().value(0));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
    saveParameters(dialog->selectedFiles().first());
}

bool TFormHlav::saveParameters(const QString& path) {
    if (!canCreateOrOpen(path)) {
        messageBox(OpenFileError);
        return false;
    }
    readControls();
    clamp(cal_);
    showParams();
    // The file is replaced only once the new one is wholly written, so a failed write keeps
    // the previous file.
    const WriteResult r = saveParamFile(QFile::encodeName(path).toStdString(), cal_);
    if (!r.ok) {
        QString text = QString("The file %1 could not be written").arg(path);
        if (!r.error.empty()) text += QString(":\n%1").arg(QString::fromStdString(r.error));
        messageBox(text);
        return false;
    }
    file2_->setText(path);
    setLastFilePath(path.toStdString());
    Change saved; // named by the values typed since the last step, if any
    saved.fileStored = true;
    emit calibrationCommitted(saved);
    return true;
}

QImage TFormHlav::clientPicture() {
    const int top = menuBar()->geometry().bottom() + 1;
    return grab(QRect(0, top, width(), height() - top)).toImage();
}

void TFormHlav::SpeedButtonPrintClick() {
    Exchange& exchange = link_.exchange();
    ExchangeView& v = exchange.view();
    v.messageColour = Colour::BtnFace;
    if (const char* prefix = printStampPrefix(Language)) {
        const QLocale locale = QLocale::system();
        const QDateTime now = QDateTime::currentDateTime();
        const QString stamp = QString::fromUtf8(prefix) +
                              locale.toString(now.date(), QLocale::ShortFormat) + "    " +
                              locale.toString(now.time(), longTimeFormat(locale));
        v.messageText = stamp.toStdString();
        v.message.reset(); // a language switch does not turn the stamp into an exchange message
    }
    exchange.restartMessageCountdown();
    v.messageVisible = true;
    v.progressVisible = false;
    renderExchange();
    // The picture keeps the window's own background.
    const PrintOutcome outcome =
        printJob ? printJob(clientPicture()) : PrintOutcome{false, "There is no printer"};
    v.messageVisible = false;
    renderExchange();
    if (!outcome.ok) messageBox(QString::fromStdString(outcome.error));
}

QString TFormHlav::manualPath(std::uint8_t language) const {
    const QString name = QString::fromStdString(lang::manualFileName(language));
    if (name.isEmpty()) return {};
    for (const QString& folder : manualFolders) {
        const QString path = QDir::cleanPath(QDir(folder).filePath(name));
        if (QFileInfo(path).isFile()) return path;
    }
    return manualFolders.isEmpty() ? name
                                   : QDir::cleanPath(QDir(manualFolders.first()).filePath(name));
}

void TFormHlav::MenuContensClick() {
    if (Language > 2) return;
    const QString path = manualPath(Language);
    const auto problem = [&](lang::ManualProblem p) {
        showStatusHint(qs(lang::manualProblemText(p, Language)).arg(path));
    };
    if (!QFileInfo(path).isFile()) {
        problem(lang::ManualProblem::Missing);
        return;
    }
    if (openUrl && !openUrl(QUrl::fromLocalFile(path))) problem(lang::ManualProblem::NoApplication);
}

void TFormHlav::MenuAboutClick() {
    messageBox(QString::fromStdString(lang::aboutText(Language, __DATE__, __TIME__)));
}

void TFormHlav::MenuExitClick() {
    close();
}

void TFormHlav::MenuCom1Click(int port) {
    ComPort = static_cast<std::uint8_t>(port);
    setComChecks();
    port_.close();
    OpenPort();
}

void TFormHlav::OpenPort() {
    if (port_.open(ComPort, portMap_) == OpenResult::Failed)
        reportOpenFailure ? reportOpenFailure() : messageBox(ComOpeningError);
}

void TFormHlav::setComChecks() {
    for (int i = 0; i < 6; ++i)
        comItems_[static_cast<std::size_t>(i)]->setChecked(ComPort == i + 1);
}

void TFormHlav::MenuReadClick() {
    link_.exchange().startRead();
    renderExchange();
}

void TFormHlav::MenuVerifyClick() {
    readControls();
    clamp(cal_);
    showParams();
    pack(cal_, image_);
    emit calibrationCommitted({}); // values typed since the last step
    link_.exchange().startVerify();
    renderExchange();
}

void TFormHlav::MenuProgramClick() {
    readControls();
    clamp(cal_);
    showParams();
    pack(cal_, image_);
    emit calibrationCommitted({});
    link_.exchange().startProgram();
    renderExchange();
}

void TFormHlav::CurveMinusClick() {
    readControls();
    advanceMinus(cal_);
    afterChange(Change::command(lang::HistoryText::StepCurveMinus));
}

void TFormHlav::CurvePlusClick() {
    readControls();
    advancePlus(cal_);
    afterChange(Change::command(lang::HistoryText::StepCurvePlus));
}

void TFormHlav::ButtonJetMinusClick() {
    readControls();
    injectionMinus(cal_);
    afterChange(Change::command(lang::HistoryText::StepJetMinus));
}

void TFormHlav::ButtonJetPlusClick() {
    readControls();
    injectionPlus(cal_);
    afterChange(Change::command(lang::HistoryText::StepJetPlus));
}

void TFormHlav::CSpinButtonDownClick(int k) {
    readControls();
    columnMinus(cal_, k - 1);
    afterChange(Change::command(lang::HistoryText::StepColumnMinus, k));
}

void TFormHlav::CSpinButtonUpClick(int k) {
    readControls();
    columnPlus(cal_, k - 1);
    afterChange(Change::command(lang::HistoryText::StepColumnPlus, k));
}

void TFormHlav::BitBtnTps0Click() {
    if (setTps0(cal_, link_.monitor().values().TpsVoltage))
        afterChange(Change::command(lang::HistoryText::StepTps0));
}

void TFormHlav::BitBtnTps100Click() {
    if (setTps100(cal_, link_.monitor().values().TpsVoltage))
        afterChange(Change::command(lang::HistoryText::StepTps100));
}

void TFormHlav::ComboBox1Change(int index) {
    cal_[Klicovani] = index < 0 ? 255 : static_cast<std::uint8_t>(index);
    applyModelTable(cal_);
    showParams();
    Change change =
        Change::command(lang::HistoryText::StepModel, 0, displayText(Klicovani, cal_, Language));
    change.replacing = SnapshotKind::BeforeModel;
    emit calibrationCommitted(change);
}

void TFormHlav::setGasVisibility(bool visible) {
    groupGas_->setVisible(visible);
    groupRetard_->setVisible(visible);
    monitorLabels_[static_cast<std::size_t>(MonitorLabel::N2oEnable)]->setVisible(visible);
    aktN2o_->setVisible(visible);
}

void TFormHlav::CheckBoxGasClick() {
    cal_[GasEnable] = gas_->isChecked() ? 1 : 0;
    setGasVisibility(cal_[GasEnable] != 0);
}

void TFormHlav::CheckBoxProgHnedClick() {
    ProgHned = progHned_->isChecked();
    colourFlagBox(progHned_, ProgHned);
}

void TFormHlav::CheckBoxZakazCteniClick() {
    cal_[ZakazCteni] = zakazCteni_->isChecked() ? 1 : 0;
    colourFlagBox(zakazCteni_, cal_[ZakazCteni] != 0);
}

void TFormHlav::CheckBoxExtMonitorClick() {
    cal_[ExtMonitor] = extMonitor_->isChecked() ? 1 : 0;
    monitorLabels_[static_cast<std::size_t>(MonitorLabel::PocetProgramovani)]->setVisible(
        cal_[ExtMonitor] != 0);
}

void TFormHlav::Timer1Timer() {
    link_.tick();
    renderExchange();
    emit ticked();
}

// ---------------------------------------------------------------------------------------
// What the link shows.

void TFormHlav::setFill(QWidget* w, int colour) {
    if (w->property(FillProperty).isValid() && w->property(FillProperty).toInt() == colour) return;
    w->setProperty(FillProperty, colour);
    if (colour == NoFill) {
        w->setAutoFillBackground(false);
        return;
    }
    QPalette pal = w->palette();
    // A check box fills with the button colour, a label with the window colour.
    pal.setColor(w->backgroundRole(), colourOf(static_cast<Colour>(colour)));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

void TFormHlav::colourFlagBox(QCheckBox* box, bool set) {
    setFill(box, static_cast<int>(set ? Colour::Red : Colour::BtnFace));
}

void TFormHlav::renderExchange() {
    const ExchangeView& v = link_.exchange().view();
    if (!v.messageText.empty()) {
        hlaseni_->setText(qs(v.messageText));
        hlaseni_->adjustSize();
    }
    setFill(hlaseni_, static_cast<int>(v.messageColour));
    hlaseni_->setVisible(v.messageVisible);
    progress_->setMaximum(v.progressMax);
    progress_->setValue(v.progressPosition < v.progressMax ? v.progressPosition : v.progressMax);
    progress_->setVisible(v.progressVisible);
    if (!v.noConnectionText.empty() && spojeni_->text() != qs(v.noConnectionText)) {
        spojeni_->setText(qs(v.noConnectionText));
        spojeni_->adjustSize();
    }
    spojeni_->setVisible(v.noConnectionVisible);
}

void TFormHlav::renderMonitor() {
    const MonitorView& v = link_.monitor().view();
    for (std::size_t i = 0; i < MonitorLabelCount; ++i) {
        const MonitorLine& line = v.lines[i];
        QLabel* l = monitorLabels_[i];
        if (line.text) {
            l->setText(qs(*line.text));
            l->adjustSize();
        }
        if (line.colour) setFill(l, static_cast<int>(*line.colour));
        if (line.visible) l->setVisible(*line.visible);
    }
    const auto place = [](QLabel* l, const BarRect& r) {
        l->setGeometry(r.left, l->y(), r.width, l->height());
        l->setVisible(r.visible);
    };
    for (std::size_t i = 0; i < lambdaBars_.size(); ++i) place(lambdaBars_[i], v.lambdaBar[i]);
    for (std::size_t i = 0; i < tpsBars_.size(); ++i) place(tpsBars_[i], v.tpsBar[i]);
}

void TFormHlav::applyCalibration(const Calibration& cal, const Image* image) {
    if (image != nullptr) {
        image_ = *image;
        ident_ = rebuildIdentification(image_);
    }
    cal_ = cal;
    if (ProgHned) {
        afterChange();
        return;
    }
    showParams();
    pack(cal_, image_);
}

} // namespace velmora::ui
