#include "cli/Commands.h"

#include <string>
#include <vector>

#include "app/Maintenance.h"
#include "app/Session.h"
#include "cli/BatchPort.h"
#include "exchange/Comparison.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "exchange/StructureRecord.h"
#include "exchange/Validation.h"
#include "register/Company.h"
#include "text/Text.h"

namespace cli {
namespace {

int StatusOf(ui::Outcome outcome) {
    return outcome ? kExitDone : kExitFailed;
}

// What goes to the standard output must all get there: a listing cut short is a failure.
int Print(BatchPort& port, std::FILE* out, const std::string& utf8) {
    if (!WriteAll(out, utf8)) {
        port.ShowMessage(text::Utf8ToCp1252Lossy("Impossibile scrivere sullo standard output"),
                         ui::kProgramCaption, ui::Icon::Stop, ui::Buttons::Ok);
        return kExitFailed;
    }
    return kExitDone;
}

int ShowCompany(app::Session& session, BatchPort& port, std::FILE* out) {
    return Print(port, out, text::Cp1252ToUtf8(session.Title()) + "\n");
}

int ListStructures(app::Session& session, BatchPort& port, std::FILE* out) {
    std::vector<census::Structure> structures;
    if (!exchange::ReadStructureRecords(*session.Connection(), structures)) {
        return kExitFailed;
    }
    std::string listing;
    for (const census::Structure& s : structures) {
        listing += text::FormatInt(s.id) + "\t" + text::Cp1252ToUtf8(exchange::FormatRecordLine(s)) + "\n";
    }
    return Print(port, out, listing);
}

// The lines of the comparison, then its summary.
int Compare(app::Session& session, BatchPort& port, std::FILE* out, const std::string& file) {
    exchange::CensusComparison comparison;
    if (!exchange::CompareCommunication(session, file, comparison)) {
        return kExitFailed;
    }
    std::string listing;
    for (const std::string& line : comparison.lines) {
        listing += text::Cp1252ToUtf8(line) + "\n";
    }
    return Print(port, out, listing + comparison.Summary() + "\n");
}

// The report as ever, and how many structures have errors.
int Validate(app::Session& session, BatchPort& port) {
    exchange::CValidationErrorList errors;
    const ui::Outcome passed = exchange::ValidateCensus(session, exchange::Now(), &errors);
    if (passed || !errors.empty()) {
        port.ShowMessage("Strutture con errori: " + text::FormatInt(static_cast<std::int64_t>(
                                                        exchange::StructuresWithErrors(errors))),
                         ui::kProgramCaption, ui::Icon::Information);
    }
    return StatusOf(passed);
}

int Import(app::Session& session, BatchPort& port, bool confirmed) {
    if (exchange::ImportCommunication(session)) {
        return kExitDone;
    }
    // Unconfirmed, the command only checks the file: reaching the confirmation means it is valid.
    return !confirmed && port.ConfirmationsAsked() > 0 ? kExitDone : kExitFailed;
}

int RunOnDatabase(const Invocation& invocation, BatchPort& port, std::FILE* out) {
    app::Session session(port);
    session.SetPath(invocation.operands[0]);
    // Only the import and the choice of the company change the census: the other commands read it,
    // also where it cannot be written (a read-only folder or medium, a kept copy).
    const bool writes = invocation.command == Command::Import ||
                        (invocation.command == Command::Company && invocation.operands.size() >= 2);
    if (!session.OpenAssociatedDatabase(writes ? engine::Database::Access::ReadWrite
                                               : engine::Database::Access::ReadOnly)) {
        return kExitFailed;
    }
    switch (invocation.command) {
        case Command::Company:
            if (invocation.operands.size() < 2) {
                return ShowCompany(session, port, out);
            }
            port.AnswerCompany(invocation.operands[1]);
            return StatusOf(reg::SelectCompany(session));
        case Command::Validate:
            return Validate(session, port);
        case Command::Compare:
            return Compare(session, port, out, invocation.operands[1]);
        case Command::Export:
            return StatusOf(exchange::ExportCommunication(session));
        case Command::Import:
            return Import(session, port, invocation.yes);
        case Command::List:
            return ListStructures(session, port, out);
        default:
            return kExitUsage;
    }
}

int RunCommandWith(const Invocation& invocation, BatchPort& port, std::FILE* out) {
    port.AnswerFileDialog(kReportDialogTitle, invocation.report);
    port.AnswerFileDialog(kExportDialogTitle, invocation.output);
    if (invocation.command == Command::Import) {
        port.AnswerFileDialog(kImportDialogTitle, invocation.operands[1]);
    }
    port.AnswerDate(invocation.date);

    switch (invocation.command) {
        case Command::Help:
            return kExitUsage;
        case Command::Create:
            return StatusOf(app::CreateDatabaseAt(port, invocation.operands[0]));
        case Command::Repair:
            return StatusOf(app::RepairDatabaseAt(port, invocation.operands[0]));
        case Command::Duplicate:
            return StatusOf(app::DuplicateDatabaseAt(port, invocation.operands[0], invocation.operands[1]));
        default:
            return RunOnDatabase(invocation, port, out);
    }
}

}  // namespace

int RunCommand(const Invocation& invocation, Encoding encoding, std::FILE* out, std::FILE* messages) {
    BatchPort port(out, messages, encoding, invocation.yes);
    const int status = RunCommandWith(invocation, port, out);
    // A command that showed a failure never ends as done, whatever the step that met it returned.
    return status == kExitDone && port.ErrorsShown() > 0 ? kExitFailed : status;
}

}  // namespace cli
