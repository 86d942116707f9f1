#include "cli/BatchPort.h"

#include "text/Text.h"

namespace cli {

void BatchPort::WriteBlock(std::string block) {
    // Blocks are kept apart by an empty line.
    if (blocks_++ > 0) {
        block.insert(block.begin(), '\n');
    }
    block += '\n';
    // A message that cannot reach the terminal is no reason to answer otherwise: the command's result
    // still tells how it ended, and the exit status is then the only word left.
    (void)WriteAll(messages_, block);
}

namespace {

// The message as the terminal shows it, without the line ends it closes with.
std::string Block(std::string_view text, Encoding encoding) {
    std::string block = ToTerminal(text, encoding);
    while (!block.empty() && (block.back() == '\n' || block.back() == '\r')) {
        block.pop_back();
    }
    return block;
}

}  // namespace

void BatchPort::WriteSummary(std::string_view details) {
    if (!details.empty()) {
        // A summary that cannot reach the output is no reason to answer otherwise.
        (void)WriteAll(out_, text::Cp1252ToUtf8(details.substr(0, details.find('\n'))) + "\n");
    }
}

void BatchPort::ShowMessage(std::string_view text, std::string_view, ui::Icon, std::string_view details) {
    WriteSummary(details);
    WriteBlock(Block(text, encoding_));
}

bool BatchPort::Allows(ui::ConfirmationKind kind) const {
    switch (kind) {
        case ui::ConfirmationKind::ReplaceCensus:
        case ui::ConfirmationKind::RestoreCopy:
            return answers_.confirm;
        // Questions of the desktop's own: the tool never asks them.
        case ui::ConfirmationKind::CreateMissingFile:
        case ui::ConfirmationKind::Disconnect:
        case ui::ConfirmationKind::Exit:
        case ui::ConfirmationKind::CreateFirstDatabase:
        case ui::ConfirmationKind::UseFoundDatabase:
        case ui::ConfirmationKind::SaveAsPdf:
        case ui::ConfirmationKind::PrintManyPages:
            break;
    }
    return false;
}

bool BatchPort::Confirm(const ui::Confirmation& question) {
    const bool confirmed = Allows(question.kind);
    WriteSummary(question.details);
    WriteBlock(Block(question.text, encoding_) +
               OwnTextToTerminal(confirmed ? "\n[Confermato con --yes]"
                                           : "\n[Annullato: nessuna modifica. Per confermare usare --yes]",
                                 encoding_));
    return confirmed;
}

std::optional<std::filesystem::path> BatchPort::ChooseFile(const ui::FileQuestion& question) {
    // A name given on purpose: there is nobody to ask before replacing or creating it.
    switch (question.kind) {
        case ui::FileKind::Report:
            return answers_.report;
        case ui::FileKind::Communication:
        case ui::FileKind::Spreadsheet:
            return answers_.output;
        case ui::FileKind::Acquisition:
            return answers_.input;
        // The maintenance commands take their files as operands, and the rest are the desktop's.
        case ui::FileKind::NewDatabase:
        case ui::FileKind::DatabaseToRepair:
        case ui::FileKind::DuplicateSource:
        case ui::FileKind::DuplicateDestination:
        case ui::FileKind::DatabaseToConnect:
        case ui::FileKind::PrintedCopy:
            return std::nullopt;
    }
    return std::nullopt;
}

bool BatchPort::ChooseCompany(ui::CompanyDialogRequest& request) {
    if (!answers_.company) {
        return false;
    }
    request.text = *answers_.company;
    return !request.accept || request.accept(request.text);
}

bool BatchPort::AskGenerationDate(ui::GenerationDateRequest& request) {
    std::string date = answers_.date.value_or(request.date);
    if (request.accept && !request.accept(date)) {
        return false;
    }
    request.date = date;
    return true;
}

}  // namespace cli
