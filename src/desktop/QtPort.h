// The interaction port with real windows: message boxes, file dialogs, the wait cursor and the busy
// clock, and the program's modal dialogs.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QWidget>
#include <map>

#include "ui/Port.h"

namespace desktop {

class CBusyClock;

class QtPort : public QObject, public ui::Port {
    Q_OBJECT
  public:
    // Windows are owned by `owner`; the busy clock may be absent (no clock, only the wait cursor).
    QtPort(QWidget* owner, CBusyClock* clock);
    ~QtPort() override;

    void ShowMessage(std::string_view text, std::string_view caption, ui::Icon icon,
                     std::string_view details = {}) override;
    bool Confirm(const ui::Confirmation& question) override;
    std::optional<std::filesystem::path> ChooseFile(const ui::FileQuestion& question) override;
    void BeginBusy(bool withClock) override;
    void EndBusy() override;
    void KeepResponsive() override;
    void RunAside(const std::function<void()>& work) override;
    bool ChooseCompany(ui::CompanyDialogRequest& request) override;
    bool AskGenerationDate(ui::GenerationDateRequest& request) override;
    bool EditStructure(ui::StructureEditorRequest& request) override;
    std::optional<std::size_t> ShowCensusErrors(const ui::CensusErrorsRequest& request) override;
    std::optional<std::size_t> ChooseKeptCopy(const ui::KeptCopiesRequest& request) override;

    void SetClock(CBusyClock* clock) { clock_ = clock; }

  private:
    // A message box with OK alone, or with OK and Cancel: true when closed with OK.
    bool ShowBox(std::string_view text, std::string_view caption, ui::Icon icon, bool withCancel,
                 std::string_view details);

    // While a question waits for the person, the work begun before it shows no busy state; work the
    // person starts from the question's window (printing the census's errors, say) does.
    class Asking {
      public:
        explicit Asking(QtPort& port) : port_(port), quietDepth_(port.quietDepth_) {
            port_.quietDepth_ = port_.depth_;
            port_.ShowBusyState();
        }
        ~Asking() {
            port_.quietDepth_ = quietDepth_;
            port_.ShowBusyState();
        }
        Asking(const Asking&) = delete;
        Asking& operator=(const Asking&) = delete;

      private:
        QtPort& port_;
        int quietDepth_;
    };
    // The wait cursor and the clock as the busy scopes and the open questions want them.
    void ShowBusyState();

    QWidget* owner_;
    CBusyClock* clock_;
    int depth_ = 0;       // busy scopes open
    int quietDepth_ = 0;  // of them, those begun before the innermost open question
    bool shown_ = false;  // the wait cursor is set
    bool clockWanted_ = false;
    bool clockRunning_ = false;
    bool aside_ = false;  // work runs on a thread of its own
    QElapsedTimer sinceRepaint_;
    std::map<ui::FileKind, QString> lastFolder_;  // of the file last chosen of each kind
    QString lastChosenFolder_;
};

// Turns "Description (*.txt)|*.txt|All (*.*)|*.*||" into Qt's name filters.
QStringList NameFilters(const std::string& filter);

}  // namespace desktop
