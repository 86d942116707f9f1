// The completeness check of the census before an export, with its error report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Session.h"
#include "census/Structure.h"

namespace exchange {

// A failure: the structure's identifier and ubicazione (as stored, trailing blanks aside) and the
// rule's message, Windows-1252.
using ValidationError = ui::CensusError;
using CValidationErrorList = std::vector<ValidationError>;

// Appends the failures of one structure, as read from the census (texts right-trimmed, titles as
// stored: only their first character counts), in rule order.
void CheckStructure(const census::Structure& s, CValidationErrorList& errors);

struct LocalDateTime {
    int day, month, year, hour, minute;
    int second = 0;
};
LocalDateTime Now();

// The report: its header (date and time, database path) and one line per failure.
std::vector<std::string> ReportLines(const CValidationErrorList& errors, const LocalDateTime& when,
                                     const std::string& databasePath);

// The census's structures in ID order as the record lines of a communication file, each ended by CR
// LF, with the checksum of each line (the running checksum begins with the company and date lines,
// which are known only later).
struct CommunicationBody {
    std::string lines;
    std::vector<std::int32_t> lineChecksums;
};

// Checks every structure in one reading of the census that also formats each structure into `body`
// (when given) for the export; on failures `body` is left empty. Nothing when the census could not be
// read whole (shown): it is not known to be correct.
std::optional<CValidationErrorList> FindCensusErrors(app::Session& session, CommunicationBody* body);

// Checks every structure, as ValidateCensus does, formatting them into `body` (when given) as
// FindCensusErrors does. `found`, when given, receives the failures.
ui::Outcome CheckCensus(app::Session& session, const LocalDateTime& now, CommunicationBody* body,
                        CValidationErrorList* found = nullptr);

// Done when every structure passes. Otherwise the blocking message is shown and the report written
// to the file the person chooses; not done. A census that cannot be read whole is not done either.
// `found`, when given, receives the failures.
ui::Outcome ValidateCensus(app::Session& session, const LocalDateTime& now = Now(),
                           CValidationErrorList* found = nullptr);

// How many structures failed a rule.
std::size_t StructuresWithErrors(const CValidationErrorList& errors);

// The window of "Verifica Censimento": `entry` is the entry shown current when it opens, then the one
// chosen; `chosen` the identifier of the structure the person chose to mend, or nothing.
struct Verification {
    std::size_t entry = 0;
    std::optional<int> chosen;
};

// "Verifica Censimento": the same check, its failures shown in a window where the person may choose a
// structure to mend; with none, a message says that the census is ready to be sent. Done when the
// census passed.
ui::Outcome VerifyCensus(app::Session& session, Verification& verification);

// The message of a census that passed the check.
std::string ReadyToSendMessage();

// The question for a text file, shared by the report and the communication files.
ui::FileQuestion TextFileQuestion(ui::FileKind kind, bool save, const std::string& title,
                                  const std::string& proposedName);

// "Impossibile creare\n\n" + path.
void ShowCannotCreate(ui::Port& port, const std::string& path);

}  // namespace exchange
