// A port without a person, for tests: it records every request and answers from a script. When the
// script has no answer left, a message box is answered OK, a file dialog and a modal dialog are
// cancelled.
#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ui/Port.h"

namespace ui {

// How a message box was shown: OK alone (a message) or OK and Cancel (a confirmation), and how the
// script answers a confirmation.
enum class Buttons { Ok, OkCancel };
enum class Answer { Ok, Cancel };

class ScriptedPort : public Port {
  public:
    struct Message {
        std::string text;
        std::string caption;
        Icon icon;
        Buttons buttons;
        std::string details;
        std::optional<ConfirmationKind> confirmation;  // what a confirmation asked
    };
    struct FileDialog {
        bool save;
        FileDialogRequest request;
        FileKind kind;
    };

    // Script: each message box takes the next answer; one with OK alone is closed with OK whatever
    // the answer says.
    void AnswerNextMessage(Answer answer) { messageAnswers_.push_back(answer); }
    void AnswerNextFileDialog(std::optional<std::filesystem::path> path) {
        fileAnswers_.push_back(std::move(path));
    }
    // The next modal dialog: the text to type (or nothing to cancel). OK is pressed; when the check
    // refuses the text, the dialog is cancelled.
    void AnswerNextDialog(std::optional<std::string> text) { dialogAnswers_.push_back(std::move(text)); }
    // The next structure editor: the values entered (or nothing to cancel). OK is pressed; when the
    // check refuses them, the editor is cancelled.
    void AnswerNextEditor(std::optional<census::Structure> values) {
        editorAnswers_.push_back(std::move(values));
    }
    // The next window of the census's errors: the entry chosen, or nothing to close it.
    void AnswerNextCensusErrors(std::optional<std::size_t> entry) { errorsAnswers_.push_back(entry); }
    // The next list of kept copies: the entry chosen, or nothing to cancel it.
    void AnswerNextKeptCopy(std::optional<std::size_t> entry) { keptCopyAnswers_.push_back(entry); }

    // What was asked.
    std::vector<Message> messages;
    std::vector<FileDialog> fileDialogs;
    std::vector<std::string> dialogs;  // "company", "date", "editor", "errors" or "copies", in order
    std::vector<CompanyDialogRequest> companyRequests;
    std::vector<GenerationDateRequest> dateRequests;
    std::vector<StructureEditorRequest> editorRequests;
    std::vector<CensusErrorsRequest> errorsRequests;
    std::vector<KeptCopiesRequest> keptCopiesRequests;
    std::vector<bool> busyRequests;  // withClock of each BeginBusy
    int endBusyCalls = 0;
    int keepResponsiveCalls = 0;

    // The last message box, which a test then looks at.
    const Message& LastMessage() const { return messages.back(); }
    void Clear();

    void ShowMessage(std::string_view text, std::string_view caption, Icon icon,
                     std::string_view details) override;
    bool Confirm(const Confirmation& question) override;
    std::optional<std::filesystem::path> ChooseFile(const FileQuestion& question) override;
    void BeginBusy(bool withClock) override { busyRequests.push_back(withClock); }
    void EndBusy() override { ++endBusyCalls; }
    void KeepResponsive() override { ++keepResponsiveCalls; }
    bool ChooseCompany(CompanyDialogRequest& request) override;
    bool AskGenerationDate(GenerationDateRequest& request) override;
    bool EditStructure(StructureEditorRequest& request) override;
    std::optional<std::size_t> ShowCensusErrors(const CensusErrorsRequest& request) override;
    std::optional<std::size_t> ChooseKeptCopy(const KeptCopiesRequest& request) override;

  private:
    Answer NextAnswer();
    std::optional<std::string> NextDialogText();

    std::deque<Answer> messageAnswers_;
    std::deque<std::optional<std::filesystem::path>> fileAnswers_;
    std::deque<std::optional<std::string>> dialogAnswers_;
    std::deque<std::optional<census::Structure>> editorAnswers_;
    std::deque<std::optional<std::size_t>> errorsAnswers_;
    std::deque<std::optional<std::size_t>> keptCopyAnswers_;
};

}  // namespace ui
