// The busy clock: minutes and seconds since a long command began, in seven-segment digits, centred
// over the main window. It lives on the GUI thread: a timer ticks it once a second, while long work runs
// aside (Port::RunAside) and the command's own loops let it repaint through the port.
#pragma once

#include <QDateTime>
#include <QFrame>
#include <QPixmap>
#include <QTimer>
#include <array>
#include <functional>

namespace desktop {

class CBusyClock : public QFrame {
    Q_OBJECT
  public:
    explicit CBusyClock(QWidget* mainWindow);

    void Start();
    // Stops the count; the clock hides at its next tick.
    void Stop() { running_ = false; }

    // The clock's time source (tests set their own).
    void SetNow(std::function<QDateTime()> now) { now_ = std::move(now); }
    // Once a second unless changed (tests make it quicker).
    void SetTickInterval(int ms) { ticker_.setInterval(ms); }
    // "MM:SS" for a time elapsed since the start, rounded to the nearest second; minutes wrap at 60.
    static QString Reading(qint64 elapsedMs);
    // The picture the clock shows now (flips the separator's blink state, as every drawing does).
    QImage Render();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Tick();

    QWidget* mainWindow_;
    bool blink_ = true;
    std::array<QPixmap, 10> digits_;
    QPixmap separator_;
    int digitWidth_ = 0;
    int height_ = 0;
    int separatorWidth_ = 0;
    QDateTime start_;
    bool running_ = false;
    QTimer ticker_;
    std::function<QDateTime()> now_ = [] { return QDateTime::currentDateTimeUtc(); };
};

}  // namespace desktop
