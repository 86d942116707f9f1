#include "ui/ScriptedPort.h"

namespace ui {

void ScriptedPort::Clear() {
    messages.clear();
    fileDialogs.clear();
    dialogs.clear();
    companyRequests.clear();
    dateRequests.clear();
    editorRequests.clear();
    errorsRequests.clear();
    keptCopiesRequests.clear();
    busyRequests.clear();
    endBusyCalls = 0;
    keepResponsiveCalls = 0;
}

void ScriptedPort::ShowMessage(std::string_view text, std::string_view caption, Icon icon,
                               std::string_view details) {
    messages.push_back(
        {std::string(text), std::string(caption), icon, Buttons::Ok, std::string(details), {}});
    NextAnswer();  // taken, whatever it is: OK is the only way out
}

Answer ScriptedPort::NextAnswer() {
    if (messageAnswers_.empty()) {
        return Answer::Ok;
    }
    const Answer answer = messageAnswers_.front();
    messageAnswers_.pop_front();
    return answer;
}

bool ScriptedPort::Confirm(const Confirmation& question) {
    messages.push_back({question.text, question.caption, Icon::Question, Buttons::OkCancel, question.details,
                        question.kind});
    return NextAnswer() == Answer::Ok;
}

std::optional<std::filesystem::path> ScriptedPort::ChooseFile(const FileQuestion& question) {
    fileDialogs.push_back({question.save, question.dialog, question.kind});
    if (fileAnswers_.empty()) {
        return std::nullopt;
    }
    auto answer = std::move(fileAnswers_.front());
    fileAnswers_.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPort::NextDialogText() {
    if (dialogAnswers_.empty()) {
        return std::nullopt;
    }
    auto answer = std::move(dialogAnswers_.front());
    dialogAnswers_.pop_front();
    return answer;
}

bool ScriptedPort::ChooseCompany(CompanyDialogRequest& request) {
    dialogs.push_back("company");
    companyRequests.push_back(request);
    auto typed = NextDialogText();
    if (!typed || !request.accept || !request.accept(*typed)) {
        return false;
    }
    request.text = *typed;
    return true;
}

bool ScriptedPort::AskGenerationDate(GenerationDateRequest& request) {
    dialogs.push_back("date");
    dateRequests.push_back(request);
    auto typed = NextDialogText();
    if (!typed || !request.accept || !request.accept(*typed)) {
        return false;
    }
    request.date = *typed;
    return true;
}

bool ScriptedPort::EditStructure(StructureEditorRequest& request) {
    dialogs.push_back("editor");
    editorRequests.push_back(request);
    std::optional<census::Structure> entered;
    if (!editorAnswers_.empty()) {
        entered = std::move(editorAnswers_.front());
        editorAnswers_.pop_front();
    }
    if (!entered || !request.accept || !request.accept(*entered)) {
        return false;
    }
    request.values = *entered;
    return true;
}

namespace {

// The next entry a window of choices is answered with; nothing (closed) when the script has none left.
std::optional<std::size_t> NextEntry(std::deque<std::optional<std::size_t>>& answers) {
    if (answers.empty()) {
        return std::nullopt;
    }
    const auto answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace

std::optional<std::size_t> ScriptedPort::ShowCensusErrors(const CensusErrorsRequest& request) {
    dialogs.push_back("errors");
    errorsRequests.push_back(request);
    return NextEntry(errorsAnswers_);
}

std::optional<std::size_t> ScriptedPort::ChooseKeptCopy(const KeptCopiesRequest& request) {
    dialogs.push_back("copies");
    keptCopiesRequests.push_back(request);
    return NextEntry(keptCopyAnswers_);
}

}  // namespace ui
