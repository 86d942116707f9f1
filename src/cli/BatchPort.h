// The interaction port without a person: every answer is given in advance from the command line.
// Message boxes are written to a stream (the standard error), one block each; confirmations are
// answered OK only when allowed; file dialogs are matched by their title. Of a message's details only
// their first line, the summary, is written, to the output (the standard output, as UTF-8) before the
// message.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "cli/Terminal.h"
#include "ui/Port.h"

namespace cli {

// The titles of the file dialogs the commands ask (Windows-1252, as the core writes them).
inline constexpr const char* kReportDialogTitle = "Report Errori Riscontrati";
inline constexpr const char* kExportDialogTitle = "Generazione Comunicazione Strutture Aziendali";
inline constexpr const char* kImportDialogTitle = "Acquisizione Ultima Situazione Strutture Aziendali";

class BatchPort : public ui::Port {
  public:
    // `confirm`: whether confirmations are answered OK.
    BatchPort(std::FILE* out, std::FILE* messages, Encoding encoding, bool confirm)
        : out_(out), messages_(messages), encoding_(encoding), confirm_(confirm) {}

    // The file a dialog with this title chooses; a dialog with no file given is cancelled.
    void AnswerFileDialog(const std::string& title, std::optional<std::string> path);
    // The text typed in the company dialog; nothing cancels it.
    void AnswerCompany(std::optional<std::string> text) { company_ = std::move(text); }
    // The generation date typed; nothing keeps the one the dialog proposes.
    void AnswerDate(std::optional<std::string> date) { date_ = std::move(date); }

    // How many confirmations were asked.
    int ConfirmationsAsked() const { return confirmations_; }
    // How many failures and refusals were shown (messages with the stop or the exclamation icon).
    int ErrorsShown() const { return errors_; }

    ui::Answer ShowMessage(std::string_view text, std::string_view caption, ui::Icon icon,
                           ui::Buttons buttons = ui::Buttons::Ok, std::string_view details = {}) override;
    std::optional<std::string> ChooseFileToOpen(const ui::FileDialogRequest& request) override;
    std::optional<std::string> ChooseFileToSave(const ui::FileDialogRequest& request) override;
    void BeginBusy(bool) override {}
    void EndBusy() override {}
    void KeepResponsive() override {}
    bool ChooseCompany(ui::CompanyDialogRequest& request) override;
    bool AskGenerationDate(ui::GenerationDateRequest& request) override;
    // No command of the tool edits a structure: an editor is never opened, so it counts as cancelled.
    bool EditStructure(ui::StructureEditorRequest&) override { return false; }
    // Nor does it show the census's errors in a window: validate writes them in its report.
    std::optional<std::size_t> ShowCensusErrors(const ui::CensusErrorsRequest&) override {
        return std::nullopt;
    }

  private:
    std::optional<std::string> FileFor(const ui::FileDialogRequest& request) const;

    std::FILE* out_;
    std::FILE* messages_;
    Encoding encoding_;
    bool confirm_;
    std::map<std::string, std::optional<std::string>> files_;
    std::optional<std::string> company_;
    std::optional<std::string> date_;
    int confirmations_ = 0;
    int errors_ = 0;
    int blocks_ = 0;
};

}  // namespace cli
