// The interaction port without a person: every answer is given in advance from the command line, and
// each question is answered by its kind. Message boxes are written to a stream (the standard error),
// one block each; confirmations are answered OK only when allowed. Of a message's details only their
// first line, the summary, is written, to the output (the standard output, as UTF-8) before the message.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/Terminal.h"
#include "ui/Port.h"

namespace cli {

// What the command line answers.
struct BatchAnswers {
    bool confirm = false;                         // confirmations are answered OK (--yes)
    std::optional<std::filesystem::path> report;  // the report of the census check (--report)
    std::optional<std::filesystem::path> output;  // the communication file of an export (--output)
    std::optional<std::filesystem::path> input;   // the file an import reads
    std::optional<std::string> company;           // the text typed in the company dialog; nothing cancels it
    std::optional<std::string> date;              // the generation date; nothing keeps the one proposed
};

class BatchPort : public ui::Port {
  public:
    BatchPort(std::FILE* out, std::FILE* messages, Encoding encoding, BatchAnswers answers)
        : out_(out), messages_(messages), encoding_(encoding), answers_(std::move(answers)) {}

    void ShowMessage(std::string_view text, std::string_view caption, ui::Icon icon,
                     std::string_view details = {}) override;
    bool Confirm(const ui::Confirmation& question) override;
    // A file no option gives is cancelled.
    std::optional<std::filesystem::path> ChooseFile(const ui::FileQuestion& question) override;
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
    // The tool takes the copy to put back as an operand.
    std::optional<std::size_t> ChooseKeptCopy(const ui::KeptCopiesRequest&) override { return std::nullopt; }

  private:
    bool Allows(ui::ConfirmationKind kind) const;
    void WriteSummary(std::string_view details);
    void WriteBlock(std::string block);

    std::FILE* out_;
    std::FILE* messages_;
    Encoding encoding_;
    BatchAnswers answers_;
    int blocks_ = 0;
};

}  // namespace cli
