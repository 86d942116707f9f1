#include "desktop/QtPort.h"

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <exception>
#include <functional>
#include <memory>

#include "desktop/BusyClock.h"
#include "desktop/CensusErrorsDlg.h"
#include "desktop/CompanyDlg.h"
#include "desktop/DepotEditDlg.h"
#include "desktop/ExportDlg.h"
#include "desktop/FileDialog.h"
#include "desktop/KeptCopiesDlg.h"
#include "desktop/QtText.h"

namespace desktop {

namespace {
constexpr int kRepaintEveryMs = 100;
constexpr const char* kShowDetails = "Mostra dettagli…";
constexpr const char* kHideDetails = "Nascondi dettagli…";
constexpr int kDetailsLines = 16;

// A message box that shows each line of its text as one line: the line breaks of a message are its
// layout. Qt's own box re-wraps every text wider than about 500 pixels, leaving single words on lines of
// their own, and sizes itself anew at each layout request; here the box is sized once Qt's own has
// been, and at each request after. Only a line wider than the screen is still wrapped.
class CMessageBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;
    // Run each time the box has been shown, after Qt's own showing (which puts its labels back).
    void AfterShown(std::function<void()> after) { afterShown_ = std::move(after); }

  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (afterShown_) {
            afterShown_();
        }
        auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (!label || !layout()) {
            return;
        }
        // Decided once: whether the lines fit the screen unwrapped.
        label->setWordWrap(false);
        layout()->activate();
        const QRect room = screen() ? screen()->availableGeometry() : QRect();
        wrap_ = room.isValid() && layout()->totalMinimumSize().width() > room.width() - kScreenMargin;
        width_ = room.width() - kScreenMargin;
        label_ = label;
        KeepLines();
        if (room.isValid()) {
            QRect frame(QPoint(), size());
            frame.moveCenter(parentWidget() ? parentWidget()->window()->geometry().center() : room.center());
            move(std::max(frame.left(), room.left()), std::max(frame.top(), room.top()));
        }
    }
    bool event(QEvent* event) override {
        if (event->type() != QEvent::LayoutRequest || !label_) {
            return QMessageBox::event(event);
        }
        const bool done = QDialog::event(event);  // not the box's own sizing
        KeepLines();
        return done;
    }

  private:
    void KeepLines() {
        if (label_->wordWrap() != wrap_) {
            label_->setWordWrap(wrap_);
        }
        layout()->activate();
        const QSize whole =
            wrap_ ? QSize(width_, layout()->totalHeightForWidth(width_)) : layout()->totalMinimumSize();
        if (size() != whole) {
            setFixedSize(whole);
        }
    }

    std::function<void()> afterShown_;
    QLabel* label_ = nullptr;
    bool wrap_ = false;
    int width_ = 0;
    static constexpr int kScreenMargin = 40;
};
}  // namespace

QStringList NameFilters(const std::string& filter) {
    QStringList parts = FromCp(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QString name = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(';', ' ');
        if (!name.contains('(')) {
            name += " (" + patterns + ")";
        }
        filters << name;
    }
    return filters;
}

QtPort::QtPort(QWidget* owner, CBusyClock* clock) : owner_(owner), clock_(clock) {}

QtPort::~QtPort() {
    depth_ = 0;
    ShowBusyState();
}

void QtPort::ShowMessage(std::string_view text, std::string_view caption, ui::Icon icon,
                         std::string_view details) {
    ShowBox(text, caption, icon, false, details);
}

bool QtPort::Confirm(const ui::Confirmation& question) {
    return ShowBox(question.text, question.caption, ui::Icon::Question, true, question.details);
}

bool QtPort::ShowBox(std::string_view text, std::string_view caption, ui::Icon icon, bool withCancel,
                     std::string_view details) {
    const Asking asking(*this);
    CMessageBox box(owner_);
    box.setWindowTitle(FromCp(std::string(caption.empty() ? ui::kProgramCaption : caption)));
    box.setText(FromCp(std::string(text)));
    if (!details.empty()) {
        // The button that unfolds them says so in the program's own words, whichever way it is: it is
        // the one button that the details bring. The box puts its own labels back as it is shown and
        // after each click, so the words are set once that is done.
        const QList<QPushButton*> before = box.findChildren<QPushButton*>();
        box.setDetailedText(FromCp(details));
        for (QPushButton* button : box.findChildren<QPushButton*>()) {
            if (before.contains(button)) {
                continue;
            }
            const auto label = [&box, button] {
                auto* shown = box.findChild<QTextEdit*>();
                button->setText(FromUtf8(shown && shown->isVisibleTo(&box) ? kHideDetails : kShowDetails));
                if (shown) {
                    // Room for a good many lines of them, and the message's lines kept whole as the box
                    // is laid out again.
                    shown->setFixedHeight(shown->fontMetrics().lineSpacing() * kDetailsLines);
                    shown->setLineWrapMode(QTextEdit::NoWrap);
                }
                QEvent relayout(QEvent::LayoutRequest);
                QCoreApplication::sendEvent(&box, &relayout);
            };
            connect(button, &QAbstractButton::clicked, &box, label, Qt::QueuedConnection);
            box.AfterShown(label);
        }
    }
    switch (icon) {
        case ui::Icon::Stop:
            box.setIcon(QMessageBox::Critical);
            break;
        case ui::Icon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case ui::Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case ui::Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
    }
    if (withCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    return box.exec() == QMessageBox::Ok;
}

std::optional<std::filesystem::path> QtPort::ChooseFile(const ui::FileQuestion& question) {
    const Asking asking(*this);
    const bool save = question.save;
    const ui::FileDialogRequest& request = question.dialog;
    CFileDialog dialog(owner_, FromCp(request.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(NameFilters(request.filter));
    dialog.setDefaultSuffix(FromCp(request.defaultExtension));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // In the folder of the last file of this kind, else beside the census, else in that of the last file
    // chosen.
    if (const auto last = lastFolder_.find(question.kind); last != lastFolder_.end()) {
        dialog.setDirectory(last->second);
    } else if (!request.besideFile.empty()) {
        dialog.setDirectory(QFileInfo(FromPath(request.besideFile)).absolutePath());
    } else if (!lastChosenFolder_.isEmpty()) {
        dialog.setDirectory(lastChosenFolder_);
    }
    if (!request.proposedName.empty() && request.proposedName.find('*') == std::string::npos) {
        dialog.selectFile(FromCp(request.proposedName));
    }
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        // Shown and stored with the platform's separators (C:\Censimento\VELUMBRA.MDB on Windows).
        const QString chosen =
            QDir::toNativeSeparators(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath());
        if (request.createPrompt && !QFileInfo::exists(chosen)) {
            const std::string caption =
                request.title.empty() ? std::string(ui::kProgramCaption) : request.title;
            if (!Confirm({ui::ConfirmationKind::CreateMissingFile,
                          "Il file " + ToCpLossy(chosen) + " non esiste.\n\nCrearlo?",
                          caption,
                          {}})) {
                continue;
            }
        }
        lastChosenFolder_ = QFileInfo(chosen).absolutePath();
        lastFolder_[question.kind] = lastChosenFolder_;
        return ToPath(chosen);
    }
    return std::nullopt;
}

void QtPort::ShowBusyState() {
    const bool busy = depth_ > quietDepth_;
    if (busy && !shown_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        shown_ = true;
    } else if (!busy && shown_) {
        QApplication::restoreOverrideCursor();
        shown_ = false;
        if (clock_ && clockRunning_) {
            clock_->Stop();
        }
        clockRunning_ = false;
    }
    if (shown_ && clockWanted_ && !clockRunning_ && clock_) {
        clock_->Start();
        clockRunning_ = true;
    }
}

void QtPort::BeginBusy(bool withClock) {
    ++depth_;
    ShowBusyState();
    if (withClock) {
        clockWanted_ = true;
        // The clock counts from the beginning of this part of the work.
        clockRunning_ = false;
        ShowBusyState();
    }
    sinceRepaint_.start();
}

void QtPort::EndBusy() {
    if (depth_ == 0) {
        return;
    }
    if (--depth_ == 0) {
        clockWanted_ = false;
    }
    quietDepth_ = std::min(quietDepth_, depth_);
    ShowBusyState();
}

namespace {
// While work runs aside the person can start nothing: what they type or click is let go, as is a
// window's close button. The windows paint and the timers run.
class InputHold final : public QObject {
  public:
    InputHold() { qApp->installEventFilter(this); }
    ~InputHold() override { qApp->removeEventFilter(this); }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Close:
                event->ignore();
                return true;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::TabletPress:
            case QEvent::TabletRelease:
                return true;
            default:
                return false;
        }
    }
};
}  // namespace

void QtPort::RunAside(const std::function<void()>& work) {
    // Work asked for from aside, or while work is aside, runs where it is asked for.
    if (QThread::currentThread() != thread() || aside_) {
        work();
        return;
    }
    aside_ = true;
    const InputHold hold;
    std::exception_ptr thrown;
    const std::unique_ptr<QThread> worker(QThread::create([&work, &thrown] {
        try {
            work();
        } catch (...) {
            thrown = std::current_exception();
        }
    }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    aside_ = false;
    if (thrown) {
        std::rethrow_exception(thrown);
    }
}

void QtPort::KeepResponsive() {
    // Work aside leaves the windows free already.
    if (QThread::currentThread() != thread() || aside_) {
        return;
    }
    if (!shown_ || (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintEveryMs)) {
        return;
    }
    sinceRepaint_.start();
    // Paint and timers only: the person cannot start another command meanwhile.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool QtPort::ChooseCompany(ui::CompanyDialogRequest& request) {
    const Asking asking(*this);
    CCompanyDlg dialog(request, owner_);
    return dialog.exec() == QDialog::Accepted;
}

bool QtPort::AskGenerationDate(ui::GenerationDateRequest& request) {
    const Asking asking(*this);
    CExportDlg dialog(request, owner_);
    return dialog.exec() == QDialog::Accepted;
}

bool QtPort::EditStructure(ui::StructureEditorRequest& request) {
    const Asking asking(*this);
    CDepotEditDlg dialog(request, owner_);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<std::size_t> QtPort::ShowCensusErrors(const ui::CensusErrorsRequest& request) {
    const Asking asking(*this);
    CCensusErrorsDlg dialog(request, *this, owner_);
    dialog.exec();
    return dialog.Chosen();
}

std::optional<std::size_t> QtPort::ChooseKeptCopy(const ui::KeptCopiesRequest& request) {
    const Asking asking(*this);
    CKeptCopiesDlg dialog(request, owner_);
    dialog.exec();
    return dialog.Chosen();
}

}  // namespace desktop
