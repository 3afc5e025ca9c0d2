// The window's texts in the three languages, its hints and tooltips.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>

#include <algorithm>

#include "lang/system_errors.h"
#include "lang/text_sets.h"
#include "ui/main_window/form_hlav.h"
#include "ui/main_window/form_shared.h"

namespace velmora::ui {

QString longHint(const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.mid(bar + 1);
}

QString shortHint(const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.left(bar);
}

QString failureText(const std::string& path, int error, std::uint8_t language) {
    return QString::fromStdString(path) + ": " +
           QString::fromUtf8(lang::systemErrorText(error, language));
}

void setCaption(QObject* o, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(o)) {
        label->setText(text);
        if (label->property(AutoSizeProperty).toBool()) label->adjustSize();
    } else if (auto* button = qobject_cast<QAbstractButton*>(o)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(o)) {
        group->setTitle(text);
    } else if (auto* menu = qobject_cast<QMenu*>(o)) {
        menu->setTitle(text);
    } else if (auto* action = qobject_cast<QAction*>(o)) {
        action->setText(text);
    }
}

HintRouter::HintRouter(TFormHlav* form) : QObject(form), form_(form) {}

bool HintRouter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type t = event->type();
    if (t != QEvent::Enter && t != QEvent::Leave) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (w == nullptr || w->window() != form_) return false;
    // While a menu opens or is open, its titles and items say what the status bar shows.
    if (QApplication::activePopupWidget() != nullptr || form_->menuBar()->activeAction())
        return false;
    // Leaving a control puts the mouse back over its parent.
    form_->showStatusHint(form_->effectiveHint(t == QEvent::Enter ? w : w->parentWidget()));
    return false;
}

namespace {

class FormTextSink : public lang::TextSetSink {
public:
    FormTextSink(TFormHlav& form, QTabWidget* pages, std::uint8_t& language)
        : form_(form), pages_(pages), language_(language) {}

    void setChecked(std::string_view item, bool checked) override {
        if (auto* a = form_.findChild<QAction*>(qs(item))) a->setChecked(checked);
    }
    void setLanguage(std::uint8_t language) override { language_ = language; }
    void setWindowCaption(std::string_view caption) override { form_.setWindowTitle(qs(caption)); }
    void setText(const lang::TextEntry& e) override {
        QObject* o = form_.findChild<QObject*>(qs(e.objectName));
        if (o == nullptr) return;
        switch (e.target) {
        case lang::TextTarget::MenuCaption:
        case lang::TextTarget::ControlCaption:
            setCaption(o, qs(e.text));
            break;
        case lang::TextTarget::TabCaption:
            if (auto* page = qobject_cast<QWidget*>(o)) {
                const int index = pages_->indexOf(page);
                if (index >= 0) pages_->setTabText(index, qs(e.text));
            }
            break;
        case lang::TextTarget::MenuHint:
        case lang::TextTarget::ControlHint:
            o->setProperty(HintProperty, qs(e.text));
            break;
        }
    }

private:
    TFormHlav& form_;
    QTabWidget* pages_;
    std::uint8_t& language_;
};

} // namespace

void TFormHlav::applyLanguage(int language) {
    FormTextSink sink(*this, pages_, Language);
    if (lang::applyTextSet(language, sink)) {
        refreshToolTips();
        placeModeBoxes();
    }
    emit textsApplied();
}

void TFormHlav::placeModeBoxes() {
    // Right of the tab row; the longer captions move CheckBoxProgHned left, not past the edge.
    zakazCteni_->adjustSize();
    progHned_->adjustSize();
    const int right = ClientWidth - 2;
    int x = 487;
    if (x + progHned_->width() > right) x = right - progHned_->width();
    if (x < zakazCteni_->x() + zakazCteni_->width() + 2)
        x = zakazCteni_->x() + zakazCteni_->width() + 2;
    progHned_->move(x, progHned_->y());
}

void TFormHlav::refreshToolTips() {
    for (QWidget* w : toolTipWidgets_) {
        QString hint;
        for (const QWidget* p = w; p != nullptr && p != this; p = p->parentWidget()) {
            hint = p->property(HintProperty).toString();
            if (!hint.isEmpty()) break;
        }
        w->setToolTip(shortHint(hint));
    }
}

QString TFormHlav::effectiveHint(const QWidget* w) const {
    for (; w != nullptr && w != this; w = w->parentWidget()) {
        const QString hint = w->property(HintProperty).toString();
        if (!hint.isEmpty()) return longHint(hint);
    }
    return {};
}

void TFormHlav::showStatusHint(const QString& text) {
    showStatusHint(text, {});
}

void TFormHlav::showStatusHint(const QString& text, const QString& detail) {
    QStatusBar* bar = statusBar();
    if (bar->currentMessage() != text) bar->showMessage(text);
    const bool cut = bar->fontMetrics().horizontalAdvance(text) > statusTextRoom();
    QString tip = cut ? text : QString();
    if (!detail.isEmpty()) tip += (tip.isEmpty() ? "" : "\n") + detail;
    if (bar->toolTip() != tip) bar->setToolTip(tip);
}

int TFormHlav::statusTextRoom() const {
    // The text starts a few pixels in and ends where the first field beside it begins.
    const QStatusBar* bar = statusBar();
    int right = bar->width();
    for (const QWidget* w : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(bar) && w->x() > 0) right = std::min(right, w->x());
    return right - 8;
}

QString TFormHlav::statusText() const {
    return statusBar()->currentMessage();
}

bool TFormHlav::event(QEvent* event) {
    // The status bar shows hints only; Qt's own status tips would overwrite them.
    if (event->type() == QEvent::StatusTip) return true;
    return QMainWindow::event(event);
}

} // namespace velmora::ui
