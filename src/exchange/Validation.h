// The completeness check of the census before an export, with its error report.
#pragma once

#include <string>
#include <vector>

#include "app/Session.h"
#include "census/Structure.h"

namespace exchange {

struct ValidationError {
    int id;
    std::string message;  // Windows-1252
};
using CValidationErrorList = std::vector<ValidationError>;

// Appends the failures of one structure, as read from the census (texts right-trimmed, titles as
// stored: only their first character counts), in rule order.
void CheckStructure(const census::Structure& s, CValidationErrorList& errors);

struct LocalDateTime {
    int day, month, year, hour, minute;
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

// Checks every structure, as ValidateCensus does, in one reading of the census that also formats
// each structure into `body` (when given) for the export. On failures `body` is left empty.
ui::Outcome CheckCensus(app::Session& session, const LocalDateTime& now, CommunicationBody* body);

// Done when every structure passes. Otherwise the blocking message is shown and the report written
// to the file the person chooses; not done. A census that cannot be read whole is not done either.
ui::Outcome ValidateCensus(app::Session& session, const LocalDateTime& now = Now());

// The file dialog of text files, shared by the report and the communication files.
ui::FileDialogRequest TextFileDialog(bool save, const std::string& title, const std::string& proposedName);

// "Impossibile creare\n\n" + path.
void ShowCannotCreate(ui::Port& port, const std::string& path);

}  // namespace exchange
