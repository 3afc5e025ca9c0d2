#include "ui/main_window/arrows.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "ui/main_window/number_text.h"

namespace velmora::ui {

namespace {
constexpr int FirstRepeatMs = 400;
constexpr int RepeatMs = 80;
} // namespace

ArrowPair::ArrowPair(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    repeat_.setSingleShot(false);
    connect(&repeat_, &QTimer::timeout, this, &ArrowPair::repeat);
}

int ArrowPair::arrowAt(const QPoint& p) const {
    if (!rect().contains(p)) return 0;
    return p.y() < height() / 2 ? 1 : -1;
}

void ArrowPair::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int half = height() / 2;
    const QRect up(0, 0, width(), half);
    const QRect down(0, half, width(), height() - half);
    for (int dir : {1, -1}) {
        QStyleOptionButton button;
        button.initFrom(this);
        button.rect = dir > 0 ? up : down;
        const bool sunken = pressed_ == dir && over_;
        button.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &button, &p, this);
        QStyleOption arrow;
        arrow.initFrom(this);
        arrow.rect = button.rect.adjusted(2, 1, -2, -1);
        if (sunken) arrow.rect.translate(1, 1);
        style()->drawPrimitive(dir > 0 ? QStyle::PE_IndicatorArrowUp
                                       : QStyle::PE_IndicatorArrowDown,
                               &arrow, &p, this);
    }
}

void ArrowPair::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    pressed_ = arrowAt(e->position().toPoint());
    if (pressed_ == 0) return;
    over_ = true;
    update();
    repeat_.start(FirstRepeatMs);
    arrowAction(pressed_);
}

void ArrowPair::mouseMoveEvent(QMouseEvent* e) {
    if (pressed_ == 0) return;
    const bool over = arrowAt(e->position().toPoint()) == pressed_;
    if (over != over_) {
        over_ = over;
        update();
    }
}

void ArrowPair::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    pressed_ = 0;
    repeat_.stop();
    update();
}

void ArrowPair::repeat() {
    repeat_.setInterval(RepeatMs);
    if (pressed_ != 0 && over_) arrowAction(pressed_);
}

UpDown::UpDown(QWidget* parent) : ArrowPair(parent) {}

void UpDown::setBuddy(QLineEdit* edit) {
    if (buddy_ != nullptr) buddy_->removeEventFilter(this);
    buddy_ = edit;
    if (buddy_ != nullptr) buddy_->installEventFilter(this);
}

void UpDown::setRange(int min, int max) {
    min_ = min;
    max_ = max;
    if (position_ < min_) position_ = min_;
    if (position_ > max_) position_ = max_;
}

void UpDown::setPosition(int value) {
    position_ = value < min_ ? min_ : (value > max_ ? max_ : value);
    if (buddy_ != nullptr) buddy_->setText(formatPosition(position_, thousands_));
}

int UpDown::readPosition() {
    if (buddy_ != nullptr) {
        if (auto typed = parsePosition(buddy_->text(), thousands_, min_, max_)) position_ = *typed;
    }
    return position_;
}

void UpDown::stepBy(int direction) {
    // Clicking an arrow puts the focus into the associated box, as a click into it would.
    if (buddy_ != nullptr && !buddy_->hasFocus() && buddy_->isVisible())
        buddy_->setFocus(Qt::MouseFocusReason);
    readPosition();
    setPosition(position_ + (direction > 0 ? step_ : -step_));
    emit clicked(direction);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            stepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return false;
}

} // namespace velmora::ui
