#include "desktop/BusyClock.h"

#include <QPainter>

namespace desktop {

namespace {
constexpr int kMargin = 10;
}

CBusyClock::CBusyClock(QWidget* mainWindow) : QFrame(mainWindow), mainWindow_(mainWindow) {
    setObjectName("6001");
    setAccessibleName(QStringLiteral("Tempo trascorso"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    for (int d = 0; d < 10; ++d) {
        digits_[static_cast<std::size_t>(d)] = QPixmap(QStringLiteral(":/pictures/digit%1.png").arg(d));
        digitWidth_ = std::max(digitWidth_, digits_[static_cast<std::size_t>(d)].width());
        height_ = std::max(height_, digits_[static_cast<std::size_t>(d)].height());
    }
    separator_ = QPixmap(QStringLiteral(":/pictures/colon.png"));
    separatorWidth_ = separator_.width();
    height_ = std::max(height_, separator_.height());
    resize(separatorWidth_ + 4 * digitWidth_ + 30, height_ + 30);
    hide();
    ticker_.setInterval(1000);
    connect(&ticker_, &QTimer::timeout, this, &CBusyClock::Tick);
}

void CBusyClock::Start() {
    if (running_) {
        return;  // the count goes on from the first start
    }
    start_ = now_();
    blink_ = true;
    setAccessibleDescription(Reading(0));
    move((mainWindow_->width() - width()) / 2, (mainWindow_->height() - height()) / 2);
    show();
    raise();
    repaint();
    running_ = true;
    ticker_.start();
}

void CBusyClock::Tick() {
    if (!running_) {
        ticker_.stop();
        hide();
        return;
    }
    setAccessibleDescription(Reading(start_.msecsTo(now_())));  // what a screen reader says of it
    update();
}

QString CBusyClock::Reading(qint64 elapsedMs) {
    const qint64 rounded = elapsedMs >= 0 ? elapsedMs + 500 : elapsedMs - 500;
    const qint64 totalSeconds = rounded / 1000;
    const int minutes = static_cast<int>((totalSeconds / 60) % 60);
    const int seconds = static_cast<int>(totalSeconds % 60);
    return QStringLiteral("%1:%2")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

QImage CBusyClock::Render() {
    QImage picture(contentsRect().size(), QImage::Format_RGB32);
    picture.fill(Qt::black);
    QPainter p(&picture);
    const QString reading = Reading(start_.msecsTo(now_()));
    const auto digit = [&](QChar c) -> const QPixmap& {
        const int value = c.isDigit() ? c.digitValue() : 0;
        return digits_[static_cast<std::size_t>(value)];
    };
    const int w = digitWidth_;
    const int s = separatorWidth_;
    p.drawPixmap(kMargin, kMargin, digit(reading[0]));
    p.drawPixmap(kMargin + w, kMargin, digit(reading[1]));
    if (blink_) {
        p.drawPixmap(kMargin + 2 * w, kMargin, separator_);
    }
    blink_ = !blink_;
    p.drawPixmap(kMargin + 2 * w + s, kMargin, digit(reading[3]));
    p.drawPixmap(kMargin + 3 * w + s, kMargin, digit(reading[4]));
    return picture;
}

void CBusyClock::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), Render());  // drawn off screen, copied in one step
}

}  // namespace desktop
