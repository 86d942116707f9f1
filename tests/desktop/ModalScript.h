// Answers the modal windows a command opens, in order, as a person would: each step acts on the next
// modal window that appears (a message box, a file dialog, one of the program's dialogs).
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    bool waitCursor;  // whether the wait cursor was on as it showed
};

class ModalScript : public QObject {
  public:
    using Step = std::function<void(QWidget*)>;

    ModalScript() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    }

    // A message box: recorded, then answered with `button`.
    ModalScript& Message(QMessageBox::StandardButton button = QMessageBox::Ok) {
        Add([this, button](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) {
                failures.push_back("expected a message box, found " + QString(w->metaObject()->className()));
                w->close();
                return;
            }
            messages.push_back(
                {box->windowTitle(), box->text(), box->icon(), QApplication::overrideCursor() != nullptr});
            if (QAbstractButton* b = box->button(button)) {
                b->click();
            } else {
                failures.push_back("the message box has no such button: " + box->text());
                box->close();
            }
        });
        return *this;
    }
    // A file dialog: `path` typed and accepted (empty: cancelled).
    ModalScript& File(const QString& path) {
        Add([this, path](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog) {
                failures.push_back("expected a file dialog, found " + QString(w->metaObject()->className()));
                w->close();
                return;
            }
            fileDialogTitles.push_back(dialog->windowTitle());
            if (path.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->accept();
            }
        });
        return *this;
    }
    // Any other modal window, handled by `step`.
    ModalScript& Then(Step step) {
        Add(std::move(step));
        return *this;
    }
    bool Done() const { return steps_.empty(); }

    std::vector<SeenMessage> messages;
    std::vector<QString> fileDialogTitles;
    QStringList failures;

  private:
    void Add(Step step) {
        steps_.push_back(std::move(step));
        timer_.start();
    }
    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (steps_.empty() || !w || w->property("scripted").toBool() || !w->isVisible()) {
            return;
        }
        w->setProperty("scripted", true);
        Step step = std::move(steps_.front());
        steps_.pop_front();
        if (steps_.empty()) {
            timer_.stop();  // a finished script leaves the windows of the next one alone
        }
        step(w);
    }

    QTimer timer_;
    std::deque<Step> steps_;
};
