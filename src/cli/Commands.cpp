#include "cli/Commands.h"

#include <optional>
#include <string>
#include <vector>

#include "app/Maintenance.h"
#include "app/Restore.h"
#include "app/Session.h"
#include "cli/BatchPort.h"
#include "exchange/Clock.h"
#include "exchange/Comparison.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "exchange/Spreadsheet.h"
#include "exchange/StructureRecord.h"
#include "exchange/Summary.h"
#include "exchange/Validation.h"
#include "register/Company.h"
#include "register/StructureFind.h"
#include "text/Text.h"

namespace cli {
namespace {

// Done, or not: cancelled (a file or a company the command line did not give), refused or failed.
int StatusOf(const ui::Outcome& outcome) {
    return outcome ? kExitDone : kExitFailed;
}

// What goes to the standard output must all get there: a listing cut short is a failure.
int Print(BatchPort& port, std::FILE* out, const std::string& utf8) {
    if (!WriteAll(out, utf8)) {
        port.ShowMessage(text::Utf8ToCp1252Lossy("Impossibile scrivere sullo standard output"),
                         ui::kProgramCaption, ui::Icon::Stop);
        return kExitFailed;
    }
    return kExitDone;
}

int ShowCompany(app::Session& session, BatchPort& port, std::FILE* out) {
    return Print(port, out, text::Cp1252ToUtf8(session.Title()) + "\n");
}

int ListStructures(app::Session& session, BatchPort& port, std::FILE* out,
                   const std::optional<std::string>& find) {
    std::vector<census::Structure> structures;
    if (!exchange::ReadStructureRecords(*session.Connection(), structures)) {
        return kExitFailed;
    }
    const reg::StructureQuery query(find.value_or(std::string()));
    std::optional<exchange::MunicipalityNames> municipalities;
    if (find && !(municipalities = exchange::ReadMunicipalityNames(*session.Connection()))) {
        return kExitFailed;
    }
    std::string listing;
    for (const census::Structure& s : structures) {
        if (find && !query.Finds(s.id, s.ubicaz, s.local,
                                 exchange::MunicipalityName(*municipalities, s.comune), s.provin)) {
            continue;
        }
        listing += text::FormatInt(s.id) + "\t" + text::Cp1252ToUtf8(exchange::FormatRecordLine(s)) + "\n";
    }
    return Print(port, out, listing);
}

int Summarise(app::Session& session, BatchPort& port, std::FILE* out, bool csv) {
    exchange::CensusSummary summary;
    if (!exchange::SummariseCensus(*session.Connection(), summary)) {
        return kExitFailed;
    }
    return Print(port, out, csv ? exchange::SummaryCsv(summary) : exchange::SummaryText(summary));
}

// The lines of the comparison, then its summary.
int Compare(app::Session& session, BatchPort& port, std::FILE* out, const std::filesystem::path& file) {
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

int Import(app::Session& session, bool confirmed) {
    const ui::Outcome imported = exchange::ImportCommunication(session);
    // Unconfirmed, the command only checks the file: one whose replacement was left unconfirmed is valid.
    return !confirmed && imported.ending() == ui::Ending::Cancelled ? kExitDone : StatusOf(imported);
}

// Without a number, the copies kept beside the census, newest first: number, date and time, structures
// and company, separated by TABs. With one, that copy put back in the census's place; unconfirmed, the
// copy is only checked.
int Restore(app::Session& session, BatchPort& port, std::FILE* out, const Invocation& invocation) {
    const std::vector<app::CensusCopy> copies = app::ListCensusCopies(session.Path());
    if (copies.empty()) {
        app::ShowNoCensusCopies(port, session.Path());
        return invocation.copy ? kExitFailed : kExitDone;
    }
    if (!invocation.copy) {
        std::string listing;
        for (std::size_t i = 0; i < copies.size(); ++i) {
            const ui::KeptCopyEntry& entry = copies[i].entry;
            listing += text::FormatInt(static_cast<std::int64_t>(i + 1)) + "\t" + entry.made + "\t" +
                       entry.structures + "\t" + text::Cp1252ToUtf8(entry.company) + "\n";
        }
        return Print(port, out, listing);
    }
    if (*invocation.copy > copies.size()) {
        port.ShowMessage("Non esiste la copia numero " +
                             text::FormatInt(static_cast<std::int64_t>(*invocation.copy)) +
                             ": le copie conservate accanto al database sono " +
                             text::FormatInt(static_cast<std::int64_t>(copies.size())) + ".",
                         ui::kProgramCaption, ui::Icon::Exclamation);
        return kExitFailed;
    }
    const ui::Outcome restored =
        app::RestoreCensusCopy(session, copies[*invocation.copy - 1], exchange::NowAsDateTime);
    return !invocation.yes && restored.ending() == ui::Ending::Cancelled ? kExitDone : StatusOf(restored);
}

int RunOnDatabase(const Invocation& invocation, BatchPort& port, std::FILE* out) {
    app::Session session(port);
    session.SetPath(invocation.files[0]);
    // Only the import and the choice of the company change the census through the connection: the
    // other commands read it, also where it cannot be written (a read-only folder or medium, a kept
    // copy); a restore replaces the whole file, and opens it again once replaced.
    const bool writes = invocation.command == Command::Import ||
                        (invocation.command == Command::Company && invocation.company);
    if (!session.OpenAssociatedDatabase(writes ? engine::Database::Access::ReadWrite
                                               : engine::Database::Access::ReadOnly)) {
        return kExitFailed;
    }
    switch (invocation.command) {
        case Command::Company:
            if (!invocation.company) {
                return ShowCompany(session, port, out);
            }
            return StatusOf(reg::SelectCompany(session));
        case Command::Validate:
            return Validate(session, port);
        case Command::Compare:
            return Compare(session, port, out, invocation.files[1]);
        case Command::Export:
            return StatusOf(exchange::ExportCommunication(session));
        case Command::Import:
            return Import(session, invocation.yes);
        case Command::List:
            return ListStructures(session, port, out, invocation.find);
        case Command::Summary:
            return Summarise(session, port, out, invocation.csv);
        case Command::ExportCsv:
            return StatusOf(exchange::ExportSpreadsheet(session));
        case Command::Restore:
            return Restore(session, port, out, invocation);
        default:
            return kExitUsage;
    }
}

int RunCommandWith(const Invocation& invocation, BatchPort& port, std::FILE* out) {
    switch (invocation.command) {
        case Command::Help:
        case Command::Version:
            return kExitUsage;
        case Command::Create:
            return StatusOf(app::CreateDatabaseAt(port, invocation.files[0]));
        case Command::Repair:
            return StatusOf(app::RepairDatabaseAt(port, invocation.files[0]));
        case Command::Duplicate:
            return StatusOf(app::DuplicateDatabaseAt(port, invocation.files[0], invocation.files[1]));
        default:
            return RunOnDatabase(invocation, port, out);
    }
}

}  // namespace

int RunCommand(const Invocation& invocation, Encoding encoding, std::FILE* out, std::FILE* messages) {
    BatchAnswers answers{.confirm = invocation.yes,
                         .report = invocation.report,
                         .output = invocation.output,
                         .input = std::nullopt,
                         .company = invocation.company,
                         .date = invocation.date};
    if (invocation.command == Command::Import) {
        answers.input = invocation.files[1];
    }
    BatchPort port(out, messages, encoding, std::move(answers));
    return RunCommandWith(invocation, port, out);
}

}  // namespace cli
