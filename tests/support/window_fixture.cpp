#include "window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "ui/addons.h"
#include "ui/log/log_menu.h"
#include "ui/main_window/form_hlav.h"

namespace velmora::test {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QChar accessKey(const QString& caption) {
    const qsizetype at = caption.indexOf('&');
    return at >= 0 && at + 1 < caption.size() ? caption[at + 1].toLower() : QChar();
}

WindowFixture::WindowFixture() : dir_(std::make_unique<QTemporaryDir>()) {
    if (!dir_->isValid()) qFatal("no temporary folder");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("share"))));
    dataFolder = path(QStringLiteral("data"));
}

WindowFixture::~WindowFixture() {
    stop();
}

QString WindowFixture::folder() const {
    return dir_->path();
}

QString WindowFixture::path(const QString& name) const {
    return dir_->filePath(name);
}

ui::TFormHlav& WindowFixture::start(const QStringList& arguments, With with,
                                    const std::function<void()>& beforeCreate) {
    stop();
    form_ = std::make_unique<ui::TFormHlav>(QFile::encodeName(iniPath()).toStdString());
    form_->messageBox = [this](const QString& m) { messages << m; };
    addOns_ = std::make_unique<ui::AddOns>(*form_, dataFolder,
                                           with == With::AddOns ? ui::AddOns::Scope::All
                                                                : ui::AddOns::Scope::Ports);
    if (beforeCreate) beforeCreate();
    form_->FormCreate(arguments);
    addOns_->started();
    if (addOns_->log() != nullptr) {
        ui::LogMenu& log = *addOns_->log();
        log.logsFolder = path(QStringLiteral("logs"));
        log.messageBox = [this](const QString& m) { messages << m; };
    }
    return *form_;
}

void WindowFixture::activate() const {
    form_->show();
    QApplication::setActiveWindow(form_.get());
    if (!QTest::qWaitForWindowActive(form_.get())) qWarning("window not active");
}

void WindowFixture::key(Qt::Key k, Qt::KeyboardModifiers modifiers) const {
    activate();
    QTest::keyClick(form_.get(), k, modifiers);
}

void WindowFixture::stop() {
    addOns_.reset();
    form_.reset();
}

} // namespace velmora::test
