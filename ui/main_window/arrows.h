// The two small arrow controls of the window: the up-down attached to an edit box, and the
// free-standing spin button under each column of the injection map.
#pragma once

#include <QTimer>
#include <QWidget>

class QLineEdit;

namespace velmora::ui {

// An up and a down arrow stacked in one narrow control. Pressing an arrow acts once at
// once and then repeats while the button is held over it.
class ArrowPair : public QWidget {
    Q_OBJECT
public:
    explicit ArrowPair(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {15, 21}; }

protected:
    // +1 for the up arrow, -1 for the down arrow.
    virtual void arrowAction(int direction) = 0;

    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    int arrowAt(const QPoint& p) const;
    void repeat();

    int pressed_ = 0; // the arrow held down, 0 when none
    bool over_ = false;
    QTimer repeat_;
};

// An up-down with its edit box as associate: its position is what the box shows, the arrows
// (and the arrow keys in the box) step it by the increment within minimum..maximum without
// wrapping, and typed text becomes the position only when it is a whole number in range.
class UpDown : public ArrowPair {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    void setBuddy(QLineEdit* edit);
    QLineEdit* buddy() const { return buddy_; }
    void setRange(int min, int max);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void setIncrement(int step) { step_ = step; }
    int increment() const { return step_; }
    void setThousands(bool on) { thousands_ = on; }
    bool thousands() const { return thousands_; }

    // The position as last set or taken; the box may hold other text meanwhile.
    int position() const { return position_; }
    // Sets the position, limited to the range, and writes it into the box.
    void setPosition(int value);
    // Takes the box's text as the position when it is a whole number within the range;
    // otherwise the position stays. Returns the position either way.
    int readPosition();
    // What a click on an arrow does: take the box's text, step, write the box, then emit
    // clicked, also when a limit kept the position where it was.
    void stepBy(int direction);

signals:
    void clicked(int direction);

protected:
    void arrowAction(int direction) override { stepBy(direction); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* buddy_ = nullptr;
    int min_ = 0, max_ = 100, step_ = 1, position_ = 0;
    bool thousands_ = true;
};

// A spin button with separate up and down events and no value of its own.
class SpinButton : public ArrowPair {
    Q_OBJECT
public:
    explicit SpinButton(QWidget* parent = nullptr) : ArrowPair(parent) {}
    QSize sizeHint() const override { return {20, 30}; }

    void clickUp() { emit upClick(); }
    void clickDown() { emit downClick(); }

signals:
    void upClick();
    void downClick();

protected:
    void arrowAction(int direction) override { direction > 0 ? clickUp() : clickDown(); }
};

} // namespace velmora::ui
