// Dialog layouts are given in dialog units: a quarter of the average character width across, an
// eighth of the character height down, for the dialog's font.
#pragma once

#include <QAccessible>
#include <QFontMetrics>
#include <QLabel>
#include <QRect>
#include <QWidget>

namespace desktop {

class DialogUnits {
  public:
    explicit DialogUnits(const QWidget& w) {
        const QFontMetrics m(w.font());
        baseX_ = m.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                 52.0;
        baseY_ = m.height();
    }
    int X(int units) const { return static_cast<int>(units * baseX_ / 4.0 + 0.5); }
    int Y(int units) const { return static_cast<int>(units * baseY_ / 8.0 + 0.5); }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

  private:
    double baseX_ = 6;
    double baseY_ = 13;
};

// Ties a control to the static text that names it: the text is the control's buddy, and what a screen
// reader says of the control (`name`, when the text alone does not tell it apart).
inline void NameControl(QLabel* label, QWidget* control, const QString& name = QString()) {
    label->setBuddy(control);
    control->setAccessibleName(name.isEmpty() ? QString(label->text()).remove(QLatin1Char('&')) : name);
}

// While it lives, the changes made to controls (texts, names, cursors) are not told to screen readers:
// a window filled before it is shown, or a page filled all at once, is read when it gets the focus, not
// one change at a time.
class CAccessibilityHold {
  public:
    CAccessibilityHold() : previous_(QAccessible::installUpdateHandler([](QAccessibleEvent*) {})) {}
    ~CAccessibilityHold() { QAccessible::installUpdateHandler(previous_); }
    CAccessibilityHold(const CAccessibilityHold&) = delete;
    CAccessibilityHold& operator=(const CAccessibilityHold&) = delete;

  private:
    QAccessible::UpdateHandler previous_;
};

}  // namespace desktop
