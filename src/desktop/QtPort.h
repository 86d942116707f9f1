// The interaction port with real windows: message boxes, file dialogs, the wait cursor and the busy
// clock, and the program's modal dialogs.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QWidget>

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
    std::optional<std::string> ChooseFile(const ui::FileQuestion& question) override;
    void BeginBusy(bool withClock) override;
    // Also called when the program is next idle.
    void EndBusy() override;
    void KeepResponsive() override;
    bool ChooseCompany(ui::CompanyDialogRequest& request) override;
    bool AskGenerationDate(ui::GenerationDateRequest& request) override;
    bool EditStructure(ui::StructureEditorRequest& request) override;
    std::optional<std::size_t> ShowCensusErrors(const ui::CensusErrorsRequest& request) override;

    void SetClock(CBusyClock* clock) { clock_ = clock; }

  private:
    // A message box with OK alone, or with OK and Cancel: true when closed with OK.
    bool ShowBox(std::string_view text, std::string_view caption, ui::Icon icon, bool withCancel,
                 std::string_view details);

    QWidget* owner_;
    CBusyClock* clock_;
    bool busy_ = false;
    QElapsedTimer sinceRepaint_;
    QMetaObject::Connection idle_;
};

// Turns "Description (*.txt)|*.txt|All (*.*)|*.*||" into Qt's name filters.
QStringList NameFilters(const std::string& filter);

}  // namespace desktop
