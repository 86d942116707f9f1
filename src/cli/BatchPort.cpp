#include "cli/BatchPort.h"

#include "text/Text.h"

namespace cli {

void BatchPort::AnswerFileDialog(const std::string& title, std::optional<std::string> path) {
    files_[title] = std::move(path);
}

ui::Answer BatchPort::ShowMessage(std::string_view text, std::string_view, ui::Icon icon, ui::Buttons buttons,
                                  std::string_view details) {
    if (icon == ui::Icon::Stop || icon == ui::Icon::Exclamation) {
        ++errors_;
    }
    if (!details.empty()) {
        // A summary that cannot reach the output is no reason to answer otherwise.
        (void)WriteAll(out_, text::Cp1252ToUtf8(details.substr(0, details.find('\n'))) + "\n");
    }
    std::string block = ToTerminal(text, encoding_);
    while (!block.empty() && (block.back() == '\n' || block.back() == '\r')) {
        block.pop_back();
    }
    ui::Answer answer = ui::Answer::Ok;
    if (buttons == ui::Buttons::OkCancel) {
        ++confirmations_;
        answer = confirm_ ? ui::Answer::Ok : ui::Answer::Cancel;
        block += OwnTextToTerminal(confirm_ ? "\n[Confermato con --yes]"
                                            : "\n[Annullato: nessuna modifica. Per confermare usare --yes]",
                                   encoding_);
    }
    // Blocks are kept apart by an empty line.
    if (blocks_++ > 0) {
        block.insert(block.begin(), '\n');
    }
    block += '\n';
    // A message that cannot reach the terminal still counts as shown: an error still makes the
    // command fail, and the exit status is then the only word left.
    (void)WriteAll(messages_, block);
    return answer;
}

std::optional<std::string> BatchPort::FileFor(const ui::FileDialogRequest& request) const {
    const auto found = files_.find(request.title);
    return found == files_.end() ? std::nullopt : found->second;
}

std::optional<std::string> BatchPort::ChooseFileToOpen(const ui::FileDialogRequest& request) {
    return FileFor(request);
}

std::optional<std::string> BatchPort::ChooseFileToSave(const ui::FileDialogRequest& request) {
    // The name was given on purpose: there is nobody to ask before replacing or creating it.
    return FileFor(request);
}

bool BatchPort::ChooseCompany(ui::CompanyDialogRequest& request) {
    if (!company_) {
        return false;
    }
    request.text = *company_;
    return !request.accept || request.accept(request.text);
}

bool BatchPort::AskGenerationDate(ui::GenerationDateRequest& request) {
    std::string date = date_.value_or(request.date);
    if (request.accept && !request.accept(date)) {
        return false;
    }
    request.date = date;
    return true;
}

}  // namespace cli
