// The main window as the program assembles it, for the window tests: a private folder for the
// settings, the data and the logs, the window with every add-on, its components by name, and
// file helpers.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <Qt>

#include <functional>
#include <memory>

#include "ui/addons.h"

class QTemporaryDir;

namespace velmora::ui {
class TFormHlav;
} // namespace velmora::ui

namespace velmora::test {

QByteArray readAll(const QString& path);
void writeAll(const QString& path, const QByteArray& bytes); // stops the test when it cannot

// The access key of a caption ("&File": f), lower case; null when it has none.
QChar accessKey(const QString& caption);

// The component of `root` with this object name; stops the test when there is none.
template <class T> T* get(const QObject& root, const QString& name) {
    T* w = root.findChild<T*>(name);
    if (w == nullptr) qFatal("no component %s", qPrintable(name));
    return w;
}

class WindowFixture {
public:
    // Points XDG_CONFIG_HOME and XDG_DATA_HOME into a fresh private folder.
    WindowFixture();
    ~WindowFixture();
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    QString folder() const; // the private folder itself
    QString path(const QString& name) const;
    QString iniPath() const { return path(QStringLiteral("Velmora52.ini")); }
    void writeIni(const QString& text) const { writeAll(iniPath(), text.toUtf8()); }

    // Every add-on, or the port settings alone (the window as its own tests see it).
    enum class With { AddOns, Ports };
    // Builds the window on iniPath(), with the add-ons made as the program makes them (the
    // snapshots and the recovery file in dataFolder, the logs in path("logs")), and runs the
    // start-up. `beforeCreate` runs between the construction and FormCreate. Message boxes
    // land in `messages`. A window still running is stopped first.
    ui::TFormHlav& start(const QStringList& arguments = {}, With with = With::AddOns,
                         const std::function<void()>& beforeCreate = {});
    // The add-ons, then the window, go; nothing is saved.
    void stop();

    bool running() const { return form_ != nullptr; }
    ui::TFormHlav& form() const { return *form_; }
    ui::AddOns& addOns() const { return *addOns_; }
    template <class T> T* get(const QString& name) const { return test::get<T>(*form_, name); }
    // Shows the window and makes it the active one, as after the user's click on it.
    void activate() const;
    // A key of the window's shortcuts, with the window made active again after a dialog.
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}) const;

    QStringList messages;
    // Where the Edit menu keeps the snapshots and the recovery file.
    QString dataFolder;

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ui::TFormHlav> form_;
    std::unique_ptr<ui::AddOns> addOns_;
};

// The base of a window test: a fresh fixture for every test function and the window it started.
class WindowTest : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<WindowFixture> window_;
    ui::TFormHlav* form_ = nullptr;

    template <class T> T* get(const QString& name) const { return window_->get<T>(name); }

protected slots:
    void init() { window_ = std::make_unique<WindowFixture>(); }
    void cleanup() {
        form_ = nullptr;
        window_.reset();
    }
};

} // namespace velmora::test
